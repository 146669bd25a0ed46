"""The tools for people who write Skivets: --help, --version, --check, --watch, --screenshot."""
import os
import re
import shutil
import struct
import subprocess
import time
import unittest
import zlib

from skivet import NUV, SANITIZED, Engine, UserTest, big_png, solid, wait_for


def png_pixels(path):
    """(width, height, colour type, rows of raw bytes) of an 8-bit PNG without interlacing."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    channels = {2: 3, 6: 4}[colour]
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prior = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - channels] if x >= channels else 0
            up, corner = prior[x], prior[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + left) & 255
            elif kind == 2:
                line[x] = (line[x] + up) & 255
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[x] = (line[x] + (left if pa <= pb and pa <= pc else up if pb <= pc
                                      else corner)) & 255
        rows.append(bytes(line))
        prior = line
    return width, height, channels, rows


class Options(UserTest):
    def test_help_and_version_follow_the_conventions(self):
        for option, expected in (("--help", "Usage: nuv"), ("--version", "nuv ")):
            with self.subTest(option=option):
                rc, out, err = self.run_to_end(option)
                self.assertEqual((rc, err), (0, ""))
                self.assertTrue(out.startswith(expected), out)
        rc, out, err = self.run_to_end("--frobnicate")
        self.assertEqual((rc, out), (2, ""))
        self.assertIn("unknown option '--frobnicate'", err)


def check(test, document, include=None):
    """The exit status, diagnostic lines and standard error of checking a document of these lines
    in the test's folder, with parts/inc.skv beside it when an include is given."""
    test.write("app.nuv", '"doc.skv"')
    test.write("doc.skv", document)
    if include is not None:
        test.write("parts/inc.skv", include)
    rc, out, err = test.run_to_end("--check", "app.nuv")
    return rc, out.splitlines(), err


class Reference(UserTest):
    def sections(self, text):
        """{heading: [table rows as lists of cells]} of the Markdown --reference prints."""
        sections, heading = {}, None
        for line in text.splitlines():
            if line.startswith("#"):
                heading = line.lstrip("#").strip()
                sections[heading] = []
            elif line.startswith("| ") and not line.startswith("| Word") and \
                    not line.startswith("| Event") and not line.startswith("| Constant"):
                sections[heading].append([cell.strip().strip("`") for cell in line[2:-2].split(" | ")])
        return sections

    def test_the_reference_is_the_page_in_docs_and_its_examples_check_clean(self):
        rc, out, err = self.run_to_end("--reference")
        self.assertEqual((rc, err), (0, ""))
        with open(os.path.join(os.path.dirname(__file__), "..", "..", "docs", "reference.md")) as f:
            self.assertEqual(out, f.read(), "docs/reference.md is printed by nuv --reference")
        sections = self.sections(out)
        words = [row[0] for row in sections["Statements"]]
        self.assertEqual(words[:2], ["ALWAYSONTOP", "RESTRICTMOVE"])
        self.assertIn(["TITLE", "a text value", 'TITLE "My Skivet"', "the window's title"],
                      sections["Statements"])
        self.assertIn(["NUV.MPHand", "32649", "pointing hand"], sections["Constants"])
        # Every example, put where it belongs, is a document the checker finds nothing in: the
        # words it prints are the words the engine and the checker know.
        documents = {"statements": "\n".join(row[2] for row in sections["Statements"])}
        for heading, rows in sections.items():
            if not heading.startswith("OBJECT "):
                continue
            block, commands = [heading], []
            for row in rows:
                if len(row) == 2:
                    block += [f"EVENT {row[0]}", "ENDEVENT"]
                elif "." in row[2].split(" ")[0]:
                    commands.append(row[2])
                else:
                    block.append(row[2])
            documents[heading] = "\n".join(block + ["ENDOBJECT"] + commands)
        self.assertEqual(len(documents), 5)
        self.write_bytes("picture.png", solid(4, 4, (1, 2, 3)))
        for name, document in documents.items():
            with self.subTest(name=name):
                for quoted in re.findall(r'"([^"]*)"', document):
                    if not quoted.startswith("http") and "." in quoted:
                        shutil.copy(os.path.join(self.dir, "picture.png"),
                                    os.path.join(self.dir, quoted))
                rc, lines, err = check(self, document + "\n")
                self.assertEqual((rc, lines), (0, []), document)


