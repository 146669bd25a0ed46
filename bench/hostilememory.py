#!/usr/bin/python3
"""Peak memory of hostile pictures and pointers, and the idle cost of an animated pointer.

Memory: each case is a Skivet that shows one huge picture on many small buttons, or sets an
animated pointer with many steps; the figure is the engine's peak resident memory (VmHWM) once
its window shows and the pointer has been over a button. Goals: twelve buttons with one 5000²
picture peak within 1.3x of one button; the pointers far below the pictures' figures.

Idle: an animated pointer on a button while the pointer rests outside the window; the figures are
the CPU time and the context switches (wake-ups) of IDLE seconds. Goal: none.

Runs build/nuv and, with --against, an earlier build, side by side under a private Xvfb. The
goals are reported, not enforced."""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "user"))
from skivet import session, wait_for  # noqa: E402


def solid_png(width, height, rgba):
    """A one-colour RGBA PNG, made fast enough for pictures of millions of pixels."""
    row = b"\x00" + bytes(rgba) * width

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(row * height, 9)) + chunk(b"IEND", b""))


def riff_chunk(tag, data):
    return tag + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def png_cur(side, rgba):
    """A .cur file holding one PNG picture, its hotspot at the top-left."""
    picture = solid_png(side, side, rgba)
    return (struct.pack("<HHH", 0, 2, 1) +
            struct.pack("<BBBBHHII", side % 256, side % 256, 0, 0, 0, 0, len(picture), 22) +
            picture)


def hostile_ani(frames, steps, side=256):
    """An .ani of frames distinct pictures cycled through in a sequence of steps."""
    pictures = [png_cur(side, (i * 4 % 256, 255 - i * 4 % 256, 128, 255)) for i in range(frames)]
    header = struct.pack("<9I", 36, frames, steps, 0, 0, 0, 0, 6, 1)
    sequence = b"".join(struct.pack("<I", i % frames) for i in range(steps))
    body = (riff_chunk(b"anih", header) + riff_chunk(b"seq ", sequence) +
            riff_chunk(b"LIST", b"fram" + b"".join(riff_chunk(b"icon", p) for p in pictures)))
    return b"RIFF" + struct.pack("<I", len(body) + 4) + b"ACON" + body


def buttons(count, picture):
    return "".join(f"OBJECT BUTTON\r\nTYPE GRAPHICAL\r\nBITMAP '{picture}'\r\nLEFT {10 + 25 * i}\r\n"
                   f"TOP 10\r\nWIDTH 20\r\nHEIGHT 20\r\nENDOBJECT\r\n" for i in range(count))


FORM = "OBJECT FORM\r\nLEFT 0\r\nTOP 0\r\nWIDTH 400\r\nHEIGHT 100\r\nENDOBJECT\r\n"
CASES = [
    ("1 button, 5000² picture", FORM + buttons(1, "p5000.png")),
    ("12 buttons, 5000² picture", FORM + buttons(12, "p5000.png")),
    ("6 buttons, 8192² picture", FORM + buttons(6, "p8192.png")),
    (".ani 64 frames x 1024 steps", FORM + "SETGLOBALCURSOR 'hostile.ani'\r\n" + buttons(1, "small.png")),
]
IDLE_DOCUMENT = FORM + "SETBUTTONCURSOR 'hostile.ani'\r\n" + buttons(1, "small.png")


def write(work, name, data):
    with open(os.path.join(work, name), "wb") as f:
        f.write(data)


def start(nuv, work, env, document):
    write(work, "doc.skv", (document + "TITLE 'Ready'\r\n").encode())
    process = subprocess.Popen([nuv, os.path.join(work, "doc.nuv")], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    found = wait_for(lambda: subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^Ready$"], env=env,
        capture_output=True, text=True).stdout.split(), bool, timeout=300)
    if not found:
        process.kill()
        raise SystemExit(f"{nuv} showed no window")
    return process


def status(pid, field):
    with open(f"/proc/{pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith(field + ":"))


def cpu_ms(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000 / os.sysconf("SC_CLK_TCK")


def switches(pid):
    return status(pid, "voluntary_ctxt_switches") + status(pid, "nonvoluntary_ctxt_switches")


def peak_mib(nuv, work, env, document):
    process = start(nuv, work, env, document)
    try:
        subprocess.run(["xdotool", "mousemove", "20", "20"], env=env, check=True)
        time.sleep(1.5)
        return status(process.pid, "VmHWM") / 1024
    finally:
        process.kill()
        process.wait()


def idle_cost(nuv, work, env, seconds):
    """(CPU ms, wake-ups) of seconds with the pointer outside the window."""
    process = start(nuv, work, env, IDLE_DOCUMENT)
    try:
        subprocess.run(["xdotool", "mousemove", "20", "20"], env=env, check=True)
        time.sleep(0.5)
        subprocess.run(["xdotool", "mousemove", "900", "900"], env=env, check=True)
        time.sleep(1)
        cpu, woke = cpu_ms(process.pid), switches(process.pid)
        time.sleep(seconds)
        return cpu_ms(process.pid) - cpu, switches(process.pid) - woke
    finally:
        process.kill()
        process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--against", metavar="BUILD", help="an earlier build folder to compare")
    parser.add_argument("--idle", type=float, default=30, help="seconds of idle to measure")
    args = parser.parse_args()
    builds = [("build", os.path.join(args.build, "nuv"))]
    if args.against:
        builds.append(("--against", os.path.join(args.against, "nuv")))

    with tempfile.TemporaryDirectory(prefix="nuv-hostile-memory-") as work:
        env, display = session(work)
        try:
            write(work, "doc.nuv", b'"doc.skv"')
            write(work, "p5000.png", solid_png(5000, 5000, (40, 80, 120, 255)))
            write(work, "p8192.png", solid_png(8192, 8192, (40, 80, 120, 255)))
            write(work, "small.png", solid_png(20, 20, (200, 60, 60, 255)))
            write(work, "hostile.ani", hostile_ani(64, 1024))
            print(f"p8192.png {os.path.getsize(os.path.join(work, 'p8192.png')) // 1024} KiB, "
                  f"hostile.ani {os.path.getsize(os.path.join(work, 'hostile.ani')) // 1024} KiB; "
                  f"load average {os.getloadavg()[0]:.2f}")
            print(f"{'case':30}" + "".join(f"{label:>14}" for label, _ in builds))
            peaks = {}
            for name, document in CASES:
                row = [peak_mib(nuv, work, env, document) for _, nuv in builds]
                peaks[name] = row
                print(f"{name:30}" + "".join(f"{mib:11.0f} MiB" for mib in row))
            for column, (label, _) in enumerate(builds):
                ratio = peaks[CASES[1][0]][column] / peaks[CASES[0][0]][column]
                print(f"{label}: 12 buttons / 1 button {ratio:.2f} (goal at most 1.3)")
            for label, nuv in builds:
                cpu, woke = idle_cost(nuv, work, env, args.idle)
                print(f"{label}: idle animated pointer elsewhere, {args.idle:.0f} s: "
                      f"{cpu:.0f} ms CPU, {woke} wake-ups (goal 0)")
        finally:
            if display:
                display.close()


if __name__ == "__main__":
    main()
