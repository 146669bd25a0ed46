#!/usr/bin/python3
"""Draws the alpha example's pictures as PNG files with an alpha channel, with the standard
library only.

skin.png    a rounded panel with a soft drop shadow: opaque panel, translucent shadow, clear
            corners. The magenta disc in its corner is the mask colour, so it shows as a hole.
round.png   a round button: a disc on the mask colour, so only the disc shows on the skin.
round-over.png, round-down.png   the same disc lit and pressed.

Run it from anywhere; it writes next to itself. The results are checked in."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
MASK = (254, 1, 254)  # the default mask colour: the engine's colour key on alpha skins


def write_png(path, width, height, rgba_at):
    rows = []
    for y in range(height):
        row = bytearray(b"\x00")
        for x in range(width):
            row += bytes(rgba_at(x, y))
        rows.append(bytes(row))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def rounded_distance(x, y, left, top, right, bottom, radius):
    """Signed distance from a rounded rectangle's edge, negative inside."""
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return math.hypot(x - cx, y - cy) - radius


def skin(width=360, height=240, shadow=14):
    panel = (shadow // 2, shadow // 2, width - shadow - 1, height - shadow - 1)

    def at(x, y):
        px, py = x + 0.5, y + 0.5
        inside = rounded_distance(px, py, *panel, 22)
        if inside <= -1:
            top = 1 - py / height
            base = (int(40 + 50 * top), int(70 + 60 * top), int(120 + 70 * top))
            return base + (255,)
        if inside < 0:  # one pixel of anti-aliased edge over the shadow
            return (30, 50, 90, 255)
        # The shadow: the panel's outline shifted down and right, fading over `shadow` pixels.
        d = rounded_distance(px - 6, py - 6, *panel, 22)
        strength = max(0.0, 1 - max(d, 0) / shadow) ** 2
        return (0, 0, 0, int(150 * strength))
    return at


def disc(size, colour):
    def at(x, y):
        d = math.hypot(x + 0.5 - size / 2, y + 0.5 - size / 2)
        return colour + (255,) if d <= size / 2 - 1 else MASK + (255,)
    return at


def main():
    write_png(os.path.join(HERE, "skin.png"), 360, 240, skin())
    for name, colour in (("round", (70, 160, 90)), ("round-over", (110, 210, 130)),
                         ("round-down", (40, 110, 60))):
        write_png(os.path.join(HERE, f"{name}.png"), 48, 48, disc(48, colour))


if __name__ == "__main__":
    main()
