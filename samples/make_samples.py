#!/usr/bin/env python3
"""Writes VORA's demo frames into this folder (standard library only, fixed seed):

  starfield.bmp          230 x 150, 24-bit BMP: sky gradient, stars, noise
  starfield_16bit.ppm    the same field shifted by (+3.4, -2.1) pixels, binary PPM, maxval 65535
  moon.pgm               200 x 200, 8-bit binary PGM: a lit disc with maria and craters

Run it from anywhere: python3 samples/make_samples.py
"""

import math
import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SEED = 20240611

FIELD_W, FIELD_H = 230, 150  # 230 * 3 bytes per row: BMP rows carry 2 padding bytes
SHIFT_X, SHIFT_Y = 3.4, -2.1
MOON_SIZE = 200


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def make_star_list(rng):
    """A few dozen stars: position, peak, width (sigma) and colour (r, g, b multipliers)."""
    stars = []
    for _ in range(48):
        x = rng.uniform(-4.0, FIELD_W + 4.0)
        y = rng.uniform(-4.0, FIELD_H + 4.0)
        # Many faint stars, a few bright ones; the brightest saturate, as on real frames.
        peak = 0.04 + 1.3 * rng.random() ** 4
        sigma = 0.7 + 0.5 * rng.random() + 0.9 * min(peak, 1.0)
        warmth = rng.uniform(-1.0, 1.0)  # negative: bluish, positive: yellowish
        colour = (1.0 + 0.25 * warmth, 1.0 + 0.05 * warmth, 1.0 - 0.25 * warmth)
        stars.append((x, y, peak, sigma, colour))
    return stars


def render_field(stars, dx, dy, rng):
    """RGB floats 0..1, row 0 at the top of the picture."""
    image = []
    for y in range(FIELD_H):
        row = []
        for x in range(FIELD_W):
            # Sky glow growing towards the horizon (bottom) and one side, slightly orange.
            glow = 0.02 + 0.10 * (y / (FIELD_H - 1)) ** 2 + 0.03 * (x / (FIELD_W - 1))
            row.append([glow * 1.15, glow * 1.0, glow * 0.85])
        image.append(row)
    for sx, sy, peak, sigma, colour in stars:
        sx += dx
        sy += dy
        reach = int(math.ceil(4.0 * sigma))
        for y in range(max(0, int(sy) - reach), min(FIELD_H, int(sy) + reach + 2)):
            for x in range(max(0, int(sx) - reach), min(FIELD_W, int(sx) + reach + 2)):
                r2 = (x - sx) ** 2 + (y - sy) ** 2
                v = peak * math.exp(-r2 / (2.0 * sigma * sigma))
                if v < 1e-4:
                    continue
                px = image[y][x]
                for c in range(3):
                    px[c] += v * colour[c]
    for row in image:
        for px in row:
            for c in range(3):
                # Read noise plus a shot-noise-like term that grows with the signal.
                sd = 0.006 + 0.02 * math.sqrt(min(px[c], 1.0))
                px[c] = clamp01(px[c] + rng.gauss(0.0, sd))
    return image


def render_moon(rng):
    """Grey floats 0..1, row 0 at the top."""
    n = MOON_SIZE
    cx = cy = (n - 1) / 2.0
    radius = 0.42 * n
    maria = [(rng.uniform(-0.5, 0.5), rng.uniform(-0.5, 0.5), rng.uniform(0.15, 0.35))
             for _ in range(5)]
    craters = []
    for _ in range(30):
        a = rng.uniform(0.0, 2.0 * math.pi)
        d = math.sqrt(rng.random()) * 0.9
        craters.append((d * math.cos(a), d * math.sin(a), 0.02 + 0.10 * rng.random() ** 2))
    image = []
    for y in range(n):
        row = []
        for x in range(n):
            u = (x - cx) / radius
            v = (y - cy) / radius
            r2 = u * u + v * v
            if r2 > 1.0:
                # Dark sky with a faint halo just outside the limb.
                halo = 0.05 * math.exp(-(math.sqrt(r2) - 1.0) * 12.0)
                row.append(0.03 + halo + rng.gauss(0.0, 0.006))
                continue
            mu = math.sqrt(1.0 - r2)
            level = 0.55 + 0.35 * mu  # limb darkening
            for mx, my, mr in maria:
                q = ((u - mx) ** 2 + (v - my) ** 2) / (mr * mr)
                if q < 1.0:
                    level -= 0.18 * (1.0 - q) ** 0.5
            for kx, ky, kr in craters:
                d = math.sqrt((u - kx) ** 2 + (v - ky) ** 2) / kr
                if d < 0.85:
                    level -= 0.10  # floor
                elif d < 1.15:
                    # Rim: lit on the upper-left side, shadowed on the lower-right.
                    side = ((u - kx) * -0.7 + (v - ky) * -0.7) / (d * kr)
                    level += 0.10 * side
            row.append(level + rng.gauss(0.0, 0.01))
        image.append(row)
    return [[clamp01(p) for p in row] for row in image]


def to8(v):
    return int(round(v * 255.0))


def to16(v):
    return int(round(v * 65535.0))


def write_bmp24(path, image):
    h, w = len(image), len(image[0])
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(image):  # BMP stores the bottom row first
        start = len(pixels)
        for r, g, b in row:
            pixels += bytes((to8(b), to8(g), to8(r)))
        pixels += b"\0" * (stride - (len(pixels) - start))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def write_ppm16(path, image):
    h, w = len(image), len(image[0])
    data = bytearray(b"P6\n%d %d\n65535\n" % (w, h))
    for row in image:
        for px in row:
            data += struct.pack(">HHH", *(to16(c) for c in px))
    with open(path, "wb") as f:
        f.write(data)


def write_pgm8(path, image):
    h, w = len(image), len(image[0])
    data = bytearray(b"P5\n%d %d\n255\n" % (w, h))
    for row in image:
        data += bytes(to8(v) for v in row)
    with open(path, "wb") as f:
        f.write(data)


def main():
    rng = random.Random(SEED)
    stars = make_star_list(rng)
    write_bmp24(os.path.join(HERE, "starfield.bmp"), render_field(stars, 0.0, 0.0, rng))
    write_ppm16(os.path.join(HERE, "starfield_16bit.ppm"),
                render_field(stars, SHIFT_X, SHIFT_Y, rng))
    write_pgm8(os.path.join(HERE, "moon.pgm"), render_moon(rng))
    for name in ("starfield.bmp", "starfield_16bit.ppm", "moon.pgm"):
        print("wrote samples/%s (%d bytes)" % (name, os.path.getsize(os.path.join(HERE, name))))


if __name__ == "__main__":
    main()
