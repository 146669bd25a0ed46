"""A Skivet in a Wayland session: natively on the compositor when no X server is offered, with
shaped and alpha skins cut by their transparent pixels, and on the X server when one is offered
beside it. The compositor is weston's headless back end, read back through its screenshot
client."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from skivet import WAIT, UserTest, png, wait_for

BACKGROUND = (32, 64, 96)  # the compositor's desktop
SKIN, KEY = (200, 40, 40), (255, 0, 255)
SIZE = (160, 120)
INSIDE = (20, 20, 140, 100)  # the skin's solid part: left, top, right, bottom (exclusive)


def inside(x, y):
    return INSIDE[0] <= x < INSIDE[2] and INSIDE[1] <= y < INSIDE[3]


class Weston:
    """A headless weston with a one-colour desktop on a socket of its own."""

    def __init__(self, folder):
        self.runtime = os.path.join(folder, "wayland")
        os.makedirs(self.runtime, mode=0o700)
        config = os.path.join(folder, "weston.ini")
        with open(config, "w") as f:
            f.write("[core]\nidle-time=0\n[shell]\nbackground-image=\n"
                    "background-color=0xff%02x%02x%02x\npanel-position=none\nanimation=none\n"
                    "startup-animation=none\n" % BACKGROUND)
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, WAYLAND_DISPLAY="nuv-test")
        self.process = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--use-pixman", "--socket=nuv-test",
             "--width=640", "--height=480", "--debug", f"--config={config}"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        socket = os.path.join(self.runtime, "nuv-test")
        if not wait_for(lambda: os.path.exists(socket), bool):
            raise AssertionError("weston did not start")
        self.folder = folder

    def screen(self):
        """The output's pixels: (width, rows of RGB bytes)."""
        shots = os.path.join(self.folder, "shots")
        shutil.rmtree(shots, True)
        os.makedirs(shots)
        subprocess.run(["weston-screenshooter"], env=self.env, cwd=shots, check=True,
                       timeout=WAIT)
        (name,) = os.listdir(shots)
        raw = subprocess.run(["convert", os.path.join(shots, name), "-depth", "8", "rgb:-"],
                             capture_output=True, check=True).stdout
        return 640, raw

    def close(self):
        self.process.terminate()
        self.process.wait()


def find(screen, colour):
    """The bounding box (left, top, right, bottom) of the pixels of exactly this colour."""
    width, raw = screen
    found = [i // 3 for i in range(0, len(raw), 3) if tuple(raw[i:i + 3]) == colour]
    if not found:
        return None
    xs, ys = [i % width for i in found], [i // width for i in found]
    return min(xs), min(ys), max(xs) + 1, max(ys) + 1


def pixel(screen, x, y):
    width, raw = screen
    at = (y * width + x) * 3
    return tuple(raw[at:at + 3])


class Wayland(UserTest):
    def setUp(self):
        super().setUp()
        self.weston = Weston(tempfile.mkdtemp(prefix="nuv-weston-"))
        self.addCleanup(shutil.rmtree, self.weston.folder, True)
        self.addCleanup(self.weston.close)
        self.write("app.nuv", '"app.skv"')

    def native(self):
        """The engine's environment in a session that offers no X server."""
        env = dict(self.env, WAYLAND_DISPLAY="nuv-test",
                   XDG_RUNTIME_DIR=self.weston.runtime)
        for name in ("DISPLAY", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        return env

    def test_natively_skins_are_cut_by_their_transparent_pixels(self):
        self.write_bytes("alpha.png", png(*SIZE, lambda x, y: SKIN + (255,) if inside(x, y)
                                          else (0, 0, 0, 0)))
        self.write_bytes("keyed.png", png(*SIZE, lambda x, y: SKIN if inside(x, y) else KEY))
        # The solid part's size on screen: an alpha skin shows every opaque pixel; a colour-keyed
        # one is cut to its traced outline, as on X11, which leaves out the last column and row.
        width, height = INSIDE[2] - INSIDE[0], INSIDE[3] - INSIDE[1]
        for form, shown in (("ALPHABLENDBITMAP 'alpha.png'\nSETSHAPEBMP", (width, height)),
                            ("BITMAP 'keyed.png'\nSETSHAPEBMP", (width - 1, height - 1))):
            with self.subTest(form=form):
                self.write("app.skv", f"TITLE 'Wayland'\nOBJECT FORM\nLEFT 10\nTOP 10\n{form}\n"
                                      "ENDOBJECT\n")
                self.env = self.native()
                engine = self.start("app.nuv")
                box = wait_for(lambda: find(self.weston.screen(), SKIN), bool)
                self.assertIsNotNone(box, "no window on the compositor")
                self.assertEqual((box[2] - box[0], box[3] - box[1]), shown, box)
                # The window's corners show the desktop behind it, not black nor the key.
                left, top = box[0] - INSIDE[0], box[1] - INSIDE[1]
                screen = self.weston.screen()
                for x, y in ((2, 2), (SIZE[0] - 3, 2), (2, SIZE[1] - 3)):
                    self.assertEqual(pixel(screen, left + x, top + y), BACKGROUND, (x, y))
                _, err = engine.stop()
                self.assertEqual(err.count("the compositor places the window"), 1, err)
                self.assertNotIn("qt.qpa.wayland", err)

    def test_beside_an_x_server_the_engine_uses_it(self):
        self.write_bytes("keyed.png", png(*SIZE, lambda x, y: SKIN if inside(x, y) else KEY))
        self.write("app.skv", "TITLE 'On X'\nOBJECT FORM\nLEFT 30\nTOP 40\nBITMAP 'keyed.png'\n"
                              "SETSHAPEBMP\nENDOBJECT\n")
        self.env.update(WAYLAND_DISPLAY="nuv-test", XDG_RUNTIME_DIR=self.weston.runtime)
        self.env.pop("QT_QPA_PLATFORM", None)
        engine = self.start("app.nuv")
        window = engine.window("On X")
        self.assertEqual(engine.geometry(window)[:2], (30, 40))
        self.assertIsNone(find(self.weston.screen(), SKIN))
        _, err = engine.stop()
        self.assertNotIn("compositor places", err)


if __name__ == "__main__":
    unittest.main()
