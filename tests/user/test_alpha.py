"""Per-pixel-alpha skins as a person sees them: against a backdrop window of a known colour, with
and without a compositor, and with one starting while the Skivet runs."""
import os
import struct
import subprocess
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

    def test_mask_colour_keys_what_the_objects_paint_until_the_next_skin(self):
        self.compositor()
        # A disc on the mask colour over the panel, and one over the clear part of the skin.
        engine, window = self.open(
            "CLIPOBJECTS FALSE\n" +
            button("Disc", "keyed.png", 30, 30, size=(40, 40)) +
            button("Away", "keyed.png", 196, 40, size=(40, 40)) +
            button("Recolour", "other.png", 100, 30,
                   "SETMASKCOLOR RGB(0, 0, 255)\nTITLE 'recoloured'") +
            button("Reskin", "other.png", 100, 70,
                   "Main ALPHABLENDBITMAP 'skin.png'\nMain SETSHAPEBMP\nTITLE 'reskinned'"))
        self.assertEqual(self.wait_at(engine, (50, 50), NORMAL), NORMAL)
        self.assertEqual(self.at(engine, (31, 31)), PANEL)
        self.assertEqual(self.at(engine, (197, 41)), BACKDROP)
        self.assertEqual(self.at(engine, (216, 60)), NORMAL)
        # A new mask colour waits for the next skin.
        self.click(engine, (120, 45))
        self.assertEqual(engine.wait_title(window, "recoloured"), "recoloured")
        engine.xdotool("mousemove", LEFT + 50, TOP + 50)  # repaints the disc
        self.assertEqual(self.at(engine, (31, 31)), PANEL)
        self.click(engine, (120, 85))
        self.assertEqual(engine.wait_title(window, "reskinned"), "reskinned")
        self.assertEqual(self.wait_at(engine, (31, 31), MASK), MASK)

    def test_clip_objects_on_and_off(self):
        for composited in (False, True):
            with self.subTest(composited=composited):
                compositor = self.compositor() if composited else None
                # A button from the panel over the shadow to the clear part; CLIPOBJECTS TRUE.
                engine, window = self.open(
                    button("Wide", "wide.png", 160, 50, size=(70, 20)) +
                    button("Unclip", "other.png", 40, 40,
                           "CLIPOBJECTS FALSE\nTITLE 'unclipped'"),
                    title=f"Clip {composited}")
                shadow = BLEND if composited else BACKDROP
                self.assertEqual(self.wait_at(engine, (170, 60), OTHER), OTHER)
                self.assertEqual(self.wait_at(engine, SHADOW_AT, shadow, tolerance=3), shadow)
                self.assertEqual(self.at(engine, (215, 60)), BACKDROP)
                self.assertEqual(self.window_under(engine, (215, 60)), self.backdrop)
                self.click(engine, (60, 55))
                self.assertEqual(engine.wait_title(window, "unclipped"), "unclipped")
                for point in ((170, 60), SHADOW_AT, (215, 60)):
                    self.assertEqual(self.wait_at(engine, point, OTHER), OTHER)
                self.assertEqual(self.window_under(engine, (215, 60)), window)
                engine.stop()
                if compositor:
                    compositor.close()

    def test_dragging_the_skin_honours_the_movement_restriction(self):
        modes = [("HorizontalOnly", (25, 0)), ("VerticalOnly", (0, 20)), ("None", (25, 20)),
                 ("NoMove", (0, 0))]
        body = "".join(button(mode, "other.png", 30 + 40 * i, 70,
                              f"RESTRICTMOVE {mode}\nTITLE '{mode}'")
                       for i, (mode, _) in enumerate(modes))
        self.compositor()
        engine, window = self.open(body)
        left, top = LEFT, TOP
        for i, (mode, (dx, dy)) in enumerate(modes):
            with self.subTest(mode=mode):
                self.click(engine, (50 + 40 * i, 85), (left, top))
                self.assertEqual(engine.wait_title(window, mode), mode)
                engine.xdotool("mousemove", left + 150, top + 40)
                engine.xdotool("mousedown", 1)
                engine.xdotool("mousemove", left + 160, top + 50)
                engine.xdotool("mousemove", left + 175, top + 60)
                engine.xdotool("mouseup", 1)
                left, top = left + dx, top + dy
                self.assertEqual(engine.wait_position(window, (left, top)), (left, top))
        # Everything moved as one: the skin's pixels are where the window is.
        self.assertEqual(self.wait_at(engine, SHADOW_AT, BLEND, (left, top), 3), BLEND)
        self.assertEqual(self.at(engine, (100, 40), (left, top)), PANEL)

    def test_leaving_alpha_mode(self):
        self.compositor()
        body = (button("Empty", "other.png", 30, 30, "Main SETSHAPEBMP\nTITLE 'empty'") +
                button("Alpha", "other.png", 80, 30,
                       "Main ALPHABLENDBITMAP 'skin.png'\nMain SETSHAPEBMP\nTITLE 'alpha'") +
                button("Bitmap", "other.png", 130, 30,
                       "Main BITMAP 'opaque.png'\nMain SETSHAPEBMP\nTITLE 'bitmap'"))
        engine, window = self.open(body)
        self.assertEqual(self.wait_at(engine, SHADOW_AT, BLEND, tolerance=3), BLEND)
        for name, shadow in (("empty", None), ("alpha", BLEND), ("bitmap", OTHER)):
            with self.subTest(leave=name):
                x = {"empty": 50, "alpha": 100, "bitmap": 150}[name]
                self.click(engine, (x, 45))
                window = engine.window(name)
                if shadow is None:
                    # An opaque window: neither the backdrop nor black shows through.
                    got = wait_for(lambda: self.at(engine, SHADOW_AT),
                                   lambda got: got not in (BLEND, BACKDROP, (0, 0, 0)))
                    self.assertNotIn(got, (BLEND, BACKDROP, (0, 0, 0)))
                    self.assertEqual(self.at(engine, CORNER_AT), got)
                else:
                    self.assertEqual(self.wait_at(engine, SHADOW_AT, shadow, tolerance=3),
                                     shadow)
                opaque = shadow != BLEND
                self.assertEqual(self.window_under(engine, CLEAR_AT) == window, opaque)
                if opaque:
                    self.assertIsNone(engine.shape_extents(window))

    def test_window_hints_and_placement_survive_the_change_of_visual(self):
        # A shaped opaque window that turns into an alpha one: its native window is made anew.
        self.write_bytes("plain.png", solid(*SKIN_SIZE, OTHER))
        engine, window = self.open(
            "ALWAYSONTOP TRUE\nSHOWINTASKBAR FALSE\n" +
            button("Go", "other.png", 30, 30,
                   "Main ALPHABLENDBITMAP 'skin.png'\nMain SETSHAPEBMP\nTITLE 'alpha'"),
            form='TOP 300\nBITMAP "plain.png"\nSETSHAPEBMP')
        left = (1280 - SKIN_SIZE[0]) // 2
        self.assertEqual(engine.geometry(window), (left, 300) + SKIN_SIZE)
        self.assertNotIn("32", self.depth(window))
        self.click(engine, (50, 45), (left, 300))
        alpha = engine.window("alpha")
        self.assertEqual(engine.geometry(alpha), (left, 300) + SKIN_SIZE)
        self.assertIn("32", self.depth(alpha))
        state = subprocess.run(["xprop", "-id", alpha, "_NET_WM_STATE"], env=self.env,
                               capture_output=True, text=True).stdout
        self.assertIn("_NET_WM_STATE_ABOVE", state)
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", state)

    def test_unplaced_alpha_window_is_centred(self):
        engine, window = self.open(form='ALPHABLENDBITMAP "skin.png"\nSETSHAPEBMP')
        self.assertEqual(engine.geometry(window),
                         ((1280 - SKIN_SIZE[0]) // 2, (1024 - SKIN_SIZE[1]) // 2) + SKIN_SIZE)

    def test_pictures_that_cannot_be_read_leave_the_skin_as_it_was(self):
        # 100000 x 100000 declared pixels: refused before any memory is taken.
        huge = (b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" +
                struct.pack(">IIBBBBB", 100000, 100000, 8, 6, 0, 0, 0))
        huge += struct.pack(">I", zlib.crc32(huge[12:]) & 0xFFFFFFFF)
        huge += rgba_png(1, 1, lambda x, y: (0, 0, 0, 0))[33:]
        self.write_bytes("huge.png", huge)
        self.write_bytes("empty.png", b"")
        self.write_bytes("cut.png", rgba_png(*SKIN_SIZE, skin)[:300])
        negative = subprocess.run(["convert", os.path.join(self.dir, "other.png"), "bmp3:-"],
                                  capture_output=True, check=True).stdout
        # A BMP stored top-down (negative height), with a flipped row order it reads fine.
        self.write_bytes("negative.bmp", negative[:22] + struct.pack("<i", -30) + negative[26:])
        lines = "".join(f"Main ALPHABLENDBITMAP '{name}'\nMain SETSHAPEBMP\n"
                        for name in ("huge.png", "empty.png", "cut.png", "missing.png"))
        engine, window = self.open(
            button("Bad", "other.png", 30, 30, lines + "TITLE 'tried'") +
            button("Bmp", "other.png", 80, 30,
                   "Main BITMAP 'negative.bmp'\nMain SETSHAPEBMP\nTITLE 'bmp'"))
        self.assertEqual(self.wait_at(engine, (100, 70), PANEL), PANEL)
        self.click(engine, (50, 45))
        self.assertEqual(engine.wait_title(window, "tried"), "tried")
        self.assertEqual(engine.geometry(window), (LEFT, TOP) + SKIN_SIZE)
        self.assertEqual(self.at(engine, (100, 70)), PANEL)
        self.assertEqual(engine.shape_extents(window), (160, 100, 20, 20))
        self.click(engine, (100, 45))
        window = engine.window("bmp")
        self.assertEqual(engine.wait_size(window, (40, 30)), (40, 30))
        self.assertEqual(engine.wait_pixel(LEFT + 5, TOP + 5, OTHER), OTHER)
        self.assertIsNone(engine.process.poll())

    def test_switching_skins_200_times_keeps_memory_steady(self):
        self.measure_memory()
        self.write_bytes("big.png", rgba_png(800, 600, lambda x, y: (
            PANEL + (255,) if 20 <= x < 780 and 20 <= y < 580 else (0, 0, 0, 100))))
        self.write_bytes("plain.png", solid(800, 600, OTHER))
        ten = "".join(f"Main {kind} '{name}'\nMain SETSHAPEBMP\n"
                      for kind, name in (("BITMAP", "plain.png"),
                                         ("ALPHABLENDBITMAP", "big.png")) * 5)
        engine, window = self.open(
            button("Odd", "other.png", 30, 30, ten + "TITLE 'odd'") +
            button("Even", "other.png", 80, 30, ten + "TITLE 'even'"),
            form=f"LEFT 10\nTOP 10\nALPHABLENDBITMAP 'big.png'\nSETSHAPEBMP")
        self.assertEqual(self.wait_at(engine, (100, 70), PANEL, (10, 10)), PANEL)
        # The first block takes each kind of skin a first time; 200 switches follow it.
        for turn in range(21):
            expected = "odd" if turn % 2 == 0 else "even"
            self.click(engine, (50 if turn % 2 == 0 else 100, 45), (10, 10))
            self.assertEqual(engine.wait_title(engine.window(expected), expected), expected)
            if turn == 0:
                after_first = self.resident(engine)
        grown = self.resident(engine) - after_first
        self.assertLess(grown, 2 * 1024, f"resident memory grew by {grown} KiB")

    def resident(self, engine):
        with open(f"/proc/{engine.process.pid}/status") as f:
            return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))

    def depth(self, window):
        return [line for line in subprocess.run(
            ["xwininfo", "-id", window], env=self.env, capture_output=True,
            text=True).stdout.splitlines() if "Depth:" in line][0]


if __name__ == "__main__":
    unittest.main()
