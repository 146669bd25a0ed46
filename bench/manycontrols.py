#!/usr/bin/python3
"""Start-up to first painted frame of build/nuv on documents of 1,000, 10,000 and 20,000 plain
buttons (--sizes to choose others), in one run; and the whole run of the largest document with
EXIT as its last line, which builds every control and ends the process.

The sizes alternate so that load on the machine falls on all alike. Prints the median of each
and the ratio 20,000 / 10,000, with the goal: at most 2.2 (linear time would give 2). The goal
is reported, not enforced. With --against BUILD the nuv of another build runs alongside; with
--bare, bench/bare_buttons does too: the same number of bare Qt push buttons and of plain
widgets, the floor that one widget per control puts under the engine. Runs under a private Xvfb
display (or offscreen with --offscreen)."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "user"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from firstpaint import first_paint  # noqa: E402
from skivet import session  # noqa: E402

SIZES = (1000, 10000, 20000)
RATIO_GOAL = 2.2


def write_document(folder, buttons, last_line=""):
    """The location file of a window with this many default buttons."""
    name = f"buttons{buttons}{last_line.strip().lower()}"
    document = os.path.join(folder, f"{name}.skv")
    with open(document, "w") as f:
        f.write("OBJECT BUTTON\nENDOBJECT\n" * buttons + last_line)
    location = os.path.join(folder, f"{name}.nuv")
    with open(location, "w") as f:
        f.write(f'"{document}"\n')
    return location


def whole_run(command, env):
    """Milliseconds from start to the end of the process."""
    start = time.perf_counter()
    subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return (time.perf_counter() - start) * 1000


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--offscreen", action="store_true")
    parser.add_argument("--sizes", type=lambda text: tuple(int(n) for n in text.split(",")),
                        default=SIZES, help="comma-separated button counts")
    parser.add_argument("--against", metavar="BUILD",
                        help="also run the nuv of another build (an earlier commit), alternating")
    parser.add_argument("--bare", action="store_true",
                        help="also run bench/bare_buttons: bare Qt push buttons and plain widgets")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="nuv-manycontrols-")
    env, display = session(work, args.offscreen)
    paint_env = dict(env, NUV_EXIT_AFTER_FIRST_PAINT="1")
    engines = [("this build", os.path.join(args.build, "nuv"))]
    if args.against:
        engines.append(("--against", os.path.join(args.against, "nuv")))
    sizes = args.sizes
    locations = {n: write_document(work, n) for n in sizes}
    exiting = write_document(work, sizes[-1], "EXIT\n")
    bare = os.path.join(args.build, "bench", "bare_buttons")
    bares = [("bare Qt", "buttons"), ("bare plain", "plain")] if args.bare else []
    times = {(name, n): [] for name, _ in engines + bares for n in sizes}
    exits = {name: [] for name, _ in engines}
    try:
        for _, engine in engines:
            first_paint([engine, locations[sizes[-1]]], paint_env)  # warm the file cache
        for _ in range(args.runs):
            for name, engine in engines:
                for n in sizes:
                    times[(name, n)].append(first_paint([engine, locations[n]], paint_env)[0])
                exits[name].append(whole_run([engine, exiting], env))
            for name, kind in bares:
                for n in sizes:
                    times[(name, n)].append(first_paint([bare, kind, str(n)], paint_env)[0])
    finally:
        if display:
            display.close()
        shutil.rmtree(work, ignore_errors=True)

    print(f"{args.runs} alternating runs, {'offscreen' if args.offscreen else 'Xvfb'}, "
          f"load average {os.getloadavg()[0]:.2f}")
    print(f"{'build':12} {'buttons':>8} {'median ms':>10} {'min':>5} {'max':>5}")
    for name, _ in engines:
        for n in sizes:
            t = times[(name, n)]
            print(f"{name:12} {n:8} {statistics.median(t):10.1f} {min(t):5} {max(t):5}")
        print(f"{name:12} {sizes[-1]:8} + EXIT, whole run: {statistics.median(exits[name]):.0f} ms")
    for name, _ in bares:
        for n in sizes:
            t = times[(name, n)]
            print(f"{name:12} {n:8} {statistics.median(t):10.1f} {min(t):5} {max(t):5}")
    medians = {n: statistics.median(times[("this build", n)]) for n in sizes}
    if 10000 in medians and 20000 in medians:
        ratio = medians[20000] / max(medians[10000], 1)
        print(f"ratio 20,000 / 10,000: {ratio:.2f} (goal at most {RATIO_GOAL}: "
              f"{'met' if ratio <= RATIO_GOAL else 'missed'})")


if __name__ == "__main__":
    main()
