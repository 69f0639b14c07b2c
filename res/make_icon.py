#!/usr/bin/env python3
"""Draws stub.ico: an open cardboard box with a blue arrow pointing into it.

Writes a 16 pixel image as a 32-bit BMP entry and 32 and 48 pixel images as 8-bit palette
entries (each with an AND mask), which every Windows version the stub supports can show.
Shapes are polygons in a 0..1 square, rendered with 4x4 supersampling for smooth edges. The generated stub.ico is kept in the repository,
so the build needs no Python: run this only after changing the drawing.
"""
import os
import struct
import sys

SIZES = (16, 32, 48)
SUPERSAMPLE = 4

# Colours as (r, g, b, a).
OUTLINE = (92, 58, 22, 255)
BOX_FRONT = (205, 150, 80, 255)
BOX_SIDE = (176, 120, 56, 255)
BOX_INSIDE = (112, 72, 30, 255)
FLAP = (226, 178, 112, 255)
TAPE = (236, 214, 170, 255)
ARROW = (38, 112, 214, 255)
ARROW_EDGE = (18, 60, 140, 255)


def inset(poly, amount):
    """Moves each vertex towards the polygon's centre: a cheap way to draw a border."""
    cx = sum(x for x, _ in poly) / len(poly)
    cy = sum(y for _, y in poly) / len(poly)
    out = []
    for x, y in poly:
        dx, dy = cx - x, cy - y
        length = (dx * dx + dy * dy) ** 0.5 or 1.0
        out.append((x + dx / length * amount, y + dy / length * amount))
    return out


def shapes(size):
    """The drawing, back to front. Borders are thicker in pixels' terms at small sizes."""
    border = max(1.0 / size, 0.035)
    inside = [(0.16, 0.50), (0.84, 0.50), (0.74, 0.40), (0.26, 0.40)]
    left_flap = [(0.16, 0.50), (0.26, 0.40), (0.10, 0.26), (0.01, 0.40)]
    right_flap = [(0.84, 0.50), (0.74, 0.40), (0.90, 0.26), (0.99, 0.40)]
    front = [(0.16, 0.50), (0.84, 0.50), (0.84, 0.94), (0.16, 0.94)]
    tape = [(0.44, 0.50), (0.56, 0.50), (0.56, 0.70), (0.44, 0.70)]
    arrow = [(0.40, 0.04), (0.60, 0.04), (0.60, 0.30), (0.76, 0.30),
             (0.50, 0.60), (0.24, 0.30), (0.40, 0.30)]
    drawn = [
        (inside, OUTLINE), (inset(inside, border), BOX_INSIDE),
        (left_flap, OUTLINE), (inset(left_flap, border), FLAP),
        (right_flap, OUTLINE), (inset(right_flap, border), FLAP),
        (arrow, ARROW_EDGE), (inset(arrow, border * 1.2), ARROW),
        (front, OUTLINE), (inset(front, border), BOX_FRONT),
    ]
    if size >= 32:
        # The tape and the shading only read at the larger sizes.
        shade = [(0.62, 0.50 + border), (0.84 - border, 0.50 + border),
                 (0.84 - border, 0.94 - border), (0.62, 0.94 - border)]
        drawn += [(shade, BOX_SIDE), (tape, TAPE)]
    return drawn


def inside_polygon(x, y, poly):
    hit = False
    j = len(poly) - 1
    for i in range(len(poly)):
        xi, yi = poly[i]
        xj, yj = poly[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def over(dst, src):
    """Composites straight-alpha src over dst."""
    sa = src[3] / 255.0
    da = dst[3] / 255.0
    out_a = sa + da * (1 - sa)
    if out_a == 0:
        return (0.0, 0.0, 0.0, 0.0)
    rgb = [(src[k] * sa + dst[k] * da * (1 - sa)) / out_a for k in range(3)]
    return (rgb[0], rgb[1], rgb[2], out_a * 255.0)


def render(size):
    """Returns rows top to bottom of (r, g, b, a) pixels."""
    drawn = shapes(size)
    n = SUPERSAMPLE
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    colour = (0.0, 0.0, 0.0, 0.0)
                    for poly, fill in drawn:
                        if inside_polygon(x, y, poly):
                            colour = over(colour, fill)
                    # Average premultiplied so transparent samples do not darken edges.
                    a = colour[3] / 255.0
                    for k in range(3):
                        acc[k] += colour[k] * a
                    acc[3] += colour[3]
            alpha = acc[3] / (n * n)
            if alpha > 0:
                scale = 255.0 / acc[3]
                pixel = tuple(min(255, int(round(acc[k] * scale))) for k in range(3))
            else:
                pixel = (0, 0, 0)
            row.append(pixel + (int(round(alpha)),))
        rows.append(row)
    return rows


def and_mask(rows):
    """The 1-bit AND mask, rows bottom-up: set where a pixel is (mostly) transparent."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return bytes(mask)


def bmp_entry(rows):
    """BITMAPINFOHEADER + BGRA rows bottom-up + 1-bit AND mask (height doubled, as ICO wants)."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    return header + bytes(pixels) + and_mask(rows)


def palette_entry(rows):
    """BITMAPINFOHEADER + palette + 8-bit rows bottom-up + AND mask: a quarter of the bytes of
    the 32-bit entry. Edges lose their soft alpha (a pixel is either drawn or not); colours are
    rounded until at most 256 remain."""
    size = len(rows)
    step = 1
    while True:
        def rounded(p):
            return tuple(min(255, (c + step // 2) // step * step) for c in p[:3])
        colours = sorted({rounded(p) for row in rows for p in row if p[3] >= 128})
        if len(colours) < 256:
            break
        step *= 2
    colours = [(0, 0, 0)] + colours  # index 0: what the mask hides
    index = {c: i for i, c in enumerate(colours)}
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, len(colours), 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    stride = (size + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, p in enumerate(row):
            line[x] = index[rounded(p)] if p[3] >= 128 else 0
        pixels += line
    return header + palette + bytes(pixels) + and_mask(rows)


def ico(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    data = b""
    for size, bits, blob in images:
        colours = struct.unpack_from("<I", blob, 32)[0] if bits == 8 else 0
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colours % 256, 0, 1, bits, len(blob),
                               offset + len(data))
        data += blob
    return directory + entries + data


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "stub.ico")
    # The small image keeps its alpha (a palette would cost more than it saves there); the
    # larger ones, which are most of the file, are palette images.
    images = [(size, 32, bmp_entry(render(size))) if size <= 16 else (size, 8, palette_entry(render(size)))
              for size in SIZES]
    with open(target, "wb") as f:
        f.write(ico(images))


if __name__ == "__main__":
    main()
