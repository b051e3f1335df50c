"""Modelling kit shared by the creature scripts (runs inside Blender).

Shapes are built as bmesh pieces in Blender space (x sideways, -y forward, z up), then poured into
one skinned mesh: each piece either follows one bone rigidly or takes weights from its distance to
the bone segments (at most two influences, largest first, with short blends at the joints, which
suits skinning whose normals follow the first influence only). Texture coordinates come from a box
projection in world units, so the tileable maps keep one texel density over the whole creature.
"""
import math
import os

import bmesh
import bpy
from mathutils import Euler, Matrix, Quaternion, Vector
from mathutils import noise as mnoise

FPS = 24


def V(x, fwd, z):
    """A point given as (sideways, forward, up); Blender's front is -y."""
    return Vector((x, -fwd, z))


def reset_scene():
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    scene.render.fps = FPS
    scene.render.fps_base = 1.0
    return scene


# --- pieces ----------------------------------------------------------------------------------
def _aligned(a, b):
    """Matrix taking the unit z axis onto the segment a->b, with its origin at a."""
    d = b - a
    q = Vector((0, 0, 1)).rotation_difference(d.normalized())
    return Matrix.Translation(a) @ q.to_matrix().to_4x4()


def ellipsoid(centre, radii, rot=(0, 0, 0), seg=12, rings=8):
    bm = bmesh.new()
    m = (Matrix.Translation(centre) @ Euler(rot, 'XYZ').to_matrix().to_4x4()
         @ Matrix.Diagonal((radii[0], radii[1], radii[2], 1.0)))
    bmesh.ops.create_uvsphere(bm, u_segments=seg, v_segments=rings, radius=1.0, matrix=m)
    return bm


def box(centre, half, rot=(0, 0, 0)):
    bm = bmesh.new()
    m = (Matrix.Translation(centre) @ Euler(rot, 'XYZ').to_matrix().to_4x4()
         @ Matrix.Diagonal((half[0] * 2, half[1] * 2, half[2] * 2, 1.0)))
    bmesh.ops.create_cube(bm, size=1.0, matrix=m)
    return bm


def cylinder(a, b, r1, r2=None, seg=16):
    """Capped cylinder (or cone) from point a to point b."""
    r2 = r1 if r2 is None else r2
    bm = bmesh.new()
    length = (b - a).length
    m = _aligned(a, b) @ Matrix.Translation((0, 0, length / 2))
    bmesh.ops.create_cone(bm, cap_ends=True, cap_tris=False, segments=seg, radius1=r1,
                          radius2=r2, depth=length, matrix=m)
    return bm


def tube(points, radii, seg=8, closed=False):
    """A swept tube through `points`; an end whose radius is 0 closes in a tip, others get caps."""
    bm = bmesh.new()
    n = len(points)
    rings = []
    normal = None
    for i, p in enumerate(points):
        if closed:
            t = points[(i + 1) % n] - points[i - 1]
        else:
            t = points[min(i + 1, n - 1)] - points[max(i - 1, 0)]
        t.normalize()
        if normal is None:
            helper = Vector((0, 0, 1)) if abs(t.z) < 0.9 else Vector((1, 0, 0))
            normal = t.cross(helper).normalized()
        else:  # parallel transport keeps the rings from twisting
            normal = (normal - t * normal.dot(t)).normalized()
        binormal = t.cross(normal)
        r = radii[i]
        if r <= 1e-6:
            rings.append([bm.verts.new(p)])
            continue
        ring = []
        for k in range(seg):
            a = 2 * math.pi * k / seg
            ring.append(bm.verts.new(p + (normal * math.cos(a) + binormal * math.sin(a)) * r))
        rings.append(ring)
    pairs = list(zip(rings, rings[1:]))
    if closed:
        pairs.append((rings[-1], rings[0]))
    for r0, r1 in pairs:
        if len(r0) == 1 and len(r1) == 1:
            continue
        if len(r1) == 1:
            for k in range(seg):
                bm.faces.new((r0[k], r0[(k + 1) % seg], r1[0]))
        elif len(r0) == 1:
            for k in range(seg):
                bm.faces.new((r0[0], r1[(k + 1) % seg], r1[k]))
        else:
            for k in range(seg):
                bm.faces.new((r0[k], r0[(k + 1) % seg], r1[(k + 1) % seg], r1[k]))
    if not closed:
        if len(rings[0]) > 1:
            bm.faces.new(list(reversed(rings[0])))
        if len(rings[-1]) > 1:
            bm.faces.new(rings[-1])
    bmesh.ops.recalc_face_normals(bm, faces=bm.faces[:])
    return bm


