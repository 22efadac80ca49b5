#!/usr/bin/env python3
"""The database target through ODBC, read back by the databases themselves: every
real table and a generated table of every field type into SQLite (read with
Python's sqlite3), a dozen tables and the all-types one into a PostgreSQL server
of scripts/pg-test-server.sh (read with psql COPY ... TO STDOUT csv); every value
compared with korvane-cli dump. Hostile field and table names, appending twice, a
SELECT target, a value the server refuses in record 15 001 and the Access entry
are checked too."""

import csv
import io
import os
import signal
import sqlite3
import subprocess
import tempfile

from korvane_checks import all_tables, check, failures, parse_args, report
import korvane_checks
from test_export_text import table_info
from test_export_values import dump, env_for
from test_reader_sql import compare, pg_value

HERE = os.path.dirname(os.path.abspath(__file__))
PG_SERVER = os.path.join(HERE, "..", "..", "scripts", "pg-test-server.sh")
ACCESS_TEXT = ("Writing Access databases needs the Access database engine, which does not exist for Linux. "
               "Export to a dBase table, an Excel workbook or a database through ODBC; Access imports all three.")


def export(cli, path, output, table, *extra, timeout=300):
    return korvane_checks.run(cli, "export", path, "--format", "ADO", "--output", output, "--table", table,
                              "--quiet", "--allow-lossy", *extra, timeout=timeout, env=env_for("C"))


def sqlite_rows(db, table):
    con = sqlite3.connect(db)
    con.text_factory = lambda b: b.decode("utf-8", "surrogateescape")
    cur = con.execute('SELECT * FROM "' + table.replace('"', '""') + '" ORDER BY rowid')
    names = [d[0] for d in cur.description]
    rows = cur.fetchall()
    con.close()
    return names, rows


def sqlite_value(kind, v):
    # Booleans are stored as 1/0, numbers as SQLite keeps them. A NUL byte stays in
    # SQLite; the dump side of the comparison leaves it out.
    if kind in ("String", "Memo") and isinstance(v, str):
        return v.replace("\0", "")
    if kind == "Boolean" and v in (0, 1):
        return "true" if v else "false"
    if kind in ("Float", "Currency") and isinstance(v, int):
        return float(v)
    return v


def check_sqlite_table(cli, path, tmp, rows, kinds):
    db = os.path.join(tmp, "one.sqlite")
    if os.path.exists(db):
        os.remove(db)
    r = export(cli, path, db, "t")
    if rows is None:
        check(r.returncode != 0, f"{path} [sqlite]: export exit {r.returncode} where dump fails")
        return
    if not check(r.returncode == 0, f"{path} [sqlite]: exit {r.returncode}: {r.stderr[:300]!r}"):
        return
    names, got = sqlite_rows(db, "t")
    compare(f"{path} [sqlite]", rows, kinds, names, got, sqlite_value)


class PgServer:
    """scripts/pg-test-server.sh without a command: serves until it is sent SIGTERM."""

    def __init__(self):
        self.proc = subprocess.Popen(["bash", PG_SERVER], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True, start_new_session=True)
        self.env = {}
        for _ in range(2):
            line = self.proc.stdout.readline()
            for part in line.strip().split(" ") if not line.startswith("KORVANE_PG_ODBC=") else [line.strip()]:
                k, _, v = part.partition("=")
                self.env[k] = v
        if "KORVANE_PG_ODBC" not in self.env:
            raise RuntimeError("pg-test-server.sh: " + self.proc.stderr.read())
        self.odbc = self.env["KORVANE_PG_ODBC"]
        self.prefix = ["runuser", "-u", "postgres", "--"] if os.geteuid() == 0 else []

    def psql(self, *args):
        env = dict(os.environ, **{k: v for k, v in self.env.items() if k.startswith("PG")},
                   PGOPTIONS="-c DateStyle=ISO -c extra_float_digits=1")
        return subprocess.run(self.prefix + ["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", *args],
                              capture_output=True, timeout=120, env=env)

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(self.proc.pid, signal.SIGKILL)
        check(not os.path.exists(self.env.get("PGHOST", "/nonexistent")), "pg-test-server.sh left its folder")


