#!/usr/bin/env python3
"""The print server console under load, against keltool in the same run.

1,000 one-page reports (--count) are dropped into the queue folder of a
headless console ("kel -H") at once and printed to a "pdf:" printer; the
same files are also printed with "keltool pdf", one process per report, as
the baseline. Then single reports are dropped one at a time into the idle
console to measure the delay from a file being complete (its last byte
written) to its PDF existing; that delay includes the console's settling
time, the one second a file must keep still before it is taken.

Everything runs in a private folder (KEL_HOME with KEL.INI and the build's
KEL.LNG, TEMP, the queue and the printer's folder) that is removed at the
end. Usage: bench/bench_console.py [--bin build/bin] [--count 1000]
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time


def report(title):
    return ("REPORT_TITLE=%s\r\n[HEADER]\r\n[DATA]\r\n"
            "{F=arial;S=12}%s: one page of the console benchmark{\\N}\r\n"
            "{B=Y}total{B=N} 1,234.56{\\N}\r\n" % (title, title)).encode()


def pdfs(folder):
    return [n for n in os.listdir(folder) if n.endswith(".pdf")]


def wait_for(predicate, timeout, step=0.005):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default="build/bin")
    ap.add_argument("--count", type=int, default=1000)
    ap.add_argument("--singles", type=int, default=20)
    args = ap.parse_args()
    bin_dir = os.path.abspath(args.bin)
    root = tempfile.mkdtemp(prefix="kel-bench-console-")
    home, temp, queue, out, staging, base_out = (
        os.path.join(root, d) for d in ("home", "tmp", "queue", "out", "staging", "keltool"))
    for d in (home, temp, queue, out, staging, base_out):
        os.makedirs(d)
    shutil.copy(os.path.join(bin_dir, "KEL.LNG"), home)
    with open(os.path.join(home, "KEL.INI"), "wb") as f:
        f.write(("PRINT_KEL=Y\r\nPRINT_KEZ=Y\r\nPRINT_TXT=Y\r\nKEL_PRINTER=pdf:%s\r\n" % out).encode())
    env = dict(os.environ, KEL_HOME=home, TEMP=temp, QT_QPA_PLATFORM="offscreen")
    env.pop("DISPLAY", None)

    names = ["r%05d.kel" % i for i in range(args.count)]
    for n in names:
        with open(os.path.join(staging, n), "wb") as f:
            f.write(report(n[:-4]))

    # Baseline: keltool pdf, one process per report, on the same files.
    start = time.monotonic()
    for n in names:
        subprocess.run([os.path.join(bin_dir, "keltool"), "pdf", os.path.join(staging, n),
                        "-o", os.path.join(base_out, n + ".pdf")],
                       env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    keltool_seconds = time.monotonic() - start

    log = open(os.path.join(root, "console.log"), "wb")
    console = subprocess.Popen([os.path.join(bin_dir, "kel"), "-H", "-P" + queue],
                               env=env, stdout=log, stderr=log)
    try:
        # Ready once its start-up line is written.
        if not wait_for(lambda: os.path.getsize(log.name) > 0, 30):
            sys.exit("the console did not start")
        time.sleep(0.5)

        # All at once: each file is complete in the staging folder and moved
        # in by a rename, the way a careful sender drops a report.
        dropped = time.monotonic()
        for n in names:
            os.rename(os.path.join(staging, n), os.path.join(queue, n))
        moved = time.monotonic()
        first = None
        while len(pdfs(out)) < args.count:
            if first is None and pdfs(out):
                first = time.monotonic()
            if console.poll() is not None:
                sys.exit("the console ended: see " + log.name)
            if time.monotonic() - dropped > 600:
                sys.exit("timed out after %d PDFs" % len(pdfs(out)))
            time.sleep(0.01)
        done = time.monotonic()
        batch_seconds = done - dropped
        printing_seconds = done - first

        # Single reports into the idle console: complete at once, then timed
        # until their PDF exists.
        delays = []
        for i in range(args.singles):
            name = "single%03d.kel" % i
            path = os.path.join(staging, name)
            with open(path, "wb") as f:
                f.write(report(name[:-4]))
            before = len(pdfs(out))
            t = time.monotonic()
            os.rename(path, os.path.join(queue, name))
            if not wait_for(lambda: len(pdfs(out)) > before, 30):
                sys.exit("no PDF for " + name)
            delays.append(time.monotonic() - t)
            time.sleep(0.2)
    finally:
        console.send_signal(signal.SIGTERM)
        try:
            console.wait(30)
        except subprocess.TimeoutExpired:
            console.kill()
        log.close()

    per_keltool = keltool_seconds / args.count
    per_console = printing_seconds / max(1, args.count - 1)
    print("reports: %d one-page reports, pdf: printer" % args.count)
    print("keltool pdf, one process per report: %.1f s, %.1f reports/s" %
          (keltool_seconds, args.count / keltool_seconds))
    print("console, dropped at once to last PDF: %.1f s (drop took %.2f s), %.1f reports/s" %
          (batch_seconds, moved - dropped, args.count / batch_seconds))
    print("console, first PDF to last PDF: %.1f s, %.1f reports/s, %.1fx keltool's rate" %
          (printing_seconds, 1 / per_console, per_keltool / per_console))
    print("delay from a complete file to its PDF, idle console, %d files: "
          "median %.3f s, max %.3f s (1.000 s of it is the settling time)" %
          (len(delays), statistics.median(delays), max(delays)))
    print("the same report through keltool pdf: %.3f s each" % per_keltool)
    shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
