"""Small hard-surface mesh kit: lofts, lathes, boxes, pillow extrusions, atlas UVs, glTF output.

Everything is authored in glTF space (right-handed, +Y up, counter-clockwise front faces); the
converter mirrors z into model space. A unit's forward is glTF +Z (model -Z), its sideways axis X.
"""
import base64
import json
import math
import struct

import numpy as np


class Part:
    """One piece of geometry with its own vertices (positions, normals, uvs) and triangles."""

    def __init__(self, P, N, T, uv=None, tile=None):
        self.P = np.asarray(P, dtype=np.float64).reshape(-1, 3)
        self.N = np.asarray(N, dtype=np.float64).reshape(-1, 3)
        self.T = np.asarray(T, dtype=np.int64).reshape(-1, 3)
        self.uv = None if uv is None else np.asarray(uv, dtype=np.float64).reshape(-1, 2)
        self.tile = tile

    def copy(self):
        return Part(self.P.copy(), self.N.copy(), self.T.copy(),
                    None if self.uv is None else self.uv.copy(), self.tile)

    # --- transforms (return self so calls chain) ---
    def apply(self, M):
        """Applies a 3x3 linear map (column-vector convention) to positions and normals."""
        M = np.asarray(M, dtype=np.float64)
        self.P = self.P @ M.T
        Ninv = np.linalg.inv(M).T
        N = self.N @ Ninv.T
        self.N = N / np.maximum(np.linalg.norm(N, axis=1, keepdims=True), 1e-12)
        if np.linalg.det(M) < 0:
            self.T = self.T[:, ::-1].copy()
        return self

    def move(self, x=0.0, y=0.0, z=0.0):
        self.P = self.P + np.array([x, y, z], dtype=np.float64)
        return self

    def rot(self, axis, deg):
        return self.apply(rotation(axis, deg))

    def scale(self, sx, sy=None, sz=None):
        sy = sx if sy is None else sy
        sz = sx if sz is None else sz
        return self.apply(np.diag([sx, sy, sz]))

    def mirrored(self, axis=0):
        m = np.eye(3)
        m[axis, axis] = -1
        return self.copy().apply(m)

    def with_tile(self, tile):
        self.tile = tile
        return self


def rotation(axis, deg):
    a = math.radians(deg)
    c, s = math.cos(a), math.sin(a)
    if axis == 'x':
        return np.array([[1, 0, 0], [0, c, -s], [0, s, c]])
    if axis == 'y':
        return np.array([[c, 0, s], [0, 1, 0], [-s, 0, c]])
    return np.array([[c, -s, 0], [s, c, 0], [0, 0, 1]])


def frame_for(direction):
    """Two unit vectors perpendicular to `direction` (and to each other)."""
    d = np.asarray(direction, dtype=np.float64)
    d = d / np.linalg.norm(d)
    ref = np.array([0.0, 1.0, 0.0]) if abs(d[1]) < 0.9 else np.array([1.0, 0.0, 0.0])
    a = np.cross(ref, d)
    a /= np.linalg.norm(a)
    b = np.cross(d, a)
    return a, b


# ---------------------------------------------------------------------------------------------
# Primitive builders
# ---------------------------------------------------------------------------------------------

def _face_normals(P, T):
    n = np.cross(P[T[:, 1]] - P[T[:, 0]], P[T[:, 2]] - P[T[:, 0]])
    return n / np.maximum(np.linalg.norm(n, axis=1, keepdims=True), 1e-12)


