#!/usr/bin/env python3
"""korvane-cli info on real tables: every header fact it promises, the encryption
and memo file notes, the field lines; and dump's --encoding override."""

import os
import sys

from korvane_checks import check, failures, parse_args, run


def info(cli, path):
    """The key: value lines and the field lines of `info`."""
    r = run(cli, "info", path)
    if r.returncode != 0:
        failures.append(f"info {path}: exit {r.returncode}: {r.stderr.decode(errors='replace')}")
        return {}, []
    text = r.stdout.decode("utf-8")
    head, _, table = text.partition("\n\n")
    facts = {}
    for line in head.split("\n"):
        key, sep, value = line.partition(":")
        check(sep == ":", f"info {path}: line without a key: {line!r}")
        facts[key] = value.strip()
    lines = [l for l in table.split("\n") if l.strip()]
    check(lines and lines[0].split() == ["#", "Name", "Type", "Code", "Size", "Offset", "Kind"],
          f"info {path}: field table heading {lines[:1]}")
    return facts, lines[1:]


def main():
    a = parse_args()
    td = a.testdata
    if not os.path.isdir(td):
        print("no test data; skipped")
        return 0

    keys = ["Table", "File version", "File type", "Record length", "Header length", "Block size", "Records",
            "Blocks", "Encryption", "Language driver", "Code page", "Sort order", "Memo file", "Fields"]

    # A version 7 table with every common type, its memo file beside it.
    facts, fields = info(a.cli, os.path.join(td, "Rparadox/TypSammlung.DB"))
    for k in keys:
        check(k in facts, f"TypSammlung: no {k!r} line")
    check(facts.get("File version", "").startswith("12 "), f"TypSammlung version {facts.get('File version')}")
    check(facts.get("Encryption") == "none", f"TypSammlung encryption {facts.get('Encryption')}")
    check(facts.get("Memo file", "").lower().endswith(".mb"), f"TypSammlung memo file {facts.get('Memo file')}")
    check(facts.get("Fields") == str(len(fields)), f"TypSammlung: {facts.get('Fields')} fields, {len(fields)} lines")
    # One line per field: number, name, Paradox type, code, size, offset, field kind.
    kinds = {"Alpha": "String", "Number": "Float", "Money": "Currency", "Short": "Smallint", "Long": "Integer",
             "BCD": "BCD", "Date": "Date", "Time": "Time", "Timestamp": "DateTime", "Memo": "Memo",
             "Logical": "Boolean", "Autoincrement": "AutoInc", "Binary": "Blob", "Bytes": "Bytes"}
    for n, line in enumerate(fields, 1):
        cells = line.split()
        check(cells[0] == str(n), f"TypSammlung field line {n}: {line!r}")
        kind = cells[-1]
        ptype = next((t for t in kinds if f"  {t}  " in line), None)
        check(ptype is not None and kinds[ptype] == kind, f"TypSammlung field line {n}: type and kind {line!r}")
    check(any("Währung" in l for l in fields), "TypSammlung: field names are decoded")

    # Encrypted: opened, the header shown, and info says its records cannot be read.
    facts, _ = info(a.cli, os.path.join(td, "Rparadox-cran/TypSammlung_encrypted.DB"))
    enc = facts.get("Encryption", "")
    check(enc.startswith("encrypted (0x8848F16E)") and "cannot be read" in enc, f"encrypted table: {enc!r}")
    facts, _ = info(a.cli, os.path.join(td, "paradoxdriver/encrypt/encrypted.db"))
    check(facts.get("Encryption", "").startswith("encrypted (0x0A25E09A)"), f"encrypted.db: {facts.get('Encryption')}")

    # A table with BLOB fields and no memo file beside it.
    facts, _ = info(a.cli, os.path.join(td, "paradoxReader-khubla/MEMBRE.DB"))
    check(facts.get("Memo file") == "not found", f"MEMBRE memo file {facts.get('Memo file')!r}")
    check(facts.get("Block size") == "16 KB", f"MEMBRE block size {facts.get('Block size')!r}")
    check(facts.get("Header length") == "4096 bytes", f"MEMBRE header length {facts.get('Header length')!r}")
    check(facts.get("Fields") == "92", f"MEMBRE fields {facts.get('Fields')!r}")

    # Header facts of a small table whose header names code page 936.
    facts, fields = info(a.cli, os.path.join(td, "paradoxdriver/db/GENERAL.DB"))
    check(facts.get("Records") == "3", f"GENERAL records {facts.get('Records')!r}")
    check(facts.get("Code page", "").startswith("936"), f"GENERAL code page {facts.get('Code page')!r}")
    check([l.split()[1] for l in fields] == ["ID", "NAME", "MONEYS"], f"GENERAL fields {fields}")

    # Version 3.5: no code page in the header; the language driver points at 866.
    facts, _ = info(a.cli, os.path.join(td, "Rparadox/of.db"))
    check(facts.get("File version", "").startswith("4 "), f"of.db version {facts.get('File version')!r}")
    check(facts.get("Language driver", "").startswith("Paradox Cyrr 866"), f"of.db language {facts.get('Language driver')!r}")
    cp = facts.get("Code page", "")
    check(cp.startswith("none") and "866" in cp, f"of.db code page {cp!r}")

    # dump --encoding: the override decides how text is read, in both spellings.
    path = os.path.join(td, "Rparadox/of.db")
    plain = run(a.cli, "dump", path)
    cp866 = run(a.cli, "dump", "--encoding", "866", path)
    cp866b = run(a.cli, "dump", "--encoding=cp866", path)
    check(plain.returncode == 0 and cp866.returncode == 0 and cp866b.returncode == 0, "of.db dumps")
    check(cp866.stdout == cp866b.stdout, "--encoding 866 and --encoding=cp866 differ")
    check(cp866.stdout != plain.stdout, "--encoding 866 changes nothing")
    check(any(0x0400 <= ord(ch) <= 0x04FF for ch in cp866.stdout.decode("utf-8")), "of.db as cp866: no Cyrillic")

    # Failures: clear messages and non-zero exits, nothing on stdout.
    r = run(a.cli, "info", os.path.join(td, "no-such-table.db"))
    check(r.returncode == 1 and b"Unable to open database" in r.stderr and not r.stdout, f"missing table: {r}")
    r = run(a.cli, "info", os.path.join(td, "SOURCES.md"))
    check(r.returncode == 1 and b"is not .DB data file" in r.stderr and not r.stdout, f"not a table: {r}")
    r = run(a.cli, "dump", "--encoding", "no-such-cp", path)
    check(r.returncode == 2 and b"Unknown code page" in r.stderr and not r.stdout, f"bad encoding: {r}")
    r = run(a.cli, "dump", "--encoding")
    check(r.returncode == 2 and b"--encoding needs a code page" in r.stderr, f"--encoding alone: {r}")
    r = run(a.cli, "info", path, path)
    check(r.returncode == 2, f"two tables: {r}")

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
