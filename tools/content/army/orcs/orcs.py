"""Builds the eight orc foot soldiers and the banner carrier as skinned glTF files with a looping
march, plus their texture atlases.

usage: /usr/bin/python3 orcs.py OUT_DIR TEXTURE_DIR

Every orc shares one skeleton layout (21 bones; the banner carrier adds a pole and three cloth
bones). All rest rotations are the identity, so each bone's frame is the model's frame at rest and
stays close to it while walking: the weapon bone's +Y is the haft direction and its -Z (model
space; +Z here) the facing, the shield bone's face direction is the orc's forward and its +Y up.
"""
import math
import os
import sys

import numpy as np

import meshkit as mk
import textures as tx

BONES = [
    ("pelvis", -1), ("spine", 0), ("chest", 1), ("neck", 2), ("head", 3),
    ("clavicle_R", 2), ("upperarm_R", 5), ("forearm_R", 6), ("hand_R", 7), ("weapon_R", 8),
    ("clavicle_L", 2), ("upperarm_L", 10), ("forearm_L", 11), ("hand_L", 12), ("shield_L", 13),
    ("thigh_R", 0), ("shin_R", 15), ("foot_R", 16),
    ("thigh_L", 0), ("shin_L", 18), ("foot_L", 19),
]
FLAG_BONES = [("pole", 9), ("cloth_0", 21), ("cloth_1", 22), ("cloth_2", 23)]
B = {name: i for i, (name, _) in enumerate(BONES + FLAG_BONES)}


def rect(cell):
    return mk.cell_rect(*tx.CELLS[cell])


def patch(name):
    c, r = tx.PATCHES[name]
    return mk.cell_rect(*tx.CELLS["palette"], sub=(c, r, 4))


# ---- the individual orcs ---------------------------------------------------------------------
# build: shoulder half-width, hip half-width, hunch (forward lean of neck and head), belly,
# head size, limb thickness, leg length. look: texture tints. gear: which armour pieces.
ORCS = [
    dict(name="Orc_0", jaw=1.0, ear=1.0, anim=1000, sw=0.30, hw=0.13, hunch=0.06, belly=1.0, head=1.0, limb=1.0, leg=0.88,
         look=dict(skin=(92, 120, 60), leather=(105, 70, 40), fur=(70, 55, 40), metal=(150, 150, 150),
                   cloth=(140, 30, 24), cloth2=(60, 50, 40), paint=None, scar=True),
         gear=dict(torso="mail", pauldrons="plate", helmet="skullcap", nasal=True, tabard="cloth",
                   flaps="mail", bracers="leather", greaves=None)),
    dict(name="Orc_1", jaw=1.25, ear=0.7, anim=1333, sw=0.37, hw=0.15, hunch=0.10, belly=1.25, head=1.05, limb=1.3, leg=0.82,
         look=dict(skin=(100, 112, 80), leather=(80, 55, 35), fur=(90, 75, 55), metal=(125, 120, 115),
                   cloth=(60, 50, 40), cloth2=(50, 40, 30), paint=("band", (20, 20, 20)), scar=False),
         gear=dict(torso="harness", pauldrons="fur", helmet="horned", nasal=False, tabard=None,
                   flaps="fur", bracers="plate", greaves=None)),
    dict(name="Orc_2", jaw=0.95, ear=1.2, anim=1000, sw=0.31, hw=0.13, hunch=0.04, belly=0.95, head=0.95, limb=1.05, leg=0.9,
         look=dict(skin=(70, 100, 55), leather=(40, 35, 30), fur=(40, 35, 30), metal=(165, 165, 170),
                   cloth=(28, 26, 30), cloth2=(120, 20, 20), paint=("stripes", (200, 200, 190)), scar=False),
         gear=dict(torso="plate", pauldrons="plate2", helmet="spiked", nasal=True, tabard="cloth",
                   flaps="plate", bracers="plate", greaves="plate")),
    dict(name="Orc_3", jaw=0.9, ear=1.35, anim=833, sw=0.27, hw=0.12, hunch=0.08, belly=0.85, head=0.95, limb=0.85, leg=0.92,
         look=dict(skin=(110, 118, 58), leather=(120, 85, 50), fur=(85, 65, 45), metal=(140, 135, 130),
                   cloth=(85, 70, 40), cloth2=(70, 85, 45), paint=("chin", (120, 30, 20)), scar=True),
         gear=dict(torso="leather", pauldrons="leather", helmet="topknot", nasal=False, tabard="cloth",
                   flaps="leather", bracers="leather", greaves=None)),
    dict(name="Orc_4", jaw=1.1, ear=0.9, anim=1000, sw=0.32, hw=0.14, hunch=0.07, belly=1.05, head=1.0, limb=1.1, leg=0.86,
         look=dict(skin=(60, 85, 50), leather=(75, 50, 32), fur=(55, 45, 35), metal=(140, 140, 145),
                   cloth=(90, 20, 40), cloth2=(40, 40, 45), paint=None, scar=True),
         gear=dict(torso="mail", pauldrons="plate2", helmet="closed", nasal=True, tabard=None,
                   flaps="mail", bracers="plate", greaves="plate")),
    dict(name="Orc_5", jaw=1.15, ear=1.1, anim=1333, sw=0.30, hw=0.14, hunch=0.14, belly=1.15, head=1.1, limb=1.05, leg=0.8,
         look=dict(skin=(118, 110, 62), leather=(95, 60, 35), fur=(60, 50, 40), metal=(130, 125, 120),
                   cloth=(110, 80, 30), cloth2=(50, 60, 30), paint=("slash", (160, 25, 20)), scar=False),
         gear=dict(torso="leather", pauldrons="plate", helmet="crested", nasal=False, tabard="cloth",
                   flaps="mail", bracers="leather", greaves="leather")),
    dict(name="Orc_6", jaw=1.2, ear=0.8, anim=1000, sw=0.35, hw=0.15, hunch=0.05, belly=1.1, head=1.0, limb=1.2, leg=0.86,
         look=dict(skin=(78, 98, 74), leather=(60, 45, 35), fur=(50, 40, 30), metal=(120, 118, 118),
                   cloth=(35, 45, 70), cloth2=(30, 30, 30), paint=None, scar=False),
         gear=dict(torso="plate", pauldrons="bronze", helmet="horned_bronze", nasal=True, tabard="cloth",
                   flaps="plate", bracers="bronze", greaves="plate")),
    dict(name="Orc_7", jaw=0.9, ear=1.4, anim=833, sw=0.28, hw=0.12, hunch=0.05, belly=0.9, head=1.08, limb=0.9, leg=0.84,
         look=dict(skin=(105, 140, 55), leather=(130, 95, 60), fur=(90, 70, 50), metal=(150, 145, 140),
                   cloth=(150, 110, 30), cloth2=(90, 30, 25), paint=("band", (140, 25, 20)), scar=False),
         gear=dict(torso="vest", pauldrons=None, helmet="bandana", nasal=False, tabard=None,
                   flaps="leather", bracers="leather", greaves=None)),
]
FLAG = dict(name="Orc_flag", jaw=1.05, ear=1.0, anim=1000, sw=0.31, hw=0.13, hunch=0.05, belly=1.0, head=1.0, limb=1.05,
            leg=0.88,
            look=dict(skin=(85, 112, 62), leather=(70, 48, 30), fur=(60, 50, 40), metal=(140, 138, 135),
                      cloth=(40, 30, 30), cloth2=(40, 30, 30), paint=("band", (20, 20, 20)), scar=True),
            gear=dict(torso="mail", pauldrons="plate", helmet="spiked", nasal=True, tabard="cloth",
                      flaps="mail", bracers="leather", greaves="plate"),
            banner=dict(cloth=(25, 22, 24), sigil=(170, 24, 18)))
