#!/usr/bin/env python3
"""Peak memory of walking every page of a 1,000,000-line report.

Usage: bench/peak_rss.py BUILD/bin/keltool

Runs "keltool pages" on the report (written once into the system's
temporary folder, the same lines bench_render uses) and prints its peak
resident memory against the size of the report, with two baselines of the
same run: keltool on a one-line report (what the program costs before any
report) and a plain read of the whole file into memory.
"""
import os
import subprocess
import sys
import tempfile

LINES = 1_000_000


def report_path():
    folder = os.path.join(tempfile.gettempdir(), "kel-bench-rss")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, f"big-{LINES}.kel")
    if not os.path.exists(path):
        with open(path, "wb") as out:
            out.write(b"REPORT_TITLE=bench\r\nLM=720\r\nTM=720\r\n[HEADER]\r\n"
                      b"{F=arial;S=9}\r\n[DATA]\r\n")
            for i in range(LINES):
                out.write(f"{{300}}Customer {i}{{3000}}Invoice 2026-{i % 997}"
                          f"{{6000;A=R}}1250.00{{B=Y;7000}}{i % 50}{{B=N;\\N}}\r\n"
                          .encode())
    return path


def peak_kib(args):
    child = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{' '.join(args)} failed ({child.returncode})")
    return usage.ru_maxrss


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    keltool = sys.argv[1]
    report = report_path()
    size = os.path.getsize(report) / 1024
    with tempfile.TemporaryDirectory() as folder:
        tiny = os.path.join(folder, "tiny.kel")
        with open(tiny, "wb") as out:
            out.write(b"[HEADER]\r\n[DATA]\r\none line\r\n")
        empty = peak_kib([keltool, "pages", tiny])
    walked = peak_kib([keltool, "pages", report])
    read = peak_kib([sys.executable, "-c", f"open({report!r}, 'rb').read()"])
    mib = 1024
    print(f"report            {size / mib:8.1f} MiB")
    print(f"keltool pages     {walked / mib:8.1f} MiB  {walked / size:5.2f} x the report")
    print(f"  one-line report {empty / mib:8.1f} MiB  (the program alone)")
    print(f"  plain read      {read / mib:8.1f} MiB  {read / size:5.2f} x the report")


if __name__ == "__main__":
    main()
