#!/usr/bin/env python3
"""Draws the task pane's and the popup's bitmaps, the two header icons and the hand cursor.

    draw_images.py OUTPUT_DIR

Writes paneNNN.bmp / paneNNN.ico / paneNNN.cur (NNN = resource id) into OUTPUT_DIR; the build
runs it into the build tree and PaneImages.rc names the files. The same fonts give the same
bytes. Needs Pillow (Debian's python3-pil) and a Hangul font (fonts-nanum).

Transparent colours, as the buttons are told: the list's file-type images (226, 236-240) use
teal (0, 128, 128), the popup's bitmaps white; the cursor and icons carry an alpha channel.
"""
import os
import struct
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFont

TEAL = (0, 128, 128)
WHITE = (255, 255, 255)
INK = (51, 51, 51)
BLUE_DARK = (47, 88, 146)
BLUE = (74, 127, 193)
BLUE_LIGHT = (214, 232, 255)
ORANGE = (232, 126, 32)
LINE_GREY = (208, 215, 226)

# Faces named for these texts first, then any installed Hangul face.
FACE_PREFERENCE = ["Dotum", "돋움", "Gulim", "굴림", "NanumGothic", "NanumBarunGothic"]


def hangul_fonts():
    """(regular, bold) font files: the preferred Hangul faces, else any with Korean coverage."""
    try:
        listing = subprocess.run(["fc-list", ":lang=ko", "family", "style", "file"], capture_output=True,
                                 text=True, check=True).stdout.splitlines()
    except (OSError, subprocess.CalledProcessError):
        listing = []
    entries = []
    for line in sorted(listing):
        path, _, rest = line.partition(": ")
        families, _, style = rest.partition(":style=")
        entries.append((path, families.split(","), style))

    def pick(bold):
        for face in FACE_PREFERENCE:
            for path, families, style in entries:
                if face in families and (("Bold" in style) == bold) and path.endswith((".ttf", ".otf", ".ttc")):
                    return path
        for path, families, style in entries:
            if ("Bold" in style) == bold:
                return path
        return entries[0][0] if entries else None

    regular, bold = pick(False), pick(True)
    if not regular:
        sys.exit("draw_images: no Hangul font installed (fonts-nanum)")
    return regular, bold or regular


REGULAR, BOLD = hangul_fonts()


def font(size, bold=False):
    return ImageFont.truetype(BOLD if bold else REGULAR, size)


def text_centre(draw, box, text, size, fill, bold=False):
    f = font(size, bold)
    left, top, right, bottom = draw.textbbox((0, 0), text, font=f)
    x = box[0] + (box[2] - box[0] - (right - left)) // 2 - left
    y = box[1] + (box[3] - box[1] - (bottom - top)) // 2 - top
    draw.text((x, y), text, font=f, fill=fill)


def gradient(size, top, bottom):
    w, h = size
    img = Image.new("RGB", size)
    px = img.load()
    for y in range(h):
        t = y / max(h - 1, 1)
        c = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        for x in range(w):
            px[x, y] = c
    return img


def rounded_button(size, top, bottom, border, label, label_colour, label_size, bold=False, radius=3):
    """A button face on white (the popup's transparent colour), corners rounded."""
    w, h = size
    face = gradient(size, top, bottom)
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, w - 1, h - 1), radius=radius, fill=255)
    img = Image.new("RGB", size, WHITE)
    img.paste(face, (0, 0), mask)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((0, 0, w - 1, h - 1), radius=radius, outline=border)
    if label:
        text_centre(d, (0, 0, w, h), label, label_size, label_colour, bold)
    return img


# --- File-type images (20 x 20, teal transparent) ----------------------------------------

def page(d, accent):
    """A white page with a folded corner and a coloured top band."""
    d.polygon([(3, 1), (12, 1), (16, 5), (16, 18), (3, 18)], fill=WHITE, outline=(120, 120, 120))
    d.polygon([(12, 1), (12, 5), (16, 5)], fill=(225, 225, 225), outline=(120, 120, 120))
    d.rectangle((4, 2, 11, 3), fill=accent)


