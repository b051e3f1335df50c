"""The wheel and the three wheeled bodies (siege tower, wagon, ballista).

The bodies carry no wheels: the scene puts the wheel model at fixed (along, across) offsets from
the unit's route point, at the wheel's half height above the road, while the body stands on its
box bottom at the unit's lift. Each body is authored at its table height (scale 1) with its box
centred on x = 0, z = 0, so a wheel lands at (across, wheel radius - lift, along) here (glTF
space, forward +Z). Their axles end 2 units inside each wheel's centre, within its hub.
"""
import math

import numpy as np

import meshkit as mk
from textures import VEHICLE_TILES

ATLAS = mk.Atlas(1024, VEHICLE_TILES)
MATERIAL = {'name': 'Gear_Vehicles', 'colourMap': 'Gear_Vehicles.jpg',
            'bumpMap': 'Gear_VehiclesDOT3.jpg'}

WHEEL_HEIGHT = 21.05
WHEEL_RADIUS = WHEEL_HEIGHT / 2
WHEEL_HALF_WIDTH = 2.4     # hub caps; the tyre is narrower
AXLE_BORE = 1.5            # the hub's hole: an axle end may reach into it
AXLE_RADIUS = 1.1
AXLE_END = 26.0            # |x| of an axle's end: 2 units short of the wheel centre
ACROSS = 28.0

# name: (table height, lift, wheel alongs)
UNITS = {
    'siedge_tower': (178.5, 5.0, [-10.0, -40.0, 18.0]),
    'wagon': (158.93, 7.0, [-5.0, -43.0, -80.0]),
    'ballist': (158.93, 5.0, [-13.0, -83.0]),
}


def axle_y(unit):
    return WHEEL_RADIUS - UNITS[unit][1]


def new(name):
    return mk.Model(name, ATLAS, MATERIAL)


def _keep_swapped(p):
    p.uv = p.uv[:, ::-1].copy()
    return p


def hexa(bottom, top, tile):
    """A six-sided block from two rings of four corners (counter-clockwise from above)."""
    return mk.loft([np.asarray(bottom, float), np.asarray(top, float)], smooth=False,
                   tile=tile)


def slab(corners, thick, tile):
    """A board through four corners (counter-clockwise seen from its front), thick along its
    normal."""
    c = np.asarray(corners, float)
    n = np.cross(c[1] - c[0], c[3] - c[0])
    n /= np.linalg.norm(n)
    return hexa(c - n * thick / 2, c + n * thick / 2, tile)


def post(m, p0, p1, w, h=None, tile='timber', up=(0, 1, 0)):
    h = w if h is None else h
    up = np.asarray(up, float)
    d = np.asarray(p1, float) - np.asarray(p0, float)
    if abs(np.dot(d / np.linalg.norm(d), up)) > 0.95:
        up = np.array([0, 0, 1.0])
    return m.add(mk.beam(p0, p1, w, h, up=up), tile, 'box')


def block(m, lo, hi, tile='timber'):
    return m.add(mk.box(lo, hi), tile, 'box')


def rod(m, p0, p1, r, tile='iron', n=6):
    p = mk.cylinder(p0, p1, r, n=n)
    return m.add(_keep_swapped(p), tile, 'keep')


def axles(m, unit, z_list, bearing_x=(21.5, 24.5), block_h=5.0, tile='iron'):
    """An iron axle per wheel pair, through wooden bearing blocks just inside the wheels."""
    y = axle_y(unit)
    for z in z_list:
        rod(m, (-AXLE_END, y, z), (AXLE_END, y, z), AXLE_RADIUS, 'metal', 8)
        for s in (-1, 1):
            x0, x1 = sorted((s * bearing_x[0], s * bearing_x[1]))
            block(m, (x0, y - block_h / 2, z - 2.6), (x1, y + block_h / 2, z + 2.6), 'darkwood')
            # iron strap over the block
            block(m, (x0 - 0.1, y + block_h / 2, z - 0.8), (x1 + 0.1, y + block_h / 2 + 0.4,
                                                             z + 0.8), tile)


