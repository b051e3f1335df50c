#!/usr/bin/python3
"""Builds the level models (glTF) and their light maps.

Every model is authored in world units: its bounding box centre is the position of its map
entity and its box height the entity height, so the scene's FitHeight scales it by 1 and
centring puts it back where it was built. Layout (x is the march direction):

  fortress face x = -422 (gate passage to x = -575) | forecourt | chasm x -275..0 with the
  bridge | far plateau to x = 925; canyon walls at z ~ -1480 and z ~ +1160; mountains behind.

usage: level.py OUT_GLTF_DIR TEXTURE_DIR
"""
import math
import os
import sys

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from geometry import (Patch, build_model, material, merge_groups, mesh_bounds, quad_mesh,  # noqa
                      write_glb, MeshData)
from shapes import (_planar_uv, box, cliff_x, cliff_z, heightfield, spire, night_light, lava_light,  # noqa
                    to_bytes, fbm, ridged, smoothstep, steps, LAVA_Y)

# ------------------------------------------------------------------ entity table (world units)
ENTITIES = {
    "Road": ((76.129, 21.595, -99.057), 24.3),
    "center": ((-496.181, 258.323, -162.416), 1462.9),
    "Rocks": ((302.392, 107.885, -681.547), 1432.2),
    "Bottom": ((-250.655, -135.136, -156.378), 620.602),
    "Wall_Left": ((-398.992, 188.277, -1743.38), 1237.0),
    "Wall_Right": ((-420.252, 186.739, 1420.41), 1237.0),
    "rock_back": ((-615.634, 98.688, -261.84), 2778.8),
}
GATE_HEIGHT = 296.8
GATE_LEFT = (-422.619, 182.0, -191.36)
GATE_RIGHT = (-422.54, 182.0, -123.961)
GATE_HALF_DEPTH = 33.7      # the leaves meet at z = -157.66; hinges at -225.06 and -90.26
GATE_HALF_THICK = 6.0
FIRE_HEIGHT = 55.7

ROAD_TOP = 21.595 + 24.3 / 2     # 33.745
ROAD_BOTTOM = 21.595 - 24.3 / 2  # 9.445
ROAD_Z = (-223.5, -83.5)         # centred on the march route, z = -153.5
CHASM = (-275.0, 0.0)
FACE_X = -422.0                  # the fortress front
PASSAGE_X = -575.0               # the back of the gate passage
OPENING_Z = (-234.0, -66.0)
OPENING_Y = (26.0, 351.0)


def span(name):
    (cx, cy, cz), h = ENTITIES[name]
    return cx, cy - h / 2, cy + h / 2, cz


def ground_h(x, z, seed, base=25.0):
    """Gently rolling plateau ground, kept a few units under the road top."""
    return base + 2.2 * fbm(x / 70.0, z / 70.0, seed, 4) - 1.5 * ridged(x / 160.0, z / 160.0,
                                                                         seed + 5, 3)


def ground_ao(seed):
    def ao(x, z):
        n = fbm(x / 40.0, z / 40.0, seed + 9, 3)
        return np.clip(0.9 + 0.25 * n, 0.6, 1.1)
    return ao


def remap_y(meshes, lo_keep, hi_keep, target_lo, target_hi):
    """Stretches only the parts below lo_keep and above hi_keep so that the box spans exactly
    [target_lo, target_hi]; the ground levels in between stay where they were built."""
    lo, hi = mesh_bounds(meshes)
    for m in meshes:
        y = m.pos[:, 1].astype(np.float64)
        if hi[1] > hi_keep:
            top = y > hi_keep
            y[top] = hi_keep + (y[top] - hi_keep) * (target_hi - hi_keep) / (hi[1] - hi_keep)
        if lo[1] < lo_keep:
            bot = y < lo_keep
            y[bot] = lo_keep - (lo_keep - y[bot]) * (lo_keep - target_lo) / (lo_keep - lo[1])
        m.pos[:, 1] = y.astype(np.float32)
    lo, hi = mesh_bounds(meshes)
    # float32 rounding: pin the extreme vertices to the exact targets
    for m in meshes:
        m.pos[m.pos[:, 1] == hi[1], 1] = np.float32(target_hi)
        m.pos[m.pos[:, 1] == lo[1], 1] = np.float32(target_lo)


def centre_xz(meshes, cx, cz):
    lo, hi = mesh_bounds(meshes)
    d = np.array([cx - (lo[0] + hi[0]) / 2, 0.0, cz - (lo[2] + hi[2]) / 2], np.float32)
    for m in meshes:
        m.pos += d
    return d


# ------------------------------------------------------------------ models

