"""The Skivet window as a person sees and uses it: shape, placement, buttons, hovering, typing,
dragging, and the directives that change the window as a whole."""
import os
import signal
import subprocess
import unittest

from skivet import UserTest, png, solid, wait_for

MAGENTA, PANEL, ROOT = (255, 0, 255), (40, 60, 90), (0, 0, 0)
NORMAL, OVER, DOWN, OTHER = (30, 160, 60), (250, 200, 40), (200, 30, 30), (20, 90, 220)
# A picture button clear of the other objects and of the drags, showing its over picture under
# the pointer. Input reaches the engine in order, so once that shows, everything sent before it
# has been handled: the way to see that an action changed nothing.
PROBE = ("OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Probe\nBITMAP 'normal.png'\nOVERBITMAP 'over.png'\n"
         "LEFT 10\nTOP 100\nWIDTH 40\nHEIGHT 30\nENDOBJECT\n")


def rounded_panel(width, height, inset):
    """A panel on a magenta background, inset from every edge so the trace follows its outline."""
    def colour(x, y):
        inside = inset <= x < width - inset and inset <= y < height - inset
        cx = min(max(x, inset + 12), width - inset - 13)
        cy = min(max(y, inset + 12), height - inset - 13)
        rounded = (x - cx) ** 2 + (y - cy) ** 2 <= 12 ** 2
        return PANEL if inside and rounded else MAGENTA
    return png(width, height, colour)