ORC_HEIGHT_RATIO = 153.3 / 45.3  # banner model height over an orc's


# ---- skeleton --------------------------------------------------------------------------------

def joints(o):
    """Rest positions of the 21 body bones."""
    hy = o["leg"] + 0.10
    sw, hw, hn = o["sw"], o["hw"], o["hunch"]
    j = {}
    j["pelvis"] = (0, hy, 0)
    j["spine"] = (0, hy + 0.15, -0.01)
    j["chest"] = (0, hy + 0.40, 0.01 + hn * 0.3)
    j["neck"] = (0, hy + 0.62, 0.04 + hn)
    j["head"] = (0, hy + 0.72, 0.08 + hn * 1.4)
    for s, side in ((-1, "R"), (1, "L")):
        j["clavicle_" + side] = (s * 0.07, hy + 0.57, 0.02 + hn * 0.5)
        j["upperarm_" + side] = (s * sw, hy + 0.54, 0.0 + hn * 0.4)
        j["thigh_" + side] = (s * hw, hy - 0.04, 0.0)
        j["shin_" + side] = (s * (hw + 0.01), 0.10 + (hy - 0.14) * 0.5 + 0.01, 0.03)
        j["foot_" + side] = (s * (hw + 0.02), 0.10, 0.0)
    # Right arm: elbow at the side, forearm forward and down, weapon held upright in the fist.
    j["forearm_R"] = (-(sw + 0.04), hy + 0.24, -0.02)
    j["hand_R"] = (-(sw + 0.03), hy + 0.08, 0.24)
    j["weapon_R"] = (-(sw + 0.03), hy + 0.06, 0.29)
    # Left arm: forearm forward and a little inward, the shield's centre grip in the fist.
    j["forearm_L"] = (sw + 0.04, hy + 0.26, 0.0)
    j["hand_L"] = (sw - 0.02, hy + 0.16, 0.26)
    j["shield_L"] = (sw - 0.03, hy + 0.16, 0.31)
    return [np.array(j[name], dtype=np.float64) for name, _ in BONES]


def flag_joints(o, body):
    top = head_top(o) * ORC_HEIGHT_RATIO
    w = body[B["weapon_R"]]
    return [np.array([w[0], w[1] + 0.35, w[2]]),              # pole, above the fist
            np.array([w[0], top - 0.30, w[2] - 0.05]),        # cloth hangs from the crossbar
            np.array([w[0], top - 0.30 - 0.75, w[2] - 0.05]),
            np.array([w[0], top - 0.30 - 1.5, w[2] - 0.05])]


