#!/usr/bin/env python3
"""korvane-cli info and dump on every real table, and the dumps against the values
that other readers and the tables' sources state."""

import hashlib
import json
import math
import os
import sys

from korvane_checks import all_tables, check, failures, parse_args, report, run


def unescape(cell):
    """Bytes of a dump cell: undoes \\\\ \\t \\n \\r and \\xhh (kept as the raw byte)."""
    out = bytearray()
    raw = cell.encode("utf-8", "surrogateescape")
    i = 0
    while i < len(raw):
        c = raw[i]
        if c == 0x5C and i + 1 < len(raw):
            n = raw[i + 1]
            if n == ord("x"):
                out.append(int(raw[i + 2:i + 4], 16))
                i += 4
                continue
            out += {ord("\\"): b"\\", ord("t"): b"\t", ord("n"): b"\n", ord("r"): b"\r"}[n]
            i += 2
            continue
        out.append(c)
        i += 1
    return bytes(out)


def dump(cli, path, *opts):
    r = run(cli, "dump", *opts, path)
    if r.returncode != 0:
        failures.append(f"dump {path}: exit {r.returncode}: {r.stderr.decode(errors='replace')}")
        return [], []
    text = r.stdout.decode("utf-8")
    check(text.endswith("\n"), f"dump {path}: last line not ended by LF")
    lines = text.split("\n")[:-1]
    names = lines[0].split("\t")
    rows = [line.split("\t") for line in lines[1:]]
    for row in rows:
        check(len(row) == len(names), f"dump {path}: a row of {len(row)} cells for {len(names)} fields")
    return names, rows


def check_every_table(cli, testdata):
    count = 0
    for path in all_tables(testdata):
        count += 1
        for cmd in ("info", "dump"):
            r = run(cli, cmd, path)
            err = r.stderr.decode(errors="replace")
            # A table may be refused, but only with one line from the engine, never a crash.
            check(r.returncode in (0, 1), f"{cmd} {path}: exit {r.returncode} {err}")
            if r.returncode == 1:
                check(err.startswith("korvane-cli: ") and err.count("\n") == 1, f"{cmd} {path}: {err!r}")
            # Only the records of an encrypted table are refused.
            if cmd == "dump" and "the table is encrypted" in err:
                continue
            check(r.returncode == 0, f"{cmd} {path}: refused: {err.strip()}")
    check(count >= 100, f"only {count} tables found")


def date_before_year_1(cell):
    return cell.startswith("-")


def compare_expected(cli, testdata, ref, table, *opts):
    with open(os.path.join(testdata, "_expected", "Rparadox", ref), encoding="utf-8") as f:
        exp = json.load(f)
    names, rows = dump(cli, os.path.join(testdata, table), *opts)
    check(len(rows) == exp["nrow"], f"{table}: {len(rows)} rows, expected {exp['nrow']}")
    if not exp["columns"]:  # that reader gives an empty table no columns at all
        return
    check(names == [c["name"] for c in exp["columns"]], f"{table}: field names {names}")
    for ci, col in enumerate(exp["columns"]):
        for ri, want in enumerate(col["values"]):
            if ri >= len(rows):
                break
            got = rows[ri][ci]
            where = f"{table} row {ri + 1} {col['name']}: got {got!r}, expected {want!r}"
            if want is None:
                # That reader shows dates before year 1 as missing; the bytes hold them.
                check(got == "" or date_before_year_1(got), where)
            elif isinstance(want, dict):  # BLOB: length and SHA-1
                data = bytes.fromhex(got)
                # Graphic data starts with an 8-byte prefix that reader leaves out.
                if len(data) == want["raw_len"] + 8:
                    data = data[8:]
                check(len(data) == want["raw_len"] and hashlib.sha1(data).hexdigest() == want["sha1"], where)
            elif col["r_type"] == "double" and "Date" in col["r_class"]:
                check(got == want, where)
            elif col["r_type"] == "double" and "POSIXct" in col["r_class"]:
                check(got == want.replace("T", " "), where)
            elif col["r_type"] == "double" and "hms" in col["r_class"]:
                check(got == want, where)
            elif col["r_type"] == "double":
                # That reader reads a null currency as 0.
                try:
                    ok = (got == "" and want == 0.0) or math.isclose(float(got), want, rel_tol=1e-12)
                except ValueError:
                    ok = False
                check(ok, where)
            elif col["r_type"] == "integer":
                check(got.lstrip("-").isdigit() and int(got) == want, where)
            elif col["r_type"] == "logical":
                check(got == ("true" if want else "false"), where)
            else:
                check(unescape(got).decode("utf-8") == want, where)


