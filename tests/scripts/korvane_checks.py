"""Shared pieces of the command-line checks: collecting failures, running the
command line, walking the real tables and reporting."""

import argparse
import os
import subprocess

failures = []


def parse_args():
    """The arguments every check gets from the test runner."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--testdata", required=True)
    ap.add_argument("--build")
    return ap.parse_args()


def check(cond, what):
    """Records a failure unless cond holds; answers cond."""
    if not cond:
        failures.append(what)
    return cond


def run(cli, *args, timeout=120, env=None):
    return subprocess.run([cli, *args], capture_output=True, timeout=timeout, env=env)


def all_tables(testdata):
    """Every .db file under the test data folder, in a stable order."""
    for root, dirs, files in os.walk(testdata):
        dirs.sort()
        for f in sorted(files):
            if f.lower().endswith(".db"):
                yield os.path.join(root, f)


def report(limit=50):
    """Prints the failures (at most limit of them) and answers the exit status."""
    for f in failures[:limit]:
        print("FAIL:", f)
    if failures:
        print(f"{len(failures)} failures")
        return 1
    print("ok")
    return 0
