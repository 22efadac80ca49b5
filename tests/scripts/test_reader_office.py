#!/usr/bin/env python3
"""Excel, Word and the office-suite document, written by a headless LibreOffice
and read back by independent readers: .xlsx with openpyxl, .xls with xlrd,
.ods and .odt through their content.xml, .docx with python-docx, .doc with
antiword, .rtf with unrtf. Every value of a generated table of every field type
and of real tables is compared with korvane-cli dump: text exactly, numbers as
numbers, dates as dates, header lines above the data and footer lines below.
Also: header lines that look like formulas stay text, file names with "#" and
"%41" are stored under that name, a filter that cannot store a text document
fails with no file and no office process left, and 70 000 records are refused
for .xls with the earlier file kept. Skipped (with a message) where LibreOffice
is not installed. Each export runs one soffice of its own: the tables are small."""

import datetime
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
import xml.etree.ElementTree as ET

from korvane_checks import check, parse_args, report
import korvane_checks
from test_export_text import dump_text, table_info
from test_export_values import dump, env_for

NUMBERS = ("Smallint", "Integer", "AutoInc", "Word", "Float", "Currency", "BCD")
BINARY = ("Blob", "Graphic", "Bytes", "ParadoxOle", "VarBytes")
EPOCH = datetime.datetime(1899, 12, 30)
HEADER = ["Report =1+2", "=1+2", '=HYPERLINK("http://example.com";"x")']
FOOTER = ["=SUM(A1:A3)", "end of report"]
NS = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
}


def export(cli, table, fmt, out, *extra, env=None):
    args = ["export", table, "--format", fmt, "--output", out, "--allow-lossy", "--quiet"]
    for h in HEADER:
        args += ["--header", h]
    for f in FOOTER:
        args += ["--footer", f]
    return korvane_checks.run(cli, *args, "--title", *extra, timeout=180, env=env or env_for("C"))


def text_of(cell):
    """The dump text as a document shows it: escapes undone, line ends as LF."""
    return dump_text(cell).replace("\r\n", "\n").replace("\r", "\n")


def round15(x):
    return float("%.15g" % x)


def expected_number(kind, cell):
    return round15(float(cell))


def check_sheet_values(what, rows, kinds, data, typed):
    """rows: the sheet's rows from the header on, each a list of (kind, value)
    where kind is 'n' number, 's' text, 'd' date/time, 'b' boolean, None empty."""
    nh = len(HEADER)
    for i, h in enumerate(HEADER):
        check(rows[i][1] == ("s", h), f"{what}: header {i} is {rows[i][1]!r}")
    bad = 0
    for r, drow in enumerate(data):
        srow = rows[nh + 1 + r]
        for c, (kind, cell) in enumerate(zip(kinds, drow)):
            got = srow[c] if c < len(srow) else (None, None)
            if cell == "":
                ok = got[0] is None or got == ("s", "")
            elif kind in NUMBERS and typed:
                # Whole, or rounded to the 15 digits LibreOffice keeps (the run counts those).
                ok = got[0] == "n" and got[1] in (float(cell), expected_number(kind, cell))
            elif kind == "Boolean":
                ok = got[0] in ("b", "n") and bool(got[1]) == (cell == "true")
            elif kind in ("Date", "Time", "DateTime"):
                ok = got[0] == "d" and got[1] == cell
            elif kind == "Graphic":
                ok = got[0] is None  # a picture in the cell
            else:
                want = text_of(cell)
                ok = got == ("s", want)
            if not ok:
                bad += 1
                if bad <= 3:
                    check(False, f"{what}: row {r} {kind} {cell[:60]!r} read {got!r:.80}")
    check(bad == 0, f"{what}: {bad} cells differ")
    last = nh + 1 + len(data)
    for i, f in enumerate(FOOTER):
        check(rows[last + i][1] == ("s", f), f"{what}: footer {i} is {rows[last + i][1] if last + i < len(rows) else None!r}")


def dt_text(v):
    if isinstance(v, datetime.datetime):
        if v.hour == v.minute == v.second == 0 and v.microsecond == 0:
            return v.strftime("%Y-%m-%d"), v
        return v.strftime("%Y-%m-%d %H:%M:%S"), v
    if isinstance(v, datetime.time):
        return v.strftime("%H:%M:%S"), v
    return None


