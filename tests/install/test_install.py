"""The installed engine: files where a Linux desktop looks for them, checked by the desktop's own
tools, and the Debian package built from the same rules."""
import glob
import os
import shutil
import subprocess
import tempfile
import unittest

BUILD = os.environ.get("NUV_BUILD_DIR", "")
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
CMAKE = os.environ.get("CMAKE", "cmake")
CPACK = os.environ.get("CPACK", "cpack")

INSTALLED = ["bin/nuv", "share/applications/nuv.desktop", "share/mime/packages/nuv.xml",
             "share/icons/hicolor/scalable/apps/nuv.svg", "share/man/man1/nuv.1.gz",
             "share/doc/nuv/copyright", "share/doc/nuv/changelog.Debian.gz"]
MODULE = "lib/nuv/nuvbrowser.so"
BROWSER_INSTALLED = [MODULE, "share/doc/nuv-browser/copyright",
                     "share/doc/nuv-browser/changelog.Debian.gz"]


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
        for name in BROWSER_INSTALLED:
            self.assertTrue(os.path.isfile(self.path(name)), name)
        # Compressed as Debian asks, without a time stamp.
        for name in ("share/man/man1/nuv.1.gz", "share/doc/nuv/changelog.Debian.gz"):
            with open(self.path(name), "rb") as f:
                header = f.read(8)
            self.assertEqual((header[:2], header[4:8]), (b"\x1f\x8b", b"\0\0\0\0"), name)
        with open(self.path("share/doc/nuv/copyright")) as f:
            self.assertTrue(f.readline().startswith(
                "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"))

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
        page = run("man", "-l", "-P", "cat", self.path("share/man/man1/nuv.1.gz"),
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

    def engine_env(self, home):
        return dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                    XDG_DATA_HOME=os.path.join(home, "data"), XDG_RUNTIME_DIR=self.dir,
                    QT_QPA_PLATFORM="offscreen", NUV_MESSAGES="stderr")

    def test_installed_engine_finds_its_browser_module(self):
        """The module is looked for where it was installed; without it, the engine names the
        package to install."""
        home = os.path.join(self.dir, "browser-home")
        os.makedirs(home)
        with open(os.path.join(home, "web.skv"), "w") as f:
            f.write("OBJECT BROWSER\nNAME Web\nENDOBJECT\nTITLE 'Web'\n")
        doc = os.path.join(home, "web.nuv")
        with open(doc, "w") as f:
            f.write('"web.skv"\r\n')
        shot = os.path.join(home, "shot.png")
        env = self.engine_env(home)
        env.pop("NUV_BROWSER_MODULE", None)
        module = self.path(MODULE)
        aside = os.path.join(self.dir, "module-aside.so")
        cases = [(True, False), (False, True)]  # (module installed, told to install the package)
        for installed, told in cases:
            with self.subTest(installed=installed):
                if not installed:
                    os.rename(module, aside)
                    self.addCleanup(os.rename, aside, module)
                done = run(self.path("bin/nuv"), "--screenshot", shot, doc, env=env, timeout=120)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual("install the nuv-browser package" in done.stderr.lower(), told,
                                 done.stderr)
                self.assertEqual("Browser Error" in done.stderr, told, done.stderr)

    def test_install_folders_follow_the_configured_ones(self):
        """A distribution's library folder: the module installs there, and the engine is built
        to look for it there."""
        tree = os.path.join(self.dir, "multiarch")
        done = run(CMAKE, "-S", SOURCE, "-B", tree, "-G", "Ninja", "-DBUILD_TESTING=OFF",
                   "-DCMAKE_INSTALL_LIBDIR=lib/x86_64-linux-gnu")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        with open(os.path.join(tree, "src/seam/generated/installdirs.h")) as f:
            header = f.read()
        self.assertIn('moduleFolder[] = "../lib/x86_64-linux-gnu/nuv";', header)
        self.assertIn('dataFolder[] = "../share/nuv";', header)
        with open(os.path.join(tree, "src/browser/cmake_install.cmake")) as f:
            self.assertIn("/lib/x86_64-linux-gnu/nuv", f.read())

    def test_debian_packages(self):
        out = os.path.join(self.dir, "package")
        done = run(CPACK, "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
                   "-B", out)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        debs = {run("dpkg-deb", "-f", deb, "Package").stdout.strip(): deb
                for deb in glob.glob(os.path.join(out, "*.deb"))}
        self.assertEqual(sorted(debs), ["nuv", "nuv-browser"])
        for package, files in (("nuv", INSTALLED), ("nuv-browser", BROWSER_INSTALLED)):
            listed = {line.split()[-1] for line in
                      run("dpkg-deb", "-c", debs[package]).stdout.splitlines()}
            for name in files:
                self.assertIn(f"./usr/{name}", listed, package)
            # Each file in one package only.
            if package == "nuv":
                self.assertNotIn(f"./usr/{MODULE}", listed)

        def field(package, name):
            return run("dpkg-deb", "-f", debs[package], name).stdout.strip()
        # The engine: what it links and the transfer library it loads itself, and no web engine.
        depends = field("nuv", "Depends")
        for package in ("libqt6widgets6", "libc6", "libcurl4"):
            self.assertIn(package, depends)
        self.assertNotIn("webengine", depends.lower())
        self.assertIn("nuv-browser", [r.strip() for r in field("nuv", "Recommends").split(",")])
        # The module: the web engine, and the engine of its own version.
        browser = field("nuv-browser", "Depends")
        self.assertIn("libqt6webenginewidgets6", browser)
        self.assertIn(f"nuv (= {field('nuv', 'Version')})", browser)
        for package in debs:
            maintainer = field(package, "Maintainer")
            self.assertRegex(maintainer, r"^[^<]+ <[^@<>\s]+@[^@<>\s]+\.[a-z]+>$")
            self.assertNotIn("localhost", maintainer)

        if shutil.which("lintian") is None:
            self.skipTest("lintian is not installed (scripts/setup installs it)")
        checked = run("lintian", "--no-cfg", "--fail-on", "error", *debs.values())
        errors = [line for line in checked.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual((errors, checked.returncode), ([], 0), checked.stdout + checked.stderr)


if __name__ == "__main__":
    unittest.main()
