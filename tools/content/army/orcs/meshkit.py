"""Small mesh kit for the orc models: lofted tubes, ellipsoids and boxes with per-ring bone
weights, smooth normals per part, uv cells of a texture atlas, and a glTF 2.0 writer for one
skinned mesh with its skeleton and one looping animation.

Authoring space is glTF's: right-handed, +Y up, the character faces +Z, its right hand is at -X,
front faces are counter-clockwise. Lengths are in metres of an orc about two units tall.
"""
import base64
import json
import math
import struct

import numpy as np

ATLAS = 512          # atlas size in texels
CELL = 128           # one material cell
INSET = 3.0 / ATLAS  # keep uvs off the cell borders so filtering does not bleed


def cell_rect(col, row, sub=None):
    """uv rectangle (u0, v0, u1, v1) of atlas cell (col, row); sub=(c, r, n) picks an n x n
    sub-cell of it (solid colour patches)."""
    u0, v0 = col * CELL / ATLAS, row * CELL / ATLAS
    size = CELL / ATLAS
    if sub is not None:
        c, r, n = sub
        size /= n
        u0 += c * size
        v0 += r * size
        return (u0 + size * 0.3, v0 + size * 0.3, u0 + size * 0.7, v0 + size * 0.7)
    return (u0 + INSET, v0 + INSET, u0 + size - INSET, v0 + size - INSET)


def norm(v):
    v = np.asarray(v, dtype=np.float64)
    n = np.linalg.norm(v)
    return v / n if n > 1e-12 else v


def basis_for(d, hint=(0.0, 0.0, 1.0)):
    """Two unit vectors e1, e2 with e1 x e2 = d (d unit)."""
    d = norm(d)
    h = np.asarray(hint, dtype=np.float64)
    if abs(np.dot(h, d)) > 0.95:
        h = np.array([1.0, 0.0, 0.0]) if abs(d[0]) < 0.9 else np.array([0.0, 1.0, 0.0])
    e2 = norm(np.cross(d, h))
    e1 = np.cross(e2, d)
    return e1, e2


