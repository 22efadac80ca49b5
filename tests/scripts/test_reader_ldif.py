#!/usr/bin/env python3
"""LDIF export read back by outside readers: python-ldap's ldif module parses every
export (every real table, a generated table with every field type and a table
with hostile names and values) and each entry's values equal korvane-cli dump's,
its name (parsed as a DN) is the first column's value; slapadd loads every file
in a dry run (-u) against a throwaway configuration.

The slapadd configuration: a slapd.conf in a temporary folder whose only schema
is generated here: one attribute type per descriptor found in the exports (octet
string syntax, so any value is accepted), the object class "organization" and
an attribute "korvaneBase" that names the database suffix "korvaneBase=test",
under which every export puts its entries (--ldif-base). Schema checking is off
(-s): an entry named by the record number holds no such value."""

import os
import re
import subprocess
import sys
import tempfile
import unicodedata

try:
    import ldif
    import ldap.dn
except ImportError:
    # python3-ldap is installed for the system's interpreter.
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != "/usr/bin/python3":
        os.execv("/usr/bin/python3", ["/usr/bin/python3", *sys.argv])
    raise

from korvane_checks import all_tables, check, failures, parse_args, report
import korvane_checks
from test_export_text import table_info
from test_export_values import same_cell

BASE = "korvaneBase=test"
RESERVED = {"dn", "objectclass", "changetype", "control", "version"}
TWO_LETTERS = {"Æ": "AE", "æ": "ae", "Þ": "TH", "þ": "th", "ß": "ss", "Œ": "OE", "œ": "oe", "Ĳ": "IJ", "ĳ": "ij"}
NO_DECOMPOSITION = {"Ð": "D", "ð": "d", "Ø": "O", "ø": "o", "Đ": "D", "đ": "d", "Ħ": "H", "ħ": "h", "ı": "i",
                    "ĸ": "k", "Ŀ": "L", "ŀ": "l", "Ł": "L", "ł": "l", "ŉ": "n", "Ŋ": "N", "ŋ": "n", "Ŧ": "T",
                    "ŧ": "t", "ſ": "s"}


def env_c():
    env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANG"}
    env["LC_ALL"] = "C"
    return env


def descriptor(name, column):
    """The descriptor rule, written independently of the writer."""
    out, dash = "", False
    for ch in name:
        if ch in TWO_LETTERS or ch in NO_DECOMPOSITION:
            folded = TWO_LETTERS.get(ch) or NO_DECOMPOSITION[ch]
        elif "\u00c0" <= ch <= "\u017f":
            folded = unicodedata.normalize("NFD", ch)[0]
        elif unicodedata.combining(ch) and "\u0300" <= ch <= "\u036f":
            continue
        else:
            folded = ch
        if not re.fullmatch(r"[A-Za-z]+|[0-9]", folded):
            dash = bool(out)
            continue
        if not out and folded.isdigit():
            continue
        if dash:
            out += "-"
        dash = False
        out += folded
    return out or f"field{column}"


def descriptors(names):
    used, out = set(RESERVED), []
    for i, n in enumerate(names, 1):
        base = descriptor(n, i)
        cand, k = base, 2
        while cand.lower() in used:
            cand, k = f"{base}-{k}", k + 1
        used.add(cand.lower())
        out.append(cand)
    return out


