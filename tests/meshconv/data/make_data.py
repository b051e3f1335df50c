#!/usr/bin/python3
"""Writes the small glTF files the converter tests read (buffers embedded as base64).

Run from anywhere: /usr/bin/python3 tests/meshconv/data/make_data.py
The skinned strip also carries, in the scene's extras, where glTF's own skinning puts each of its
vertices at rest and at t = 1 s, computed here with numpy independently of the converter.
"""
import base64
import json
import math
import os
import struct

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))


class Buf:
    def __init__(self):
        self.data = bytearray()
        self.views = []
        self.accessors = []

    def add(self, array, comp, typ, target=None, minmax=False, normalized=False):
        while len(self.data) % 4:
            self.data.append(0)
        raw = array.tobytes()
        view = {"buffer": 0, "byteOffset": len(self.data), "byteLength": len(raw)}
        if target:
            view["target"] = target
        self.views.append(view)
        self.data += raw
        ncomp = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4, "MAT4": 16}[typ]
        acc = {"bufferView": len(self.views) - 1, "componentType": comp,
               "count": int(array.size // ncomp), "type": typ}
        if normalized:
            acc["normalized"] = True
        if minmax:
            a = array.reshape(-1, ncomp)
            acc["min"] = [float(x) for x in a.min(axis=0)]
            acc["max"] = [float(x) for x in a.max(axis=0)]
        self.accessors.append(acc)
        return len(self.accessors) - 1

    def f32(self, a, typ, **kw):
        return self.add(np.asarray(a, dtype="<f4"), 5126, typ, **kw)

    def u16(self, a, typ="SCALAR"):
        return self.add(np.asarray(a, dtype="<u2"), 5123, typ)

    def u8(self, a, typ):
        return self.add(np.asarray(a, dtype="u1"), 5121, typ)

    def finish(self, doc):
        doc["asset"] = {"version": "2.0"}
        doc["buffers"] = [{"byteLength": len(self.data),
                           "uri": "data:application/octet-stream;base64," +
                                  base64.b64encode(bytes(self.data)).decode()}]
        doc["bufferViews"] = self.views
        doc["accessors"] = self.accessors
        return doc


def write(name, doc):
    with open(os.path.join(HERE, name), "w") as f:
        json.dump(doc, f, indent=1)
        f.write("\n")


def quad():
    """A unit quad in the xy plane facing +z, two triangles with two materials, two uv sets."""
    b = Buf()
    pos = b.f32([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]], "VEC3", minmax=True)
    nrm = b.f32([[0, 0, 1]] * 4, "VEC3")
    uv0 = b.f32([[0, 1], [2, 1], [2, -1], [0, -1]], "VEC2")
    uv1 = b.f32([[0, 0], [0.5, 0], [0.5, 0.5], [0, 0.5]], "VEC2")
    i0 = b.u16([0, 1, 2])
    i1 = b.u16([0, 2, 3])
    attrs = {"POSITION": pos, "NORMAL": nrm, "TEXCOORD_0": uv0, "TEXCOORD_1": uv1}
    doc = {
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"name": "Quad", "mesh": 0, "translation": [10, 0, 5]}],
        "meshes": [{"name": "QuadMesh", "primitives": [
            {"attributes": attrs, "indices": i0, "material": 0},
            {"attributes": attrs, "indices": i1, "material": 1}]}],
        "materials": [
            {"name": "Stone",
             "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}, "baseColorFactor": [0.5, 0.25, 1.0, 1.0]},
             "normalTexture": {"index": 1}},
            {"name": "Leaf",
             "pbrMetallicRoughness": {"baseColorTexture": {"index": 2}},
             "occlusionTexture": {"index": 3, "texCoord": 1},
             "extras": {"colourMap": "leaf.tga", "wrapU": 0, "ambient": [0.1, 0.2, 0.3],
                        "specular": [0.7, 0.7, 0.7, 1.0]}}],
        "samplers": [{"wrapS": 10497, "wrapT": 33648}, {"wrapS": 33648, "wrapT": 10497}],
        "images": [{"uri": "textures/Stone%20Wall.jpg"}, {"uri": "..\\textures\\StoneWallDOT3.jpg"},
                   {"uri": "leaf_original.png"}, {"name": "light.jpg",
                                                   "uri": "data:image/png;base64,iVBORw0KGgo="}],
        "textures": [{"sampler": 0, "source": 0}, {"source": 1}, {"sampler": 1, "source": 2}, {"source": 3}],
    }
    write("quad.gltf", b.finish(doc))


