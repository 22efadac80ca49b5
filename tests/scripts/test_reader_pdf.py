#!/usr/bin/env python3
"""PDF export read back by independent readers, over every real table (the
encrypted ones show no records and are left out), a generated table of every
field type and a table of hostile values:

- qpdf --check finds no damage and no warning;
- pdffonts: every font embedded, a subset, with a ToUnicode map;
- pdftotext -raw gives the cells' texts as the text export of the same columns
  writes them, in record order, whitespace aside (within a record the order may
  differ only where right-to-left text or a row split over pages puts it so);
- pdfimages -list: one image per non-empty picture;
- pdfinfo: no page wider than 14,400 points, the title read back."""

import concurrent.futures
import csv
import os
import re
import subprocess
import sys
import tempfile

from korvane_checks import all_tables, check, parse_args, report
import korvane_checks
from test_export_text import table_info
from test_export_values import dump, env_for

HEADER = "Head ( ) \\ { } a(b)c\\d"
FOOTER = "Foot ( ) \\ { }"
GENERATOR = "Korvane (test) \\ caf\u00e9"


def run(*args, timeout=120):
    return subprocess.run(list(args), capture_output=True, timeout=timeout)


def export(cli, path, fmt, out, *extra):
    return korvane_checks.run(cli, "export", path, "--format", fmt, "--output", out, "--allow-lossy", "--quiet",
                              "--title", *extra, timeout=300, env=env_for("C"))


def squeeze(text):
    """The text without whitespace and control characters."""
    return "".join(c for c in text if not c.isspace() and ord(c) >= 0x20 and c != "\x7f")


def expected_rows(cli, path, out, pictures=(), extra=()):
    """The header line, titles, records and footer line as the text export writes
    them; the pictures' columns (drawn, not written) only by their titles."""
    r = export(cli, path, "Text", out, "--separator", "comma", "--qualifier", "double", "--header", HEADER,
               "--footer", FOOTER, *extra)
    if r.returncode != 0:
        return None
    with open(out, encoding="utf-8", errors="replace", newline="") as f:
        rows = list(csv.reader(f, delimiter=",", quotechar='"', strict=False))
    for row in rows[2:-1]:
        for i in sorted(pictures, reverse=True):
            if i < len(row):
                del row[i]
    return [row for row in rows if squeeze("".join(row))]


def compare_text(name, got, rows):
    """Row by row: each row's characters come next in the extracted text; exact
    order wanted, the same characters accepted (right-to-left runs, split rows)."""
    at = 0
    reordered = 0
    for i, row in enumerate(rows):
        want = squeeze("".join(row))
        part = got[at:at + len(want)]
        if part != want:
            if sorted(part) != sorted(want):
                check(False, f"{name}: row {i}: {want[:80]!r} read back as {part[:80]!r}")
                return
            reordered += 1
        at += len(want)
    check(at == len(got), f"{name}: {len(got) - at} characters more than the cells hold: {got[at:at + 80]!r}")
    return reordered


def check_pdf(name, pdf, rows, pictures, title=GENERATOR):
    r = run("qpdf", "--check", pdf)
    out = r.stdout.decode(errors="replace") + r.stderr.decode(errors="replace")
    check(r.returncode == 0 and "WARNING" not in out, f"{name}: qpdf --check: {out[-300:]}")
    r = run("pdffonts", pdf)
    lines = r.stdout.decode(errors="replace").split("\n")[2:]
    for line in lines:
        if not line.strip():
            continue
        cols = line.split()
        check(cols[-5:-2] == ["yes", "yes", "yes"], f"{name}: font {line}")
    r = run("pdfinfo", "-f", "1", "-l", "100000", pdf)
    info = r.stdout.decode(errors="replace")
    m = re.search(r"^Title:\s*(.*)$", info, re.M)
    check(m and m.group(1) == title, f"{name}: title {m.group(1) if m else None!r}")
    for w in re.findall(r"Page\s+\d+ size:\s*([\d.]+) x", info):
        check(float(w) <= 14400, f"{name}: page {w} points wide")
    r = run("pdfimages", "-list", pdf)
    images = len(r.stdout.decode(errors="replace").split("\n")[2:-1])
    check(images == pictures, f"{name}: {images} images for {pictures} pictures")
    r = run("pdftotext", "-raw", "-enc", "UTF-8", pdf, "-")
    text = squeeze(r.stdout.decode("utf-8", errors="replace"))
    return compare_text(name, text, rows)


def check_table(cli, path, tmp, name=None):
    name = name or os.path.relpath(path)
    kinds, _ = table_info(cli, path)
    records, r = dump(cli, path)
    if records is None or b"encrypted" in r.stderr:
        return
    graphic = [i for i, k in enumerate(kinds) if k == "Graphic"]
    pictures = sum(1 for rec in records[1:] for i in graphic if i < len(rec) and rec[i] != "")
    txt = os.path.join(tmp, "t.csv")
    pdf = os.path.join(tmp, "t.pdf")
    rows = expected_rows(cli, path, txt, graphic)
    if not check(rows is not None, f"{name}: text export failed"):
        return
    r = export(cli, path, "PDF", pdf, "--header", HEADER, "--footer", FOOTER, "--generator", GENERATOR)
    if not check(r.returncode == 0, f"{name}: PDF export: {r.stderr!r}"):
        return
    check_pdf(name, pdf, rows, pictures)


