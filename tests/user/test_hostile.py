"""Hostile documents, servers and files against the real engine: nothing hangs, floods, leaks or
poisons the cache, and every refusal names its cause."""
import os
import subprocess
import time
import unittest
import zlib
import struct

from skivet import PYTHON, TIME_SCALE, UserTest, big_png, solid

HERE = os.path.dirname(os.path.abspath(__file__))
GONE = "appears to no longer exist!"
# Long enough for any case that does not hang; a hang fails the case at this bound instead.
QUICK = 10 * TIME_SCALE


class HostileServer:
    """hostile_server.py on 127.0.0.1, serving a folder and its hostile paths."""

    def __init__(self, root):
        self.root = root
        self.log = os.path.join(root, ".requests.log")
        open(self.log, "w").close()
        self.process = subprocess.Popen(
            [PYTHON, os.path.join(HERE, "hostile_server.py"), "--root", root, "--log", self.log],
            stdout=subprocess.PIPE, text=True)
        self.url = f"http://127.0.0.1:{int(self.process.stdout.readline())}/"

    def requests(self):
        with open(self.log) as f:
            return [line.split()[1] for line in f if line.strip()]

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
            self.process.stdout.close()


def declared_png(width, height, bits, colour_type):
    """A PNG whose header declares a picture that its one tiny row of data does not hold."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, bits, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"\x00")) + chunk(b"IEND", b""))


# One row per attack. "document" is the Skivet the location file names ("{site}" is the hostile
# server, "{dir}" the scratch folder, "{fifo}" a FIFO in it); with "remote" it is served from
# the site instead of read from disk. "location" overrides what the location file names, and
# "argument" what the engine is started with; "site" puts files on the server. The scratch
# folder holds secret.nuv and secret.skv, a local Skivet titled "Secret". The engine either
# shows the window titled "title" or ends by itself, within "within" seconds (QUICK unless
# given); "stderr" must all appear on its standard error, "never" must not, and "err_below"
# bounds its length.
CASES = [
    # Devices and FIFOs are never read, so nothing hangs or floods.
    dict(name="include of /dev/zero",
         document='TITLE "Zero"\n%INCLUDE "/dev/zero"\n',
         title="Zero", stderr=["/dev/zero\n\nis not a regular file"]),
    dict(name="include of a FIFO",
         document='TITLE "Fifo"\n%INCLUDE "{fifo}"\n',
         title="Fifo", stderr=["{fifo}\n\nis not a regular file"]),
    dict(name="document that is a FIFO", location="{fifo}",
         stderr=["Read Error: Could not open Skivet!\n\n{fifo}\n\nis not a regular file"]),
    dict(name="bitmap of a FIFO",
         document='OBJECT FORM\n\tBITMAP "{fifo}"\nENDOBJECT\nTITLE "Fifo picture"\n',
         title="Fifo picture",
         stderr=["Picture not loaded: {fifo}: it is not a regular file"]),
    dict(name="bitmap of /dev/zero",
         document='PRELOAD IMAGE "/dev/zero"\nTITLE "Zero picture"\n',
         title="Zero picture",
         stderr=["Picture not loaded: /dev/zero: it is not a regular file"]),

    # Include fan-out: each file includes the next twice, 40 levels deep, read once each.
    dict(name="remote include fan-out", remote=True, location="{site}fan/0.skv",
         stderr=["{site}fan/0.skv\n\nhas includes beyond the bound of 10000 includes."],
         requests=lambda got: sorted(got) == sorted(f"/fan/{n}.skv" for n in range(41))),
    dict(name="local include fan-out with a one-line leaf", fan=40,
         stderr=["/fan0.skv\n\nhas includes beyond the bound of 10000 includes."]),

    # A document from the network includes only network locations.
    dict(name="remote document including a local secret", remote=True,
         document='TITLE "Remote"\nPRELOAD FILES\n%INCLUDE "{dir}/tokens.txt"\nENDPRELOAD\n',
         title="Remote",
         stderr=["{dir}/tokens.txt\n\nwas not included: a Skivet from the network may include "
                 "only network locations."],
         requests=lambda got: not any("leaked" in path for path in got)),
    dict(name="remote document including a file: location", remote=True,
         document='TITLE "Remote"\n%INCLUDE "file://{dir}/tokens.txt"\n',
         title="Remote", stderr=["was not included"]),
    dict(name="local document including the same file",
         document='TITLE "Local"\nPRELOAD FILES\n%INCLUDE "{dir}/tokens.txt"\nENDPRELOAD\n',
         title="Local", never=["Read Error"]),

    # Messages name the cause; a location that is not there "appears to no longer exist!".
    dict(name="missing document", location="{site}nothing.skv",
         stderr=["{site}nothing.skv\n\n" + GONE]),
    dict(name="flood, with the real bounds", location="{site}flood/app.skv", real_bounds=True,
         stderr=["{site}flood/app.skv\n\ncould not be read. The response is larger than "
                 "67108864 bytes."], never=[GONE]),
    dict(name="flooding start-up address", argument="{site}flood/app.nuv",
         stderr=["Connection Error: Could not open {site}flood/app.nuv", "larger than"],
         never=["Code: 200"]),
    dict(name="stalled document", location="{site}stall/app.skv",
         env={"NUV_STALL_TIMEOUT_MS": "500"},
         stderr=["{site}stall/app.skv\n\ncould not be read."], never=[GONE]),

    # A drip: each byte restarts no clock; less than 1 KiB in a window ends the transfer, and
    # one bound covers all of start-up.
    dict(name="dripping document", location="{site}drip/app.skv?every=0.1",
         env={"NUV_PROGRESS_WINDOW_MS": "1000"},
         stderr=["{site}drip/app.skv?every=0.1\n\ncould not be read. The server sent less than "
                 "1 KiB in 1 s."], never=[GONE]),
    dict(name="dripping document, with the real bounds", location="{site}drip/app.skv?every=0.5",
         real_bounds=True, within=30,
         stderr=["{site}drip/app.skv?every=0.5\n\ncould not be read. The server sent less than "
                 "1 KiB in 20 s."]),
    dict(name="dripping start-up address", argument="{site}drip/app.nuv?every=0.1",
         env={"NUV_PROGRESS_WINDOW_MS": "1000"},
         stderr=["Connection Error: Could not open {site}drip/app.nuv?every=0.1\n\nThe server "
                 "sent less than 1 KiB in 1 s."]),
    dict(name="document just fast enough, past the start-up bound",
         location="{site}drip/app.skv?every=0.01", env={"NUV_STARTUP_TIMEOUT_MS": "1500"},
         stderr=["{site}drip/app.skv?every=0.01\n\ncould not be read. Fetching the Skivet at "
                 "start-up took longer than the bound of 1500 ms."]),

    # The location text is one line of at most 4 KiB, from the network as from a file.
    dict(name="60 MB start-up address", argument="{site}line/app.nuv",
         stderr=["Read Error: Could not read the location file\n\n{site}line/app.nuv\n\nIts "
                 "first line is longer than the bound of 4 KiB."], err_below=10000),
    dict(name="overlong local location file", location="a" * 5000,
         stderr=["Its first line is longer than the bound of 4 KiB."], err_below=10000),
    dict(name="lying length", location="{site}lie/app.skv",
         stderr=["{site}lie/app.skv\n\ncould not be read."], never=[GONE]),
    dict(name="server error", location="{site}status/500/app.skv",
         stderr=["could not be read. The server answered with status 500."], never=[GONE]),
    # A network source names only network locations: it neither runs nor starts a local one.
    dict(name="remote location file naming a local document", argument="{site}local.nuv",
         site={"local.nuv": "{dir}/secret.skv"},
         stderr=["Read Error: Could not open Skivet!\n\n{dir}/secret.skv\n\nA location file from "
                 "the network may name only network locations."], never=["Secret"]),
    dict(name="remote location file naming a file: address", argument="{site}local.nuv",
         site={"local.nuv": '"file://{dir}/secret.skv"'},
         stderr=["A location file from the network may name only network locations."]),
    dict(name="remote document starting a local one", remote=True,
         document='NEW "{dir}/secret.nuv"\nTITLE "Remote"\n', title="Remote",
         stderr=['NEW "{dir}/secret.nuv" refused: a Skivet from the network may start only '
                 'network locations']),

    # Sizes and places past the int range stop at its edge.
    dict(name="controls past the int range",
         document='OBJECT INPUTBOX\n\tLEFT 2147483647\n\tWIDTH 2147483647\nENDOBJECT\n'
                  'OBJECT BUTTON\n\tCAPTION "b"\n\tLEFT -3000000000\n\tHEIGHT 99999999999\n'
                  'ENDOBJECT\nTITLE "Far"\n', title="Far"),

    dict(name="picture over the size bound", env={"NUV_MAX_BODY_BYTES": "4096"},
         document='OBJECT FORM\n\tBITMAP "noise.bmp"\nENDOBJECT\nTITLE "Big picture"\n',
         title="Big picture",
         stderr=["Picture not loaded: {dir}/noise.bmp: it is larger than the bound of 4 KiB."]),
    # 16-bit channels take 8 bytes a pixel: 288 MB decoded, from a file of a few bytes.
    dict(name="16-bit picture past the decoder's bound",
         document='OBJECT FORM\n\tBITMAP "deep.png"\nENDOBJECT\nTITLE "Deep picture"\n',
         title="Deep picture",
         stderr=["Picture not loaded: {dir}/deep.png: its 6000x6000 pixels pass the decoder's "
                 "bound of 256 MiB."],
         never=["QImageIOHandler", "allocation limit"]),
]


class HostileTest(UserTest):
    def setUp(self):
        super().setUp()
        self.site = os.path.join(self.dir, "site")
        os.makedirs(self.site)
        self.server = HostileServer(self.site)
        self.addCleanup(self.server.close)
        self.fifo = os.path.join(self.dir, "fifo")
        os.mkfifo(self.fifo)
        self.write("tokens.txt", '"leaked-token"\nTITLE "stolen"\n')
        self.write("secret.nuv", '"secret.skv"')
        self.write("secret.skv", 'TITLE "Secret"\n')
        # A bitmap of 100 x 100 pixels, 30000 bytes and more.
        self.write_bytes("noise.bmp", b"BM" + bytes(30054))
        self.write_bytes("deep.png", declared_png(6000, 6000, 16, 6))

    def fill(self, text):
        return (text.replace("{site}", self.server.url).replace("{dir}", self.dir)
                .replace("{fifo}", self.fifo))

    def arguments_for(self, case):
        for name, text in case.get("site", {}).items():
            with open(os.path.join(self.site, name), "w", newline="") as f:
                f.write(self.fill(text))
        if "argument" in case:
            return self.fill(case["argument"])
        if case.get("fan"):
            for level in range(case["fan"]):
                self.write(f"fan{level}.skv", f'%INCLUDE "fan{level + 1}.skv"\n' * 2)
            self.write(f"fan{case['fan']}.skv", 'TITLE "leaf"\n')
            location = "fan0.skv"
        elif "location" in case:
            location = self.fill(case["location"])
        elif case.get("remote"):
            with open(os.path.join(self.site, "app.skv"), "w", newline="") as f:
                f.write(self.fill(case["document"]).replace("\n", "\r\n"))
            location = self.server.url + "app.skv"
        else:
            self.write("app.skv", self.fill(case["document"]))
            location = "app.skv"
        self.write("app.nuv", f'"{location}"')
        return os.path.join(self.dir, "app.nuv")

    def test_hostile_cases(self):
        for case in CASES:
            with self.subTest(case["name"]):
                open(self.server.log, "w").close()
                env = dict(self.env, **case.get("env", {}))
                if case.get("real_bounds"):
                    for name in ("NUV_CONNECT_TIMEOUT_MS", "NUV_STALL_TIMEOUT_MS",
                                 "NUV_MIN_PROGRESS_BYTES", "NUV_PROGRESS_WINDOW_MS",
                                 "NUV_TOTAL_TIMEOUT_MS", "NUV_MAX_BODY_BYTES",
                                 "NUV_STARTUP_TIMEOUT_MS"):
                        env.pop(name, None)
                engine = self.start_with(env, self.arguments_for(case))
                began = time.monotonic()
                within = case.get("within", QUICK)
                if "title" in case:
                    engine.window(case["title"], timeout=within)
                    _, err = engine.stop()
                else:
                    code, _, err = engine.finish(timeout=within)
                    self.assertEqual(code, 1, err[:2000])
                self.assertLess(time.monotonic() - began, within)
                self.assertLess(len(err), case.get("err_below", len(err) + 1))
                for expected in case.get("stderr", []):
                    self.assertIn(self.fill(expected), err)
                for unwanted in case.get("never", []):
                    self.assertNotIn(self.fill(unwanted), err)
                if "requests" in case:
                    self.assertTrue(case["requests"](self.server.requests()),
                                    self.server.requests())

    def start_with(self, env, *args):
        saved, self.env = self.env, env
        try:
            return self.start(*args)
        finally:
            self.env = saved

    def run_remote(self, location, title):
        self.write("app.nuv", f'"{location}"')
        engine = self.start(os.path.join(self.dir, "app.nuv"))
        window = engine.window(title, timeout=QUICK)
        return engine, window

    def test_colliding_cache_names(self):
        # "-" and "l" share a cache file name: the attacker's copy must never serve the victim.
        for folder, colour, size in (("a-", (200, 0, 0), (64, 48)), ("al", (0, 200, 0), (32, 16))):
            os.makedirs(os.path.join(self.site, folder))
            with open(os.path.join(self.site, folder, "skin.png"), "wb") as f:
                f.write(solid(*size, colour))
            with open(os.path.join(self.site, folder, "app.skv"), "w") as f:
                f.write(f'CACHELEVEL 2\r\nOBJECT FORM\r\n\tBITMAP "skin.png"\r\nENDOBJECT\r\n'
                        f'TITLE "From {folder}"\r\n')
        engine, window = self.run_remote(self.server.url + "a-/app.skv", "From a-")
        self.assertEqual(engine.wait_size(window, (64, 48)), (64, 48))
        engine.stop()
        # Online, with CACHELEVEL 2: the victim's picture is downloaded, not the attacker's used.
        engine, window = self.run_remote(self.server.url + "al/app.skv", "From al")
        self.assertEqual(engine.wait_size(window, (32, 16)), (32, 16))
        engine.stop()
        self.assertIn("/al/skin.png", self.server.requests())

        # Offline: the victim's document has no copy of its own; the attacker's is not one.
        self.run_remote(self.server.url + "a-/app.skv", "From a-")[0].stop()
        self.server.close()
        self.write("app.nuv", f'"{self.server.url}al/app.skv"')
        code, _, err = self.start(os.path.join(self.dir, "app.nuv")).finish(timeout=QUICK)
        self.assertEqual(code, 1, err)
        self.assertIn("al/app.skv\n\ncould not be reached, and no copy of it is kept.", err)

    def test_a_header_beside_another_locations_body_is_no_copy(self):
        # Two engines at once, with colliding names: the victim's header is written last, beside
        # the other's body of the same length.
        for folder in ("al", "a-"):
            os.makedirs(os.path.join(self.site, folder))
            with open(os.path.join(self.site, folder, "app.skv"), "w") as f:
                f.write(f'TITLE "From {folder}"\r\n')
        cache = os.path.join(self.env["XDG_DATA_HOME"], "NUV", "cache")
        victim = self.server.url + "al/app.skv"

        def header_of(location):
            for name in os.listdir(cache):
                with open(os.path.join(cache, name), "rb") as f:
                    if f.read().startswith(location.encode() + b"\r\n"):
                        return os.path.join(cache, name)
            return None
        self.run_remote(victim, "From al")[0].stop()
        header = header_of(victim)
        with open(header, "rb") as f:
            saved = f.read()
        self.run_remote(self.server.url + "a-/app.skv", "From a-")[0].stop()
        with open(header, "wb") as f:
            f.write(saved)
        self.server.close()
        self.write("app.nuv", f'"{victim}"')
        code, _, err = self.start(os.path.join(self.dir, "app.nuv")).finish(timeout=QUICK)
        self.assertEqual(code, 1, err)
        self.assertIn("al/app.skv\n\ncould not be reached, and no copy of it is kept.", err)

    def test_spellings_of_one_picture_share_one_copy(self):
        # 2000 x 2000 pixels: 16 MB decoded, for each spelling that gets its own copy.
        self.measure_memory()
        self.write_bytes("big.png", big_png(2000, 2000, (10, 20, 30)))
        os.makedirs(os.path.join(self.dir, "sub"))
        spellings = ["big.png", "./big.png", "sub/../big.png", "BIG.png", "Big.PNG",
                     "./sub/../big.png", "sub/./../big.png", "sub\\..\\big.png",
                     os.path.join(self.dir, "big.png"), "file://" + os.path.join(self.dir, "big.png")]

        def peak_memory(count):
            buttons = "".join(f'OBJECT BUTTON\n\tTYPE GRAPHICAL\n\tBITMAP "{spelling}"\nENDOBJECT\n'
                              for spelling in spellings[:count])
            self.write("app.skv", f'{buttons}TITLE "Pictures {count}"\n')
            self.write("app.nuv", '"app.skv"')
            engine = self.start(os.path.join(self.dir, "app.nuv"))
            engine.window(f"Pictures {count}", timeout=QUICK)
            with open(f"/proc/{engine.process.pid}/status") as f:
                peak = next(int(line.split()[1]) for line in f if line.startswith("VmHWM:"))
            engine.stop()
            return peak * 1024

        one, ten = peak_memory(1), peak_memory(len(spellings))
        self.assertLess(ten - one, 8 * 1000 * 1000, (one, ten))

    def test_pictures_shown_one_after_another_never_fill_the_picture_table(self):
        # 40 pictures of 16 MB decoded pass the table's 512 MiB: the ones no longer shown must
        # make room, however many the window has shown before.
        count = 40
        for i in range(count):
            self.write_bytes(f"p{i}.png", big_png(2000, 2000, (i * 6, 100, 200 - i * 5)))
        swaps = "".join(f'Slide BITMAP "p{i}.png"\n' for i in range(1, count))
        self.write("app.skv", 'OBJECT FORM\n\tWIDTH 100\n\tHEIGHT 100\nENDOBJECT\n'
                   'OBJECT BUTTON\n\tTYPE GRAPHICAL\n\tNAME Slide\n\tBITMAP "p0.png"\n'
                   '\tLEFT 0\n\tTOP 0\n\tWIDTH 100\n\tHEIGHT 100\nENDOBJECT\n'
                   f'{swaps}TITLE "Slides"\n')
        self.write("app.nuv", '"app.skv"')
        engine = self.start(os.path.join(self.dir, "app.nuv"))
        # Forty pictures decode before the window shows: on a loaded machine that takes a while.
        window = engine.window("Slides", timeout=60)
        x, y, _, _ = engine.geometry(window)
        last = (6 * (count - 1), 100, 200 - 5 * (count - 1))
        self.assertEqual(engine.wait_pixel(x + 50, y + 50, last), last)
        _, err = engine.stop()
        self.assertNotIn("Picture not loaded", err)


    def shown_peak(self, location, title, colour):
        """Peak memory of an engine once its window shows and its first button, at (10, 10) of
        the window, shows colour."""
        engine, window = self.run_remote(location, title)
        x, y, _, _ = engine.geometry(window)
        self.assertEqual(engine.wait_pixel(x + 15, y + 15, colour), colour)
        with open(f"/proc/{engine.process.pid}/status") as f:
            peak = next(int(line.split()[1]) for line in f if line.startswith("VmHWM:"))
        _, err = engine.stop()
        self.assertNotIn("Picture not loaded", err)
        return peak * 1024

    def test_buttons_showing_one_huge_picture_share_it(self):
        # 100 MB decoded, with alpha; every button that converted it would add as much again.
        colour = (30, 140, 90)
        self.write_bytes("huge.png", big_png(5000, 5000, colour + (255,)))
        self.write_bytes("site/huge.png", big_png(5000, 5000, colour + (255,)))

        def document(count):
            return "".join(f'OBJECT BUTTON\n\tTYPE {"GRAPHICAL" if i % 2 == 0 else "TEXT"}\n'
                           f'\tBITMAP "huge.png"\n\tLEFT {10 + 25 * i}\n\tTOP 10\n'
                           f'\tWIDTH 20\n\tHEIGHT 20\nENDOBJECT\n' for i in range(count))
        for where in ("local", "remote"):
            with self.subTest(where):
                peaks = []
                for count in (1, 12):
                    text = ('OBJECT FORM\n\tWIDTH 320\n\tHEIGHT 40\nENDOBJECT\n'
                            f'{document(count)}TITLE "Buttons {count}"\n')
                    if where == "remote":
                        self.write(f"site/b{count}.skv", text)
                        location = f"{self.server.url}b{count}.skv"
                    else:
                        location = self.write(f"b{count}.skv", text)
                    peaks.append(self.shown_peak(location, f"Buttons {count}", colour))
                self.assertLess(peaks[1], 1.3 * peaks[0], peaks)

    def test_small_buttons_on_huge_pictures_leave_them_to_the_picture_table(self):
        # Four pictures of 137 MB decoded pass the table's 512 MiB. Each button shows a 20 x 20
        # corner of its own: what it keeps of the picture must not hold the whole in the table.
        # Grown, a button shows more of its picture: cut again from the table's copy, or, once
        # the table has let that go, from the picture loaded again.
        colours = [(200, 40, 40), (40, 200, 40), (40, 40, 200), (200, 200, 40)]
        buttons = ""
        for i, colour in enumerate(colours):
            self.write_bytes(f"h{i}.png", big_png(6000, 6000, colour))
            buttons += (f'OBJECT BUTTON\n\tTYPE GRAPHICAL\n\tNAME B{i}\n\tBITMAP "h{i}.png"\n'
                        f'\tLEFT {10 + 30 * i}\n\tTOP 10\n\tWIDTH 20\n\tHEIGHT 20\nENDOBJECT\n')
        self.write("app.skv", 'OBJECT FORM\n\tWIDTH 200\n\tHEIGHT 60\nENDOBJECT\n'
                   f'{buttons}OBJECT BUTTON\n\tCAPTION "Grow"\n\tLEFT 10\n\tTOP 35\n'
                   '\tWIDTH 60\n\tHEIGHT 20\n\tEVENT CLICK\n\t\tB3 WIDTH 80\n\t\tB0 WIDTH 28\n'
                   '\t\tTITLE "Grown"\n\tENDEVENT\nENDOBJECT\nTITLE "Corners"\n')
        self.write("app.nuv", '"app.skv"')
        engine = self.start(os.path.join(self.dir, "app.nuv"))
        window = engine.window("Corners", timeout=60)
        x, y, _, _ = engine.geometry(window)
        for i, colour in enumerate(colours):
            self.assertEqual(engine.wait_pixel(x + 20 + 30 * i, y + 20, colour), colour)
        engine.xdotool("mousemove", x + 40, y + 45, "click", 1)
        self.assertEqual(engine.wait_title(window, "Grown"), "Grown")
        self.assertEqual(engine.wait_pixel(x + 170, y + 20, colours[3]), colours[3])
        self.assertEqual(engine.wait_pixel(x + 35, y + 20, colours[0]), colours[0])
        _, err = engine.stop()
        self.assertNotIn("Picture not loaded", err)

if __name__ == "__main__":
    unittest.main()
