"""Blender: a wheeled unit as the scene assembles it (body on its lift, wheels at their offsets
on the road), rendered to PNG. blender -b --factory-startup -P render_units.py -- OUT.png
GLTF_DIR UNIT LIFT ALONG,ALONG,... [view]"""
import math
import sys

import bpy
import numpy

if not hasattr(numpy, "bool"):  # the bundled glTF importer still uses the removed alias
    numpy.bool = bool
from mathutils import Vector

argv = sys.argv[sys.argv.index('--') + 1:]
out, gdir, unit, lift, alongs = argv[:5]
view = argv[5] if len(argv) > 5 else 'three'
lift = float(lift)
alongs = [float(a) for a in alongs.split(',')]
bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene


def load(name):
    before = set(bpy.data.objects)
    bpy.ops.import_scene.gltf(filepath=f'{gdir}/{name}.gltf')
    return [o for o in bpy.data.objects if o not in before and o.type == 'MESH'][0]


body = load(unit)
R = 21.05 / 2
for along in alongs:
    for across in (28.0, -28.0):
        w = load('Wheel')
        # glTF (x, y, z) is Blender (x, -z, y); the wheel's axle is x in both
        w.location = (across, -along, R - lift)
        w.rotation_euler = (math.radians(along * 7), 0, 0)
bpy.ops.mesh.primitive_plane_add(size=400, location=(0, 0, -lift))
cam_data = bpy.data.cameras.new('cam')
cam_data.type = 'ORTHO'
cam = bpy.data.objects.new('cam', cam_data)
scene.collection.objects.link(cam)
scene.camera = cam
centre = Vector((0, 0, 80))
d = {'three': Vector((1.0, -0.9, 0.45)), 'side': Vector((1, 0, 0.05)),
     'front': Vector((0, -1, 0.1)), 'back': Vector((-0.7, 1, 0.4)),
     'close': Vector((1.0, -0.8, 0.1))}[view]
d.normalize()
if view == 'close':
    # as the march camera sees a unit: about 100 units away, a little above the road, with a
    # 45-unit post standing beside it for an orc's height
    cam_data.type = 'PERSP'
    cam_data.angle = math.radians(70)
    cam.location = Vector((0, 0, 20)) + d * 105
    cam.rotation_euler = (Vector((0, 0, 55)) - cam.location).to_track_quat('-Z', 'Y').to_euler()
    bpy.ops.mesh.primitive_cube_add(size=1, location=(40, -30, 22.5 - lift))
    bpy.context.object.scale = (6, 6, 45)
else:
    cam.location = centre + d * 600
    cam.rotation_euler = (-d).to_track_quat('-Z', 'Y').to_euler()
cam_data.ortho_scale = 230
cam_data.clip_end = 2000
scene.render.engine = 'BLENDER_WORKBENCH'
scene.display.shading.light = 'STUDIO'
scene.display.shading.color_type = 'TEXTURE'
scene.display.shading.show_cavity = True
scene.render.resolution_x = 1200
scene.render.resolution_y = 1200
scene.render.filepath = out
bpy.ops.render.render(write_still=True)
