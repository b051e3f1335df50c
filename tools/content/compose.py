#!/usr/bin/env python3
"""Writes the three music tracks as Standard MIDI files (format 1), standard library only.

D minor, 84 bpm, 4/4. The player cycles A alone, then B and C started together, then A again, so:
  A  32 bars: intro, low-brass theme, horn development, full climax, outro on the dominant
  B  14 bars: drums, timpani and brass stabs only; it is a layer over C's first 14 bars
  C  26 bars: string ostinato, choir and horns; bars 15..26 stand alone after B has ended
B and C share one chord per bar (CHORDS_BC) so every layering lines up. Every track ends on the
dominant (A major), which leads back into the D minor downbeat that opens both A and B+C.

Usage: compose.py OUTDIR   (writes track_a.mid, track_b.mid, track_c.mid)
"""

import os
import random
import struct
import sys

PPQ = 480
BPM = 84
BAR = 4 * PPQ

# General MIDI programs (0-based) and the channel each part plays on.
PARTS = {
    "basses":  (0, 43, 100, 50),   # channel, program, volume, reverb send
    "cellos":  (1, 42, 100, 55),
    "strings": (2, 48, 92, 80),
    "trem":    (3, 44, 80, 80),
    "trombone": (4, 57, 105, 60),
    "tuba":    (5, 58, 100, 55),
    "horns":   (6, 60, 100, 75),
    "choir":   (7, 52, 88, 100),
    "timpani": (8, 47, 110, 70),
    "drums":   (9, 0, 110, 60),
    "brass":   (10, 61, 95, 65),
}

# Chord roots and qualities. Note numbers: D2 = 38.
CH = {"Dm": (38, [0, 3, 7]), "Bb": (34, [0, 4, 7]), "Gm": (43, [0, 3, 7]), "A": (33, [0, 4, 7]),
      "C": (36, [0, 4, 7]), "F": (41, [0, 4, 7]), "Asus": (33, [0, 5, 7])}

CHORDS_A = (["Dm", "Dm", "Bb", "A"] +                      # 1-4 intro
            ["Dm", "Dm", "Bb", "Bb", "Gm", "Gm", "A", "A"] +  # 5-12 theme
            ["Bb", "C", "Dm", "Dm", "Gm", "Bb", "A", "A"] +   # 13-20 development
            ["Dm", "Bb", "C", "A", "Dm", "Bb", "Gm", "A"] +   # 21-28 climax
            ["Dm", "Bb", "Asus", "A"])                        # 29-32 outro
CHORDS_BC = (["Dm", "Dm", "Bb", "Bb", "Gm", "Gm", "A", "A", "Dm", "Dm", "Bb", "C", "Asus", "A"] +
             ["Dm", "Bb", "F", "C", "Gm", "Dm", "A", "A", "Dm", "Bb", "Gm", "A"])

KICK, FLOOR_LO, FLOOR_HI, TOM_LO, SNARE, CRASH, CHINA, RIDE = 35, 41, 43, 45, 38, 49, 52, 51


