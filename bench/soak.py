#!/usr/bin/env python3
"""Soak: a headless console killed at random moments, nothing lost or twice.

A headless console ("kel -H") prints to a "pdf:" printer in a private
folder while reports (--count, 500) are handed to it in four ways, a
quarter each: copied in place, written in place in chunks with pauses of
up to 3 s while the writer holds the file open, appended line by line by a
shell script, and renamed in. Meanwhile the console is killed (SIGKILL)
every 3 to 10 s and started again at once. When every report is handed
over the console is left to finish, and the figures are printed: reports
lost (no PDF), printed twice, printed short (a PDF with fewer pages than
the report), and what was left behind (half-written PDFs, working files in
the temporary folder, lock files of dead consoles, files still queued).

Usage: bench/soak.py [--bin build/bin] [--count 500] [--seed N]
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time


def pages_of(title, n):
    lines = ["%s page %d%s\r\n" % (title, i, "{\\NP}" if i < n else "") for i in range(1, n + 1)]
    return "REPORT_TITLE=%s\r\n[HEADER]\r\n[DATA]\r\n" % title, lines


def wait_for(predicate, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


class Soak:
    def __init__(self, bin_dir, root, seed):
        self.bin = os.path.abspath(bin_dir)
        self.rng = random.Random(seed)
        self.home, self.temp, self.queue, self.out, self.staging = (
            os.path.join(root, d) for d in ("home", "tmp", "queue", "out", "staging"))
        for d in (self.home, self.temp, self.queue, self.out, self.staging):
            os.makedirs(d)
        shutil.copy(os.path.join(self.bin, "KEL.LNG"), self.home)
        with open(os.path.join(self.home, "KEL.INI"), "wb") as f:
            f.write(("PRINT_KEL=Y\r\nKEL_PRINTER=pdf:%s\r\n" % self.out).encode())
        self.log = open(os.path.join(root, "stderr.log"), "ab")
        self.process = None
        self.kills = 0
        self.lock = threading.Lock()

    def start(self):
        env = dict(os.environ, KEL_HOME=self.home, TEMP=self.temp)
        env.pop("DISPLAY", None)
        self.process = subprocess.Popen(
            [os.path.join(self.bin, "kel"), "-H", "-P" + self.queue + "/"],
            env=env, stdout=subprocess.DEVNULL, stderr=self.log)

    def kill_and_restart(self):
        with self.lock:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()
            self.kills += 1
            self.start()

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def hand_over(self, i):
        title = "s%04d" % i
        n = self.rng.randint(1, 12)
        header, lines = pages_of(title, n)
        name = os.path.join(self.queue, title + ".kel")
        way = i % 4
        if way == 0:  # copied in place
            staged = os.path.join(self.staging, title)
            with open(staged, "w", newline="") as f:
                f.write(header + "".join(lines))
            shutil.copyfile(staged, name)
        elif way == 1:  # chunks with pauses, held open
            with open(name, "w", newline="") as f:
                f.write(header)
                for k, line in enumerate(lines):
                    f.write(line)
                    f.flush()
                    if k == len(lines) // 2:
                        time.sleep(self.rng.uniform(0, 3))
        elif way == 2:  # shell appends
            script = "printf '%s' >> \"$1\"\n" % header.replace("\r\n", "\\r\\n")
            for line in lines:
                script += "printf '%%s\\r\\n' '%s' >> \"$1\"\n" % line.rstrip("\r\n")
            subprocess.run(["sh", "-c", script, "sh", name], check=True)
        else:  # renamed in
            staged = os.path.join(self.staging, title + ".kel")
            with open(staged, "w", newline="") as f:
                f.write(header + "".join(lines))
            os.rename(staged, name)
        return title, n


def pdf_pages(path):
    info = subprocess.run(["pdfinfo", path], capture_output=True, text=True).stdout
    m = re.search(r"^Pages:\s+(\d+)", info, re.M)
    return int(m.group(1)) if m else -1


def alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default="build/bin")
    ap.add_argument("--count", type=int, default=500)
    ap.add_argument("--writers", type=int, default=8)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    root = tempfile.mkdtemp(prefix="kel-soak-")
    soak = Soak(args.bin, root, args.seed)
    soak.start()
    time.sleep(1)
    expected = {}
    todo = list(range(args.count))
    todo_lock = threading.Lock()
    done = threading.Event()

    def writer():
        pause = random.Random()
        while True:
            with todo_lock:
                if not todo:
                    return
                i = todo.pop(0)
            title, n = soak.hand_over(i)
            with todo_lock:
                expected[title] = n
            time.sleep(pause.uniform(0, 1.5))

    def killer():
        rng = random.Random(args.seed + 1)
        while not done.wait(rng.uniform(3, 10)):
            soak.kill_and_restart()

    began = time.monotonic()
    threads = [threading.Thread(target=writer) for _ in range(args.writers)]
    k = threading.Thread(target=killer)
    k.start()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    done.set()
    k.join()
    queued = lambda: [n for n in os.listdir(soak.queue) if n.lower().endswith(".kel")]
    wait_for(lambda: not queued(), 180)
    time.sleep(2)
    soak.stop()
    elapsed = time.monotonic() - began

    printed = {}
    short = 0
    for name in os.listdir(soak.out):
        if not name.endswith(".pdf"):
            continue
        title = name.split("-")[0]
        printed[title] = printed.get(title, 0) + 1
        if title in expected and pdf_pages(os.path.join(soak.out, name)) != expected[title]:
            short += 1
    lost = sum(1 for t in expected if printed.get(t, 0) == 0)
    twice = sum(1 for t in expected if printed.get(t, 0) > 1)
    parts = [n for n in os.listdir(soak.out) if not n.endswith(".pdf")]
    kel_temp = [d for d in os.listdir(soak.temp) if d.startswith("Kel-")]
    working, dead_locks = [], []
    for d in kel_temp:
        folder = os.path.join(soak.temp, d)
        for n in os.listdir(folder):
            m = re.match(r"instance-(\d+)\.lock$", n)
            if m:
                if not alive(int(m.group(1))):
                    dead_locks.append(n)
            elif n not in ("console.lock", "console.journal", "Temp"):
                working.append(n)
            elif n == "Temp":
                working += ["Temp/" + x for x in os.listdir(os.path.join(folder, n))]
    left = os.listdir(soak.queue)
    print("soak: %d reports, %d kills, %.0f s" % (len(expected), soak.kills, elapsed))
    print("  lost %d, printed twice %d, printed short %d" % (lost, twice, short))
    print("  left: %d half-written PDFs, %d working files, %d dead locks, %d queued" % (
        len(parts), len(working), len(dead_locks), len(left)))
    for what, names in (("half-written", parts), ("working", working), ("queued", left)):
        if names:
            print("   %s: %s" % (what, " ".join(sorted(names)[:10])))
    print("  (log: %s)" % soak.log.name)
    soak.log.close()
    if lost == 0 and twice == 0 and short == 0:
        shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
