"""Writers for 16-colour ICO and BMP files and indexed PNG files.

Pictures are lists of rows of palette indices. Index TRANSPARENT marks a
see-through pixel: an ICO stores it as black in the colour bitmap with its
AND-mask bit set, a PNG as a fully transparent palette entry.
"""

import struct
import zlib

# The standard 16-colour palette, in the usual index order, as (r, g, b).
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 maroon
    (0x00, 0x80, 0x00),  # 2 green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 silver
    (0x80, 0x80, 0x80),  # 8 grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 lime
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 fuchsia
    (0x00, 0xFF, 0xFF),  # 14 aqua
    (0xFF, 0xFF, 0xFF),  # 15 white
]

TRANSPARENT = 16


def size_of(pixels):
    """Width and height of a picture, checking that it is rectangular."""
    height = len(pixels)
    width = len(pixels[0]) if height else 0
    if width == 0 or any(len(row) != width for row in pixels):
        raise ValueError("picture rows must be non-empty and of equal length")
    return width, height


def _palette_quads():
    # RGBQUAD order is blue, green, red, reserved.
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def _pack_4bpp_rows(pixels):
    """Colour bitmap rows, bottom-up, two pixels a byte, padded to 4 bytes."""
    width, _ = size_of(pixels)
    stride = ((width * 4 + 31) // 32) * 4
    out = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, index in enumerate(row):
            value = 0 if index == TRANSPARENT else index
            if not 0 <= value < 16:
                raise ValueError(f"palette index {index} out of range")
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
        out += line
    return bytes(out)


def _pack_and_mask(pixels):
    """AND-mask rows, bottom-up, one bit a pixel (1 = see-through)."""
    width, _ = size_of(pixels)
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, index in enumerate(row):
            if index == TRANSPARENT:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def _info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0,
                       image_size, 0, 0, 16, 0)


def ico_bytes(images):
    """An ICO file holding the given pictures (each at most 256 pixels)."""
    entries = []
    blobs = []
    offset = 6 + 16 * len(images)
    for pixels in images:
        width, height = size_of(pixels)
        if width > 256 or height > 256:
            raise ValueError("icon images are at most 256 pixels wide")
        xor = _pack_4bpp_rows(pixels)
        mask = _pack_and_mask(pixels)
        # An icon's header counts the colour bitmap and the mask together,
        # hence twice the height.
        blob = (_info_header(width, height * 2, len(xor) + len(mask))
                + _palette_quads() + xor + mask)
        entries.append(struct.pack("<BBBBHHII", width % 256, height % 256,
                                   16, 0, 1, 4, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    header = struct.pack("<HHH", 0, 1, len(images))
    return header + b"".join(entries) + b"".join(blobs)


def bmp_bytes(pixels):
    """A 4-bit, 16-colour BMP file; it has no mask, so nothing is see-through."""
    width, height = size_of(pixels)
    if any(index == TRANSPARENT for row in pixels for index in row):
        raise ValueError("a BMP cannot hold see-through pixels")
    bits = _pack_4bpp_rows(pixels)
    offset = 14 + 40 + 64
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0,
                              offset)
    return file_header + _info_header(width, height, len(bits)) \
        + _palette_quads() + bits


def _png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body \
        + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bytes(pixels):
    """An 8-bit indexed PNG of the picture on the 16-colour palette."""
    width, height = size_of(pixels)
    see_through = any(index == TRANSPARENT for row in pixels for index in row)
    palette = list(PALETTE)
    if see_through:
        # Silver keeps a colour-keyed image list and a plain loader in step.
        palette.append(PALETTE[7])
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type None
        raw += bytes(row)
    chunks = [
        _png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 3,
                                        0, 0, 0)),
        _png_chunk(b"PLTE", b"".join(bytes(c) for c in palette)),
    ]
    if see_through:
        chunks.append(_png_chunk(b"tRNS", bytes([255] * 16 + [0])))
    chunks.append(_png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
    chunks.append(_png_chunk(b"IEND", b""))
    return b"\x89PNG\r\n\x1a\n" + b"".join(chunks)


def scaled(pixels, factor):
    """Nearest-neighbour enlargement by a whole factor."""
    out = []
    for row in pixels:
        wide = [index for index in row for _ in range(factor)]
        out.extend(list(wide) for _ in range(factor))
    return out