def road_patches(top_mat, side_mat):
    x0 = -780.0
    x1 = 932.258
    apron_z = (-350.0, 151.886)
    ps = []
    # inside the fortress and through the gate passage: as wide as the passage
    for a, b in ((x0, -640.0), (-640.0, FACE_X)):
        ps += box("road_inner", a, b, ROAD_BOTTOM, ROAD_TOP, OPENING_Z[0], OPENING_Z[1],
                  top_mat, faces="+y", step=60.0, tile=80.0)
    ps += box("road_inner_side", x0, -575.0, ROAD_BOTTOM, ROAD_TOP, OPENING_Z[0], OPENING_Z[1],
              side_mat, faces="+z-z-x", step=200.0, tile=96.0)
    # the forecourt between the fortress and the chasm
    ps += box("forecourt", FACE_X, CHASM[0], ROAD_BOTTOM, ROAD_TOP, apron_z[0], apron_z[1],
              top_mat, faces="+y", step=50.0, tile=80.0)
    ps += box("forecourt_side", FACE_X, CHASM[0], ROAD_BOTTOM, ROAD_TOP, apron_z[0], apron_z[1],
              side_mat, faces="+z-z", step=100.0, tile=96.0, group="forecourt_side")
    ps += box("forecourt_lip_a", CHASM[0] - 1, CHASM[0], ROAD_BOTTOM, ROAD_TOP, apron_z[0],
              ROAD_Z[0], side_mat, faces="+x", step=100.0, tile=96.0, group="forecourt_side")
    ps += box("forecourt_lip_b", CHASM[0] - 1, CHASM[0], ROAD_BOTTOM, ROAD_TOP, ROAD_Z[1],
              apron_z[1], side_mat, faces="+x", step=100.0, tile=96.0, group="forecourt_side")
    # the bridge deck and the road over the far plateau, cut into culling pieces
    cuts = [CHASM[0], -137.5, CHASM[1], 160.0, 330.0, 500.0, 670.0, 800.0, x1]
    for k in range(len(cuts) - 1):
        ps += box(f"road_{k}", cuts[k], cuts[k + 1], ROAD_BOTTOM, ROAD_TOP, ROAD_Z[0], ROAD_Z[1],
                  top_mat, faces="+y", step=45.0, tile=80.0)
        ps += box(f"road_side_{k}", cuts[k], cuts[k + 1], ROAD_BOTTOM, ROAD_TOP, ROAD_Z[0],
                  ROAD_Z[1], side_mat, faces="+z-z" + ("+x" if k == len(cuts) - 2 else ""),
                  step=200.0, tile=96.0, group=f"road_side_{k}")
    return ps


def ground_strip(name, xa, xb, z0, z1, hfn, step, material, ao, tiles=8):
    """Height field between two edges that vary with z (x from xa(z) to xb(z))."""
    out = []
    for k in range(tiles):
        az = z0 + (z1 - z0) * k / tiles
        bz = z0 + (z1 - z0) * (k + 1) / tiles

        def fn(u, v, az=az, bz=bz):
            z = az + v * (bz - az)
            x = xa(z) + u * (xb(z) - xa(z))
            return np.stack([x, hfn(x, z), z], -1)

        def aofn(u, v, az=az, bz=bz):
            z = az + v * (bz - az)
            return ao(xa(z) + u * (xb(z) - xa(z)), z)
        width = float(np.max(xb(np.linspace(az, bz, 9)) - xa(np.linspace(az, bz, 9))))
        p = Patch(f"{name}_{k}", fn, steps(width, step), steps(bz - az, step), material,
                  outward=(0, 1, 0), tile=(192.0, 192.0), ao=aofn)
        p.group = None
        out.append(p)
    return out


