"""Patch builders for the level: boxes, height fields, displaced cliff faces, rock spires, and
the night lighting that the light maps bake (moonlight, torches, the gate fire, the lava)."""
import math

import numpy as np

from geometry import Patch
from noise import fbm, ridged, smoothstep


def steps(length, step):
    return int(math.ceil(abs(length) / step)) + 1


def box(name, x0, x1, y0, y1, z0, z1, material, faces="+x-x+y-y+z-z", step=400.0, tile=128.0,
        group=None):
    """Axis-aligned box faces as flat patches (only those named in `faces`)."""
    out = []
    X = lambda a, t: a + t * 0  # noqa: E731
    specs = {
        "+x": (lambda u, v: np.stack([X(x1, u), y0 + v * (y1 - y0), z0 + u * (z1 - z0)], -1),
               (1, 0, 0), z1 - z0, y1 - y0),
        "-x": (lambda u, v: np.stack([X(x0, u), y0 + v * (y1 - y0), z0 + u * (z1 - z0)], -1),
               (-1, 0, 0), z1 - z0, y1 - y0),
        "+y": (lambda u, v: np.stack([x0 + u * (x1 - x0), X(y1, u), z0 + v * (z1 - z0)], -1),
               (0, 1, 0), x1 - x0, z1 - z0),
        "-y": (lambda u, v: np.stack([x0 + u * (x1 - x0), X(y0, u), z0 + v * (z1 - z0)], -1),
               (0, -1, 0), x1 - x0, z1 - z0),
        "+z": (lambda u, v: np.stack([x0 + u * (x1 - x0), y0 + v * (y1 - y0), X(z1, u)], -1),
               (0, 0, 1), x1 - x0, y1 - y0),
        "-z": (lambda u, v: np.stack([x0 + u * (x1 - x0), y0 + v * (y1 - y0), X(z0, u)], -1),
               (0, 0, -1), x1 - x0, y1 - y0),
    }
    for key in ("+x", "-x", "+y", "-y", "+z", "-z"):
        if key not in faces:
            continue
        fn, out_dir, lu, lv = specs[key]
        p = Patch(f"{name}{key}", fn, steps(lu, step), steps(lv, step), material,
                  outward=out_dir, tile=(tile, tile), uv0=_planar_uv(key, tile))
        p.group = group
        out.append(p)
    return out


def _planar_uv(key, tile):
    """World-aligned uv0 for a box face, so that stone courses run on across neighbouring
    boxes; the picture's top is up on walls."""
    def uv(u, v, P):
        x, y, z = P[..., 0], P[..., 1], P[..., 2]
        if key[1] == "x":
            a, b = z * (1 if key[0] == "-" else -1), -y
        elif key[1] == "z":
            a, b = x * (1 if key[0] == "+" else -1), -y
        else:
            a, b = x, z
        return np.stack([a / tile, b / tile], -1)
    return uv


def heightfield(name, x0, x1, z0, z1, hfn, step, material, tiles=(1, 1), tile=256.0, ao=None):
    """y = hfn(x, z) over a rectangle, split into tiles x tiles patches (culling units)."""
    out = []
    tx, tz = tiles
    for i in range(tx):
        for k in range(tz):
            ax = x0 + (x1 - x0) * i / tx
            bx = x0 + (x1 - x0) * (i + 1) / tx
            az = z0 + (z1 - z0) * k / tz
            bz = z0 + (z1 - z0) * (k + 1) / tz

            def fn(u, v, ax=ax, bx=bx, az=az, bz=bz):
                x = ax + u * (bx - ax)
                z = az + v * (bz - az)
                return np.stack([x, hfn(x, z), z], -1)

            aofn = None
            if ao is not None:
                def aofn(u, v, ax=ax, bx=bx, az=az, bz=bz):
                    return ao(ax + u * (bx - ax), az + v * (bz - az))
            p = Patch(f"{name}_{i}_{k}", fn, steps(bx - ax, step), steps(bz - az, step),
                      material, outward=(0, 1, 0), tile=(tile, tile), ao=aofn)
            p.group = None
            out.append(p)
    return out


