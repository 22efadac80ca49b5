#!/usr/bin/env python3
"""korvane-cli export --format RTF read back with pandoc's RTF reader: every real
table (encrypted ones aside), a generated table of every field type and one table
per script. The document holds one table with a row per title row and record,
every cell the text the text export writes for it (whitespace runs aside; a
picture cell holds the picture, which pandoc leaves out), and the header and
footer lines, which hold ( ) \\ { }, as paragraphs of their own. When LibreOffice
is installed a few documents are read by it too: the same table, and an image
per picture."""

import csv
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

from korvane_checks import all_tables, check, failures, parse_args, report
from test_export_text import DISPLAY, run

csv.field_size_limit(1 << 30)

HEADER = "a(b)c\\d {x}"
FOOTER = "( ) \\ { }"
GENERATOR = "ZelExport 4.99"
# Documents larger than this take pandoc too long on a busy machine; they are
# left to LibreOffice and the unit tests.
PANDOC_LIMIT = 512 << 10
SCRIPTS = ["cyrillic", "greek", "turkish", "hebrew", "arabic", "czech"]
PICTURE_SIGNATURES = (b"BM", b"\x89PNG", b"\xff\xd8\xff")
skipped = []


def norm(s):
    """Whitespace runs (line breaks, tabs, control characters a document holds as
    spaces) as one space, none at the ends."""
    return re.sub(r"[\s\x00-\x1f\x7f]+", " ", s).strip()


def export(cli, table, fmt, out, *extra):
    if fmt == "RTF":
        extra = ("--header", HEADER, "--footer", FOOTER) + extra
    else:
        extra = ("--separator", ",", "--qualifier", '"', "--record-separator", "lf") + extra
    return run(cli, "export", table, "--format", fmt, "--output", out, "--title", "--quiet", "--allow-lossy",
               *DISPLAY, *extra)


def read_csv(path):
    with open(path, encoding="utf-8", errors="replace", newline="") as f:
        return list(csv.reader(f, delimiter=",", quotechar='"', lineterminator="\n", strict=True))


def inline_text(items):
    out = []
    for it in items:
        t = it.get("t")
        c = it.get("c")
        if t == "Str":
            out.append(c)
        elif t in ("Space", "SoftBreak"):
            out.append(" ")
        elif t == "LineBreak":
            out.append("\n")
        elif t in ("Emph", "Strong", "Underline", "Strikeout", "SmallCaps", "Superscript", "Subscript"):
            out.append(inline_text(c))
        elif t == "Span":
            out.append(inline_text(c[1]))
        elif t == "Quoted":
            q = '"' if c[0]["t"] == "DoubleQuote" else "'"
            out.append(q + inline_text(c[1]) + q)
        elif t == "Code":
            out.append(c[1])
    return "".join(out)


def block_text(blocks):
    return "\n".join(inline_text(b["c"]) for b in blocks if b["t"] in ("Para", "Plain"))


