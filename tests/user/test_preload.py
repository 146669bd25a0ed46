"""The loading window while PRELOAD fetches from a slow server: what it shows, its shape, that
it goes, and that it never takes the keyboard from the window the user types in."""
import subprocess
import unittest

from skivet import UserTest, png, solid, wait_for

MAGENTA, DISC, PANEL = (255, 0, 255), (40, 140, 220), (0x26, 0x2A, 0x31)
SCREEN = (1280, 1024)


def disc(side):
    """A filled circle on magenta: its outline is the window's shape when SHAPED."""
    r = side // 2 - 2
    return png(side, side, lambda x, y: DISC if (x - side // 2) ** 2 + (y - side // 2) ** 2 <= r * r
               else MAGENTA)


class LoadingWindow(UserTest):
    def setUp(self):
        super().setUp()
        self.site = self.dir + "/site"
        for i in range(3):
            self.write_bytes(f"site/item{i}.bin", b"x" * 100)
        self.server = self.serve(self.site)
        # Every item is held until the test lets it go, so the loading window stays up for as
        # long as the test looks at it; a held answer is slow, not stalled.
        self.server.set_control({f"/item{i}.bin": {"hold": f"item{i}"} for i in range(3)})
        self.env["NUV_STALL_TIMEOUT_MS"] = "30000"
        self.write("app.nuv", '"app.skv"')

    def release(self):
        for i in range(3):
            open(f"{self.site}/release-item{i}", "w").close()

    def items(self):
        return "".join(f'"{self.server.url}item{i}.bin"\n' for i in range(3))

    def start_document(self, text):
        self.write("app.skv", text)
        return self.start("app.nuv")

    def wait_gone(self, engine, title):
        return wait_for(lambda: engine.visible(title), lambda shown: not shown)

    def test_loading_panel_shows_centred_during_a_list_and_goes_after(self):
        engine = self.start_document(f"PRELOAD FILES\n{self.items()}ENDPRELOAD\nTITLE 'Loaded'\n"
                                     "OBJECT FORM\nLEFT 10\nTOP 10\nENDOBJECT\n")
        window = engine.window("LOADING")
        left, top, width, height = engine.geometry(window)
        self.assertEqual((left + width // 2, top + height // 2),
                         (SCREEN[0] // 2, SCREEN[1] // 2))
        self.assertEqual(engine.wait_pixel(left + 3, top + 3, PANEL), PANEL)
        self.assertIsNone(engine.shape_extents(window))
        # All three are asked for while none has been answered: they go out together.
        self.assertEqual(wait_for(lambda: sorted(self.server.requests()), lambda r: len(r) == 3),
                         [f"GET /item{i}.bin" for i in range(3)])
        self.release()
        engine.window("Loaded")
        self.assertFalse(self.wait_gone(engine, "LOADING"))

    def test_a_shaped_loading_image_takes_its_outline(self):
        self.write_bytes("wait.png", disc(60))
        engine = self.start_document(f"LOADINGIMAGE SHAPED 'wait.png'\nPRELOAD IMAGE "
                                     f"\"{self.server.url}item0.bin\"\nTITLE 'Loaded'\n")
        window = engine.window("LOADING")
        self.assertEqual(engine.geometry(window)[2:], (60, 60))
        extents = engine.shape_extents(window)
        self.assertIsNotNone(extents)
        width, height, x, y = extents
        self.assertLess(width, 60)
        self.assertGreater(width, 40)
        left, top, _, _ = engine.geometry(window)
        self.assertEqual(engine.wait_pixel(left + 30, top + 30, DISC), DISC)
        self.release()
        engine.window("Loaded")
        self.assertFalse(self.wait_gone(engine, "LOADING"))

    def test_a_shaped_loading_image_with_art_takes_the_art_outline(self):
        # Two device pixels to a pixel; the art's box has odd edges, half-pixels of the picture.
        self.env["QT_SCALE_FACTOR"] = "2"
        self.write_bytes("wait.png", png(30, 20, lambda x, y: DISC if 2 <= x < 27 and 2 <= y < 17
                                         else MAGENTA))
        self.write_bytes("wait@2x.png", png(60, 40, lambda x, y: DISC if 3 <= x < 57 and
                                            5 <= y < 35 else MAGENTA))
        engine = self.start_document(f"LOADINGIMAGE SHAPED 'wait.png'\nPRELOAD IMAGE "
                                     f"\"{self.server.url}item0.bin\"\nTITLE 'Loaded'\n")
        window = engine.window("LOADING")
        self.assertEqual(engine.geometry(window)[2:], (60, 40))
        # The traced region leaves out the outline's last column and row.
        self.assertEqual(wait_for(lambda: engine.shape_extents(window),
                                  lambda got: got == (53, 29, 3, 5)), (53, 29, 3, 5))
        left, top, _, _ = engine.geometry(window)
        self.assertEqual(engine.wait_pixel(left + 3, top + 5, DISC), DISC)
        self.release()
        engine.window("Loaded")
        self.assertFalse(self.wait_gone(engine, "LOADING"))

    def test_typing_goes_on_in_the_main_window_while_a_click_preloads(self):
        self.write_bytes("bg.png", solid(300, 160, (90, 90, 120)))
        engine = self.start_document(
            "TITLE 'Typing'\nOBJECT FORM\nLEFT 100\nTOP 80\nBITMAP 'bg.png'\nENDOBJECT\n"
            "OBJECT INPUTBOX\nNAME Box1\nLEFT 20\nTOP 60\nWIDTH 150\nHEIGHT 24\n"
            "EVENT CHANGED\nTITLE UC(Box1.TEXT)\nENDEVENT\nENDOBJECT\n"
            "OBJECT BUTTON\nNAME Go\nCAPTION 'Go'\nLEFT 200\nTOP 20\nWIDTH 60\nHEIGHT 30\n"
            f"EVENT CLICK\nPRELOAD FILES\n{self.items()}ENDPRELOAD\nTITLE 'fetched'\nENDEVENT\n"
            "ENDOBJECT\n")
        main = engine.window("Typing")
        engine.xdotool("mousemove", 100 + 60, 80 + 72)
        engine.xdotool("click", 1)
        engine.xdotool("mousemove", 100 + 230, 80 + 35)
        engine.xdotool("click", 1)
        engine.window("LOADING")
        focus = subprocess.run(["xdotool", "getwindowfocus"], env=engine.env,
                               capture_output=True, text=True).stdout.strip()
        self.assertEqual(focus, main)
        engine.xdotool("type", "--delay", 20, "abc")
        engine.xdotool("key", "Return")
        # CHANGED ran inside the click's preload, with the loading window still up.
        self.assertEqual(engine.wait_title(main, "ABC"), "ABC")
        self.assertTrue(engine.visible("LOADING"))
        self.release()
        self.assertEqual(engine.wait_title(main, "fetched"), "fetched")
        self.assertFalse(self.wait_gone(engine, "LOADING"))


if __name__ == "__main__":
    unittest.main()
