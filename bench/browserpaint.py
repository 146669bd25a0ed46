#!/usr/bin/python3
"""Start-up figures of Skivets with browsers, in one run of alternating programs under a private
Xvfb display (load on the machine falls on all alike; ratios hold, absolute times do not):

- skin: the window's skin on screen for a Skivet with one browser, against the same skin without
  a browser (goal at most 1.2x: the window shows before the web engine starts);
- page: that Skivet's page on screen, against bench/bare_webengine showing the same local page at
  the same place and size (goal at most 0.85x), and peak memory of the whole process tree
  against it (largest sum of Pss of the program and every process below it);
- two: both pages of a Skivet with two same-site browsers on screen, against the one page of the
  one-browser Skivet (goal at most 1.05x);
- chromium (with --chromium, where Debian's chromium is installed): the one-browser Skivet's page
  against Chromium's app mode showing the same page at the same place (goal at most 0.5x), and
  peak memory against it.

A run ends when the probed pixels show the expected colours (one screen grab per poll for all
probes). --against BUILD adds the engine of another build folder, so a change is measured
before/after in the same run. Goals are reported, not enforced."""
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
SKIN = (40, 60, 90)
PLACE = (100, 80, 400, 300)  # the browser on screen: left, top, width, height
GOALS = {"skin": 1.2, "page": 0.85, "two": 1.05, "chromium": 0.5}


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


def grab(env, box):
    """The RGB bytes of box (left, top, width, height) of the screen."""
    left, top, width, height = box
    return subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}",
                           "-depth", "8", "rgb:-"], env=env, capture_output=True).stdout


def run_once(command, env, probes, timeout=60):
    """(ms until each probe (x, y, rgb) first showed its colour, peak Pss of the process tree in
    MiB) of one run."""
    left = min(x for x, _, _ in probes)
    top = min(y for _, y, _ in probes)
    width = max(x for x, _, _ in probes) - left + 1
    height = max(y for _, y, _ in probes) - top + 1
    start = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    peak, shown, sampled = 0, [None] * len(probes), 0.0
    try:
        while time.monotonic() - start < timeout and None in shown:
            screen = grab(env, (left, top, width, height))
            now = (time.monotonic() - start) * 1000
            for i, (x, y, rgb) in enumerate(probes):
                at = ((y - top) * width + (x - left)) * 3
                if shown[i] is None and all(abs(a - b) <= 8
                                            for a, b in zip(screen[at:at + 3], rgb)):
                    shown[i] = now
            if time.monotonic() - sampled > 0.1:
                peak = max(peak, tree_pss_kib(process.pid))
                sampled = time.monotonic()
        # Memory keeps growing a little while the page settles.
        settle = time.monotonic() + 1
        while time.monotonic() < settle:
            peak = max(peak, tree_pss_kib(process.pid))
            time.sleep(0.1)
    finally:
        os.killpg(process.pid, signal.SIGTERM)
        process.wait()
    if None in shown:
        raise SystemExit(f"{command}: not everything showed")
    return shown, peak / 1024


