# SPDX-License-Identifier: Apache-2.0
import os
import signal
import subprocess
import sys
import threading

import numpy as np
import pytest

import sopcook
from conftest import write_geo

SMALL = {"divs": (24, 24, 24)}


def arrays(result):
    return {v.name: v.array() for v in result}


def assert_same_volumes(a, b):
    assert [v.name for v in a] == [v.name for v in b]
    assert len(a) > 0
    for va, vb in zip(a, b):
        assert va.resolution == vb.resolution
        np.testing.assert_array_equal(va.transform, vb.transform)
        np.testing.assert_array_equal(va.array(), vb.array())


def test_operators_and_their_parameters_as_sopcook_lists_them():
    ops = sopcook.operators()
    for op in ("plumeweave", "skinweave", "skinweaveMT", "strandcast", "strandcastStraightMT", "billowfold",
               "billowfoldMT", "slabreel"):
        assert op in ops
    listed = subprocess.run([os.environ["SOPCOOK_EXECUTABLE"], "params", "billowfold"], check=True,
                            capture_output=True, text=True).stdout.splitlines()[2:]
    params = sopcook.parameters("billowfold")
    assert len(params) == len(listed)
    for p, line in zip(params, listed):
        assert line.startswith(p["name"] + " ")
        assert line.endswith(p["default_text"])
        assert f"  {p['type']}  " in line and f"  {p['size']}  " in line
    divs = next(p for p in params if p["name"] == "divs")
    assert divs["size"] == 3 and len(divs["default"]) == 3
    with pytest.raises(ValueError, match="unknown operator 'nosuch'; installed: "):
        sopcook.parameters("nosuch")


def test_points_from_numpy_cook_as_from_a_file(tmp_path, cloud):
    path = write_geo(tmp_path / "cloud.geo", cloud)
    for op in ("billowfold", "plumeweave"):
        from_numpy = sopcook.cook(op, points=cloud, params=SMALL)
        from_file = sopcook.cook(op, points=path, params=SMALL)
        assert_same_volumes(from_numpy, from_file)
        assert not from_numpy.interrupted


def test_quads_and_curves_from_numpy_cook_as_from_a_file(tmp_path):
    grid = np.array([[x, y, 0.1 * x * y] for y in range(3) for x in range(3)], np.float32) * 0.5
    quads = np.array([[0, 1, 4, 3], [1, 2, 5, 4], [3, 4, 7, 6], [4, 5, 8, 7]])
    points = {"P": grid, "density": np.linspace(0.5, 1, 9, dtype=np.float32)}
    prims = {"offsets": np.arange(0, 17, 4), "indices": quads.ravel(), "closed": True}
    path = write_geo(tmp_path / "quads.geo", points, prims["offsets"], prims["indices"], closed=True)
    assert_same_volumes(sopcook.cook("skinweave", points=points, primitives=prims, params=SMALL),
                        sopcook.cook("skinweave", points=path, params=SMALL))

    t = np.linspace(0, 1, 8, dtype=np.float32)
    curve = np.stack([np.cos(3 * t), t, np.sin(3 * t)], axis=1).astype(np.float32)
    points = {"P": np.concatenate([curve, curve + [0.5, 0, 0]]).astype(np.float32)}
    prims = {"offsets": np.array([0, 8, 16]), "indices": np.arange(16), "closed": np.array([False, False])}
    path = write_geo(tmp_path / "curves.geo", points, prims["offsets"], prims["indices"], closed=False)
    assert_same_volumes(sopcook.cook("strandcast", points=points, primitives=prims, params=SMALL),
                        sopcook.cook("strandcast", points=path, params=SMALL))


def test_written_vdb_matches_sopcook(tmp_path, cloud):
    path = write_geo(tmp_path / "cloud.geo", cloud)
    sopcook.cook("billowfold", points=cloud, params=SMALL).write_vdb(str(tmp_path / "py.vdb"), vector_grids=True)
    subprocess.run([os.environ["SOPCOOK_EXECUTABLE"], "cook", "billowfold", "-i", path, "-s", "divs=24,24,24",
                    "--vector-grids=also", "-o", str(tmp_path / "cli.vdb")], check=True, capture_output=True)

    def info(name):
        out = subprocess.run([os.environ["SOPCOOK_EXECUTABLE"], "info", str(tmp_path / name)], check=True,
                             capture_output=True, text=True).stdout
        return out.replace(name, "")

    assert info("py.vdb") == info("cli.vdb")
    result = sopcook.cook("billowfold", points=cloud, params=SMALL)
    result[0].write_vdb(str(tmp_path / "one.vdb"))
    assert info("one.vdb").splitlines()[0].endswith(": 1 grid")


def test_arrays_transforms_and_views(cloud):
    result = sopcook.cook("billowfold", points=cloud, params={"divs": [10, 12, 14]})
    vol = result[0]
    assert vol.resolution == (10, 12, 14) and not vol.frustum
    data = vol.array()
    assert data.shape == (10, 12, 14) and data.dtype == np.float32
    # Within one tile the array is a read-only view of the voxels, no copy.
    assert data.base is not None and not data.flags.writeable
    assert vol.active == np.count_nonzero(data)
    m = vol.transform
    for ijk in [(0, 0, 0), (9, 11, 13), (3, 7, 2)]:
        np.testing.assert_allclose(m @ [*ijk, 1], [*vol.index_to_world(*ijk), 1], atol=1e-5)
    big = sopcook.cook("billowfold", points=cloud, params={"divs": [40, 20, 18]})[0].array()
    assert big.shape == (40, 20, 18) and big.flags.writeable and np.count_nonzero(big) > 0
    del result  # volumes keep their cook alive
    assert float(vol.array().sum()) == pytest.approx(float(data.sum()))


