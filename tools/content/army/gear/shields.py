"""The twelve shields. Each faces +Z here (the carrier's front once converted), its up is +Y and
the centre of the arm grip on its back is the origin."""
import math

import numpy as np

import meshkit as mk
from textures import SHIELD_TILES

ATLAS = mk.Atlas(1024, SHIELD_TILES)
MATERIAL = {'name': 'Gear_Shields', 'colourMap': 'Gear_Shields.jpg',
            'bumpMap': 'Gear_ShieldsDOT3.jpg'}
HEIGHTS = [15.5, 17.5, 16.5, 21.5, 23.5, 22.5, 22.5, 25.5, 27.5, 25.5, 22.5, 22.5]


def new(i):
    return mk.Model(f'Shield_{i}', ATLAS, MATERIAL)


def plate(m, face_tile, y0, y1, half_w, bulge, thick=0.5, front=1.2, rows=9, cols=9,
          rim_tile='rust', back_tile='wood', with_band=False):
    """A symmetric board between heights y0 and y1 whose half width at height y is half_w(y);
    its front bulges forward by bulge(x, y). The back sits at z = front - thick/2 on the flat
    parts, so the grip at the origin stays behind the face."""
    ys = np.linspace(y1, y0, rows)  # top row first: image v grows downwards
    xs = np.linspace(-1, 1, cols)
    front_g = np.zeros((rows, cols, 3))
    for i, y in enumerate(ys):
        hw = max(half_w(y), 1e-3)
        for j, s in enumerate(xs):
            x = s * hw
            front_g[i, j] = (x, y, front + bulge(x, y))
    back_g = front_g.copy()
    back_g[:, :, 2] -= thick
    W = max(half_w(y) for y in np.linspace(y0, y1, 64)) * 2

    def grid_part(g, flip, tile):
        P = g.reshape(-1, 3)
        T = []
        for i in range(rows - 1):
            for j in range(cols - 1):
                a = i * cols + j
                b, c, d = a + 1, a + cols, a + cols + 1
                # rows run downwards, columns to +x: (a, c, d) is counter-clockwise from +z
                tri = [(a, c, d), (a, d, b)]
                T += [(t[0], t[2], t[1]) for t in tri] if flip else tri
        T = np.array(T)
        # smooth normals from the grid
        du = np.gradient(g, axis=1)
        dv = np.gradient(g, axis=0)
        n = np.cross(dv, du) if not flip else np.cross(du, dv)
        n = -n
        n /= np.maximum(np.linalg.norm(n, axis=2, keepdims=True), 1e-9)
        uv = np.column_stack([P[:, 0] / W + 0.5, (y1 - P[:, 1]) / (y1 - y0)])
        if flip:
            uv[:, 0] = 1 - uv[:, 0]
        return mk.Part(P, n.reshape(-1, 3), T, uv, tile)

    f = grid_part(front_g, False, face_tile)
    # make sure the front faces forward
    fn = np.cross(f.P[f.T[:, 1]] - f.P[f.T[:, 0]], f.P[f.T[:, 2]] - f.P[f.T[:, 0]])
    if fn[:, 2].sum() < 0:
        f.T = f.T[:, ::-1].copy()
    if (f.N[:, 2]).sum() < 0:
        f.N = -f.N
    b = grid_part(back_g, True, back_tile)
    bn = np.cross(b.P[b.T[:, 1]] - b.P[b.T[:, 0]], b.P[b.T[:, 2]] - b.P[b.T[:, 0]])
    if bn[:, 2].sum() > 0:
        b.T = b.T[:, ::-1].copy()
    if b.N[:, 2].sum() > 0:
        b.N = -b.N
    m.add(f, face_tile, 'keep')
    m.add(b, back_tile, 'keep')
    # rim band around the boundary, clockwise seen from the front then offset backwards
    def loop(g):
        top = [g[0, j] for j in range(cols)]
        right = [g[i, -1] for i in range(1, rows)]
        bottom = [g[-1, j] for j in range(cols - 2, -1, -1)]
        left = [g[i, 0] for i in range(rows - 2, 0, -1)]
        pts = np.array(top + right + bottom + left)
        keep = [pts[0]]
        for p in pts[1:]:
            if np.linalg.norm(p - keep[-1]) > 1e-4:
                keep.append(p)
        if np.linalg.norm(keep[-1] - keep[0]) < 1e-4:
            keep.pop()
        return np.array(keep)
    lf, lb = loop(front_g), loop(back_g)
    if with_band and len(lf) == len(lb):
        band = mk.loft([lb, lf], smooth=False, cap0=False, cap1=False)
        c = band.P.mean(axis=0)
        fn = np.cross(band.P[band.T[:, 1]] - band.P[band.T[:, 0]],
                      band.P[band.T[:, 2]] - band.P[band.T[:, 0]])
        out = band.P[band.T].mean(axis=1) - c
        out[:, 2] = 0
        if np.einsum('ij,ij->i', fn, out).sum() < 0:
            band.T = band.T[:, ::-1].copy()
            band.N = -band.N
        m.add(band, rim_tile, 'box')
    return lf


