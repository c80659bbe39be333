#!/usr/bin/env python3
"""Regenerate Quorvex's pictures: the three handwritten GIF captions, their
sharper renders for high-density screens, and the application icon (ICO at
32x32, PNGs in the hicolor sizes and an SVG). The build takes the ratios and
the icon sizes from the names of the files written here.

Usage: python3 make_pictures.py [OUTPUT_DIR]    (default: this script's folder)

The captions are rasterised in the Dancing Script font by ImageMagick's
`convert`, thresholded to two colours and written by the small GIF encoder
below. For screens with more device pixels than logical ones the captions are
rendered again at each ratio in RATIOS, straight from the font at that size
(not blown up from the small GIF), as grey-and-alpha PNGs named like
"password@1.5x.png". The icon is drawn pixel by pixel at 32x32 and resampled
to the other sizes. Output is byte-for-byte the same on every run.
"""

import os
import struct
import subprocess
import sys
import zlib

FONT_CANDIDATES = (
    "/usr/share/fonts/opentype/dancingscript/DancingScript-Bold.otf",
    "/usr/share/fonts/truetype/dancingscript/DancingScript-Bold.ttf",
)

# (file name, text, width, height, horizontal alignment)
CAPTIONS = (
    ("generate.gif", "Generate", 80, 16, "centre"),
    ("password_length.gif", "Password length:", 153, 21, "left"),
    ("password.gif", "Password:", 91, 17, "left"),
)

INK = (1, 1, 1)            # palette entry 0
PAPER = (193, 193, 193)    # palette entry 1, transparent
RENDER_POINTSIZE = 160     # render big, then scale down to the caption size
INK_THRESHOLD = 140        # grey level (0..255) at or below which a pixel is ink
MAX_STRETCH = 1.15         # how much wider than natural the writing may get
# Device pixel ratios with a render of their own; 1 is the GIF itself.
RATIOS = (1.25, 1.5, 2, 3)
# Above the threshold the renders keep the font's anti-aliasing, but over a
# narrow band of grey, so that their strokes have the weight of the GIFs and
# edges about one device pixel wide.
FULL_INK_GREY = 80         # this grey and darker: fully opaque ink
NO_INK_GREY = 200          # this grey and lighter: fully transparent
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


# ---------------------------------------------------------------- captions

def find_font():
    for path in FONT_CANDIDATES:
        if os.path.isfile(path):
            return path
    try:
        out = subprocess.run(["fc-match", "-f", "%{file}", "Dancing Script:bold"],
                             check=True, capture_output=True, text=True).stdout
    except (OSError, subprocess.CalledProcessError):
        out = ""
    if "ancing" in out and os.path.isfile(out):
        return out
    sys.exit("Dancing Script font not found (apt-get install fonts-dancingscript)")


def convert(args):
    try:
        return subprocess.run(["convert"] + args, check=True,
                              capture_output=True).stdout
    except OSError:
        sys.exit("ImageMagick 'convert' not found (apt-get install imagemagick)")


def label_args(font, text):
    return ["-font", font, "-pointsize", str(RENDER_POINTSIZE),
            "-background", "white", "-fill", "black",
            "label:" + text, "-trim", "+repage"]


def parse_pgm(data):
    """Parse a binary 8-bit PGM (P5) into (width, height, rows of grey)."""
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    if fields[0] != b"P5" or int(fields[3]) != 255:
        raise ValueError("unexpected PGM from convert")
    w, h = int(fields[1]), int(fields[2])
    pix = data[pos:pos + w * h]
    if len(pix) != w * h:
        raise ValueError("short PGM from convert")
    return w, h, [pix[y * w:(y + 1) * w] for y in range(h)]


def caption_size(font, text, width, height):
    """The size of the writing inside a width x height caption."""
    info = convert(label_args(font, text) + ["-format", "%w %h", "info:"])
    big_w, big_h = (int(v) for v in info.split())

    # Use the full height but one spare row, then widen a little if the
    # canvas has room, never past its width.
    h = height - 1
    w = round(big_w * h / big_h * MAX_STRETCH)
    if w > width:
        w = width
        h = min(h, round(big_h * width / big_w))
    return w, h


