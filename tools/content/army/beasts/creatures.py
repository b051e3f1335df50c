"""Builds the troll, the draught beast and the war drums, each rigged and animated, and writes
each as glTF (plus preview renders).

usage: blender -b --factory-startup -P creatures.py -- OUT_DIR TEX_DIR [troll|zver|drums ...]
"""
import math
import os
import sys

import bpy
from mathutils import Vector

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kit  # noqa: E402
from kit import V  # noqa: E402

TAU = 2 * math.pi


def swing(phase):
    """0..1 while a leg that follows -sin(phase) moves forward (its swing), else 0."""
    return max(0.0, math.cos(TAU * phase)) ** 1.5


# --- the troll -------------------------------------------------------------------------------
def troll(tex):
    c = kit.Creature("cave_troll", tex)
    # Rest pose = the pushing pose: body leaning well forward, arms stretched out ahead at shoulder
    # height with the palms forward, legs driving from behind.
    c.bone("hips", V(0, 0, 22), V(0, 6, 27), radius=9)
    c.bone("spine", V(0, 6, 27), V(0, 12, 33), "hips", radius=10)
    c.bone("chest", V(0, 12, 33), V(0, 18, 37), "spine", radius=10)
    c.bone("neck", V(0, 19, 38), V(0, 24, 41), "chest", radius=6)
    c.bone("head", V(0, 24, 41), V(0, 31, 41), "neck", radius=6)
    for s, sf in ((1, ".L"), (-1, ".R")):
        c.bone("upperarm" + sf, V(11 * s, 18, 34.5), V(12 * s, 30.5, 36), "chest", radius=6)
        c.bone("forearm" + sf, V(12 * s, 30.5, 36), V(11 * s, 42, 38), "upperarm" + sf, radius=5)
        c.bone("hand" + sf, V(11 * s, 42, 38), V(11 * s, 48, 38.5), "forearm" + sf, radius=4.5)
        c.bone("thigh" + sf, V(7 * s, 0, 21), V(8 * s, -2, 11.5), "hips", radius=6.5)
        c.bone("shin" + sf, V(8 * s, -2, 11.5), V(8.5 * s, -10, 3), "thigh" + sf, radius=5)
        c.bone("foot" + sf, V(8.5 * s, -10, 3), V(8.5 * s, -4, 1), "shin" + sf, radius=4)

    nodes = [(V(0, 0, 22), 8.5), (V(0, 6, 27), 10.5), (V(0, 12, 33), 11), (V(0, 9, 39.5), 8),
             (V(0, 18, 37), 9.5), (V(0, 23, 39.5), 6), (V(0, 27, 40.5), 5.5)]
    edges = [(0, 1), (1, 2), (2, 3), (2, 4), (4, 5), (5, 6)]

    def chain(pts):
        start = len(nodes)
        nodes.extend(pts)
        return start

    for s in (1, -1):
        a = chain([(V(11 * s, 18, 34.5), 6.5), (V(12 * s, 30.5, 36), 6), (V(11 * s, 41.5, 38), 5.2)])
        edges.extend([(4, a), (a, a + 1), (a + 1, a + 2)])
        l = chain([(V(7 * s, 0, 21), 8), (V(8 * s, -2, 11.5), 6.5), (V(8.5 * s, -10, 3.2), 5)])
        edges.extend([(0, l), (l, l + 1), (l + 1, l + 2)])
    body = kit.skin_body(nodes, edges, subdiv=2, lumps=0.6, lump_scale=0.3, keep=0.3)
    limbs = [b[0] for b in c.bones]
    c.add(body, "Troll_Skin", bones=limbs, tile=16)

    # head: skull, heavy brow, jutting jaw with tusks, bulb nose, ears, small amber eyes
    c.add(kit.ellipsoid(V(0, 27.5, 42.0), (6, 6.5, 5.5)), "Troll_Skin", bone="head", tile=16)
    c.add(kit.ellipsoid(V(0, 31.5, 43.5), (6.5, 2.6, 2.0), rot=(0.2, 0, 0)), "Troll_Skin",
          bone="head", tile=16)
    c.add(kit.ellipsoid(V(0, 30.5, 36.8), (5.6, 4.8, 3.2), rot=(-0.2, 0, 0)), "Troll_Skin",
          bone="head", tile=16)
    c.add(kit.ellipsoid(V(0, 33.6, 40.8), (2.0, 2.4, 2.0)), "Troll_Skin", bone="head", tile=16)
    c.mirror_add(lambda s: kit.tube([V(3.2 * s, 33.3, 38.0), V(3.6 * s, 34.3, 40.2),
                                     V(3.3 * s, 34.0, 42.0)], [0.9, 0.6, 0.0], seg=6),
                 "Troll_Nail", bone_l="head")
    c.mirror_add(lambda s: kit.ellipsoid(V(6.6 * s, 26, 42.5), (1.0, 3.0, 2.0), rot=(0.4, 0, 0.3 * s)),
                 "Troll_Skin", bone_l="head", tile=16)
    c.mirror_add(lambda s: kit.ellipsoid(V(2.6 * s, 32.7, 41.9), (1.0, 0.7, 0.8), seg=8, rings=6),
                 "Troll_Eye", bone_l="head")
    # stony growths along the hunched back
    for i, (f, z, r) in enumerate(((4, 37, 3.5), (9, 46.5, 4.2), (14, 44.5, 3.6), (-1, 31, 3.0))):
        for s in (1, -1):
            c.add(kit.ellipsoid(V(3.2 * s, f, z), (r * 0.8, r, r * 0.55), rot=(0.6, 0.2 * s, 0),
                                seg=6, rings=4), "Troll_Skin", bone="chest" if f > 8 else "spine",
                  tile=16, smooth=False)
    # hands: broad mitts with stubby fingers pointing up, palms flat against the load
    for s, sf in ((1, ".L"), (-1, ".R")):
        hb = "hand" + sf
        c.add(kit.ellipsoid(V(11 * s, 44.5, 38.5), (5.0, 2.8, 5.2)), "Troll_Skin", bone=hb, tile=16)
        for k in range(4):
            x = 11 * s + (k - 1.5) * 2.3 * s
            c.add(kit.tube([V(x, 45.8, 42.0), V(x, 46.6, 44.8), V(x, 46.0, 46.6)], [1.5, 1.3, 0.7],
                           seg=6), "Troll_Skin", bone=hb, tile=16)
            c.add(kit.ellipsoid(V(x, 46.8, 46.3), (0.9, 0.45, 0.7), seg=6, rings=4), "Troll_Nail",
                  bone=hb)
        c.add(kit.tube([V(11 * s - 4.0 * s, 44, 37.0), V(11 * s - 6 * s, 45.5, 39.5),
                        V(11 * s - 6.5 * s, 46.3, 41.5)], [1.5, 1.2, 0.7], seg=6), "Troll_Skin",
              bone=hb, tile=16)
        # iron cuffs with a broken chain link
        c.add(kit.cylinder(V(11.2 * s, 38, 37.6), V(11.1 * s, 40.8, 38.0), 6.0, seg=14), "Troll_Iron",
              bone="forearm" + sf, smooth=False, tile=8)
        c.add(kit.ring(V(11.2 * s, 39.4, 32.3), Vector((1, 0, 0)), 1.5, 0.5, seg=10), "Troll_Iron",
              bone="forearm" + sf, tile=8)
        c.add(kit.ring(V(11.2 * s, 39.4, 29.6), Vector((0, 1, 0)), 1.5, 0.5, seg=10), "Troll_Iron",
              bone="forearm" + sf, tile=8)
        # feet: wide pads with three knobbly toes
        fb = "foot" + sf
        c.add(kit.ellipsoid(V(8.5 * s, -7.5, 2.2), (4.6, 6.5, 2.4)), "Troll_Skin", bone=fb, tile=16)
        for k in range(3):
            x = 8.5 * s + (k - 1) * 2.6 * s
            c.add(kit.ellipsoid(V(x, -2.2, 1.5), (1.3, 2.0, 1.4), seg=8, rings=6), "Troll_Skin",
                  bone=fb, tile=16)
            c.add(kit.ellipsoid(V(x, -0.6, 1.3), (0.8, 0.6, 0.7), seg=6, rings=4), "Troll_Nail",
                  bone=fb)
    # loincloth: a thick belt, front and back flaps
    c.add(kit.ring(V(0, 0.5, 24), Vector((0, -0.45, 1)), 9.3, 1.3, seg=20, tseg=6), "Troll_Hide",
          bone="hips", tile=10)
    c.add(kit.ellipsoid(V(0, 5.0, 17.5), (5.2, 0.9, 6.5), rot=(-0.5, 0, 0), seg=10, rings=6),
          "Troll_Hide", bone="hips", tile=10)
    c.add(kit.ellipsoid(V(0, -6.8, 20), (6.5, 0.9, 6.0), rot=(0.45, 0, 0), seg=10, rings=6),
          "Troll_Hide", bone="hips", tile=10)

    def pose(p):
        a = TAU * p
        out = {}
        sway = math.sin(a)
        out["hips"] = ((0.0, 0.07 * sway, 0.05 * sway),
                       (0.9 * sway, 0.0, -0.7 * math.cos(2 * a)))
        out["spine"] = ((0.04 * math.cos(2 * a), 0, -0.04 * sway), (0, 0, 0))
        out["chest"] = ((0.03 * math.cos(2 * a), -0.05 * sway, -0.03 * sway), (0, 0, 0))
        out["neck"] = ((0, 0, 0.05 * sway), (0, 0, 0))
        out["head"] = ((0.06 * math.cos(2 * a + 0.6), 0, 0.10 * math.sin(a + 0.8)), (0, 0, 0))
        for s, sf, ph in ((1, ".L", 0.0), (-1, ".R", 0.5)):
            leg = -0.32 * math.sin(TAU * (p + ph))
            lift = swing(p + ph)
            out["thigh" + sf] = ((leg - 0.35 * lift, 0, 0), (0, 0, 0))
            out["shin" + sf] = ((0.75 * lift, 0, 0), (0, 0, 0))
            out["foot" + sf] = ((-0.3 * lift - 0.5 * leg, 0, 0), (0, 0, 0))
            shove = math.sin(TAU * (p + ph))
            out["upperarm" + sf] = ((0.05 * shove, 0, -0.04 * s * sway), (0, 0, 0))
            out["forearm" + sf] = ((-0.07 * shove, 0, 0), (0, 0, 0))
            out["hand" + sf] = ((0.05 * shove, 0, 0), (0, 0, 0))
        return out

    return c, 32, pose, "push"


