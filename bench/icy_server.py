#!/usr/bin/env python3
"""A small ICY radio server on 127.0.0.1 for the benchmarks and for trying the
command line by hand: serves one audio file in a loop at the pace it plays,
with ICY metadata naming a new title every so many seconds.

    icy_server.py FILE [--rate BYTES_PER_SECOND] [--metaint N] [--title-every S]
                  [--content-type TYPE] [--name NAME] [--genre GENRE]

Prints the port it listens on, then serves until killed."""
import argparse
import socket
import socketserver
import sys
import threading
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("--rate", type=int, default=16000)
    parser.add_argument("--metaint", type=int, default=16000)
    parser.add_argument("--title-every", type=float, default=20.0)
    parser.add_argument("--content-type", default="audio/mpeg")
    parser.add_argument("--name", default="Bench Radio")
    parser.add_argument("--genre", default="Test")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    with open(args.file, "rb") as f:
        audio = f.read()

    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            request = b""
            while b"\r\n\r\n" not in request:
                chunk = self.request.recv(4096)
                if not chunk:
                    return
                request += chunk
            wants_meta = b"icy-metadata: 1" in request.lower()
            head = [b"ICY 200 OK", b"Content-Type: " + args.content_type.encode(),
                    b"icy-name:" + args.name.encode(), b"icy-genre:" + args.genre.encode()]
            if wants_meta:
                head.append(b"icy-metaint:%d" % args.metaint)
            self.request.sendall(b"\r\n".join(head) + b"\r\n\r\n")
            start = time.monotonic()
            sent = 0
            pos = 0
            until_meta = args.metaint
            last_title = None
            burst = args.rate  # a first second at once, as servers fill a player's buffer
            try:
                while True:
                    allowed = burst + int((time.monotonic() - start) * args.rate) - sent
                    # Whole chunks, as servers pass on what their source sent.
                    if allowed < min(4096, len(audio) - pos):
                        time.sleep(0.02)
                        continue
                    n = min(allowed, 4096, len(audio) - pos)
                    if wants_meta:
                        n = min(n, until_meta)
                    self.request.sendall(audio[pos:pos + n])
                    pos = (pos + n) % len(audio)
                    sent += n
                    if wants_meta:
                        until_meta -= n
                        if until_meta == 0:
                            until_meta = args.metaint
                            number = int((time.monotonic() - start) / args.title_every) + 1
                            title = b"StreamTitle='Artist %d - Song %d';StreamUrl='';" % (number, number)
                            if title == last_title:
                                self.request.sendall(b"\0")
                            else:
                                last_title = title
                                blocks = (len(title) + 15) // 16
                                self.request.sendall(bytes([blocks]) + title.ljust(blocks * 16, b"\0"))
            except (BrokenPipeError, ConnectionResetError, OSError):
                return

    class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server(("127.0.0.1", args.port), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
