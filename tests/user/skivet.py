"""What a person does with the engine, for the user-level tests: a private X display, the real
binary, a loopback HTTP server, and the X tools that tell what is on screen."""
import json
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest
import zlib

NUV = os.environ.get("NUV_BINARY", "")
POINTER_IMAGE = os.environ.get("POINTER_IMAGE", "")
HERE = os.path.dirname(os.path.abspath(__file__))
SERVERS = os.path.join(HERE, "..", "host", "servers")
PYTHON = "/usr/bin/python3"  # Debian's, which sees python3-pyftpdlib
# A sanitized engine runs several times slower; every bound on how long the engine may take
# stretches by this factor (the sanitizer build sets it).
TIME_SCALE = float(os.environ.get("NUV_TEST_TIME_SCALE", "1"))
# The sanitized engine's runs leave out what starts the web engine, whose own faults they would
# report.
SANITIZED = "ASAN_OPTIONS" in os.environ
# How long a wait for something on screen may take: generous, since a wait ends as soon as the
# condition holds and only a failing test spends all of it.
WAIT = 10 * TIME_SCALE


def wait_for(read, holds, timeout=WAIT):
    """read() once holds(value) is true, or its last value when the deadline passes."""
    deadline = time.monotonic() + timeout
    while True:
        got = read()
        if holds(got) or time.monotonic() > deadline:
            return got
        time.sleep(0.02)


def png(width, height, colour_at):
    """PNG bytes of an image whose pixel (x, y) has the colour colour_at(x, y) = (r, g, b), or
    (r, g, b, a) for a picture with an alpha channel."""
    raw = b"".join(b"\x00" + b"".join(bytes(colour_at(x, y)) for x in range(width))
                   for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    kind = 6 if len(colour_at(0, 0)) == 4 else 2
    header = struct.pack(">IIBBBBB", width, height, 8, kind, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def solid(width, height, rgb):
    return png(width, height, lambda x, y: rgb)


def big_png(width, height, rgb):
    """A one-colour PNG made fast enough for pictures of millions of pixels; with four channels
    it has an alpha channel."""
    row = b"\x00" + bytes(rgb) * width

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, 8, 6 if len(rgb) == 4 else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(row * height)) + chunk(b"IEND", b""))


class Display:
    """An Xvfb server on a display number it picks itself."""

    def __init__(self, width=1280, height=1024):
        self.width, self.height = width, height
        read_end, write_end = os.pipe()
        # A key a test holds stays held: the server would start repeating it after 660 ms, and a
        # step slowed by a busy machine would then see a held key pressed and released again.
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset", "-ardelay", "600000"], pass_fds=(write_end,),
            stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            self.name = ":" + f.readline().strip()

    def env(self):
        env = dict(os.environ, DISPLAY=self.name, NUV_MESSAGES="stderr", QT_QPA_PLATFORM="xcb")
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)


def session(work, offscreen=False):
    """The environment for engine runs outside the tests (benchmarks): per-user and runtime
    folders in work, messages on standard error, and a private display unless offscreen.
    Gives (environment, display or None)."""
    env = dict(os.environ, NUV_MESSAGES="stderr", XDG_DATA_HOME=os.path.join(work, "data"),
               XDG_RUNTIME_DIR=work)
    env.pop("NUV_SCREENSHOT", None)
    if offscreen:
        env["QT_QPA_PLATFORM"] = "offscreen"
        return env, None
    display = Display()
    env.update(DISPLAY=display.name, QT_QPA_PLATFORM="xcb")
    env.pop("WAYLAND_DISPLAY", None)
    return env, display