def loft(rings, closed=True, cap0=True, cap1=True, smooth=True, tile=None, u_wrap=True):
    """Skins a list of rings (each K x 3, same K, counter-clockwise seen from the end that the
    list runs towards) into a tube. u runs around the ring, v along the list. Caps are flat fans.
    smooth=False gives every side quad its own vertices and normal."""
    R = [np.asarray(r, dtype=np.float64) for r in rings]
    K = len(R[0])
    L = len(R)
    P, N, UV, T = [], [], [], []
    # arc-length v along the axis of ring centres
    cents = np.array([r.mean(axis=0) for r in R])
    seg = np.linalg.norm(np.diff(cents, axis=0), axis=1)
    vpos = np.concatenate([[0.0], np.cumsum(seg)])
    vpos = vpos / max(vpos[-1], 1e-9)
    kk = K + 1 if closed else K
    if smooth:
        base = 0
        grid = np.zeros((L, kk, 3))
        for i in range(L):
            for j in range(kk):
                grid[i, j] = R[i][j % K]
        # normals by finite differences over the grid
        d_u = np.zeros_like(grid)
        d_v = np.zeros_like(grid)
        for i in range(L):
            for j in range(kk):
                jn = (j + 1) % K if closed else min(j + 1, K - 1)
                jp = (j - 1) % K if closed else max(j - 1, 0)
                d_u[i, j] = R[i][jn] - R[i][jp]
                i_n, i_p = min(i + 1, L - 1), max(i - 1, 0)
                d_v[i, j] = R[i_n][j % K] - R[i_p][j % K]
        nrm = np.cross(d_u, d_v)
        nrm /= np.maximum(np.linalg.norm(nrm, axis=2, keepdims=True), 1e-12)
        for i in range(L):
            for j in range(kk):
                P.append(grid[i, j])
                N.append(nrm[i, j])
                UV.append((j / (kk - 1), vpos[i]))
        for i in range(L - 1):
            for j in range(kk - 1):
                a = base + i * kk + j
                b = a + 1
                c = a + kk
                d = c + 1
                T += [(a, b, d), (a, d, c)]
    else:
        for i in range(L - 1):
            for j in range(K if closed else K - 1):
                jn = (j + 1) % K
                q = [R[i][j], R[i][jn], R[i + 1][jn], R[i + 1][j]]
                n = np.cross(q[2] - q[0], q[3] - q[1])  # diagonals: robust for slim quads
                n /= max(np.linalg.norm(n), 1e-12)
                b = len(P)
                P += q
                N += [n] * 4
                UV += [(j / K, vpos[i]), ((j + 1) / K, vpos[i]), ((j + 1) / K, vpos[i + 1]),
                       (j / K, vpos[i + 1])]
                T += [(b, b + 1, b + 2), (b, b + 2, b + 3)]
    parts = [Part(P, N, T, UV, tile)]
    if cap0:
        parts.append(fan(R[0][::-1], tile))
    if cap1:
        parts.append(fan(R[-1], tile))
    return merge(parts, tile)


def fan(ring, tile=None):
    """A flat cap over a convex ring, facing the side from which the ring runs counter-clockwise."""
    ring = np.asarray(ring, dtype=np.float64)
    c = ring.mean(axis=0)
    P = np.vstack([c[None], ring])
    K = len(ring)
    T = [(0, 1 + j, 1 + (j + 1) % K) for j in range(K)]
    n = _face_normals(P, np.array(T)).mean(axis=0)
    n /= max(np.linalg.norm(n), 1e-12)
    a, b = frame_for(n)
    rel = P - c
    ext = max(np.abs(rel).max(), 1e-9)
    uv = np.stack([rel @ a, rel @ b], axis=1) / (2 * ext) + 0.5
    return Part(P, np.tile(n, (len(P), 1)), T, uv, tile)


def circle(center, axis, radius, n, phase=0.0):
    """n points of a circle around `axis`, counter-clockwise seen from the tip of `axis`."""
    a, b = frame_for(axis)
    c = np.asarray(center, dtype=np.float64)
    ang = np.arange(n) * 2 * math.pi / n + phase
    if np.isscalar(radius):
        ra = rb = radius
    else:
        ra, rb = radius
    return c + np.outer(np.cos(ang) * ra, a) + np.outer(np.sin(ang) * rb, b)


