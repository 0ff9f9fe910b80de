# SPDX-License-Identifier: Apache-2.0
"""The add-on's settings (one property group per operator, built from the
module's parameter lists), its two operators and the sidebar panel."""
import os

import bpy

from . import cook

_classes = []
_sopcook = None
# The last cook's report lines, (level, text), also shown in the panel: the
# info bar shows only the latest.
last_reports = []


def _property(p):
    """A Blender property for one parameter: its label and default from the module."""
    size, label, default = p["size"], p["label"] or p["name"], p["default"]
    kind = p["type"]
    if kind == "toggle":
        return bpy.props.BoolProperty(name=label, default=bool(default))
    if kind == "int":
        if size == 1:
            return bpy.props.IntProperty(name=label, default=int(default))
        return bpy.props.IntVectorProperty(name=label, size=size, default=tuple(int(v) for v in default))
    if kind == "float":
        if size == 1:
            return bpy.props.FloatProperty(name=label, default=float(default))
        return bpy.props.FloatVectorProperty(name=label, size=size, default=tuple(float(v) for v in default))
    subtype = "FILE_PATH" if kind == "file" else "NONE"
    return bpy.props.StringProperty(name=label, default=str(default), subtype=subtype)


def _parameter_group(op):
    params = _sopcook.parameters(op)
    annotations = {p["name"]: _property(p) for p in params}
    return type("SOPCOOK_PG_" + op, (bpy.types.PropertyGroup,), {"__annotations__": annotations})


def operator_params(settings, op):
    """The operator's settings as the cook's params dict."""
    group = getattr(settings, "op_" + op)
    params = {}
    for p in _sopcook.parameters(op):
        value = getattr(group, p["name"])
        if p["type"] == "file":
            value = bpy.path.abspath(value)
        params[p["name"]] = tuple(value) if p["size"] > 1 else value
    return params


def draw_settings(layout, settings):
    layout.prop(settings, "operator")
    group = getattr(settings, "op_" + settings.operator)
    col = layout.column()
    for p in _sopcook.parameters(settings.operator):
        row = col.row()
        # Resolution sets the divisions from the object's size.
        row.enabled = not (p["name"] == "divs" and settings.resolution > 0)
        row.prop(group, p["name"])
    layout.prop(settings, "resolution")
    layout.prop(settings, "radius")
    layout.prop(settings, "output_dir")


class SOPCOOK_OT_rasterise(bpy.types.Operator):
    """Cook the selected object's geometry with a sopcook operator into a Volume object"""

    bl_idname = "object.sopcook_rasterise"
    bl_label = "Rasterise to volume"
    bl_options = {"REGISTER", "UNDO"}

    bake: bpy.props.BoolProperty(name="Bake frame range", default=False,
                                 description="Cook every frame of the scene's range to a VDB sequence")

    @classmethod
    def poll(cls, context):
        obj = context.active_object
        return obj is not None and obj.type in {"MESH", "CURVE", "CURVES", "POINTCLOUD"}

    def invoke(self, context, event):
        return context.window_manager.invoke_props_dialog(self, width=420)

    def draw(self, context):
        draw_settings(self.layout, context.scene.sopcook)
        self.layout.prop(self, "bake")

    def execute(self, context):
        scene, obj, settings = context.scene, context.active_object, context.scene.sopcook
        op = settings.operator
        params = operator_params(settings, op)
        last_reports.clear()
        notes = []
        base = bpy.path.clean_name(f"{obj.name}_{op}")
        try:
            folder = cook.output_folder(settings, notes)
            if self.bake:
                vol = self._bake(context, op, params, obj, os.path.join(folder, base), notes)
            else:
                path = os.path.join(folder, base + ".vdb")
                problems = []
                result = cook.cook_frame(_sopcook, op, params, obj, scene, path, settings.radius, notes, problems,
                                         settings.resolution)
                vol = cook.volume_object(context, obj, base, path)
                self._report(result, notes, problems)
        except (ValueError, RuntimeError, OSError) as e:
            self._say("ERROR", str(e))
            return {"CANCELLED"}
        for o in context.selected_objects:
            o.select_set(False)
        vol.select_set(True)
        context.view_layer.objects.active = vol
        return {"FINISHED"}

    def _bake(self, context, op, params, obj, stem, notes):
        scene = context.scene
        current, first, last = scene.frame_current, scene.frame_start, scene.frame_end
        settings = scene.sopcook
        said = set()
        try:
            for frame in range(first, last + 1):
                scene.frame_set(frame)
                frame_notes, problems = [], []
                result = cook.cook_frame(_sopcook, op, params, obj, scene, f"{stem}_{frame:04d}.vdb", settings.radius,
                                         frame_notes, problems, settings.resolution)
                self._report(result, notes + frame_notes if frame == first else [], problems, f"frame {frame}: ", said)
        finally:
            scene.frame_set(current)
        return cook.volume_object(context, obj, os.path.basename(stem), f"{stem}_{first:04d}.vdb",
                                  frames=(first, last - first + 1))

    def _say(self, level, text):
        last_reports.append((level, text))
        self.report({level}, text)

    def _report(self, result, notes, problems, prefix="", said=None):
        """Notes as INFO, warnings and why nothing shows as WARNING; with said (a
        bake), each line once for the whole range, prefixed by the frame it first came at."""
        for n in notes:
            self._say("INFO", n)
        why = cook.empty_reason(result, problems)
        for line in problems + ([why] if why else []):
            if said is None or line not in said:
                self._say("WARNING", prefix + line)
                if said is not None:
                    said.add(line)