def cube():
    """A 2-unit cube with hard edges: 24 glTF vertices (4 per face, face normals), no uvs;
    plus a node with the same corners but no normals at all (flat normals computed), and the
    hard-edged cube again under a mirroring scale (its winding must be reversed)."""
    b = Buf()
    faces = [((1, 0, 0), [(1, -1, -1), (1, 1, -1), (1, 1, 1), (1, -1, 1)]),
             ((-1, 0, 0), [(-1, -1, 1), (-1, 1, 1), (-1, 1, -1), (-1, -1, -1)]),
             ((0, 1, 0), [(-1, 1, -1), (-1, 1, 1), (1, 1, 1), (1, 1, -1)]),
             ((0, -1, 0), [(-1, -1, 1), (-1, -1, -1), (1, -1, -1), (1, -1, 1)]),
             ((0, 0, 1), [(1, -1, 1), (1, 1, 1), (-1, 1, 1), (-1, -1, 1)]),
             ((0, 0, -1), [(-1, -1, -1), (-1, 1, -1), (1, 1, -1), (1, -1, -1)])]
    pos, nrm, idx = [], [], []
    for n, quad_ in faces:
        base = len(pos)
        pos += quad_
        nrm += [n] * 4
        # counter-clockwise seen from outside: check with the face normal
        a, bb, c = (np.array(quad_[k], float) for k in (0, 1, 2))
        if np.dot(np.cross(bb - a, c - a), n) > 0:
            idx += [base, base + 1, base + 2, base, base + 2, base + 3]
        else:
            idx += [base, base + 2, base + 1, base, base + 3, base + 2]
    p = b.f32(pos, "VEC3", minmax=True)
    nn = b.f32(nrm, "VEC3")
    ii = b.u16(idx)
    doc = {
        "scenes": [{"nodes": [0, 1, 2]}],
        "nodes": [{"name": "Cube", "mesh": 0},
                  {"name": "FlatCube", "mesh": 1, "translation": [0, 5, 0]},
                  {"name": "MirroredCube", "mesh": 0, "translation": [0, -5, 0], "scale": [-1, 1, 1]}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": p, "NORMAL": nn}, "indices": ii}]},
                   {"primitives": [{"attributes": {"POSITION": p}, "indices": ii}]}],
    }
    write("cube.gltf", b.finish(doc))


# ---- column-vector glTF math for the expected skinning --------------------------------------

def quat_matrix(q):
    x, y, z, w = q
    return np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w), 0],
                     [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w), 0],
                     [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y), 0],
                     [0, 0, 0, 1]])


def trs(t=(0, 0, 0), r=(0, 0, 0, 1), s=(1, 1, 1)):
    m = quat_matrix(r) @ np.diag([s[0], s[1], s[2], 1.0])
    m[:3, 3] = t
    return m


def axis_angle(axis, deg):
    axis = np.array(axis, float) / np.linalg.norm(axis)
    h = math.radians(deg) / 2
    return [*(axis * math.sin(h)), math.cos(h)]


