#!/usr/bin/env python3
"""Draws the program's icon and bitmaps (src/resources/*.ico, *.bmp).

The images are committed; run this again only to change them:
    python3 scripts/make-resource-images.py src/resources
"""
import math
import struct
import sys
from pathlib import Path


def canvas(w, h, rgba=(0, 0, 0, 0)):
    return [[rgba for _ in range(w)] for _ in range(h)]


def rect(img, x0, y0, x1, y1, c):
    for y in range(max(0, y0), min(len(img), y1)):
        for x in range(max(0, x0), min(len(img[0]), x1)):
            img[y][x] = c


def disc(img, cx, cy, r, c):
    for y in range(len(img)):
        for x in range(len(img[0])):
            if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                img[y][x] = c


def thick_line(img, x0, y0, x1, y1, width, c):
    steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 4) + 1
    for i in range(steps + 1):
        t = i / steps
        disc_small(img, x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, width / 2, c)


def disc_small(img, cx, cy, r, c):
    for y in range(int(cy - r) - 1, int(cy + r) + 2):
        for x in range(int(cx - r) - 1, int(cx + r) + 2):
            if 0 <= y < len(img) and 0 <= x < len(img[0]):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    img[y][x] = c


def printer(size):
    """A printer with a wave on its page: the program's icon."""
    s = size / 32.0
    img = canvas(size, size)
    dark = (60, 64, 72, 255)
    body = (150, 156, 168, 255)
    paper = (250, 250, 250, 255)
    wave = (30, 110, 200, 255)
    rect(img, int(8 * s), int(2 * s), int(24 * s), int(12 * s), paper)        # page in the tray
    rect(img, int(2 * s), int(11 * s), int(30 * s), int(24 * s), dark)        # body outline
    rect(img, int(3 * s), int(12 * s), int(29 * s), int(23 * s), body)
    rect(img, int(23 * s), int(14 * s), int(27 * s), int(16 * s), (80, 200, 90, 255))  # ready lamp
    rect(img, int(7 * s), int(19 * s), int(25 * s), int(30 * s), paper)       # page out
    for x in range(int(8 * s), int(24 * s)):
        y = 24 * s + math.sin((x / s - 8) / 16 * 2 * math.pi) * 2 * s
        disc_small(img, x + 0.5, y, max(0.8, 0.9 * s), wave)
    return img


def check_mark(w, h):
    """Success picture: a green disc with a white tick."""
    img = canvas(w, h, (240, 240, 240, 255))
    disc(img, w / 2, h / 2, min(w, h) / 2 - 1, (40, 160, 70, 255))
    thick_line(img, w * 0.27, h * 0.52, w * 0.44, h * 0.70, w / 9, (255, 255, 255, 255))
    thick_line(img, w * 0.44, h * 0.70, w * 0.75, h * 0.32, w / 9, (255, 255, 255, 255))
    return img


def key_picture(w, h):
    """Community-name picture: a key in front of a network cable."""
    img = canvas(w, h, (240, 240, 240, 255))
    gold = (200, 150, 30, 255)
    rect(img, 0, int(h * 0.78), w, int(h * 0.84), (90, 120, 170, 255))
    disc(img, w * 0.28, h * 0.45, h * 0.22, gold)
    disc(img, w * 0.28, h * 0.45, h * 0.09, (240, 240, 240, 255))
    rect(img, int(w * 0.40), int(h * 0.41), int(w * 0.88), int(h * 0.50), gold)
    rect(img, int(w * 0.70), int(h * 0.50), int(w * 0.76), int(h * 0.62), gold)
    rect(img, int(w * 0.80), int(h * 0.50), int(w * 0.86), int(h * 0.58), gold)
    return img


def bmp24(img):
    h, w = len(img), len(img[0])
    row_size = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for r, g, b, _ in img[y]:
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header)) + header + data


def ico_image(img):
    h, w = len(img), len(img[0])
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for r, g, b, a in img[y]:
            xor += bytes((b, g, r, a))
    mask_row = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(w):
            if img[y][x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for img in images:
        blob = ico_image(img)
        w = len(img[0])
        out += struct.pack("<BBBBHHII", w % 256, len(img) % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b"".join(blobs)


def main():
    outdir = Path(sys.argv[1] if len(sys.argv) > 1 else "src/resources")
    # Every size the system asks for between 100 % and 200 %, so no icon is
    # stretched; the bitmaps once for 100 %, 150 % and 200 %.
    (outdir / "tideway.ico").write_bytes(ico([printer(n) for n in (64, 48, 40, 32, 24, 20, 16)]))
    for suffix, scale in (("", 1), ("-144", 1.5), ("-192", 2)):
        (outdir / f"success{suffix}.bmp").write_bytes(bmp24(check_mark(round(32 * scale), round(32 * scale))))
        (outdir / f"community{suffix}.bmp").write_bytes(bmp24(key_picture(round(69 * scale), round(58 * scale))))


if __name__ == "__main__":
    main()