class Mesh:
    def __init__(self):
        self.pos, self.uv, self.joints, self.weights, self.part = [], [], [], [], []
        self.tris = []
        self.parts = 0

    def _vertex(self, p, uv, bw):
        """bw: list of (bone index, weight); kept largest first, at most 4, summing to 1."""
        bw = sorted([(b, w) for b, w in bw if w > 1e-4], key=lambda x: -x[1])[:4]
        s = sum(w for _, w in bw)
        bw = [(b, w / s) for b, w in bw]
        while len(bw) < 4:
            bw.append((0, 0.0))
        self.pos.append(np.asarray(p, dtype=np.float64))
        self.uv.append(uv)
        self.joints.append([b for b, _ in bw])
        self.weights.append([w for _, w in bw])
        self.part.append(self.parts)
        return len(self.pos) - 1

    def tube(self, centres, r1, r2, rect, bones, n=12, axis_hint=(0.0, 0.0, 1.0), sexp=2.0,
             caps=(True, True), twist=0.0, shape=None, flip=False):
        """Lofted tube through `centres` (rings perpendicular to the path), radii r1 along e1 and
        r2 along e2, `bones` one weight list per ring. u runs around, v along the tube. `shape`
        (ring index, angle) -> radius factor deforms rings (jaws, brows). `flip` turns the faces
        inside out (for shells seen from inside, not used for closed parts)."""
        centres = [np.asarray(c, dtype=np.float64) for c in centres]
        k = len(centres)
        u0, v0, u1, v1 = rect
        rings = []
        for i in range(k):
            if i == 0:
                d = centres[1] - centres[0]
            elif i == k - 1:
                d = centres[-1] - centres[-2]
            else:
                d = centres[i + 1] - centres[i - 1]
            e1, e2 = basis_for(d, axis_hint)
            ring = []
            for j in range(n + 1):
                a = 2 * math.pi * j / n + twist
                c, s = math.cos(a), math.sin(a)
                ce = math.copysign(abs(c) ** (2.0 / sexp), c)
                se = math.copysign(abs(s) ** (2.0 / sexp), s)
                f = shape(i, a % (2 * math.pi)) if shape else 1.0
                p = centres[i] + e1 * r1[i] * ce * f + e2 * r2[i] * se * f
                uv = (u0 + (u1 - u0) * j / n, v0 + (v1 - v0) * i / max(1, k - 1))
                ring.append(self._vertex(p, uv, bones[i]))
            rings.append(ring)
        for i in range(k - 1):
            for j in range(n):
                a, b = rings[i][j], rings[i][j + 1]
                c, d = rings[i + 1][j + 1], rings[i + 1][j]
                self._quad(a, b, c, d, flip)
        mid = ((u0 + u1) / 2, v0)
        if caps[0]:
            dd = norm(centres[1] - centres[0])
            pole = self._vertex(centres[0] - dd * 0.25 * min(r1[0], r2[0]), (mid[0], v0), bones[0])
            for j in range(n):
                self._tri(pole, rings[0][j + 1], rings[0][j], flip)
        if caps[1]:
            dd = norm(centres[-1] - centres[-2])
            pole = self._vertex(centres[-1] + dd * 0.25 * min(r1[-1], r2[-1]), (mid[0], v1), bones[-1])
            for j in range(n):
                self._tri(pole, rings[-1][j], rings[-1][j + 1], flip)
        self.parts += 1

    def ellipsoid(self, centre, radii, rect, bones, n=10, rings=6, axis=(0.0, 1.0, 0.0),
                  hint=(0.0, 0.0, 1.0), cut=1.0, sexp=2.0):
        """Ellipsoid with radii (along e1, along axis, along e2); cut < 1 keeps only the part above
        -cut along the axis (a dome: cut = 0 gives a half shell closed by a flat cap)."""
        axis = norm(axis)
        e1, e2 = basis_for(axis, hint)
        c = np.asarray(centre, dtype=np.float64)
        t0 = -math.asin(min(1.0, cut))
        cs, r1, r2 = [], [], []
        for i in range(rings + 1):
            t = t0 + (math.pi / 2 - t0) * i / rings
            cs.append(c + axis * radii[1] * math.sin(t))
            rr = max(math.cos(t), 1e-3)
            r1.append(radii[0] * rr)
            r2.append(radii[2] * rr)
        # tube() builds its ring frame from the path direction, which is `axis` throughout.
        self.tube(cs, r1, r2, rect, [bones] * (rings + 1), n=n, axis_hint=hint,
                  sexp=sexp, caps=(cut < 0.999, False))

    def box(self, centre, half, rect, bones, along="y", sexp=8.0):
        """A rounded box with half extents (hx, hy, hz) in model axes, built as a four-sided tube
        (high superellipse exponent) along one of the axes."""
        c = np.asarray(centre, dtype=np.float64)
        hx, hy, hz = half
        if along == "y":
            axis, length, r1, r2, hint = (0, 1, 0), hy, hz, hx, (0, 0, 1)
        elif along == "z":
            axis, length, r1, r2, hint = (0, 0, 1), hz, hy, hx, (0, 1, 0)
        else:
            axis, length, r1, r2, hint = (1, 0, 0), hx, hy, hz, (0, 1, 0)
        axis = np.asarray(axis, dtype=np.float64)
        self.tube([c - axis * length, c - axis * length * 0.9, c + axis * length * 0.9, c + axis * length],
                  [r1 * 0.85, r1, r1, r1 * 0.85], [r2 * 0.85, r2, r2, r2 * 0.85],
                  rect, [bones] * 4, n=8, axis_hint=hint, sexp=sexp)

    def _tri(self, a, b, c, flip=False):
        self.tris.append((a, c, b) if flip else (a, b, c))

    def _quad(self, a, b, c, d, flip=False):
        self._tri(a, b, c, flip)
        self._tri(a, c, d, flip)

    def normals(self):
        pos = np.array(self.pos)
        tris = np.array(self.tris)
        fn = np.cross(pos[tris[:, 1]] - pos[tris[:, 0]], pos[tris[:, 2]] - pos[tris[:, 0]])
        acc = np.zeros_like(pos)
        for k in range(3):
            np.add.at(acc, tris[:, k], fn)
        # Seams and poles: vertices of one part at the same place share their normal.
        key = {}
        part = self.part
        for i, p in enumerate(pos):
            key.setdefault((part[i],) + tuple(np.round(p * 2000).astype(int)), []).append(i)
        out = acc.copy()
        for idx in key.values():
            if len(idx) > 1:
                out[idx] = acc[idx].sum(axis=0)
        ln = np.linalg.norm(out, axis=1, keepdims=True)
        ln[ln < 1e-12] = 1.0
        out = out / ln
        out[np.linalg.norm(out, axis=1) < 0.5] = (0.0, 1.0, 0.0)
        return out