class Check(UserTest):
    def check(self, document, include=None):
        return check(self, document, include)

    def test_each_fault_is_one_line_naming_the_file_and_line(self):
        doc, inc = os.path.join(self.dir, "doc.skv"), os.path.join(self.dir, "parts", "inc.skv")
        self.write_bytes("skin.png", solid(4, 4, (1, 2, 3)))
        # Lines the engine passes over are warnings and leave the exit status 0; what stops a
        # document or shows a message at run time is an error.
        cases = [
            # Empty lines and comments keep their numbers.
            ('TITLE "a"\n\n# note\nTITEL "b"\n', None, 0,
             [f"{doc}:4: warning: unknown statement 'TITEL'"]),
            ("Missing.HIDE\n", None, 0, [f"{doc}:1: warning: no object is named 'Missing'"]),
            # A command word after an unknown name: the object is what is missing.
            ("Ghost HIDE\n", None, 0, [f"{doc}:1: warning: no object is named 'Ghost'"]),
            ("OBJECT BUTTON\nNAME Go\nCOLOR 3\nENDOBJECT\n", None, 0,
             [f"{doc}:3: warning: BUTTON has no property 'COLOR'"]),
            ("OBJECT INPUTBOX\nNAME In\nEVENT CLICK\nENDEVENT\nENDOBJECT\n", None, 0,
             [f"{doc}:3: warning: INPUTBOX has no event 'CLICK'"]),
            ("OBJECT BUTTON\nNAME Go\nENDOBJECT\nGo.TEXT 'x'\n", None, 0,
             [f"{doc}:4: warning: Go is a BUTTON, which has no command 'TEXT'"]),
            ("PRELOAD PICTURES\n", None, 0,
             [f"{doc}:1: warning: PRELOAD takes IMAGE, IMAGES, FILE or FILES"]),
            # Event blocks run as texts of their own: their lines are checked as statements.
            ("OBJECT BUTTON\nNAME Go\nEVENT CLICK\n  Go.HIDE\n  Nope.SHOW\nENDEVENT\nENDOBJECT\n",
             None, 0, [f"{doc}:5: warning: no object is named 'Nope'"]),
            ("OBJECT BUTTON\nNAME Go\n", None, 1,
             [f"{doc}:1: error: OBJECT block is never closed: ENDOBJECT is missing"]),
            # The event took the ENDOBJECT with it: one fault, said once.
            ("OBJECT BUTTON\nEVENT CLICK\nTITLE 'x'\nENDOBJECT\n", None, 1,
             [f"{doc}:2: error: EVENT block is never closed: ENDEVENT is missing"]),
            ("PRELOAD IMAGES\n'skin.png'\n", None, 1,
             [f"{doc}:1: error: PRELOAD list is never closed: ENDPRELOAD is missing"]),
            ('TITLE "open\n', None, 1, [f"{doc}:1: error: unclosed quote"]),
            # The engine says "Invalid Object" and passes over the block's lines.
            ("OBJECT WIDGET\nNAME W\nCAPTION 'x'\nENDOBJECT\n", None, 1,
             [f"{doc}:1: error: unknown OBJECT kind 'WIDGET': BUTTON, INPUTBOX, BROWSER or FORM"]),
            ('OBJECT FORM\nBITMAP "gone.png"\nENDOBJECT\n', None, 1,
             [f"{doc}:2: error: file not found: 'gone.png'"]),
            ('LOADINGIMAGE "gone.gif"\n', None, 1, [f"{doc}:1: error: file not found: 'gone.gif'"]),
            ('OBJECT BROWSER\nMASK "gone.bmp"\nENDOBJECT\n', None, 1,
             [f"{doc}:2: error: file not found: 'gone.bmp'"]),
            ('SETFORMCURSOR "gone.cur"\n', None, 1, [f"{doc}:1: error: file not found: 'gone.cur'"]),
            # Findings come in line order, whether the checker or the reader finds them.
            ('TITEL "a"\n%INCLUDE "gone.skv"\nNope.SHOW\n', None, 1,
             [f"{doc}:1: warning: unknown statement 'TITEL'",
              f"{doc}:2: error: cannot read '{self.dir}/gone.skv'",
              f"{doc}:3: warning: no object is named 'Nope'"]),
            # A line inside an include keeps its own file and number, CR LF or not.
            ('TITLE "a"\n%INCLUDE "parts/inc.skv"\nTITLE "b"\n',
             '\n\nOBJECT FORM\nBITMAP "skin.png"\nALPHABLENDBITMAP "none.png"\nENDOBJECT\n', 1,
             [f"{inc}:5: error: file not found: 'none.png'"]),
            ('%INCLUDE "parts/inc.skv"\nTITEL "b"\n', "# one\r# two\rGo.SHOW\r", 0,
             [f"{inc}:3: warning: no object is named 'Go'",
              f"{doc}:2: warning: unknown statement 'TITEL'"]),
            # Includes that include nothing.
            ('TITLE "a"\n%INCLUDE "parts/inc.skv"\n', 'TITLE "b"\n%INCLUDE "doc.skv"\n', 0,
             [f"{inc}:2: warning: include cycle: '{doc}' is already being read "
              f"({doc} -> {inc} -> {doc}); this line includes nothing"]),
            ('TITLE "a"\n%INCLUDE parts/inc.skv\n', 'TITLE "b"\n', 0,
             [f"{doc}:2: warning: %INCLUDE takes a quoted location: 'parts/inc.skv' reads as an "
              "empty value, so this line includes nothing"]),
        ]
        for document, include, status, expected in cases:
            with self.subTest(document=document, include=include):
                rc, lines, err = self.check(document, include)
                self.assertEqual((rc, lines), (status, expected), err)

    def test_warnings_alone_pass_and_a_sound_document_prints_nothing(self):
        self.write_bytes("skin.png", solid(4, 4, (1, 2, 3)))
        sound = ('title = "Sound"  # a comment\nOBJECT FORM\n\tBITMAP "skin.png"\n\tSETSHAPEBMP\n'
                 "ENDOBJECT\nOBJECT BUTTON\n\tNAME Go\n\tEVENT CLICK\n\t\tGo.HIDE\n\t\t"
                 "Later.TEXT 'x'\n\tENDEVENT\nENDOBJECT\nOBJECT INPUTBOX\n\tNAME Later\nENDOBJECT\n"
                 "PRELOAD IMAGES\n'skin.png'\nENDPRELOAD\nSETFORMCURSOR NUV.MPHand\n")
        self.assertEqual(self.check(sound), (0, [], ""))
        rc, lines, _ = self.check(sound + "ENDOBJECT\nOBJECT BUTTON\nTYPE GRAPHICAL\nENDOBJECT\n")
        self.assertEqual(rc, 0)
        doc = os.path.join(self.dir, "doc.skv")
        self.assertEqual(lines, [f"{doc}:20: warning: ENDOBJECT without OBJECT",
                                 f"{doc}:21: warning: the button never shows: "
                                 "TYPE GRAPHICAL needs a BITMAP"])

    def test_check_never_opens_a_window(self):
        self.write("app.nuv", '"doc.skv"')
        self.write("doc.skv", 'TITLE "Checked"\n')
        env = dict(self.env)
        env.pop("DISPLAY")
        env.pop("QT_QPA_PLATFORM")
        done = subprocess.run([NUV, "--check", "app.nuv"], cwd=self.dir, env=env,
                              capture_output=True, text=True, timeout=20)
        self.assertEqual((done.returncode, done.stdout, done.stderr), (0, "", ""))
        rc, out, _ = self.run_to_end("--check", "missing.nuv")
        self.assertEqual(rc, 1)
        self.assertIn("missing.nuv: error: Read Error", out)