def write_documents(work):
    page = os.path.join(work, "page.html")
    with open(page, "w") as f:
        f.write(f"<html><body style='margin:0;background:rgb{PAGE}'></body></html>")
    with open(os.path.join(work, "bg.png"), "wb") as f:
        f.write(solid(PLACE[2] + 40, PLACE[3] + 40, SKIN))
    form = f"OBJECT FORM\nLEFT {PLACE[0] - 20}\nTOP {PLACE[1] - 20}\nBITMAP 'bg.png'\nENDOBJECT\n"
    half = PLACE[2] // 2
    browsers = {
        "plain": [],
        "one": [(20, PLACE[2])],
        "two": [(20, half - 4), (20 + half + 4, half - 4)],
    }
    for name, places in browsers.items():
        with open(os.path.join(work, f"{name}.skv"), "w") as f:
            f.write(form)
            for left, width in places:
                f.write(f"OBJECT BROWSER\nLEFT {left}\nTOP 20\nWIDTH {width}\n"
                        f"HEIGHT {PLACE[3]}\nLOCATION 'page.html'\nENDOBJECT\n")
        with open(os.path.join(work, f"{name}.nuv"), "w") as f:
            f.write(f'"{name}.skv"')
    return page


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--against", help="another build folder whose engine runs alongside")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--chromium", action="store_true",
                        help="also run Chromium's app mode (/usr/bin/chromium) on the page")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="nuv-browserpaint-")
    env, display = session(work)
    page = write_documents(work)
    skin_probe = (PLACE[0] - 10, PLACE[1] - 10, SKIN)
    middle_y = PLACE[1] + PLACE[3] // 2
    one_probe = (PLACE[0] + PLACE[2] // 2, middle_y, PAGE)
    two_probes = [(PLACE[0] + PLACE[2] // 4, middle_y, PAGE),
                  (PLACE[0] + 3 * PLACE[2] // 4, middle_y, PAGE)]
    builds = {"": args.build}
    if args.against:
        builds["before "] = args.against

    # name -> (command, probes)
    programs = {"bare web view": ([os.path.join(args.build, "bench", "bare_webengine"), page,
                                   *map(str, PLACE)], [one_probe])}
    if args.chromium:
        # Its own fresh profile each run, as a first start of the engine has; the sandbox only
        # off where the engine's is too (as root).
        left, top, width, height = PLACE
        programs["chromium app mode"] = (
            ["/usr/bin/chromium", f"--app=file://{page}", f"--window-position={left},{top}",
             f"--window-size={width},{height + 40}", f"--user-data-dir={work}/chromium",
             "--no-first-run", "--no-default-browser-check"]
            + (["--no-sandbox"] if os.geteuid() == 0 else []), [one_probe])
    for label, build in builds.items():
        nuv = os.path.join(build, "nuv")
        programs[label + "plain skin"] = ([nuv, os.path.join(work, "plain.nuv")], [skin_probe])
        programs[label + "one browser"] = ([nuv, os.path.join(work, "one.nuv")],
                                           [skin_probe, one_probe])
        programs[label + "two browsers"] = ([nuv, os.path.join(work, "two.nuv")],
                                            [skin_probe] + two_probes)
    results = {name: [] for name in programs}  # name -> [(times, MiB)]
    try:
        for command, probes in programs.values():
            run_once(command, env, probes)  # warm the file cache and the profiles
        for _ in range(args.runs):
            for name, (command, probes) in programs.items():
                results[name].append(run_once(command, env, probes))
    finally:
        if display:
            display.close()

    def median(name, probe):
        """Median ms until the probe showed; probe -1 is the last of the run's probes."""
        return statistics.median(times[probe] if probe >= 0 else max(times)
                                 for times, _ in results[name])

    def memory(name):
        return statistics.median(mib for _, mib in results[name])

    with open("/proc/loadavg") as f:
        load = f.read().split()[0]
    print(f"{args.runs} alternating runs, Xvfb, load average {load}; page {PLACE[2]}x{PLACE[3]}")
    print(f"{'program':24} {'skin ms':>8} {'page ms':>8} {'peak PSS MiB':>13}")
    for name in programs:
        skin = f"{median(name, 0):8.0f}" if "browser" in name or "skin" in name else f"{'':8}"
        pages = f"{median(name, -1):8.0f}" if "plain" not in name else f"{'':8}"
        print(f"{name:24} {skin} {pages} {memory(name):13.1f}")
    for label in builds:
        rows = {
            "skin": median(label + "one browser", 0) / median(label + "plain skin", 0),
            "page": median(label + "one browser", -1) / median("bare web view", 0),
            "two": median(label + "two browsers", -1) / median(label + "one browser", -1),
        }
        if args.chromium:
            rows["chromium"] = (median(label + "one browser", -1) /
                                median("chromium app mode", 0))
        for row, ratio in rows.items():
            goal = GOALS[row]
            print(f"{label}{row}: {ratio:.2f}x (goal at most {goal}: "
                  f"{'met' if ratio <= goal else 'missed'})")
        print(f"{label}page memory: "
              f"{memory(label + 'one browser') / memory('bare web view'):.2f}x the bare web view")
        if args.chromium:
            print(f"{label}page memory: {memory(label + 'one browser') / memory('chromium app mode'):.2f}x"
                  " Chromium's app mode")


if __name__ == "__main__":
    main()