# ---- rotations ---------------------------------------------------------------------------

def rot_x(a):
    c, s = math.cos(a), math.sin(a)
    return np.array([[1, 0, 0], [0, c, -s], [0, s, c]])


def rot_y(a):
    c, s = math.cos(a), math.sin(a)
    return np.array([[c, 0, s], [0, 1, 0], [-s, 0, c]])


def rot_z(a):
    c, s = math.cos(a), math.sin(a)
    return np.array([[c, -s, 0], [s, c, 0], [0, 0, 1]])


def quat_from_matrix(m):
    """(x, y, z, w) of a proper rotation matrix (column vectors)."""
    t = np.trace(m)
    if t > 0:
        s = math.sqrt(t + 1.0) * 2
        w, x = 0.25 * s, (m[2, 1] - m[1, 2]) / s
        y, z = (m[0, 2] - m[2, 0]) / s, (m[1, 0] - m[0, 1]) / s
    elif m[0, 0] > m[1, 1] and m[0, 0] > m[2, 2]:
        s = math.sqrt(1.0 + m[0, 0] - m[1, 1] - m[2, 2]) * 2
        w, x = (m[2, 1] - m[1, 2]) / s, 0.25 * s
        y, z = (m[0, 1] + m[1, 0]) / s, (m[0, 2] + m[2, 0]) / s
    elif m[1, 1] > m[2, 2]:
        s = math.sqrt(1.0 + m[1, 1] - m[0, 0] - m[2, 2]) * 2
        w, x = (m[0, 2] - m[2, 0]) / s, (m[0, 1] + m[1, 0]) / s
        y, z = 0.25 * s, (m[1, 2] + m[2, 1]) / s
    else:
        s = math.sqrt(1.0 + m[2, 2] - m[0, 0] - m[1, 1]) * 2
        w, x = (m[1, 0] - m[0, 1]) / s, (m[0, 2] + m[2, 0]) / s
        y, z = (m[1, 2] + m[2, 1]) / s, 0.25 * s
    q = np.array([x, y, z, w])
    q /= np.linalg.norm(q)
    return q if q[3] >= 0 else -q


# ---- glTF ----------------------------------------------------------------------------------

class GltfWriter:
    def __init__(self):
        self.blob = bytearray()
        self.views, self.accessors = [], []

    def add(self, array, ctype, atype, target=None, minmax=False):
        data = np.ascontiguousarray(array)
        while len(self.blob) % 4:
            self.blob.append(0)
        off = len(self.blob)
        self.blob += data.tobytes()
        view = {"buffer": 0, "byteOffset": off, "byteLength": data.nbytes}
        if target:
            view["target"] = target
        self.views.append(view)
        acc = {"bufferView": len(self.views) - 1, "componentType": ctype,
               "count": int(data.shape[0]), "type": atype}
        if minmax:
            flat = data.reshape(data.shape[0], -1)
            acc["min"] = [float(x) for x in flat.min(axis=0)]
            acc["max"] = [float(x) for x in flat.max(axis=0)]
        self.accessors.append(acc)
        return len(self.accessors) - 1