def pg_rows(pg, table):
    """The table's column names and rows as PostgreSQL writes them in csv (NULL as no value)."""
    q = '"' + table.replace('"', '""') + '"'
    r = pg.psql("-A", "-t", "-c", f"SELECT attname FROM pg_attribute WHERE attrelid = '{q}'::regclass "
                "AND attnum > 0 AND NOT attisdropped ORDER BY attnum")
    if r.returncode != 0:
        return None, r.stderr
    names = r.stdout.decode().splitlines()
    r = pg.psql("-c", f"COPY (SELECT * FROM {q} ORDER BY ctid) TO STDOUT WITH (FORMAT csv, FORCE_QUOTE *)")
    if r.returncode != 0:
        return None, r.stderr
    rows = []
    # Quoted fields are values, unquoted empty ones NULL.
    for rec in csv.reader(io.StringIO(r.stdout.decode("utf-8"), newline="")):
        rows.append(list(rec))
    return names, rows


def check_pg_table(cli, pg, path, rows, kinds, n):
    table = f"t{n}"
    r = export(cli, path, pg.odbc, table)
    what = f"{path} [postgresql]"
    if not check(r.returncode == 0, f"{what}: exit {r.returncode}: {r.stderr[:300]!r}"):
        return
    names, got = pg_rows(pg, table)
    if not check(names is not None, f"{what}: read back: {got!r}"):
        return

    def value(kind, v):
        if v == "":
            return None
        if kind == "Boolean" and v in ("0", "1"):
            return "true" if v == "1" else "false"
        return pg_value(kind, v)
    # The server puts a row where there is room: compared in a common order.
    compare(what, rows, kinds, names, got, value, any_order=True)


def check_names(cli, tmp, pg):
    """Field names and a table name that would end the statement unquoted."""
    src = os.path.join(tmp, "names.db")
    r = korvane_checks.run(cli, "generate", "--records", "5", "--fields",
                           'q"x);DROP TABLE sentinel;--=A10,Date=D,select=I,Zip/Postal Code=A5', src)
    check(r.returncode == 0, f"names table: {r.stderr!r}")
    table = 'my "table"; x'
    db = os.path.join(tmp, "names.sqlite")
    con = sqlite3.connect(db)
    con.execute("CREATE TABLE sentinel (a INTEGER)")
    con.commit()
    con.close()
    r = export(cli, src, db, table)
    check(r.returncode == 0, f"hostile names [sqlite]: exit {r.returncode}: {r.stderr!r}")
    con = sqlite3.connect(db)
    names = [n for (n,) in con.execute("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name")]
    check(names == ["my \"table\"; x", "sentinel"], f"hostile names [sqlite]: tables {names}")
    if table in names:
        cols = [c[1] for c in con.execute('PRAGMA table_info("my ""table""; x")')]
        check(cols[1:3] == ["Date", "select"] and cols[0].endswith('"x);DROP TABLE sentinel;--'),
              f"hostile names [sqlite]: columns {cols}")
        n = con.execute('SELECT COUNT(*) FROM "my ""table""; x"').fetchone()[0]
        check(n == 5, f"hostile names [sqlite]: {n} rows")
    con.close()
    if pg:
        pg.psql("-c", "CREATE TABLE sentinel (a integer)")
        r = export(cli, src, pg.odbc, table)
        check(r.returncode == 0, f"hostile names [postgresql]: exit {r.returncode}: {r.stderr!r}")
        r = pg.psql("-A", "-t", "-c", "SELECT count(*) FROM sentinel")
        check(r.returncode == 0, f"hostile names [postgresql]: the sentinel is gone: {r.stderr!r}")
        r = pg.psql("-A", "-t", "-c", 'SELECT count(*) FROM "my ""table""; x"')
        check(r.stdout.strip() == b"5", f"hostile names [postgresql]: {r.stdout!r} {r.stderr!r}")


