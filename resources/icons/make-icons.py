#!/usr/bin/env python3
"""Remakes the six 16x16 tray icons from tarvix-mark.svg.

The mark is drawn with whole-pixel rectangles, so it is rasterised here exactly, pixel by pixel,
with nothing but the standard library: no anti-aliasing blur and the same bytes on every machine.
The icons are opaque RGB PNGs: the tray shows the background colour as the program's state.

    python3 make-icons.py                   # writes the PNGs next to this script
    python3 make-icons.py --preview out.png # also a 16x enlarged sheet of all six, for looking at
"""

import argparse
import os
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

SIZE = 16
HERE = os.path.dirname(os.path.abspath(__file__))
SVG_NS = "{http://www.w3.org/2000/svg}"

BACKGROUNDS = [
    ("icon16x16.png", (255, 255, 255)),
    ("icon16x16-problem.png", (255, 0, 0)),
    ("icon16x16-host-up-1.png", (120, 255, 253)),
    ("icon16x16-host-up-2.png", (55, 229, 255)),
    ("icon16x16-host-down-1.png", (255, 120, 120)),
    ("icon16x16-host-down-2.png", (255, 186, 186)),
]


def parse_colour(text):
    text = text.strip()
    if not (text.startswith("#") and len(text) == 7):
        raise ValueError("only #rrggbb colours are supported: " + text)
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


def whole(value, what):
    number = float(value)
    if number != int(number):
        raise ValueError("%s %s is not on the pixel grid" % (what, value))
    return int(number)


def read_mark(path):
    """Returns the set of mark pixels as {(x, y): colour}."""
    pixels = {}
    root = ET.parse(path).getroot()

    def walk(element, fill):
        fill = element.get("fill", fill)
        if element.tag == SVG_NS + "rect":
            x, y = whole(element.get("x", "0"), "x"), whole(element.get("y", "0"), "y")
            w, h = whole(element.get("width"), "width"), whole(element.get("height"), "height")
            colour = parse_colour(fill)
            for py in range(y, y + h):
                for px in range(x, x + w):
                    if not (0 <= px < SIZE and 0 <= py < SIZE):
                        raise ValueError("rectangle leaves the 16x16 grid at %d,%d" % (px, py))
                    pixels[(px, py)] = colour
        elif element.tag not in (SVG_NS + "svg", SVG_NS + "g", SVG_NS + "title"):
            raise ValueError("unsupported SVG element " + element.tag)
        for child in element:
            walk(child, fill)

    walk(root, None)
    return pixels


def render(mark, background, scale=1):
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            row.extend(mark.get((x, y), background) * scale)
        rows.extend([bytes(row)] * scale)
    return rows


def write_png(path, rows, alpha=False):
    channels = 4 if alpha else 3
    width, height = len(rows[0]) // channels, len(rows)
    raw = b"".join(b"\x00" + row for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)  # 8-bit RGBA or RGB
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--svg", default=os.path.join(HERE, "tarvix-mark.svg"))
    parser.add_argument("--out", default=HERE, help="folder for the PNGs")
    parser.add_argument("--preview", help="also write a 16x enlarged sheet of the six icons here")
    args = parser.parse_args()

    mark = read_mark(args.svg)
    for name, background in BACKGROUNDS:
        write_png(os.path.join(args.out, name), render(mark, background))

    if args.preview:
        scale, gap = 16, 8
        tiles = [render(mark, background, scale) for _, background in BACKGROUNDS]
        grey = bytes((128, 128, 128)) * gap
        sheet = [grey.join(tile[y] for tile in tiles) for y in range(SIZE * scale)]
        write_png(args.preview, sheet)
    return 0


if __name__ == "__main__":
    sys.exit(main())
