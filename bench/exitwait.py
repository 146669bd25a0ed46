#!/usr/bin/python3
"""Time from EXIT to the end of the process while a server holds a transfer, in one run.

A Skivet's Go button preloads a file that the loopback server holds for HOLD seconds; once the
server has the request, its Stop button (EXIT) is clicked. Prints, for build/nuv and optionally
an earlier build, the median seconds from the click to the end of the process. The goal is under
one second whatever the server does; it is reported, not enforced. Runs under a private Xvfb."""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "user"))
from skivet import HttpServer, session, wait_for  # noqa: E402

HOLD = 30
DOCUMENT = ("TITLE 'Ready'\r\nOBJECT FORM\r\nLEFT 10\r\nTOP 10\r\nENDOBJECT\r\n"
            "OBJECT BUTTON\r\nCAPTION 'Go'\r\nLEFT 20\r\nTOP 20\r\nWIDTH 80\r\nHEIGHT 30\r\n"
            "EVENT CLICK\r\nPRELOAD FILE \"{url}\"\r\nENDEVENT\r\nENDOBJECT\r\n"
            "OBJECT BUTTON\r\nCAPTION 'Stop'\r\nLEFT 20\r\nTOP 90\r\nWIDTH 80\r\nHEIGHT 30\r\n"
            "EVENT CLICK\r\nEXIT\r\nENDEVENT\r\nENDOBJECT\r\n")


def click(env, x, y):
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], env=env, check=True)


def exit_seconds(nuv, work, env, server, run):
    """Seconds from the Stop click to the end of the process, with the preload held."""
    name = f"held{run}.bin"
    with open(os.path.join(server.root, name), "wb") as f:
        f.write(b"x" * 4096)
    server.set_control({f"/{name}": {"hold": name, "hold_seconds": HOLD}})
    with open(os.path.join(work, "doc.skv"), "w", newline="") as f:
        f.write(DOCUMENT.format(url=server.url + name))
    process = subprocess.Popen([nuv, os.path.join(work, "doc.nuv")], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        found = wait_for(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^Ready$"], env=env,
            capture_output=True, text=True).stdout.split(), bool)
        if not found:
            raise SystemExit(f"{nuv} showed no window")
        click(env, 70, 45)
        asked = f"GET /{name}"
        if asked not in wait_for(server.requests, lambda got: asked in got):
            raise SystemExit(f"{nuv} never asked for {name}")
        start = time.perf_counter()
        click(env, 70, 115)
        process.wait(timeout=HOLD + 30)
        return time.perf_counter() - start
    finally:
        open(os.path.join(server.root, "release-" + name), "w").close()
        if process.poll() is None:
            process.kill()
            process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--against", metavar="BUILD",
                        help="also measure the nuv of another build (an earlier commit)")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="nuv-bench-")
    env, display = session(work)
    # The held answer is slow, not stalled: no limit of the engine's may end it first.
    env.update(NUV_STALL_TIMEOUT_MS=str(HOLD * 2000), NUV_PROGRESS_WINDOW_MS=str(HOLD * 2000))
    with open(os.path.join(work, "doc.nuv"), "w") as f:
        f.write('"doc.skv"')
    site = os.path.join(work, "site")
    os.makedirs(site)
    server = HttpServer(site)
    builds = [("nuv", os.path.join(args.build, "nuv"))]
    if args.against:
        builds.append(("--against", os.path.join(args.against, "nuv")))
    times = {name: [] for name, _ in builds}
    run = 0
    for _ in range(args.runs):
        for name, nuv in builds:
            run += 1
            times[name].append(exit_seconds(nuv, work, env, server, run))
    print(f"{'build':12} {'median s':>9} {'max s':>7}   (server holds {HOLD} s)")
    for name, _ in builds:
        print(f"{name:12} {statistics.median(times[name]):9.3f} {max(times[name]):7.3f}")
    server.close()
    display.close()


if __name__ == "__main__":
    main()
