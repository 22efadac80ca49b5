#!/usr/bin/env python3
"""SPSS export read back by independent readers: pspp (GET FILE and EXECUTE
with no warning at all; its CSV for the text) and readstat (the numbers); every
value is compared with korvane-cli dump, over every real table and generated
tables with every field type and with Cyrillic text. The case count in the
header must be the records written; text is compared through the code page the
file names, cut to the variable's width (memos and binary data to 255 bytes)."""

import csv
import datetime
import decimal
import os
import re
import struct
import subprocess
import sys
import tempfile

from korvane_checks import all_tables, check, parse_args, report
import korvane_checks
from test_export_text import dump_text, table_info
from test_export_values import dump, env_for

EPOCH = datetime.datetime(1582, 10, 14)
STRINGS = ("String", "Memo", "FmtMemo", "Blob", "Graphic", "Bytes", "ParadoxOle")


def dictionary(raw):
    """String widths (0 for numbers) and the encoding the file names."""
    widths, at = [], 176
    encoding = None
    while at < len(raw):
        rec = struct.unpack_from("<i", raw, at)[0]
        if rec == 2:
            typ, label = struct.unpack_from("<ii", raw, at + 4)
            at += 32
            if label:
                n = struct.unpack_from("<i", raw, at)[0]
                at += 4 + (n + 3) // 4 * 4
            if typ >= 0:
                widths.append(typ)
        elif rec == 7:
            sub, size, count = struct.unpack_from("<iii", raw, at + 4)
            if sub == 20:
                encoding = raw[at + 16:at + 16 + count].decode("ascii")
            at += 16 + size * count
        else:
            break
    return widths, encoding


def read_pspp(sav, tmp, where):
    out = os.path.join(tmp, "p.csv")
    syntax = os.path.join(tmp, "r.sps")
    with open(syntax, "w") as f:
        f.write(f"GET FILE='{sav}'.\nEXECUTE.\nSAVE TRANSLATE /OUTFILE='{out}' /TYPE=CSV "
                "/FIELDNAMES /CELLS=VALUES /REPLACE.\n")
    r = subprocess.run(["pspp", "-O", "format=txt", syntax], capture_output=True, timeout=120, cwd=tmp,
                       env=env_for("C.UTF-8"))
    text = (r.stdout + r.stderr).decode("utf-8", "replace")
    if not check(r.returncode == 0 and "warning" not in text.lower() and "error" not in text.lower(),
                 f"{where}: pspp: {text[-400:]!r}"):
        return None
    with open(out, newline="", encoding="utf-8", errors="replace") as f:
        return list(csv.reader(f))


def read_readstat(sav, tmp, where):
    out = os.path.join(tmp, "r.csv")
    if os.path.exists(out):
        os.remove(out)
    r = subprocess.run(["readstat", sav, out], capture_output=True, timeout=120)
    if not check(r.returncode == 0, f"{where}: readstat: {r.stderr[-300:]!r}"):
        return None
    if not os.path.exists(out):  # no cases: readstat writes no file
        return [[]]
    with open(out, newline="", encoding="utf-8", errors="replace") as f:
        rows = list(csv.reader(f))
    # A case of one missing value is an empty line.
    return [r if r else [""] for r in rows]


def want_text(kind, want, codec, width):
    text = want if kind == "FmtMemo" else dump_text(want)
    b = text.encode(codec, errors="replace")[:width]
    return b.decode(codec, errors="ignore").rstrip(" ")


