#!/usr/bin/python3
"""Start-up to first painted frame of build/nuv on the showcase Skivet, next to a bare Qt program
that shows the same skin in a shaped frameless window, in one run.

The two programs alternate so that load on the machine falls on both alike. Each prints
"first-paint-ms N" (milliseconds from the start of main to its window's first paint) and exits.
Prints the medians, the ratio engine / baseline and the peak resident memory of each, with the
goals: ratio at most 1.3, engine peak at most 40 MiB. The goals are reported, not enforced.
Runs under a private Xvfb display (or offscreen with --offscreen)."""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "user"))
from skivet import session  # noqa: E402

SHOWCASE = os.path.join(ROOT, "examples", "showcase")
RATIO_GOAL = 1.3
MEMORY_GOAL_MIB = 40.0


def first_paint(command, env):
    """(first-paint-ms, peak RSS in MiB) of one run."""
    process = subprocess.Popen(command, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    out = process.stdout.read().decode()
    process.stdout.close()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise SystemExit(f"{command} exited with {process.returncode}")
    for line in out.splitlines():
        key, _, value = line.partition(" ")
        if key == "first-paint-ms":
            return int(value), usage.ru_maxrss / 1024  # KiB to MiB
    raise SystemExit(f"{command} printed no first-paint-ms")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--offscreen", action="store_true")
    parser.add_argument("--against", metavar="BUILD",
                        help="also run the nuv of another build (an earlier commit), alternating")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="nuv-firstpaint-")
    env, display = session(work, args.offscreen)
    engine_env = dict(env, NUV_EXIT_AFTER_FIRST_PAINT="1")

    engine = [os.path.join(args.build, "nuv"), os.path.join(SHOWCASE, "showcase.nuv")]
    baseline = [os.path.join(args.build, "bench", "bare_shaped_window"),
                os.path.join(SHOWCASE, "skin.bmp")]
    programs = [("engine", engine, engine_env), ("baseline", baseline, env)]
    labels = {"engine": "nuv, examples/showcase",
              "baseline": "bare_shaped_window, skin.bmp"}
    if args.against:
        programs.append(("against", [os.path.join(args.against, "nuv"), engine[1]], engine_env))
        labels["against"] = "nuv of --against, showcase"
    for _, command, run_env in programs:
        first_paint(command, run_env)  # warm the file cache for all
    results = {name: ([], []) for name, _, _ in programs}
    try:
        for _ in range(args.runs):
            for name, command, run_env in programs:
                ms, peak = first_paint(command, run_env)
                results[name][0].append(ms)
                results[name][1].append(peak)
    finally:
        if display:
            display.close()

    medians = {name: statistics.median(times) for name, (times, _) in results.items()}
    peaks = {name: max(peaks) for name, (_, peaks) in results.items()}
    print(f"{args.runs} alternating runs, {'offscreen' if args.offscreen else 'Xvfb'}")
    print(f"{'program':34} {'median ms':>10} {'min':>5} {'max':>5} {'peak MiB':>9}")
    for name, (times, _) in results.items():
        print(f"{labels[name]:34} {medians[name]:10.1f} {min(times):5} {max(times):5} "
              f"{peaks[name]:9.1f}")
    if args.against:
        print(f"ratio engine / --against: {medians['engine'] / max(medians['against'], 1):.2f}")
    ratio = medians["engine"] / max(medians["baseline"], 1)
    print(f"ratio engine / baseline: {ratio:.2f} (goal at most {RATIO_GOAL}: "
          f"{'met' if ratio <= RATIO_GOAL else 'missed'})")
    print(f"engine peak memory: {peaks['engine']:.1f} MiB (goal at most {MEMORY_GOAL_MIB:.0f}: "
          f"{'met' if peaks['engine'] <= MEMORY_GOAL_MIB else 'missed'})")


if __name__ == "__main__":
    main()
