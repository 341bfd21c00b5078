#!/usr/bin/env python3
"""Draws the HUD kit's skin images and writes them, with ZEPHUDKit.qrc, into this folder.

Each control is drawn once as a whole (a pill-shaped button, a rounded box, ...) and cut
into the part images the kit names: a part is the same drawing seen through a smaller
viewBox, so caps, tiles and corners always meet without a seam. The look is one palette:
dark translucent bodies, thin light outlines, white marks.

Run it after changing a drawing: python3 resources/hudkit/make_art.py
"""

from pathlib import Path

HERE = Path(__file__).resolve().parent

# The palette shared by every control.
OUTLINE = "#ffffff"
OUTLINE_OPACITY = 0.6
BODY_TOP, BODY_BOTTOM, BODY_OPACITY = "#5c5c5c", "#262626", 0.7
ACTIVE_TOP, ACTIVE_BOTTOM, ACTIVE_OPACITY = "#9a9a9a", "#5e5e5e", 0.9
MARK = "#ffffff"

written = []


def gradient(ident, top, bottom, height, opacity):
    return (f'<linearGradient id="{ident}" gradientUnits="userSpaceOnUse" x1="0" y1="0" x2="0" y2="{height}">'
            f'<stop offset="0" stop-color="{top}" stop-opacity="{opacity}"/>'
            f'<stop offset="1" stop-color="{bottom}" stop-opacity="{opacity}"/></linearGradient>')


def rounded(width, height, radius, fill, fill_opacity=1.0, stroke_opacity=OUTLINE_OPACITY):
    """A rounded rectangle whose 1-pixel light outline sits on whole pixels."""
    return (f'<rect x="0.5" y="0.5" width="{width - 1}" height="{height - 1}" rx="{radius}" ry="{radius}"'
            f' fill="{fill}" fill-opacity="{fill_opacity}"'
            f' stroke="{OUTLINE}" stroke-opacity="{stroke_opacity}" stroke-width="1"/>')


def write(name, drawing, x, y, width, height):
    """Writes the part of drawing inside (x, y, width, height) as name.svg."""
    svg = (f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny"'
           f' width="{width}" height="{height}" viewBox="{x} {y} {width} {height}">'
           f'{drawing}</svg>\n')
    (HERE / f"{name}.svg").write_text(svg)
    written.append(f"{name}.svg")


def three_parts(prefix, suffix, drawing, cap_left, cap_right, height):
    """Cuts a horizontal drawing that is cap_left + 1 + cap_right wide into its three parts."""
    write(f"{prefix}leftcap{suffix}", drawing, 0, 0, cap_left, height)
    write(f"{prefix}tile{suffix}", drawing, cap_left, 0, 1, height)
    write(f"{prefix}rightcap{suffix}", drawing, cap_left + 1, 0, cap_right, height)


def nine_parts(prefix, drawing, corner, centre_name="bg", with_centre=True):
    """Cuts a square drawing that is 2 * corner + 1 on a side into its nine parts."""
    c, s = corner, corner + 1
    parts = {
        "topleft": (0, 0, c, c), "top": (c, 0, 1, c), "topright": (s, 0, c, c),
        "left": (0, c, c, 1), centre_name: (c, c, 1, 1), "right": (s, c, c, 1),
        "bottomleft": (0, s, c, c), "bottom": (c, s, 1, c), "bottomright": (s, s, c, c),
    }
    for part, (x, y, w, h) in parts.items():
        if part == centre_name and not with_centre:
            continue
        write(f"{prefix}{part}", drawing, x, y, w, h)


def pill(width, height, fill_id, top, bottom, opacity, extra=""):
    return (f"<defs>{gradient(fill_id, top, bottom, height, opacity)}</defs>"
            + rounded(width, height, (height - 1) / 2, f"url(#{fill_id})") + extra)


def button():
    cap, height = 11, 22
    three_parts("button-", "", pill(2 * cap + 1, height, "body", BODY_TOP, BODY_BOTTOM, BODY_OPACITY),
                cap, cap, height)


def popup_menu_button():
    cap_left, cap_right, height = 11, 22, 22
    width = cap_left + 1 + cap_right
    arrows_x = width - 11

    def arrows(opacity):
        # Two small chevrons, one up and one down, in the right cap.
        return (f'<path d="M {arrows_x - 3} 9 L {arrows_x} 6 L {arrows_x + 3} 9'
                f' M {arrows_x - 3} 13 L {arrows_x} 16 L {arrows_x + 3} 13"'
                f' fill="none" stroke="{MARK}" stroke-opacity="{opacity}" stroke-width="1.5"/>')

    enabled = pill(width, height, "body", BODY_TOP, BODY_BOTTOM, BODY_OPACITY, arrows(1.0))
    three_parts("popupmenu-", "", enabled, cap_left, cap_right, height)
    disabled = (f"<g opacity=\"0.45\">{pill(width, height, 'body', BODY_TOP, BODY_BOTTOM, BODY_OPACITY)}</g>"
                + arrows(0.4))
    three_parts("popupmenu-disabled-", "", disabled, cap_left, cap_right, height)


