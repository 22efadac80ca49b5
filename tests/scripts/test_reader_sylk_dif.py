#!/usr/bin/env python3
"""SYLK and DIF export read back by gnumeric (ssconvert with its SYLK and DIF
importers named), over every real table (encrypted ones aside) and a generated
table with every field type. Every row and column is there and every value is
the text korvane-cli dump reads, in the run's code page ("?" for what it lacks),
line breaks and NUL bytes as blanks. Allowed for: gnumeric reads the bytes of
both formats as Latin-1, and DIF string values as typed input ("01234" becomes
1234, a date text a date), so there a value may come back as its number or date."""

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
from test_export_values import dump, env_for, same_cell

csv.field_size_limit(1 << 30)

TEXT_KINDS = ("String", "Memo")
BINARY_KINDS = ("Blob", "Graphic", "Bytes", "ParadoxOle")


def windows_code_page(cp):
    """The Windows code page an export writes for a table read as code page cp."""
    if cp in (874, 932, 936, 949, 950) or 1250 <= cp <= 1258:
        return cp
    return {852: 1250, 855: 1251, 866: 1251, 737: 1253, 869: 1253, 857: 1254, 862: 1255, 720: 1256, 864: 1256,
            775: 1257}.get(cp, 1252)


def sheet_text(cell, codec):
    """A dump text as both formats write it: escapes undone, line breaks and NUL
    as one blank, in the code page."""
    out, i = [], 0
    while i < len(cell):
        c = cell[i]
        if c == "\\" and i + 1 < len(cell):
            n = cell[i + 1]
            if n == "x":
                b = int(cell[i + 2:i + 4], 16)
                out.append(" " if b == 0 else chr(b) if b < 0x20 or b == 0x7F else "\ufffd")
                i += 4
                continue
            out.append({"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}[n])
            i += 2
            continue
        out.append(c)
        i += 1
    text = re.sub("\r\n|\r|\n", " ", "".join(out))
    return text.encode(codec, errors="replace").decode(codec)


def export_code_page(info, cp):
    """The code page an export writes by default: the Windows one of the table's
    language driver (of the code page its text is read as, without one)."""
    m = re.search(r"language driver's code page is (\d+)", info)
    return windows_code_page(int(m.group(1)) if m else cp)


def read_back(path, importer, out, codec):
    r = subprocess.run(["ssconvert", "-I", importer, "-T", "Gnumeric_stf:stf_csv", path, out],
                       capture_output=True, timeout=120)
    if r.returncode != 0 or not os.path.exists(out):
        return None, r.stderr[-300:]
    with open(out, encoding="utf-8", newline="") as f:
        text = f.read()
    # gnumeric took the bytes as Latin-1: back to the bytes, then the code page.
    try:
        text = text.encode("latin-1").decode(codec, errors="replace")
    except UnicodeEncodeError as e:
        return None, f"not Latin-1: {e}"
    return list(csv.reader(text.splitlines(keepends=True))), None


def typed_input(got, want):
    """Whether gnumeric's reading of a DIF string value as typed input explains got."""
    try:
        g, w = float(got), float(want.replace(",", ""))
        return g == w or abs(g - w) <= 1e-14 * max(abs(w), 1.0) or (w != w and g != g)
    except ValueError:
        pass
    if want.lower() in ("true", "false") and got.lower() == want.lower():
        return True
    if want[:1] in ("'", "=", "+", "-"):
        return True  # a quote prefix, a formula or a signed entry
    # Dates, times and fractions: digits with separators become a date or a number.
    return re.fullmatch(r"[\d/:. -]+( ?[AP]M)?", want) is not None


def check_table(cli, path, tmp):
    info = korvane_checks.run(cli, "info", path).stdout.decode("utf-8", "replace")
    if "encrypted" in info.lower():
        return
    rows, _ = dump(cli, path)
    if rows is None:
        return
    kinds, cp = table_info(cli, path)
    codec = f"cp{export_code_page(info, cp)}"
    for fmt in ("SYLK", "DIF"):
        check_one(cli, path, tmp, fmt, rows, kinds, codec)


def check_one(cli, path, tmp, fmt, rows, kinds, codec):
    name = os.path.basename(path)
    ext, importer = (".slk", "Gnumeric_sylk:sylk") if fmt == "SYLK" else (".dif", "Gnumeric_dif:dif")
    out = os.path.join(tmp, name + ext)
    e = korvane_checks.run(cli, "export", path, "--format", fmt, "--output", out, "--title", "--allow-lossy",
                           "--quiet", timeout=300, env=env_for("C"))
    if not check(e.returncode == 0, f"{fmt} {path}: export failed: {e.stderr[-300:]!r}"):
        return
    with open(out, "rb") as f:
        raw = f.read()
    check(b"\0" not in raw, f"{fmt} {path}: NUL bytes")
    got, err = read_back(out, importer, out + ".csv", codec)
    if not check(got is not None, f"{fmt} {path}: ssconvert: {err!r}"):
        return
    if not check(len(got) == len(rows), f"{fmt} {path}: {len(got)} rows for {len(rows)}"):
        return
    bad = 0
    for ri, (g, d) in enumerate(zip(got, rows)):
        g = g + [""] * (len(d) - len(g))  # gnumeric leaves out trailing empty cells
        if not check(len(g) == len(d), f"{fmt} {path} row {ri}: {len(g)} cells for {len(d)}"):
            return
        for ci, (gc, dc) in enumerate(zip(g, d)):
            kind = kinds[ci] if ri > 0 else "String"
            if kind in TEXT_KINDS:
                want = sheet_text(dc, codec)
                ok = gc == want
            elif kind == "FmtMemo":  # as dump writes it, in the code page
                want = dc.encode(codec, errors="replace").decode(codec)
                ok = gc == want
            elif kind in BINARY_KINDS:
                want = dc
                ok = gc == dc
            else:
                want = dc
                try:
                    ok = same_cell(kind, gc, dc, "C")
                except (ValueError, IndexError):
                    ok = False
            if not ok and fmt == "DIF" and want != "":
                ok = typed_input(gc, want)
            if not ok:
                bad += 1
                if bad <= 3:
                    check(False, f"{fmt} {name} row {ri} {rows[0][ci]} ({kind}): read {gc[:120]!r}, "
                                 f"dump {want[:120]!r}")
    check(bad == 0, f"{fmt} {path}: {bad} cells differ")
    os.remove(out)
    os.remove(out + ".csv")


def main():
    args = parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        tables = [p for p in all_tables(args.testdata) if "_expected" not in p]
        check(len(tables) >= 100, f"only {len(tables)} tables")
        gen = os.path.join(tmp, "gen", "all.db")
        os.makedirs(os.path.dirname(gen))
        r = korvane_checks.run(args.cli, "generate", "--records", "300", "--fields",
                               "A40,I,S,N,$,D,T,@,L,M60,#4,+,B,G,F,Y8,A255", gen)
        if check(r.returncode == 0, f"generate failed: {r.stderr!r}"):
            tables.append(gen)
        jobs = []
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            for i, path in enumerate(tables):
                d = os.path.join(tmp, str(i))
                os.makedirs(d)
                jobs.append(pool.submit(check_table, args.cli, path, d))
            for j in jobs:
                j.result()
    return report()


if __name__ == "__main__":
    sys.exit(main())
