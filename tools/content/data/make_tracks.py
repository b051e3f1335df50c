#!/usr/bin/python3
"""Writes tools/content/data/tracks.txt, the text form of Data/Cam_Tracks.evd.

Each track is given here as a list of anchors (position, speed, pause, look-at target); the two
Bezier control points between neighbouring anchors come from Catmull-Rom tangents, so a chain of
anchors gives one smooth curve (an anchor may instead name its own tangent). The eye path of
every camera shot is then sampled and checked against the open space of the canyon (see
`clearance_problems`); the script refuses to write a track that leaves it.

Units: scene units (the road top is y = 34), speeds in units per 100 ms step, pauses in steps.
World layout the shots rely on: the road runs along +x at z = -153.5 from the gate in the
fortress face (x ~ -422, opening z -234..-66, y 26..351) over the bridge (chasm x -250..-10,
z -926..748, lava at y ~ -440) to x ~ 922; the canyon walls stand at z ~ -1743 and +1420, the
rock masses of the -z side around z = -681, the torches at (-339.75, 246.7, -415.5) and
(-340.75, 246.7, 93.75).
"""
import math
import os
import sys

ROAD_Z = -153.5
ROUTE_Y = 33.0       # unit feet stand on the route point; the road top is at 33.75
GATE = (-440.0, 170.0, -150.0)
BRIDGE = (-130.0, 30.0, ROAD_Z)
TORCH_L = (-339.75, 246.7, -415.5)
TORCH_R = (-340.75, 246.7, 93.75)
MARCH_SPEED = 2.5    # 25 units a second: a steady march for 45-unit soldiers


def A(x, y, z, speed, pause=0.0, target=None, tangent=None):
    return {"p": (x, y, z), "speed": speed, "pause": pause, "target": target, "tangent": tangent}


