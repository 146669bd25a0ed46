#!/usr/bin/python3
"""The statement loop through the whole binary: build/nuv on an 8 MB document of TITLE lines that
ends in EXIT, against the same binary on a two-line document, in one run.

The loop's share is the difference of the two medians; from it come the rate in MB/s and the
ratio to one memchr-style line count over the same bytes (read and bytes.count, timed in this
process). Peak memory is the difference of the two peak resident sizes, as a multiple of the
document's size. With --against BUILD the nuv of another build runs alongside, alternating."""
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
from skivet import session  # noqa: E402

DOCUMENT_BYTES = 8 * 1024 * 1024
LINE = 'TITLE "Statement loop"\r\n'


def write_documents(folder):
    """(location of the large document, of the small one, the large one's path)."""
    large = os.path.join(folder, "large.skv")
    with open(large, "w", newline="") as f:
        f.write(LINE * ((DOCUMENT_BYTES - len("EXIT\r\n")) // len(LINE)) + "EXIT\r\n")
    small = os.path.join(folder, "small.skv")
    with open(small, "w", newline="") as f:
        f.write(LINE + "EXIT\r\n")
    locations = []
    for document in (large, small):
        location = document[:-4] + ".nuv"
        with open(location, "w") as f:
            f.write(f'"{document}"\n')
        locations.append(location)
    return locations[0], locations[1], large


def run_once(command, env):
    """(seconds from start to exit, peak RSS in KiB) of one run."""
    start = time.perf_counter()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"{command} failed")
    return elapsed, usage.ru_maxrss


def line_count(path, runs):
    """Median seconds of counting the line breaks of the file, read from the page cache."""
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        with open(path, "rb") as f:
            f.read().count(b"\n")
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--offscreen", action="store_true")
    parser.add_argument("--against", metavar="BUILD",
                        help="also measure the nuv of another build (an earlier commit)")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="nuv-statementloop-")
    env, display = session(work, args.offscreen)
    large, small, large_path = write_documents(work)
    size = os.path.getsize(large_path)
    builds = [("this build", os.path.join(args.build, "nuv"))]
    if args.against:
        builds.append(("--against", os.path.join(args.against, "nuv")))
    cases = [(name, document, [nuv, location]) for name, nuv in builds
             for document, location in (("large", large), ("small", small))]
    times = {(name, document): [] for name, document, _ in cases}
    peaks = {(name, document): [] for name, document, _ in cases}
    try:
        for _, _, command in cases:
            run_once(command, env)  # warm the file cache
        # The cases take turns, so that load on the machine falls on all of them alike.
        for _ in range(args.runs):
            for name, document, command in cases:
                elapsed, peak = run_once(command, env)
                times[(name, document)].append(elapsed)
                peaks[(name, document)].append(peak)
        memchr = line_count(large_path, max(args.runs, 15))
    finally:
        if display:
            display.close()
        shutil.rmtree(work, ignore_errors=True)

    print(f"{args.runs} alternating runs, {'offscreen' if args.offscreen else 'Xvfb'}, "
          f"document {size / 1e6:.1f} MB, load average {os.getloadavg()[0]:.2f}")
    print(f"memchr line count: {memchr * 1000:.1f} ms")
    print(f"{'build':12} {'large ms':>9} {'small ms':>9} {'loop ms':>8} {'MB/s':>7} "
          f"{'x memchr':>9} {'peak x doc':>11}")
    for name, _ in builds:
        large_ms = statistics.median(times[(name, "large")]) * 1000
        small_ms = statistics.median(times[(name, "small")]) * 1000
        loop_ms = max(large_ms - small_ms, 0.001)
        extra = (max(peaks[(name, "large")]) - max(peaks[(name, "small")])) * 1024
        print(f"{name:12} {large_ms:9.1f} {small_ms:9.1f} {loop_ms:8.1f} "
              f"{size / 1e6 / (loop_ms / 1000):7.1f} {loop_ms / (memchr * 1000):9.1f} "
              f"{extra / size:11.2f}")


if __name__ == "__main__":
    main()