def same_number(kind, got, want, where):
    if want == "":
        return check(got == "", f"{where}: null read as {got!r}")
    if not check(got != "", f"{where}: {want} read as missing"):
        return False
    g = float(got)
    if kind in ("Smallint", "Integer", "AutoInc", "Word"):
        return check(g == int(want), f"{where}: {got} != {want}")
    if kind in ("Float", "Currency"):
        return check(want in ("inf", "-inf", "nan") or abs(g - float(want)) <= 1e-9 * max(1.0, abs(float(want))),
                     f"{where}: {got} != {want}")
    if kind == "BCD":
        w = decimal.Decimal(want)
        return check(abs(decimal.Decimal(g) - w) <= abs(w) * decimal.Decimal("1e-14") + decimal.Decimal("1e-9"),
                     f"{where}: {got} != {want}")
    if kind == "Boolean":
        return check(g == (1 if want.lower() == "true" else 0), f"{where}: {got} != {want}")
    if kind == "Time":
        t = datetime.timedelta(milliseconds=round(g * 1000))
        h, rest = divmod(t.seconds, 3600)
        text = f"{h:02}:{rest // 60:02}:{rest % 60:02}" + (f".{t.microseconds // 1000:03}" if t.microseconds else "")
        return check(want in (text, text + ".000") or want.startswith(text + "."), f"{where}: {got} != {want}")
    if kind in ("Date", "DateTime"):
        if not re.match(r"\d{4}-", want) or want < "0001":
            return True  # before year 1: the value is written and counted, no Python date holds it
        when = EPOCH + datetime.timedelta(milliseconds=round(g * 1000))
        text = f"{when.year:04}-{when.month:02}-{when.day:02}"
        if kind == "DateTime":
            text += f" {when.hour:02}:{when.minute:02}:{when.second:02}"
        if kind == "DateTime" and when.microsecond:
            text += f".{when.microsecond // 1000:03}"
        return check(want == text or (kind == "DateTime" and want.startswith(text)), f"{where}: {got} != {want}")
    return True


def check_table(cli, path, tmp):
    rows, r = dump(cli, path)
    if rows is None:
        return
    kinds, _ = table_info(cli, path)
    name = os.path.basename(path)
    sav = os.path.join(tmp, "t.sav")
    if os.path.exists(sav):
        os.remove(sav)
    e = korvane_checks.run(cli, "export", path, "--format", "SPSS", "--output", sav, "--allow-lossy", "--quiet",
                           timeout=300, env=env_for("C"))
    if not check(e.returncode == 0, f"{path}: export failed: {e.stderr[-400:]!r}"):
        return
    with open(sav, "rb") as f:
        raw = f.read()
    cases = struct.unpack_from("<i", raw, 80)[0]
    check(cases == len(rows) - 1, f"{name}: {cases} cases, dump has {len(rows) - 1}")
    widths, encoding = dictionary(raw)
    if not check(encoding is not None and len(widths) == len(kinds), f"{name}: dictionary {widths} {encoding}"):
        return
    codec = {"windows-31j": "cp932", "Big5": "cp950"}.get(encoding, encoding)
    text = read_pspp(sav, tmp, name)
    numbers = read_readstat(sav, tmp, name)
    if text is None or numbers is None:
        return
    if not check(len(text) == len(rows) and len(numbers) in (1, len(rows)) and len(numbers) == len(rows) or
                 len(rows) == 1, f"{name}: pspp {len(text)}, readstat {len(numbers)} rows for {len(rows)}"):
        return
    for i, want in enumerate(rows[1:], start=1):
        for k, kind in enumerate(kinds):
            where = f"{name} r{i} {rows[0][k]}"
            if kind in STRINGS:
                # pspp writes a CR LF inside a text as LF.
                got = text[i][k].replace("\0", "").replace("\r\n", "\n").rstrip(" ")
                w = want_text(kind, want[k], codec, widths[k]).replace("\0", "").replace("\r\n", "\n")
                if not check(got == w, f"{where}: {got!r:.80} != {w!r:.80}"):
                    break
            elif not check(k < len(numbers[i]), f"{where}: readstat row {numbers[i]!r:.200}") or \
                    not same_number(kind, numbers[i][k], want[k], where):
                break


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
                               "A40,M60,N,D", cyr)
        if check(r.returncode == 0, f"generate failed: {r.stderr!r}"):
            check_table(args.cli, cyr, tmp)
    return report()


if __name__ == "__main__":
    sys.exit(main())
