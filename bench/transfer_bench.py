#!/usr/bin/env python3
"""Benchmark of the TCP transfer between consoles, on 127.0.0.1.

  bench/transfer_bench.py [--bin build/bin] [--size-mb 10] [--runs 5]

Prints the median time of each pair and the ratios against the baselines
measured in the same run:

  receive:  a Python stop-and-wait sender into `keltool receive`, against the
            same sender into a Python stop-and-wait receiver;
  send:     `keltool send` into `keltool receive`, against `nc` into `nc`
            (a plain stream, no protocol: the floor of the loopback).

The Python peer is tests/transfer/wirepeer.py, written from the wire format
alone. Build RelWithDebInfo for meaningful figures.
"""
import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PEER = os.path.join(HERE, "..", "tests", "transfer", "wirepeer.py")
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def start_listener(cmd):
    """Starts a receiver that prints its port on its first line."""
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline().split()
    return proc, int(line[-1])


def python_receiver(folder):
    return start_listener([PYTHON, PEER, "receive", "--dir", folder, "--count", "1"])


def kel_receiver(bindir, folder):
    return start_listener([os.path.join(bindir, "keltool"), "receive", "--queue", folder,
                           "--port", "0", "--address", "127.0.0.1", "--count", "1"])


def timed(sender_cmd, receiver):
    start = time.perf_counter()
    subprocess.run(sender_cmd, check=True, stdout=subprocess.DEVNULL)
    receiver.wait(timeout=120)
    return time.perf_counter() - start


def check(path, expected):
    with open(path, "rb") as f:
        if f.read() != expected:
            sys.exit("benchmark: %s arrived changed" % path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "bin"))
    parser.add_argument("--size-mb", type=int, default=10)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    if not shutil.which("nc"):
        sys.exit("benchmark: nc (netcat-openbsd) is needed for the baseline")

    work = tempfile.mkdtemp(prefix="kel-bench-")
    try:
        data = os.urandom(args.size_mb * 1024 * 1024)
        source = os.path.join(work, "big.bin")
        with open(source, "wb") as f:
            f.write(data)
        times = {"python->python": [], "python->kel": [], "nc->nc": [], "kel->kel": []}
        for run in range(args.runs):
            out = tempfile.mkdtemp(dir=work)

            receiver, port = python_receiver(out)
            times["python->python"].append(
                timed([PYTHON, PEER, "send", "--port", str(port), "--file", source], receiver))
            check(os.path.join(out, "big.bin"), data)
            os.remove(os.path.join(out, "big.bin"))

            receiver, port = kel_receiver(args.bin, out)
            times["python->kel"].append(
                timed([PYTHON, PEER, "send", "--port", str(port), "--file", source], receiver))
            check(os.path.join(out, "big.bin"), data)
            os.remove(os.path.join(out, "big.bin"))

            port = free_port()
            target = open(os.path.join(out, "nc.bin"), "wb")
            receiver = subprocess.Popen(["nc", "-l", "127.0.0.1", str(port)], stdout=target)
            time.sleep(0.2)
            with open(source, "rb") as f:
                start = time.perf_counter()
                subprocess.run(["nc", "-N", "127.0.0.1", str(port)], stdin=f, check=True)
                receiver.wait(timeout=120)
                times["nc->nc"].append(time.perf_counter() - start)
            target.close()
            check(os.path.join(out, "nc.bin"), data)

            receiver, port = kel_receiver(args.bin, out)
            times["kel->kel"].append(
                timed([os.path.join(args.bin, "keltool"), "send", source, "--to",
                       "127.0.0.1:%d" % port], receiver))
            check(os.path.join(out, "big.bin"), data)
            shutil.rmtree(out)

        median = {k: statistics.median(v) for k, v in times.items()}
        print("%d MB over 127.0.0.1, median of %d runs" % (args.size_mb, args.runs))
        for k, v in median.items():
            print("  %-15s %7.3f s" % (k, v))
        print("receive: keltool receive / Python receiver = %.2f (goal <= 1.5)"
              % (median["python->kel"] / median["python->python"]))
        print("send:    keltool send+receive / nc = %.1f"
              % (median["kel->kel"] / median["nc->nc"]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