def rim(m, loop, r=0.32, tile='rust', lift=0.0):
    pts = np.vstack([loop, loop[:1]]) + np.array([0, 0, lift])
    t = mk.tube(pts, [r] * len(pts), n=4, caps=False)
    m.add(t, tile, 'keep')


def boss(m, r, h, front, tile='iron', spike=0.0, n=12):
    prof = [(r, 0.0), (r * 0.9, h * 0.45), (r * 0.55, h * 0.9), (0.01, h)]
    p = mk.lathe(prof, 'z', n)
    p.move(0, 0, front)
    m.add(p, tile, 'keep')
    rim_ring = mk.lathe([(r * 1.25, 0.1), (r, 0.2)], 'z', n)
    rim_ring.move(0, 0, front - 0.02)
    m.add(rim_ring, tile, 'keep')
    if spike:
        m.add(mk.cone((0, 0, front + h * 0.9), (0, 0, front + h + spike), r * 0.25, 6), 'rust',
              'box')


def grip(m, back_z, half=2.0, tile='leather'):
    """The handle: a bar through the origin held off the back by two blocks."""
    m.add(mk.cylinder((-half, 0, 0), (half, 0, 0), 0.38, n=6), tile, 'keep')
    for s in (-1, 1):
        m.add(mk.cbox((s * (half + 0.3), 0, back_z / 2), (0.6, 1.0, back_z + 0.1)), 'iron', 'box')
    # an arm strap higher up
    m.add(mk.cbox((0, 3.2, back_z - 0.12), (4.5, 0.9, 0.24)), tile, 'box')


def studs(m, pts, front_fn, r=0.35, tile='iron'):
    for x, y in pts:
        z = front_fn(x, y)
        m.add(mk.sphere((x, y, z), r, n=4, rings_n=2, squash=(1, 1, 0.6)), tile, 'box')


def planar(part, R):
    """Face-on uvs over a square of half size R (image v downwards)."""
    part.uv = np.column_stack([part.P[:, 0] / (2 * R) + 0.5, 0.5 - part.P[:, 1] / (2 * R)])
    return part


def round_shield(i, diameter, dome, boss_r, face, rim_r=0.35, spikes=0, stud_ring=0,
                 front=1.5, thick=0.45, segments=12):
    """A round board turned as a shallow dome with a rolled rim and a boss in the middle."""
    m = new(i)
    R = diameter / 2 - rim_r * 0.6
    zf = lambda r: front + dome * max(0.0, 1 - (r / R) ** 2)  # noqa: E731
    rs = [R, R * 0.72, R * 0.45, boss_r * 1.1]
    p = mk.lathe([(r, zf(r)) for r in rs], 'z', segments)
    m.add(planar(p, R), face, 'keep')
    back = mk.lathe([(0.01, front - thick / 2 + dome * 0.5), (R * 0.6, front - thick / 2 +
                                                              dome * 0.3),
                     (R, front - thick / 2)], 'z', segments)
    m.add(planar(back, R), 'wood', 'keep')
    z0 = front - thick / 4
    ring = [(R + rim_r * math.cos(t), z0 + rim_r * math.sin(t))
            for t in np.radians([-100, -20, 60, 130])]
    m.add(mk.lathe(ring, 'z', segments), 'rust', 'keep')
    boss(m, boss_r, boss_r * 0.9, zf(boss_r * 1.1) - 0.05, spike=spikes, n=segments)
    if stud_ring:
        pts = [(math.cos(a) * R * 0.82, math.sin(a) * R * 0.82)
               for a in np.arange(stud_ring) * 2 * math.pi / stud_ring + 0.3]
        studs(m, pts, lambda x, y: zf(math.hypot(x, y)))
    grip(m, front - thick / 2)
    return m


