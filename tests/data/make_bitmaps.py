#!/usr/bin/env python3
"""Writes the tiny bitmaps committed under tests/data/ (embedded as resources by the loader
tests) and tests/fuzz/seeds/ (the seed corpus of the loader fuzzer). Run it from anywhere after
changing it, and commit what it writes:  python3 tests/data/make_bitmaps.py"""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
seeds = os.path.join(here, "..", "fuzz", "seeds")


def info_header(size, width, height, bpp, compression=0, image_size=0, colours_used=0):
    head = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, compression, image_size,
                       2835, 2835, colours_used, 0)
    return head + bytes(size - 40)  # longer headers (V4, V5): the rest left zero


def pack_rows(rows, bpp):
    """rows: top row first, each a list of pixel values; returns bottom-up padded bytes."""
    out = b""
    for row in rows:
        if bpp in (1, 4, 8):
            bits = "".join(format(v, "0%db" % bpp) for v in row)
            bits += "0" * (-len(bits) % 8)
            data = int(bits, 2).to_bytes(len(bits) // 8, "big") if bits else b""
        elif bpp == 16:
            data = b"".join(struct.pack("<H", v) for v in row)
        elif bpp == 24:
            data = b"".join(struct.pack("<BBB", v & 255, (v >> 8) & 255, v >> 16) for v in row)
        else:
            data = b"".join(struct.pack("<I", v) for v in row)
        out = data + bytes(-len(data) % 4) + out
    return out


def bitmap(width, height, bpp, rows, palette=(), header_size=40, top_down=False,
           compression=0, pixels=None):
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    if pixels is None:
        pixels = pack_rows(rows if not top_down else rows, bpp)
        if top_down:  # pack_rows stores bottom-up; top-down keeps the rows in picture order
            pixels = b"".join(reversed(split_rows(pixels, len(rows))))
    head = info_header(header_size, width, -height if top_down else height, bpp, compression,
                       len(pixels), len(palette))
    offset = 14 + len(head) + len(colours)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + head + colours + pixels


def split_rows(data, count):
    size = len(data) // count
    return [data[i * size:(i + 1) * size] for i in range(count)]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


# An 8-bit bitmap with a full colour table of its own, unlike the default palette anywhere:
# entry i is red i, green 7i mod 256, blue 255 - i. Its 5 x 3 pixels are the indices 10*y + x
# (row stride 8 bytes, so the rows are padded).
palette8 = [(i, (7 * i) & 255, 255 - i) for i in range(256)]
write(os.path.join(here, "palette8.bmp"),
      bitmap(5, 3, 8, [[10 * y + x for x in range(5)] for y in range(3)], palette8))

# A 4-bit bitmap: 16 colours, 3 x 2 pixels; as a resource it is 40 + 64 + 8 = 112 bytes, far
# short of a 256-entry colour table.
palette4 = [(17 * i, 255 - 17 * i, (50 * i) & 255) for i in range(16)]
write(os.path.join(here, "small4.bmp"), bitmap(3, 2, 4, [[1, 2, 3], [4, 5, 6]], palette4))

# Seeds: one of each kind the decoder knows, a few bytes each.
os.makedirs(seeds, exist_ok=True)
grey2 = [(0, 0, 0), (255, 255, 255)]
write(os.path.join(seeds, "mono_1bit.bmp"), bitmap(9, 2, 1, [[1, 0] * 4 + [1], [0, 1] * 4 + [0]], grey2))
write(os.path.join(seeds, "palette_4bit.bmp"), bitmap(3, 2, 4, [[1, 2, 3], [4, 5, 6]], palette4))
write(os.path.join(seeds, "palette_8bit_topdown.bmp"),
      bitmap(2, 2, 8, [[1, 2], [3, 4]], palette8[:8], top_down=True))
write(os.path.join(seeds, "rgb_16bit.bmp"), bitmap(2, 2, 16, [[0x7C00, 0x03E0], [0x001F, 0x7FFF]]))
write(os.path.join(seeds, "rgb_24bit.bmp"),
      bitmap(3, 2, 24, [[0xFF0000, 0x00FF00, 0x0000FF], [0xFFFFFF, 0, 0x808080]]))
write(os.path.join(seeds, "rgb_32bit_v5.bmp"),
      bitmap(2, 2, 32, [[0xFF0000, 0x00FF00], [0x0000FF, 0xFFFFFF]], header_size=124))
# RLE8, 4 x 2 pixels: two runs of 2 on the bottom row, end of line, an absolute run of 4 on the
# top row, end of bitmap.
rle8 = bytes([2, 1, 2, 2, 0, 0, 0, 4, 3, 4, 5, 6, 0, 1])
write(os.path.join(seeds, "rle_8bit.bmp"),
      bitmap(4, 2, 8, None, palette8[:8], compression=1, pixels=rle8))
