"""Surface patches, light-map atlases and the glTF writer of the level models.

A patch is a parametric surface P(u, v), u and v in [0, 1], given as a vectorised function that
returns model-space points (left-handed, +Y up: the space the mesh files use). The same function
is sampled coarsely for the mesh and finely for the light map, so the baked light follows the
displaced surface exactly. Every patch becomes one mesh node in the glTF file (one culling unit).

glTF is right-handed: a model-space point (x, y, z) is written as (x, y, -z) with the triangle's
corners in the order given here, so a triangle whose model-space cross product (b - a) x (c - a)
points into the surface is counter-clockwise, a front face, in glTF. The converter reverses the
corner order as it mirrors back, which makes it a clockwise front face for Direct3D.
"""
import base64
import json
import struct

import numpy as np


class Patch:
    def __init__(self, name, fn, nu, nv, material, outward=1, tile=(256.0, 256.0), ao=None,
                 lightmap=True, uv0=None):
        self.name = name
        self.fn = fn            # fn(u, v) -> (..., 3) model-space points
        self.nu = max(2, int(nu))
        self.nv = max(2, int(nv))
        self.material = material
        # +1: the outside is along dP/du x dP/dv (model-space cross product), -1: opposite; a
        # 3-vector is a rough outside direction at the patch centre and picks the sign itself
        self.outward = outward
        self.tile = tile        # world units per repeat of the colour map along u and v
        self.ao = ao            # optional ao(u, v) -> factor in [0, 1] baked into the light map
        self.lightmap = lightmap
        self.uv0 = uv0          # optional uv0(u, v, P) -> (..., 2) instead of arc-length mapping
        if not np.isscalar(outward):
            self.outward = 1
            n = self.normals(np.array(0.5), np.array(0.5))
            self.outward = 1 if np.dot(n, np.asarray(outward, float)) >= 0 else -1

    def sample(self, u, v):
        return np.asarray(self.fn(u, v), dtype=np.float64)

    def normals(self, u, v, eps=1e-3):
        """Unit outward normals by central differences in parameter space."""
        u0 = np.clip(u - eps, 0, 1)
        u1 = np.clip(u + eps, 0, 1)
        v0 = np.clip(v - eps, 0, 1)
        v1 = np.clip(v + eps, 0, 1)
        du = self.sample(u1, v) - self.sample(u0, v)
        dv = self.sample(u, v1) - self.sample(u, v0)
        n = np.cross(du, dv) * self.outward
        ln = np.linalg.norm(n, axis=-1, keepdims=True)
        bad = ln[..., 0] < 1e-12
        n = n / np.maximum(ln, 1e-12)
        if np.any(bad):
            n[bad] = (0.0, 1.0, 0.0)
        return n


class MeshData:
    """Triangulated patch: positions, normals, two uv sets, triangle indices (model space)."""

    def __init__(self, name, material, pos, nrm, uv0, uv1, tris):
        self.name = name
        self.material = material
        self.pos = pos.astype(np.float32)
        self.nrm = nrm.astype(np.float32)
        self.uv0 = uv0.astype(np.float32)
        self.uv1 = uv1.astype(np.float32)
        self.tris = tris.astype(np.uint32)


def grid_triangles(nu, nv, outward_cross_sign):
    """Two triangles per grid cell, wound so that Direct3D keeps the outside (see module doc)."""
    i, j = np.meshgrid(np.arange(nu - 1), np.arange(nv - 1), indexing="ij")
    a = (i * nv + j).ravel()
    b = ((i + 1) * nv + j).ravel()
    c = (i * nv + j + 1).ravel()
    d = ((i + 1) * nv + j + 1).ravel()
    if outward_cross_sign > 0:
        # the outside is along (b - a) x (c - a): reverse that order
        t1 = np.stack([a, c, b], 1)
        t2 = np.stack([b, c, d], 1)
    else:
        t1 = np.stack([a, b, c], 1)
        t2 = np.stack([b, d, c], 1)
    return np.concatenate([t1, t2])


def arc_length_uv(P, tile):
    """uv0 from distances measured along the grid lines, so the colour map keeps its scale on
    stretched and displaced surfaces."""
    du = np.linalg.norm(np.diff(P, axis=0), axis=-1)
    dv = np.linalg.norm(np.diff(P, axis=1), axis=-1)
    su = np.concatenate([np.zeros((1, P.shape[1])), np.cumsum(du, axis=0)], 0)
    sv = np.concatenate([np.zeros((P.shape[0], 1)), np.cumsum(dv, axis=1)], 1)
    return np.stack([su / tile[0], sv / tile[1]], -1)


