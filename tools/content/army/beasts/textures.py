#!/usr/bin/python3
"""Procedural textures of the troll, the draught beast and the war drums.

Every map tiles seamlessly (the noise is shaped in the frequency domain of a periodic grid, spots
and rivets wrap around the edges), because the models are mapped by box projection with repeat
wrapping. Each colour map comes with a DOT3 normal map made from the same height field.

usage: textures.py OUT_DIR
"""
import os
import sys

import numpy as np
from PIL import Image

RNG = np.random.default_rng(20261209)


def noise(n, beta=2.0, stretch=(1.0, 1.0), lo=1.0):
    """Periodic fractal noise in [-1, 1]: white noise filtered by 1/f^beta (per-axis stretch)."""
    white = RNG.standard_normal((n, n))
    fy = np.fft.fftfreq(n)[:, None] * n * stretch[1]
    fx = np.fft.fftfreq(n)[None, :] * n * stretch[0]
    f = np.sqrt(fx * fx + fy * fy)
    f[0, 0] = 1.0
    amp = 1.0 / np.maximum(f, lo) ** beta
    amp[0, 0] = 0.0
    out = np.real(np.fft.ifft2(np.fft.fft2(white) * amp))
    out -= out.mean()
    return out / (np.abs(out).max() + 1e-9)


def band(n, lo, hi):
    """Periodic noise holding only frequencies lo..hi (cycles per tile), in [-1, 1]."""
    white = RNG.standard_normal((n, n))
    fy = np.fft.fftfreq(n)[:, None] * n
    fx = np.fft.fftfreq(n)[None, :] * n
    f = np.sqrt(fx * fx + fy * fy)
    mask = ((f >= lo) & (f <= hi)).astype(float)
    out = np.real(np.fft.ifft2(np.fft.fft2(white) * mask))
    return out / (np.abs(out).max() + 1e-9)


def spots(n, count, rmin, rmax, soft=True):
    """Round bumps at random places, wrapped around the edges; returns a height field in [0, 1]."""
    h = np.zeros((n, n))
    yy, xx = np.mgrid[0:n, 0:n]
    for _ in range(count):
        cx, cy = RNG.uniform(0, n, 2)
        r = RNG.uniform(rmin, rmax)
        dx = (xx - cx + n / 2) % n - n / 2
        dy = (yy - cy + n / 2) % n - n / 2
        d = np.sqrt(dx * dx + dy * dy) / r
        bump = np.clip(1 - d * d, 0, 1)
        h = np.maximum(h, np.sqrt(bump) if soft else (d < 1).astype(float))
    return h


def grid_rivets(n, cells, radius):
    yy, xx = np.mgrid[0:n, 0:n]
    step = n / cells
    dx = (xx % step) - step / 2
    dy = (yy % step) - step / 2
    d = np.sqrt(dx * dx + dy * dy) / radius
    return np.sqrt(np.clip(1 - d * d, 0, 1))


def mix(a, b, t):
    t = np.clip(t, 0, 1)[..., None]
    return np.asarray(a, float) * (1 - t) + np.asarray(b, float) * t


def normal_map(height, strength):
    """DOT3 map of a periodic height field: (x, y, z) in [-1, 1] stored as (r, g, b) in 0..255."""
    gx = (np.roll(height, -1, 1) - np.roll(height, 1, 1)) * 0.5 * strength
    gy = (np.roll(height, -1, 0) - np.roll(height, 1, 0)) * 0.5 * strength
    nz = np.ones_like(height)
    length = np.sqrt(gx * gx + gy * gy + nz * nz)
    rgb = np.stack([-gx / length, gy / length, nz / length], -1)
    return ((rgb * 0.5 + 0.5) * 255).clip(0, 255).astype(np.uint8)


def save(out, name, rgb, height, strength, quality=85):
    rgb = np.clip(rgb, 0, 255).astype(np.uint8)
    Image.fromarray(rgb, "RGB").save(os.path.join(out, name + ".jpg"), quality=quality)
    Image.fromarray(normal_map(height, strength), "RGB").save(
        os.path.join(out, name + "DOT3.jpg"), quality=80)


def shade(rgb, height, k):
    """Darkens hollows and lifts ridges a little, so the colour map alone reads as relief."""
    return rgb * (1.0 + k * height[..., None])


