"""The build options: what a configuration with them builds and registers, without building it."""
import os
import shutil
import subprocess
import tempfile
import unittest

SOURCE = os.environ.get("NUV_SOURCE_DIR", "")
CMAKE = os.environ.get("CMAKE", "cmake")
CTEST = os.environ.get("CTEST", "ctest")


def run(*args):
    done = subprocess.run(args, capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
    return done.stdout


class Options(unittest.TestCase):
    def configure(self, *options):
        """The build.ninja text, the compile commands and the CTest runner of a configuration."""
        folder = tempfile.mkdtemp(prefix="nuv-options-")
        self.addCleanup(shutil.rmtree, folder, True)
        run(CMAKE, "-S", SOURCE, "-B", folder, "-G", "Ninja", *options)
        with open(os.path.join(folder, "build.ninja")) as f:
            ninja = f.read()
        with open(os.path.join(folder, "compile_commands.json")) as f:
            commands = f.read()
        return ninja, commands, lambda *args: run(CTEST, "--test-dir", folder, "-N", *args)

    def test_defaults_build_tests_without_benchmarks_or_warnings_as_errors(self):
        ninja, commands, ctest = self.configure()
        self.assertEqual(["core_tests" in ninja, "bench_parse" in ninja], [True, False],
                         "tests built, benchmarks not")
        self.assertEqual(["-Wall" in commands, "-Werror" in commands], [True, False],
                         "warnings on, not as errors")
        # The user tests carry a label, so they can be run alone or left out.
        user = [line for line in ctest("-L", "user").splitlines() if "Test #" in line]
        self.assertTrue(user)
        self.assertTrue(all(" user_test_" in line for line in user), user)
        self.assertNotIn(" user_test_", ctest("-LE", "user"))
        self.assertIn(" core_tests", ctest("-LE", "user") + ctest())

    def test_options_turn_tests_off_and_benchmarks_and_warnings_as_errors_on(self):
        ninja, commands, ctest = self.configure("-DBUILD_TESTING=OFF", "-DNUV_BENCH=ON",
                                                "-DNUV_WERROR=ON")
        self.assertEqual(["core_tests" in ninja, "bench_parse" in ninja], [False, True],
                         "benchmarks built, tests not")
        self.assertTrue("-Werror" in commands, "warnings as errors")
        self.assertIn("Total Tests: 0", ctest())


if __name__ == "__main__":
    unittest.main()
