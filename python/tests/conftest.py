# SPDX-License-Identifier: Apache-2.0
import json
import os

import numpy as np
import pytest


def write_geo(path, points, offsets=None, indices=None, closed=True):
    """Writes points (a dict of arrays) and polygons/curves as host JSON geometry."""
    n = len(points["P"])
    attribs = []
    for name, values in points.items():
        values = np.asarray(values, np.float32)
        size = 1 if values.ndim == 1 else values.shape[1]
        tuples = [[float(v) for v in row] for row in values.reshape(n, size)]
        attribs.append([["scope", "public", "type", "numeric", "name", name],
                        ["size", size, "storage", "fpreal32",
                         "values", ["size", size, "storage", "fpreal32", "tuples", tuples]]])
    verts = [] if indices is None else [int(i) for i in indices]
    geo = ["fileversion", "13.0.582", "pointcount", n, "vertexcount", len(verts),
           "primitivecount", 0 if offsets is None else len(offsets) - 1,
           "topology", ["pointref", ["indices", verts]],
           "attributes", ["pointattributes", attribs]]
    if offsets is not None:
        lists = [[list(range(offsets[m], offsets[m + 1]))] for m in range(len(offsets) - 1)]
        geo += ["primitives", [[["type", "run", "runtype", "Poly", "varyingfields", ["vertex"],
                                 "uniformfields", {"closed": bool(closed)}], lists]]]
    with open(path, "w") as f:
        json.dump(geo, f)
    return str(path)


@pytest.fixture
def cloud():
    rng = np.random.default_rng(7)
    n = 40
    return {
        "P": rng.uniform(-1, 1, (n, 3)).astype(np.float32),
        "density": rng.uniform(0.5, 1.5, n).astype(np.float32),
        "pscale": rng.uniform(0.1, 0.3, n).astype(np.float32),
        "Cd": rng.uniform(0, 1, (n, 3)).astype(np.float32),
    }


@pytest.fixture
def examples():
    return os.environ.get("SOPCOOK_EXAMPLES", os.path.join(os.path.dirname(__file__), "..", "..", "examples"))