class Atlas:
    """Shelf packing of patch rectangles into one square light map."""

    def __init__(self, size, pad=2):
        self.size = size
        self.pad = pad

    def pack(self, patches):
        dims = []
        for p in patches:
            P = p.sample(*np.meshgrid(np.linspace(0, 1, 9), np.linspace(0, 1, 9), indexing="ij"))
            lu = np.linalg.norm(np.diff(P, axis=0), axis=-1).sum(0).mean()
            lv = np.linalg.norm(np.diff(P, axis=1), axis=-1).sum(1).mean()
            dims.append((max(lu, 1.0), max(lv, 1.0)))
        # the largest texel density at which the shelves still fit, by bisection
        lo, hi = 0.0, 8.0
        best = None
        for _ in range(30):
            mid = (lo + hi) / 2
            rects = self._try(dims, mid)
            if rects is None:
                hi = mid
            else:
                lo, best = mid, rects
        if best is None:
            raise RuntimeError("light map atlas cannot hold the patches")
        return best

    def _try(self, dims, density):
        order = sorted(range(len(dims)), key=lambda k: -dims[k][1])
        x = y = shelf = 0
        rects = [None] * len(dims)
        for k in order:
            w = int(max(4, min(self.size - 2 * self.pad, round(dims[k][0] * density))))
            h = int(max(4, min(self.size - 2 * self.pad, round(dims[k][1] * density))))
            W = w + 2 * self.pad
            H = h + 2 * self.pad
            if x + W > self.size:
                x = 0
                y += shelf
                shelf = 0
            if y + H > self.size:
                return None
            rects[k] = (x + self.pad, y + self.pad, w, h)
            x += W
            shelf = max(shelf, H)
        return rects


def build_model(patches, atlas_size, light_fn, oversample=1):
    """Triangulates the patches, packs and bakes their light map.

    light_fn(P, N) -> (..., 3) linear light factors, 1.0 = the colour map unchanged; a patch with
    its own `light` attribute (a surface that glows by itself) uses that instead.
    Returns (meshes, light map as float image or None)."""
    lit = [p for p in patches if p.lightmap]
    atlas = Atlas(atlas_size)
    rects = dict(zip([id(p) for p in lit], atlas.pack(lit))) if lit else {}
    image = np.zeros((atlas_size, atlas_size, 3)) if lit else None
    used = np.zeros((atlas_size, atlas_size), bool)
    meshes = []
    S = float(atlas_size)
    for p in patches:
        u, v = np.meshgrid(np.linspace(0, 1, p.nu), np.linspace(0, 1, p.nv), indexing="ij")
        P = p.sample(u, v)
        N = p.normals(u, v)
        if p.uv0 is not None:
            uv0 = p.uv0(u, v, P)
        else:
            uv0 = arc_length_uv(P, p.tile)
        if id(p) in rects:
            x0, y0, w, h = rects[id(p)]
            uv1 = np.stack([(x0 + 0.5 + u * (w - 1)) / S, (y0 + 0.5 + v * (h - 1)) / S], -1)
            # bake: texel centres map back to parameters; the padding ring clamps to the edge
            ys, xs = np.mgrid[y0 - atlas.pad:y0 + h + atlas.pad, x0 - atlas.pad:x0 + w + atlas.pad]
            tu = np.clip((xs - x0) / max(w - 1, 1), 0, 1)
            tv = np.clip((ys - y0) / max(h - 1, 1), 0, 1)
            TP = p.sample(tu, tv)
            TN = p.normals(tu, tv)
            L = (getattr(p, "light", None) or light_fn)(TP, TN)
            if p.ao is not None:
                L = L * p.ao(tu, tv)[..., None]
            ys = np.clip(ys, 0, atlas_size - 1)
            xs = np.clip(xs, 0, atlas_size - 1)
            image[ys, xs] = L
            used[ys, xs] = True
        else:
            uv1 = np.zeros(u.shape + (2,))
        tris = grid_triangles(p.nu, p.nv, p.outward)
        meshes.append(MeshData(p.name, p.material, P.reshape(-1, 3), N.reshape(-1, 3),
                               uv0.reshape(-1, 2), uv1.reshape(-1, 2), tris))
    if image is not None:
        image = dilate(image, used)
    return meshes, image


def dilate(image, used, passes=12):
    """Spreads the baked texels into the unused atlas space, so that the smaller mip levels
    of the light map blend a patch's edge with its own light instead of with black."""
    img = image.copy()
    mask = used.copy()
    for _ in range(passes):
        acc = np.zeros_like(img)
        cnt = np.zeros(mask.shape)
        for dy, dx in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            m = np.roll(mask, (dy, dx), (0, 1))
            acc += np.roll(img, (dy, dx), (0, 1)) * m[..., None]
            cnt += m
        grow = ~mask & (cnt > 0)
        img[grow] = acc[grow] / cnt[grow][:, None]
        mask |= grow
    if mask.any():
        img[~mask] = img[mask].mean(0)
    return img


def quad_mesh(name, material, corners, normal, uvs, uv1=None):
    """One two-triangle quad (corners in order around the quad, model space) facing `normal`."""
    pos = np.asarray(corners, np.float64)
    n = np.asarray(normal, np.float64)
    tris = np.array([[0, 1, 2], [0, 2, 3]])
    c = np.cross(pos[1] - pos[0], pos[2] - pos[0])
    if np.dot(c, n) > 0:
        tris = tris[:, ::-1]
    nrm = np.tile(n / np.linalg.norm(n), (4, 1))
    uv1 = np.zeros((4, 2)) if uv1 is None else np.asarray(uv1)
    return MeshData(name, material, pos, nrm, np.asarray(uvs, np.float64), uv1, tris)