class Engine:
    """One run of build/nuv."""

    def __init__(self, args, env, cwd=None, stderr=subprocess.PIPE, program=None):
        """stderr may be a file, for tests that watch what the engine says while it runs;
        program, a script that starts the engine in turn (scripts/run)."""
        self.process = subprocess.Popen([program or NUV] + list(args), env=env, cwd=cwd,
                                        stdout=subprocess.PIPE, stderr=stderr, text=True)
        self.env = env

    def finish(self, timeout=2 * WAIT):
        out, err = self.process.communicate(timeout=timeout)
        return self.process.returncode, out, err

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            # Still running, or an engine it started (NEW) still holds the output pipes.
            self.process.kill()
            self.process.wait()
            return "", ""

    def pid_of(self, window):
        return int(subprocess.run(["xdotool", "getwindowpid", window], env=self.env,
                                  capture_output=True, text=True, check=True).stdout)

    def window(self, title=None, timeout=WAIT):
        """The id of the visible window with this exact title; with no title, the engine's
        visible window, for a document whose title changes as soon as it shows."""
        deadline = time.monotonic() + timeout
        search = (["--name", f"^{title}$"] if title is not None
                  else ["--pid", str(self.process.pid)])
        while time.monotonic() < deadline:
            found = subprocess.run(["xdotool", "search", "--onlyvisible"] + search,
                                   env=self.env, capture_output=True, text=True).stdout.split()
            if found:
                return found[0]
            if self.process.poll() is not None:
                raise AssertionError(f"engine ended early: {self.process.communicate()}")
            time.sleep(0.05)
        raise AssertionError(f"no window titled {title!r}" if title is not None
                             else "the engine showed no window")

    def geometry(self, window):
        """(left, top, width, height) of a window, as xwininfo reports it."""
        info = subprocess.run(["xwininfo", "-id", window], env=self.env, capture_output=True,
                              text=True).stdout
        values = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def title(self, window):
        return subprocess.run(["xdotool", "getwindowname", window], env=self.env,
                              capture_output=True, text=True).stdout.rstrip("\n")

    def wait_title(self, window, expected, timeout=WAIT):
        return wait_for(lambda: self.title(window), lambda got: got == expected, timeout)

    def xdotool(self, *args):
        """Sends input through the X server; callers wait for its visible effect."""
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True)

    def pointer(self):
        """The pointer the X server shows: (width, height, xhot, yhot, checksum)."""
        out = subprocess.run([POINTER_IMAGE], env=self.env, capture_output=True, text=True,
                             check=True).stdout.split()
        return (*map(int, out[:4]), out[4])

    def visible(self, title):
        """Whether a visible window has this exact title."""
        return bool(subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                                   env=self.env, capture_output=True, text=True).stdout.split())

    def pixel(self, x, y):
        """The colour (r, g, b) on screen at (x, y)."""
        out = subprocess.run(["import", "-window", "root", "-crop", f"1x1+{x}+{y}", "-depth", "8",
                              "rgb:-"], env=self.env, capture_output=True, check=True).stdout
        return tuple(out[:3])

    def area(self, x, y, width, height):
        """The colours on screen of a rectangle, as rows of (r, g, b)."""
        out = subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                              "-depth", "8", "rgb:-"], env=self.env, capture_output=True,
                             check=True).stdout
        return [[tuple(out[(row * width + column) * 3:(row * width + column) * 3 + 3])
                 for column in range(width)] for row in range(height)]

    def wait_pixel(self, x, y, expected, timeout=WAIT, tolerance=0):
        """The colour at (x, y) once it is within tolerance of expected (lossy pictures)."""
        def near(got):
            return all(abs(a - b) <= tolerance for a, b in zip(got, expected))
        got = wait_for(lambda: self.pixel(x, y), near, timeout)
        return tuple(expected) if near(got) else got

    def shape_extents(self, window):
        """(width, height, x, y) of a window's bounding shape; None for an unshaped window."""
        info = subprocess.run(["xwininfo", "-id", window, "-shape"], env=self.env,
                              capture_output=True, text=True).stdout
        for line in info.splitlines():
            if "Window shape extents:" in line:
                size, _, offset = line.split(":")[1].strip().partition("+")
                width, height = size.split("x")
                x, y = offset.split("+")
                return int(width), int(height), int(x), int(y)
        return None

    def wait_position(self, window, expected, timeout=WAIT):
        """(left, top) of a window once it is expected."""
        return wait_for(lambda: self.geometry(window)[:2], lambda got: got == expected, timeout)

    def wait_size(self, window, expected, timeout=WAIT):
        """(width, height) of a window once it is expected."""
        return wait_for(lambda: self.geometry(window)[2:], lambda got: got == expected, timeout)


