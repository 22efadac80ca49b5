#!/usr/bin/env python3
"""dBase export read back by independent readers: dbfread with strict decoding
(the header's record count equal to the records in the file, memos from the
.dbt, text in the code page the language byte names) and gnumeric's xbase
importer; every value is compared with korvane-cli dump, over every real table
and a generated table with every field type. Values the export reports as
changed (a "?" for a character the code page lacks, a text cut to 254, a number
that does not fit, a date outside the years 1 to 9999) are checked as such."""

import csv
import datetime
import decimal
import os
import subprocess
import sys
import tempfile

import dbfread

from korvane_checks import all_tables, check, parse_args, report
import korvane_checks
from test_export_text import dump_text, table_info
from test_export_values import dump, env_for

# dbfread's code pages by language byte, for the ones this export writes.
CODEPAGES = {0x03: "cp1252", 0xC8: "cp1250", 0xC9: "cp1251", 0xCB: "cp1253", 0xCA: "cp1254", 0x7D: "cp1255",
             0x7E: "cp1256", 0xCC: "cp1257", 0x7C: "cp874", 0x7B: "cp932", 0x7A: "cp936", 0x79: "cp949",
             0x78: "cp950", 0x01: "cp437", 0x02: "cp850", 0x26: "cp866"}


def export(cli, path, out, extra=()):
    return korvane_checks.run(cli, "export", path, "--format", "DBase", "--output", out, "--allow-lossy", "--quiet",
                              *extra, timeout=300, env=env_for("C"))


def in_code_page(text, codec):
    """The text as the code page holds it: characters it lacks as "?"."""
    return text.encode(codec, errors="replace").decode(codec)


def same(kind, got, want, codec, where):
    if want == "":
        return check(got in (None, "", b""), f"{where}: null read as {got!r}")
    if kind in ("String",):
        w = in_code_page(dump_text(want), codec).encode(codec)[:254].decode(codec, errors="ignore").rstrip(" \0")
        return check((got or "").rstrip("\0") == w, f"{where}: {got!r} != {w!r}")
    if kind in ("Memo",):
        w = in_code_page(dump_text(want), codec).replace("\x1a", "?")
        return check((got or "").replace("\0", "") == w, f"{where}: memo {got!r:.80} != {w!r:.80}")
    if kind == "FmtMemo":  # as dump writes it, in the code page
        w = in_code_page(want, codec).replace("\x1a", "?")
        return check(got == w, f"{where}: {got!r:.60} != {w!r:.60}")
    if kind in ("Blob", "Graphic", "Bytes", "ParadoxOle"):
        return check(got == want, f"{where}: {got!r:.60} != {want!r:.60}")
    if kind in ("Smallint", "Integer", "AutoInc", "Word"):
        return check(got == int(want), f"{where}: {got!r} != {want}")
    if kind in ("Float", "Currency"):
        if got is None:  # did not fit: written as asterisks and counted
            return check(abs(float(want)) >= 1e13 or want in ("inf", "-inf", "nan"), f"{where}: {want} lost")
        w = float(want)
        return check(abs(got - w) <= 5e-7 * max(1.0, abs(w)) if kind == "Float" else round(got, 2) == round(w, 2),
                     f"{where}: {got!r} != {want}")
    if kind == "BCD":
        if got is None:  # more digits than N 20 holds: asterisks, counted
            whole, _, frac = want.lstrip("-").partition(".")
            return check(len(want) - len(frac) + max(len(frac), 1) > 20, f"{where}: {want} lost")
        return check(got is not None and decimal.Decimal(str(got)) == decimal.Decimal(want), f"{where}: {got} != {want}")
    if kind == "Date":
        if got is None:
            return check(not ("0001-01-01" <= want <= "9999-12-31" and len(want) == 10), f"{where}: {want} lost")
        return check(got.isoformat() == want, f"{where}: {got} != {want}")
    if kind in ("Time", "DateTime"):
        return check(got == want, f"{where}: {got!r} != {want!r}")
    if kind == "Boolean":
        return check(got == (want.lower() == "true"), f"{where}: {got!r} != {want}")
    return check(got == want, f"{where}: {got!r} != {want!r}")


def read_gnumeric(dbf, tmp):
    out = os.path.join(tmp, "g.csv")
    r = subprocess.run(["ssconvert", "-I", "Gnumeric_xbase:xbase", "-T", "Gnumeric_stf:stf_csv", dbf, out],
                       capture_output=True, timeout=120)
    if not check(r.returncode == 0 and os.path.exists(out), f"{dbf}: ssconvert failed: {r.stderr[-300:]!r}"):
        return None
    with open(out, newline="", encoding="utf-8", errors="replace") as f:
        return list(csv.reader(f))


def check_table(cli, path, tmp, extra=()):
    rows, r = dump(cli, path)
    if rows is None:
        return
    kinds, _ = table_info(cli, path)
    out = os.path.join(tmp, "t.dbf")
    for f in ("t.dbf", "t.dbt"):
        if os.path.exists(os.path.join(tmp, f)):
            os.remove(os.path.join(tmp, f))
    e = export(cli, path, out, extra)
    if not check(e.returncode == 0, f"{path}: export failed: {e.stderr[-400:]!r}"):
        return
    with open(out, "rb") as f:
        raw = f.read()
    count = int.from_bytes(raw[4:8], "little")
    hlen = int.from_bytes(raw[8:10], "little")
    rlen = int.from_bytes(raw[10:12], "little")
    check(len(raw) == hlen + count * rlen + 1 and raw[-1] == 0x1A, f"{path}: header count {count} != records")
    check(count == len(rows) - 1, f"{path}: {count} records, dump has {len(rows) - 1}")
    codec = CODEPAGES.get(raw[29])
    if not check(codec is not None, f"{path}: language byte {raw[29]:#x}"):
        return
    try:
        table = dbfread.DBF(out, encoding=codec, char_decode_errors="strict", load=True)
        records = [list(rec.values()) for rec in table.records]
    except Exception as ex:  # noqa: BLE001
        check(False, f"{path}: dbfread: {ex!r}")
        return
    check(len(records) == count, f"{path}: dbfread read {len(records)} of {count}")
    for i, (rec, want) in enumerate(zip(records, rows[1:])):
        for k, (got, w) in enumerate(zip(rec, want)):
            if not same(kinds[k], got, w, codec, f"{os.path.basename(path)} r{i + 1} {rows[0][k]}"):
                break
    # gnumeric: the same records, numbers as numbers.
    sheet = read_gnumeric(out, tmp)
    if sheet is None:
        return
    if count == 0:
        return
    check(len(sheet) in (count, count + 1), f"{path}: gnumeric read {len(sheet)} rows for {count}")
    body = sheet[-count:] if count else []
    for i, (line, want) in enumerate(zip(body, rows[1:])):
        for k, kind in enumerate(kinds):
            if kind in ("Smallint", "Integer", "AutoInc") and want[k] != "" and k < len(line):
                if not check(line[k].strip() != "" and int(float(line[k])) == int(want[k]),
                             f"{os.path.basename(path)} gnumeric r{i + 1} {rows[0][k]}: {line[k]!r} != {want[k]}"):
                    return
            if kind == "Date" and want[k] != "" and k < len(line) and "1900-03-01" <= want[k] <= "9999-12-31":
                if not check(line[k] != "", f"{os.path.basename(path)} gnumeric r{i + 1} {rows[0][k]}: no date"):
                    return


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
