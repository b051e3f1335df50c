"""Blender: imports glTF files, lines them up along X and renders one PNG.
blender -b --factory-startup -P render_preview.py -- OUT.png [--view front|side|three] A.gltf ..."""
import math
import sys

import bpy
import numpy

if not hasattr(numpy, "bool"):  # the bundled glTF importer still uses the removed alias
    numpy.bool = bool
from mathutils import Vector

argv = sys.argv[sys.argv.index('--') + 1:]
out = argv.pop(0)
view = 'three'
if argv and argv[0] == '--view':
    view = argv[1]
    argv = argv[2:]

bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene
x = 0.0
objs = []
maxh = 0.0
for path in argv:
    before = set(bpy.data.objects)
    bpy.ops.import_scene.gltf(filepath=path)
    new = [o for o in bpy.data.objects if o not in before and o.type == 'MESH']
    for o in new:
        if view == 'side':  # profile: turn each item so its front points right, then look from the front
            o.rotation_mode = 'XYZ'
            o.rotation_euler = (0.0, 0.0, math.radians(90))
        bpy.context.view_layer.update()
        pts = [o.matrix_world @ Vector(c) for c in o.bound_box]
        lo = Vector((min(p.x for p in pts), min(p.y for p in pts), min(p.z for p in pts)))
        hi = Vector((max(p.x for p in pts), max(p.y for p in pts), max(p.z for p in pts)))
        w = hi.x - lo.x
        o.location.x += x - lo.x
        o.location.z -= lo.z
        x += w + max(w * 0.3, 2.0)
        maxh = max(maxh, hi.z - lo.z)
        objs.append(o)
width = x
cam_data = bpy.data.cameras.new('cam')
cam_data.type = 'ORTHO'
cam = bpy.data.objects.new('cam', cam_data)
scene.collection.objects.link(cam)
scene.camera = cam
centre = Vector((width / 2, 0, maxh / 2))
if view == 'front':   # looking at the unit's front (Blender -Y is the front)
    d = Vector((0, -1, 0))
elif view == 'side':
    d = Vector((0, -1, 0))
elif view == 'back':
    d = Vector((0, 1, 0.25))
else:
    d = Vector((0.6, -1, 0.2))
d.normalize()
cam.location = centre + d * (width + maxh) * 2
cam.rotation_euler = (-d).to_track_quat('-Z', 'Y').to_euler()
res_x = 1600
res_y = int(min(1600, max(500, res_x * maxh / max(width, 1e-3) * 1.1)))
scene.render.resolution_x = res_x
scene.render.resolution_y = res_y
cam_data.ortho_scale = max(width, maxh * res_x / res_y) * 1.12
cam_data.clip_end = (width + maxh) * 10
scene.render.engine = 'BLENDER_WORKBENCH'
scene.display.shading.light = 'STUDIO'
scene.display.shading.color_type = 'TEXTURE'
scene.display.shading.show_cavity = True
scene.render.film_transparent = False
scene.world = bpy.data.worlds.new('w')
scene.display.shading.background_type = 'VIEWPORT'
scene.render.filepath = out
bpy.ops.render.render(write_still=True)