# --- the draught beast -----------------------------------------------------------------------
def zver(tex):
    c = kit.Creature("zver", tex)
    c.bone("pelvis", V(0, -30, 43), V(0, -5, 43), radius=13)
    c.bone("spine", V(0, -5, 43), V(0, 20, 45), "pelvis", radius=14)
    c.bone("chest", V(0, 20, 45), V(0, 36, 52), "spine", radius=14)
    c.bone("neck", V(0, 36, 50), V(0, 45, 42), "chest", radius=10)
    c.bone("head", V(0, 45, 42), V(0, 58, 30), "neck", radius=8)
    c.bone("tail1", V(0, -40, 46), V(0, -50, 43), "pelvis", radius=4.5)
    c.bone("tail2", V(0, -50, 43), V(0, -62, 40), "tail1", radius=4.5)
    for s, sf in ((1, ".L"), (-1, ".R")):
        c.bone("fore_upper" + sf, V(12 * s, 26, 38), V(12.5 * s, 27, 24), "chest", radius=8)
        c.bone("fore_lower" + sf, V(12.5 * s, 27, 24), V(12.5 * s, 27, 10), "fore_upper" + sf,
               radius=5.5)
        c.bone("fore_foot" + sf, V(12.5 * s, 27, 10), V(12.5 * s, 28, 2), "fore_lower" + sf,
               radius=5)
        c.bone("hind_upper" + sf, V(11 * s, -28, 40), V(12 * s, -23, 26), "pelvis", radius=9)
        c.bone("hind_lower" + sf, V(12 * s, -23, 26), V(12 * s, -30, 13), "hind_upper" + sf,
               radius=6)
        c.bone("hind_foot" + sf, V(12 * s, -30, 13), V(12 * s, -28, 2), "hind_lower" + sf,
               radius=5)
    nodes = [(V(0, -5, 42.5), 16), (V(0, -28, 47), 14), (V(0, 20, 41.5), 18),
             (V(0, 38, 57), 12), (V(0, 44, 45), 11), (V(0, 50, 37), 10),
             (V(0, 57, 30), 7.5), (V(0, -40, 46), 6), (V(0, -50, 43), 4), (V(0, -58, 41), 3)]
    edges = [(0, 1), (0, 2), (2, 3), (3, 4), (4, 5), (5, 6), (1, 7), (7, 8), (8, 9)]
    for s in (1, -1):
        i = len(nodes)
        nodes += [(V(12 * s, 26, 38), 11), (V(12.5 * s, 27, 24), 8), (V(12.5 * s, 27, 10), 6.5),
                  (V(12.5 * s, 28, -3.0), 6.6)]
        edges += [(2, i), (i, i + 1), (i + 1, i + 2), (i + 2, i + 3)]
        j = len(nodes)
        nodes += [(V(11 * s, -28, 40), 12.5), (V(12 * s, -23, 26), 9), (V(12 * s, -30, 13), 7),
                  (V(12 * s, -28, -3.0), 6.6)]
        edges += [(1, j), (j, j + 1), (j + 1, j + 2), (j + 2, j + 3)]
    body = kit.skin_body(nodes, edges, subdiv=2, lumps=0.8, lump_scale=0.2, keep=0.5)
    # keep the hooves' soles flat on the ground
    for v in body.verts:
        if v.co.z < 0.0:
            v.co.z = 0.0
    c.add(body, "Beast_Hide", bones=[b[0] for b in c.bones], tile=24)

    # shaggy mane: tufts along the hump and neck, fringes at the elbows
    for k in range(9):
        f = 26 + k * 3.1
        z = 59 + 8.5 * math.sin(math.pi * (f - 24) / 30)
        for s in (1, -1, 0):
            if s == 0 and k % 2:
                continue
            base = V(4.5 * s, f, z - 3)
            tip = V(7.5 * s, f - 5, z + 3 - abs(s))
            bone = "chest" if f < 40 else "neck"
            c.add(kit.tube([base, (base + tip) / 2, tip], [3.2, 2.2, 0.0], seg=6), "Beast_Hide",
                  bone=bone, tile=24)
    # a shaggy skirt of narrow overlapping locks hanging from the flanks, two rows
    body_bones = ["pelvis", "spine", "chest"]
    for s in (1, -1):
        for row in range(2):
            for k in range(17 - row):
                f = -33 + k * 3.6 + row * 1.8
                front = 3.0 if f > 14 else 0.0
                z = 29.5 + row * 5 - front * 0.3
                x = (14.4 + front * 0.8 - row * 0.6) * s
                long = 6.5 + ((k * 7 + row * 3) % 5) * 0.7
                c.add(kit.ellipsoid(V(x, f, z), (1.2, 2.1, long), rot=(0.35, 0.12 * s, 0),
                                    seg=6, rings=4), "Beast_Hide", bones=body_bones, tile=24)
    for s, sf in ((1, ".L"), (-1, ".R")):
        for k in range(3):
            base = V(12.5 * s + (k - 1) * 3 * s, 25 + k, 28)
            c.add(kit.tube([base, base + Vector((1.5 * s, 1.5, -5)), base + Vector((2 * s, 2, -9))],
                           [2.4, 1.6, 0.0], seg=6), "Beast_Hide", bone="fore_upper" + sf, tile=24)
    # head: horns sweeping out and up, a nose horn, an iron brow plate, red eyes
    for s, sf in ((1, ".L"), (-1, ".R")):
        c.add(kit.tube([V(6 * s, 47, 41), V(13 * s, 46, 43), V(19 * s, 44, 48),
                        V(21.5 * s, 46, 54), V(20 * s, 50, 58)], [4.2, 3.5, 2.6, 1.5, 0.0],
                       seg=8), "Beast_Horn", bone="head", tile=6)
        c.add(kit.ellipsoid(V(6.4 * s, 54, 37.5), (1.1, 0.9, 1.0), seg=8, rings=6), "Beast_Eye",
              bone="head")
                # tusks under the snout
        c.add(kit.tube([V(3.5 * s, 58, 28.5), V(4.5 * s, 60.5, 30), V(4.5 * s, 61, 32.5)],
                       [1.0, 0.7, 0.0], seg=6), "Beast_Horn", bone="head", tile=6)
    c.add(kit.tube([V(0, 58.5, 33.5), V(0, 61.5, 37.5), V(0, 61.0, 41.5)], [2.6, 1.6, 0.0], seg=8),
          "Beast_Horn", bone="head", tile=6)
    c.add(kit.ellipsoid(V(0, 38, 33), (13, 4, 11), rot=(-0.5, 0, 0)), "Beast_Plate", bone="chest",
          tile=12, smooth=False)
    c.add(kit.ellipsoid(V(0, 52.5, 42), (7, 6.5, 2.4), rot=(0.9, 0, 0)), "Beast_Plate",
          bone="head", tile=12, smooth=False)
    # harness: a collar before the shoulders with rings for the traces, and a girth strap
    c.add(kit.ring(V(0, 36, 46), Vector((0, -0.7, 0.7)), 12.5, 2.2, seg=22, tseg=6),
          "Beast_Harness", bone="chest", tile=10)
    for s in (1, -1):
        c.add(kit.ring(V(13.5 * s, 33, 36), Vector((1, 0, 0)), 2.0, 0.6, seg=10), "Beast_Plate",
              bone="chest", tile=8)
    c.add(kit.ring(V(0, 2, 42), Vector((0, 1, 0)), 15.6, 1.1, seg=24, tseg=6), "Beast_Harness",
          bone="spine", tile=10)
    # tail: a bony club with short spikes
    c.add(kit.ellipsoid(V(0, -60.5, 40.5), (4.6, 4.2, 4.0)), "Beast_Plate", bone="tail2", tile=12,
          smooth=False)
    for d in ((4, 0, 1), (-4, 0, 1), (0, 0, 4.5), (0, -4, 1)):
        base = V(0, -60.5, 40.5) + Vector(d) * 0.8
        c.add(kit.tube([base, base + Vector(d) * 0.55], [1.3, 0.0], seg=6), "Beast_Horn",
              bone="tail2", tile=6)

    def pose(p):
        out = {}
        out["pelvis"] = ((0, 0.025 * math.sin(TAU * p), 0),
                         (0, 0, -0.45 * math.cos(2 * TAU * p)))
        out["spine"] = ((0.01 * math.cos(2 * TAU * p), 0, 0.02 * math.sin(TAU * p)), (0, 0, 0))
        out["chest"] = ((0, -0.02 * math.sin(TAU * p), -0.02 * math.sin(TAU * p)), (0, 0, 0))
        out["neck"] = ((0.05 * math.sin(2 * TAU * p + 0.5), 0, 0.03 * math.sin(TAU * p)), (0, 0, 0))
        out["head"] = ((0.05 * math.sin(2 * TAU * p + 1.1), 0, 0), (0, 0, 0))
        out["tail1"] = ((0.05 * math.cos(2 * TAU * p), 0, 0.18 * math.sin(TAU * p)), (0, 0, 0))
        out["tail2"] = ((0, 0, 0.22 * math.sin(TAU * p - 0.8)), (0, 0, 0))
        # lateral-sequence walk: hind left, fore left, hind right, fore right
        for sf, hind_ph, fore_ph in ((".L", 0.0, 0.25), (".R", 0.5, 0.75)):
            leg = -0.30 * math.sin(TAU * (p + fore_ph))
            lift = swing(p + fore_ph)
            out["fore_upper" + sf] = ((leg - 0.15 * lift, 0, 0), (0, 0, 0))
            out["fore_lower" + sf] = ((0.7 * lift, 0, 0), (0, 0, 0))
            out["fore_foot" + sf] = ((-0.2 * lift - 0.4 * leg, 0, 0), (0, 0, 0))
            leg = -0.28 * math.sin(TAU * (p + hind_ph))
            lift = swing(p + hind_ph)
            out["hind_upper" + sf] = ((leg - 0.2 * lift, 0, 0), (0, 0, 0))
            out["hind_lower" + sf] = ((0.55 * lift, 0, 0), (0, 0, 0))
            out["hind_foot" + sf] = ((-0.3 * lift - 0.4 * leg, 0, 0), (0, 0, 0))
        return out

    return c, 24, pose, "walk"