class HttpServer:
    """tests/host/servers/httpserver.py on 127.0.0.1, serving a folder."""

    def __init__(self, root, tls=None):
        self.root = root
        self.log = os.path.join(root, ".requests.log")
        self.control = os.path.join(root, ".control.json")
        open(self.log, "w").close()
        self.set_control({})
        self.process = subprocess.Popen(
            [PYTHON, os.path.join(SERVERS, "httpserver.py"), "--root", root, "--log", self.log,
             "--control", self.control] + (["--tls", *tls] if tls else []),
            stdout=subprocess.PIPE, text=True)
        self.port = int(self.process.stdout.readline())
        self.url = f"{'https' if tls else 'http'}://127.0.0.1:{self.port}/"

    def set_control(self, control):
        with open(self.control, "w") as f:
            json.dump(control, f)

    def requests(self):
        with open(self.log) as f:
            return [" ".join(line.split()[:2]) for line in f if line.strip()]

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()


class FtpServer:
    """tests/host/servers/ftpserver.py on 127.0.0.1, serving a folder to anonymous users."""

    def __init__(self, root):
        self.log = os.path.join(root, ".downloads.log")
        open(self.log, "w").close()
        self.process = subprocess.Popen(
            [PYTHON, os.path.join(SERVERS, "ftpserver.py"), "--root", root, "--log", self.log],
            stdout=subprocess.PIPE, text=True)
        self.url = f"ftp://127.0.0.1:{int(self.process.stdout.readline())}/"

    def downloads(self):
        with open(self.log) as f:
            return [line.strip() for line in f if line.strip()]

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()


class UserTest(unittest.TestCase):
    """A display, a scratch folder for documents and a private per-user folder for each test."""

    def setUp(self):
        self.display = Display()
        self.addCleanup(self.display.close)
        self.dir = tempfile.mkdtemp(prefix="nuv-user-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.env = self.display.env()
        self.env["XDG_DATA_HOME"] = os.path.join(self.dir, "data")
        self.env["XDG_RUNTIME_DIR"] = self.dir
        self.env["NUV_CONNECT_TIMEOUT_MS"] = str(round(2000 * TIME_SCALE))
        self.env["NUV_STALL_TIMEOUT_MS"] = str(round(2000 * TIME_SCALE))

    def measure_memory(self):
        """For a test that bounds the engine's memory: AddressSanitizer keeps freed blocks
        resident a while to catch their later use, which would count as growth."""
        if "ASAN_OPTIONS" in self.env:
            self.env["ASAN_OPTIONS"] += ":quarantine_size_mb=0"

    def write_bytes(self, name, data):
        path = os.path.join(self.dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def write(self, name, text, crlf=True):
        path = os.path.join(self.dir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if crlf:
            text = text.replace("\n", "\r\n")
        with open(path, "w", newline="") as f:
            f.write(text)
        return path

    def start(self, *args):
        engine = Engine(args, self.env, cwd=self.dir)
        self.addCleanup(engine.stop)
        return engine

    def run_to_end(self, *args):
        return self.start(*args).finish()

    def serve_ftp(self, folder):
        server = FtpServer(folder)
        self.addCleanup(server.close)
        return server

    def serve(self, folder, tls=None):
        server = HttpServer(folder, tls)
        self.addCleanup(server.close)
        return server
