#!/usr/bin/env python3
"""wayland_picture: what a screenshot of the compositor (grim's PPM, the output's real pixels)
shows in one window, for tests/e2e/wayland_check.sh.

  wayland_picture.py SHOT X Y WIDTH HEIGHT
      X, Y, WIDTH and HEIGHT are the window's rectangle in the screenshot's pixels. The picture of
      320 x 240 is looked for centred in it at the largest whole scale N that fits. Prints
      "N BROKEN BLOCKS OUTSIDE LIT UNFIRE": the scale, how many of the picture's N x N blocks are
      not of one colour, how many blocks there are, how many bytes around the picture (inside the
      window) are not black, the percentage of the picture's pixels that are lit, and how many
      distinct lit colours are not of the fire's palette (whose colours run from black through
      red and yellow to white: red >= green >= blue in every one).
Exit code 0, or 1 for a bad file or a rectangle outside it."""
import sys

PICTURE_WIDTH = 320
PICTURE_HEIGHT = 240


def read_ppm(path):
    with open(path, "rb") as file:
        data = file.read()
    fields = []
    at = 0
    while len(fields) < 4:
        while data[at : at + 1].isspace():
            at += 1
        if data[at : at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end : end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[at + 1 : at + 1 + width * height * 3]


def main(argv):
    if len(argv) != 6:
        print(__doc__, file=sys.stderr)
        return 1
    try:
        width, height, pixels = read_ppm(argv[1])
    except (OSError, ValueError) as error:
        print(f"wayland_picture: {argv[1]}: {error}", file=sys.stderr)
        return 1
    x0, y0, w, h = (int(value) for value in argv[2:6])
    if x0 < 0 or y0 < 0 or w <= 0 or h <= 0 or x0 + w > width or y0 + h > height:
        print(f"wayland_picture: {w}x{h}+{x0}+{y0} is not inside {width}x{height}", file=sys.stderr)
        return 1
    scale = max(1, min(w // PICTURE_WIDTH, h // PICTURE_HEIGHT))
    px = (w - PICTURE_WIDTH * scale) // 2
    py = (h - PICTURE_HEIGHT * scale) // 2
    stride = width * 3

    def row(y, left, right):  # the bytes of screenshot row y, window columns left..right-1
        start = (y0 + y) * stride + (x0 + left) * 3
        return pixels[start : start + (right - left) * 3]

    broken = set()
    lit = 0
    colours = set()
    for by in range(PICTURE_HEIGHT):
        top = row(py + by * scale, px, px + PICTURE_WIDTH * scale)
        for bx in range(PICTURE_WIDTH):
            block = top[bx * scale * 3 : (bx + 1) * scale * 3]
            colour = block[:3]
            if block != colour * scale:
                broken.add((bx, by))
            if colour != b"\0\0\0":
                lit += 1
                colours.add(colour)
        for dy in range(1, scale):
            other = row(py + by * scale + dy, px, px + PICTURE_WIDTH * scale)
            if other != top:
                for bx in range(PICTURE_WIDTH):
                    part = slice(bx * scale * 3, (bx + 1) * scale * 3)
                    if other[part] != top[part]:
                        broken.add((bx, by))
    outside = 0
    for y in range(h):
        inside_rows = py <= y < py + PICTURE_HEIGHT * scale
        spans = [(0, px), (px + PICTURE_WIDTH * scale, w)] if inside_rows else [(0, w)]
        for left, right in spans:
            if right > left:
                part = row(y, left, right)
                outside += len(part) - part.count(0)
    unfire = sum(1 for c in colours if not c[0] >= c[1] >= c[2])
    total = PICTURE_WIDTH * PICTURE_HEIGHT
    print(scale, len(broken), total, outside, lit * 100 // total, unfire)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
