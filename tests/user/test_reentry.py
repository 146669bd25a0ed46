"""What a person can do while the engine waits for a remote picture or file: click another
button, let the document be reloaded, release a pressed button, quit. The server holds each
answer until the test lets it go, so every action lands in the middle of the fetch."""
import contextlib
import os
import unittest

from skivet import Engine, UserTest, solid, wait_for

BACK, NEW_BACK = (40, 60, 90), (120, 40, 140)
NORMAL, DOWN = (30, 160, 60), (200, 30, 30)
# The main window's top-left corner; the loading window is centred on the screen, well away.
LEFT, TOP = 10, 10
# How long the engine is given to act on something the test did while a fetch is held. A sound
# engine passes whether or not it acts within it; it only bounds how long the test watches for a
# faulty one to do the wrong thing then, which takes a few milliseconds.
ACT = 3


class HeldFetch(UserTest):
    """A window at (LEFT, TOP) and a server that holds what the test names until released."""

    def setUp(self):
        super().setUp()
        self.site = os.path.join(self.dir, "site")
        os.makedirs(self.site)
        self.write_bytes("site/other.png", solid(8, 8, NORMAL))
        self.server = self.serve(self.site)
        self.holds = {}
        # A held answer is slow, not stalled: the engine must not give up on it by itself.
        self.env["NUV_STALL_TIMEOUT_MS"] = "30000"
        self.write_bytes("back.png", solid(300, 160, BACK))
        self.write_bytes("normal.png", solid(40, 30, NORMAL))
        self.write("app.nuv", '"app.skv"')

    def held_file(self, name, data):
        """The address of a file the server answers for only once the test releases it. Each
        case has its own, so that no engine finds it in the cache and no release is left over."""
        self.write_bytes(f"site/{name}", data)
        self.holds[f"/{name}"] = {"hold": name}
        self.server.set_control(self.holds)
        return self.server.url + name

    def release(self, name):
        open(os.path.join(self.site, "release-" + name), "w").close()

    def asked_for(self, name):
        """Waits until the engine has asked for name, whose answer the server now holds."""
        asked = f"GET /{name}"
        self.assertIn(asked, wait_for(self.server.requests, lambda got: asked in got))

    def ended(self, engine):
        """The engine's exit status once it has ended, or None if it still runs after WAIT,
        which is half the server's own limit on holding an answer."""
        return wait_for(engine.process.poll, lambda status: status is not None)

    def click(self, engine, x, y):
        engine.xdotool("mousemove", LEFT + x, TOP + y)
        engine.xdotool("click", 1)

    @contextlib.contextmanager
    def stop_clicked_while_held(self, go, stop, name):
        """Runs a document whose Go button runs go and whose Stop button runs stop, clicks Go,
        and clicks Stop while the server holds name; gives the engine and its window. Then
        lets name go and ends the engine, so that the next case meets neither."""
        self.write("app.skv", (
            "TITLE 'Ready'\n"
            f"OBJECT FORM\nLEFT {LEFT}\nTOP {TOP}\nBITMAP 'back.png'\nENDOBJECT\n"
            "OBJECT BUTTON\nNAME Go\nCAPTION 'Go'\nLEFT 20\nTOP 20\nWIDTH 80\nHEIGHT 30\n"
            f"EVENT CLICK\n{go}ENDEVENT\nENDOBJECT\n"
            "OBJECT BUTTON\nNAME Stop\nCAPTION 'Stop'\nLEFT 20\nTOP 90\nWIDTH 80\nHEIGHT 30\n"
            f"EVENT CLICK\n{stop}ENDEVENT\nENDOBJECT\n"))
        engine = self.start("app.nuv")
        try:
            window = engine.window("Ready")
            self.click(engine, 60, 35)
            self.asked_for(name)
            self.click(engine, 60, 105)
            yield engine, window
        finally:
            self.release(name)
            engine.stop()

    def picture_once_answered(self, engine, x, y):
        """The colour at (x, y), a point of the picture button, after the held pressed picture
        has been let go: a faulty engine puts it there within moments and leaves it, a sound
        one shows the normal picture, perhaps after a glimpse of the pressed one."""
        wait_for(lambda: engine.pixel(x, y), lambda got: got == DOWN, ACT)
        return engine.wait_pixel(x, y, NORMAL)

    def picture_button(self, title, back, down):
        """A picture button at (20, 20) of the window, pressed picture down."""
        return (f"TITLE '{title}'\n"
                f"OBJECT FORM\nLEFT {LEFT}\nTOP {TOP}\nBITMAP '{back}'\nENDOBJECT\n"
                "OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Pic\nBITMAP 'normal.png'\n"
                f"DOWNBITMAP \"{down}\"\nLEFT 20\nTOP 20\nWIDTH 40\nHEIGHT 30\n"
                "EVENT CLICK\nTITLE 'clicked'\nENDEVENT\nENDOBJECT\n")