def board_shield(i, top, bottom, half_w, face, curve=0.0, ridge=0.0, boss_r=0.0, front=1.5,
                 thick=0.5, rows=8, cols=6, rim_r=0.3, stud_pts=(), top_spikes=0):
    """Kite, heater, tower and oval shields: a board with a sideways curve (edges back) and an
    optional vertical ridge down the middle."""
    m = new(i)
    W = max(half_w(y) for y in np.linspace(bottom, top, 64))
    bulge = lambda x, y: -curve * (x / W) ** 2 + ridge * max(0.0, 1 - abs(x) / (W * 0.35))  # noqa
    loop = plate(m, face, bottom, top, half_w, bulge, thick=thick, front=front, rows=rows,
                 cols=cols)
    rim(m, loop, rim_r, lift=-thick / 2)
    if boss_r:
        boss(m, boss_r, boss_r * 0.8, front + bulge(0, 0))
    if stud_pts:
        studs(m, stud_pts, lambda x, y: front + bulge(x, y))
    for k in range(top_spikes):
        x = (k - (top_spikes - 1) / 2) * (2 * half_w(top) / max(top_spikes, 1)) * 0.8
        z = front + bulge(x, top) - thick / 2
        m.add(mk.cone((x, top - 0.2, z), (x, top + 1.6, z), 0.35, 4), 'rust', 'box')
    grip(m, front - thick / 2 + min(0.0, bulge(2.3, 0.0)))
    return m


def kite(top, bottom, w, round_top=True):
    def hw(y):
        t = (y - bottom) / (top - bottom)
        if t > 0.72:
            k = (t - 0.72) / 0.28
            return w * math.sqrt(max(1 - k * k, 0.0)) if round_top else w
        return w * max(t / 0.72, 0.0) ** 0.6
    return hw


def heater(top, bottom, w):
    def hw(y):
        t = (y - bottom) / (top - bottom)
        if t > 0.45:
            return w
        return w * math.sin(t / 0.45 * math.pi / 2) ** 0.8
    return hw


def oval(top, bottom, w):
    c = (top + bottom) / 2
    a = (top - bottom) / 2
    return lambda y: w * math.sqrt(max(1 - ((y - c) / a) ** 2, 0.0))


def tower(top, bottom, w, notch=0.0):
    def hw(y):
        t = (y - bottom) / (top - bottom)
        return w * (1 - notch * (1 - t))
    return hw


def octagon(top, bottom, w):
    c = (top + bottom) / 2
    a = (top - bottom) / 2
    return lambda y: w * min(1.0, (a - abs(y - c)) / (a * 0.42) * 0.58 + 0.42)


def build_all():
    s = []
    s.append(round_shield(0, 15.5, 0.6, 2.6, 'face0', spikes=1.6))
    s.append(round_shield(1, 17.5, 0.9, 2.2, 'face1', stud_ring=8))
    s.append(round_shield(2, 16.5, 1.6, 2.0, 'face5', rim_r=0.45))
    s.append(board_shield(3, 8.0, -13.5, kite(8.0, -13.5, 7.0), 'face2', curve=1.6,
                          stud_pts=[(0, 5.5), (-4.5, 3.5), (4.5, 3.5)]))
    s.append(board_shield(4, 8.5, -15.0, kite(8.5, -15.0, 7.6), 'face6', curve=2.0, ridge=0.5))
    s.append(board_shield(5, 8.5, -14.0, heater(8.5, -14.0, 8.0), 'face4', curve=1.2,
                          boss_r=1.6))
    s.append(board_shield(6, 11.25, -11.25, oval(11.25, -11.25, 7.2), 'face3', curve=1.4,
                          boss_r=2.0, rows=9))
    s.append(board_shield(7, 11.5, -14.0, tower(11.5, -14.0, 8.0, 0.15), 'face7', curve=2.6,
                          stud_pts=[(x, y) for x in (-6.5, 6.5) for y in (-11.5, -3, 5.5, 9.5)]))
    s.append(board_shield(8, 11.0, -15.0, tower(11.0, -15.0, 8.6), 'face8', curve=3.0,
                          top_spikes=4))
    s.append(board_shield(9, 10.5, -15.0, tower(10.5, -15.0, 7.4, -0.1), 'face10', curve=1.0,
                          ridge=1.2))
    s.append(board_shield(10, 11.25, -11.25, octagon(11.25, -11.25, 9.5), 'face9', curve=1.0,
                          boss_r=2.4, rows=9))
    s.append(round_shield(11, 22.5, 1.1, 3.0, 'face11', spikes=2.2, stud_ring=8,
                          segments=14))
    return s
