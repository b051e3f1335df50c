#!/usr/bin/python3
"""Seamless colour maps of the level and, for the surfaces drawn again with per-pixel light, a
colour map with gloss in alpha (TGA) and a tangent-space DOT3 normal map from the same height.

usage: textures.py TEXTURE_DIR
"""
import os
import sys

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from noise import smoothstep, tile_fbm, tile_voronoi  # noqa: E402

S = 512


def lerp(a, b, t):
    a = np.asarray(a, float)
    b = np.asarray(b, float)
    return a + (b - a) * np.asarray(t)[..., None]


def wrap_blur(img, r):
    """Box blur of radius r on a wrapping image (keeps textures seamless)."""
    out = img.copy()
    for axis in (0, 1):
        acc = np.zeros_like(out)
        for k in range(-r, r + 1):
            acc += np.roll(out, k, axis=axis)
        out = acc / (2 * r + 1)
    return out


def rock(seed=1, size=S):
    """Fractured rock: angular facets (wrapping cells, each tilted its own way) split by dark
    cracks, over layered strata and fractal grain."""
    rng = np.random.default_rng(seed)
    pts = rng.random((90, 2)) * size
    d1, d2, idx = tile_voronoi(size, pts)
    yy, xx = np.mgrid[0:size, 0:size].astype(float)
    dx = xx - pts[idx, 0]
    dx -= size * np.round(dx / size)
    dy = yy - pts[idx, 1]
    dy -= size * np.round(dy / size)
    ang = rng.uniform(0, 2 * np.pi, len(pts))[idx]
    facet = (np.cos(ang) * dx + np.sin(ang) * dy) / (size / 9.0)
    tone = rng.random(len(pts))[idx]
    big = tile_fbm(size, seed + 1, 2.4)
    # cracks only in places, fading in and out along the cell borders
    crack = smoothstep(2.2, 0.3, d2 - d1) * smoothstep(0.45, 0.65, tile_fbm(size, seed + 6, 2.0))
    mid = tile_fbm(size, seed + 2, 1.8)
    fine = tile_fbm(size, seed + 3, 1.0)
    strata = 0.5 + 0.5 * np.sin(yy / size * 2 * np.pi * 7 + 5.0 * big)
    h = 0.35 * big + 0.2 * mid + 0.25 * (0.5 + 0.5 * np.clip(facet, -1, 1)) + 0.1 * strata \
        - 0.3 * crack + 0.05 * fine
    col = lerp((0.27, 0.26, 0.27), (0.42, 0.38, 0.34), 0.3 * tone + 0.5 * big)
    col = lerp(col, (0.24, 0.26, 0.30), smoothstep(0.5, 0.85, mid) * 0.7)
    shade = 0.72 + 0.1 * np.clip(facet, -1, 1) + 0.12 * (strata - 0.5) + 0.25 * (fine - 0.5) \
        + 0.7 * (big - 0.5) + 0.35 * (mid - 0.5)
    col = col * shade[..., None] * (1 - 0.55 * crack)[..., None]
    return np.clip(col, 0, 1), h


def ground(seed=11, size=S):
    rng = np.random.default_rng(seed)
    pts = rng.random((420, 2)) * size
    d1, d2, idx = tile_voronoi(size, pts)
    bright = rng.random(len(pts))[idx]
    pebble = smoothstep(2.0, 6.0, d2 - d1) * (bright > 0.7)
    dirt = tile_fbm(size, seed + 1, 1.8)
    fine = tile_fbm(size, seed + 2, 0.7)
    col = lerp((0.20, 0.18, 0.16), (0.31, 0.27, 0.22), dirt)
    col = lerp(col, lerp((0.24, 0.23, 0.22), (0.33, 0.31, 0.29), bright), pebble * 0.6)
    col = col * (0.8 + 0.4 * fine)[..., None]
    h = 0.5 * dirt + 0.5 * pebble
    return np.clip(col, 0, 1), h


