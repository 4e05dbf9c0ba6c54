#!/usr/bin/env python3
"""Remakes the application icons of the hicolor theme from tarvix-mark.svg.

The desktop shows these in its menus and launchers, so they are the mark alone on a transparent
background, unlike the tray icons, whose opaque background colour tells the program's state.
Every size keeps the 16x16 pixel grid sharp: sizes that are multiples of 16 repeat each mark pixel
as a whole square, and 22 and 24 (panel sizes) carry the mark at its own size centred in a
transparent margin, since any blow-up short of 2x would smear or unevenly double its pixels.

    python3 make-app-icons.py            # writes hicolor/<N>x<N>/apps/tarvix.png next to this script
    python3 make-app-icons.py --out DIR  # the same tree below DIR
"""

import argparse
import os
import runpy
import sys
import types

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def load_tray_icon_maker():
    # The SVG reader lives with the tray icons' script, so both read the mark the same way.
    return types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "make-icons.py")))


def render(mark, grid, size):
    """RGBA rows of a size x size icon: the grid scaled by a whole factor, centred."""
    scale = max(1, size // grid)
    margin = (size - grid * scale) // 2
    transparent = bytes(4)
    rows = []
    for y in range(size):
        row = bytearray()
        my = (y - margin) // scale if y >= margin else -1
        for x in range(size):
            mx = (x - margin) // scale if x >= margin else -1
            colour = mark.get((mx, my)) if 0 <= mx < grid and 0 <= my < grid else None
            row += bytes(colour) + b"\xff" if colour else transparent
        rows.append(bytes(row))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--svg", default=os.path.join(HERE, "tarvix-mark.svg"))
    parser.add_argument("--out", default=os.path.join(HERE, "hicolor"), help="root of the icon tree")
    args = parser.parse_args()

    tray_icons = load_tray_icon_maker()
    mark = tray_icons.read_mark(args.svg)
    for size in SIZES:
        folder = os.path.join(args.out, "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        tray_icons.write_png(os.path.join(folder, "tarvix.png"), render(mark, tray_icons.SIZE, size), alpha=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
