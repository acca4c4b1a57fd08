#!/usr/bin/env python3
"""Draws the desktop application's pictures as PNG files into this folder, and the application's icon for
the desktop in the sizes of the icon theme into gui/icons/ (laid out as the hicolor theme's folders).

Every picture is made of simple shapes (circles, rings, rectangles, polygons and strokes), rendered with
4 x 4 supersampling and written with the standard library only. Run it again after changing a drawing:

    python3 gui/images/draw_pictures.py
"""

import math
import os
import struct
import zlib

SAMPLES = 4

# Colours (red, green, blue, alpha).
INK = (38, 50, 56, 255)
BLUE = (25, 118, 210, 255)
LIGHT_BLUE = (144, 202, 249, 255)
GREEN = (56, 142, 60, 255)
ORANGE = (245, 124, 0, 255)
RED = (211, 47, 47, 255)
WHITE = (255, 255, 255, 255)
GREY = (176, 190, 197, 255)
PINK = (240, 98, 146, 255)


# ---------------------------------------------------------------------------------------------------------
# Shapes: each is a predicate on a point, paired with a colour.

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, inner, outer):
    return lambda x, y: inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= outer * outer


def rect(x0, y0, x1, y1, radius=0.0):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        if radius <= 0:
            return True
        nx = min(max(x, x0 + radius), x1 - radius)
        ny = min(max(y, y0 + radius), y1 - radius)
        return (x - nx) ** 2 + (y - ny) ** 2 <= radius * radius
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def stroke(points, width):
    """A polyline of the given width with round joins and ends."""
    half = width / 2.0
    segments = list(zip(points, points[1:]))

    def distance(x, y, a, b):
        (ax, ay), (bx, by) = a, b
        dx, dy = bx - ax, by - ay
        length = dx * dx + dy * dy
        t = 0.0 if length == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length))
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy))

    return lambda x, y: any(distance(x, y, a, b) <= half for a, b in segments)


def arc(cx, cy, r, start_degrees, end_degrees, width, steps=24):
    points = []
    for i in range(steps + 1):
        angle = math.radians(start_degrees + (end_degrees - start_degrees) * i / steps)
        points.append((cx + r * math.cos(angle), cy - r * math.sin(angle)))
    return stroke(points, width)


