"""A Skivet used from the keyboard: Tab and Shift+Tab through the controls in the order the
document declared them, Space and Enter on a button doing what a click does, and the ring that
marks the focused control."""
import os
import unittest

from skivet import Engine, UserTest, png, solid, wait_for

MAGENTA, PANEL = (255, 0, 255), (40, 60, 90)
NORMAL, DOWN, OVER = (30, 160, 60), (200, 30, 30), (250, 200, 40)
# The shaped button's picture: a green disc of radius 15 centred in 40x40 magenta. Its leftmost
# pixels on the middle row are at x = 6.
DISC_LEFT, DISC_TOP, DISC_MIDDLE = 6, 6, 20


def disc():
    return png(40, 40, lambda x, y: NORMAL if (x - 20) ** 2 + (y - 20) ** 2 < 15 ** 2
               else MAGENTA)


def clicks_to_title(name):
    return f"EVENT CLICK\nTITLE '{name}'\nENDEVENT\n"


def input_box(name, top):
    return (f"OBJECT INPUTBOX\nNAME {name}\nLEFT 10\nTOP {top}\nWIDTH 80\nHEIGHT 20\n"
            f"EVENT CHANGED\nTITLE '{name}'\nENDEVENT\nENDOBJECT\n")


def text_button(name, top, visible=True):
    hidden = "" if visible else "VISIBLE FALSE\n"
    return (f"OBJECT BUTTON\nTYPE TEXT\nNAME {name}\nCAPTION '{name} caption'\nLEFT 10\n"
            f"TOP {top}\nWIDTH 80\nHEIGHT 24\n{hidden}{clicks_to_title(name)}ENDOBJECT\n")


def text_picture_button(name, top):
    return (f"OBJECT BUTTON\nTYPE TEXT\nNAME {name}\nCAPTION '{name}'\nBITMAP 'normal.png'\n"
            f"LEFT 10\nTOP {top}\nWIDTH 80\nHEIGHT 30\n{clicks_to_title(name)}ENDOBJECT\n")


def picture_button(name, left, top):
    return (f"OBJECT BUTTON\nTYPE GRAPHICAL\nNAME {name}\nBITMAP 'normal.png'\n"
            f"DOWNBITMAP 'down.png'\nOVERBITMAP 'over.png'\nLEFT {left}\nTOP {top}\nWIDTH 40\n"
            f"HEIGHT 30\n{clicks_to_title(name)}ENDOBJECT\n")


def shaped_button(name, left, top):
    return (f"OBJECT BUTTON\nTYPE SHAPED\nNAME {name}\nBITMAP 'disc.png'\nLEFT {left}\n"
            f"TOP {top}\n{clicks_to_title(name)}ENDOBJECT\n")


# Where the mixed document puts its picture and shaped buttons, in the window.
PICTURE_AT, SHAPED_AT = (120, 20), (120, 80)
MIXED = (input_box("Alpha", 10) + text_button("Bravo", 40) + input_box("Charlie", 70) +
         text_button("Hidden", 100, visible=False) + picture_button("Delta", *PICTURE_AT) +
         shaped_button("Echo", *SHAPED_AT))


