"""The fourteen hand weapons. Each is built with the centre of the hand's hold at the origin and
its haft along +Y (head or blade up); the edges of axes, cleavers and swords face +Z (the
carrier's front once converted). Outlines are drawn in the XY plane and turned about Y."""
import math

import numpy as np

import meshkit as mk
from textures import WEAPON_TILES

ATLAS = mk.Atlas(512, WEAPON_TILES)
MATERIAL = {'name': 'Gear_Weapons', 'colourMap': 'Gear_Weapons.jpg',
            'bumpMap': 'Gear_WeaponsDOT3.jpg'}
HEIGHTS = [12.5, 34.5, 20.5, 18.5, 14, 14, 14.5, 14.5, 40.5, 40.5, 40.5, 40.5, 40.5, 40.5]


def haft(m, y0, y1, r, tile='wood', n=7, r1=None):
    p = mk.cylinder((0, y0, 0), (0, y1, 0), r, r1, n=n, smooth=True)
    _swap_uv(p)
    return m.add(p, tile, 'keep')


def _swap_uv(p):
    """Lofts carry u around and v along; the wood tiles' grain runs along u."""
    p.uv = p.uv[:, ::-1].copy()


def band(m, y, h, r, tile='bronze', n=7):
    return haft(m, y - h / 2, y + h / 2, r, tile, n)


def knob(m, y, r, tile='bronze', n=7, squash=1.0):
    return m.add(mk.sphere((0, y, 0), r, n=n, rings_n=4, squash=(1, squash, 1)), tile, 'box')


def blade(m, poly, thick, edge=0.0, tile='steel', turn=0.0, bevel=None, move=(0, 0, 0)):
    """A flat blade from an XY outline; turn rotates it about Y (-90 puts +X onto +Z)."""
    p = mk.pillow(poly, thick, edge=edge, bevel_in=bevel)
    if turn:
        p.rot('y', turn)
    p.move(*move)
    return m.add(p, tile, 'box')


def guard(m, y, half_w, h, d, tile='darksteel'):
    return m.add(mk.cbox((0, y, 0), (half_w * 2, h, d)), tile, 'box')


def grip(m, y0, y1, r, tile='leather'):
    return haft(m, y0, y1, r, tile, n=7)


def new(i):
    return mk.Model(f'Weapon_{i}', ATLAS, MATERIAL)


def edge_forward(m):
    """Swords are drawn in the XY plane; a fist holds one with the edge (+X) forward (+Z)."""
    for p in m.parts:
        p.rot('y', -90)
    return m


def w0():  # broad knife with a clipped point (12.5)
    m = new(0)
    knob(m, -2.85, 0.45, 'bronze')
    grip(m, -2.5, 2.3, 0.42)
    guard(m, 2.55, 1.2, 0.5, 0.8)
    blade(m, [(-0.8, 2.8), (0.7, 2.8), (0.9, 7.2), (0.25, 9.65), (-0.55, 8.6), (-0.8, 7.6)],
          0.32, bevel=0.25)
    return edge_forward(m)


def w1():  # two-handed great blade (34.5)
    m = new(1)
    knob(m, -5.1, 0.8, 'darksteel', n=8)
    grip(m, -4.4, 4.0, 0.5)
    band(m, 0.0, 0.5, 0.6, 'bronze')
    guard(m, 4.35, 4.2, 0.8, 1.1)
    m.add(mk.cone((4.2, 4.35, 0), (5.6, 5.6, 0), 0.4, 5), 'darksteel', 'box')
    m.add(mk.cone((-4.2, 4.35, 0), (-5.6, 5.6, 0), 0.4, 5), 'darksteel', 'box')
    # a wide blade with two notches near the guard and a long point
    outline = [(-1.3, 4.7), (1.3, 4.7), (1.3, 6.0), (0.9, 6.4), (1.3, 6.8), (1.45, 22.0),
               (1.1, 26.0), (0.0, 29.4), (-1.1, 26.0), (-1.45, 22.0), (-1.45, 17.0)]
    for k in range(5):  # saw teeth along the back, pointing towards the hilt
        y = 16.0 - k * 1.8
        outline += [(-2.15, y - 0.9), (-1.4, y - 1.8)]
    outline += [(-1.3, 6.8), (-0.9, 6.4), (-1.3, 6.0)]
    blade(m, outline, 0.45, bevel=0.5)
    return edge_forward(m)


def w2():  # falchion widening towards the tip (20.5)
    m = new(2)
    knob(m, -2.55, 0.55, 'bronze')
    grip(m, -2.2, 2.2, 0.42)
    guard(m, 2.5, 2.1, 0.5, 0.9)
    blade(m, [(-0.7, 2.75), (0.75, 2.75), (0.95, 10.0), (1.7, 15.5), (1.2, 17.1), (0.2, 17.95),
              (-0.7, 16.5), (-0.75, 13.6), (-1.6, 13.9), (-0.8, 12.6), (-0.8, 10.0)], 0.34,
          bevel=0.3)
    return edge_forward(m)