class Watch(UserTest):
    def test_edits_run_afresh_in_the_same_process_and_window(self):
        self.write_bytes("skin.png", solid(120, 80, (20, 90, 160)))
        self.write("app.nuv", '"doc.skv"')
        self.write("parts/inc.skv", 'TITLE "From include"\n')
        self.write("doc.skv", 'TITLE "First"\nOBJECT FORM\nLEFT 40\nTOP 30\n'
                   'BITMAP "skin.png"\nSETSHAPEBMP\nENDOBJECT\n'
                   'OBJECT BUTTON\nCAPTION "Old"\nLEFT 10\nTOP 10\nWIDTH 60\nHEIGHT 40\n'
                   'ENDOBJECT\n')
        said = os.path.join(self.dir, "stderr.txt")
        with open(said, "w") as stderr:
            engine = Engine(["--watch", "app.nuv"], self.env, cwd=self.dir, stderr=stderr)
        self.addCleanup(engine.stop)

        def failures(count):
            """Once the engine has refused count versions, what it said."""
            def read():
                with open(said) as f:
                    return f.read()
            return wait_for(read, lambda text: text.count("no longer reads") >= count)
        window = engine.window("First")
        self.assertEqual(engine.wait_position(window, (40, 30)), (40, 30))
        # The person moves the window; the next version must not move it back.
        engine.xdotool("windowmove", window, 200, 150)
        self.assertEqual(engine.wait_position(window, (200, 150)), (200, 150))
        skin = (20, 90, 160)
        self.assertNotEqual(engine.wait_pixel(200 + 30, 150 + 30, skin, timeout=1), skin)

        # An editor's save: a burst of writes, then a rename over the document.
        started = time.monotonic()
        for part in ("TITLE", ' "Sec', 'ond"\n'):
            with open(os.path.join(self.dir, "doc.skv"), "a") as f:
                f.write(part)
        self.write("doc.new", 'TITLE "Second"\nOBJECT FORM\nLEFT 40\nBITMAP "skin.png"\n'
                   'SETSHAPEBMP\nENDOBJECT\n%INCLUDE "parts/inc.skv"\n')
        os.replace(os.path.join(self.dir, "doc.new"), os.path.join(self.dir, "doc.skv"))
        self.assertEqual(engine.wait_title(window, "From include", timeout=2), "From include")
        self.assertLess(time.monotonic() - started, 2)
        self.assertEqual(engine.geometry(window)[:2], (200, 150))
        # What the first version built has gone with it.
        self.assertEqual(engine.wait_pixel(200 + 30, 150 + 30, skin), skin)

        # An included file counts as the document.
        self.write("parts/inc.skv", 'TITLE "Include edited"\n')
        self.assertEqual(engine.wait_title(window, "Include edited", timeout=2), "Include edited")

        # A version that does not read leaves the last good one and says why.
        doc = os.path.join(self.dir, "doc.skv")
        self.write("doc.skv", 'TITLE "Broken"\n%INCLUDE "parts/inc.skv"\nOBJECT BUTTON\n')
        err = failures(1)
        self.assertIn(f"{doc} no longer reads; the last good version stays:\n"
                      f"{doc}:3: error: OBJECT block is never closed", err)
        self.write("parts/inc.skv", 'TITLE "Still broken"\n')
        failures(2)
        self.assertEqual(engine.title(window), "Include edited")
        # A line the engine passes over is said, and the version runs as it would alone.
        self.write("doc.skv", 'TITLE "Mended"\nOBJECT BUTTON\nNAME B\nCAPTION "b"\nENDOBJECT\n'
                   'B CAPTION "ignored"\n')
        self.assertEqual(engine.wait_title(window, "Mended", timeout=2), "Mended")
        self.assertIn(f"{doc}:6: warning: B is a BUTTON, which has no command 'CAPTION'",
                      failures(2))
        self.assertEqual(failures(2).count("no longer reads"), 2)
        self.assertIsNone(engine.process.poll())

    def test_files_that_go_missing_are_watched_for_until_they_return(self):
        self.write("app.nuv", '"doc.skv"')
        self.write("parts/inc.skv", 'TITLE "Include"\n')
        self.write("doc.skv", 'TITLE "First"\n%INCLUDE "parts/inc.skv"\n')
        said = os.path.join(self.dir, "stderr.txt")
        with open(said, "w") as stderr:
            engine = Engine(["--watch", "app.nuv"], self.env, cwd=self.dir, stderr=stderr)
        self.addCleanup(engine.stop)
        window = engine.window("Include")

        def refused(count):
            def read():
                with open(said) as f:
                    return f.read()
            return wait_for(read, lambda text: text.count("no longer reads") >= count)
        away = os.path.join(self.dir, "away")
        doc = 'TITLE "First"\n%INCLUDE "parts/inc.skv"\n'
        # The document, an include's whole folder and an include go and come back, the first and
        # last as new files: nothing may stay watched on the file that left. Each is then edited
        # in place. Rows: what moves, what comes back (None: the same, renamed back), the title
        # then, the file edited, its text, the title then.
        moves = [
            ("doc.skv", '%INCLUDE "parts/inc.skv"\nTITLE "Doc back"\n', "Doc back",
             "doc.skv", doc, "Include"),
            ("parts", None, "Include", "parts/inc.skv", 'TITLE "Edit 2"\n', "Edit 2"),
            ("parts/inc.skv", 'TITLE "Include back"\n', "Include back",
             "parts/inc.skv", 'TITLE "Edit 3"\n', "Edit 3"),
        ]
        for count, (name, back, title, edited, text, after) in enumerate(moves, start=1):
            with self.subTest(name=name):
                os.rename(os.path.join(self.dir, name), away)
                refused(count)
                if back is None:
                    os.rename(away, os.path.join(self.dir, name))
                else:
                    os.remove(away)
                    self.write(name, back)
                self.assertEqual(engine.wait_title(window, title, timeout=3), title)
                self.write(edited, text)
                self.assertEqual(engine.wait_title(window, after, timeout=3), after)
        self.assertIsNone(engine.process.poll())

    @unittest.skipIf(SANITIZED, "starts the web engine")
    def test_a_reload_forgets_the_origins_the_old_version_trusted(self):
        """The page of an origin only the old version gave its browser commands nothing."""
        for name in ("old", "new"):
            os.makedirs(os.path.join(self.dir, name))
        old, new = self.serve(os.path.join(self.dir, "old")), self.serve(os.path.join(self.dir, "new"))
        self.write("old/cmd.html", "<script>location.href = \"nuv:TITLE+'commanded'\";</script>")
        self.write("old/idle.html", "<p>idle</p>")
        self.write("new/start.html", f'<script>location.href = "{old.url}cmd.html";</script>')

        def version(title, page):
            self.write("doc.skv", f'TITLE "{title}"\nOBJECT BROWSER\nNAME Web\nWIDTH 100\n'
                       f"HEIGHT 100\nLOCATION '{page}'\nENDOBJECT\n")
        self.write("app.nuv", '"doc.skv"')
        version("First", old.url + "idle.html")
        said = os.path.join(self.dir, "stderr.txt")
        with open(said, "w") as stderr:
            engine = Engine(["--watch", "app.nuv"], self.env, cwd=self.dir, stderr=stderr)
        self.addCleanup(engine.stop)
        window = engine.window("First", timeout=60)
        version("Second", new.url + "start.html")

        def read():
            with open(said) as f:
                return engine.title(window), f.read()
        title, err = wait_for(read, lambda got: got[0] == "commanded" or "refused" in got[1],
                              timeout=60)
        self.assertNotEqual(title, "commanded")
        self.assertIn("refused: the page's origin is not trusted: " + old.url.rstrip("/"), err)

    def test_reloads_never_fill_the_picture_table(self):
        # 6000 x 6000 pixels: 137 MiB decoded, so the fourth run would pass the picture table's
        # 512 MiB if the table went on counting what the versions before it showed.
        colour = (30, 140, 70)
        self.write_bytes("big.png", big_png(6000, 6000, colour))
        self.write("app.nuv", '"doc.skv"')

        def version(n):
            self.write("doc.skv", 'OBJECT FORM\nLEFT 40\nTOP 30\nWIDTH 100\nHEIGHT 100\n'
                       'ENDOBJECT\nOBJECT BUTTON\nTYPE GRAPHICAL\nBITMAP "big.png"\nLEFT 0\n'
                       f'TOP 0\nWIDTH 100\nHEIGHT 100\nENDOBJECT\nTITLE "Version {n}"\n')
        version(0)
        said = os.path.join(self.dir, "stderr.txt")
        with open(said, "w") as stderr:
            engine = Engine(["--watch", "app.nuv"], self.env, cwd=self.dir, stderr=stderr)
        self.addCleanup(engine.stop)
        window = engine.window("Version 0")
        left, top, _, _ = engine.geometry(window)
        for n in range(1, 6):
            version(n)
            self.assertEqual(engine.wait_title(window, f"Version {n}"), f"Version {n}")
            self.assertEqual(engine.wait_pixel(left + 50, top + 50, colour), colour)
        with open(said) as f:
            self.assertNotIn("Picture not loaded", f.read())