def popup_menu():
    corner = 6
    side = 2 * corner + 1
    nine_parts("popupmenu-", rounded(side, side, 5, "#151515", 0.94, 0.25), corner)


def slider():
    cap, height = 2, 4
    line = f'<rect x="0" y="0" width="{2 * cap + 1}" height="{height}" rx="2" ry="2" fill="{MARK}" fill-opacity="0.4"/>'
    three_parts("sliderline-", "", line, cap, cap, height)

    ball = (f"<defs>{gradient('knob', '#f4f4f4', '#a8a8a8', 13, 1.0)}</defs>"
            '<circle cx="6.5" cy="6.5" r="6" fill="url(#knob)" stroke="#000000" stroke-opacity="0.45"/>')
    write("slider-ball", ball, 0, 0, 13, 13)

    pointy = (f"<defs>{gradient('knob', '#f4f4f4', '#a8a8a8', 15, 1.0)}</defs>"
              '<path d="M 2.5 0.5 L 8.5 0.5 Q 10.5 0.5 10.5 2.5 L 10.5 9 L 5.5 14.5 L 0.5 9 L 0.5 2.5'
              ' Q 0.5 0.5 2.5 0.5 Z" fill="url(#knob)" stroke="#000000" stroke-opacity="0.45"/>')
    write("slider-pointy", pointy, 0, 0, 11, 15)

    snap = f'<circle cx="2.5" cy="2.5" r="2" fill="{MARK}" fill-opacity="0.9"/>'
    write("slider-snappoint", snap, 0, 0, 5, 5)


def checkbox():
    side = 14
    box = (f"<defs>{gradient('body', BODY_TOP, BODY_BOTTOM, side, BODY_OPACITY)}</defs>"
           + rounded(side, side, 3, "url(#body)"))
    write("checkbox-normal", box, 0, 0, side, side)
    tick = (f'<path d="M 3.5 7.5 L 6 10.5 L 11 3.5" fill="none" stroke="{MARK}" stroke-width="2"'
            ' stroke-linecap="round" stroke-linejoin="round"/>')
    write("checkbox-active", box + tick, 0, 0, side, side)


def boxes():
    corner = 4
    side = 2 * corner + 1
    # Groove: sunk into the panel, darker than it. Bezel: raised, lighter than it.
    nine_parts("inset-", rounded(side, side, 3, "#000000", 0.4, 0.22), corner)
    nine_parts("outset-", rounded(side, side, 3, "#ffffff", 0.1, 0.45), corner)


def tab_box():
    # An outline only: the tab view makes the empty centre itself.
    corner = 6
    side = 2 * corner + 1
    nine_parts("tabbox-", rounded(side, side, 5, "none", 1.0, 0.35), corner, with_centre=False)


def tabs():
    cap, height = 6, 20
    for state, (top, bottom, opacity) in {
        "normal": (BODY_TOP, BODY_BOTTOM, BODY_OPACITY),
        "active": (ACTIVE_TOP, ACTIVE_BOTTOM, ACTIVE_OPACITY),
    }.items():
        drawing = (f"<defs>{gradient('body', top, bottom, height, opacity)}</defs>"
                   + rounded(2 * cap + 1, height, 5, "url(#body)"))
        three_parts("tab-", f"-{state}", drawing, cap, cap, height)
    divider = f'<rect x="0" y="0" width="1" height="{height}" fill="{OUTLINE}" fill-opacity="{OUTLINE_OPACITY}"/>'
    write("tab-divider", divider, 0, 0, 1, height)


def write_resource_file():
    files = "\n".join(f"    <file>{name}</file>" for name in sorted(written))
    (HERE / "ZEPHUDKit.qrc").write_text(
        f'<!DOCTYPE RCC>\n<RCC version="1.0">\n  <qresource prefix="/ZEPHUDKit">\n{files}\n'
        "  </qresource>\n</RCC>\n")


if __name__ == "__main__":
    for old in HERE.glob("*.svg"):
        old.unlink()
    button()
    popup_menu_button()
    popup_menu()
    slider()
    checkbox()
    boxes()
    tab_box()
    tabs()
    write_resource_file()
    print(f"wrote {len(written)} images")
