#!/usr/bin/env python3
"""Draws the flag pictures of the Language menu as small Windows bitmaps
(24-bit, uncompressed) into languages/: one per shipped language and
noflag.bmp for a language without its own. Run from anywhere:
    tools/drawflags.py
"""
import os
import struct

W, H = 24, 16
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "languages")


def bmp(pixels):
    """pixels[y][x] = (r, g, b), y = 0 at the top."""
    row = (W * 3 + 3) // 4 * 4
    data = bytearray()
    for y in reversed(range(H)):  # bottom-up rows
        line = bytearray()
        for r, g, b in pixels[y]:
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def vertical(*colours):
    return [[colours[x * len(colours) // W] for x in range(W)] for _ in range(H)]


def horizontal(*bands):
    """bands: (colour, weight) from the top."""
    total = sum(w for _, w in bands)
    rows = []
    for y in range(H):
        at = y * total / H
        for colour, weight in bands:
            if at < weight:
                rows.append([colour] * W)
                break
            at -= weight
    return rows


def union():
    blue, white, red = (1, 33, 105), (255, 255, 255), (200, 16, 46)
    px = [[blue] * W for _ in range(H)]
    for y in range(H):
        for x in range(W):
            # Distance from each diagonal, in pixels.
            d1 = abs(x * H - y * W) / W
            d2 = abs((W - 1 - x) * H - y * W) / W
            if min(d1, d2) < 1.6:
                px[y][x] = white
            if min(d1, d2) < 0.6:
                px[y][x] = red
    for y in range(H):
        for x in range(W):
            if abs(x - (W - 1) / 2) < 3 or abs(y - (H - 1) / 2) < 3:
                px[y][x] = white
            if abs(x - (W - 1) / 2) < 1.5 or abs(y - (H - 1) / 2) < 1.5:
                px[y][x] = red
    return px


def noflag():
    grey, edge, mark = (214, 214, 214), (120, 120, 120), (90, 90, 90)
    px = [[grey] * W for _ in range(H)]
    for x in range(W):
        px[0][x] = px[H - 1][x] = edge
    for y in range(H):
        px[y][0] = px[y][W - 1] = edge
    # A question mark, 5 x 9, in the middle.
    glyph = ["01110", "10001", "00001", "00010", "00100", "00100", "00000", "00100", "00100"]
    top, left = (H - len(glyph)) // 2, (W - 5) // 2
    for gy, bits in enumerate(glyph):
        for gx, bit in enumerate(bits):
            if bit == "1":
                px[top + gy][left + gx] = mark
    return px


FLAGS = {
    "Italiano": vertical((0, 146, 70), (255, 255, 255), (206, 43, 55)),
    "English": union(),
    "Deutsch": horizontal(((0, 0, 0), 1), ((221, 0, 0), 1), ((255, 206, 0), 1)),
    "Français": vertical((0, 85, 164), (255, 255, 255), (239, 65, 53)),
    "Español": horizontal(((170, 21, 27), 1), ((241, 191, 0), 2), ((170, 21, 27), 1)),
    "noflag": noflag(),
}

if __name__ == "__main__":
    os.makedirs(ROOT, exist_ok=True)
    for name, pixels in FLAGS.items():
        with open(os.path.join(ROOT, name + ".bmp"), "wb") as f:
            f.write(bmp(pixels))
