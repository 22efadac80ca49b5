#!/usr/bin/env python3
"""korvane-cli export and the files it writes: SIGTERM and SIGHUP during an export
and during a merge leave the earlier file as it was and no temporary; two merges
at once add up; a merge killed outright is taken back by the next run; a symbolic link's target receives the export; "-" and /dev/stdout
are standard output; thousands of one-record parts with few file descriptors;
values that a file without a qualifier cannot hold."""

import os
import pwd
import resource
import signal
import subprocess
import sys
import tempfile
import time

from korvane_checks import check, parse_args, report
import korvane_checks

ENV = dict(os.environ, LC_ALL="C")


def run(cli, *args, **kw):
    return korvane_checks.run(cli, *args, timeout=300, env=ENV, **kw)


def temporaries(folder):
    return [n for n in os.listdir(folder) if n.startswith(".")]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def interrupt(cli, args, sig, wait_for=None):
    """Starts an export, sends sig once it is under way (wait_for: a file that
    grows once writing began), answers (returncode, stderr)."""
    p = subprocess.Popen([cli, *args], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=ENV)
    deadline = time.time() + 20
    while time.time() < deadline and p.poll() is None:
        if wait_for and wait_for():
            break
        time.sleep(0.02)
    p.send_signal(sig)
    _, err = p.communicate(timeout=120)
    return p.returncode, err


def check_signals(cli, tmp, big):
    folder = os.path.join(tmp, "sig")
    os.makedirs(folder)
    out = os.path.join(folder, "big.csv")
    earlier = b"earlier\r\n" * 3
    for sig in (signal.SIGTERM, signal.SIGHUP):
        name = signal.Signals(sig).name
        # A new file: the temporary appears beside it once the records are written.
        with open(out, "wb") as f:
            f.write(earlier)
        rc, err = interrupt(cli, ["export", big, "--format", "text", "--output", out, "--quiet"], sig,
                            lambda: any(os.path.getsize(os.path.join(folder, n)) > 0 for n in temporaries(folder)))
        if rc == 0:
            print(f"note: the export finished before {name}")
            continue
        check(rc == -sig, f"{name} export: exit {rc} {err!r}")
        check(rc != -sig or b"canceled" in err, f"{name} export: {err!r}")
        check(read(out) == earlier, f"{name} changed the earlier file")
        check(temporaries(folder) == [], f"{name} left {temporaries(folder)}")

        # A merge: the rows appended so far are taken back.
        rc, err = interrupt(cli, ["export", big, "--format", "text", "--output", out, "--merge", "--quiet"], sig,
                            lambda: os.path.getsize(out) > len(earlier))
        if rc == 0:
            print(f"note: the merge finished before {name}")
            continue
        check(rc == -sig, f"{name} merge: exit {rc} {err!r}")
        check(read(out) == earlier, f"{name} merge left {os.path.getsize(out)} bytes")
        check(temporaries(folder) == [], f"{name} merge left {temporaries(folder)}")


def check_stale_temporaries(cli, tmp, table):
    """A run killed outright leaves its temporary; the next export to that file removes it."""
    folder = os.path.join(tmp, "stale")
    os.makedirs(folder)
    out = os.path.join(folder, "t.csv")
    with open(os.path.join(folder, ".t.csv.Xy12Zq"), "wb") as f:
        f.write(b"left by kill -9")
    with open(os.path.join(folder, ".other.csv.Xy12Zq"), "wb") as f:
        f.write(b"another output's")
    r = run(cli, "export", table, "--format", "text", "--output", out, "--quiet")
    check(r.returncode == 0, f"stale: {r.stderr!r}")
    check(sorted(os.listdir(folder)) == [".other.csv.Xy12Zq", "t.csv"], f"stale: {os.listdir(folder)}")


