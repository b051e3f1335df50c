#!/usr/bin/python3
"""Paints every still image the executable carries and writes it in the exact file format its
reader expects:

  resources/digits/Digits/digit_*.jpg   15 clock glyphs, light on black, 128 x 128 baseline JPEG
  resources/loading/background.jpg      512 x 512 loading background (canyon, burning gate, night)
  resources/loading/title.tga           256 x 128 32-bit TGA with alpha: the product name
  resources/loading/blank_48[678].tga   1 x 1 32-bit TGA, white, alpha 0
  resources/pictures/preview.bmp        155 x 115 24-bit BMP, the preview-window still
  resources/pictures/about.bmp          70 x 70 24-bit BMP for the about box
  resources/pictures/icon.bmp           64 x 64 32-bit BMP with alpha (window icon)
  resources/pictures/icon.ico           16/32/48/64 icon for a Windows build

Everything is procedural and seeded, so a rerun gives the same pixels. Needs Debian's
python3-numpy, python3-pil, fonts-cardo, fonts-ebgaramond and fonts-blankenburg (all SIL OFL 1.1).
TGA and BMP bytes are written here rather than by PIL so that the header layout (bottom-up rows,
8 alpha bits, BITMAPV4 alpha mask) is exactly the one we rely on.
"""

import os
import struct
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
RES = os.path.join(ROOT, "resources")

DIGIT_FONT = "/usr/share/fonts/truetype/cardo/Cardob101.ttf"
TITLE_FONT = "/usr/share/fonts/truetype/blankenburg/Blankenburg_UNZ1A.ttf"
TEXT_FONT = "/usr/share/fonts/opentype/ebgaramond/EBGaramond12-Bold.otf"
ITALIC_FONT = "/usr/share/fonts/opentype/ebgaramond/EBGaramond12-Italic.otf"


# ----------------------------------------------------------------------------- file writers

def write_tga32(path, rgba):
    """Uncompressed true-colour TGA (type 2), 32 bits, 8 alpha bits, rows bottom-up."""
    h, w, _ = rgba.shape
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, w, h, 32, 0x08)
    bgra = rgba[::-1, :, [2, 1, 0, 3]].astype(np.uint8)
    with open(path, "wb") as f:
        f.write(header + bgra.tobytes())


def write_bmp24(path, rgb):
    """BITMAPFILEHEADER + BITMAPINFOHEADER, 24 bits, bottom-up rows padded to 4 bytes."""
    h, w, _ = rgb.shape
    stride = (w * 3 + 3) & ~3
    rows = bytearray()
    for y in range(h - 1, -1, -1):
        rows += rgb[y, :, ::-1].astype(np.uint8).tobytes()
        rows += b"\0" * (stride - w * 3)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    filehdr = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(filehdr + info + rows)


def write_bmp32_alpha(path, rgba):
    """BITMAPV4HEADER with BI_BITFIELDS and an alpha mask, so readers keep the transparency."""
    h, w, _ = rgba.shape
    rows = rgba[::-1, :, [2, 1, 0, 3]].astype(np.uint8).tobytes()
    info = struct.pack("<IiiHHIIiiII", 108, w, h, 1, 32, 3, len(rows), 2835, 2835, 0, 0)
    info += struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    info += b"BGRs" + b"\0" * 36 + b"\0" * 12  # sRGB, endpoints and gamma unused
    assert len(info) == 108
    filehdr = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(filehdr + info + rows)


def save_jpeg(path, rgb, quality):
    # Baseline, 4:4:4, three components: the plainest JPEG every decoder handles.
    Image.fromarray(np.clip(rgb, 0, 255).astype(np.uint8), "RGB").save(
        path, "JPEG", quality=quality, subsampling=0, progressive=False, optimize=True)


# ----------------------------------------------------------------------------- noise helpers

