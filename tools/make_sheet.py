#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Writes resources/vela_sheet.bmp, the editor's bitmap sheet (resource 103).

Run by hand with Debian's Python and python3-pil (fonts-dejavu-core for the font):

    /usr/bin/python3 tools/make_sheet.py

The output is the same bytes on every run. The sheet is 256 x 252 pixels:

    y   0 to  95  composition band: black (overwritten by the first draw)
    y  96 to 191  off face: the whole editor face with the button unlit
    y 192 to 251  lit button: x 0 to 221 is the face around the button with the
                  button lit, so its inner 220 x 58 pixels from (1, 193) replace the
                  unlit button at (17, 10) of the face; x 222 to 255 is black

The lit button differs from the unlit one only inside its frame: both faces are
drawn by the same code, and the lit one only repaints the button's inside.
"""

import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

SHEET_WIDTH = 256
SHEET_HEIGHT = 252
FACE_WIDTH = 256
FACE_HEIGHT = 96
OFF_FACE_TOP = 96
LIT_TOP = 192
LIT_WIDTH = 222
LIT_HEIGHT = 60

# The button in face coordinates, and the frame width inside it.
BUTTON_X = 17
BUTTON_Y = 10
BUTTON_WIDTH = 220
BUTTON_HEIGHT = 58
FRAME_WIDTH = 4

TEXT_TOP = 76  # rows 76 to 85 of the face
TEXT_BOTTOM = 85

FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

CAPTION = "Vela"
LEGEND = "OZMIR \u00b7 MONO DOWNMIX"

BLACK = (0, 0, 0)

# Panel: a vertical gradient with a bevel just inside the black border.
PANEL_TOP = (0x5e, 0x62, 0x68)
PANEL_BOTTOM = (0x45, 0x48, 0x4d)
PANEL_HIGHLIGHT = (0x7c, 0x80, 0x86)
PANEL_SHADOW = (0x30, 0x32, 0x36)

# Frame rings, outermost first: a dark well in which the button sits.
FRAME_RINGS = [
    (0x14, 0x15, 0x17),
    (0x2e, 0x30, 0x34),
    (0x24, 0x26, 0x29),
    (0x0a, 0x0a, 0x0b),
]
# The well's lower and right edges catch the light a little.
FRAME_RING_LIGHT = [
    (0x6a, 0x6e, 0x74),
    (0x3a, 0x3c, 0x41),
    (0x24, 0x26, 0x29),
    (0x0a, 0x0a, 0x0b),
]

UNLIT = {
    "top": (0x6e, 0x18, 0x16),
    "bottom": (0x46, 0x0c, 0x0b),
    "highlight": (0x88, 0x2a, 0x26),
    "shadow": (0x30, 0x07, 0x06),
    "caption": (0x2c, 0x06, 0x06),
    "caption_edge": (0x86, 0x30, 0x2c),  # one pixel below: an engraved look
}
LIT = {
    "top": (0xff, 0x4c, 0x3c),
    "bottom": (0xcc, 0x14, 0x10),
    "highlight": (0xff, 0x9a, 0x88),
    "shadow": (0x8c, 0x0a, 0x08),
    "caption": (0xff, 0xf6, 0xf0),
    "caption_edge": (0x8c, 0x0c, 0x0a),  # one pixel below: a drop shadow
    "glow": (0xff, 0x8c, 0x70),  # a soft halo around the caption
}

EMBLEM_COLOUR = (0xc8, 0xcc, 0xd2)
LEGEND_COLOUR = (0xc8, 0xcc, 0xd2)


def mix(a, b, numerator, denominator):
    """The colour numerator/denominator of the way from a to b, rounded half up."""
    return tuple((x * (denominator - numerator) + y * numerator + denominator // 2) // denominator
                 for x, y in zip(a, b))


def fill(image, colour, box):
    """Fills the inclusive box (x0, y0, x1, y1)."""
    ImageDraw.Draw(image).rectangle(box, fill=colour)


def vertical_gradient(image, box, top, bottom):
    x0, y0, x1, y1 = box
    rows = y1 - y0
    for y in range(y0, y1 + 1):
        fill(image, mix(top, bottom, y - y0, max(rows, 1)), (x0, y, x1, y))


def blend_mask(image, mask, colour, origin):
    """Lays colour over image through an 8-bit coverage mask placed at origin."""
    solid = Image.new("RGB", mask.size, colour)
    region = (origin[0], origin[1], origin[0] + mask.size[0], origin[1] + mask.size[1])
    under = image.crop(region)
    image.paste(Image.composite(solid, under, mask), region[:2])


def text_mask(text, font, tracking):
    """Antialiased coverage of text, with extra pixels between letters, cropped to its ink."""
    width = sum(int(round(font.getlength(c))) + tracking for c in text) + 8
    ascent, descent = font.getmetrics()
    mask = Image.new("L", (width, ascent + descent + 4), 0)
    draw = ImageDraw.Draw(mask)
    x = 2
    for c in text:
        draw.text((x, 2), c, font=font, fill=255)
        x += int(round(font.getlength(c))) + tracking
    return mask.crop(mask.getbbox())


def draw_panel(face):
    fill(face, BLACK, (0, 0, FACE_WIDTH - 1, FACE_HEIGHT - 1))
    vertical_gradient(face, (1, 1, FACE_WIDTH - 2, FACE_HEIGHT - 2), PANEL_TOP, PANEL_BOTTOM)
    fill(face, PANEL_HIGHLIGHT, (1, 1, FACE_WIDTH - 2, 1))
    fill(face, mix(PANEL_HIGHLIGHT, PANEL_TOP, 1, 2), (1, 2, 1, FACE_HEIGHT - 2))
    fill(face, PANEL_SHADOW, (1, FACE_HEIGHT - 2, FACE_WIDTH - 2, FACE_HEIGHT - 2))
    fill(face, PANEL_SHADOW, (FACE_WIDTH - 2, 2, FACE_WIDTH - 2, FACE_HEIGHT - 2))


def draw_frame(face):
    """The dark frame: FRAME_WIDTH rings filling the button rectangle's edge."""
    x0, y0 = BUTTON_X, BUTTON_Y
    x1, y1 = BUTTON_X + BUTTON_WIDTH - 1, BUTTON_Y + BUTTON_HEIGHT - 1
    for ring in range(FRAME_WIDTH):
        dark, light = FRAME_RINGS[ring], FRAME_RING_LIGHT[ring]
        a, b, c, d = x0 + ring, y0 + ring, x1 - ring, y1 - ring
        fill(face, dark, (a, b, c, b))  # top
        fill(face, dark, (a, b, a, d))  # left
        fill(face, light, (a + 1, d, c, d))  # bottom
        fill(face, light, (c, b + 1, c, d))  # right