# (label, description, anchors). Track 0 is the march route; 1..19 are the camera shots.
TRACKS = [
    ("march-route",
     "The army's path: out of the fortress (x -734) through the gate, over the bridge, along the road "
     "to x 922. Segment 0 is 544 long, so squads spawn and close-ups (380..430 into segment 0) fall "
     "just outside the gate, before the bridge.",
     [A(-734, ROUTE_Y, ROAD_Z, MARCH_SPEED), A(-190, ROUTE_Y, ROAD_Z, MARCH_SPEED),
      A(922, ROUTE_Y, ROAD_Z, MARCH_SPEED)]),

    ("gate-pullback",
     "Wide view of the gate from beyond the bridge; a one-second hold, then the camera drifts back and "
     "up, keeping the gate in frame as the army pours over the bridge towards it.",
     [A(40, 95, -110, 1.5, pause=10, target=GATE), A(240, 175, -50, 3.0)]),

    ("bridge-side",
     "The bridge from the +z side, above the chasm rim: the camera slides along x past the bridge "
     "while the army crosses, its look moving from the bridge's start to its far end.",
     [A(-215, 110, 130, 2.5, target=(-190, 45, ROAD_Z)), A(-90, 105, 140, 3.0, target=(-60, 45, ROAD_Z)),
      A(40, 115, 120, 2.5)]),

    ("lava-glide",
     "Low over the lava, between the chasm walls: the camera glides along -z towards the bridge "
     "through the glowing haze and tilts up at the deck with the army crossing above.",
     [A(-130, -170, 620, 4.5), A(-125, -130, 380, 4.0, target=(-130, -60, -153)),
      A(-130, -95, 210, 2.0, target=BRIDGE), A(-132, -80, 160, 1.0)]),

    ("army-side-track",
     "Alongside the march at soldiers' height, 130 units off the road, moving at a little more "
     "than marching pace: the squads drift slowly through the frame.",
     [A(80, 52, -25, 2.7, target=(140, 60, ROAD_Z)), A(200, 55, -22, 2.7, target=(260, 60, ROAD_Z)),
      A(320, 55, -25, 2.7, target=(380, 60, ROAD_Z)), A(440, 52, -28, 2.7)]),

    ("low-head-on",
     "Ground level at the road's edge, looking back along the road at the gate: the army marches "
     "straight at the lens and past it; the camera creeps backwards.",
     [A(520, 40, -97, 0.8, pause=20, target=(-150, 75, -165)), A(600, 42, -92, 0.8)]),

    ("crane-above",
     "High above the road, looking steeply down on the ranks as the camera travels with them "
     "from the bridge along the road.",
     [A(-120, 420, -100, 3.0, target=(30, 34, ROAD_Z)), A(130, 430, -95, 3.0, target=(280, 34, ROAD_Z)),
      A(380, 420, -100, 3.0)]),

    ("gate-orbit",
     "An arc around the front of the fortress at gate height: from the -z side of the canyon over "
     "the chasm to the +z side, the gate always in the middle of the frame.",
     [A(-90, 230, -380, 3.5, target=GATE), A(-20, 235, -150, 3.8, target=GATE),
      A(-90, 240, 110, 3.8, target=GATE), A(-260, 230, 240, 3.5)]),

    ("torches",
     "Along the fortress face, 100 units in front of it: the left torch, the burning gate, the "
     "right torch, one after the other.",
     [A(-245, 240, -300, 2.2, target=TORCH_L), A(-240, 230, -170, 2.2, target=GATE),
      A(-245, 235, -40, 2.2, target=TORCH_R), A(-250, 240, 40, 2.0)]),

    ("rising-reveal",
     "Starts low beside the road beyond the bridge and climbs away, revealing the bridge, the "
     "chasm and the whole fortress face.",
     [A(70, 45, -70, 2.0, target=(-180, 60, ROAD_Z)), A(160, 250, 40, 5.0, target=(-300, 120, -150)),
      A(240, 520, 150, 3.0)]),

    ("canyon-flight",
     "A fast flight up the canyon from its far end towards the fortress, looking where it goes, "
     "settling on the gate at the end.",
     [A(900, 360, 160, 9.0), A(600, 280, 80, 8.0), A(300, 220, 20, 6.0, target=GATE),
      A(60, 190, -20, 4.0)]),

    ("behind-the-march",
     "Behind the ranks just above their heads: out from in front of the gate, over the bridge and "
     "down the road with them, looking down the road.",
     [A(-330, 80, ROAD_Z, 2.8, target=(0, 34, ROAD_Z)), A(-100, 78, ROAD_Z, 2.8, target=(250, 34, ROAD_Z)),
      A(150, 80, ROAD_Z, 2.8)]),

    ("bridge-orbit",
     "A wide circle around the bridge: from the fortress apron on the +z side round over the road "
     "to the -z side, the bridge and the chasm turning below.",
     [A(-130 + 280 * math.cos(math.radians(a)), 170 - 0.2 * (a - 60), ROAD_Z + 280 * math.sin(math.radians(a)),
        3.5, target=BRIDGE if a > -20 else None)
      for a in (150, 100, 50, 0, -20)]),

    ("high-establishing",
     "The establishing view from high over the +z side of the canyon: the fortress, the glowing "
     "gate, the bridge and the road, the army a thin line.",
     [A(320, 700, 350, 2.5, pause=10, target=(-420, 120, -160)), A(120, 680, 460, 2.5)]),

    ("chasm-underside",
     "Inside the chasm on the -z side of the bridge, near its east wall: the bridge from below with "
     "the lava haze and the fortress above.",
     [A(-60, -140, -560, 3.0, target=(-130, 20, ROAD_Z)), A(-70, -90, -400, 2.5, target=(-200, 120, -160)),
      A(-90, -40, -330, 2.0)]),

    ("gate-exit-low",
     "Low on the apron off the gate's mouth: the army pours out of the fire-lit opening towards "
     "the camera and marches past it to the bridge.",
     [A(-290, 75, -25, 0.6, pause=15, target=(-480, 110, -150)), A(-262, 80, -10, 0.6)]),

    ("army-side-high",
     "From the +z side, higher and further off: the column stretches along the road with the "
     "canyon's -z rocks behind it.",
     [A(330, 190, 200, 3.0, target=(380, 40, ROAD_Z)), A(480, 200, 210, 3.0, target=(530, 40, ROAD_Z)),
      A(630, 190, 200, 3.0, target=(680, 40, ROAD_Z)), A(760, 185, 190, 2.5)]),

    ("fortress-face",
     "Over the chasm at battlement height, from the +z side towards the -z side: the fortress face, "
     "the torches and the gate below.",
     [A(-150, 330, 280, 3.5, target=(-430, 200, 100)), A(-140, 340, -60, 3.5, target=GATE),
      A(-150, 330, -380, 3.0)]),

    ("bridge-low-side",
     "Hanging over the chasm just above the deck, off its +z edge: the marchers cross the bridge "
     "against the rocks beyond, the lava glowing below.",
     [A(-215, 78, 55, 1.5, target=(-150, 52, ROAD_Z)), A(-130, 76, 60, 1.5, target=(-70, 52, ROAD_Z)),
      A(-50, 78, 55, 1.2)]),

    ("road-end",
     "Near the end of the road looking back at the distant fortress: the column approaches and "
     "walks out past the camera.",
     [A(800, 75, -55, 1.0, pause=10, target=(-300, 100, -150)), A(810, 80, 40, 1.0)]),
]


def add(a, b): return tuple(x + y for x, y in zip(a, b))
def sub(a, b): return tuple(x - y for x, y in zip(a, b))
def mul(a, s): return tuple(x * s for x in a)


