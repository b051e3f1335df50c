"""Renders previews of the level models with Blender (Cycles, emission only), drawn the way the
scene draws the map: colour map (uv set 0) x light map (uv set 1) x 4, no scene lights.

blender -b --factory-startup -P preview.py -- GLTF_DIR TEXTURE_DIR OUT_DIR [WIDTH HEIGHT [VIEW...]]
VIEW "gates_open" renders the leaves swung open as the scene opens them.
"""
import json
import math
import os
import struct
import sys

import bpy
import numpy

# the bundled glTF importer still names numpy's removed alias
if not hasattr(numpy, "bool") or numpy.bool is not bool:
    numpy.bool = bool
from mathutils import Vector

argv = sys.argv[sys.argv.index("--") + 1:]
gltf_dir, tex_dir, out_dir = argv[:3]
width, height = (int(argv[3]), int(argv[4])) if len(argv) > 4 else (800, 600)
os.makedirs(out_dir, exist_ok=True)

MODELS = ["Road", "Bottom", "center", "Rocks", "Wall_Left", "Wall_Right", "rock_back",
          "Gates_left", "Gates_right"]

# Cameras: eye and look direction in model space (yaw, pitch in degrees), as the scene's
# fixed views and flying shots see the level
VIEWS = {
    "view0": ((84.6, 155.7, -11.7), 202.0, 2.0),
    "view4": ((342.0, 770.0, -490.0), 150.0, -40.0),
    "view2": ((180.0, 254.0, 273.0), 221.0, -1.0),
    "view1": ((172.0, 505.0, 67.0), 200.0, -20.0),
    "view3": ((357.6, 119.0, -126.0), 183.0, 13.9),
    "forecourt": ((-380.0, 80.0, -153.5), 0.0, -3.0),
    "road_end": ((560.0, 90.0, -60.0), 345.0, -4.0),
    "bridge": ((-120.0, 60.0, -330.0), 120.0, 8.0),
    "chasm": ((-140.0, -250.0, 200.0), 265.0, 12.0),
    "gate": ((-250.0, 90.0, -160.0), 180.0, 14.0),
    "overview": ((600.0, 900.0, 600.0), 219.8, -37.5),
}


def glb_materials(path):
    with open(path, "rb") as f:
        data = f.read()
    n = struct.unpack_from("<I", data, 12)[0]
    doc = json.loads(data[20:20 + n])
    return {m["name"]: m.get("extras", {}) for m in doc.get("materials", [])}


def image(name):
    if not name:
        return None
    key = name.lower()
    for f in os.listdir(tex_dir):
        if f.lower() == key:
            img = bpy.data.images.get(f) or bpy.data.images.load(os.path.join(tex_dir, f))
            return img
    return None


def make_material(mat, extras, uv0, uv1):
    mat.use_nodes = True
    nt = mat.node_tree
    nt.nodes.clear()
    out = nt.nodes.new("ShaderNodeOutputMaterial")
    emit = nt.nodes.new("ShaderNodeEmission")
    nt.links.new(emit.outputs[0], out.inputs[0])
    col_img = image(extras.get("colourMap"))
    light_img = image(extras.get("bumpMap"))
    mul = nt.nodes.new("ShaderNodeMixRGB")
    mul.blend_type = "MULTIPLY"
    mul.inputs[0].default_value = 1.0
    for slot, img, uvname in ((1, col_img, uv0), (2, light_img, uv1)):
        if img is None:
            mul.inputs[slot].default_value = (0.25, 0.25, 0.25, 1)
            continue
        t = nt.nodes.new("ShaderNodeTexImage")
        t.image = img
        if slot == 2:
            img.colorspace_settings.name = "Non-Color"
        uv = nt.nodes.new("ShaderNodeUVMap")
        uv.uv_map = uvname
        nt.links.new(uv.outputs[0], t.inputs[0])
        nt.links.new(t.outputs[0], mul.inputs[slot])
    emit.inputs[1].default_value = 4.0
    nt.links.new(mul.outputs[0], emit.inputs[0])


