"""Noise functions shared by the level's geometry and texture scripts.

value_noise / fbm / ridged work on world coordinates of any shape (geometry displacement);
tile_fbm makes seamless square images by spectral synthesis (textures), tile_voronoi gives the
two nearest-cell distances of a wrapping cell pattern (cobbles, lava crust, stone blocks).
"""
import numpy as np

_TABLE_SIZE = 1 << 16


def _table(seed):
    rng = np.random.default_rng(seed)
    return rng.random(_TABLE_SIZE).astype(np.float64)


_tables = {}


def _lattice(ix, iy, seed):
    t = _tables.get(seed)
    if t is None:
        t = _tables[seed] = _table(seed)
    h = (ix.astype(np.int64) * 73856093) ^ (iy.astype(np.int64) * 19349663) ^ (seed * 83492791)
    return t[np.bitwise_and(h, _TABLE_SIZE - 1)]


def value_noise(x, y, seed=0):
    """Smooth lattice noise in [0, 1] at the points (x, y), one lattice cell per unit."""
    x = np.asarray(x, dtype=np.float64)
    y = np.asarray(y, dtype=np.float64)
    x0 = np.floor(x)
    y0 = np.floor(y)
    fx = x - x0
    fy = y - y0
    sx = fx * fx * (3 - 2 * fx)
    sy = fy * fy * (3 - 2 * fy)
    ix = x0.astype(np.int64)
    iy = y0.astype(np.int64)
    a = _lattice(ix, iy, seed)
    b = _lattice(ix + 1, iy, seed)
    c = _lattice(ix, iy + 1, seed)
    d = _lattice(ix + 1, iy + 1, seed)
    return (a * (1 - sx) + b * sx) * (1 - sy) + (c * (1 - sx) + d * sx) * sy


def fbm(x, y, seed=0, octaves=5, lacunarity=2.03, gain=0.5):
    """Fractal sum of value noise, roughly in [-1, 1]."""
    total = np.zeros(np.broadcast(np.asarray(x), np.asarray(y)).shape)
    amp = 1.0
    norm = 0.0
    f = 1.0
    for o in range(octaves):
        total += amp * (value_noise(x * f + 17.3 * o, y * f - 9.1 * o, seed + o) * 2 - 1)
        norm += amp
        amp *= gain
        f *= lacunarity
    return total / norm


def ridged(x, y, seed=0, octaves=5):
    """Ridged fractal noise in [0, 1]: sharp crests, as of weathered rock ribs."""
    total = np.zeros(np.broadcast(np.asarray(x), np.asarray(y)).shape)
    amp = 1.0
    norm = 0.0
    f = 1.0
    for o in range(octaves):
        n = 1 - np.abs(value_noise(x * f + 3.7 * o, y * f + 5.3 * o, seed + 101 + o) * 2 - 1)
        total += amp * n * n
        norm += amp
        amp *= 0.5
        f *= 2.1
    return total / norm


def tile_fbm(size, seed, beta=2.0, low_cut=1.0):
    """Seamless noise image (size x size) with a 1/f^beta spectrum, normalised to [0, 1]."""
    rng = np.random.default_rng(seed)
    white = rng.standard_normal((size, size))
    f = np.fft.fftfreq(size) * size
    fx, fy = np.meshgrid(f, f)
    r = np.sqrt(fx * fx + fy * fy)
    r[0, 0] = 1.0
    amp = 1.0 / np.power(np.maximum(r, low_cut), beta / 2.0)
    amp[0, 0] = 0.0
    img = np.real(np.fft.ifft2(np.fft.fft2(white) * amp))
    img -= img.min()
    return img / max(img.max(), 1e-12)


def tile_voronoi(size, points):
    """Distances (in pixels) to the nearest and second nearest of the given points (N x 2, in
    pixels) on a wrapping square, plus the index of the nearest point."""
    yy, xx = np.mgrid[0:size, 0:size].astype(np.float32)
    d1 = np.full((size, size), 1e9, np.float32)
    d2 = np.full((size, size), 1e9, np.float32)
    idx = np.zeros((size, size), np.int32)
    for i, (px, py) in enumerate(points):
        dx = np.abs(xx - px)
        dx = np.minimum(dx, size - dx)
        dy = np.abs(yy - py)
        dy = np.minimum(dy, size - dy)
        d = np.sqrt(dx * dx + dy * dy)
        closer = d < d1
        d2 = np.where(closer, d1, np.minimum(d2, d))
        idx = np.where(closer, i, idx)
        d1 = np.where(closer, d, d1)
    return d1, d2, idx


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3 - 2 * t)