def cylinder(p0, p1, r0, r1=None, n=8, smooth=True, caps=True, tile=None, phase=None):
    p0 = np.asarray(p0, dtype=np.float64)
    p1 = np.asarray(p1, dtype=np.float64)
    r1 = r0 if r1 is None else r1
    ax = p1 - p0
    if phase is None:
        phase = math.pi / n
    return loft([circle(p0, ax, r0, n, phase), circle(p1, ax, r1, n, phase)], smooth=smooth,
                cap0=caps, cap1=caps, tile=tile)


def tube(points, radii, n=8, smooth=True, caps=True, tile=None):
    """A tube through a polyline with a radius per point (rings perpendicular to the path)."""
    pts = np.asarray(points, dtype=np.float64)
    rings = []
    a_prev = None
    for i, p in enumerate(pts):
        d = pts[min(i + 1, len(pts) - 1)] - pts[max(i - 1, 0)]
        d /= np.linalg.norm(d)
        if a_prev is None:
            a, b = frame_for(d)
        else:  # parallel transport keeps the rings from twisting
            a = a_prev - d * np.dot(a_prev, d)
            a /= np.linalg.norm(a)
            b = np.cross(d, a)
        a_prev = a
        ang = np.arange(n) * 2 * math.pi / n + math.pi / n
        r = radii[i]
        rings.append(p + np.outer(np.cos(ang) * r, a) + np.outer(np.sin(ang) * r, b))
    return loft(rings, smooth=smooth, cap0=caps, cap1=caps, tile=tile)


def lathe(profile, axis='y', n=16, smooth=True, tile=None, caps=False):
    """Revolves (radius, height) profile points about an axis through the origin."""
    rings = []
    for r, h in profile:
        ang = np.arange(n) * 2 * math.pi / n
        ring = np.zeros((n, 3))
        if axis == 'y':
            ring[:, 0] = np.cos(ang) * max(r, 1e-4)
            ring[:, 2] = -np.sin(ang) * max(r, 1e-4)
            ring[:, 1] = h
        elif axis == 'z':
            ring[:, 0] = np.cos(ang) * max(r, 1e-4)
            ring[:, 1] = np.sin(ang) * max(r, 1e-4)
            ring[:, 2] = h
        else:  # x
            ring[:, 1] = np.cos(ang) * max(r, 1e-4)
            ring[:, 2] = np.sin(ang) * max(r, 1e-4)
            ring[:, 0] = h
        rings.append(ring)
    return loft(rings, smooth=smooth, cap0=caps, cap1=caps, tile=tile)


def box(lo, hi, tile=None):
    """An axis-aligned box with six flat faces."""
    x0, y0, z0 = lo
    x1, y1, z1 = hi
    faces = [  # each counter-clockwise seen from outside
        ([x1, y0, z0], [x1, y1, z0], [x1, y1, z1], [x1, y0, z1], [1, 0, 0]),
        ([x0, y0, z1], [x0, y1, z1], [x0, y1, z0], [x0, y0, z0], [-1, 0, 0]),
        ([x0, y1, z0], [x0, y1, z1], [x1, y1, z1], [x1, y1, z0], [0, 1, 0]),
        ([x0, y0, z1], [x0, y0, z0], [x1, y0, z0], [x1, y0, z1], [0, -1, 0]),
        ([x1, y0, z1], [x1, y1, z1], [x0, y1, z1], [x0, y0, z1], [0, 0, 1]),
        ([x0, y0, z0], [x0, y1, z0], [x1, y1, z0], [x1, y0, z0], [0, 0, -1]),
    ]
    P, N, T = [], [], []
    for f in faces:
        b = len(P)
        P += f[:4]
        N += [f[4]] * 4
        T += [(b, b + 1, b + 2), (b, b + 2, b + 3)]
    return Part(P, N, T, None, tile)


def cbox(center, size, tile=None):
    c = np.asarray(center, dtype=np.float64)
    s = np.asarray(size, dtype=np.float64) / 2
    return box(c - s, c + s, tile)


