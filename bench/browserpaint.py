#!/usr/bin/python3
"""Start-up to the first painted web page, and peak memory of the whole process tree, of build/nuv
showing one browser, next to bench/bare_webengine showing the same local page at the same place
and size, in one run.

The programs alternate so that load on the machine falls on both alike. A run ends when the
page's colour shows on screen at the middle of the browser (the same screen probe for both); its
memory is the largest sum of the proportional set sizes (Pss, /proc/PID/smaps_rollup) of the
program and every process below it (the web engine's helpers), sampled while it runs. Goals: time
at most 1.15x and memory at most 1.1x the bare program; reported, not enforced. Runs under a
private Xvfb display; memory figures are the median over runs of each run's peak."""
import argparse
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "user"))
from skivet import session, solid  # noqa: E402

PAGE = (0, 160, 80)
PLACE = (100, 80, 400, 300)  # the browser on screen: left, top, width, height
TIME_GOAL, MEMORY_GOAL = 1.15, 1.1


def children():
    """pid -> list of child pids, for every process."""
    tree = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        tree.setdefault(parent, []).append(int(entry))
    return tree


def tree_pss_kib(pid):
    tree, total, todo = children(), 0, [pid]
    while todo:
        current = todo.pop()
        todo.extend(tree.get(current, []))
        try:
            with open(f"/proc/{current}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def pixel(env, x, y):
    out = subprocess.run(["import", "-window", "root", "-crop", f"1x1+{x}+{y}", "-depth", "8",
                          "rgb:-"], env=env, capture_output=True).stdout
    return tuple(out[:3])


def first_page(command, env, timeout=60):
    """(ms to the page on screen, peak Pss of the process tree in MiB) of one run."""
    probe = (PLACE[0] + PLACE[2] // 2, PLACE[1] + PLACE[3] // 2)
    start = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    peak, shown = 0, None
    try:
        while time.monotonic() - start < timeout:
            peak = max(peak, tree_pss_kib(process.pid))
            if all(abs(a - b) <= 8 for a, b in zip(pixel(env, *probe), PAGE)):
                shown = (time.monotonic() - start) * 1000
                break
        # Memory keeps growing a little while the page settles.
        settle = time.monotonic() + 1
        while time.monotonic() < settle:
            peak = max(peak, tree_pss_kib(process.pid))
            time.sleep(0.1)
    finally:
        os.killpg(process.pid, signal.SIGTERM)
        process.wait()
    if shown is None:
        raise SystemExit(f"{command}: the page never showed")
    return shown, peak / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="nuv-browserpaint-")
    env, display = session(work)
    page = os.path.join(work, "page.html")
    with open(page, "w") as f:
        f.write(f"<html><body style='margin:0;background:rgb{PAGE}'></body></html>")
    with open(os.path.join(work, "bg.png"), "wb") as f:
        f.write(solid(PLACE[2] + 40, PLACE[3] + 40, (40, 60, 90)))
    with open(os.path.join(work, "app.skv"), "w") as f:
        f.write(f"OBJECT FORM\nLEFT {PLACE[0] - 20}\nTOP {PLACE[1] - 20}\nBITMAP 'bg.png'\n"
                f"ENDOBJECT\nOBJECT BROWSER\nLEFT 20\nTOP 20\nWIDTH {PLACE[2]}\n"
                f"HEIGHT {PLACE[3]}\nLOCATION 'page.html'\nENDOBJECT\n")
    with open(os.path.join(work, "app.nuv"), "w") as f:
        f.write('"app.skv"')

    programs = {
        "engine": [os.path.join(args.build, "nuv"), os.path.join(work, "app.nuv")],
        "baseline": [os.path.join(args.build, "bench", "bare_webengine"), page,
                     *map(str, PLACE)],
    }
    results = {name: ([], []) for name in programs}
    try:
        for command in programs.values():
            first_page(command, env)  # warm the file cache and the profiles
        for _ in range(args.runs):
            for name, command in programs.items():
                ms, mib = first_page(command, env)
                results[name][0].append(ms)
                results[name][1].append(mib)
    finally:
        if display:
            display.close()

    print(f"{args.runs} alternating runs, Xvfb; page {PLACE[2]}x{PLACE[3]}")
    print(f"{'program':16} {'median ms':>10} {'min':>7} {'max':>7} {'peak PSS MiB':>13}")
    medians = {n: statistics.median(t) for n, (t, _) in results.items()}
    peaks = {n: statistics.median(m) for n, (_, m) in results.items()}
    for name, (times, _) in results.items():
        print(f"{name:16} {medians[name]:10.0f} {min(times):7.0f} {max(times):7.0f} "
              f"{peaks[name]:13.1f}")
    time_ratio = medians["engine"] / medians["baseline"]
    memory_ratio = peaks["engine"] / peaks["baseline"]
    print(f"first page ratio engine / bare: {time_ratio:.2f} (goal at most {TIME_GOAL}: "
          f"{'met' if time_ratio <= TIME_GOAL else 'missed'})")
    print(f"peak memory ratio engine / bare: {memory_ratio:.2f} (goal at most {MEMORY_GOAL}: "
          f"{'met' if memory_ratio <= MEMORY_GOAL else 'missed'})")


if __name__ == "__main__":
    main()