def cliff_x(name, xbase, disp, ybot, ytop, z0, z1, facing, step, material, chunks=1,
            tile=256.0):
    """A cliff face roughly in the plane x = xbase, facing +x (facing = 1) or -x (-1):
    x = xbase + disp(y, z), y from ybot(z) to ytop(z)."""
    out = []
    for c in range(chunks):
        a = z0 + (z1 - z0) * c / chunks
        b = z0 + (z1 - z0) * (c + 1) / chunks

        def fn(u, v, a=a, b=b):
            z = a + u * (b - a)
            yb = ybot(z)
            y = yb + v * (ytop(z) - yb)
            return np.stack([xbase + disp(y, z), y, z], -1)

        zz = np.linspace(a, b, 9)
        height = float(np.max(ytop(zz) - ybot(zz)))
        p = Patch(f"{name}_{c}", fn, steps(b - a, step), steps(height, step), material,
                  outward=(facing, 0, 0), tile=(tile, tile), ao=_cliff_ao(disp, ybot, ytop, a, b))
        p.group = None
        out.append(p)
    return out


def cliff_z(name, zbase, disp, ybot, ytop, x0, x1, facing, step, material, chunks=1,
            tile=256.0):
    """A cliff face roughly in the plane z = zbase facing +z or -z: z = zbase + disp(y, x)."""
    out = []
    for c in range(chunks):
        a = x0 + (x1 - x0) * c / chunks
        b = x0 + (x1 - x0) * (c + 1) / chunks

        def fn(u, v, a=a, b=b):
            x = a + u * (b - a)
            yb = ybot(x)
            y = yb + v * (ytop(x) - yb)
            return np.stack([x, y, zbase + disp(y, x)], -1)

        xx = np.linspace(a, b, 9)
        height = float(np.max(ytop(xx) - ybot(xx)))

        def aofn(u, v, a=a, b=b):
            x = a + u * (b - a)
            yb = ybot(x)
            y = yb + v * (ytop(x) - yb)
            d = disp(y, x) * facing
            return np.clip(0.72 + d / 90.0, 0.45, 1.1)

        p = Patch(f"{name}_{c}", fn, steps(b - a, step), steps(height, step), material,
                  outward=(0, 0, facing), tile=(tile, tile), ao=aofn)
        p.group = None
        out.append(p)
    return out


def _cliff_ao(disp, ybot, ytop, a, b):
    def ao(u, v):
        z = a + u * (b - a)
        yb = ybot(z)
        y = yb + v * (ytop(z) - yb)
        d = disp(y, z)
        return np.clip(0.75 + np.abs(d) / 120.0, 0.5, 1.1)
    return ao


def spire(name, cx, cz, r0, r1, y0, y1, seed, step, material, xmin=None, tile=192.0):
    """A tapering rock pillar from y0 to y1 around (cx, cz); optionally clipped at x >= xmin."""
    def fn(u, v):
        ang = u * 2 * math.pi
        y = y0 + v * (y1 - y0)
        r = r0 + (r1 - r0) * v
        cu = np.cos(ang)
        su = np.sin(ang)
        n = ridged(cu * 1.3 + cx * 0.01, y / 60.0 + su * 1.3, seed, 4)
        rr = r * (0.75 + 0.5 * n) * np.where(v > 0.97, (1 - v) / 0.03 * 0.7 + 0.3, 1.0)
        x = cx + rr * cu
        if xmin is not None:
            x = np.maximum(x, xmin)
        return np.stack([x, y, cz + rr * su], -1)

    circ = 2 * math.pi * max(r0, r1)
    p = Patch(name, fn, steps(circ, step), steps(y1 - y0, step), material,
              outward=1, tile=(tile, tile))
    # the outside of a pillar whose angle runs counter-clockwise in (x, z) is -du x dv
    u = np.array(0.5)
    v = np.array(0.5)
    n = p.normals(u, v)
    P = p.sample(u, v)
    if np.dot(n[[0, 2]], P[[0, 2]] - np.array([cx, cz])) < 0:
        p.outward = -1
    p.group = None
    return p