# --- the war drums ---------------------------------------------------------------------------
def drums(tex):
    c = kit.Creature("orc_drums", tex)
    # The frame bone never moves; the drummer sits on a block in the middle of the saddle.
    c.bone("frame", V(0, 0, 0), V(0, 10, 0), radius=20)
    c.bone("pelvis", V(0, -4, 9), V(0, -4, 14), "frame", radius=4)
    c.bone("spine", V(0, -4, 14), V(0, -3.5, 19), "pelvis", radius=4.5)
    c.bone("chest", V(0, -3.5, 19), V(0, -3, 24), "spine", radius=5)
    c.bone("neck", V(0, -3, 24), V(0, -2.5, 26), "chest", radius=2.5)
    c.bone("head", V(0, -2.5, 26), V(0, -2, 32), "neck", radius=3.5)
    for s, sf in ((1, ".L"), (-1, ".R")):
        c.bone("upperarm" + sf, V(5.5 * s, -3.5, 23), V(9 * s, -2.5, 18.5), "chest", radius=2.2)
        c.bone("forearm" + sf, V(9 * s, -2.5, 18.5), V(11.5 * s, 2.5, 19.5), "upperarm" + sf,
               radius=1.8)
        c.bone("hand" + sf, V(11.5 * s, 2.5, 19.5), V(12 * s, 4.5, 19.5), "forearm" + sf, radius=1.5)

    # saddle: padded blanket, wooden frame, the drummer's seat and a trophy pole behind him
    c.add(kit.box(V(0, 0, 1.2), (16, 19, 1.2)), "Drums_Leather", bone="frame", smooth=False, tile=14)
    for s in (1, -1):
        c.add(kit.box(V(13.5 * s, 0, 3.4), (1.3, 20, 1.0)), "Drums_Wood", bone="frame", smooth=False,
              tile=14)
    for f in (-17, 17):
        c.add(kit.box(V(0, f, 3.4), (14.8, 1.3, 1.0)), "Drums_Wood", bone="frame", smooth=False,
              tile=14)
    c.add(kit.box(V(0, -4.5, 5.5), (4.5, 4.5, 3.1)), "Drums_Wood", bone="frame", smooth=False, tile=14)
    c.add(kit.cylinder(V(0, -17, 2.4), V(0, -17, 40), 0.9, 0.7, seg=8), "Drums_Wood", bone="frame",
          tile=14)
    c.add(kit.box(V(0, -17, 36), (5, 0.6, 0.6)), "Drums_Wood", bone="frame", smooth=False, tile=14)
    c.add(kit.ellipsoid(V(0, -16.5, 41.5), (2.6, 3.2, 2.4)), "Drums_Skin", bone="frame", tile=6)
    c.add(kit.ellipsoid(V(0, -14.5, 40.3), (1.8, 1.8, 1.2)), "Drums_Skin", bone="frame", tile=6)
    for s in (1, -1):
        c.add(kit.tube([V(2.2 * s, -16.5, 42.5), V(5 * s, -17, 43.5), V(7 * s, -16.5, 45.5),
                        V(7.5 * s, -15, 46.9)], [0.9, 0.7, 0.45, 0.0], seg=6), "Drums_Iron",
              bone="frame", tile=6)
        c.add(kit.ellipsoid(V(1.1 * s, -13.9, 41.9), (0.5, 0.3, 0.5), seg=6, rings=4), "Drums_Eye",
              bone="frame")
        for z in (30, 33):
            c.add(kit.tube([V(0, -17, z), V(3.5 * s, -17.5, z - 3)], [0.4, 0.0], seg=5),
                  "Drums_Iron", bone="frame", tile=6)

    def drum(centre, radius, height, tilt=(0, 0, 0)):
        """A wooden drum with iron hoops and a painted skin on top."""
        from mathutils import Euler
        rot = Euler(tilt, 'XYZ').to_matrix()
        up = rot @ Vector((0, 0, 1))
        a, b = centre, centre + up * height
        c.add(kit.cylinder(a, b, radius * 0.92, radius, seg=20), "Drums_Wood", bone="frame", tile=10)
        for t in (0.08, 0.92):
            c.add(kit.ring(a + up * (height * t), up, radius * (0.93 + 0.07 * t) + 0.2, 0.45, seg=20,
                           tseg=4), "Drums_Iron", bone="frame", tile=6)
        u = rot @ Vector((1, 0, 0))
        w = rot @ Vector((0, 1, 0))
        top = b + up * 0.12

        def disc_uv(co, top=top, u=u, w=w, r=radius):
            d = co - top
            return (0.5 + d.dot(u) / (2 * r), 0.5 + d.dot(w) / (2 * r))

        c.add(kit.cylinder(b - up * 0.2, top, radius * 0.99, radius * 0.99, seg=20), "Drums_Skin",
              bone="frame", uv=disc_uv, smooth=False)

    drum(V(13, -3, 4.4), 7.2, 10.5, tilt=(0, -0.12, 0))
    drum(V(-13, -3, 4.4), 7.2, 10.5, tilt=(0, 0.12, 0))
    drum(V(0, 11, 4.4), 5.8, 8.5, tilt=(0.25, 0, 0))

    # the drummer: an orc in a leather jerkin and an iron cap, seated astride the block
    nodes = [(V(0, -4, 9.5), 3.8), (V(0, -4, 14), 4.2), (V(0, -3.5, 19.5), 5.2), (V(0, -3, 24), 2.3)]
    edges = [(0, 1), (1, 2), (2, 3)]
    for s in (1, -1):
        i = len(nodes)
        nodes += [(V(5.5 * s, -3.5, 23), 2.4), (V(9 * s, -2.5, 18.5), 1.8), (V(11.5 * s, 2.5, 19.5), 1.5)]
        edges += [(2, i), (i, i + 1), (i + 1, i + 2)]
        j = len(nodes)
        nodes += [(V(3.5 * s, -4, 8.8), 2.8), (V(6.5 * s, 2, 9.2), 2.3), (V(7.2 * s, 3.5, 5.3), 1.8)]
        edges += [(0, j), (j, j + 1), (j + 1, j + 2)]
    body = kit.skin_body(nodes, edges, subdiv=1, lumps=0.15, lump_scale=0.6)
    upper = [b[0] for b in c.bones if b[0] not in ("frame",)]
    c.add(body, "Drums_Orc", bones=upper, tile=10)
    c.add(kit.ellipsoid(V(0, -3.6, 17.5), (5.9, 5.0, 6.2)), "Drums_Leather", bones=["spine", "chest"],
          tile=10)
    c.add(kit.ellipsoid(V(0, -2.3, 28.3), (3.2, 3.4, 3.6)), "Drums_Orc", bone="head", tile=8)
    c.add(kit.ellipsoid(V(0, -0.4, 26.5), (2.7, 2.4, 1.6)), "Drums_Orc", bone="head", tile=8)
    c.add(kit.ellipsoid(V(0, -2.5, 29.6), (3.5, 3.7, 2.6)), "Drums_Iron", bone="head", tile=6)
    c.add(kit.tube([V(0, -2.5, 31.8), V(0, -2.6, 34.5)], [0.8, 0.0], seg=6), "Drums_Iron",
          bone="head", tile=6)
    for s, sf in ((1, ".L"), (-1, ".R")):
        c.add(kit.tube([V(2.8 * s, -2.6, 28.2), V(5.8 * s, -3.8, 29.5)], [0.8, 0.0], seg=5),
              "Drums_Orc", bone="head", tile=8)
        c.add(kit.ellipsoid(V(1.2 * s, 0.7, 28.2), (0.55, 0.35, 0.4), seg=6, rings=4), "Drums_Eye",
              bone="head")
        c.add(kit.tube([V(1.5 * s, 1.0, 26.2), V(1.7 * s, 1.5, 27.6)], [0.4, 0.0], seg=5),
              "Drums_Skin", bone="head", tile=6)
        c.add(kit.ellipsoid(V(5.8 * s, -3.6, 23.5), (2.8, 3.2, 1.6), rot=(0, 0.45 * s, 0)),
              "Drums_Iron", bone="upperarm" + sf, tile=6, smooth=False)
        c.add(kit.ellipsoid(V(12 * s, 3.5, 19.6), (1.6, 1.4, 1.5), seg=8, rings=6), "Drums_Orc",
              bone="hand" + sf, tile=8)
        # drumstick: a knob-ended club held in the fist, pointing forward and down
        c.add(kit.tube([V(12 * s, 2.5, 20.6), V(12.2 * s, 5.5, 18.5), V(12.4 * s, 8.5, 16.4)],
                       [0.45, 0.45, 0.45], seg=6), "Drums_Wood", bone="hand" + sf, tile=6)
        c.add(kit.ellipsoid(V(12.4 * s, 8.8, 16.2), (1.0, 1.0, 1.0), seg=8, rings=6), "Drums_Leather",
              bone="hand" + sf, tile=6)
        c.add(kit.ellipsoid(V(7.4 * s, 4.0, 2.6), (1.9, 3.2, 1.3)), "Drums_Leather", bone="pelvis",
              tile=8)

    def pose(p):
        out = {}
        # left stick strikes at 0.25, right at 0.75: a slow lift, a fast blow
        for s, sf, hit in ((1, ".L", 0.25), (-1, ".R", 0.75)):
            t = (p - hit) % 1.0
            if t < 0.7:
                k = t / 0.7
                up = k * k * (3 - 2 * k)
            else:
                up = 1 - ((t - 0.7) / 0.3) ** 2
            out["upperarm" + sf] = ((-0.55 * up, 0, 0.1 * s * up), (0, 0, 0))
            out["forearm" + sf] = ((-0.55 * up, 0, 0), (0, 0, 0))
            out["hand" + sf] = ((-0.25 * up, 0, 0), (0, 0, 0))
        twist = math.sin(TAU * (p - 0.25))
        out["spine"] = ((0.04 * math.cos(2 * TAU * p), 0, 0.06 * twist), (0, 0, 0))
        out["chest"] = ((0, -0.03 * twist, 0.05 * twist), (0, 0, 0))
        out["head"] = ((0.08 * math.cos(2 * TAU * (p - 0.25)), 0, -0.06 * twist), (0, 0, 0))
        out["pelvis"] = ((0, 0, 0), (0, 0, 0.15 * math.cos(2 * TAU * (p - 0.25))))
        return out

    return c, 24, pose, "beat"


