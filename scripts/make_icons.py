#!/usr/bin/env python3
"""Draws the program's icon: a horned monster's head over two crossed blades.

Writes ui/icons/karnwick-arena-15x16.png (the window icon, 8-bit indexed, 256
colours) and karnwick-arena-{16,32,48,256}.png for the desktop (16 indexed, the
others RGBA with smooth edges), and packs the last four into
packaging/windows/karnwick-arena.ico for the Windows programs and installer. Uses only the standard library; run it from
anywhere: python3 scripts/make_icons.py
"""
import math
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ui", "icons")

# Ramps: outline, dark, mid, light, highlight (0-255 levels).
RAMPS = {
    "skin": [(40, 4, 4), (120, 20, 16), (184, 36, 28), (232, 96, 72), (252, 168, 140)],
    "horn": [(36, 32, 20), (132, 120, 92), (188, 176, 140), (232, 224, 196), (252, 248, 232)],
    "steel": [(20, 24, 32), (84, 92, 108), (140, 150, 168), (196, 204, 220), (244, 248, 252)],
    "gold": [(48, 28, 0), (160, 112, 12), (208, 160, 24), (244, 212, 80), (252, 248, 180)],
    "dark": [(16, 0, 0), (40, 4, 8), (64, 8, 12), (96, 16, 20), (120, 24, 28)],
    "fang": [(48, 44, 36), (200, 196, 180), (232, 228, 216), (248, 248, 240), (255, 255, 255)],
}


def ellipse(cu, cy, rx, ry):
    def inside(u, y):
        return ((u - cu) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0

    def normal(u, y):
        nx, ny = (u - cu) / rx, (y - cy) / ry
        return nx, ny, math.sqrt(max(0.0, 1 - nx * nx - ny * ny))

    return inside, normal


def limb(a, b, ra, rb):
    ex, ey = b[0] - a[0], b[1] - a[1]
    l2 = ex * ex + ey * ey

    def near(u, y):
        t = max(0.0, min(1.0, ((u - a[0]) * ex + (y - a[1]) * ey) / l2))
        r = ra + (rb - ra) * t
        return u - (a[0] + ex * t), y - (a[1] + ey * t), r

    def inside(u, y):
        dx, dy, r = near(u, y)
        return dx * dx + dy * dy <= r * r

    def normal(u, y):
        dx, dy, r = near(u, y)
        nx, ny = dx / r, dy / r
        return nx, ny, math.sqrt(max(0.0, 1 - nx * nx - ny * ny))

    return inside, normal


def triangle(p, q, r):
    def side(a, b, u, y):
        return (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (u - a[0])

    def inside(u, y):
        s1, s2, s3 = side(p, q, u, y), side(q, r, u, y), side(r, p, u, y)
        return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)

    return inside, lambda u, y: (0.0, -0.3, 0.95)


# The design in a square: u is the distance from the middle (0 to 1), y runs
# down from 0 to 1. Every part appears on both sides; a part crossing the
# middle (the blades) folds into its mirror image, which crosses the blades.
PARTS = [
    (limb((-0.92, 0.96), (0.96, 0.03), 0.10, 0.05), "steel"),
    (limb((-0.98, 0.78), (-0.70, 0.99), 0.07, 0.07), "gold"),
    (limb((0.50, 0.30), (0.70, 0.02), 0.16, 0.05), "horn"),
    (ellipse(0.0, 0.57, 0.74, 0.40), "skin"),
    (ellipse(0.30, 0.50, 0.19, 0.10), "gold"),
    (ellipse(0.0, 0.79, 0.40, 0.10), "dark"),
    (triangle((0.10, 0.72), (0.30, 0.72), (0.20, 0.87)), "fang"),
]
PUPIL = ellipse(0.30, 0.51, 0.05, 0.09)
BROW = limb((0.10, 0.44), (0.50, 0.36), 0.06, 0.045)


def shade_level(n):
    lam = n[1] * -0.55 + n[2] * 0.835
    if lam > 0.95:
        return 4
    return 1 + min(2, int(max(0.0, lam) * 3.0))


def render(width, height, sub):
    """Colour per pixel (RGBA), sampled sub x sub times per pixel."""
    size = max(width, height)
    edge = max(1.0, size / 22.0) / size  # outline width in design units

    def sample(fx, fy):
        u = abs(fx * 2 - 1) * (size / width) if width != size else abs(fx * 2 - 1)
        y = fy
        col = None
        for (inside, normal), ramp in PARTS:
            if not inside(u, y):
                continue
            near_edge = any(not inside(abs(u + du), y + dy)
                            for du, dy in ((edge, 0), (-edge, 0), (0, edge), (0, -edge)))
            col = RAMPS[ramp][0] if near_edge else RAMPS[ramp][shade_level(normal(u, y))]
        if col is not None:
            if PUPIL[0](u, y):
                col = (8, 0, 0)
            elif BROW[0](u, y):
                col = RAMPS["skin"][0]
        return col

    pixels = []
    for py in range(height):
        row = []
        for px in range(width):
            acc, hits = [0, 0, 0], 0
            for sy in range(sub):
                for sx in range(sub):
                    fx = (px + (sx + 0.5) / sub) / width
                    fy = (py + (sy + 0.5) / sub) / height
                    c = sample(fx, fy)
                    if c:
                        hits += 1
                        acc = [a + b for a, b in zip(acc, c)]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(a / hits) for a in acc) + (round(255 * hits / (sub * sub)),))
        pixels.append(row)
    return pixels


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def write_png(path, width, height, colour_type, rows, extra=b""):
    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    data += extra + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def write_indexed(path, pixels):
    """256-colour PNG; index 0 is the transparent background."""
    palette = [(0, 0, 0)]
    rows = []
    for row in pixels:
        out = []
        for r, g, b, a in row:
            if a < 128:
                out.append(0)
                continue
            if (r, g, b) not in palette:
                palette.append((r, g, b))
            out.append(palette.index((r, g, b)))
        rows.append(out)
    assert len(palette) <= 256
    palette += [(0, 0, 0)] * (256 - len(palette))
    plte = chunk(b"PLTE", bytes(v for c in palette for v in c))
    trns = chunk(b"tRNS", b"\x00")
    write_png(path, len(pixels[0]), len(pixels), 3, rows, plte + trns)


def write_rgba(path, pixels):
    write_png(path, len(pixels[0]), len(pixels), 6, [[v for px in row for v in px] for row in pixels])


def write_ico(path, sizes):
    """Packs the desktop PNGs into one Windows icon, each entry kept as PNG."""
    images = [open(os.path.join(OUT, f"karnwick-arena-{size}.png"), "rb").read() for size in sizes]
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in zip(sizes, images):
        # 0 stands for 256 in a one-byte width or height.
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(images)) + entries + b"".join(images))


def main():
    write_indexed(os.path.join(OUT, "karnwick-arena-15x16.png"), render(15, 16, 1))
    write_indexed(os.path.join(OUT, "karnwick-arena-16.png"), render(16, 16, 1))
    for size in (32, 48, 256):
        write_rgba(os.path.join(OUT, f"karnwick-arena-{size}.png"), render(size, size, 3))
    write_ico(os.path.join(OUT, "..", "..", "packaging", "windows", "karnwick-arena.ico"), (16, 32, 48, 256))


if __name__ == "__main__":
    main()
