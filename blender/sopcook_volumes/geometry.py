# SPDX-License-Identifier: Apache-2.0
"""A Blender object's evaluated geometry as sopcook input arrays.

Vertices become points with their attributes (radius -> pscale, colour
attributes -> Cd, velocity -> v, the active UV map -> uv, other float
attributes under their own names); faces with four corners become quads
(closed primitives); curves and edge chains become curves (open primitives).
Positions stay in the object's local space: the volume object takes the
object's transform.
"""
import numpy as np

RENAMES = {"radius": "pscale", "velocity": "v"}
SIZES = {"FLOAT": 1, "INT": 1, "FLOAT_VECTOR": 3, "FLOAT_COLOR": 4, "BYTE_COLOR": 4, "FLOAT2": 2, "BOOLEAN": 1}
SKIP = {"position"}


def _read(collection, prop, count, size, dtype=np.float32):
    out = np.empty(count * size, dtype)
    collection.foreach_get(prop, out)
    return out.reshape(count, size) if size > 1 else out


def _value_prop(attr):
    if attr.data_type in ("FLOAT_COLOR", "BYTE_COLOR"):
        return "color"
    if attr.data_type in ("FLOAT_VECTOR", "FLOAT2"):
        return "vector"
    return "value"


def _point_attributes(attributes, count, corner_vertex=None):
    """Point (and, through corner_vertex, face-corner) attributes by sopcook name."""
    points = {}
    for attr in attributes:
        size = SIZES.get(attr.data_type)
        if size is None or attr.name in SKIP or attr.name.startswith(".") or attr.domain not in ("POINT", "CORNER"):
            continue
        if attr.domain == "CORNER" and corner_vertex is None:
            continue
        n = count if attr.domain == "POINT" else len(corner_vertex)
        dtype = {"INT": np.int32, "BOOLEAN": bool}.get(attr.data_type, np.float32)
        values = _read(attr.data, _value_prop(attr), n, size, dtype).astype(np.float32)
        if attr.domain == "CORNER":
            per_point = np.zeros((count,) + values.shape[1:], np.float32)
            per_point[corner_vertex] = values  # the last corner of a vertex wins
            values = per_point
        colour = attr.data_type in ("FLOAT_COLOR", "BYTE_COLOR")
        name = "Cd" if colour else "uv" if attr.data_type == "FLOAT2" else RENAMES.get(attr.name, attr.name)
        if colour:
            values = values[:, :3]
        if name not in points or attr.domain == "POINT":
            points[name] = np.ascontiguousarray(values, np.float32)
    return points


def _chains(edges, count):
    """Edges joined into chains: lists of vertex indices, open or closed."""
    neighbours = [[] for _ in range(count)]
    for a, b in edges:
        neighbours[a].append(b)
        neighbours[b].append(a)
    used, chains = set(), []

    def walk(start):
        chain, here = [start], start
        while True:
            nxt = next((n for n in neighbours[here] if (min(here, n), max(here, n)) not in used), None)
            if nxt is None:
                return chain
            used.add((min(here, nxt), max(here, nxt)))
            chain.append(nxt)
            here = nxt

    for v in range(count):
        if len(neighbours[v]) != 2 and neighbours[v]:
            while any((min(v, n), max(v, n)) not in used for n in neighbours[v]):
                chains.append(walk(v))
    for a, b in edges:
        if (min(a, b), max(a, b)) not in used:
            chains.append(walk(a))
    return chains


def _primitives(lists, closed):
    if not lists:
        return None
    offsets = np.zeros(len(lists) + 1, np.int64)
    offsets[1:] = np.cumsum([len(l) for l in lists])
    return {"offsets": offsets, "indices": np.concatenate([np.asarray(l, np.int64) for l in lists]), "closed": closed}


def mesh_input(mesh):
    count = len(mesh.vertices)
    points = {"P": _read(mesh.vertices, "co", count, 3)}
    corner_vertex = _read(mesh.loops, "vertex_index", len(mesh.loops), 1, np.int64)
    points.update(_point_attributes(mesh.attributes, count, corner_vertex))
    uv = mesh.uv_layers.active
    if uv is not None and len(mesh.loops):
        per_point = np.zeros((count, 2), np.float32)
        per_point[corner_vertex] = _read(uv.data, "uv", len(mesh.loops), 2)
        points["uv"] = per_point
    quads = [list(p.vertices) for p in mesh.polygons if p.loop_total == 4]
    edges = [tuple(e.vertices) for e in mesh.edges if e.is_loose] or [tuple(e.vertices) for e in mesh.edges]
    return points, _primitives(quads, True), _primitives(_chains(edges, count), False)


def pointcloud_input(cloud):
    count = len(cloud.points)
    points = {"P": _read(cloud.attributes["position"].data, "vector", count, 3)}
    points.update(_point_attributes(cloud.attributes, count))
    return points, None, None


def curves_input(curves):
    count = len(curves.points)
    points = {"P": _read(curves.attributes["position"].data, "vector", count, 3)}
    points.update(_point_attributes(curves.attributes, count))
    offsets = _read(curves.curve_offset_data, "value", len(curves.curves) + 1, 1, np.int64)
    curve = {"offsets": offsets, "indices": np.arange(count, dtype=np.int64), "closed": False}
    return points, None, curve


def object_input(obj, depsgraph):
    """(points, quads, curves) of obj's evaluated geometry; quads and curves may be None."""
    evaluated = obj.evaluated_get(depsgraph)
    if obj.type == "POINTCLOUD":
        return pointcloud_input(evaluated.data)
    if obj.type == "CURVES":
        return curves_input(evaluated.data)
    mesh = evaluated.to_mesh()
    try:
        return mesh_input(mesh)
    finally:
        evaluated.to_mesh_clear()


def camera_input(scene, obj):
    """The scene's active camera as a sopcook camera, in obj's local space."""
    cam = scene.camera
    if cam is None:
        return None
    local = obj.matrix_world.inverted() @ cam.matrix_world
    render = scene.render
    scale = render.resolution_percentage / 100.0
    width, height = render.resolution_x * scale, render.resolution_y * scale
    data = cam.data
    # sopcook's transform is row-vector: the transpose of Blender's matrix.
    return {
        "path": "/obj/cam1",
        "res": [max(1, round(width)), max(1, round(height))],
        "focal": data.lens,
        "aperture": data.sensor_width if data.sensor_fit != "VERTICAL" else data.sensor_height * width / height,
        "near": data.clip_start,
        "far": data.clip_end,
        "transform": [local[c][r] for r in range(4) for c in range(4)],
    }
