#!/usr/bin/env python3
"""SQL script export read back by real databases: sqlite3 -bail loads generic and
SQLite scripts (one INSERT per record and multi-row), a PostgreSQL server of the
check's own loads PostgreSQL scripts with psql -v ON_ERROR_STOP=1; every value
read back is compared with korvane-cli dump, over every real table, a generated
table with every field type and a table of hostile names and values. A script
split into parts loads part after part, and an appended script loads whole."""

import json
import math
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile

from korvane_checks import all_tables, check, failures, parse_args, report
import korvane_checks
from test_export_text import dump_text, table_info
from test_export_values import dump, env_for

PG_BIN = "/usr/lib/postgresql/15/bin"
BINARY = ("Blob", "Graphic", "Bytes", "ParadoxOle")


def export(cli, path, out, dialect, multi, extra=()):
    args = ["export", path, "--format", "SQL", "--output", out, "--sql-dialect", dialect, "--sql-create-table",
            "--allow-lossy", *extra]
    if multi:
        args.append("--sql-multi-row")
    return korvane_checks.run(cli, *args, timeout=300, env=env_for("C"))


def dump_date(year_month_day_bc):
    """A PostgreSQL date text ('0002-12-31 BC') in dump's form ('-0001-12-31')."""
    text, bc = (year_month_day_bc[:-3], True) if year_month_day_bc.endswith(" BC") else (year_month_day_bc, False)
    y, rest = text.split("-", 1)
    y = int(y)
    if bc:
        y = 1 - y
    return ("-" if y < 0 else "") + f"{abs(y):04d}-" + rest


def dump_time(t):
    """HH:MM:SS[.f..] with the fraction as dump writes it (three digits, none when 0)."""
    if "." not in t:
        return t
    hms, frac = t.split(".")
    ms = int((frac + "000")[:3])
    return hms + (f".{ms:03d}" if ms else "")


def pg_value(kind, got):
    """A PostgreSQL column text in dump's form."""
    if got is None:
        return ""
    if kind == "Date":
        return dump_date(got)
    if kind == "DateTime":
        bc = got.endswith(" BC")
        body = got[:-3] if bc else got
        day, clock = body.split(" ")
        return dump_date(day + (" BC" if bc else "")) + " " + dump_time(clock)
    if kind == "Time":
        return dump_time(got)
    if kind in BINARY:
        return got[2:]
    return got


def same(kind, got, want, exact_bcd=True):
    """got: the value read back in dump's form (text) or as SQLite gives it."""
    if want == "":
        return got in ("", None)
    if kind in ("Float", "Currency"):
        if want == "nan":
            return got is None or str(got).lower() == "nan"
        g = {"Infinity": "inf", "-Infinity": "-inf"}.get(got, got) if isinstance(got, str) else got
        return float(g) == float(want)
    if kind in ("Smallint", "Integer", "AutoInc", "Word"):
        return str(got) == want
    if kind == "Boolean":
        return {1: "true", 0: "false"}.get(got, got) == want
    if kind == "BCD":
        if exact_bcd:
            return str(got) == want
        return math.isclose(float(got), float(want), rel_tol=1e-14)
    if kind in BINARY:
        return (got.hex() if isinstance(got, bytes) else got) == want
    if kind in ("Date", "Time", "DateTime", "FmtMemo"):
        return got == want
    return got == dump_text(want)


def canon(kind, v, from_dump):
    """A sort key of a value that is the same for a dump cell and the value read back."""
    if v in ("", None):
        return ""
    if kind in ("Float", "Currency"):
        return repr(float({"Infinity": "inf", "-Infinity": "-inf"}.get(v, v)))
    if kind in ("String", "Memo") and from_dump:
        return dump_text(v)
    return str(v)