def compare_sources(cli, testdata):
    def rows_of(rel, *opts):
        return dump(cli, os.path.join(testdata, rel), *opts)[1]

    check(rows_of("paradoxdriver/fields/bcd.db") == [
        ["1.23", "1", "0." + "123".ljust(32, "0")],
        ["-1.23", "-1", "-0." + "123".ljust(32, "0")],
        ["0.00", "", "0." + "9999".ljust(32, "0")]], "bcd.db")
    check(rows_of("paradoxdriver/fields/time.db") == [["01:00:01"], [""], ["03:00:03"]], "time.db")
    check(rows_of("paradoxdriver/fields/timestamp.db") == [[""], ["2020-02-01 01:00:01"]], "timestamp.db")
    check(rows_of("paradoxdriver/fields/long.db") == [["1", "1"], ["2", "2"], ["3", ""]], "long.db")
    check(rows_of("paradoxdriver/fields/logical.db") == [["true"], ["false"], ["true"], ["true"]], "logical.db")
    d7 = rows_of("paradoxdriver/fields/date7.db")
    check([r[0] for r in d7 if r[0]] == ["2018-01-01", "2018-02-01", "2018-01-02", "2018-01-01"], "date7.db dates")
    check([r[1] for r in d7 if not r[0]] == ["10:00:00"], "date7.db time of the null date")
    check(rows_of("paradoxdriver/db/GENERAL.DB") == [
        ["1", "Mari", "100.0"], ["2", "Katty", "150.0"], ["333333333", "Elizabet", "75.0"]], "GENERAL.DB")
    ac = rows_of("paradoxdriver/db/AREACODES.DB")
    check(len(ac) == 370 and ac[0] == ["201", "NJ", "Hackensack, Jersey City (201/551 overlay)"], "AREACODES.DB")
    cust = rows_of("paradoxdriver/db/CUSTOMER.DB")
    check([r[3] for r in cust[:3]] == ["luke@fun.com", "fmallory@freeport.org", "lpetzold@earthenwear.com"],
          "CUSTOMER.DB")
    memo = rows_of("paradoxdriver/fields/memo.db")
    check(len(unescape(memo[0][1])) == 555 and memo[1][1] == "01234567890\\n", "memo.db")
    pic = rows_of("paradoxdriver/fields/graphic.db")
    check([len(r[1]) // 2 for r in pic[1:]] == [9626, 2074686], "graphic.db")
    check(rows_of("paradoxdriver/fields/bytes.db")[0][0].startswith("310032003300"), "bytes.db")
    check(len(rows_of("paradoxdriver/geog/County.DB")) == 3218, "County.DB")
    check(len(rows_of("paradoxdriver/areas/ZIPCODES.DB")) == 43185, "ZIPCODES.DB")
    check(len(rows_of("ParadoxReader-dabide/zakazky.db")) == 3988, "zakazky.db")
    check(len(rows_of("onyx-jtech-gripstrength/ZListItem.DB")) == 422, "ZListItem.DB")
    # Encrypted: refused with a message that says so, no garbage on stdout.
    enc = run(cli, "dump", os.path.join(testdata, "paradoxdriver/encrypt/encrypted.db"))
    check(enc.returncode == 1 and enc.stdout == b"" and b"the table is encrypted" in enc.stderr,
          f"encrypted.db: {enc.returncode} {enc.stderr!r}")
    note = rows_of("paradoxdriver-history/27769dce/NOTE1251.DB", "--encoding", "cp1251")
    check(note[1][1] == "Удивительное устройство USB-флешки Kingston DataTraveler", "NOTE1251.DB")
    # Without an override the header's code page 936 is used: bytes it cannot decode stay visible.
    note936 = rows_of("paradoxdriver-history/27769dce/NOTE1251.DB")
    check(len(note936) == 2, "NOTE1251.DB as 936")


def check_escapes(cli, testdata, build):
    """Escapes of control bytes, backslashes and bytes the code page cannot decode."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fuzz"))
    import gen_corpus  # the seed builder writes small tables from scratch
    import tempfile
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "esc.db")
        rec = b"a\\b\tc\nd\re\x01\x7f\xfc"
        with open(path, "wb") as f:
            f.write(gen_corpus.table([(1, 16, b"N\tame")], [(0, 0, [rec], None)], code_page=1252))
        names, rows = dump(cli, path)
        check(names == ["N\\tame"], f"escaped name {names}")
        check(rows == [["a\\\\b\\tc\\nd\\re\\x01\\x7fü"]], f"escaped text {rows}")
        names, rows = dump(cli, path, "--encoding", "ascii")
        check(rows == [["a\\\\b\\tc\\nd\\re\\x01\\x7f\\xfc"]], f"undecodable byte {rows}")


def main():
    a = parse_args()
    check_every_table(a.cli, a.testdata)
    compare_expected(a.cli, a.testdata, "ref_TypSammlung.json", "Rparadox/TypSammlung.DB")
    compare_expected(a.cli, a.testdata, "ref_mushrooms.json", "Rparadox/mushrooms.db")
    compare_expected(a.cli, a.testdata, "ref_of.json", "Rparadox/of.db", "--encoding", "866")
    compare_expected(a.cli, a.testdata, "ref_of.json", "Rparadox/of_cp866.db")
    compare_expected(a.cli, a.testdata, "ref_empty.json", "Rparadox/empty.db")
    compare_sources(a.cli, a.testdata)
    check_escapes(a.cli, a.testdata, a.build)
    return report(50)


if __name__ == "__main__":
    sys.exit(main())