def check_append_and_select(cli, tmp, src, records, named):
    db = os.path.join(tmp, "append.sqlite")
    for _ in range(2):
        r = export(cli, src, db, "twice")
        check(r.returncode == 0, f"append: exit {r.returncode}: {r.stderr!r}")
    con = sqlite3.connect(db)
    n = con.execute("SELECT COUNT(*) FROM twice").fetchone()[0]
    check(n == 2 * records, f"append: {n} rows for twice {records}")
    # A query names the table and the columns that are filled.
    con.execute("CREATE TABLE target (x INTEGER, name TEXT, num REAL, extra TEXT DEFAULT 'kept')")
    con.commit()
    con.close()
    r = export(cli, named, db, "SELECT name, x, num FROM target")
    if check(r.returncode == 0, f"select target: exit {r.returncode}: {r.stderr!r}"):
        con = sqlite3.connect(db)
        got = con.execute("SELECT name, x, num, extra FROM target ORDER BY rowid").fetchall()
        con.close()
        rows, _ = dump(cli, named)
        want = [(d[0] or None, int(d[1]) if d[1] else None, float(d[2]) if d[2] else None, "kept") for d in rows[1:]]
        check(got == want, f"select target: {got[:2]} for {want[:2]}")
    r = export(cli, src, db, "SELECT 1 + 1")
    check(r.returncode == 1 and b"query" in r.stderr, f"select without a table: exit {r.returncode}: {r.stderr!r}")


def check_refused(cli, tmp, pg):
    """A value the server refuses in record 15 001: the rows before it stay, the message names it."""
    src = os.path.join(tmp, "big.db")
    r = korvane_checks.run(cli, "generate", "--records", "20000", "--fields", "N=+,A10", src)
    check(r.returncode == 0, f"big table: {r.stderr!r}")
    pg.psql("-c", "CREATE TABLE refused (n integer CHECK (n <> 15001), a varchar(10))")
    r = export(cli, src, pg.odbc, "refused")
    err = r.stderr.decode(errors="replace")
    check(r.returncode == 1 and "Record 15001" in err and "column N" in err,
          f"refused value: exit {r.returncode}: {err[:300]}")
    r = pg.psql("-A", "-t", "-c", "SELECT count(*), max(n) FROM refused")
    check(r.stdout.strip() == b"15000|15000", f"refused value: rows kept {r.stdout!r}")


def main():
    a = parse_args()
    tables = list(all_tables(a.testdata))
    check(len(tables) >= 100, f"only {len(tables)} tables found")
    with tempfile.TemporaryDirectory() as tmp:
        gen = os.path.join(tmp, "gen.db")
        r = korvane_checks.run(a.cli, "generate", "--records", "300", "--fields",
                               "A20,I,S,N,$,D,T,@,L,M40,#4,Y8,F20,B20,O20,G20,+", gen)
        check(r.returncode == 0, f"generate: {r.stderr!r}")
        tables.append(gen)

        r = korvane_checks.run(a.cli, "export", gen, "--format", "Access", "--output", os.path.join(tmp, "x.mdb"))
        check(r.returncode == 2 and ACCESS_TEXT in r.stderr.decode(), f"Access: exit {r.returncode}: {r.stderr!r}")

        dumps = {}
        for path in tables:
            rows, _ = dump(a.cli, path)
            dumps[path] = (rows, table_info(a.cli, path)[0] if rows is not None else [])
            check_sqlite_table(a.cli, path, tmp, *dumps[path])
        named = os.path.join(tmp, "named.db")
        r = korvane_checks.run(a.cli, "generate", "--records", "40", "--fields", "name=A10,x=I,num=N", named)
        check(r.returncode == 0, f"generate: {r.stderr!r}")
        check_append_and_select(a.cli, tmp, gen, len(dumps[gen][0]) - 1, named)

        pg = None
        try:
            pg = PgServer()
        except (RuntimeError, OSError) as e:
            failures.append(f"PostgreSQL server: {e}")
        if pg:
            try:
                readable = [p for p in tables if dumps[p][0] is not None and len(dumps[p][0]) > 1]
                step = max(1, len(readable) // 12)
                for n, path in enumerate(readable[::step][:12] + [gen]):
                    check_pg_table(a.cli, pg, path, *dumps[path], n)
                check_refused(a.cli, tmp, pg)
                check_names(a.cli, tmp, pg)
            finally:
                pg.stop()
        else:
            check_names(a.cli, tmp, None)
    return report()


if __name__ == "__main__":
    raise SystemExit(main())
