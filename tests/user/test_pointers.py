"""The pointers a document gives its window and objects, read back from the X server (XFixes)."""
import struct
import time
import unittest
import zlib

from skivet import TIME_SCALE, UserTest, solid, wait_for

BACKGROUND = (90, 90, 120)
RED, BLUE = 0xFFFF0000, 0xFF0000FF


def fnv(pixels):
    """The pointer_image checksum of premultiplied ARGB pixels."""
    value = 2166136261
    for pixel in pixels:
        for shift in (0, 8, 16, 24):
            value = ((value ^ ((pixel >> shift) & 0xFF)) * 16777619) & 0xFFFFFFFF
    return f"{value:08x}"


def cur(side, hotspot, argb):
    """A .cur file of one opaque 32-bit picture in a single colour."""
    dib = struct.pack("<IiiHHIIiiII", 40, side, side * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    dib += struct.pack("<I", argb) * (side * side) + bytes((side + 31) // 32 * 4 * side)
    return (struct.pack("<HHH", 0, 2, 1) +
            struct.pack("<BBBBHHII", side, side, 0, 0, hotspot[0], hotspot[1], len(dib), 22) + dib)


def chunk(tag, data):
    return tag + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def ani(frames, jiffies):
    """An animated pointer of .cur frames, each shown for jiffies sixtieths of a second."""
    header = struct.pack("<9I", 36, len(frames), len(frames), 0, 0, 0, 0, jiffies, 1)
    body = chunk(b"anih", header) + chunk(b"LIST", b"fram" + b"".join(
        chunk(b"icon", frame) for frame in frames))
    return b"RIFF" + struct.pack("<I", len(body) + 4) + b"ACON" + body


def png_cur(side, rgb):
    """A .cur file holding one opaque PNG picture of a single colour, its hotspot at 0, 0."""
    def png_chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = (b"\x00" + bytes(rgb) * side) * side
    picture = (b"\x89PNG\r\n\x1a\n" +
               png_chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)) +
               png_chunk(b"IDAT", zlib.compress(rows, 9)) + png_chunk(b"IEND", b""))
    return (struct.pack("<HHH", 0, 2, 1) +
            struct.pack("<BBBBHHII", side % 256, side % 256, 0, 0, 0, 0, len(picture), 22) +
            picture)


def sequenced_ani(frames, steps):
    """An animated pointer cycling through its frames in a sequence of steps, 1/60 s each."""
    header = struct.pack("<9I", 36, len(frames), steps, 0, 0, 0, 0, 1, 3)
    sequence = b"".join(struct.pack("<I", i % len(frames)) for i in range(steps))
    body = chunk(b"anih", header) + chunk(b"seq ", sequence) + chunk(b"LIST", b"fram" + b"".join(
        chunk(b"icon", frame) for frame in frames))
    return b"RIFF" + struct.pack("<I", len(body) + 4) + b"ACON" + body


def peak_memory(engine):
    with open(f"/proc/{engine.process.pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmHWM:")) * 1024