def bottom_patches(ground_mat, rock_mat, lava_mat, stone_mat):
    x_min, x_max = -520.0, 18.69
    z0, z1 = -1480.0, 1167.244
    y_lo, y_hi = -445.437, 175.165
    ps = []
    near_h = lambda x, z: ground_h(x, z, 11) - 1.0  # noqa: E731
    far_h = lambda x, z: ground_h(x, z, 12) + 1.0 - 3.0 * smoothstep(6.0, 18.69, x)  # noqa
    # the rims wander, except where the forecourt and the bridge abut them
    keep = lambda z: smoothstep(170.0, 300.0, z) + smoothstep(-370.0, -500.0, z)  # noqa: E731
    rim_near = lambda z: CHASM[0] + keep(z) * 22.0 * fbm(z / 110.0, 3.3, 17, 3)  # noqa: E731
    rim_far = lambda z: -keep(z) * (9.0 + 9.0 * fbm(z / 95.0, 7.7, 18, 3))  # noqa: E731
    ps += ground_strip("near_ground", lambda z: x_min + 0 * z, rim_near, z0, z1, near_h, 28.0,
                       ground_mat, ground_ao(11))
    ps += ground_strip("far_rim", rim_far, lambda z: x_max + 0 * z, z0, z1, far_h, 9.0,
                       ground_mat, ground_ao(12))

    def wall_disp(sign, seed, rim):
        def d(y, z):
            t = smoothstep(0.0, 1.0, (ROAD_TOP - 8 - y) / 60.0)      # no offset at the rim
            talus = 16.0 * smoothstep(-330.0, y_lo, y)               # a slope at the foot
            n = 48.0 * (ridged(z / 130.0, y / 95.0, seed, 4) - 0.45) + 14.0 * fbm(
                z / 40.0, y / 30.0, seed + 3, 3) + 5.0 * fbm(z / 13.0, y / 11.0, seed + 5, 2)
            strata = 8.0 * np.sin(y / 17.0 + 2.0 * fbm(z / 200.0, y / 200.0, seed + 7, 2))
            return rim(z) - CHASM[0 if sign > 0 else 1] + sign * (t * (n + strata) + talus)
        return d

    ps += cliff_x("near_wall", CHASM[0], wall_disp(1, 21, rim_near), lambda z: y_lo + 0 * z,
                  lambda z: near_h(rim_near(z), z), z0, z1, 1, 15.0, rock_mat, chunks=12)
    far_disp = wall_disp(-1, 31, rim_far)
    # hollows behind the far wall's face stay inside the box (they are under the far ground)
    def far_wall_disp(y, z):
        # bulges into the chasm are squashed: a camera shot glides close along this wall
        d = np.minimum(far_disp(y, z), x_max - 1.0)
        return np.where(d < -12.0, -12.0 + (d + 12.0) * 0.25, d)

    ps += cliff_x("far_wall", CHASM[1], far_wall_disp,
                  lambda z: y_lo + 0 * z, lambda z: far_h(rim_far(z), z), z0, z1, -1, 15.0,
                  rock_mat, chunks=12)
    lava_h = lambda x, z: LAVA_Y + 4.0 * fbm(x / 60.0, z / 60.0, 41, 3)  # noqa: E731
    lava = heightfield("lava", CHASM[0] - 30, x_max, z0, z1, lava_h, 40.0, lava_mat,
                       tiles=(1, 6), tile=220.0)
    for p in lava:
        p.light = lava_light
    ps += lava

    # stone bridge: two arches from the chasm walls onto a pier in the lava, low parapets and
    # a post at each corner of the crossing
    bz0, bz1 = ROAD_Z[0] - 4.5, ROAD_Z[1] + 4.5
    pier = (-162.5, -112.5)
    spans = [(CHASM[0] - 18, pier[0]), (pier[1], CHASM[1] + 18)]

    def intrados(x):
        y = np.full(np.shape(x), -5.0)
        for a, b in spans:
            m = (a + b) / 2
            h = (b - a) / 2
            inside = (x >= a) & (x <= b)
            t = np.clip((x - m) / h, -1, 1)
            y = np.where(inside, -10.0 - 100.0 * t * t, y)
        return y

    PARAPET_TOP = 46.0
    for side, z in (("s", bz0), ("n", bz1)):
        def face(u, v, z=z):
            x = (CHASM[0] - 18) + u * (CHASM[1] + 18 - (CHASM[0] - 18))
            yb = intrados(x)
            y = yb + v * (PARAPET_TOP - yb)
            return np.stack([x, y, np.full(np.shape(x), z)], -1)
        ps.append(Patch(f"bridge_side_{side}", face, 40, 6, stone_mat,
                        outward=(0, 0, -1 if side == "s" else 1), tile=(96.0, 96.0),
                        uv0=_planar_uv("-z" if side == "s" else "+z", 96.0)))
    for k, (a, b) in enumerate(spans):
        def under(u, v, a=a, b=b):
            x = a + u * (b - a)
            z = bz0 + v * (bz1 - bz0)
            return np.stack([x, intrados(x), z], -1)
        ps.append(Patch(f"arch_{k}", under, 24, 4, stone_mat, outward=(0, -1, 0),
                        tile=(96.0, 96.0)))  # arc length along the curve: courses follow it
    # the pier, a little wider at its foot
    def pier_face(kind):
        def fn(u, v):
            y = y_lo + v * (-10.0 - y_lo)
            flare = 14.0 * (1 - v) ** 2
            if kind in "xX":
                x = (pier[0] - flare) if kind == "x" else (pier[1] + flare)
                z = (bz0 - flare) + u * (bz1 - bz0 + 2 * flare)
            else:
                z = (bz0 - flare) if kind == "z" else (bz1 + flare)
                x = (pier[0] - flare) + u * (pier[1] - pier[0] + 2 * flare)
            return np.stack([x + 0 * u, y + 0 * u, z + 0 * u], -1)
        return fn
    for kind, out_dir in (("x", (-1, 0, 0)), ("X", (1, 0, 0)), ("z", (0, 0, -1)),
                          ("Z", (0, 0, 1))):
        ps.append(Patch(f"pier_{kind}", pier_face(kind), 4, 8, stone_mat, outward=out_dir,
                        tile=(96.0, 96.0), uv0=_planar_uv(
                            {"x": "-x", "X": "+x", "z": "-z", "Z": "+z"}[kind], 96.0)))
    for side, (za, zb) in (("s", (bz0, ROAD_Z[0])), ("n", (ROAD_Z[1], bz1))):
        ps += box(f"parapet_{side}", CHASM[0] - 18, CHASM[1] + 18, ROAD_TOP, PARAPET_TOP, za, zb,
                  stone_mat, faces="+y" + ("+z" if side == "s" else "-z"), step=60.0, tile=96.0,
                  group="parapets")
    for px in (CHASM[0] + 8, CHASM[1] - 8):
        for pz in (bz0 - 8, bz1 + 8):
            ps += box("post", px - 9, px + 9, 20.0, 37.0 + ROAD_TOP - 33.745 + 0.0, pz - 9, pz + 9,
                      stone_mat, faces="+x-x+z-z+y", step=200.0, tile=96.0, group="posts")
    # two rock needles on the near rim, up and down the chasm where no shot flies
    ps.append(spire("needle_s", -300.0, -760.0, 26.0, 8.0, 0.0, y_hi, 91, 14.0, rock_mat))
    ps.append(spire("needle_n", -305.0, 820.0, 30.0, 9.0, 0.0, y_hi - 40.0, 92, 14.0, rock_mat))
    return ps


def tunnel_patches(rock_mat, x0, x1):
    """A rock mass over the end of the road with a tunnel mouth facing the fortress: the army
    marches into the dark instead of off the edge of the world."""
    zc = -153.5
    base = 28.0

    def inner(u):
        t = math.pi * (1 - u)
        return zc + 82.0 * np.cos(t), base + 195.0 * np.sin(t) ** 0.6

    def outer(u, x):
        t = math.pi * (1 - u)
        bump = 1 + 0.18 * fbm(u * 6.0, x / 60.0, 97, 4) + 0.12 * ridged(u * 11.0, x / 40.0, 98, 3)
        return zc + 205.0 * np.cos(t) * bump, base - 4 + 270.0 * np.sin(t) ** 0.8 * bump

    def front(u, v):
        zi, yi = inner(u)
        zo, yo = outer(u, np.full(np.shape(u), x0))
        z = zi + v * (zo - zi)
        y = yi + v * (yo - yi)
        x = x0 - 14.0 * np.sin(math.pi * v) * (0.6 + 0.8 * ridged(u * 9.0, v * 4.0, 99, 3))
        return np.stack([x, y, z], -1)

    def bore(u, w):
        zi, yi = inner(u)
        x = x0 + w * (x1 - x0)
        return np.stack([x + 0 * u, yi + 0 * w, zi + 0 * w], -1)

    def shell(u, w):
        x = x0 + w * (x1 - x0)
        zo, yo = outer(u, x)
        return np.stack([x + 0 * u, yo, zo], -1)

    dark = lambda u, v: np.clip(0.25 + 0.0 * u + 0.0 * v, 0, 1)  # noqa: E731
    ps = [Patch("tunnel_mouth", front, 40, 8, rock_mat, outward=(-1, 0, 0), tile=(200.0, 200.0)),
          Patch("tunnel_bore", bore, 20, 4, rock_mat, outward=(0, -1, 0), tile=(200.0, 200.0),
                ao=lambda u, w: np.clip(0.5 - 0.45 * w, 0.05, 1) + 0 * u),
          Patch("tunnel_shell", shell, 40, 6, rock_mat, outward=(0, 1, 0), tile=(200.0, 200.0))]
    del dark

    def cap(u, v):
        # the dark far end of the bore, just short of the road's end
        zi, yi = inner(u)
        return np.stack([np.full(np.shape(u), x1 - 0.5), base - 3 + v * (yi - base + 3),
                         zi + 0 * v], -1)
    end = Patch("tunnel_end", cap, 20, 2, rock_mat, outward=(-1, 0, 0), tile=(200.0, 200.0))
    end.light = lambda P, N: np.full(P.shape[:-1] + (3,), 0.03)
    ps.append(end)
    for p in ps:
        p.group = None
    return ps