def fbm(w, h, seed, base=4, octaves=6, gain=0.5):
    """Fractal value noise in 0..1, built from bicubically enlarged random grids."""
    rng = np.random.default_rng(seed)
    out = np.zeros((h, w), np.float32)
    amp, total, cells = 1.0, 0.0, base
    for _ in range(octaves):
        grid = rng.random((cells + 3, cells + 3)).astype(np.float32)
        img = Image.fromarray(grid, "F").resize((w * (cells + 3) // cells, h * (cells + 3) // cells),
                                                Image.BICUBIC)
        layer = np.asarray(img)[h // cells: h // cells + h, w // cells: w // cells + w]
        out += amp * layer
        total += amp
        amp *= gain
        cells *= 2
    return np.clip(out / total, 0, 1)


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0, 1)
    return t * t * (3 - 2 * t)


# ----------------------------------------------------------------------------- glyphs

GLYPHS = [("digit_%d.jpg" % i, str(i)) for i in range(10)] + [
    ("digit_ddot.jpg", ":"), ("digit_dot.jpg", "."),
    ("digit_A.jpg", "A"), ("digit_M.jpg", "M"), ("digit_P.jpg", "P")]

CELL = 128
BASELINE = 104      # every glyph sits on this row
CAP = 78            # height of the digits above the baseline
MAX_INK_W = 74      # the clock steps by 0.6 of a cell, so wider ink would run into its neighbour


def render_glyph(ch):
    scale = 4  # draw large and reduce: smoother edges than the rasteriser's own hinting
    size = CELL * scale
    mask = Image.new("L", (size, size), 0)
    d = ImageDraw.Draw(mask)
    feats = ["lnum", "tnum"]
    # Size the font so that the digit 8 is exactly CAP pixels tall, whatever the font's metrics.
    probe = ImageFont.truetype(DIGIT_FONT, 1000, layout_engine=ImageFont.Layout.RAQM)
    _, pt, _, pb = d.textbbox((0, 0), "8", font=probe, anchor="ls", features=feats)
    font_px = int(round(CAP * scale * 1000 / (pb - pt)))
    font = ImageFont.truetype(DIGIT_FONT, font_px, layout_engine=ImageFont.Layout.RAQM)
    l, t, r, b = d.textbbox((0, 0), ch, font=font, anchor="ls", features=feats)
    ink_w = r - l
    fit = min(1.0, MAX_INK_W * scale / max(ink_w, 1))
    if fit < 1.0:
        font = ImageFont.truetype(DIGIT_FONT, int(font_px * fit), layout_engine=ImageFont.Layout.RAQM)
        l, t, r, b = d.textbbox((0, 0), ch, font=font, anchor="ls", features=feats)
    x = size // 2 - (l + r) / 2
    d.text((x, BASELINE * scale), ch, font=font, fill=255, anchor="ls", features=feats)
    mask = mask.resize((CELL, CELL), Image.LANCZOS)
    core = np.asarray(mask, np.float32) / 255
    # A soft halo: the dark pass then draws a rim around the glyph, the bright pass a faint glow.
    halo = np.asarray(mask.filter(ImageFilter.GaussianBlur(4)), np.float32) / 255
    ys = np.arange(CELL, dtype=np.float32)[:, None]
    shade = 1.0 - 0.12 * smoothstep(BASELINE - CAP, BASELINE, ys)  # a little brighter at the top
    v = np.maximum(core * shade, halo * 0.35)
    rgb = np.stack([v * 255, v * 250, v * 240], axis=-1)  # barely warm white
    return rgb


def make_glyphs():
    out_dir = os.path.join(RES, "digits", "Digits")
    os.makedirs(out_dir, exist_ok=True)
    for name, ch in GLYPHS:
        save_jpeg(os.path.join(out_dir, name), render_glyph(ch), 90)


# ----------------------------------------------------------------------------- loading background

def paint_background(n=512):
    rng = np.random.default_rng(4821)
    ys, xs = np.mgrid[0:n, 0:n].astype(np.float32)
    u, v = xs / n, ys / n
    horizon = 0.60

    # Night sky: deep blue overhead, a smoky red band where the fires light the haze.
    sky = np.zeros((n, n, 3), np.float32)
    t = np.clip(v / horizon, 0, 1)[..., None]
    sky += (1 - t) * np.array([6, 9, 24]) + t * np.array([40, 18, 22])
    clouds = fbm(n, n, 11, base=3, octaves=6)
    cloud_mask = smoothstep(0.45, 0.8, clouds) * (0.4 + 0.6 * t[..., 0])
    sky = sky * (1 - 0.5 * cloud_mask[..., None]) + cloud_mask[..., None] * np.array([30, 14, 16])
    stars = (rng.random((n, n)) > 0.9975) * rng.random((n, n)) * (1 - cloud_mask) * (1 - t[..., 0])
    sky += (stars[..., None] * 230) * np.array([0.9, 0.95, 1.0])
    # A pale moon behind thin cloud, upper left.
    mx, my, mr = 0.2 * n, 0.14 * n, 0.045 * n
    dm = np.hypot(xs - mx, ys - my)
    moon = smoothstep(mr + 1, mr - 1, dm)
    crater = fbm(n, n, 5, base=32, octaves=2)
    sky = sky * (1 - moon[..., None]) + moon[..., None] * (np.array([200, 205, 215]) * (0.85 + 0.2 * crater[..., None]))
    sky += (np.exp(-((dm - mr).clip(0)) / (0.06 * n)) * 0.35)[..., None] * np.array([60, 70, 95]) * (1 - moon[..., None])

    img = sky.copy()

    # Glow centre: the burning gate in the far end of the canyon.
    gx, gy = 0.5 * n, 0.56 * n
    dist_gate = np.hypot((xs - gx) / n, (ys - gy) / n)
    glow = np.exp(-dist_gate / 0.18)

    # Haze and smoke rising from the gate, lit orange from below.
    smoke = fbm(n, n, 23, base=4, octaves=6)
    plume = np.exp(-((xs - gx - (gy - ys) * 0.25) / (0.16 * n + (gy - ys).clip(0) * 0.5)) ** 2)
    plume *= (ys < gy) * smoothstep(0.0, 0.55, v)
    smoke_a = np.clip(plume * smoothstep(0.35, 0.75, smoke) * 0.9, 0, 1)
    img = img * (1 - smoke_a[..., None]) + smoke_a[..., None] * (np.array([70, 30, 18]) * (0.4 + 1.4 * glow[..., None]))

    # Fortress wall across the canyon with towers and crenellations, gate arch in the middle.
    wall_top = 0.47 * n
    wall_bot = 0.62 * n
    wx0, wx1 = 0.26 * n, 0.74 * n
    wall = (xs > wx0) & (xs < wx1) & (ys > wall_top) & (ys < wall_bot)
    merlon = ((xs // 9) % 2 == 0) & (ys > wall_top - 7) & (ys <= wall_top) & (xs > wx0) & (xs < wx1)
    towers = np.zeros_like(wall)
    for tx in (0.36, 0.64):
        tw = 0.055 * n
        towers |= (np.abs(xs - tx * n) < tw) & (ys > 0.38 * n) & (ys < wall_bot)
        towers |= (np.abs(xs - tx * n) < tw) & (ys > 0.38 * n - 8) & (ys <= 0.38 * n) & (((xs - tx * n + tw) // 8) % 2 == 0)
        # a horned roof spike on each tower
        towers |= (np.abs(xs - tx * n) < (ys - 0.30 * n).clip(0) * 0.35) & (ys > 0.30 * n) & (ys <= 0.38 * n - 8) & (np.abs(xs - tx * n) < 10)
    fort = wall | merlon | towers
    stone = fbm(n, n, 31, base=16, octaves=4)
    blocks = ((((ys // 7) % 2) * 6 + xs) % 12 < 1) | (ys % 7 < 1)
    fort_col = np.array([26, 20, 22]) * (0.6 + 0.8 * stone[..., None]) * (1 - 0.35 * blocks[..., None])
    fort_col = fort_col + glow[..., None] * np.array([120, 45, 15]) * 0.8
    img = np.where(fort[..., None], fort_col, img)
    # Arched gate opening full of fire.
    arch_w, arch_top, arch_bot = 0.07 * n, 0.505 * n, wall_bot
    in_rect = (np.abs(xs - gx) < arch_w) & (ys > arch_top + arch_w * 0.6) & (ys < arch_bot)
    in_round = np.hypot((xs - gx) / arch_w, (ys - (arch_top + arch_w * 0.6)) / (arch_w * 0.9)) < 1
    arch = in_rect | in_round
    flame_noise = fbm(n, n, 41, base=12, octaves=5)
    heat = np.clip(((ys - arch_top) / (arch_bot - arch_top)) * 0.8 + flame_noise * 0.6, 0, 1.4)
    fire = np.stack([255 * np.clip(heat * 1.2, 0, 1), 220 * np.clip(heat - 0.25, 0, 1) ** 1.3,
                     120 * np.clip(heat - 0.8, 0, 1)], axis=-1) + np.array([60, 8, 0])
    img = np.where(arch[..., None], fire, img)
    # Portcullis bars in front of the fire.
    bars = arch & ((((xs - gx) % 11) < 2) | (((ys - arch_top) % 13) < 2)) & (ys > arch_top + 6)
    img = np.where(bars[..., None], np.array([18, 8, 6]), img)
    # Windows and torches glowing on the wall and towers.
    for (px, py) in [(0.36, 0.43), (0.64, 0.43), (0.31, 0.53), (0.69, 0.53), (0.36, 0.50), (0.64, 0.50)]:
        d = np.hypot(xs - px * n, ys - py * n)
        img += (np.exp(-d / 3.0) * 255)[..., None] * np.array([1.0, 0.6, 0.2])
        img += (np.exp(-d / 14.0) * 60)[..., None] * np.array([1.0, 0.45, 0.1])

    # Canyon walls: jagged cliffs that close in on the gate, cut from the top by a noisy ridge.
    ridge_noise = fbm(n, 8, 55, base=6, octaves=6)[4]
    left_edge = (0.30 - 0.30 * (1 - v) ** 1.4) * n
    right_edge = n - (0.30 - 0.30 * (1 - v) ** 1.4) * n
    jag_l = fbm(8, n, 61, base=10, octaves=6)[:, 4]
    jag_r = fbm(8, n, 67, base=10, octaves=6)[:, 4]
    lx = left_edge + (jag_l[:, None] - 0.5) * 0.12 * n + (0.58 * n - ys).clip(0) * 0.25
    rx = right_edge - (jag_r[:, None] - 0.5) * 0.12 * n - (0.58 * n - ys).clip(0) * 0.25
    cliff_top = 0.06 * n + (ridge_noise[None, :] - 0.5) * 0.10 * n + (0.5 - np.abs(u - 0.5)) * 0.55 * n
    cliff = ((xs < lx) | (xs > rx)) & (ys > cliff_top)
    rock = fbm(n, n, 71, base=8, octaves=7)
    # Relief: treat ridged noise as a height field and light its slopes from the gate's side,
    # which gives cracked, faceted rock instead of a flat texture.
    ridged = 1 - np.abs(2 * fbm(n, n, 73, base=6, octaves=6) - 1)
    height = 0.6 * ridged + 0.4 * rock
    dy, dx = np.gradient(height * n * 0.08)
    side = np.where(xs < n / 2, 1.0, -1.0)  # each wall faces the middle of the canyon
    relief = np.clip(0.55 + 1.6 * (dx * side - 0.5 * dy), 0.1, 1.6)
    strata = 0.5 + 0.5 * np.sin(ys * 0.35 + rock * 9.0)
    rock_col = (np.array([30, 24, 22]) * (0.35 + 0.8 * rock[..., None]) * (0.8 + 0.25 * strata[..., None])
                * relief[..., None])
    edge_dist = np.minimum(np.abs(xs - lx), np.abs(xs - rx))
    firelit = np.exp(-edge_dist / (0.05 * n)) * (0.3 + glow) * smoothstep(0.2, 0.9, v)
    moonlit = np.exp(-(ys - cliff_top).clip(0) / (0.03 * n))
    rock_col = rock_col + firelit[..., None] * np.array([150, 55, 18]) * (0.3 + 0.7 * relief[..., None])
    rock_col = rock_col + moonlit[..., None] * np.array([40, 45, 60]) * rock[..., None]
    img = np.where(cliff[..., None], rock_col, img)

    # Ground: the road from the gate toward the viewer, lit orange near the gate, with a lava
    # crack crossing under a bridge.
    ground = (ys >= wall_bot) & ~cliff
    gnoise = fbm(n, n, 81, base=24, octaves=5)
    gcol = np.array([24, 17, 14]) * (0.5 + gnoise[..., None]) + glow[..., None] * np.array([130, 50, 16])
    img = np.where(ground[..., None], gcol, img)
    lava_y = 0.78 * n + (fbm(n, 8, 91, base=8, octaves=4)[4][None, :] - 0.5) * 0.04 * n
    lava = np.exp(-np.abs(ys - lava_y) / 3.5) * (~cliff) * (ys > wall_bot)
    lava_n = fbm(n, n, 93, base=32, octaves=3)
    img += lava[..., None] * np.array([255, 90, 10]) * (0.7 + 0.6 * lava_n[..., None])
    img += (np.exp(-np.abs(ys - lava_y) / 30) * (~cliff) * (ys > wall_bot) * 70)[..., None] * np.array([1, 0.35, 0.05])
    bridge = (np.abs(xs - gx) < 0.06 * n + (ys - wall_bot) * 0.35) & (np.abs(ys - lava_y) < 7)
    img = np.where(bridge[..., None], np.array([34, 22, 16]) + glow[..., None] * np.array([90, 35, 10]), img)

    # Bloom around the gate and a vignette.
    img += (np.exp(-dist_gate / 0.07) * 110)[..., None] * np.array([1.0, 0.5, 0.15])
    vign = 1 - 0.55 * smoothstep(0.35, 0.75, np.hypot(u - 0.5, v - 0.52))
    img *= vign[..., None]
    return np.clip(img, 0, 255)


# ----------------------------------------------------------------------------- loading title

def paint_title(w=256, h=128):
    scale = 4
    W, H = w * scale, h * scale
    mask = Image.new("L", (W, H), 0)
    d = ImageDraw.Draw(mask)
    big = ImageFont.truetype(TITLE_FONT, 56 * scale)
    d.text((W // 2, 52 * scale), "Grimholt", font=big, fill=255, anchor="ms")
    small = ImageFont.truetype(TEXT_FONT, 15 * scale, layout_engine=ImageFont.Layout.RAQM)
    d.text((W // 2, 75 * scale), "3D SCREENSAVER", font=small, fill=255, anchor="ms", features=["kern"])
    sub = Image.new("L", (W, H), 0)
    ds = ImageDraw.Draw(sub)
    it = ImageFont.truetype(ITALIC_FONT, 19 * scale)
    ds.text((W // 2, 110 * scale), "loading\u2026", font=it, fill=255, anchor="ms")
    # A thin rule with a diamond between the name and "loading".
    ds.line([(W * 0.22, 86 * scale), (W * 0.45, 86 * scale)], fill=200, width=scale)
    ds.line([(W * 0.55, 86 * scale), (W * 0.78, 86 * scale)], fill=200, width=scale)
    ds.polygon([(W * 0.5, 82 * scale), (W * 0.5 + 4 * scale, 86 * scale), (W * 0.5, 90 * scale),
                (W * 0.5 - 4 * scale, 86 * scale)], fill=255)
    mask = mask.resize((w, h), Image.LANCZOS)
    sub = sub.resize((w, h), Image.LANCZOS)
    m = np.asarray(mask, np.float32) / 255
    s = np.asarray(sub, np.float32) / 255
    ys = np.arange(h, dtype=np.float32)[:, None]
    # Fire-coloured letters: yellow at the top of each line fading to deep orange at the bottom.
    grad = np.clip((ys - 12) / 44, 0, 1)
    letters = np.stack([np.full_like(grad, 255), 225 - 150 * grad, 120 - 110 * grad], -1)
    letters = np.broadcast_to(letters, (h, w, 3))
    letters_sub = np.broadcast_to(np.array([230, 190, 150], np.float32), (h, w, 3))
    both = np.clip(m + s, 0, 1)
    # Dark outline and an ember glow, both carried in alpha so the background shows through.
    outline = np.asarray(Image.fromarray((both * 255).astype(np.uint8)).filter(ImageFilter.MaxFilter(3))
                         .filter(ImageFilter.GaussianBlur(1.2)), np.float32) / 255
    glow = np.asarray(Image.fromarray((m * 255).astype(np.uint8)).filter(ImageFilter.GaussianBlur(5)),
                      np.float32) / 255
    rgb = np.zeros((h, w, 3), np.float32)
    alpha = np.zeros((h, w), np.float32)
    # glow layer
    ga = np.clip(glow * 0.8, 0, 1)
    rgb = rgb * (1 - ga[..., None]) + ga[..., None] * np.array([200, 60, 10])
    alpha = alpha + ga * (1 - alpha)
    # outline layer
    oa = np.clip(outline * 1.3, 0, 1)
    rgb = rgb * (1 - oa[..., None]) + oa[..., None] * np.array([20, 6, 4])
    alpha = alpha + oa * (1 - alpha)
    # letters
    rgb = rgb * (1 - m[..., None]) + m[..., None] * letters
    rgb = rgb * (1 - s[..., None]) + s[..., None] * letters_sub
    alpha = alpha + both * (1 - alpha)
    # Colour under fully transparent pixels stays white, like the blank corner images.
    rgb = np.where(alpha[..., None] < 1 / 255, 255, rgb)
    return np.dstack([np.clip(rgb, 0, 255), np.clip(alpha * 255, 0, 255)]).round()


# ----------------------------------------------------------------------------- pictures

def fit_crop(img, w, h, cx=0.5, cy=0.55, zoom=1.0):
    """Resizes an RGB array to w x h, cropping to the target aspect around (cx, cy)."""
    src = Image.fromarray(img.astype(np.uint8))
    sw, sh = src.size
    aspect = w / h
    cw = min(sw, sh * aspect) / zoom
    ch = cw / aspect
    x0 = min(max(cx * sw - cw / 2, 0), sw - cw)
    y0 = min(max(cy * sh - ch / 2, 0), sh - ch)
    return np.asarray(src.resize((w, h), Image.LANCZOS, box=(x0, y0, x0 + cw, y0 + ch)), np.float32)


def paint_icon(size):
    """A shield with a burning arch: the gate of the scene, readable at 16 pixels."""
    s = 8
    n = size * s
    ys, xs = np.mgrid[0:n, 0:n].astype(np.float32) / n
    # Shield outline: flat top, pointed bottom.
    half_w = np.where(ys < 0.55, 0.44, 0.44 * np.sqrt(np.clip(1 - ((ys - 0.55) / 0.43) ** 2, 0, 1)))
    shield = (np.abs(xs - 0.5) < half_w) & (ys > 0.04) & (ys < 0.98)
    inner = (np.abs(xs - 0.5) < half_w - 0.06) & (ys > 0.10) & (ys < 0.92)
    arch_rect = (np.abs(xs - 0.5) < 0.17) & (ys > 0.42) & (ys < 0.80)
    arch_round = np.hypot((xs - 0.5) / 0.17, (ys - 0.42) / 0.17) < 1
    arch = (arch_rect | arch_round) & inner
    heat = np.clip((ys - 0.25) / 0.55, 0, 1)
    fire = np.stack([255 + 0 * heat, 70 + 170 * heat, 10 + 80 * heat ** 3], -1)
    rim = np.stack([150 + 0 * ys, 110 + 0 * ys, 70 + 0 * ys], -1) * (1.1 - 0.5 * ys[..., None])
    field = np.stack([40 + 30 * (1 - ys), 14 + 0 * ys, 14 + 0 * ys], -1)
    rgb = np.where(shield[..., None], rim, 0)
    rgb = np.where(inner[..., None], field, rgb)
    rgb = np.where(arch[..., None], fire, rgb)
    alpha = shield.astype(np.float32) * 255
    big = np.dstack([rgb, alpha]).astype(np.uint8)
    small = Image.fromarray(big, "RGBA").resize((size, size), Image.LANCZOS)
    return np.asarray(small, np.float32)


def main():
    make_glyphs()

    bg = paint_background()
    save_jpeg(os.path.join(RES, "loading", "background.jpg"), bg, 92)
    write_tga32(os.path.join(RES, "loading", "title.tga"), paint_title())
    blank = np.array([[[255, 255, 255, 0]]], np.float32)
    for rid in (486, 487, 488):
        write_tga32(os.path.join(RES, "loading", "blank_%d.tga" % rid), blank)

    write_bmp24(os.path.join(RES, "pictures", "preview.bmp"), np.clip(fit_crop(bg, 155, 115) * 1.1, 0, 255))
    write_bmp24(os.path.join(RES, "pictures", "about.bmp"), np.clip(fit_crop(bg, 70, 70, 0.5, 0.53, 2.2) * 1.1, 0, 255))
    write_bmp32_alpha(os.path.join(RES, "pictures", "icon.bmp"), paint_icon(64))
    icon = Image.fromarray(paint_icon(64).astype(np.uint8), "RGBA")
    icon.save(os.path.join(RES, "pictures", "icon.ico"), sizes=[(16, 16), (32, 32), (48, 48), (64, 64)])
    return 0


if __name__ == "__main__":
    sys.exit(main())
