#!/usr/bin/env python3
"""XML export read by outside readers: xmllint finds every layout well-formed,
xml.etree reads the values back equal to korvane-cli dump (every real table in
the ie and element layouts; a generated table with every field type, a table
with hostile names and values and TypSammlung in all five), the mssql layout's
values are valid for its own schema, xsltproc runs the generated stylesheet, and
appending keeps one document."""

import base64
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

from korvane_checks import all_tables, check, failures, parse_args, report
import korvane_checks
from test_export_text import dump_text, table_info
from test_export_values import dump, env_for, in_calendar, same_cell

LAYOUTS = ["ie", "ie-compact", "client-dataset", "element", "mssql"]
compared = {"cells": 0, "hostile": 0}


def xml_text(s):
    """What XML can carry of a text: NUL left out, other controls as U+FFFD."""
    return "".join("" if c == "\0" else "\ufffd" if ord(c) < 0x20 and c not in "\t\r\n" else c for c in s)


def dmy(d):
    m = re.fullmatch(r"(\d\d)/(\d\d)/(\d{4})", d)
    return f"{m[3]}-{m[2]}-{m[1]}" if m else None


XSD_FORMS = {
    "Date": r"\d{4}-\d\d-\d\d",
    "Time": r"\d\d:\d\d:\d\d(\.\d+)?",
    "DateTime": r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?",
    "Boolean": r"true|false",
    "Float": r"-?(\d+(\.\d*)?|\.\d+)([eE][-+]?\d+)?|-?INF|NaN",
    "Currency": r"-?(\d+(\.\d*)?|\.\d+)",
    "BCD": r"-?(\d+(\.\d*)?|\.\d+)",
}


def outside_schema(kind, want):
    """Whether a dump value has no form of its xsd type."""
    return (kind in ("Date", "DateTime") and not in_calendar(want)) or \
        (kind == "Time" and (not re.fullmatch(r"\d\d:\d\d:\d\d(\.\d+)?", want) or int(want[:2]) > 23)) or \
        (kind == "Currency" and want in ("inf", "-inf", "nan"))


def schema_form(kind, got, want):
    """The schema layout: a value in its xsd type's lexical form, equal to dump's;
    a value no xsd form holds (year outside 1..9999, time beyond a day, infinite
    amount) as dump writes it."""
    form = XSD_FORMS.get(kind)
    if form is None:
        return None
    if outside_schema(kind, want):
        return got == want
    if not re.fullmatch(form, got):
        return False
    if kind == "DateTime":
        return got == want.replace(" ", "T", 1)
    if kind == "Float":
        g = float({"INF": "inf", "-INF": "-inf"}.get(got, got))
        w = float(want)
        return (g != g and w != w) or g == w
    if kind == "Currency":
        return float(got) == float(want)
    return got == want


def same_xml_cell(kind, got, want, layout):
    if want == "":
        return got == ""
    if layout == "mssql":
        typed = schema_form(kind, got, want)
        if typed is not None:
            return typed
    if kind in ("Memo", "FmtMemo", "Blob", "Graphic", "Bytes", "ParadoxOle"):
        if layout != "client-dataset":
            if not (got.startswith("[CDATA[") and got.endswith("]]")):
                return False
            got = got[7:-2]
        raw = base64.b64decode(got, validate=True)
        if kind == "Memo":
            return raw.decode("utf-8") == dump_text(want).replace("\\x00", "") or \
                raw.decode("utf-8").replace("\0", "") == dump_text(want)
        if kind == "FmtMemo":
            return raw.decode("utf-8") == want
        return raw.hex() == want
    if kind == "Date":
        return got == want if not in_calendar(want) else dmy(got) == want
    if kind == "DateTime":
        if not in_calendar(want):
            return got == want
        day, _, clock = got.partition(" ")
        if not clock:
            return dmy(day) == want[:10] and want[10:] == " 00:00:00"
        return dmy(day) == want[:10] and clock == want[11:]
    if kind == "Time":
        return got == want
    if kind == "String":
        return got == xml_text(dump_text(want))
    return same_cell(kind, got, want, "C")


