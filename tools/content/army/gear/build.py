"""Builds the gear: textures into the media tree, one glTF per model into the work folder, and
prints each model's box and triangle count. Usage: build.py WORK_DIR TEXTURE_DIR [group...]"""
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import meshkit as mk  # noqa: E402
import textures  # noqa: E402


def image_uri(gltf_dir, tex_dir, name):
    return os.path.relpath(os.path.join(tex_dir, name), gltf_dir)


def emit(models, work, tex_dir, heights=None):
    for k, m in enumerate(models):
        if heights is not None:  # exact table height, scaled about the grip at the origin
            P, _, _, _ = m.geometry()
            s = heights[k] / np.ptp(P[:, 1])
            for p in m.parts:
                p.P = p.P * s
        m.material = dict(m.material, image_uri=image_uri(work, tex_dir, m.material['colourMap']))
        mk.write_gltf(m, os.path.join(work, m.name + '.gltf'))
        P, _, _, _ = m.geometry()
        lo, hi = P.min(axis=0), P.max(axis=0)
        note = ''
        if heights is not None:
            note = f' table height {heights[k]} (box {hi[1] - lo[1]:.2f})'
        print(f'{m.name}: {m.triangle_count()} triangles, box {np.round(lo, 2)} .. '
              f'{np.round(hi, 2)}{note}')


def main():
    work, tex_dir = sys.argv[1], sys.argv[2]
    groups = sys.argv[3:] or ['textures', 'weapons', 'shields', 'vehicles']
    os.makedirs(work, exist_ok=True)
    os.makedirs(tex_dir, exist_ok=True)
    if 'textures' in groups:
        for i, n in enumerate(textures.ATLASES):
            textures.build_atlas(n, tex_dir, seed=11 + i)
    if 'weapons' in groups:
        import weapons
        emit(weapons.build_all(), work, tex_dir, weapons.HEIGHTS)
    if 'shields' in groups:
        import shields
        emit(shields.build_all(), work, tex_dir, shields.HEIGHTS)
    if 'vehicles' in groups:
        import vehicles
        emit(vehicles.build_all(), work, tex_dir)
        vehicles.report_fit()


if __name__ == '__main__':
    main()