def balance_z(m):
    """The forward reach that centres the box on z = 0: the mirror of the rear end so far."""
    P, _, _, _ = m.geometry()
    return -P[:, 2].min()


def plank_wall(m, corners, thick=1.2, tile='planks'):
    return m.add(slab(corners, thick, tile), tile, 'box')


def board_wall(m, corners, boards, thick=1.2, tile='planks', seed=0):
    """A wall of upright boards through four corners (bottom left, bottom right, top right, top
    left, counter-clockwise from the front), each board mapped on its own so the grain runs up
    it; the boards' tops and faces are a little uneven."""
    a, b, c, d = [np.asarray(p, float) for p in corners]
    rng = np.random.default_rng(seed)
    gap = 0.03
    for k in range(boards):
        t0 = k / boards + gap / boards
        t1 = (k + 1) / boards - gap / boards
        lo0, lo1 = a + (b - a) * t0, a + (b - a) * t1
        hi0, hi1 = d + (c - d) * t0, d + (c - d) * t1
        drop = rng.uniform(-0.6, 0.8)
        up = (hi0 - lo0) / np.linalg.norm(hi0 - lo0)
        hi0 = hi0 + up * drop
        hi1 = hi1 + up * (drop + rng.uniform(-0.5, 0.5))
        m.add(slab([lo0, lo1, hi1, hi0], thick * rng.uniform(0.85, 1.15), tile), tile, 'box')


# ---------------------------------------------------------------------------------------------
# the wheel
# ---------------------------------------------------------------------------------------------

def wheel():
    m = new('Wheel')
    R = WHEEL_RADIUS
    n = 20

    def ring(r0, r1, hw, tile, smooth=True):
        faces = [[(r1, -hw), (r1, hw)], [(r0, hw), (r0, -hw)], [(r0, -hw), (r1, -hw)],
                 [(r1, hw), (r0, hw)]]
        for prof in faces:
            p = mk.lathe(prof, 'x', n, smooth=smooth)
            m.add(p, tile, 'keep')

    ring(R - 0.95, R, 1.35, 'iron')          # iron tyre
    ring(R - 2.8, R - 0.95, 1.05, 'timber')  # wooden felloe
    # hub with iron bands and caps
    hub = mk.lathe([(0.01, -2.0), (2.3, -2.0), (2.6, -1.2), (2.6, 1.2), (2.3, 2.0), (0.01, 2.0)],
                   'x', 10, smooth=False)
    m.add(hub, 'darkwood', 'keep')
    for s in (-1, 1):
        cap = mk.cylinder((s * 1.9, 0, 0), (s * WHEEL_HALF_WIDTH, 0, 0), 1.45, 1.2, n=8,
                          smooth=False)
        m.add(cap, 'iron', 'box')
    for k in range(10):
        a = k * 2 * math.pi / 10
        d = np.array([0, math.cos(a), math.sin(a)])
        post(m, d * 2.3, d * (R - 2.6), 1.1, 0.9, 'timber', up=(1, 0, 0))
    # rivets on the tyre
    for k in range(8):
        a = k * 2 * math.pi / 8 + 0.2
        d = np.array([0, math.cos(a), math.sin(a)])
        p = d * (R - 0.05)
        m.add(mk.cbox(p, (0.9, 0.5, 0.5)), 'rust', 'box')
    return m


# ---------------------------------------------------------------------------------------------
# the siege tower
# ---------------------------------------------------------------------------------------------