class Keyboard(UserTest):
    LEFT, TOP = 100, 80

    def setUp(self):
        super().setUp()
        self.write_bytes("skin.png", solid(200, 150, PANEL))
        for name, colour in (("normal", NORMAL), ("down", DOWN), ("over", OVER)):
            self.write_bytes(f"{name}.png", solid(40, 30, colour))
        self.write_bytes("disc.png", disc())
        self.write("app.nuv", '"app.skv"')

    def open(self, body):
        """Runs the document and gives the engine and its window, focused as a person's click
        on its title bar would (there is no window manager)."""
        self.write("app.skv", f'TITLE "Keys"\nOBJECT FORM\nNAME Main\nLEFT {self.LEFT}\n'
                              f'TOP {self.TOP}\nBITMAP "skin.png"\nENDOBJECT\n{body}')
        engine = self.start("app.nuv")
        window = engine.window("Keys")
        # The pointer rests on the background, clear of every control.
        engine.xdotool("mousemove", self.LEFT + 195, self.TOP + 145)
        engine.xdotool("windowfocus", "--sync", window)
        return engine, window

    def at(self, x, y):
        return self.LEFT + x, self.TOP + y

    def press_and_read(self, engine, window, keys, expected):
        for key in keys:
            engine.xdotool("key", key)
        self.assertEqual(engine.wait_title(window, expected), expected, f"after {keys}")

    def test_tab_and_shift_tab_follow_declaration_order_skipping_hidden(self):
        engine, window = self.open(MIXED)
        # The first input box starts with the focus; Enter there runs its CHANGED.
        steps = [
            ([], "Alpha"),
            (["Tab"], "Bravo"),
            (["Tab"], "Charlie"),
            (["Tab"], "Delta"),   # the hidden button is no stop
            (["Tab"], "Echo"),
            (["Tab"], "Alpha"),   # round to the start
            (["shift+Tab"], "Echo"),
            (["shift+Tab"], "Delta"),
            (["shift+Tab", "shift+Tab"], "Bravo"),
        ]
        for keys, expected in steps:
            self.press_and_read(engine, window, keys + ["Return"], expected)

    def test_space_and_enter_click_each_kind_of_button(self):
        engine, window = self.open(MIXED)
        # From the first input box, each step's keys reach a button that the next key clicks.
        steps = [
            (["Tab"], "space", "Bravo"),
            (["Tab", "Tab"], "Return", "Delta"),
            (["Tab"], "KP_Enter", "Echo"),
            (["shift+Tab", "shift+Tab", "shift+Tab"], "Return", "Bravo"),
            (["Tab", "Tab"], "space", "Delta"),
            (["Tab"], "space", "Echo"),
        ]
        for moves, key, expected in steps:
            self.press_and_read(engine, window, moves + [key], expected)

    def test_clicking_a_button_leaves_the_focus_in_the_input_box(self):
        engine, window = self.open(MIXED)
        for button, (x, y), title in (("text", (50, 52), "Bravo"),
                                      ("picture", (PICTURE_AT[0] + 20, PICTURE_AT[1] + 15),
                                       "Delta")):
            with self.subTest(button=button):
                engine.xdotool("mousemove", *self.at(x, y))
                engine.xdotool("click", 1)
                self.assertEqual(engine.wait_title(window, title), title)
                self.press_and_read(engine, window, ["Return"], "Alpha")

    def test_space_held_on_a_picture_button_shows_its_pressed_picture_until_released(self):
        engine, window = self.open(MIXED)
        x, y = self.at(PICTURE_AT[0] + 20, PICTURE_AT[1] + 15)
        self.assertEqual(engine.wait_pixel(x, y, NORMAL), NORMAL)
        for key in ("Tab", "Tab", "Tab"):
            engine.xdotool("key", key)
        engine.xdotool("keydown", "space")
        self.assertEqual(engine.wait_pixel(x, y, DOWN), DOWN)
        # Held, nothing has clicked yet.
        self.assertEqual(engine.title(window), "Keys")
        engine.xdotool("keyup", "space")
        self.assertEqual(engine.wait_title(window, "Delta"), "Delta")
        self.assertEqual(engine.wait_pixel(x, y, NORMAL), NORMAL)

    def test_focus_ring_follows_the_shape_of_a_shaped_button(self):
        engine, window = self.open(MIXED)
        sx, sy = SHAPED_AT
        edge = self.at(sx + DISC_LEFT, sy + DISC_MIDDLE)
        top_edge = self.at(sx + DISC_MIDDLE, sy + DISC_TOP)
        inside = self.at(sx + DISC_LEFT + 3, sy + DISC_MIDDLE)
        # Outside the disc: just left of its edge, and the corners of its square.
        outside = [self.at(sx + DISC_LEFT - 1, sy + DISC_MIDDLE), self.at(sx, sy),
                   self.at(sx + 2, sy + 2), self.at(sx + 39, sy + 39)]
        # The input box has the focus, which no keyboard moved: no ring yet.
        self.assertEqual(engine.wait_pixel(*edge, NORMAL), NORMAL)
        for _ in range(4):
            engine.xdotool("key", "Tab")
        ring = wait_for(lambda: engine.pixel(*edge), lambda got: got != NORMAL)
        self.assertNotEqual(ring, NORMAL, "no ring on the focused shaped button")
        self.assertEqual(engine.pixel(*top_edge), ring)
        self.assertEqual(engine.pixel(*inside), NORMAL)
        for point in outside:
            self.assertEqual(engine.pixel(*point), PANEL, f"ring outside the shape at {point}")
        # Focus moving on takes the ring away.
        engine.xdotool("key", "Tab")
        self.assertEqual(engine.wait_pixel(*edge, NORMAL), NORMAL)

    def test_the_focused_button_of_each_kind_is_marked_and_only_it(self):
        buttons = [  # the button, a pixel on its edge in the window
            (text_button("Bravo", 40), (10, 52)),
            (text_picture_button("Tango", 80), (10, 95)),  # beside its centred picture
            (picture_button("Delta", *PICTURE_AT), (PICTURE_AT[0], PICTURE_AT[1] + 15)),
            (shaped_button("Echo", *SHAPED_AT),
             (SHAPED_AT[0] + DISC_LEFT, SHAPED_AT[1] + DISC_MIDDLE)),
        ]
        engine, window = self.open("".join(button for button, _ in buttons))
        edges = [self.at(*edge) for _, edge in buttons]
        self.assertEqual(engine.wait_pixel(*edges[2], NORMAL), NORMAL)
        self.assertEqual(engine.wait_pixel(*edges[3], NORMAL), NORMAL)
        unmarked = [engine.pixel(*edge) for edge in edges]

        def only(marked):
            def holds(seen):
                return all((got != plain) == (index == marked)
                           for index, (got, plain) in enumerate(zip(seen, unmarked)))
            return holds
        for marked in range(len(buttons)):
            engine.xdotool("key", "Tab")
            seen = wait_for(lambda: [engine.pixel(*edge) for edge in edges], only(marked))
            self.assertTrue(only(marked)(seen), f"after {marked + 1} Tabs: {seen} "
                                                f"against {unmarked}")

    def test_a_reloaded_document_starts_in_its_first_input_box_and_tabs_in_its_order(self):
        self.write("app.skv", f'TITLE "Keys"\nOBJECT FORM\nNAME Main\nLEFT {self.LEFT}\n'
                              f'TOP {self.TOP}\nBITMAP "skin.png"\nENDOBJECT\n'
                              + input_box("Alpha", 10) + text_button("Bravo", 40))
        engine = Engine(["--watch", "app.nuv"], self.env, cwd=self.dir)
        self.addCleanup(engine.stop)
        window = engine.window("Keys")
        engine.xdotool("mousemove", self.LEFT + 195, self.TOP + 145)
        engine.xdotool("windowfocus", "--sync", window)
        # The focus rests on the old version's button when the new version comes.
        self.press_and_read(engine, window, ["Tab", "Return"], "Bravo")
        self.write("app.new", f'TITLE "Again"\nOBJECT FORM\nNAME Main\nLEFT {self.LEFT}\n'
                              f'TOP {self.TOP}\nBITMAP "skin.png"\nENDOBJECT\n'
                              + picture_button("Xray", *PICTURE_AT) + input_box("Yankee", 40)
                              + shaped_button("Zulu", *SHAPED_AT))
        os.replace(os.path.join(self.dir, "app.new"), os.path.join(self.dir, "app.skv"))
        self.assertEqual(engine.wait_title(window, "Again"), "Again")
        steps = [([], "Yankee"), (["Tab"], "Zulu"), (["Tab"], "Xray"), (["shift+Tab"], "Zulu"),
                 (["shift+Tab", "shift+Tab"], "Xray")]
        for keys, expected in steps:
            self.press_and_read(engine, window, keys + ["Return"], expected)

    def test_without_input_boxes_nothing_is_focused_until_tab(self):
        engine, window = self.open(picture_button("Papa", 20, 20) + text_button("Quebec", 60) +
                                   shaped_button("Romeo", 120, 60))
        edge = self.at(20, 35)
        self.assertEqual(engine.wait_pixel(*edge, NORMAL), NORMAL)
        engine.xdotool("key", "space")
        engine.xdotool("key", "Return")
        # Input arrives in order: once Tab has marked the first button, the keys before it were
        # handled, and did nothing.
        engine.xdotool("key", "Tab")
        ring = wait_for(lambda: engine.pixel(*edge), lambda got: got != NORMAL)
        self.assertNotEqual(ring, NORMAL, "Tab did not reach the first button")
        self.assertEqual(engine.title(window), "Keys")
        self.press_and_read(engine, window, ["space"], "Papa")


if __name__ == "__main__":
    unittest.main()