def check_killed_merge(cli, tmp, big, table):
    """A merge killed outright leaves its rows and a journal; the next merge into
    that file takes them back first and says so, and a replacing export drops the
    journal."""
    folder = os.path.join(tmp, "killed")
    os.makedirs(folder)
    out = os.path.join(folder, "m.csv")
    earlier = b"earlier\r\n" * 3
    with open(out, "wb") as f:
        f.write(earlier)
    rc, _ = interrupt(cli, ["export", big, "--format", "text", "--output", out, "--merge", "--quiet"],
                      signal.SIGKILL, lambda: os.path.getsize(out) > len(earlier) + 100000)
    if rc == 0:
        print("note: the merge finished before SIGKILL")
        return
    check(rc == -signal.SIGKILL, f"kill -9 merge: exit {rc}")
    check(os.path.getsize(out) > len(earlier), "kill -9 merge: no rows were appended before the kill")
    check(os.path.exists(os.path.join(folder, ".m.csv.korvane-append")), f"kill -9 merge: {os.listdir(folder)}")

    # The next merge: the killed run's rows are gone, this run's rows follow the earlier text.
    r = run(cli, "export", table, "--format", "text", "--output", out, "--merge")
    want = run(cli, "export", table, "--format", "text", "--output", "-", "--quiet").stdout
    check(r.returncode == 0 and read(out) == earlier + want,
          f"merge after kill -9: {r.returncode} {r.stderr!r} {os.path.getsize(out)} bytes")
    check(b"taken back" in r.stderr, f"merge after kill -9 says nothing: {r.stderr!r}")
    check(temporaries(folder) == [], f"merge after kill -9 left {temporaries(folder)}")

    # Killed again, then replaced: the new file stands, no journal is left to act on it.
    rc, _ = interrupt(cli, ["export", big, "--format", "text", "--output", out, "--merge", "--quiet"],
                      signal.SIGKILL, lambda: os.path.getsize(out) > len(earlier) + len(want) + 100000)
    if rc == 0:
        return
    r = run(cli, "export", table, "--format", "text", "--output", out, "--quiet")
    check(r.returncode == 0 and read(out) == want, f"replace after kill -9: {r.stderr!r}")
    check(temporaries(folder) == [], f"replace after kill -9 left {temporaries(folder)}")


def check_concurrent_merges(cli, tmp):
    table = os.path.join(tmp, "lines.db")
    r = run(cli, "generate", "--records", "100000", "--fields", "A30,I", table)
    if not check(r.returncode == 0, f"generate: {r.stderr!r}"):
        return
    out = os.path.join(tmp, "merged.csv")
    with open(out, "wb") as f:
        f.write(b"first line\r\n")
    args = [cli, "export", table, "--format", "text", "--output", out, "--merge", "--quiet"]
    procs = [subprocess.Popen(args, stderr=subprocess.PIPE, env=ENV) for _ in range(2)]
    errs = [p.communicate(timeout=300)[1] for p in procs]
    check(all(p.returncode == 0 for p in procs), f"concurrent merges: {[p.returncode for p in procs]} {errs!r}")
    lines = read(out).split(b"\r\n")
    check(lines[-1] == b"" and len(lines) - 1 == 1 + 2 * 100000, f"concurrent merges: {len(lines) - 1} lines")
    # Each run's rows are together, in order.
    body = lines[1:-1]
    check(body[:100000] == body[100000:], "concurrent merges: the two runs' rows are mixed")


def check_names(cli, tmp, table):
    folder = os.path.join(tmp, "names")
    os.makedirs(os.path.join(folder, "real"))
    target = os.path.join(folder, "real", "data.txt")
    with open(target, "wb") as f:
        f.write(b"old\n")
    link = os.path.join(folder, "link.txt")
    os.symlink("real/data.txt", link)
    r = run(cli, "export", table, "--format", "text", "--output", link, "--quiet")
    check(r.returncode == 0 and os.path.islink(link) and read(target).startswith(b'1\t"Mari"'),
          f"symbolic link: {r.stderr!r} {read(target)[:20]!r}")

    want = run(cli, "export", table, "--format", "text", "--output", os.path.join(folder, "want.txt"), "--quiet")
    want = read(os.path.join(folder, "want.txt"))
    for name in ("-", "/dev/stdout"):
        r = run(cli, "export", table, "--format", "text", "--output", name, "--quiet")
        check(r.returncode == 0 and r.stdout == want, f"--output {name}: {r.stdout!r} {r.stderr!r}")
        # Standard output redirected to a file: written there, no "/dev/stdout.TXT".
        redirected = os.path.join(folder, "redirected.txt")
        with open(redirected, "wb") as f:
            p = subprocess.run([cli, "export", table, "--format", "text", "--output", name, "--quiet"],
                               stdout=f, stderr=subprocess.PIPE, env=ENV, timeout=60)
        check(p.returncode == 0 and read(redirected) == want, f"--output {name} into a file: {p.stderr!r}")
    check(not os.path.exists("/dev/stdout.TXT") and not os.path.exists("-.TXT"), "standard output got an extension")

    # A hard link is not split: both names see the export.
    a = os.path.join(folder, "a.txt")
    b = os.path.join(folder, "b.txt")
    with open(a, "wb") as f:
        f.write(b"old\n")
    os.link(a, b)
    r = run(cli, "export", table, "--format", "text", "--output", a, "--quiet")
    check(r.returncode == 0 and read(b) == want and os.stat(a).st_ino == os.stat(b).st_ino,
          f"hard link: {r.stderr!r} {read(b)!r}")

    # A read-only file of another user is refused, never replaced.
    if os.geteuid() == 0:
        nobody = pwd.getpwnam("nobody")
        shared = os.path.join(folder, "shared")
        os.makedirs(shared)
        os.chmod(shared, 0o1777 & ~0o1000)
        os.chmod(folder, 0o755)
        os.chmod(tmp, 0o755)
        ro = os.path.join(shared, "ro.txt")
        with open(ro, "wb") as f:
            f.write(b"root's\n")
        os.chmod(ro, 0o444)

        def as_nobody():
            os.setgid(nobody.pw_gid)
            os.setuid(nobody.pw_uid)
        p = subprocess.run([cli, "export", table, "--format", "text", "--output", ro, "--quiet"],
                           capture_output=True, env=ENV, timeout=60, preexec_fn=as_nobody)
        check(p.returncode == 1 and b"cannot be written by this user" in p.stderr and read(ro) == b"root's\n"
              and os.stat(ro).st_uid == 0, f"read-only file of another user: {p.returncode} {p.stderr!r}")
        check(temporaries(shared) == [], f"read-only: {temporaries(shared)}")


