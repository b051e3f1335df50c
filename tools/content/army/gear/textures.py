"""Procedural texture atlases of the gear (vehicles, shields, weapons) and their DOT3 maps.

Each tile is painted as a colour field and a height field of its own size; the atlas pastes them
at the rectangles below (the model scripts map their parts into the same rectangles) and derives
the tangent-space normal map from the pasted height field.
"""
import math
import os

import numpy as np
from PIL import Image

VEHICLE_TILES = {
    'planks': (0, 0, 1024, 256),
    'timber': (0, 256, 512, 256),
    'iron': (512, 256, 256, 256),
    'rust': (768, 256, 256, 256),
    'hide': (0, 512, 512, 256),
    'darkwood': (512, 512, 512, 256),
    'rope': (0, 768, 256, 256),
    'cloth': (256, 768, 256, 256),
    'metal': (512, 768, 256, 256),
    'bone': (768, 768, 256, 256),
}
SHIELD_FACES = 12
SHIELD_TILES = {f'face{i}': ((i % 4) * 256, (i // 4) * 256, 256, 256) for i in range(SHIELD_FACES)}
SHIELD_TILES.update({
    'wood': (0, 768, 256, 256),
    'iron': (256, 768, 256, 256),
    'leather': (512, 768, 256, 256),
    'rust': (768, 768, 256, 256),
})
WEAPON_TILES = {
    'steel': (0, 0, 256, 128),
    'darksteel': (256, 0, 256, 128),
    'wood': (0, 128, 256, 128),
    'darkwood': (256, 128, 256, 128),
    'leather': (0, 256, 256, 128),
    'bronze': (256, 256, 256, 128),
    'rust': (0, 384, 256, 128),
    'bone': (256, 384, 256, 128),
}
ATLASES = {
    'Gear_Vehicles.jpg': (1024, VEHICLE_TILES),
    'Gear_Shields.jpg': (1024, SHIELD_TILES),
    'Gear_Weapons.jpg': (512, WEAPON_TILES),
}
# Overall gain per atlas: the army is lit by torches and fire at night, so the painted values sit
# a little above what reads well in daylight.
GAIN = {'Gear_Vehicles.jpg': 1.3, 'Gear_Shields.jpg': 1.3, 'Gear_Weapons.jpg': 1.1}


def bump_name(colour_name):
    stem, ext = os.path.splitext(colour_name)
    return stem + 'DOT3' + ext


# ---------------------------------------------------------------------------------------------
# noise and helpers
# ---------------------------------------------------------------------------------------------

def _up(a, w, h):
    return np.asarray(Image.fromarray(a.astype(np.float32), 'F').resize((w, h), Image.BICUBIC))


def noise(w, h, cells, rng, octaves=4, aniso=(1.0, 1.0)):
    """Fractal value noise in about -1..1; `cells` is the coarsest grid count across w."""
    out = np.zeros((h, w), np.float32)
    amp = 1.0
    total = 0.0
    c = cells
    for _ in range(octaves):
        gw = max(2, int(c * aniso[0]))
        gh = max(2, int(c * aniso[1] * h / w))
        out += _up(rng.uniform(-1, 1, (gh, gw)), w, h) * amp
        total += amp
        amp *= 0.5
        c *= 2
    return out / total


def mix(a, b, t):
    t = np.clip(t, 0, 1)[..., None] if np.ndim(t) == 2 else t
    return np.asarray(a) * (1 - t) + np.asarray(b) * t


def rgb(h, w, c):
    return np.broadcast_to(np.asarray(c, np.float32), (h, w, 3)).copy()


def disc_mask(w, h, cx, cy, r, soft=1.5):
    y, x = np.mgrid[0:h, 0:w]
    d = np.sqrt((x - cx) ** 2 + (y - cy) ** 2)
    return np.clip((r - d) / soft + 0.5, 0, 1)


# ---------------------------------------------------------------------------------------------
# materials: each returns (colour h x w x 3 in 0..1, height h x w in 0..1)
# ---------------------------------------------------------------------------------------------

def wood(w, h, rng, base=(0.36, 0.23, 0.13), dark=(0.17, 0.10, 0.05), planks=0, knots=3):
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    # growth rings: stripes along u, bent gently and broken up so they read as grain, not waves
    warp = noise(w, h, 3, rng, 3, (0.5, 1.0)) * 5
    grain = np.sin((y + warp) * 1.3 + noise(w, h, 24, rng, 2, (0.2, 1.0)) * 2.5) * 0.5 + 0.5
    grain = grain ** 2
    fine = noise(w, h, 64, rng, 2, (0.08, 1.5))
    t = np.clip(grain * 0.55 + fine * 0.35 + 0.2, 0, 1)
    col = mix(rgb(h, w, base), rgb(h, w, dark), t)
    hgt = 0.55 + 0.15 * (grain - 0.5) + 0.1 * fine
    for _ in range(knots):
        kx, ky = rng.uniform(0, w), rng.uniform(0, h)
        r = rng.uniform(3, 7)
        d = np.sqrt(((x - kx) * 0.6) ** 2 + (y - ky) ** 2)
        m = np.clip(1 - d / r, 0, 1)
        col = mix(col, rgb(h, w, np.asarray(dark) * 0.7), m * 0.9)
        hgt -= m * 0.15
    if planks:
        ph = h / planks
        local = np.mod(y, ph)
        seam = np.clip(1 - np.minimum(local, ph - local) / 2.0, 0, 1)
        shade = np.floor(y / ph)
        tone = (np.sin(shade * 12.9898) * 43758.5453) % 1.0
        col *= (0.82 + 0.3 * tone)[..., None]
        # butt joints at random places along each plank
        for p in range(planks):
            for _ in range(2):
                jx = rng.uniform(0, w)
                band = (np.abs(x - jx) < 1.5) & (y >= p * ph) & (y < (p + 1) * ph)
                seam = np.maximum(seam, band.astype(np.float32))
        col = mix(col, rgb(h, w, (0.05, 0.03, 0.02)), seam * 0.85)
        hgt = hgt * (1 - seam) + 0.05 * seam
        # nail heads near the joints
    return np.clip(col, 0, 1), np.clip(hgt, 0, 1)


def iron(w, h, rng, base=(0.27, 0.27, 0.29), rivets=True, rust=0.25, plates=2):
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    n = noise(w, h, 8, rng, 5)
    hammer = noise(w, h, 40, rng, 2)
    col = rgb(h, w, base) * (0.85 + 0.25 * n[..., None] + 0.1 * hammer[..., None])
    hgt = 0.6 + 0.08 * hammer
    rmask = np.clip((noise(w, h, 5, rng, 4) + rust - 0.15) * 3, 0, 1)
    col = mix(col, rgb(h, w, (0.36, 0.17, 0.07)) * (0.7 + 0.5 * n[..., None]), rmask * 0.8)
    if plates:
        ph = h / plates
        pw = w / plates
        ly, lx = np.mod(y, ph), np.mod(x, pw)
        seam = np.clip(1 - np.minimum(np.minimum(ly, ph - ly), np.minimum(lx, pw - lx)) / 2, 0, 1)
        col = mix(col, rgb(h, w, (0.06, 0.06, 0.06)), seam * 0.8)
        hgt = hgt * (1 - seam * 0.7)
        if rivets:
            step = pw / 4
            for cy in np.arange(0, h, ph):
                for yy in (cy + 7, cy + ph - 7):
                    for xx in np.arange(step / 2, w, step):
                        m = disc_mask(w, h, xx, yy, 3.5)
                        col = mix(col, rgb(h, w, (0.42, 0.40, 0.38)), m)
                        hgt = np.maximum(hgt, 0.6 + 0.4 * m)
    return np.clip(col, 0, 1), np.clip(hgt, 0, 1)


def steel(w, h, rng, base=(0.55, 0.56, 0.58), dirty=0.3):
    brushed = noise(w, h, 4, rng, 4, (0.1, 3.0))
    blotch = noise(w, h, 6, rng, 4)
    col = rgb(h, w, base) * (0.85 + 0.2 * brushed[..., None])
    col = mix(col, rgb(h, w, (0.22, 0.2, 0.19)), np.clip(blotch * 2 + dirty - 0.4, 0, 1) * 0.7)
    # a brighter honed band along the long edges of the tile
    y = np.mgrid[0:h, 0:w][0].astype(np.float32) / h
    edge = np.clip(1 - np.minimum(y, 1 - y) / 0.12, 0, 1)
    col = mix(col, rgb(h, w, (0.8, 0.8, 0.82)), edge * 0.6)
    hgt = 0.5 + 0.05 * brushed + 0.05 * blotch
    return np.clip(col, 0, 1), np.clip(hgt, 0, 1)


def leather(w, h, rng, base=(0.30, 0.17, 0.09), wrap=True):
    n = noise(w, h, 16, rng, 4)
    pores = noise(w, h, 90, rng, 1)
    col = rgb(h, w, base) * (0.8 + 0.3 * n[..., None] + 0.08 * pores[..., None])
    hgt = 0.5 + 0.1 * n + 0.05 * pores
    if wrap:
        y, x = np.mgrid[0:h, 0:w].astype(np.float32)
        band = np.mod(x * 1.0 + y * 0.6, 18.0) / 18.0
        ridge = np.sin(band * math.pi)
        col *= (0.55 + 0.5 * ridge)[..., None]
        hgt = hgt * 0.4 + ridge * 0.6
    return np.clip(col, 0, 1), np.clip(hgt, 0, 1)


def hide(w, h, rng):
    col, hgt = leather(w, h, rng, base=(0.42, 0.31, 0.2), wrap=False)
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    # patchwork of hides joined by stitched seams
    warp = noise(w, h, 4, rng, 2) * 14
    cell = 96
    lx = np.mod(x + warp, cell)
    ly = np.mod(y - warp, cell)
    d = np.minimum(np.minimum(lx, cell - lx), np.minimum(ly, cell - ly))
    seam = np.clip(1 - d / 2.5, 0, 1)
    stitch = seam * (np.mod(x + y, 8) < 3)
    col = mix(col, rgb(h, w, (0.12, 0.08, 0.05)), seam * 0.6)
    col = mix(col, rgb(h, w, (0.6, 0.55, 0.42)), stitch * 0.8)
    tone = noise(w, h, 3, rng, 2)
    col *= (0.85 + 0.25 * tone)[..., None]
    hgt = hgt - seam * 0.3 + stitch * 0.2
    return np.clip(col, 0, 1), np.clip(hgt, 0, 1)


def rope(w, h, rng):
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    strand = np.mod(x * 0.8 + y * 1.3, 16.0) / 16.0
    ridge = np.sin(strand * math.pi)
    fib = noise(w, h, 60, rng, 2, (1.0, 0.3))
    col = rgb(h, w, (0.45, 0.36, 0.22)) * (0.5 + 0.5 * ridge[..., None] + 0.1 * fib[..., None])
    return np.clip(col, 0, 1), np.clip(0.3 + 0.6 * ridge + 0.05 * fib, 0, 1)


def cloth(w, h, rng):
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    n = noise(w, h, 6, rng, 4)
    weave = (np.sin(x * 1.6) * np.sin(y * 1.6)) * 0.5 + 0.5
    col = rgb(h, w, (0.45, 0.06, 0.04)) * (0.75 + 0.35 * n[..., None] + 0.08 * weave[..., None])
    # a black jagged emblem: an upturned crescent over a bar, painted roughly
    u, v = x / w * 2 - 1, y / h * 2 - 1
    r = np.sqrt(u ** 2 + (v + 0.1) ** 2)
    crescent = (r < 0.55) & (r > 0.38) & (v > -0.15)
    bar = (np.abs(u) < 0.08) & (v > -0.75) & (v < 0.1)
    teeth = (np.abs(np.mod(u * 5, 1.0) - 0.5) * 2 < (v - 0.62) / 0.2) & (v > 0.62) & (v < 0.85)
    m = (crescent | bar | teeth).astype(np.float32) * np.clip(0.9 + n * 0.5, 0, 1)
    col = mix(col, rgb(h, w, (0.05, 0.04, 0.04)), m)
    # frayed dark border
    e = np.minimum(np.minimum(x, w - 1 - x), np.minimum(y, h - 1 - y))
    col = mix(col, rgb(h, w, (0.18, 0.04, 0.03)), np.clip(1 - e / 10, 0, 1))
    return np.clip(col, 0, 1), np.clip(0.5 + 0.1 * weave + 0.1 * n, 0, 1)


def bone(w, h, rng):
    n = noise(w, h, 10, rng, 4, (0.3, 1.0))
    cr = noise(w, h, 50, rng, 2)
    col = rgb(h, w, (0.70, 0.64, 0.50)) * (0.8 + 0.25 * n[..., None])
    crack = np.clip((np.abs(cr) < 0.03).astype(np.float32), 0, 1)
    col = mix(col, rgb(h, w, (0.3, 0.25, 0.18)), crack * 0.7)
    return np.clip(col, 0, 1), np.clip(0.6 + 0.1 * n - 0.3 * crack, 0, 1)


def bronze(w, h, rng):
    col, hgt = steel(w, h, rng, base=(0.55, 0.38, 0.18), dirty=0.5)
    n = noise(w, h, 8, rng, 3)
    patina = np.clip(n * 2 - 0.3, 0, 1)
    col = mix(col, rgb(h, w, (0.22, 0.33, 0.26)), patina * 0.5)
    return np.clip(col, 0, 1), hgt


# Shield face designs: painted over planks, in normalised coordinates u, v in -1..1.
PAINTS = [
    ((0.48, 0.07, 0.05), (0.06, 0.05, 0.05)),   # red and black
    ((0.10, 0.10, 0.11), (0.72, 0.66, 0.52)),   # black and bone
    ((0.52, 0.36, 0.10), (0.10, 0.08, 0.06)),   # ochre and black
    ((0.18, 0.25, 0.12), (0.60, 0.55, 0.42)),   # moss and bone
    ((0.35, 0.05, 0.05), (0.75, 0.70, 0.58)),   # blood and bone
    ((0.12, 0.14, 0.20), (0.55, 0.10, 0.06)),   # slate and red
]


def shield_face(w, h, rng, design):
    base, mark = PAINTS[design % len(PAINTS)]
    wcol, whgt = wood(w, h, rng, base=(0.34, 0.22, 0.12), dark=(0.16, 0.1, 0.05), planks=5,
                      knots=2)
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    u, v = x / w * 2 - 1, y / h * 2 - 1
    r = np.sqrt(u * u + v * v)
    ang = np.arctan2(v, u)
    kind = design % 12
    if kind == 0:      # quartered
        m = ((u > 0) ^ (v > 0))
    elif kind == 1:    # radiating sun rays
        m = (np.mod(ang * 8 / math.pi, 2) < 1) & (r > 0.25)
    elif kind == 2:    # chevrons pointing down
        m = np.mod(v * 3 - np.abs(u) * 3, 2) < 1
    elif kind == 3:    # staring eye
        m = ((u / 0.8) ** 2 + (v / 0.42) ** 2 < 1) & ~((u / 0.3) ** 2 + (v / 0.3) ** 2 < 1) | (r < 0.12)
    elif kind == 4:    # halves, split vertically, with a jagged seam
        m = u + 0.12 * np.sign(np.sin(v * 12)) > 0
    elif kind == 5:    # concentric rings
        m = np.mod(r * 4, 1) < 0.5
    elif kind == 6:    # diagonal bands
        m = np.mod((u + v) * 2.5, 2) < 1
    elif kind == 7:    # a cross of bars
        m = (np.abs(u) < 0.18) | (np.abs(v + 0.15) < 0.16)
    elif kind == 8:    # a row of fangs along the top and bottom
        tooth = np.abs(np.mod(u * 4, 1) - 0.5) * 2
        m = ((v < -0.35) & ((v + 1) / 0.65 > tooth)) | ((v > 0.35) & ((1 - v) / 0.65 > tooth))
    elif kind == 9:    # a hand print
        palm = ((u / 0.32) ** 2 + ((v - 0.2) / 0.36) ** 2) < 1
        fingers = np.zeros_like(palm)
        for k, fx in enumerate((-0.27, -0.09, 0.09, 0.27)):
            fingers |= (np.abs(u - fx) < 0.07) & (v < 0.0) & (v > -0.62 + 0.08 * abs(k - 1.5))
        thumb = (np.abs((u + 0.38) - (v - 0.1) * 0.5) < 0.07) & (v > 0.0) & (v < 0.3)
        m = palm | fingers | thumb
    elif kind == 10:   # a tall horned mark
        m = (np.abs(u) < 0.1) & (v > -0.5) | (((np.abs(u) - 0.35) ** 2 + (v + 0.2) ** 2 < 0.12)
                                             & ((np.abs(u) - 0.35) ** 2 + (v + 0.2) ** 2 > 0.05)
                                             & (v < -0.2))
    else:              # spiral
        m = np.mod(ang / (2 * math.pi) + r * 2.5, 1) < 0.45
    m = m.astype(np.float32)
    wear = np.clip(noise(w, h, 10, rng, 4) * 3.0 + 1.6, 0, 1)
    paint = mix(rgb(h, w, base), rgb(h, w, mark), m)
    paint *= (0.85 + 0.2 * noise(w, h, 20, rng, 2)[..., None])
    col = mix(wcol, paint, wear * 0.92)
    # scratches through the paint
    scr = noise(w, h, 30, rng, 1, (3.0, 0.3))
    col = mix(col, wcol, (np.abs(scr) < 0.02).astype(np.float32) * 0.8)
    hgt = whgt * 0.7 + 0.2 * wear
    return np.clip(col, 0, 1), np.clip(hgt, 0, 1)


def normal_map(hgt, strength=2.0):
    """Tangent-space normals from a height field (x right = u, y down = v). The field is softened
    first: sharp steps would ring once the map is stored as JPEG and decode to short normals."""
    k = np.array([1, 4, 6, 4, 1], np.float32) / 16
    for axis in (0, 1):
        hgt = sum(np.roll(hgt, i - 2, axis=axis) * k[i] for i in range(5))
    dx = (np.roll(hgt, -1, axis=1) - np.roll(hgt, 1, axis=1)) * 0.5
    dy = (np.roll(hgt, -1, axis=0) - np.roll(hgt, 1, axis=0)) * 0.5
    n = np.stack([-dx * strength, dy * strength, np.ones_like(hgt)], axis=2)
    n /= np.linalg.norm(n, axis=2, keepdims=True)
    return np.clip((n * 0.5 + 0.5) * 255 + 0.5, 0, 255).astype(np.uint8)


def paint_tile(atlas_name, tile, w, h, rng):
    if atlas_name == 'Gear_Vehicles.jpg':
        return {
            'planks': lambda: wood(w, h, rng, planks=6, knots=12),
            'timber': lambda: wood(w, h, rng, base=(0.31, 0.2, 0.11), knots=6),
            'iron': lambda: iron(w, h, rng),
            'rust': lambda: iron(w, h, rng, rust=0.9, plates=0),
            'hide': lambda: hide(w, h, rng),
            'darkwood': lambda: wood(w, h, rng, base=(0.17, 0.12, 0.08), dark=(0.07, 0.05, 0.03),
                                     planks=4, knots=6),
            'rope': lambda: rope(w, h, rng),
            'cloth': lambda: cloth(w, h, rng),
            'metal': lambda: iron(w, h, rng, base=(0.33, 0.33, 0.36), rust=0.0, plates=0),
            'bone': lambda: bone(w, h, rng),
        }[tile]()
    if atlas_name == 'Gear_Shields.jpg':
        if tile.startswith('face'):
            return shield_face(w, h, rng, int(tile[4:]))
        return {
            'wood': lambda: wood(w, h, rng, base=(0.28, 0.18, 0.1), planks=4),
            'iron': lambda: iron(w, h, rng, rivets=False, plates=0, rust=0.15),
            'leather': lambda: leather(w, h, rng, wrap=False),
            'rust': lambda: iron(w, h, rng, rust=0.8, plates=0),
        }[tile]()
    return {
        'steel': lambda: steel(w, h, rng),
        'darksteel': lambda: steel(w, h, rng, base=(0.25, 0.25, 0.27), dirty=0.5),
        'wood': lambda: wood(w, h, rng, base=(0.40, 0.27, 0.15), knots=2),
        'darkwood': lambda: wood(w, h, rng, base=(0.20, 0.13, 0.08), dark=(0.09, 0.06, 0.03),
                                 knots=2),
        'leather': lambda: leather(w, h, rng),
        'bronze': lambda: bronze(w, h, rng),
        'rust': lambda: iron(w, h, rng, rust=0.9, plates=0, base=(0.3, 0.28, 0.27)),
        'bone': lambda: bone(w, h, rng),
    }[tile]()


def build_atlas(name, out_dir, seed=7):
    size, tiles = ATLASES[name]
    col = np.zeros((size, size, 3), np.float32)
    hgt = np.full((size, size), 0.5, np.float32)
    rng = np.random.default_rng(seed)
    for tile, (x, y, w, h) in tiles.items():
        c, hh = paint_tile(name, tile, w, h, rng)
        col[y:y + h, x:x + w] = c
        hgt[y:y + h, x:x + w] = hh
    col = np.clip(col * GAIN[name], 0, 1)
    Image.fromarray((col * 255 + 0.5).astype(np.uint8)).save(
        os.path.join(out_dir, name), quality=86, optimize=True)
    Image.fromarray(normal_map(hgt)).save(os.path.join(out_dir, bump_name(name)), quality=90,
                                          subsampling=0, optimize=True)


if __name__ == '__main__':
    import sys
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for i, n in enumerate(ATLASES):
        build_atlas(n, out, seed=11 + i)
        print('wrote', n, bump_name(n))
