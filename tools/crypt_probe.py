#!/usr/bin/env python3
"""What is known of the scrambling of encrypted Paradox tables, checked against the
encrypted tables of the test data and their plain twins.

Each step prints what it found and PASS or FAIL; the exit status is 1 when a check fails.

  1. The byte permutation: read from the large encrypted memo file (English text) by
     letter-pair statistics. The memo pad is the file's own second 256-byte stretch (the
     memo header block is zero after its first bytes).
  2. Memo files of the other key: the same permutation, turned by an amount that depends
     on the key, decrypts them exactly to their plain twins.
  3. Data block 1: the permutation turned by 224; the pad of chunk d is a key part XF
     XOR (T[u + d] + 225). Checked on both keys.
  4. Tables not used above decrypt with the key part of a table of the same key; the
     decrypted files are written to --out and dumped by korvane-cli (when --cli is given)
     so they can be compared with the values their sources give.

Usage: python3 tools/crypt_probe.py [--testdata DIR] [--cli PATH] [--out DIR]
"""
import argparse
import glob
import json
import math
import os
import subprocess
import sys

CHUNK = 256
FAILED = []


def check(ok, what):
    print(("PASS " if ok else "FAIL ") + what)
    if not ok:
        FAILED.append(what)
    return ok


def chunks(data):
    return [data[i:i + CHUNK] for i in range(0, len(data) - CHUNK + 1, CHUNK)]


def xor(a, b):
    return bytes(x ^ y for x, y in zip(a, b))


# ---------------------------------------------------------------- 1. the permutation

def bigram_model(paths):
    """Log-probabilities of byte pairs in English text (the project's own documents)."""
    text = b"".join(open(p, "rb").read() for p in paths)
    pair = [[0] * 256 for _ in range(256)]
    single = [0] * 256
    for a, b in zip(text, text[1:]):
        pair[a][b] += 1
        single[a] += 1
    return [[math.log((pair[a][b] + 0.1) / (single[a] + 25.6)) for b in range(256)] for a in range(256)]


def permutation_from_text(memo, model):
    """order[i] is the position, in a scrambled memo chunk, of plain byte i."""
    pad = memo[CHUNK:2 * CHUNK]
    text = []
    for c in chunks(memo)[16:]:
        p = xor(c, pad)
        if sum(32 <= x < 127 or x == 10 for x in p) >= 250:
            text.append(p)
    score = [[0.0] * 256 for _ in range(256)]
    for p in text:
        for a in range(256):
            row = model[p[a]]
            sa = score[a]
            for b in range(256):
                sa[b] += row[p[b]]
    succ, margin = [], []
    for a in range(256):
        score[a][a] = -1e300
        ranked = sorted(range(256), key=lambda b: score[a][b], reverse=True)
        succ.append(ranked[0])
        margin.append(score[a][ranked[0]] - score[a][ranked[1]])
    last = min(range(256), key=lambda a: margin[a])  # the end of the chunk has no successor
    nxt = {a: succ[a] for a in range(256) if a != last}
    starts = [a for a in range(256) if a not in set(nxt.values())]
    if len(starts) != 1:
        return None, len(text)
    order = [starts[0]]
    while order[-1] in nxt and len(order) <= 256:
        order.append(nxt[order[-1]])
    return (order if sorted(order) == list(range(256)) else None), len(text)


def unscramble(chunk, pad, order, turn):
    p = xor(chunk, pad)
    return bytes(p[(o + turn) % 256] for o in order)


# ---------------------------------------------------------------- 2. memo files

def decrypt_memo(data, order, turn):
    pad = data[CHUNK:2 * CHUNK]
    return b"".join(unscramble(c, pad, order, turn) for c in chunks(data))


def memo_turn(enc, plain, order):
    pad = enc[CHUNK:2 * CHUNK]
    head = enc[:CHUNK]
    return [t for t in range(256) if unscramble(head, pad, order, t) == plain[:CHUNK]]


# ---------------------------------------------------------------- 3. data blocks