def half_up(value):
    return int(value + 0.5)


def render_grey(font, text, width, height, align, ratio):
    """The caption at a device pixel ratio: (canvas width, canvas height,
    left, top, grey rows of the writing, black on white)."""
    w, h = caption_size(font, text, width, height)
    # Halves round up, as the program rounds the logical size times the ratio.
    canvas_w, canvas_h = half_up(width * ratio), half_up(height * ratio)
    w, h = half_up(w * ratio), half_up(h * ratio)
    pgm = convert(label_args(font, text) +
                  ["-filter", "Triangle", "-resize", "%dx%d!" % (w, h),
                   "-colorspace", "Gray", "-depth", "8", "pgm:-"])
    gw, gh, grey = parse_pgm(pgm)
    left = 0 if align == "left" else (canvas_w - gw) // 2
    top = (canvas_h - gh) // 2
    return canvas_w, canvas_h, left, top, grey


def render_caption(font, text, width, height, align):
    """Return rows of palette indices (0 ink, 1 paper), width x height."""
    _, _, left, top, grey = render_grey(font, text, width, height, align, 1)
    rows = [[1] * width for _ in range(height)]
    for y, line in enumerate(grey):
        for x, value in enumerate(line):
            if value <= INK_THRESHOLD:
                rows[top + y][left + x] = 0
    return rows


def render_caption_alpha(font, text, width, height, align, ratio):
    """Return rows of ink opacity (0..255) at a device pixel ratio."""
    canvas_w, canvas_h, left, top, grey = render_grey(font, text, width, height, align,
                                                      ratio)
    rows = [[0] * canvas_w for _ in range(canvas_h)]
    span = NO_INK_GREY - FULL_INK_GREY
    for y, line in enumerate(grey):
        for x, value in enumerate(line):
            opacity = (NO_INK_GREY - value) * 255 // span
            rows[top + y][left + x] = max(0, min(255, opacity))
    return rows


def ratio_name(name, ratio):
    """"password.gif" at 1.5 -> "password@1.5x.png"."""
    return "%s@%sx.png" % (os.path.splitext(name)[0], ("%g" % ratio))


# ---------------------------------------------------------------- GIF