bpy.ops.wm.read_factory_settings(use_empty=True)
for name in MODELS:
    path = os.path.join(gltf_dir, name + ".glb")
    if not os.path.exists(path):
        continue
    extras = glb_materials(path)
    before = set(bpy.data.objects)
    bpy.ops.import_scene.gltf(filepath=path)
    for obj in set(bpy.data.objects) - before:
        if obj.type != "MESH":
            continue
        uvs = [uv.name for uv in obj.data.uv_layers]
        for slot in obj.material_slots:
            m = slot.material
            if m is None or m.get("_done"):
                continue
            base = m.name.split(".")[0]
            make_material(m, extras.get(base, {}), uvs[0], uvs[1] if len(uvs) > 1 else uvs[0])
            m["_done"] = True
        # one material may be shared by several imported objects: copy per model
    for m in bpy.data.materials:
        if m.get("_done") and not m.get("_model"):
            m["_model"] = name
            m.name = name + "_" + m.name

scene = bpy.context.scene
scene.render.engine = "CYCLES"
scene.cycles.samples = 8
scene.cycles.max_bounces = 0
scene.cycles.use_denoising = False
scene.render.resolution_x = width
scene.render.resolution_y = height
scene.render.film_transparent = False
scene.view_settings.view_transform = "Standard"
world = bpy.data.worlds.new("night")
world.use_nodes = True
world.node_tree.nodes["Background"].inputs[0].default_value = (0.03, 0.02, 0.045, 1)
scene.world = world

cam_data = bpy.data.cameras.new("cam")
cam_data.sensor_fit = "HORIZONTAL"
cam_data.angle = math.radians(54.0)
cam_data.clip_start = 1.0
cam_data.clip_end = 8000.0
cam = bpy.data.objects.new("cam", cam_data)
scene.collection.objects.link(cam)
scene.camera = cam



def swing_gates(angle):
    """Places the two leaves as the scene does at gate angle `angle` (degrees, -90 = shut,
    -170 = open): the box centre offset by its half depth w, turned about the vertical."""
    a = math.radians(angle)
    for name, z_load, sign in (("Gates_left", -191.36, -1), ("Gates_right", -123.961, 1)):
        objs = [o for o in bpy.data.objects if o.type == "MESH" and o.name.startswith(name)]
        pts = [o.matrix_world @ Vector(c) for o in objs for c in o.bound_box]
        lo = Vector([min(p[i] for p in pts) for i in range(3)])
        hi = Vector([max(p[i] for p in pts) for i in range(3)])
        w = (hi.y - lo.y) / 2                      # model z is Blender y
        x = -422.619 + w * math.cos(a)
        z = z_load + sign * (w + w * math.sin(a))
        turn = (angle + 90) if sign > 0 else (-angle - 90)
        pivot = bpy.data.objects.new(name + "_pivot", None)
        scene.collection.objects.link(pivot)
        pivot.location = (lo + hi) / 2
        bpy.context.view_layer.update()
        for o in objs:
            o.parent = pivot
            o.matrix_parent_inverse = pivot.matrix_world.inverted()
        pivot.location = Vector((x, z, (lo.z + hi.z) / 2))
        # a model-space turn about +y by `turn` (row vectors) is a counter-clockwise turn about
        # Blender's z by the same angle
        pivot.rotation_euler = (0, 0, math.radians(turn))


only = argv[5:] if len(argv) > 5 else list(VIEWS)
if "gates_open" in only:
    # the open leaves seen through the gate and from inside the passage
    swing_gates(-170.0)
    VIEWS["gates_open"] = ((-250.0, 150.0, -150.0), 180.0, 0.0)
    VIEWS["passage_down"] = ((-470.0, 345.0, -150.0), 0.0, -89.9)
    only = ["gates_open", "passage_down"]
for view in only:
    (x, y, z), yaw, pitch = VIEWS[view]
    yr, pr = math.radians(yaw), math.radians(pitch)
    d = (math.cos(yr) * math.cos(pr), math.sin(pr), math.sin(yr) * math.cos(pr))
    cam.location = Vector((x, z, y))
    cam.rotation_mode = "QUATERNION"
    cam.rotation_quaternion = Vector((d[0], d[2], d[1])).to_track_quat("-Z", "Y")
    scene.render.filepath = os.path.join(out_dir, f"level_{view}.png")
    bpy.ops.render.render(write_still=True)
