"""Remote pictures through the disk cache across runs, as the loopback server sees them."""
import os
import unittest

from skivet import UserTest, solid


class RemotePictures(UserTest):
    def setUp(self):
        super().setUp()
        self.site = os.path.join(self.dir, "site")
        os.makedirs(self.site)
        for name, colour in (("skin.png", (40, 40, 60)), ("button.png", (30, 150, 80))):
            with open(os.path.join(self.site, name), "wb") as f:
                f.write(solid(64, 48, colour))
        self.server = self.serve(self.site)
        self.server.set_control({"/skin.png": {"last_modified": "Tue, 01 Dec 2026 10:00:00 GMT"},
                                 "/button.png": {"last_modified": "Tue, 01 Dec 2026 10:00:00 GMT"}})

    def run_document(self, level):
        self.write("app.skv", f"CACHELEVEL {level}\n"
                   "OBJECT FORM\n"
                   f'\tBITMAP "{self.server.url}skin.png"\n'
                   "ENDOBJECT\n"
                   "OBJECT BUTTON\n"
                   "\tTYPE GRAPHICAL\n"
                   f'\tBITMAP "{self.server.url}button.png"\n'
                   "ENDOBJECT\n"
                   f'TITLE "Level {level}"\n')
        self.write("app.nuv", '"app.skv"')
        open(self.server.log, "w").close()
        engine = self.start(os.path.join(self.dir, "app.nuv"))
        engine.window(f"Level {level}")
        engine.stop()
        return sorted(self.server.requests())

    def test_cache_levels_across_runs(self):
        gets = ["GET /button.png", "GET /skin.png"]
        heads = ["HEAD /button.png", "HEAD /skin.png"]
        # First run: nothing cached, so no HEAD, just the downloads.
        self.assertEqual(self.run_document(1), gets)
        # Level 2 with a warm cache asks the server nothing at all.
        self.assertEqual(self.run_document(2), [])
        # Level 1: the first run stored no last-modified, so one HEAD and a download each.
        self.assertEqual(self.run_document(1), sorted(gets + heads))
        # Now the stored value matches: one HEAD per picture and no download.
        self.assertEqual(self.run_document(1), heads)
        # Level 0 downloads every time.
        self.assertEqual(self.run_document(0), gets)

    def test_offline_run_uses_the_cached_pictures(self):
        self.run_document(1)
        self.server.close()
        self.write("app.skv", f'OBJECT FORM\n\tBITMAP "{self.server.url}skin.png"\nENDOBJECT\n'
                   'TITLE "Offline"\n')
        engine = self.start(os.path.join(self.dir, "app.nuv"))
        window = engine.window("Offline")
        self.assertEqual(engine.wait_size(window, (64, 48)), (64, 48))


if __name__ == "__main__":
    unittest.main()