def skin():
    """A strip of 2 x 3 vertices up +y, bound to two bones (Lower, Upper) under a rotated,
    scaled armature node. Upper is listed before Lower in the skin, so the converter has to
    reorder the joints. One second of animation: Upper turns 90 degrees about (1, 1, 1), Lower
    moves along x; a third bone (Tip) has no channel at all. A mesh without a skin (Hat) hangs
    below Upper and must follow it rigidly."""
    b = Buf()
    pos = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [1, 1, 0], [0, 2, 0], [1, 2, 0]], float)
    nrm = np.array([[0, 0, 1]] * 6, float)
    # joint indices into skin.joints = [Upper(node 2), Lower(node 1), Tip(node 3)]
    joints = np.array([[1, 0, 0, 0], [1, 0, 0, 0], [1, 0, 0, 0], [0, 1, 0, 0], [0, 2, 0, 0], [0, 0, 0, 0]])
    weights = np.array([[1, 0, 0, 0], [1, 0, 0, 0], [0.5, 0.5, 0, 0], [0.25, 0.75, 0, 0],
                        [0.6, 0.2, 0, 0], [1, 0, 0, 0]], float)  # row 4 sums to 0.8: renormalised
    idx = [0, 1, 3, 0, 3, 2, 2, 3, 5, 2, 5, 4]

    arm = trs(t=(0, 0, 0), r=axis_angle((1, 0, 0), 30), s=(0.5, 0.5, 0.5))
    lower_rest = dict(t=(0.25, 0, 0), r=axis_angle((0, 0, 1), 10))
    upper_rest = dict(t=(0, 2, 0))
    tip_rest = dict(t=(0, 2, 0))

    def globals_at(lower_t, upper_r):
        g_arm = arm
        g_lower = g_arm @ trs(t=lower_t, r=lower_rest["r"])
        g_upper = g_lower @ trs(t=upper_rest["t"], r=upper_r)
        g_tip = g_upper @ trs(t=tip_rest["t"])
        return {"Upper": g_upper, "Lower": g_lower, "Tip": g_tip}

    rest = globals_at(lower_rest["t"], (0, 0, 0, 1))
    order = ["Upper", "Lower", "Tip"]
    ibm = [np.linalg.inv(rest[n]) for n in order]
    ibm_flat = np.concatenate([m.T.reshape(-1) for m in ibm])  # column-major

    lower_t_end = (1.25, 0, 0)
    upper_r_end = axis_angle((1, 1, 1), 90)
    end = globals_at(lower_t_end, upper_r_end)

    def skinned(g):
        out = []
        for v in range(6):
            w = weights[v] / weights[v].sum()
            p = np.zeros(4)
            for k in range(4):
                if w[k] > 0:
                    j = joints[v][k]
                    p += w[k] * (g[order[j]] @ ibm[j] @ np.append(pos[v], 1.0))
            out.append([float(x) for x in p[:3]])
        return out

    hat_local = trs(t=(0, 0.5, 0), r=axis_angle((0, 1, 0), 20))
    hat_pos = np.array([[0, 0, 0], [0.5, 0, 0], [0, 0, 0.5]], float)

    def hat(g):
        return [[float(x) for x in (g["Upper"] @ hat_local @ np.append(p, 1.0))[:3]] for p in hat_pos]

    HP = b.f32(hat_pos, "VEC3", minmax=True)
    P = b.f32(pos, "VEC3", minmax=True)
    N = b.f32(nrm, "VEC3")
    J = b.u8(joints, "VEC4")
    W = b.f32(weights, "VEC4")
    I = b.u16(idx)
    IB = b.f32(ibm_flat, "MAT4")
    times = b.f32([0.0, 0.5, 1.0], "SCALAR", minmax=True)
    rot = b.f32([[0, 0, 0, 1], axis_angle((1, 1, 1), 45), upper_r_end], "VEC4")
    tr = b.f32([lower_rest["t"], (0.75, 0, 0), lower_t_end], "VEC3")
    step_times = b.f32([0.0, 0.4], "SCALAR", minmax=True)
    step_vals = b.f32([lower_rest["t"], (5, 5, 5)], "VEC3")
    late_times = b.f32([0.5, 1.0], "SCALAR", minmax=True)
    late_vals = b.f32([lower_rest["t"], (2, 0, 0)], "VEC3")
    doc = {
        "scene": 0,
        "scenes": [{"nodes": [0, 5],
                    "extras": {"rest": skinned(rest), "t1000": skinned(end),
                               "hatAt1000": hat(end),
                               "lowerAt1000": [float(x) for x in end["Lower"].T.reshape(-1)],
                               "upperAt1000": [float(x) for x in end["Upper"].T.reshape(-1)]}}],
        "nodes": [
            {"name": "Armature", "children": [1], "rotation": axis_angle((1, 0, 0), 30), "scale": [0.5, 0.5, 0.5]},
            {"name": "Lower", "children": [2], "translation": list(lower_rest["t"]), "rotation": lower_rest["r"]},
            {"name": "Upper", "children": [3, 6], "translation": list(upper_rest["t"])},
            {"name": "Tip", "translation": list(tip_rest["t"])},
            {"name": "StripMesh", "mesh": 0, "skin": 0},
            {"name": "Holder", "children": [4], "translation": [100, 0, 0]},
            {"name": "Hat", "mesh": 1, "translation": [0, 0.5, 0], "rotation": axis_angle((0, 1, 0), 20)},
        ],
        "meshes": [{"primitives": [{"attributes": {"POSITION": P, "NORMAL": N, "JOINTS_0": J, "WEIGHTS_0": W},
                                    "indices": I}]},
                   {"primitives": [{"attributes": {"POSITION": HP}}]}],
        "skins": [{"joints": [2, 1, 3], "inverseBindMatrices": IB}],
        "animations": [
            {"name": "Bend",
             "samplers": [{"input": times, "output": rot}, {"input": times, "output": tr}],
             "channels": [{"sampler": 0, "target": {"node": 2, "path": "rotation"}},
                          {"sampler": 1, "target": {"node": 1, "path": "translation"}}]},
            {"name": "Jump",
             "samplers": [{"input": step_times, "output": step_vals, "interpolation": "STEP"}],
             "channels": [{"sampler": 0, "target": {"node": 1, "path": "translation"}}]},
            {"name": "Late",
             "samplers": [{"input": late_times, "output": late_vals}],
             "channels": [{"sampler": 0, "target": {"node": 1, "path": "translation"}}]},
        ],
    }
    write("skin.gltf", b.finish(doc))


