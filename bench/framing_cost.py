#!/usr/bin/env python3
"""What the receiver's framing costs per file, on 127.0.0.1.

  bench/framing_cost.py [--bin build/bin] [--runs 5]

A Python stop-and-wait sender of the peers' kind (tests/transfer/wirepeer.py)
sends small files into `keltool receive` with the receiver's own quiet time,
against the same sender into `keltool receive --quiet-ms 50` in the same run
(a receiver that takes 50 ms of silence as the end of a message, which
answers half a message when the network splits one). A message shorter than
a block (the file's name, its short last block) waits for the quiet time; a
full block and ".END_OF_FILE" do not. Prints the median time per file and
the difference per file.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PEER = os.path.join(HERE, "..", "tests", "transfer", "wirepeer.py")
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def receiver(bindir, folder, quiet_ms):
    cmd = [os.path.join(bindir, "keltool"), "receive", "--queue", folder, "--port", "0",
           "--address", "127.0.0.1", "--count", "1"]
    if quiet_ms:
        cmd += ["--quiet-ms", str(quiet_ms)]
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return proc, int(proc.stdout.readline().split()[-1])


def one_file(bindir, source, quiet_ms):
    with tempfile.TemporaryDirectory() as out:
        proc, port = receiver(bindir, out, quiet_ms)
        start = time.perf_counter()
        subprocess.run([PYTHON, PEER, "send", "--port", str(port), "--file", source],
                       check=True, stdout=subprocess.DEVNULL)
        took = time.perf_counter() - start
        proc.wait(timeout=60)
        with open(os.path.join(out, os.path.basename(source)), "rb") as f, \
                open(source, "rb") as g:
            if f.read() != g.read():
                sys.exit("benchmark: %s arrived changed" % source)
        return took


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "bin"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        files = {}
        for name, size in (("report.kel", 2000), ("blocks.kel", 1800), ("big.bin", 1 << 20)):
            files[name] = os.path.join(work, name)
            with open(files[name], "wb") as f:
                f.write(os.urandom(size))
        print("seconds per file, median of %d runs" % args.runs)
        print("  %-28s %9s %9s %9s %7s" % ("file", "own", "50 ms", "cost", "ratio"))
        for name, path in files.items():
            own = statistics.median(one_file(args.bin, path, 0) for _ in range(args.runs))
            base = statistics.median(one_file(args.bin, path, 50) for _ in range(args.runs))
            label = "%s (%d bytes)" % (name, os.path.getsize(path))
            print("  %-28s %9.3f %9.3f %9.3f %7.2f" % (label, own, base, own - base, own / base))


if __name__ == "__main__":
    main()
