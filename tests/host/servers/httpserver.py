#!/usr/bin/python3
"""Loopback HTTP server for the host tests.

Serves --root on 127.0.0.1 (port chosen by the system, printed as the first line of stdout) and
appends "METHOD PATH CLIENT-PORT" for every request to --log. Behaviour per request comes from the
JSON object --control (keyed by URL path) merged with the query string:
  status=N         answer with this status
  body=TEXT        answer with this body instead of the file
  last_modified=V  send "Last-Modified: V" (default: the file's modification time)
  delay=MS         wait this many milliseconds before answering
  hold=NAME        answer only once the test releases NAME (LoopbackServer::release writes the
                   file release-NAME beside --control; it is removed once seen), or after
                   hold_seconds=S (default 20)
  redirect=PATH    answer 302 with this Location
  truncate=N       announce the whole body but send only N bytes, then close
  nolength=1       send no Content-Length and close after the body
  stall=head|body  send nothing, or only the header and a few bytes, then hang
  drip=S           send the body one byte every S seconds (for 20 seconds at most, then close)
Files ending in .html are sent as text/html, so that a browser shows them; all else as bytes.
"""
import argparse
import email.utils
import json
import os
import ssl
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, unquote, urlsplit

STALL_SECONDS = 20
log_lock = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Header and body go out in separate writes; with Nagle's algorithm the body would wait for
    # the client's delayed acknowledgement (40 ms) on every reused connection.
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.answer(with_body=True)

    def do_HEAD(self):
        self.answer(with_body=False)

    def control_for(self, path, query):
        control = {}
        try:
            with open(self.server.control_path, encoding="utf-8") as f:
                control.update(json.load(f).get(path, {}))
        except (OSError, ValueError):
            pass
        control.update({k: v[-1] for k, v in parse_qs(query).items()})
        return control

    def answer(self, with_body):
        parts = urlsplit(self.path)
        path = unquote(parts.path)
        with log_lock, open(self.server.log_path, "a", encoding="utf-8") as log:
            log.write(f"{self.command} {self.path} {self.client_address[1]}\n")
        control = self.control_for(path, parts.query)

        if control.get("stall"):
            self.stall(control["stall"])
            return
        if control.get("delay"):
            time.sleep(int(control["delay"]) / 1000)
        if control.get("hold"):
            self.hold(os.path.basename(str(control["hold"])),
                      float(control.get("hold_seconds", STALL_SECONDS)))
        if control.get("redirect"):
            self.send_response(302)
            self.send_header("Location", control["redirect"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return

        file_path = os.path.normpath(os.path.join(self.server.root, path.lstrip("/")))
        inside = file_path.startswith(self.server.root + os.sep)
        exists = inside and os.path.isfile(file_path)
        if "body" in control:
            data = str(control["body"]).encode("utf-8")
        elif exists:
            with open(file_path, "rb") as f:
                data = f.read()
        else:
            data = b"missing"
        status = int(control.get("status", 200 if exists or "body" in control else 404))

        self.send_response(status)
        page = path.endswith(".html")
        self.send_header("Content-Type", "text/html" if page else "application/octet-stream")
        if "last_modified" in control:
            self.send_header("Last-Modified", str(control["last_modified"]))
        elif exists:
            stamp = os.path.getmtime(file_path)
            self.send_header("Last-Modified", email.utils.formatdate(stamp, usegmt=True))
        if status in (204, 304):
            self.end_headers()
            return
        if control.get("nolength"):
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if not with_body:
            return
        if control.get("drip"):
            self.drip(data, float(control["drip"]))
            return
        if control.get("truncate") is not None:
            self.wfile.write(data[: int(control["truncate"])])
            self.wfile.flush()
            self.close_connection = True
            return
        self.wfile.write(data)

    def hold(self, name, seconds):
        flag = os.path.join(os.path.dirname(self.server.control_path), "release-" + name)
        deadline = time.monotonic() + seconds
        while not os.path.exists(flag) and time.monotonic() < deadline:
            time.sleep(0.01)
        try:
            os.remove(flag)
        except OSError:
            pass

    def drip(self, data, every):
        deadline = time.monotonic() + STALL_SECONDS
        for n in range(len(data)):
            if time.monotonic() > deadline:
                break
            self.wfile.write(data[n:n + 1])
            self.wfile.flush()
            time.sleep(every)
        self.close_connection = True

    def stall(self, kind):
        if kind == "body":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b"0123456789")
            self.wfile.flush()
        deadline = time.monotonic() + STALL_SECONDS
        while time.monotonic() < deadline:
            time.sleep(0.05)
        self.close_connection = True


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Clients hang up on stalled and cut-off answers on purpose.
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--control", required=True)
    parser.add_argument("--bind", default="127.0.0.1",
                        help="loopback address to listen on (any of 127.0.0.0/8)")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"),
                        help="serve HTTPS with this certificate and key")
    args = parser.parse_args()

    server = Server((args.bind, 0), Handler)
    server.root = os.path.realpath(args.root)
    server.log_path = args.log
    server.control_path = args.control
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*args.tls)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
