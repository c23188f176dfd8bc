#!/usr/bin/env python3
"""Draws the task pane's and the popup's bitmaps, the two header icons and the hand cursor.

    draw_images.py OUTPUT_DIR

Writes paneNNN.bmp / paneNNN.ico / paneNNN.cur (NNN = resource id) into OUTPUT_DIR; the build
runs it into the build tree and PaneImages.rc names the files. Every picture is drawn three
times, at 100%, 150% and 200%: the larger copies are drawn at their size (coordinates, strokes
and fonts scaled), never stretched, and carry the ids NNN + 1000 and NNN + 2000. The same fonts
give the same bytes. Needs Pillow (Debian's python3-pil) and a Hangul font (fonts-nanum).

The popup's and the membership dialogs' pictures are drawn at the size of their places: the
dialog template's rectangle in dialog units times the dialog font's base units at that scale
(DIALOG_UNITS below, measured under Wine with the templates' fonts).

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


class ScaledDraw:
    """ImageDraw in 100% coordinates on a picture drawn at scale s: every coordinate, stroke and
    font size is multiplied by s. At s = 1 it draws exactly what ImageDraw draws."""

    def __init__(self, img, s):
        self.d = ImageDraw.Draw(img)
        self.s = s

    def v(self, x):
        return round(x * self.s)

    def box(self, b):
        # Inclusive ends: a cell from x0 to x1 covers (x1 + 1 - x0) * s pixels.
        x0, y0, x1, y1 = b
        return (self.v(x0), self.v(y0), max(self.v(x0), self.v(x1 + 1) - 1), max(self.v(y0), self.v(y1 + 1) - 1))

    def pts(self, points):
        return [(self.v(x), self.v(y)) for x, y in points]

    def width(self, w):
        return max(1, round(w * self.s))

    def font(self, size, bold=False):
        return font(max(1, round(size * self.s)), bold)

    def polygon(self, points, **kw):
        self.d.polygon(self.pts(points), **kw)

    def rectangle(self, b, **kw):
        self.d.rectangle(self.box(b), **kw)

    def ellipse(self, b, width=1, **kw):
        self.d.ellipse(self.box(b), width=self.width(width), **kw)

    def line(self, points, fill=None, width=1, **kw):
        if len(points) == 4 and not isinstance(points[0], tuple):
            points = [(points[0], points[1]), (points[2], points[3])]
        w = self.width(width)
        pts = self.pts(points)
        if w > 1 and width == 1 and len(pts) == 2 and (pts[0][0] == pts[1][0] or pts[0][1] == pts[1][1]):
            # A one-pixel rule stays a crisp band at the scale.
            (x0, y0), (x1, y1) = pts
            self.d.rectangle((min(x0, x1), min(y0, y1), max(x0, x1) + (w - 1 if x0 == x1 else 0),
                              max(y0, y1) + (w - 1 if y0 == y1 else 0)), fill=fill)
            return
        self.d.line(pts, fill=fill, width=w, **kw)

    def text(self, xy, text, size, fill, bold=False):
        self.d.text((self.v(xy[0]), self.v(xy[1])), text, font=self.font(size, bold), fill=fill)

    def text_right(self, right, top, text, size, fill):
        """Text ending at x right, its ink starting at y top (100% coordinates)."""
        f = self.font(size)
        left, t, r, b = self.d.textbbox((0, 0), text, font=f)
        self.d.text((self.v(right) - (r - left) - left, self.v(top) - t), text, font=f, fill=fill)

    def text_centre(self, box, text, size, fill, bold=False):
        text_centre(self.d, tuple(self.v(c) for c in box), text, max(1, round(size * self.s)), fill, bold)

    def text_left_middle(self, x, h, text, size, fill, bold=False):
        """Text from x, centred in a height of h (100% units)."""
        f = self.font(size, bold)
        left, top, right, bottom = self.d.textbbox((0, 0), text, font=f)
        self.d.text((self.v(x) - left, (self.v(h) - (bottom - top)) // 2 - top), text, font=f, fill=fill)


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


def rounded_button(size, top, bottom, border, label, label_colour, label_size, bold=False, radius=3, s=1):
    """A button face on white (the popup's transparent colour), corners rounded; size in pixels,
    radius, border and label at scale s."""
    w, h = size
    face = gradient(size, top, bottom)
    mask = Image.new("L", size, 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, w - 1, h - 1), radius=round(radius * s), fill=255)
    img = Image.new("RGB", size, WHITE)
    img.paste(face, (0, 0), mask)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((0, 0, w - 1, h - 1), radius=round(radius * s), outline=border, width=max(1, round(s)))
    if label:
        text_centre(d, (0, 0, w, h), label, round(label_size * s), label_colour, bold)
    return img


# --- File-type images (20 x 20 at 100%, teal transparent) -----------------------------------

def page(d, accent):
    """A white page with a folded corner and a coloured top band."""
    d.polygon([(3, 1), (12, 1), (16, 5), (16, 18), (3, 18)], fill=WHITE, outline=(120, 120, 120))
    d.polygon([(12, 1), (12, 5), (16, 5)], fill=(225, 225, 225), outline=(120, 120, 120))
    d.rectangle((4, 2, 11, 3), fill=accent)


def file_canvas(s):
    img = Image.new("RGB", (round(20 * s), round(20 * s)), TEAL)
    return img, ScaledDraw(img, s)


def word_image(accent, ink, s=1):
    img, d = file_canvas(s)
    page(d, accent)
    for y in (7, 9, 11, 13, 15):
        d.line((5, y, 14 if y != 15 else 11, y), fill=ink)
    return img


def sheet_image(accent, ink, s=1):
    img, d = file_canvas(s)
    page(d, accent)
    d.rectangle((5, 7, 14, 16), fill=WHITE, outline=ink)
    for x in (8, 11):
        d.line((x, 7, x, 16), fill=ink)
    for y in (10, 13):
        d.line((5, y, 14, y), fill=ink)
    d.rectangle((5, 7, 14, 9), fill=accent, outline=ink)
    return img


def slide_image(accent, ink, s=1):
    img, d = file_canvas(s)
    page(d, accent)
    d.rectangle((5, 7, 14, 14), fill=(250, 250, 250), outline=ink)
    for x, top in ((7, 11), (9, 9), (11, 10)):  # a small bar chart on the slide
        d.rectangle((x, top, x + 1, 13), fill=accent)
    d.line((6, 16, 13, 16), fill=ink)
    return img


GREY_ACCENT, GREY_INK = (176, 176, 176), (160, 160, 160)

# --- Header icons (32 x 16 at 100%, alpha) ---------------------------------------------------


def header_icon(open_state, s=1):
    """A round badge at the right with a chevron: up when the section is open (click folds it)."""
    scale = 4
    big = Image.new("RGBA", (32 * scale, 16 * scale), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    cx, cy, r = 23 * scale, 8 * scale, 6 * scale
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=(255, 255, 255, 255), outline=BLUE + (255,), width=scale)
    k = 3 * scale
    if open_state:
        pts = [(cx - k, cy + k // 2), (cx, cy - k // 2 - scale // 2), (cx + k, cy + k // 2)]
    else:
        pts = [(cx - k, cy - k // 2), (cx, cy + k // 2 + scale // 2), (cx + k, cy - k // 2)]
    d.line(pts, fill=BLUE_DARK + (255,), width=int(1.6 * scale), joint="curve")
    if s == 1:
        return big.resize((32, 16), Image.LANCZOS)
    # Larger copies: the same drawing made at their own size (strokes at the scale).
    big = Image.new("RGBA", (round(32 * s) * scale, round(16 * s) * scale), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    u = s * scale
    cx, cy, r = round(23 * u), round(8 * u), round(6 * u)
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=(255, 255, 255, 255), outline=BLUE + (255,), width=round(u))
    k = round(3 * u)
    if open_state:
        pts = [(cx - k, cy + k // 2), (cx, cy - k // 2 - round(u) // 2), (cx + k, cy + k // 2)]
    else:
        pts = [(cx - k, cy - k // 2), (cx, cy + k // 2 + round(u) // 2), (cx + k, cy - k // 2)]
    d.line(pts, fill=BLUE_DARK + (255,), width=round(1.6 * u), joint="curve")
    return big.resize((round(32 * s), round(16 * s)), Image.LANCZOS)


# --- Hand cursor (32 x 32 at 100%, alpha), hot spot at the fingertip -------------------------


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


def hand_cursor(s=1):
    """A pointing hand, black outline and white fill; the hot spot is the fingertip. Each cell
    of the pattern covers its share of the larger grid."""
    n = round(32 * s)
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    for y, row in enumerate(HAND):
        for x, c in enumerate(row):
            if c == " ":
                continue
            colour = (0, 0, 0, 255) if c == "X" else (255, 255, 255, 255)
            d.rectangle((round(x * s), round(y * s), round((x + 1) * s) - 1, round((y + 1) * s) - 1), fill=colour)
    return img, (round(6 * s), 0)


# --- Places of the dialogs' pictures -------------------------------------------------------

# Dialog units per 4 horizontal and per 8 vertical (the template font's base units) at 100%,
# 150% and 200%: "돋움체" 9 pt (the popup) and "돋움" 9 pt (the membership dialogs) give the same.
DIALOG_UNITS = {100: (7, 14), 150: (11, 21), 200: (14, 28)}

# Picture id -> its place's width and height in dialog units (KestrovaSE.rc).
PLACES = {
    256: (25, 15),  # IDC_POPUP_CLOSE
    257: (54, 17),  # IDC_POPUP_TEMPLATE_PAGE
    258: (44, 36),  # IDC_POPUP_LOG_IN
    259: (38, 15),  # IDC_POPUP_LOG_OUT
    260: (86, 14),  # IDC_POPUP_WEEK_UPDATE
    266: (86, 14),
    262: (1, 174),  # the vertical line
    263: (136, 1),  # the horizontal lines
    264: (120, 174),  # IDC_POPUP_LEFT_PICTURE
    267: (135, 41),  # IDC_POPUP_UPGRADE
    268: (135, 41),
    265: (163, 109),  # IDD_LOGIN_COMPLETE, the whole client area
    270: (232, 173),  # IDD_ABOUT, the whole client area
}


def muldiv(a, b, c):
    return (a * b + c // 2) // c


def place_size(resource, scale):
    """Pixels of the picture's place at scale (percent), as the dialog manager maps them."""
    bx, by = DIALOG_UNITS[scale]
    cx, cy = PLACES[resource]
    return muldiv(cx, bx, 4), muldiv(cy, by, 8)


# --- Popup pictures (white transparent) ----------------------------------------------------


def left_picture(size, s=1):
    """The plain login's left-hand picture: a welcome panel with a stack of templates."""
    img = gradient(size, (238, 245, 255), (205, 224, 248))
    d = ScaledDraw(img, s)
    w, h = size[0] / s, size[1] / s
    d.text_centre((0, 18, w, 40), "케스트로바", 17, BLUE_DARK, bold=True)
    d.text_centre((0, 42, w, 58), "서식 회원인증", 12, INK)
    # Three stacked pages.
    for k, (dx, dy) in enumerate(((-18, 10), (-6, 4), (6, -2))):
        x0, y0 = w // 2 - 26 + dx + 12, h // 2 - 48 + dy + 14
        d.rectangle((x0, y0, x0 + 52, y0 + 66), fill=WHITE, outline=(140, 160, 190))
        d.rectangle((x0 + 6, y0 + 6, x0 + 46, y0 + 12), fill=(BLUE, ORANGE, (70, 150, 90))[k])
        for y in range(int(y0) + 20, int(y0) + 60, 7):
            d.line((x0 + 6, y, x0 + 46, y), fill=(200, 205, 215))
    # Above the template-page button, which sits on the picture's lowest sixth.
    d.text_centre((8, h - 96, w - 8, h - 78), "로그인하시면", 12, INK)
    d.text_centre((8, h - 78, w - 8, h - 60), "더 많은 서식을 받으실 수 있습니다", 11, INK)
    ImageDraw.Draw(img).rectangle((0, 0, size[0] - 1, size[1] - 1), outline=(190, 205, 228), width=max(1, round(s)))
    return img


def upgrade_banner(size, title, line, accent, s=1):
    img = rounded_button(size, (255, 250, 238), (253, 231, 196), accent, None, None, 0, radius=4, s=s)
    d = ScaledDraw(img, s)
    w, h = size[0] / s, size[1] / s
    d.rectangle((6, 9, 9, h - 10), fill=accent)
    d.text((16, 10), title, 14, (120, 60, 10), bold=True)
    d.text((16, 34), line, 11, INK)
    cx, cy = w - 12, h // 2
    d.line([(cx - 3, cy - 6), (cx + 3, cy), (cx - 3, cy + 6)], fill=accent, width=2)
    return img


def link_button(size, label, accent, s=1):
    img = rounded_button(size, (255, 255, 255), (240, 246, 255), (170, 190, 220), None, None, 0, s=s)
    d = ScaledDraw(img, s)
    h = size[1] / s
    d.polygon([(7, h // 2 - 4), (7, h // 2 + 4), (12, h // 2)], fill=accent)
    d.text_left_middle(17, h, label, 12, BLUE_DARK, bold=True)
    return img


def search_button(s=1):
    """The pane's search button (40 x 20 at 100%): a magnifier and "검색" on white."""
    img = Image.new("RGB", (round(40 * s), round(20 * s)), WHITE)
    d = ScaledDraw(img, s)
    d.ellipse((3, 4, 11, 12), outline=BLUE_DARK, width=2)
    d.line((10, 11, 14, 15), fill=BLUE_DARK, width=2)
    d.text_left_middle(16, 20, "검색", 11, BLUE_DARK, bold=True)
    return img


def loading_splash(s=1):
    """The loading splash (255 x 180 at 100%): the template is being fetched."""
    w, h = 255, 180
    img = gradient((round(w * s), round(h * s)), (250, 252, 255), (218, 232, 250))
    d = ScaledDraw(img, s)
    d.rectangle((0, 0, w - 1, h - 1), outline=(120, 150, 196))
    d.rectangle((0, 0, w - 1, 28), fill=BLUE)
    d.text_centre((0, 0, w, 28), "케스트로바 서식", 13, WHITE, bold=True)
    # A page being brought down.
    x0, y0 = w // 2 - 22, 44
    d.rectangle((x0, y0, x0 + 44, y0 + 56), fill=WHITE, outline=(140, 160, 190))
    for y in range(y0 + 10, y0 + 50, 8):
        d.line((x0 + 7, y, x0 + 37, y), fill=(200, 205, 215))
    d.polygon([(x0 + 14, y0 + 58), (x0 + 30, y0 + 58), (x0 + 22, y0 + 68)], fill=ORANGE)
    d.text_centre((0, 118, w, 138), "서식을 가져오고 있습니다", 13, BLUE_DARK, bold=True)
    d.text_centre((0, 140, w, 158), "잠시만 기다려 주세요", 11, INK)
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


def login_complete_picture(size, s=1):
    """The login-complete dialog: a check mark and the confirmation. The dialog's OK button sits
    on the lower middle (dialog units 61-106, 78-96); the text keeps above it."""
    img = gradient(size, (250, 252, 255), (220, 233, 250))
    d = ScaledDraw(img, s)
    w, h = size[0] / s, size[1] / s
    # A round badge with a check mark.
    cx, cy, r = 56, 52, 26
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=BLUE, outline=BLUE_DARK, width=2)
    d.line([(cx - 12, cy + 1), (cx - 3, cy + 10), (cx + 13, cy - 9)], fill=WHITE, width=5)
    d.text((96, 30), "회원인증 완료", 17, BLUE_DARK, bold=True)
    d.text((96, 58), "로그인이 정상적으로 되었습니다", 12, INK)
    d.text((96, 76), "회원 서식을 바로 받으세요", 12, INK)
    d.line((20, 104, w - 20, 104), fill=LINE_GREY)
    ImageDraw.Draw(img).rectangle((0, 0, size[0] - 1, size[1] - 1), outline=(190, 205, 228), width=max(1, round(s)))
    return img


def about_picture(size, s=1):
    """The about box. The dialog writes its two version lines in white over the dark band, from
    dialog unit x 180 (y 14 and 25); its OK button sits at dialog units 168-218, 134-155."""
    img = Image.new("RGB", size, WHITE)
    w, h = size[0] / s, size[1] / s
    band = gradient((size[0], round(74 * s)), (47, 88, 146), (74, 127, 193))
    img.paste(band, (0, 0))
    d = ScaledDraw(img, s)
    d.text((18, 14), "케스트로바 서식", 20, WHITE, bold=True)
    d.text((20, 44), "서식 검색 추가 기능", 12, BLUE_LIGHT)
    # The labels end just left of the version lines (dialog unit x 180 at 7 px per 4 units).
    right = 180 * 7 / 4 - 6
    for y, label in ((26, "현재 버전"), (45, "최신 버전")):
        d.text_right(right, y, label, 11, BLUE_LIGHT)
    d.rectangle((0, 74, w, 77), fill=ORANGE)
    stacked_pages(d, 80, 150, 0.9)
    lines = ("워드, 엑셀, 파워포인트에서", "필요한 서식을 찾아 바로 엽니다.", "", "회원 서식은 회원인증 후 이용하세요.")
    for k, line in enumerate(lines):
        d.text((150, 100 + 19 * k), line, 12, INK)
    d.line((18, 200, w - 18, 200), fill=LINE_GREY)
    d.text((18, h - 34), "Copyright (c) 케스트로바. All rights reserved.", 10, (130, 130, 130))
    ImageDraw.Draw(img).rectangle((0, 0, size[0] - 1, size[1] - 1), outline=(120, 150, 196), width=max(1, round(s)))
    return img


def separator_pattern(s=1):
    """The list's dotted separator: one grey dot, two white, at the scale."""
    n = round(s)
    img = Image.new("RGB", (3 * n, n), WHITE)
    ImageDraw.Draw(img).rectangle((0, 0, n - 1, n - 1), fill=(170, 170, 170))
    return img


def line_picture(size):
    return Image.new("RGB", size, LINE_GREY)


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


# Scale (percent) -> the resource id offset of its copies.
SCALES = {100: 0, 150: 1000, 200: 2000}


def draw_scale(out, scale):
    s = scale / 100
    offset = SCALES[scale]

    def bmp(resource, img):
        write_bmp(os.path.join(out, "pane%d.bmp" % (resource + offset)), img)

    def place(resource):
        return place_size(resource, scale)

    blue, green, orange = (52, 101, 164), (56, 142, 60), (222, 110, 38)
    ink = (110, 110, 110)
    bmp(236, word_image(blue, ink, s))
    bmp(226, sheet_image(green, ink, s))
    bmp(237, slide_image(orange, ink, s))
    bmp(239, word_image(GREY_ACCENT, GREY_INK, s))
    bmp(240, sheet_image(GREY_ACCENT, GREY_INK, s))
    bmp(238, slide_image(GREY_ACCENT, GREY_INK, s))

    grey_top, grey_bottom, grey_border = (252, 252, 252), (228, 231, 236), (160, 168, 180)
    bmp(256, rounded_button(place(256), grey_top, grey_bottom, grey_border, "닫기", INK, 11, s=s))
    bmp(257, rounded_button(place(257), (255, 255, 255), (233, 241, 252), (120, 150, 196), "서식 상세보기", BLUE_DARK,
                            11, bold=True, s=s))
    bmp(258, rounded_button(place(258), (98, 150, 214), (47, 98, 168), (38, 78, 138), "로그인", WHITE, 14, bold=True,
                            s=s))
    bmp(259, rounded_button(place(259), grey_top, grey_bottom, grey_border, "로그아웃", INK, 11, s=s))
    bmp(260, link_button(place(260), "주간 업데이트 서식", BLUE, s))
    bmp(266, link_button(place(266), "프리미엄 주간 서식", ORANGE, s))
    bmp(262, line_picture(place(262)))
    bmp(263, line_picture(place(263)))
    bmp(264, left_picture(place(264), s))
    bmp(267, upgrade_banner(place(267), "정회원 가입 안내", "정회원은 모든 서식을 받습니다", ORANGE, s))
    bmp(268, upgrade_banner(place(268), "기업/프리미엄 회원 안내", "프리미엄 서식까지 이용하세요", BLUE, s))
    bmp(275, separator_pattern(s))
    bmp(245, search_button(s))
    bmp(273, loading_splash(s))
    bmp(265, login_complete_picture(place(265), s))
    bmp(270, about_picture(place(270), s))

    write_icon(os.path.join(out, "pane%d.ico" % (221 + offset)), header_icon(True, s))
    write_icon(os.path.join(out, "pane%d.ico" % (223 + offset)), header_icon(False, s))
    cursor, hotspot = hand_cursor(s)
    write_icon(os.path.join(out, "pane%d.cur" % (218 + offset)), cursor, hotspot)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw_images.py OUTPUT_DIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for scale in SCALES:
        draw_scale(out, scale)


if __name__ == "__main__":
    main()