# ---------------------------------------------------------------- lighting

LAVA_Y = -420.0
CHASM_X = (-275.0, 0.0)
MOON = np.array([0.55, 0.65, -0.05]) / np.linalg.norm([0.55, 0.65, -0.05])
FIRES = [
    # position, colour, radius, strength: the two torch braziers, the fire glowing out of the
    # open gate, the furnace light inside the gate passage
    ((-339.75, 246.7, -415.5), (1.0, 0.58, 0.24), 170.0, 2.8),
    ((-340.75, 246.7, 93.75), (1.0, 0.58, 0.24), 170.0, 2.8),
    ((-330.0, 170.0, -155.0), (1.0, 0.50, 0.17), 200.0, 1.6),
    ((-540.0, 170.0, -150.0), (1.0, 0.50, 0.16), 150.0, 3.4),
]


def night_light(P, N):
    """Light factors (1.0 = colour map unchanged) at points P with unit normals N."""
    ny = N[..., 1]
    light = np.zeros(P.shape[:-1] + (3,))
    light += np.array([0.12, 0.13, 0.20]) * (0.6 + 0.4 * ny)[..., None]
    moon = np.clip(N @ MOON, 0, 1)
    # the chasm's depths lie in the shadow of its rims
    x = P[..., 0]
    y = P[..., 1]
    inside = (x > CHASM_X[0] - 10) & (x < CHASM_X[1] + 10)
    moon = moon * np.where(inside, smoothstep(-260.0, 10.0, y), 1.0)
    light += np.array([0.36, 0.42, 0.62]) * moon[..., None]
    for pos, col, radius, strength in FIRES:
        d = np.asarray(pos) - P
        dist = np.linalg.norm(d, axis=-1)
        lam = np.clip((d * N).sum(-1) / np.maximum(dist, 1e-6), 0, 1) * 0.85 + 0.15
        att = strength / (1.0 + (dist / radius) ** 2) ** 2
        light += np.asarray(col) * (lam * att)[..., None]
    # the lava: a broad red glow from below that fills the chasm and fades with height and
    # with the distance from its rims
    out = np.maximum(CHASM_X[0] - x, 0) + np.maximum(x - CHASM_X[1], 0)
    height = np.maximum(y - LAVA_Y, 0)
    fall = np.exp(-height / 210.0) * np.exp(-out / 60.0)
    centre = (CHASM_X[0] + CHASM_X[1]) / 2
    towards = np.sign(centre - x) * N[..., 0]
    facing = np.clip(0.45 - 0.55 * ny + 0.35 * towards, 0.05, 1.4)
    light += np.array([1.0, 0.30, 0.07]) * (2.8 * fall * facing)[..., None]
    # the tunnel at the end of the road swallows the light
    tunnel = smoothstep(872.0, 915.0, x) * (np.abs(P[..., 2] + 153.5) < 90) * (y < 230)
    light = light * (1 - 0.93 * tunnel)[..., None]
    # walls darken towards the ground they stand on
    contact = 1 - 0.45 * (1 - np.abs(ny)) * smoothstep(110.0, 30.0, y) * (y > 0)
    return light * contact[..., None]


def lava_light(P, N):
    """The lava floor glows by itself: bright, with hotter and cooler streaks."""
    x = P[..., 0]
    z = P[..., 2]
    n = fbm(x / 90.0, z / 90.0, 77, 4)
    k = 2.9 + 0.9 * n
    return np.stack([k, k * 0.92, k * 0.85], -1)


def to_bytes(light):
    return np.clip(light * 64.0 + 0.5, 0, 255).astype(np.uint8)


__all__ = ["box", "heightfield", "cliff_x", "cliff_z", "spire", "night_light", "lava_light",
           "to_bytes", "fbm", "ridged", "smoothstep", "steps", "LAVA_Y", "CHASM_X"]
