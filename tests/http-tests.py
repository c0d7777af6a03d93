#!/usr/bin/env python3
"""Runs the HTTP transcripts of tests/transcripts/http against a loopback server of their own.

The server listens on a free port of 127.0.0.1 for the length of the run; each transcript
names it as PORT. Besides the files of the transcripts' directory it answers:
  /echo       the request as seen: method and path, the header lines in arrival order, then
              the body in hex
  /missing    404 with a body of its own
  /cookies    two Set-Cookie headers
  /redirect   302 to /hello.txt
  /latin1     a body that is not UTF-8

Usage: http-tests.py VYN
"""
import http.server
import os
import sys
import threading

import transcript_runner

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "transcripts", "http")


class Handler(http.server.SimpleHTTPRequestHandler):
    timeout = 30  # a stalled client cannot hold the server

    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=FIXTURES, **kwargs)

    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def echo(self):
        length = int(self.headers.get("Content-Length", 0))
        body = self.rfile.read(length) if length else b""
        lines = [f"{self.command} {self.path}"]
        lines += [f"{name}: {value}" for name, value in self.headers.items()]
        lines.append("body: " + body.hex())
        self.reply(200, "\n".join(lines).encode())

    def route(self):
        if self.path == "/echo":
            self.echo()
        elif self.path == "/missing":
            self.reply(404, b"no such page")
        elif self.path == "/cookies":
            self.reply(200, b"ok", [("Set-Cookie", "a=1"), ("Set-Cookie", "b=2")])
        elif self.path == "/latin1":
            self.reply(200, b"caf\xe9")
        elif self.path == "/redirect":
            self.reply(302, b"", [("Location", "/hello.txt")])
        elif self.command in ("GET", "HEAD"):
            super().do_GET() if self.command == "GET" else super().do_HEAD()
        else:
            self.reply(405, b"")

    do_GET = do_HEAD = do_POST = do_PUT = do_DELETE = do_PATCH = route


def main():
    vyn = os.path.abspath(sys.argv[1])
    runner = transcript_runner.load()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    port = str(server.server_address[1])
    passed = failed = 0
    try:
        for name in sorted(n for n in os.listdir(FIXTURES) if n.endswith(".vyn")):
            if runner.run(vyn, os.path.join(FIXTURES, name), {"PORT": port}):
                passed += 1
            else:
                failed += 1
    finally:
        server.shutdown()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
