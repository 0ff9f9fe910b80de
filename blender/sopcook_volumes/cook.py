# SPDX-License-Identifier: Apache-2.0
"""Cooking a Blender object to VDB files and the Volume object that shows them."""
import math
import os
import warnings

import numpy as np

import bpy

from . import geometry

def input_kind(op):
    """What op's input holds, as the module describes it: "points", "quads", "curves", "image" or "none"."""
    import sopcook

    return sopcook.describe(op)["input"]


def auto_radius(points):
    """The points' mean spacing over their bounds: neighbouring balls overlap
    into one cloud, on a dense mesh as on the corners of a cube."""
    p = points["P"]
    if len(p) == 0:
        return 0.1
    longest = float(np.max(p.max(axis=0) - p.min(axis=0)))
    return longest / max(1.0, len(p) ** (1.0 / 3.0)) if longest > 0 else 0.1


def inputs_for(op, obj, depsgraph, params=None, radius=0.1, notes=None, problems=None):
    """The cook's keyword arguments for op on obj: points, and the primitives op uses.

    Points without the density or radius attribute the parameters name would
    deposit nothing, so those get density 1 and the given radius, or with
    radius 0 one from the points' spacing; without the colour attribute they
    would make black smoke, so they get white (all said in notes). Input op
    cannot use is said in problems.
    """
    kind = input_kind(op)
    if kind in ("image", "none"):
        return {}
    points, quads, curves = geometry.object_input(obj, depsgraph)
    prims = {"quads": quads, "curves": curves}.get(kind)
    if problems is not None and kind in ("quads", "curves") and prims is None:
        what = "faces with four corners" if kind == "quads" else "curves or loose edges"
        problems.append(f"{obj.name} has no {what}: {op} rasterises {kind} only, so it writes nothing; "
                        f"give it {kind} or choose an operator that takes points")
    params = params or {}
    count = len(points["P"])
    if radius <= 0:
        radius = auto_radius(points)
    for parm, key, value in (("densityattrib", params.get("densityattrib", "density"), 1.0),
                             ("radiusattrib", params.get("radiusattrib", "pscale"), radius),
                             ("colorattrib", params.get("colorattrib"), (1.0, 1.0, 1.0))):
        reads = parm in params if parm == "colorattrib" else ("densityattrib" in params or "radiusattrib" in params)
        if key and key not in points and reads:
            points[key] = np.tile(np.asarray(value, np.float32), (count, 1)) if isinstance(value, tuple) \
                else np.full(count, value, np.float32)
            if notes is not None:
                shown = ", ".join(f"{v:g}" for v in value) if isinstance(value, tuple) else f"{value:.3g}"
                notes.append(f"{obj.name} has no '{key}' attribute: using {shown} for every point")
    return {"points": points, "primitives": prims}


def divs_for(points, params, resolution):
    """Divisions with resolution voxels along the longest side of the grid the
    operator fits around points (their bounds grown by extendbounds)."""
    p = points["P"]
    if len(p) == 0 or resolution <= 0:
        return None
    grow = params.get("extendbounds", (0.0, 0.0, 0.0))
    extent = [float(hi - lo) + 2.0 * float(g) for lo, hi, g in zip(p.min(axis=0), p.max(axis=0), grow)]
    longest = max(extent)
    if longest <= 0:
        return None
    return tuple(max(2, int(math.ceil(resolution * e / longest))) for e in extent)


def output_folder(settings, notes=None):
    """The folder the VDB files go to. A folder relative to an unsaved .blend
    becomes one in Blender's user data, which outlives the session (said in notes)."""
    if bpy.data.filepath or not settings.output_dir.startswith("//"):
        folder = bpy.path.abspath(settings.output_dir)
    else:
        folder = bpy.utils.user_resource("DATAFILES", path="sopcook_volumes", create=True)
        if notes is not None:
            notes.append(f"the .blend file is not saved: the VDB files go to {folder} and stay there; "
                         f"save the file first to keep them in {settings.output_dir} beside it")
    os.makedirs(folder, exist_ok=True)
    return folder


def cook_frame(sopcook, op, params, obj, scene, path, radius=0.1, notes=None, problems=None, resolution=0):
    """Cooks op on obj at the scene's current frame and writes path; returns the result.

    resolution > 0 sets divs from the object's size; the module's warnings
    (its UserWarnings too) and the add-on's own end up in problems.
    """
    depsgraph = bpy.context.evaluated_depsgraph_get()
    found = []
    kwargs = inputs_for(op, obj, depsgraph, params, radius, notes, found)
    if resolution > 0 and "divs" in params and kwargs.get("points") is not None and not params.get("usecamfrustum"):
        divs = divs_for(kwargs["points"], params, resolution)
        if divs:
            params = dict(params, divs=divs)
            if notes is not None:
                notes.append(f"divs={','.join(map(str, divs))}: {resolution} voxels along {obj.name}'s longest side")
    camera = geometry.camera_input(scene, obj)
    if camera is not None and "campath" in params:
        params = dict(params, campath=camera["path"])
    else:
        camera = None
    time = (scene.frame_current - 1) / (scene.render.fps / scene.render.fps_base)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = sopcook.cook(op, params=params, camera=camera, time=time, **kwargs)
        # Vector Cd so colour shows; a cook with frustum grids is resampled onto
        # one linear grid, as Blender shows only linear ones. Other cooks stay exact.
        result.write_vdb(path, vector_grids=True, uniform=any(v.frustum for v in result))
    for text in [str(w.message) for w in caught] + list(result.warnings):
        if text not in found:
            found.append(text)
    if problems is not None:
        problems.extend(found)
    return result


def empty_reason(result, problems):
    """Why the cook shows nothing, or None when a volume holds a voxel."""
    if any(v.active > 0 for v in result):
        return None
    what = "made no volumes" if len(result) == 0 else "wrote no voxel"
    why = problems[0] if problems else ("no point reached the grid: raise Point radius or Resolution, or give the "
                                        "points the density and radius attributes the operator reads")
    return f"{result.operator} {what}: {why}"


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
