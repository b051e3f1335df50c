#!/usr/bin/python3
"""Makes the fire, particle and sky textures under resources/media/Texture/.

    /usr/bin/python3 tools/content/fx/make_fx.py [--preview DIR]

  Fire_Tex/f01.jpg .. f32.jpg   128 x 256 flame flip-book on black, looping: frame 32 flows
                                into frame 1 (the scene shows a new frame every 40 ms)
  particle.JPG                  128 x 128 soft round glow on black (the lava haze billboards)
  dam_ft/bk/lf/rt/up/dn.jpg     512 x 512 sky box faces: a night sky with stars, a moon, distant
                                mountains, smoke and a red ember glow on the horizon

Flames and particles are drawn additively, so black is "nothing". The four corner texels of every
flame frame hold a warm glow colour instead of black: the glowing slices in the gate opening
sample each frame at texture coordinate (0, 1), which with wrapping and linear filtering is the
average of the four corner texels, so those corners are the colour of the light in the gate.

Sky box convention. The box spans x and z from -1000 to 1000 and y from -750 to 750 around the
eye (left-handed, +y up). Each face is seen from inside; u runs left to right and v top to bottom
as the viewer sees it (v = 0 is the image's first row). With a and b the fractions across the
face (0..1) that u and v stand for, the face point is:

  ft  z = -1000   x = 1000 - 2000a    y = 750 - 1500b     (looking along -z, +x on the left)
  bk  z = +1000   x = -1000 + 2000a   y = 750 - 1500b     (looking along +z)
  lf  x = -1000   z = -1000 + 2000a   y = 750 - 1500b     (looking along -x)
  rt  x = +1000   z = 1000 - 2000a    y = 750 - 1500b     (looking along +x)
  up  y = +750    x = -1000 + 2000a   z = -1000 + 2000b   (top edge meets ft, bottom edge bk)
  dn  y = -750    x = -1000 + 2000a   z = 1000 - 2000b    (top edge meets bk, bottom edge ft)

The geometry gives its corners texture coordinates 0.0025 and 0.9975 instead of 0 and 1, so the
texel at texture coordinate s shows the face point a = (s - 0.0025) / 0.995; the faces are
rendered that way (the outermost texels lie just past the box edge), so neighbouring faces meet
without a seam. Every texel is one sample of a single function of the view direction.
"""
import argparse
import os

import numpy as np
from PIL import Image

from noise import fbm, value_noise

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
TEXTURE = os.path.join(ROOT, "resources", "media", "Texture")

# ---------------------------------------------------------------------------------------------
# Flames

FLAME_W, FLAME_H, FLAME_FRAMES = 128, 256, 32


def fire_ramp(v):
    """Heat 0..1 -> RGB 0..255: black, deep red, orange, yellow, a pale core."""
    stops = np.array([0.0, 0.18, 0.38, 0.6, 0.8, 1.0])
    cols = np.array([[0, 0, 0], [70, 6, 0], [190, 45, 5], [250, 130, 20], [255, 210, 90], [255, 250, 215]],
                    dtype=np.float64)
    v = np.clip(v, 0, 1)
    return np.stack([np.interp(v, stops, cols[:, c]) for c in range(3)], axis=-1)


def flame_heat(frame):
    """Heat field of one frame. The noise scrolls upwards by one full period over the loop; two
    copies half a loop apart are cross-faded so the last frame leads straight back to the first."""
    t = frame / FLAME_FRAMES
    ys, xs = np.mgrid[0:FLAME_H, 0:FLAME_W].astype(np.float64)
    h = 1.0 - (ys + 0.5) / FLAME_H          # 0 at the bottom, 1 at the top
    x = (xs + 0.5) / FLAME_W - 0.5          # -0.5..0.5 across
    rise = 2.0                               # noise periods that pass upwards per loop

    def turbulence(phase):
        p = np.stack([x * 5.0, (h - rise * phase) * 4.0, np.full_like(x, 3.3)], axis=-1)
        big = fbm(p, octaves=4, seed=11)
        p2 = np.stack([x * 11.0, (h - rise * phase) * 9.0, np.full_like(x, 8.1)], axis=-1)
        small = fbm(p2, octaves=3, seed=23)
        return big, small

    b0, s0 = turbulence(t)
    b1, s1 = turbulence(t - 1.0)
    w = t
    norm = np.sqrt((1 - w) ** 2 + w ** 2)   # keeps the contrast of the blend constant
    big = 0.5 + ((1 - w) * (b0 - 0.5) + w * (b1 - 0.5)) / norm
    small = 0.5 + ((1 - w) * (s0 - 0.5) + w * (s1 - 0.5)) / norm

    # Sway: the flame bends sideways, more the higher up.
    sway = (big - 0.5) * 0.32 * h ** 1.3
    width = 0.34 * (1 - h) ** 0.75 * (0.7 + 0.6 * small) + 0.015
    body = np.clip(1 - np.abs(x - sway) / width, 0, 1) ** 0.8
    # Tongues: the noise eats into the flame from its tip downwards.
    height_fade = np.clip((0.95 - h) / 0.95, 0, 1) ** 0.7
    heat = body * height_fade * (0.55 + 0.9 * (small - 0.5) + 0.6 * (big - 0.5) * h)
    base = np.exp(-((h - 0.06) / 0.06) ** 2) * np.clip(1 - np.abs(x) / 0.28, 0, 1)  # hot base
    # A threshold turns the soft field into separate licking tongues near the tip.
    heat = np.clip((heat - 0.08 - 0.08 * h) * 2.0 + 0.35 * base, 0, 1)
    # Fade at the bottom edge so the flame does not start on a hard line.
    heat *= np.clip(h / 0.04, 0, 1)
    return heat


