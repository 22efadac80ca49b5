#!/usr/bin/env python3
"""korvane-cli print read back by independent readers: pdftotext -bbox gives the
words of every page with their places, qpdf --check the file's structure. Every
real table and generated tables with every field type are printed; every page
must carry "Page n" and the column header, every record must be one line of one
page, in order, and each cell must equal korvane-cli dump: integers exactly,
numbers to the digits shown, text a prefix where the cell cuts it, nulls empty.
Saved report files are walked by a reader written from the file's tables, and a
loaded file prints the same page texts."""

import html
import math
import os
import re
import signal
import struct
import subprocess
import sys
import tempfile
import time

from korvane_checks import all_tables, check, parse_args, report
import korvane_checks
from test_export_text import dump, dump_text, table_info

INTEGERS = ("Smallint", "Integer", "AutoInc", "Word")
NUMBERS = ("Float", "Currency", "BCD")
WORD = re.compile(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">(.*?)</word>')


def run(cli, *args, timeout=600):
    return korvane_checks.run(cli, *args, timeout=timeout)


def pdf_pages(pdf):
    """Per page, its lines top to bottom; a line is a list of (xMin, text) words."""
    r = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, timeout=300)
    if r.returncode != 0:
        return None
    pages = []
    for chunk in r.stdout.decode("utf-8").split("<page ")[1:]:
        words = [(float(m.group(1)), float(m.group(2)), html.unescape(m.group(5)))
                 for m in WORD.finditer(chunk)]
        lines = []
        for x, y, t in sorted(words, key=lambda w: (w[1], w[0])):
            if lines and abs(lines[-1][0] - y) < 1.0:
                lines[-1][1].append((x, t))
            else:
                lines.append([y, [(x, t)]])
        pages.append([sorted(ws) for _, ws in lines])
    return pages


def line_text(words):
    return " ".join(t for _, t in words)


def number_ok(got, want):
    """got shows want to the digits it has (rounded, maybe in exponent form)."""
    try:
        g, w = float(got), float(want)
    except ValueError:
        return False
    m = re.fullmatch(r"-?(\d+)(?:\.(\d+))?(?:E([+-]?\d+))?", got)
    if not m:
        return False
    decimals = len(m.group(2) or "")
    exp = int(m.group(3) or 0)
    step = 10.0 ** (exp - decimals)
    return abs(g - w) <= step * 0.5000001 + abs(w) * 1e-15


def cell_ok(kind, got, want):
    if want == "":
        return got == ""
    if kind in INTEGERS:
        return got == want
    if kind in NUMBERS:
        return got == want or (got.strip("#") == "") or number_ok(got, want)
    if kind == "Boolean":
        return got.lower() == want.lower()
    if kind == "Bytes":
        return got == "(Bytes)"
    if kind == "DateTime":
        return got == want or (want.endswith(" 00:00:00") and got == want[:-9])
    if kind in ("Date", "Time"):
        return got == want or not re.fullmatch(r"[\d:. -]+", want)
    # Text: what a one-line cell shows, the first line, cut where it ends.
    text = dump_text(want).replace("\n", "").split("\r")[0]
    text = "".join(c if c >= " " or c == "\t" else " " for c in text)
    norm = " ".join(text.split())
    return norm.startswith(got) and (got != "" or norm == "" or True)


def left_out(stderr):
    return set(re.findall(r'field "(.*?)" left out', stderr))


