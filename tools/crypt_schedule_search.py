#!/usr/bin/env python3
"""Searches for the key schedule of encrypted Paradox tables: how the memo pad M and the
data-block key part XF (see tools/crypt_probe.py) follow from the header's encryption word.

Every form below is tried for both keys of the test data; a form that fits prints FOUND.
None fits so far; the forms are listed so the next attempt starts past them.
T is the byte permutation, inv its inverse; a and e run over all 256 values.

  A. V = (B[u + a] + e) op (B'[u + a'] + e')   op in {xor, add}; B, B' in {T, inv, T[T], inv[inv], q}
     for V = M, XF, in the scrambled frame and in the plain frame (V[T[i]]).
  B. V ^ c = T[u+a] ^ T[u+b] ^ T[u+c'] ^ T[u+d]   (and with inv), any constant c
  C. M[u] = XF[u + s] ^ (T[u + a] + e) ^ c         any s
  D. M or XF read as the output of the usual linear congruential generators seeded with
     the word (top byte, bits 16..23, low byte; frames u, T, inv).

Needs numpy. Usage: python3 tools/crypt_schedule_search.py [--testdata DIR]
"""
import argparse
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import crypt_probe as cp  # noqa: E402


def derive(td):
    rd = lambda p: open(os.path.join(td, p), "rb").read()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    import glob
    model = cp.bigram_model([os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md"))))
    memo_b = rd("paradoxdriver/encrypt/encryptedmemo.mb")
    order, _ = cp.permutation_from_text(memo_b, model)
    memo_a = rd("Rparadox-cran/TypSammlung_encrypted.MB")
    turn_a = cp.memo_turn(memo_a, rd("Rparadox/TypSammlung.MB"), order)[0]
    # Memo pads in the frame of the unturned permutation.
    m_a = [memo_a[256 + (u + turn_a) % 256] for u in range(256)]
    m_b = list(memo_b[256:512])
    enc_a, plain_a = rd("Rparadox-cran/TypSammlung_encrypted.DB"), rd("Rparadox/TypSammlung.DB")
    xf_a = cp.key_part(cp.data_pads(enc_a[2048:4096], plain_a[2048:4096], order, 224), order)
    enc_b = rd("paradoxdriver/encrypt/encrypted.db")
    xf_b = cp.key_part(cp.data_pads(enc_b[2048 + 512:4096], bytes(1536), order, 224)[:6], order, first=2)
    return order, {"A": (m_a, xf_a), "B": (m_b, xf_b)}


def atoms(bases):
    rows, labels = [], []
    for name, base in bases:
        for a in range(256):
            s = np.roll(base, -a)
            for e in range(256):
                rows.append(((s + e) % 256).astype(np.uint8))
                labels.append((name, a, e))
    rows.append(np.zeros(256, dtype=np.uint8))
    labels.append(("zero",))
    A = np.array(rows)
    index = {}
    for n, r in enumerate(A[:, :6]):
        index.setdefault(r.tobytes(), []).append(n)
    return A, labels, index


def two_atoms(V, A, labels, index, tag):
    V = np.array(V, dtype=np.uint8)
    found = 0
    for op in ("xor", "add"):
        R = (V[None, :6] ^ A[:, :6]) if op == "xor" else (V[None, :6] - A[:, :6])
        for n in range(len(A)):
            for m in index.get(R[n].tobytes(), ()):
                full = (V ^ A[n]) if op == "xor" else (V - A[n])
                if (A[m] == full).all():
                    print("FOUND", tag, labels[n], op, labels[m])
                    found += 1
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--testdata", default=os.environ.get("KORVANE_TESTDATA", "/work/shared/testdata/paradox"))
    td = ap.parse_args().testdata
    order, keys = derive(td)
    T = np.array(order, dtype=np.int64)
    inv = np.argsort(T)
    q = np.arange(256)
    total = 0

    print("A. two terms")
    A, labels, index = atoms([("T", T), ("inv", inv), ("TT", T[T]), ("II", inv[inv]), ("q", q)])
    for k, (m, xf) in keys.items():
        for name, V in (("M", m), ("XF", xf)):
            V = np.array(V)
            total += two_atoms(V, A, labels, index, "%s%s" % (name, k))
            total += two_atoms(V[T], A, labels, index, "%s%s plain frame" % (name, k))

    print("B. four shifted tables")
    for bname, B in (("T", T), ("inv", inv)):
        S = np.array([np.roll(B, -a) for a in range(256)]).astype(np.uint8)
        pairs = [(a, b) for a in range(256) for b in range(a, 256)]
        P = np.array([S[a] ^ S[b] for a, b in pairs])
        index = {}
        for n, r in enumerate(P[:, :6]):
            index.setdefault(r.tobytes(), []).append(n)
        for k, (m, xf) in keys.items():
            for name, V in (("M", m), ("XF", xf)):
                V = np.array(V, dtype=np.uint8)
                for c in range(256):
                    W = V ^ np.uint8(c)
                    R = W[None, :6] ^ P[:, :6]
                    for n in range(len(P)):
                        for mm in index.get(R[n].tobytes(), ()):
                            if ((W ^ P[n]) == P[mm]).all():
                                print("FOUND", bname, name + k, c, pairs[n], pairs[mm])
                                total += 1

    print("C. memo pad against the data key part")
    S = np.array([np.roll(T, -a) for a in range(256)])
    for k, (m, xf) in keys.items():
        M = np.array(m)
        XS = np.array([np.roll(np.array(xf), -s) for s in range(256)])
        for a in range(256):
            for e in range(256):
                R = XS ^ (M ^ ((S[a] + e) % 256))[None, :]
                hit = (R == R[:, :1]).all(axis=1)
                if hit.any():
                    print("FOUND", k, a, e, np.nonzero(hit)[0])
                    total += 1

    print("D. linear congruential generators")
    words = {"A": 0x8848F16E, "B": 0x0A25E09A}
    gens = {"134775813,1": (134775813, 1), "22695477,1": (22695477, 1),
            "214013,2531011": (214013, 2531011), "1103515245,12345": (1103515245, 12345)}
    outs = {"top": 24, "16..23": 16, "low": 0}
    frames = {"u": q, "T": T, "inv": inv}
    for k, (m, xf) in keys.items():
        for gname, (mul, add) in gens.items():
            s, seq = words[k], []
            for _ in range(320):
                s = (s * mul + add) & 0xFFFFFFFF
                seq.append(s)
            for oname, sh in outs.items():
                o = np.array([(x >> sh) & 255 for x in seq])
                for name, V in (("M", m), ("XF", xf)):
                    for fname, fr in frames.items():
                        W = np.array(V)[fr]
                        for off in range(64):
                            if len(set((W ^ o[off:off + 256]).tolist())) < 40:
                                print("FOUND", k, gname, oname, name, fname, off)
                                total += 1
    print("forms that fit: %d" % total)
    return 0


if __name__ == "__main__":
    sys.exit(main())
