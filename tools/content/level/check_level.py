#!/usr/bin/python3
"""Checks the converted level models against the map entity table: box centre and height from
`meshconv info`, render vertices per mesh, triangle total, the texture names each model uses
(present, power-of-two, alpha never below the alpha-test reference) and the texture budget.

usage: check_level.py MESHCONV MESH_DIR TEXTURE_DIR [GLTF_DIR]   (exit status 1 on a failure)
With GLTF_DIR it also checks that no level vertex stands in the camera shots' open air.
"""
import os
import re
import subprocess
import sys

sys.dont_write_bytecode = True

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from level import (ENTITIES, FIRE_HEIGHT, GATE_HEIGHT, GATE_LEFT, GATE_RIGHT,  # noqa: E402
                   GATE_HALF_DEPTH)

VEC = r"\(([-\d.e+]+), ([-\d.e+]+), ([-\d.e+]+)\)"
BUDGET = 5.5 * 1024 * 1024


def info(meshconv, path):
    out = subprocess.run([meshconv, "info", path], capture_output=True, text=True, check=True)
    text = out.stdout
    m = re.search(r"model bounds: min " + VEC + " max " + VEC, text)
    lo = [float(x) for x in m.groups()[:3]]
    hi = [float(x) for x in m.groups()[3:]]
    verts = [int(v) for v in re.findall(r"faces, (\d+) render vertices, ", text)]
    faces = int(re.search(r"total: (\d+) faces", text).group(1))
    maps = re.findall(r'colour "([^"]*)" bump "([^"]*)" wrap (\d) (\d)', text)
    return lo, hi, verts, faces, maps


def gate_swing_problems(bounds):
    """Moves both leaves through their swing as the scene does (angle a from -90 to -170: centre
    offset by w along the rotated depth, turned about y) and checks that every corner stays
    inside the gate passage and behind the rebate lips."""
    import math
    problems = []
    for name, z_hinge_sign in (("Gates_left", -1), ("Gates_right", 1)):
        lo, hi = bounds[name]
        w = (hi[2] - lo[2]) / 2
        t = (hi[0] - lo[0]) / 2
        h = (hi[1] - lo[1]) / 2
        cz = (lo[2] + hi[2]) / 2
        for step in range(0, 81):
            a = math.radians(-90 - step)
            if z_hinge_sign < 0:
                pos = (-422.619 + w * math.cos(a), -191.36 - w - w * math.sin(a))
                turn = -math.degrees(a) - 90
            else:
                pos = (-422.619 + w * math.cos(a), -123.961 + w + w * math.sin(a))
                turn = math.degrees(a) + 90
            c, s = math.cos(math.radians(turn)), math.sin(math.radians(turn))
            for dx in (-t, t):
                for dz in (-w, w):
                    # row vector times the y rotation: x' = x c - z s, z' = x s + z c
                    x = pos[0] + dx * c - dz * s
                    z = pos[1] + dx * s + dz * c
                    if not (-575.0 <= x <= -416.0 and -234.0 <= z <= -66.0):
                        problems.append(f"{name}: corner at ({x:.1f}, {z:.1f}) at angle "
                                        f"{-90 - step} leaves the passage")
                        break
        del h, cz
    return problems[:4]


def glb_positions(path):
    """Model-space vertex positions of every mesh in one of our .glb files."""
    import json
    import struct
    import numpy as np
    with open(path, "rb") as f:
        data = f.read()
    n = struct.unpack_from("<I", data, 12)[0]
    doc = json.loads(data[20:20 + n])
    blob = data[20 + n + 8:]
    out = []
    for mesh in doc["meshes"]:
        for prim in mesh["primitives"]:
            acc = doc["accessors"][prim["attributes"]["POSITION"]]
            view = doc["bufferViews"][acc["bufferView"]]
            p = np.frombuffer(blob, np.float32, acc["count"] * 3, view["byteOffset"])
            out.append(p.reshape(-1, 3) * np.array([1, 1, -1], np.float32))
    return np.concatenate(out)


