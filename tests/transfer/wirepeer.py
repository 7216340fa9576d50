#!/usr/bin/env python3
"""An independent peer of the consoles' TCP transfer, written from the wire
format alone: the receiver sends "." on accept and "OK" after every message;
the sender sends ".RECEIVE_FILE=" and a path, the file in blocks of 900
bytes, ".END_OF_FILE", waiting for "OK" after each message.

  wirepeer.py send --port P --file F [--name NAME] [--split] [--drop-after N]
                   [--close-after-end] [--split-at K --gap SECONDS]
  wirepeer.py receive --dir D [--count N]     prints "port P" first

Both are plain stop-and-wait over one socket, as a peer console would be.
"""
import argparse
import os
import socket
import sys
import time

BLOCK = 900


class Acks:
    """Reads "." and "OK" from a byte stream, joined or split."""

    def __init__(self, sock):
        self.sock = sock
        self.buf = b""

    def wait_ok(self):
        while True:
            i = self.buf.find(b"OK")
            if i >= 0:
                self.buf = self.buf[i + 2:]
                return True
            data = self.sock.recv(4096)
            if not data:
                return False
            self.buf += data


def send(args):
    name = args.name if args.name is not None else "C:\\queue\\" + os.path.basename(args.file)
    with open(args.file, "rb") as f:
        data = f.read()
    sock = socket.create_connection(("127.0.0.1", args.port))
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    acks = Acks(sock)

    def message(payload):
        if args.split_at is not None and len(payload) > 1:
            # Every message in two pieces, `gap` seconds apart, as a link
            # that loses a piece and sends it again would deliver it.
            cut = args.split_at if 0 < args.split_at < len(payload) else len(payload) // 2
            sock.sendall(payload[:cut])
            time.sleep(args.gap)
            sock.sendall(payload[cut:])
        elif args.split and len(payload) > 1:
            half = len(payload) // 2
            sock.sendall(payload[:half])
            time.sleep(0.01)
            sock.sendall(payload[half:])
        else:
            sock.sendall(payload)

    message(b".RECEIVE_FILE=" + name.encode("latin-1"))
    if not acks.wait_ok():
        print("refused", flush=True)
        return 3
    blocks = 0
    for pos in range(0, len(data), BLOCK):
        if args.drop_after is not None and blocks >= args.drop_after:
            sock.close()
            print("dropped", flush=True)
            return 0
        message(data[pos:pos + BLOCK])
        blocks += 1
        if not acks.wait_ok():
            print("lost", flush=True)
            return 3
    message(b".END_OF_FILE")
    if args.close_after_end:
        sock.close()
        print("sent", flush=True)
        return 0
    ok = acks.wait_ok()
    sock.close()
    print("sent" if ok else "lost", flush=True)
    return 0 if ok else 3


def read_message(sock, pending):
    """One message: 900 bytes, or what has come when the line is quiet."""
    buf = pending
    sock.settimeout(None)
    while len(buf) < BLOCK:
        if buf:
            sock.settimeout(0.05)
        try:
            data = sock.recv(BLOCK - len(buf))
        except socket.timeout:
            break
        if not data:
            return (buf if buf else None), b"", True
        buf += data
    return buf[:BLOCK], buf[BLOCK:], False


def receive(args):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    print("port", server.getsockname()[1], flush=True)
    received = 0
    while args.count == 0 or received < args.count:
        sock, _ = server.accept()
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        sock.sendall(b".")
        out = None
        name = None
        pending = b""
        while True:
            msg, pending, closed = read_message(sock, pending)
            if msg is None:
                break
            command = msg.split(b"=", 1)[0] if msg.startswith(b".") else b""
            if command == b".RECEIVE_FILE":
                name = msg.split(b"=", 1)[1].replace(b"/", b"\\").split(b"\\")[-1].decode("latin-1")
                out = bytearray()
            elif command == b".END_OF_FILE":
                with open(os.path.join(args.dir, name), "wb") as f:
                    f.write(out)
                received += 1
                print("received", name, flush=True)
                out = None
            elif command == b".CLOSE_CONNECTION":
                sock.sendall(b"OK")
                break
            elif out is not None:
                out += msg
            if closed:
                break
            sock.sendall(b"OK")
        sock.close()
    server.close()
    return 0


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="mode", required=True)
    s = sub.add_parser("send")
    s.add_argument("--port", type=int, required=True)
    s.add_argument("--file", required=True)
    s.add_argument("--name")
    s.add_argument("--split", action="store_true")
    s.add_argument("--drop-after", type=int)
    s.add_argument("--close-after-end", action="store_true")
    s.add_argument("--split-at", type=int)
    s.add_argument("--gap", type=float, default=0.0)
    r = sub.add_parser("receive")
    r.add_argument("--dir", required=True)
    r.add_argument("--count", type=int, default=0)
    args = parser.parse_args()
    return send(args) if args.mode == "send" else receive(args)


if __name__ == "__main__":
    sys.exit(main())