@pytest.mark.parametrize("points, message", [
    ({"P": np.zeros((4, 2), np.float32)}, r"points\['P'\]: expected shape \(N, 3\), got \(4, 2\)"),
    ({"P": np.zeros((4, 3), np.complex64)}, r"points\['P'\]: dtype complex64 is not a real number type"),
    ({"P": np.array([[0, 0, 0], [0, np.nan, 0]], np.float32)}, r"points\['P'\]: row 1 holds NaN"),
    ({"P": np.zeros((4, 3), np.float32), "pscale": np.ones(3, np.float32)},
     r"points\['pscale'\]: expected shape \(4,\) or \(4, size\), got \(3,\)"),
    ({"P": np.zeros((2, 3), np.float32), "v": np.array([[0, 0, np.inf]] * 2, np.float32)},
     r"points\['v'\]: row 0 holds an infinity"),
    ({"P": np.zeros((2, 3), np.float32), "name": np.array(["a", "b"])}, r"points\['name'\]: dtype <U1 is not a real"),
    ({"density": np.ones(3)}, r"points: no 'P'"),
])
def test_bad_arrays_are_refused_clearly(points, message):
    with pytest.raises(ValueError, match=message):
        sopcook.cook("billowfold", points=points)


def test_bad_primitives_parameters_and_inputs_are_refused_clearly(cloud):
    with pytest.raises(ValueError, match=r"index 99 at 1 is not a point \(there are 40\)"):
        sopcook.cook("skinweave", points=cloud, primitives={"offsets": [0, 2], "indices": [0, 99]})
    with pytest.raises(ValueError, match=r"offsets'\]: expected M \+ 1 offsets from 0 to len\(indices\) = 3"):
        sopcook.cook("skinweave", points=cloud, primitives={"offsets": np.array([0, 2]), "indices": np.arange(3)})
    with pytest.raises(ValueError, match=r"-s divs=1,2: 'divs' takes 3 values, got 2|divs"):
        sopcook.cook("billowfold", points=cloud, params={"divs": (1, 2)})
    with pytest.raises(ValueError, match="unknown parameter|nosuch"):
        sopcook.cook("billowfold", points=cloud, params={"nosuch": 1})
    with pytest.raises(ValueError, match="slabreel takes no geometry input"):
        sopcook.cook("slabreel", points=cloud)
    with pytest.raises(ValueError, match="cannot|No such file"):
        sopcook.cook("billowfold", points="/nonexistent/cloud.geo")
    with pytest.raises(ValueError, match="threads=-1"):
        sopcook.cook("billowfold", points=cloud, threads=-1)


def test_keyboard_interrupt_returns_a_partial_result(cloud):
    if threading.current_thread() is not threading.main_thread():
        pytest.skip("signals reach only the main thread")
    # A cook of seconds (sixteen octaves of noise on every voxel), stopped early.
    timer = threading.Timer(0.1, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    try:
        with pytest.warns(UserWarning, match="interrupted"):
            params = {"divs": (400, 400, 400), "donoise": True, "noiseoctaves": 16}
            result = sopcook.cook("billowfold", points=cloud, params=params, threads=1, force=True)
    finally:
        timer.cancel()
    assert result.interrupted


def test_frustum_volumes_and_their_uniform_resampling(tmp_path, examples):
    camera = os.path.join(examples, "camera.json")
    params = {"usecamfrustum": True, "campath": "/obj/cam1", "divs": (16, 12, 16)}
    result = sopcook.cook("skinweave", points=os.path.join(examples, "quads.ply"), camera=camera, params=params)
    vol = result[0]
    assert vol.frustum and vol.taper != (1.0, 1.0)
    # A camera given as a dict cooks as the same file does.
    import json
    with open(camera) as f:
        as_dict = sopcook.cook("skinweave", points=os.path.join(examples, "quads.ply"), camera=json.load(f), params=params)
    assert_same_volumes(result, as_dict)

    def transforms(path):
        out = subprocess.run([os.environ["SOPCOOK_EXECUTABLE"], "info", str(path)], check=True, capture_output=True,
                             text=True).stdout
        return [("frustum" in line, "linear" in line) for line in out.splitlines()[2:]]

    result.write_vdb(str(tmp_path / "frustum.vdb"))
    result.write_vdb(str(tmp_path / "uniform.vdb"), uniform=True)
    assert transforms(tmp_path / "frustum.vdb")[0] == (True, False)
    assert transforms(tmp_path / "uniform.vdb")[0] == (False, True)
    with pytest.raises(ValueError, match="camera"):
        sopcook.cook("skinweave", points=os.path.join(examples, "quads.ply"), camera={"near": -1}, params=params)


def test_the_cook_lets_other_python_threads_run(cloud):
    ticks = []
    stop = threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(1)
            stop.wait(0.001)

    ticker = threading.Thread(target=tick)
    ticker.start()
    try:
        before = len(ticks)
        sopcook.cook("billowfold", points=cloud, params={"divs": (160, 160, 160)}, threads=1)
        during = len(ticks) - before
    finally:
        stop.set()
        ticker.join()
    # A cook that held the GIL would let the ticker in only after it ended.
    assert during >= 1


def test_missing_plugins_are_said(tmp_path):
    script = "import warnings, sopcook\nwith warnings.catch_warnings(record=True) as w:\n" \
             "    warnings.simplefilter('always')\n    print(sopcook.operators(), [str(x.message) for x in w])\n"
    env = dict(os.environ, SOPCOOK_DSO_PATH=str(tmp_path))
    out = subprocess.run([sys.executable, "-c", script], env=env, check=True, capture_output=True, text=True).stdout
    assert out.startswith("[] [") and "no operator plug-ins found in " + str(tmp_path) in out
