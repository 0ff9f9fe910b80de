# SPDX-License-Identifier: Apache-2.0
"""Headless test of the add-on: a mesh, a point cloud and a curve rasterised to
volumes (skinweave in the camera's frustum), checked and rendered; the default
Cube with the default settings; warnings and empty results in the report.

blender -b --factory-startup --python-exit-code 1 --python test_addon.py -- \
    --module-dir BUILD/python --sopcook BUILD/bin/sopcook --out FOLDER [--picture PNG]
"""
import argparse
import math
import os
import re
import subprocess
import sys

import bpy

args = argparse.ArgumentParser()
args.add_argument("--module-dir", required=True)
args.add_argument("--sopcook", required=True)
args.add_argument("--out", required=True)
args.add_argument("--picture", help="also render a larger picture for the README here")
args = args.parse_args(sys.argv[sys.argv.index("--") + 1:])

os.environ["SOPCOOK_PYTHONPATH"] = args.module_dir
# Blender's user data (where an unsaved file's volumes go) inside the output folder.
os.environ["BLENDER_USER_DATAFILES"] = os.path.join(os.path.abspath(args.out), "user_datafiles")
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
os.makedirs(args.out, exist_ok=True)

import sopcook_volumes  # noqa: E402

sopcook_volumes.register()
import sopcook  # noqa: E402


def scene_setup():
    for obj in list(bpy.data.objects):
        bpy.data.objects.remove(obj)
    scene = bpy.context.scene
    cam = bpy.data.objects.new("Camera", bpy.data.cameras.new("Camera"))
    scene.collection.objects.link(cam)
    cam.location = (0, -6, 0.3)
    cam.rotation_euler = (math.radians(90), 0, 0)
    cam.data.clip_start, cam.data.clip_end = 4.0, 8.0
    scene.camera = cam
    scene.render.resolution_x, scene.render.resolution_y = 48, 32
    scene.sopcook.output_dir = args.out
    # The operators' own divisions and a fixed radius, to compare with direct cooks.
    scene.sopcook.resolution = 0
    scene.sopcook.radius = 0.1
    return scene


def add(name, data, location):
    obj = bpy.data.objects.new(name, data)
    bpy.context.scene.collection.objects.link(obj)
    obj.location = location
    return obj


def quads_mesh():
    mesh = bpy.data.meshes.new("sheet")
    n = 4
    verts = [(x / n * 2 - 1, 0, y / n * 2 - 1) for y in range(n + 1) for x in range(n + 1)]
    faces = [(y * (n + 1) + x, y * (n + 1) + x + 1, (y + 1) * (n + 1) + x + 1, (y + 1) * (n + 1) + x)
             for y in range(n) for x in range(n)]
    mesh.from_pydata(verts, [], faces)
    return add("Sheet", mesh, (1.6, 0, 0))


def point_cloud():
    # A mesh of vertices only, with a radius and a colour per point.
    mesh = bpy.data.meshes.new("cloud")
    verts = [(0.6 * math.cos(a), 0.6 * math.sin(a), 0.4 * math.sin(2 * a)) for a in (i * 0.5 for i in range(13))]
    verts.append((0, 0, 0))
    mesh.from_pydata(verts, [], [])
    radius = mesh.attributes.new("radius", "FLOAT", "POINT")
    radius.data.foreach_set("value", [0.35] * len(verts))
    mesh.attributes.new("id", "INT", "POINT").data.foreach_set("value", list(range(len(verts))))
    mesh.attributes.new("flag", "BOOLEAN", "POINT")
    colour = mesh.attributes.new("Col", "FLOAT_COLOR", "POINT")
    colour.data.foreach_set("color", [c for i in range(len(verts)) for c in (1.0, i / len(verts), 0.2, 1.0)])
    return add("Cloud", mesh, (0, 0, 0))


def curve():
    data = bpy.data.curves.new("strand", "CURVE")
    spline = data.splines.new("POLY")
    spline.points.add(7)
    for i, p in enumerate(spline.points):
        p.co = (0.3 * math.cos(i), 0.3 * math.sin(i), i / 7 * 1.6 - 0.8, 1)
    return add("Strand", data, (-1.6, 0, 0))