class SOPCOOK_PT_panel(bpy.types.Panel):
    bl_label = "Sopcook"
    bl_space_type = "VIEW_3D"
    bl_region_type = "UI"
    bl_category = "Sopcook"

    def draw(self, context):
        draw_settings(self.layout, context.scene.sopcook)
        row = self.layout.row()
        row.operator(SOPCOOK_OT_rasterise.bl_idname).bake = False
        row.operator(SOPCOOK_OT_rasterise.bl_idname, text="Bake frame range").bake = True
        if last_reports:
            box = self.layout.box()
            for level, text in last_reports:
                box.label(text=text, icon={"INFO": "INFO", "WARNING": "ERROR", "ERROR": "CANCEL"}[level])


def _menu(self, context):
    self.layout.operator(SOPCOOK_OT_rasterise.bl_idname)


def register(sopcook):
    global _sopcook
    _sopcook = sopcook
    ops = sopcook.operators()
    groups = [_parameter_group(op) for op in ops]
    annotations = {"op_" + op: bpy.props.PointerProperty(type=g) for op, g in zip(ops, groups)}
    described = [sopcook.describe(op) for op in ops]
    items = [(d["name"], d["label"], f"{d['name']}: rasterises {d['input']}") for d in described]
    # The first operator that takes points: any object has some.
    first = next((d["name"] for d in described if d["input"] == "points"), ops[0])
    annotations["operator"] = bpy.props.EnumProperty(name="Operator", items=items, default=first)
    annotations["radius"] = bpy.props.FloatProperty(
        name="Point radius", default=0.0, min=0.0,
        description="Radius of points without the radius attribute the operator reads (density 1 likewise); "
                    "0: the points' spacing")
    annotations["resolution"] = bpy.props.IntProperty(
        name="Resolution", default=64, min=0,
        description="Voxels along the longest side of the object's grid, the divisions following its proportions; "
                    "0: the operator's own divisions")
    annotations["output_dir"] = bpy.props.StringProperty(name="VDB folder", default="//volumes/", subtype="DIR_PATH")
    settings = type("SOPCOOK_PG_settings", (bpy.types.PropertyGroup,), {"__annotations__": annotations})
    _classes[:] = groups + [settings, SOPCOOK_OT_rasterise, SOPCOOK_PT_panel]
    for c in _classes:
        bpy.utils.register_class(c)
    bpy.types.Scene.sopcook = bpy.props.PointerProperty(type=settings)
    bpy.types.VIEW3D_MT_object.append(_menu)


def unregister():
    bpy.types.VIEW3D_MT_object.remove(_menu)
    del bpy.types.Scene.sopcook
    for c in reversed(_classes):
        bpy.utils.unregister_class(c)
    _classes.clear()