def glow_colour(frame):
    """The gate light: a warm orange whose brightness flickers smoothly around the loop."""
    t = frame / FLAME_FRAMES
    p = np.array([[np.cos(2 * np.pi * t) * 1.3, np.sin(2 * np.pi * t) * 1.3, 5.0]])
    flicker = 0.72 + 0.5 * (fbm(p, octaves=3, seed=5)[0] - 0.5) * 2 * 0.5
    return np.array([255, 128, 34]) * np.clip(flicker, 0.45, 1.0)


def make_flames(out_dir):
    os.makedirs(out_dir, exist_ok=True)
    paths = []
    for k in range(FLAME_FRAMES):
        rgb = fire_ramp(flame_heat(k))
        g = glow_colour(k)
        for cy in (slice(0, 2), slice(FLAME_H - 2, FLAME_H)):
            for cx in (slice(0, 2), slice(FLAME_W - 2, FLAME_W)):
                rgb[cy, cx] = g
        img = Image.fromarray(np.round(rgb).astype(np.uint8), "RGB")
        path = os.path.join(out_dir, "f%02d.jpg" % (k + 1))
        # No chroma subsampling: the corner texels keep their colour.
        img.save(path, quality=92, subsampling=0, optimize=True)
        paths.append(path)
    return paths


# ---------------------------------------------------------------------------------------------
# Particle

def make_particle(path):
    n = 128
    ys, xs = np.mgrid[0:n, 0:n].astype(np.float64)
    r = np.hypot((xs + 0.5) / n - 0.5, (ys + 0.5) / n - 0.5) / 0.5  # 1 at the inscribed circle
    core = np.exp(-(r / 0.55) ** 2)
    edge = np.clip(1 - r, 0, 1) ** 1.2      # reaches black before the square's border
    v = core * edge
    v /= v.max()
    col = np.stack([255 * v ** 0.9, 205 * v ** 1.1, 150 * v ** 1.35], axis=-1)
    Image.fromarray(np.round(col).astype(np.uint8), "RGB").save(path, quality=92, optimize=True)


# ---------------------------------------------------------------------------------------------
# Sky

SKY = 512
FACES = ("ft", "bk", "lf", "rt", "up", "dn")
BOX = (1000.0, 750.0, 1000.0)


def face_points(face, a, b):
    """Box-face point for face fractions a (u) and b (v); see the module comment."""
    X, Y, Z = BOX
    one = np.ones_like(a)
    if face == "ft": return np.stack([X - 2 * X * a, Y - 2 * Y * b, -Z * one], -1)
    if face == "bk": return np.stack([-X + 2 * X * a, Y - 2 * Y * b, Z * one], -1)
    if face == "lf": return np.stack([-X * one, Y - 2 * Y * b, -Z + 2 * Z * a], -1)
    if face == "rt": return np.stack([X * one, Y - 2 * Y * b, Z - 2 * Z * a], -1)
    if face == "up": return np.stack([-X + 2 * X * a, Y * one, -Z + 2 * Z * b], -1)
    if face == "dn": return np.stack([-X + 2 * X * a, -Y * one, Z - 2 * Z * b], -1)
    raise ValueError(face)


def face_directions(face, n=SKY):
    s = (np.arange(n) + 0.5) / n                 # texture coordinate of each texel centre
    f = (s - 0.0025) / 0.995                     # the face fraction that coordinate shows
    b, a = np.meshgrid(f, f, indexing="ij")      # rows are v, columns u
    p = face_points(face, a, b)
    return p / np.linalg.norm(p, axis=-1, keepdims=True)