def chunk_term(order, u, d):
    """The part of the data pad that depends on the chunk d, at scrambled position u."""
    return (order[(u + d) % 256] + 225) % 256


def data_pads(enc_block, plain_block, order, turn):
    """The pad of each chunk at scrambled position u, given the plain bytes."""
    inv = [0] * 256
    for i, o in enumerate(order):
        inv[o] = i
    pads = []
    for d, c in enumerate(chunks(enc_block)):
        p = plain_block[d * CHUNK:(d + 1) * CHUNK]
        pads.append([c[u] ^ p[inv[(u - turn) % 256]] for u in range(256)])
    return pads


def key_part(pads, order, first=0):
    """XF with pad_d[u] = XF[u] ^ (T[u + d] + 225) for every d, or None."""
    xf = None
    for k, pad in enumerate(pads):
        d = first + k
        this = [pad[u] ^ chunk_term(order, u, d) for u in range(256)]
        if xf is None:
            xf = this
        elif this != xf:
            return None
    return xf


def decrypt_block1(block, order, xf, turn=224):
    out = bytearray()
    for d, c in enumerate(chunks(block)):
        plain = bytearray(256)
        for i in range(256):
            u = (order[i] + turn) % 256
            plain[i] = c[u] ^ xf[u] ^ chunk_term(order, u, d)
        out += plain
    return bytes(out)


def header_info(data):
    header_size = int.from_bytes(data[2:4], "little")
    block_size = data[5] * 1024
    version = data[0x39]
    return header_size, block_size, version