def word_image(accent, ink):
    img = Image.new("RGB", (20, 20), TEAL)
    d = ImageDraw.Draw(img)
    page(d, accent)
    for y in (7, 9, 11, 13, 15):
        d.line((5, y, 14 if y != 15 else 11, y), fill=ink)
    return img


def sheet_image(accent, ink):
    img = Image.new("RGB", (20, 20), TEAL)
    d = ImageDraw.Draw(img)
    page(d, accent)
    d.rectangle((5, 7, 14, 16), fill=WHITE, outline=ink)
    for x in (8, 11):
        d.line((x, 7, x, 16), fill=ink)
    for y in (10, 13):
        d.line((5, y, 14, y), fill=ink)
    d.rectangle((5, 7, 14, 9), fill=accent, outline=ink)
    return img


def slide_image(accent, ink):
    img = Image.new("RGB", (20, 20), TEAL)
    d = ImageDraw.Draw(img)
    page(d, accent)
    d.rectangle((5, 7, 14, 14), fill=(250, 250, 250), outline=ink)
    for x, top in ((7, 11), (9, 9), (11, 10)):  # a small bar chart on the slide
        d.rectangle((x, top, x + 1, 13), fill=accent)
    d.line((6, 16, 13, 16), fill=ink)
    return img


GREY_ACCENT, GREY_INK = (176, 176, 176), (160, 160, 160)

# --- Header icons (32 x 16, alpha) --------------------------------------------------------