# --- troll -----------------------------------------------------------------------------------
def troll_skin(out):
    n = 512
    base = noise(n, 2.2)
    fine = noise(n, 1.0)
    cracks = 1 - np.abs(band(n, 6, 14))
    cracks = np.clip((cracks - 0.93) / 0.07, 0, 1) ** 2
    warts = spots(n, 140, 3, 9)
    lichen = np.clip((noise(n, 1.8) - 0.35) * 4, 0, 1)
    h = 0.35 * base + 0.15 * fine + 0.6 * warts - 0.3 * cracks
    rgb = mix([86, 96, 78], [120, 118, 96], base * 0.5 + 0.5)
    rgb = mix(rgb, [70, 86, 52], lichen * 0.7)
    rgb = mix(rgb, [138, 128, 104], warts * 0.6)
    rgb = mix(rgb, [58, 62, 50], cracks * 0.5)
    rgb = shade(rgb, fine, 0.12)
    save(out, "Troll_Skin", rgb, h, 6.0)


def leather(n, base_col, dark_col, stitch_cells, seed_shift=0.0):
    grain = noise(n, 1.2)
    blotch = noise(n, 2.4)
    scratches = np.clip((np.abs(band(n, 20, 40)) - 0.75) * 4, 0, 1)
    yy, xx = np.mgrid[0:n, 0:n]
    step = n / stitch_cells
    seam = (np.abs((yy % step) - step / 2) < 1.2) & ((xx % 12) < 7)
    h = 0.25 * grain + 0.35 * blotch - 0.4 * scratches - 0.5 * seam
    rgb = mix(base_col, dark_col, blotch * 0.5 + 0.5)
    rgb = shade(rgb, grain, 0.15)
    rgb = mix(rgb, [30, 22, 16], scratches * 0.6)
    rgb = mix(rgb, [170, 150, 110], seam.astype(float) * 0.8)
    return rgb, h


def troll_hide(out):
    rgb, h = leather(256, [96, 70, 46], [54, 38, 26], 4)
    save(out, "Troll_Hide", rgb, h, 4.0)


def rusty_iron(n, rivet_cells=0):
    base = noise(n, 1.6)
    rust = np.clip((noise(n, 2.0) + 0.1) * 2.2, 0, 1)
    pits = spots(n, 90, 1, 3)
    h = 0.2 * base - 0.3 * pits + 0.2 * rust
    rgb = mix([82, 84, 88], [120, 122, 126], base * 0.5 + 0.5)
    rgb = mix(rgb, [112, 58, 28], rust * 0.85)
    rgb = mix(rgb, [60, 30, 16], pits * 0.7)
    if rivet_cells:
        rv = grid_rivets(n, rivet_cells, n / rivet_cells * 0.14)
        h = h + 1.2 * rv
        rgb = mix(rgb, [150, 146, 140], rv * 0.9)
    return rgb, h


def troll_iron(out):
    rgb, h = rusty_iron(256)
    save(out, "Troll_Iron", rgb, h, 4.0)


def ivory(n, rings, col_a, col_b):
    yy = np.mgrid[0:n, 0:n][0]
    ring = 0.5 + 0.5 * np.sin(yy / n * 2 * np.pi * rings + 2.0 * noise(n, 2.0))
    streak = noise(n, 1.0, stretch=(1.0, 8.0))
    h = 0.5 * ring + 0.2 * streak
    rgb = mix(col_a, col_b, ring * 0.7 + 0.3 * (streak * 0.5 + 0.5))
    return rgb, h


def troll_nail(out):
    rgb, h = ivory(128, 6, [196, 182, 140], [136, 118, 82])
    save(out, "Troll_Nail", rgb, h, 3.0)


def eye(out, name, col):
    n = 16
    rgb = np.tile(np.asarray(col, float), (n, n, 1))
    save(out, name, rgb, np.zeros((n, n)), 1.0)


# --- beast -----------------------------------------------------------------------------------
def beast_hide(out):
    n = 512
    strands = noise(n, 0.9, stretch=(1.0, 4.0))
    clumps = noise(n, 1.4, stretch=(1.0, 2.0))
    patches = noise(n, 2.6)
    h = 0.6 * strands + 0.4 * clumps
    rgb = mix([128, 96, 64], [66, 48, 34], patches * 0.5 + 0.5)
    rgb = mix(rgb, [176, 146, 104], np.clip(strands, 0, 1) * 0.6)
    rgb = mix(rgb, [26, 18, 14], np.clip(-clumps, 0, 1) * 0.7)
    save(out, "Beast_Hide", rgb, h, 5.0)


