#!/usr/bin/env python3
"""Draws the program's icon (a magnifying glass over a text page) and writes
it as a Windows .ico file with a 32x32 and a 16x16 image, each 16 colours
(4 bits per pixel, the standard VGA palette) with a transparency mask, so
that every Windows from 95 on shows it.

Usage: make_icon.py OUTPUT.ico [--preview PREFIX]
With --preview, each image is also written as PREFIX-NN.png, scaled up.
"""

import struct
import sys
import zlib

# The 16-colour palette of Windows, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Pixel-art letters -> palette index; '.' is transparent.
INK = {
    'K': 0,   # black
    'r': 1,   # dark red
    'o': 3,   # olive
    'b': 4,   # dark blue
    't': 6,   # teal
    'g': 7,   # light grey
    'G': 8,   # dark grey
    'y': 11,  # yellow
    'c': 14,  # cyan
    'W': 15,  # white
}


def draw(size):
    """Returns size rows of size letters: page, folded corner, text lines,
    and a magnifier whose lens sits over the lower right of the page."""
    s = size / 32.0
    rows = [['.'] * size for _ in range(size)]

    def put(x, y, ink):
        if 0 <= x < size and 0 <= y < size:
            rows[y][x] = ink

    # Page with a folded top-right corner.
    left, top, right, bottom = round(3 * s), round(1 * s), round(22 * s), round(28 * s)
    fold = max(3, round(6 * s))
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            cut = (x - (right - fold)) - (y - top)  # > 0 lies beyond the fold line
            if cut > 0:
                continue
            edge = x in (left, right) or y in (top, bottom) or cut == 0
            put(x, y, 'K' if edge else 'W')
    # The folded-over flap.
    for y in range(top + 1, top + fold):
        for x in range(right - fold + 1, right):
            if (x - (right - fold)) <= (y - top):
                put(x, y, 'g')
    for i in range(fold + 1):
        put(right - fold, top + i, 'K')
        put(right - fold + i, top + fold, 'K')
    # Lines of text.
    step = 3 if size >= 32 else 2
    lengths = [13, 10, 14, 8, 12, 11, 9, 13]
    for n, y in enumerate(range(top + fold + step - 1, bottom - 1, step)):
        line = round(lengths[n % len(lengths)] * s)
        for x in range(left + 2, min(left + 2 + line, right - 1)):
            put(x, y, 'G')

    # Magnifier: a ring with a glass, and a handle to the bottom-right.
    if size >= 32:
        cx, cy, outer, inner, width, end = 19.0, 17.5, 9.0, 5.8, 2.9, 28.0
    else:
        cx, cy, outer, inner, width, end = 10.0, 9.0, 4.7, 3.1, 1.0, 15.0
    hx0, hy0 = cx + outer * 0.72, cy + outer * 0.72

    def part(x, y):
        """'glass', 'ring', 'handle' or None for pixel (x, y)."""
        px, py = x + 0.5, y + 0.5
        d = ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5
        if d <= inner:
            return 'glass'
        if d <= outer:
            return 'ring'
        # Distance from the handle's axis, with round ends.
        vx, vy = end - hx0, end - hy0
        t = ((px - hx0) * vx + (py - hy0) * vy) / (vx * vx + vy * vy)
        t = min(1.0, max(0.0, t))
        qx, qy = hx0 + t * vx - px, hy0 + t * vy - py
        return 'handle' if (qx * qx + qy * qy) ** 0.5 <= width else None

    def outline(x, y, own):
        """True when a 32-pixel image should draw this pixel as an edge:
        one of its four neighbours lies outside the pixel's own parts."""
        if size < 32:
            return False
        return any(part(x + dx, y + dy) not in own
                   for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))

    for y in range(size):
        for x in range(size):
            p = part(x, y)
            if p == 'glass':
                # Highlight in the glass's upper left.
                hx, hy = x + 0.5 - cx + inner * 0.35, y + 0.5 - cy + inner * 0.35
                put(x, y, 'W' if (hx * hx + hy * hy) ** 0.5 <= inner * 0.35 else 'c')
            elif p == 'ring':
                put(x, y, 'K' if outline(x, y, ('ring', 'handle')) else 'b')
            elif p == 'handle':
                put(x, y, 'K' if outline(x, y, ('ring', 'handle')) else 'r')
    return [''.join(r) for r in rows]


def bmp_image(art):
    """The icon directory's image data: BITMAPINFOHEADER (double height),
    palette, 4-bit colour bits and the 1-bit mask, both bottom-up."""
    size = len(art)
    color_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colors = bytearray()
    mask = bytearray()
    for row in reversed(art):
        line = bytearray(color_stride)
        bits = bytearray(mask_stride)
        for x, ch in enumerate(row):
            ink = 0 if ch == '.' else INK[ch]
            line[x // 2] |= ink << (4 if x % 2 == 0 else 0)
            if ch == '.':
                bits[x // 8] |= 0x80 >> (x % 8)
        colors += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         len(colors) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colors) + bytes(mask)


def ico_file(arts):
    images = [bmp_image(a) for a in arts]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for art, data in zip(arts, images):
        size = len(art)
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b''.join(images)


def png_file(art, scale):
    """A scaled-up RGB preview of one image (transparent shown as grey)."""
    size = len(art) * scale
    raw = bytearray()
    for row in art:
        line = bytearray([0])
        for ch in row:
            rgb = (0xD4, 0xD0, 0xC8) if ch == '.' else PALETTE[INK[ch]]
            line += bytes(rgb) * scale
        raw += bytes(line) * scale

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

    ihdr = struct.pack('>IIBBBBB', size, size, 8, 2, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(bytes(raw)))
            + chunk(b'IEND', b''))


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != '--preview'):
        sys.stderr.write(__doc__)
        return 2
    arts = [draw(32), draw(16)]
    with open(argv[1], 'wb') as f:
        f.write(ico_file(arts))
    if len(argv) == 4:
        for art in arts:
            with open('%s-%02d.png' % (argv[3], len(art)), 'wb') as f:
                f.write(png_file(art, 256 // len(art)))
            print('\n'.join(art))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
