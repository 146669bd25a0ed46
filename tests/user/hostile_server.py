#!/usr/bin/python3
"""A hostile HTTP server on 127.0.0.1 for the user-level tests: it drips, lies, floods, stalls and
serves include fan-outs; everything else comes from --root, where colliding names are just files.

Prints its port as the first line of stdout and appends "METHOD PATH" for every request to --log.
  /drip/NAME?every=S     announces a megabyte, then sends one byte every S seconds (default 0.5)
  /flood/NAME            no length, and Skivet lines without end
  /stall/NAME            announces 1000 bytes, sends 10, then nothing
  /lie/NAME              announces 1000 bytes, sends 10, then hangs up
  /fan/N.skv?depth=D     includes (N+1).skv twice, down to level D (default 40), which is empty
  /status/CODE/NAME      answers with that status
  /line/NAME?bytes=N     one line of N bytes (default 60 MB) with no line end
"""
import argparse
import os
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, unquote, urlsplit

HOLD_SECONDS = 60
log_lock = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.route(with_body=False)

    def do_GET(self):
        self.route(with_body=True)

    def route(self, with_body):
        parts = urlsplit(self.path)
        path = unquote(parts.path)
        query = {k: v[-1] for k, v in parse_qs(parts.query).items()}
        with log_lock, open(self.server.log_path, "a", encoding="utf-8") as log:
            log.write(f"{self.command} {self.path}\n")
        kind = path.split("/")[1] if path.count("/") >= 2 else ""
        handler = {"drip": self.drip, "flood": self.flood, "stall": self.stall, "lie": self.lie,
                   "fan": self.fan, "status": self.status,
                   "line": self.line}.get(kind, self.file)
        try:
            handler(path, query, with_body)
        except (BrokenPipeError, ConnectionResetError):
            # The engine hanging up is what these answers are for.
            self.close_connection = True

    def head(self, status=200, length=None):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if length is None:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(length))
        self.end_headers()

    def hold(self):
        deadline = time.monotonic() + HOLD_SECONDS
        while time.monotonic() < deadline:
            time.sleep(0.05)
        self.close_connection = True

    def drip(self, path, query, with_body):
        self.head(length=1 << 20)
        every = float(query.get("every", 0.5))
        deadline = time.monotonic() + HOLD_SECONDS
        while with_body and time.monotonic() < deadline:
            self.wfile.write(b"#")
            self.wfile.flush()
            time.sleep(every)
        self.close_connection = True

    def flood(self, path, query, with_body):
        self.head()
        chunk = b"TITLE \"flood\"\r\n" * 4096
        while with_body:
            self.wfile.write(chunk)

    def stall(self, path, query, with_body):
        self.head(length=1000)
        if with_body:
            self.wfile.write(b"TITLE 'x'\r\n")
            self.wfile.flush()
            self.hold()

    def lie(self, path, query, with_body):
        self.head(length=1000)
        if with_body:
            self.wfile.write(b"TITLE 'x'\r\n")
            self.wfile.flush()
        self.close_connection = True

    def fan(self, path, query, with_body):
        level = int(os.path.basename(path).split(".")[0])
        depth = int(query.get("depth", 40))
        line = f"%INCLUDE \"{level + 1}.skv\"\r\n".encode()
        self.answer(b"" if level >= depth else line + line, with_body)

    def line(self, path, query, with_body):
        size = int(query.get("bytes", 60_000_000))
        self.head(length=size)
        chunk = b"a" * 65536
        while with_body and size > 0:
            self.wfile.write(chunk[:size])
            size -= len(chunk)

    def status(self, path, query, with_body):
        self.answer(b"status page", with_body, status=int(path.split("/")[2]))

    def file(self, path, query, with_body):
        file_path = os.path.normpath(os.path.join(self.server.root, path.lstrip("/")))
        if not file_path.startswith(self.server.root + os.sep) or not os.path.isfile(file_path):
            self.answer(b"missing", with_body, status=404)
            return
        with open(file_path, "rb") as f:
            self.answer(f.read(), with_body)

    def answer(self, data, with_body, status=200):
        self.head(status, len(data))
        if with_body:
            self.wfile.write(data)


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    server.root = os.path.realpath(args.root)
    server.log_path = args.log
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