def compare(what, rows, kinds, got_names, got_rows, value_of, exact_bcd=True, any_order=False):
    names = [dump_text(n) for n in rows[0]]
    if any_order:
        # A server may place rows where there is room: compared in a common order.
        got_rows = [[value_of(k, v) for k, v in zip(kinds, g)] for g in got_rows]
        value_of = lambda k, v: v  # noqa: E731
        got_rows.sort(key=lambda g: [canon(k, v, False) for k, v in zip(kinds, g)])
        rows = rows[:1] + sorted(rows[1:], key=lambda d: [canon(k, v, True) for k, v in zip(kinds, d)])
    if len({n.lower() for n in names}) == len(names):
        check(got_names == names, f"{what}: names {got_names} for {names}")
    if not check(len(got_rows) == len(rows) - 1, f"{what}: {len(got_rows)} rows for {len(rows) - 1}"):
        return
    bad = 0
    for ri, (g, d) in enumerate(zip(got_rows, rows[1:])):
        for ci, (gc, dc) in enumerate(zip(g, d)):
            v = value_of(kinds[ci], gc)
            try:
                ok = same(kinds[ci], v, dc, exact_bcd)
            except (ValueError, TypeError) as e:
                ok = False
                v = f"{v!r} ({e})"
            if not ok:
                bad += 1
                if bad <= 3:
                    failures.append(f"{what} row {ri + 1} {names[ci]} ({kinds[ci]}): read {str(v)[:120]!r}, "
                                    f"dump {dc[:120]!r}")
    check(bad == 0, f"{what}: {bad} values differ")


def lossy_ok(what, r, rows, kinds):
    """Values the script cannot hold are counted and said; the run exits 0 with --allow-lossy."""
    err = r.stderr.decode(errors="replace")
    if not check(r.returncode == 0, f"{what}: export exit {r.returncode}: {err}"):
        return False
    nul = any("\\x00" in c for row in rows[1:] for k, c in zip(kinds, row) if k in ("String", "Memo"))
    if nul:
        check("held NUL bytes, which were left out" in err, f"{what}: NUL bytes dropped silently: {err}")
    return True


VARIANTS = [(d, m) for d in ("generic", "sqlite") for m in (False, True)]


def check_sqlite(cli, path, tmp, rows, kinds, variants):
    for dialect, multi in variants:
            what = f"{path} [{dialect}{' multi-row' if multi else ''}]"
            out = os.path.join(tmp, "out.sql")
            r = export(cli, path, out, dialect, multi, ["--table-name", "t"] if multi else [])
            if rows is None:
                check(r.returncode != 0, f"{what}: export exit {r.returncode} where dump fails")
                return
            if not lossy_ok(what, r, rows, kinds):
                continue
            db = os.path.join(tmp, "out.db")
            if os.path.exists(db):
                os.remove(db)
            with open(out, "rb") as f:
                ld = subprocess.run(["sqlite3", "-bail", db], stdin=f, capture_output=True, timeout=120)
            if not check(ld.returncode == 0 and not ld.stderr,
                         f"{what}: sqlite3 exit {ld.returncode}: {ld.stderr[:300]!r}"):
                continue
            con = sqlite3.connect(db)
            con.text_factory = lambda b: b.decode("utf-8", "surrogateescape")
            tables = [t for (t,) in con.execute("SELECT name FROM sqlite_master WHERE type='table'")]
            if not check(len(tables) == 1, f"{what}: tables {tables}"):
                continue
            cur = con.execute(f'SELECT * FROM "{tables[0]}" ORDER BY rowid')
            got_names = [d[0] for d in cur.description]
            got_rows = cur.fetchall()
            con.close()
            compare(what, rows, kinds, got_names, got_rows, lambda k, v: v, exact_bcd=dialect == "sqlite")


