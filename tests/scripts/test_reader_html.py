#!/usr/bin/env python3
"""korvane-cli export --format HTML read back with html5lib: every real table, a
generated table of every field type (split into parts) and a table of hostile
names and values. The page parses without an error (the doctype aside), every
cell's text (a <br> a line break, &nbsp; empty) is the value korvane-cli dump
reads, and every picture file holds the graphic BLOB's bytes after its leader."""

import os
import re
import sys
import tempfile
import urllib.parse

try:
    import html5lib
except ImportError:  # a Python of its own (pyenv) beside the system's packages
    sys.path.append("/usr/lib/python3/dist-packages")
    import html5lib

from korvane_checks import all_tables, check, failures, parse_args, report
from test_export_text import DISPLAY, dump, dump_text, run, same_cell, table_info

# Text kinds: compared as text; binary ones as dump's hex or escaped text.
BINARY = ("Blob", "Bytes", "ParadoxOle", "FmtMemo")
NOT_IN_HTML = re.compile("[\x01-\x08\x0b\x0e-\x1f\x7f-\x9f\ufdd0-\ufdef\ufffe\uffff]")


def html_text(s):
    """A text as an HTML page holds it: NUL left out, line ends as one line
    break, characters no page holds as U+FFFD."""
    s = s.replace("\0", "").replace("\r\n", "\n").replace("\r", "\n")
    return NOT_IN_HTML.sub("\ufffd", s)


def cell_text(td, pics):
    """The text of a cell: <br> a line break; pictures noted in pics."""
    out = [td.text or ""]
    for child in td:
        if child.tag == "br":
            out.append("\n")
        elif child.tag == "img":
            pics.append(child.get("src"))
        else:
            out.append(cell_text(child, pics))
        out.append(child.tail or "")
    return "".join(out)


def read_page(path):
    """Rows of cells (text, picture sources) of the page's table, and the parse errors."""
    parser = html5lib.HTMLParser(namespaceHTMLElements=False)
    with open(path, "rb") as f:
        doc = parser.parse(f)
    errors = [e for e in parser.errors if e[1] != "expected-doctype-but-got-start-tag"]
    rows = []
    table = doc.find(".//table")
    if table is not None:
        for tr in table.iter("tr"):
            cells = []
            for td in tr.findall("td"):
                pics = []
                text = cell_text(td, pics)
                cells.append(("" if text == "\xa0" else text, pics))
            rows.append(cells)
    return rows, errors, parser.documentEncoding


def picture_ok(page, src, want_hex):
    """The picture file beside the page holds the BLOB without its 8-byte leader."""
    path = os.path.join(os.path.dirname(page), urllib.parse.unquote(src))
    if os.path.isabs(urllib.parse.unquote(src)) or "/" in src:
        return False, f"src {src!r} is not a name beside the page"
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        return False, str(e)
    blob = bytes.fromhex(want_hex)
    return data == blob[8:], f"{len(data)} bytes for a BLOB of {len(blob)}"


def compare(label, pages, dump_rows, kinds):
    """pages: the page files in order; their rows after each title row are the records."""
    got = []
    for page in pages:
        rows, errors, encoding = read_page(page)
        check(not errors, f"{label}: {os.path.basename(page)}: parse errors {errors[:5]}")
        check(encoding == "utf-8", f"{label}: read as {encoding}")
        if not check(rows and len(rows[0]) == len(dump_rows[0]), f"{label}: {os.path.basename(page)} has no title row"):
            return
        titles = [c[0] for c in rows[0]]
        check(titles == [html_text(dump_text(n)) for n in dump_rows[0]], f"{label}: titles {titles}")
        got += [(page, r) for r in rows[1:]]
    if not check(len(got) == len(dump_rows) - 1, f"{label}: {len(got)} rows for {len(dump_rows) - 1} records"):
        return
    bad = 0
    names = dump_rows[0]
    for ri, ((page, g), d) in enumerate(zip(got, dump_rows[1:])):
        if len(g) != len(d):
            bad += 1
            failures.append(f"{label} row {ri + 1}: {len(g)} cells for {len(d)}")
            continue
        for ci, ((text, pics), want) in enumerate(zip(g, d)):
            kind = kinds[ci]
            if pics:
                ok, why = (kind == "Graphic" and len(pics) == 1 and text == "", "no graphic field")
                if ok:
                    ok, why = picture_ok(page, pics[0], want)
                text = f"<img {pics}> ({why})"
            elif kind in BINARY or kind == "Graphic":
                ok = text == want
            elif kind in ("String", "Memo") or kind not in (
                    "Smallint", "Integer", "AutoInc", "BCD", "Float", "Currency", "Boolean", "Date", "Time",
                    "DateTime"):
                ok = text == html_text(dump_text(want))
            else:
                try:
                    ok = same_cell(kind, text, want, None)
                except (ValueError, IndexError):
                    ok = False
            if not ok:
                bad += 1
                if bad <= 3:
                    failures.append(f"{label} row {ri + 1} {names[ci]} ({kind}): page {text[:200]!r}, "
                                    f"dump {want[:200]!r}")
    check(bad == 0, f"{label}: {bad} cells differ")


