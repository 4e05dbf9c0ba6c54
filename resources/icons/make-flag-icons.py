#!/usr/bin/env python3
"""Remakes the 16x16 icons of the problems window's flags column.

Each icon is a few shapes (segments with a width, rings, discs, boxes) drawn in one or two colours
on a transparent background, sampled 4x4 per pixel for smooth edges, with nothing but the standard
library, so the bytes are the same on every machine.

    python3 make-flag-icons.py                   # writes the PNGs next to this script
    python3 make-flag-icons.py --preview out.png # also an 8x enlarged sheet of them, for looking at
"""

import argparse
import math
import os
import runpy
import sys


SIZE = 16
SAMPLES = 4
HERE = os.path.dirname(os.path.abspath(__file__))


def segment(ax, ay, bx, by, width):
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= width / 2
    return inside


def polyline(points, width):
    parts = [segment(*points[i], *points[i + 1], width) for i in range(len(points) - 1)]
    return lambda x, y: any(part(x, y) for part in parts)


def ring(cx, cy, outer, inner):
    return lambda x, y: inner <= math.hypot(x - cx, y - cy) <= outer


def disc(cx, cy, radius):
    return ring(cx, cy, radius, 0)


def box(left, top, right, bottom):
    return lambda x, y: left <= x <= right and top <= y <= bottom


def union(*shapes):
    return lambda x, y: any(shape(x, y) for shape in shapes)


GREEN = (46, 125, 50)
BLUE = (21, 101, 192)
AMBER = (196, 134, 0)
PURPLE = (123, 31, 162)
GREY = (85, 85, 85)
RED = (211, 47, 47)

# Each icon: its layers, bottom first, as (colour, shape).
ICONS = [
    ("flag-acknowledged.png", [(GREEN, polyline([(2.5, 8.5), (6.5, 12.5), (13.5, 3.5)], 2.6))]),
    ("flag-downtime.png", [(BLUE, union(ring(8, 8, 7.2, 5.6), segment(8, 8, 8, 3.8, 1.6),
                                        segment(8, 8, 11.2, 9.6, 1.6)))]),
    ("flag-soft.png", [(AMBER, union(ring(8, 8, 7.2, 5.6), lambda x, y: x <= 8 and math.hypot(x - 8, y - 8) <= 6))]),
    ("flag-flapping.png", [(PURPLE, polyline([(1.5, 11.5), (4.5, 4.5), (8, 11.5), (11.5, 4.5), (14.5, 11.5)], 2.0))]),
    ("flag-notifications-off.png", [
        (GREY, union(lambda x, y: y <= 7 and math.hypot(x - 8, y - 7) <= 5, box(3, 7, 13, 11.5), box(1.5, 11, 14.5, 12.5),
                     disc(8, 14, 1.6))),
        (RED, segment(2, 2, 14, 14, 2.2)),
    ]),
]


def render(layers, scale=1):
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            colour, alpha = (0, 0, 0), 0.0
            for layer_colour, shape in layers:
                hits = sum(shape(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                           for sx in range(SAMPLES) for sy in range(SAMPLES))
                cover = hits / (SAMPLES * SAMPLES)
                if cover == 0:
                    continue
                # The upper layer over what is below it.
                out_alpha = cover + alpha * (1 - cover)
                colour = tuple((c * cover + b * alpha * (1 - cover)) / out_alpha
                               for c, b in zip(layer_colour, colour))
                alpha = out_alpha
            pixel = bytes([round(c) for c in colour] + [round(alpha * 255)])
            row.extend(pixel * scale)
        rows.extend([bytes(row)] * scale)
    return rows


def load_png_writer():
    return runpy.run_path(os.path.join(HERE, "make-icons.py"))["write_png"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=HERE, help="folder for the PNGs")
    parser.add_argument("--preview", help="also write an 8x enlarged sheet of the icons here")
    args = parser.parse_args()
    write_png = load_png_writer()
    for name, layers in ICONS:
        write_png(os.path.join(args.out, name), render(layers), alpha=True)
    if args.preview:
        scale, gap = 8, 8
        tiles = [render(layers, scale) for _, layers in ICONS]
        light = bytes((240, 240, 240, 255)) * gap
        sheet = [light.join(tile[y] for tile in tiles) for y in range(SIZE * scale)]
        write_png(args.preview, sheet, alpha=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