def bad():
    """Broken files: each must be refused with a message, never crash."""
    with open(os.path.join(HERE, "quad.gltf")) as f:
        good = json.load(f)

    def variant(name, change):
        doc = json.loads(json.dumps(good))
        change(doc)
        write(name, doc)

    variant("bad_missing_buffer.gltf", lambda d: d["buffers"][0].update(uri="not_there.bin"))
    variant("bad_index_range.gltf", lambda d: d["meshes"][0]["primitives"][0].update(indices=99))

    def short_view(d):
        d["bufferViews"][0]["byteLength"] = 20  # 4 positions need 48 bytes
    variant("bad_short_view.gltf", short_view)

    variant("bad_huge_scale.gltf", lambda d: d["nodes"][0].update(scale=[1e300, 1, 1]))

    def lines(d):
        d["meshes"][0]["primitives"][0]["mode"] = 1
    variant("bad_lines.gltf", lines)

    # A quad stored as 4 indices: vertex index 3 is in range, but 4 is not a whole triangle count.
    b = Buf()
    p = b.f32([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]], "VEC3", minmax=True)
    i = b.u16([0, 1, 2, 3])
    write("bad_quads.gltf", b.finish({"nodes": [{"name": "Q", "mesh": 0}], "scenes": [{"nodes": [0]}],
                                      "meshes": [{"primitives": [{"attributes": {"POSITION": p}, "indices": i}]}]}))
    # A vertex index past the end of POSITION.
    b = Buf()
    p = b.f32([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]], "VEC3", minmax=True)
    i = b.u16([0, 1, 7])
    write("bad_vertex_index.gltf", b.finish({"nodes": [{"name": "Q", "mesh": 0}], "scenes": [{"nodes": [0]}],
                                             "meshes": [{"primitives": [{"attributes": {"POSITION": p},
                                                                         "indices": i}]}]}))
    with open(os.path.join(HERE, "bad_json.gltf"), "w") as f:
        f.write('{"asset": {"version": "2.0"}, "nodes": [ {"name": ')


if __name__ == "__main__":
    quad()
    cube()
    skin()
    bad()
