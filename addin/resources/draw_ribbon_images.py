#!/usr/bin/env python3
"""Draws the ribbon's pictures: icons 277 to 281 (32 x 32, 32 bits with alpha) and bitmaps
249 (20 x 20) and 254 (16 x 16, both 24 bits).

    draw_ribbon_images.py OUTPUT_DIR

Writes ribbonNNN.ico / ribbonNNN.bmp (NNN = resource id) into OUTPUT_DIR; RibbonImages.rc names
the files. Shapes only, drawn at four times the size and reduced, so the same Pillow gives the
same bytes. Uses the writers of draw_images.py beside it.
"""
import os
import sys

from PIL import Image, ImageDraw

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from draw_images import BLUE, BLUE_DARK, ORANGE, WHITE, write_bmp, write_icon  # noqa: E402

S = 4  # drawing scale
GREEN = (56, 142, 60)
GOLD = (232, 178, 40)
GOLD_DARK = (170, 118, 18)
RED = (200, 60, 50)


def canvas(size=32):
    big = Image.new("RGBA", (size * S, size * S), (0, 0, 0, 0))
    return big, ImageDraw.Draw(big)


def done(big, size=32):
    return big.resize((size, size), Image.LANCZOS)


def p(*xy):
    """Coordinates in 32 x 32 units, scaled."""
    return [v * S for v in xy]


def cert_icon():
    """A member card: a person on a card with a green tick."""
    big, d = canvas()
    d.rounded_rectangle(p(2, 6, 29, 26), radius=3 * S, fill=WHITE + (255,), outline=BLUE_DARK + (255,), width=2 * S)
    d.ellipse(p(6, 9, 13, 16), fill=BLUE + (255,))
    d.pieslice(p(4, 15, 15, 28), 180, 360, fill=BLUE + (255,))
    d.rectangle(p(16, 11, 26, 12), fill=BLUE_DARK + (255,))
    d.rectangle(p(16, 15, 24, 16), fill=BLUE_DARK + (255,))
    d.ellipse(p(18, 17, 31, 30), fill=GREEN + (255,))
    d.line(p(21, 23, 24, 26, 28, 20), fill=WHITE + (255,), width=2 * S, joint="curve")
    return done(big)


def help_icon():
    """A blue disc with a question mark."""
    big, d = canvas()
    d.ellipse(p(2, 2, 29, 29), fill=BLUE + (255,), outline=BLUE_DARK + (255,), width=S)
    d.arc(p(10, 7, 21, 17), 180, 60, fill=WHITE + (255,), width=3 * S)
    d.line(p(19, 15, 15.5, 18, 15.5, 20), fill=WHITE + (255,), width=3 * S)
    d.ellipse(p(14, 22, 17.5, 25.5), fill=WHITE + (255,))
    return done(big)


def home_icon():
    """A house with an orange roof."""
    big, d = canvas()
    d.rectangle(p(7, 15, 25, 28), fill=WHITE + (255,), outline=BLUE_DARK + (255,), width=2 * S)
    d.polygon(p(3, 16, 16, 4, 29, 16), fill=ORANGE + (255,), outline=(180, 90, 20, 255))
    d.rectangle(p(13, 20, 19, 28), fill=BLUE + (255,))
    return done(big)


def info_icon():
    """A green disc with an i."""
    big, d = canvas()
    d.ellipse(p(2, 2, 29, 29), fill=GREEN + (255,), outline=(30, 100, 40, 255), width=S)
    d.ellipse(p(14, 7, 18, 11), fill=WHITE + (255,))
    d.rectangle(p(14, 13, 17.5, 24), fill=WHITE + (255,))
    return done(big)


def pay_icon():
    """Two gold coins, one in front of the other."""
    big, d = canvas()
    d.ellipse(p(2, 4, 21, 23), fill=GOLD_DARK + (255,))
    d.ellipse(p(10, 10, 30, 30), fill=GOLD + (255,), outline=GOLD_DARK + (255,), width=2 * S)
    d.ellipse(p(14, 14, 26, 26), outline=GOLD_DARK + (255,), width=S)
    d.line(p(20, 16, 20, 24), fill=RED + (255,), width=2 * S)
    return done(big)


def magnifier_bitmap():
    """The ribbon box's search button: a magnifier on white, 20 x 20."""
    big = Image.new("RGB", (20 * S, 20 * S), WHITE)
    d = ImageDraw.Draw(big)
    d.ellipse([v * S for v in (2, 2, 13, 13)], fill=(230, 240, 252), outline=BLUE_DARK, width=2 * S)
    d.line([v * S for v in (11.5, 11.5, 18, 18)], fill=BLUE_DARK, width=3 * S)
    return big.resize((20, 20), Image.LANCZOS)


def pane_bitmap():
    """The show-the-pane button: a window with a docked pane at its right, 16 x 16."""
    big = Image.new("RGB", (16 * S, 16 * S), WHITE)
    d = ImageDraw.Draw(big)
    d.rectangle([v * S for v in (1, 2, 15, 14)], fill=WHITE, outline=BLUE_DARK, width=S)
    d.rectangle([v * S for v in (1, 2, 15, 4)], fill=BLUE_DARK)
    d.rectangle([v * S for v in (10, 4, 15, 14)], fill=BLUE)
    return big.resize((16, 16), Image.LANCZOS)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw_ribbon_images.py OUTPUT_DIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for resource, img in ((277, cert_icon()), (278, help_icon()), (279, home_icon()), (280, info_icon()),
                          (281, pay_icon())):
        write_icon(os.path.join(out, "ribbon%d.ico" % resource), img)
    write_bmp(os.path.join(out, "ribbon249.bmp"), magnifier_bitmap())
    write_bmp(os.path.join(out, "ribbon254.bmp"), pane_bitmap())


if __name__ == "__main__":
    main()
