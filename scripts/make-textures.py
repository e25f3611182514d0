#!/usr/bin/env python3
"""Makes the benchmark's texture images: data/texture1.jpg to texture4.jpg and data/normal.jpg.

Every image is 512 x 512, tiles seamlessly (the tests sample with wrap addressing) and is
computed from a fixed seed, so running this again gives the same pixels:

  texture1  marble: a sine of x distorted by fractal noise, through a cream/grey-green ramp
  texture2  wood: rings around an off-centre axis, distorted by noise, with fine grain
  texture3  granite: three layers of speckle noise over a mid-grey base, lit from the top left
  texture4  sky: a blue gradient with soft fractal clouds
  normal    a tangent-space normal map of bevelled tiles with a rough surface: the height field's
            slopes by central differences, normalised, stored as (n + 1) / 2 in R, G, B
            (x right, y up, z out of the surface)

Only the standard library is needed; cjpeg (libjpeg-turbo-progs) writes the JPEG files at
quality 92. Usage: scripts/make-textures.py [OUTPUT_DIR]   (default: data/)
"""
import math
import os
import subprocess
import sys
import tempfile

SIZE = 512


def lattice(seed, period):
    """A period x period table of pseudo-random values in [0, 1) from a fixed integer hash."""
    table = []
    for j in range(period):
        row = []
        for i in range(period):
            h = (i * 374761393 + j * 668265263 + seed * 2147483647) & 0xFFFFFFFF
            h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
            h ^= h >> 16
            row.append((h & 0xFFFFFF) / float(1 << 24))
        table.append(row)
    return table


class Noise:
    """Tileable value noise: smooth interpolation of a random lattice that wraps around."""

    def __init__(self, seed, octaves, base_period=4):
        self.octaves = [(lattice(seed + k, base_period << k), base_period << k) for k in range(octaves)]

    def fbm(self, u, v):
        """Fractal sum over the octaves at (u, v) in [0, 1); about [0, 1]."""
        total, amplitude, norm = 0.0, 1.0, 0.0
        for table, period in self.octaves:
            x, y = u * period, v * period
            i, j = int(x), int(y)
            fx, fy = x - i, y - j
            fx = fx * fx * (3 - 2 * fx)
            fy = fy * fy * (3 - 2 * fy)
            i0, j0 = i % period, j % period
            i1, j1 = (i + 1) % period, (j + 1) % period
            top = table[j0][i0] + (table[j0][i1] - table[j0][i0]) * fx
            bottom = table[j1][i0] + (table[j1][i1] - table[j1][i0]) * fx
            total += amplitude * (top + (bottom - top) * fy)
            norm += amplitude
            amplitude *= 0.5
        return total / norm


def ramp(stops, t):
    """Colour at t in [0, 1] along (position, (r, g, b)) stops."""
    t = min(max(t, 0.0), 1.0)
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            f = (t - p0) / (p1 - p0) if p1 > p0 else 0.0
            return tuple(a + (b - a) * f for a, b in zip(c0, c1))
    return stops[-1][1]


def image(pixel):
    rows = []
    for y in range(SIZE):
        v = y / SIZE
        row = bytearray()
        for x in range(SIZE):
            r, g, b = pixel(x / SIZE, v)
            row += bytes(max(0, min(255, int(c * 255 + 0.5))) for c in (r, g, b))
        rows.append(bytes(row))
    return b"".join(rows)


def marble():
    noise = Noise(11, 6)
    stops = [(0.0, (0.93, 0.90, 0.82)), (0.55, (0.86, 0.84, 0.76)), (0.8, (0.55, 0.62, 0.55)),
             (1.0, (0.22, 0.30, 0.26))]

    def pixel(u, v):
        n = noise.fbm(u, v)
        vein = 0.5 + 0.5 * math.sin(2 * math.pi * (3 * u + 2 * v) + 9.0 * n)
        return ramp(stops, vein ** 3 * 0.7 + 0.3 * n)

    return pixel


