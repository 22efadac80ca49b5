#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_pdx into fuzz/corpus/fuzz_pdx/.

Each seed is a small table built here from scratch (never a copy of a real table):
4 bytes little-endian with the data file's length, the data file, then the memo file.
Run it again after changing it; the seeds are kept in the repository."""

import os
import struct
import sys


def field_bytes(v, width):
    return struct.pack(">Q", v)[8 - width:]


def store_int(v, width):
    return field_bytes((v & ((1 << (8 * width)) - 1)) ^ (1 << (8 * width - 1)), width)


def store_double(x):
    b = struct.unpack(">Q", struct.pack(">d", x))[0]
    b = (~b) & (2**64 - 1) if b >> 63 else b | (1 << 63)
    return struct.pack(">Q", b)


def store_bcd(digits, decimals, negative=False):
    d = digits.rjust(32, "0")
    body = bytes(int(d[2 * i]) << 4 | int(d[2 * i + 1]) for i in range(16))
    if negative:
        body = bytes(~x & 0xFF for x in body)
    return bytes([(0x40 if negative else 0xC0) | decimals]) + body


def leader(in_record, size, mb_offset, length):
    data = in_record[:size - 10].ljust(size - 10, b"\0")
    return data + struct.pack("<IiH", mb_offset, length, 1)


def table(fields, blocks, version=12, block_kb=1, first=1, num_records=None, file_blocks=None,
          record_length=None, file_type=2, sort_order=0, code_page=1252, sort_name=b"ascii", encryption=0):
    """fields: [(type, size, name)]; blocks: [(next, prev, [records], last_offset or None)]."""
    rl = record_length if record_length is not None else sum(17 if t == 23 else s for t, s, _ in fields)
    n = len(fields)
    base = 88 if version < 5 else 120
    area = 79 if version < 12 else 261
    head = bytearray(base)
    for t, s, _ in fields:
        head += bytes([t, s])
    head += bytes(4 + 4 * n) + b"seed.db".ljust(area, b"\0")
    for _, _, name in fields:
        head += name + b"\0"
    for i in range(n):
        head += struct.pack("<H", i + 1)
    head += sort_name + b"\0"
    hl = len(head)
    records = sum(len(b[2]) for b in blocks)
    struct.pack_into("<HHBBI", head, 0, rl, hl, file_type, block_kb, records if num_records is None else num_records)
    struct.pack_into("<HHHH", head, 10, len(blocks), len(blocks) if file_blocks is None else file_blocks, first,
                     len(blocks))
    struct.pack_into("<H", head, 33, n)
    head[41] = sort_order
    head[57] = version
    if version >= 5:
        struct.pack_into("<I", head, 92, encryption)
        struct.pack_into("<H", head, 106, code_page)
    else:
        struct.pack_into("<I", head, 37, encryption)
    out = bytes(head)
    size = block_kb * 1024
    for nxt, prv, recs, last in blocks:
        if last is None:
            last = (len(recs) - 1) * rl if recs else (-rl) & 0xFFFF
        blk = struct.pack("<HHH", nxt, prv, last) + b"".join(r[:rl].ljust(rl, b"\0") for r in recs)
        out += blk[:size].ljust(size, b"\0")
    return out


def memo_file(own=(), shared=()):
    """own: [data] in blocks of their own; shared: [[(index, data)]] per shared block.
    Answers the bytes and the leader offsets in order (own first)."""
    out = bytearray(4096)
    offsets = []
    for data in own:
        off = len(out)
        count = (9 + len(data) + 4095) // 4096
        blk = bytearray(count * 4096)
        blk[0] = 2
        struct.pack_into("<HI", blk, 1, count, len(data))
        blk[9:9 + len(data)] = data
        out += blk
        offsets.append(off | 0xFF)
    for entries in shared:
        off = len(out)
        blk = bytearray(4096)
        blk[0] = 3
        at = 1296
        for index, data in entries:
            blk[12 + 5 * index] = at // 16
            blk[12 + 5 * index + 1] = (len(data) + 15) // 16
            blk[at:at + len(data)] = data
            at += (len(data) + 15) // 16 * 16
        out += blk
        offsets.append(off)
    return bytes(out), offsets


def seed(db, mb=b""):
    return struct.pack("<I", len(db)) + db + mb


def ids(a, b):
    return [store_int(i, 4) for i in range(a, b + 1)]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = os.path.join(here, "corpus", "fuzz_pdx")
    os.makedirs(out_dir, exist_ok=True)
    seeds = {}
    long_field = [(4, 4, b"Id")]

    # Every plain type in one record, with nulls and negatives in a second.
    allf = [(1, 8, b"A"), (2, 4, b"D"), (3, 2, b"S"), (4, 4, b"L"), (5, 8, b"C"), (6, 8, b"N"), (9, 1, b"B"),
            (20, 4, b"T"), (21, 8, b"TS"), (22, 4, b"AI"), (23, 2, b"BCD"), (24, 6, b"Y")]
    r1 = (b"text".ljust(8, b"\0") + store_int(730120, 4) + store_int(-3, 2) + store_int(7, 4) + store_double(1.25) +
          store_double(-40.0) + b"\x81" + store_int(43200000, 4) + store_double(730120 * 86400000.0) +
          store_int(1, 4) + store_bcd("123", 2) + b"\x01\x02\x03\x00\x00\x00")
    r2 = b"\0" * 8 + b"\0" * 4 + store_int(0, 2) + b"\0" * 4 + b"\0" * 8 + store_double(-0.5) + b"\x80" + \
        b"\0" * 12 + store_int(2, 4) + store_bcd("4000", 3, True) + b"\0" * 6
    for v in (4, 9, 11, 12):
        seeds[f"types_v{v}"] = seed(table(allf, [(0, 0, [r1, r2], None)], version=v))

    # Chains: file order differs from chain order, an emptied block, one-record blocks.
    seeds["chain_132"] = seed(table(long_field, [(3, 0, ids(1, 3), None), (0, 3, ids(6, 7), None),
                                                 (2, 1, ids(4, 5), None)]))
    seeds["chain_empty_block"] = seed(table(long_field, [(2, 0, ids(1, 1), 0), (3, 1, [], None),
                                                         (0, 2, ids(2, 2), 0)]))
    seeds["chain_loop"] = seed(table(long_field, [(2, 0, ids(1, 2), None), (1, 1, ids(3, 4), None)],
                                     num_records=9))
    seeds["chain_beyond"] = seed(table(long_field, [(7, 0, ids(1, 2), None)], num_records=5, file_blocks=9))
    seeds["first_block_0"] = seed(table(long_field, [(0, 0, ids(1, 2), None)], first=0))
    seeds["empty"] = seed(table(long_field, [], first=0))
    seeds["overfull_block"] = seed(table(long_field, [(0, 0, ids(1, 2), 0xFFF0)], num_records=300))

    # BLOB kinds with data in the record, in blocks of their own and in shared blocks.
    mb, offs = memo_file(own=[b"memo text of its own block " * 3, b"\x89PNG" + bytes(range(200))],
                         shared=[[(0, b"zero"), (3, b"entry three")]])
    blobf = [(4, 4, b"Id"), (12, 11, b"Memo"), (14, 10, b"Fmt"), (16, 10, b"Pic"), (13, 12, b"Bin"),
             (15, 10, b"Ole")]
    recs = [
        store_int(1, 4) + leader(b"Q", 11, 0, 1) + leader(b"", 10, offs[0], 81) + leader(b"", 10, offs[1], 204) +
        leader(b"ab", 12, 0, 2) + leader(b"", 10, 0, 0),
        store_int(2, 4) + leader(b"e", 11, offs[2] | 3, 11) + leader(b"", 10, offs[2], 4) +
        leader(b"", 10, 0x7FFFFF00 | 0xFF, 0x7FFFFFF0) + leader(b"", 12, offs[2] | 200, 9) +
        leader(b"", 10, 0, -5),
    ]
    seeds["blobs"] = seed(table(blobf, [(0, 0, recs, None)]), mb)
    seeds["blobs_no_memo"] = seed(table(blobf, [(0, 0, recs, None)]))

    # Language detection inputs and an encrypted header.
    seeds["cyrillic"] = seed(table([(1, 6, b"\x8d\xa0\xa7")], [(0, 0, [b"\x80\x81\x82", b"abc"], None)],
                                   sort_order=0xC0, code_page=866, sort_name=b"cyrr"))
    seeds["encrypted"] = seed(table(blobf, [(0, 0, recs, 0x9001)], encryption=0x8848F16E), mb)

    # Headers that must be refused.
    seeds["bad_type"] = seed(table([(7, 4, b"Odd")], [(0, 0, [b"\0" * 4], None)]))
    seeds["bad_size"] = seed(table([(6, 4, b"N")], [(0, 0, [b"\0" * 4], None)]))
    seeds["record_too_short"] = seed(table([(1, 10, b"A"), (4, 4, b"B")], [(0, 0, [b"x"], None)],
                                           record_length=12))
    seeds["short_file"] = seed(table(long_field, [(0, 0, ids(1, 1), None)])[:70])

    for name, data in sorted(seeds.items()):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
    print(f"{len(seeds)} seeds in {out_dir}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
