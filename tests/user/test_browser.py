"""Embedded browsers as a person sees them: pages at their place, links and scripts that command
the engine, the navigation blocks, history, visibility, the mask outline, script errors, which
pages may command the engine, and an engine that shows no browser never loading the web engine.

The web engine takes seconds to start, so each test is one engine run that checks many things in
the order a person would do them."""
import os
import shutil
import tempfile
import unittest

from skivet import Engine, UserTest, png, solid, wait_for

BG, GREEN, RED, BLUE, OLIVE = (40, 60, 90), (0, 200, 0), (220, 0, 0), (0, 0, 220), (160, 160, 0)
HOVER = (250, 200, 40)  # every link under the pointer
MAGENTA, INK = (255, 0, 255), (0, 0, 0)
FORM = (100, 80)  # where every document puts its window
WEB = (20, 30, 200, 150)  # the browser Web: left, top, width, height in the window
FIRST_PAGE = 60  # seconds: the first page waits for the web engine to start
WEB_ENGINE = "libQt6WebEngineCore"


def block_link(href, colour, extra=""):
    """A link 30 pixels high across the page, in its own colour."""
    return (f'<a href="{href}" {extra} style="display:block;height:30px;margin:0 0 10px 0;'
            f'background:{colour}"></a>')


def page(background, body="", head=""):
    hover = f"<style>a:hover {{ background: rgb{HOVER} !important; }}</style>"
    return (f"<html><head>{hover}{head}</head><body style=\"margin:0;background:{background}\">"
            f"{body}</body></html>")


def mapped(pid, library):
    with open(f"/proc/{pid}/maps") as f:
        return library in f.read()


def web_engine_helpers(pid):
    """The web engine's helper processes below pid: renderers, the zygote, the GPU process..."""
    children = {}
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{entry}/stat") as f:
                parent = int(f.read().rsplit(") ", 1)[1].split()[1])
            with open(f"/proc/{entry}/comm") as f:
                children.setdefault(parent, []).append((int(entry), f.read().strip()))
        except OSError:
            continue
    found, below = [], [pid]
    while below:
        for child, name in children.get(below.pop(), []):
            below.append(child)
            if name.startswith("QtWebEngineProc"):
                found.append(child)
    return found


