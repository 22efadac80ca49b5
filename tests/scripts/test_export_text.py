#!/usr/bin/env python3
"""korvane-cli export --format text on every real table, read back with the csv
module: every cell must hold the text the engine gives (checked against the
values of korvane-cli dump), and tables that cannot be read must fail export
with dump's message."""

import codecs
import csv
import math
import os
import shutil
import re
import subprocess
import sys
import tempfile

from korvane_checks import all_tables, check, failures, parse_args, report
import korvane_checks

csv.field_size_limit(1 << 30)

ENV = dict(os.environ, LC_ALL="C")

# Dates as YYYY-MM-DD and times as HH:MM:SS, the forms dump uses.
DISPLAY = ["--display-text", "--date-order", "YMD", "--date-separator", "-", "--four-digit-year",
           "--leading-zeros", "--time-separator", ":", "--decimal", ".", "--thousand", "none",
           "--currency", ""]


def run(cli, *args):
    return korvane_checks.run(cli, *args, timeout=300, env=ENV)


def dump_text(cell):
    """The text export's form of a dump cell: escapes undone; an escaped control
    byte is that byte (a NUL is left out, as no text file holds it), any other
    escaped byte could not be decoded and is U+FFFD."""
    out = []
    i = 0
    while i < len(cell):
        c = cell[i]
        if c == "\\" and i + 1 < len(cell):
            n = cell[i + 1]
            if n == "x":
                b = int(cell[i + 2:i + 4], 16)
                out.append("" if b == 0 else chr(b) if b < 0x20 or b == 0x7F else "\ufffd")
                i += 4
                continue
            out.append({"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}[n])
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def table_info(cli, path):
    """Field kinds and the code page the text is read as."""
    r = run(cli, "info", path)
    text = r.stdout.decode("utf-8", "replace")
    m = re.search(r"text read as .*?\((\d+)\)", text)
    cp = int(m.group(1)) if m else 437
    kinds = []
    lines = text.split("\n")
    for i, line in enumerate(lines):
        if line.strip().startswith("#") and "Kind" in line:
            for fl in lines[i + 1:]:
                if fl.strip():
                    kinds.append(fl.split()[-1])
            break
    return kinds, cp


def dump(cli, path):
    r = run(cli, "dump", path)
    if r.returncode != 0:
        return None, r
    lines = r.stdout.decode("utf-8").split("\n")[:-1]
    return [l.split("\t") for l in lines], r


def read_csv(path):
    with open(path, encoding="utf-8", errors="surrogateescape", newline="") as f:
        return list(csv.reader(f, delimiter=",", quotechar='"', lineterminator="\n", strict=True))


def raw(cell):
    return cell.encode("utf-8", "surrogateescape")


def same_cell(kind, got, want, codec):
    """got: the exported cell; want: the dump cell."""
    if want == "":
        return got == ""
    if kind in ("Smallint", "Integer", "AutoInc", "BCD"):
        return got == want
    if kind == "Float":
        return math.isclose(float(got), float(want), rel_tol=1e-14, abs_tol=1e-300)
    if kind == "Currency":
        # Every stored digit, at least two decimals.
        neg = got.startswith("(") or got.startswith("-")
        v = float(got.strip("()-"))
        return (-v if neg else v) == float(want) and re.search(r"\.\d\d", got) is not None
    if kind == "Boolean":
        return got.lower() == want
    if kind == "Date":
        return got == want
    if kind == "Time":
        # Values outside a day (garbage of encrypted tables) are shown by dump as stored.
        if not re.fullmatch(r"(0\d|1\d|2[0-3]):[0-5]\d:[0-5]\d(\.\d{3})?", want):
            return True
        return got == want
    if kind == "DateTime":
        # A time stamp at midnight is written by the date pattern.
        return got == want or (" " not in got and got == want[:-9] and want.endswith(" 00:00:00"))
    if kind in ("Blob", "Graphic", "Bytes", "ParadoxOle", "FmtMemo"):
        # Binary data as dump's hex, formatted memos as dump's escaped text.
        return got == want
    return got == dump_text(want)


def check_table(cli, path, tmp):
    rows, dr = dump(cli, path)
    out = os.path.join(tmp, "out.csv")
    if os.path.exists(out):
        os.remove(out)
    # NUL bytes are left out of a text file (and counted); --allow-lossy keeps the
    # run quiet about it.
    r = run(cli, "export", path, "--format", "text", "--output", out, "--title", "--separator", ",",
            "--qualifier", '"', "--record-separator", "lf", "--quiet", "--allow-lossy", *DISPLAY)
    err = r.stderr.decode(errors="replace")
    if rows is None:
        check(r.returncode == 1 and r.stderr == dr.stderr, f"{path}: export {err!r} vs dump {dr.stderr!r}")
        check(not os.path.exists(out), f"{path}: a refused table left a file")
        return
    # The warnings dump gives (memo file missing, file cut short) come once, and nothing else.
    if not check(r.returncode == 0 and r.stderr == dr.stderr, f"{path}: export exit {r.returncode}: {err}"):
        return
    kinds, cp = table_info(cli, path)
    try:
        codec = codecs.lookup(f"cp{cp}").name
    except LookupError:
        codec = "latin-1"
    got = read_csv(out)
    check(len(got) == len(rows), f"{path}: {len(got)} lines for {len(rows)} dump lines")
    names = rows[0]
    check(len(kinds) == len(names), f"{path}: {len(kinds)} kinds for {len(names)} fields")
    check(got[:1] == [[dump_text(n) for n in names]], f"{path}: titles {got[:1]} for {names}")
    # Titles taken from the stored field names are decoded as the captions are.
    r = run(cli, "export", path, "--format", "text", "--output", out, "--title", "--field-names", "--separator", ",",
            "--qualifier", '"', "--record-separator", "lf", "--quiet", "--allow-lossy")
    if check(r.returncode == 0, f"{path}: --field-names export: {r.stderr!r}"):
        check(read_csv(out)[:1] == [[dump_text(n) for n in names]], f"{path}: --field-names titles for {names}")
    bad = 0
    for ri, (g, d) in enumerate(zip(got[1:], rows[1:])):
        if g == [] and len(d) == 1:
            g = [""]  # one empty value makes an empty line
        if not check(len(g) == len(d), f"{path} row {ri + 1}: {len(g)} cells for {len(d)}"):
            bad += 1
            continue
        for ci, (gc, dc) in enumerate(zip(g, d)):
            try:
                ok = same_cell(kinds[ci], gc, dc, codec)
            except (ValueError, IndexError) as e:
                ok = False
                gc = f"{gc!r} ({e})"
            if not ok:
                bad += 1
                if bad <= 5:
                    failures.append(f"{path} row {ri + 1} {names[ci]} ({kinds[ci]}): export {gc!r}, dump {dc!r}")
    check(bad == 0, f"{path}: {bad} cells differ")


def check_command_line(cli, testdata, tmp):
    table = os.path.join(testdata, "paradoxdriver", "db", "GENERAL.DB")
    out = os.path.join(tmp, "g.txt")

    r = run(cli, "export", "--help")
    check(r.returncode == 0 and b"--rows-per-file" in r.stdout, "export --help")
    # The --format line names the formats of this build, and each of them is taken.
    m = re.search(r"--format F +format name: ([^(]*)\(", r.stdout.decode())
    named = [n.strip() for n in m[1].split(",")] if m else []
    # The office formats are listed where LibreOffice is installed.
    office = {"Excel", "Word", "OpenOffice"} if shutil.which("soffice") else set()
    check(set(named) == {"Text", "DBase", "XLS", "HTML", "XML", "SQL", "LDIF", "Clipboard", "SPSS", "SYLK", "DIF",
                         "WKS", "Quattro", "RTF", "PDF", "Paradox", "ADO"} | office,
          f"export --help names {named}")
    for fmt in named:
        if fmt != "Clipboard":
            r = run(cli, "export", table, "--format", fmt)
            check(r.returncode == 2 and b"not available" not in r.stderr, f"--format {fmt}: {r.stderr!r}")
    for fmt, what in (("Access", b"does not exist for Linux"), ("nosuch", b"unknown format")):
        r = run(cli, "export", table, "--format", fmt, "--output", out)
        check(r.returncode == 2 and what in r.stderr and not os.path.exists(out), f"--format {fmt}: {r.stderr!r}")
    r = run(cli, "export", table, "--format", "text")
    check(r.returncode == 2 and b"--output" in r.stderr, f"no output: {r.stderr!r}")
    r = run(cli, "export", table, "--format", "text", "--output", out, "--columns", "NOPE")
    check(r.returncode == 2 and b"NOPE" in r.stderr, f"unknown column: {r.stderr!r}")

    # Defaults: tab-separated, CR LF, no titles, text in double quotes; the final
    # message on stderr.
    r = run(cli, "export", table, "--format", "Text", "--output", out)
    check(r.returncode == 0 and b"successfully generated" in r.stderr, f"default export: {r.stderr!r}")
    with open(out, "rb") as f:
        data = f.read()
    check(data == b'1\t"Mari"\t100.00\r\n2\t"Katty"\t150.00\r\n333333333\t"Elizabet"\t75.00\r\n',
          f"default export: {data!r}")

    # Which values get the qualifier: text fields by default, every value with "all".
    for which, want in ((None, b'1,"Mari",100.00\r\n'), ("all", b'"1","Mari","100.00"\r\n'),
                        ("non-numeric", b'1,"Mari",100.00\r\n')):
        opts = ["--qualify", which] if which else []
        r = run(cli, "export", table, "--format", "text", "--output", out, "--separator", "comma",
                "--qualifier", "double", "--quiet", *opts)
        with open(out, "rb") as f:
            first = f.readline()
        check(r.returncode == 0 and first == want, f"--qualify {which}: {first!r} {r.stderr!r}")
    r = run(cli, "export", table, "--format", "text", "--output", out, "--qualify", "some")
    check(r.returncode == 2 and b"--qualify" in r.stderr, f"--qualify some: {r.stderr!r}")

    # Columns in a chosen order, fixed width, titles by field name.
    r = run(cli, "export", table, "--format", "text", "--output", out, "--columns", "name,ID", "--fixed",
            "--separator", "none", "--qualifier", "none", "--title", "--quiet")
    with open(out, "rb") as f:
        lines = f.read().split(b"\r\n")
    check(r.returncode == 0 and lines[0].startswith(b"NAME") and lines[1].rstrip().endswith(b"1")
          and len(set(len(l) for l in lines[:-1])) == 1, f"fixed: {lines!r}")

    # Split files.
    split = os.path.join(tmp, "split", "s.csv")
    r = run(cli, "export", table, "--format", "text", "--output", split, "--rows-per-file", "2", "--quiet")
    check(r.returncode == 0 and sorted(os.listdir(os.path.dirname(split))) == ["s.csv", "s001.csv"],
          f"split: {r.stderr!r} {os.listdir(os.path.dirname(split)) if os.path.isdir(os.path.dirname(split)) else []}")

    # A settings file supplies the settings; an option overrides it.
    spec = os.path.join(tmp, "t.zele")
    with open(spec, "wb") as f:
        f.write(b"[Common]\r\nTableType=Text\r\nAddTitle=1\r\nSourceFileName=" + os.path.join(tmp, "fromspec.csv").encode()
                + b"\r\nExportIfEmpty=1\r\n\r\n[Text]\r\nFieldDelimiter=3B\r\nTextQualifier=22\r\nRecordSeparator=0A\r\n")
    r = run(cli, "export", table, "--spec", spec, "--quiet")
    check(r.returncode == 0, f"spec export: {r.stderr!r}")
    with open(os.path.join(tmp, "fromspec.csv"), "rb") as f:
        data = f.read()
    check(data == b'"ID";"NAME";"MONEYS"\n1;"Mari";100.00\n2;"Katty";150.00\n333333333;"Elizabet";75.00\n', f"spec: {data!r}")
    r = run(cli, "export", table, "--spec", spec, "--no-title", "--separator", "tab", "--output", out, "--quiet")
    with open(out, "rb") as f:
        data = f.read()
    check(r.returncode == 0 and data.startswith(b'1\t"Mari"\t100.00\n'), f"spec overridden: {data!r}")
    # A settings file of a format that cannot be written here is refused, unless --format
    # names another.
    sav = os.path.join(tmp, "h.zele")
    with open(sav, "wb") as f:
        f.write(b"[Common]\r\nTableType=Access\r\nSourceFileName=" + os.path.join(tmp, "h.mdb").encode() + b"\r\n")
    r = run(cli, "export", table, "--spec", sav, "--quiet")
    check(r.returncode == 2 and b"Writing Access databases needs" in r.stderr, f"Access spec: {r.stderr!r}")
    r = run(cli, "export", table, "--spec", sav, "--format", "text", "--quiet")
    check(r.returncode == 0 and os.path.exists(os.path.join(tmp, "h.mdb")), f"Access spec as text: {r.stderr!r}")
    r = run(cli, "export", table, "--spec", os.path.join(tmp, "missing.zele"), "--output", out)
    check(r.returncode == 1 and r.stderr.startswith(b"korvane-cli: ") and r.stderr.count(b"\n") == 1,
          f"missing spec: {r.stderr!r}")

    # No records and --no-empty: nothing is written, the run still completes and says so.
    empty = os.path.join(testdata, "Rparadox", "empty.db")
    none = os.path.join(tmp, "none.csv")
    r = run(cli, "export", empty, "--format", "text", "--output", none, "--no-empty")
    check(r.returncode == 0 and b"no records" in r.stderr and not os.path.exists(none), f"--no-empty: {r.stderr!r}")

    # --encoding reads the text as another code page, as dump does.
    note = os.path.join(testdata, "paradoxdriver-history", "27769dce", "NOTE1251.DB")
    enc = os.path.join(tmp, "note.csv")
    r = run(cli, "export", note, "--format", "text", "--output", enc, "--encoding", "cp1251", "--separator", ",",
            "--qualifier", '"', "--quiet")
    rows = read_csv(enc) if r.returncode == 0 else []
    check(len(rows) == 2 and rows[1][1] == "Удивительное устройство USB-флешки Kingston DataTraveler",
          f"--encoding: {r.stderr!r} {rows[1:2]}")
    r = run(cli, "export", note, "--format", "text", "--output", enc, "--encoding", "nosuch")
    check(r.returncode == 2, f"bad --encoding: {r.stderr!r}")

    # Tables that cannot be read: the same one-line message as dump, and no file.
    bad = os.path.join(tmp, "bad.db")
    with open(bad, "wb") as f:
        f.write(b"not a table at all" * 3)
    for path in (bad, os.path.join(tmp, "missing.db")):
        d = run(cli, "dump", path)
        for target in (out, os.path.join(tmp, "never.csv")):
            e = run(cli, "export", path, "--format", "text", "--output", target)
            check(e.returncode == 1 and e.stderr == d.stderr and d.stderr.count(b"\n") == 1,
                  f"{path}: export {e.stderr!r}, dump {d.stderr!r}")
        check(not os.path.exists(os.path.join(tmp, "never.csv")), f"{path}: file written")
    # The table itself is never the output (tried on a copy).
    copy = os.path.join(tmp, "copy.db")
    with open(table, "rb") as f:
        before = f.read()
    with open(copy, "wb") as f:
        f.write(before)
    e = run(cli, "export", copy, "--format", "text", "--output", copy)
    with open(copy, "rb") as f:
        check(e.returncode == 1 and b"table being exported" in e.stderr and f.read() == before,
              f"output over the table: {e.stderr!r}")
    # The earlier file of a failed run is untouched.
    with open(out, "rb") as f:
        check(f.read().startswith(b'1\t"Mari"'), "earlier output changed by a failed run")
    check(not [n for n in os.listdir(tmp) if n.startswith(".")], f"temporary files left: {os.listdir(tmp)}")


def check_interrupt(cli, tmp):
    """Ctrl-C is the Cancel button: the run ends as cancelled and the earlier file stays."""
    import signal
    import time
    big = os.path.join(tmp, "big.db")
    r = run(cli, "generate", "--records", "300000", "--fields", "A40,I,N,D,M40", big)
    if not check(r.returncode == 0, f"generate: {r.stderr!r}"):
        return
    out = os.path.join(tmp, "big.csv")
    with open(out, "wb") as f:
        f.write(b"earlier\n")
    p = subprocess.Popen([cli, "export", big, "--format", "text", "--output", out, "--quiet"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV)
    time.sleep(0.15)
    p.send_signal(signal.SIGINT)
    _, err = p.communicate(timeout=120)
    if p.returncode == 0:
        return  # the export was faster than the signal: nothing to see
    if p.returncode < 0:
        # The signal came before the run began (a very slow start): killed, nothing written.
        with open(out, "rb") as f:
            check(f.read() == b"earlier\n", "an interrupted start changed the earlier file")
        return
    check(p.returncode == 1 and err == b"korvane-cli: Data export was canceled by user.\n", f"Ctrl-C: {err!r}")
    with open(out, "rb") as f:
        check(f.read() == b"earlier\n", "Ctrl-C changed the earlier file")
    check(not [n for n in os.listdir(tmp) if n.startswith(".")], f"temporary files left: {os.listdir(tmp)}")


def main():
    a = parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        count = 0
        for path in all_tables(a.testdata):
            count += 1
            check_table(a.cli, path, tmp)
        check(count >= 100, f"only {count} tables found")
        check_command_line(a.cli, a.testdata, tmp)
        check_interrupt(a.cli, tmp)
    return report(60)


if __name__ == "__main__":
    sys.exit(main())
