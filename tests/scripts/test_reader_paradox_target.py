#!/usr/bin/env python3
"""Paradox tables written by the Paradox target, read back by korvane-cli dump: every
real table (encrypted ones aside) and a generated table of every field type copied
to a new table dump byte for byte as the source does, auto-increment values
included. Appending doubles the records (the appended ones numbered after the
largest); appending to a keyed or an encrypted table is refused and leaves it as it
was; replacing a keyed table removes its index files. The dBase table type is read
back with dbfread and compared with dump as the dBase export is."""

import glob
import hashlib
import os
import shutil
import sys
import tempfile

from korvane_checks import all_tables, check, parse_args, report
import korvane_checks
from test_export_text import table_info
from test_export_values import env_for
import test_reader_dbf


def export(cli, path, out, *extra):
    return korvane_checks.run(cli, "export", path, "--format", "Paradox", "--output", out, "--quiet", *extra,
                              timeout=300, env=env_for("C"))


def dump_bytes(cli, path):
    r = korvane_checks.run(cli, "dump", path, timeout=300, env=env_for("C"))
    return r.stdout, r


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def clear(tmp):
    for f in glob.glob(os.path.join(tmp, "c.*")):
        os.remove(f)


def check_copy(cli, path, tmp):
    """A new table: its dump is the source's, byte for byte."""
    want, r = dump_bytes(cli, path)
    clear(tmp)
    out = os.path.join(tmp, "c.db")
    # Values the source cannot deliver (a missing memo file) are counted, not hidden.
    e = export(cli, path, out, "--allow-lossy")
    if not check(e.returncode == 0, f"{path}: export failed: {e.stderr[-400:]!r}"):
        return
    got, r2 = dump_bytes(cli, out)
    check(r2.returncode == r.returncode or r.returncode != 0, f"{path}: dump of the copy exit {r2.returncode}")
    if got != want:
        a, b = want.split(b"\n"), got.split(b"\n")
        line = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
        check(False, f"{path}: copy differs at dump line {line}: {b[line] if line < len(b) else None!r:.160} "
                     f"!= {a[line] if line < len(a) else None!r:.160}")


def check_merge(cli, source, tmp):
    """Appending twice: the records three times over, appended auto-increments numbered on."""
    want, _ = dump_bytes(cli, source)
    lines = want.decode("utf-8").split("\n")[:-1]
    kinds, _ = table_info(cli, source)
    out = os.path.join(tmp, "m.db")
    for f in glob.glob(os.path.join(tmp, "m.*")):
        os.remove(f)
    for extra in ((), ("--merge",), ("--merge",)):
        e = export(cli, source, out, "--allow-lossy", *extra)
        if not check(e.returncode == 0, f"merge {extra}: {e.stderr[-400:]!r}"):
            return
    got, _ = dump_bytes(cli, out)
    glines = got.decode("utf-8").split("\n")[:-1]
    body = lines[1:]
    check(len(glines) == 1 + 3 * len(body), f"merge: {len(glines) - 1} records for 3 x {len(body)}")
    check(glines[:1 + len(body)] == lines, "merge: the first copy changed")
    auto = [k for k, kind in enumerate(kinds) if kind == "AutoInc"]
    largest = max((int(l.split("\t")[k]) for l in body for k in auto if l.split("\t")[k]), default=0)
    for n, line in enumerate(glines[1 + len(body):]):
        cells, src = line.split("\t"), body[n % len(body)].split("\t")
        for k, (a, b) in enumerate(zip(cells, src)):
            if k in auto:
                if not check(a == str(largest + n + 1), f"merge r{n}: auto-increment {a} != {largest + n + 1}"):
                    return
            elif not check(a == b, f"merge r{n} field {k}: {a!r:.60} != {b!r:.60}"):
                return