def rocks_patches(ground_mat, rock_mat):
    x0, x1 = 0.0, 924.784
    z0, z1 = -1486.76, 123.67
    y_lo = -608.215

    def h(x, z):
        dz = -153.5 - z                      # towards -z from the route
        base = ground_h(x, z, 51)
        # the camera shots fly anywhere over z -460..650 above y = 38, and above y = 300 over
        # z -600..-460: low ground there, crags beyond, the high rock masses past z = -600
        crags = 250.0 * smoothstep(310.0, 420.0, dz) * (0.35 + ridged(x / 140.0, z / 140.0, 52, 4))
        crags = np.minimum(crags, 255.0 + 3000.0 * smoothstep(-601.0, -650.0, z))
        peaks = 620.0 * smoothstep(470.0, 1150.0, dz) * (0.45 + ridged(x / 260.0, z / 260.0,
                                                                          53, 5))
        stones = 7.0 * smoothstep(90.0, 150.0, np.abs(dz)) * ridged(x / 45.0, z / 45.0, 55, 3)
        return base + crags + peaks + stones

    ps = tunnel_patches(rock_mat, 872.0, x1)
    ps += heightfield("plateau", x0, x1, z0, z1, h, 14.0, rock_mat, tiles=(3, 7), tile=240.0,
                     ao=lambda x, z: np.clip(0.85 + 0.3 * fbm(x / 50.0, z / 50.0, 57, 3), .5, 1.1))
    # rock pillars rising out of the lava up the chasm (beyond z = -600, clear of the shots),
    # one leaning on the near wall
    ps.append(spire("spire_a", -245.0, -900.0, 85.0, 55.0, y_lo, -40.0, 61, 20.0, rock_mat,
                    xmin=-320.0))
    ps.append(spire("spire_b", -130.0, -700.0, 44.0, 16.0, y_lo, 150.0, 62, 16.0, rock_mat))
    ps.append(spire("spire_c", -150.0, -1250.0, 70.0, 30.0, y_lo, 70.0, 63, 18.0, rock_mat))
    ps.append(spire("spire_d", -80.0, -1020.0, 40.0, 14.0, y_lo, 95.0, 64, 16.0, rock_mat))
    return ps


def wall_patches(name, face_z, facing, x0, x1, back_z, rock_mat, seed):
    """A canyon wall: a high cliff face whose foot stands in the chasm and whose top recedes
    into rising rock."""
    def top(x):
        return 470.0 + 160.0 * fbm(x / 300.0, seed * 0.37, seed, 4)

    def disp(y, x):
        n = 75.0 * ridged(x / 170.0, y / 150.0, seed + 1, 5) + 22.0 * fbm(x / 45.0, y / 35.0,
                                                                           seed + 2, 3)
        strata = 10.0 * np.sin(y / 21.0 + 2.5 * fbm(x / 240.0, y / 240.0, seed + 3, 2))
        return -facing * (n + strata)

    ps = cliff_z(f"{name}_face", face_z, disp, lambda x: -432.0 + 0 * x, top, x0, x1, facing,
                 18.0, rock_mat, chunks=8)

    def hf(u, v):
        x = x0 + u * (x1 - x0)
        t = top(x)
        zf = face_z + disp(t, x)
        z = zf + v * (back_z - zf)
        rise = 300.0 * smoothstep(0.0, 1.0, v) * (0.5 + ridged(x / 200.0, v * 3.0, seed + 4, 4))
        return np.stack([x, t + rise, z], -1)

    for c in range(4):
        a, b = c / 4.0, (c + 1) / 4.0
        fn = (lambda u, v, a=a, b=b: hf(a + u * (b - a), v))
        ps.append(Patch(f"{name}_top_{c}", fn, 26, 14, rock_mat, outward=(0, 1, 0),
                        tile=(256.0, 256.0)))
    return ps


