#!/usr/bin/env python3
"""The viewer's Export button end to end: the viewer test that drives the wizard
over a real table (columns reordered, one hidden, one renamed in the wizard) leaves its text file here; the
file is read with the csv module and compared with korvane-cli dump of the table."""

import argparse
import csv
import os
import subprocess
import sys
import tempfile

TEST = "ExportButtonTest.WritesTheGridColumnsOfARealTable"


def unescape(cell):
    out, i = [], 0
    while i < len(cell):
        if cell[i] == "\\" and i + 1 < len(cell):
            n = cell[i + 1]
            if n == "x":
                out.append(chr(int(cell[i + 2:i + 4], 16)))
                i += 4
                continue
            out.append({"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}[n])
            i += 2
            continue
        out.append(cell[i])
        i += 1
    return "".join(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--testdata", required=True)
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    viewer_tests = os.path.join(a.build, "tests", "test_viewer")
    if not os.path.exists(viewer_tests):
        print("test_viewer is not built; nothing to check")
        return 0
    table = os.path.join(a.testdata, "paradoxdriver", "db", "AREACODES.DB")
    failures = []
    with tempfile.TemporaryDirectory(prefix="korvane-wizard-csv-") as out:
        env = dict(os.environ, KORVANE_EXPORT_OUT=out, QT_QPA_PLATFORM="offscreen")
        r = subprocess.run([viewer_tests, f"--gtest_filter={TEST}"], env=env, capture_output=True, timeout=300)
        if r.returncode != 0:
            print(r.stdout.decode(errors="replace"))
            print(r.stderr.decode(errors="replace"))
            print(f"FAIL: {TEST} exited {r.returncode}")
            return 1
        exported = os.path.join(out, "areacodes.TXT")
        with open(exported, newline="", encoding="utf-8") as f:
            raw = f.read()
        if "\r\n" not in raw or raw.replace("\r\n", "").count("\n") != 0:
            failures.append("records are not separated by CR LF")
        rows = list(csv.reader(raw.splitlines(keepends=True)))

    d = subprocess.run([a.cli, "dump", table], capture_output=True, timeout=120)
    if d.returncode != 0:
        print(f"FAIL: dump exited {d.returncode}: {d.stderr.decode(errors='replace')}")
        return 1
    lines = d.stdout.decode("utf-8").split("\n")[:-1]
    names = lines[0].split("\t")
    table_rows = [[unescape(c) for c in line.split("\t")] for line in lines[1:]]
    ci, ai = names.index("Cities"), names.index("AC")
    expected = [["Cities", "Area code"]] + [[row[ci], row[ai]] for row in table_rows]

    if rows[0] != expected[0]:
        failures.append(f"header {rows[0]!r}, expected {expected[0]!r}")
    if len(rows) != len(expected):
        failures.append(f"{len(rows)} rows, expected {len(expected)}")
    for k, (got, want) in enumerate(zip(rows[1:], expected[1:]), start=1):
        if got != want:
            failures.append(f"row {k}: {got!r}, expected {want!r}")
            if len(failures) > 10:
                break
    if not any("," in row[0] for row in rows[1:]):
        failures.append("no exported value holds a comma: the quoting is not exercised")

    for f in failures:
        print("FAIL:", f)
    print(f"{len(rows) - 1} exported records checked")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
