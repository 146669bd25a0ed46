"""A Skivet as a screen reader sees it: the tree read over AT-SPI from a private accessibility
bus, each kind of object with its role and name, the window named by its TITLE, hidden objects
left out, a button's press action running its CLICK, and a browser's page below the browser."""
import json
import os
import subprocess
import unittest

from skivet import PYTHON, WAIT, UserTest, png, solid, wait_for

HERE = os.path.dirname(os.path.abspath(__file__))
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
PANEL, NORMAL, MAGENTA = (40, 60, 90), (30, 160, 60), (255, 0, 255)

DOCUMENT = (
    "OBJECT BUTTON\nTYPE TEXT\nNAME Go\nCAPTION 'Go on'\nLEFT 10\nTOP 10\nWIDTH 80\nHEIGHT 24\n"
    "ENDOBJECT\n"
    "OBJECT BUTTON\nTYPE TEXT\nNAME Bare\nLEFT 10\nTOP 40\nWIDTH 80\nHEIGHT 24\nENDOBJECT\n"
    "OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Play\nBITMAP 'normal.png'\nLEFT 100\nTOP 10\n"
    "WIDTH 40\nHEIGHT 30\nEVENT CLICK\nTITLE 'Played'\nGo HIDE\nENDEVENT\nENDOBJECT\n"
    "OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Stop\nCAPTION 'Stop now'\nBITMAP 'normal.png'\n"
    "LEFT 100\nTOP 50\nWIDTH 40\nHEIGHT 30\nENDOBJECT\n"
    "OBJECT BUTTON\nTYPE SHAPED\nNAME Dial\nBITMAP 'disc.png'\nLEFT 150\nTOP 10\n"
    "EVENT CLICK\nTITLE 'Dialled'\nENDEVENT\nENDOBJECT\n"
    "OBJECT BUTTON\nTYPE TEXT\nNAME Secret\nCAPTION 'Secret'\nVISIBLE FALSE\nLEFT 10\n"
    "TOP 70\nWIDTH 80\nHEIGHT 24\nENDOBJECT\n"
    "OBJECT INPUTBOX\nNAME Station\nLEFT 10\nTOP 100\nWIDTH 120\nHEIGHT 20\nENDOBJECT\n")


def flatten(tree):
    """Every node of a tree, depth first."""
    yield tree
    for child in tree["children"]:
        yield from flatten(child)


