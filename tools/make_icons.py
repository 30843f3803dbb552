#!/usr/bin/env python3
"""Regenerate Velmora's program icon and tool bar images in resources/.

Usage: python3 tools/make_icons.py [--check]

Writes the 16-colour ICO and BMP files the image lists use, double-size PNG
companions ("name@2x.png") for high-density screens, and the program icon
at the freedesktop hicolor sizes. Output is the same byte for byte on every
run; with --check nothing is written and the exit status says whether the
files on disk are current.
"""

import os
import sys

# Keep the source tree free of __pycache__ folders.
sys.dont_write_bytecode = True

import icon_art as art  # noqa: E402
from icon_formats import (TRANSPARENT, bmp_bytes, ico_bytes,  # noqa: E402
                          png_bytes, scaled, size_of)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RESOURCES = os.path.join(ROOT, "resources")
SILVER = art.COLOURS["S"]


def clear_ground(pixels):
    """The picture with its silver ground, reached from the border, made
    see-through; enclosed silver (an arrow's face) stays as it is."""
    width, height = size_of(pixels)
    out = [list(row) for row in pixels]
    todo = [(x, y) for x in range(width) for y in (0, height - 1)]
    todo += [(x, y) for y in range(height) for x in (0, width - 1)]
    while todo:
        x, y = todo.pop()
        if 0 <= x < width and 0 <= y < height and out[y][x] == SILVER:
            out[y][x] = TRANSPARENT
            todo += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]
    return out


def outputs():
    """Every file this script owns, as (path under resources/, bytes)."""
    files = []
    velmora16 = art.grid(art.VELMORA_16)
    velmora32 = art.velmora_32()
    files.append(("velmora.ico", ico_bytes([velmora32, velmora16])))

    # Browser tool bar: icons whose 16-pixel image the list uses.
    toolbar = {
        "tb_changeview": (art.change_view_32(), art.grid(art.CHANGE_VIEW_16)),
        "tb_back": (art.arrow(32, False), art.arrow(16, False)),
        "tb_forward": (art.arrow(32, True), art.arrow(16, True)),
        "tb_help": (art.balloon(32), art.balloon(16)),
    }
    for name, (big, small) in toolbar.items():
        files.append((name + ".ico", ico_bytes([big, small])))
        files.append((name + "@2x.png", png_bytes(clear_ground(big))))

    # Viewer tool bar: plain 16-colour bitmaps on silver.
    viewer = {
        "vw_back": (art.triangle(32, False), art.triangle(16, False)),
        "vw_forward": (art.triangle(32, True), art.triangle(16, True)),
        "vw_help": (art.yellow_question(32), art.yellow_question(16)),
    }
    for name, (big, small) in viewer.items():
        files.append((name + ".bmp", bmp_bytes(small)))
        files.append((name + "@2x.png", png_bytes(clear_ground(big))))

    # Desktop icon theme sizes, each an exact multiple of one drawing.
    hicolor = {16: (velmora16, 1), 32: (velmora32, 1), 48: (velmora16, 3),
               64: (velmora32, 2), 128: (velmora32, 4),
               256: (velmora32, 8)}
    for size, (pixels, factor) in hicolor.items():
        path = f"icons/hicolor/{size}x{size}/apps/velmora.png"
        files.append((path, png_bytes(scaled(pixels, factor))))
    return files


def main(argv):
    check = "--check" in argv[1:]
    stale = []
    for relative, data in outputs():
        path = os.path.join(RESOURCES, *relative.split("/"))
        try:
            with open(path, "rb") as f:
                current = f.read() == data
        except OSError:
            current = False
        if current:
            continue
        stale.append(relative)
        if not check:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
    verb = "out of date" if check else "written"
    for relative in stale:
        print(f"{verb}: resources/{relative}")
    return 1 if check and stale else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