def w3():  # bearded axe (18.5)
    m = new(3)
    haft(m, -3.8, 14.1, 0.42, 'wood', r1=0.38)
    knob(m, -3.8, 0.5, 'rust', squash=0.6)
    grip(m, -1.8, 1.8, 0.47)
    band(m, 12.2, 3.0, 0.55, 'darksteel')
    # head seen from the side: narrow socket at z = 0, a bearded edge forward
    blade(m, [(0.0, 10.7), (1.0, 11.2), (2.0, 9.0), (3.4, 8.6), (3.9, 11.0), (3.7, 13.6),
              (3.1, 14.7), (1.4, 13.8), (0.0, 13.7)], 0.5, bevel=0.45, turn=-90)
    # back spike
    m.add(mk.cone((0, 12.3, -0.3), (0, 12.0, -2.4), 0.45, 4), 'darksteel', 'box')
    knob(m, 14.2, 0.45, 'darksteel', squash=0.6)
    return m


def w4():  # flanged mace (14)
    m = new(4)
    knob(m, -2.75, 0.55, 'bronze')
    grip(m, -2.4, 2.0, 0.45)
    haft(m, 2.0, 8.6, 0.36, 'darkwood')
    band(m, 8.3, 0.6, 0.6, 'bronze')
    haft(m, 8.4, 10.4, 0.75, 'darksteel', n=6)
    for k in range(6):
        fl = mk.pillow([(0.3, 8.6), (1.5, 9.1), (1.8, 10.0), (1.4, 10.9), (0.3, 11.0)], 0.25,
                       bevel_in=0.15)
        fl.rot('y', k * 60)
        m.add(fl, 'steel', 'box')
    knob(m, 10.9, 0.45, 'darksteel', n=6)
    return m


def w5():  # studded club (14)
    m = new(5)
    p = mk.lathe([(0.01, -3.0), (0.45, -2.95), (0.42, 2.0), (0.75, 5.0), (1.25, 8.5),
                  (1.35, 10.2), (0.9, 10.95), (0.01, 11.0)], 'y', 8)
    _swap_uv(p)
    m.add(p, 'darkwood', 'keep')
    grip(m, -2.2, 2.0, 0.5)
    band(m, 6.2, 0.7, 0.98, 'rust', n=8)
    band(m, 9.6, 0.7, 1.4, 'rust', n=8)
    rng = np.random.default_rng(5)
    for k in range(12):
        a = k * 2.4 + rng.uniform(-0.2, 0.2)
        y = 6.8 + (k % 4) * 0.95
        r = np.interp(y, [5.0, 8.5, 10.2], [0.75, 1.25, 1.35])
        d = np.array([math.cos(a), 0, math.sin(a)])
        base = np.array([0, y, 0]) + d * (r - 0.1)
        m.add(mk.cone(base, base + d * 1.7, 0.36, 4), 'steel', 'box')
    return m


def w6():  # war hammer with a back spike (14.5)
    m = new(6)
    knob(m, -3.15, 0.5, 'rust')
    grip(m, -2.5, 2.0, 0.44)
    haft(m, 2.0, 9.8, 0.37, 'wood')
    haft(m, 8.0, 10.8, 0.5, 'darksteel', n=6)  # langets
    m.add(mk.cbox((0, 9.9, 0.5), (1.3, 1.6, 1.6)), 'darksteel', 'box')
    m.add(mk.cylinder((0, 9.9, 1.2), (0, 9.9, 2.9), 0.9, 1.05, n=8, smooth=False), 'steel', 'box')
    m.add(mk.cone((0, 9.9, -0.2), (0, 9.2, -3.6), 0.55, 4), 'darksteel', 'box')
    m.add(mk.cone((0, 10.6, 0), (0, 11.35, 0), 0.4, 4), 'darksteel', 'box')
    return m


def w7():  # square cleaver (14.5)
    m = new(7)
    knob(m, -2.85, 0.5, 'bronze')
    grip(m, -2.5, 2.6, 0.46)
    band(m, 2.7, 0.4, 0.55, 'bronze')
    blade(m, [(-0.7, 2.9), (0.6, 2.9), (4.1, 3.6), (4.8, 10.9), (4.2, 11.65), (-0.7, 11.65),
              (-0.9, 7.0)], 0.36, bevel=0.45, tile='rust', turn=-90, move=(0, 0, 0))
    for y in (4.2, 6.0, 7.8):
        m.add(mk.cylinder((-0.3, y, 0.1), (0.3, y, 0.1), 0.22, n=5), 'bronze', 'box')
    return m