def xlsx_rows(path, sheet):
    import openpyxl
    wb = openpyxl.load_workbook(path)
    ws = wb[sheet]
    out = []
    for row in ws.iter_rows(values_only=True):
        r = []
        for v in row:
            if v is None:
                r.append((None, None))
            elif isinstance(v, bool):
                r.append(("b", v))
            elif isinstance(v, (int, float)):
                r.append(("n", float(v)))
            elif isinstance(v, (datetime.datetime, datetime.time)):
                r.append(("d", dt_text(v)[0]))
            else:
                r.append(("s", v.replace("\r\n", "\n")))
        out.append(r)
    return out


def xls_rows(path, sheet):
    import xlrd
    b = xlrd.open_workbook(path, formatting_info=False)
    s = b.sheet_by_name(sheet)
    out = []
    for r in range(s.nrows):
        row = []
        for c in range(s.ncols):
            cell = s.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                row.append((None, None))
            elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                row.append(("b", bool(cell.value)))
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                row.append(("n", cell.value))
            elif cell.ctype == xlrd.XL_CELL_DATE:
                v = xlrd.xldate_as_datetime(cell.value, b.datemode)
                if cell.value < 1:
                    row.append(("d", v.strftime("%H:%M:%S")))
                else:
                    row.append(("d", dt_text(v)[0]))
            else:
                row.append(("s", cell.value.replace("\r\n", "\n")))
        out.append(row)
    return out


def ods_rows(path, sheet):
    root = ET.fromstring(zipfile.ZipFile(path).read("content.xml"))
    tn = "{%s}" % NS["table"]
    on = "{%s}" % NS["office"]
    for t in root.iter(tn + "table"):
        if t.get(tn + "name") != sheet:
            continue
        out = []
        for row in t.iter(tn + "table-row"):
            rep = int(row.get(tn + "number-rows-repeated", "1"))
            cells = []
            for cell in row:
                if not cell.tag.endswith("table-cell") and not cell.tag.endswith("covered-table-cell"):
                    continue
                n = int(cell.get(tn + "number-columns-repeated", "1"))
                vt = cell.get(on + "value-type")
                if vt is None:
                    v = (None, None)
                elif vt in ("float", "currency", "percentage"):
                    v = ("n", float(cell.get(on + "value")))
                elif vt == "boolean":
                    v = ("b", cell.get(on + "boolean-value") == "true")
                elif vt == "date":
                    d = cell.get(on + "date-value")
                    v = ("d", d.replace("T", " ") if "T" in d else d)
                elif vt == "time":
                    m = re.match(r"PT(\d+)H(\d+)M(\d+)", cell.get(on + "time-value"))
                    v = ("d", "%02d:%02d:%02d" % tuple(int(x) for x in m.groups()))
                else:
                    v = ("s", "\n".join(para_text(p) for p in cell.iter("{%s}p" % NS["text"])))
                cells += [v] * min(n, 64)
            for _ in range(min(rep, 10)):
                out.append(cells)
        return out
    return []


def para_text(p):
    """The text of an ODF paragraph with its spaces, tabs and line breaks."""
    tx = "{%s}" % NS["text"]
    out = [p.text or ""]
    for ch in p:
        if ch.tag == tx + "s":
            out.append(" " * int(ch.get(tx + "c", "1")))
        elif ch.tag == tx + "tab":
            out.append("\t")
        elif ch.tag == tx + "line-break":
            out.append("\n")
        else:
            out.append(para_text(ch))
        out.append(ch.tail or "")
    return "".join(out)


def check_spreadsheets(cli, table, tmp, formats=(".xlsx", ".xls", ".ods")):
    kinds, _ = table_info(cli, table)
    data, r = dump(cli, table)
    if not check(data is not None, f"dump {table}"):
        return
    data = data[1:]  # the field names
    name = os.path.basename(table)
    readers = {".xlsx": xlsx_rows, ".xls": xls_rows, ".ods": ods_rows}
    for ext in formats:
        reader, typed = readers[ext], True
        out = os.path.join(tmp, "sheet" + ext)
        r = export(cli, table, "Excel", out, "--sheet", "Data")
        if not check(r.returncode == 0 and os.path.exists(out), f"{name} {ext}: {r.stderr!r}"):
            continue
        check(b"15 significant digits" in r.stderr or b"rounded" not in r.stderr, f"{name} {ext}: {r.stderr!r}")
        try:
            rows = reader(out, "Data")
        except Exception as e:  # noqa: BLE001 - a reader failing is a failure of the file
            check(False, f"{name} {ext}: {e}")
            continue
        check_sheet_values(f"{name} {ext}", rows, kinds, data, typed)
        os.remove(out)