def read_rows(path, layout, names):
    """The rows of a document as lists of cell texts, in the order of names."""
    root = ET.parse(path).getroot()
    if layout in ("ie", "ie-compact"):
        rows = [r.attrib for r in root.findall("RECORD/ROW")]
    elif layout == "client-dataset":
        rows = [r.attrib for r in root.findall("ROWDATA/ROW")]
    else:
        rows = [{c.tag: c.text or "" for c in r} for r in root.findall("RECORD")]
    return [[r.get(n, "") for n in names] for r in rows]


def export(cli, table, out, layout, *extra):
    if os.path.exists(out):
        os.remove(out)
    return korvane_checks.run(cli, "export", table, "--format", "XML", "--output", out, "--xml-layout", layout,
                              "--title", "--allow-lossy", "--quiet", *extra, timeout=300, env=env_for("C"))


def check_table(cli, table, tmp, layouts, written):
    rows, _ = dump(cli, table)
    out = os.path.join(tmp, "out.xml")
    if rows is None:
        r = export(cli, table, out, "ie")
        check(r.returncode != 0, f"{table}: XML export exit 0 where dump fails")
        return
    kinds = table_info(cli, table)[0]
    names = None
    for layout in layouts:
        r = export(cli, table, out, layout)
        if not check(r.returncode == 0, f"{table} {layout}: exit {r.returncode}: {r.stderr[:300]!r}"):
            continue
        keep = os.path.join(tmp, f"doc{len(written)}.xml")
        shutil.copy(out, keep)
        written.append(keep)
        if names is None:
            # The attribute names of the field list (every column, in order).
            meta = ET.parse(out).getroot().findall(".//METADATA/FIELDS/FIELD")
            names = [f.get("attrname") for f in meta]
            dumped = [f.get("fieldname") or f.get("attrname") for f in meta]
            check(len(names) == len(rows[0]) and len(set(names)) == len(names),
                  f"{table}: field list {names} for {rows[0]}")
            for n, d, w in zip(names, dumped, rows[0]):
                check(d == xml_text(w) or "\ufffd" in d, f"{table}: field name {d!r} for {w!r}")
        if layout == "mssql":
            # Values no xsd form holds are written as dump writes them (and counted): left out of the validation.
            drop = [{n for n, k, c in zip(names, kinds, row) if c and outside_schema(k, c)} for row in rows[1:]]
            check_schema(out, tmp, f"{table} {layout}", drop)
        try:
            got = read_rows(out, layout, names)
        except ET.ParseError as e:
            failures.append(f"{table} {layout}: {e}")
            continue
        if not check(len(got) == len(rows) - 1, f"{table} {layout}: {len(got)} rows for {len(rows) - 1}"):
            continue
        bad = 0
        for ri, (g, d) in enumerate(zip(got, rows[1:])):
            for ci, (gc, dc) in enumerate(zip(g, d)):
                compared["cells"] += 1
                if "hostile" in table and dc:
                    compared["hostile"] += 1
                try:
                    ok = same_xml_cell(kinds[ci], gc, dc, layout)
                except (ValueError, IndexError, UnicodeDecodeError) as e:
                    ok, gc = False, f"{gc!r} ({e})"
                if not ok:
                    bad += 1
                    if bad <= 3:
                        failures.append(f"{table} {layout} row {ri + 1} {rows[0][ci]} ({kinds[ci]}): "
                                        f"xml {gc[:200]!r}, dump {dc[:200]!r}")
        check(bad == 0, f"{table} {layout}: {bad} cells differ")


def check_schema(path, tmp, what, drop):
    """The schema layout's document, its inline schema taken out, validated against that schema
    (drop: per record, the names of the elements left out)."""
    xsd_ns = "{http://www.w3.org/2001/XMLSchema}"
    # The schema's type names are "xsd:" names: the prefix is kept when it is written out.
    ET.register_namespace("xsd", xsd_ns[1:-1])
    ET.register_namespace("msdata", "urn:schemas-microsoft-com:xml-msdata")
    try:
        tree = ET.parse(path)
    except ET.ParseError as e:
        failures.append(f"{what}: {e}")
        return
    root = tree.getroot()
    schema = root.find(xsd_ns + "schema")
    if not check(schema is not None, f"{what}: no inline schema"):
        return
    root.remove(schema)
    for record, names in zip(root.findall("RECORD"), drop):
        for e in [e for e in record if e.tag in names]:
            record.remove(e)
    xsd, doc = os.path.join(tmp, "schema.xsd"), os.path.join(tmp, "schema-doc.xml")
    ET.ElementTree(schema).write(xsd, encoding="utf-8", xml_declaration=True)
    tree.write(doc, encoding="utf-8", xml_declaration=True)
    r = subprocess.run(["xmllint", "--noout", "--schema", xsd, doc], capture_output=True)
    check(r.returncode == 0, f"{what}: not valid for its schema: {r.stderr[:500]!r}")


