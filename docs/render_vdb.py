# SPDX-License-Identifier: Apache-2.0
# Renders a sopcook .vdb file with Blender's Cycles, headless, for a quick look:
#   blender -b --factory-startup --python docs/render_vdb.py -- IN.vdb OUT.png
# The file should be written with --resample uniform (Blender shows frustum
# grids with their affine part only). Density comes from the "density" grid,
# colour from a vector "Cd" grid (written with --vector-grids) when there is
# one; the camera looks at the volume's bounds from above and in front.
import sys

import bpy
import mathutils

vdb, out = sys.argv[sys.argv.index("--") + 1:][:2]
bpy.ops.wm.read_factory_settings(use_empty=True)
folder, name = vdb.rsplit("/", 1) if "/" in vdb else (".", vdb)
bpy.ops.object.volume_import(filepath=vdb, directory=folder + "/", files=[{"name": name}])
volume = bpy.context.selected_objects[0]
volume.data.grids.load()
grids = {g.name: g.data_type for g in volume.data.grids}

material = bpy.data.materials.new("smoke")
material.use_nodes = True
nodes = material.node_tree.nodes
nodes.clear()
shader = nodes.new("ShaderNodeVolumePrincipled")
shader.inputs["Density"].default_value = 0.25
shader.inputs["Density Attribute"].default_value = "density"
if grids.get("Cd") == "VECTOR_FLOAT":
    # The attribute's colour scales the shader's: white leaves it as cooked.
    shader.inputs["Color"].default_value = (1, 1, 1, 1)
    shader.inputs["Color Attribute"].default_value = "Cd"
else:
    if any(name.startswith("Cd.") for name in grids):
        print("render_vdb.py: Cd is split into Cd.x/y/z; write the file with --vector-grids for colour")
    shader.inputs["Color Attribute"].default_value = ""
output = nodes.new("ShaderNodeOutputMaterial")
material.node_tree.links.new(shader.outputs["Volume"], output.inputs["Volume"])
volume.data.materials.append(material)

scene = bpy.context.scene
corners = [volume.matrix_world @ mathutils.Vector(c) for c in volume.bound_box]
centre = sum(corners, mathutils.Vector()) / 8
size = max((c - centre).length for c in corners)
camera = bpy.data.objects.new("camera", bpy.data.cameras.new("camera"))
scene.collection.objects.link(camera)
camera.location = centre + mathutils.Vector((0.0, 1.6, 2.2)) * size
camera.rotation_euler = (centre - camera.location).to_track_quat("-Z", "Y").to_euler()
scene.camera = camera
sun = bpy.data.objects.new("sun", bpy.data.lights.new("sun", "SUN"))
sun.data.energy = 4
sun.rotation_euler = (-0.9, 0.0, 0.4)
scene.collection.objects.link(sun)
scene.world = bpy.data.worlds.new("world")
scene.world.use_nodes = True
scene.world.node_tree.nodes["Background"].inputs["Color"].default_value = (0.02, 0.02, 0.025, 1)

scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = 24
scene.cycles.use_denoising = False  # Debian's Blender has no OpenImageDenoise
scene.render.resolution_x, scene.render.resolution_y = 480, 270
scene.render.filepath = out
scene.render.image_settings.file_format = "PNG"
bpy.ops.render.render(write_still=True)
