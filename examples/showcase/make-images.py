#!/usr/bin/python3
"""Draws the showcase Skivet's pictures as 24-bit BMP files, with the standard library only.

skin.bmp       the window: a rounded panel with a title tab, on a flat key colour
round*.bmp     the graphical button: normal, pointer over, pressed
star.bmp       the shaped button: a star on a flat key colour, so its outline is the star
plate.bmp      the picture under the caption of the text-over-picture button

Run it from anywhere; it writes next to itself. The results are checked in."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

KEY = (255, 0, 255)  # the top-left pixel: shaping cuts away every pixel of this colour
WELL = (46, 54, 84)  # the flat tray the round button sits on; also its own background


class Canvas:
    def __init__(self, width, height, fill):
        self.width, self.height = width, height
        self.rows = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour

    def get(self, x, y):
        return self.rows[y][x]

    def save(self, name):
        # Bottom-up rows of blue, green, red, each row padded to four bytes.
        pad = b"\0" * ((4 - self.width * 3 % 4) % 4)
        body = b"".join(
            b"".join(struct.pack("BBB", b, g, r) for r, g, b in row) + pad
            for row in reversed(self.rows))
        header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(body),
                           2835, 2835, 0, 0)
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(header + info + body)


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def in_rounded(x, y, left, top, right, bottom, radius, square_bottom=False):
    """Whether the pixel centre (x, y) lies in a rectangle with rounded corners."""
    px, py = x + 0.5, y + 0.5
    if not (left <= px < right and top <= py < bottom):
        return False
    cx = min(max(px, left + radius), right - radius)
    cy_bottom = bottom if square_bottom else bottom - radius
    cy = min(max(py, top + radius), cy_bottom)
    return (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2


# A 5 x 7 pixel font for the title strip, one string of five bits per row.
FONT = {
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "01010", "01010", "00100"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "C": ["01111", "10000", "10000", "10000", "10000", "10000", "01111"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    " ": ["00000"] * 7,
}


def text(canvas, x, y, words, colour, scale=2):
    for letter in words:
        for row, bits in enumerate(FONT[letter]):
            for column, bit in enumerate(bits):
                if bit == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            canvas.put(x + column * scale + dx, y + row * scale + dy, colour)
        x += 6 * scale


def skin():
    width, height = 480, 300
    canvas = Canvas(width, height, KEY)

    # One blob: the body and the tab above its left half, with a two-pixel margin of key
    # colour all round so the outline never runs along the bitmap's own edge.
    def inside(x, y):
        return (in_rounded(x, y, 2, 30, width - 2, height - 2, 40)
                or in_rounded(x, y, 24, 2, 262, 60, 16, square_bottom=True))

    top_band, bottom_band = (70, 84, 128), (28, 32, 52)
    for y in range(height):
        # Horizontal bands: a dark gradient with every other 12-pixel band a shade lighter.
        base = mix(top_band, bottom_band, (y - 30) / (height - 30))
        if (y // 12) % 2:
            base = mix(base, (255, 255, 255), 0.06)
        for x in range(width):
            if inside(x, y):
                canvas.put(x, y, base)

    # The title strip in the tab, with the title in pixel letters.
    for y in range(4, 30):
        for x in range(28, 258):
            if in_rounded(x, y, 28, 4, 258, 30, 12, square_bottom=True):
                canvas.put(x, y, mix((250, 176, 64), (214, 110, 30), (y - 4) / 26))
    text(canvas, 48, 10, "NUV SHOWCASE", (40, 24, 12))

    # The tray holding the controls: one flat colour, which the round button's corners share.
    for y in range(44, 262):
        for x in range(16, 464):
            if in_rounded(x, y, 16, 44, 464, 262, 12):
                canvas.put(x, y, WELL)

    # A striped band along the bottom edge.
    for y in range(272, 286):
        for x in range(60, 420):
            stripe = ((x + y) // 8) % 2
            canvas.put(x, y, (236, 150, 48) if stripe else (60, 44, 36))

    # A light rim just inside the outline, so the shape reads against any desktop.
    rim = (150, 170, 230)
    for y in range(height):
        for x in range(width):
            if not inside(x, y):
                continue
            edge = any(not (0 <= x + dx < width and 0 <= y + dy < height)
                       or not inside(x + dx, y + dy)
                       for dx, dy in ((-2, 0), (2, 0), (0, -2), (0, 2)))
            if edge:
                canvas.put(x, y, rim)
    canvas.save("skin.bmp")


def round_button(name, light, dark, pressed):
    size, supersample = 64, 4
    canvas = Canvas(size, size, WELL)
    centre, radius = size / 2, 29
    for y in range(size):
        for x in range(size):
            # Average 4 x 4 samples so the circle's edge blends into the tray colour.
            total, colour_sum = 0, [0, 0, 0]
            for sy in range(supersample):
                for sx in range(supersample):
                    px = x + (sx + 0.5) / supersample
                    py = y + (sy + 0.5) / supersample
                    d = math.hypot(px - centre, py - centre)
                    if d <= radius:
                        t = (py - (centre - radius)) / (2 * radius)
                        colour = mix(light, dark, 1 - t if pressed else t)
                        if d > radius - 2.5:
                            colour = mix(colour, (20, 24, 36), 0.6)
                    else:
                        colour = WELL
                    total += 1
                    colour_sum = [a + b for a, b in zip(colour_sum, colour)]
            canvas.put(x, y, tuple(round(c / total) for c in colour_sum))
    # A play triangle, nudged down and right while pressed.
    shift = 2 if pressed else 0
    for y in range(size):
        for x in range(size):
            px, py = x - shift, y - shift
            if 25 <= px <= 43 and abs(py - 32) <= 11 * (43 - px) / 18:
                canvas.put(x, y, (250, 250, 240))
    canvas.save(name)


def star():
    size = 80
    canvas = Canvas(size, size, KEY)
    centre, outer, inner = size / 2, 38, 16
    corners = []
    for i in range(10):
        angle = -math.pi / 2 + i * math.pi / 5
        r = outer if i % 2 == 0 else inner
        corners.append((centre + r * math.cos(angle), centre + 2 + r * math.sin(angle)))

    def inside(px, py):  # even-odd test against the star's ten edges
        result = False
        for i in range(10):
            (x1, y1), (x2, y2) = corners[i], corners[(i + 1) % 10]
            if (y1 > py) != (y2 > py) and px < x1 + (py - y1) * (x2 - x1) / (y2 - y1):
                result = not result
        return result

    for y in range(size):
        for x in range(size):
            if inside(x + 0.5, y + 0.5):
                border = not all(inside(x + 0.5 + dx, y + 0.5 + dy)
                                 for dx, dy in ((-2, 0), (2, 0), (0, -2), (0, 2)))
                fill = mix((255, 236, 110), (240, 150, 20), y / size)
                canvas.put(x, y, (150, 70, 10) if border else fill)
    canvas.save("star.bmp")


def plate():
    width, height = 120, 32
    canvas = Canvas(width, height, (0, 0, 0))
    for y in range(height):
        for x in range(width):
            colour = mix((236, 244, 255), (168, 196, 236), y / height)
            if (x // 6) % 2 and 6 <= y < height - 6:
                colour = mix(colour, (255, 255, 255), 0.25)
            if x in (0, width - 1) or y in (0, height - 1):
                colour = (70, 96, 150)
            canvas.put(x, y, colour)
    canvas.save("plate.bmp")


def main():
    skin()
    round_button("round.bmp", (120, 220, 130), (30, 130, 60), pressed=False)
    round_button("round-over.bmp", (170, 250, 170), (60, 180, 90), pressed=False)
    round_button("round-down.bmp", (90, 170, 100), (20, 90, 40), pressed=True)
    star()
    plate()


if __name__ == "__main__":
    main()
