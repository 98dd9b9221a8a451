#!/usr/bin/env python3
"""Writes the skin's SVG artwork into skin/images/.

The artwork is generated so that its colours and shapes stay consistent across the many state
images (normal, hover, pressed, disabled) of each control. Edit the palette or a drawing here
and run the script again; the build packs whatever is in skin/images/.
"""
import os

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "images")
FONT = "WenQuanYi Micro Hei"

# Palette around the window colour 0xFF2B93E6 and the text colours 0xff416c8f / 0xff4c618f.
BLUE = "#2B93E6"
BLUE_LIGHT = "#4DA8EE"
BLUE_DARK = "#1F7BC6"
INK = "#416C8F"
INK2 = "#4C618F"
PAGE = "#EEF4FA"
CARD = "#FFFFFF"
LINE = "#D3E2F0"
FIELD_LINE = "#B9D0E6"
GREY = "#C5D1DC"
GREY_TEXT = "#8A9AAB"
ACCENT = "#F39A2B"
RED = "#E5484D"


def svg(w, h, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}">{body}</svg>\n')


def write(name, content):
    with open(os.path.join(OUT, name), "w", encoding="utf-8") as f:
        f.write(content)


def text(x, y, s, size=13, color=INK, weight="normal", anchor="start"):
    return (f'<text x="{x}" y="{y}" font-family="{FONT}" font-size="{size}" fill="{color}" '
            f'font-weight="{weight}" text-anchor="{anchor}">{s}</text>')


def grad(gid, top, bottom):
    return (f'<defs><linearGradient id="{gid}" x1="0" y1="0" x2="0" y2="1">'
            f'<stop offset="0" stop-color="{top}"/><stop offset="1" stop-color="{bottom}"/>'
            f'</linearGradient></defs>')


def note_icon(x, y, s, color):
    # A beamed pair of notes, s pixels high.
    k = s / 16.0
    return (f'<g transform="translate({x},{y}) scale({k})" fill="{color}">'
            '<path d="M5 2 L14 0 L14 11.5 A2.5 2.2 0 1 1 12 9.4 L12 3.6 L7 4.7 L7 13 '
            'A2.5 2.2 0 1 1 5 10.9 Z"/></g>')


# ---------------------------------------------------------------- windows
def window_background(name, w, h, title, title_x=52):
    body = grad("hd", "#FFFFFF", "#EAF3FC")
    body += f'<rect width="{w}" height="{h}" fill="{PAGE}"/>'
    body += f'<rect width="{w}" height="44" fill="url(#hd)"/>'
    body += f'<rect width="{w}" height="3" fill="{BLUE}"/>'
    body += f'<rect y="44" width="{w}" height="1" fill="{LINE}"/>'
    if title:
        body += f'<rect x="16" y="11" width="26" height="26" rx="7" fill="{BLUE}"/>'
        body += note_icon(20.5, 15.5, 17, "#FFFFFF")
        body += text(title_x, 30, title, 16, "#2A6FA8", "bold")
    body += (f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" fill="none" '
             f'stroke="#1F7BC6" stroke-opacity="0.55"/>')
    write(name, svg(w, h, body))


def card(w, h, extra=""):
    body = (f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="8" fill="{CARD}" '
            f'stroke="{LINE}"/>')
    body += f'<rect x="1" y="8" width="3" height="22" rx="1.5" fill="{BLUE}"/>'
    return svg(w, h, body + extra)


def close_button():
    def x(color):
        return (f'<path d="M9 9 L19 19 M19 9 L9 19" stroke="{color}" stroke-width="1.8" '
                'stroke-linecap="round"/>')
    write("close_normal.svg", svg(28, 28, x("#6F86A0")))
    write("close_hover.svg", svg(28, 28, f'<circle cx="14" cy="14" r="13" fill="{RED}"/>' + x("#FFFFFF")))
    write("close_pressed.svg", svg(28, 28, '<circle cx="14" cy="14" r="13" fill="#C23237"/>' + x("#FFFFFF")))