def export(cli, table, out, *extra):
    return run(cli, "export", table, "--format", "HTML", "--output", out, "--title", "--quiet", "--allow-lossy",
               *DISPLAY, *extra)


def check_table(cli, path, tmp):
    rows, dr = dump(cli, path)
    out = os.path.join(tmp, "page.htm")
    for f in os.listdir(tmp):
        os.remove(os.path.join(tmp, f))
    r = export(cli, path, out)
    if rows is None:
        check(r.returncode == 1 and not os.path.exists(out), f"{path}: export {r.returncode} where dump fails")
        return
    if not check(r.returncode == 0, f"{path}: export exit {r.returncode}: {r.stderr!r}"):
        return
    compare(path, [out], rows, table_info(cli, path)[0])


def check_generated(cli, build, tmp):
    """Every field type, split into parts: pictures of every part beside it, none overwritten."""
    table = os.path.join(tmp, "gen", "all.db")
    os.makedirs(os.path.dirname(table))
    spec = "A30,S,I,+,N,$,D,T,@,L,#4,Y12,M30,F30,B20,O20,G40"
    r = run(cli, "generate", "--records", "240", "--fields", spec, "--seed", "12", table)
    if not check(r.returncode == 0, f"generate: {r.stderr!r}"):
        return
    rows, _ = dump(cli, table)
    out = os.path.join(tmp, "gen", "parts", "g.htm")
    r = export(cli, table, out, "--rows-per-file", "100")
    if not check(r.returncode == 0, f"generated: {r.stderr!r}"):
        return
    files = sorted(os.listdir(os.path.dirname(out)))
    pages = [os.path.join(os.path.dirname(out), n) for n in ("g.htm", "g001.htm", "g002.htm")]
    pictures = [f for f in files if "_img" in f]
    check(all(os.path.exists(p) for p in pages), f"generated: parts {files}")
    check(len(pictures) == len(set(int(re.search(r"_img(\d+)", p).group(1)) for p in pictures)) and pictures,
          f"generated: picture names {pictures[:10]}")
    check(any(p.startswith("g002_img") for p in pictures), f"generated: no picture beside the last part {files}")
    compare("generated", pages, rows, table_info(cli, table)[0])


def check_hostile(cli, build, tmp):
    tool = os.path.join(build or "", "tests", "korvane-hostile-values")
    if not check(os.path.exists(tool), f"{tool} not built"):
        return
    table = os.path.join(tmp, "hostile", "Hostile & <b>.db")
    os.makedirs(os.path.dirname(table))
    r = run(tool, table)
    if not check(r.returncode == 0, f"hostile table: {r.stderr!r}"):
        return
    rows, _ = dump(cli, table)
    out = os.path.join(tmp, "hostile", "page #1 & 'x'.htm")
    # Without --allow-lossy the run says what it changed and fails.
    r = run(cli, "export", table, "--format", "HTML", "--output", out, "--title", *DISPLAY)
    check(r.returncode == 1 and b"an HTML page cannot hold" in r.stderr, f"hostile: {r.returncode} {r.stderr!r}")
    r = export(cli, table, out, "--header", "<h1>Report & more</h1>", "--footer", "*/ -- end")
    if not check(r.returncode == 0, f"hostile: {r.stderr!r}"):
        return
    compare("hostile", [out], rows, table_info(cli, table)[0])
    with open(out, encoding="utf-8", newline="") as f:
        page = f.read()
    check("<p>&lt;h1&gt;Report &amp; more&lt;/h1&gt;</p>" in page, "hostile: header line not escaped")
    check(page.count("<img ") == 2, f"hostile: {page.count('<img ')} pictures")
    # Header and footer lines as HTML of the user's own; cells stay escaped.
    r = export(cli, table, out, "--header", "<h1>Report</h1>", "--html-header-footer")
    with open(out, encoding="utf-8", newline="") as f:
        page = f.read()
    check(r.returncode == 0 and "\r\n<h1>Report</h1>\r\n" in page and "&lt;b&gt;bold&lt;/b&gt;" in page,
          f"--html-header-footer: {r.stderr!r}")
    # A template of the user's own.
    tpl = os.path.join(tmp, "hostile", "t.html")
    with open(tpl, "w", encoding="utf-8") as f:
        f.write("<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\"><title>T</title></head>\n"
                "<body><h2>Mine</h2>\n</body></html>\n")
    r = export(cli, table, out, "--html-template", tpl)
    with open(out, encoding="utf-8", newline="") as f:
        page = f.read()
    check(r.returncode == 0 and page.startswith("<!DOCTYPE html>\r\n<html><head>") and "<h2>Mine</h2>\r\n\r\n<table" in page
          and page.endswith("</body></html>\r\n"), f"--html-template: {page[:200]!r}")
    compare("hostile, own template", [out], rows, table_info(cli, table)[0])


def main():
    a = parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        count = 0
        one = os.path.join(tmp, "one")
        os.makedirs(one)
        for path in all_tables(a.testdata):
            count += 1
            check_table(a.cli, path, one)
        check(count >= 100, f"only {count} tables found")
        check_generated(a.cli, a.build, tmp)
        check_hostile(a.cli, a.build, tmp)
    return report(60)


if __name__ == "__main__":
    sys.exit(main())
