"""Procedural atlas for one orc: 4 x 4 cells of 128 texels, each a tileable material (skin,
leather, mail, plate, cloth, horn, wood, ...), painted from periodic noise, plus the height field
that the DOT3 normal map is derived from. Every orc gets its own tints of the same recipes.
"""
import math

import numpy as np
from PIL import Image

N = 128
SIZE = 512

# Cell positions (column, row); the mesh builder uses the same names.
CELLS = {
    "skin": (0, 0), "head": (1, 0), "leather": (2, 0), "fur": (3, 0),
    "mail": (0, 1), "plate": (1, 1), "cloth": (2, 1), "horn": (3, 1),
    "wood": (0, 2), "iron": (1, 2), "bronze": (2, 2), "cloth2": (3, 2),
    "hair": (0, 3), "palette": (1, 3), "strap": (2, 3), "spare": (3, 3),
}
# Solid patches of the palette cell (4 x 4 sub-cells).
PATCHES = {"eye": (0, 0), "black": (1, 0), "ivory": (2, 0), "red": (3, 0),
           "teeth": (0, 1), "mouth": (1, 1), "gold": (2, 1), "white": (3, 1)}


def noise(seed, n=N, power=2.0, low=1.0):
    """Tileable noise in 0..1: white noise shaped by 1/f^power in the frequency domain."""
    rng = np.random.default_rng(seed)
    w = rng.standard_normal((n, n))
    f = np.fft.fftfreq(n) * n
    fx, fy = np.meshgrid(f, f)
    r = np.sqrt(fx * fx + fy * fy)
    r[0, 0] = 1.0
    amp = 1.0 / np.maximum(r, low) ** power
    amp[0, 0] = 0.0
    out = np.real(np.fft.ifft2(np.fft.fft2(w) * amp))
    out -= out.min()
    return out / max(out.max(), 1e-9)


def tint(h, dark, light):
    dark, light = np.array(dark, float), np.array(light, float)
    return dark[None, None, :] + (light - dark)[None, None, :] * h[..., None]


def skin(seed, base, spots=True):
    h = noise(seed, power=1.6) * 0.6 + noise(seed + 1, power=0.8) * 0.4
    col = tint(h, np.array(base) * 0.62, np.array(base) * 1.12)
    # veins and warts
    v = noise(seed + 2, power=1.2)
    veins = np.clip(1 - np.abs(v - 0.5) * 28, 0, 1) * 0.25
    col *= (1 - veins[..., None])
    hh = h * 0.5 - veins * 0.6
    if spots:
        rng = np.random.default_rng(seed + 3)
        yy, xx = np.mgrid[0:N, 0:N]
        for _ in range(10):
            cx, cy, r = rng.uniform(0, N), rng.uniform(0, N), rng.uniform(1.5, 3.5)
            dx = (xx - cx + N / 2) % N - N / 2
            dy = (yy - cy + N / 2) % N - N / 2
            d = np.exp(-(dx * dx + dy * dy) / (r * r))
            col *= (1 - 0.25 * d[..., None])
            hh += d * 0.8
    return col, hh


def head(seed, base, paint, scar):
    col, h = skin(seed, base, spots=False)
    yy, xx = np.mgrid[0:N, 0:N] / N  # u across (front at 0.5), v from chin (0) to crown (1)
    # darker brow shadow and eye sockets around the front
    front = np.exp(-((xx - 0.5) / 0.16) ** 2)
    brow = np.exp(-((yy - 0.62) / 0.06) ** 2) * front
    col *= (1 - 0.35 * brow[..., None])
    if paint is not None:
        kind, pc = paint
        pc = np.array(pc, float)
        if kind == "band":      # a band across the eyes
            m = (np.abs(yy - 0.55) < 0.07) & (np.abs(xx - 0.5) < 0.25)
        elif kind == "stripes":  # three vertical stripes down the face
            m = (np.abs(((xx - 0.5) * 16) % 2 - 1) < 0.35) & (np.abs(xx - 0.5) < 0.13) & (yy < 0.7)
        elif kind == "chin":    # lower face painted
            m = (yy < 0.38) & (np.abs(xx - 0.5) < 0.3)
        else:                   # a hand-wide slash across
            m = np.abs((yy - 0.5) - (xx - 0.5) * 1.2) < 0.05
            m &= np.abs(xx - 0.5) < 0.25
        rough = noise(seed + 9, power=1.0) > 0.3
        m = m & rough
        col[m] = col[m] * 0.25 + pc * 0.75
    if scar:
        m = (np.abs((xx - 0.56) * 3.0 - (yy - 0.5)) < 0.03) & (np.abs(yy - 0.52) < 0.22)
        col[m] = col[m] * 0.6 + np.array([150, 90, 90]) * 0.4
        h[m] -= 0.5
    return col, h