def header_icon(open_state):
    """A round badge at the right with a chevron: up when the section is open (click folds it)."""
    scale = 4
    big = Image.new("RGBA", (32 * scale, 16 * scale), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    cx, cy, r = 23 * scale, 8 * scale, 6 * scale
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=(255, 255, 255, 255), outline=BLUE + (255,), width=scale)
    s = 3 * scale
    if open_state:
        pts = [(cx - s, cy + s // 2), (cx, cy - s // 2 - scale // 2), (cx + s, cy + s // 2)]
    else:
        pts = [(cx - s, cy - s // 2), (cx, cy + s // 2 + scale // 2), (cx + s, cy - s // 2)]
    d.line(pts, fill=BLUE_DARK + (255,), width=int(1.6 * scale), joint="curve")
    return big.resize((32, 16), Image.LANCZOS)


# --- Hand cursor (32 x 32, alpha), hot spot at the fingertip ---------------------------------


HAND = [
    "      XX          ",
    "     XooX         ",
    "     XooX         ",
    "     XooX         ",
    "     XooX         ",
    "     XooXXX       ",
    "     XooXooXXX    ",
    "     XooXooXooXX  ",
    "  XX XooXooXooXoX ",
    " XooXXooooooooXooX",
    " XoooXoooooooooooX",
    "  XooXoooooooooooX",
    "  XooooooooooooooX",
    "   XoooooooooooooX",
    "   XooooooooooooX ",
    "    XoooooooooooX ",
    "    XooooooooooX  ",
    "     XoooooooooX  ",
    "     XoooooooooX  ",
    "     XXXXXXXXXXX  ",
]


def hand_cursor():
    """A pointing hand, black outline and white fill; the hot spot is the fingertip."""
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    for y, row in enumerate(HAND):
        for x, c in enumerate(row):
            if c == "X":
                img.putpixel((x, y), (0, 0, 0, 255))
            elif c == "o":
                img.putpixel((x, y), (255, 255, 255, 255))
    return img, (6, 0)


# --- Popup pictures (white transparent) ----------------------------------------------------


def left_picture(size):
    """The plain login's left-hand picture: a welcome panel with a stack of templates."""
    w, h = size
    img = gradient(size, (238, 245, 255), (205, 224, 248))
    d = ImageDraw.Draw(img)
    text_centre(d, (0, 18, w, 40), "케스트로바", 17, BLUE_DARK, bold=True)
    text_centre(d, (0, 42, w, 58), "서식 회원인증", 12, INK)
    # Three stacked pages.
    for k, (dx, dy) in enumerate(((-18, 10), (-6, 4), (6, -2))):
        x0, y0 = w // 2 - 26 + dx + 12, h // 2 - 30 + dy + 14
        d.rectangle((x0, y0, x0 + 52, y0 + 66), fill=WHITE, outline=(140, 160, 190))
        d.rectangle((x0 + 6, y0 + 6, x0 + 46, y0 + 12), fill=(BLUE, ORANGE, (70, 150, 90))[k])
        for y in range(y0 + 20, y0 + 60, 7):
            d.line((x0 + 6, y, x0 + 46, y), fill=(200, 205, 215))
    text_centre(d, (8, h - 60, w - 8, h - 42), "로그인하시면", 12, INK)
    text_centre(d, (8, h - 42, w - 8, h - 24), "더 많은 서식을 받으실 수 있습니다", 11, INK)
    d.rectangle((0, 0, w - 1, h - 1), outline=(190, 205, 228))
    return img


def upgrade_banner(size, title, line, accent):
    w, h = size
    img = rounded_button(size, (255, 250, 238), (253, 231, 196), accent, None, None, 0, radius=4)
    d = ImageDraw.Draw(img)
    d.rectangle((6, 9, 9, h - 10), fill=accent)
    f_title, f_line = font(14, True), font(11)
    d.text((16, 10), title, font=f_title, fill=(120, 60, 10))
    d.text((16, 34), line, font=f_line, fill=INK)
    cx, cy = w - 12, h // 2
    d.line([(cx - 3, cy - 6), (cx + 3, cy), (cx - 3, cy + 6)], fill=accent, width=2)
    return img


def link_button(size, label, accent):
    w, h = size
    img = rounded_button(size, (255, 255, 255), (240, 246, 255), (170, 190, 220), None, None, 0)
    d = ImageDraw.Draw(img)
    d.polygon([(7, h // 2 - 4), (7, h // 2 + 4), (12, h // 2)], fill=accent)
    f = font(12, True)
    left, top, right, bottom = d.textbbox((0, 0), label, font=f)
    d.text((17 - left, (h - (bottom - top)) // 2 - top), label, font=f, fill=BLUE_DARK)
    return img


def search_button():
    """The pane's search button (40 x 20): a magnifier and "검색" on white."""
    img = Image.new("RGB", (40, 20), WHITE)
    d = ImageDraw.Draw(img)
    d.ellipse((3, 4, 11, 12), outline=BLUE_DARK, width=2)
    d.line((10, 11, 14, 15), fill=BLUE_DARK, width=2)
    f = font(11, True)
    left, top, right, bottom = d.textbbox((0, 0), "검색", font=f)
    d.text((16 - left, (20 - (bottom - top)) // 2 - top), "검색", font=f, fill=BLUE_DARK)
    return img


def loading_splash(size):
    """The loading splash (255 x 180): the template is being fetched."""
    w, h = size
    img = gradient(size, (250, 252, 255), (218, 232, 250))
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, w - 1, h - 1), outline=(120, 150, 196))
    d.rectangle((0, 0, w - 1, 28), fill=BLUE)
    text_centre(d, (0, 0, w, 28), "케스트로바 서식", 13, WHITE, bold=True)
    # A page being brought down.
    x0, y0 = w // 2 - 22, 44
    d.rectangle((x0, y0, x0 + 44, y0 + 56), fill=WHITE, outline=(140, 160, 190))
    for y in range(y0 + 10, y0 + 50, 8):
        d.line((x0 + 7, y, x0 + 37, y), fill=(200, 205, 215))
    d.polygon([(x0 + 14, y0 + 58), (x0 + 30, y0 + 58), (x0 + 22, y0 + 68)], fill=ORANGE)
    text_centre(d, (0, 118, w, 138), "서식을 가져오고 있습니다", 13, BLUE_DARK, bold=True)
    text_centre(d, (0, 140, w, 158), "잠시만 기다려 주세요", 11, INK)
    # A progress strip of dots.
    for k in range(7):
        cx = w // 2 - 36 + 12 * k
        d.ellipse((cx - 3, 163, cx + 3, 169), fill=ORANGE if k < 4 else (200, 210, 225))
    return img


# --- Membership dialogs (pictures that fill their dialogs) -------------------------------


def stacked_pages(d, cx, cy, scale=1.0):
    """Three stacked template pages around (cx, cy), as on the plain login's picture."""
    pw, ph = round(52 * scale), round(66 * scale)
    for k, (dx, dy) in enumerate(((-18, 10), (-6, 4), (6, -2))):
        x0, y0 = cx - pw // 2 + round(dx * scale), cy - ph // 2 + round(dy * scale)
        d.rectangle((x0, y0, x0 + pw, y0 + ph), fill=WHITE, outline=(140, 160, 190))
        d.rectangle((x0 + 6, y0 + 6, x0 + pw - 6, y0 + 12), fill=(BLUE, ORANGE, (70, 150, 90))[k])
        for y in range(y0 + 20, y0 + ph - 6, 7):
            d.line((x0 + 6, y, x0 + pw - 6, y), fill=(200, 205, 215))


def login_complete_picture(size):
    """The login-complete dialog (286 x 163): a check mark and the confirmation; the dialog's
    OK button sits on the lower middle (about x 107-186, y 117-144)."""
    w, h = size
    img = gradient(size, (250, 252, 255), (220, 233, 250))
    d = ImageDraw.Draw(img)
    # A round badge with a check mark.
    cx, cy, r = 56, 52, 26
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=BLUE, outline=BLUE_DARK, width=2)
    d.line([(cx - 12, cy + 1), (cx - 3, cy + 10), (cx + 13, cy - 9)], fill=WHITE, width=5)
    f_title, f_line = font(17, True), font(12)
    d.text((96, 30), "회원인증 완료", font=f_title, fill=BLUE_DARK)
    d.text((96, 58), "로그인이 정상적으로 되었습니다", font=f_line, fill=INK)
    d.text((96, 76), "회원 서식을 바로 받으세요", font=f_line, fill=INK)
    d.line((20, 104, w - 20, 104), fill=LINE_GREY)
    d.rectangle((0, 0, w - 1, h - 1), outline=(190, 205, 228))
    return img


def about_picture(size):
    """The about box (406 x 260). The dialog writes its two version lines in white at about
    x 315, y 21 and y 37, over the dark band; its OK button sits at about x 294-381, y 201-232."""
    w, h = size
    img = Image.new("RGB", size, WHITE)
    band = gradient((w, 74), (47, 88, 146), (74, 127, 193))
    img.paste(band, (0, 0))
    d = ImageDraw.Draw(img)
    d.text((18, 14), "케스트로바 서식", font=font(20, True), fill=WHITE)
    d.text((20, 44), "서식 검색 추가 기능", font=font(12), fill=BLUE_LIGHT)
    f = font(11)
    for y, label in ((21, "현재 버전"), (37, "최신 버전")):
        left, top, right, bottom = d.textbbox((0, 0), label, font=f)
        d.text((305 - (right - left) - left, y - top), label, font=f, fill=BLUE_LIGHT)
    d.rectangle((0, 74, w, 77), fill=ORANGE)
    stacked_pages(d, 80, 150, 0.9)
    f_line = font(12)
    lines = ("워드, 엑셀, 파워포인트에서", "필요한 서식을 찾아 바로 엽니다.", "", "회원 서식은 회원인증 후 이용하세요.")
    for k, line in enumerate(lines):
        d.text((150, 100 + 19 * k), line, font=f_line, fill=INK)
    d.line((18, 188, w - 18, 188), fill=LINE_GREY)
    d.text((18, 208), "Copyright (c) 케스트로바. All rights reserved.", font=font(10), fill=(130, 130, 130))
    d.rectangle((0, 0, w - 1, h - 1), outline=(120, 150, 196))
    return img


def separator_pattern():
    img = Image.new("RGB", (3, 1), WHITE)
    img.putpixel((0, 0), (170, 170, 170))
    return img


# --- Writers -------------------------------------------------------------------------------


def dib_32(img):
    """BITMAPINFOHEADER with doubled height, BGRA rows bottom-up, then the AND mask."""
    w, h = img.size
    px = img.load()
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a)) if a else b"\0\0\0\0"
    stride = (w + 31) // 32 * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if px[x, y][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_icon(path, img, hotspot=None):
    """One-image .ico (or .cur with a hot spot)."""
    w, h = img.size
    data = dib_32(img.convert("RGBA"))
    kind = 2 if hotspot else 1
    planes, bits = hotspot if hotspot else (1, 32)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, kind, 1))
        f.write(struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, planes, bits, len(data), 22))
        f.write(data)


def write_bmp(path, img):
    img.convert("RGB").save(path, "BMP")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw_images.py OUTPUT_DIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)

    def bmp(resource, img):
        write_bmp(os.path.join(out, "pane%d.bmp" % resource), img)

    blue, green, orange = (52, 101, 164), (56, 142, 60), (222, 110, 38)
    ink = (110, 110, 110)
    bmp(236, word_image(blue, ink))
    bmp(226, sheet_image(green, ink))
    bmp(237, slide_image(orange, ink))
    bmp(239, word_image(GREY_ACCENT, GREY_INK))
    bmp(240, sheet_image(GREY_ACCENT, GREY_INK))
    bmp(238, slide_image(GREY_ACCENT, GREY_INK))

    grey_top, grey_bottom, grey_border = (252, 252, 252), (228, 231, 236), (160, 168, 180)
    bmp(256, rounded_button((38, 22), grey_top, grey_bottom, grey_border, "닫기", INK, 11))
    bmp(257, rounded_button((80, 25), (255, 255, 255), (233, 241, 252), (120, 150, 196), "서식 상세보기", BLUE_DARK, 11,
                            bold=True))
    bmp(258, rounded_button((66, 54), (98, 150, 214), (47, 98, 168), (38, 78, 138), "로그인", WHITE, 14, bold=True))
    bmp(259, rounded_button((57, 22), grey_top, grey_bottom, grey_border, "로그아웃", INK, 11))
    bmp(260, link_button((129, 21), "주간 업데이트 서식", BLUE))
    bmp(266, link_button((129, 21), "프리미엄 주간 서식", ORANGE))
    bmp(262, Image.new("RGB", (1, 261), LINE_GREY))
    bmp(263, Image.new("RGB", (204, 1), LINE_GREY))
    bmp(264, left_picture((180, 261)))
    bmp(267, upgrade_banner((202, 61), "정회원 가입 안내", "정회원은 모든 서식을 받습니다", ORANGE))
    bmp(268, upgrade_banner((202, 61), "기업/프리미엄 회원 안내", "프리미엄 서식까지 이용하세요", BLUE))
    bmp(275, separator_pattern())
    bmp(245, search_button())
    bmp(273, loading_splash((255, 180)))
    bmp(265, login_complete_picture((286, 163)))
    bmp(270, about_picture((406, 260)))

    write_icon(os.path.join(out, "pane221.ico"), header_icon(True))
    write_icon(os.path.join(out, "pane223.ico"), header_icon(False))
    cursor, hotspot = hand_cursor()
    write_icon(os.path.join(out, "pane218.cur"), cursor, hotspot)


if __name__ == "__main__":
    main()