def head_top(o):
    """Height of the top of the orc (helmet included), the box height of an orc model."""
    return HEAD_TOPS[o["name"]]


HEAD_TOPS = {}


# ---- body and gear -------------------------------------------------------------------------

def W(*pairs):
    return [(B[n], w) for n, w in pairs]


def build_orc(o, flag=False):
    m = mk.Mesh()
    J = joints(o)
    P = lambda n: J[B[n]]
    hy = o["leg"] + 0.10
    hn, bl, lf, hs = o["hunch"], o["belly"], o["limb"], o["head"]
    sw = o["sw"]
    g = o["gear"]

    # Torso: hips to neck, hunched forward, with a gut.
    ys = [hy - 0.12, hy - 0.02, hy + 0.10, hy + 0.22, hy + 0.34, hy + 0.46, hy + 0.55, hy + 0.61, hy + 0.66]
    zs = [0.0, 0.0, 0.01 + 0.02 * bl, 0.02 + 0.03 * bl, 0.02 + hn * 0.25, 0.02 + hn * 0.45,
          0.02 + hn * 0.65, 0.03 + hn * 0.85, 0.04 + hn]
    depth = [0.15, 0.16, 0.17 * bl, 0.19 * bl, 0.18, 0.18, 0.16, 0.12, 0.085]
    width = [o["hw"] + 0.08, o["hw"] + 0.07, 0.18 * bl + 0.02, 0.22 + 0.02 * bl, sw - 0.02, sw - 0.01,
             sw - 0.04, 0.16, 0.085]
    bones = [W(("pelvis", 1)), W(("pelvis", 1)), W(("pelvis", .6), ("spine", .4)), W(("spine", 1)),
             W(("spine", .5), ("chest", .5)), W(("chest", 1)), W(("chest", 1)), W(("chest", .8), ("neck", .2)),
             W(("neck", 1))]
    torso = ([(0, y, z) for y, z in zip(ys, zs)], depth, width, bones)
    skin_top = "skin"
    m.tube(torso[0], depth, width, rect(skin_top), bones, n=12, caps=(True, False))

    def shell(cell, lo, hi, scale, bones_override=None):
        c = [(0, ys[i], zs[i]) for i in range(lo, hi + 1)]
        m.tube(c, [d * scale for d in depth[lo:hi + 1]], [w * scale for w in width[lo:hi + 1]],
               rect(cell), bones_override or bones[lo:hi + 1], n=12, caps=(False, False))

    if g["torso"] == "mail":
        shell("mail", 1, 6, 1.07)
    elif g["torso"] == "plate":
        shell("mail", 1, 3, 1.06)
        shell("plate", 3, 6, 1.12)
    elif g["torso"] == "leather":
        shell("leather", 1, 6, 1.06)
    elif g["torso"] == "vest":
        shell("leather", 2, 6, 1.05)
    if g["torso"] in ("harness", "vest"):
        # crossed straps over the chest and back
        for s in (-1, 1):
            pts = []
            for k in range(13):
                a = 2 * math.pi * k / 12
                # a loop around the torso tilted from one shoulder to the other hip
                y = hy + 0.35 - s * math.sin(a) * 0.17 + math.cos(a) * 0.02
                # hug the torso: its centre, depth and width at this height
                zc, dd, ww = (np.interp(y, ys, v) for v in (zs, depth, width))
                x = math.sin(a) * ww * 1.06
                z = zc + math.cos(a) * dd * 1.1
                pts.append((x, y, z))
            m.tube(pts, [0.012] * 13, [0.035] * 13, rect("strap"),
                   [W(("chest", .6), ("spine", .4))] * 13, n=6, caps=(False, False),
                   axis_hint=(0, 1, 0), sexp=6)

    # Heavy trapezius and a hump over the upper back: the hunched silhouette.
    m.ellipsoid((0, hy + 0.50, zs[5] - 0.06), (0.13 * (1 + hn), 0.14, sw * 0.82), rect("skin"),
                W(("chest", 1)), n=10, rings=4, axis=(0, 1, 0), hint=(0, 0, 1))
    # Belt and buckle.
    by = hy + 0.0
    m.tube([(0, by - 0.045, 0), (0, by, 0.0), (0, by + 0.045, 0.005)],
           [0.185 * 1.12, 0.19 * 1.12, 0.19 * 1.12], [(o["hw"] + 0.08) * 1.12] * 3,
           rect("strap"), [W(("pelvis", 1))] * 3, n=16, caps=(False, False), sexp=3)
    m.box((0, by, 0.215), (0.05, 0.04, 0.015), rect("bronze"), W(("pelvis", 1)))

    for s in (-1, 1):  # pouches on the belt
        m.box((s * (o["hw"] + 0.09), by - 0.04, 0.06), (0.03, 0.045, 0.045), rect("leather"), W(("pelvis", 1)),
              sexp=3)
    # Hanging flaps (front and back on each side), half following the thighs.
    flap_cell = {"mail": "mail", "plate": "plate", "leather": "leather", "fur": "fur"}[g["flaps"]]
    for s, side in ((-1, "R"), (1, "L")):
        for zf in (1, -1):
            top = np.array([s * 0.10, by - 0.03, zf * 0.175])
            bot = np.array([s * 0.115, by - 0.30, zf * 0.21])
            mid = (top + bot) / 2
            m.tube([top, mid, bot], [0.014] * 3, [0.085, 0.09, 0.09], rect(flap_cell),
                   [W(("pelvis", 1)), W(("pelvis", .7), ("thigh_" + side, .3)),
                    W(("thigh_" + side, .55), ("pelvis", .45))],
                   n=8, axis_hint=(0, 0, 1), sexp=8)
    if g["tabard"]:
        for zf in (1, -1):
            top = np.array([0, by - 0.02, zf * 0.215])
            bot = np.array([0, by - 0.42, zf * 0.235])
            m.tube([top, (top + bot) / 2, bot], [0.01] * 3, [0.075, 0.08, 0.085], rect("cloth"),
                   [W(("pelvis", 1)), W(("pelvis", .8), ("thigh_R", .1), ("thigh_L", .1)),
                    W(("pelvis", .5), ("thigh_R", .25), ("thigh_L", .25))], n=8, sexp=8)

    # Neck and head.
    m.tube([P("neck") + (0, -0.04, -0.01), P("neck") + (0, 0.05, 0.02), P("head") + (0, -0.02, -0.02)],
           [0.09, 0.085, 0.08], [0.10, 0.09, 0.085], rect("skin"),
           [W(("neck", 1)), W(("neck", .7), ("head", .3)), W(("head", 1))], n=12, caps=(False, False))
    H = P("head")
    hy_ = [-0.16, -0.12, -0.06, 0.0, 0.05, 0.10, 0.15, 0.19, 0.215]
    hz = [0.07, 0.055, 0.04, 0.02, 0.005, -0.005, -0.015, -0.025, -0.03]
    hd = [0.055, 0.11, 0.13, 0.135, 0.135, 0.135, 0.125, 0.09, 0.02]
    jaw, ear = o.get("jaw", 1.0), o.get("ear", 1.0)
    hw_ = [0.075 * jaw, 0.12 * jaw, 0.13 * (1 + (jaw - 1) * 0.6), 0.13, 0.125, 0.12, 0.11, 0.08, 0.02]
    hc = [H + np.array((0, y * hs, z * hs)) for y, z in zip(hy_, hz)]
    m.tube(hc, [d * hs for d in hd], [w * hs for w in hw_], rect("head"), [W(("head", 1))] * 9, n=16,
           caps=(True, False), twist=math.pi)
    hp = lambda x, y, z: H + np.array((x, y, z)) * hs
    hb = W(("head", 1))
    m.ellipsoid(hp(0, 0.085, 0.09), (0.035, 0.035, 0.125), rect("head"), hb, n=10, rings=5,
                axis=(0, 0, 1), hint=(0, 1, 0))                                       # brow ridge
    for s in (-1, 1):
        m.ellipsoid(hp(s * 0.05, 0.05, 0.12), (0.022, 0.016, 0.022), patch("eye"), hb, n=6, rings=3,
                    axis=(0, 0, 1), hint=(0, 1, 0))
        m.tube([hp(s * 0.045 * jaw, -0.085, 0.14), hp(s * 0.05 * jaw, -0.05, 0.165), hp(s * 0.06 * jaw, -0.01, 0.17)],
               [0.017, 0.012, 0.002], [0.017, 0.012, 0.002], patch("ivory"), [hb] * 3, n=6,
               caps=(True, False))                                                      # tusks
        m.tube([hp(s * 0.115, 0.03, -0.01), hp(s * (0.115 + 0.065 * ear), 0.03 + 0.03 * ear, -0.01 - 0.03 * ear),
                hp(s * (0.115 + 0.135 * ear), 0.03 + 0.07 * ear, -0.01 - 0.07 * ear)],
               [0.04, 0.028, 0.004], [0.012, 0.01, 0.003], rect("head"), [hb] * 3, n=8,
               axis_hint=(0, 1, 0), caps=(True, False))                                  # ears
    m.ellipsoid(hp(0, 0.0, 0.14), (0.035, 0.04, 0.035), rect("head"), hb, n=8, rings=4,
                axis=(0, 0, 1), hint=(0, 1, 0))                                          # snout
    m.ellipsoid(hp(0, -0.075, 0.125), (0.012, 0.03, 0.075), patch("mouth"), hb, n=8, rings=4,
                axis=(0, 0, 1), hint=(0, 1, 0))                                          # mouth

    helmet = g["helmet"]
    metal = "bronze" if "bronze" in helmet else "iron"
    if helmet in ("skullcap", "spiked", "horned", "horned_bronze", "closed", "crested"):
        m.ellipsoid(hp(0, 0.065, -0.01), (0.145, 0.165, 0.155), rect(metal), hb, n=12, rings=4, cut=0.05)
        m.tube([hp(0, 0.055, -0.01), hp(0, 0.085, -0.01)], [0.16, 0.16], [0.152, 0.152], rect(metal),
               [hb] * 2, n=12, caps=(False, False))                                      # rim
        if g["nasal"]:
            m.box(hp(0, 0.02, 0.16), (0.014, 0.05, 0.01), rect(metal), hb)
        if helmet == "spiked":
            m.tube([hp(0, 0.2, -0.015), hp(0, 0.3, -0.02), hp(0, 0.38, -0.03)], [0.035, 0.015, 0.001],
                   [0.035, 0.015, 0.001], rect(metal), [hb] * 3, n=8, caps=(False, False))
        if helmet.startswith("horned"):
            for s in (-1, 1):
                pts = [hp(s * 0.12, 0.12, 0.0), hp(s * 0.21, 0.15, 0.02), hp(s * 0.27, 0.23, 0.06),
                       hp(s * 0.28, 0.32, 0.11), hp(s * 0.25, 0.38, 0.15)]
                m.tube(pts, [0.045, 0.036, 0.026, 0.015, 0.002], [0.045, 0.036, 0.026, 0.015, 0.002],
                       rect("horn"), [hb] * 5, n=8, caps=(True, False))
        if helmet == "closed":
            for s in (-1, 1):
                m.box(hp(s * 0.12, -0.03, 0.07), (0.015, 0.07, 0.05), rect(metal), hb)
            m.tube([hp(0, 0.18, -0.02), hp(0, 0.2, -0.02), hp(0, 0.25, -0.03)], [0.02, 0.018, 0.012],
                   [0.02, 0.018, 0.012], rect("bronze"), [hb] * 3, n=8, caps=(False, True))
        if helmet == "crested":
            pts = [hp(0, 0.17, 0.12), hp(0, 0.24, 0.04), hp(0, 0.25, -0.05), hp(0, 0.2, -0.14),
                   hp(0, 0.1, -0.2)]
            m.tube(pts, [0.012] * 5, [0.03, 0.05, 0.055, 0.05, 0.03], rect("fur"), [hb] * 5, n=8,
                   axis_hint=(1, 0, 0), sexp=4)
    elif helmet == "topknot":
        pts = [hp(0, 0.19, -0.04), hp(0, 0.27, -0.08), hp(0, 0.26, -0.17), hp(0, 0.14, -0.22),
               hp(0, 0.02, -0.22)]
        m.tube(pts, [0.04, 0.035, 0.03, 0.025, 0.01], [0.04, 0.035, 0.03, 0.025, 0.01], rect("hair"),
               [hb, hb, hb, W(("head", .7), ("neck", .3)), W(("head", .5), ("neck", .5))], n=8)
    elif helmet == "bandana":
        m.ellipsoid(hp(0, 0.08, -0.015), (0.14, 0.145, 0.148), rect("cloth"), hb, n=12, rings=4, cut=0.05)
        m.tube([hp(0, 0.1, -0.14), hp(0.03, 0.02, -0.2), hp(0.05, -0.08, -0.22)], [0.012] * 3,
               [0.04, 0.035, 0.03], rect("cloth"), [hb, W(("head", .6), ("neck", .4)),
                                                    W(("neck", .6), ("head", .4))], n=6, sexp=6)

    # Arms.
    for s, side in ((-1, "R"), (1, "L")):
        sh, el = P("upperarm_" + side), P("forearm_" + side)
        wr = P("hand_" + side)
        grip = P("weapon_R") if side == "R" else P("shield_L")
        ua, fa, hd = "upperarm_" + side, "forearm_" + side, "hand_" + side
        m.ellipsoid(sh + (s * 0.01, 0.0, 0.0), (0.10 * lf, 0.095 * lf, 0.10 * lf), rect("skin"),
                    W((ua, .7), ("clavicle_" + side, .3)), n=8, rings=4)
        a = [sh, sh * 0.6 + el * 0.4, sh * 0.2 + el * 0.8, el]
        m.tube(a, [0.075 * lf, 0.085 * lf, 0.07 * lf, 0.062 * lf], [0.08 * lf, 0.09 * lf, 0.075 * lf, 0.065 * lf],
               rect("skin"), [W((ua, .6), ("clavicle_" + side, .4)), W((ua, 1)), W((ua, 1)),
                              W((ua, .5), (fa, .5))], n=8, caps=(False, False))
        f = [el, el * 0.7 + wr * 0.3, wr]
        m.tube(f, [0.064 * lf, 0.068 * lf, 0.048 * lf], [0.066 * lf, 0.07 * lf, 0.052 * lf], rect("skin"),
               [W((fa, .6), (ua, .4)), W((fa, 1)), W((fa, .7), (hd, .3))], n=8, caps=(True, False))
        if g["bracers"]:
            bc = {"leather": "leather", "plate": "plate", "bronze": "bronze"}[g["bracers"]]
            b = [el * 0.6 + wr * 0.4, el * 0.2 + wr * 0.8]
            m.tube(b, [0.078 * lf, 0.062 * lf], [0.08 * lf, 0.066 * lf], rect(bc), [W((fa, 1))] * 2, n=10,
                   caps=(False, False))
        # fist around the haft / grip: knuckles across, fingers wrapped round a vertical axis
        fist = grip if side == "R" else grip
        m.box(fist + (0, 0.005, -0.01), (0.046 * lf, 0.05, 0.052), rect("skin"), W((hd, 1)), sexp=4)
        m.ellipsoid(fist + (s * -0.02, 0.045, -0.02), (0.02, 0.025, 0.03), rect("skin"), W((hd, 1)),
                    n=6, rings=3)  # thumb
        # shoulder guards
        pd = g["pauldrons"]
        if pd:
            pc = {"plate": "plate", "plate2": "plate", "fur": "fur", "leather": "leather",
                  "bronze": "bronze"}[pd]
            layers = 2 if pd in ("plate2", "bronze") else 1
            for k in range(layers):
                r = (0.15 - 0.02 * k) * lf
                m.ellipsoid(sh + (s * (0.02 + 0.03 * k), 0.04 - 0.06 * k, 0.0), (r, 0.11 * lf, r * 0.95),
                            rect(pc), W((ua, .65), ("clavicle_" + side, .35)), n=10, rings=3,
                            axis=(s * 0.45, 1.0, 0.0), hint=(0, 0, 1), cut=0.25)

    # Legs.
    for s, side in ((-1, "R"), (1, "L")):
        hp_, kn, an = P("thigh_" + side), P("shin_" + side), P("foot_" + side)
        th, sn, ft = "thigh_" + side, "shin_" + side, "foot_" + side
        m.tube([hp_ + (0, 0.06, 0), hp_ * 0.7 + kn * 0.3, hp_ * 0.3 + kn * 0.7, kn],
               [0.105 * lf, 0.12 * lf, 0.1 * lf, 0.078 * lf], [0.115 * lf, 0.115 * lf, 0.095 * lf, 0.078 * lf],
               rect("leather" if g["flaps"] != "fur" else "skin"),
               [W(("pelvis", .5), (th, .5)), W((th, 1)), W((th, 1)), W((th, .5), (sn, .5))], n=8,
               caps=(False, False))
        m.tube([kn, kn * 0.7 + an * 0.3 + (0, 0, -0.012), kn * 0.3 + an * 0.7, an + (0, 0.02, 0)],
               [0.078 * lf, 0.092 * lf, 0.072 * lf, 0.058 * lf], [0.078 * lf, 0.082 * lf, 0.07 * lf, 0.058 * lf],
               rect("skin"), [W((sn, .55), (th, .45)), W((sn, 1)), W((sn, 1)), W((sn, .7), (ft, .3))], n=8,
               caps=(False, False))
        if g["greaves"]:
            m.ellipsoid(kn + (0, 0.0, 0.05), (0.06 * lf, 0.05, 0.055), rect(g["greaves"]),
                        W((sn, .5), (th, .5)), n=8, rings=4, axis=(0, 0, 1), hint=(0, 1, 0))
            gc = {"plate": "plate", "leather": "leather"}[g["greaves"]]
            m.tube([kn * 0.8 + an * 0.2, an + (0, 0.06, 0)], [0.092 * lf, 0.072 * lf], [0.09 * lf, 0.07 * lf],
                   rect(gc), [W((sn, 1))] * 2, n=8, caps=(False, False))
        # boot: ankle cuff and a foot reaching forward to a blunt toe
        m.tube([an + (0, 0.09, 0), an + (0, 0.0, 0.0)], [0.075 * lf, 0.075 * lf], [0.075 * lf, 0.075 * lf],
               rect("strap"), [W((ft, .6), (sn, .4)), W((ft, 1))], n=8, caps=(False, False))
        m.box(an + (0, -0.052, 0.05), (0.064 * lf, 0.048, 0.125), rect("strap"), W((ft, 1)), along="z", sexp=3.5)

    if flag:
        build_banner(m, o, J)
    return m, J


