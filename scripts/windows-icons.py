#!/usr/bin/env python3
"""The Windows programs' icons: each program's own frame 300 (the picture its .deb menu entry
shows), drawn by the recorder, letterboxed on transparency into the square sizes Explorer asks for
(256, 48, 32 and 16 pixels; each pixel the mean of the frame's pixels under it) and written as
packaging/windows/<program>.ico: the 256-pixel image as PNG, the others as 32-bit bitmaps, as
Windows from XP on reads them.

    scripts/windows-icons.py RECORDER            write both icons from the recorder's frames
    scripts/windows-icons.py --check RECORDER    exit 1 unless the committed icons hold exactly
                                                 the pictures the recorder's frames give now

The check compares pictures, not bytes, so another zlib's compression cannot fail it."""
import os
import struct
import subprocess
import sys
import zlib

FRAME = 300
WIDTH, HEIGHT = 320, 240
SIZES = (256, 48, 32, 16)
PROGRAMS = ("sorvel2", "sorvel")
HERE = os.path.dirname(os.path.abspath(__file__))
ICON_DIR = os.path.join(HERE, "..", "packaging", "windows")


def recorded_frame(recorder, program):
    """Frame FRAME of the program as RGB24 rows, top to bottom."""
    raw = subprocess.run([recorder, program, "--frames", str(FRAME), "--raw", "-", "--quiet"],
                         check=True, stdout=subprocess.PIPE).stdout
    size = WIDTH * HEIGHT * 3
    if len(raw) != size * FRAME:
        sys.exit(f"windows-icons: the recorder gave {len(raw)} bytes for {FRAME} frames")
    return raw[-size:]


def resampled(frame, width, height):
    """The frame at width x height, each pixel the area-weighted mean of the frame's pixels under
    it, as rows of (r, g, b)."""
    def spans(source, target):
        # For each target pixel: the source pixels it covers and how much of each.
        out = []
        for i in range(target):
            start, end = i * source / target, (i + 1) * source / target
            cover = []
            j = int(start)
            while j < end:
                weight = min(end, j + 1) - max(start, j)
                if weight > 1e-9:
                    cover.append((j, weight))
                j += 1
            out.append(cover)
        return out
    across, down = spans(WIDTH, width), spans(HEIGHT, height)
    area = (WIDTH / width) * (HEIGHT / height)
    rows = []
    for cover_y in down:
        row = []
        for cover_x in across:
            total = [0.0, 0.0, 0.0]
            for y, wy in cover_y:
                for x, wx in cover_x:
                    at = (y * WIDTH + x) * 3
                    for c in range(3):
                        total[c] += frame[at + c] * wx * wy
            row.append(tuple(min(255, int(t / area + 0.5)) for t in total))
        rows.append(row)
    return rows


def icon_picture(frame, size):
    """The square icon of `size`: the frame at the width of the square, centred on transparency,
    as rows of (r, g, b, a)."""
    height = size * HEIGHT // WIDTH
    top = (size - height) // 2
    picture = resampled(frame, size, height)
    clear = [(0, 0, 0, 0)] * size
    rows = [list(clear) for _ in range(top)]
    rows += [[(r, g, b, 255) for (r, g, b) in row] for row in picture]
    rows += [list(clear) for _ in range(size - top - height)]
    return rows


def png(rows):
    size = len(rows)
    data = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b""))


def bitmap(rows):
    """A 32-bit icon bitmap: the header (twice the height: the picture and its mask), the pixels
    bottom-up as blue, green, red, alpha, then the mask, 1 where the pixel is transparent."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(v for (r, g, b, a) in row for v in (b, g, r, a)) for row in reversed(rows))
    stride = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def icon_file(pictures):
    images = [png(rows) if len(rows) >= 256 else bitmap(rows) for rows in pictures]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for rows, image in zip(pictures, images):
        side = len(rows) if len(rows) < 256 else 0
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def read_icon(data):
    """The pictures of an icon file written by icon_file, as rows of (r, g, b, a)."""
    count = struct.unpack_from("<HHH", data)[2]
    pictures = []
    for i in range(count):
        side, _, _, _, _, bits, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        image = data[offset:offset + length]
        size = side or 256
        if image[:8] == b"\x89PNG\r\n\x1a\n":
            raw = zlib.decompress(image[8 + 8 + 13 + 4 + 8:-12 - 4])
            stride = size * 4 + 1
            rows = [[tuple(raw[y * stride + 1 + x * 4:y * stride + 5 + x * 4]) for x in range(size)]
                    for y in range(size)]
        else:
            rows = []
            for y in range(size):
                at = 40 + (size - 1 - y) * size * 4
                rows.append([(image[at + x * 4 + 2], image[at + x * 4 + 1], image[at + x * 4],
                              image[at + x * 4 + 3]) for x in range(size)])
        pictures.append(rows)
    return pictures


def main(args):
    check = args[:1] == ["--check"]
    if check:
        args = args[1:]
    if len(args) != 1:
        sys.exit(__doc__)
    failed = False
    for program in PROGRAMS:
        frame = recorded_frame(args[0], program)
        pictures = [icon_picture(frame, size) for size in SIZES]
        path = os.path.join(ICON_DIR, f"{program}.ico")
        if not check:
            with open(path, "wb") as out:
                out.write(icon_file(pictures))
            print(f"wrote {os.path.normpath(path)}")
            continue
        with open(path, "rb") as committed:
            held = read_icon(committed.read())
        if held == pictures:
            print(f"PASS: {program}.ico holds frame {FRAME} at {', '.join(map(str, SIZES))} pixels")
        else:
            print(f"FAIL: {program}.ico is not frame {FRAME} of the recorder "
                  "(scripts/windows-icons.py RECORDER writes it anew)")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
