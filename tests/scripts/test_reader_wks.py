#!/usr/bin/env python3
"""Lotus (.WK1) and Quattro (.WQ1) export read back by independent readers:
WK1 by gnumeric's lotus importer and by libwps' wks2csv, WQ1 by wks2csv (gnumeric
has no importer for it). Every row and column of every real table (encrypted
ones aside; large tables split with --rows-per-file) and of a generated table
with every field type is compared with korvane-cli dump: numbers as numbers
(wks2csv prints six significant digits), text through the code page (850 for
WK1, 437 for WQ1 unless --code-page says otherwise) and cut to a label's length
(253 characters in WK1, 255 in WQ1), a NUL byte as a blank."""

import concurrent.futures
import csv
import decimal
import io
import math
import os
import subprocess
import sys
import tempfile

from korvane_checks import all_tables, check, parse_args, report
import korvane_checks
from test_export_text import table_info
from test_export_values import dump, env_for

FORMATS = {"WKS": (".wk1", "cp850", 253), "Quattro": (".wq1", "cp437", 255)}
NUMERIC = ("Smallint", "Integer", "AutoInc", "Float", "Currency", "BCD")
TEXTS = ("String", "Memo")
BINARY = ("Blob", "Graphic", "Bytes", "ParadoxOle")
SPLIT = 8000


def unescape(cell):
    """A dump cell as the export writes it: escapes undone, a NUL as a blank."""
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
    return "".join(out)


def label(text, codec, limit):
    """A text as a label holds it: in the code page ("?" for what it lacks), cut."""
    return text.encode(codec, errors="replace").decode(codec).replace("\ufffd", "?")[:limit]


def as_number(s):
    try:
        return float(s)
    except ValueError:
        return None


def same(kind, got, want, fmt, reader, where):
    _, codec, limit = FORMATS[fmt]
    if want == "":
        return check(got == "", f"{where}: null read as {got!r}")
    if kind in NUMERIC and want not in ("inf", "-inf", "nan"):
        g = as_number(got)
        if kind == "BCD" and g is None:  # more digits than a double holds: its text
            return check(got == want, f"{where}: {got!r} != {want!r}")
        w = float(decimal.Decimal(want))
        tol = 5e-6 if reader == "wks2csv" else 1e-15
        return check(g is not None and math.isclose(g, w, rel_tol=tol, abs_tol=1e-300),
                     f"{where}: {got!r} != {want}")
    if kind == "DateTime" and got == want[:10] and want[10:] == " 00:00:00":
        return True  # a time stamp at midnight is written by the date pattern, as in text export
    if kind == "Boolean":
        return check(got.lower() == want.lower(), f"{where}: {got!r} != {want}")
    if kind in TEXTS:
        want = label(unescape(want), codec, limit)
    else:  # dates, times, formatted memos and binary data as dump writes them
        want = label(want, codec, limit)
    if reader == "wks2csv":  # libwps leaves control characters out
        want = "".join(c for c in want if c >= " ")
    elif any(c < " " and c not in "\t\r\n" for c in want):
        return True  # gnumeric shows other control bytes as characters of its own
    return check(got == want, f"{where}: {got[:80]!r} != {want[:80]!r}")


