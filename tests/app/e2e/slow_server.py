#!/usr/bin/env python3
"""A package server on loopback that is slow on purpose, for the wizard's
runs that must stay answerable: it serves the files below DOCROOT with a
Content-Length, at RATE bytes a second ("slow"), or sends the head of the
reply and then nothing until the client goes away ("silent").

Usage: slow_server.py PORT DOCROOT slow|silent [RATE]
"""
import http.server
import os
import socketserver
import sys
import time

port, docroot, mode = int(sys.argv[1]), sys.argv[2], sys.argv[3]
rate = int(sys.argv[4]) if len(sys.argv) > 4 else 1024 * 1024
PIECE = 16 * 1024


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        path = os.path.join(docroot, self.path.lstrip("/"))
        if not os.path.isfile(path):
            self.send_error(404)
            return
        with open(path, "rb") as f:
            data = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/zip")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.flush()
        try:
            if mode == "silent" and path.endswith("main.zip"):
                # Nothing more; wait until the client closes.
                while self.rfile.read(1):
                    pass
                return
            start = time.monotonic()
            sent = 0
            while sent < len(data):
                piece = data[sent:sent + PIECE]
                self.wfile.write(piece)
                sent += len(piece)
                ahead = sent / rate - (time.monotonic() - start)
                if ahead > 0:
                    time.sleep(ahead)
        except (BrokenPipeError, ConnectionResetError):
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


Server(("127.0.0.1", port), Handler).serve_forever()