class Window(UserTest):
    def setUp(self):
        super().setUp()
        self.write_bytes("skin.png", rounded_panel(200, 150, 4))
        for name, colour in (("normal", NORMAL), ("over", OVER), ("down", DOWN),
                             ("other", OTHER)):
            self.write_bytes(f"{name}.png", solid(40, 30, colour))
        self.write("app.nuv", '"app.skv"')

    def open(self, body, title="Window", form="LEFT 100\nTOP 80\nBITMAP \"skin.png\"\nSETSHAPEBMP"):
        """Runs a document with a FORM block and body, and gives the engine and its window."""
        self.write("app.skv", f'TITLE "{title}"\nOBJECT FORM\nNAME Main\n{form}\nENDOBJECT\n{body}')
        engine = self.start("app.nuv")
        return engine, engine.window(title)

    def handled(self, engine, window):
        """Points at the probe and waits until it shows its over picture."""
        left, top, _, _ = engine.geometry(window)
        engine.xdotool("mousemove", left + 30, top + 115)
        self.assertEqual(engine.wait_pixel(left + 30, top + 115, OVER), OVER)

    def test_shaped_window_shows_the_desktop_at_its_corners(self):
        engine, window = self.open("")
        self.assertEqual(engine.geometry(window), (100, 80, 200, 150))
        # The panel is inset by 4 pixels; the region leaves out its last column and row.
        self.assertEqual(engine.shape_extents(window), (191, 141, 4, 4))
        self.assertEqual(engine.wait_pixel(100 + 150, 80 + 75, PANEL), PANEL)
        self.assertEqual(engine.pixel(100 + 5, 80 + 5), ROOT)
        self.assertEqual(engine.pixel(100 + 199, 80 + 149), ROOT)

    def test_skin_drawn_to_every_edge_keeps_its_rounded_corners(self):
        self.write_bytes("edge.png", rounded_panel(200, 150, 0))
        engine, window = self.open("", form='LEFT 100\nTOP 80\nBITMAP "edge.png"\nSETSHAPEBMP')
        # The panel's own outline, to every edge; the region leaves out its last column and row.
        self.assertEqual(engine.shape_extents(window), (199, 149, 0, 0))
        for x, y in ((100, 75), (100, 0), (0, 75), (198, 75), (100, 148)):
            self.assertEqual(engine.wait_pixel(100 + x, 80 + y, PANEL), PANEL)
        for x, y in ((1, 1), (197, 1), (1, 147)):
            self.assertEqual(engine.pixel(100 + x, 80 + y), ROOT)

    def test_plain_bitmap_window_is_a_rectangle(self):
        engine, window = self.open("", form='LEFT 100-\nTOP 30\nBITMAP "skin.png"')
        self.assertEqual(engine.geometry(window), (1280 - 100, 30, 200, 150))
        self.assertIsNone(engine.shape_extents(window))
        self.assertEqual(engine.wait_pixel(1280 - 100 + 1, 30 + 1, MAGENTA), MAGENTA)

    def test_unplaced_shaped_window_is_centred(self):
        engine, window = self.open("", form='TOP 500\nBITMAP "skin.png"\nSETSHAPEBMP')
        self.assertEqual(engine.geometry(window), ((1280 - 200) // 2, 500, 200, 150))

    def test_picture_button_press_hover_and_click(self):
        engine, window = self.open(
            "OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Play\nBITMAP 'normal.png'\n"
            "OVERBITMAP 'over.png'\nDOWNBITMAP 'down.png'\nLEFT 20\nTOP 20\nWIDTH 40\nHEIGHT 30\n"
            "EVENT MOUSEOVER\nTITLE 'hovering'\nENDEVENT\n"
            "EVENT CLICK\nTITLE 'clicked ' # the rest is a comment\nENDEVENT\nENDOBJECT\n" + PROBE)
        x, y = 100 + 20 + 20, 80 + 20 + 15
        self.assertEqual(engine.wait_pixel(x, y, NORMAL), NORMAL)
        engine.xdotool("mousemove", x, y)
        self.assertEqual(engine.wait_pixel(x, y, OVER), OVER)
        self.assertEqual(engine.wait_title(window, "hovering"), "hovering")
        engine.xdotool("mousedown", 1)
        self.assertEqual(engine.wait_pixel(x, y, DOWN), DOWN)
        engine.xdotool("mouseup", 1)
        self.assertEqual(engine.wait_title(window, "clicked "), "clicked ")
        self.assertEqual(engine.wait_pixel(x, y, NORMAL), NORMAL)
        # Away and back: the over picture shows again and MOUSEOVER runs again.
        self.handled(engine, window)
        engine.xdotool("mousemove", x, y)
        self.assertEqual(engine.wait_pixel(x, y, OVER), OVER)
        self.assertEqual(engine.wait_title(window, "hovering"), "hovering")
        engine.xdotool("mousemove", 100 + 150, 80 + 100)
        self.assertEqual(engine.wait_pixel(x, y, NORMAL), NORMAL)

    def test_click_moves_another_button_and_reads_its_position(self):
        engine, window = self.open(
            "OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Mover\nBITMAP 'normal.png'\nLEFT 10\nTOP 10\n"
            "WIDTH 40\nHEIGHT 30\nEVENT CLICK\nTarget LEFT 120\nTarget.top 90\n"
            "TITLE Target.LEFT\nENDEVENT\nENDOBJECT\n"
            "OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Target\nBITMAP 'other.png'\nLEFT 60\nTOP 60\n"
            "WIDTH 40\nHEIGHT 30\nENDOBJECT\n")
        self.assertEqual(engine.wait_pixel(100 + 80, 80 + 75, OTHER), OTHER)
        engine.xdotool("mousemove", 100 + 30, 80 + 25)
        engine.xdotool("click", 1)
        self.assertEqual(engine.wait_title(window, "120"), "120")
        self.assertEqual(engine.wait_pixel(100 + 140, 80 + 105, OTHER), OTHER)
        self.assertEqual(engine.wait_pixel(100 + 80, 80 + 75, PANEL), PANEL)

    def test_shaped_button_is_cut_to_its_picture(self):
        # A green disc on a magenta square: only the disc is the button.
        disc = png(40, 40, lambda x, y: NORMAL if (x - 20) ** 2 + (y - 20) ** 2 < 15 ** 2
                   else MAGENTA)
        self.write_bytes("disc.png", disc)
        engine, window = self.open(
            "OBJECT BUTTON\nTYPE SHAPED\nNAME Disc\nBITMAP 'disc.png'\nLEFT 50\nTOP 50\n"
            "EVENT CLICK\nTITLE 'disc'\nENDEVENT\nENDOBJECT\n" + PROBE)
        self.assertEqual(engine.wait_pixel(100 + 70, 80 + 70, NORMAL), NORMAL)
        self.assertEqual(engine.pixel(100 + 51, 80 + 51), PANEL)
        # A click on the cut-away corner reaches the window, not the button.
        engine.xdotool("mousemove", 100 + 51, 80 + 51)
        engine.xdotool("click", 1)
        self.handled(engine, window)
        self.assertEqual(engine.title(window), "Window")
        engine.xdotool("mousemove", 100 + 70, 80 + 70)
        engine.xdotool("click", 1)
        self.assertEqual(engine.wait_title(window, "disc"), "disc")

    def test_enter_in_an_input_box_runs_changed_with_the_typed_text(self):
        engine, window = self.open(
            "OBJECT INPUTBOX\nNAME Box1\nLEFT 20\nTOP 60\nWIDTH 150\nHEIGHT 24\n"
            "EVENT CHANGED\nTITLE UC(Box1.TEXT)\nENDEVENT\nENDOBJECT\n" + PROBE)
        engine.xdotool("mousemove", 100 + 90, 80 + 72)
        engine.xdotool("click", 1)
        engine.xdotool("type", "--delay", 20, "hello radio")
        # Typing alone does not run CHANGED.
        self.handled(engine, window)
        self.assertEqual(engine.title(window), "Window")
        engine.xdotool("key", "Return")
        self.assertEqual(engine.wait_title(window, "HELLO RADIO"), "HELLO RADIO")

    def test_dragging_honours_the_movement_restriction(self):
        cases = [("HorizontalOnly", (150, 80)), ("NUV.RMVerticalOnly", (100, 120)),
                 ("NoMove", (100, 80)), ("None", (150, 120))]
        for mode, expected in cases:
            with self.subTest(mode=mode):
                engine, window = self.open(f"RESTRICTMOVE {mode}\n" + PROBE,
                                           title=f"Drag {mode}")
                engine.xdotool("mousemove", 100 + 100, 80 + 70)
                engine.xdotool("mousedown", 1)
                engine.xdotool("mousemove", 100 + 125, 80 + 90)
                engine.xdotool("mousemove", 100 + 150, 80 + 110)
                engine.xdotool("mouseup", 1)
                self.assertEqual(engine.wait_position(window, expected), expected)
                # Where it stands once the engine has handled the whole drag.
                self.handled(engine, window)
                self.assertEqual(engine.geometry(window), expected + (200, 150))
                engine.stop()

    def test_pictures_in_formats_that_need_plugins(self):
        # JPEG and GIF are read by Qt's plugins, which start-up loads only when a picture needs them.
        for name, fmt in (("skin", "jpg"), ("normal", "gif"), ("over", "jpg")):
            subprocess.run(["convert", os.path.join(self.dir, f"{name}.png"),
                            os.path.join(self.dir, f"{name}.{fmt}")], check=True)
        engine, window = self.open(
            "OBJECT BUTTON\nTYPE GRAPHICAL\nBITMAP 'normal.gif'\nOVERBITMAP 'over.jpg'\n"
            "LEFT 20\nTOP 20\nWIDTH 40\nHEIGHT 30\nENDOBJECT\n",
            form='LEFT 100\nTOP 80\nBITMAP "skin.jpg"')
        self.assertEqual(engine.geometry(window), (100, 80, 200, 150))
        x, y = 100 + 40, 80 + 35
        self.assertEqual(engine.wait_pixel(x, y, NORMAL), NORMAL)
        engine.xdotool("mousemove", x, y)
        self.assertEqual(engine.wait_pixel(x, y, OVER, tolerance=12), OVER)

    def test_window_directives(self):
        engine, window = self.open("ALWAYSONTOP TRUE\nSHOWINTASKBAR FALSE\n", title="Flags")
        state = self.window_state(engine, window)
        self.assertIn("_NET_WM_STATE_ABOVE", state)
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", state)
        engine.stop()

        engine, window = self.open(
            "OBJECT BUTTON\nNAME Back\nCAPTION 'Back'\nLEFT 20\nTOP 20\n"
            "EVENT CLICK\nSHOWINTASKBAR TRUE\nALWAYSONTOP FALSE\nTITLE 'back'\nENDEVENT\n"
            "ENDOBJECT\nALWAYSONTOP TRUE\nSHOWINTASKBAR FALSE\n", title="Flags again")
        engine.xdotool("mousemove", 100 + 60, 80 + 35)
        engine.xdotool("click", 1)
        self.assertEqual(engine.wait_title(engine.window("back"), "back"), "back")
        state = self.window_state(engine, engine.window("back"))
        self.assertNotIn("_NET_WM_STATE_ABOVE", state)
        self.assertNotIn("_NET_WM_STATE_SKIP_TASKBAR", state)

    def test_minimize_gives_a_way_back_and_restoring_keeps_the_taskbar_wish(self):
        # A window manager that iconifies, as a desktop would: no title bars, no placing by hand,
        # and the one font the bare display has.
        fonts = "".join(f'{kind}Font "fixed"\n' for kind in ("Title", "Resize", "Menu", "Icon",
                                                             "IconManager"))
        config = self.write("twmrc", "NoTitle\nRandomPlacement\n" + fonts, crlf=False)
        manager = subprocess.Popen(["twm", "-f", config], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(manager.wait)
        self.addCleanup(manager.terminate)
        engine, window = self.open(
            "SHOWINTASKBAR FALSE\nOBJECT BUTTON\nNAME Down\nCAPTION 'Down'\nLEFT 20\nTOP 20\n"
            "EVENT CLICK\nMINIMIZE\nENDEVENT\nENDOBJECT\n", title="Tray")
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", self.window_state(engine, window))
        left, top, _, _ = engine.geometry(window)
        engine.xdotool("mousemove", left + 60, top + 35)
        engine.xdotool("click", 1)
        # Minimised, it has a taskbar button: without one it could not be brought back.
        self.assertIn("Iconic", wait_for(lambda: self.wm_state(engine, window),
                                         lambda text: "Iconic" in text))
        self.assertNotIn("_NET_WM_STATE_SKIP_TASKBAR", self.window_state(engine, window))
        # Restored, the document's wish holds again.
        engine.xdotool("windowmap", window)
        self.assertIn("Normal", wait_for(lambda: self.wm_state(engine, window),
                                         lambda text: "Normal" in text))
        state = wait_for(lambda: self.window_state(engine, window),
                         lambda text: "_NET_WM_STATE_SKIP_TASKBAR" in text)
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", state)

    def test_exit_ends_the_engine(self):
        engine, window = self.open(
            "OBJECT BUTTON\nNAME Quit\nCAPTION 'Quit'\nLEFT 20\nTOP 20\n"
            "EVENT CLICK\nEXIT\nENDEVENT\nENDOBJECT\n")
        engine.xdotool("mousemove", 100 + 60, 80 + 35)
        engine.xdotool("click", 1)
        self.assertEqual(engine.finish(timeout=10)[0], 0)

    def test_new_starts_a_second_engine_beside_this_one(self):
        self.write("second.skv", 'TITLE "Second"\n')
        self.write("second.nuv", '"second.skv"')
        engine, window = self.open(
            "OBJECT BUTTON\nNAME Open\nCAPTION 'Open'\nLEFT 20\nTOP 20\n"
            "EVENT CLICK\nNEW \"second.nuv\" -relative -x:30 -y:40\nENDEVENT\nENDOBJECT\n")
        engine.xdotool("mousemove", 100 + 60, 80 + 35)
        engine.xdotool("click", 1)
        second = engine.window("Second")
        left, top, _, _ = engine.geometry(second)
        self.assertEqual((left, top), (100 + 30, 80 + 40))
        os.kill(engine.pid_of(second), signal.SIGTERM)

    def wm_state(self, engine, window):
        return subprocess.run(["xprop", "-id", window, "WM_STATE"], env=self.env,
                              capture_output=True, text=True).stdout

    def window_state(self, engine, window):
        return subprocess.run(["xprop", "-id", window, "_NET_WM_STATE"], env=self.env,
                              capture_output=True, text=True).stdout


if __name__ == "__main__":
    unittest.main()