def controls(anchors):
    """Catmull-Rom tangents turned into Bezier controls: one (c1, c2) pair per segment."""
    pts = [a["p"] for a in anchors]
    n = len(pts)
    tangents = []
    for i, a in enumerate(anchors):
        if a["tangent"] is not None:
            tangents.append(a["tangent"])
        elif n == 2:
            tangents.append(sub(pts[1], pts[0]))
        elif i == 0:
            # Free ends: the tangent mirrors the neighbour's about the chord, so the end segment
            # bends only as much as the curve after it does.
            tangents.append(sub(mul(sub(pts[1], pts[0]), 2), mul(sub(pts[2], pts[0]), 0.5)))
        elif i == n - 1:
            tangents.append(sub(mul(sub(pts[-1], pts[-2]), 2), mul(sub(pts[-1], pts[-3]), 0.5)))
        else:
            tangents.append(mul(sub(pts[i + 1], pts[i - 1]), 0.5))
    out = []
    for i in range(n - 1):
        out.append((add(pts[i], mul(tangents[i], 1 / 3)), sub(pts[i + 1], mul(tangents[i + 1], 1 / 3))))
    return out


def bezier(p0, p1, p2, p3, t):
    u = 1 - t
    return tuple(t ** 3 * a + 3 * t * t * u * b + 3 * t * u * u * c + u ** 3 * d for a, b, c, d in zip(p0, p1, p2, p3))


def clearance_problems(x, y, z):
    """Where the eye may not go: outside the open canyon, or inside rock, the road or the fortress."""
    problems = []
    if not (-390 <= x <= 950): problems.append("x outside -390..950 (fortress face / canyon end)")
    if not (-600 <= z <= 650): problems.append("z outside -600..650 (rock masses / canyon wall)")
    if y > 800: problems.append("above 800")
    in_chasm = -235 <= x <= -25 and -880 <= z <= 700
    if in_chasm:
        if y < -330: problems.append("too close to the lava")
        if -215 <= z <= 15 and -5 <= y <= 70 and x > -260: problems.append("inside the bridge deck or its marchers")
    else:
        if y < 38: problems.append("below the ground beside the chasm")
        if z < -460 and y < 300: problems.append("low among the -z rocks")
        if x < -250 and y < 45: problems.append("on the fortress apron")
    return problems


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    lines = ["# The camera tracks (Data/Cam_Tracks.evd), written by make_tracks.py: edit the anchors there.",
             "# Anchors are keys 0, 3, 6, ...; the two controls between anchors shape the Bezier segment.",
             "# speed: units per 100 ms step (linear from one anchor's to the next); pause: steps held at",
             "# the anchor; target: where the camera looks while on the segment that starts there.", ""]
    failures = 0
    for index, (label, description, anchors) in enumerate(TRACKS):
        if len(anchors) < 2:
            sys.exit(f"track {index} needs two anchors")
        ctrl = controls(anchors)
        words = description.split()
        text = f"# {index}: {label}."
        for w in words:
            if len(text) + len(w) + 1 > 98:
                lines.append(text)
                text = "#"
            text += " " + w
        lines.append(text)
        lines.append(f"track {label}")
        lines.append("  flag-a 0")
        lines.append("  not-a-shot 0")
        for i, a in enumerate(anchors):
            s = "  anchor %.2f %.2f %.2f speed %g pause %g" % (*a["p"], a["speed"], a["pause"])
            if a["target"] is not None:
                s += " target %.2f %.2f %.2f" % a["target"]
            lines.append(s)
            if i < len(ctrl):
                for c in ctrl[i]:
                    lines.append("  control %.2f %.2f %.2f" % c)
        lines.append("end")
        lines.append("")
        if index == 0:
            continue
        for s in range(len(ctrl)):
            p0, p3 = anchors[s]["p"], anchors[s + 1]["p"]
            for k in range(101):
                q = bezier(p0, ctrl[s][0], ctrl[s][1], p3, 1 - k / 100)
                probs = clearance_problems(*q)
                if probs:
                    print(f"track {index} ({label}) segment {s} at ({q[0]:.0f}, {q[1]:.0f}, {q[2]:.0f}): "
                          + "; ".join(probs), file=sys.stderr)
                    failures += 1
                    break
    if len(TRACKS) != 20:
        sys.exit(f"{len(TRACKS)} tracks: the show expects the march route and 19 shots")
    if failures:
        sys.exit(f"{failures} segment(s) leave the open canyon; tracks.txt not written")
    with open(os.path.join(here, "tracks.txt"), "w") as f:
        f.write("\n".join(lines))
    print(f"tracks.txt: {len(TRACKS)} tracks")


if __name__ == "__main__":
    main()
