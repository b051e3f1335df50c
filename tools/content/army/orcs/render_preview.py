"""Preview renders of the orc glTF files (Blender, Workbench with textures).

blender -b --factory-startup -P render_preview.py -- GLTF_DIR OUT_PNG [frame_seconds] [view]
view: front (default: all in a row), close or profile (one orc, named after the view), gear
(one orc at rest holding Meshes/WEAPON and Meshes/SHIELD: ... gear ORC WEAPON SHIELD MEDIA_DIR)
"""
import math
import os
import warnings
import sys

import bpy
import numpy

# The bundled glTF importer still uses an alias that newer numpy removed.
with warnings.catch_warnings():
    warnings.simplefilter("ignore")
    if not hasattr(numpy, "bool"):
        numpy.bool = bool

argv = sys.argv[sys.argv.index("--") + 1:]
src, out = argv[0], argv[1]
t = float(argv[2]) if len(argv) > 2 else 0.0
view = argv[3] if len(argv) > 3 else "front"

bpy.ops.wm.read_factory_settings(use_empty=True)
names = sorted(f for f in os.listdir(src) if f.endswith(".gltf"))
if view in ("close", "profile", "gear"):
    names = [n for n in names if n.startswith(argv[4])] if len(argv) > 4 else names[:1]
# The importer turns key times into frames at the scene's rate: 100 frames a second.
bpy.context.scene.render.fps = 100
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
if view == "gear":
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import emd_preview
    heights = {"Weapon": [12.5, 34.5, 20.5, 18.5, 14, 14, 14.5, 14.5, 40.5, 40.5, 40.5, 40.5, 40.5, 40.5],
               "Shield": [15.5, 17.5, 16.5, 21.5, 23.5, 22.5, 22.5, 25.5, 27.5, 25.5, 22.5, 22.5]}
    media = argv[7]
    arm = [o for o in bpy.data.objects if o.type == "ARMATURE"][0]
    arm.animation_data_clear()
    body = [o for o in bpy.data.objects if o.type == "MESH"][0]
    zs = [(arm.matrix_world @ v.co).z for v in body.data.vertices]
    orc_scale = 45.3 / (max(zs) - min(zs))
    # palm points from the grip file, in the bone's frame (model space, like the items)
    palms = {}
    for line in open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "grips.txt")):
        w = line.split("#")[0].split()
        if len(w) == 9 and w[0] == argv[4]:
            palms[w[1]] = [float(x) for x in w[2:5]]
            palms[w[5]] = [float(x) for x in w[6:9]]
    for item, bone in ((argv[5], "weapon_R"), (argv[6], "shield_L")):
        kind, k = item.split("_")
        mats, meshes = emd_preview.read_emd(os.path.join(media, "Meshes", item + ".EMD"))
        ys = [p[1] for pos, _ in meshes for p in pos]
        s = heights[kind][int(k)] / (max(ys) - min(ys)) / orc_scale
        head = arm.matrix_world @ arm.data.bones[bone].head_local
        g = palms.get(bone, [0.0, 0.0, 0.0])
        head.x += g[0]
        head.y += g[2]
        head.z += g[1]
        for pos, tris in meshes:
            me = bpy.data.meshes.new(item)
            verts = [(head.x + p[0] * s, head.y + p[2] * s, head.z + p[1] * s) for p in pos]
            me.from_pydata(verts, [], [t[0] for t in tris])
            uv = me.uv_layers.new()
            for poly, tri in zip(me.polygons, tris):
                for li, c in zip(poly.loop_indices, range(3)):
                    uv.data[li].uv = (tri[1][c][0], 1.0 - tri[1][c][1])
            mat = bpy.data.materials.new(item)
            mat.use_nodes = True
            tex = mat.node_tree.nodes.new("ShaderNodeTexImage")
            tex.image = bpy.data.images.load(os.path.join(media, "Texture", mats[0]))
            mat.node_tree.links.new(tex.outputs[0], mat.node_tree.nodes["Principled BSDF"].inputs[0])
            me.materials.append(mat)
            ob = bpy.data.objects.new(item, me)
            scene.collection.objects.link(ob)
scene.frame_set(int(round(t * 100)))
scene.render.engine = "BLENDER_WORKBENCH"
scene.display.shading.light = "STUDIO"
scene.display.shading.color_type = "TEXTURE"
scene.display.shading.show_shadows = True
scene.display.shading.show_cavity = False
scene.display.shading.show_specular_highlight = False
scene.render.resolution_x = 1600 if view == "front" else 900
scene.render.resolution_y = 700 if view == "front" else 1000
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
elif view == "profile":
    # from the orc's left, level with its chest
    big = "flag" in names[0]
    co.location = (14.0 if big else 4.6, 0.0, 3.5 if big else 1.0)
    co.rotation_euler = (math.radians(90), 0, math.radians(90))
    cam.lens = 40
else:
    co.location = (1.6, -3.2, 1.7)
    co.rotation_euler = (math.radians(86), 0, math.radians(27))
    cam.lens = 40
    if "flag" in names[0]:
        co.location = (4.5, -10, 3.5)
        co.rotation_euler = (math.radians(86), 0, math.radians(25))
scene.render.filepath = out
bpy.ops.render.render(write_still=True)
