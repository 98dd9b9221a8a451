#!/usr/bin/env python3
"""Writes the artwork of the custom controls into skin/images/controls/.

The play-time clock, the section track bar and the spin edit buttons draw bitmaps whose sizes
feed their layout arithmetic, so the sizes here are chosen with the controls' layout in mind:

- Clock glyphs are painted at their natural size, left-aligned and packed without gaps over the
  64 x 32 play-time control. Six digits and two colons ("01:00:01", a song past one hour) must
  fit those 64 pixels: digits are 9 wide, the colon 4. Segments sit on whole pixels so they stay
  sharp at 1x.
- The track bar's upper half (26 of its 52 pixels) is the track, with the song's waveform drawn
  behind the groove: a press anywhere there grabs the thumb. A marker is only grabbable where it
  hangs below that half, so the marker is a 16 x 22 pointer whose handle reaches well under the
  track (the control puts its top at (26 + 22) / 2 - 2 = 22, its bottom at 44). Marker and thumb
  are equally wide: the drag arithmetic centres a marker on the pointer by its own half width but
  lays it out by the thumb's, so any difference makes a grabbed marker jump.
- Track images are nine-patched at their centre pixel and are as high as the track, so nothing
  of them stretches; the groove is thin, so the waveform shows around it, and centred on the
  thumb's centre row ((26 - 16) / 2 + 8 = 13).

Edit a drawing here and run the script again; the build packs whatever is in skin/images/.
"""
import os

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "images", "controls")

BLUE = "#2B93E6"
BLUE_LIGHT = "#4DA8EE"
BLUE_DARK = "#1F7BC6"
TRACK = "#D5E3F1"
GREY = "#B8C6D3"
ACCENT = "#F39A2B"
ACCENT_DARK = "#C9720F"

# Digits in the window's dark blue straight on the card; no unlit segments, which at this size
# blur 1 into 8.
DIGIT = "#1F6FB4"


def svg(w, h, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}" shape-rendering="crispEdges">{body}</svg>\n')


def svg_smooth(w, h, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}">{body}</svg>\n')


def write(name, content):
    with open(os.path.join(OUT, name), "w", encoding="utf-8") as f:
        f.write(content)


# ---------------------------------------------------------------- clock
SEGMENTS = {  # a, b, c, d, e, f, g
    "0": "abcdef", "1": "bc", "2": "abdeg", "3": "abcdg", "4": "bcfg", "5": "acdfg",
    "6": "acdefg", "7": "abc", "8": "abcdefg", "9": "abcdfg", "-": "g",
}

# One glyph cell is 9 x 32: an 8 x 20 digit at (0, 6) and one pixel of air on its right, strokes
# 2 pixels wide. Segments meet at the corners: at this size open corners make 0 and 8 fall
# apart into bars.
X0, X1, Y0, H, T = 0, 8, 6, 20, 2
MID = Y0 + H // 2 - 1  # top row of the middle segment
SEG = {
    "a": (X0, Y0, X1 - X0, T),
    "g": (X0, MID, X1 - X0, T),
    "d": (X0, Y0 + H - T, X1 - X0, T),
    "f": (X0, Y0, T, MID + T - Y0),
    "b": (X1 - T, Y0, T, MID + T - Y0),
    "e": (X0, MID, T, Y0 + H - MID),
    "c": (X1 - T, MID, T, Y0 + H - MID),
}


def glyph(ch):
    if ch == "1":
        # Right-aligned segments leave a hole before every 1 ("0 1:00:0 1"); a centred stroke
        # with a flag reads as a 1 and keeps the spacing even.
        return svg(9, 32, f'<rect x="3" y="{Y0}" width="{T}" height="{H}" fill="{DIGIT}"/>'
                          f'<rect x="1" y="{Y0 + 1}" width="2" height="2" fill="{DIGIT}"/>')
    body = "".join(f'<rect x="{x}" y="{y}" width="{w}" height="{h}" fill="{DIGIT}"/>'
                   for name, (x, y, w, h) in SEG.items() if name in SEGMENTS[ch])
    return svg(9, 32, body)


def clock():
    for ch in "0123456789":
        write(f"digital_{ch}.svg", glyph(ch))
    write("digital_minus.svg", glyph("-"))
    dots = "".join(f'<rect x="1" y="{y}" width="2" height="2" fill="{DIGIT}"/>' for y in (11, 19))
    write("digital_colon.svg", svg(4, 32, dots))
    # Clear: the digits stand straight on the card. A box would be stretched over the whole
    # control while the left-aligned "00:00" fills only two thirds of it.
    write("digital_background.svg", svg(64, 32, ""))


# ---------------------------------------------------------------- track bar
def track_bar():
    bar = '<rect x="0" y="11" width="20" height="4" rx="2" fill="{}"/>'
    write("track_background.svg", svg_smooth(20, 26, bar.format(TRACK)))
    write("track_front.svg", svg_smooth(20, 26, bar.format(BLUE)))

    def thumb(fill, ring, dot=None):
        body = (f'<circle cx="8" cy="8" r="7" fill="{fill}" stroke="{ring}" stroke-width="2"/>')
        if dot:
            body += f'<circle cx="8" cy="8" r="2.5" fill="{dot}"/>'
        return svg_smooth(16, 16, body)

    write("thumb_normal.svg", thumb("#FFFFFF", BLUE, BLUE))
    write("thumb_hover.svg", thumb("#E3F0FB", BLUE_DARK, BLUE_DARK))
    write("thumb_down.svg", thumb(BLUE, BLUE_DARK, "#FFFFFF"))
    write("thumb_disable.svg", thumb("#F1F4F7", GREY))

    # A pointer with a handle: the tip points up at the track, the handle is what the hand takes.
    # The bitmap is as wide as the thumb, so the marker and the thumb centre on a value the same
    # way the drag arithmetic does, and a marker grabbed at its middle does not jump; the
    # transparent sides widen what can be grabbed.
    marker = (f'<path d="M8 0.8 L13.2 6 V19.5 A2 2 0 0 1 11.2 21.5 H4.8 A2 2 0 0 1 2.8 19.5 V6 Z" '
              f'fill="{ACCENT}" stroke="{ACCENT_DARK}" stroke-width="1" stroke-linejoin="round"/>'
              f'<path d="M5.5 12.5 H10.5 M5.5 15 H10.5 M5.5 17.5 H10.5" stroke="#FFFFFF" '
              f'stroke-opacity="0.85" stroke-width="1" stroke-linecap="round"/>')
    write("track_arrow.svg", svg_smooth(16, 22, marker))


def main():
    os.makedirs(OUT, exist_ok=True)
    clock()
    track_bar()


if __name__ == "__main__":
    main()