def back_patches(rock_mat, ground_mat):
    x0, x1 = -2000.0, 768.732
    z0, z1 = -2261.84, 1738.16
    y_lo = -1290.712

    def massif(x, z):
        behind = smoothstep(-820.0, -1500.0, x)
        sides = smoothstep(560.0, 1250.0, np.abs(z + 162.0)) * smoothstep(-470.0, -760.0, x)
        m = np.maximum(behind, sides)
        return (ground_h(x, z, 71) - 2.0 + m * (350.0 + 900.0 * ridged(x / 420.0, z / 420.0, 72, 5))
                - 30.0 * (1 - m) * 0)

    ps = heightfield("massif", x0, -470.0, z0, z1, massif, 40.0, rock_mat, tiles=(4, 6),
                     tile=300.0,
                     ao=lambda x, z: np.clip(0.85 + 0.3 * fbm(x / 90.0, z / 90.0, 73, 3), .5, 1.1))

    def far(x, z):
        # low up to z = 650 (the shots' open space), then rising into the canyon side
        rise = smoothstep(660.0, 1120.0, z) * (300.0 + 500.0 * ridged(x / 260.0, z / 260.0, 74, 5))
        end = smoothstep(520.0, 768.0, x) * smoothstep(660.0, 800.0, z) * (
            200.0 + 200.0 * ridged(x / 150.0, z / 150.0, 75, 4))
        return ground_h(x, z, 76) - 1.0 + smoothstep(0.0, 160.0, x) * (rise + end)

    ps += heightfield("far_side", 0.0, x1, 100.0, z1, far, 30.0, rock_mat, tiles=(2, 4),
                      tile=260.0,
                      ao=lambda x, z: np.clip(0.85 + 0.3 * fbm(x / 70.0, z / 70.0, 77, 3), .5, 1.1))

    # the far back edge drops out of sight to the bottom of the box
    def skirt(u, v):
        z = z0 + u * (z1 - z0)
        top = massif(np.full(np.shape(z), x0), z)
        y = y_lo + v * (top - y_lo)
        return np.stack([np.full(np.shape(z), x0), y, z], -1)
    ps.append(Patch("massif_back", skirt, 30, 2, rock_mat, outward=(-1, 0, 0),
                    tile=(300.0, 300.0), lightmap=False))
    return ps


