# SPDX-License-Identifier: Apache-2.0
"""Cooking a Blender object to VDB files and the Volume object that shows them."""
import os

import numpy as np

import bpy

from . import geometry

# Which primitives each operator family rasterises; the others take points.
QUAD_OPERATORS = ("skinweave",)
CURVE_OPERATORS = ("strandcast",)


def inputs_for(op, obj, depsgraph, params=None, radius=0.1, notes=None):
    """The cook's keyword arguments for op on obj: points, and the primitives op uses.

    Points without the density or radius attribute the parameters name would
    deposit nothing, so those get density 1 and the given radius (said in notes).
    """
    if op == "slabreel":
        return {}
    points, quads, curves = geometry.object_input(obj, depsgraph)
    prims = quads if op.startswith(QUAD_OPERATORS) else curves if op.startswith(CURVE_OPERATORS) else None
    params = params or {}
    count = len(points["P"])
    for key, value in ((params.get("densityattrib", "density"), 1.0), (params.get("radiusattrib", "pscale"), radius)):
        if key and key not in points and ("densityattrib" in params or "radiusattrib" in params):
            points[key] = np.full(count, value, np.float32)
            if notes is not None:
                notes.append(f"{obj.name} has no '{key}' attribute: using {value:g} for every point")
    return {"points": points, "primitives": prims}


def output_folder(settings):
    folder = bpy.path.abspath(settings.output_dir) if bpy.data.filepath or not settings.output_dir.startswith("//") else ""
    if not folder:
        folder = os.path.join(bpy.app.tempdir or "/tmp", "sopcook")
    os.makedirs(folder, exist_ok=True)
    return folder


def cook_frame(sopcook, op, params, obj, scene, path, radius=0.1, notes=None):
    """Cooks op on obj at the scene's current frame and writes path; returns the result."""
    depsgraph = bpy.context.evaluated_depsgraph_get()
    kwargs = inputs_for(op, obj, depsgraph, params, radius, notes)
    camera = geometry.camera_input(scene, obj)
    if camera is not None and "campath" in params:
        params = dict(params, campath=camera["path"])
    else:
        camera = None
    time = (scene.frame_current - 1) / (scene.render.fps / scene.render.fps_base)
    result = sopcook.cook(op, params=params, camera=camera, time=time, **kwargs)
    # Vector Cd so colour shows; a cook with frustum grids is resampled onto one
    # linear grid, as Blender shows only linear ones. Other cooks stay exact.
    result.write_vdb(path, vector_grids=True, uniform=any(v.frustum for v in result))
    return result


def volume_object(context, obj, name, path, frames=None):
    """A Volume object loading path (a sequence when frames=(first, count)), placed like obj."""
    data = bpy.data.volumes.new(name)
    data.filepath = path
    if frames:
        data.is_sequence = True
        data.frame_start = frames[0]
        data.frame_duration = frames[1]
        data.frame_offset = frames[0] - 1
    vol = bpy.data.objects.new(name, data)
    vol.matrix_world = obj.matrix_world.copy()
    context.collection.objects.link(vol)
    data.grids.load()
    vol.data.materials.append(volume_material(data))
    return vol


def volume_material(data):
    mat = bpy.data.materials.new(data.name)
    mat.use_nodes = True
    nodes = mat.node_tree.nodes
    nodes.clear()
    shader = nodes.new("ShaderNodeVolumePrincipled")
    output = nodes.new("ShaderNodeOutputMaterial")
    mat.node_tree.links.new(shader.outputs["Volume"], output.inputs["Volume"])
    names = {g.name for g in data.grids}
    shader.inputs["Density"].default_value = 1.0
    if "density" not in names:
        first = next((g.name for g in data.grids if g.data_type == "FLOAT"), "")
        shader.inputs["Density Attribute"].default_value = first
    if "Cd" in names:
        shader.inputs["Color Attribute"].default_value = "Cd"
    return mat