def check_lint(files):
    for i in range(0, len(files), 200):
        r = subprocess.run(["xmllint", "--noout", *files[i:i + 200]], capture_output=True)
        check(r.returncode == 0, f"xmllint: {r.stderr[:500]!r}")


def check_stylesheet_and_append(cli, table, tmp):
    for layout in LAYOUTS[:4]:
        out = os.path.join(tmp, f"s-{layout}.xml")
        r = export(cli, table, out, layout, "--set", "XML.GenerateXSL=1")
        xsl = os.path.join(tmp, f"s-{layout}.xsl")
        if not check(r.returncode == 0 and os.path.exists(xsl), f"stylesheet {layout}: {r.stderr!r}"):
            continue
        t = subprocess.run(["xsltproc", xsl, out], capture_output=True)
        check(t.returncode == 0 and b"<td>" in t.stdout, f"xsltproc {layout}: {t.stderr[:300]!r}")
    for layout in LAYOUTS:
        out = os.path.join(tmp, f"m-{layout}.xml")
        export(cli, table, out, layout)
        one = len(read_rows(out, layout, []))
        r = korvane_checks.run(cli, "export", table, "--format", "XML", "--output", out, "--xml-layout", layout,
                               "--merge", "--allow-lossy", "--quiet", env=env_for("C"))
        ok = r.returncode == 0 and subprocess.run(["xmllint", "--noout", out]).returncode == 0
        check(ok and len(read_rows(out, layout, [])) == 2 * one, f"append {layout}: {r.stderr!r}")
    # A file of another layout is refused and left as it was.
    out = os.path.join(tmp, "m-ie.xml")
    with open(out, "rb") as f:
        before = f.read()
    r = korvane_checks.run(cli, "export", table, "--format", "XML", "--output", out, "--xml-layout",
                           "client-dataset", "--merge", "--quiet", env=env_for("C"))
    with open(out, "rb") as f:
        check(r.returncode != 0 and f.read() == before, "appending to a file of another layout")


def main():
    a = parse_args()
    cli = a.cli
    hostile_tool = os.path.join(a.build or "", "tests", "korvane-hostile-table")
    with tempfile.TemporaryDirectory() as tmp:
        written = []
        count = 0
        for path in all_tables(a.testdata):
            count += 1
            check_table(cli, path, tmp, ["ie", "element"], written)
        check(count >= 100, f"only {count} tables found")
        gen = os.path.join(tmp, "gen.db")
        r = korvane_checks.run(cli, "generate", "--records", "300", "--fields",
                               "A30,S,I,N,$,D,T,@,L,+,#4,Y6,M20,F20,B20,G20,O20", gen)
        check(r.returncode == 0, f"generate: {r.stderr!r}")
        special = [gen, os.path.join(a.testdata, "Rparadox", "TypSammlung.DB")]
        hostile = os.path.join(tmp, "hostile.db")
        if check(os.path.exists(hostile_tool), f"{hostile_tool} missing"):
            r = subprocess.run([hostile_tool, hostile], capture_output=True)
            if check(r.returncode == 0, f"hostile table: {r.stderr!r}"):
                special.append(hostile)
        for path in special:
            check_table(cli, path, tmp, LAYOUTS, written)
        check(compared["cells"] > 100000 and compared["hostile"] >= 5 * 20, f"too few values compared: {compared}")
        check_lint(written)
        check_stylesheet_and_append(cli, special[-1], tmp)
    return report(60)


if __name__ == "__main__":
    sys.exit(main())