def rasterise(obj, op, params):
    scene = bpy.context.scene
    scene.sopcook.operator = op
    group = getattr(scene.sopcook, "op_" + op)
    for name, value in params.items():
        setattr(group, name, value)
    for o in bpy.context.scene.objects:
        o.select_set(False)
    obj.select_set(True)
    bpy.context.view_layer.objects.active = obj
    assert bpy.ops.object.sopcook_rasterise() == {"FINISHED"}, op
    vol = bpy.context.view_layer.objects.active
    assert vol.type == "VOLUME" and vol is not obj, op
    assert tuple(vol.matrix_world.translation) == tuple(obj.matrix_world.translation), op
    return vol


def file_grids(path):
    """name -> active voxels, as `sopcook info` lists them."""
    lines = subprocess.run([args.sopcook, "info", path], check=True, capture_output=True, text=True).stdout
    grids = {}
    for line in lines.splitlines()[2:]:
        words = line.split()
        at = next(i for i, w in enumerate(words) if re.fullmatch(r"\d+x\d+x\d+", w))
        # A resampled grid shows its active box, marked "(active)", for a resolution.
        count = words[at + 2] if words[at + 1] == "(active)" else words[at + 1]
        grids[words[0]] = int(count)
    return grids


def check_volume(vol, must_have):
    vol.data.grids.load()
    names = {g.name for g in vol.data.grids}
    grids = file_grids(bpy.path.abspath(vol.data.filepath))
    assert names == set(grids), (names, grids)
    for name in must_have:
        assert grids.get(name, 0) > 0, (vol.name, name, grids)
    return grids