def plain_header(data):
    """The header as the table would have it unencrypted."""
    h = bytearray(data)
    if h[0x39] >= 9:  # 4.x and later keep the word at 0x5C and FF00FF00 at 0x25
        h[0x25:0x29] = (0xFF00FF00).to_bytes(4, "little")
        h[0x5C:0x60] = bytes(4)
    else:
        h[0x25:0x29] = bytes(4)
    return bytes(h)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--testdata", default=os.environ.get("KORVANE_TESTDATA", "/work/shared/testdata/paradox"))
    ap.add_argument("--cli", default="")
    ap.add_argument("--out", default="")
    args = ap.parse_args()
    td = args.testdata
    rd = lambda p: open(os.path.join(td, p), "rb").read()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

    print("== 1. permutation from paradoxdriver/encrypt/encryptedmemo.mb")
    memo_b = rd("paradoxdriver/encrypt/encryptedmemo.mb")
    same = chunks(memo_b)[1:16]
    check(all(c == same[0] for c in same), "memo header block: chunks 1 to 15 scramble alike (plain zeros)")
    model = bigram_model([os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md"))))
    order, ntext = permutation_from_text(memo_b, model)
    print("   text chunks used: %d" % ntext)
    if not check(order is not None, "letter pairs give one chain through all 256 positions"):
        return 1
    print("   T = " + " ".join("%02x" % x for x in order))
    first = unscramble(chunks(memo_b)[16], memo_b[CHUNK:2 * CHUNK], order, 0)
    print("   block 1 starts: %r" % first[:80])

    print("== 2. memo files of key 0x8848F16E (held out)")
    memo_turns = {"paradoxdriver": 0}
    for enc, plain in [("Rparadox-cran/TypSammlung_encrypted.MB", "Rparadox/TypSammlung.MB"),
                       ("Rparadox-cran/empty_encrypted.mb", "Rparadox/empty.mb")]:
        e, p = rd(enc), rd(plain)
        turns = memo_turn(e, p, order)
        check(len(turns) == 1, "%s: one turn makes the header block right: %s" % (enc, turns))
        if turns:
            check(decrypt_memo(e, order, turns[0]) == p, "%s decrypts to %s byte for byte" % (enc, plain))
            memo_turns["Rparadox-cran"] = turns[0]

    # With two keys this is an observation, not a rule.
    for src, db in (("paradoxdriver", "paradoxdriver/encrypt/encryptedmemo.db"),
                    ("Rparadox-cran", "Rparadox-cran/TypSammlung_encrypted.DB")):
        word = int.from_bytes(rd(db)[0x5C:0x60], "little")
        if src in memo_turns:
            print("   key 0x%08X: memo turn %d, 224 - bits 8..15 of the word = %d"
                  % (word, memo_turns[src], (224 - (word >> 8)) % 256))

    print("== 3. data block 1")
    enc_a = rd("Rparadox-cran/TypSammlung_encrypted.DB")
    plain_a = rd("Rparadox/TypSammlung.DB")
    hs, bs, _ = header_info(enc_a)
    turns = []
    for t in range(256):
        pads = data_pads(enc_a[hs:hs + bs], plain_a[hs:hs + bs], order, t)
        if key_part(pads, order) is not None:
            turns.append(t)
    check(turns == [224], "TypSammlung: the only turn that fits every chunk: %s" % turns)
    xf_a = key_part(data_pads(enc_a[hs:hs + bs], plain_a[hs:hs + bs], order, 224), order)
    enc_b = rd("paradoxdriver/encrypt/encrypted.db")
    hs_b, bs_b, _ = header_info(enc_b)
    blk_b = enc_b[hs_b:hs_b + bs_b]
    # Chunks 2 to 7 of this block hold no record: their plain bytes are zeros.
    pads_b = data_pads(blk_b[2 * CHUNK:], bytes(6 * CHUNK), order, 224)
    pads_b = [pads_b[k] for k in range(6)]
    xf_b = key_part(pads_b, order, first=2)
    check(xf_b is not None, "encrypted.db (key 0x0A25E09A): chunks 2 to 7 fit the same chunk term")
    check(decrypt_block1(enc_a[hs:hs + bs], order, xf_a) == plain_a[hs:hs + bs],
          "TypSammlung block 1 decrypts whole with XF of its key")

    print("== 4. tables not used above")
    outdir = args.out
    if outdir:
        os.makedirs(outdir, exist_ok=True)
    cases = [("Rparadox-cran/country_encrypted.db", xf_a, None),
             ("paradoxdriver/encrypt/encrypted35.db", xf_b, None),
             ("paradoxdriver/encrypt/encryptedmemo.db", xf_b, "paradoxdriver/encrypt/encryptedmemo.mb"),
             ("paradoxdriver/encrypt/encrypted.db", xf_b, None),
             ("Rparadox-cran/TypSammlung_encrypted.DB", xf_a, "Rparadox-cran/TypSammlung_encrypted.MB")]
    for db, xf, mb in cases:
        data = rd(db)
        hs, bs, _ = header_info(data)
        body = decrypt_block1(data[hs:hs + bs], order, xf)
        n_records = int.from_bytes(data[6:10], "little")
        rec_size = int.from_bytes(data[0:2], "little")
        last = int.from_bytes(body[4:6], "little", signed=True)
        check(last == (n_records - 1) * rec_size and body[0:4] == bytes(4),
              "%s: block header says %d records, the table %d" % (db, last // rec_size + 1, n_records))
        if outdir:
            name = os.path.basename(db).replace("_encrypted", "")
            path = os.path.join(outdir, name)
            open(path, "wb").write(plain_header(data[:hs]) + body + data[hs + bs:])
            if mb:
                e = rd(mb)
                ext = os.path.splitext(mb)[1]
                turn = memo_turns[mb.split("/")[0]]
                open(os.path.splitext(path)[0] + ext, "wb").write(decrypt_memo(e, order, turn))
            if args.cli:
                r = subprocess.run([args.cli, "dump", path], capture_output=True, text=True)
                print("   --- korvane-cli dump %s (exit %d)" % (name, r.returncode))
                print("   " + "\n   ".join(r.stdout.splitlines()[:12]))
                if r.stderr.strip():
                    print("   stderr: " + r.stderr.strip()[:300])

    print("== key parts (scrambled position u)")
    print("   XF(0x8848F16E, block 1) = " + bytes(xf_a).hex())
    print("   XF(0x0A25E09A, block 1) = " + bytes(xf_b).hex())
    print("== %d check(s) failed" % len(FAILED) if FAILED else "== all checks passed")
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
