# SPDX-License-Identifier: Apache-2.0
"""Rasterise to volume: the sopcook operators on Blender objects.

The add-on imports the compiled `sopcook` module: installed (with the
suite's install, into Python's dist-packages) or from the folders in the
SOPCOOK_PYTHONPATH environment variable (colon separated), e.g. a build
tree's build/python.
"""
bl_info = {
    "name": "Sopcook volumes",
    "description": "Rasterise meshes, point clouds and curves to volumes with the sopcook operators",
    "blender": (3, 4, 0),
    "category": "Object",
    "location": "View3D > Sidebar > Sopcook; Object > Rasterise to volume",
}

import os
import sys


def _import_sopcook():
    for folder in os.environ.get("SOPCOOK_PYTHONPATH", "").split(os.pathsep):
        if folder and folder not in sys.path:
            sys.path.insert(0, folder)
    try:
        import sopcook
    except ImportError as e:
        raise ImportError("Sopcook volumes: the sopcook Python module was not found (install the suite, or set "
                          "SOPCOOK_PYTHONPATH to the folder holding it, e.g. build/python): " + str(e)) from e
    return sopcook


def register():
    from . import ui

    ui.register(_import_sopcook())


def unregister():
    from . import ui

    ui.unregister()