def check_refusals(cli, testdata, tmp):
    src = os.path.join(testdata, "paradoxdriver", "db", "GENERAL.DB")
    # A keyed table: appending is refused, the table stays as it was.
    keyed = os.path.join(tmp, "k.db")
    shutil.copy(os.path.join(testdata, "paradoxdriver", "db", "AREACODE.DB"), keyed)
    shutil.copy(os.path.join(testdata, "paradoxdriver", "db", "AREACODE.PX"), os.path.join(tmp, "k.PX"))
    before = digest(keyed)
    e = export(cli, src, keyed, "--merge")
    check(e.returncode == 1 and b"keyed" in e.stderr, f"keyed merge: {e.returncode} {e.stderr!r}")
    check(digest(keyed) == before, "keyed merge changed the table")
    # Key fields in the header alone also say so.
    os.remove(os.path.join(tmp, "k.PX"))
    e = export(cli, src, keyed, "--merge")
    check(e.returncode == 1 and b"keyed" in e.stderr, f"keyed merge without .PX: {e.returncode} {e.stderr!r}")
    check(digest(keyed) == before, "keyed merge changed the table")
    # Replacing it removes the index files of the old table once the new one is in place.
    for side in ("k.PX", "k.X02", "K.Y02", "k.VAL", "k.mb"):
        with open(os.path.join(tmp, side), "wb") as f:
            f.write(b"old")
    e = export(cli, src, keyed)
    check(e.returncode == 0, f"replace keyed: {e.stderr!r}")
    left = sorted(f for f in os.listdir(tmp) if f.lower().startswith("k."))
    check(left == ["k.db"], f"replace keyed left {left}")
    want, _ = dump_bytes(cli, src)
    check(dump_bytes(cli, keyed)[0] == want, "replaced keyed table differs from its source")
    # An encrypted table cannot be appended to.
    enc = os.path.join(tmp, "e.db")
    shutil.copy(os.path.join(testdata, "paradoxdriver", "encrypt", "encrypted.db"), enc)
    before = digest(enc)
    e = export(cli, src, enc, "--merge")
    check(e.returncode == 1 and b"encrypted" in e.stderr, f"encrypted merge: {e.returncode} {e.stderr!r}")
    check(digest(enc) == before, "encrypted merge changed the table")
    # FoxPro and ASCII tables are refused by name; nothing is written.
    for kind in ("foxpro", "ascii"):
        out = os.path.join(tmp, "x." + kind)
        e = export(cli, src, out, "--table-type", kind)
        check(e.returncode == 1 and kind.encode() in e.stderr.lower() and not os.path.exists(out),
              f"--table-type {kind}: {e.returncode} {e.stderr!r}")
    r = korvane_checks.run(cli, "export", src, "--format", "Text", "--output", os.path.join(tmp, "x.txt"),
                           "--table-type", "dbase")
    check(r.returncode == 2 and b"--format Paradox" in r.stderr, f"--table-type with Text: {r.stderr!r}")


def check_dbase(cli, path, tmp):
    """The dBase table type: what the dBase export writes, read back by dbfread."""
    saved = test_reader_dbf.export

    def through_paradox(cli_, path_, out, extra=()):
        return korvane_checks.run(cli_, "export", path_, "--format", "Paradox", "--table-type", "dbase", "--output",
                                  out, "--allow-lossy", "--quiet", *extra, timeout=300, env=env_for("C"))

    test_reader_dbf.export = through_paradox
    try:
        test_reader_dbf.check_table(cli, path, tmp)
    finally:
        test_reader_dbf.export = saved


def main():
    args = parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        for path in all_tables(args.testdata):
            if "_expected" in path:
                continue
            info = korvane_checks.run(args.cli, "info", path).stdout.decode("utf-8", "replace")
            if "encrypted" in info.lower():
                continue
            check_copy(args.cli, path, tmp)
        gen = os.path.join(tmp, "gen", "all.db")
        os.makedirs(os.path.dirname(gen))
        r = korvane_checks.run(args.cli, "generate", "--records", "300", "--fields",
                               "A40,I,S,N,$,D,T,@,L,M60,#4,+,B,G,F,Y8,A255", gen)
        if check(r.returncode == 0, f"generate failed: {r.stderr!r}"):
            check_copy(args.cli, gen, tmp)
            check_merge(args.cli, gen, tmp)
            check_dbase(args.cli, gen, tmp)
        check_merge(args.cli, os.path.join(args.testdata, "paradoxReader-khubla", "MEMBRE.DB"), tmp)
        check_dbase(args.cli, os.path.join(args.testdata, "paradoxdriver", "db", "CUSTOMER.DB"), tmp)
        check_refusals(args.cli, args.testdata, tmp)
    return report()


if __name__ == "__main__":
    sys.exit(main())
