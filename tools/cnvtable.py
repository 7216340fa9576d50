#!/usr/bin/env python3
"""Writes a conversion table (.cnv) from a DOS code page to the system's
code page (Windows-1252), with the mapping taken from iconv.

    cnvtable.py CODEPAGE OUT.cnv        (CODEPAGE: CP437, CP850, ...)

Codes 128 to 255 of CODEPAGE are decoded by iconv and encoded again into
Windows-1252 by iconv. A character Windows-1252 lacks becomes its nearest
drawing in ASCII when it is a box-drawing or shade character (DOS listings
draw frames with them), else "?".

The console applies a table's entries one after another to each line, so a
character one entry produced would be converted again by a later entry
whose source it is. The entries are therefore ordered so that an entry
comes after every entry whose source is its target, and the result is
checked code by code against the mapping.
"""
import subprocess
import sys

SYSTEM = 'WINDOWS-1252'


def iconv(data, source, target):
    run = subprocess.run(['iconv', '-f', source, '-t', target], input=data,
                         capture_output=True)
    if run.returncode != 0:
        return None
    return run.stdout


def fallback(char):
    code = ord(char)
    if 0x2500 <= code <= 0x257F:
        name_parts = {
            '\u2500': '-', '\u2501': '-', '\u2550': '=',
            '\u2502': '|', '\u2503': '|', '\u2551': '|',
        }
        return name_parts.get(char, '+')
    if 0x2580 <= code <= 0x259F:
        return '#'
    return '?'


def mapping(codepage):
    decoded = iconv(bytes(range(128, 256)), codepage, 'UTF-8')
    if decoded is None:
        sys.exit(f'iconv does not know the code page {codepage}')
    chars = decoded.decode('utf-8')
    if len(chars) != 128:
        sys.exit(f'iconv decoded {len(chars)} characters of {codepage}, not 128')
    table = {}
    for source, char in zip(range(128, 256), chars):
        encoded = iconv(char.encode('utf-8'), 'UTF-8', SYSTEM)
        if encoded is None or len(encoded) != 1:
            encoded = fallback(char).encode('ascii')
        if encoded[0] != source:
            table[source] = encoded[0]
    return table


def ordered(table, codepage):
    """Entries (source, target) in an order where no entry's output is the
    source of a later entry."""
    entries = []
    left = dict(table)
    while left:
        # An entry whose target no remaining entry takes as its source can
        # go now: nothing after it touches what it writes.
        ready = [s for s, t in left.items() if t not in left]
        if not ready:
            sys.exit(f'{codepage}: its codes form a cycle that a table cannot express')
        for s in sorted(ready):
            entries.append((s, left.pop(s)))
    # What the console will do with the table, code by code, must be the
    # mapping itself.
    for code in range(256):
        c = code
        for s, t in entries:
            if c == s:
                c = t
        if c != table.get(code, code):
            sys.exit(f'{codepage}: the ordered table turns {code} into {c}')
    return entries


def main():
    codepage, target = sys.argv[1:3]
    entries = ordered(mapping(codepage), codepage)
    lines = [
        f'# {codepage} (DOS) to Windows-1252, written from iconv at build time.',
        '# SOURCE=TARGET, decimal codes; the entries apply in this order.',
    ]
    lines += [f'{source}={code}' for source, code in entries]
    if len(entries) > 255:
        sys.exit(f'{codepage}: {len(entries)} entries, more than a table holds')
    with open(target, 'w', encoding='ascii', newline='') as f:
        f.write('\r\n'.join(lines) + '\r\n')


if __name__ == '__main__':
    main()