def build_banner(m, o, J):
    F = flag_joints(o, J)
    top = head_top(o) * ORC_HEIGHT_RATIO
    w = J[B["weapon_R"]]
    pb = W(("pole", 1))
    m.tube([(w[0], 0.25, w[2]), (w[0], top - 0.22, w[2])], [0.028, 0.024], [0.028, 0.024], rect("wood"),
           [pb, pb], n=8)
    # finial: a leaf-shaped blade on top
    m.tube([(w[0], top - 0.24, w[2]), (w[0], top - 0.1, w[2]), (w[0], top, w[2])], [0.012, 0.05, 0.0005],
           [0.012, 0.018, 0.0005], rect("iron"), [pb] * 3, n=8, axis_hint=(1, 0, 0))
    cy = F[1][1]
    m.tube([(w[0] - 0.78, cy + 0.02, w[2] - 0.03), (w[0] + 0.78, cy + 0.02, w[2] - 0.03)], [0.02, 0.02],
           [0.02, 0.02], rect("wood"), [pb, pb], n=8, axis_hint=(0, 1, 0))
    # Cloth: a grid hanging from the crossbar, swallow-tailed, both sides drawn.
    cols, rows = 8, 12
    u0, v0, u1, v1 = mk.cell_rect(2, 2)[0], mk.cell_rect(2, 2)[1], mk.cell_rect(3, 3)[2], mk.cell_rect(3, 3)[3]
    length = 2.2
    grid = []
    for r in range(rows + 1):
        t = r / rows
        y = cy - t * length
        # weights down the chain of cloth bones
        f = t * 3.0
        k = min(int(f), 2)
        a = f - k
        if k == 0:
            bw = [(B["cloth_0"], 1 - a * 0.5), (B["cloth_1"], a * 0.5)] if r else [(B["pole"], 1)]
        elif k == 1:
            bw = [(B["cloth_1"], 1 - a * 0.5), (B["cloth_2"], a * 0.5)]
        else:
            bw = [(B["cloth_2"], 1)]
        row = []
        for c in range(cols + 1):
            s = c / cols
            x = w[0] - 0.7 + 1.4 * s
            yy = y
            if r == rows:
                yy = y + 0.45 * (1 - abs(s - 0.5) * 2)  # the notch of the swallow tail
            row.append(((x, yy, w[2] - 0.05), (u0 + (u1 - u0) * s, v0 + (v1 - v0) * t), bw))
        grid.append(row)
    for side in (0, 1):
        idx = [[m._vertex(p, uv, bw) for (p, uv, bw) in row] for row in grid]
        for r in range(rows):
            for c in range(cols):
                a, b, cc, d = idx[r][c], idx[r][c + 1], idx[r + 1][c + 1], idx[r + 1][c]
                m._quad(a, d, cc, b, flip=(side == 1))
        m.parts += 1