def beam(p0, p1, w, h, up=(0, 1, 0), tile=None, taper=1.0):
    """A square-section timber from p0 to p1, width w across and h along `up`."""
    p0 = np.asarray(p0, dtype=np.float64)
    p1 = np.asarray(p1, dtype=np.float64)
    d = p1 - p0
    d /= np.linalg.norm(d)
    u = np.asarray(up, dtype=np.float64)
    u = u - d * np.dot(u, d)
    if np.linalg.norm(u) < 1e-6:
        u, _ = frame_for(d)
    u /= np.linalg.norm(u)
    s = np.cross(u, d)

    def ring(p, k):
        return np.array([p + (s * w / 2 + u * h / 2) * k, p + (-s * w / 2 + u * h / 2) * k,
                         p + (-s * w / 2 - u * h / 2) * k, p + (s * w / 2 - u * h / 2) * k])
    r0 = ring(p0, 1.0)
    r1 = ring(p1, taper)
    return loft([r0, r1], smooth=False, tile=tile)


def _triangulate(poly):
    """Ear clipping of a simple counter-clockwise 2D polygon; returns index triples."""
    idx = list(range(len(poly)))
    P = np.asarray(poly, dtype=np.float64)
    out = []

    def cross(o, a, b):
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0])

    guard = 0
    while len(idx) > 3 and guard < 10000:
        guard += 1
        found = False
        for k in range(len(idx)):
            i0, i1, i2 = idx[k - 1], idx[k], idx[(k + 1) % len(idx)]
            a, b, c = P[i0], P[i1], P[i2]
            if cross(a, b, c) <= 1e-12:
                continue
            ok = True
            for j in idx:
                if j in (i0, i1, i2):
                    continue
                p = P[j]
                if cross(a, b, p) >= 0 and cross(b, c, p) >= 0 and cross(c, a, p) >= 0:
                    ok = False
                    break
            if ok:
                out.append((i0, i1, i2))
                idx.pop(k)
                found = True
                break
        if not found:
            break
    if len(idx) == 3:
        out.append(tuple(idx))
    return out


def _signed_area(poly):
    p = np.asarray(poly)
    return 0.5 * np.sum(p[:, 0] * np.roll(p[:, 1], -1) - np.roll(p[:, 0], -1) * p[:, 1])


def inset(poly, d):
    """Offsets a counter-clockwise polygon inwards by d (mitred, clamped)."""
    p = np.asarray(poly, dtype=np.float64)
    n = len(p)
    out = []
    for i in range(n):
        a, b, c = p[i - 1], p[i], p[(i + 1) % n]
        e0 = b - a
        e1 = c - b
        e0 /= max(np.linalg.norm(e0), 1e-12)
        e1 /= max(np.linalg.norm(e1), 1e-12)
        n0 = np.array([-e0[1], e0[0]])
        n1 = np.array([-e1[1], e1[0]])
        m = n0 + n1
        if np.linalg.norm(m) < 1e-9:
            m = n0
        m /= np.linalg.norm(m)
        k = min(1.0 / max(np.dot(m, n0), 0.3), 3.0)
        out.append(b + m * d * k)
    return np.array(out)