class ClickDuringFetch(HeldFetch):
    def test_a_click_while_the_loading_picture_comes(self):
        """Go names a remote loading picture and preloads; Stop is clicked while that picture
        is held. EXIT ends the engine at once; another LOADINGIMAGE lets Go's block finish."""
        self.write_bytes("wait.png", solid(30, 30, NORMAL))
        for case, (stop, ends) in enumerate((("EXIT\n", True),
                                             ("LOADINGIMAGE 'wait.png'\n", False))):
            with self.subTest(stop=stop):
                name = f"loading{case}.png"
                go = (f"LOADINGIMAGE \"{self.held_file(name, solid(40, 30, DOWN))}\"\n"
                      f"PRELOAD IMAGE \"{self.server.url}other.png\"\nTITLE 'fetched'\n")
                with self.stop_clicked_while_held(go, stop, name) as (engine, window):
                    if ends:
                        self.assertEqual(self.ended(engine), 0, "EXIT did not end the engine "
                                         "while the server held the loading picture")
                    else:
                        self.release(name)
                        # The title, and the exit status should the engine have ended.
                        title = engine.wait_title(window, "fetched")
                        self.assertEqual((title, engine.process.poll()), ("fetched", None))

    def test_exit_during_a_preload_ends_the_engine_while_the_server_holds(self):
        # One picture, and a list fetched as a group: each waits in its own way.
        for preload, name in (("PRELOAD IMAGE \"{}\"\n", "one.png"),
                              ("PRELOAD FILES\n\"{}\"\nENDPRELOAD\n", "list.bin")):
            with self.subTest(preload=preload):
                go = preload.format(self.held_file(name, solid(8, 8, DOWN))) + "TITLE 'fetched'\n"
                with self.stop_clicked_while_held(go, "EXIT\n", name) as (engine, _):
                    self.assertEqual(self.ended(engine), 0, "EXIT did not end the engine while "
                                     "the server held the preload")