# ---- the march -----------------------------------------------------------------------------

def walk(o, J, flag_j, length_ms):
    """Returns anim_local(t_seconds) -> [(translation, quaternion)] for all bones."""
    bones = BONES + (FLAG_BONES if flag_j is not None else [])
    heads = J + (flag_j or [])
    n = len(bones)
    L = length_ms / 1000.0
    # The route moves a unit 2.5 scene units per 100 ms; at this orc's scale (45.3 units over its
    # box height) a planted foot keeps pace when it travels 4 * stride per loop.
    ground_speed = 25.0 * head_top(o) / 45.3
    stride = min(ground_speed * L / 4.0, 0.30)
    lift = 0.09
    ankle_h = 0.10
    hip0, knee0, ank0 = heads[B["thigh_R"]], heads[B["shin_R"]], heads[B["foot_R"]]
    leg_len = np.linalg.norm((knee0 - hip0)[1:]) + np.linalg.norm((ank0 - knee0)[1:])
    # lower the hips so that the leg reaches the foot at full stride with the knee still bent
    drop = max(0.035, hip0[1] - ankle_h - math.sqrt((0.965 * leg_len) ** 2 - stride ** 2))

    walk_info.update(stride=stride, drop=drop)

    def foot_path(p):
        p %= 1.0
        if p < 0.5:
            return stride * (1 - 4 * p), ankle_h, 0.0
        u = (p - 0.5) * 2
        z = -stride + 2 * stride * (0.5 - 0.5 * math.cos(math.pi * u))
        return z, ankle_h + lift * math.sin(math.pi * u), -0.2 * math.sin(math.pi * u)

    def frame(t):
        p = (t / L) % 1.0
        ph = 2 * math.pi * p
        G = [None] * n  # (rotation 3x3, position) in model space
        R = [np.eye(3)] * n
        # pelvis: bob twice per cycle, sway and twist with the stride
        bob = -drop - 0.02 * math.cos(2 * ph)
        R[0] = mk.rot_y(0.08 * math.cos(ph)) @ mk.rot_z(0.04 * math.sin(ph)) @ mk.rot_x(0.05)
        G[0] = (R[0], heads[0] + np.array([-0.015 * math.sin(ph), bob, 0]))
        local = {
            "spine": mk.rot_y(-0.05 * math.cos(ph)) @ mk.rot_x(0.04),
            "chest": mk.rot_y(-0.06 * math.cos(ph)) @ mk.rot_z(-0.03 * math.sin(ph)),
            "neck": mk.rot_x(-0.03 + 0.02 * math.cos(2 * ph)),
            "head": mk.rot_y(0.06 * math.sin(ph)) @ mk.rot_x(-0.06 + 0.03 * math.cos(2 * ph)),
            "clavicle_R": mk.rot_x(0.03 * math.sin(ph)), "clavicle_L": mk.rot_x(-0.03 * math.sin(ph)),
            # arms carry weapon and shield: a small swing, opposite to the legs
            "upperarm_R": mk.rot_x(0.10 * math.cos(ph)), "upperarm_L": mk.rot_x(-0.07 * math.cos(ph)),
            "forearm_R": mk.rot_x(-0.05 * math.cos(ph)), "forearm_L": mk.rot_x(0.04 * math.cos(ph)),
            "hand_R": mk.rot_x(-0.04 * math.cos(ph)), "hand_L": mk.rot_x(0.03 * math.cos(ph)),
        }
        if flag_j is not None:
            for k, nme in enumerate(("cloth_0", "cloth_1", "cloth_2")):
                local[nme] = (mk.rot_x(0.06 + 0.02 * k + (0.05 + 0.025 * k) * math.sin(ph - 0.9 * (k + 1)))
                              @ mk.rot_y(0.05 * math.sin(ph - 0.6 * k)))
            local["hand_R"] = mk.rot_x(-0.03 * math.cos(ph))
            local["upperarm_R"] = mk.rot_x(0.03 * math.cos(ph))
        legs = {}
        for i, (name, parent) in enumerate(bones):
            if i == 0:
                continue
            Rp, Pp = G[parent]
            pos = Pp + Rp @ (heads[i] - heads[parent])
            if name.startswith(("thigh", "shin", "foot")):
                side = name[-1]
                if name.startswith("thigh"):
                    legs[side] = solve_leg(side, pos, p + (0.0 if side == "R" else 0.5))
                Rg = legs[side][name.split("_")[0]]
                G[i] = (Rg, pos)
                R[i] = Rp.T @ Rg
            elif name == "pole":
                # the banner pole is held upright against the body's lean: it only rocks a little
                Rg = mk.rot_x(0.025 * math.sin(ph)) @ mk.rot_z(0.02 * math.cos(ph))
                G[i] = (Rg, pos)
                R[i] = Rp.T @ Rg
            else:
                R[i] = local.get(name, np.eye(3))
                G[i] = (Rp @ R[i], pos)
        out = []
        for i, (name, parent) in enumerate(bones):
            if parent < 0:
                tr = G[0][1]
            else:
                Rp, Pp = G[parent]
                tr = Rp.T @ (G[i][1] - Pp)
            out.append(([float(x) for x in tr], [float(x) for x in mk.quat_from_matrix(R[i])]))
        return out

    thigh_len = {}
    shin_len = {}
    for side in "RL":
        hip, knee, ank = heads[B["thigh_" + side]], heads[B["shin_" + side]], heads[B["foot_" + side]]
        thigh_len[side] = np.linalg.norm((knee - hip)[1:])
        shin_len[side] = np.linalg.norm((ank - knee)[1:])

    def ang(v):  # angle of a (y, z) vector as rot_x measures it
        return math.atan2(v[1], v[0])

    def solve_leg(side, hip, p):
        hip0, knee0, ank0 = heads[B["thigh_" + side]], heads[B["shin_" + side]], heads[B["foot_" + side]]
        fz, fy, toe = foot_path(p)
        a, b = thigh_len[side], shin_len[side]
        d = np.array([fy - hip[1], fz - hip[2]])
        dist = min(np.linalg.norm(d), (a + b) * 0.999)
        # knee angle from the law of cosines; the knee bends forward (+z)
        cos_h = (a * a + dist * dist - b * b) / (2 * a * dist)
        hip_off = math.acos(max(-1.0, min(1.0, cos_h)))
        base = ang(d)
        thigh_dir = base - hip_off
        knee = np.array([hip[1], hip[2]]) + a * np.array([math.cos(thigh_dir), math.sin(thigh_dir)])
        shin_dir = ang(np.array([fy, fz]) - knee)
        rt = thigh_dir - ang((knee0 - hip0)[1:])
        rs = shin_dir - ang((ank0 - knee0)[1:])
        return {"thigh": mk.rot_x(rt), "shin": mk.rot_x(rs), "foot": mk.rot_x(toe)}

    return frame


