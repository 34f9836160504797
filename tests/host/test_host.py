#!/usr/bin/env python3
"""Scriptable HTTPS download host for the tests, loopback only.

Serves files below --root. Per-path behaviour comes from ROOT/.rules.json,
re-read on every request: a JSON object that maps a request path (without
query) to a rule with any of these keys:

  status         answer with this status instead of 200 (body: the file or empty)
  location       Location header (with a 3xx status)
  truncate       send N bytes fewer than the file (Content-Length matches what is sent)
  extend         send N extra bytes after the file (Content-Length matches)
  close_after    announce the full length, send N bytes, then drop the connection
  pause_after    send N bytes, then sleep pause_seconds before the rest
  pause_seconds  length of that pause (default 5)
  first_byte_delay  sleep this many seconds before the status line
  body           literal text body (UTF-8) instead of a file

Every request is appended to ROOT/.requests.log as "PATH_WITH_QUERY<TAB>USER_AGENT".
Listens on 127.0.0.1 only: --port with the trusted certificate and, when
given, --untrusted-port with a certificate from a CA nobody trusts.
"""
import argparse
import json
import os
import socket
import ssl
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VandroTestHost/1.0"

    def log_message(self, fmt, *args):  # keep test output quiet
        pass

    def _rules(self):
        path = os.path.join(self.server.root, ".rules.json")
        try:
            with open(path, encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}

    def _record(self):
        with self.server.log_lock:
            with open(os.path.join(self.server.root, ".requests.log"), "a", encoding="utf-8") as f:
                f.write("%s\t%s\n" % (self.path, self.headers.get("User-Agent", "")))

    def do_GET(self):
        self._record()
        path = urlsplit(self.path).path
        rule = self._rules().get(path, {})
        if "first_byte_delay" in rule:
            time.sleep(float(rule["first_byte_delay"]))

        body = None
        if "body" in rule:
            body = rule["body"].encode("utf-8")
        else:
            local = os.path.normpath(os.path.join(self.server.root, path.lstrip("/")))
            if local.startswith(self.server.root) and os.path.isfile(local):
                with open(local, "rb") as f:
                    body = f.read()
        status = int(rule.get("status", 200 if body is not None else 404))
        if body is None:
            body = b""
        if "truncate" in rule:
            body = body[: max(0, len(body) - int(rule["truncate"]))]
        if "extend" in rule:
            body = body + b"X" * int(rule["extend"])

        self.send_response(status)
        if "location" in rule:
            self.send_header("Location", rule["location"])
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()

        try:
            if "close_after" in rule:
                self.wfile.write(body[: int(rule["close_after"])])
                self.wfile.flush()
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
                return
            if "pause_after" in rule:
                cut = int(rule["pause_after"])
                self.wfile.write(body[:cut])
                self.wfile.flush()
                time.sleep(float(rule.get("pause_seconds", 5)))
                self.wfile.write(body[cut:])
            else:
                self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
            self.close_connection = True


def serve(root, port, cert, key):
    server = ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    server.root = root
    server.log_lock = threading.Lock()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    return server


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--untrusted-port", type=int)
    parser.add_argument("--untrusted-cert")
    parser.add_argument("--untrusted-key")
    parser.add_argument("--ready-file")
    args = parser.parse_args()

    root = os.path.realpath(args.root)
    os.makedirs(root, exist_ok=True)
    servers = [serve(root, args.port, args.cert, args.key)]
    if args.untrusted_port:
        servers.append(serve(root, args.untrusted_port, args.untrusted_cert, args.untrusted_key))
    if args.ready_file:
        with open(args.ready_file, "w") as f:
            f.write("%d\n" % os.getpid())
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