def pillow(poly, thickness, edge=0.0, bevel_in=None, tile=None, edge_tile=None):
    """Extrudes a counter-clockwise XY outline into a plate along Z.
    edge = thickness kept at the outline (0 gives a sharp blade edge); the flat faces sit on an
    outline inset by bevel_in at +-thickness/2."""
    poly = np.asarray(poly, dtype=np.float64)
    if _signed_area(poly) < 0:
        poly = poly[::-1]
    t = thickness / 2
    e = edge / 2
    if bevel_in is None:
        bevel_in = 0.0 if edge >= thickness else min(thickness * 1.2, 0.8)
    inner = inset(poly, bevel_in) if bevel_in > 0 else poly
    tris = _triangulate(inner)
    parts = []
    ext = np.ptp(poly, axis=0).max()
    lo = poly.min(axis=0)
    for sgn in (1, -1):
        P = np.column_stack([inner, np.full(len(inner), sgn * t)])
        T = tris if sgn > 0 else [(a, c, b) for a, b, c in tris]
        uv = (inner - lo) / ext
        parts.append(Part(P, np.tile([0, 0, sgn], (len(P), 1)), T, uv, tile))
    # bands: inner(+t) -> outer(+e) -> outer(-e) -> inner(-t)
    rings = [np.column_stack([inner, np.full(len(inner), t)])]
    if e > 1e-6:
        rings.append(np.column_stack([poly, np.full(len(poly), e)]))
        rings.append(np.column_stack([poly, np.full(len(poly), -e)]))
    else:
        rings.append(np.column_stack([poly, np.zeros(len(poly))]))
    rings.append(np.column_stack([inner, np.full(len(inner), -t)]))
    # consecutive equal rings would give zero-area quads
    keep = [rings[0]]
    for r in rings[1:]:
        if np.abs(r - keep[-1]).max() > 1e-7:
            keep.append(r)
    rings = keep
    # rings run from +z to -z; ring order counter-clockwise seen from +z -> outward normals
    band = loft(rings[::-1], smooth=False, cap0=False, cap1=False, tile=edge_tile or tile)
    parts.append(band)
    return merge(parts, tile)


def sphere(center, r, n=8, rings_n=5, tile=None, squash=(1, 1, 1)):
    prof = []
    for i in range(rings_n + 1):
        a = -math.pi / 2 + math.pi * i / rings_n
        prof.append((math.cos(a) * r, math.sin(a) * r))
    p = lathe(prof, 'y', n, tile=tile)
    p.scale(*squash)
    return p.move(*center)


def cone(base, tip, r, n=6, tile=None):
    return cylinder(base, tip, r, 0.001, n=n, smooth=False, caps=True, tile=tile)


def merge(parts, tile=None):
    P, N, T, UV = [], [], [], []
    off = 0
    tiles = []
    for p in parts:
        P.append(p.P)
        N.append(p.N)
        T.append(p.T + off)
        UV.append(p.uv if p.uv is not None else np.zeros((len(p.P), 2)))
        off += len(p.P)
    m = Part(np.vstack(P), np.vstack(N), np.vstack(T), np.vstack(UV), tile)
    return m


# ---------------------------------------------------------------------------------------------
# Atlas UVs
# ---------------------------------------------------------------------------------------------

class Atlas:
    """Named rectangles (pixels) of one texture; uv (0,0) is the image's top-left (glTF)."""

    def __init__(self, size, tiles, inset_px=3):
        self.size = size
        self.tiles = tiles  # name -> (x, y, w, h)
        self.inset = inset_px

    def rect(self, name):
        x, y, w, h = self.tiles[name]
        s = float(self.size)
        i = self.inset
        return (x + i) / s, (y + i) / s, (w - 2 * i) / s, (h - 2 * i) / s

    def place(self, part, mode='box'):
        """Gives the part uvs inside its tile. mode 'keep' keeps the part's own 0..1 uvs (lofts,
        fans), 'box' projects each vertex along its normal's dominant axis with one texel density
        for the whole part, grain (tile u) along the part's longest extent."""
        x, y, w, h = self.rect(part.tile)
        if mode == 'keep' and part.uv is not None:
            uv = np.clip(part.uv, 0, 1)
        else:
            P, N = part.P, part.N
            lo = P.min(axis=0)
            ext = np.maximum(np.ptp(P, axis=0), 1e-6)
            order = np.argsort(-ext)  # longest axis first
            dom = np.argmax(np.abs(N), axis=1)
            aspect = w / h
            uv = np.zeros((len(P), 2))
            # density: the longest in-plane extent fills the tile's width at most
            d = min(1.0 / ext[order[0]], aspect / max(ext[order[1]], 1e-6))
            for k in range(len(P)):
                axes = [a for a in order if a != dom[k]]
                ua, va = axes[0], axes[1]
                uv[k, 0] = (P[k, ua] - lo[ua]) * d
                uv[k, 1] = (P[k, va] - lo[va]) * d / aspect
            uv = np.clip(uv, 0, 1)
        part.uv = np.column_stack([x + uv[:, 0] * w, y + uv[:, 1] * h])
        return part