def ring(centre, axis, radius, thickness, seg=20, tseg=6):
    """A torus-like band around `axis` through `centre`."""
    axis = axis.normalized()
    helper = Vector((0, 0, 1)) if abs(axis.z) < 0.9 else Vector((1, 0, 0))
    u = axis.cross(helper).normalized()
    w = axis.cross(u)
    pts = [centre + (u * math.cos(2 * math.pi * k / seg) + w * math.sin(2 * math.pi * k / seg))
           * radius for k in range(seg)]
    return tube(pts, [thickness] * seg, seg=tseg, closed=True)


def skin_body(nodes, edges, subdiv=1, lumps=0.0, lump_scale=0.25, keep=1.0):
    """An organic hull around a graph of (point, radius) nodes (skin modifier, then subdivision);
    `lumps` pushes the surface in and out with smooth noise; `keep` < 1 thins the triangles."""
    me = bpy.data.meshes.new("skin_graph")
    me.from_pydata([p for p, _ in nodes], edges, [])
    obj = bpy.data.objects.new("skin_graph", me)
    bpy.context.scene.collection.objects.link(obj)
    skin = obj.modifiers.new("skin", 'SKIN')
    skin.use_smooth_shade = True
    for i, (_, r) in enumerate(nodes):
        rr = r if isinstance(r, (tuple, list)) else (r, r)
        me.skin_vertices[0].data[i].radius = rr
    me.skin_vertices[0].data[0].use_root = True
    sub = obj.modifiers.new("sub", 'SUBSURF')
    sub.levels = subdiv
    sub.render_levels = subdiv
    if keep < 1.0:
        dec = obj.modifiers.new("thin", 'DECIMATE')
        dec.ratio = keep
    dg = bpy.context.evaluated_depsgraph_get()
    ev = obj.evaluated_get(dg)
    tmp = ev.to_mesh()
    bm = bmesh.new()
    bm.from_mesh(tmp)
    ev.to_mesh_clear()
    bpy.data.objects.remove(obj)
    bpy.data.meshes.remove(me)
    if lumps > 0:
        bm.normal_update()
        for v in bm.verts:
            v.co += v.normal * lumps * mnoise.noise(v.co * lump_scale)
    bm.normal_update()
    return bm


