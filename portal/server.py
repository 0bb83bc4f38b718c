#!/usr/bin/env python3
"""The demo portal: serves portal/site on 127.0.0.1, with a few scripted paths for tests.

Usage: server.py [--port N] [--root DIR] [--extra-root DIR]... [--log FILE]

A file under an extra root is served in place of the same path under the root: the build
publishes the installer package ("/ZentroVrindle.msi") and its update information that way.

Besides the files under the root it answers:
  /__status/<code>          an error page with that HTTP status
  /__redirect?to=<url>      302 to the given address
  /__slow/<path>?rate=<B/s> the file, sent slowly (bytes per second); with &hold=<bytes>, nothing
                            more once that much is sent, until the client closes the connection
  /__drop/<path>            half of the file, then the connection is cut
  /__unsized/<path>         the file with no Content-Length: it ends when the connection closes
  /__empty                  200 with an empty body
Importable: start_server(root, port, extra_roots=...) -> (server, thread); server.shutdown() stops it.
"""
import argparse
import http.server
import os
import socketserver
import sys
import threading
import time
import urllib.parse


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        log = getattr(self.server, "log_file", None)
        if log:
            log.write("%s %s\n" % (time.strftime("%H:%M:%S"), fmt % args))
            log.flush()

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def _resolve(self, rel):
        """The file for a path: from the first extra root that has it, else from the root."""
        rel = rel.lstrip("/")
        for root in list(getattr(self.server, "extra_roots", ())) + [self.server.root]:
            path = os.path.realpath(os.path.join(root, rel))
            inside = path == os.path.realpath(root) or path.startswith(os.path.realpath(root) + os.sep)
            if inside and (os.path.isfile(path) or root == self.server.root):
                return path
        return None

    def _file_bytes(self, rel):
        path = self._resolve(rel)
        if path is None or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def _send(self, code, body, ctype="text/html", length=None):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        return body

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        parts = url.path.split("/", 3)
        self.server.requests.append(url.path)
        if url.path.startswith("/__status/"):
            code = int(parts[2])
            body = ("<html><body>error %d</body></html>" % code).encode()
            self.wfile.write(self._send(code, body))
            return
        if url.path == "/__redirect":
            self.send_response(302)
            self.send_header("Location", query.get("to", ["/"])[0])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if url.path == "/__empty":
            self._send(200, b"", "application/octet-stream")
            return
        if url.path.startswith("/__unsized/"):
            data = self._file_bytes(url.path.split("/", 2)[2])
            if data is None:
                self.wfile.write(self._send(404, b"not found"))
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.end_headers()
            self.wfile.write(data)
            self.close_connection = True
            return
        if url.path.startswith("/__slow/") or url.path.startswith("/__drop/"):
            rel = url.path.split("/", 2)[2]
            data = self._file_bytes(rel)
            if data is None:
                self.wfile.write(self._send(404, b"not found"))
                return
            self._send(200, b"", "application/octet-stream", length=len(data))
            if url.path.startswith("/__drop/"):
                self.wfile.write(data[: len(data) // 2])
                self.wfile.flush()
                self.close_connection = True
                try:
                    self.connection.shutdown(2)
                except OSError:
                    pass
                return
            rate = int(query.get("rate", ["65536"])[0])
            hold = int(query.get("hold", ["0"])[0])
            chunk = max(1, rate // 20)
            for i in range(0, len(data), chunk):
                if hold and i >= hold:
                    # A client's cancel or end always comes mid-transfer, however late it comes.
                    self.close_connection = True
                    try:
                        self.connection.settimeout(120)
                        self.connection.recv(1)
                    except OSError:
                        pass
                    return
                try:
                    self.wfile.write(data[i:i + chunk])
                    self.wfile.flush()
                except OSError:
                    return
                time.sleep(0.05)
            return
        super().do_GET()

    def translate_path(self, path):
        rel = urllib.parse.unquote(urllib.parse.urlsplit(path).path).lstrip("/")
        return self._resolve(rel) or os.path.join(self.server.root, "__outside__")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def start_server(root, port, log_file=None, extra_roots=()):
    server = Server(("127.0.0.1", port), Handler)
    server.root = root
    server.extra_roots = [r for r in extra_roots if os.path.isdir(r)]
    server.log_file = log_file
    server.requests = []
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    return server, thread


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, default=18473)
    ap.add_argument("--root", default=os.path.join(here, "site"))
    ap.add_argument("--extra-root", action="append", default=[])
    ap.add_argument("--log")
    a = ap.parse_args()
    log = open(a.log, "a") if a.log else None
    server, thread = start_server(a.root, a.port, log, a.extra_root)
    print("portal on http://127.0.0.1:%d/ serving %s" % (a.port, a.root), flush=True)
    try:
        thread.join()
    except KeyboardInterrupt:
        server.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