# ---------------------------------------------------------------------------------------------
# Models and glTF
# ---------------------------------------------------------------------------------------------

class Model:
    """A named list of atlas-mapped parts that becomes one glTF node with one material."""

    def __init__(self, name, atlas, material):
        self.name = name
        self.atlas = atlas
        self.material = material  # dict: name, colourMap, bumpMap, image_uri
        self.parts = []

    def add(self, part, tile=None, mode='box'):
        if tile is not None:
            part.tile = tile
        self.atlas.place(part, mode)
        self.parts.append(part)
        return part

    def geometry(self):
        m = merge(self.parts)
        return m.P, m.N, m.uv, m.T

    def triangle_count(self):
        return sum(len(p.T) for p in self.parts)


def write_gltf(model, path):
    P, N, UV, T = model.geometry()
    P = P.astype(np.float32)
    N = N.astype(np.float32)
    UV = UV.astype(np.float32)
    idx = T.astype(np.uint32).reshape(-1)
    blobs = [P.tobytes(), N.tobytes(), UV.tobytes(), idx.tobytes()]
    offs = []
    data = b''
    for b in blobs:
        offs.append(len(data))
        data += b
        data += b'\0' * ((4 - len(data) % 4) % 4)
    mat = model.material
    doc = {
        'asset': {'version': '2.0', 'generator': 'gear meshkit'},
        'scene': 0,
        'scenes': [{'nodes': [0]}],
        'nodes': [{'name': model.name, 'mesh': 0}],
        'meshes': [{'name': model.name, 'primitives': [{
            'attributes': {'POSITION': 0, 'NORMAL': 1, 'TEXCOORD_0': 2},
            'indices': 3, 'material': 0}]}],
        'materials': [{
            'name': mat['name'],
            'pbrMetallicRoughness': {'baseColorTexture': {'index': 0}, 'metallicFactor': 0.0,
                                     'roughnessFactor': 0.8},
            'extras': {'colourMap': mat['colourMap'], 'bumpMap': mat['bumpMap'],
                       'wrapU': 1, 'wrapV': 1,
                       'ambient': [0.6, 0.6, 0.6], 'diffuse': [1.0, 1.0, 1.0],
                       'specular': [0.15, 0.15, 0.15]}}],
        'textures': [{'source': 0, 'sampler': 0}],
        'samplers': [{'wrapS': 10497, 'wrapT': 10497}],
        'images': [{'uri': mat['image_uri']}],
        'buffers': [{'byteLength': len(data),
                     'uri': 'data:application/octet-stream;base64,' +
                            base64.b64encode(data).decode()}],
        'bufferViews': [
            {'buffer': 0, 'byteOffset': offs[0], 'byteLength': len(blobs[0]), 'target': 34962},
            {'buffer': 0, 'byteOffset': offs[1], 'byteLength': len(blobs[1]), 'target': 34962},
            {'buffer': 0, 'byteOffset': offs[2], 'byteLength': len(blobs[2]), 'target': 34962},
            {'buffer': 0, 'byteOffset': offs[3], 'byteLength': len(blobs[3]), 'target': 34963}],
        'accessors': [
            {'bufferView': 0, 'componentType': 5126, 'count': len(P), 'type': 'VEC3',
             'min': P.min(axis=0).tolist(), 'max': P.max(axis=0).tolist()},
            {'bufferView': 1, 'componentType': 5126, 'count': len(N), 'type': 'VEC3'},
            {'bufferView': 2, 'componentType': 5126, 'count': len(UV), 'type': 'VEC2'},
            {'bufferView': 3, 'componentType': 5125, 'count': len(idx), 'type': 'SCALAR'}],
    }
    with open(path, 'w') as f:
        json.dump(doc, f)
