#!/usr/bin/env python3
"""Writes a man page from the parts of the README marked for it, so the
README and the man pages are one text and cannot drift apart.

    manpage.py README.md NAME.SECTION OUT

A part begins with a line
    <!-- man NAME.SECTION "what it is, in a few words" -->
and ends with <!-- /man -->; several parts for one page are joined in
their order. The Markdown of the README is the small subset it uses:
headings (## and ###), paragraphs, fenced code blocks, tables, "- " lists,
`code`, **bold**, [text](address) and HTML comments, which are dropped.
"""
import datetime
import os
import re
import sys

MARK = re.compile(r'<!-- man (\S+)\.(\d) "([^"]*)" -->')
END = '<!-- /man -->'


def escape(text):
    """Roff text: backslashes shown as such, no line starting a request."""
    text = text.replace('\\', '\\e')
    return text


def inline(text):
    out = []
    pos = 0
    for m in re.finditer(r'`([^`]*)`|\*\*([^*]+)\*\*|\[([^\]]+)\]\(([^)]+)\)', text):
        out.append(escape(m.string[pos:m.start()]))
        if m.group(1) is not None:
            out.append('\\fB' + escape(m.group(1)).replace('-', '\\-') + '\\fR')
        elif m.group(2) is not None:
            out.append('\\fB' + escape(m.group(2)) + '\\fR')
        else:
            out.append(escape(m.group(3)))
        pos = m.end()
    out.append(escape(text[pos:]))
    return ''.join(out)


def guard(line):
    """A text line that would read as a request or a comment is guarded."""
    if line.startswith(('.', "'")):
        return '\\&' + line
    return line


def wrap(line, width=78):
    """Text lines of at most `width` bytes, broken at blanks (a line end is
    a blank to roff in fill mode)."""
    out = []
    while len(line) > width:
        cut = line.rfind(' ', 0, width)
        if cut <= 0:
            cut = line.find(' ', width)
            if cut < 0:
                break
        out.append(guard(line[:cut]))
        line = line[cut + 1:]
    out.append(guard(line))
    return out


def cells(row):
    return [c.strip() for c in row.strip().strip('|').split('|')]


def convert(lines):
    out = []
    i = 0
    paragraph = []

    def para():
        # A heading already starts a paragraph.
        if not out or not out[-1].startswith(('.SH', '.SS')):
            out.append('.PP')

    def flush():
        if paragraph:
            para()
            out.extend(wrap(inline(' '.join(paragraph))))
            paragraph.clear()

    while i < len(lines):
        line = lines[i]
        stripped = line.strip()
        if stripped.startswith('<!--'):
            flush()
            while '-->' not in lines[i]:
                i += 1
            i += 1
            continue
        if stripped.startswith('```'):
            flush()
            para()
            out.append('.RS 4')
            out.append('.nf')
            i += 1
            while not lines[i].strip().startswith('```'):
                code = escape(lines[i].rstrip()).replace('-', '\\-')
                out.append(guard(code) if code else '')
                i += 1
            out.append('.fi')
            out.append('.RE')
            i += 1
            continue
        if stripped.startswith('### '):
            flush()
            out.append('.SS ' + inline(stripped[4:]))
            i += 1
            continue
        if stripped.startswith('## '):
            flush()
            out.append('.SH ' + inline(stripped[3:]).upper())
            i += 1
            continue
        if stripped.startswith('|'):
            flush()
            rows = []
            while i < len(lines) and lines[i].strip().startswith('|'):
                rows.append(cells(lines[i]))
                i += 1
            # The header and its rule: each later row is a tagged paragraph,
            # the first cell its tag and the others its text.
            # The last cell is the text; cells between the tag and it are
            # added in parentheses under their header ("(default: 0)").
            header = rows[0]
            for row in rows[2:]:
                out.append('.TP')
                out.append('\\fB' + inline(row[0]).replace('\\fB', '').replace('\\fR', '') +
                           '\\fR')
                text = inline(row[-1]) if len(row) > 1 else ''
                for name, cell in zip(header[1:-1], row[1:-1]):
                    text += ' (%s: %s)' % (inline(name), inline(cell))
                out.extend(wrap(text.strip()) if text.strip() else ['\\&'])
            continue
        if stripped.startswith('- '):
            flush()
            out.append('.IP \\(bu 2')
            item = [stripped[2:]]
            i += 1
            while i < len(lines) and lines[i].startswith('  ') and lines[i].strip():
                item.append(lines[i].strip())
                i += 1
            out.extend(wrap(inline(' '.join(item))))
            continue
        if not stripped:
            flush()
            i += 1
            continue
        paragraph.append(stripped)
        i += 1
    flush()
    # An empty line inside a code block would read as a blank-line request.
    return ['.sp' if l == '' else l for l in out]


def main():
    readme, page, target = sys.argv[1:4]
    name, section = page.rsplit('.', 1)
    text = open(readme, encoding='utf-8').read().split('\n')
    body = []
    title = None
    inside = False
    for line in text:
        m = MARK.search(line)
        if m and m.group(1) == name and m.group(2) == section:
            inside = True
            title = m.group(3)
            continue
        if inside and line.strip() == END:
            inside = False
            continue
        if inside:
            body.append(line)
    if inside:
        sys.exit(f'{readme}: the part for {page} has no end mark')
    if title is None:
        sys.exit(f'{readme}: no part is marked for {page}')
    # The date of the README's last change keeps the page reproducible.
    stamp = datetime.datetime.fromtimestamp(
        int(os.environ.get('SOURCE_DATE_EPOCH', os.path.getmtime(readme))),
        datetime.timezone.utc)
    head = [
        '.TH %s %s %s "Kel Printing System 2.2"' %
        (name.upper().replace('.', '\\&.'), section, stamp.strftime('%Y-%m-%d')),
        '.SH NAME',
        '%s \\- %s' % (escape(name).replace('-', '\\-'), escape(title)),
    ]
    with open(target, 'w', encoding='ascii') as f:
        f.write('\n'.join(head + convert(body)) + '\n')


if __name__ == '__main__':
    main()
