"""Preview renders of the orc glTF files (Blender, Workbench with textures).

blender -b --factory-startup -P render_preview.py -- GLTF_DIR OUT_PNG [frame_seconds] [view]
view: front (default), side, close (first orc only, large)
"""
import math
import os
import sys

import bpy
import numpy

# The bundled glTF importer still uses an alias that newer numpy removed.
if not hasattr(numpy, "bool"):
    numpy.bool = bool

argv = sys.argv[sys.argv.index("--") + 1:]
src, out = argv[0], argv[1]
t = float(argv[2]) if len(argv) > 2 else 0.0
view = argv[3] if len(argv) > 3 else "front"

bpy.ops.wm.read_factory_settings(use_empty=True)
names = sorted(f for f in os.listdir(src) if f.endswith(".gltf"))
if view == "close":
    names = [n for n in names if n.startswith(argv[4])] if len(argv) > 4 else names[:1]
x = 0.0
for n in names:
    before = set(bpy.data.objects)
    bpy.ops.import_scene.gltf(filepath=os.path.join(src, n))
    new = [o for o in bpy.data.objects if o not in before]
    roots = [o for o in new if o.parent is None]
    for o in roots:
        o.location.x += x
    for o in new:
        if o.animation_data and o.animation_data.action:
            pass
    x += 7.0 if "flag" in n else 1.6
scene = bpy.context.scene
scene.render.fps = 100
scene.frame_set(int(round(t * 100)) + 1)
scene.render.engine = "BLENDER_WORKBENCH"
scene.display.shading.light = "STUDIO"
scene.display.shading.color_type = "TEXTURE"
scene.display.shading.show_shadows = True
scene.display.shading.show_cavity = False
scene.render.resolution_x = 1600 if view != "close" else 900
scene.render.resolution_y = 700 if view != "close" else 1000
scene.world = bpy.data.worlds.new("w")
scene.world.color = (0.25, 0.25, 0.28)
cam = bpy.data.cameras.new("cam")
co = bpy.data.objects.new("cam", cam)
scene.collection.objects.link(co)
scene.camera = co
span = max(x - 1.6, 0.1)
if view == "front":
    co.location = (span / 2 + 1.5, -span * 0.9 - 3, 2.2)
    co.rotation_euler = (math.radians(84), 0, math.radians(10))
    cam.lens = 35
elif view == "side":
    co.location = (span / 2, -span * 0.9 - 3, 1.5)
    co.rotation_euler = (math.radians(88), 0, math.radians(0))
    # look at the orcs from their left side: turn every root by -90 degrees about z
    for o in bpy.data.objects:
        if o.parent is None and o.type != "CAMERA":
            o.rotation_euler.z += math.radians(90)
    cam.lens = 35
else:
    co.location = (1.6, -3.2, 1.7)
    co.rotation_euler = (math.radians(86), 0, math.radians(27))
    cam.lens = 40
    if "flag" in names[0]:
        co.location = (4.5, -10, 3.5)
        co.rotation_euler = (math.radians(86), 0, math.radians(25))
scene.render.filepath = out
bpy.ops.render.render(write_still=True)
