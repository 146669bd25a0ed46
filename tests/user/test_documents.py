"""A Skivet document given on the command line by itself: a local file named *.skv (any letter
case) runs as its own document, its folder the base of relative locations; any other name is a
location file. The same holds for --check, --watch and --screenshot."""
import os
import unittest

from skivet import UserTest, solid
from test_authoring import png_pixels

SKIN = (30, 140, 200)
# Its first line is a comment: read as a location file, that comment would be the document.
DOCUMENT = ('# hello.skv -- the smallest Skivet, given by itself\n'
            'TITLE "Direct"\n'
            'OBJECT FORM\nLEFT 30\nTOP 40\nBITMAP "skin.png"\nENDOBJECT\n')


class DocumentsGivenDirectly(UserTest):
    def setUp(self):
        super().setUp()
        # The picture lies beside the document only, so a base taken from the current folder
        # finds nothing.
        self.write_bytes("docs/skin.png", solid(60, 50, SKIN))
        self.write("docs/Hello.SKV", DOCUMENT)

    def test_runs_and_watches_with_its_own_folder_as_the_base(self):
        for options in [[], ["--watch"]]:
            with self.subTest(options=options):
                engine = self.start(*options, "docs/Hello.SKV")
                window = engine.window("Direct")
                self.assertEqual(engine.wait_position(window, (30, 40)), (30, 40))
                self.assertEqual(engine.wait_pixel(50, 60, SKIN), SKIN)
                engine.stop()

    def test_check_and_screenshot_find_the_relative_picture(self):
        rc, out, err = self.run_to_end("--check", "docs/Hello.SKV")
        self.assertEqual((rc, out), (0, ""), err)
        shot = os.path.join(self.dir, "shot.png")
        rc, _, err = self.run_to_end("--screenshot", shot, "docs/Hello.SKV")
        self.assertEqual(rc, 0, err)
        width, height, channels, rows = png_pixels(shot)
        self.assertEqual((width, height), (60, 50))
        self.assertEqual(rows[20][40 * channels:40 * channels + 3], bytes(SKIN))

    def test_every_other_name_is_a_location_file(self):
        self.write("docs/start.txt", '"Hello.SKV"\n')
        engine = self.start("docs/start.txt")
        engine.window("Direct")
        self.assertEqual(engine.wait_pixel(50, 60, SKIN), SKIN)


if __name__ == "__main__":
    unittest.main()
