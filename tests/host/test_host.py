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
  reset_after    announce the full length, send N bytes, then reset the connection (TCP RST)
  corrupt_after  announce the full length, send N bytes, then a TLS record that fails its
                 integrity check, then close
  pause_after    send N bytes, then sleep pause_seconds before the rest
  pause_seconds  length of that pause (default 5)
  first_byte_delay  sleep this many seconds before the status line
  body           literal text body (UTF-8) instead of a file
  gzip           send the body gzip-compressed with "Content-Encoding: gzip",
                 whether or not the client asked for it

A .rules.json in the requested file's own folder (same format, same full
request paths as keys) is read as well and wins over the root's, so a test
that owns a folder can set its faults without touching anyone else's rules.

Every request is appended to ROOT/.requests.log as "PATH_WITH_QUERY<TAB>USER_AGENT".
Listens on 127.0.0.1 only: --port with the trusted certificate and, when
given, --untrusted-port with a certificate from a CA nobody trusts.
"""
import argparse
import gzip
import io
import json
import os
import socket
import ssl
import struct
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit


# Rule keys that change what the body is or how it is sent.
SHAPING_KEYS = {"body", "gzip", "truncate", "extend", "close_after", "reset_after", "corrupt_after", "pause_after"}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VandroTestHost/1.0"

    def log_message(self, fmt, *args):  # keep test output quiet
        pass

    @staticmethod
    def _read_rules(path):
        try:
            with open(path, encoding="utf-8") as f:
                rules = json.load(f)
            return rules if isinstance(rules, dict) else {}
        except (OSError, ValueError):
            return {}

    def _rules(self, path):
        rules = self._read_rules(os.path.join(self.server.root, ".rules.json"))
        folder = os.path.normpath(os.path.join(self.server.root, os.path.dirname(path).lstrip("/")))
        if folder.startswith(self.server.root + os.sep):
            rules.update(self._read_rules(os.path.join(folder, ".rules.json")))
        return rules

    def _record(self):
        with self.server.log_lock:
            with open(os.path.join(self.server.root, ".requests.log"), "a", encoding="utf-8") as f:
                f.write("%s\t%s\n" % (self.path, self.headers.get("User-Agent", "")))

    def _stream_file(self, path, rule):
        """Sends an unshaped file in 1 MiB pieces, so large parts never sit in memory."""
        local = os.path.normpath(os.path.join(self.server.root, path.lstrip("/")))
        if not local.startswith(self.server.root + os.sep) or not os.path.isfile(local):
            return False
        with open(local, "rb") as f:
            size = os.fstat(f.fileno()).st_size
            self.send_response(int(rule.get("status", 200)))
            if "location" in rule:
                self.send_header("Location", rule["location"])
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(size))
            self.end_headers()
            # Exactly the announced bytes: a test may rewrite the file as soon
            # as its client has them, and bytes read after that would stay on
            # the kept-alive connection and open the next response.
            remaining = size
            try:
                while remaining > 0:
                    piece = f.read(min(1 << 20, remaining))
                    if not piece:
                        break
                    self.wfile.write(piece)
                    remaining -= len(piece)
            except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
                self.close_connection = True
            if remaining > 0:  # the file shrank meanwhile: a short body, then the end
                self.close_connection = True
        return True

    def do_GET(self):
        self._record()
        path = urlsplit(self.path).path
        rule = self._rules(path).get(path, {})
        if "first_byte_delay" in rule:
            time.sleep(float(rule["first_byte_delay"]))

        if not SHAPING_KEYS & rule.keys() and self._stream_file(path, rule):
            return

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
        if rule.get("gzip"):
            body = gzip.compress(body, mtime=0)

        self.send_response(status)
        if rule.get("gzip"):
            self.send_header("Content-Encoding", "gzip")
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
            if "reset_after" in rule:
                self.wfile.write(body[: int(rule["reset_after"])])
                self.wfile.flush()
                self.close_connection = True
                # Linger 0: closing sends RST instead of an orderly FIN.
                # The stream wrappers hold the socket open: close them first.
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                self.wfile.close()
                self.rfile.close()
                self.connection.close()
                self.wfile, self.rfile = io.BytesIO(), io.BytesIO()  # for the handler's own flush and close
                return
            if "corrupt_after" in rule:
                self.wfile.write(body[: int(rule["corrupt_after"])])
                self.wfile.flush()
                self.close_connection = True
                # Written past the TLS layer: an application-data record whose
                # authentication tag cannot match.
                os.write(self.connection.fileno(), b"\x17\x03\x03\x00\x40" + os.urandom(64))
                time.sleep(0.5)
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