# ---------------------------------------------------------------- buttons
def button_set(prefix, w, h, label, icon=None, primary=True):
    looks = {
        "normal": (BLUE_LIGHT, BLUE, BLUE_DARK, "#FFFFFF"),
        "hover": ("#66B6F2", BLUE_LIGHT, BLUE, "#FFFFFF"),
        "pressed": (BLUE_DARK, "#1D74BA", "#17649F", "#E6F1FB"),
        "disabled": ("#DCE4EC", "#D3DDE7", "#C3CFDB", "#9AA9B8"),
    }
    if not primary:
        looks = {
            "normal": ("#FFFFFF", "#F3F8FD", FIELD_LINE, INK),
            "hover": ("#FFFFFF", "#E6F2FC", BLUE_LIGHT, BLUE_DARK),
            "pressed": ("#DDEBF8", "#D2E5F6", BLUE, BLUE_DARK),
            "disabled": ("#F2F5F8", "#EEF2F6", "#D5DEE7", "#A7B4C1"),
        }
    for state, (top, bottom, border, ink) in looks.items():
        body = grad("g", top, bottom)
        body += (f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="{min(6, h / 2 - 1)}" '
                 f'fill="url(#g)" stroke="{border}"/>')
        if primary and state != "disabled":
            body += (f'<rect x="1.5" y="1.5" width="{w - 3}" height="{h / 2 - 2}" rx="5" '
                     'fill="#FFFFFF" fill-opacity="0.10"/>')
        dy = 1 if state == "pressed" else 0
        if label:
            tx = w / 2 + (9 if icon else 0)
            body += text(tx, h / 2 + 5 + dy, label, 13, ink, "bold", "middle")
            if icon:
                body += icon(tx - len(label) * 6.5 - 17, h / 2 - 7 + dy, ink)
        write(f"{prefix}_{state}.svg", svg(w, h, body))


def plus_icon(x, y, color):
    return (f'<path d="M{x + 7} {y + 1} V{y + 13} M{x + 1} {y + 7} H{x + 13}" stroke="{color}" '
            'stroke-width="2.2" stroke-linecap="round"/>')


def flag_icon(x, y, color, end=False):
    return (f'<path d="M{x + 3} {y + 1} V{y + 14}" stroke="{color}" stroke-width="1.8" '
            f'stroke-linecap="round"/><path d="M{x + 3} {y + 1.5} H{x + 12} L{x + 10} {y + 4.5} '
            f'L{x + 12} {y + 7.5} H{x + 3} Z" fill="{color}" fill-opacity="{0.55 if end else 1}"/>')


def ear_icon(x, y, color):
    return (f'<path d="M{x + 2} {y + 9} V{y + 7} A5 5 0 0 1 {x + 12} {y + 7} V{y + 9}" fill="none" '
            f'stroke="{color}" stroke-width="1.8"/><rect x="{x + 1}" y="{y + 8}" width="3.5" '
            f'height="6" rx="1.2" fill="{color}"/><rect x="{x + 9.5}" y="{y + 8}" width="3.5" '
            f'height="6" rx="1.2" fill="{color}"/>')


def disk_icon(x, y, color):
    return (f'<path d="M{x + 1} {y + 1} H{x + 10.5} L{x + 13} {y + 3.5} V{y + 13} H{x + 1} Z" '
            f'fill="none" stroke="{color}" stroke-width="1.6" stroke-linejoin="round"/>'
            f'<rect x="{x + 4}" y="{y + 1}" width="5" height="3.5" fill="{color}"/>'
            f'<rect x="{x + 3.5}" y="{y + 8}" width="7" height="3.5" rx="0.8" fill="{color}"/>')


def play_pause():
    looks = {
        "": (BLUE_LIGHT, BLUE, "#FFFFFF"),
        "Hover": ("#66B6F2", BLUE_LIGHT, "#FFFFFF"),
        "Pressed": (BLUE_DARK, "#1D74BA", "#E6F1FB"),
        "Disabled": ("#DCE4EC", "#CFD9E3", "#A3B2C0"),
    }
    for suffix, (top, bottom, ink) in looks.items():
        base = grad("g", top, bottom)
        base += f'<circle cx="20" cy="20" r="18.5" fill="url(#g)"/>'
        play = base + f'<path d="M16 12.5 L28 20 L16 27.5 Z" fill="{ink}" stroke="{ink}" stroke-linejoin="round" stroke-width="1.5"/>'
        pause = base + (f'<rect x="14" y="12.5" width="4.2" height="15" rx="1.2" fill="{ink}"/>'
                        f'<rect x="21.8" y="12.5" width="4.2" height="15" rx="1.2" fill="{ink}"/>')
        write(f"play{suffix.lower() and '_' + suffix.lower()}.svg", svg(40, 40, play))
        write(f"pause{suffix.lower() and '_' + suffix.lower()}.svg", svg(40, 40, pause))


# ---------------------------------------------------------------- fields
def field_set(prefix, w, h):
    looks = {"normal": ("#FFFFFF", FIELD_LINE), "hover": ("#FFFFFF", BLUE),
             "pressed": ("#F2F8FE", BLUE_DARK), "disabled": ("#F1F4F7", "#D9E1E9")}
    for state, (fill, border) in looks.items():
        body = (f'<rect x="0.5" y="0.5" width="{w - 1}" height="{h - 1}" rx="4" fill="{fill}" '
                f'stroke="{border}"/>')
        write(f"{prefix}_{state}.svg", svg(w, h, body))