class Accessibility(UserTest):
    def setUp(self):
        super().setUp()
        if not os.path.exists(BUS_LAUNCHER):
            self.skipTest(f"no AT-SPI bus launcher at {BUS_LAUNCHER} (package at-spi2-core)")
        self.start_buses()
        self.write_bytes("skin.png", solid(200, 150, PANEL))
        self.write_bytes("normal.png", solid(40, 30, NORMAL))
        self.write_bytes("disc.png", png(40, 40, lambda x, y: NORMAL if (x - 20) ** 2 +
                                         (y - 20) ** 2 < 15 ** 2 else MAGENTA))
        self.write("app.nuv", '"app.skv"')
        self.env["QT_ACCESSIBILITY"] = "1"
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def start_buses(self):
        """A private session bus, as dbus-run-session gives; asking it for the accessibility
        bus starts at-spi-bus-launcher (D-Bus activation), which ends with the session bus."""
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                               env=self.env)
        self.addCleanup(self.end, bus)
        address = bus.stdout.readline().strip()
        if not address:
            self.skipTest("the session bus did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.env.pop("AT_SPI_BUS_ADDRESS", None)
        if not wait_for(self.a11y_bus_address, bool):
            self.skipTest("the AT-SPI bus did not start")

    def end(self, process):
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        if process.stdout is not None:
            process.stdout.close()

    def a11y_bus_address(self):
        out = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                              "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=self.env,
                             capture_output=True, text=True)
        return out.returncode == 0 and "string" in out.stdout

    def client(self, *args):
        return subprocess.run([PYTHON, os.path.join(HERE, "atspitree.py"), *map(str, args)],
                              env=self.env, capture_output=True, text=True, timeout=WAIT)

    def tree(self, engine):
        out = self.client(engine.process.pid)
        self.assertEqual(out.returncode, 0, out.stderr)
        return json.loads(out.stdout)

    def wait_tree(self, engine, holds):
        """The engine's tree once holds(tree) is true, or the last one read."""
        return wait_for(lambda: self.tree(engine), lambda tree: tree is not None and holds(tree))

    def open(self, title="Access"):
        self.write("app.skv", f'TITLE "{title}"\nOBJECT FORM\nNAME Main\nLEFT 100\nTOP 80\n'
                              f'BITMAP "skin.png"\nENDOBJECT\n{DOCUMENT}')
        engine = self.start("app.nuv")
        return engine, engine.window(title)

    @staticmethod
    def named(tree, name):
        return [node for node in flatten(tree) if node["name"] == name]

    def test_each_kind_of_object_has_its_role_and_name(self):
        engine, _ = self.open()
        tree = self.wait_tree(engine, lambda tree: self.named(tree, "Station"))
        cases = [
            # name, role, editable
            ("Go on", "push button", False),   # a caption names a text button
            ("Bare", "push button", False),    # without one, its NAME does
            ("Play", "push button", False),    # a picture button by its NAME
            ("Stop now", "push button", False),  # ...or by its caption
            ("Dial", "push button", False),    # a shaped button
            ("Station", "text", True),         # an input box by its NAME
        ]
        for name, role, editable in cases:
            with self.subTest(name=name):
                found = self.named(tree, name)
                self.assertEqual(len(found), 1, f"{name} not in the tree once: {found}")
                self.assertEqual(found[0]["role"], role)
                self.assertEqual(found[0]["editable"], editable)
                self.assertTrue(found[0]["focusable"])
        windows = [node for node in flatten(tree) if node["role"] in ("frame", "window")]
        self.assertEqual([window["name"] for window in windows], ["Access"])
        # The hidden button is no part of the tree, and no object is left unnamed.
        self.assertEqual(self.named(tree, "Secret"), [])
        unnamed = [node["role"] for node in flatten(tree)
                   if not node["name"] and node["role"] in ("push button", "text", "filler")]
        self.assertEqual(unnamed, [])

    def test_press_action_runs_click_and_the_window_takes_the_new_title(self):
        engine, window = self.open()
        self.wait_tree(engine, lambda tree: self.named(tree, "Play"))
        for name, title in (("Play", "Played"), ("Dial", "Dialled")):
            with self.subTest(name=name):
                pressed = self.client(engine.process.pid, "--press", name)
                self.assertEqual(pressed.returncode, 0, pressed.stderr)
                self.assertEqual(engine.wait_title(window, title), title)
                tree = self.wait_tree(engine, lambda tree: self.named(tree, title))
                windows = [node for node in flatten(tree) if node["role"] in ("frame", "window")]
                self.assertEqual([window["name"] for window in windows], [title])
        # Play's CLICK hid Go: it has left the tree.
        self.assertEqual(self.named(self.tree(engine), "Go on"), [])

    def test_a_browser_is_named_and_its_page_lies_below_it(self):
        self.write("page.html", "<html><body><h1>Hello reader</h1><p>Some text.</p>"
                                "<button>Page button</button></body></html>", crlf=False)
        self.write("app.skv", 'TITLE "Pages"\nOBJECT FORM\nNAME Main\nLEFT 100\nTOP 80\n'
                              'BITMAP "skin.png"\nENDOBJECT\nOBJECT BROWSER\nNAME Web\nLEFT 10\n'
                              'TOP 10\nWIDTH 180\nHEIGHT 120\nLOCATION "page.html"\nENDOBJECT\n')
        engine = self.start("app.nuv")
        engine.window("Pages")
        tree = self.wait_tree(engine, lambda tree: any(
            self.named(browser, "Page button") for browser in self.named(tree, "Web")))
        browsers = self.named(tree, "Web")
        self.assertEqual(len(browsers), 1, tree)
        page = list(flatten(browsers[0]))
        self.assertIn(("heading", "Hello reader"), [(n["role"], n["name"]) for n in page])
        self.assertIn(("push button", "Page button"), [(n["role"], n["name"]) for n in page])


if __name__ == "__main__":
    unittest.main()
