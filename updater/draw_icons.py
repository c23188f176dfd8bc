#!/usr/bin/env python3
"""Draws the updater's icons: 107 (large, 32 and 48 px), 108 (small, 16 px) and 128 (the about
box, 32 px).

    draw_icons.py OUTPUT_DIR

Writes updater107.ico, updater108.ico and updater128.ico; KVUpdater.rc names them. Each image
is a 32-bit DIB with alpha and its AND mask, which every Windows and Wine version reads.
Needs Pillow (Debian's python3-pil).
"""
import os
import struct
import sys

from PIL import Image, ImageDraw

BLUE_DARK = (47, 88, 146, 255)
BLUE = (74, 127, 193, 255)
WHITE = (255, 255, 255, 255)
ORANGE = (232, 126, 32, 255)


def draw(size, accent):
    """A blue tile with a white arrow into a tray: the library being put in place. Drawn at four
    times the size and reduced, for smooth edges."""
    s = size * 4
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    r = s // 6
    d.rounded_rectangle([0, 0, s - 1, s - 1], radius=r, fill=BLUE_DARK)
    d.rounded_rectangle([s // 16, s // 16, s - 1 - s // 16, s - 1 - s // 16], radius=r - s // 16, fill=BLUE)
    # The arrow.
    cx = s // 2
    shaft = s // 8
    d.rectangle([cx - shaft // 2, s * 3 // 16, cx + shaft // 2, s * 9 // 16], fill=WHITE)
    d.polygon([(cx - s * 5 // 16, s * 8 // 16), (cx + s * 5 // 16, s * 8 // 16), (cx, s * 12 // 16)], fill=WHITE)
    # The tray.
    t = s // 12
    d.rectangle([s * 3 // 16, s * 13 // 16, s * 13 // 16, s * 13 // 16 + t], fill=accent)
    d.rectangle([s * 3 // 16, s * 10 // 16, s * 3 // 16 + t, s * 13 // 16 + t], fill=accent)
    d.rectangle([s * 13 // 16 - t, s * 10 // 16, s * 13 // 16, s * 13 // 16 + t], fill=accent)
    return img.resize((size, size), Image.LANCZOS)


def dib(img):
    """BITMAPINFOHEADER (double height for the mask), bottom-up BGRA rows, then the AND mask."""
    w, h = img.size
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    px = img.load()
    colour = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[x, y]
            colour += bytes((b, g, r, a))
    stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if px[x, y][3] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + bytes(colour) + bytes(mask)


def write_ico(path, images):
    blobs = [dib(i) for i in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for img, blob in zip(images, blobs):
        w, h = img.size
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(out)
    os.replace(tmp, path)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw_icons.py OUTPUT_DIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, "updater107.ico"), [draw(32, WHITE), draw(48, WHITE)])
    write_ico(os.path.join(out, "updater108.ico"), [draw(16, WHITE)])
    write_ico(os.path.join(out, "updater128.ico"), [draw(32, ORANGE)])


if __name__ == "__main__":
    main()