# --- the assembled creature ------------------------------------------------------------------
class Creature:
    def __init__(self, name, tex_dir):
        self.name = name
        self.tex_dir = tex_dir
        self.bm = bmesh.new()
        self.uv = self.bm.loops.layers.uv.new("UVMap")
        self.deform = self.bm.verts.layers.deform.new()
        self.materials = []
        self.mat_index = {}
        self.bones = []  # (name, head, tail, parent, radius)
        self.bone_index = {}

    # skeleton
    def bone(self, name, head, tail, parent=None, radius=1.0):
        self.bone_index[name] = len(self.bones)
        self.bones.append((name, Vector(head), Vector(tail), parent, radius))

    # materials: one tileable colour map per material plus its DOT3 map
    def material(self, tex):
        if tex in self.mat_index:
            return self.mat_index[tex]
        m = bpy.data.materials.new(tex)
        m.use_nodes = True
        nodes = m.node_tree.nodes
        bsdf = nodes["Principled BSDF"]
        bsdf.inputs["Roughness"].default_value = 0.85
        bsdf.inputs["Specular"].default_value = 0.15
        path = os.path.join(self.tex_dir, tex + ".jpg")
        if os.path.exists(path):
            t = nodes.new("ShaderNodeTexImage")
            t.image = bpy.data.images.load(path)
            m.node_tree.links.new(t.outputs["Color"], bsdf.inputs["Base Color"])
        m["colourMap"] = tex + ".jpg"
        m["bumpMap"] = tex + "DOT3.jpg"
        m["wrapU"] = 1
        m["wrapV"] = 1
        self.mat_index[tex] = len(self.materials)
        self.materials.append(m)
        return self.mat_index[tex]

    def _weights_for(self, co, bones):
        scores = []
        for b in bones:
            _, h, t, _, r = self.bones[self.bone_index[b]]
            seg = t - h
            k = max(0.0, min(1.0, (co - h).dot(seg) / max(seg.length_squared, 1e-9)))
            d = (co - (h + seg * k)).length / r
            scores.append((d, b))
        scores.sort()
        best = scores[0][0]
        picked = [(math.exp(-(d - best) * 5.0), b) for d, b in scores[:2]]
        picked = [(w, b) for w, b in picked if w > 0.08]
        total = sum(w for w, _ in picked)
        return [(w / total, b) for w, b in picked]

    def add(self, piece, tex, bone=None, bones=None, tile=12.0, smooth=True, uv=None):
        """Pours `piece` in: rigid to `bone`, or weighted over `bones` by distance. `uv` may be a
        function of a point giving its texture coordinates (e.g. a disc mapping)."""
        mi = self.material(tex)
        vmap = {}
        for v in piece.verts:
            nv = self.bm.verts.new(v.co)
            if bone is not None:
                nv[self.deform][self.bone_index[bone]] = 1.0
            else:
                for w, b in self._weights_for(v.co, bones):
                    nv[self.deform][self.bone_index[b]] = w
            vmap[v] = nv
        for f in piece.faces:
            try:
                nf = self.bm.faces.new([vmap[v] for v in f.verts])
            except ValueError:
                continue
            nf.material_index = mi
            nf.smooth = smooth
            n = f.normal
            ax = max(range(3), key=lambda i: abs(n[i]))
            for loop, src in zip(nf.loops, f.loops):
                co = src.vert.co
                if uv is not None:
                    loop[self.uv].uv = uv(co)
                elif ax == 0:
                    loop[self.uv].uv = (co.y / tile, co.z / tile)
                elif ax == 1:
                    loop[self.uv].uv = (co.x / tile, co.z / tile)
                else:
                    loop[self.uv].uv = (co.x / tile, co.y / tile)
        piece.free()

    def mirror_add(self, make, tex, bone_l=None, bones_l=None, **kw):
        """Adds make(+1) with the .L bones and make(-1) with the .R bones."""
        for s, suffix in ((1, ".L"), (-1, ".R")):
            ren = (lambda b: b.replace(".L", suffix)) if s < 0 else (lambda b: b)
            self.add(make(s), tex, bone=ren(bone_l) if bone_l else None,
                     bones=[ren(b) for b in bones_l] if bones_l else None, **kw)

    def triangles(self):
        return sum(len(f.verts) - 2 for f in self.bm.faces)

    # build the Blender objects: armature, skinned mesh, action
    def build(self):
        scene = bpy.context.scene
        arm_data = bpy.data.armatures.new(self.name + "_rig")
        arm = bpy.data.objects.new(self.name + "_rig", arm_data)
        scene.collection.objects.link(arm)
        bpy.context.view_layer.objects.active = arm
        bpy.ops.object.mode_set(mode='EDIT')
        for name, h, t, parent, _ in self.bones:
            eb = arm_data.edit_bones.new(name)
            eb.head, eb.tail = h, t
            eb.roll = 0.0
            if parent:
                eb.parent = arm_data.edit_bones[parent]
                eb.use_connect = False
        bpy.ops.object.mode_set(mode='OBJECT')

        me = bpy.data.meshes.new(self.name)
        self.bm.normal_update()
        self.bm.to_mesh(me)
        for m in self.materials:
            me.materials.append(m)
        obj = bpy.data.objects.new(self.name, me)
        scene.collection.objects.link(obj)
        for name, *_ in self.bones:
            obj.vertex_groups.new(name=name)
        # the deform layer filled groups by index in bone order, matching the groups above
        obj.parent = arm
        mod = obj.modifiers.new("Armature", 'ARMATURE')
        mod.object = arm
        self.arm, self.obj = arm, obj
        return arm, obj

    def animate(self, frames, pose_fn, action_name, ground=False):
        """Keys every frame 0..frames of pose_fn(phase in [0, 1]) -> {bone: (euler, offset)}, the
        rotations about the rest pose's axes, applied after the parent's. Frame `frames` repeats
        frame 0, so the loop is seamless. With `ground`, the root bone is raised or lowered each
        frame so that the lowest point of the posed mesh stays at the rest pose's lowest point
        (the standing feet neither sink into the road nor float above it)."""
        scene = bpy.context.scene
        scene.frame_start = 0
        scene.frame_end = frames
        arm = self.arm
        arm.animation_data_create()
        action = bpy.data.actions.new(action_name)
        arm.animation_data.action = action
        for pb in arm.pose.bones:
            pb.rotation_mode = 'QUATERNION'
        rest_low = min(v.co.z for v in self.obj.data.vertices)
        root = self.bones[0][0]
        lift = []
        for f in range(frames):
            pose = pose_fn(f / frames)
            for pb in arm.pose.bones:
                rest = pb.bone.matrix_local.to_quaternion()
                euler, offset = pose.get(pb.name, ((0, 0, 0), (0, 0, 0)))
                d = Euler(euler, 'XYZ').to_quaternion()
                pb.rotation_quaternion = rest.inverted() @ d @ rest
                offset = Vector(offset)
                if ground and pb.name == root:
                    pb.location = rest.inverted() @ offset
                    bpy.context.view_layer.update()
                    dg = bpy.context.evaluated_depsgraph_get()
                    ev = self.obj.evaluated_get(dg)
                    me = ev.to_mesh()
                    low = min(v.co.z for v in me.vertices)
                    ev.to_mesh_clear()
                    offset = offset + Vector((0, 0, rest_low - low))
                pb.location = rest.inverted() @ offset
            lift.append([(pb.rotation_quaternion.copy(), pb.location.copy()) for pb in arm.pose.bones])
        # the root's correction depends on the other bones, so it is measured with them all set:
        # set every bone first, then measure once more and key
        for f in range(frames + 1):
            keys = lift[f % frames]
            for pb, (q, loc) in zip(arm.pose.bones, keys):
                pb.rotation_quaternion = q
                pb.location = loc
            if ground:
                bpy.context.view_layer.update()
                dg = bpy.context.evaluated_depsgraph_get()
                ev = self.obj.evaluated_get(dg)
                me = ev.to_mesh()
                low = min(v.co.z for v in me.vertices)
                ev.to_mesh_clear()
                pb = arm.pose.bones[root]
                rest = pb.bone.matrix_local.to_quaternion()
                pb.location = pb.location + rest.inverted() @ Vector((0, 0, rest_low - low))
                if f < frames:
                    keys[0] = (keys[0][0], pb.location.copy())
            for pb in arm.pose.bones:
                pb.keyframe_insert("rotation_quaternion", frame=f)
                pb.keyframe_insert("location", frame=f)
        for fc in action.fcurves:
            for kp in fc.keyframe_points:
                kp.interpolation = 'LINEAR'

    def export(self, path):
        bpy.ops.object.select_all(action='DESELECT')
        bpy.ops.export_scene.gltf(
            filepath=path, export_format='GLTF_SEPARATE', export_extras=True, export_yup=True,
            export_apply=False, export_animations=True, export_skins=True,
            export_force_sampling=True, export_frame_range=True, export_nla_strips=False,
            export_def_bones=False, export_current_frame=False, export_texcoords=True,
            export_normals=True, export_materials='EXPORT', use_selection=False)

    def bounds(self):
        xs = [v.co for v in self.bm.verts] if self.bm.is_valid else [v.co for v in self.obj.data.vertices]
        lo = Vector((min(c.x for c in xs), min(c.y for c in xs), min(c.z for c in xs)))
        hi = Vector((max(c.x for c in xs), max(c.y for c in xs), max(c.z for c in xs)))
        return lo, hi


