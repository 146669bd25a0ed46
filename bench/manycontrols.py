#!/usr/bin/python3
"""Start-up to first painted frame of build/nuv on documents of 1,000, 10,000 and 20,000 plain
buttons, in one run.

The sizes alternate so that load on the machine falls on all alike. Prints the median of each
and the ratio 20,000 / 10,000, with the goal: at most 2.2 (linear time would give 2). The goal
is reported, not enforced. Runs under a private Xvfb display (or offscreen with --offscreen)."""
import argparse
import os
import shutil
import statistics
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "user"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from firstpaint import first_paint  # noqa: E402
from skivet import session  # noqa: E402

SIZES = (1000, 10000, 20000)
RATIO_GOAL = 2.2


def write_document(folder, buttons):
    """The location file of a window with this many default buttons."""
    document = os.path.join(folder, f"buttons{buttons}.skv")
    with open(document, "w") as f:
        f.write("OBJECT BUTTON\nENDOBJECT\n" * buttons)
    location = os.path.join(folder, f"buttons{buttons}.nuv")
    with open(location, "w") as f:
        f.write(f'"{document}"\n')
    return location


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--offscreen", action="store_true")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="nuv-manycontrols-")
    env, display = session(work, args.offscreen)
    env["NUV_EXIT_AFTER_FIRST_PAINT"] = "1"
    engine = os.path.join(args.build, "nuv")
    locations = {n: write_document(work, n) for n in SIZES}
    times = {n: [] for n in SIZES}
    try:
        first_paint([engine, locations[SIZES[-1]]], env)  # warm the file cache
        for _ in range(args.runs):
            for n in SIZES:
                times[n].append(first_paint([engine, locations[n]], env)[0])
    finally:
        if display:
            display.close()
        shutil.rmtree(work, ignore_errors=True)

    print(f"{args.runs} alternating runs, {'offscreen' if args.offscreen else 'Xvfb'}")
    print(f"{'buttons':>8} {'median ms':>10} {'min':>5} {'max':>5}")
    medians = {n: statistics.median(t) for n, t in times.items()}
    for n in SIZES:
        print(f"{n:8} {medians[n]:10.1f} {min(times[n]):5} {max(times[n]):5}")
    ratio = medians[20000] / max(medians[10000], 1)
    print(f"ratio 20,000 / 10,000: {ratio:.2f} (goal at most {RATIO_GOAL}: "
          f"{'met' if ratio <= RATIO_GOAL else 'missed'})")


if __name__ == "__main__":
    main()