def leather(seed, base):
    h = noise(seed, power=1.8) * 0.5 + noise(seed + 1, power=0.6) * 0.5
    col = tint(h, np.array(base) * 0.55, np.array(base) * 1.1)
    yy, xx = np.mgrid[0:N, 0:N]
    stitch = ((yy % 32) < 2) & ((xx % 6) < 3)
    col[stitch] *= 0.55
    scuff = noise(seed + 4, power=1.4) > 0.78
    col[scuff] = col[scuff] * 0.7 + 40
    h = h * 0.4 - stitch * 0.4
    return col, h


def fur(seed, base):
    rng = np.random.default_rng(seed)
    w = rng.random((N, N))
    strands = np.zeros((N, N))
    for k in range(8):  # streaks along v
        strands += np.roll(w, k, axis=0)
    strands /= 8
    h = (strands - strands.min()) / max(np.ptp(strands), 1e-6)
    col = tint(h * 0.7 + noise(seed + 1, power=1.5) * 0.3, np.array(base) * 0.4, np.array(base) * 1.2)
    return col, h


def mail(seed, base):
    yy, xx = np.mgrid[0:N, 0:N].astype(float)
    p = 4.0
    # rings on a staggered lattice
    ry = yy / p
    rx = xx / p + (np.floor(ry) % 2) * 0.5
    fy, fx = ry - np.floor(ry) - 0.5, rx - np.floor(rx) - 0.5
    d = np.sqrt(fx * fx + fy * fy)
    ring = np.clip(1 - np.abs(d - 0.32) * 7, 0, 1)
    rust = noise(seed, power=1.5)
    h = ring
    col = tint(ring, (25, 24, 24), base)
    rmask = np.clip((rust - 0.55) * 3, 0, 1)[..., None]
    col = col * (1 - rmask) + np.array([110, 55, 25]) * rmask * (0.4 + 0.6 * ring[..., None])
    return col, h


def plate(seed, base, rivets=True):
    h = noise(seed, power=2.2) * 0.3
    scratch = noise(seed + 1, power=0.5)
    col = tint(h / 0.3 * 0.6 + scratch * 0.4, np.array(base) * 0.55, np.array(base) * 1.05)
    rust = noise(seed + 2, power=1.6)
    rm = np.clip((rust - 0.6) * 3.5, 0, 1)[..., None]
    col = col * (1 - rm) + np.array([105, 50, 22]) * rm
    yy, xx = np.mgrid[0:N, 0:N].astype(float)
    # plate seams every quarter with a row of rivets
    seam = (yy % 32) < 1.5
    col[seam] *= 0.45
    h = h - seam * 0.5
    if rivets:
        dx = (xx % 16) - 8
        dy = (yy % 32) - 5
        riv = np.exp(-(dx * dx + dy * dy) / 3.0)
        col += riv[..., None] * 60
        h += riv * 0.7
    return col, h


def cloth(seed, base):
    yy, xx = np.mgrid[0:N, 0:N]
    weave = (((xx + yy) % 2) * 0.2 + 0.8)
    h = noise(seed, power=1.6) * 0.6 + weave * 0.4
    col = tint(h, np.array(base) * 0.5, np.array(base) * 1.05)
    dirt = np.clip((noise(seed + 3, power=1.8) - 0.5) * 2, 0, 1)[..., None]
    col = col * (1 - 0.5 * dirt) + np.array([60, 45, 30]) * 0.5 * dirt
    # a torn, frayed band near both ends of v
    fray = ((yy < 5) | (yy > N - 6)) & (noise(seed + 4, power=0.2) > 0.5)
    col[fray] *= 0.5
    return col, h


def horn(seed, base):
    yy, xx = np.mgrid[0:N, 0:N].astype(float)
    bands = 0.5 + 0.5 * np.sin(yy / N * 2 * math.pi * 10 + noise(seed, power=1.5) * 4)
    h = bands * 0.6 + noise(seed + 1, power=1.2) * 0.4
    col = tint(h, np.array(base) * 0.6, np.array(base) * 1.1)
    return col, h


def wood(seed, base):
    yy, xx = np.mgrid[0:N, 0:N].astype(float)
    n = noise(seed, power=1.4)
    grain = 0.5 + 0.5 * np.sin(xx / N * 2 * math.pi * 12 + n * 9)
    col = tint(grain * 0.7 + n * 0.3, np.array(base) * 0.5, np.array(base) * 1.1)
    return col, grain * 0.5


def hair(seed, base):
    return fur(seed, base)