def load_sqlite(db, scripts):
    """Loads scripts in order into one new SQLite database with sqlite3 -bail; the stderr of the first failure."""
    if os.path.exists(db):
        os.remove(db)
    for script in scripts:
        with open(script, "rb") as f:
            ld = subprocess.run(["sqlite3", "-bail", db], stdin=f, capture_output=True, timeout=120)
        if ld.returncode != 0 or ld.stderr:
            return f"{os.path.basename(script)}: sqlite3 exit {ld.returncode}: {ld.stderr[:300]!r}"
    return None


def check_parts_and_append(cli, path, tmp, rows, kinds):
    """A script split into parts, loaded part after part, and a script appended to,
    each make one table holding every row."""
    folder = os.path.join(tmp, "parts")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    out = os.path.join(folder, "s.sql")
    r = export(cli, path, out, "sqlite", False, ["--table-name", "t", "--rows-per-file", "70"])
    if not lossy_ok(f"{path} [parts]", r, rows, kinds):
        return
    parts = sorted(os.listdir(folder), key=lambda n: (len(n), n))
    records = len(rows) - 1
    check(len(parts) == (records + 69) // 70, f"{path} [parts]: files {parts} for {records} records")
    db = os.path.join(tmp, "parts.db")
    err = load_sqlite(db, [os.path.join(folder, n) for n in parts])
    if check(err is None, f"{path} [parts] loaded in order: {err}"):
        con = sqlite3.connect(db)
        con.text_factory = lambda b: b.decode("utf-8", "surrogateescape")
        cur = con.execute('SELECT * FROM "t" ORDER BY rowid')
        compare(f"{path} [parts]", rows, kinds, [d[0] for d in cur.description], cur.fetchall(), lambda k, v: v)
        con.close()
    # Appended to: the rows twice, the table created once. An empty file appended to gets the table.
    for start in (None, b""):
        one = os.path.join(tmp, "append.sql")
        if start is None:
            r = export(cli, path, one, "sqlite", True, ["--table-name", "t"])
        else:
            with open(one, "wb") as f:
                f.write(start)
        r = export(cli, path, one, "sqlite", True, ["--table-name", "t", "--merge"])
        what = f"{path} [appended{' to an empty file' if start is not None else ''}]"
        if not lossy_ok(what, r, rows, kinds):
            continue
        err = load_sqlite(db, [one])
        if check(err is None, f"{what}: {err}"):
            con = sqlite3.connect(db)
            n = con.execute('SELECT COUNT(*) FROM "t"').fetchone()[0]
            con.close()
            check(n == records * (2 if start is None else 1), f"{what}: {n} rows for {records}")
        os.remove(one)


class PgServer:
    """A throwaway PostgreSQL server on a Unix socket in a folder of its own."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="korvane-pg-")
        self.prefix = []
        if os.geteuid() == 0:
            shutil.chown(self.dir, "postgres")
            self.prefix = ["runuser", "-u", "postgres", "--"]
        self.data = os.path.join(self.dir, "data")
        self.started = False

    def run(self, *args, **kw):
        return subprocess.run(self.prefix + list(args), capture_output=True, timeout=120, **kw)

    def start(self):
        r = self.run(f"{PG_BIN}/initdb", "-D", self.data, "-U", "postgres", "-E", "UTF8", "--locale=C.UTF-8",
                     "-A", "trust")
        if r.returncode != 0:
            raise RuntimeError(f"initdb: {r.stderr.decode(errors='replace')}")
        r = self.run(f"{PG_BIN}/pg_ctl", "-D", self.data, "-l", os.path.join(self.dir, "log"), "-w", "-o",
                     f"-k {self.dir} -c listen_addresses='' -c fsync=off", "start")
        if r.returncode != 0:
            raise RuntimeError(f"pg_ctl start: {r.stderr.decode(errors='replace')}")
        self.started = True

    def psql(self, *args, input=None):
        env = dict(os.environ, PGOPTIONS="-c DateStyle=ISO -c extra_float_digits=1")
        return subprocess.run(self.prefix + [f"{PG_BIN}/psql", "-h", self.dir, "-U", "postgres", "-X", "-q",
                                             "-v", "ON_ERROR_STOP=1", *args, "postgres"],
                              capture_output=True, timeout=120, input=input, env=env)

    def stop(self):
        if self.started:
            self.run(f"{PG_BIN}/pg_ctl", "-D", self.data, "-m", "immediate", "-w", "stop")
        shutil.rmtree(self.dir, ignore_errors=True)


def check_pg(cli, pg, path, tmp, rows, kinds, n):
    if rows is None:
        return
    table = f"t{n}"
    multi = n % 2 == 0
    what = f"{path} [postgresql{' multi-row' if multi else ''}]"
    out = os.path.join(tmp, "pg.sql")
    r = export(cli, path, out, "postgresql", multi, ["--table-name", table, "--sql-batch", "50"])
    if not lossy_ok(what, r, rows, kinds):
        return
    with open(out, "rb") as f:
        ld = pg.psql("-f", "-", input=f.read())
    if not check(ld.returncode == 0, f"{what}: psql exit {ld.returncode}: {ld.stderr[:300]!r}"):
        return
    rb = pg.psql("-A", "-t", "-c", f"SELECT json_agg(attname ORDER BY attnum) FROM pg_attribute "
                 f"WHERE attrelid = '{table}'::regclass AND attnum > 0 AND NOT attisdropped")
    if not check(rb.returncode == 0, f"{what}: names: {rb.stderr[:300]!r}"):
        return
    names = json.loads(rb.stdout.decode("utf-8").strip() or "[]")
    # Every column as PostgreSQL writes it as text, in the order of insertion.
    cols = ", ".join('"' + n.replace('"', '""') + '"::text' for n in names)
    rb = pg.psql("-A", "-t", "-c", f"SELECT json_agg(json_build_array({cols}) ORDER BY ctid) FROM {table}")
    if not check(rb.returncode == 0, f"{what}: read back: {rb.stderr[:300]!r}"):
        return
    data = {"names": names, "rows": json.loads(rb.stdout.decode("utf-8").strip() or "null")}
    got_rows = data["rows"] or []
    compare(what, rows, kinds, data["names"], got_rows, pg_value, any_order=True)


def main():
    a = parse_args()
    tables = list(all_tables(a.testdata))
    check(len(tables) >= 100, f"only {len(tables)} tables found")
    with tempfile.TemporaryDirectory() as tmp:
        gen = os.path.join(tmp, "gen.db")
        r = korvane_checks.run(a.cli, "generate", "--records", "300", "--fields",
                               "A20,I,S,N,$,D,T,@,L,M40,#4,Y8,F20,B20,O20,G20,+", gen)
        check(r.returncode == 0, f"generate: {r.stderr!r}")
        hostile = os.path.join(tmp, "hostile.db")
        tool = os.path.join(a.build or "build", "tests", "korvane-hostile-sql")
        r = subprocess.run([tool, hostile], capture_output=True)
        check(r.returncode == 0, f"hostile table: {r.stderr!r}")
        tables += [gen, hostile]

        dumps = {}
        for n, path in enumerate(tables):
            rows, _ = dump(a.cli, path)
            dumps[path] = (rows, table_info(a.cli, path)[0] if rows is not None else [])
            # Two of the four variants per real table in turn; all four for the made ones.
            variants = VARIANTS if path in (gen, hostile) else [VARIANTS[n % 4], VARIANTS[(n + 1) % 4]]
            check_sqlite(a.cli, path, tmp, *dumps[path], variants)
        check_parts_and_append(a.cli, gen, tmp, *dumps[gen])

        pg = PgServer()
        try:
            pg.start()
            for n, path in enumerate(tables):
                check_pg(a.cli, pg, path, tmp, *dumps[path], n)
        except RuntimeError as e:
            check(False, str(e))
        finally:
            pg.stop()
    return report(60)


if __name__ == "__main__":
    sys.exit(main())
