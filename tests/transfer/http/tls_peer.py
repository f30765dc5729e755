#!/usr/bin/env python3
"""A TLS package server for what nginx will not do on request. It writes every
record in pieces of five bytes, so that records reach the client split, and
answers one request a connection:
  .../short-notify  200 announcing 1000 bytes, sends 600, then close_notify
  .../short-abrupt  the same, then closes without close_notify
  anything else     200 with 5000 bytes, then close_notify
Serves on a free loopback port, written to PORT-FILE, until it is ended.
  tls_peer.py PORT-FILE CERT KEY"""
import os
import socket
import ssl
import sys

PIECE = 5


def serve(context, connection):
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = context.wrap_bio(incoming, outgoing, server_side=True)

    def flush():
        data = outgoing.read()
        for at in range(0, len(data), PIECE):
            connection.sendall(data[at:at + PIECE])

    def run(step):
        while True:
            try:
                result = step()
                flush()
                return result
            except ssl.SSLWantReadError:
                flush()
                data = connection.recv(65536)
                if not data:
                    raise EOFError
                incoming.write(data)

    run(tls.do_handshake)
    request = b""
    while b"\r\n\r\n" not in request:
        data = run(lambda: tls.read(65536))
        if not data:
            return
        request += data
    path = request.split(b" ")[1]
    if path.endswith((b"/short-notify", b"/short-abrupt")):
        tls.write(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + b"p" * 600)
    else:
        tls.write(b"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + b"d" * 5000)
    flush()
    if not path.endswith(b"/short-abrupt"):
        try:
            tls.unwrap()
        except ssl.SSLWantReadError:
            pass  # the client's close_notify is not awaited
        flush()


def main():
    port_file, cert, key = sys.argv[1:4]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    with open(port_file + ".new", "w") as out:
        out.write(f"{listener.getsockname()[1]}\n")
    os.replace(port_file + ".new", port_file)
    while True:
        connection, _ = listener.accept()
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            serve(context, connection)
        except (OSError, EOFError, ssl.SSLError):
            pass
        finally:
            connection.close()


if __name__ == "__main__":
    main()