def center_patches(mas, dark):
    x_front, x_back_box = -330.0, -662.362
    y_lo, y_hi = -473.127, 989.773
    z0, z1 = -700.0, 375.168
    WALL_TOP = 470.0
    ps = []
    g = "wall"
    # curtain wall front (x = -422) and back (x = -575) with the gate opening
    for xf, face in ((FACE_X, "+x"), (PASSAGE_X, "-x")):
        ps += box("front_l" + face, PASSAGE_X, FACE_X, y_lo, WALL_TOP, z0, OPENING_Z[0], mas,
                  faces=face, step=90.0, tile=128.0)
        ps += box("front_r" + face, PASSAGE_X, FACE_X, y_lo, WALL_TOP, OPENING_Z[1], z1, mas,
                  faces=face, step=90.0, tile=128.0)
        ps += box("front_top" + face, PASSAGE_X, FACE_X, OPENING_Y[1], WALL_TOP, OPENING_Z[0],
                  OPENING_Z[1], mas, faces=face, step=90.0, tile=128.0, group="gatehouse")
        ps += box("front_bot" + face, PASSAGE_X, FACE_X, y_lo, OPENING_Y[0], OPENING_Z[0],
                  OPENING_Z[1], mas, faces=face, step=400.0, tile=128.0, group="gatehouse")
    ps += box("wall", PASSAGE_X, FACE_X, y_lo, WALL_TOP, z0, z1, mas, faces="+y-z+z", step=120.0,
              tile=128.0)
    # the gate passage
    ps += box("passage", PASSAGE_X, FACE_X, OPENING_Y[0], OPENING_Y[1], OPENING_Z[0],
              OPENING_Z[1], dark, faces="-z+z", step=40.0, tile=128.0)
    ps += box("passage_roof", PASSAGE_X, FACE_X, OPENING_Y[0], OPENING_Y[1], OPENING_Z[0],
              OPENING_Z[1], dark, faces="-y", step=1000.0, tile=128.0)
    for p in ps[-3:]:
        # the inside faces of the passage look inwards
        p.outward = -p.outward
    # the rebate the leaves close against: jambs and lintel standing out in front of the leaves
    lip0, lip1 = -416.0, -404.0
    ps += box("jamb_l", FACE_X, lip1, OPENING_Y[0] - 8, OPENING_Y[1], OPENING_Z[0] - 14,
              OPENING_Z[0] + 13, mas, faces="+x+z-z+y", step=80.0, tile=128.0, group="gatehouse")
    ps += box("jamb_r", FACE_X, lip1, OPENING_Y[0] - 8, OPENING_Y[1], OPENING_Z[1] - 28,
              OPENING_Z[1] + 14, mas, faces="+x+z-z+y", step=80.0, tile=128.0, group="gatehouse")
    ps += box("lintel", FACE_X, lip1, 322.0, OPENING_Y[1] + 22, OPENING_Z[0] - 14,
              OPENING_Z[1] + 14, mas, faces="+x-y+y+z-z", step=80.0, tile=128.0,
              group="gatehouse")
    # jamb inner faces behind the lip line stay clear of the swinging leaves
    for p in ps[-3:]:
        pass
    # a battered plinth along the foot of the curtain wall
    for za, zb in ((z0, OPENING_Z[0] - 14), (OPENING_Z[1] + 14, z1)):
        def plinth(u, v, za=za, zb=zb):
            z = za + u * (zb - za)
            return np.stack([FACE_X + 18.0 * (1 - v) + 0 * u, 22.0 + v * 90.0 + 0 * u, z], -1)
        p = Patch("plinth", plinth, 8, 2, mas, outward=(1, 0.2, 0), tile=(128.0, 128.0))
        p.group = "plinth"
        ps.append(p)
    # relief on the curtain wall: a string course, a corbelled parapet and buttresses between
    # the towers (all behind x = -392)
    spans_z = [(z0 + 106.0, -480.5), (-350.5, OPENING_Z[0] - 40.0), (OPENING_Z[1] + 40.0, 28.75),
               (158.75, z1 - 106.0)]
    for k, (za, zb) in enumerate(spans_z):
        ps += box(f"course{k}", FACE_X, FACE_X + 7.0, 296.0, 308.0, za, zb, dark,
                  faces="+x+y-y", step=300.0, tile=96.0, group="relief")
        ps += box(f"corbels{k}", FACE_X, FACE_X + 10.0, 440.0, WALL_TOP, za, zb, mas,
                  faces="+x-y+z-z", step=300.0, tile=96.0, group="relief")
        ps += box(f"parapet{k}", FACE_X, FACE_X + 10.0, WALL_TOP, WALL_TOP + 6.0, za, zb, dark,
                  faces="+x+y+z-z", step=300.0, tile=96.0, group="relief")
        n = int((zb - za) // 110)
        for i in range(n):
            zc = za + (i + 0.5) * (zb - za) / n
            def buttress(u, v, zc=zc):
                # tapering from 16 units at the foot to 4 under the string course
                z = zc - 11.0 + u * 22.0
                y = 22.0 + v * (296.0 - 22.0)
                return np.stack([FACE_X + 16.0 - 12.0 * v + 0 * u, y + 0 * u, z], -1)
            p = Patch("buttress", buttress, 2, 2, mas, outward=(1, 0.1, 0), tile=(96.0, 96.0))
            p.group = "relief"
            ps.append(p)
            for side, zs in ((-1, zc - 11.0), (1, zc + 11.0)):
                def bside(u, v, zs=zs):
                    y = 22.0 + v * (296.0 - 22.0)
                    x = FACE_X + u * (16.0 - 12.0 * v)
                    return np.stack([x, y + 0 * u, zs + 0 * u], -1)
                p = Patch("buttress_side", bside, 2, 2, mas, outward=(0, 0, side),
                          tile=(96.0, 96.0))
                p.group = "relief"
                ps.append(p)
    # war banners hanging from the corbel table either side of the gate, swallow-tailed
    for zc in (-300.0, 0.0):
        def banner(u, v, zc=zc):
            z = zc + 28.0 - u * 56.0
            bottom = 150.0 + 45.0 * (1 - np.abs(2 * u - 1))
            y = 438.0 - v * (438.0 - bottom)
            sway = 1.5 * np.sin(u * math.pi * 3)          # the cloth hangs in soft folds
            return np.stack([FACE_X + 10.5 + sway * v, y, z], -1)

        def banner_uv(u, v, P):
            return np.stack([u, (438.0 - P[..., 1]) / (438.0 - 150.0)], -1)
        p = Patch("banner", banner, 9, 4, 3, outward=(1, 0, 0), uv0=banner_uv)
        p.group = "banners"
        ps.append(p)
    # gatehouse above the gate
    ps += box("gatehouse", FACE_X, -398.0, OPENING_Y[1] + 22, 560.0, -272.0, -28.0, mas,
              faces="+x+y+z-z-y", step=90.0, tile=128.0, group="gatehouse")
    for k in range(8):
        zc = -272.0 + 15.0 + k * (244.0 - 30.0) / 7.0
        ps += box("gh_merlon", -414.0, -398.0, 560.0, 592.0, zc - 9, zc + 9, mas,
                  faces="+x-x+y+z-z", step=200.0, tile=64.0, group="merlons_gh")
    # merlons along the curtain wall
    zc = z0 + 12.0
    while zc < z1 - 12.0:
        if not (-290.0 < zc < -10.0):
            ps += box("merlon", FACE_X - 12, FACE_X, WALL_TOP, WALL_TOP + 30, zc - 9, zc + 9, mas,
                      faces="+x-x+y+z-z", step=200.0, tile=64.0,
                      group="merlons_a" if zc < -150 else "merlons_b")
        zc += 30.0
    # flanking towers with the torch brackets, corner towers at the wall ends
    # (nothing but the torch arms stands in front of x = -392: the shots pass there)
    towers = [(-415.5, 65.0, -398.0, 640.0), (93.75, 65.0, -398.0, 640.0),
              (z0 + 56.0, 50.0, -398.0, 560.0), (z1 - 56.0, 50.0, -398.0, 560.0)]
    for k, (tz, hw, tx, top) in enumerate(towers):
        gname = f"tower_{k}"
        ps += box(f"tower{k}", -600.0, tx, y_lo, top, tz - hw, tz + hw, mas,
                  faces="+x+y+z-z-x", step=110.0, tile=128.0, group=gname)
        ps += box(f"tower{k}_band", tx, tx + 6, top - 90.0, top - 78.0, tz - hw - 6, tz + hw + 6,
                  dark, faces="+x+y-y+z-z", step=300.0, tile=64.0, group=gname)
        n = 5 if hw > 55 else 4
        for i in range(n):
            for side in range(4):
                t = (i + 0.5) / n
                if side == 0:
                    bx = (tx - 12, tx, tz - hw + t * 2 * hw - 9, tz - hw + t * 2 * hw + 9)
                elif side == 1:
                    bx = (-600 + 0, -588, tz - hw + t * 2 * hw - 9, tz - hw + t * 2 * hw + 9)
                elif side == 2:
                    xx = -600 + t * (tx + 600)
                    bx = (xx - 9, xx + 9, tz - hw, tz - hw + 12)
                else:
                    xx = -600 + t * (tx + 600)
                    bx = (xx - 9, xx + 9, tz + hw - 12, tz + hw)
                ps += box(f"t{k}_merlon", bx[0], bx[1], top, top + 30, bx[2], bx[3], mas,
                          faces="+x-x+y+z-z", step=200.0, tile=64.0, group=gname + "_m")
    for tz, bowl_x in ((-415.5, -340.0), (93.75, -340.75)):
        ps += box("corbel", -398.0, -380.0, 170.0, 206.0, tz - 12, tz + 12, dark,
                  faces="+x+y-y+z-z", step=200.0, tile=64.0, group="brackets")
        ps += box("arm", -380.0, bowl_x + 2, 198.0, 205.0, tz - 3.5, tz + 3.5, dark,
                  faces="+x+y-y+z-z", step=200.0, tile=64.0, group="brackets")

        def bowl(u, v, bx=bowl_x, tz=tz):
            ang = u * 2 * math.pi
            r = np.where(v < 0.5, 6.0 + 8.0 * v, 10.0 - 0.0 * v)
            y = 204.0 + v * 15.0
            return np.stack([bx + r * np.cos(ang), y, tz + r * np.sin(ang)], -1)
        p = Patch("bowl", bowl, 13, 3, dark, outward=1, tile=(64.0, 64.0))
        n = p.normals(np.array(0.1), np.array(0.7))
        P = p.sample(np.array(0.1), np.array(0.7))
        if np.dot(n[[0, 2]], P[[0, 2]] - np.array([bowl_x, tz])) < 0:
            p.outward = -1
        p.group = "brackets"
        ps.append(p)
    # arrow slits in the tower fronts, lit windows high in the keeps
    for k, (tz, hw, tx, top) in enumerate(towers):
        for y in np.arange(300.0, top - 110.0, 110.0):
            for dz in ((-hw * 0.45, hw * 0.45) if hw > 55 else (0.0,)):
                ps += box("slit", tx, tx + 1.5, y, y + 34.0, tz + dz - 3.5, tz + dz + 3.5, dark,
                          faces="+x", step=400.0, tile=64.0, group="slits")
    win = []
    for za, zb, y0w, y1w in ((-420.0, -250.0, 560.0, 820.0), (20.0, 170.0, 540.0, 700.0)):
        for y in np.arange(y0w, y1w, 95.0):
            for zc in np.linspace(za + 35.0, zb - 35.0, 3):
                win += box("window", -585.0, -583.5, y, y + 42.0, zc - 9.0, zc + 9.0, 2,
                           faces="+x", step=400.0, tile=64.0, group="windows")
    for p in win:
        p.uv0 = lambda u, v, P: np.stack([u, 1 - v], -1)
        p.light = lambda P, N: np.full(P.shape[:-1] + (3,), 3.2)
    ps += win
    # keep and a second tower behind the wall, with pointed roofs
    keeps = [(-420.0, -250.0, 880.0, y_hi), (20.0, 170.0, 760.0, 860.0)]
    for k, (za, zb, top, apex) in enumerate(keeps):
        xa = x_back_box + 10.0
        xb = -585.0
        ps += box(f"keep{k}", xa, xb, 0.0, top, za, zb, mas, faces="+x-x+z-z", step=120.0,
                  tile=128.0, group=f"keep{k}")
        ps += box(f"keep{k}_eave", xa - 10, xb + 10, top - 6, top, za - 10, zb + 10, dark,
                  faces="+x+z-z-y", step=300.0, tile=64.0, group=f"keep{k}")
        cx, cz = (xa + xb) / 2, (za + zb) / 2
        hx, hz = (xb - xa) / 2 + 10, (zb - za) / 2 + 10
        for side in range(4):
            def roof(u, v, side=side, cx=cx, cz=cz, hx=hx, hz=hz, top=top, apex=apex):
                s = 1 - v
                if side == 0:
                    x = cx + hx * s + 0 * u
                    z = cz + (2 * u - 1) * hz * s
                elif side == 1:
                    x = cx - hx * s + 0 * u
                    z = cz + (1 - 2 * u) * hz * s
                elif side == 2:
                    z = cz + hz * s + 0 * u
                    x = cx + (1 - 2 * u) * hx * s
                else:
                    z = cz - hz * s + 0 * u
                    x = cx + (2 * u - 1) * hx * s
                return np.stack([x, top + v * (apex - top), z], -1)
            d = [(1, 0.3, 0), (-1, 0.3, 0), (0, 0.3, 1), (0, 0.3, -1)][side]
            p = Patch(f"roof{k}_{side}", roof, 2, 2, dark, outward=d, tile=(96.0, 96.0))
            p.group = f"keep{k}"
            ps.append(p)
    for p in ps:
        if not hasattr(p, "group"):
            p.group = None
    return ps


def gate_leaf(name, centre, mirror, mat):
    cx, cy, cz = centre
    hx, hy, hz = GATE_HALF_THICK, GATE_HEIGHT / 2, GATE_HALF_DEPTH
    ps = box(name, cx - hx, cx + hx, cy - hy, cy + hy, cz - hz, cz + hz, mat,
             faces="+x-x+y-y+z-z", step=1000.0, tile=64.0)

    # the wood picture spans a whole face: u across the leaf, v from the top down
    def face_uv(u, v, P):
        zt = (P[..., 2] - (cz - hz)) / (2 * hz)
        if mirror:
            zt = 1 - zt
        return np.stack([zt, 1 - (P[..., 1] - (cy - hy)) / (2 * hy)], -1)

    def edge_uv(u, v, P):
        return np.stack([u * 0.06, 1 - (P[..., 1] - (cy - hy)) / (2 * hy)], -1)

    for p in ps:
        p.uv0 = face_uv if p.name[-2:] in ("+x", "-x") else edge_uv
        p.group = None
    return ps


def fire_meshes():
    """Four vertical two-triangle planes crossing on the model's axis: two planes at right angles,
    each once per side, so that from any direction two of them face the viewer."""
    h = FIRE_HEIGHT / 2
    w = 20.0
    meshes = []
    for k, (dx, dz, n) in enumerate([(1, 0, (0, 0, -1)), (-1, 0, (0, 0, 1)),
                                     (0, 1, (1, 0, 0)), (0, -1, (-1, 0, 0))]):
        corners = [(-w * dx, -h, -w * dz), (w * dx, -h, w * dz), (w * dx, h, w * dz),
                   (-w * dx, h, -w * dz)]
        uvs = [(0, 1), (1, 1), (1, 0), (0, 0)]       # the picture's top (v = 0) at the top
        meshes.append(quad_mesh(f"flame{k}", 0, corners, n, uvs))
    return meshes


# ------------------------------------------------------------------ driver

def save_light(img, path):
    Image.fromarray(to_bytes(img)).save(path, quality=90, optimize=True)


def bake(patches, size, tex_dir, light_name):
    meshes, image = build_model(patches, size, night_light)
    if image is not None and light_name:
        save_light(image, os.path.join(tex_dir, light_name))
    return merge_groups(meshes, [getattr(p, "group", None) for p in patches])


def main():
    out_dir, tex_dir = sys.argv[1], sys.argv[2]
    os.makedirs(out_dir, exist_ok=True)
    report = []

    def emit(name, meshes, mats):
        seen = {}
        for m in meshes:
            k = seen.get(m.name, 0)
            seen[m.name] = k + 1
            if k:
                m.name = f"{m.name}_{k}"
        write_glb(os.path.join(out_dir, name + ".glb"), meshes, mats)
        lo, hi = mesh_bounds(meshes)
        tris = sum(len(m.tris) for m in meshes)
        report.append((name, lo, hi, tris, len(meshes)))

    # Road and its bump twin
    mats = [material("cobbles", "Level_Cobble.jpg", "Level_RoadLight.jpg"),
            material("kerb", "Level_Masonry.jpg", "Level_RoadLight.jpg")]
    road = bake(road_patches(0, 1), 1024, tex_dir, "Level_RoadLight.jpg")
    emit("Road", road, mats)
    emit("Road_Bump", road, [material("cobbles", "Level_CobbleGloss.tga",
                                      "Level_CobbleGlossDOT3.jpg"),
                             material("kerb", "Level_MasonryGloss.tga",
                                      "Level_MasonryGlossDOT3.jpg")])

    mats = [material("ground", "Level_Ground.jpg", "Level_BottomLight.jpg"),
            material("rock", "Level_Rock.jpg", "Level_BottomLight.jpg"),
            material("lava", "Level_Lava.jpg", "Level_BottomLight.jpg"),
            material("stone", "Level_Masonry.jpg", "Level_BottomLight.jpg")]
    emit("Bottom", bake(bottom_patches(0, 1, 2, 3), 1024, tex_dir, "Level_BottomLight.jpg"), mats)

    cx, cy, cz = ENTITIES["Rocks"][0]
    h = ENTITIES["Rocks"][1]
    rocks = bake(rocks_patches(0, 0), 1024, tex_dir, "Level_RocksLight.jpg")
    remap_y(rocks, -600.0, 300.0, cy - h / 2, cy + h / 2)
    emit("Rocks", rocks, [material("rock", "Level_Rock.jpg", "Level_RocksLight.jpg")])

    for name, face_z, facing, x0, x1, back_z, light, seed in (
            ("Wall_Left", -1474.0, 1, -1400.0, 602.016, -2012.76, "Level_WallLeftLight.jpg", 81),
            ("Wall_Right", 1161.0, -1, -1400.0, 559.496, 1679.82, "Level_WallRightLight.jpg", 91)):
        (cx, cy, cz), h = ENTITIES[name]
        ms = bake(wall_patches(name, face_z, facing, x0, x1, back_z, 0, seed), 1024, tex_dir,
                  light)
        remap_y(ms, -400.0, 420.0, cy - h / 2, cy + h / 2)
        centre_xz(ms, cx, cz)
        emit(name, ms, [material("rock", "Level_Rock.jpg", light)])

    (cx, cy, cz), h = ENTITIES["rock_back"]
    back = bake(back_patches(0, 0), 1024, tex_dir, "Level_BackLight.jpg")
    remap_y(back, -1000.0, 200.0, cy - h / 2, cy + h / 2)
    emit("rock_back", back, [material("rock", "Level_Rock.jpg", "Level_BackLight.jpg")])

    centre = bake(center_patches(0, 1), 1024, tex_dir, "Level_CenterLight.jpg")
    emit("center", centre, [material("masonry", "Level_Masonry.jpg", "Level_CenterLight.jpg"),
                            material("darkstone", "Level_DarkStone.jpg", "Level_CenterLight.jpg"),
                            material("window", "Level_Window.jpg", "Level_CenterLight.jpg"),
                            material("banner", "Level_Banner.jpg", "Level_CenterLight.jpg")])
    emit("center_bump", centre, [material("masonry", "Level_MasonryGloss.tga",
                                          "Level_MasonryGlossDOT3.jpg"),
                                 material("darkstone", "Level_MasonryGloss.tga",
                                          "Level_MasonryGlossDOT3.jpg"),
                                 material("window", "Level_MasonryGloss.tga",
                                          "Level_MasonryGlossDOT3.jpg"),
                                 material("banner", "Level_MasonryGloss.tga",
                                          "Level_MasonryGlossDOT3.jpg")])

    for name, pos, mirror, light in (("Gates_left", GATE_LEFT, False, "Level_GateLeftLight.jpg"),
                                     ("Gates_right", GATE_RIGHT, True,
                                      "Level_GateRightLight.jpg")):
        leaf = bake(gate_leaf(name, pos, mirror, 0), 256, tex_dir, light)
        emit(name, leaf, [material("wood", "Level_GateWood.jpg", light)])
        emit(name + "_Bump", leaf, [material("wood", "Level_GateGloss.tga",
                                             "Level_GateGlossDOT3.jpg")])

    fire = fire_meshes()
    emit("fire", fire, [{"name": "flame", "extras": {"colourMap": "", "bumpMap": "", "wrapU": 0,
                                                      "wrapV": 0, "ambient": [1.0, 1.0, 1.0],
                                                      "diffuse": [1.0, 1.0, 1.0],
                                                      "specular": [0.0, 0.0, 0.0]}}])

    total = 0
    for name, lo, hi, tris, n in report:
        c = (lo + hi) / 2
        print(f"{name:12s} meshes {n:3d} tris {tris:6d}  centre ({c[0]:9.3f} {c[1]:9.3f} "
              f"{c[2]:9.3f})  height {hi[1] - lo[1]:8.3f}  x {lo[0]:.1f}..{hi[0]:.1f} "
              f"z {lo[2]:.1f}..{hi[2]:.1f}")
        total += tris
    print("total triangles", total)


if __name__ == "__main__":
    main()