def read(reader, path, tmp, codec):
    if reader == "wks2csv":
        r = subprocess.run(["wks2csv", "-e", codec.upper(), path], capture_output=True, timeout=120)
        if not check(r.returncode == 0, f"{path}: wks2csv failed: {r.stderr[-300:]!r}"):
            return None
        rows = list(csv.reader(io.StringIO(r.stdout.decode("utf-8"), newline="")))
        return rows[1:]  # its own header line
    out = os.path.join(tmp, "g.csv")
    if os.path.exists(out):
        os.remove(out)
    r = subprocess.run(["ssconvert", "-I", "Gnumeric_lotus:lotus", "-T", "Gnumeric_stf:stf_csv", path, out],
                       capture_output=True, timeout=120)
    if not check(r.returncode == 0 and os.path.exists(out), f"{path}: ssconvert failed: {r.stderr[-300:]!r}"):
        return None
    with open(out, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


def check_table(cli, path, tmp, fmt, rows, kinds, extra=(), codec=None):
    ext, default_codec, _ = FORMATS[fmt]
    codec = codec or default_codec
    records = rows[1:]
    base = os.path.join(tmp, "t" + ext)
    for f in os.listdir(tmp):
        if f.startswith("t"):
            os.remove(os.path.join(tmp, f))
    split = ("--rows-per-file", str(SPLIT)) if len(records) > SPLIT else ()
    e = korvane_checks.run(cli, "export", path, "--format", fmt, "--output", base, "--allow-lossy", "--quiet",
                           *split, *extra, timeout=300, env=env_for("C"))
    if not check(e.returncode == 0, f"{path} {fmt}: export failed: {e.stderr[-400:]!r}"):
        return
    parts = [base] + [os.path.join(tmp, f"t{n:03d}{ext}") for n in range(1, (len(records) - 1) // SPLIT + 1)]
    # gnumeric reads WK1 labels as code page 850 whatever the file holds.
    readers = ("wks2csv", "gnumeric") if fmt == "WKS" and codec == default_codec else ("wks2csv",)
    name = os.path.basename(path)
    for reader in readers:
        for n, part in enumerate(parts):
            want = records[n * SPLIT:(n + 1) * SPLIT] if split else records
            if len(want) * len(kinds) < 2:
                continue  # libwps refuses a sheet of fewer than two cells
            if not check(os.path.exists(part), f"{name} {fmt}: {part} missing"):
                return
            got = read(reader, part, tmp, codec)
            if got is None:
                return
            # Trailing rows with no value may be left out by a reader (wks2csv
            # ends with an empty line).
            while got and not any(got[-1]):
                got.pop()
            check(len(got) <= len(want) and not any(any(c for c in line) for line in got[len(want):]),
                  f"{name} {fmt} {reader}: {len(got)} rows for {len(want)}")
            if reader == "gnumeric":
                # gnumeric writes its CSV from the first row with a value.
                lead = next((i for i, w in enumerate(want) if any(w)), len(want))
                want = want[lead:]
                n_first = n * SPLIT + lead
            else:
                n_first = n * SPLIT
            got += [[]] * (len(want) - len(got))
            bad = 0
            for i, (line, w) in enumerate(zip(got, want)):
                line = line + [""] * (len(w) - len(line))
                check(len(line) == len(w), f"{name} {fmt} {reader} r{i + 1}: {len(line)} columns for {len(w)}")
                for k, (g, wv) in enumerate(zip(line, w)):
                    if not same(kinds[k], g, wv, fmt, reader, f"{name} {fmt} {reader} r{n_first + i + 1} "
                                f"{rows[0][k]}"):
                        bad += 1
                if bad > 3:
                    return


def check_tables(cli, path, extra_checks=False):
    rows, _ = dump(cli, path)
    if not check(rows is not None, f"{path}: dump failed"):
        return
    kinds, _ = table_info(cli, path)
    with tempfile.TemporaryDirectory() as tmp:
        for fmt in FORMATS:
            check_table(cli, path, tmp, fmt, rows, kinds)
            if extra_checks:  # another code page when asked for
                check_table(cli, path, tmp, fmt, rows, kinds, ("--code-page", "1252"), "cp1252")


def main():
    args = parse_args()
    tables = []
    for path in all_tables(args.testdata):
        if "_expected" in path:
            continue
        info = korvane_checks.run(args.cli, "info", path).stdout.decode("utf-8", "replace")
        if "encrypted" not in info.lower():
            tables.append(path)
    with tempfile.TemporaryDirectory() as gentmp:
        gen = os.path.join(gentmp, "all.db")
        r = korvane_checks.run(args.cli, "generate", "--records", "300", "--fields",
                               "A40,I,S,N,$,D,T,@,L,M60,#4,+,B,G,F,Y8,A255", gen)
        check(r.returncode == 0, f"generate failed: {r.stderr!r}")
        # The readers take most of the time: tables are checked side by side.
        with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
            jobs = [pool.submit(check_tables, args.cli, p) for p in tables]
            if r.returncode == 0:
                jobs.append(pool.submit(check_tables, args.cli, gen, True))
            for j in jobs:
                j.result()
    return report()


if __name__ == "__main__":
    sys.exit(main())
