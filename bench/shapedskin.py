#!/usr/bin/python3
"""What shaping a large skin adds to the first painted frame of build/nuv, in one run.

The skin is a 4096 x 4096 picture of a disc drawn past the picture's edges, so the shape runs
along all four edges and only the corners are cut away. One document shows it with SETSHAPEBMP,
the other shows it plain; both alternate, with the nuv of --against BUILD alongside. Prints the
median first paint of each and what shaping adds, then the same for the whole process. Runs under a private Xvfb display (or
offscreen with --offscreen)."""
import argparse
import os
import shutil
import statistics
import struct
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "user"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from firstpaint import first_paint  # noqa: E402
from skivet import session  # noqa: E402

SIDE = 4096


def write_disc(path, side):
    """A 24-bit BMP: white corners around a dark disc of radius 0.6 side, centred."""
    row_bytes = side * 3  # a multiple of four for this side: no padding
    white, dark = b"\xff\xff\xff", b"\x40\x30\x20"
    centre = side / 2
    radius = 0.6 * side
    rows = []
    for y in range(side):
        dy = y + 0.5 - centre
        reach = radius * radius - dy * dy
        if reach <= 0:
            rows.append(white * side)
            continue
        half = reach ** 0.5
        left = max(0, min(side, int(centre - half + 0.5)))
        right = max(left, min(side, int(centre + half + 0.5)))
        rows.append(white * left + dark * (right - left) + white * (side - right))
    data = b"".join(reversed(rows))  # bottom-up
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    assert len(data) == row_bytes * side
    with open(path, "wb") as f:
        f.write(header + info + data)


def write_document(folder, name, shaped):
    document = os.path.join(folder, f"{name}.skv")
    with open(document, "w") as f:
        f.write('OBJECT FORM\nBITMAP "disc.bmp"\n' + ("SETSHAPEBMP\n" if shaped else "") +
                "ENDOBJECT\n")
    location = os.path.join(folder, f"{name}.nuv")
    with open(location, "w") as f:
        f.write(f'"{document}"\n')
    return location


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--offscreen", action="store_true")
    parser.add_argument("--against", metavar="BUILD",
                        help="also run the nuv of another build (an earlier commit), alternating")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="nuv-shapedskin-")
    env, display = session(work, args.offscreen)
    env["NUV_EXIT_AFTER_FIRST_PAINT"] = "1"
    write_disc(os.path.join(work, "disc.bmp"), SIDE)
    documents = {"shaped": write_document(work, "shaped", True),
                 "plain": write_document(work, "plain", False)}
    engines = [("this build", os.path.join(args.build, "nuv"))]
    if args.against:
        engines.append(("--against", os.path.join(args.against, "nuv")))
    times = {(name, kind): [] for name, _ in engines for kind in documents}
    try:
        for _, engine in engines:
            first_paint([engine, documents["shaped"]], env)  # warm the file cache
        for _ in range(args.runs):
            for name, engine in engines:
                for kind, location in documents.items():
                    start = time.monotonic()
                    painted = first_paint([engine, location], env)[0]
                    times[(name, kind)].append((painted, (time.monotonic() - start) * 1000))
    finally:
        if display:
            display.close()
        shutil.rmtree(work, ignore_errors=True)

    print(f"{args.runs} alternating runs, {'offscreen' if args.offscreen else 'Xvfb'}, "
          f"{SIDE} x {SIDE} skin, load average {os.getloadavg()[0]:.2f}")
    for column, title in ((0, "first paint"), (1, "whole process, to its end after that frame")):
        print(title)
        print(f"{'build':12} {'shaped ms':>10} {'plain ms':>9} {'shaping adds':>13}")
        for name, _ in engines:
            shaped = statistics.median(t[column] for t in times[(name, "shaped")])
            plain = statistics.median(t[column] for t in times[(name, "plain")])
            print(f"{name:12} {shaped:10.1f} {plain:9.1f} {shaped - plain:13.1f}")


if __name__ == "__main__":
    main()