class Pointers(UserTest):
    def setUp(self):
        super().setUp()
        self.write_bytes("bg.png", solid(320, 200, BACKGROUND))
        self.write_bytes("pic.png", solid(40, 30, (200, 60, 60)))
        self.write("app.nuv", '"app.skv"')

    def open(self, body):
        self.write("app.skv", 'TITLE "Pointers"\nOBJECT FORM\nLEFT 100\nTOP 80\nBITMAP "bg.png"\n'
                   f'ENDOBJECT\n{body}')
        engine = self.start("app.nuv")
        engine.main = engine.window("Pointers")
        # The desktop's own pointer, outside the window: the first reading over the window must
        # differ from it, or the move has not yet taken effect.
        engine.xdotool("mousemove", 5, 5)
        engine.root = wait_for(engine.pointer, lambda p: True)
        return engine

    def pointer_at(self, engine, x, y, holds, timeout=10):
        """Moves the pointer to (x, y) on the window and gives the pointer once holds(it)."""
        engine.xdotool("mousemove", 100 + x, 80 + y)
        return wait_for(engine.pointer, holds, timeout)

    def test_hand_over_buttons_declared_after_and_the_empty_value_restoring(self):
        engine = self.open(
            "SETBUTTONCURSOR NUV.MPHand\nSETINPUTBOXCURSOR 32649\n"
            "OBJECT BUTTON\nNAME Text\nCAPTION 'Text'\nLEFT 20\nTOP 20\nWIDTH 60\nHEIGHT 30\n"
            "ENDOBJECT\n"
            "OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Pic\nBITMAP 'pic.png'\nLEFT 100\nTOP 20\n"
            "WIDTH 40\nHEIGHT 30\nENDOBJECT\n"
            "OBJECT INPUTBOX\nNAME Box\nLEFT 20\nTOP 80\nWIDTH 150\nHEIGHT 24\nENDOBJECT\n"
            "OBJECT BUTTON\nNAME Restore\nCAPTION 'R'\nLEFT 200\nTOP 20\nWIDTH 60\nHEIGHT 30\n"
            "EVENT CLICK\nSETBUTTONCURSOR ''\nTITLE 'restored'\nENDEVENT\nENDOBJECT\n")
        arrow = self.pointer_at(engine, 10, 180, lambda p: p != engine.root)
        hand = self.pointer_at(engine, 60, 92, lambda p: p != arrow)
        self.assertNotEqual(hand, arrow)
        self.assertEqual(self.pointer_at(engine, 50, 35, lambda p: p == hand), hand)
        self.assertEqual(self.pointer_at(engine, 120, 35, lambda p: p == hand), hand)

        self.pointer_at(engine, 230, 35, lambda p: p == hand)
        engine.xdotool("click", 1)
        self.assertEqual(engine.wait_title(engine.main, "restored"), "restored")
        self.assertEqual(self.pointer_at(engine, 50, 35, lambda p: p == arrow), arrow)
        self.assertEqual(self.pointer_at(engine, 120, 35, lambda p: p == arrow), arrow)
        # Only the buttons were restored.
        self.assertEqual(self.pointer_at(engine, 60, 92, lambda p: p == hand), hand)

    def test_cur_from_the_server_shows_on_the_window_with_its_hotspot(self):
        folder = self.dir + "/site"
        self.write_bytes("site/p.cur", cur(32, (7, 11), RED))
        server = self.serve(folder)
        engine = self.open(f'SETFORMCURSOR "{server.url}p.cur"\n')
        expected = (32, 32, 7, 11, fnv([RED] * 32 * 32))
        self.assertEqual(self.pointer_at(engine, 150, 150, lambda p: p == expected), expected)
        self.assertIn("GET /p.cur", server.requests())

    def test_ani_on_graphical_buttons_shows_its_frames(self):
        # The animation runs only under the pointer: on each button it comes to, and again on
        # one it comes back to.
        self.write_bytes("p.ani", ani([cur(16, (1, 1), RED), cur(16, (1, 1), BLUE)], 6))
        engine = self.open(
            "SETGRAPHBUTTONCURSOR 'p.ani'\n"
            "OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Pic\nBITMAP 'pic.png'\nLEFT 100\nTOP 20\n"
            "WIDTH 40\nHEIGHT 30\nENDOBJECT\n"
            "OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Other\nBITMAP 'pic.png'\nLEFT 100\nTOP 100\n"
            "WIDTH 40\nHEIGHT 30\nENDOBJECT\n")
        frames = {(16, 16, 1, 1, fnv([RED] * 256)), (16, 16, 1, 1, fnv([BLUE] * 256))}
        arrow = self.pointer_at(engine, 10, 180, lambda p: p != engine.root)
        for x, y in ((120, 35), (120, 115), (120, 35)):
            self.assertIn(self.pointer_at(engine, x, y, lambda p: p in frames), frames)
            seen = set()
            deadline = time.monotonic() + 1.2 * TIME_SCALE
            while time.monotonic() < deadline and seen != frames:
                seen.add(engine.pointer())
                time.sleep(0.02)
            self.assertEqual(seen, frames)
            self.assertEqual(self.pointer_at(engine, 10, 180, lambda p: p == arrow), arrow)

    def test_a_long_sequence_over_few_frames_holds_each_frame_once(self):
        # 64 pictures of 256 x 256 (16 MiB decoded) in a cycle of 1024 steps, on every target at
        # once; against one picture, it may cost at most the pointers' bound of 64 MiB.
        self.measure_memory()
        colours = [(i * 4, 255 - i * 4, 128) for i in range(64)]
        self.write_bytes("one.ani", sequenced_ani([png_cur(256, colours[0])], 1))
        self.write_bytes("long.ani", sequenced_ani([png_cur(256, c) for c in colours], 1024))
        peaks = []
        for name in ("one.ani", "long.ani"):
            engine = self.open(
                f"SETGLOBALCURSOR '{name}'\n"
                "OBJECT BUTTON\nTYPE GRAPHICAL\nNAME Pic\nBITMAP 'pic.png'\nLEFT 100\n"
                "TOP 20\nWIDTH 40\nHEIGHT 30\nENDOBJECT\n"
                "OBJECT INPUTBOX\nNAME Box\nLEFT 20\nTOP 80\nWIDTH 150\nHEIGHT 24\nENDOBJECT\n")
            for x, y in ((10, 180), (120, 35), (60, 92)):
                shown = self.pointer_at(engine, x, y, lambda p: p[:4] == (256, 256, 0, 0))
                self.assertEqual(shown[:4], (256, 256, 0, 0))
            peaks.append(peak_memory(engine))
            engine.stop()
        self.assertLess(peaks[1] - peaks[0], 64 * 1024 * 1024, peaks)

    def test_a_failed_setglobalcursor_changes_nothing(self):
        self.write_bytes("bad.cur", b"\x00\x00\x02\x00\xff\xff" + bytes(40))
        engine = self.open(
            "SETGLOBALCURSOR NUV.MPCross\n"
            "OBJECT INPUTBOX\nNAME Box\nLEFT 20\nTOP 80\nWIDTH 150\nHEIGHT 24\nENDOBJECT\n"
            "OBJECT BUTTON\nNAME Try\nCAPTION 'T'\nLEFT 200\nTOP 20\nWIDTH 60\nHEIGHT 30\n"
            "EVENT CLICK\nSETGLOBALCURSOR 'bad.cur'\nSETGLOBALCURSOR 'missing.cur'\n"
            "TITLE 'tried'\nENDEVENT\nENDOBJECT\n")
        before = [self.pointer_at(engine, x, y, lambda p: p != engine.root)
                  for x, y in ((10, 180), (60, 92), (230, 35))]
        self.assertEqual(len(set(before)), 1)  # the cross everywhere
        engine.xdotool("click", 1)
        self.assertEqual(engine.wait_title(engine.main, "tried"), "tried")
        after = [self.pointer_at(engine, x, y, lambda p: p == before[0])
                 for x, y in ((10, 180), (60, 92), (230, 35))]
        self.assertEqual(after, before)


if __name__ == "__main__":
    unittest.main()
