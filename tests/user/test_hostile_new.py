"""Hostile documents against the real binary: a window crowded with controls, and NEW used to
start engines without end or to pass options the user never gave."""
import fcntl
import os
import signal
import time
import unittest

from skivet import TIME_SCALE, Engine, UserTest, solid, wait_for

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


class NewEngines(UserTest):
    """Every engine of a test carries a mark in its environment, which the ones it starts
    inherit: the test counts them by it and ends them all, however many there are."""

    def setUp(self):
        super().setUp()
        self.env["NUV_TEST_MARK"] = self.mark = f"new-{os.getpid()}-{time.monotonic_ns()}"
        self.addCleanup(self.end_marked)
        self.write("second.skv", 'TITLE "Second"\n')
        self.write("second.nuv", '"second.skv"')

    def marked(self):
        """The ids of the live engines that carry this test's mark."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if f"NUV_TEST_MARK={self.mark}".encode() not in f.read().split(b"\0"):
                        continue
                with open(f"/proc/{entry}/stat") as f:
                    if f.read().split(") ")[-1].startswith("Z"):
                        continue
            except OSError:
                continue
            found.append(int(entry))
        return found

    def end_marked(self):
        """Ends every marked engine, also ones that start more while this runs."""
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            engines = self.marked()
            if not engines:
                return
            for pid in engines:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            time.sleep(0.05)

    def settled_count(self, expected):
        """The number of marked engines a second after it reaches expected, or as soon as it is
        clearly past it. An engine being started shows for a moment as two (the launcher forks),
        and so does one starting up (its D-Bus library forks to look for a session bus), so the
        least of the last few looks counts, never of fewer; a slower engine forks for longer."""
        wait_for(self.marked, lambda found: len(found) >= expected, timeout=20 * TIME_SCALE)
        looks, last = [], round(3 * TIME_SCALE)
        deadline = time.monotonic() + 1.3 * TIME_SCALE
        while time.monotonic() < deadline:
            looks.append(len(self.marked()))
            if len(looks) >= last and min(looks[-last:]) > expected:
                break
            time.sleep(0.1)
        return min(looks[-last:])

    def start_logged(self, *args):
        """An engine whose standard error, which every engine it starts shares, goes to a file
        that refused() reads while they run."""
        self.said = os.path.join(self.dir, "stderr.txt")
        with open(self.said, "w") as stderr:
            engine = Engine(args, self.env, cwd=self.dir, stderr=stderr)
        self.addCleanup(engine.stop)
        return engine

    def refused(self):
        with open(self.said) as f:
            return [line for line in f.read().splitlines() if "refused" in line]

    def settled(self, engines, refusals):
        """(engines, refusals) once they are as expected, else their last look. Every engine
        runs each NEW line once, so when all the refusals are in and the engines are there,
        every NEW has been answered and no engine can come."""
        return wait_for(lambda: (len(self.marked()), len(self.refused())),
                        lambda got: got == (engines, refusals), timeout=20 * TIME_SCALE)

    def refusals(self, engine):
        """The refusal lines on standard error, once every marked engine has ended."""
        self.end_marked()
        _, err = engine.stop()
        return [line for line in err.splitlines() if "refused" in line]

    def test_a_document_that_starts_itself_stops_eight_engines_deep(self):
        # A budget this large leaves it to the depth to stop the chain.
        self.env["NUV_NEW_BUDGET"] = "1000"
        self.write("self.skv", 'TITLE "Self"\nNEW "self.nuv"\n')
        self.write("self.nuv", '"self.skv"')
        engine = self.start("self.nuv")
        # The one a person started and eight more, each started by the one before.
        self.assertEqual(self.settled_count(9), 9)
        refused = self.refusals(engine)
        self.assertEqual(len(refused), 1, refused)
        self.assertIn("8 NEW in a row", refused[0])

    def test_an_engine_starts_at_most_five_others_a_second(self):
        self.env["NUV_NEW_BUDGET"] = "1000"
        self.write("many.skv", 'TITLE "Many"\n' + 'NEW "second.nuv"\n' * 20)
        self.write("many.nuv", '"many.skv"')
        engine = self.start("many.nuv")
        self.assertEqual(self.settled_count(6), 6)
        refused = self.refusals(engine)
        self.assertEqual(len(refused), 15, refused)
        self.assertIn("more than 5 NEW in one second", refused[0])

    def test_engines_that_start_themselves_stay_within_the_budget_of_their_chain(self):
        # Without it, three lines would make 3 + 9 + ... + 3^8 engines.
        for lines, engines in ((1, 5), (3, 15), (5, 16)):
            with self.subTest(lines=lines):
                self.write("self.skv", 'TITLE "Self"\n' + 'NEW "self.nuv"\n' * lines)
                self.write("self.nuv", '"self.skv"')
                self.start_logged("self.nuv")
                refusals = lines * engines - (engines - 1)
                self.assertEqual(self.settled(engines, refusals), (engines, refusals))
                self.assertIn("this engine's share of the 16 engines a chain of NEW may have is "
                              "spent", self.refused()[0])
                self.end_marked()

    def test_past_sixty_four_running_engines_new_starts_none(self):
        # Other engines of this user hold all places but two: the first engine takes one, the
        # first it starts the last, and the two more it starts refuse to run.
        places = os.path.join(self.dir, "NUVEngines")
        os.mkdir(places, 0o700)
        for place in range(62):
            held = os.open(os.path.join(places, str(place)), os.O_RDONLY | os.O_CREAT, 0o600)
            self.addCleanup(os.close, held)
            fcntl.flock(held, fcntl.LOCK_EX | fcntl.LOCK_NB)
        self.write("many.skv", 'TITLE "Many"\n' + 'NEW "second.nuv"\n' * 3)
        self.write("many.nuv", '"many.skv"')
        engine = self.start_logged("many.nuv")
        engine.window("Second")
        self.assertEqual(self.settled(2, 2), (2, 2))
        location = os.path.join(self.dir, "second.nuv")
        self.assertEqual(self.refused(), [f'NEW "{location}" refused: 64 engines are running '
                                          "for this user, the most allowed"] * 2)

    def test_only_placement_options_reach_the_new_engine(self):
        # Each of these would stop the second engine from showing its document where asked.
        self.write("other.skv", 'TITLE "Other"\n')
        self.write("other.nuv", '"other.skv"')
        self.write_bytes("skin.png", solid(200, 150, PANEL))
        cases = ("", "-preuninstall", '"-x:5 -postinstall"', "-postinstall",
                 os.path.join(self.dir, "other.nuv"), "a b c")
        for extra in cases:
            with self.subTest(extra=extra):
                # The NEW runs before the skin sizes the window, which is then centred.
                self.write("app.skv", f'TITLE "First"\nNEW "second.nuv" {extra} '
                           f'-relative -x:30 -y:40\nOBJECT FORM\nBITMAP "skin.png"\nENDOBJECT\n')
                self.write("app.nuv", '"app.skv"')
                engine = self.start("app.nuv")
                first = engine.window("First")
                second = engine.window("Second")
                left, top, _, _ = engine.geometry(first)
                self.assertEqual((left, top), ((1280 - 200) // 2, (1024 - 150) // 2))
                self.assertEqual(engine.wait_position(second, (left + 30, top + 40)),
                                 (left + 30, top + 40))
                self.end_marked()
                engine.stop()


if __name__ == "__main__":
    unittest.main()
