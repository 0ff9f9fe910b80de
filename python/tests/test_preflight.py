# SPDX-License-Identifier: Apache-2.0
# The Python door checks the volumes' placement before the cook as the
# command line does: a box or frustum that cannot be placed raises, a frustum
# asked for and not built warns.
import json
import os

import numpy as np
import pytest

import sopcook

FRUSTUM = {"usecamfrustum": True, "campath": "/obj/cam1", "divs": (16, 12, 16)}


def test_a_flat_box_is_refused_before_the_cook():
    one = {"P": np.array([[1, 2, 3]], np.float32), "density": np.ones(1, np.float32), "pscale": np.ones(1, np.float32)}
    with pytest.raises(ValueError, match=r"^the volumes' box is 0 x 0 x 0 \(points: 1 point, extendbounds=0,0,0\), flat on 3 axes"):
        sopcook.cook("billowfold", points=one, params={"extendbounds": (0, 0, 0)})


def test_a_frustum_asked_for_is_built_or_said(examples):
    quads = os.path.join(examples, "quads.ply")
    with open(os.path.join(examples, "camera.json")) as f:
        camera = json.load(f)
    with pytest.warns(UserWarning, match="usecamfrustum is on but no camera was given"):
        sopcook.cook("skinweave", points=quads, params=FRUSTUM)
    with pytest.warns(UserWarning, match="the camera given is not at campath /obj/other"):
        sopcook.cook("skinweave", points=quads, camera=camera, params=dict(FRUSTUM, campath="/obj/other"))
    flat = {k: v for k, v in camera.items() if k not in ("translate", "rotate")}
    with pytest.raises(ValueError, match=r"^camera /obj/cam1: its transform is singular"):
        sopcook.cook("skinweave", points=quads, camera=dict(flat, transform=[0] * 16), params=FRUSTUM)
    with pytest.raises(ValueError, match=r"wide at the near plane, which a VDB volume cannot hold"):
        sopcook.cook("skinweave", points=quads, camera=dict(camera, focal=1e-40), params=FRUSTUM)