def check_table(cli, path, tmp, where=None):
    """Prints the table and compares every page with dump. Answers the page count."""
    where = where or path
    rows, rd = dump(cli, path)
    pdf = os.path.join(tmp, "out.pdf")
    if os.path.exists(pdf):
        os.remove(pdf)
    r = run(cli, "print", path, "--output", pdf)
    err = r.stderr.decode("utf-8", "replace")
    if rows is None:
        check(r.returncode != 0 and not os.path.exists(pdf), f"{where}: dump fails but print succeeds")
        return 0
    if "none of the fields can be printed" in err:
        # Every field is a BLOB or has an unusable name: an error, and no file.
        check(r.returncode == 1 and not os.path.exists(pdf), f"{where}: no printable field, yet {r.returncode}")
        return 0
    if not check(r.returncode == 0, f"{where}: print failed: {err[-300:]}"):
        return 0
    check(not os.path.exists(pdf + ".tmp"), f"{where}: temporary file left")
    q = subprocess.run(["qpdf", "--check", pdf], capture_output=True, timeout=300)
    check(q.returncode == 0, f"{where}: qpdf --check: {q.stdout[-300:]!r}")
    kinds, _ = table_info(cli, path)
    header, records = rows[0], rows[1:]
    gone = left_out(err)
    printed = [i for i, n in enumerate(header) if n not in gone and i < len(kinds)]
    names = [header[i] for i in printed]
    pages = pdf_pages(pdf)
    if not check(pages, f"{where}: pdftotext failed"):
        return 0
    details = []
    for n, lines in enumerate(pages, 1):
        body = list(lines)
        if not check(body and line_text(body[-1]) == f"Page {n}", f"{where}: page {n} has no \"Page {n}\" at its foot"):
            continue
        body = body[:-1]
        if n == 1 and body:
            # The title is the path as given, cut where the paper ends.
            title = line_text(body[0])
            check(title != "" and path.startswith(title), f"{where}: title {title!r}")
            body = body[1:]
        if not records:
            check(body == [], f"{where}: an empty table prints lines {body[:2]}")
            continue
        # A header takes its grid column's width and may be cut there.
        heads = [t for _, t in body[0]] if body else []
        if not check(body and len(heads) == len(names) and all(n.startswith(h) for h, n in zip(heads, names)),
                     f"{where}: page {n}: column header {line_text(body[0]) if body else ''!r}, want {names}"):
            continue
        lefts = [x for x, _ in body[0]]
        for words in body[1:]:
            cells = [[] for _ in lefts]
            for x, t in words:
                col = max([i for i, l in enumerate(lefts) if l <= x + 0.5] or [0])
                cells[col].append(t)
            details.append((n, [" ".join(c) for c in cells]))
    # A record whose printed cells are all empty is a line without words.
    records = [rec for rec in records
               if any(" ".join(dump_text(rec[fi]).split()) if fi < len(rec) else "" for fi in printed)]
    if not check(len(details) == len(records),
                 f"{where}: {len(details)} detail lines for {len(records)} records"):
        return len(pages)
    bad = 0
    for i, ((page, cells), rec) in enumerate(zip(details, records)):
        for col, fi in enumerate(printed):
            want = rec[fi] if fi < len(rec) else ""
            if not cell_ok(kinds[fi], cells[col], want):
                bad += 1
                if bad <= 5:
                    check(False, f"{where}: record {i + 1} (page {page}) field {header[fi]} ({kinds[fi]}): "
                                 f"printed {cells[col]!r}, dump {want!r}")
    return len(pages)


def walk_report_file(path, where):
    """The saved report file by its tables: header, then page records 1..n, each
    with the offset of the next record and its own start at its end."""
    data = open(path, "rb").read()
    if not check(len(data) >= 128, f"{where}: report file of {len(data)} bytes"):
        return 0
    version, lib, _, count, _ = struct.unpack_from("<HHiii", data, 0)
    check(version == 3 and lib == 309, f"{where}: versions {version}, {lib}")
    check(data[25] in (0, 1), f"{where}: compression flag {data[25]}")
    check(data[26:128] == bytes(102) and data[24] == 0, f"{where}: reserved header bytes are not zero")
    at = 128
    for n in range(1, count + 1):
        if not check(at + 12 <= len(data), f"{where}: page {n} starts past the end"):
            return 0
        number, nxt = struct.unpack_from("<ii", data, at)
        check(number == n, f"{where}: record {n} holds page {number}")
        if not check(at + 12 <= nxt <= len(data), f"{where}: page {n}: next offset {nxt}"):
            return 0
        start = struct.unpack_from("<i", data, nxt - 4)[0]
        check(start == at, f"{where}: page {n}: trailing offset {start}, record at {at}")
        at = nxt
    check(at == len(data), f"{where}: {len(data) - at} bytes after the last page")
    if count:
        check(struct.unpack_from("<i", data, len(data) - 4)[0] == at_last(data, count),
              f"{where}: the last four bytes do not point at the last page")
    return count


def at_last(data, count):
    at = 128
    for _ in range(count - 1):
        at = struct.unpack_from("<i", data, at + 4)[0]
    return at