class Browsers(UserTest):
    def setUp(self):
        super().setUp()
        self.write_bytes("bg.png", solid(460, 320, BG))
        self.write("app.nuv", '"app.skv"')

    def open(self, body, title, title_stays=True):
        """Runs a document: body first, then the window at FORM with its bitmap. A document
        whose navigation blocks retitle the window may do so before the title can be seen."""
        self.write("app.skv", f"{body}\nTITLE '{title}'\nOBJECT FORM\nNAME Main\n"
                              f"LEFT {FORM[0]}\nTOP {FORM[1]}\nBITMAP \"bg.png\"\nENDOBJECT\n")
        engine = self.start("app.nuv")
        return engine, engine.window(title if title_stays else None, timeout=FIRST_PAGE)

    def at(self, x, y, left=WEB[0], top=WEB[1]):
        """Screen point of (x, y) in a browser at (left, top) in the window."""
        return FORM[0] + left + x, FORM[1] + top + y

    def click(self, engine, x, y, **where):
        """Clicks a link once the page shows it hovered: a page that has just appeared may not
        take input yet, and a click it drops leaves no trace."""
        sx, sy = self.at(x, y, **where)
        for _ in range(20):
            engine.xdotool("mousemove", sx - 2, sy, "mousemove", sx, sy)
            if engine.wait_pixel(sx + 20, sy, HOVER, timeout=1, tolerance=8) == HOVER:
                engine.xdotool("click", "1")
                return
        self.fail(f"the link at {x}, {y} never took the pointer")

    def pixel_in(self, engine, x, y, expected, **where):
        return engine.wait_pixel(*self.at(x, y, **where), expected, tolerance=8)

    def test_remote_pages_command_the_engine_only_from_trusted_origins(self):
        pages = os.path.join(self.dir, "pages")
        elsewhere = os.path.join(self.dir, "elsewhere")
        os.makedirs(pages)
        os.makedirs(elsewhere)
        server = self.serve(pages)
        foreign = self.serve(elsewhere)
        own = server.url

        def put(folder, name, text):
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)

        # A link, a script navigation and an ordinary link, one above the other; a script error
        # that a silent browser does not report.
        put(pages, "start.html", page("rgb(0,200,0)", block_link(
            "nuv:TITLE+'one';TITLE+'x+y%2541;z'", "#444") + block_link(
            "#", "#666", 'onclick="go(); return false"') + block_link("frames.html", "#888"),
            "<script>function go() { location.href = \"nuv:TITLE+'scripted+Gr%C3%BC%C3%9Fe'%\"; }"
            "notDefinedAnywhere();</script>"))
        # The frame's answer waits until the test lets it go.
        put(pages, "frames.html", page("rgb(0,200,0)", block_link(
            foreign.url + "foreign.html", "rgb(160,160,0)") + '<iframe src="held.html?hold=frame">'
            "</iframe>"))
        put(pages, "held.html", page("white"))
        put(pages, "after.html", page("white", head="<script>location.href = "
                                      "\"nuv:Main+TOP+90\";</script>"))
        # Another origin, reached by a link: its command would move the window.
        put(elsewhere, "foreign.html", page("white", head=(
            "<script>location.href = \"nuv:Main+LEFT+300\";"
            f"setTimeout(function () {{ location.href = \"{own}after.html\"; }}, 300);"
            "</script>")))

        engine, window = self.open(
            "OBJECT BROWSER\nNAME Web\nLEFT 20\nTOP 30\nWIDTH 200\nHEIGHT 150\n"
            f"LOCATION '{own}start.html'\n"
            "EVENT BEFORENAVIGATE\nTITLE Web.TARGETURL\nENDEVENT\n"
            "EVENT AFTERNAVIGATE\nTITLE Web.LOCATION\nENDEVENT\nENDOBJECT", "Remote",
            title_stays=False)
        self.assertEqual(engine.wait_title(window, own + "start.html", FIRST_PAGE),
                         own + "start.html")
        self.assertTrue(mapped(engine.process.pid, WEB_ENGINE))
        # The page shows at the declared place, and the window's bitmap around it.
        self.assertEqual(self.pixel_in(engine, 100, 140, GREEN), GREEN)
        self.assertEqual(self.pixel_in(engine, 100, 140 + 15, BG), BG)
        self.assertEqual(self.pixel_in(engine, -5, 100, BG), BG)

        # Two statements in order, split outside quotes, "+" a blank, "%25" decoded once.
        self.click(engine, 100, 15)
        self.assertEqual(engine.wait_title(window, "x y%41;z"), "x y%41;z")
        self.click(engine, 100, 55)
        # Percent-encoded UTF-8 arrives as written, and a stray "%" leaves the other escapes be.
        self.assertEqual(engine.wait_title(window, "scripted Grüße"), "scripted Grüße")

        # A frame's navigation sets TARGETURL before BEFORENAVIGATE; once it completes,
        # AFTERNAVIGATE sees the page's own address in LOCATION.
        self.click(engine, 100, 95)
        held = own + "held.html?hold=frame"
        self.assertEqual(engine.wait_title(window, held), held)
        with open(os.path.join(pages, "release-frame"), "w"):
            pass
        self.assertEqual(engine.wait_title(window, own + "frames.html"), own + "frames.html")

        # The foreign page's command is refused; the page it goes on to, of the trusted origin,
        # commands after it: the window moves down, never across.
        self.assertEqual(self.pixel_in(engine, 100, 15, OLIVE), OLIVE)
        self.click(engine, 100, 15)
        self.assertEqual(engine.wait_position(window, (FORM[0], 90), 20), (FORM[0], 90))
        _, err = engine.stop()
        refusals = [line for line in err.splitlines() if "refused" in line]
        self.assertEqual(len(refusals), 1, err)
        self.assertIn(foreign.url.rstrip("/"), refusals[0])
        self.assertNotIn("Script Error", err)

    def test_local_pages_history_visibility_mask_and_script_errors(self):
        # The mask keeps the browser's middle: 40..159 across, 30..119 down.
        def mask(x, y):
            return INK if 40 <= x < 161 and 30 <= y < 121 else MAGENTA
        self.write_bytes("mask.png", png(200, 150, mask))
        self.write("page1.html", page("rgb(220,0,0)", '<div style="height:40px"></div>' +
                                      block_link("page2.html", "#444") + block_link(
                                          "nuv:Web+LEFT+60;Web+WIDTH+240;TITLE+'moved'",
                                          "#666")), crlf=False)
        self.write("page2.html", page("rgb(0,0,220)", '<div style="height:40px"></div>' +
                                      block_link("nuv:Web+HIDE;TITLE+'hidden'", "#444") +
                                      block_link("nuv:Web BACK", "#666")), crlf=False)
        # A mask drawn to every edge, its corners cut round: the page fills the rounded shape.
        def rounded(x, y):
            cx, cy = min(max(x, 8), 41), min(max(y, 8), 31)
            return INK if (x - cx) ** 2 + (y - cy) ** 2 <= 64 else MAGENTA
        self.write_bytes("rounded.png", png(50, 40, rounded))
        self.write("green.html", page("rgb(0,200,0)"), crlf=False)
        self.write("err.html", page("white", head="<script>firstMistake();</script>"
                                                  "<script>secondMistake();</script>"), crlf=False)
        engine, window = self.open(
            "OBJECT BROWSER\nNAME Web\nLEFT 20\nTOP 30\nWIDTH 200\nHEIGHT 150\n"
            "LOCATION 'page1.html'\nMASK 'mask.png'\n"
            "EVENT AFTERNAVIGATE\nTITLE Web.LOCATION\nENDEVENT\nENDOBJECT\n"
            # Nothing to go back to: nothing happens, and the window below is still built.
            "Web BACK\n"
            "OBJECT BROWSER\nNAME Loud\nLEFT 300\nTOP 30\nWIDTH 100\nHEIGHT 60\nJSERRORS TRUE\n"
            "LOCATION 'err.html'\nENDOBJECT\n"
            "OBJECT BROWSER\nNAME Quiet\nLEFT 300\nTOP 100\nWIDTH 100\nHEIGHT 60\n"
            "LOCATION 'err.html'\nENDOBJECT\n"
            "OBJECT BROWSER\nNAME Edge\nLEFT 240\nTOP 200\nWIDTH 50\nHEIGHT 40\n"
            "LOCATION 'green.html'\nMASK 'rounded.png'\nENDOBJECT\n"
            "OBJECT BUTTON\nTYPE TEXT\nNAME Show\nCAPTION 'Show'\nLEFT 300\nTOP 250\nWIDTH 60\n"
            "HEIGHT 30\nEVENT CLICK\nWeb SHOW\nTITLE 'shown'\nENDEVENT\nENDOBJECT", "Local",
            title_stays=False)
        first = "file://" + os.path.join(self.dir, "page1.html")
        second = "file://" + os.path.join(self.dir, "page2.html")
        self.assertEqual(engine.wait_title(window, first, FIRST_PAGE), first)
        self.assertEqual(engine.geometry(window)[:2], FORM)

        # The mask's outline: the page inside it, the window's bitmap outside it.
        self.assertEqual(self.pixel_in(engine, 100, 35, RED), RED)
        self.assertEqual(self.pixel_in(engine, 10, 10, BG), BG)
        self.assertEqual(self.pixel_in(engine, 190, 140, BG), BG)
        # The mask drawn to its edges: the page to each edge, the bitmap in the cut corners.
        for x, y in ((25, 20), (25, 1), (1, 20), (48, 20), (25, 38)):
            self.assertEqual(self.pixel_in(engine, x, y, GREEN, left=240, top=200), GREEN)
        for x, y in ((1, 1), (47, 1), (1, 37)):
            self.assertEqual(self.pixel_in(engine, x, y, BG, left=240, top=200), BG)
        # An unmasked browser beside it keeps its corners.
        self.assertEqual(self.pixel_in(engine, 2, 2, (255, 255, 255), left=300, top=30),
                         (255, 255, 255))

        # Moved and widened, the browser keeps its outline.
        self.click(engine, 100, 95)
        self.assertEqual(engine.wait_title(window, "moved"), "moved")
        self.assertEqual(self.pixel_in(engine, 100, 35, RED, left=60), RED)
        self.assertEqual(self.pixel_in(engine, 10, 10, BG, left=60), BG)
        self.assertEqual(self.pixel_in(engine, 200, 75, BG, left=60), BG)

        # A second page, hidden and shown again, then back to the first.
        self.click(engine, 100, 55, left=60)
        self.assertEqual(engine.wait_title(window, second), second)
        self.assertEqual(self.pixel_in(engine, 100, 35, BLUE, left=60), BLUE)
        self.click(engine, 100, 55, left=60)
        self.assertEqual(engine.wait_title(window, "hidden"), "hidden")
        self.assertEqual(self.pixel_in(engine, 100, 35, BG, left=60), BG)
        engine.xdotool("mousemove", FORM[0] + 330, FORM[1] + 265, "click", "1")
        self.assertEqual(engine.wait_title(window, "shown"), "shown")
        self.assertEqual(self.pixel_in(engine, 100, 35, BLUE, left=60), BLUE)
        self.click(engine, 100, 95, left=60)
        self.assertEqual(engine.wait_title(window, first), first)
        self.assertEqual(self.pixel_in(engine, 100, 35, RED, left=60), RED)

        # One box for the browser that shows script errors, however many its page makes; none
        # for the silent one.
        _, err = engine.stop()
        self.assertEqual(err.count("Script Error:"), 1, err)
        self.assertIn("firstMistake", err)
        self.assertIn("err.html", err)
        self.assertNotIn("secondMistake", err)
        self.assertNotIn("refused", err)
        # Nothing of the web engine's advice about OpenGL, which does not apply.
        for advice in ("AA_ShareOpenGLContexts", "WebEngineContext used before",
                       "No suitable graphics backend"):
            self.assertNotIn(advice, err)

    def test_the_web_engine_context_log_can_be_turned_on(self):
        """A person who turns on the web engine's own log to see why pages misbehave gets the
        page and the log, not a crash."""
        self.env["QT_LOGGING_RULES"] = "qt.webenginecontext=true"
        self.write("green.html", page("rgb(0,200,0)"), crlf=False)
        engine, window = self.open(f"OBJECT BROWSER\nNAME Web\nLEFT {WEB[0]}\nTOP {WEB[1]}\n"
                                   f"WIDTH {WEB[2]}\nHEIGHT {WEB[3]}\nLOCATION 'green.html'\n"
                                   "ENDOBJECT", "Logged")
        self.assertEqual(self.pixel_in(engine, 20, 20, GREEN), GREEN)
        self.assertIsNone(engine.process.poll())
        _, err = engine.stop()
        self.assertIn("qt.webenginecontext", err)

    def test_a_document_shows_sixteen_browsers_that_share_one_renderer(self):
        # Twenty browsers in a row, each on the same green page: sixteen show it, the rest leave
        # the window's bitmap, and one line names the bound.
        self.write("green.html", page("rgb(0,200,0)"), crlf=False)
        engine, window = self.open("".join(
            f"OBJECT BROWSER\nNAME Web{n}\nLEFT {10 + 22 * n}\nTOP 10\nWIDTH 16\nHEIGHT 16\n"
            "LOCATION 'green.html'\nENDOBJECT\n" for n in range(20)), "Twenty")
        for n in range(20):
            expected = GREEN if n < 16 else BG
            self.assertEqual(engine.wait_pixel(*self.at(8, 8, left=10 + 22 * n, top=10), expected,
                                               timeout=FIRST_PAGE, tolerance=8), expected, n)
        # Sixteen pages, which took a renderer each: one renderer now, and the few processes the
        # web engine always runs.
        helpers = web_engine_helpers(engine.process.pid)
        self.assertLessEqual(len(helpers), 1 + 3, helpers)
        _, err = engine.stop()
        self.assertEqual(err.count("not shown"), 1, err)
        self.assertIn("BROWSER Web16 and any later one not shown: a document shows at most 16 "
                      "browsers", err)

    def test_local_pages_command_however_the_navigation_is_made(self):
        elsewhere = tempfile.mkdtemp(prefix="nuv-elsewhere-")
        self.addCleanup(shutil.rmtree, elsewhere, True)
        home = "file://" + os.path.join(self.dir, "home.html")
        # On load, from a timer and from a frame; none of them may replace the page.
        self.write("start.html", page("rgb(0,200,0)", block_link(
            "file://" + os.path.join(elsewhere, "evil.html"), "#444") +
            "<iframe src=\"nuv:TITLE+'framed'\" "
            "style=\"width:5px;height:5px;border:0\"></iframe>",
            "<script>addEventListener('load', function () {"
            " location.href = \"nuv:Main+LEFT+150\"; });"
            "setTimeout(function () { location.href = \"nuv:Main+TOP+120\"; }, 300);</script>"),
            crlf=False)
        self.write("home.html", page("white", head="<script>location.href = "
                                     "\"nuv:TITLE+'home'\";</script>"), crlf=False)
        # A page outside the document's folder starts a navigation to the trusted folder and
        # commands at once, as if it were there; later it goes home, whose command runs.
        with open(os.path.join(elsewhere, "evil.html"), "w") as f:
            f.write(page("white", head=(
                f"<script>location.href = \"{home}\"; location.href = \"nuv:Main+LEFT+400\";"
                f"setTimeout(function () {{ location.href = \"{home}\"; }}, 500);</script>")))
        engine, window = self.open(
            "OBJECT BROWSER\nNAME Web\nLEFT 20\nTOP 30\nWIDTH 200\nHEIGHT 150\n"
            "LOCATION \"start.html?from=doc#top\"\nENDOBJECT", "Local commands", title_stays=False)
        self.assertEqual(engine.wait_title(window, "framed", FIRST_PAGE), "framed")
        self.assertEqual(engine.wait_position(window, (150, 120)), (150, 120))
        moved = {"left": WEB[0] + 150 - FORM[0], "top": WEB[1] + 120 - FORM[1]}
        self.assertEqual(self.pixel_in(engine, 100, 140, GREEN, **moved), GREEN)

        self.click(engine, 100, 15, **moved)
        self.assertEqual(engine.wait_title(window, "home"), "home")
        self.assertEqual(engine.geometry(window)[:2], (150, 120))
        _, err = engine.stop()
        refusals = [line for line in err.splitlines() if "refused" in line]
        self.assertEqual(len(refusals), 1, err)
        self.assertIn("file://" + elsewhere, refusals[0])
        self.assertNotIn("ERR_", err)

    def test_what_a_document_asks_before_its_window_shows_is_done_in_order(self):
        """The web engine starts once the window is on screen; the addresses a document gives
        its browser before then are loaded in the order given, in the window first shown."""
        # Xvfb offers only software OpenGL, so the web engine starts after the first frame.
        self.write("one.html", page("rgb(220,0,0)"), crlf=False)
        self.write("two.html", page("rgb(0,0,220)"), crlf=False)
        engine, window = self.open(
            f"OBJECT BROWSER\nNAME Web\nLEFT {WEB[0]}\nTOP {WEB[1]}\nWIDTH {WEB[2]}\n"
            f"HEIGHT {WEB[3]}\nLOCATION 'one.html'\n"
            "EVENT AFTERNAVIGATE\nTITLE Web.LOCATION\nENDEVENT\nENDOBJECT\n"
            "Web LOCATION 'two.html'", "Ordered", title_stays=False)
        second = "file://" + os.path.join(self.dir, "two.html")
        self.assertEqual(engine.wait_title(window, second, FIRST_PAGE), second)
        self.assertEqual(self.pixel_in(engine, 20, 20, BLUE), BLUE)

    def test_without_a_browser_the_web_engine_is_never_loaded(self):
        engine, window = self.open("", "Plain")
        self.assertEqual(engine.wait_pixel(FORM[0] + 5, FORM[1] + 5, BG), BG)
        self.assertFalse(mapped(engine.process.pid, "WebEngine"))

    def test_a_missing_module_is_said_once_and_the_rest_runs(self):
        self.env["NUV_BROWSER_MODULE"] = os.path.join(self.dir, "no-such-module.so")
        engine, window = self.open("OBJECT BROWSER\nNAME A\nENDOBJECT\n"
                                   "OBJECT BROWSER\nNAME B\nLOCATION 'x.html'\nENDOBJECT\n"
                                   "B LOCATION 'y.html'\nB BACK", "Still here")
        self.assertEqual(engine.wait_pixel(FORM[0] + 5, FORM[1] + 5, BG), BG)
        _, err = engine.stop()
        self.assertEqual(err.count("Browser Error:"), 1, err)
        self.assertIn("no-such-module.so", err)
        # A person is told what to install.
        self.assertIn("the browser module is not installed.\nInstall the nuv-browser package "
                      "(sudo apt install nuv-browser).", err)

    def test_a_module_that_does_not_load_is_said_with_the_reason(self):
        self.env["NUV_BROWSER_MODULE"] = self.write("broken.so", "not a shared object")
        self.write("app.skv", "OBJECT BROWSER\nNAME A\nLOCATION 'x.html'\nENDOBJECT\n"
                              "TITLE 'Broken module'")
        # The module is loaded once the window shows: what the engine says is read as it runs.
        said = os.path.join(self.dir, "stderr")
        with open(said, "w") as stderr:
            engine = Engine(["app.nuv"], self.env, cwd=self.dir, stderr=stderr)
            self.addCleanup(engine.stop)
            engine.window("Broken module")

            def read():
                with open(said) as f:
                    return f.read()
            err = wait_for(read, lambda text: "Reinstalling" in text)
        self.assertIn("the browser module could not be loaded.\n", err)
        self.assertIn("broken.so", err)
        self.assertIn("Reinstalling the nuv-browser package may mend it.", err)


if __name__ == "__main__":
    unittest.main()
