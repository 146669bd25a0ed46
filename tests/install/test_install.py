"""The installed engine: files where a Linux desktop looks for them, checked by the desktop's own
tools, and the Debian package built from the same rules."""
import glob
import os
import shutil
import subprocess
import tempfile
import unittest

BUILD = os.environ.get("NUV_BUILD_DIR", "")
CMAKE = os.environ.get("CMAKE", "cmake")
CPACK = os.environ.get("CPACK", "cpack")

INSTALLED = ["bin/nuv", "share/applications/nuv.desktop", "share/mime/packages/nuv.xml",
             "share/icons/hicolor/scalable/apps/nuv.svg", "share/man/man1/nuv.1"]


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="nuv-install-")
        cls.prefix = os.path.join(cls.dir, "prefix")
        done = run(CMAKE, "--install", BUILD, "--prefix", cls.prefix)
        assert done.returncode == 0, done.stderr

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, True)

    def path(self, name):
        return os.path.join(self.prefix, name)

    def test_files_are_installed(self):
        for name in INSTALLED:
            self.assertTrue(os.path.isfile(self.path(name)), name)
        self.assertTrue(os.access(self.path("bin/nuv"), os.X_OK))
        # Where the browser module goes; it is installed there once it is built.
        modules = glob.glob(self.path("lib/nuv/*"))
        self.assertTrue(all(m.endswith(".so") for m in modules), modules)

    def test_desktop_entry_opens_skivet_locations(self):
        entry = self.path("share/applications/nuv.desktop")
        done = run("desktop-file-validate", entry)
        self.assertEqual((done.returncode, done.stdout), (0, ""))
        with open(entry) as f:
            lines = f.read().splitlines()
        self.assertIn("MimeType=application/x-skivet-location;", lines)
        # The engine gets the opened file's path as its one argument.
        self.assertIn("Exec=nuv %f", lines)

    def test_mime_package_names_both_extensions(self):
        package = self.path("share/mime/packages/nuv.xml")
        self.assertEqual(run("xmllint", "--noout", package).returncode, 0)
        globs = run("xmllint", "--xpath", "//*[local-name()='glob']/@pattern", package).stdout
        self.assertEqual(sorted(globs.split()), ['pattern="*.jov"', 'pattern="*.nuv"'])
        if shutil.which("update-mime-database"):
            mime = os.path.join(self.dir, "mime")
            shutil.copytree(self.path("share/mime"), mime)
            self.assertEqual(run("update-mime-database", mime).returncode, 0)
            with open(os.path.join(mime, "globs2")) as f:
                known = f.read()
            for pattern in ("*.nuv", "*.jov"):
                self.assertIn(f"application/x-skivet-location:{pattern}", known)

    def test_icon_and_manual_page(self):
        self.assertEqual(run("xmllint", "--noout", self.path(INSTALLED[3])).returncode, 0)
        page = run("man", "-l", "-P", "cat", self.path("share/man/man1/nuv.1"),
                   env=dict(os.environ, MANWIDTH="80"))
        if page.returncode == 0:
            for option in ("--check", "--watch", "--screenshot", "-postinstall"):
                self.assertIn(option, page.stdout)

    def test_installed_engine_finds_templates_in_its_prefix(self):
        templates = self.path("share/nuv/Desktop")
        with open(os.path.join(templates, "tour.nuv"), "w") as f:
            f.write('"tour.skv"\r\n')
        home = os.path.join(self.dir, "home")
        os.makedirs(os.path.join(home, "Desktop"), exist_ok=True)
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_DATA_HOME=os.path.join(home, "data"), XDG_RUNTIME_DIR=self.dir,
                   QT_QPA_PLATFORM="offscreen", NUV_MESSAGES="stderr")
        try:
            self.assertEqual(run(self.path("bin/nuv"), "-postinstall", env=env).returncode, 0)
        finally:
            os.remove(os.path.join(templates, "tour.nuv"))
        with open(os.path.join(home, "Desktop", "tour.desktop")) as f:
            self.assertIn(f'Exec="{self.path("bin/nuv")}" "{templates}/tour.nuv"',
                          f.read().splitlines())

    def test_debian_package(self):
        out = os.path.join(self.dir, "package")
        done = run(CPACK, "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
                   "-B", out)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        debs = glob.glob(os.path.join(out, "*.deb"))
        self.assertEqual(len(debs), 1, debs)
        listing = run("dpkg-deb", "-c", debs[0]).stdout
        for name in INSTALLED:
            self.assertIn(f"./usr/{name}", listing)
        depends = run("dpkg-deb", "-f", debs[0], "Depends").stdout
        # From the shared libraries the engine links, plus the one it loads itself.
        for package in ("libqt6widgets6", "libc6", "libcurl4"):
            self.assertIn(package, depends)


if __name__ == "__main__":
    unittest.main()
