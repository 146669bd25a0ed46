#!/usr/bin/python3
"""Loopback anonymous FTP server for the host tests.

Serves --root read-only on 127.0.0.1 (port chosen by the system, printed as the first line of
stdout) and appends "RETR PATH" for every download to --log.
"""
import argparse
import logging
import os

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class LoggingHandler(FTPHandler):
    def ftp_RETR(self, file):
        with open(self.log_path, "a", encoding="utf-8") as log:
            log.write(f"RETR /{os.path.relpath(file, self.root_path)}\n")
        return super().ftp_RETR(file)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    logging.basicConfig(level=logging.ERROR)

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(args.root)
    LoggingHandler.authorizer = authorizer
    LoggingHandler.log_path = args.log
    LoggingHandler.root_path = os.path.realpath(args.root)
    server = FTPServer(("127.0.0.1", 0), LoggingHandler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