def check_set():
    looks = {
        "normal": (False, "#FFFFFF", FIELD_LINE), "hover": (False, "#F2F8FE", BLUE),
        "pressed": (False, "#E3F0FB", BLUE_DARK), "disabled": (False, "#F1F4F7", "#D9E1E9"),
        "checked": (True, BLUE, BLUE), "checked_hover": (True, BLUE_LIGHT, BLUE_LIGHT),
        "checked_pressed": (True, BLUE_DARK, BLUE_DARK), "checked_disabled": (True, GREY, GREY),
    }
    for state, (on, fill, border) in looks.items():
        body = (f'<rect x="0.5" y="0.5" width="15" height="15" rx="3.5" fill="{fill}" '
                f'stroke="{border}"/>')
        if on:
            body += ('<path d="M4 8.2 L7 11 L12.2 5.2" fill="none" stroke="#FFFFFF" '
                     'stroke-width="2" stroke-linecap="round" stroke-linejoin="round"/>')
        write(f"check_{state}.svg", svg(16, 16, body))


def spin_buttons():
    looks = {"normal": (None, INK), "hover": ("#E3F0FB", BLUE_DARK),
             "pressed": ("#C9E1F7", BLUE_DARK), "disabled": (None, "#B8C4CF")}
    for state, (fill, ink) in looks.items():
        bg = f'<rect x="0.5" y="0.5" width="13" height="10" rx="2.5" fill="{fill}"/>' if fill else ""
        up = bg + (f'<path d="M4 6.5 L7 3.5 L10 6.5" fill="none" stroke="{ink}" stroke-width="1.6" '
                   'stroke-linecap="round" stroke-linejoin="round"/>')
        down = bg + (f'<path d="M4 4 L7 7 L10 4" fill="none" stroke="{ink}" stroke-width="1.6" '
                     'stroke-linecap="round" stroke-linejoin="round"/>')
        write(f"spin_up_{state}.svg", svg(14, 11, up))
        write(f"spin_down_{state}.svg", svg(14, 11, down))


def combo_arrow():
    write("combo_arrow.svg", svg(10, 6, f'<path d="M1 1 L5 5 L9 1" fill="none" stroke="{INK}" '
                                       'stroke-width="1.6" stroke-linecap="round" stroke-linejoin="round"/>'))


# The clock and track bar artwork comes from make_control_artwork.py.


def progress():
    write("progress_track.svg", svg(20, 12, f'<rect x="0.5" y="0.5" width="19" height="11" rx="5.5" fill="#E4EDF6" stroke="{LINE}"/>'))
    write("progress_fill.svg", svg(20, 12, grad("g", BLUE_LIGHT, BLUE) + '<rect width="20" height="12" rx="6" fill="url(#g)"/>'))


def main():
    os.makedirs(OUT, exist_ok=True)
    window_background("main_background.svg", 600, 540, "Tavio铃声制作专家")
    window_background("process_background.svg", 360, 180, "")
    window_background("web_background.svg", 800, 560, "Tavio手机彩铃")
    close_button()
    write("step1_background.svg", card(568, 120))
    # Captions beside the spin edits and fade edits, in card coordinates.
    step2 = "".join(text(x, 155, t, 13, INK2) for x, t in
                    [(16, "起点"), (98, "分"), (180, "秒"), (224, "终点"), (306, "分"), (388, "秒")])
    write("step2_background.svg", card(568, 180, step2))
    step3 = "".join(text(x, y, t, 13, INK2) for x, y, t in
                    [(162, 57, "毫秒"), (362, 57, "毫秒"), (16, 92, "格式"), (146, 92, "声道"),
                     (284, 92, "音量")])
    write("step3_background.svg", card(568, 144, step3))
    button_set("add_song", 120, 36, "添加歌曲", plus_icon)
    button_set("cut_start", 92, 32, "标记开始", lambda x, y, c: flag_icon(x, y, c))
    button_set("cut_end", 92, 32, "标记结束", lambda x, y, c: flag_icon(x, y, c, True))
    button_set("listen", 92, 32, "试听铃声", ear_icon)
    button_set("save_ring", 124, 40, "保存铃声", disk_icon)
    button_set("plain", 80, 30, "", primary=False)
    play_pause()
    field_set("field", 24, 24)
    check_set()
    spin_buttons()
    combo_arrow()
    progress()


if __name__ == "__main__":
    main()