def write_gltf(path, mesh_name, mesh, bones, rest_heads, anim_times, anim_local, material):
    """bones: list of (name, parent); rest_heads: rest joint positions (all rest rotations are
    the identity); anim_local(t) -> list of (translation, quaternion) local to the parent."""
    w = GltfWriter()
    pos = np.array(mesh.pos, dtype=np.float32)
    nrm = mesh.normals().astype(np.float32)
    uv = np.array(mesh.uv, dtype=np.float32)
    jn = np.array(mesh.joints, dtype=np.uint16)
    wt = np.array(mesh.weights, dtype=np.float32)
    idx = np.array(mesh.tris, dtype=np.uint32).reshape(-1)
    a_pos = w.add(pos, 5126, "VEC3", 34962, minmax=True)
    a_nrm = w.add(nrm, 5126, "VEC3", 34962)
    a_uv = w.add(uv, 5126, "VEC2", 34962)
    a_jn = w.add(jn, 5123, "VEC4", 34962)
    a_wt = w.add(wt, 5126, "VEC4", 34962)
    a_idx = w.add(idx, 5125, "SCALAR", 34963)

    heads = np.array(rest_heads, dtype=np.float64)
    ibm = []
    for h in heads:
        m = np.eye(4)
        m[:3, 3] = -h
        ibm.append(m.T.reshape(-1))  # column-major
    a_ibm = w.add(np.array(ibm, dtype=np.float32), 5126, "MAT4")

    nodes = []
    for i, (name, parent) in enumerate(bones):
        t = heads[i] - (heads[parent] if parent >= 0 else 0)
        nodes.append({"name": name, "translation": [float(x) for x in t]})
    for i, (name, parent) in enumerate(bones):
        if parent >= 0:
            nodes[parent].setdefault("children", []).append(i)
    mesh_node = len(nodes)
    nodes.append({"name": mesh_name, "mesh": 0, "skin": 0})

    times = np.array(anim_times, dtype=np.float32)
    a_time = w.add(times, 5126, "SCALAR", minmax=True)
    frames = [anim_local(t) for t in anim_times]
    samplers, channels = [], []
    for b in range(len(bones)):
        tr = np.array([f[b][0] for f in frames], dtype=np.float32)
        q = np.array([f[b][1] for f in frames], dtype=np.float64)
        for k in range(1, len(q)):  # shortest arcs between neighbouring keys
            if np.dot(q[k], q[k - 1]) < 0:
                q[k] = -q[k]
        a_t = w.add(tr, 5126, "VEC3")
        a_q = w.add(q.astype(np.float32), 5126, "VEC4")
        samplers.append({"input": a_time, "output": a_t, "interpolation": "LINEAR"})
        channels.append({"sampler": len(samplers) - 1, "target": {"node": b, "path": "translation"}})
        samplers.append({"input": a_time, "output": a_q, "interpolation": "LINEAR"})
        channels.append({"sampler": len(samplers) - 1, "target": {"node": b, "path": "rotation"}})

    roots = [i for i, (_, p) in enumerate(bones) if p < 0]
    images = [{"uri": material["colourMap"]}, {"uri": material["bumpMap"]}]
    doc = {
        "asset": {"version": "2.0", "generator": "orc kit"},
        "scene": 0,
        "scenes": [{"nodes": roots + [mesh_node]}],
        "nodes": nodes,
        "meshes": [{"name": mesh_name, "primitives": [{
            "attributes": {"POSITION": a_pos, "NORMAL": a_nrm, "TEXCOORD_0": a_uv,
                           "JOINTS_0": a_jn, "WEIGHTS_0": a_wt},
            "indices": a_idx, "material": 0}]}],
        "skins": [{"joints": list(range(len(bones))), "inverseBindMatrices": a_ibm,
                   "skeleton": roots[0]}],
        "animations": [{"name": "walk", "samplers": samplers, "channels": channels}],
        "materials": [{"name": material["name"],
                       "pbrMetallicRoughness": {"baseColorTexture": {"index": 0},
                                                "metallicFactor": 0.0, "roughnessFactor": 0.9},
                       "normalTexture": {"index": 1},
                       "extras": {k: material[k] for k in
                                  ("colourMap", "bumpMap", "ambient", "diffuse", "specular",
                                   "wrapU", "wrapV")}}],
        "textures": [{"source": 0, "sampler": 0}, {"source": 1, "sampler": 0}],
        "samplers": [{"wrapS": 10497, "wrapT": 10497}],
        "images": images,
        "buffers": [{"byteLength": len(w.blob),
                     "uri": "data:application/octet-stream;base64," +
                            base64.b64encode(bytes(w.blob)).decode()}],
        "bufferViews": w.views,
        "accessors": w.accessors,
    }
    with open(path, "w") as f:
        json.dump(doc, f)
    return len(mesh.tris), len(mesh.pos)
