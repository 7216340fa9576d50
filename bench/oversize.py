#!/usr/bin/env python3
"""Refusing what can never be accepted, against opening a normal report.

    bench/oversize.py [BUILD_DIR]   (default: build)

Runs `keltool settings` (which opens a document as the viewer does) in a
process of its own on a 2 GB sparse report, which is refused with 141, and on
a 1 MB report, which is opened: the baseline of the same run. Prints the
median wall time and the peak resident memory of each, and their ratios.
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 5


def measure(keltool, path, env):
    """Median seconds, largest peak RSS in MiB, the last exit code and stderr."""
    times, peaks, code, err = [], [], None, b""
    for _ in range(RUNS):
        start = time.perf_counter()
        proc = subprocess.Popen([keltool, "settings", path], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        err = proc.stderr.read()
        _, status, usage = os.wait4(proc.pid, 0)
        times.append(time.perf_counter() - start)
        peaks.append(usage.ru_maxrss / 1024)
        code = os.waitstatus_to_exitcode(status)
        proc.stderr.close()
    return statistics.median(times), max(peaks), code, err.decode("cp1252").strip()


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    keltool = os.path.abspath(os.path.join(build, "bin", "keltool"))
    with tempfile.TemporaryDirectory(prefix="kel-oversize-") as work:
        env = dict(os.environ, TEMP=os.path.join(work, "tmp"),
                   KEL_HOME=os.path.dirname(keltool))
        os.mkdir(env["TEMP"])

        normal = os.path.join(work, "normal.kel")
        with open(normal, "wb") as f:
            f.write(b"REPORT_TITLE=bench\r\n[HEADER]\r\n{F=arial;S=9}\r\n[DATA]\r\n")
            line = 0
            while f.tell() < 1 << 20:
                f.write(b"{300}Customer %d{3000}Invoice{6000;A=R}1250.00{\\N}\r\n" % line)
                line += 1
        sparse = os.path.join(work, "sparse.kel")
        with open(sparse, "wb") as f:
            f.truncate(2 << 30)

        base_t, base_m, base_code, _ = measure(keltool, normal, env)
        big_t, big_m, big_code, big_err = measure(keltool, sparse, env)

    print(f"{'document':<28}{'exit':>6}{'time (ms)':>12}{'peak RSS (MiB)':>17}")
    print(f"{'1 MB report (baseline)':<28}{base_code:>6}{base_t * 1000:>12.1f}{base_m:>17.1f}")
    print(f"{'2 GB sparse report':<28}{big_code:>6}{big_t * 1000:>12.1f}{big_m:>17.1f}")
    print(f"the sparse report: {big_err}")
    print(f"ratio to the baseline: time {big_t / base_t:.2f}x, peak RSS {big_m / base_m:.2f}x "
          f"(median of {RUNS} runs each, same run)")


if __name__ == "__main__":
    main()