def siege_tower():
    unit = 'siedge_tower'
    H, lift, alongs = UNITS[unit]
    m = new(unit)
    zb, zf = -52.0, 28.0      # rear and front of the chassis
    # chassis: two long sills, cross sills, axles
    for s in (-1, 1):
        block(m, (s * 20 - 2.5, 0.0, zb), (s * 20 + 2.5, 8.0, zf), 'darkwood')
    for z in (zb + 2.5, -25.0, 4.0, zf - 2.5):
        block(m, (-17.5, 1.0, z - 2.5), (17.5, 7.5, z + 2.5), 'darkwood')
    axles(m, unit, alongs, bearing_x=(22.5, 25.0))
    # ground floor
    block(m, (-24.0, 8.0, -50.0), (24.0, 10.0, zf), 'planks')
    # tower frame: corner posts leaning in
    base = [(-23, -49), (23, -49), (23, 26), (-23, 26)]
    top = [(-17, -40), (17, -40), (17, 18), (-17, 18)]
    y0, y1 = 10.0, 152.0

    def at(y):
        t = (y - y0) / (y1 - y0)
        return [(bx + (tx - bx) * t, bz + (tz - bz) * t) for (bx, bz), (tx, tz) in zip(base, top)]

    for (bx, bz), (tx, tz) in zip(base, top):
        post(m, (bx, y0, bz), (tx, y1, tz), 4.0, 4.0, 'timber')
    floors = [10.0, 56.0, 104.0, 152.0]
    for y in floors[1:]:
        c = at(y)
        # girdle beams round each floor
        for k in range(4):
            a, b = c[k], c[(k + 1) % 4]
            post(m, (a[0], y, a[1]), (b[0], y, b[1]), 3.2, 3.0, 'timber')
    # walls between floors: planked sides and back, hides on the front, iron plates
    for lo, hi in zip(floors[:-1], floors[1:]):
        cl, ch = at(lo + 1.5), at(hi - 1.5)
        yl, yh = lo + 1.5, hi - 1.5
        sides = [
            ([cl[0][0], yl, cl[0][1]], [cl[3][0], yl, cl[3][1]], [ch[3][0], yh, ch[3][1]],
             [ch[0][0], yh, ch[0][1]], 'planks'),                        # left (-x)
            ([cl[2][0], yl, cl[2][1]], [cl[1][0], yl, cl[1][1]], [ch[1][0], yh, ch[1][1]],
             [ch[2][0], yh, ch[2][1]], 'planks'),                        # right (+x)
            ([cl[1][0], yl, cl[1][1]], [cl[0][0], yl, cl[0][1]], [ch[0][0], yh, ch[0][1]],
             [ch[1][0], yh, ch[1][1]], 'darkwood'),                      # back (-z)
            ([cl[3][0], yl, cl[3][1]], [cl[2][0], yl, cl[2][1]], [ch[2][0], yh, ch[2][1]],
             [ch[3][0], yh, ch[3][1]], 'hide'),                          # front (+z)
        ]
        for k, (a, b, c, d, tile) in enumerate(sides):
            if tile == 'hide':
                plank_wall(m, [a, b, c, d], 1.2, tile)
            else:
                width = np.linalg.norm(np.asarray(b) - np.asarray(a))
                board_wall(m, [a, b, c, d], max(3, int(width // 9)), 1.2, tile,
                           seed=int(lo) * 4 + k)
        # a diagonal brace on each side wall
        for k in (0, 1):
            a, d = (cl[0], ch[3]) if k == 0 else (cl[1], ch[2])
            post(m, (a[0] * 1.04, yl, a[1]), (d[0] * 1.04, yh, d[1]), 2.2, 2.0, 'timber')
        # iron plates on the front corners against fire
        fy = (lo + hi) / 2
        c = at(fy)
        for s in (-1, 1):
            x = c[2][0] * 0.55 * s
            z = c[2][1] + 0.9
            m.add(slab([(x - 6, fy - 8, z), (x + 6, fy - 8, z), (x + 6, fy + 8, z),
                        (x - 6, fy + 8, z)], 0.5, 'iron'), 'iron', 'box')
    # arrow slits: dark boxes on the side walls of the upper storeys
    for y in (80.0, 128.0):
        c = at(y)
        for s in (-1, 1):
            for zz in (-0.35, 0.35):
                z = (c[0][1] + c[3][1]) / 2 + zz * (c[3][1] - c[0][1])
                x = s * (abs(c[1][0]) + 0.7)
                block(m, (x - 0.3, y - 5, z - 1.2), (x + 0.3, y + 5, z + 1.2), 'darkwood')
    # top platform and parapet with merlons
    c = at(152.0)
    block(m, (c[0][0] - 2, 152.0, c[0][1] - 2), (c[2][0] + 2, 154.0, c[2][1] + 2), 'planks')
    x0, z0, x1, z1 = c[0][0] - 2, c[0][1] - 2, c[2][0] + 2, c[2][1] + 2
    for (ax, az), (bx, bz) in [((x0, z0), (x1, z0)), ((x1, z0), (x1, z1)), ((x1, z1), (x0, z1)),
                               ((x0, z1), (x0, z0))]:
        lo = np.array([min(ax, bx), 154.0, min(az, bz)])
        hi = np.array([max(ax, bx), 163.0, max(az, bz)])
        if ax == bx:
            lo[0] -= 0.8
            hi[0] += 0.8
        else:
            lo[2] -= 0.8
            hi[2] += 0.8
        block(m, lo, hi, 'planks')
        L = math.hypot(bx - ax, bz - az)
        k = int(L // 12)
        for i in range(k):
            t = (i + 0.5) / k
            px, pz = ax + (bx - ax) * t, az + (bz - az) * t
            block(m, (px - 2.6, 163.0, pz - 1.3), (px + 2.6, 170.0, pz + 1.3), 'darkwood')
    # the raised drawbridge on the front of the top storey, held by chains
    zfront = c[2][1] + 2.6
    plank_wall(m, [(-11, 130.0, zfront + 1.5), (11, 130.0, zfront + 1.5),
                   (11, 166.0, zfront + 3.0), (-11, 166.0, zfront + 3.0)], 1.6, 'darkwood')
    for s in (-1, 1):
        post(m, (s * 9, 164.0, zfront + 3.2), (s * 13, 172.0, zfront - 1.0), 0.7, 0.7, 'rust')
        post(m, (s * 11.5, 129.0, zfront + 2.0), (s * 11.5, 167.0, zfront + 3.6), 1.0, 0.6,
             'iron')
    # a banner pole at the rear corner reaching the top of the box
    rod(m, (x0 + 1.5, 152.0, z0 + 1.5), (x0 + 1.5, H, z0 + 1.5), 0.9, 'timber', 6)
    m.add(slab([(x0 + 2.2, 150.0, z0 + 1.5), (x0 + 2.2, 150.0, z0 + 17.0),
                (x0 + 2.2, 176.0, z0 + 16.0), (x0 + 2.2, 176.0, z0 + 1.5)], 0.3, 'cloth'),
          'cloth', 'box')
    # push bar at the back, at the height of the troll's hands (about 36 to 49 above the road
    # when it walks 83 behind the tower's centre, its reach ending some 53 behind it)
    push_y = 38.0
    post(m, (-19.0, push_y, zb), (19.0, push_y, zb), 3.0, 3.0, 'darkwood')
    for s in (-1, 1):
        post(m, (s * 16, push_y - 7.0, -47.0), (s * 16, push_y, zb + 0.5), 2.0, 2.0, 'timber')
        post(m, (s * 16, push_y + 6.0, -47.4), (s * 16, push_y, zb + 0.5), 2.0, 2.0, 'timber')
    # a ladder up the back
    for s in (-1, 1):
        post(m, (s * 5.0, 10.0, -50.8), (s * 4.0, 152.0, -41.6), 1.2, 1.2, 'timber')
    for y in np.arange(16.0, 150.0, 9.0):
        t = (y - 10.0) / 142.0
        z = -50.8 + 9.2 * t
        post(m, (-5.0 + t, y, z - 0.3), (5.0 - t, y, z - 0.3), 0.7, 0.7, 'timber')
    # the ram: a capped log slung under a hide roof in front of the ground storey; added last
    # so that its head reaches as far forward as the push bar reaches back
    ram_y = 21.0
    for z in (34.0, 40.0):
        rod(m, (0, ram_y + 3.2, z), (0, 40.0, z), 0.5, 'rust', 4)
    for s in (-1, 1):
        post(m, (s * 9, 10.0, 40.0), (s * 9, 42.0, 40.0), 2.4, 2.4, 'timber')
        post(m, (s * 9, 10.0, 30.0), (s * 9, 44.0, 30.0), 2.4, 2.4, 'timber')
    plank_wall(m, [(-11.5, 47.0, 27.0), (-11.5, 40.5, 43.0), (11.5, 40.5, 43.0),
                   (11.5, 47.0, 27.0)][::-1], 1.0, 'hide')
    block(m, (-10.5, 8.0, 28.0), (10.5, 10.0, 42.0), 'planks')
    tip = balance_z(m)
    rod(m, (0, ram_y, -20.0), (0, ram_y, tip - 6.0), 3.0, 'timber', 8)
    head = mk.lathe([(3.4, -8.0), (3.6, -4.5), (2.4, -1.0), (0.01, 0.0)], 'z', 8,
                    smooth=False)
    head.move(0, ram_y, tip)
    m.add(head, 'rust', 'box')
    return m


# ---------------------------------------------------------------------------------------------
# the wagon
# ---------------------------------------------------------------------------------------------

def wagon():
    unit = 'wagon'
    H, lift, alongs = UNITS[unit]
    m = new(unit)
    zb, zf = -90.0, 7.0
    y_axle = axle_y(unit)
    for s in (-1, 1):
        block(m, (s * 16 - 2.0, 0.0, zb), (s * 16 + 2.0, 6.5, zf), 'darkwood')
    axles(m, unit, alongs, bearing_x=(18.0, 24.8), block_h=4.4)
    # bed and side boards
    block(m, (-24.0, 6.5, zb), (24.0, 9.0, zf), 'planks')
    for s in (-1, 1):
        block(m, (s * 24 - 1.0, 9.0, zb), (s * 24 + 1.0, 17.0, zf), 'planks')
        for z in np.linspace(zb + 1.5, zf - 1.5, 6):
            block(m, (s * 24 - 1.4, 6.5, z - 1.0), (s * 24 + 1.4, 18.0, z + 1.0), 'timber')
    block(m, (-24.0, 9.0, zb), (24.0, 17.0, zb + 2.0), 'planks')
    block(m, (-24.0, 9.0, zf - 2.0), (24.0, 17.0, zf), 'planks')
    # the drawbar: a pole reaching forward under the beast, with its hitch
    post(m, (0, 4.0, zf - 10.0), (0, 5.0, 86.5), 3.2, 2.8, 'timber', up=(0, 1, 0))
    for s in (-1, 1):
        post(m, (s * 14.0, 3.5, zf - 6.0), (s * 1.4, 5.5, 30.0), 2.0, 1.8, 'timber')
    rod(m, (0, 5.0, 86.0), (0, 5.0, balance_z(m)), 1.9, 'iron', 6)
    # an iron-barred cage over the rear of the bed
    cz0, cz1, cy0, cy1 = -86.0, -30.0, 9.0, 64.0
    for s in (-1, 1):
        for z in (cz0, cz1):
            post(m, (s * 21, cy0, z), (s * 21, cy1, z), 3.0, 3.0, 'darkwood')
        post(m, (s * 21, cy1, cz0), (s * 21, cy1, cz1), 3.0, 3.0, 'darkwood')
        post(m, (s * 21, 30.0, cz0), (s * 21, 30.0, cz1), 2.0, 2.0, 'darkwood')
        for z in np.linspace(cz0 + 5, cz1 - 5, 7):
            rod(m, (s * 21, cy0, z), (s * 21, cy1, z), 0.55, 'rust', 4)
    for z in (cz0, cz1):
        post(m, (-21, cy1, z), (21, cy1, z), 3.0, 3.0, 'darkwood')
        for x in np.linspace(-15, 15, 5):
            rod(m, (x, cy0, z), (x, cy1, z), 0.55, 'rust', 4)
    block(m, (-23.0, cy1 + 1.5, cz0 - 2), (23.0, cy1 + 3.0, cz1 + 2), 'planks')
    # crates and barrels at the front of the bed
    block(m, (-20.0, 9.0, -24.0), (-4.0, 23.0, -10.0), 'planks')
    block(m, (-17.0, 23.0, -22.0), (-6.0, 32.0, -13.0), 'darkwood')
    for x, z in ((9.0, -19.0), (16.0, -7.0), (6.0, -5.0)):
        prof = [(4.0, 0.0), (4.8, 5.0), (4.0, 10.0)]
        barrel = mk.lathe(prof, 'y', 10)
        barrel.move(x, 9.0, z)
        m.add(_keep_swapped(barrel), 'planks', 'keep')
        for y in (1.5, 8.5):
            r = np.interp(y, [0, 5, 10], [4.0, 4.8, 4.0]) + 0.15
            band = mk.lathe([(r, y - 0.5), (r, y + 0.5)], 'y', 10)
            band.move(x, 9.0, z)
            m.add(band, 'iron', 'keep')
    # the war standard: a tall mast from the cage roof with crossbars, banners and horns
    mz = -58.0
    rod(m, (0, cy1 + 3.0, mz), (0, 150.0, mz), 2.2, 'timber', 8)
    block(m, (-3.5, cy1 + 3.0, mz - 3.5), (3.5, cy1 + 8.0, mz + 3.5), 'iron')
    for y, w in ((142.0, 20.0), (112.0, 15.0)):
        post(m, (-w, y, mz), (w, y, mz), 2.2, 2.2, 'darkwood', up=(0, 1, 0))
        for s in (-1, 1):
            m.add(slab([(s * w - 6, y - 1, mz + 0.8), (s * w + 6 - 12 * (s < 0) + 12 * (s < 0),
                                                      y - 1, mz + 0.8),
                        (s * w + 6, y - 30, mz + 0.8), (s * w - 6, y - 26, mz + 0.8)][::-1],
                       0.3, 'cloth'), 'cloth', 'box')
            m.add(mk.cone((s * w, y, mz), (s * (w + 6), y + 7, mz), 1.3, 5), 'bone', 'box')
    # a horned skull at the top of the mast
    m.add(mk.sphere((0, 152.5, mz), 3.2, n=7, rings_n=4, squash=(1.0, 0.9, 1.2)), 'bone',
          'box')
    for s in (-1, 1):
        m.add(mk.tube([(s * 2.5, 153.5, mz), (s * 6.5, 155.5, mz), (s * 8.0, H - 0.15, mz)],
                      [1.0, 0.7, 0.15], n=5), 'bone', 'keep')  # tips end at the box top
    # rope stays from the mast to the bed corners
    for sx in (-1, 1):
        for z in (zb + 1.0, -12.0):
            post(m, (0, 138.0, mz), (sx * 22.0, 17.0, z), 0.45, 0.45, 'rope')
    # driver's bench at the front
    block(m, (-16.0, 17.0, -2.0), (16.0, 19.0, 4.5), 'darkwood')
    for s in (-1, 1):
        post(m, (s * 14, 9.0, 1.0), (s * 14, 17.0, 1.0), 1.6, 1.6, 'timber')
    return m


# ---------------------------------------------------------------------------------------------
# the ballista
# ---------------------------------------------------------------------------------------------

def ballista():
    unit = 'ballist'
    H, lift, alongs = UNITS[unit]
    m = new(unit)
    zb, zf = -96.0, 0.0
    for s in (-1, 1):
        block(m, (s * 17 - 2.2, 0.0, zb), (s * 17 + 2.2, 7.5, zf), 'darkwood')
    for z in (zb + 2.0, -48.0, zf - 2.0):
        block(m, (-15.0, 1.0, z - 2.0), (15.0, 7.0, z + 2.0), 'darkwood')
    axles(m, unit, alongs, bearing_x=(19.2, 24.8))
    block(m, (-23.0, 7.5, zb), (23.0, 10.0, zf), 'planks')
    # the drawbar and its braces
    post(m, (0, 4.5, zf - 12.0), (0, 5.5, 92.5), 3.2, 2.8, 'timber')
    for s in (-1, 1):
        post(m, (s * 15.0, 4.0, zf - 4.0), (s * 1.4, 6.0, 26.0), 2.0, 1.8, 'timber')
    rod(m, (0, 5.5, 92.0), (0, 5.5, balance_z(m)), 1.9, 'iron', 6)
    # the trestle: four legs leaning in to a platform, with braces
    y0, y1 = 10.0, 116.0
    base = [(-20, -88), (20, -88), (20, -8), (-20, -8)]
    top = [(-12, -62), (12, -62), (12, -34), (-12, -34)]

    def at(y):
        t = (y - y0) / (y1 - y0)
        return [(bx + (tx - bx) * t, bz + (tz - bz) * t) for (bx, bz), (tx, tz) in zip(base, top)]

    for (bx, bz), (tx, tz) in zip(base, top):
        post(m, (bx, y0, bz), (tx, y1, tz), 3.6, 3.6, 'timber')
    for y in (45.0, 82.0):
        c = at(y)
        for k in range(4):
            a, b = c[k], c[(k + 1) % 4]
            post(m, (a[0], y, a[1]), (b[0], y, b[1]), 2.6, 2.6, 'timber')
    for ya, yb in ((y0, 45.0), (45.0, 82.0), (82.0, y1)):
        ca, cb = at(ya), at(yb)
        for k in range(4):
            a, b = ca[k], cb[(k + 1) % 4]
            post(m, (a[0], ya, a[1]), (b[0], yb, b[1]), 1.8, 1.8, 'darkwood')
    c = at(y1)
    block(m, (c[0][0] - 3, y1, c[0][1] - 3), (c[2][0] + 3, y1 + 2.5, c[2][1] + 3), 'planks')
    # turntable and cradle
    tt = mk.lathe([(9.0, 0.0), (9.0, 2.0), (6.0, 2.5)], 'y', 12, smooth=False)
    tt.move(0, y1 + 2.5, -48.0)
    m.add(tt, 'iron', 'box')
    for s in (-1, 1):
        post(m, (s * 4.0, y1 + 4.5, -48.0), (s * 3.0, 127.0, -48.0), 3.0, 5.0, 'timber')
    # the engine: stock, bow arms, string, bolt, winch
    sy = 129.0
    block(m, (-3.5, sy - 2.5, -80.0), (3.5, sy + 2.5, -8.0), 'timber')
    block(m, (-1.0, sy + 2.5, -76.0), (1.0, sy + 3.2, -10.0), 'iron')
    block(m, (-7.0, sy - 6.0, -16.0), (7.0, sy + 6.0, -8.0), 'darkwood')   # bow frame
    for s in (-1, 1):
        rod(m, (s * 5.5, sy - 6, -12.0), (s * 5.5, sy + 6, -12.0), 1.5, 'rope', 6)
        arm = mk.tube([(s * 6.0, sy + 1.0, -12.0), (s * 18.0, sy + 3.5, -16.0),
                       (s * 30.0, sy + 7.0, -24.0), (s * 36.0, sy + 9.5, -32.0)],
                      [1.6, 1.4, 1.1, 0.8], n=6)
        m.add(_keep_swapped(arm), 'timber', 'keep')
        m.add(mk.cbox((s * 36.0, sy + 9.5, -32.0), (1.6, 1.6, 1.6)), 'iron', 'box')
        # bowstring drawn back to the claw
        post(m, (s * 36.0, sy + 9.5, -32.0), (s * 0.6, sy + 3.4, -62.0), 0.35, 0.35, 'rope')
    block(m, (-1.8, sy + 2.5, -64.0), (1.8, sy + 5.0, -59.0), 'iron')       # claw
    rod(m, (0, sy + 4.2, -60.0), (0, sy + 4.2, 6.0), 0.6, 'timber', 5)       # bolt
    m.add(mk.cone((0, sy + 4.2, 5.5), (0, sy + 4.2, 12.0), 1.3, 4), 'metal', 'box')
    for s in (-1, 1):
        m.add(slab([(0, sy + 4.2, -60.0), (0, sy + 4.2, -54.0), (s * 2.4, sy + 4.2, -57.0),
                    (s * 2.4, sy + 4.2, -61.0)][:: s], 0.2, 'cloth'), 'cloth', 'box')
    rod(m, (-6.5, sy, -76.0), (6.5, sy, -76.0), 1.8, 'timber', 8)            # winch drum
    for s in (-1, 1):
        post(m, (s * 6.5, sy, -76.0), (s * 6.5, sy + 6.0, -79.0), 0.8, 0.8, 'iron')
    # a mantlet of planks in front of the crew, and twin banner poles at the back
    plank_wall(m, [(-15, y1 + 2.5, -30.5), (15, y1 + 2.5, -30.5), (15, 124.0, -30.0),
                   (-15, 124.0, -30.0)], 1.4, 'planks')
    for s in (-1, 1):
        rod(m, (s * 13.0, y1 + 2.5, -63.5), (s * 13.0, H, -63.5), 0.9, 'timber', 6)
        m.add(slab([(s * 13.0, 128.0, -64.2), (s * 13.0, 128.0, -78.0),
                    (s * 13.0, 156.0, -77.0), (s * 13.0, 156.0, -64.2)][:: s], 0.3, 'cloth'),
              'cloth', 'box')
    # ladder up the front of the trestle
    for s in (-1, 1):
        post(m, (s * 4.5, 10.0, -6.0), (s * 4.0, y1, -30.0), 1.2, 1.2, 'timber')
    for y in np.arange(18.0, y1, 9.0):
        t = (y - 10.0) / (y1 - 10.0)
        z = -6.0 - 24.0 * t
        post(m, (-4.5, y, z), (4.5, y, z), 0.7, 0.7, 'timber')
    return m


def build_all():
    return [wheel(), siege_tower(), wagon(), ballista()]


# ---------------------------------------------------------------------------------------------
# the fit of wheels and bodies
# ---------------------------------------------------------------------------------------------

def _samples(P, T, step=0.5):
    """Points covering every triangle at about `step` spacing (its corners included)."""
    out = [P]
    for a, b, c in P[T]:
        L = max(np.linalg.norm(b - a), np.linalg.norm(c - a), np.linalg.norm(c - b))
        k = int(math.ceil(L / step))
        if k <= 1:
            continue
        i, j = np.meshgrid(np.arange(k + 1), np.arange(k + 1))
        mask = i + j <= k
        u, v = i[mask] / k, j[mask] / k
        out.append(a + np.outer(u, b - a) + np.outer(v, c - a))
    return np.vstack(out)


def fit_report(model, unit):
    """Per wheel: distance from the wheel centre to the nearest body point and the number of
    body points inside the wheel's volume (outside its bore). Body scaled to its table height
    and centred on its box as the scene does."""
    H, lift, alongs = UNITS[unit]
    P, _, _, T = model.geometry()
    lo, hi = P.min(axis=0), P.max(axis=0)
    s = H / (hi[1] - lo[1])
    c = (lo + hi) / 2
    S = (_samples(P, T) - c) * s
    rows = []
    for along in alongs:
        for across in (ACROSS, -ACROSS):
            w = np.array([across, WHEEL_RADIUS - lift - H / 2, along])
            d = S - w
            nearest = np.sqrt((d ** 2).sum(axis=1)).min()
            radial = np.sqrt(d[:, 1] ** 2 + d[:, 2] ** 2)
            inside = (np.abs(d[:, 0]) < WHEEL_HALF_WIDTH) & (radial < WHEEL_RADIUS + 0.1) & \
                (radial > AXLE_BORE)
            rows.append((along, across, float(nearest), int(inside.sum())))
    return s, rows


def report_fit():
    ok = True
    for build, unit in ((siege_tower, 'siedge_tower'), (wagon, 'wagon'), (ballista, 'ballist')):
        s, rows = fit_report(build(), unit)
        for along, across, nearest, inside in rows:
            good = nearest <= 2.5 and inside == 0
            ok &= good
            print(f'{unit}: scale {s:.4f} wheel ({along:+.0f}, {across:+.0f}): axle end '
                  f'{nearest:.2f} away, {inside} body points in the wheel '
                  f'{"ok" if good else "BAD"}')
    return ok