def lzw_encode(indices, min_code_size=8):
    """Variable-length LZW as used by GIF; returns the packed byte string."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    acc = 0
    nbits = 0

    def emit(code, size):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def reset():
        return {(i,): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, size = reset()
    emit(clear, size)
    prefix = ()
    for px in indices:
        cand = prefix + (px,)
        if cand in table:
            prefix = cand
            continue
        emit(table[prefix], size)
        if next_code < 4096:
            table[cand] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear, size)
            table, next_code, size = reset()
        prefix = (px,)
    if prefix:
        emit(table[prefix], size)
    emit(end, size)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif_bytes(rows):
    height = len(rows)
    width = len(rows[0])
    palette = bytearray(256 * 3)
    palette[0:3] = bytes(INK)
    palette[3:6] = bytes(PAPER)

    out = bytearray(b"GIF89a")
    # Logical screen: global table present, 8-bit colour resolution, 256 entries.
    out += struct.pack("<HHBBB", width, height, 0xF7, 1, 0)
    out += palette
    # Graphic Control Extension: no disposal, no delay, index 1 transparent.
    out += b"\x21\xF9\x04" + struct.pack("<BHB", 0x01, 0, 1) + b"\x00"
    # Image descriptor: whole screen, no local table, not interlaced.
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    out.append(8)
    data = lzw_encode([px for row in rows for px in row], 8)
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    out += b"\x3B"
    return bytes(out)


# ---------------------------------------------------------------- icon

ICON_IMAGE_ID = 30001  # the executable's one icon image, in icon group 1

GREY = (192, 192, 192)
DARK = (128, 128, 128)
PALE = (223, 223, 223)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)

ASTERISK = (
    "#.#.#",
    ".###.",
    "#####",
    ".###.",
    "#.#.#",
)

# 8 x 4 cells of 2 x 2 pixels, 1 = black.
CODE_BLOCK = (
    "10110010",
    "01101101",
    "11010011",
    "00111010",
)


def draw_icon():
    size = 32
    px = [[GREY] * size for _ in range(size)]

    def put(x, y, colour):
        px[y][x] = colour

    # Sunken input field, 28 x 15, in the upper half.
    fx0, fy0, fw, fh = 2, 1, 28, 15
    fx1, fy1 = fx0 + fw - 1, fy0 + fh - 1
    for y in range(fy0, fy1 + 1):
        for x in range(fx0, fx1 + 1):
            put(x, y, WHITE)
    # outer edge: dark grey top/left, white bottom/right (which owns the corners)
    for x in range(fx0, fx1):
        put(x, fy0, DARK)
    for y in range(fy0, fy1):
        put(fx0, y, DARK)
    for x in range(fx0, fx1 + 1):
        put(x, fy1, WHITE)
    for y in range(fy0, fy1 + 1):
        put(fx1, y, WHITE)
    # inner edge: black top/left, pale grey bottom/right
    for x in range(fx0 + 1, fx1 - 1):
        put(x, fy0 + 1, BLACK)
    for y in range(fy0 + 1, fy1 - 1):
        put(fx0 + 1, y, BLACK)
    for x in range(fx0 + 1, fx1):
        put(x, fy1 - 1, PALE)
    for y in range(fy0 + 1, fy1):
        put(fx1 - 1, y, PALE)

    # Three asterisks, centred vertically in the field's white interior.
    ix0, iy0 = fx0 + 2, fy0 + 2
    iw, ih = fw - 4, fh - 4
    aw, ah, gap = len(ASTERISK[0]), len(ASTERISK), 2
    total = 3 * aw + 2 * gap
    ax = ix0 + (iw - total + 1) // 2
    ay = iy0 + (ih - ah) // 2
    for n in range(3):
        for dy, line in enumerate(ASTERISK):
            for dx, c in enumerate(line):
                if c == "#":
                    put(ax + n * (aw + gap) + dx, ay + dy, BLACK)

    # Code block, 16 x 8, centred horizontally in the lower half.
    bw, bh = 2 * len(CODE_BLOCK[0]), 2 * len(CODE_BLOCK)
    bx = (size - bw) // 2
    by = size // 2 + (size // 2 - bh) // 2
    for cy, line in enumerate(CODE_BLOCK):
        for cx, c in enumerate(line):
            colour = BLACK if c == "1" else WHITE
            for dy in range(2):
                for dx in range(2):
                    put(bx + 2 * cx + dx, by + 2 * cy + dy, colour)
    return px


def png_file(width, height, colour_type, raw_rows):
    """A PNG of 8-bit samples; raw_rows are the bytes of each row."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    raw = bytearray()
    for row in raw_rows:
        raw.append(0)  # filter: none
        raw += row
    ihdr = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def png_bytes(px):
    """An RGB PNG of rows of (r, g, b)."""
    return png_file(len(px[0]), len(px), 2,
                    [b"".join(bytes(rgb) for rgb in row) for row in px])


def ink_png_bytes(rows):
    """A grey-and-alpha PNG: the caption's ink colour at each opacity."""
    return png_file(len(rows[0]), len(rows), 4,
                    [b"".join(bytes((INK[0], a)) for a in row) for row in rows])