def unescape(cell):
    """A dump text cell as the text the export holds: escapes undone, bytes that
    could not be decoded as U+FFFD (control bytes, NUL too, stay: LDIF keeps them)."""
    out, i = [], 0
    while i < len(cell):
        c = cell[i]
        if c == "\\" and i + 1 < len(cell):
            n = cell[i + 1]
            if n == "x":
                b = int(cell[i + 2:i + 4], 16)
                out.append(chr(b) if b < 0x20 or b == 0x7F else "\ufffd")
                i += 4
                continue
            out.append({"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}[n])
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def expected(kind, want):
    """The bytes an attribute must hold for a dump cell, or None when the cell
    is compared by same_cell."""
    if kind in ("Blob", "Graphic", "Bytes", "ParadoxOle"):
        return bytes.fromhex(want)
    if kind == "FmtMemo":
        return want.encode("utf-8")
    if kind in ("String", "Memo"):
        return unescape(want).encode("utf-8")
    return None


def dump(cli, path):
    r = korvane_checks.run(cli, "dump", path, timeout=300, env=env_c())
    if r.returncode != 0:
        return None
    return [l.split("\t") for l in r.stdout.decode("utf-8").split("\n")[:-1]]


def check_table(cli, path, out, lossy_ok=True):
    rows = dump(cli, path)
    if os.path.exists(out):
        os.remove(out)
    r = korvane_checks.run(cli, "export", path, "--format", "LDIF", "--output", out, "--quiet", "--ldif-base", BASE,
                           "--header", "a header\r\nof two lines", "--footer", "the footer",
                           *(["--allow-lossy"] if lossy_ok else []), timeout=300,
                           env=env_c())
    if rows is None:
        check(r.returncode != 0, f"{path}: export exit {r.returncode} where dump fails")
        return False
    if not check(r.returncode == 0, f"{path}: export exit {r.returncode}: {r.stderr[-300:]!r}"):
        return False
    kinds = table_info(cli, path)[0]
    names = descriptors(rows[0])
    with open(out, "rb") as f:
        parser = ldif.LDIFRecordList(f)
        try:
            parser.parse()
        except Exception as e:  # the reader's own error, whatever its kind
            check(False, f"{path}: python-ldap: {e}")
            return False
    recs = parser.all_records
    if not check(len(recs) == len(rows) - 1, f"{path}: {len(recs)} entries for {len(rows) - 1} records"):
        return False
    bad = 0
    for ri, ((dn, attrs), d) in enumerate(zip(recs, rows[1:])):
        where = f"{path} record {ri + 1}"
        if len(d) == 1 and len(rows[0]) > 1:
            d = [""] * len(rows[0])
        got = {k.lower(): v for k, v in attrs.items()}
        if got.pop("objectclass", None) != [b"top", b"organization"]:
            bad += 1
            failures.append(f"{where}: object classes {attrs.get('objectClass')}")
        # The name: first column's value, else the record number; then the base.
        rdn = ldap.dn.str2dn(dn)
        first = got.get(names[0].lower(), [None])[0] if names else None
        want_rdn = first if first is not None else str(ri + 1).encode()
        if not (rdn[1:] == ldap.dn.str2dn(BASE) and rdn[0][0][0] == names[0]
                and rdn[0][0][1].encode("utf-8", "surrogateescape") == want_rdn):
            bad += 1
            if bad <= 3:
                failures.append(f"{where}: dn {dn!r}, first value {first!r}")
        for ci, (kind, want) in enumerate(zip(kinds, d)):
            values = got.pop(names[ci].lower(), None)
            if want == "" or expected(kind, want) == b"":
                ok = values is None
            elif values is None or len(values) != 1:
                ok = False
            else:
                e = expected(kind, want)
                try:
                    ok = values[0] == e if e is not None else same_cell(kind, values[0].decode(), want, "C")
                except (ValueError, IndexError):
                    ok = False
            if not ok:
                bad += 1
                if bad <= 3:
                    failures.append(f"{where} {rows[0][ci]} ({kind}): ldif {values!r:.200}, dump {want[:200]!r}")
        if got:
            bad += 1
            failures.append(f"{where}: attributes beyond the fields: {sorted(got)}")
    check(bad == 0, f"{path}: {bad} values differ")
    text = open(out, "rb").read()
    check(b"# a header\r\n# of two lines\r\n" in text and text.endswith(b"# the footer\r\n"),
          f"{path}: header and footer comments: {text[:200]!r} ... {text[-100:]!r}")
    return True


def slapadd_all(files, tmp):
    """slapadd -u -s over every export, with a schema of the descriptors found."""
    names = {}
    for f in files:
        with open(f, "rb") as fh:
            for line in fh:
                m = re.match(rb"([A-Za-z][A-Za-z0-9-]*)::? ", line)
                if m and m.group(1).lower() not in (b"dn", b"objectclass"):
                    names.setdefault(m.group(1).decode().lower(), m.group(1).decode())
    conf_dir = os.path.join(tmp, "slapd")
    os.makedirs(os.path.join(conf_dir, "db"), exist_ok=True)
    schema = os.path.join(conf_dir, "export.schema")
    conf = os.path.join(conf_dir, "slapd.conf")
    with open(conf, "w") as c:
        c.write(f"include {schema}\nmodulepath /usr/lib/ldap\nmoduleload back_mdb\n"
                f"database mdb\nsuffix \"{BASE}\"\ndirectory {conf_dir}/db\n")
    # Names slapd defines itself ("commonName", ...) keep its definition.
    builtin = set()
    for _ in range(50):
        with open(schema, "w") as s:
            for i, n in enumerate(sorted(names.values()), 1):
                if n.lower() not in builtin:
                    s.write(f"attributetype ( 1.3.6.1.4.1.55555.1.{i} NAME '{n}' "
                            "EQUALITY octetStringMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.40 )\n")
            s.write("attributetype ( 1.3.6.1.4.1.55555.2.1 NAME 'korvaneBase' "
                    "EQUALITY caseIgnoreMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )\n")
            s.write("objectclass ( 1.3.6.1.4.1.55555.3.1 NAME 'organization' SUP top STRUCTURAL )\n")
        r = subprocess.run(["slaptest", "-f", conf, "-u"], capture_output=True, timeout=60)
        m = re.search(rb'duplicate attributeType: "([^"]+)"', r.stderr)
        if r.returncode == 0 or not m:
            break
        builtin.add(m.group(1).decode().lower())
    check(r.returncode == 0, f"slaptest: {r.stderr.decode(errors='replace')[-400:]}")
    for f in files:
        r = subprocess.run(["slapadd", "-f", conf, "-u", "-s", "-l", f], capture_output=True, timeout=120)
        check(r.returncode == 0, f"slapadd {f}: {r.stderr.decode(errors='replace')[-400:]}")


def main():
    a = parse_args()
    cli = a.cli
    build = a.build or os.path.dirname(os.path.dirname(cli))
    with tempfile.TemporaryDirectory() as tmp:
        files = []
        count = 0
        for path in all_tables(a.testdata):
            count += 1
            out = os.path.join(tmp, f"t{count}.ldif")
            if check_table(cli, path, out):
                files.append(out)
        check(count >= 90, f"only {count} tables found")

        gen = os.path.join(tmp, "gen.db")
        r = korvane_checks.run(cli, "generate", "--records", "400", "--fields",
                               "A30,S,I,+,N,$,#4,D,T,@,L,Y8,M40,F40,B30,O30,G80", gen)
        if check(r.returncode == 0, f"generate: {r.stderr!r}"):
            out = os.path.join(tmp, "gen.ldif")
            if check_table(cli, gen, out, lossy_ok=False):
                files.append(out)

        hostile = os.path.join(tmp, "hostile.db")
        r = subprocess.run([os.path.join(build, "tests", "korvane-hostile-ldif"), hostile], capture_output=True)
        if check(r.returncode == 0, f"hostile table: {r.stderr!r}"):
            out = os.path.join(tmp, "hostile.ldif")
            if check_table(cli, hostile, out, lossy_ok=False):
                files.append(out)
                text = open(out, "rb").read()
                # Descriptors a directory accepts, and values that could be misread encoded.
                for want in (b"\r\nCustomer:: ", b"\r\nWahrung: 12.50\r\n", b"\r\nfield5: 1\r\n",
                             b"\r\nN-Licence:: OmNvbG9u\r\n", b"\r\nobjectClass-2: top\r\n",
                             b"\r\nx-y: */ end\r\n"):
                    check(want in text, f"hostile: {want!r} missing")
            # Split files: every part a file of its own that loads.
            split = os.path.join(tmp, "split.ldif")
            r = korvane_checks.run(cli, "export", hostile, "--format", "LDIF", "--output", split, "--quiet",
                                   "--ldif-base", BASE, "--rows-per-file", "2", env=env_c())
            parts = sorted(p for p in os.listdir(tmp) if p.startswith("split"))
            check(r.returncode == 0 and parts == ["split.ldif", "split001.ldif", "split002.ldif"],
                  f"split: {parts} {r.stderr!r}")
            files += [os.path.join(tmp, p) for p in parts]

        slapadd_all(files, tmp)
    return report(60)


if __name__ == "__main__":
    sys.exit(main())
