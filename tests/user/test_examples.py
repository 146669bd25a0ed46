"""What a person meets first: the README's first command and its short Skivet, run as printed
from the examples that ship with the engine."""
import os
import re
import unittest

from skivet import NUV, Engine, UserTest

PANEL = (0x24, 0x32, 0x4a)  # examples/hello/skin.bmp's panel
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def readme():
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        return f.read()


def section(text, title):
    return text.split(f"## {title}\n", 1)[1].split("\n## ", 1)[0]


class Examples(UserTest):
    def start_as_printed(self, command):
        """The README's command: scripts/run itself, told not to build, when it would start the
        engine under test; else that engine on the same document."""
        words = command.split()
        if os.path.samefile(os.path.join(ROOT, "build", "nuv"), NUV):
            engine = Engine(words[1:], dict(self.env, NUV_REBUILD="0"), cwd=ROOT,
                            program=os.path.join(ROOT, words[0]))
        else:
            engine = Engine(words[1:], self.env, cwd=ROOT)
        self.addCleanup(engine.stop)
        return engine

    def click(self, engine, x, y):
        engine.xdotool("mousemove", x, y)
        engine.xdotool("click", 1)

    def test_the_first_command_shows_a_shaped_skivet_that_closes_itself(self):
        first = re.search(r"```sh\n(scripts/run \S+)", section(readme(), "Two commands"))
        engine = self.start_as_printed(first.group(1))
        window = engine.window("Showcase")
        # Cut to its picture's outline, with picture buttons on it.
        self.assertIsNotNone(engine.shape_extents(window))
        left, top, _, _ = engine.geometry(window)
        # The Close button (examples/showcase/showcase.skv: LEFT 120, TOP 176, 80 by 32).
        self.click(engine, left + 160, top + 192)
        rc, _, err = engine.finish()
        self.assertEqual(rc, 0, err)

    def test_the_short_skivet_runs_as_printed(self):
        printed = re.search(r"```\n(.*?)```", section(readme(), "A short Skivet"), re.S).group(1)
        with open(os.path.join(ROOT, "examples", "hello", "hello.skv"), encoding="utf-8") as f:
            self.assertEqual(printed, f.read())
        engine = self.start_as_printed("scripts/run examples/hello/hello.skv")
        window = engine.window("Hello")
        # Placed where it says, wholly on screen, and cut to its skin.
        self.assertEqual(engine.wait_position(window, (100, 80)), (100, 80))
        self.assertEqual(engine.wait_pixel(100 + 250, 80 + 75, PANEL), PANEL)
        self.assertIsNotNone(engine.shape_extents(window))
        self.assertNotEqual(engine.pixel(100, 80), PANEL)  # a rounded corner, cut away
        self.click(engine, 100 + 208, 80 + 37)  # Go
        self.assertEqual(engine.wait_title(window, "WORLD"), "WORLD")
        self.click(engine, 100 + 208, 80 + 115)  # Close
        rc, _, err = engine.finish()
        self.assertEqual(rc, 0, err)


if __name__ == "__main__":
    unittest.main()