def intrusion_problems(gltf_dir):
    """Level vertices inside the open air the camera shots may fly through (the shot script's
    own rule), apart from the known small exceptions: the bridge's low parapets and posts, the
    torch arms in front of the towers and the tunnel over the end of the road."""
    here = os.path.dirname(os.path.abspath(__file__))
    data = os.path.join(here, "..", "data")
    if not os.path.exists(os.path.join(data, "make_tracks.py")):
        print("note: tools/content/data/make_tracks.py not found, open-air check skipped")
        return []
    sys.path.insert(0, data)
    from make_tracks import clearance_problems
    problems = []
    for name in ("Road", "Bottom", "center", "Rocks", "Wall_Left", "Wall_Right", "rock_back"):
        P = glb_positions(os.path.join(gltf_dir, name + ".glb"))
        # only vertices in the shots' box need the exact rule
        box = ((P[:, 0] >= -390) & (P[:, 0] <= 950) & (P[:, 2] >= -600) & (P[:, 2] <= 650) &
               (P[:, 1] <= 800))
        bad = 0
        for x, y, z in P[box]:
            if clearance_problems(float(x), float(y), float(z)):
                continue
            if name in ("Bottom", "Road") and y <= 46.5 and abs(z + 153.5) < 95:
                continue      # the bridge, its pier and parapets, the road's edge
            if name == "Bottom" and x > -30.0:
                continue      # the far chasm wall's bulges, within 5 units of the shots' box
            if name == "center" and x > -392 and 160 < y < 225:
                continue      # the torch arms and bowls
            if name == "Rocks" and x > 850:
                continue      # the tunnel over the end of the road
            if bad < 3:
                print(f"  {name}: vertex ({x:.1f}, {y:.1f}, {z:.1f}) in open air")
            bad += 1
        if bad:
            problems.append(f"{name}: {bad} vertices in the camera shots' open air")
    return problems


def main():
    meshconv, mesh_dir, tex_dir = sys.argv[1:4]
    expect = {name: (pos, h) for name, (pos, h) in ENTITIES.items()}
    expect["Road_Bump"] = ENTITIES["Road"]
    expect["center_bump"] = ENTITIES["center"]
    for name, pos in (("Gates_left", GATE_LEFT), ("Gates_right", GATE_RIGHT)):
        expect[name] = (pos, GATE_HEIGHT)
        expect[name + "_Bump"] = (pos, GATE_HEIGHT)
    expect["fire"] = ((0.0, 0.0, 0.0), FIRE_HEIGHT)
    failures = []
    textures = set()
    total_faces = 0
    bounds = {}
    for name, (pos, height) in expect.items():
        lo, hi, verts, faces, maps = info(meshconv, os.path.join(mesh_dir, name + ".EMD"))
        bounds[name] = (lo, hi)
        total_faces += faces if name != "fire" else 0
        centre = [(a + b) / 2 for a, b in zip(lo, hi)]
        if any(abs(c - p) > 0.01 for c, p in zip(centre, pos)) or abs(hi[1] - lo[1] - height) > 0.01:
            failures.append(f"{name}: centre {centre} height {hi[1] - lo[1]}, want {pos} {height}")
        if max(verts) > 65535:
            failures.append(f"{name}: a mesh has {max(verts)} render vertices")
        for colour, bump, wu, wv in maps:
            textures.update(t for t in (colour, bump) if t)
        print(f"{name:17s} ok centre ({centre[0]:.3f}, {centre[1]:.3f}, {centre[2]:.3f}) "
              f"height {hi[1] - lo[1]:.3f} faces {faces} meshes {len(verts)}")
    if abs(bounds["Road"][1][1] - 33.745) > 0.01:
        failures.append("road top is not at 33.745")
    for name in ("Gates_left", "Gates_right"):
        half = (bounds[name][1][2] - bounds[name][0][2]) / 2
        if abs(half - GATE_HALF_DEPTH) > 0.01 or bounds[name] != bounds[name + "_Bump"]:
            failures.append(f"{name}: half depth {half} or bump twin bounds differ")
    failures += gate_swing_problems(bounds)
    if len(sys.argv) > 4:
        failures += intrusion_problems(sys.argv[4])
    if total_faces >= 150000:
        failures.append(f"level has {total_faces} triangles")
    size = 0
    for t in sorted(textures):
        path = os.path.join(tex_dir, t)
        if not os.path.exists(path):
            failures.append(f"missing texture {t}")
            continue
        size += os.path.getsize(path)
        img = Image.open(path)
        w, h = img.size
        if w & (w - 1) or h & (h - 1):
            failures.append(f"{t}: {w} x {h} is not a power of two")
        if t.lower().endswith(".tga"):
            if img.mode != "RGBA" or min(img.getchannel("A").getdata()) < 64:
                failures.append(f"{t}: alpha missing or below 64")
    for f in os.listdir(tex_dir):
        if f.startswith("Level_") and f not in textures:
            failures.append(f"unused texture {f}")
    print(f"level triangles {total_faces}, textures {len(textures)} files {size / 1048576:.2f} MB")
    if size > BUDGET:
        failures.append(f"textures take {size} bytes")
    for f in failures:
        print("FAIL", f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