def render_previews(creature, out_dir, views, size=(480, 360)):
    """Workbench renders with textures from the given (frame, azimuth deg, elevation deg)."""
    scene = bpy.context.scene
    scene.render.engine = 'BLENDER_WORKBENCH'
    scene.display.shading.light = 'STUDIO'
    scene.display.shading.color_type = 'TEXTURE'
    scene.display.shading.show_specular_highlight = False
    scene.render.resolution_x, scene.render.resolution_y = size
    scene.render.film_transparent = False
    world = bpy.data.worlds.new("w")
    scene.world = world
    lo = Vector(min(v.co[i] for v in creature.obj.data.vertices) for i in range(3))
    hi = Vector(max(v.co[i] for v in creature.obj.data.vertices) for i in range(3))
    centre = (lo + hi) / 2
    radius = (hi - lo).length / 2
    cam_data = bpy.data.cameras.new("cam")
    cam_data.lens = 50
    cam = bpy.data.objects.new("cam", cam_data)
    scene.collection.objects.link(cam)
    scene.camera = cam
    floor = bpy.data.meshes.new("floor")
    floor.from_pydata([(-300, -300, lo.z), (300, -300, lo.z), (300, 300, lo.z), (-300, 300, lo.z)],
                      [], [(0, 1, 2, 3)])
    scene.collection.objects.link(bpy.data.objects.new("floor", floor))
    paths = []
    for i, (frame, az, el) in enumerate(views):
        scene.frame_set(frame)
        a, e = math.radians(az), math.radians(el)
        dist = radius * 3.6
        d = Vector((math.sin(a) * math.cos(e), -math.cos(a) * math.cos(e), math.sin(e)))
        cam.location = centre + d * dist
        cam.rotation_euler = (-d).to_track_quat('-Z', 'Y').to_euler()
        path = os.path.join(out_dir, "%s_%d.png" % (creature.name, i))
        scene.render.filepath = path
        bpy.ops.render.render(write_still=True)
        paths.append(path)
    return paths