def pandoc_read(path):
    """The document's blocks through pandoc: (paragraphs before the table, its
    rows of cell texts, paragraphs after, number of tables), or None when pandoc
    takes too long."""
    try:
        r = subprocess.run(["pandoc", "-f", "rtf", "-t", "json", path], capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        return None
    if r.returncode != 0:
        failures.append(f"pandoc {path}: {r.stderr[:300]!r}")
        return [], [], [], 0
    blocks = json.loads(r.stdout)["blocks"]
    tables = [i for i, b in enumerate(blocks) if b["t"] == "Table"]
    if not tables:
        return [block_text([b]) for b in blocks], [], [], 0
    at = tables[0]
    before = [block_text([b]) for b in blocks[:at]]
    after = [block_text([b]) for b in blocks[at + 1:]]
    t = blocks[at]["c"]
    rows = []
    for body in [t[3]] + list(t[4]) + [t[5]]:
        # TableHead [attr, rows]; TableBody [attr, rowheads, head rows, rows]; TableFoot [attr, rows]
        parts = [body[1]] if len(body) == 2 else [body[2], body[3]]
        for part in parts:
            for row in part:
                rows.append([block_text(cell[4]) for cell in row[1]])
    return before, rows, after, len(tables)


def is_picture(hex_text):
    try:
        blob = bytes.fromhex(hex_text[:64])
    except ValueError:
        return False
    return blob[8:].startswith(PICTURE_SIGNATURES) or blob.startswith(PICTURE_SIGNATURES)


def compare(label, rows, want, kinds, nul_values=False):
    """rows: the document's table; want: the text export's lines (titles first).
    nul_values: the table holds NUL bytes, which the text export leaves out and
    the document writes as spaces."""
    if not check(len(rows) == len(want), f"{label}: {len(rows)} table rows for {len(want)} lines of the text export"):
        return
    bad = 0
    for ri, (g, w) in enumerate(zip(rows, want)):
        if not w:
            w = [""]  # the line of a one-column table's null value
        if len(g) != len(w):
            bad += 1
            failures.append(f"{label} row {ri}: {len(g)} cells for {len(w)}")
            continue
        for ci, (got, exp) in enumerate(zip(g, w)):
            ok = norm(got) == norm(exp)
            if not ok and ri > 0 and ci < len(kinds) and kinds[ci] == "Graphic":
                ok = got == "" and is_picture(exp)
            if not ok and nul_values:
                ok = norm(got).replace(" ", "") == norm(exp).replace(" ", "")
            if not ok:
                bad += 1
                if bad <= 3:
                    failures.append(f"{label} row {ri} col {ci}: document {norm(got)[:160]!r}, "
                                    f"text export {norm(exp)[:160]!r}")
    check(bad == 0, f"{label}: {bad} cells differ")


def kinds_of(cli, path):
    r = run(cli, "info", path)
    lines = r.stdout.decode("utf-8", "replace").split("\n")
    for i, line in enumerate(lines):
        if line.strip().startswith("#") and "Kind" in line:
            return [l.split()[-1] for l in lines[i + 1:] if l.strip()]
    return []


def check_table(cli, path, tmp, label=None, limit=PANDOC_LIMIT):
    label = label or path
    txt, rtf = os.path.join(tmp, "t.csv"), os.path.join(tmp, "t.rtf")
    for f in (txt, rtf):
        if os.path.exists(f):
            os.remove(f)
    r = export(cli, path, "Text", txt)
    if r.returncode != 0:
        # A table the text export refuses (encrypted): the document is refused too.
        r2 = export(cli, path, "RTF", rtf)
        check(r2.returncode == r.returncode and not os.path.exists(rtf), f"{label}: RTF {r2.returncode} {r2.stderr!r}")
        return
    r = export(cli, path, "RTF", rtf)
    if not check(r.returncode == 0, f"{label}: export exit {r.returncode}: {r.stderr!r}"):
        return
    if os.path.getsize(rtf) > limit:
        skipped.append(label)
        return
    read = pandoc_read(rtf)
    if read is None:
        skipped.append(label)
        return
    before, rows, after, tables = read
    check(tables == 1, f"{label}: {tables} tables")
    check([norm(b) for b in before if norm(b)] == [norm(HEADER)], f"{label}: before the table {before[:3]}")
    check([norm(a) for a in after if norm(a)] == [norm(FOOTER)], f"{label}: after the table {after[:3]}")
    compare(label, rows, read_csv(txt), kinds_of(cli, path), label == "hostile")


def generated(cli, tmp):
    """The every-type table and one table per script: (label, path)."""
    out = []
    gen = os.path.join(tmp, "gen")
    os.makedirs(gen)
    table = os.path.join(gen, "all.db")
    r = run(cli, "generate", "--records", "120", "--fields", "A30,S,I,+,N,$,D,T,@,L,#4,Y12,M30,F30,B20,O20,G40",
            "--seed", "15", table)
    if check(r.returncode == 0, f"generate: {r.stderr!r}"):
        out.append(("every type", table))
    for s in SCRIPTS:
        table = os.path.join(gen, s + ".db")
        r = run(cli, "generate", "--records", "60", "--script", s, "--fields", "A40,I,M80,D", "--seed", "3", table)
        if check(r.returncode == 0, f"generate --script {s}: {r.stderr!r}"):
            out.append((s, table))
    return out


def hostile(build, tmp):
    """The project's table of hostile names and values, when its tool is built."""
    tool = os.path.join(build or "", "tests", "korvane-hostile-values")
    if not check(os.path.exists(tool), f"{tool} not built"):
        return []
    table = os.path.join(tmp, "hostile", "Hostile {x}.db")
    os.makedirs(os.path.dirname(table))
    r = subprocess.run([tool, table], capture_output=True, timeout=60)
    return [("hostile", table)] if check(r.returncode == 0, f"hostile table: {r.stderr!r}") else []


def check_split(cli, table, tmp):
    """--rows-per-file: every part a whole document with its own table."""
    d = os.path.join(tmp, "split")
    os.makedirs(d)
    r = export(cli, table, "RTF", os.path.join(d, "s.rtf"), "--rows-per-file", "50")
    if not check(r.returncode == 0, f"split: {r.stderr!r}"):
        return
    names = sorted(os.listdir(d))
    check(names == ["s.rtf", "s001.rtf", "s002.rtf"], f"split: {names}")
    for n in names:
        read = pandoc_read(os.path.join(d, n))
        if read is None:
            continue
        before, rows, after, tables = read
        want = 21 if n == "s002.rtf" else 51
        check(tables == 1 and len(rows) == want, f"split {n}: {tables} tables, {len(rows)} rows")
        check([norm(a) for a in after if norm(a)] == [norm(FOOTER)], f"split {n}: footer {after[:2]}")


def libreoffice_check(cli, tables, tmp):
    """LibreOffice's HTML of a few documents: one table, the text export's cells,
    an image per picture."""
    soffice = shutil.which("soffice")
    if not soffice:
        print("soffice not installed: LibreOffice check skipped")
        return
    try:
        import html5lib
    except ImportError:
        sys.path.append("/usr/lib/python3/dist-packages")
        import html5lib
    d = os.path.join(tmp, "lo")
    os.makedirs(d)
    docs = []
    for label, path in tables:
        base = re.sub(r"\W", "_", label)
        txt, rtf = os.path.join(d, base + ".csv"), os.path.join(d, base + ".rtf")
        if export(cli, path, "Text", txt).returncode != 0 or export(cli, path, "RTF", rtf).returncode != 0:
            failures.append(f"LibreOffice {label}: export failed")
            continue
        docs.append((label, path, base, txt, rtf))
    profile = os.path.join(tmp, "lo-profile")
    try:
        r = subprocess.run([soffice, f"-env:UserInstallation=file://{profile}", "--headless", "--convert-to", "html",
                            "--outdir", os.path.join(d, "html")] + [x[4] for x in docs],
                           capture_output=True, timeout=240)
    except subprocess.TimeoutExpired:
        failures.append("LibreOffice took longer than 240 s")
        return
    for label, path, base, txt, rtf in docs:
        html = os.path.join(d, "html", base + ".html")
        if not check(os.path.exists(html), f"LibreOffice {label}: no HTML ({r.stderr[-300:]!r})"):
            continue
        parser = html5lib.HTMLParser(namespaceHTMLElements=False)
        with open(html, "rb") as f:
            doc = parser.parse(f)
        tables = doc.findall(".//table")
        if not check(len(tables) == 1, f"LibreOffice {label}: {len(tables)} tables"):
            continue
        rows, images = [], 0

        def text(el):
            out = [el.text or ""]
            for ch in el:
                out.append("\n" if ch.tag == "br" else text(ch))
                out.append(ch.tail or "")
            return "".join(out)

        for tr in tables[0].iter("tr"):
            cells = []
            for td in tr.findall("td"):
                imgs = td.findall(".//img")
                images += len(imgs)
                cells.append("" if imgs else text(td))
            rows.append(cells)
        want = read_csv(txt)
        kinds = kinds_of(cli, path)
        compare(f"LibreOffice {label}", rows, want, kinds)
        pictures = sum(1 for row in want[1:] for ci, v in enumerate(row)
                       if ci < len(kinds) and kinds[ci] == "Graphic" and is_picture(v))
        check(images == pictures, f"LibreOffice {label}: {images} images for {pictures} pictures")
        # The page header (the generator's name) comes first.
        body = norm(text(doc.find(".//body")))
        body = body[len(GENERATOR):].strip() if body.startswith(GENERATOR) else body
        check(body.startswith(norm(HEADER)) and body.endswith(norm(FOOTER)), f"LibreOffice {label}: header/footer")


def main():
    a = parse_args()
    if not shutil.which("pandoc"):
        print("pandoc not installed: skipped")
        return 0
    with tempfile.TemporaryDirectory() as tmp:
        one = os.path.join(tmp, "one")
        os.makedirs(one)
        count = 0
        for path in all_tables(a.testdata):
            count += 1
            check_table(a.cli, path, one, os.path.relpath(path, a.testdata))
        check(count >= 50, f"only {count} tables found")
        gen = generated(a.cli, tmp)
        bad = hostile(a.build, tmp)
        for label, path in gen + bad:
            check_table(a.cli, path, one, label, limit=1 << 30)
        for label, path in bad:
            # Without --allow-lossy the run says what it changed and fails.
            r = run(a.cli, "export", path, "--format", "RTF", "--output", os.path.join(one, "h.rtf"))
            check(r.returncode == 1 and b"Rich Text document cannot hold" in r.stderr, f"hostile: {r.stderr!r}")
        if gen:
            check_split(a.cli, gen[0][1], tmp)
        few = [("mushrooms", os.path.join(a.testdata, "Rparadox", "mushrooms.db"))]
        few = [(l, p) for l, p in few if os.path.exists(p)] + [g for g in gen if g[0] in ("every type", "hebrew")]
        libreoffice_check(a.cli, few, tmp)
    if skipped:
        print(f"{len(skipped)} documents too large for pandoc here: {', '.join(skipped)}")
    return report(60)


if __name__ == "__main__":
    sys.exit(main())