def inside_box():
    """The button's inside, within the frame, as an inclusive face box."""
    return (BUTTON_X + FRAME_WIDTH, BUTTON_Y + FRAME_WIDTH,
            BUTTON_X + BUTTON_WIDTH - 1 - FRAME_WIDTH, BUTTON_Y + BUTTON_HEIGHT - 1 - FRAME_WIDTH)


def draw_button_inside(face, style, caption_font):
    x0, y0, x1, y1 = inside_box()
    vertical_gradient(face, (x0, y0, x1, y1), style["top"], style["bottom"])
    fill(face, style["highlight"], (x0, y0, x1, y0))
    fill(face, mix(style["highlight"], style["top"], 1, 2), (x0, y0 + 1, x0, y1))
    fill(face, style["shadow"], (x0, y1, x1, y1))
    fill(face, style["shadow"], (x1, y0 + 1, x1, y1))

    mask = text_mask(CAPTION, caption_font, 2)
    left = x0 + (x1 - x0 + 1 - mask.size[0]) // 2
    top = y0 + (y1 - y0 + 1 - mask.size[1]) // 2
    if "glow" in style:
        margin = 6
        halo = Image.new("L", (mask.size[0] + 2 * margin, mask.size[1] + 2 * margin), 0)
        halo.paste(mask, (margin, margin))
        halo = halo.filter(ImageFilter.GaussianBlur(3)).point(lambda v: v * 3 // 5)
        blend_mask(face, halo, style["glow"], (left - margin, top - margin))
    blend_mask(face, mask, style["caption_edge"], (left, top + 1))
    blend_mask(face, mask, style["caption"], (left, top))


def emblem_mask():
    """A small sail boat, drawn four times larger and box-filtered down to 10 x 10 pixels."""
    scale = 4
    size = 10
    big = Image.new("L", (size * scale, size * scale), 0)
    draw = ImageDraw.Draw(big)
    # Mast near the left, the sail filling out to the right, the hull along the bottom.
    draw.rectangle((2 * scale, 0, 3 * scale - 1, 8 * scale - 1), fill=255)
    draw.polygon([(3 * scale + 2, 1), (3 * scale + 2, 7 * scale - 2), (9 * scale, 7 * scale - 2)],
                 fill=255)
    draw.polygon([(0, 8 * scale), (size * scale - 1, 8 * scale), (8 * scale, size * scale - 1),
                  (2 * scale, size * scale - 1)], fill=255)
    small = Image.new("L", (size, size), 0)
    pixels = big.load()
    out = small.load()
    for y in range(size):
        for x in range(size):
            total = sum(pixels[x * scale + i, y * scale + j] for j in range(scale) for i in range(scale))
            out[x, y] = (total + scale * scale // 2) // (scale * scale)
    return small


def draw_legend_and_emblem(face):
    font = ImageFont.truetype(FONT_BOLD, 9)
    legend = text_mask(LEGEND, font, 1)
    top = TEXT_TOP + (TEXT_BOTTOM - TEXT_TOP + 1 - legend.size[1]) // 2
    blend_mask(face, legend, LEGEND_COLOUR, (BUTTON_X + 2, top))

    emblem = emblem_mask()
    right = BUTTON_X + BUTTON_WIDTH - 1 - 2
    blend_mask(face, emblem, EMBLEM_COLOUR,
               (right - emblem.size[0] + 1, TEXT_BOTTOM + 1 - emblem.size[1]))


def block(image, box):
    return list(image.crop(box).getdata())


def make_sheet():
    caption_font = ImageFont.truetype(FONT_BOLD, 28)

    off_face = Image.new("RGB", (FACE_WIDTH, FACE_HEIGHT))
    draw_panel(off_face)
    draw_frame(off_face)
    draw_button_inside(off_face, UNLIT, caption_font)
    draw_legend_and_emblem(off_face)

    # The lit face is the off face with only the button's inside repainted.
    on_face = off_face.copy()
    draw_button_inside(on_face, LIT, caption_font)

    sheet = Image.new("RGB", (SHEET_WIDTH, SHEET_HEIGHT), BLACK)
    sheet.paste(off_face, (0, OFF_FACE_TOP))
    # The lit area is the lit face around the button, one pixel wider on every side.
    lit_area = on_face.crop((BUTTON_X - 1, BUTTON_Y - 1,
                             BUTTON_X - 1 + LIT_WIDTH, BUTTON_Y - 1 + LIT_HEIGHT))
    sheet.paste(lit_area, (0, LIT_TOP))

    check(sheet)
    return sheet


def check(sheet):
    """Stops with a message unless the overlay replaces the unlit button exactly."""
    overlay = (1, LIT_TOP + 1, 1 + BUTTON_WIDTH, LIT_TOP + 1 + BUTTON_HEIGHT)
    under = (BUTTON_X, OFF_FACE_TOP + BUTTON_Y,
             BUTTON_X + BUTTON_WIDTH, OFF_FACE_TOP + BUTTON_Y + BUTTON_HEIGHT)
    lit, unlit = block(sheet, overlay), block(sheet, under)
    for y in range(BUTTON_HEIGHT):
        for x in range(BUTTON_WIDTH):
            in_frame = (x < FRAME_WIDTH or y < FRAME_WIDTH
                        or x >= BUTTON_WIDTH - FRAME_WIDTH or y >= BUTTON_HEIGHT - FRAME_WIDTH)
            same = lit[y * BUTTON_WIDTH + x] == unlit[y * BUTTON_WIDTH + x]
            if in_frame and not same:
                sys.exit(f"frame pixel ({x}, {y}) of the lit button differs from the off face")
            if not in_frame and same:
                sys.exit(f"inside pixel ({x}, {y}) of the lit button equals the off face")


def bmp_bytes(sheet):
    """A 24-bit bottom-up BMP file with a BITMAPINFOHEADER and two trailing zero bytes."""
    row_bytes = SHEET_WIDTH * 3  # 768, already a multiple of 4: no row padding
    pixels = sheet.load()
    rows = []
    for y in range(SHEET_HEIGHT - 1, -1, -1):
        row = bytearray()
        for x in range(SHEET_WIDTH):
            r, g, b = pixels[x, y]
            row += bytes((b, g, r))
        assert len(row) == row_bytes
        rows.append(bytes(row))
    data = b"".join(rows) + b"\0\0"
    info = struct.pack("<IiiHHIIiiII", 40, SHEET_WIDTH, SHEET_HEIGHT, 1, 24, 0, 0, 2834, 2834, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    result = header + info + data
    assert len(info) + len(data) == 193578 and len(result) == 193592
    return result


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = os.path.join(root, "resources", "vela_sheet.bmp")
    with open(path, "wb") as output:
        output.write(bmp_bytes(make_sheet()))
    print(f"wrote {path}")


if __name__ == "__main__":
    main()
