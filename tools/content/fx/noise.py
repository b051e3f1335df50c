"""Seamless procedural noise for the effect textures: 3-D value noise and its fractal sums.

Everything is a function of a 3-D point, so a texture that samples it through a direction on a
sphere, or through a point on a circle, has no seams by construction.
"""
import numpy as np


def _hash(ix, iy, iz, seed):
    """Integer lattice point -> float in [0, 1); a 32-bit mix, the same on every machine."""
    with np.errstate(over="ignore"):
        h = (ix.astype(np.uint32) * np.uint32(0x8DA6B343)) ^ (iy.astype(np.uint32) * np.uint32(0xD8163841)) \
            ^ (iz.astype(np.uint32) * np.uint32(0xCB1AB31F)) ^ np.uint32(seed * 0x9E3779B9 & 0xFFFFFFFF)
        h ^= h >> np.uint32(15)
        h *= np.uint32(0x2C1B3C6D)
        h ^= h >> np.uint32(12)
        h *= np.uint32(0x297A2D39)
        h ^= h >> np.uint32(15)
    return (h >> np.uint32(8)).astype(np.float64) / float(1 << 24)


def value_noise(p, seed=0):
    """p: array (..., 3). Smooth noise in [0, 1] with unit lattice spacing."""
    p = np.asarray(p, dtype=np.float64)
    f = np.floor(p)
    t = p - f
    t = t * t * t * (t * (t * 6 - 15) + 10)  # quintic fade: continuous slope and curvature
    i = f.astype(np.int64)
    x0, y0, z0 = i[..., 0], i[..., 1], i[..., 2]
    tx, ty, tz = t[..., 0], t[..., 1], t[..., 2]
    out = 0.0
    for dx in (0, 1):
        wx = tx if dx else 1 - tx
        for dy in (0, 1):
            wy = ty if dy else 1 - ty
            for dz in (0, 1):
                wz = tz if dz else 1 - tz
                out = out + wx * wy * wz * _hash(x0 + dx, y0 + dy, z0 + dz, seed)
    return out


# Fixed rotations between octaves keep the lattice directions of one octave from lining up with
# the next (which would show as a grid).
_ROT = np.array([[0.00, 0.80, 0.60], [-0.80, 0.36, -0.48], [-0.60, -0.48, 0.64]])


def fbm(p, octaves=5, lacunarity=2.0, gain=0.5, seed=0):
    """Fractal sum of value noise, normalised to roughly [0, 1] (mean 0.5)."""
    p = np.asarray(p, dtype=np.float64)
    total = np.zeros(p.shape[:-1])
    amp, norm = 1.0, 0.0
    q = p
    for o in range(octaves):
        total += amp * value_noise(q, seed + 17 * o)
        norm += amp
        amp *= gain
        q = (q @ _ROT.T) * lacunarity + 31.7
    return total / norm