def unit(v):
    v = np.asarray(v, dtype=np.float64)
    return v / np.linalg.norm(v)


# The moon stands where the scene's moonlight comes from (its directional light shines along
# (-0.55, -0.65, 0.05)), a little lower so it shows above the canyon walls more often.
MOON_DIR = unit([np.cos(np.radians(40)) * 0.996, np.sin(np.radians(40)), np.cos(np.radians(40)) * -0.09])
MOON_RADIUS = np.radians(2.4)
FIRE_AZIMUTH = np.pi   # the fires of the war burn beyond the fortress, towards -x


def mountain_profile(az, seed, scale, base, amp):
    """Ridge height (radians of elevation) along the azimuth; sampled on a circle, so it closes."""
    p = np.stack([np.cos(az) * scale, np.sin(az) * scale, np.full_like(az, seed * 1.7)], -1)
    ridge = fbm(p, octaves=6, gain=0.52, seed=seed)
    ridge = np.abs(ridge - 0.5) * 2          # sharper crests
    return np.radians(base) + np.radians(amp) * (1 - ridge) ** 1.6


def stars_layer(dirs_by_face, rng):
    """Star light per face: each star is a small Gaussian in angle around its direction, splatted
    onto every face it falls on (also just past an edge), so a star on a seam is whole."""
    count = 3200
    v = rng.normal(size=(count, 3))
    v /= np.linalg.norm(v, axis=1, keepdims=True)
    v[:, 1] = np.abs(v[:, 1]) * 0.98 + 0.02 * rng.random(count)  # upper hemisphere
    v /= np.linalg.norm(v, axis=1, keepdims=True)
    mag = rng.random(count) ** 6.0                  # a few bright ones, many faint
    bright = 0.10 + 2.4 * mag
    sigma = np.radians(0.055 + 0.06 * mag)
    tint = np.stack([np.ones(count), 0.92 + 0.08 * rng.random(count), 0.80 + 0.25 * rng.random(count)], -1)
    swap = rng.random(count) < 0.3                  # some warmer stars
    tint[swap] = tint[swap][:, [2, 1, 0]]
    out = {}
    for face, dirs in dirs_by_face.items():
        acc = np.zeros(dirs.shape[:2] + (3,))
        n = dirs.shape[0]
        # Project each star onto this face's plane to find the texels near it.
        normal_axis, plane = {"ft": (2, -BOX[2]), "bk": (2, BOX[2]), "lf": (0, -BOX[0]), "rt": (0, BOX[0]),
                              "up": (1, BOX[1]), "dn": (1, -BOX[1])}[face]
        for i in range(count):
            d = v[i]
            if d[normal_axis] * plane <= 0:
                continue
            hit = d * (plane / d[normal_axis])
            # Invert face_points: solve for a and b from the hit point.
            a, b = _face_fractions(face, hit)
            if not (-0.02 <= a <= 1.02 and -0.02 <= b <= 1.02):
                continue
            # Texel of that point (texture coordinate = 0.0025 + 0.995 * fraction).
            cu = (0.0025 + 0.995 * a) * n - 0.5
            cv = (0.0025 + 0.995 * b) * n - 0.5
            u0, u1 = int(np.floor(cu)) - 3, int(np.floor(cu)) + 5
            v0, v1 = int(np.floor(cv)) - 3, int(np.floor(cv)) + 5
            u0, v0 = max(u0, 0), max(v0, 0)
            u1, v1 = min(u1, n), min(v1, n)
            if u0 >= u1 or v0 >= v1:
                continue
            patch = dirs[v0:v1, u0:u1]
            ang = np.arccos(np.clip(patch @ d, -1, 1))
            acc[v0:v1, u0:u1] += (bright[i] * np.exp(-0.5 * (ang / sigma[i]) ** 2))[..., None] * tint[i]
        out[face] = acc
    return out


def _face_fractions(face, p):
    X, Y, Z = BOX
    x, y, z = p
    if face == "ft": return (X - x) / (2 * X), (Y - y) / (2 * Y)
    if face == "bk": return (x + X) / (2 * X), (Y - y) / (2 * Y)
    if face == "lf": return (z + Z) / (2 * Z), (Y - y) / (2 * Y)
    if face == "rt": return (Z - z) / (2 * Z), (Y - y) / (2 * Y)
    if face == "up": return (x + X) / (2 * X), (z + Z) / (2 * Z)
    if face == "dn": return (x + X) / (2 * X), (Z - z) / (2 * Z)
    raise ValueError(face)