def main():
    argv = sys.argv[sys.argv.index("--") + 1:]
    out_dir, tex_dir = argv[0], argv[1]
    which = argv[2:] or ["troll", "zver", "drums"]
    os.makedirs(out_dir, exist_ok=True)
    preview = os.path.join(out_dir, "preview")
    os.makedirs(preview, exist_ok=True)
    makers = {"troll": troll, "zver": zver, "drums": drums}
    for key in which:
        kit.reset_scene()
        c, frames, pose, anim = makers[key](tex_dir)
        lo, hi = c.bounds()
        mid_f = -(lo.y + hi.y) / 2 + 2
        back = max((v.co.z for v in c.bm.verts if abs(v.co.x) < 4 and abs(-v.co.y - mid_f) < 16),
                   default=0.0)
        print("MODEL %s top over the point 2 ahead of the box centre: %.1f" % (c.name, back))
        print("MODEL %s triangles %d bones %d box x %.1f..%.1f fwd %.1f..%.1f z %.1f..%.1f" % (
            c.name, c.triangles(), len(c.bones), lo.x, hi.x, -hi.y, -lo.y, lo.z, hi.z))
        c.build()
        c.animate(frames, pose, anim, ground=key != "drums")
        c.export(os.path.join(out_dir, c.name + ".gltf"))
        mid = frames // 4
        kit.render_previews(c, preview, [(0, 35, 15), (mid, 90, 8), (frames // 2, 210, 25)])


main()