def wood():
    noise = Noise(23, 5)
    grain = Noise(29, 7, base_period=8)
    stops = [(0.0, (0.45, 0.25, 0.10)), (0.6, (0.66, 0.42, 0.20)), (1.0, (0.80, 0.58, 0.33))]

    def pixel(u, v):
        # Rings of a log seen from the side: distance from a line, made periodic in u and v.
        d = 0.5 + 0.5 * math.sin(2 * math.pi * (5 * v + 0.35 * math.sin(2 * math.pi * u)) + 6.0 * noise.fbm(u, v))
        ring = d ** 1.5
        fine = grain.fbm(u * 1.0, v)
        return ramp(stops, 0.75 * ring + 0.25 * fine)

    return pixel


def granite():
    coarse = Noise(31, 4, base_period=8)
    fine = Noise(37, 6, base_period=16)
    speck = Noise(41, 2, base_period=128)

    def height(u, v):
        return coarse.fbm(u, v)

    def pixel(u, v):
        base = 0.42 + 0.25 * fine.fbm(u, v)
        s = speck.fbm(u, v)
        if s > 0.72:
            colour = (0.12, 0.10, 0.10)
        elif s < 0.22:
            colour = (0.85, 0.72, 0.66)
        else:
            colour = (base, base * 0.97, base * 0.95)
        e = 1.0 / SIZE
        light = 1.0 + 6.0 * ((height(u - e, v - e) - height(u + e, v + e)))
        return tuple(c * light for c in colour)

    return pixel


def sky():
    clouds = Noise(53, 6)

    def pixel(u, v):
        top, bottom = (0.18, 0.38, 0.78), (0.62, 0.78, 0.95)
        t = 0.5 - 0.5 * math.cos(2 * math.pi * v)  # periodic so the image tiles
        blue = tuple(a + (b - a) * t for a, b in zip(top, bottom))
        c = clouds.fbm(u, v)
        cover = min(max((c - 0.45) * 3.0, 0.0), 1.0)
        white = (0.97, 0.97, 0.98)
        return tuple(b + (w - b) * cover for b, w in zip(blue, white))

    return pixel


def normal_map():
    rough = Noise(61, 5, base_period=16)
    tiles = 4  # 4 x 4 tiles across the image
    bevel = 0.08

    def height(u, v):
        fu, fv = (u * tiles) % 1.0, (v * tiles) % 1.0
        edge = min(fu, 1 - fu, fv, 1 - fv)
        tile = min(edge / bevel, 1.0)
        return 0.7 * tile + 0.3 * rough.fbm(u % 1.0, v % 1.0)

    strength = 6.0
    e = 1.0 / SIZE

    def pixel(u, v):
        dx = (height(u + e, v) - height(u - e, v)) / (2 * e) / SIZE * strength
        dy = (height(u, v - e) - height(u, v + e)) / (2 * e) / SIZE * strength  # y up
        nx, ny, nz = -dx, -dy, 1.0
        length = math.sqrt(nx * nx + ny * ny + nz * nz)
        return tuple(0.5 * (c / length) + 0.5 for c in (nx, ny, nz))

    return pixel


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data")
    for name, maker in (("texture1", marble), ("texture2", wood), ("texture3", granite), ("texture4", sky),
                        ("normal", normal_map)):
        pixels = image(maker())
        with tempfile.NamedTemporaryFile(suffix=".ppm", delete=False) as ppm:
            ppm.write(b"P6\n%d %d\n255\n" % (SIZE, SIZE) + pixels)
        target = os.path.join(out, name + ".jpg")
        with open(target, "wb") as jpg:
            subprocess.run(["cjpeg", "-quality", "92", "-optimize", ppm.name], stdout=jpg, check=True)
        os.unlink(ppm.name)
        print(target)


if __name__ == "__main__":
    main()
