#!/usr/bin/env python3
"""korvane-cli generate --script: the table names the script's language driver and
code page, and dump reads its text back as words of that script."""

import os
import sys
import tempfile
import unicodedata

from korvane_checks import check, failures, parse_args, report, run

# Script, driver, code page, and the Unicode name every letter of its words starts with
# (Turkish and Czech are Latin letters with a few of their own).
SCRIPTS = [
    ("cyrillic", "ancyrr", "1251", ("CYRILLIC",)),
    ("greek", "angreek1", "1253", ("GREEK",)),
    ("turkish", "ANTURK", "1254", ("LATIN",)),
    ("hebrew", "ANHEBREW", "1255", ("HEBREW",)),
    ("arabic", "BLWINAR0", "1256", ("ARABIC",)),
    ("czech", "anczech", "1250", ("LATIN",)),
]
OWN_LETTERS = {"turkish": "ğışİĞŞ", "czech": "řůěčšžťďňŘŮĚČŠŽŤĎŇ"}


def main():
    a = parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        for script, driver, cp, blocks in SCRIPTS:
            db = os.path.join(tmp, script + ".db")
            r = run(a.cli, "generate", "--records", "200", "--script", script, "--fields", "A40,M60,I,F30", db)
            if not check(r.returncode == 0, f"generate --script {script}: {r.stderr!r}"):
                continue
            info = run(a.cli, "info", db).stdout.decode("utf-8", "replace")
            check(driver in info and cp in info, f"{script}: info does not name {driver} / {cp}:\n{info[:600]}")
            r = run(a.cli, "dump", db)
            check(r.returncode == 0, f"dump {script}: {r.stderr!r}")
            text = r.stdout.decode("utf-8")
            check("\\x" not in text and "\ufffd" not in text, f"{script}: undecodable bytes in dump")
            lines = text.split("\n")[1:]
            letters = [ch for line in lines for cell in line.split("\t")[:2] for ch in cell if ch.isalpha()]
            check(len(letters) > 1000, f"{script}: only {len(letters)} letters")
            wrong = {ch for ch in letters if not unicodedata.name(ch, "").startswith(blocks)}
            check(not wrong, f"{script}: letters of another script {sorted(wrong)[:10]}")
            if script in OWN_LETTERS:
                check(any(ch in OWN_LETTERS[script] for ch in letters), f"{script}: none of its own letters")

        # The driver comes from the script; tables without a code page cannot hold one.
        db = os.path.join(tmp, "x.db")
        r = run(a.cli, "generate", "--records", "1", "--script", "greek", "--language", "ascii", db)
        check(r.returncode != 0 and b"--language" in r.stderr, f"--script with --language: {r.stderr!r}")
        r = run(a.cli, "generate", "--records", "1", "--script", "greek", "--version", "4", db)
        check(r.returncode != 0 and b"version" in r.stderr, f"--script with --version 4: {r.stderr!r}")
        r = run(a.cli, "generate", "--records", "1", "--script", "klingon", db)
        check(r.returncode != 0 and b"cyrillic" in r.stderr, f"--script klingon: {r.stderr!r}")
    return report()


if __name__ == "__main__":
    sys.exit(main())