def mesh_bounds(meshes):
    lo = np.min([m.pos.min(0) for m in meshes], 0)
    hi = np.max([m.pos.max(0) for m in meshes], 0)
    return lo, hi


def write_glb(path, meshes, materials):
    """meshes: MeshData list (model space); materials: list of dicts (name, extras)."""
    blob = bytearray()
    views = []
    accessors = []

    def add(array, target, comp, typ, minmax=False):
        data = np.ascontiguousarray(array)
        while len(blob) % 4:
            blob.append(0)
        off = len(blob)
        blob.extend(data.tobytes())
        views.append({"buffer": 0, "byteOffset": off, "byteLength": data.nbytes, "target": target})
        acc = {"bufferView": len(views) - 1, "componentType": comp,
               "count": int(data.shape[0]), "type": typ}
        if minmax:
            acc["min"] = [float(x) for x in data.min(0)]
            acc["max"] = [float(x) for x in data.max(0)]
        accessors.append(acc)
        return len(accessors) - 1

    gl_meshes = []
    nodes = []
    for m in meshes:
        mirror = np.array([1, 1, -1], np.float32)
        a_pos = add((m.pos * mirror).astype(np.float32), 34962, 5126, "VEC3", True)
        a_nrm = add((m.nrm * mirror).astype(np.float32), 34962, 5126, "VEC3")
        a_uv0 = add(m.uv0.astype(np.float32), 34962, 5126, "VEC2")
        a_uv1 = add(m.uv1.astype(np.float32), 34962, 5126, "VEC2")
        a_idx = add(m.tris.reshape(-1).astype(np.uint32), 34963, 5125, "SCALAR")
        gl_meshes.append({"name": m.name, "primitives": [{
            "attributes": {"POSITION": a_pos, "NORMAL": a_nrm, "TEXCOORD_0": a_uv0,
                           "TEXCOORD_1": a_uv1},
            "indices": a_idx, "material": m.material, "mode": 4}]})
        nodes.append({"name": m.name, "mesh": len(gl_meshes) - 1})
    while len(blob) % 4:
        blob.append(0)
    gl_materials = []
    for mat in materials:
        ex = mat["extras"]
        d = ex.get("diffuse", [1.0, 1.0, 1.0])
        gl_materials.append({"name": mat["name"], "extras": ex,
                             "pbrMetallicRoughness": {"baseColorFactor": [d[0], d[1], d[2], 1.0],
                                                      "metallicFactor": 0.0,
                                                      "roughnessFactor": 1.0}})
    doc = {"asset": {"version": "2.0", "generator": "level content scripts"},
           "scene": 0, "scenes": [{"nodes": list(range(len(nodes)))}], "nodes": nodes,
           "meshes": gl_meshes, "materials": gl_materials, "accessors": accessors,
           "bufferViews": views, "buffers": [{"byteLength": len(blob)}]}
    js = json.dumps(doc).encode()
    while len(js) % 4:
        js += b" "
    out = bytearray()
    out += struct.pack("<III", 0x46546C67, 2, 12 + 8 + len(js) + 8 + len(blob))
    out += struct.pack("<II", len(js), 0x4E4F534A) + js
    out += struct.pack("<II", len(blob), 0x004E4942) + blob
    with open(path, "wb") as f:
        f.write(out)


def material(name, colour, bump, wrap=1, diffuse=(1.0, 1.0, 1.0)):
    return {"name": name, "extras": {"colourMap": colour, "bumpMap": bump, "wrapU": wrap,
                                     "wrapV": wrap, "ambient": [1.0, 1.0, 1.0],
                                     "diffuse": list(diffuse), "specular": [0.0, 0.0, 0.0]}}


def merge_groups(meshes, groups):
    """Joins meshes that share a group name and a material into one mesh (small pieces such as
    merlons would otherwise each cost a draw call); groups[i] is None for meshes kept alone."""
    out = []
    pending = {}
    for m, g in zip(meshes, groups):
        if g is None:
            out.append(m)
            continue
        key = (g, m.material)
        if key not in pending:
            pending[key] = []
            out.append(key)
        pending[key].append(m)
    result = []
    for item in out:
        if isinstance(item, MeshData):
            result.append(item)
            continue
        parts = pending[item]
        base = 0
        tris = []
        for p in parts:
            tris.append(p.tris + base)
            base += len(p.pos)
        result.append(MeshData(item[0], item[1], np.concatenate([p.pos for p in parts]),
                               np.concatenate([p.nrm for p in parts]),
                               np.concatenate([p.uv0 for p in parts]),
                               np.concatenate([p.uv1 for p in parts]), np.concatenate(tris)))
    return result