class PictureSwap(HeldFetch):
    def test_a_release_before_the_pressed_picture_comes_leaves_the_normal_one(self):
        down = self.held_file("down.png", solid(40, 30, DOWN))
        self.write("app.skv", self.picture_button("Ready", "back.png", down))
        engine = self.start("app.nuv")
        window = engine.window("Ready")
        x, y = LEFT + 40, TOP + 35
        self.assertEqual(engine.wait_pixel(x, y, NORMAL), NORMAL)
        engine.xdotool("mousemove", x, y)
        engine.xdotool("mousedown", 1)
        self.asked_for("down.png")
        engine.xdotool("mouseup", 1)
        # Time to take the release while the pressed picture is held; a press and a release on
        # the button are a click, whenever the engine runs it.
        wait_for(lambda: engine.title(window), lambda got: got == "clicked", ACT)
        self.release("down.png")
        # A pressed picture that comes after the release must not stay on the button.
        self.assertEqual(self.picture_once_answered(engine, x, y), NORMAL)
        self.assertEqual(engine.wait_title(window, "clicked"), "clicked")
        self.assertIsNone(engine.process.poll())

    def test_a_reload_while_the_pressed_picture_comes_runs_the_new_version_unpressed(self):
        down = self.held_file("down.png", solid(40, 30, DOWN))
        self.write_bytes("newback.png", solid(300, 160, NEW_BACK))
        self.write("app.skv", self.picture_button("First", "back.png", down))
        said = os.path.join(self.dir, "stderr.txt")
        with open(said, "w") as stderr:
            engine = Engine(["--watch", "app.nuv"], self.env, cwd=self.dir, stderr=stderr)
        self.addCleanup(engine.stop)

        def reloaded():
            with open(said) as f:
                return "nuv: ran " + os.path.join(self.dir, "app.skv") + " afresh" in f.read()
        window = engine.window("First")
        x, y = LEFT + 40, TOP + 35
        self.assertEqual(engine.wait_pixel(x, y, NORMAL), NORMAL)
        engine.xdotool("mousemove", x, y)
        engine.xdotool("mousedown", 1)
        self.asked_for("down.png")
        self.write("app.new", self.picture_button("Second", "newback.png", down))
        os.replace(os.path.join(self.dir, "app.new"), os.path.join(self.dir, "app.skv"))
        # Time for the watcher to act on the edit while the pressed picture is held; a sound
        # engine may run the new version only once the swap is over.
        wait_for(reloaded, bool, ACT)
        engine.xdotool("mouseup", 1)
        self.release("down.png")
        # The new version runs, whether before or after the swap, and its button, which nobody
        # pressed, never gets the picture fetched for the old one.
        self.assertEqual(engine.wait_title(window, "Second"), "Second")
        self.assertTrue(wait_for(reloaded, bool))
        self.assertEqual(engine.wait_pixel(LEFT + 200, TOP + 100, NEW_BACK), NEW_BACK)
        self.assertEqual(self.picture_once_answered(engine, x, y), NORMAL)
        self.assertIsNone(engine.process.poll())


class CancelTheWait(HeldFetch):
    """Esc, or a click on the LOADING window, ends the wait as a failed fetch while the server
    still holds its answer: the engine then does what it does when that fetch fails."""

    def give_up(self, engine, how):
        loading = engine.window("LOADING")
        if how == "Esc":
            engine.xdotool("key", "Escape")
            return
        left, top, width, height = engine.geometry(loading)
        engine.xdotool("mousemove", left + width // 2, top + height // 2)
        engine.xdotool("click", 1)

    def test_at_start_up_the_engine_ends_with_the_message_of_a_failed_fetch(self):
        for how in ["Esc", "click"]:
            with self.subTest(how=how):
                name = f"start-{how}.nuv"
                address = self.held_file(name, b'"app.skv"\n')
                engine = self.start(address)
                try:
                    self.asked_for(name)
                    self.give_up(engine, how)
                    self.assertEqual(self.ended(engine), 1)
                    _, err = engine.process.communicate()
                    self.assertIn(f"Connection Error: Could not open {address}\n\nThe wait was "
                                  "cancelled", err)
                finally:
                    self.release(name)

    def test_during_a_preload_the_document_goes_on_without_the_picture(self):
        for how in ["Esc", "click"]:
            with self.subTest(how=how):
                name = f"preload-{how}.png"
                held = self.held_file(name, solid(8, 8, DOWN))
                self.write("app.skv", (
                    "TITLE 'Ready'\n"
                    f"OBJECT FORM\nLEFT {LEFT}\nTOP {TOP}\nBITMAP 'back.png'\nENDOBJECT\n"
                    "OBJECT BUTTON\nNAME Go\nCAPTION 'Go'\nLEFT 20\nTOP 20\nWIDTH 80\n"
                    f"HEIGHT 30\nEVENT CLICK\nPRELOAD IMAGE '{held}'\nTITLE 'Went on'\n"
                    "ENDEVENT\nENDOBJECT\n"))
                engine = self.start("app.nuv")
                try:
                    window = engine.window("Ready")
                    self.click(engine, 60, 35)
                    self.asked_for(name)
                    self.give_up(engine, how)
                    # Well before the server lets the picture go.
                    self.assertEqual(engine.wait_title(window, "Went on"), "Went on")
                    self.assertFalse(wait_for(lambda: engine.visible("LOADING"),
                                              lambda shown: not shown))
                    self.assertIsNone(engine.process.poll())
                finally:
                    self.release(name)
                    engine.stop()


if __name__ == "__main__":
    unittest.main()
