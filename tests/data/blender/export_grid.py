# Writes the grid.* files beside it from Blender 3.4:
#   blender -b --factory-startup --python tests/data/blender/export_grid.py
# A 3 x 3 grid of quads, 2 units wide, its object at z = 1, exported with
# each exporter's defaults (FBX and glTF convert Blender's z up to y up).
import os
import addon_utils
import bpy

out = os.path.dirname(os.path.abspath(__file__)) + "/"
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.mesh.primitive_grid_add(x_subdivisions=3, y_subdivisions=3, size=2, location=(0, 0, 1))
bpy.context.active_object.name = "Grid"
bpy.ops.export_scene.fbx(filepath=out + "grid.fbx", object_types={'MESH'}, bake_anim=False, add_leaf_bones=False)
bpy.ops.export_scene.gltf(filepath=out + "grid.glb", export_format='GLB', export_animations=False, export_materials='NONE')
bpy.ops.export_mesh.stl(filepath=out + "grid.stl", ascii=False)
addon_utils.enable("io_scene_x3d", default_set=True)
bpy.ops.export_scene.x3d(filepath=out + "grid.x3d")