def _pole(m, bottom, top, r=0.45):
    haft(m, bottom, top, r, 'wood', n=7, r1=r * 0.9)
    grip(m, -1.8, 1.8, r + 0.06)
    m.add(mk.cone((0, bottom + 0.5, 0), (0, bottom - 0.01, 0), r + 0.05, 5), 'rust', 'box')


def w8():  # leaf-bladed spear (40.5)
    m = new(8)
    _pole(m, -14.0, 19.5)
    band(m, 19.2, 2.2, 0.55, 'darksteel', n=6)
    blade(m, [(0.0, 20.0), (0.9, 21.5), (1.35, 23.3), (0.9, 25.0), (0.0, 26.5), (-0.9, 25.0),
              (-1.35, 23.3), (-0.9, 21.5)], 0.4, bevel=0.5, tile='steel')
    band(m, 10.0, 0.8, 0.52, 'leather')
    return m


def w9():  # pike with a long narrow point and langets (40.5)
    m = new(9)
    _pole(m, -14.0, 20.8, 0.42)
    haft(m, 17.0, 21.3, 0.5, 'darksteel', n=4)
    blade(m, [(0.0, 21.0), (0.55, 21.6), (0.45, 24.0), (0.0, 26.5), (-0.45, 24.0),
              (-0.55, 21.6)], 0.55, bevel=0.4, tile='steel')
    blade(m, [(0.0, 21.0), (0.55, 21.6), (0.45, 24.0), (0.0, 26.5), (-0.45, 24.0),
              (-0.55, 21.6)], 0.55, bevel=0.4, tile='steel', turn=90)
    return m


def w10():  # halberd: axe blade forward, hook behind, spike on top (40.5)
    m = new(10)
    _pole(m, -14.0, 21.5)
    haft(m, 16.5, 21.6, 0.52, 'darksteel', n=6)
    blade(m, [(0.0, 17.4), (1.5, 17.8), (2.9, 16.2), (4.3, 17.3), (4.5, 19.6), (3.6, 21.9),
              (1.5, 20.8), (0.0, 21.0)], 0.42, bevel=0.45, turn=-90)
    blade(m, [(0.0, 18.4), (-1.2, 18.6), (-3.1, 20.6), (-1.6, 19.6), (0.0, 20.0)], 0.35,
          bevel=0.2, turn=-90, tile='darksteel')
    blade(m, [(0.0, 21.2), (0.5, 22.0), (0.3, 24.5), (0.0, 26.5), (-0.3, 24.5), (-0.5, 22.0)],
          0.45, bevel=0.35)
    return m


def w11():  # glaive: a curved single-edged blade on the pole (40.5)
    m = new(11)
    _pole(m, -14.0, 17.5)
    band(m, 16.5, 2.4, 0.56, 'bronze', n=6)
    blade(m, [(-0.7, 17.2), (0.7, 17.2), (1.6, 20.0), (2.1, 23.2), (1.6, 25.2), (0.4, 26.5),
              (0.2, 24.6), (-0.35, 22.0), (-0.75, 19.5)], 0.4, bevel=0.5, turn=-90)
    return m


def w12():  # winged spear with lugs below the head (40.5)
    m = new(12)
    _pole(m, -14.0, 19.2)
    band(m, 18.8, 2.0, 0.55, 'darksteel', n=6)
    m.add(mk.beam((-1.8, 18.4, 0), (1.8, 18.4, 0), 0.5, 0.5, tile='darksteel'), 'darksteel',
          'box')
    for s in (1, -1):
        m.add(mk.cone((s * 1.7, 18.4, 0), (s * 2.5, 19.0, 0), 0.28, 4), 'darksteel', 'box')
    blade(m, [(0.0, 19.6), (0.8, 20.4), (1.1, 22.0), (0.6, 24.6), (0.0, 26.5), (-0.6, 24.6),
              (-1.1, 22.0), (-0.8, 20.4)], 0.42, bevel=0.5)
    band(m, 12.0, 1.2, 0.5, 'leather')
    return m


def w13():  # poleaxe: hammer, back spike, top spike and a crescent blade (40.5)
    m = new(13)
    _pole(m, -14.0, 22.0)
    haft(m, 16.0, 22.4, 0.52, 'darksteel', n=6)
    blade(m, [(0.0, 18.8), (1.4, 18.5), (2.9, 17.0), (3.3, 19.6), (2.9, 22.3), (1.4, 20.9),
              (0.0, 20.9)], 0.42, bevel=0.45, turn=-90, tile='rust')
    m.add(mk.cylinder((0, 19.9, -0.3), (0, 19.9, -1.6), 0.7, 0.8, n=6, smooth=False),
          'darksteel', 'box')
    m.add(mk.cone((0, 21.9, 0), (0, 26.5, 0), 0.45, 5), 'steel', 'box')
    return m


BUILDERS = [w0, w1, w2, w3, w4, w5, w6, w7, w8, w9, w10, w11, w12, w13]


def build_all():
    return [b() for b in BUILDERS]
