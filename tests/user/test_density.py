"""A Skivet on a display of two device pixels to a pixel (QT_SCALE_FACTOR=2): double-density art
beside a picture is drawn pixel for pixel and shapes are traced from it; without art, shapes
still match the scaled picture and plain skins scale smoothly; at scale 1 no art is looked for."""
import os
import subprocess
import unittest

from skivet import UserTest, png, solid, wait_for
from test_alpha import Compositor

ROOT, KEY = (0, 0, 0), (255, 0, 255)
INK, PAPER = (20, 120, 220), (240, 200, 30)
LEFT, TOP = 100, 80
SIZE = (40, 30)  # the picture's size: the window's in logical pixels


def blob(box, fine):
    """colour_at for a picture: the box (left, top, right, bottom; right and bottom outside) in
    a checkerboard of INK and PAPER, one square per fine pixels, on the key colour."""
    left, top, right, bottom = box

    def colour(x, y):
        if not (left <= x < right and top <= y < bottom):
            return KEY
        return INK if (x // fine + y // fine) % 2 == 0 else PAPER
    return colour


# The art's box has odd edges: half-pixels of the picture, which only art can place.
ART_BOX = (5, 3, 71, 53)
PICTURE_BOX = (3, 2, 36, 27)


class Density(UserTest):
    def setUp(self):
        super().setUp()
        self.env["QT_SCALE_FACTOR"] = "2"
        self.write("app.nuv", '"app.skv"')

    def open(self, form, title="Density"):
        self.write("app.skv", f'TITLE "{title}"\nOBJECT FORM\nLEFT {LEFT}\nTOP {TOP}\n{form}\n'
                   'ENDOBJECT\n')
        engine = self.start("app.nuv")
        return engine, engine.window(title)

    def assert_drawn(self, engine, window, expected):
        """Every device pixel of the window shows expected(x, y): the picture inside the shape,
        the empty screen outside it."""
        left, top, width, height = engine.geometry(window)
        self.assertEqual((left, top, width, height), (2 * LEFT, 2 * TOP, 2 * SIZE[0], 2 * SIZE[1]))
        wanted = [[expected(x, y) for x in range(width)] for y in range(height)]
        got = wait_for(lambda: engine.area(left, top, width, height), lambda got: got == wanted)
        wrong = [(x, y, got[y][x], wanted[y][x]) for y in range(height) for x in range(width)
                 if got[y][x] != wanted[y][x]]
        self.assertEqual(wrong[:5], [], f"{len(wrong)} device pixels differ")

    def write_alpha_skin_with_art(self):
        """skin.png and its @2x art: the key colour transparent, every other pixel opaque."""
        def alpha(box):
            colour = blob(box, 1)
            return lambda x, y: colour(x, y) + ((0,) if colour(x, y) == KEY else (255,))
        self.write_bytes("skin.png", png(*SIZE, alpha(PICTURE_BOX)))
        self.write_bytes("skin@2x.png", png(2 * SIZE[0], 2 * SIZE[1], alpha(ART_BOX)))

    def test_shaped_skin_is_drawn_from_its_art_and_cut_to_it_pixel_for_pixel(self):
        self.write_bytes("skin.png", png(*SIZE, blob(PICTURE_BOX, 1)))
        self.write_bytes("skin@2x.png", png(2 * SIZE[0], 2 * SIZE[1], blob(ART_BOX, 1)))
        engine, window = self.open('BITMAP "skin.png"\nSETSHAPEBMP')
        art = blob(ART_BOX, 1)
        # A traced region leaves out the outline's last column and row.
        left, top, right, bottom = ART_BOX

        def expected(x, y):
            return art(x, y) if left <= x < right - 1 and top <= y < bottom - 1 else ROOT
        self.assert_drawn(engine, window, expected)
        self.assertEqual(engine.shape_extents(window), (right - 1 - left, bottom - 1 - top, 5, 3))

    def test_without_art_the_shape_matches_the_scaled_picture(self):
        self.write_bytes("skin.png", png(*SIZE, blob(PICTURE_BOX, 1)))
        engine, window = self.open('BITMAP "skin.png"\nSETSHAPEBMP')
        picture = blob(PICTURE_BOX, 1)
        left, top, right, bottom = PICTURE_BOX

        # Square pixels, two by two: a shaped skin is never blended with its key colour.
        def expected(x, y):
            inside = left <= x // 2 < right - 1 and top <= y // 2 < bottom - 1
            return picture(x // 2, y // 2) if inside else ROOT
        self.assert_drawn(engine, window, expected)

    def test_without_art_a_plain_skin_scales_smoothly(self):
        self.write_bytes("skin.png", png(*SIZE, blob((0, 0) + SIZE, 1)))
        engine, window = self.open('BITMAP "skin.png"')
        left, top, width, height = engine.geometry(window)

        def colours():
            return {colour for row in engine.area(left + 10, top + 10, 20, 20) for colour in row}
        # Squares two pixels wide would show the two colours alone.
        got = wait_for(colours, lambda got: len(got) > 2)
        self.assertGreater(len(got), 2, got)

    def test_alpha_skin_with_art_is_cut_to_the_art_opaque_pixels(self):
        self.write_alpha_skin_with_art()
        # No compositor runs: the window is cut to the opaque pixels.
        engine, window = self.open('ALPHABLENDBITMAP "skin.png"\nSETSHAPEBMP')
        art = blob(ART_BOX, 1)
        left, top, right, bottom = ART_BOX

        def expected(x, y):
            return art(x, y) if left <= x < right and top <= y < bottom else ROOT
        self.assert_drawn(engine, window, expected)

    def test_alpha_skin_with_art_takes_clicks_on_the_art_visible_pixels(self):
        """With a compositor the window is whole and its input shape follows the art: a device
        pixel left of the box, within the box's first logical pixel, lets the click through."""
        compositor = Compositor(self.env)
        self.addCleanup(compositor.close)
        self.write_alpha_skin_with_art()
        engine, window = self.open('ALPHABLENDBITMAP "skin.png"\nSETSHAPEBMP')
        left, top, _, _ = engine.geometry(window)
        # The art's own pixel there: (5 + 10) is odd.
        self.assertEqual(engine.wait_pixel(left + 5, top + 10, PAPER), PAPER)
        self.assertIsNone(engine.shape_extents(window))

        def under(x, y):
            engine.xdotool("mousemove", left + x, top + y)
            out = subprocess.run(["xdotool", "getmouselocation"], env=self.env,
                                 capture_output=True, text=True, check=True).stdout
            return dict(item.split(":") for item in out.split())["window"]
        self.assertEqual(under(5, 10), window)
        self.assertNotEqual(under(4, 10), window)
        self.assertEqual(under(70, 52), window)
        self.assertNotEqual(under(71, 52), window)

    def test_shaped_button_with_art_keeps_to_the_traced_device_pixels(self):
        self.write_bytes("panel.png", solid(*SIZE, ROOT[:2] + (90,)))
        self.write_bytes("knob.png", png(20, 16, blob((2, 1, 18, 14), 1)))
        self.write_bytes("knob@2x.png", png(40, 32, blob((3, 3, 37, 29), 1)))
        self.write("app.skv", f'TITLE "Knob"\nOBJECT FORM\nLEFT {LEFT}\nTOP {TOP}\n'
                   'BITMAP "panel.png"\nENDOBJECT\nOBJECT BUTTON\nTYPE SHAPED\nNAME Knob\n'
                   'BITMAP "knob.png"\nLEFT 10\nTOP 6\nENDOBJECT\n')
        engine = self.start("app.nuv")
        window = engine.window("Knob")
        art = blob((3, 3, 37, 29), 1)

        def expected(x, y):
            bx, by = x - 20, y - 12
            return art(bx, by) if 3 <= bx < 36 and 3 <= by < 28 else (0, 0, 90)
        self.assert_drawn(engine, window, expected)


class ThreeHalves(UserTest):
    """At 1.5 device pixels to a pixel art is drawn from a copy at the window's device pixels:
    still square pixels of the art's two colours, and the shape is exactly what shows."""

    def test_shaped_skin_with_art_shows_no_key_colour_and_no_blend(self):
        self.env["QT_SCALE_FACTOR"] = "1.5"
        # The picture in one colour of its own: only the art shows INK and PAPER.
        box = blob(PICTURE_BOX, 1)
        self.write_bytes("skin.png",
                         png(*SIZE, lambda x, y: KEY if box(x, y) == KEY else (0, 0, 200)))
        self.write_bytes("skin@2x.png", png(2 * SIZE[0], 2 * SIZE[1], blob(ART_BOX, 2)))
        self.write("app.nuv", '"app.skv"')
        self.write("app.skv", f'TITLE "Half"\nOBJECT FORM\nLEFT {LEFT}\nTOP {TOP}\n'
                   'BITMAP "skin.png"\nSETSHAPEBMP\nENDOBJECT\n')
        engine = self.start("app.nuv")
        window = engine.window("Half")
        left, top, width, height = engine.geometry(window)
        self.assertEqual((width, height), (60, 45))
        shape_width, shape_height, x, y = engine.shape_extents(window)

        def drawn():
            return engine.area(left, top, width, height)
        got = wait_for(drawn, lambda got: got[y + 1][x + 1] != ROOT)
        inside = {(column, row) for row in range(height) for column in range(width)
                  if got[row][column] != ROOT}
        self.assertEqual({got[row][column] for column, row in inside}, {INK, PAPER})
        # Every pixel of the shape's extents that shows nothing lies outside the shape: the
        # art's box is a rectangle, so the shape fills its extents.
        self.assertEqual(inside, {(column, row) for row in range(y, y + shape_height)
                                  for column in range(x, x + shape_width)})


    def test_shaped_button_with_art_shows_no_key_colour(self):
        self.env["QT_SCALE_FACTOR"] = "1.5"
        panel = (0, 0, 90)
        self.write_bytes("panel.png", solid(*SIZE, panel))
        self.write_bytes("knob.png", png(20, 16, blob((2, 1, 18, 14), 1)))
        self.write_bytes("knob@2x.png", png(40, 32, blob((3, 3, 37, 29), 2)))
        self.write("app.nuv", '"app.skv"')
        self.write("app.skv", f'TITLE "Knob"\nOBJECT FORM\nLEFT {LEFT}\nTOP {TOP}\n'
                   'BITMAP "panel.png"\nENDOBJECT\nOBJECT BUTTON\nTYPE SHAPED\nNAME Knob\n'
                   'BITMAP "knob.png"\nLEFT 10\nTOP 6\nENDOBJECT\n')
        engine = self.start("app.nuv")
        window = engine.window("Knob")
        left, top, width, height = engine.geometry(window)

        def colours():
            return {colour for row in engine.area(left, top, width, height) for colour in row}
        got = wait_for(colours, lambda got: INK in got)
        self.assertEqual(got, {panel, INK, PAPER})


class RemoteDensity(UserTest):
    """A remote document's pictures: art comes from the same server through the cache, and a
    picture without art costs one quiet "not found"."""

    def setUp(self):
        super().setUp()
        self.site = os.path.join(self.dir, "site")
        os.makedirs(self.site)
        for name, data in (("skin.png", png(*SIZE, blob(PICTURE_BOX, 1))),
                           ("skin@2x.png", png(2 * SIZE[0], 2 * SIZE[1], blob(ART_BOX, 1))),
                           ("knob.png", solid(10, 8, INK))):
            with open(os.path.join(self.site, name), "wb") as f:
                f.write(data)
        with open(os.path.join(self.site, "app.skv"), "w") as f:
            f.write(f'TITLE "Remote"\r\nOBJECT FORM\r\nLEFT {LEFT}\r\nTOP {TOP}\r\n'
                    'BITMAP "skin.png"\r\nSETSHAPEBMP\r\nENDOBJECT\r\nOBJECT BUTTON\r\n'
                    'TYPE GRAPHICAL\r\nNAME Knob\r\nBITMAP "knob.png"\r\nLEFT 12\r\nTOP 10\r\n'
                    'WIDTH 10\r\nHEIGHT 8\r\nENDOBJECT\r\n')
        self.server = self.serve(self.site)
        self.write("app.nuv", f'"{self.server.url}app.skv"')

    def run_once(self):
        engine = self.start("app.nuv")
        window = engine.window("Remote")
        left, top, _, _ = engine.geometry(window)
        return engine, window, left, top

    def test_art_is_fetched_and_cached_and_missing_art_says_nothing(self):
        self.env["QT_SCALE_FACTOR"] = "2"
        engine, window, left, top = self.run_once()
        # The first device pixel of the art's box: a half-pixel of the picture.
        self.assertEqual(engine.wait_pixel(left + 5, top + 3, INK), INK)
        self.assertEqual(engine.pixel(left + 6, top + 3), PAPER)
        self.assertEqual(engine.wait_pixel(left + 2 * 12 + 3, top + 2 * 10 + 3, INK), INK)
        requests = self.server.requests()
        for request in ("GET /skin@2x.png", "GET /knob@2x.png"):
            self.assertEqual(requests.count(request), 1, requests)
        _, stderr = engine.stop()
        self.assertNotIn("@2x", stderr)
        self.assertNotIn("Error", stderr)
        cache = os.path.join(self.dir, "data", "NUV", "cache")
        bodies = [name for name in os.listdir(cache) if name.endswith(".png")]
        # The document's two pictures and the one piece of art; nothing for the missing art.
        self.assertEqual(len(bodies), 3, bodies)

    def test_at_scale_one_no_art_is_asked_for(self):
        engine, window, left, top = self.run_once()
        self.assertEqual(engine.wait_pixel(left + 4, top + 2, INK), INK)
        self.assertEqual(engine.wait_pixel(left + 12, top + 10, INK), INK)
        requests = self.server.requests()
        self.assertIn("GET /skin.png", requests)
        self.assertFalse([r for r in requests if "@2x" in r], requests)


class LocalLookups(UserTest):
    def test_at_scale_one_no_art_file_is_looked_for(self):
        self.write_bytes("skin.png", png(*SIZE, blob(PICTURE_BOX, 1)))
        self.write_bytes("skin@2x.png", png(2 * SIZE[0], 2 * SIZE[1], blob(ART_BOX, 1)))
        self.write("app.nuv", '"app.skv"')
        self.write("app.skv", f'TITLE "Local"\nOBJECT FORM\nLEFT {LEFT}\nTOP {TOP}\n'
                   'BITMAP "skin.png"\nSETSHAPEBMP\nENDOBJECT\nEXIT\n')
        trace = os.path.join(self.dir, "trace")
        from skivet import NUV
        subprocess.run(["strace", "-f", "-e", "trace=%file", "-o", trace, NUV, "app.nuv"],
                       env=self.env, cwd=self.dir, capture_output=True, timeout=60)
        with open(trace) as f:
            calls = f.read()
        self.assertIn("skin.png", calls)
        self.assertNotIn("@2x", calls)


if __name__ == "__main__":
    unittest.main()