def beast_horn(out):
    rgb, h = ivory(128, 9, [212, 196, 158], [96, 80, 60])
    save(out, "Beast_Horn", rgb, h, 3.0)


def beast_plate(out):
    rgb, h = rusty_iron(256, rivet_cells=4)
    save(out, "Beast_Plate", rgb, h, 5.0)


def beast_harness(out):
    rgb, h = leather(256, [70, 44, 28], [38, 24, 16], 2)
    save(out, "Beast_Harness", rgb, h, 4.0)


# --- drums -----------------------------------------------------------------------------------
def drums_skin(out):
    """Drumhead: stretched hide with a painted red ring and spokes, centred for a disc mapping."""
    n = 256
    yy, xx = np.mgrid[0:n, 0:n]
    dx = (xx - n / 2 + 0.5) / (n / 2)
    dy = (yy - n / 2 + 0.5) / (n / 2)
    r = np.sqrt(dx * dx + dy * dy)
    a = np.arctan2(dy, dx)
    blot = noise(n, 2.0)
    fibre = noise(n, 1.0)
    rgb = mix([198, 176, 132], [150, 124, 86], blot * 0.5 + 0.5 + 0.4 * r)
    rgb = shade(rgb, fibre, 0.1)
    ring = (np.abs(r - 0.62) < 0.06) | (np.abs(r - 0.3) < 0.035)
    spokes = (np.abs(np.sin(a * 3)) < 0.12) & (r > 0.3) & (r < 0.62)
    eyeball = r < 0.12
    paint = (ring | spokes | eyeball).astype(float) * np.clip(0.75 + 0.35 * blot, 0, 1)
    rgb = mix(rgb, [120, 20, 14], paint)
    rgb = mix(rgb, [60, 44, 30], np.clip((r - 0.86) * 8, 0, 1))  # darker worn rim
    h = 0.15 * fibre + 0.2 * paint
    save(out, "Drums_Skin", rgb, h, 2.0)


def drums_wood(out):
    n = 256
    grain = noise(n, 1.0, stretch=(12.0, 1.0))
    knots = spots(n, 6, 6, 12)
    yy, xx = np.mgrid[0:n, 0:n]
    staves = (xx % 32 < 2).astype(float)
    h = 0.4 * grain - 0.3 * knots - 0.6 * staves
    rgb = mix([112, 72, 40], [60, 38, 22], grain * 0.5 + 0.5)
    rgb = mix(rgb, [40, 24, 14], knots * 0.8 + staves)
    save(out, "Drums_Wood", rgb, h, 4.0)


def drums_iron(out):
    rgb, h = rusty_iron(128, rivet_cells=4)
    save(out, "Drums_Iron", rgb, h, 4.0)


def drums_orc(out):
    n = 256
    base = noise(n, 2.2)
    fine = noise(n, 1.0)
    scars = np.clip((np.abs(band(n, 3, 6)) < 0.04).astype(float) * (noise(n, 2.0) > 0.2), 0, 1)
    h = 0.3 * base + 0.2 * fine - 0.4 * scars
    rgb = mix([70, 92, 44], [104, 118, 60], base * 0.5 + 0.5)
    rgb = shade(rgb, fine, 0.15)
    rgb = mix(rgb, [128, 108, 90], scars * 0.8)
    save(out, "Drums_Orc", rgb, h, 4.0)


def drums_leather(out):
    rgb, h = leather(256, [104, 76, 52], [56, 40, 30], 4)
    save(out, "Drums_Leather", rgb, h, 4.0)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/media/Texture"
    os.makedirs(out, exist_ok=True)
    for make in (troll_skin, troll_hide, troll_iron, troll_nail, beast_hide, beast_horn,
                 beast_plate, beast_harness, drums_skin, drums_wood, drums_iron, drums_orc,
                 drums_leather):
        make(out)
    eye(out, "Troll_Eye", [255, 170, 40])
    eye(out, "Beast_Eye", [230, 60, 20])
    eye(out, "Drums_Eye", [250, 40, 20])


if __name__ == "__main__":
    main()