def check_pages_and_files(cli, tmp, table):
    """--pages, --save-report, --load and a range past the end."""
    pdf = os.path.join(tmp, "range.pdf")
    r = run(cli, "print", table, "--output", pdf, "--pages", "2-3")
    check(r.returncode == 0, f"--pages 2-3: {r.stderr[-300:]!r}")
    pages = pdf_pages(pdf) or []
    check(len(pages) == 2, f"--pages 2-3 gave {len(pages)} pages")
    check([line_text(p[-1]) for p in pages] == ["Page 2", "Page 3"], "--pages 2-3: wrong footers")
    check(subprocess.run(["qpdf", "--check", pdf], capture_output=True).returncode == 0, "--pages: qpdf --check")

    whole = os.path.join(tmp, "whole.pdf")
    rvop = os.path.join(tmp, "saved.RvoP")
    r = run(cli, "print", table, "--output", whole, "--save-report", rvop)
    check(r.returncode == 0, f"--save-report: {r.stderr[-300:]!r}")
    first = pdf_pages(whole) or []
    count = walk_report_file(rvop, "saved report")
    check(count == len(first), f"saved report holds {count} pages, the PDF {len(first)}")
    again = os.path.join(tmp, "loaded.pdf")
    r = run(cli, "print", "--load", rvop, "--output", again)
    check(r.returncode == 0, f"--load: {r.stderr[-300:]!r}")
    texts = lambda ps: [[line_text(l) for l in p] for p in ps]
    check(texts(pdf_pages(again) or []) == texts(first), "a loaded report prints other texts than the run")
    # Saving a loaded file onto itself keeps it whole.
    before = open(rvop, "rb").read()
    r = run(cli, "print", "--load", rvop, "--output", again, "--save-report", rvop)
    check(r.returncode == 0 and open(rvop, "rb").read()[128:] == before[128:], "saving onto the loaded file")

    # A record whose next offset points at itself is refused at once, naming its page.
    data = bytearray(before)
    if count >= 2:
        second = struct.unpack_from("<i", data, 132)[0]
        struct.pack_into("<i", data, second + 4, second)
        bad = os.path.join(tmp, "bad.RvoP")
        open(bad, "wb").write(data)
        out = os.path.join(tmp, "bad.pdf")
        r = run(cli, "print", "--load", bad, "--output", out, timeout=60)
        msg = r.stderr.decode("utf-8", "replace")
        check(r.returncode != 0 and "2" in msg, f"a self-pointing record: {r.returncode}, {msg[-200:]!r}")

    # A range past the end is an error and leaves no file.
    past = os.path.join(tmp, "past.pdf")
    r = run(cli, "print", table, "--output", past, "--pages", f"{len(first) + 1}-{len(first) + 2}")
    check(r.returncode == 1 and not os.path.exists(past), "a range past the end printed")
    check(b"past the last page" in r.stderr, f"range past the end: {r.stderr[-200:]!r}")


def check_interrupt(cli, tmp):
    """Ctrl-C cancels: the program ends by the signal and leaves no file."""
    big = os.path.join(tmp, "big.db")
    run(cli, "generate", "--records", "150000", "--fields", "A20,I,N", big)
    out = os.path.join(tmp, "big.pdf")
    p = subprocess.Popen([cli, "print", big, "--output", out], stderr=subprocess.PIPE)
    time.sleep(1.0)
    if p.poll() is not None:
        return  # done before the signal: nothing to see
    p.send_signal(signal.SIGINT)
    p.communicate(timeout=120)
    check(p.returncode == -signal.SIGINT, f"Ctrl-C: exit {p.returncode}")
    check(not os.path.exists(out), "Ctrl-C left the PDF")
    check(not [f for f in os.listdir(tmp) if f.startswith(".big.pdf") or f.startswith("big.pdf.")],
          "Ctrl-C left a temporary file")


def main():
    args = parse_args()
    cli = args.cli
    r = run(cli, "print", "--help")
    if b"not available" in r.stderr or r.returncode != 0:
        print("skipped: korvane-cli was built without print")
        return 0
    with tempfile.TemporaryDirectory() as tmp:
        tables = list(all_tables(args.testdata))
        for path in tables:
            check_table(cli, path, tmp)
        gen = os.path.join(tmp, "types.db")
        run(cli, "generate", "--records", "400", "--fields",
            "Name=A30,Short=S,Long=I,Auto=+,Num=N,Money=$,Dec=#4,Day=D,Clock=T,Stamp=@,Flag=L,Raw=Y4,"
            "Note=M20,Pic=G20", gen)
        pages = check_table(cli, gen, tmp, "generated every type")
        check(pages >= 3, f"the generated table printed {pages} pages")
        cyr = os.path.join(tmp, "cyr.db")
        run(cli, "generate", "--records", "60", "--language", "cyrr", "--fields", "Name=A40,N=I", cyr)
        check_table(cli, cyr, tmp, "generated Cyrillic")
        empty = os.path.join(tmp, "empty.db")
        run(cli, "generate", "--records", "0", "--fields", "Name=A10,N=I", empty)
        check(check_table(cli, empty, tmp, "empty table") == 1, "an empty table prints one page")
        check_pages_and_files(cli, tmp, gen)
        check_interrupt(cli, tmp)
        # Arguments.
        r = run(cli, "print", gen)
        check(r.returncode == 2, "print without --output")
        r = run(cli, "print", gen, "--output", os.path.join(tmp, "x.pdf"), "--paper", "Napkin")
        check(r.returncode == 2, "an unknown paper")
        r = run(cli, "print", gen, "--output", os.path.join(tmp, "x.pdf"), "--pages", "3-2")
        check(r.returncode == 2, "--pages 3-2")
    return report()


if __name__ == "__main__":
    sys.exit(main())