def sky_colour(d, star_light):
    """Linear-ish RGB (0..1) of the night sky in directions d (..., 3)."""
    x, y, z = d[..., 0], d[..., 1], d[..., 2]
    elev = np.arcsin(np.clip(y, -1, 1))
    az = np.arctan2(z, x)
    e_deg = np.degrees(elev)

    # Base gradient: near-black blue at the zenith, a deep violet-blue lower down.
    t = np.clip(elev / (np.pi / 2), 0, 1)
    zenith = np.array([0.010, 0.014, 0.040])
    low = np.array([0.055, 0.050, 0.095])
    col = low + (zenith - low) * (t ** 0.6)[..., None]

    # Ember glow on the horizon, strongest towards the fires, present all around.
    toward_fire = 0.5 + 0.5 * np.cos(az - FIRE_AZIMUTH)
    glow_strength = (0.35 + 0.65 * toward_fire ** 2) * np.exp(-np.clip(elev, 0, None) / np.radians(9))
    ember = np.array([0.55, 0.13, 0.03])
    col = col + glow_strength[..., None] * ember

    # Moon halo (before smoke, which veils it).
    cosang = np.clip(d @ MOON_DIR, -1, 1)
    ang = np.arccos(cosang)
    halo = 0.10 * np.exp(-ang / np.radians(7)) + 0.05 * np.exp(-ang / np.radians(25))
    col = col + halo[..., None] * np.array([0.55, 0.60, 0.85])

    # Stars, dimmed towards the horizon.
    extinction = np.clip((e_deg - 1.0) / 14.0, 0, 1) ** 1.5
    col = col + star_light * extinction[..., None] * 0.9

    # The moon's disc: limb darkening and grey seas from noise.
    disc = np.clip((MOON_RADIUS - ang) / np.radians(0.12), 0, 1)
    if np.any(disc > 0):
        # Coordinates on the disc from a frame around the moon direction.
        ref = unit(np.cross(MOON_DIR, [0, 1, 0]))
        up = np.cross(ref, MOON_DIR)
        mu = (d @ ref) / np.sin(MOON_RADIUS)
        mv = (d @ up) / np.sin(MOON_RADIUS)
        rr = np.clip(mu ** 2 + mv ** 2, 0, 1)
        seas = fbm(np.stack([mu * 2.2, mv * 2.2, np.full_like(mu, 4.0)], -1), octaves=5, seed=71)
        shade = (0.78 + 0.22 * np.sqrt(1 - rr)) * (1 - 0.32 * np.clip((seas - 0.45) * 3, 0, 1))
        moon = np.array([1.00, 0.97, 0.88]) * shade[..., None]
        col = col * (1 - disc[..., None]) + moon * disc[..., None]

    # Smoke drifting low over the land: lit red from below near the horizon, grey above.
    s = fbm(d * np.array([1.6, 3.2, 1.6]) + np.array([0.0, 0.0, 5.0]), octaves=6, gain=0.55, seed=41)
    wisps = fbm(d * 7.0 + np.array([3.0, 0.0, 0.0]), octaves=4, seed=43)
    band = np.exp(-np.clip(elev - np.radians(8), 0, None) / np.radians(22)) * (elev > np.radians(-4))
    density = np.clip((s - 0.44) * 4.0 + (wisps - 0.5) * 1.0, 0, 1) * band
    density = np.clip(density, 0, 0.92)
    lit = np.exp(-np.clip(elev, 0, None) / np.radians(11)) * (0.4 + 0.6 * toward_fire)
    smoke = np.array([0.016, 0.013, 0.017])[None] + (lit ** 1.3 * (0.6 + 0.8 * (1 - wisps)))[..., None] * np.array([0.55, 0.16, 0.05])
    moonlit = 0.06 * np.exp(-ang / np.radians(20))
    smoke = smoke + moonlit[..., None] * np.array([0.4, 0.42, 0.5])
    col = col * (1 - density[..., None]) + smoke.reshape(col.shape) * density[..., None]

    # Two ranges of distant mountains: the far one hazy and lit by the glow, the near one dark.
    far = mountain_profile(az, 3, 2.4, 1.5, 7.5)
    near = mountain_profile(az, 8, 3.6, 0.2, 5.0)
    fade_far = np.clip((far - elev) / np.radians(0.15), 0, 1)
    fade_near = np.clip((near - elev) / np.radians(0.15), 0, 1)
    haze = np.exp(-np.clip(elev, 0, None) / np.radians(4))
    rock_tex = fbm(d * 40.0, octaves=3, seed=91)
    far_col = np.array([0.060, 0.045, 0.070]) + (0.5 * haze * toward_fire)[..., None] * np.array([0.30, 0.08, 0.03])
    far_col = far_col * (0.85 + 0.3 * rock_tex)[..., None]
    # Moonlit crests: a thin lighter line just under the ridge on the side facing the moon.
    crest = np.clip(1 - (far - elev) / np.radians(0.9), 0, 1) * (0.5 + 0.5 * np.cos(az - np.arctan2(MOON_DIR[2], MOON_DIR[0])))
    far_col = far_col + (0.05 * crest)[..., None] * np.array([0.6, 0.65, 0.85])
    col = col * (1 - fade_far[..., None]) + far_col * fade_far[..., None]
    near_col = np.array([0.020, 0.016, 0.024]) * (0.8 + 0.4 * rock_tex)[..., None] \
        + (0.12 * haze * toward_fire)[..., None] * np.array([0.35, 0.08, 0.02])
    col = col * (1 - fade_near[..., None]) + near_col * fade_near[..., None]

    # Below the horizon: the dark land falling away, a last red glow close under the ridge.
    below = np.clip(-elev / np.radians(1.0), 0, 1)
    ground = np.array([0.014, 0.010, 0.014]) + (np.exp(elev / np.radians(6)) * toward_fire * 0.08)[..., None] \
        * np.array([0.5, 0.12, 0.03])
    col = col * (1 - below[..., None]) + ground * below[..., None]
    return col