def docx_parts(path):
    import docx
    import docx.table
    d = docx.Document(path)
    parts = []
    for el in d.element.body.iterchildren():
        tag = el.tag.split("}")[1]
        if tag == "p":
            parts.append(("p", "".join(t.text or "" for t in el.iter() if t.tag.endswith("}t"))))
        elif tag == "tbl":
            t = docx.table.Table(el, d)
            parts.append(("t", [[c.text for c in row.cells] for row in t.rows]))
    return parts


def odt_parts(path):
    root = ET.fromstring(zipfile.ZipFile(path).read("content.xml"))
    body = root.find("office:body/office:text", NS)
    parts = []
    tx, tb = "{%s}" % NS["text"], "{%s}" % NS["table"]
    for el in body:
        if el.tag == tx + "p" or el.tag == tx + "h":
            parts.append(("p", para_text(el)))
        elif el.tag == tb + "table":
            rows = []
            for row in el.iter(tb + "table-row"):
                rows.append(["\n".join(para_text(p) for p in c.iter(tx + "p")) for c in row if c.tag == tb + "table-cell"])
            parts.append(("t", rows))
    return parts


def check_document_parts(what, parts, kinds, data):
    paras = [p for k, p in parts if k == "p" and p != ""]
    tables = [(i, t) for i, (k, t) in enumerate(parts) if k == "t"]
    if not check(len(tables) == 1, f"{what}: {len(tables)} tables"):
        return
    ti, rows = tables[0]
    before = [p for k, p in parts[:ti] if k == "p" and p != ""]
    after = [p for k, p in parts[ti + 1:] if k == "p" and p != ""]
    check(before == HEADER, f"{what}: paragraphs before the table {before!r}")
    check(after == FOOTER, f"{what}: paragraphs after the table {after!r}")
    check(len(rows) == len(data) + 1, f"{what}: {len(rows)} table rows for {len(data)} records")
    bad = 0
    for r, drow in enumerate(data):
        if r + 1 >= len(rows):
            break
        for c, (kind, cell) in enumerate(zip(kinds, drow)):
            got = rows[r + 1][c] if c < len(rows[r + 1]) else None
            want = "" if kind == "Graphic" else text_of(cell)
            # Numbers as the export writes them (3.50 for money, 5 for 5.0), booleans in their words.
            if kind in NUMBERS and cell and got:
                same = float(got) == float(cell)
            elif kind == "Boolean":
                same = got.lower() == want.lower()
            else:
                same = got == want
            if not same:
                bad += 1
                if bad <= 3:
                    check(False, f"{what}: row {r} {kind} {want[:60]!r} read {got!r:.80}")
    check(bad == 0, f"{what}: {bad} cells differ")


def check_documents(cli, table, tmp, formats=(".docx", ".odt")):
    kinds, _ = table_info(cli, table)
    data, r = dump(cli, table)
    if not check(data is not None, f"dump {table}"):
        return
    data = data[1:]  # the field names
    name = os.path.basename(table)
    readers = {".docx": docx_parts, ".odt": odt_parts}
    for ext in formats:
        reader = readers[ext]
        out = os.path.join(tmp, "doc" + ext)
        r = export(cli, table, "Word", out)
        if check(r.returncode == 0 and os.path.exists(out), f"{name} {ext}: {r.stderr!r}"):
            check_document_parts(f"{name} {ext}", reader(out), kinds, data)
            os.remove(out)


def check_word_readers(cli, table, tmp):
    """.doc through antiword and .rtf through unrtf: the header lines, a value of
    every record and the footer lines, in that order."""
    data, r = dump(cli, table)
    data = data[1:]
    kinds, _ = table_info(cli, table)
    col = next((i for i, k in enumerate(kinds) if k == "String"), 0)
    values = [text_of(row[col]) for row in data if row[col] and "\\" not in row[col] and row[col].isascii()]
    for ext, cmd in ((".doc", ["antiword", "-w", "0"]), (".rtf", ["unrtf", "--text"])):
        if not shutil.which(cmd[0]):
            check(False, f"{cmd[0]} is not installed")
            continue
        out = os.path.join(tmp, "word" + ext)
        r = export(cli, table, "Word", out)
        if not check(r.returncode == 0 and os.path.exists(out), f"{ext}: {r.stderr!r}"):
            continue
        text = subprocess.run(cmd + [out], capture_output=True).stdout.decode("utf-8", "replace")
        at = 0
        for want in HEADER + values[:5] + FOOTER:
            i = text.find(want, at)
            if not check(i >= 0, f"{ext}: {want!r} not found in order in {text[:300]!r}"):
                break
            at = i + len(want)


