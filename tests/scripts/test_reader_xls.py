#!/usr/bin/env python3
"""Excel export read back by independent readers: xlrd and gnumeric's Excel
importer (through its own XML file, which keeps each cell's value type); every
value is compared with korvane-cli dump, over every real table and a generated
table with every field type: numbers as numbers, dates, times and time stamps
as dates, booleans as booleans, text through the code page the CODEPAGE record
names. Values the export reports as changed (a "?" for a character the code
page lacks, a text or hex cut to 255 bytes) are checked as such; dates Excel
does not hold are their dump text."""

import datetime
import decimal
import glob
import gzip
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

import xlrd

from korvane_checks import all_tables, check, parse_args, report
import korvane_checks
from test_export_text import dump_text, table_info
from test_export_values import dump, env_for

NUMBERS = ("Smallint", "Integer", "AutoInc", "Word", "Float", "Currency")
BINARY = ("Blob", "Graphic", "Bytes", "ParadoxOle", "VarBytes")
EPOCH = datetime.datetime(1899, 12, 30)


def export(cli, path, out, extra=()):
    return korvane_checks.run(cli, "export", path, "--format", "XLS", "--output", out, "--allow-lossy", "--quiet",
                              *extra, timeout=300, env=env_for("C"))


def unescape(cell):
    """A dump text with its escapes undone; an escaped byte that is a control
    character is that character (NUL too: a cell holds it)."""
    def byte(m):
        b = int(m[1], 16)
        return chr(b) if b < 0x20 or b == 0x7F else "\ufffd"
    return re.sub(r"\\(?:x([0-9a-fA-F]{2})|(.))",
                  lambda m: byte(m) if m[1] else {"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}.get(m[2], m[2]),
                  cell)


def text_forms(kind, want, codec):
    """What a text cell may hold: the dump text in the code page, cut to 255 bytes."""
    forms = []
    for t in ([want] if kind == "FmtMemo" else [unescape(want), dump_text(want)]):
        b = t.encode(codec, errors="replace")[:255]
        forms.append(b.decode(codec, errors="ignore"))
    return forms


def gnumeric_text(t):
    """gnumeric makes every line end a LF and leaves NUL characters out."""
    return t.replace("\r\n", "\n").replace("\r", "\n").replace("\0", "") if isinstance(t, str) else t


def serial_of(iso):
    """The day serial of a dump date or time stamp; None outside Excel's dates."""
    m = re.fullmatch(r"(\d{4})-(\d\d)-(\d\d)(?: (\d\d):(\d\d):(\d\d)(?:\.(\d{1,3}))?)?", iso)
    if not m or not "1900-03-01" <= iso[:10] <= "9999-12-31":
        return None
    y, mo, d = int(m[1]), int(m[2]), int(m[3])
    ms = 0
    if m[4]:
        ms = ((int(m[4]) * 60 + int(m[5])) * 60 + int(m[6])) * 1000 + int((m[7] or "0").ljust(3, "0"))
    return (datetime.datetime(y, mo, d) - EPOCH).days + ms / 86400000.0


def time_serial(text):
    h, mi, rest = text.split(":")
    s, _, ms = rest.partition(".")
    return ((int(h) * 60 + int(mi)) * 60 + int(s)) * 1000 + int((ms or "0").ljust(3, "0"))


def same(kind, typ, got, want, codec, where):
    """typ: "number", "date", "bool", "text" or "empty"."""
    if want == "":
        return check(typ == "empty" or (typ == "text" and got == ""), f"{where}: null read as {typ} {got!r}")
    if kind in NUMBERS:
        w = float(want)
        if w != w or w in (float("inf"), float("-inf")):
            return check(typ == "text", f"{where}: {want} read as {typ} {got!r}")
        return check(typ == "number" and float(got) == w, f"{where}: {typ} {got!r} != {want}")
    if kind == "BCD":
        if typ == "text":
            return check(got == want, f"{where}: {got!r} != {want}")
        return check(typ == "number" and decimal.Decimal(repr(float(got))) == decimal.Decimal(want),
                     f"{where}: {typ} {got!r} != {want}")
    if kind in ("Date", "DateTime"):
        s = serial_of(want)
        if s is None:
            return check(typ == "text" and got == want, f"{where}: {typ} {got!r} != {want}")
        return check(typ == "date" and abs(float(got) - s) < 0.5 / 86400000, f"{where}: {typ} {got!r} != {want} ({s})")
    if kind == "Time":
        return check(typ == "date" and round(float(got) * 86400000) == time_serial(want),
                     f"{where}: {typ} {got!r} != {want}")
    if kind == "Boolean":
        return check(typ == "bool" and bool(got) == (want.lower() == "true"), f"{where}: {typ} {got!r} != {want}")
    if kind in BINARY:
        return check(typ == "text" and got == (want if len(want) <= 255 else want[:254]),
                     f"{where}: {got!r:.60} != {want!r:.60}")
    forms = text_forms(kind, want, codec)
    if "gnumeric" in where:
        got, forms = gnumeric_text(got), [gnumeric_text(f) for f in forms]
    return check(typ == "text" and got in forms, f"{where}: {got!r:.80} != {want!r:.80}")


def read_xlrd(path):
    book = xlrd.open_workbook(path)
    sheet = book.sheet_by_index(0)
    kinds = {xlrd.XL_CELL_EMPTY: "empty", xlrd.XL_CELL_BLANK: "empty", xlrd.XL_CELL_NUMBER: "number",
             xlrd.XL_CELL_DATE: "date", xlrd.XL_CELL_BOOLEAN: "bool", xlrd.XL_CELL_TEXT: "text"}
    rows = [[(kinds.get(c.ctype, "other"), c.value) for c in sheet.row(r)] for r in range(sheet.nrows)]
    return rows, book.encoding


def read_gnumeric(path, tmp):
    out = os.path.join(tmp, "g.gnumeric")
    r = subprocess.run(["ssconvert", "-I", "Gnumeric_Excel:excel", "-T", "Gnumeric_XmlIO:sax", path, out],
                       capture_output=True, timeout=120)
    if not check(r.returncode == 0 and os.path.exists(out), f"{path}: ssconvert failed: {r.stderr[-300:]!r}"):
        return None
    with open(out, "rb") as f:
        data = f.read()
    if data[:2] == b"\x1f\x8b":
        data = gzip.decompress(data)
    root = ET.fromstring(data)
    ns = {"gnm": "http://www.gnumeric.org/v10.dtd"}

    def is_date(fmt):
        return bool(re.search(r"[dmyhs]", re.sub(r'"[^"]*"|\[[^]]*\]|General', "", fmt)))

    # Cells in a region whose style has a date or time format are dates.
    date_regions = []
    for region in root.iterfind(".//gnm:Styles/gnm:StyleRegion", ns):
        style = region.find("gnm:Style", ns)
        if style is not None and is_date(style.get("Format", "")):
            date_regions.append(tuple(int(region.get(a)) for a in ("startRow", "endRow", "startCol", "endCol")))
    cells = {}
    for c in root.iterfind(".//gnm:Cells/gnm:Cell", ns):
        vt = int(c.get("ValueType", "0"))
        row, col = int(c.get("Row")), int(c.get("Col"))
        text = c.text or ""
        typ = {20: "bool", 30: "number", 40: "number", 60: "text"}.get(vt, "other")
        if typ == "number" and (is_date(c.get("ValueFormat", "")) or
                                any(r0 <= row <= r1 and c0 <= col <= c1 for r0, r1, c0, c1 in date_regions)):
            typ = "date"
        if typ == "bool":
            text = text.upper() == "TRUE"
        cells[(row, col)] = (typ, text)
    return cells


def exported_files(cli, path, tmp):
    """The files of an export, split when one sheet does not hold the table."""
    for f in glob.glob(os.path.join(tmp, "t*.xls")):
        os.remove(f)
    out = os.path.join(tmp, "t.xls")
    e = export(cli, path, out)
    if e.returncode != 0 and b"rows per file" in e.stderr:
        e = export(cli, path, out, ("--rows-per-file", "16000"))
    if not check(e.returncode == 0, f"{path}: export failed: {e.stderr[-400:]!r}"):
        return []
    return sorted(glob.glob(os.path.join(tmp, "t*.xls")))


def check_table(cli, path, tmp):
    rows, _ = dump(cli, path)
    if rows is None:
        return
    kinds, _ = table_info(cli, path)
    files = exported_files(cli, path, tmp)
    name = os.path.basename(path)
    records = rows[1:]
    at = 0
    for f in files:
        try:
            sheet, encoding = read_xlrd(f)
        except Exception as ex:  # noqa: BLE001
            check(False, f"{name}: xlrd: {ex!r}")
            return
        codec = encoding
        part = records[at:at + len(sheet)]
        check(len(sheet) == len(part) and (len(part) == 16000 or f == files[-1]),
              f"{name}: {os.path.basename(f)} has {len(sheet)} rows")
        for i, (line, want) in enumerate(zip(sheet, part)):
            line = line + [("empty", "")] * (len(kinds) - len(line))
            for k, kind in enumerate(kinds):
                typ, got = line[k]
                if not same(kind, typ, got, want[k], codec, f"{name} xlrd r{at + i + 1} {rows[0][k]}"):
                    break
        cells = read_gnumeric(f, tmp)
        if cells is not None:
            for i, want in enumerate(part):
                for k, kind in enumerate(kinds):
                    typ, got = cells.get((i, k), ("empty", ""))
                    # gnumeric reads the text of such a sheet as 1252 whatever CODEPAGE says.
                    if typ == "text" and codec != "cp1252" and kind not in BINARY:
                        continue
                    if not same(kind, typ, got, want[k], "cp1252", f"{name} gnumeric r{at + i + 1} {rows[0][k]}"):
                        break
        at += len(sheet)
    check(at == len(records) or not files, f"{name}: {at} rows for {len(records)} records")


def main():
    args = parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        for path in all_tables(args.testdata):
            if "_expected" in path:
                continue
            info = korvane_checks.run(args.cli, "info", path).stdout.decode("utf-8", "replace")
            if "encrypted" in info.lower():
                continue
            check_table(args.cli, path, tmp)
        gen = os.path.join(tmp, "gen", "all.db")
        os.makedirs(os.path.dirname(gen))
        r = korvane_checks.run(args.cli, "generate", "--records", "300", "--fields",
                               "A40,I,S,N,$,D,T,@,L,M60,#4,+,B,G,F,Y8,A255", gen)
        if check(r.returncode == 0, f"generate failed: {r.stderr!r}"):
            check_table(args.cli, gen, tmp)
        cyr = os.path.join(tmp, "gen", "cyr.db")
        r = korvane_checks.run(args.cli, "generate", "--records", "100", "--language", "cyrr", "--fields",
                               "A40,M60,N", cyr)
        if check(r.returncode == 0, f"generate failed: {r.stderr!r}"):
            check_table(args.cli, cyr, tmp)
    return report()


if __name__ == "__main__":
    sys.exit(main())
