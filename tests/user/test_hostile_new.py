"""Hostile documents against the real binary: a window crowded with controls, and NEW used to
start engines without end or to pass options the user never gave."""
import os
import time
import unittest

from skivet import UserTest, solid, wait_for

PANEL = (40, 60, 90)


class ManyControls(UserTest):
    def test_crowded_window_paints_and_its_last_button_works(self):
        # Every default button overlaps the others, so one paint meets all of them at once.
        self.write_bytes("skin.png", solid(300, 200, PANEL))
        self.write("app.nuv", '"app.skv"')
        for buttons in (10000, 30000):
            with self.subTest(buttons=buttons):
                self.write("app.skv",
                           f'TITLE "Crowded"\nOBJECT FORM\nLEFT 100\nTOP 80\n'
                           f'BITMAP "skin.png"\nENDOBJECT\n'
                           + "OBJECT BUTTON\nENDOBJECT\n" * (buttons - 1) +
                           f"OBJECT BUTTON\nCAPTION 'Last'\nLEFT 150\nTOP 100\n"
                           f"EVENT CLICK\nTITLE 'clicked {buttons}'\nENDEVENT\nENDOBJECT\n")
                engine = self.start("app.nuv")
                window = engine.window("Crowded", timeout=30)
                # Painted: the skin shows beside the buttons.
                self.assertEqual(engine.wait_pixel(100 + 250, 80 + 180, PANEL), PANEL)
                engine.xdotool("mousemove", 100 + 200, 80 + 110)
                engine.xdotool("click", 1)
                self.assertEqual(engine.wait_title(window, f"clicked {buttons}"),
                                 f"clicked {buttons}")
                self.assertIsNone(engine.process.poll())
                engine.stop()


if __name__ == "__main__":
    unittest.main()