class Track:
    def __init__(self, seed):
        self.events = []  # (tick, order, bytes)
        self.rng = random.Random(seed)

    def note(self, part, tick, dur, pitch, vel):
        ch = PARTS[part][0]
        jitter = 0 if tick == 0 else self.rng.randint(-8, 8)  # humanise, a few milliseconds
        on = max(0, tick + jitter)
        vel = max(1, min(127, int(vel + self.rng.randint(-5, 5))))
        self.events.append((on, 1, bytes([0x90 | ch, pitch, vel])))
        self.events.append((on + max(1, dur - 12), 0, bytes([0x80 | ch, pitch, 0])))

    def chord(self, part, tick, dur, pitches, vel):
        for p in pitches:
            self.note(part, tick, dur, p, vel)

    def cc(self, part, tick, num, val):
        ch = PARTS[part][0]
        self.events.append((tick, 0, bytes([0xB0 | ch, num, max(0, min(127, int(val)))])))

    def swell(self, part, t0, t1, v0, v1, steps=16):
        """Expression (CC 11) ramp: the dynamics of held notes."""
        for i in range(steps + 1):
            self.cc(part, t0 + (t1 - t0) * i // steps, 11, v0 + (v1 - v0) * i / steps)


def chord_notes(name, base_oct=0, voicing=(0, 1, 2)):
    root, iv = CH[name]
    return [root + 12 * base_oct + iv[i % 3] + 12 * (i // 3) for i in voicing]


def setup(tr):
    for part, (ch, prog, vol, rev) in PARTS.items():
        if part != "drums":
            tr.events.append((0, 0, bytes([0xC0 | ch, prog])))
        tr.cc(part, 0, 7, vol)
        tr.cc(part, 0, 91, rev)
        tr.cc(part, 0, 93, 0)
        tr.cc(part, 0, 11, 110)
    tr.cc("trombone", 0, 10, 50)
    tr.cc("horns", 0, 10, 80)
    tr.cc("brass", 0, 10, 60)
    tr.cc("cellos", 0, 10, 52)
    tr.cc("basses", 0, 10, 70)
    tr.cc("strings", 0, 10, 48)


def ostinato(tr, bar, chord, vel, part="cellos", octave=0):
    """Galloping eighth-and-two-sixteenths figure on the chord root, a fifth on beat four."""
    root = CH[chord][0] + 12 * octave
    if root < 36:
        root += 12  # keep the figure inside the cellos' range (C2 and up)
    t = bar * BAR
    e, s = PPQ // 2, PPQ // 4
    figure = [(0, e, 0), (e, s, 0), (e + s, s, 0), (PPQ, e, 0), (PPQ + e, s, 0), (PPQ + e + s, s, 0),
              (2 * PPQ, e, 0), (2 * PPQ + e, s, 0), (2 * PPQ + e + s, s, 0), (3 * PPQ, e, 7), (3 * PPQ + e, e, 3 if CH[chord][1][1] == 3 else 4)]
    for off, d, iv in figure:
        accent = 12 if off % PPQ == 0 else 0
        tr.note(part, t + off, d, root + iv, vel + accent)


def bass_hold(tr, bar, chord, vel, bars=1):
    root = CH[chord][0]
    # An octave below the chord root where a double bass reaches it (E1 = 28), else the root.
    tr.note("basses", bar * BAR, bars * BAR, root - 12 if root - 12 >= 28 else root, vel)


def pad(tr, part, bar, chord, vel, octave, bars=1):
    tr.chord(part, bar * BAR, bars * BAR, chord_notes(chord, octave, (0, 1, 2, 3)), vel)


def war_drums(tr, bar, vel, fill=False):
    t = bar * BAR
    for beat in range(4):
        tr.note("drums", t + beat * PPQ, PPQ // 2, KICK, vel + (15 if beat in (0, 2) else 0))
    tr.note("drums", t, PPQ, FLOOR_LO, vel)
    tr.note("drums", t + PPQ + PPQ // 2, PPQ // 2, FLOOR_HI, vel - 15)
    tr.note("drums", t + 2 * PPQ, PPQ, FLOOR_LO, vel - 5)
    tr.note("drums", t + 3 * PPQ + PPQ // 2, PPQ // 2, TOM_LO, vel - 10)
    if fill:
        for i in range(8):
            tr.note("drums", t + 2 * PPQ + i * PPQ // 4, PPQ // 4, [TOM_LO, FLOOR_HI, FLOOR_LO][i % 3], vel - 20 + i * 4)


def timpani(tr, bar, chord, vel, roll=False):
    root = CH[chord][0]
    low = root if 36 <= root <= 47 else root + 12 if root < 36 else root - 12  # D2..B2 drums
    t = bar * BAR
    if roll:
        for i in range(16):
            tr.note("timpani", t + i * PPQ // 4, PPQ // 4, low, vel - 40 + i * 3)
    else:
        tr.note("timpani", t, PPQ, low, vel)
        tr.note("timpani", t + 2 * PPQ, PPQ // 2, low, vel - 15)
        tr.note("timpani", t + 3 * PPQ, PPQ // 2, low + 7 if low + 7 <= 53 else low - 5, vel - 20)


def melody(tr, part, start_bar, notes, vel, octave_shift=0, double=None):
    """notes: list of (pitch, beats); pitch None is a rest."""
    t = start_bar * BAR
    for i, (p, beats) in enumerate(notes):
        d = int(beats * PPQ)
        if p is not None:
            v = vel + (10 if t % BAR == 0 else 0)
            tr.note(part, t, d, p + octave_shift, v)
            if double:
                tr.note(double, t, d, p + octave_shift - 12, v - 5)
        t += d


# The main theme, 8 bars over Dm Dm Bb Bb Gm Gm A A (trombone register).
THEME = [(50, 2), (53, 1), (52, 1), (50, 3), (45, 1),
         (46, 2), (50, 1), (53, 1), (52, 3), (None, 1),
         (55, 2), (53, 1), (50, 1), (46, 3), (50, 1),
         (49, 2), (52, 1), (55, 1), (57, 4)]
# The development's answer, 8 bars over Bb C Dm Dm Gm Bb A A.
ANSWER = [(58, 2), (57, 1), (55, 1), (55, 2), (57, 1), (60, 1), (62, 3), (60, 1), (57, 4),
          (55, 2), (58, 1), (62, 1), (65, 3), (62, 1), (61, 3), (57, 1), (61, 4)]


def end_on_dominant(tr, bar, vel):
    """Last bar: a dominant hit that dies within the bar, plus a pickup roll into the next track."""
    t = bar * BAR
    tr.chord("brass", t, 2 * PPQ, chord_notes("A", 1), vel)
    tr.note("basses", t, 3 * PPQ, 33, vel)
    tr.note("drums", t, PPQ, CRASH, vel - 20)
    for i in range(8):
        tr.note("timpani", t + 2 * PPQ + i * PPQ // 4, PPQ // 4, 33, 60 + i * 7)


def track_a():
    tr = Track(477)
    setup(tr)
    for b, c in enumerate(CHORDS_A):
        sect = 0 if b < 4 else 1 if b < 12 else 2 if b < 20 else 3 if b < 28 else 4
        vel = [70, 82, 88, 100, 78][sect]
        if b < 31:
            ostinato(tr, b, c, vel - 5)
            bass_hold(tr, b, c, vel - 10)
        if sect == 0:
            timpani(tr, b, c, 85, roll=(b == 3))
            pad(tr, "choir", b, c, 55 + b * 6, 1)
        if sect in (1, 2, 3) or (sect == 4 and b < 30):
            war_drums(tr, b, vel - 15 + (10 if sect == 3 else 0), fill=(b in (11, 19, 27)))
            timpani(tr, b, c, vel)
        if sect in (1, 2):
            pad(tr, "strings", b, c, vel - 25, 1)
        if sect in (2, 3):
            pad(tr, "choir", b, c, vel - 10, 1)
        if sect == 3:
            pad(tr, "trem", b, c, vel - 15, 2)
            tr.chord("brass", b * BAR, PPQ, chord_notes(c, 1), vel)
            tr.chord("brass", b * BAR + 2 * PPQ + PPQ // 2, PPQ // 2, chord_notes(c, 1), vel - 10)
            if b % 4 == 0:
                tr.note("drums", b * BAR, PPQ * 2, CRASH, 100)
        if sect == 4 and b < 31:
            pad(tr, "choir", b, c, 70 - (b - 28) * 6, 1)
            pad(tr, "strings", b, c, 55, 1)
    tr.swell("choir", 0, 4 * BAR, 60, 110)
    melody(tr, "trombone", 4, THEME, 90, double="tuba")
    melody(tr, "horns", 12, ANSWER, 92)
    melody(tr, "trombone", 12, [(p - 12 if p else None, d) for p, d in ANSWER], 70)
    melody(tr, "horns", 20, THEME, 100, octave_shift=12)
    melody(tr, "trombone", 20, THEME, 100, double="tuba")
    tr.swell("strings", 28 * BAR, 31 * BAR, 110, 70)
    end_on_dominant(tr, 31, 95)
    return tr, 32


def track_b():
    """The percussion-and-brass layer: it only makes sense over C's first 14 bars."""
    tr = Track(478)
    setup(tr)
    for b, c in enumerate(CHORDS_BC[:14]):
        vel = 80 + min(b, 10) * 2
        if b < 13:
            war_drums(tr, b, vel - 10, fill=(b in (3, 7, 11)))
            timpani(tr, b, c, vel + 5)
            tr.chord("brass", b * BAR, PPQ + PPQ // 2, chord_notes(c, 1), vel)
            tr.chord("trombone", b * BAR + 3 * PPQ, PPQ // 2, chord_notes(c, 0)[:2], vel - 10)
            if b % 4 == 0:
                tr.note("drums", b * BAR, 2 * PPQ, CHINA if b else CRASH, 95)
        else:
            # Bar 14: a decrescendo roll, so B falls away while C carries on.
            for i in range(12):
                tr.note("timpani", b * BAR + i * PPQ // 4, PPQ // 4, 33, 95 - i * 5)
            tr.chord("brass", b * BAR, 2 * PPQ, chord_notes("A", 1), 85)
    melody(tr, "tuba", 4, [(p - 12 if p else None, d) for p, d in THEME], 80)
    return tr, 14


def track_c():
    tr = Track(236)
    setup(tr)
    for b, c in enumerate(CHORDS_BC):
        alone = b >= 14
        vel = 78 if not alone else 72 + (b - 14) * 3
        if b < 25:
            ostinato(tr, b, c, vel)
            bass_hold(tr, b, c, vel - 8)
            pad(tr, "choir", b, c, vel - 8, 1)
        if b < 14:
            pad(tr, "strings", b, c, 60, 1)
        elif b < 25:
            pad(tr, "trem", b, c, 55 + (b - 14) * 4, 2)
            if b >= 18:
                war_drums(tr, b, 60 + (b - 18) * 5, fill=(b == 24))
    tr.swell("choir", 0, 2 * BAR, 70, 115)
    melody(tr, "horns", 4, THEME, 85, octave_shift=12)
    # After B has gone the strings take a broader line over Dm Bb F C Gm Dm A A, then horns return.
    STRINGS = [(74, 4), (74, 2), (77, 2), (72, 4), (72, 2), (70, 2), (70, 3), (69, 1), (69, 4),
               (73, 4), (76, 4)]
    melody(tr, "strings", 14, STRINGS, 88)
    melody(tr, "horns", 22, [(62, 2), (65, 1), (64, 1), (62, 3), (58, 1), (55, 2), (58, 1), (62, 1),
                             (61, 4)], 95)
    end_on_dominant(tr, 25, 95)
    return tr, 26


def write_midi(path, tr, bars):
    def vlq(n):
        out = [n & 0x7F]
        n >>= 7
        while n:
            out.append(0x80 | (n & 0x7F))
            n >>= 7
        return bytes(reversed(out))

    tempo = 60_000_000 // BPM
    conductor = (b"\x00\xFF\x51\x03" + tempo.to_bytes(3, "big") + b"\x00\xFF\x58\x04\x04\x02\x18\x08"
                 + vlq(bars * BAR + 2 * PPQ) + b"\xFF\x2F\x00")  # runs past the end to keep the tail
    body = bytearray()
    last = 0
    for tick, _, data in sorted(tr.events, key=lambda e: (e[0], e[1])):
        body += vlq(tick - last) + data
        last = tick
    body += vlq(max(0, bars * BAR + 2 * PPQ - last)) + b"\xFF\x2F\x00"
    with open(path, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 1, 2, PPQ))
        for chunk in (conductor, bytes(body)):
            f.write(b"MTrk" + struct.pack(">I", len(chunk)) + chunk)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    for name, fn in (("track_a", track_a), ("track_b", track_b), ("track_c", track_c)):
        tr, bars = fn()
        write_midi(os.path.join(out, name + ".mid"), tr, bars)
        print("%s: %d bars, %.3f s" % (name, bars, bars * 4 * 60.0 / BPM))


if __name__ == "__main__":
    main()