def palette():
    col = np.zeros((N, N, 3))
    colours = {"eye": (255, 200, 40), "black": (14, 10, 8), "ivory": (226, 214, 170),
               "red": (150, 20, 16), "teeth": (200, 190, 150), "mouth": (60, 18, 14),
               "gold": (200, 160, 60), "white": (220, 220, 210)}
    q = N // 4
    for name, (c, r) in PATCHES.items():
        col[r * q:(r + 1) * q, c * q:(c + 1) * q] = colours[name]
    # the eye patch gets a hot centre
    yy, xx = np.mgrid[0:q, 0:q]
    d = np.exp(-(((xx - q / 2) ** 2 + (yy - q / 2) ** 2) / (q * q / 10)))
    col[0:q, 0:q] = np.array([255, 150, 20]) * (1 - d[..., None]) + np.array([255, 245, 160]) * d[..., None]
    return col, np.zeros((N, N))


def banner(seed, base, sigil):
    """256 x 256 cloth with a painted sigil (u across, v down the cloth)."""
    n = 256
    yy, xx = np.mgrid[0:n, 0:n] / n
    hh = noise(seed, n=n, power=1.6)
    col = tint(hh, np.array(base) * 0.55, np.array(base) * 1.0)
    cx, cy = 0.5, 0.42
    r = np.sqrt((xx - cx) ** 2 + (yy - cy) ** 2)
    ang = np.arctan2(yy - cy, xx - cx)
    # a jagged sun-wheel: a ring with eight teeth and a bar through it
    teeth = 0.23 + 0.04 * np.sign(np.sin(ang * 8))
    ring = (r < teeth) & (r > 0.14)
    bar = (np.abs(xx - cx) < 0.035) & (yy > 0.12) & (yy < 0.9)
    border = (xx < 0.06) | (xx > 0.94) | (yy < 0.05)
    sig = np.array(sigil, float)
    worn = noise(seed + 5, n=n, power=1.0) > 0.2
    for m, c in ((border, sig * 0.8), (ring & worn, sig), (bar & worn, sig * 0.9)):
        col[m] = col[m] * 0.2 + c * 0.8
    return col, hh * 0.4 + ring * 0.4


def normal_map(h, strength=3.0):
    gx = (np.roll(h, -1, axis=1) - np.roll(h, 1, axis=1)) * strength
    gy = (np.roll(h, -1, axis=0) - np.roll(h, 1, axis=0)) * strength
    n = np.stack([-gx, -gy, np.ones_like(h)], axis=-1)
    n /= np.linalg.norm(n, axis=-1, keepdims=True)
    return (n * 0.5 + 0.5) * 255


def build_atlas(look, seed, colour_path, bump_path, banner_spec=None):
    """look: tints of this orc; writes the colour map and its DOT3 map (JPEG)."""
    col = np.zeros((SIZE, SIZE, 3))
    hgt = np.zeros((SIZE, SIZE))
    makers = {
        "skin": lambda s: skin(s, look["skin"]),
        "head": lambda s: head(s, look["skin"], look.get("paint"), look.get("scar", False)),
        "leather": lambda s: leather(s, look["leather"]),
        "fur": lambda s: fur(s, look["fur"]),
        "mail": lambda s: mail(s, look["metal"]),
        "plate": lambda s: plate(s, look["metal"]),
        "cloth": lambda s: cloth(s, look["cloth"]),
        "horn": lambda s: horn(s, (190, 175, 140)),
        "wood": lambda s: wood(s, (110, 80, 50)),
        "iron": lambda s: plate(s, np.array(look["metal"]) * 0.7, rivets=True),
        "bronze": lambda s: plate(s, (170, 120, 60), rivets=False),
        "cloth2": lambda s: cloth(s, look["cloth2"]),
        "hair": lambda s: hair(s, (30, 26, 22)),
        "palette": lambda s: palette(),
        "strap": lambda s: leather(s, np.array(look["leather"]) * 0.6),
        "spare": lambda s: skin(s, look["skin"]),
    }
    for i, (name, (c, r)) in enumerate(CELLS.items()):
        cc, hh = makers[name](seed * 100 + i)
        col[r * N:(r + 1) * N, c * N:(c + 1) * N] = cc
        hgt[r * N:(r + 1) * N, c * N:(c + 1) * N] = hh
    if banner_spec is not None:
        cc, hh = banner(seed * 100 + 50, banner_spec["cloth"], banner_spec["sigil"])
        col[256:512, 256:512] = cc
        hgt[256:512, 256:512] = hh
    Image.fromarray(np.clip(col, 0, 255).astype(np.uint8)).save(colour_path, quality=88)
    Image.fromarray(np.clip(normal_map(hgt), 0, 255).astype(np.uint8)).save(bump_path, quality=85)