walk_info = {}


def key_times(length_ms):
    t = list(range(0, length_ms, 100))
    if t[-1] != length_ms:
        t.append(length_ms)
    return [x / 1000.0 for x in t]


def main():
    out, texdir = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    os.makedirs(texdir, exist_ok=True)
    for i, o in enumerate(ORCS + [FLAG]):
        flag = o is FLAG
        # The banner's pole height depends on the orc's own height: build once without it.
        if not flag:
            pass
        body, J = build_orc(o, flag=False)
        HEAD_TOPS[o["name"]] = float(np.array(body.pos)[:, 1].max())
        if flag:
            body, J = build_orc(o, flag=True)
        fj = flag_joints(o, J) if flag else None
        bones = BONES + (FLAG_BONES if flag else [])
        heads = J + (fj or [])
        mat = dict(name=o["name"], colourMap=o["name"] + ".jpg", bumpMap=o["name"] + "DOT3.jpg",
                   ambient=[0.7, 0.7, 0.7], diffuse=[1.0, 1.0, 1.0], specular=[0.15, 0.15, 0.15],
                   wrapU=1, wrapV=1)
        tris, verts = mk.write_gltf(os.path.join(out, o["name"] + ".gltf"), o["name"], body, bones, heads,
                                    key_times(o["anim"]), walk(o, J, fj, o["anim"]), mat)
        tx.build_atlas(o["look"], 11 + i, os.path.join(texdir, mat["colourMap"]),
                       os.path.join(texdir, mat["bumpMap"]), o.get("banner"))
        pos = np.array(body.pos)
        print(f"  stride {walk_info['stride']:.3f} hip drop {walk_info['drop']:.3f}")
        print(f"{o['name']}: {tris} triangles, {verts} vertices, box y {pos[:, 1].min():.3f}..{pos[:, 1].max():.3f}")


if __name__ == "__main__":
    main()