def resample(px, size):
    """Box-filter resampling of a square picture to size x size: each target
    pixel is the area-weighted mean of the source pixels it covers, so whole
    multiples stay blocks of the source pixels and nothing is blurred beyond
    the one pixel that straddles a boundary."""
    n = len(px)
    out = []
    for ty in range(size):
        row = []
        for tx in range(size):
            acc = [0, 0, 0]
            # Integer arithmetic in units of 1/(size) source pixels keeps the
            # result the same on every machine.
            for sy in range(ty * n // size, min(n, ((ty + 1) * n + size - 1) // size)):
                wy = min((ty + 1) * n, (sy + 1) * size) - max(ty * n, sy * size)
                if wy <= 0:
                    continue
                for sx in range(tx * n // size, min(n, ((tx + 1) * n + size - 1) // size)):
                    wx = min((tx + 1) * n, (sx + 1) * size) - max(tx * n, sx * size)
                    if wx <= 0:
                        continue
                    for c in range(3):
                        acc[c] += px[sy][sx][c] * wx * wy
            total = n * n
            row.append(tuple((v + total // 2) // total for v in acc))
        out.append(row)
    return out


def svg_bytes(px):
    """The 32x32 pixel grid as an SVG: one rectangle per horizontal run of a
    colour, crisp at any size."""
    n = len(px)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
             'viewBox="0 0 %d %d" shape-rendering="crispEdges">' % (n, n, n, n)]
    for y, row in enumerate(px):
        x = 0
        while x < n:
            end = x
            while end < n and row[end] == row[x]:
                end += 1
            lines.append('<rect x="%d" y="%d" width="%d" height="1" fill="#%02x%02x%02x"/>'
                         % ((x, y, end - x) + row[x]))
            x = end
    lines.append("</svg>")
    return ("\n".join(lines) + "\n").encode("ascii")


def icon_image_bytes(px):
    """One icon image as Windows keeps it: a DIB header of double height,
    the colours bottom-up in BGR, then an all-opaque mask."""
    height, width = len(px), len(px[0])
    xor = bytearray()
    for row in reversed(px):           # bottom-up, BGR
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (-len(line) % 4)
        xor += line
    and_mask = b"\0" * (((width + 31) // 32 * 4) * height)
    return struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, 24, 0,
                       len(xor) + len(and_mask), 0, 0, 0, 0) + xor + and_mask


def icon_entry(px, image, last_field_format, last_field):
    """The directory entry of one 24-bit image; an .ico file ends it with the
    image's offset in the file, a group resource with the image's id."""
    height, width = len(px), len(px[0])
    return struct.pack("<BBBBHHI" + last_field_format, width % 256, height % 256, 0, 0, 1, 24,
                       len(image), last_field)


def ico_bytes(px):
    image = icon_image_bytes(px)
    return struct.pack("<HHH", 0, 1, 1) + icon_entry(px, image, "I", 6 + 16) + image


def icon_group_bytes(px, image_id):
    """The executable's icon group (RT_GROUP_ICON) with its one image, which
    the resource file stores on its own as RT_ICON image_id."""
    image = icon_image_bytes(px)
    return struct.pack("<HHH", 0, 1, 1) + icon_entry(px, image, "H", image_id)


def write_hicolor_icons(icons_dir, icon):
    """The icon in the hicolor theme's sizes, and as SVG."""
    os.makedirs(icons_dir, exist_ok=True)
    for size in ICON_SIZES:
        write(os.path.join(icons_dir, "quorvex-%d.png" % size), png_bytes(resample(icon, size)))
    write(os.path.join(icons_dir, "quorvex.svg"), svg_bytes(icon))


# ---------------------------------------------------------------- main

def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    print("wrote", path, len(data), "bytes")


def main(argv):
    out_dir = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out_dir, exist_ok=True)
    font = find_font()
    for name, text, width, height, align in CAPTIONS:
        rows = render_caption(font, text, width, height, align)
        write(os.path.join(out_dir, name), gif_bytes(rows))
        for ratio in RATIOS:
            rows = render_caption_alpha(font, text, width, height, align, ratio)
            write(os.path.join(out_dir, ratio_name(name, ratio)), ink_png_bytes(rows))
    icon = draw_icon()
    write_hicolor_icons(os.path.join(out_dir, "icons"), icon)

    write(os.path.join(out_dir, "icon.ico"), ico_bytes(icon))
    # For quorvex.rc: icon group 1 holding image 30001, as raw resources,
    # since the resource compiler would number the image of an ICON itself.
    write(os.path.join(out_dir, "icon_image.bin"), icon_image_bytes(icon))
    write(os.path.join(out_dir, "icon_group.bin"), icon_group_bytes(icon, ICON_IMAGE_ID))


if __name__ == "__main__":
    main(sys.argv)
