#!/usr/bin/env python3
"""Delay from a report handed to the console to its PDF, in one run.

A headless console ("kel -H") prints to a "pdf:" printer in a private
folder. Twenty one-page reports (--count) are handed over one at a time,
each once the previous one is printed, in two ways: renamed into the queue
folder (written beside it first), and written in place and closed. The
delay is from the rename, or the close, to the PDF existing; the median of
each is printed.

The same is measured in the same run for a baseline build (--baseline,
e.g. the main branch's build/bin), whose console takes a file only after it
has kept still for one second, and, where a CUPS scheduler with the
cups-pdf queue of tools/cups-setup.sh runs, for `lp` of a PDF of the same
report to that queue (until cups-pdf's file exists). Figures are ratios
against the baseline of this run.

Usage: bench/intake_delay.py [--bin build/bin] [--baseline DIR] [--count 20]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def report(title):
    return ("REPORT_TITLE=%s\r\n[HEADER]\r\n[DATA]\r\n"
            "{F=arial;S=12}%s: one page of the delay benchmark{\\N}\r\n" % (title, title)).encode()


def wait_for(predicate, timeout, step=0.002):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def count_pdfs(folder):
    n = 0
    for _, _, files in os.walk(folder):
        n += sum(1 for f in files if f.endswith(".pdf"))
    return n


class Console:
    """A private installation and its headless console."""

    def __init__(self, bin_dir, root):
        self.bin = os.path.abspath(bin_dir)
        self.root = root
        self.home, self.temp, self.queue, self.out, self.staging = (
            os.path.join(root, d) for d in ("home", "tmp", "queue", "out", "staging"))
        for d in (self.home, self.temp, self.queue, self.out, self.staging):
            os.makedirs(d)
        shutil.copy(os.path.join(self.bin, "KEL.LNG"), self.home)
        with open(os.path.join(self.home, "KEL.INI"), "wb") as f:
            f.write(("PRINT_KEL=Y\r\nKEL_PRINTER=pdf:%s\r\n" % self.out).encode())
        env = dict(os.environ, KEL_HOME=self.home, TEMP=self.temp)
        env.pop("DISPLAY", None)
        self.log = open(os.path.join(root, "stderr.log"), "wb")
        self.process = subprocess.Popen(
            [os.path.join(self.bin, "kel"), "-H", "-P" + self.queue + "/"],
            env=env, stdout=subprocess.DEVNULL, stderr=self.log)
        if not wait_for(lambda: b"kel: 112" in open(self.log.name, "rb").read(), 30):
            raise SystemExit("the console did not start: " + self.log.name)
        time.sleep(0.5)

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()

    def hand_over(self, name, renamed):
        before = count_pdfs(self.out)
        data = report(name)
        if renamed:
            staged = os.path.join(self.staging, name)
            with open(staged, "wb") as f:
                f.write(data)
            os.rename(staged, os.path.join(self.queue, name))
        else:
            with open(os.path.join(self.queue, name), "wb") as f:
                f.write(data)
        start = time.monotonic()
        if not wait_for(lambda: count_pdfs(self.out) > before, 30):
            raise SystemExit("no PDF for " + name + ": " + self.log.name)
        delay = time.monotonic() - start
        wait_for(lambda: not os.path.exists(os.path.join(self.queue, name)), 10)
        time.sleep(0.1)
        return delay


def measure(bin_dir, count, root):
    console = Console(bin_dir, root)
    try:
        return {
            "renamed": statistics.median(
                console.hand_over("r%02d.kel" % i, True) for i in range(count)),
            "in place": statistics.median(
                console.hand_over("w%02d.kel" % i, False) for i in range(count)),
        }, console.out
    finally:
        console.stop()


def lp_delay(pdf, count):
    if shutil.which("lp") is None:
        return None
    state = subprocess.run(["lpstat", "-r"], capture_output=True, text=True)
    queues = subprocess.run(["lpstat", "-p", "KelPDF"], capture_output=True, text=True)
    out = os.environ.get("KEL_CUPS_PDF_DIR", "/var/spool/kel-cups-pdf")
    if "is running" not in state.stdout or queues.returncode != 0 or not os.path.isdir(out):
        return None
    delays = []
    for _ in range(count):
        before = count_pdfs(out)
        start = time.monotonic()
        subprocess.run(["lp", "-d", "KelPDF", pdf], capture_output=True, check=True)
        if not wait_for(lambda: count_pdfs(out) > before, 30):
            return None
        delays.append(time.monotonic() - start)
    return statistics.median(delays)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default="build/bin")
    ap.add_argument("--baseline", default=None, help="a baseline build's bin folder")
    ap.add_argument("--count", type=int, default=20)
    args = ap.parse_args()
    root = tempfile.mkdtemp(prefix="kel-bench-delay-")
    try:
        now, out = measure(args.bin, args.count, os.path.join(root, "now"))
        base = None
        if args.baseline:
            base, _ = measure(args.baseline, args.count, os.path.join(root, "baseline"))
        pdf = os.path.join(out, sorted(f for f in os.listdir(out) if f.endswith(".pdf"))[0])
        lp = lp_delay(pdf, args.count)
        print("delay from hand-over to PDF, median of %d:" % args.count)
        for kind in ("renamed", "in place"):
            line = "  %-9s %.3f s" % (kind, now[kind])
            if base:
                line += "   baseline %.3f s   ratio %.2f" % (base[kind], now[kind] / base[kind])
            if lp:
                line += "   lp %.3f s   ratio to lp %.2f" % (lp, now[kind] / lp)
            print(line)
        if lp is None:
            print("  (no CUPS scheduler with the KelPDF queue: lp not measured)")
        return 0
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
