#!/usr/bin/python3
"""Tests of the level scripts' building blocks: winding, atlas packing, the glTF writer, height
remapping, seamless textures, DOT3 encoding, gloss alpha and the gate swing check.

usage: /usr/bin/python3 tools/content/level/test_level.py
"""
import os
import sys
import tempfile
import unittest

import numpy as np

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import check_level  # noqa: E402
import geometry  # noqa: E402
import level  # noqa: E402
import shapes  # noqa: E402
import textures  # noqa: E402
from noise import tile_fbm  # noqa: E402


def front_cross(mesh):
    """Model-space (b - a) x (c - a) per triangle as the glTF writer orders the corners: it must
    point into the surface, so that the mirrored glTF face is counter-clockwise from outside."""
    p = mesh.pos[mesh.tris]
    return np.cross(p[:, 1] - p[:, 0], p[:, 2] - p[:, 0])


class Winding(unittest.TestCase):
    def build(self, patches):
        meshes, _ = geometry.build_model(patches, 64, shapes.night_light)
        return meshes

    def test_height_field_box_faces_and_spire_keep_their_outside(self):
        hf = shapes.heightfield("g", 0, 100, 0, 100, lambda x, z: 5 + 0 * x, 20.0, 0)
        for m in self.build(hf):
            self.assertTrue(np.all(front_cross(m) @ np.array([0, 1, 0]) < 0))
        faces = shapes.box("b", 0, 10, 0, 20, 0, 30, 0)
        outside = {"+x": (1, 0, 0), "-x": (-1, 0, 0), "+y": (0, 1, 0), "-y": (0, -1, 0),
                   "+z": (0, 0, 1), "-z": (0, 0, -1)}
        for m in self.build(faces):
            n = np.array(outside[m.name[-2:]])
            self.assertTrue(np.all(front_cross(m) @ n < 0), m.name)
            # vertex normals agree with the outside
            self.assertTrue(np.all(m.nrm @ n > 0.99), m.name)
        sp = shapes.spire("s", 50.0, -20.0, 10.0, 4.0, 0.0, 60.0, 3, 6.0, 0)
        m = self.build([sp])[0]
        centroid = m.pos[m.tris].mean(1)
        radial = centroid - np.array([50.0, 0.0, -20.0])
        radial[:, 1] = 0
        self.assertGreater(np.mean(np.sum(front_cross(m) * radial, 1) < 0), 0.95)

    def test_fire_planes_face_two_ways_each_and_stand_upright(self):
        fire = level.fire_meshes()
        self.assertEqual(len(fire), 4)
        for m in fire:
            self.assertEqual(len(m.tris), 2)
            top = m.pos[:, 1] > 0
            self.assertTrue(np.all(m.uv0[top, 1] == 0) and np.all(m.uv0[~top, 1] == 1))
            n = m.nrm[0]
            self.assertTrue(np.all(front_cross(m) @ n < 0))
        normals = {tuple(np.round(m.nrm[0]).astype(int)) for m in fire}
        self.assertEqual(len(normals), 4)


class Atlas(unittest.TestCase):
    def test_rectangles_fit_and_never_overlap(self):
        rng = np.random.default_rng(5)
        patches = []
        for k in range(40):
            w, d = rng.uniform(5, 400, 2)
            patches += shapes.heightfield(f"p{k}", 0, w, 0, d, lambda x, z: 0 * x, 50.0, 0)
        size = 256
        rects = geometry.Atlas(size).pack(patches)
        taken = np.zeros((size, size), int)
        for x, y, w, h in rects:
            self.assertTrue(x >= 2 and y >= 2 and x + w + 2 <= size and y + h + 2 <= size)
            taken[y - 2:y + h + 2, x - 2:x + w + 2] += 1
        self.assertLessEqual(taken.max(), 1)
        self.assertGreater((taken > 0).mean(), 0.5)   # not wastefully small


class Files(unittest.TestCase):
    def test_glb_round_trip_mirrors_z_and_keeps_indices(self):
        meshes, _ = geometry.build_model(shapes.box("b", -1, 2, 3, 5, -7, -4, 0), 64,
                                         shapes.night_light)
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "m.glb")
            geometry.write_glb(path, meshes, [geometry.material("m", "a.jpg", "b.jpg")])
            back = check_level.glb_positions(path)
        self.assertTrue(np.allclose(back, np.concatenate([m.pos for m in meshes])))
        for m in meshes:
            self.assertLess(m.tris.max(), len(m.pos))

    def test_remap_pins_the_box_and_keeps_the_middle(self):
        m = geometry.MeshData("m", 0, np.array([[0, -50, 0], [0, 10, 0], [0, 30, 0],
                                                [0, 90, 0]], float), np.zeros((4, 3)),
                              np.zeros((4, 2)), np.zeros((4, 2)), np.array([[0, 1, 2]]))
        level.remap_y([m], 0.0, 40.0, -100.0, 123.456)
        self.assertEqual(float(m.pos[:, 1].min()), np.float32(-100.0))
        self.assertEqual(float(m.pos[:, 1].max()), np.float32(123.456))
        self.assertTrue(np.allclose(m.pos[1:3, 1], [10, 30]))


class Textures(unittest.TestCase):
    def test_tiles_are_seamless(self):
        img = tile_fbm(128, 3, 2.0)
        inner = np.abs(np.diff(img, axis=1)).mean()
        seam = np.abs(img[:, 0] - img[:, -1]).mean()
        self.assertLess(seam, 2.5 * inner)
        col, _, _ = textures.masonry(size=128, rows=4)
        self.assertLess(np.abs(col[:, 0] - col[:, -1]).mean(),
                        3 * np.abs(np.diff(col, axis=1)).mean() + 0.02)

    def test_dot3_of_flat_height_points_straight_out(self):
        n = textures.dot3(np.full((8, 8), 0.3), 5.0)
        self.assertTrue(np.all(n[..., 0] == 128) and np.all(n[..., 1] == 128))
        self.assertTrue(np.all(n[..., 2] == 255))

    def test_gloss_alpha_stays_above_the_alpha_test(self):
        from PIL import Image
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "g.tga")
            textures.save_gloss_tga(np.zeros((4, 4, 3)), np.full((4, 4), -1.0), path)
            a = np.array(Image.open(path))[..., 3]
        self.assertGreaterEqual(int(a.min()), 64)


class Gates(unittest.TestCase):
    def test_swing_check_accepts_the_leaves_and_refuses_deeper_ones(self):
        good = {"Gates_left": ([-428.6, 33.6, -225.06], [-416.6, 330.4, -157.66]),
                "Gates_right": ([-428.5, 33.6, -157.66], [-416.5, 330.4, -90.26])}
        self.assertEqual(check_level.gate_swing_problems(good), [])
        deep = dict(good)
        deep["Gates_left"] = ([-428.6, 33.6, -236.36], [-416.6, 330.4, -146.36])
        self.assertTrue(check_level.gate_swing_problems(deep))
        thick = dict(good)
        thick["Gates_right"] = ([-440.0, 33.6, -157.66], [-405.0, 330.4, -90.26])
        self.assertTrue(check_level.gate_swing_problems(thick))


if __name__ == "__main__":
    unittest.main()
