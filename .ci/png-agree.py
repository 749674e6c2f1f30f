#!/usr/bin/env python3
"""Do two folders' PNGs show the same picture? The relocated Windows tool's
images against the golden ones, with the tolerance of the tool's own golden
test (GoldenPngsMatchWithinOneCode in tests/tools/preview/hosts/hosts_test.cpp):
8-bit codes within 1 (another C runtime's powf and sqrtf), up to two pixels
anywhere (a silhouette sample that flips).

usage: png-agree.py GOLDEN_DIR DIR NAME.png...
Prints the largest difference and the pixels past the tolerance per file.
"""
import struct
import sys
import zlib


def rgb8(path):
    """(width, height, bytes) of an 8-bit RGB, non-interlaced PNG."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(path + ": not a PNG")
    at, idat = 8, b""
    while at < len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        chunk = data[at + 8:at + 8 + size]
        at += 12 + size
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunk)
            if (depth, colour, interlace) != (8, 2, 0):
                raise SystemExit(path + ": not 8-bit RGB without interlace")
        elif kind == b"IDAT":
            idat += chunk
    raw, stride, rows, prev = zlib.decompress(idat), width * 3, [], bytearray(width * 3)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - 3] if x >= 3 else 0
            b, c = prev[x], prev[x - 3] if x >= 3 else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, b"".join(rows)


def main():
    golden_dir, dir_, names = sys.argv[1], sys.argv[2], sys.argv[3:]
    ok = True
    for name in names:
        gw, gh, golden = rgb8(golden_dir + "/" + name)
        w, h, now = rgb8(dir_ + "/" + name)
        if (w, h) != (gw, gh):
            print("%s: %dx%d, golden %dx%d" % (name, w, h, gw, gh))
            ok = False
            continue
        largest = max(abs(p - q) for p, q in zip(now, golden))
        off = sum(1 for i in range(0, len(now), 3)
                  if any(abs(now[i + c] - golden[i + c]) > 1 for c in range(3)))
        print("%s: largest difference %d codes, %d pixels past 1 code" % (name, largest, off))
        ok = ok and off <= 2
    sys.exit(0 if ok else 1)


main()