def check_generated(cli, tmp):
    table = os.path.join(tmp, "gen", "every.db")
    os.makedirs(os.path.dirname(table))
    spec = "A30,S,I,+,N,$,#4,D,T,@,L,Y8,M20,F20,B12,O12,G40"
    r = run(cli, "generate", "--records", "400", "--fields", spec, "--seed", "7", table)
    if check(r.returncode == 0, f"generate: {r.stderr!r}"):
        check_table(cli, table, tmp, "generated")
        # Landscape, margins in centimetres, colours and a font of its own.
        pdf = os.path.join(tmp, "gen.pdf")
        r = export(cli, table, "PDF", pdf, "--orientation", "landscape", "--margins", "2,2,1.5,1.5", "--measure",
                   "cm", "--colors-fonts", "--font", "Times New Roman,10,bold", "--generator", "x")
        check(r.returncode == 0, f"generated, options: {r.stderr!r}")
        info = run("pdfinfo", pdf).stdout.decode()
        check(re.search(r"Page size:\s+(\d+) x 612", info) is not None, f"landscape: {info}")
        fonts = run("pdffonts", pdf).stdout.decode()
        check("LiberationSerif-Bold" in fonts, f"--font: {fonts}")
        # Split files are each a whole document.
        split = os.path.join(tmp, "split", "s.pdf")
        r = export(cli, table, "PDF", split, "--rows-per-file", "150")
        names = sorted(os.listdir(os.path.dirname(split))) if os.path.isdir(os.path.dirname(split)) else []
        check(r.returncode == 0 and names == ["s.pdf", "s001.pdf", "s002.pdf"], f"split: {names} {r.stderr!r}")
        for n in names:
            q = run("qpdf", "--check", os.path.join(os.path.dirname(split), n))
            check(q.returncode == 0, f"split {n}: {q.stdout[-200:]!r}")
    r = export(cli, table, "PDF", pdf, "--margins", "1,2,3")
    check(r.returncode == 2 and b"--margins" in r.stderr, f"--margins 1,2,3: {r.stderr!r}")
    r = export(cli, table, "PDF", pdf, "--orientation", "sideways")
    check(r.returncode == 2, f"--orientation sideways: {r.stderr!r}")


def check_hostile(cli, build, tmp):
    tool = os.path.join(build or "", "tests", "korvane-hostile-values")
    if not check(os.path.exists(tool), f"{tool} not built"):
        return
    table = os.path.join(tmp, "hostile", "Hostile & <b>.db")
    os.makedirs(os.path.dirname(table))
    r = run(tool, table)
    if not check(r.returncode == 0, f"hostile table: {r.stderr!r}"):
        return
    # Its fourth picture is no bitmap: the run fails and names record and field,
    # leaving no file.
    pdf = os.path.join(tmp, "hostile", "out.pdf")
    r = export(cli, table, "PDF", pdf)
    check(r.returncode == 1 and b"record 4" in r.stderr and b"Pic" in r.stderr and not os.path.exists(pdf),
          f"hostile picture: {r.returncode} {r.stderr!r}")
    # Without that column every value reads back.
    kinds, _ = table_info(cli, table)
    records, _ = dump(cli, table)
    columns = [f for f, k in zip(records[0], kinds) if k != "Graphic"]
    txt = os.path.join(tmp, "hostile", "t.csv")
    rows = expected_rows(cli, table, txt, (), ["--columns", ",".join(columns)])
    r = export(cli, table, "PDF", pdf, "--header", HEADER, "--footer", FOOTER, "--generator", GENERATOR,
               "--columns", ",".join(columns))
    if check(r.returncode == 0 and rows, f"hostile: {r.stderr!r}"):
        check_pdf("hostile", pdf, rows, 0)


def main():
    args = parse_args()
    cli = os.path.abspath(args.cli)
    with tempfile.TemporaryDirectory() as tmp:
        # The tables in parallel (most of the time goes to starting the readers).
        def one(job):
            k, path = job
            folder = os.path.join(tmp, f"t{k}")
            os.makedirs(folder)
            check_table(cli, path, folder)
        # The largest first, so that the pool ends together.
        jobs = list(enumerate(sorted(all_tables(args.testdata), key=lambda p: -os.path.getsize(p))))
        with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
            futures = [pool.submit(one, job) for job in jobs[:1]]
            futures += [pool.submit(check_generated, cli, tmp), pool.submit(check_hostile, cli, args.build, tmp)]
            futures += [pool.submit(one, job) for job in jobs[1:]]
            for f in futures:
                f.result()
    return report()


if __name__ == "__main__":
    sys.exit(main())
