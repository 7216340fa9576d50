#!/usr/bin/env python3
"""The speed goals of the printing path, each against its peer or floor in
the same run.

Usage: bench/speed_table.py [--runs N] [--base OLD/bin/keltool] BUILD/bin/keltool

Every figure is the median processor time (user and system, of the child
and its children) of N runs (default 5), which the machine's other load
inflates less than the wall clock; a ratio divides two figures of the same
run. With --base, an older keltool (say, built from the commit before a
change) is measured beside the new one, each run interleaved with the
other and the peer, so "before" and "after" see the same machine.

The rows:
  listing to PDF     keltool pdf of a 200,000-line listing whose form feeds
                     stand on lines of their own (3,334 pages), against
                     cups-filters' texttopdf of the same listing
  PDF size           that PDF against gzip -6 of the listing's text
  markup to PDF      keltool pdf of a 1,000-page report of boxes, circles,
                     barcodes, a picture and five fonts, against keltool
                     pages (the walk alone) of the same report
  walk 1M lines      keltool pages of a 1,000,000-line report against cat
                     of the file; peak memory against the file's size
  render page 5,000  keltool render of page 5,000 of that report against
                     pdftoppm -r 96 of the same page of our own PDF of it

The inputs are written once into the system's temporary folder and kept.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

FOLDER = os.path.join(tempfile.gettempdir(), "kel-bench-speed")
TEXTTOPDF = "/usr/lib/cups/filter/texttopdf"


def listing_path():
    path = os.path.join(FOLDER, "listing-200000-ff.txt")
    if not os.path.exists(path):
        with open(path, "wb") as out:
            for i in range(200_000):
                if i % 60 == 59:  # a form feed on a line of its own
                    out.write(b"\f\r\n")
                    continue
                out.write(f"  {100000 + i}  Customer {{{i}}}   Invoice 2026-{i % 997}"
                          "        1250.00   caf\xe9\r\n".encode("cp1252"))
    return path


def png(path, width, height):
    """A small picture of coloured stripes, written without any library."""
    rows = b"".join(b"\0" + b"".join(bytes((x * 4 % 256, y * 8 % 256, 128)) for x in range(width))
                    for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(rows, 6)))
        out.write(chunk(b"IEND", b""))


def markup_path():
    path = os.path.join(FOLDER, "markup-1000.kel")
    if not os.path.exists(path):
        png(os.path.join(FOLDER, "logo.png"), 64, 32)
        lines = ["REPORT_TITLE=bench markup", "LM=720", "TM=720", "SPACING=280",
                 "COMMON={9000;A=R;S=8}Page {PAG}{A=L;S=10}", "[HEADER]",
                 "{F=arial;S=10}{PIC=logo.png,8000,0,1200,600}", "[DATA]"]
        for page in range(1000):
            lines.append("{F=arial;S=16;B=Y}Monthly sales report{B=N;S=10}{\\N;\\N}")
            lines.append("{C=225,230,240;BOXF=0,1180,9400,1480;C=0;W=1;BOX=0,1180,9400,1480}")
            lines.append("{300;B=Y}Customer{6000;A=R}Quantity{9000;A=R}Amount{A=L;B=N}{\\N}")
            for row in range(30):
                n = page * 30 + row
                lines.append(f"{{F=times new roman;300}}Customer {n}{{F=courier new;6000;A=R}}"
                             f"{n % 97}{{F=arial;9000;A=R}}{n % 1000}.50{{A=L}}{{\\N}}")
            lines.append("{LINE=300,9000}{\\N}")
            lines.append("{300;I=Y}Total{I=N;9000;A=R;B=Y}1648.70{A=L;B=N}{\\N;\\N}")
            lines.append("{300;CIRCLE=0,0,0}Delivered on time{\\N}")
            lines.append("{300;CIRCLE=0,0,0}Invoices sent on the 9th{\\N;\\N}")
            lines.append(f"{{300;BAR}}KEL-{page:05d}{{NOBAR}}{{\\N;\\N}}")
            lines.append("{\\NP}")
        with open(path, "wb") as out:
            out.write(("\r\n".join(lines) + "\r\n").encode("cp1252"))
    return path


def big_path():
    path = os.path.join(FOLDER, "big-1000000.kel")
    if not os.path.exists(path):
        with open(path, "wb") as out:
            out.write(b"REPORT_TITLE=bench\r\nLM=720\r\nTM=720\r\n[HEADER]\r\n"
                      b"{F=arial;S=9}\r\n[DATA]\r\n")
            for i in range(1_000_000):
                out.write(f"{{300}}Customer {i}{{3000}}Invoice 2026-{i % 997}"
                          f"{{6000;A=R}}1250.00{{B=Y;7000}}{i % 50}{{B=N;\\N}}\r\n".encode())
    return path


def home_for(keltool, label):
    """A program folder of the tool's own language file and a KEL.INI that
    converts listings in Courier New 9 on A4."""
    home = os.path.join(FOLDER, "home-" + label)
    os.makedirs(home, exist_ok=True)
    shutil.copy(os.path.join(os.path.dirname(keltool), "KEL.LNG"), home)
    with open(os.path.join(home, "KEL.INI"), "wb") as out:
        out.write(b"TXT_ORIENTATION=PORTRAIT\r\nTXT_LENGTH=16840\r\nTXT_WIDTH=11907\r\n"
                  b"TXT_FONTNAME=Courier New\r\nTXT_FONTSIZE=9\r\n")
    return home


def run(args, env=None, stdout=subprocess.DEVNULL):
    """Processor seconds and peak KiB of one run of a command."""
    child = subprocess.Popen(args, stdout=stdout, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(child.pid, 0)
    errors = child.stderr.read()
    child.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(args)} failed: {errors.decode(errors='replace')}")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


class Tool:
    def __init__(self, keltool, label):
        self.keltool = keltool
        self.label = label
        self.env = dict(os.environ, KEL_HOME=home_for(keltool, label),
                        QT_QPA_PLATFORM="offscreen")
        scratch = os.path.join(FOLDER, "tmp-" + label)
        os.makedirs(scratch, exist_ok=True)
        self.env["TMPDIR"] = self.env["TEMP"] = self.env["TMP"] = scratch

    def __call__(self, *args):
        return run([self.keltool, *args], env=self.env)


def pdf_pages(path):
    info = subprocess.run(["pdfinfo", path], capture_output=True, text=True).stdout
    for line in info.splitlines():
        if line.startswith("Pages:"):
            return int(line.split()[1])
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("keltool")
    parser.add_argument("--base", help="an older keltool to measure beside it")
    parser.add_argument("--runs", type=int, default=5)
    options = parser.parse_args()
    os.makedirs(FOLDER, exist_ok=True)
    tools = [Tool(os.path.abspath(options.keltool), "after")]
    if options.base:
        tools.insert(0, Tool(os.path.abspath(options.base), "before"))
    listing, markup, big = listing_path(), markup_path(), big_path()
    out = lambda name: os.path.join(FOLDER, name)
    big_pdf = out("big-1000000.pdf")
    if not os.path.exists(big_pdf):
        tools[-1]("pdf", big, "-o", big_pdf)

    # name -> list of seconds; each repetition runs every command once.
    times = {}
    rss = {}

    def measure(name, action):
        seconds, peak = action()
        times.setdefault(name, []).append(seconds)
        rss[name] = max(rss.get(name, 0), peak)

    have_texttopdf = os.access(TEXTTOPDF, os.X_OK)
    for _ in range(options.runs):
        for t in tools:
            measure(f"{t.label} listing pdf",
                    lambda: t("pdf", listing, "-o", out(f"listing-{t.label}.pdf")))
            measure(f"{t.label} markup pdf",
                    lambda: t("pdf", markup, "-o", out(f"markup-{t.label}.pdf")))
            measure(f"{t.label} markup pages", lambda: t("pages", markup))
            measure(f"{t.label} big pages", lambda: t("pages", big))
            measure(f"{t.label} big render",
                    lambda: t("render", big, "--page", "5000", "-o", out(f"p5000-{t.label}.png")))
        if have_texttopdf:
            with open(out("listing-texttopdf.pdf"), "wb") as pdf:
                measure("texttopdf", lambda: run([TEXTTOPDF, "1", "bench", "listing", "1", "",
                                                  listing], stdout=pdf))
        with open(out("listing.txt.gz"), "wb") as gz:
            measure("gzip -6", lambda: run(["gzip", "-6", "-c", listing], stdout=gz))
        measure("cat", lambda: run(["cat", big]))
        measure("pdftoppm", lambda: run(["pdftoppm", "-r", "96", "-f", "5000", "-l", "5000",
                                         "-png", big_pdf, out("pdftoppm")]))

    t = {name: median(v) for name, v in times.items()}
    gz = os.path.getsize(out("listing.txt.gz"))
    big_size = os.path.getsize(big)
    print(f"median of {options.runs} runs, processor seconds (user + system)")
    if have_texttopdf:
        print(f"texttopdf {t['texttopdf']:.3f} s, "
              f"{pdf_pages(out('listing-texttopdf.pdf'))} pages, "
              f"{os.path.getsize(out('listing-texttopdf.pdf')) / 1e6:.2f} MB")
    print(f"gzip -6 of the listing {t['gzip -6']:.3f} s, {gz / 1e6:.2f} MB")
    print(f"cat of the 1M-line report {t['cat']:.3f} s, {big_size / 1e6:.1f} MB")
    print(f"pdftoppm -r 96 of page 5000 {t['pdftoppm']:.3f} s")
    for tool in tools:
        n = tool.label
        listing_pdf = out(f"listing-{n}.pdf")
        print(f"\n{n}: {tool.keltool}")
        if have_texttopdf:
            print(f"  listing to PDF    {t[n + ' listing pdf']:.3f} s  "
                  f"{t[n + ' listing pdf'] / t['texttopdf']:.2f}x texttopdf  "
                  f"({pdf_pages(listing_pdf)} pages)")
        size = os.path.getsize(listing_pdf)
        print(f"  PDF size          {size / 1e6:.2f} MB  {size / gz:.2f}x gzip -6 of the text")
        print(f"  markup to PDF     {t[n + ' markup pdf']:.3f} s  "
              f"{t[n + ' markup pdf'] / t[n + ' markup pages']:.2f}x its walk "
              f"({t[n + ' markup pages']:.3f} s, {pdf_pages(out(f'markup-{n}.pdf'))} pages)")
        print(f"  walk 1M lines     {t[n + ' big pages']:.3f} s  "
              f"{t[n + ' big pages'] / t['cat']:.1f}x cat  peak "
              f"{rss[n + ' big pages'] * 1024 / big_size:.2f}x the file")
        print(f"  render page 5000  {t[n + ' big render']:.3f} s  "
              f"{t[n + ' big render'] / t['pdftoppm']:.2f}x pdftoppm")


if __name__ == "__main__":
    main()
