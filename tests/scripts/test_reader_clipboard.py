#!/usr/bin/env python3
"""Clipboard export read back with xclip under a virtual X display (xvfb-run): the
clipboard text equals the text export with the same settings, for every real
table; with --rows-per-file it is one text of every row and no file is written;
--merge appends to the clipboard's text; without a display the run fails with
exit 1; --output is refused. The command returns although the clipboard helper
it started stays behind (it must not hold the caller's standard error)."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from korvane_checks import all_tables, check, parse_args, report
import korvane_checks

INNER = "--inside-display"


def env_c(display=True):
    env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANG"}
    env["LC_ALL"] = "C"
    env.pop("WAYLAND_DISPLAY", None)
    if not display:
        env.pop("DISPLAY", None)
    return env


def clipboard():
    r = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=30)
    return r.stdout if r.returncode == 0 else b""


def set_clipboard(data):
    # xclip stays behind to serve the selection: no pipes of ours for it to hold.
    subprocess.run(["xclip", "-i", "-selection", "clipboard"], input=data, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30)
    # xclip owns the clipboard only some moments after it returns.
    for _ in range(100):
        if clipboard() == data:
            return
        time.sleep(0.02)


def text_export(cli, path, out, opts):
    r = korvane_checks.run(cli, "export", path, "--format", "Text", "--output", out, "--quiet", "--allow-lossy",
                           *opts, timeout=300, env=env_c())
    if r.returncode != 0:
        return None
    with open(out, "rb") as f:
        return f.read()


def clip_export(cli, path, opts, cwd=None, display=True):
    return subprocess.run([cli, "export", path, "--format", "Clipboard", "--quiet", "--allow-lossy", *opts],
                          capture_output=True, timeout=300, env=env_c(display), cwd=cwd)


def compare(cli, path, tmp, opts, clip_opts=()):
    want = text_export(cli, path, os.path.join(tmp, "out.txt"), opts)
    set_clipboard(b"old text")
    r = clip_export(cli, path, [*opts, *clip_opts])
    if want is None:
        check(r.returncode != 0, f"{path}: clipboard export exit {r.returncode} where text export fails")
        return
    if not check(r.returncode == 0, f"{path} {opts}: exit {r.returncode}: {r.stderr[-300:]!r}"):
        return
    got = clipboard()
    check(got == want, f"{path} {opts}: clipboard {got[:120]!r}... ({len(got)} bytes), "
                       f"text export {want[:120]!r}... ({len(want)} bytes)")


def inner(a):
    cli = os.path.abspath(a.cli)
    with tempfile.TemporaryDirectory() as tmp:
        count = 0
        for path in all_tables(a.testdata):
            count += 1
            compare(cli, path, tmp, ["--title"])
        check(count >= 90, f"only {count} tables found")

        typ = os.path.join(a.testdata, "Rparadox", "TypSammlung.DB")
        # Other settings: header and footer lines (the footer too, no 1Ah), fixed width.
        compare(cli, typ, tmp, ["--header", "first\tline", "--footer", "the end", "--separator", ";"])
        compare(cli, typ, tmp, ["--fixed", "--title", "--footer", "f"])
        compare(cli, typ, tmp, ["--set", "Text.AddCtrlZ=0", "--footer", "f"])

        # Split output: one text, every row, and no file anywhere.
        gen = os.path.join(tmp, "gen.db")
        korvane_checks.run(cli, "generate", "--records", "50", gen)
        work = os.path.join(tmp, "cwd")
        os.mkdir(work)
        want = text_export(cli, gen, os.path.join(tmp, "whole.txt"), ["--title", "--header", "h", "--footer", "f"])
        r = clip_export(cli, gen, ["--title", "--header", "h", "--footer", "f", "--rows-per-file", "7"], cwd=work)
        check(r.returncode == 0 and clipboard() == want, f"rows per file: exit {r.returncode} {r.stderr!r}")
        check(os.listdir(work) == [] and sorted(os.listdir(tmp)) == ["cwd", "gen.db", "gen.mb", "out.txt", "whole.txt"],
              f"rows per file wrote files: {os.listdir(work)} {os.listdir(tmp)}")

        # Merge: the new rows follow the clipboard's text.
        set_clipboard(b"before\r\n")
        r = clip_export(cli, gen, ["--title", "--header", "h", "--footer", "f", "--merge"])
        check(r.returncode == 0 and clipboard() == b"before\r\n" + want, f"merge: {r.stderr!r}")

        # No display: a clear failure, the clipboard untouched.
        set_clipboard(b"kept")
        r = clip_export(cli, gen, [], display=False)
        check(r.returncode == 1 and b"clipboard cannot be reached" in r.stderr and clipboard() == b"kept",
              f"no display: exit {r.returncode} {r.stderr!r}")
        r = clip_export(cli, gen, ["--output", os.path.join(tmp, "x.txt")])
        check(r.returncode == 2 and b"takes no --output" in r.stderr and not os.path.exists(os.path.join(tmp, "x.txt")),
              f"--output: exit {r.returncode} {r.stderr!r}")
    return report(60)


def main():
    inside = INNER in sys.argv
    if inside:
        sys.argv.remove(INNER)
    a = parse_args()
    if inside:
        return inner(a)
    for tool in ("xvfb-run", "xclip"):
        if not shutil.which(tool):
            print(f"FAIL: {tool} is not installed (run scripts/setup.sh)")
            return 1
    args = [sys.executable, os.path.abspath(__file__), "--cli", a.cli, "--testdata", a.testdata, INNER]
    if a.build:
        args += ["--build", a.build]
    r = subprocess.run(["xvfb-run", "-a", *args], timeout=600)
    return r.returncode


if __name__ == "__main__":
    sys.exit(main())