def difference(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


# ---------------------------------------------------------------------------------------------------------
# Rendering and PNG output.

def render(width, height, layers, scale=1.0):
    """Renders the layers; a scale other than 1 draws a drawing made for another size (64 pixels of a 64 x 64
    drawing cover 64 * scale pixels)."""
    pixels = bytearray()
    step = 1.0 / SAMPLES
    for py in range(height):
        pixels.append(0)  # PNG filter type "none" for this row
        for px in range(width):
            colour = [0.0, 0.0, 0.0, 0.0]
            samples = [((px + (sx + 0.5) * step) / scale, (py + (sy + 0.5) * step) / scale)
                       for sy in range(SAMPLES) for sx in range(SAMPLES)]
            for shape, (r, g, b, a) in layers:
                hits = sum(1 for x, y in samples if shape(x, y))
                if hits == 0:
                    continue
                alpha = a / 255.0 * hits / len(samples)
                out_alpha = alpha + colour[3] * (1 - alpha)
                for i, value in enumerate((r, g, b)):
                    colour[i] = (value * alpha + colour[i] * colour[3] * (1 - alpha)) / out_alpha
                colour[3] = out_alpha
            pixels.extend([int(round(colour[0])), int(round(colour[1])), int(round(colour[2])),
                           int(round(colour[3] * 255))])
    return bytes(pixels)


def write_png(path, width, height, raw):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as png:
        png.write(b"\x89PNG\r\n\x1a\n")
        png.write(chunk(b"IHDR", header))
        png.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        png.write(chunk(b"IEND", b""))


# ---------------------------------------------------------------------------------------------------------
# The drawings, on a 64 x 64 grid unless said otherwise.

def chip(x0, y0, x1, y1, colour=INK):
    """A chip body with four pins on each side."""
    layers = [(rect(x0, y0, x1, y1, 4), colour), (rect(x0 + 7, y0 + 7, x1 - 7, y1 - 7, 2), LIGHT_BLUE)]
    span = x1 - x0
    for i in range(4):
        offset = x0 + span * (i + 0.5) / 4
        layers += [(rect(offset - 2, y0 - 7, offset + 2, y0, 1), colour),
                   (rect(offset - 2, y1, offset + 2, y1 + 7, 1), colour),
                   (rect(x0 - 7, y0 + span * (i + 0.5) / 4 - 2, x0, y0 + span * (i + 0.5) / 4 + 2, 1), colour),
                   (rect(x1, y0 + span * (i + 0.5) / 4 - 2, x1 + 7, y0 + span * (i + 0.5) / 4 + 2, 1), colour)]
    return layers


def document(x0=12, y0=6, x1=48, y1=58):
    fold = 12
    sheet = polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    return [(sheet, INK), (polygon([(x0 + 3, y0 + 3), (x1 - fold - 1, y0 + 3), (x1 - 3, y0 + fold + 1),
                                    (x1 - 3, y1 - 3), (x0 + 3, y1 - 3)]), WHITE),
            (polygon([(x1 - fold, y0), (x1, y0 + fold), (x1 - fold, y0 + fold)]), GREY)]


def gear(cx, cy, r, colour):
    teeth = []
    for i in range(8):
        angle = i * math.pi / 4
        teeth.append(stroke([(cx + r * 0.6 * math.cos(angle), cy + r * 0.6 * math.sin(angle)),
                             (cx + r * math.cos(angle), cy + r * math.sin(angle))], r * 0.38))
    body = circle(cx, cy, r * 0.75)
    shape = lambda x, y: body(x, y) or any(t(x, y) for t in teeth)
    return [(difference(shape, circle(cx, cy, r * 0.3)), colour)]


def exclamation_icon():
    triangle = polygon([(32, 4), (61, 57), (3, 57)])
    return [(triangle, ORANGE), (rect(29, 20, 35, 42, 2), WHITE), (circle(32, 49, 3.5), WHITE)]


def checkmark_icon():
    return [(circle(32, 32, 29), GREEN), (stroke([(17, 33), (28, 44), (47, 22)], 7), WHITE)]


def search_icon():
    return [(ring(26, 26, 14, 20), BLUE), (circle(26, 26, 14), (227, 242, 253, 255)),
            (stroke([(40, 40), (56, 56)], 9), INK)]


def mcu():
    return chip(14, 14, 50, 50)


def parameters():
    layers = []
    for index, (y, knob) in enumerate(((16, 22), (32, 42), (48, 30))):
        layers += [(stroke([(8, y), (56, y)], 4), INK), (circle(knob, y, 6.5), BLUE if index != 1 else ORANGE)]
    return layers


def read_parameters():
    return chip(8, 8, 36, 36) + [(stroke([(46, 26), (46, 54)], 6), GREEN),
                                 (polygon([(36, 46), (56, 46), (46, 60)]), GREEN)]


def file_settings():
    return document(6, 4, 42, 58) + [(circle(44, 44, 16), WHITE)] + gear(44, 44, 15, BLUE)


def save_icon():
    body = rect(6, 6, 58, 58, 5)
    return [(body, BLUE), (rect(16, 6, 46, 24, 1), WHITE), (rect(37, 9, 43, 21), BLUE),
            (rect(14, 34, 50, 58, 2), WHITE), (stroke([(20, 42), (44, 42)], 2.5), GREY),
            (stroke([(20, 50), (44, 50)], 2.5), GREY)]


def eraser():
    body = polygon([(30, 8), (58, 30), (34, 56), (6, 34)])
    tip = polygon([(18, 22), (46, 44), (34, 56), (6, 34)])
    return [(body, PINK), (tip, GREY), (stroke([(30, 8), (58, 30), (34, 56), (6, 34), (30, 8)], 2.5), INK),
            (stroke([(18, 22), (46, 44)], 2.5), INK), (stroke([(30, 60), (60, 60)], 2.5), INK)]


def eye_icon():
    upper = lambda x, y: (x - 32) ** 2 / 30.0 ** 2 + (y - 32) ** 2 / 18.0 ** 2 <= 1
    return [(upper, INK), (lambda x, y: (x - 32) ** 2 / 26.0 ** 2 + (y - 32) ** 2 / 14.0 ** 2 <= 1, WHITE),
            (circle(32, 32, 11), BLUE), (circle(32, 32, 5), INK), (circle(35, 29, 2), WHITE)]


def window_icon():
    return [(rect(2, 2, 62, 62, 12), BLUE), (rect(14, 14, 50, 23, 2), WHITE), (rect(27, 14, 37, 52, 2), WHITE),
            (ring(32, 32, 26, 28), LIGHT_BLUE)]


def leave_dfu_mode():
    return chip(6, 14, 34, 42) + [(stroke([(40, 28), (58, 28)], 6), ORANGE),
                                  (polygon([(52, 18), (63, 28), (52, 38)]), ORANGE)]


def logo():
    """A 200 x 48 banner: the window icon and three touch waves."""
    layers = [(rect(4, 4, 44, 44, 8), BLUE), (rect(12, 12, 36, 18, 1.5), WHITE), (rect(21, 12, 27, 38, 1.5), WHITE)]
    for i, colour in enumerate((BLUE, LIGHT_BLUE, GREY)):
        layers.append((arc(64 + 42 * i, 24, 14, 200, 340, 5), colour))
        layers.append((arc(85 + 42 * i, 24, 14, 20, 160, 5), colour))
    return layers


PICTURES = {
    "exclamation_icon.png": (64, 64, exclamation_icon),
    "checkmark_icon.png": (64, 64, checkmark_icon),
    "search_icon.png": (64, 64, search_icon),
    "mcu.png": (64, 64, mcu),
    "parameters.png": (64, 64, parameters),
    "read_parameters.png": (64, 64, read_parameters),
    "file-settings.png": (64, 64, file_settings),
    "save_icon.png": (64, 64, save_icon),
    "eraser.png": (64, 64, eraser),
    "eye_icon.png": (64, 64, eye_icon),
    "windowicon.png": (64, 64, window_icon),
    "leave_dfu_mode.png": (64, 64, leave_dfu_mode),
    "logo.png": (200, 48, logo),
}


# The desktop icon: the window icon's drawing in the sizes that the desktop entry's icon is installed in.
ICON_NAME = "tarnix-programmer.png"
ICON_SIZES = (48, 256)


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    for name, (width, height, drawing) in PICTURES.items():
        write_png(os.path.join(folder, name), width, height, render(width, height, drawing()))
        print("drew", name)
    for size in ICON_SIZES:
        icon_folder = os.path.join(folder, os.pardir, "icons", "%dx%d" % (size, size), "apps")
        os.makedirs(icon_folder, exist_ok=True)
        write_png(os.path.join(icon_folder, ICON_NAME), size, size, render(size, size, window_icon(), size / 64.0))
        print("drew icon", size)


if __name__ == "__main__":
    main()
