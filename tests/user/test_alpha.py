"""Per-pixel-alpha skins as a person sees them: against a backdrop window of a known colour, with
and without a compositor, and with one starting while the Skivet runs."""
import os
import struct
import subprocess
import time
import unittest
import zlib

from skivet import UserTest, solid, wait_for

BACKDROP, PANEL, OTHER = (200, 180, 40), (40, 60, 90), (20, 90, 220)
NORMAL, MASK, BLUE = (30, 160, 60), (254, 1, 254), (0, 0, 255)
# The skin: 240x160, an opaque panel at (20..179, 20..119), a black shadow of alpha 128 right of
# it and below it, and clear everywhere else.
SKIN_SIZE = (240, 160)
LEFT, TOP = 100, 80
SHADOW_AT = (188, 60)  # in the right-hand shadow
CLEAR_AT = (220, 60)   # right of the shadow
CORNER_AT = (5, 5)
BLEND = tuple(round(c * (255 - 128) / 255) for c in BACKDROP)


def rgba_png(width, height, rgba_at):
    raw = b"".join(b"\x00" + b"".join(bytes(rgba_at(x, y)) for x in range(width))
                   for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def skin(x, y):
    if 20 <= x < 180 and 20 <= y < 120:
        return PANEL + (255,)
    if (180 <= x < 196 and 30 <= y < 136) or (30 <= x < 196 and 120 <= y < 136):
        return (0, 0, 0, 128)
    return (0, 0, 0, 0)


def disc(colour, ground):
    """A 40x40 disc on a ground colour."""
    return lambda x, y: (colour if (x - 20) ** 2 + (y - 20) ** 2 < 15 ** 2 else ground) + (255,)


def button(name, picture, left, top, block="", size=(40, 30)):
    return (f"OBJECT BUTTON\nTYPE GRAPHICAL\nNAME {name}\nBITMAP '{picture}'\nLEFT {left}\n"
            f"TOP {top}\nWIDTH {size[0]}\nHEIGHT {size[1]}\n"
            f"EVENT CLICK\n{block}\nENDEVENT\nENDOBJECT\n")


class Compositor:
    """xcompmgr on the test's display, and the moment the engine has seen it."""

    def __init__(self, env):
        self.process = subprocess.Popen(["xcompmgr"], env=env, stderr=subprocess.DEVNULL)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait(timeout=10)


class Alpha(UserTest):
    def setUp(self):
        super().setUp()
        self.write_bytes("skin.png", rgba_png(*SKIN_SIZE, skin))
        self.write_bytes("backdrop.png", solid(600, 500, BACKDROP))
        self.write_bytes("other.png", solid(40, 30, OTHER))
        self.write_bytes("wide.png", solid(70, 20, OTHER))
        self.write_bytes("keyed.png", rgba_png(40, 40, disc(NORMAL, MASK)))
        self.write_bytes("opaque.png", solid(*SKIN_SIZE, OTHER))
        self.write("backdrop.nuv", '"backdrop.skv"')
        self.write("backdrop.skv", 'TITLE "Backdrop"\nOBJECT FORM\nLEFT 0\nTOP 0\n'
                   'BITMAP "backdrop.png"\nENDOBJECT\n')
        self.write("app.nuv", '"app.skv"')
        backdrop = self.start("backdrop.nuv")
        self.backdrop = backdrop.window("Backdrop")
        self.assertEqual(backdrop.wait_pixel(300, 300, BACKDROP), BACKDROP)

    def compositor(self):
        compositor = Compositor(self.env)
        self.addCleanup(compositor.close)
        return compositor

    def open(self, body="", title="Alpha", form=f"LEFT {LEFT}\nTOP {TOP}\n"
             'ALPHABLENDBITMAP "skin.png"\nSETSHAPEBMP'):
        self.write("app.skv", f'TITLE "{title}"\nOBJECT FORM\nNAME Main\n{form}\nENDOBJECT\n'
                   f'{body}')
        engine = self.start("app.nuv")
        return engine, engine.window(title)

    def at(self, engine, point, origin=(LEFT, TOP)):
        return engine.pixel(origin[0] + point[0], origin[1] + point[1])

    def wait_at(self, engine, point, expected, origin=(LEFT, TOP), tolerance=0):
        return engine.wait_pixel(origin[0] + point[0], origin[1] + point[1], expected,
                                 tolerance=tolerance)

    def window_under(self, engine, point, origin=(LEFT, TOP)):
        engine.xdotool("mousemove", origin[0] + point[0], origin[1] + point[1])
        out = subprocess.run(["xdotool", "getmouselocation"], env=self.env,
                             capture_output=True, text=True, check=True).stdout
        return dict(item.split(":") for item in out.split())["window"]

    def click(self, engine, point, origin=(LEFT, TOP)):
        engine.xdotool("mousemove", origin[0] + point[0], origin[1] + point[1])
        engine.xdotool("click", 1)

    def test_with_a_compositor_translucent_pixels_blend_and_clear_ones_let_clicks_through(self):
        self.compositor()
        engine, window = self.open()
        self.assertEqual(self.wait_at(engine, SHADOW_AT, BLEND, tolerance=3), BLEND)
        self.assertEqual(self.at(engine, (100, 70)), PANEL)
        self.assertEqual(self.at(engine, CORNER_AT), BACKDROP)
        self.assertEqual(self.at(engine, CLEAR_AT), BACKDROP)
        self.assertIsNone(engine.shape_extents(window))
        self.assertEqual(self.window_under(engine, CLEAR_AT), self.backdrop)
        self.assertEqual(self.window_under(engine, CORNER_AT), self.backdrop)
        self.assertEqual(self.window_under(engine, SHADOW_AT), window)
        self.assertEqual(self.window_under(engine, (100, 70)), window)

    def test_without_a_compositor_the_window_is_cut_to_its_opaque_pixels(self):
        engine, window = self.open()
        self.assertEqual(self.wait_at(engine, (100, 70), PANEL), PANEL)
        # A translucent pixel never shows black: it is cut away.
        self.assertEqual(self.at(engine, SHADOW_AT), BACKDROP)
        self.assertEqual(self.at(engine, CORNER_AT), BACKDROP)
        self.assertEqual(engine.shape_extents(window), (160, 100, 20, 20))
        self.assertEqual(self.window_under(engine, SHADOW_AT), self.backdrop)

    def test_compositor_starting_and_stopping_while_the_skivet_runs(self):
        engine, window = self.open()
        self.assertEqual(self.wait_at(engine, (100, 70), PANEL), PANEL)
        self.assertEqual(self.at(engine, SHADOW_AT), BACKDROP)
        compositor = self.compositor()
        self.assertEqual(self.wait_at(engine, SHADOW_AT, BLEND, tolerance=3), BLEND)
        self.assertEqual(wait_for(lambda: self.window_under(engine, SHADOW_AT),
                                  lambda got: got == window), window)
        self.assertEqual(self.window_under(engine, CLEAR_AT), self.backdrop)
        compositor.close()
        self.assertEqual(self.wait_at(engine, SHADOW_AT, BACKDROP), BACKDROP)
        self.assertEqual(self.at(engine, (100, 70)), PANEL)
        self.assertEqual(engine.shape_extents(window), (160, 100, 20, 20))


if __name__ == "__main__":
    unittest.main()