class Screenshot(UserTest):
    def test_first_frame_with_alpha_without_a_display(self):
        self.write_bytes("skin.png", solid(64, 48, (200, 30, 40)))
        self.write("app.nuv", '"doc.skv"')
        self.write("doc.skv", 'OBJECT FORM\nBITMAP "skin.png"\nENDOBJECT\n')
        shot = os.path.join(self.dir, "shot.png")
        env = dict(self.env)
        env.pop("DISPLAY")
        done = subprocess.run([NUV, "--screenshot", shot, "app.nuv"], cwd=self.dir, env=env,
                              capture_output=True, text=True, timeout=30)
        self.assertEqual(done.returncode, 0, done.stderr)
        width, height, channels, rows = png_pixels(shot)
        self.assertEqual((width, height, channels), (64, 48, 4))
        self.assertEqual(rows[10][40:44], bytes((200, 30, 40, 255)))

    def test_a_file_that_cannot_be_written_fails_with_a_message(self):
        self.write_bytes("skin.png", solid(8, 8, (200, 30, 40)))
        self.write("app.nuv", '"doc.skv"')
        self.write("doc.skv", 'OBJECT FORM\nBITMAP "skin.png"\nENDOBJECT\n')
        shot = os.path.join(self.dir, "no", "such", "shot.png")
        rc, _, err = self.run_to_end("--screenshot", shot, "app.nuv")
        self.assertEqual(rc, 1)
        self.assertIn(f"nuv: could not write the screenshot {shot}: ", err)
        self.assertFalse(os.path.exists(os.path.dirname(shot)))


if __name__ == "__main__":
    unittest.main()