def masonry(seed=21, size=S, rows=6, dark=False):
    rng = np.random.default_rng(seed)
    yy, xx = np.mgrid[0:size, 0:size].astype(float)
    rh = size / rows
    row = (yy // rh).astype(int)
    fy = yy - row * rh
    block_id = np.zeros((size, size), int)
    edge = np.zeros((size, size))
    shade = np.zeros((size, size))
    for r in range(rows):
        cuts = [0.0]
        while cuts[-1] < size:
            cuts.append(cuts[-1] + rng.uniform(0.9, 1.9) * rh)
        cuts = np.array(cuts) * size / cuts[-1]        # fit the row exactly: seamless
        off = rng.uniform(0, size)
        sel = row == r
        x = (xx[sel] + off) % size
        k = np.searchsorted(cuts, x, side="right") - 1
        dx = np.minimum(x - cuts[k], cuts[k + 1] - x)
        dy = np.minimum(fy[sel], rh - fy[sel])
        edge[sel] = np.minimum(dx, dy)
        block_id[sel] = r * 1000 + k
        vals = rng.random(len(cuts) + 1)
        shade[sel] = vals[k]
    mortar = smoothstep(3.5, 1.5, edge)
    bevel = smoothstep(1.5, 9.0, edge)
    n1 = tile_fbm(size, seed + 1, 1.6)
    n2 = tile_fbm(size, seed + 2, 0.8)
    chips = smoothstep(0.72, 0.8, tile_fbm(size, seed + 3, 1.3)) * smoothstep(14.0, 4.0, edge)
    base = (0.29, 0.27, 0.25) if not dark else (0.20, 0.17, 0.16)
    alt = (0.42, 0.38, 0.33) if not dark else (0.30, 0.23, 0.20)
    col = lerp(base, alt, 0.25 + 0.5 * shade)
    col = col * (0.72 + 0.35 * n1 + 0.12 * (n2 - 0.5))[..., None]
    col = col * (0.7 + 0.3 * bevel)[..., None]
    soot = smoothstep(0.5, 0.85, tile_fbm(size, seed + 4, 2.6))
    # rain streaks: noise stretched down the wall
    streaks = wrap_blur(np.repeat(tile_fbm(size, seed + 5, 1.4)[::8, :], 8, axis=0), 4)
    col = col * (1 - 0.28 * soot - 0.18 * smoothstep(0.55, 0.9, streaks))[..., None]
    col = lerp(col, (0.12, 0.11, 0.10), np.maximum(mortar * 0.85, chips * 0.7))
    h = bevel * (0.7 + 0.2 * n1) - 0.3 * chips + 0.1 * n2
    return np.clip(col, 0, 1), h, mortar


def cobble(seed=31, size=S):
    rng = np.random.default_rng(seed)
    # jittered grid of stones: even sizes, like a laid road
    n = 14
    g = (np.stack(np.meshgrid(np.arange(n), np.arange(n)), -1).reshape(-1, 2) + 0.5
         + rng.uniform(-0.32, 0.32, (n * n, 2))) * (size / n)
    d1, d2, idx = tile_voronoi(size, g)
    gap = d2 - d1
    stone = smoothstep(1.5, 9.0, gap)
    dome = np.clip(1 - (d1 / (size / n * 0.75)) ** 2, 0, 1)
    tone = rng.random(len(g))[idx]
    n1 = tile_fbm(size, seed + 1, 1.3)
    n2 = tile_fbm(size, seed + 2, 0.8)
    col = lerp((0.30, 0.29, 0.28), (0.46, 0.43, 0.40), 0.3 + 0.6 * tone)
    col = col * (0.75 + 0.3 * n1 + 0.15 * dome)[..., None]
    grit = lerp((0.12, 0.10, 0.08), (0.20, 0.17, 0.13), n2)
    col = lerp(grit, col, stone)
    h = stone * (0.55 + 0.45 * dome) + 0.05 * n1
    gloss = stone * (0.35 + 0.5 * dome) * (0.7 + 0.3 * n2)
    return np.clip(col, 0, 1), h, gloss


def lava(seed=41, size=S):
    rng = np.random.default_rng(seed)
    pts = rng.random((70, 2)) * size
    d1, d2, idx = tile_voronoi(size, pts)
    crack = smoothstep(10.0, 0.0, d2 - d1)
    n1 = tile_fbm(size, seed + 1, 1.7)
    n2 = tile_fbm(size, seed + 2, 2.4)
    molten = np.maximum(crack, smoothstep(0.62, 0.8, n2))
    heat = np.clip(molten * (0.7 + 0.5 * n1), 0, 1)
    crust = lerp((0.10, 0.045, 0.035), (0.22, 0.08, 0.04), n1)
    hot = lerp((0.85, 0.22, 0.03), (1.0, 0.80, 0.30), smoothstep(0.4, 1.0, heat))
    col = lerp(crust, hot, smoothstep(0.05, 0.6, heat))
    return np.clip(col, 0, 1)


def gate_wood(seed=51, size=S):
    rng = np.random.default_rng(seed)
    yy, xx = np.mgrid[0:size, 0:size].astype(float)
    planks = 6
    pw = size / planks
    k = (xx // pw).astype(int)
    fx = xx - k * pw
    gap = smoothstep(3.0, 0.5, np.minimum(fx, pw - fx))
    # grain: noise stretched along the planks
    grain_src = tile_fbm(size, seed + 1, 1.5)
    grain = np.zeros_like(grain_src)
    for j in range(size):
        grain[:, j] = np.interp(np.arange(size) / 8.0 + j * 0.37, np.arange(size),
                                grain_src[:, j], period=size)
    grain = wrap_blur(grain, 1)
    lines = 0.5 + 0.5 * np.sin(xx / 2.3 + 9.0 * grain + k * 1.7)
    tone = rng.uniform(0.75, 1.15, planks)[k]
    col = lerp((0.17, 0.10, 0.06), (0.34, 0.22, 0.13), 0.35 * lines + 0.4 * grain)
    col = col * tone[..., None]
    col = lerp(col, (0.05, 0.035, 0.03), gap)
    h = 0.5 + 0.15 * lines - 0.5 * gap
    gloss = 0.15 + 0.1 * lines
    # three iron bands with rivets, and a heavy ring pull
    iron = np.zeros((size, size))
    for c in (0.14, 0.5, 0.86):
        iron = np.maximum(iron, smoothstep(2.0, 0.0, np.abs(yy - c * size) - 17.0))
    rivet = np.zeros((size, size))
    for c in (0.14, 0.5, 0.86):
        for rx in np.arange(pw / 2, size, pw / 2):
            d = np.hypot(xx - rx, (yy - c * size) * 4.4)
            rivet = np.maximum(rivet, smoothstep(6.0, 3.0, d))
    rust = tile_fbm(size, seed + 2, 1.2)
    iron_col = lerp((0.16, 0.16, 0.17), (0.30, 0.17, 0.09), smoothstep(0.5, 0.8, rust))
    col = lerp(col, iron_col * (0.8 + 0.4 * tile_fbm(size, seed + 3, 0.8))[..., None], iron)
    col = lerp(col, (0.42, 0.40, 0.38), rivet)
    h = np.maximum(h, 0.75 * iron) + 0.25 * rivet
    gloss = np.where(iron > 0.5, 0.55 + 0.3 * (1 - rust), gloss) + 0.3 * rivet
    return np.clip(col, 0, 1), h, np.clip(gloss, 0, 1)


def window(size=64):
    """A narrow window lit from inside: warm glow behind two iron bars."""
    yy, xx = np.mgrid[0:size, 0:size].astype(float) / (size - 1)
    glow = np.exp(-((xx - 0.5) ** 2 * 6 + (yy - 0.62) ** 2 * 4))
    col = lerp((0.45, 0.12, 0.02), (1.0, 0.72, 0.32), glow)
    bars = (np.abs(xx - 0.33) < 0.04) | (np.abs(xx - 0.67) < 0.04) | (np.abs(yy - 0.4) < 0.035)
    frame = (xx < 0.08) | (xx > 0.92) | (yy < 0.08) | (yy > 0.92)
    col = np.where((bars | frame)[..., None], np.array([0.05, 0.03, 0.02]), col)
    return np.clip(col, 0, 1)


def banner(w=128, h=256, seed=61):
    """A dark red war banner: cloth folds, black bands and a black disc bearing two crossed
    axes in bone white. The banner hangs 56 x 288 units, so the picture is drawn squashed by
    the stretch it gets (2.57 : 1) and stands round on the wall."""
    stretch = (288.0 / 56.0) / (h / w)
    yy, xx = np.mgrid[0:h, 0:w].astype(float)
    u = xx / (w - 1)
    v = yy / (h - 1)
    folds = 0.75 + 0.25 * np.sin(u * np.pi * 6) ** 2
    weave = tile_fbm(256, seed, 1.0)[:h, :w]
    col = lerp((0.28, 0.03, 0.03), (0.50, 0.07, 0.05), weave) * folds[..., None]
    band = (np.abs(v - 0.06) < 0.035) | (np.abs(v - 0.80) < 0.02)
    col = np.where(band[..., None], np.array([0.05, 0.04, 0.04]), col)
    dx = (u - 0.5) * w
    dy = (v - 0.4) * h * stretch
    r = np.hypot(dx, dy)
    disc = r < 0.40 * w
    col = np.where(disc[..., None], np.array([0.06, 0.05, 0.05]), col)
    bone = np.array([0.78, 0.72, 0.58])
    for sgn in (-1, 1):
        # an axe: a shaft on one diagonal, a blade across its upper end
        along = (dx * sgn + dy) / np.sqrt(2)      # along the shaft, negative = up
        across = (dx * sgn - dy) / np.sqrt(2)
        shaft = (np.abs(across) < 0.045 * w) & (np.abs(along) < 0.33 * w)
        blade = (along < -0.14 * w) & (along > -0.32 * w) & (across > 0) & \
                (across < 0.16 * w - 0.5 * np.abs(along + 0.23 * w))
        col = np.where(((shaft | blade) & disc)[..., None], bone, col)
    return np.clip(col, 0, 1)


def dot3(h, strength):
    """Tangent-space normal map of a wrapping height field: 128 in a channel means 0."""
    dx = (np.roll(h, -1, 1) - np.roll(h, 1, 1)) * 0.5 * strength
    dy = (np.roll(h, -1, 0) - np.roll(h, 1, 0)) * 0.5 * strength
    n = np.stack([-dx, dy, np.ones_like(h)], -1)
    n /= np.linalg.norm(n, axis=-1, keepdims=True)
    return np.clip(n * 127.5 + 128.0, 0, 255).astype(np.uint8)


def save_jpg(rgb, path, q=88):
    Image.fromarray(np.clip(rgb * 255 + 0.5, 0, 255).astype(np.uint8)).save(
        path, quality=q, optimize=True)


def save_gloss_tga(rgb, gloss, path):
    # alpha never below 64: the groups of a TGA colour map are drawn with an alpha test at 50
    a = np.clip(64 + gloss * 191, 64, 255)
    rgba = np.dstack([np.clip(rgb * 255 + 0.5, 0, 255), a]).astype(np.uint8)
    Image.fromarray(rgba, "RGBA").save(path)


def downsize(img, size):
    k = img.shape[0] // size
    return img.reshape(size, k, size, k, *img.shape[2:]).mean(axis=(1, 3))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    col, h = rock()
    save_jpg(col, os.path.join(out, "Level_Rock.jpg"))
    col, h = ground()
    save_jpg(col, os.path.join(out, "Level_Ground.jpg"))
    col, h, mortar = masonry()
    save_jpg(col, os.path.join(out, "Level_Masonry.jpg"))
    save_gloss_tga(col, 0.45 * (1 - mortar) * (0.5 + h * 0.5),
                   os.path.join(out, "Level_MasonryGloss.tga"))
    Image.fromarray(dot3(h, 6.0)).save(os.path.join(out, "Level_MasonryGlossDOT3.jpg"),
                                       quality=90)
    dcol, _, _ = masonry(seed=22, rows=8, dark=True)
    save_jpg(dcol, os.path.join(out, "Level_DarkStone.jpg"))
    col, h, gloss = cobble()
    save_jpg(col, os.path.join(out, "Level_Cobble.jpg"))
    save_gloss_tga(col, gloss, os.path.join(out, "Level_CobbleGloss.tga"))
    Image.fromarray(dot3(h, 5.0)).save(os.path.join(out, "Level_CobbleGlossDOT3.jpg"), quality=90)
    save_jpg(lava(), os.path.join(out, "Level_Lava.jpg"))
    save_jpg(window(), os.path.join(out, "Level_Window.jpg"))
    save_jpg(banner(), os.path.join(out, "Level_Banner.jpg"))
    col, h, gloss = gate_wood()
    save_jpg(col, os.path.join(out, "Level_GateWood.jpg"))
    save_gloss_tga(downsize(col, 256), downsize(gloss, 256),
                   os.path.join(out, "Level_GateGloss.tga"))
    Image.fromarray(dot3(downsize(h, 256), 4.0)).save(
        os.path.join(out, "Level_GateGlossDOT3.jpg"), quality=90)


if __name__ == "__main__":
    main()
