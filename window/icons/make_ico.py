#!/usr/bin/env python3
"""Writes the window's Windows icon, merovane.ico, from the two XPM pictures
beside this script: one icon in each size Windows asks for at 100-200 %
(16, 20, 24, 32, 40, 48, 64 and 256 pixels), 16 colours (4 bits per pixel),
with the XPM's "None" colour transparent. Each size is the larger picture
that fits it, scaled by a whole number and centred, so that every pixel stays
sharp: 48 is the 16 px picture tripled, 64 and 256 the 32 px one doubled and
by eight, 20 and 24 the 16 px picture and 40 the 32 px one with a wider
transparent margin.

    window/icons/make_ico.py    (rewrites window/icons/merovane.ico)
"""
import pathlib
import re
import struct

HERE = pathlib.Path(__file__).resolve().parent


def read_xpm(path):
    strings = re.findall(r'"((?:[^"\\]|\\.)*)"', path.read_text())
    width, height, count, chars = map(int, strings[0].split())
    colours = {}
    for line in strings[1:1 + count]:
        key, rest = line[:chars], line[chars:].split()
        value = rest[rest.index("c") + 1]
        colours[key] = None if value.lower() == "none" else int(value.lstrip("#"), 16)
    rows = strings[1 + count:1 + count + height]
    pixels = [[colours[row[x * chars:(x + 1) * chars]] for x in range(width)] for row in rows]
    return width, height, pixels


SIZES = (16, 20, 24, 32, 40, 48, 64, 256)


def fitted(size, pictures):
    """The picture (width, height, pixels) that best fills size, scaled by a
    whole number and centred on transparent pixels."""
    scale, (width, _, pixels) = max(((size // p[0], p) for p in pictures),
                                    key=lambda choice: (choice[0] * choice[1][0], choice[1][0]))
    margin = (size - width * scale) // 2
    canvas = [[None] * size for _ in range(size)]
    for y, row in enumerate(pixels):
        for x, pixel in enumerate(row):
            for dy in range(scale):
                start = margin + x * scale
                canvas[margin + y * scale + dy][start:start + scale] = [pixel] * scale
    return size, size, canvas


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def icon_image(width, height, pixels):
    palette = sorted({p for row in pixels for p in row if p is not None})
    if len(palette) > 15:
        raise SystemExit("more than 15 colours besides the transparent one")
    palette = [0] + palette  # index 0: black, under the transparent pixels
    palette += [0] * (16 - len(palette))
    xor, mask = b"", b""
    for row in reversed(pixels):  # bottom-up
        indexes = [0 if p is None else palette.index(p, 1) for p in row]
        xor += padded(bytes((indexes[x] << 4) | indexes[x + 1] for x in range(0, width, 2)))
        bits = 0
        line = b""
        for x, p in enumerate(row):
            bits = (bits << 1) | (p is None)
            if x % 8 == 7:
                line += bytes([bits])
                bits = 0
        mask += padded(line)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    colours = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0)
                       for c in palette)
    return header + colours + xor + mask


def main():
    pictures = [read_xpm(HERE / f"merovane-{size}.xpm") for size in (16, 32)]
    images = [icon_image(*fitted(size, pictures)) for size in SIZES]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        side = size % 256  # 0 stands for 256
        data += struct.pack("<BBBBHHII", side, side, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    (HERE / "merovane.ico").write_bytes(data + b"".join(images))


if __name__ == "__main__":
    main()