def ours_running(pid):
    """soffice processes of the export run pid (their pipe name carries it)."""
    r = subprocess.run(["pgrep", "-f", f"pipe,name=korvane-{pid}-"], capture_output=True, text=True)
    return r.stdout.split()


def check_names_and_failures(cli, table, tmp):
    # File names a file URL must encode.
    for name in ("report#1.odt", "a%41b.ods"):
        out = os.path.join(tmp, name)
        fmt = "OpenOffice" if name.endswith(".odt") else "Excel"
        r = export(cli, table, fmt, out)
        check(r.returncode == 0 and os.path.exists(out), f"{name}: {r.stderr!r} {sorted(os.listdir(tmp))}")
        if name.endswith(".odt") and os.path.exists(out):
            check(zipfile.ZipFile(out).read("mimetype") == b"application/vnd.oasis.opendocument.text",
                  f"{name}: not stored with writer8")
    check(not os.path.exists(os.path.join(tmp, "report")) and not os.path.exists(os.path.join(tmp, "aAb.ods")),
          f"names cut or decoded: {sorted(os.listdir(tmp))}")
    # A filter that stores no text document: no file, no office left running.
    out = os.path.join(tmp, "picture.bmp")
    p = subprocess.Popen([cli, "export", table, "--format", "OpenOffice", "--output", out, "--filter",
                          "BMP - MS Windows", "--quiet"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    _, err = p.communicate(timeout=180)
    check(p.returncode == 1 and b"cannot store a text document" in err, f"BMP filter: {p.returncode} {err!r}")
    check(not os.path.exists(out), "BMP filter: a file was left")
    check(ours_running(p.pid) == [], f"BMP filter: soffice left running: {ours_running(p.pid)}")
    check([f for f in os.listdir(tmp) if f.startswith(".picture")] == [], f"temporaries left: {os.listdir(tmp)}")


def check_xls_limit(cli, tmp):
    big = os.path.join(tmp, "big.db")
    r = korvane_checks.run(cli, "generate", "--records", "70000", "--fields", "I", big)
    if not check(r.returncode == 0, f"generate: {r.stderr!r}"):
        return
    out = os.path.join(tmp, "big.xls")
    with open(out, "wb") as f:
        f.write(b"earlier")
    r = korvane_checks.run(cli, "export", big, "--format", "Excel", "--output", out, "--quiet", timeout=180)
    check(r.returncode == 1 and b"65536 rows" in r.stderr and b".xlsx" in r.stderr, f"70000 to .xls: {r.stderr!r}")
    with open(out, "rb") as f:
        check(f.read() == b"earlier", "70000 to .xls: the earlier file was changed")


def main():
    args = parse_args()
    if not shutil.which("soffice"):
        print("SKIP: LibreOffice (soffice) is not installed; the office formats are greyed")
        return 0
    r = korvane_checks.run(args.cli, "export", "--help")
    if b"Excel" not in r.stdout:
        print("SKIP: this build has no office plugin (LibreOffice SDK missing)")
        return 0
    start = time.time()
    with tempfile.TemporaryDirectory() as tmp:
        gen = os.path.join(tmp, "all.db")
        r = korvane_checks.run(args.cli, "generate", "--records", "12", "--fields",
                               "A20,I,S,+,N,$,D,T,@,L,M40,#2,Y8,G20", gen)
        check(r.returncode == 0, f"generate: {r.stderr!r}")
        real = [os.path.join(args.testdata, p) for p in ("paradoxdriver/mtdemo/AMOUNT.DB",)]
        real = [p for p in real if os.path.exists(p)]
        check_spreadsheets(args.cli, gen, tmp)
        check_documents(args.cli, gen, tmp)
        # A real table: one workbook and one document.
        for t in real:
            check_spreadsheets(args.cli, t, tmp, (".xlsx",))
            check_documents(args.cli, t, tmp, (".docx",))
        check_word_readers(args.cli, gen, tmp)
        check_names_and_failures(args.cli, gen, tmp)
        check_xls_limit(args.cli, tmp)
    print(f"office checks: {time.time() - start:.0f} s")
    return report()


if __name__ == "__main__":
    sys.exit(main())
