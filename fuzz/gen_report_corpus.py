#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_report_file into fuzz/corpus/fuzz_report_file/.

Each seed is a report file built here from the byte tables of docs/REPORT-FILE.md,
with its own splay coder, never by the program: sound files (plain and compressed,
every record kind, portrait and landscape) and damaged ones (an offset that points at
its own record, a compressed length far beyond its bytes, a negative page count, a
text count patched huge, a metafile page behind an old 124-byte header, ...).
Run it again after changing it; the seeds are kept in the repository."""

import os
import struct
import sys
import zlib

# ---- page images -------------------------------------------------------------


def rec(kind, payload):
    pad = (-len(payload)) % 4
    body = payload + b"\0" * pad
    return struct.pack("<HHI", kind, 0, 8 + len(body)) + body


def fill(x, y, w, h, colour):
    return rec(1, struct.pack("<iiiiI", x, y, w, h, colour))


def line(x1, y1, x2, y2, colour, width, style):
    return rec(2, struct.pack("<iiiiIIB3x", x1, y1, x2, y2, colour, width, style))


def font(name, size_pt, flags=0, colour=0):
    n = name.encode()
    return rec(3, struct.pack("<IB3xII", int(size_pt * 100), flags, colour, len(n)) + n)


def text(x, y, clip, s):
    b = s.encode()
    return rec(4, struct.pack("<iiiiiiI", x, y, *clip, len(b)) + b)


def picture(x, y, w, h, data):
    return rec(5, struct.pack("<iiiiI", x, y, w, h, len(data)) + data)


def png(width, height):
    raw = b"".join(b"\0" + bytes((x * 40) % 256 for x in range(width * 3)) for _ in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def page_image(width, height, records):
    """width, height in hundredths of a millimetre."""
    records = [fill(0, 0, width, height, 0xFFFFFF)] + records
    body = b"".join(records)
    length = 48 + len(body)
    head = b"KRPG" + struct.pack("<HHIIii", 1, 48, length, len(records), width, height) + b"\0" * 24
    return head + body


def sample_page(n, width=21000, height=29700):
    clip = (1000, 1000, width - 2000, height - 2000)
    recs = [
        font("Arial", 14, 1),
        text(width // 2 - 3000, 1000, clip, "Report title"),
        font("Arial", 8),
        line(1000, 2500, width - 1000, 2500, 0, 10, 0),
        fill(1000, 2600, 5000, 400, 0xEEEEEE),
    ]
    for i in range(4):
        recs.append(text(1000, 2600 + i * 400, clip, "Zeile %d — Grüße %d" % (i, n)))
    recs += [
        line(1000, 5000, 9000, 5000, 0x0000FF, 0, 1),
        picture(1000, 6000, 2000, 1000, png(4, 2)),
        font("Arial", 8, 4),
        text(width - 3000, height - 1500, clip, "Page %d" % n),
    ]
    return page_image(width, height, recs)


# ---- splay code ----------------------------------------------------------------


class Splay:
    def __init__(self):
        self.left = [2 * i + 1 for i in range(256)]
        self.right = [2 * i + 2 for i in range(256)]
        self.up = [0] + [(j - 1) // 2 for j in range(1, 513)]

    def splay(self, b):
        a = b + 256
        while True:
            c = self.up[a]
            if c != 0:
                d = self.up[c]
                e = self.left[d]
                if c == e:
                    e = self.right[d]
                    self.right[d] = a
                else:
                    self.left[d] = a
                if a == self.left[c]:
                    self.left[c] = e
                else:
                    self.right[c] = e
                self.up[a] = d
                self.up[e] = c
                a = d
            else:
                a = c
            if a == 0:
                break


def splay_encode(data):
    t = Splay()
    out = bytearray()
    acc = used = 0
    for b in data:
        bits = []
        a = b + 256
        while a != 0:
            c = t.up[a]
            bits.append(1 if t.right[c] == a else 0)
            a = c
        for bit in reversed(bits):
            if bit:
                acc |= 1 << used
            used += 1
            if used == 8:
                out.append(acc)
                acc = used = 0
        t.splay(b)
    if used:
        out.append(acc)
    return bytes(out)


# ---- report files ----------------------------------------------------------------


def header(pages, compressed, when=46000.25):
    h = struct.pack("<HHIiId", 3, 309, 0, pages, 0, when) + b"\0" + bytes([1 if compressed else 0])
    return h + b"\0" * (128 - len(h))


def report(images, compressed=False, count=None, head=None):
    out = bytearray(head if head is not None else header(len(images) if count is None else count, compressed))
    for n, img in enumerate(images, 1):
        start = len(out)
        body = struct.pack("<I", len(img)) + splay_encode(img) if compressed else img
        nxt = start + 8 + len(body) + 4
        out += struct.pack("<II", n, nxt) + body + struct.pack("<I", start)
    return bytes(out)


def record_starts(data, header_size=128):
    starts, pos = [], header_size
    while pos < len(data):
        starts.append(pos)
        pos = struct.unpack_from("<I", data, pos + 4)[0]
    return starts


def patched(data, offset, value, fmt="<I"):
    b = bytearray(data)
    struct.pack_into(fmt, b, offset, value)
    return bytes(b)


def seeds():
    pages = [sample_page(n) for n in range(1, 4)]
    s = {}
    s["one_page"] = report(pages[:1])
    s["three_pages"] = report(pages)
    s["three_pages_compressed"] = report(pages, compressed=True)
    s["landscape"] = report([sample_page(1, 29700, 21000), sample_page(2, 29700, 21000)], compressed=True)
    s["empty"] = header(0, False)
    s["short"] = header(0, False)[:60]
    three = s["three_pages"]
    st = record_starts(three)
    s["next_points_at_itself"] = patched(three, st[1] + 4, st[1])
    s["next_backwards"] = patched(three, st[2] + 4, 128)
    s["trailing_offset_wrong"] = patched(three, len(three) - 4, 0)
    s["count_negative"] = patched(three, 8, -1, "<i")
    s["count_huge"] = patched(three, 8, 0x7FFFFFFF, "<i")
    s["trailing_garbage"] = three + b"garbage!"
    comp = s["three_pages_compressed"]
    cst = record_starts(comp)
    s["compressed_length_huge"] = patched(comp, cst[1] + 8, 0xFFFFFFF0)
    s["compressed_length_just_too_big"] = patched(comp, cst[1] + 8, 8 * (cst[2] - cst[1] - 16) + 1)
    # A text count patched to 0x7fffffff inside an image (the image stays the same length).
    img = bytearray(pages[0])
    pos = 48
    while True:
        kind, _, length = struct.unpack_from("<HHI", img, pos)
        if kind == 4:
            struct.pack_into("<I", img, pos + 8 + 24, 0x7FFFFFFF)
            break
        pos += length
    s["text_count_huge"] = report([pages[0], bytes(img)])
    bad_kind = bytearray(pages[1])
    struct.pack_into("<H", bad_kind, 48 + 28, 77)  # the second record's kind
    s["unknown_record_kind"] = report([pages[0], bytes(bad_kind)], compressed=True)
    off_page = bytearray(pages[0])
    struct.pack_into("<i", off_page, 48 + 8 + 8, 10 ** 8)  # the paper fill wider than the paper
    s["fill_off_the_page"] = report([bytes(off_page)])
    # A metafile behind the old 124-byte header, and one behind a 128-byte header.
    emf = bytearray(200)
    struct.pack_into("<I", emf, 0, 1)
    emf[40:44] = b" EMF"
    old = bytearray(124)
    struct.pack_into("<i", old, 8, 1)
    s["old_header_emf"] = report([bytes(emf)], head=bytes(old))
    s["emf_page"] = report([bytes(emf)])
    return s


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "fuzz_report_file")
    os.makedirs(out, exist_ok=True)
    for name, data in sorted(seeds().items()):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