def render(path, size):
    scene = bpy.context.scene
    scene.render.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = 4
    scene.cycles.use_denoising = False
    scene.cycles.volume_step_rate = 4
    scene.render.resolution_x, scene.render.resolution_y = size
    scene.render.resolution_percentage = 100
    scene.world = bpy.data.worlds.new("night")
    scene.world.color = (0.02, 0.02, 0.04)
    if "Sun" not in bpy.data.objects:
        sun = add("Sun", bpy.data.lights.new("Sun", "SUN"), (0, 0, 5))
        sun.rotation_euler = (math.radians(40), 0, math.radians(20))
        sun.data.energy = 4.0
    scene.render.filepath = path
    bpy.ops.render.render(write_still=True)
    image = bpy.data.images.load(path)
    w, h = image.size
    pixels = image.pixels[:]
    centre = (h // 2 * w + w // 2) * 4
    return pixels[centre:centre + 3], pixels[0:3]


scene = scene_setup()
sheet, cloud, strand = quads_mesh(), point_cloud(), curve()

cloud_vol = rasterise(cloud, "billowfold", {"divs": (24, 24, 24), "densitymult": 4.0})
grids = check_volume(cloud_vol, ["density", "Cd"])
# The object's attributes arrive under sopcook's names, and the file holds what the module cooks.
from sopcook_volumes import cook as addon_cook  # noqa: E402

params = {"divs": (24, 24, 24), "densitymult": 4.0, "densityattrib": "density", "radiusattrib": "pscale"}
notes = []
inputs = addon_cook.inputs_for("billowfold", cloud, bpy.context.evaluated_depsgraph_get(), params, 0.1, notes)
assert set(inputs["points"]) >= {"P", "pscale", "Cd", "density", "id", "flag"} and inputs["primitives"] is None, inputs["points"]
assert abs(float(inputs["points"]["pscale"][0]) - 0.35) < 1e-6 and inputs["points"]["id"][5] == 5 and len(notes) == 1, notes
direct = sopcook.cook("billowfold", params=params, **inputs)
assert {v.name: v.active for v in direct} == {k: v for k, v in grids.items() if k != "Cd"}
strand_vol = rasterise(strand, "strandcast", {"divs": (16, 16, 24)})
check_volume(strand_vol, ["density"])
sheet_vol = rasterise(sheet, "skinweave", {"divs": (24, 16, 24), "usecamfrustum": True})
check_volume(sheet_vol, ["density"])
assert addon_cook.inputs_for("skinweave", sheet, bpy.context.evaluated_depsgraph_get())["primitives"]["offsets"][-1] == 64

# The point cloud's colour reaches the vector Cd grid.
assert "Cd" in {g.name for g in cloud_vol.data.grids}

for source in (sheet, cloud, strand):
    source.hide_render = True  # only the volumes show
centre, corner = render(os.path.join(args.out, "render.png"), (32, 24))
assert max(abs(a - b) for a, b in zip(centre, corner)) > 0.05, f"the render's centre is background: {centre}, {corner}"

# Bake: one file per frame, played by one Volume object.
scene.frame_start, scene.frame_end = 3, 4
scene.sopcook.operator = "billowfold"
bpy.context.view_layer.objects.active = cloud
assert bpy.ops.object.sopcook_rasterise(bake=True) == {"FINISHED"}
baked = bpy.context.view_layer.objects.active
assert baked.data.is_sequence and baked.data.frame_duration == 2
for frame in (3, 4):
    assert os.path.exists(os.path.join(args.out, f"Cloud_billowfold_{frame:04d}.vdb")), frame
    scene.frame_set(frame)
    played = baked.evaluated_get(bpy.context.evaluated_depsgraph_get()).data.grids
    assert played.frame_filepath.endswith(f"_{frame:04d}.vdb") and len(played) > 0, (frame, played.frame_filepath)

if args.picture:
    bpy.data.objects.remove(baked)
    render(args.picture, (320, 200))
bpy.data.objects.remove(baked)

from sopcook_volumes import ui as addon_ui  # noqa: E402


def reports(level):
    return [text for lv, text in addon_ui.last_reports if lv == level]


# The default Cube, first click, every setting at its default (the file unsaved):
# a cloud of some thousands of voxels, in a folder that outlives the session.
for name in ("operator", "resolution", "radius", "output_dir"):
    scene.sopcook.property_unset(name)
for p in sopcook.parameters(scene.sopcook.operator):
    getattr(scene.sopcook, "op_" + scene.sopcook.operator).property_unset(p["name"])
assert scene.sopcook.operator == "billowfold" and scene.sopcook.resolution > 0 and not bpy.data.filepath
bpy.ops.mesh.primitive_cube_add()
cube = bpy.context.active_object
assert bpy.ops.object.sopcook_rasterise() == {"FINISHED"}
cube_vol = bpy.context.view_layer.objects.active
cube_grids = check_volume(cube_vol, ["density", "Cd"])  # white, not black smoke
assert cube_grids["density"] > 5000, cube_grids
assert not reports("WARNING"), addon_ui.last_reports
kept = os.path.dirname(bpy.path.abspath(cube_vol.data.filepath))
assert kept.startswith(os.environ["BLENDER_USER_DATAFILES"]) and not kept.startswith(bpy.app.tempdir), kept
assert any(kept in n and "not saved" in n for n in reports("INFO")), addon_ui.last_reports
assert any(n.startswith("divs=") for n in reports("INFO")), addon_ui.last_reports

# Triangles through a quad operator: a warning in the report, and why nothing shows.
bpy.ops.mesh.primitive_ico_sphere_add(location=(0, 0, 3))
ico = bpy.context.active_object
scene.sopcook.operator = "skinweave"
assert bpy.ops.object.sopcook_rasterise() == {"FINISHED"}
warned = reports("WARNING")
assert any("has no faces with four corners" in w for w in warned), addon_ui.last_reports
assert any(w.startswith("skinweave wrote no voxel: ") for w in warned), addon_ui.last_reports

# The module's warnings, UserWarnings and the result's, reach the report too.
import warnings as python_warnings  # noqa: E402


class FakeResult(list):
    operator, warnings = "fake", ["from the result"]

    def write_vdb(self, *a, **k):
        pass


class FakeModule:
    def cook(self, op, **kwargs):
        python_warnings.warn("from a UserWarning")
        return FakeResult()


problems = []
fake = addon_cook.cook_frame(FakeModule(), "billowfold", {}, cloud, scene, os.path.join(args.out, "fake.vdb"), 0.1,
                             [], problems)
assert problems == ["from a UserWarning", "from the result"], problems
assert addon_cook.empty_reason(fake, problems) == "fake made no volumes: from a UserWarning"
print("blender add-on test: ok")
