#!/usr/bin/env python3
"""Opening and walking a large report, against `cat` of the file, for one or
two builds in the same run.

A report of a million data lines (about 80 MB, one include-free line of text
and markup each) is made in a private folder; then, by turns so that both
see the same machine, `cat FILE > /dev/null` and `keltool pages FILE` of
each build given are run --runs times. The figures are the medians, the
walk as a multiple of `cat`, and the peak resident memory of the walk as a
multiple of the file's size. The temporary folder of each keltool run is
checked afterwards: a run must leave it as it found it.

Usage: bench/bench_pipeline.py [--lines 1000000] [--runs 5]
                               [--bin build/bin] [--before OTHER/bin]
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import tempfile
import time


def make_report(path, lines):
    with open(path, "wb") as f:
        f.write(b"REPORT_TITLE=large\r\n[HEADER]\r\n{F=arial;S=10}\r\n[DATA]\r\n")
        chunk = []
        for i in range(lines):
            chunk.append(b"{100}line %07d of the large report {B=Y}bold{B=N} text{\\N}\r\n" % i)
            if len(chunk) == 10000:
                f.write(b"".join(chunk))
                chunk = []
        f.write(b"".join(chunk))


def timed(command, env):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return elapsed, max(after.ru_maxrss, before.ru_maxrss) * 1024


def peak_rss(command, env):
    # The peak of one child alone, through /usr/bin/time when it is there.
    if shutil.which("/usr/bin/time"):
        out = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        try:
            return int(out.stderr.strip().splitlines()[-1]) * 1024
        except (ValueError, IndexError):
            return 0
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lines", type=int, default=1000000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--bin", default="build/bin")
    parser.add_argument("--before", help="the bin folder of the build to compare with")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="kel-bench-pipeline-")
    try:
        report = os.path.join(work, "large.kel")
        make_report(report, args.lines)
        size = os.path.getsize(report)
        builds = [("after", os.path.abspath(args.bin))]
        if args.before:
            builds.insert(0, ("before", os.path.abspath(args.before)))
        temps = {}
        envs = {}
        for name, folder in builds:
            temps[name] = os.path.join(work, "tmp-" + name)
            os.makedirs(temps[name])
            envs[name] = dict(os.environ, KEL_HOME=folder, TEMP=temps[name])

        cat, walks, rss = [], {n: [] for n, _ in builds}, {}
        for _ in range(args.runs):
            cat.append(timed(["cat", report], os.environ)[0])
            for name, folder in builds:
                walks[name].append(timed([folder + "/keltool", "pages", report], envs[name])[0])
        for name, folder in builds:
            rss[name] = peak_rss([folder + "/keltool", "pages", report], envs[name])

        cat_s = statistics.median(cat)
        print("report: %d lines, %.1f MB; median of %d runs" % (args.lines, size / 1e6, args.runs))
        print("cat: %.4f s" % cat_s)
        for name, _ in builds:
            walk = statistics.median(walks[name])
            left = sum(len(files) for _, _, files in os.walk(temps[name]))
            print("%s: keltool pages %.3f s = %.1fx cat; peak RSS %.2fx the file; "
                  "%d files left in its temporary folder"
                  % (name, walk, walk / cat_s, rss[name] / size if rss[name] else 0, left))
        if args.before:
            b = statistics.median(walks["before"])
            a = statistics.median(walks["after"])
            print("after / before: %.2f" % (a / b))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
