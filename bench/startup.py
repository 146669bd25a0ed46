#!/usr/bin/python3
"""Start-to-exit time and peak memory of build/nuv next to a bare Qt program, in one run.

Cases: a local document that sets a TITLE and EXITs; the same document from a loopback HTTP
server through a warm cache with CACHELEVEL 2; the bare Qt program that opens and closes a
frameless window. Prints the median of several runs, the ratios against the bare program and the
peak resident memory. Runs under a private Xvfb display (or offscreen with --offscreen)."""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "user"))
from skivet import HttpServer, session  # noqa: E402


def run_once(command, env):
    """(seconds from start to exit, peak RSS in MiB) of one run."""
    start = time.perf_counter()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"{command} failed")
    return elapsed, usage.ru_maxrss / 1024  # KiB to MiB


def measure(cases, env, runs):
    """Median ms and peak MiB per case. The cases take turns, so that load on the machine
    falls on all of them alike."""
    times = {name: [] for name, _ in cases}
    peaks = {name: [] for name, _ in cases}
    for _ in range(runs):
        for name, command in cases:
            elapsed, peak = run_once(command, env)
            times[name].append(elapsed)
            peaks[name].append(peak)
    return [(name, statistics.median(times[name]) * 1000, max(peaks[name])) for name, _ in cases]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--offscreen", action="store_true")
    parser.add_argument("--against", metavar="BUILD",
                        help="also measure the nuv of another build (an earlier commit)")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="nuv-bench-")
    env, display = session(work, args.offscreen)

    site = os.path.join(work, "site")
    os.makedirs(site)
    document = 'CACHELEVEL 2\r\nTITLE "Bench"\r\nEXIT\r\n'
    for folder in (work, site):
        with open(os.path.join(folder, "doc.skv"), "w", newline="") as f:
            f.write(document)
    with open(os.path.join(work, "local.nuv"), "w") as f:
        f.write('"doc.skv"')
    server = HttpServer(site)
    with open(os.path.join(work, "remote.nuv"), "w") as f:
        f.write(server.url + "doc.skv")

    nuv = os.path.join(args.build, "nuv")
    bare = os.path.join(args.build, "bench", "bare_window")
    cases = [
        ("bare Qt frameless window", [bare]),
        ("nuv, local document", [nuv, os.path.join(work, "local.nuv")]),
        ("nuv, loopback document, warm cache", [nuv, os.path.join(work, "remote.nuv")]),
    ]
    if args.against:
        other = os.path.join(args.against, "nuv")
        cases += [("--against, local document", [other, os.path.join(work, "local.nuv")]),
                  ("--against, loopback document", [other, os.path.join(work, "remote.nuv")])]
    for _, command in cases:
        run_once(command, env)  # warm the file cache, and the engine's cache for remote.nuv
    results = measure(cases, env, args.runs)
    baseline = results[0][1]
    print(f"{'case':40} {'median ms':>10} {'ratio':>7} {'peak MiB':>9}")
    for name, ms, peak in results:
        print(f"{name:40} {ms:10.1f} {ms / baseline:7.2f} {peak:9.1f}")
    server.close()
    if display:
        display.close()


if __name__ == "__main__":
    main()