def check_many_parts(cli, tmp):
    table = os.path.join(tmp, "parts.db")
    r = run(cli, "generate", "--records", "5000", "--fields", "I", table)
    if not check(r.returncode == 0, f"generate: {r.stderr!r}"):
        return
    folder = os.path.join(tmp, "parts")
    os.makedirs(folder)

    def few_files():
        resource.setrlimit(resource.RLIMIT_NOFILE, (256, 256))
    p = subprocess.run([cli, "export", table, "--format", "text", "--output", os.path.join(folder, "p.csv"),
                        "--rows-per-file", "1", "--quiet"], capture_output=True, env=ENV, timeout=600,
                       preexec_fn=few_files)
    names = os.listdir(folder)
    check(p.returncode == 0 and len(names) == 5000 and not temporaries(folder),
          f"5000 parts: exit {p.returncode} {p.stderr[-200:]!r}, {len(names)} files")
    if "p4999.csv" in names:
        check(read(os.path.join(folder, "p4999.csv")).count(b"\r\n") == 1, "the last part is not one record")


def check_lossy(cli, tmp, testdata):
    """Without a qualifier a value holding the separator or a line break splits
    its row: the export completes, says so, and fails unless --allow-lossy."""
    table = os.path.join(testdata, "paradoxdriver", "fields", "memo.db")
    out = os.path.join(tmp, "lossy.csv")
    base = ["export", table, "--format", "text", "--output", out, "--columns", "MEMO", "--quiet"]
    q = run(cli, *base)
    check(q.returncode == 0 and q.stderr == b"", f"qualified: {q.stderr!r}")
    r = run(cli, *base, "--qualifier", "none")
    check(r.returncode == 1 and b"rows are no longer one line" in r.stderr, f"no qualifier: {r.returncode} {r.stderr!r}")
    r = run(cli, *base, "--qualifier", "none", "--allow-lossy")
    check(r.returncode == 0 and r.stderr == b"", f"--allow-lossy: {r.returncode} {r.stderr!r}")
    r = run(cli, "export", "--help")
    check(b"always qualified" not in r.stdout and b"--allow-lossy" in r.stdout, "export --help")


def main():
    a = parse_args()
    general = os.path.join(a.testdata, "paradoxdriver", "db", "GENERAL.DB")
    with tempfile.TemporaryDirectory() as tmp:
        big = os.path.join(tmp, "big.db")
        r = run(a.cli, "generate", "--records", "300000", "--fields", "A40,I,N,D,M40", big)
        if check(r.returncode == 0, f"generate: {r.stderr!r}"):
            check_signals(a.cli, tmp, big)
            check_killed_merge(a.cli, tmp, big, general)
        check_stale_temporaries(a.cli, tmp, general)
        check_concurrent_merges(a.cli, tmp)
        check_names(a.cli, tmp, general)
        check_many_parts(a.cli, tmp)
        check_lossy(a.cli, tmp, a.testdata)
    return report()


if __name__ == "__main__":
    sys.exit(main())