def to_srgb8(col):
    # A display curve lifts the dark values so the night keeps detail on an ordinary screen.
    v = np.clip(col, 0, 1) ** (1 / 1.6)
    return np.round(v * 255).astype(np.uint8)


def make_sky(out_dir, seed=20261209):
    rng = np.random.default_rng(seed)
    dirs = {f: face_directions(f) for f in FACES}
    stars = stars_layer(dirs, rng)
    paths = {}
    for f in FACES:
        rgb = to_srgb8(sky_colour(dirs[f], stars[f]))
        path = os.path.join(out_dir, "dam_%s.jpg" % f)
        Image.fromarray(rgb, "RGB").save(path, quality=94, subsampling=0, optimize=True)
        paths[f] = path
    return paths


# ---------------------------------------------------------------------------------------------

def preview(out, flames, sky):
    """Contact sheets for people: the flame loop (frames 29..32 then 1..4), the sky as a cross."""
    os.makedirs(out, exist_ok=True)
    order = list(range(28, 32)) + list(range(0, 4))
    sheet = Image.new("RGB", (FLAME_W * len(order), FLAME_H))
    for i, k in enumerate(order):
        sheet.paste(Image.open(flames[k]), (i * FLAME_W, 0))
    sheet.save(os.path.join(out, "flame_loop.png"))
    allf = Image.new("RGB", (FLAME_W * 16, FLAME_H * 2))
    for k in range(32):
        allf.paste(Image.open(flames[k]), ((k % 16) * FLAME_W, (k // 16) * FLAME_H))
    allf.save(os.path.join(out, "flames_all.png"))
    # Horizontal strip as a viewer turning right from -z: ft, rt? Looking along -z, turning to the
    # right brings -x (lf), then +z (bk), then +x (rt), then back to ft.
    s = SKY // 2
    strip = Image.new("RGB", (s * 4, s * 3))
    faces = {f: Image.open(p).resize((s, s)) for f, p in sky.items()}
    for i, f in enumerate(("ft", "lf", "bk", "rt")):
        strip.paste(faces[f], (i * s, s))
    # up/dn above and below bk so that their shared edges touch: up's bottom edge meets bk's top.
    strip.paste(faces["up"], (2 * s, 0))
    strip.paste(faces["dn"], (2 * s, 2 * s))
    strip.save(os.path.join(out, "sky_cross.png"))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--preview", help="also write contact sheets into this folder")
    ap.add_argument("--only", choices=["flames", "particle", "sky"], action="append")
    args = ap.parse_args()
    os.makedirs(TEXTURE, exist_ok=True)
    only = set(args.only or ["flames", "particle", "sky"])
    flames = sky = None
    if "flames" in only:
        flames = make_flames(os.path.join(TEXTURE, "Fire_Tex"))
    if "particle" in only:
        make_particle(os.path.join(TEXTURE, "particle.JPG"))
    if "sky" in only:
        sky = make_sky(TEXTURE)
    if args.preview and flames and sky:
        preview(args.preview, flames, sky)


if __name__ == "__main__":
    main()
