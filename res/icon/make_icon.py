#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

The picture is described below as a few plain shapes in a unit square
(0,0 top left, 1,1 bottom right): a rounded tile with a blue-to-teal
gradient, a white quill laid across it, and a green badge with a white
tick in the lower right corner. Each size is rendered from the shapes
themselves (4 x 4 samples a pixel), then stored twice: once in 32-bit
colour with alpha, once in 256 colours with a 1-bit transparency mask.

Only the standard library is used, so the icon can be redrawn anywhere:
    python3 res/icon/make_icon.py res/app.ico
"""
import math
import struct
import sys

SIZES = (48, 32, 16)
SUPERSAMPLE = 4

TILE_TOP = (0x1F, 0x4E, 0xA3)
TILE_BOTTOM = (0x17, 0x8C, 0x99)
TILE_EDGE = (0x12, 0x35, 0x6E)
QUILL = (0xFF, 0xFF, 0xFF)
QUILL_VEIN = (0x9C, 0xC3, 0xE6)
BADGE = (0x2B, 0xA8, 0x4A)
BADGE_RING = (0xFF, 0xFF, 0xFF)
TICK = (0xFF, 0xFF, 0xFF)


def rounded_rect(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom


def near_segment(x, y, ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    px, py = ax + t * dx, ay + t * dy
    return (x - px) ** 2 + (y - py) ** 2 <= half_width ** 2


# The quill's feather: a leaf along the axis from its base to its tip,
# widest a little below the middle.
QUILL_BASE = (0.30, 0.70)
QUILL_TIP = (0.84, 0.16)
QUILL_WIDTH = 0.15


def in_feather(x, y):
    ax, ay = QUILL_BASE
    bx, by = QUILL_TIP
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    along = ((x - ax) * ux + (y - ay) * uy) / length
    across = (x - ax) * -uy + (y - ay) * ux
    if not 0.0 <= along <= 1.0:
        return False
    half = QUILL_WIDTH * math.sin(math.pi * along ** 0.8) ** 0.9
    # The lower side is cut with a notch, as feathers are.
    if across > 0 and 0.42 < along < 0.50:
        half *= 0.45
    return abs(across) <= half


def colour_at(x, y):
    """The colour (r, g, b, a) of the picture at one point of the unit square."""
    if not rounded_rect(x, y, 0.03, 0.03, 0.97, 0.97, 0.18):
        return (0, 0, 0, 0)
    # Badge with a white ring and a tick.
    bx, by, br = 0.70, 0.70, 0.25
    d = math.hypot(x - bx, y - by)
    if d <= br:
        if d > br - 0.045:
            return BADGE_RING + (255,)
        tick = near_segment(x, y, 0.585, 0.705, 0.665, 0.785, 0.045) or near_segment(
            x, y, 0.665, 0.785, 0.815, 0.615, 0.045)
        return (TICK if tick else BADGE) + (255,)
    # Quill: the shaft from the nib to the feather, then the feather.
    if near_segment(x, y, 0.12, 0.88, QUILL_BASE[0] + 0.08, QUILL_BASE[1] - 0.08, 0.028):
        return QUILL + (255,)
    if in_feather(x, y):
        vein = near_segment(x, y, QUILL_BASE[0], QUILL_BASE[1], 0.74, 0.26, 0.012)
        return (QUILL_VEIN if vein else QUILL) + (255,)
    if not rounded_rect(x, y, 0.065, 0.065, 0.935, 0.935, 0.15):
        return TILE_EDGE + (255,)
    t = (x + y) / 2
    return tuple(round(a + (b - a) * t) for a, b in zip(TILE_TOP, TILE_BOTTOM)) + (255,)


def render(size):
    """Rows of (r, g, b, a), top row first, straight (not premultiplied) alpha."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            sr = sg = sb = sa = 0
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = colour_at((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    sr += r * a
                    sg += g * a
                    sb += b * a
                    sa += a
            if sa == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(sr / sa), round(sg / sa), round(sb / sa), round(sa / (n * n))))
        rows.append(row)
    return rows


def mask_rows(rows, opaque):
    """The 1-bit AND mask, bottom row first: 1 where the pixel is transparent."""
    out = b""
    for row in reversed(rows):
        bits = 0
        nbits = 0
        line = bytearray()
        for pixel in row:
            bits = (bits << 1) | (0 if opaque(pixel) else 1)
            nbits += 1
            if nbits == 8:
                line.append(bits)
                bits = nbits = 0
        if nbits:
            line.append(bits << (8 - nbits))
        while len(line) % 4:
            line.append(0)
        out += bytes(line)
    return out


def bitmap_header(size, bpp, colours_used):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, colours_used, 0)


def image_32bpp(rows):
    size = len(rows)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    return bitmap_header(size, 32, 0) + xor + mask_rows(rows, lambda p: p[3] >= 128)


def palette_for(images):
    """Up to 256 colours that serve all the 256-colour images: the most used
    colours at 5 bits a channel, entry 0 black for the transparent pixels."""
    counts = {}
    for rows in images:
        for row in rows:
            for r, g, b, a in row:
                if a >= 128:
                    key = (r >> 3, g >> 3, b >> 3)
                    counts[key] = counts.get(key, 0) + 1
    ranked = sorted(counts.items(), key=lambda kv: (-kv[1], kv[0]))[:255]
    return [(0, 0, 0)] + [((r << 3) | (r >> 2), (g << 3) | (g >> 2), (b << 3) | (b >> 2)) for (r, g, b), _ in ranked]


def image_8bpp(rows, palette):
    size = len(rows)
    cache = {}

    def index_of(pixel):
        r, g, b, a = pixel
        if a < 128:
            return 0
        if (r, g, b) not in cache:
            cache[(r, g, b)] = min(range(1, len(palette)),
                                   key=lambda i: (palette[i][0] - r) ** 2 + (palette[i][1] - g) ** 2 +
                                   (palette[i][2] - b) ** 2)
        return cache[(r, g, b)]

    entries = palette + [(0, 0, 0)] * (256 - len(palette))
    colour_table = b"".join(bytes((b, g, r, 0)) for (r, g, b) in entries)
    xor = bytearray()
    for row in reversed(rows):
        line = bytearray(index_of(p) for p in row)
        while len(line) % 4:
            line.append(0)
        xor += line
    return bitmap_header(size, 8, 256) + colour_table + bytes(xor) + mask_rows(rows, lambda p: p[3] >= 128)


def write_ico(path):
    rendered = {size: render(size) for size in SIZES}
    palette = palette_for(rendered.values())
    images = []  # (size, bits per pixel, data)
    for size in SIZES:
        images.append((size, 32, image_32bpp(rendered[size])))
    for size in SIZES:
        images.append((size, 8, image_8bpp(rendered[size], palette)))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    directory = b""
    for size, bpp, data in images:
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(header + directory + b"".join(data for _, _, data in images))


if __name__ == "__main__":
    write_ico(sys.argv[1] if len(sys.argv) > 1 else "app.ico")
