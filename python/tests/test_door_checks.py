# SPDX-License-Identifier: Apache-2.0
# The Python door refuses what the command line refuses, names the argument of
# a wrong type, marks partial results as the command line does, and keeps
# cooks of several threads apart.
import array
import json
import os
import re
import pathlib
import signal
import subprocess
import threading
import warnings

import numpy as np
import pytest

import sopcook
from conftest import write_geo

SMALL = {"divs": (12, 12, 12)}
FRUSTUM = {"usecamfrustum": True, "campath": "/obj/cam1", "divs": (16, 12, 16)}


def sopcook_run(*args):
    return subprocess.run([os.environ["SOPCOOK_EXECUTABLE"], *args], capture_output=True, text=True)


def cook_interrupted(op, delay, **kwargs):
    """Cooks op with a Ctrl-C `delay` seconds in: (result, warning texts, whether the cook saw it).

    A signal that comes after the cook ended is dropped rather than raised into the test.
    """
    if threading.current_thread() is not threading.main_thread():
        pytest.skip("signals reach only the main thread")
    state = {"cooking": True, "seen": False}

    def on_sigint(signum, frame):
        if state["cooking"]:
            state["seen"] = True
            raise KeyboardInterrupt

    previous = signal.signal(signal.SIGINT, on_sigint)
    timer = threading.Timer(delay, os.kill, (os.getpid(), signal.SIGINT))
    try:
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            timer.start()
            result = sopcook.cook(op, **kwargs)
            state["cooking"] = False
    finally:
        state["cooking"] = False
        timer.cancel()
        timer.join()
        signal.signal(signal.SIGINT, previous)
    return result, [str(w.message) for w in caught], state["seen"]


def test_two_threads_with_two_cameras_get_their_own_frustum(examples):
    quads = os.path.join(examples, "quads.ply")
    with open(os.path.join(examples, "camera.json")) as f:
        near = json.load(f)
    far = dict(near, focal=near["focal"] * 2, translate=[0.3, 0.6, 6])
    serial = {}
    for name, camera in (("near", near), ("far", far)):
        vol = sopcook.cook("skinweave", points=quads, camera=camera, params=FRUSTUM)[0]
        serial[name] = (vol.transform, vol.taper, vol.array().copy())
    assert not np.array_equal(serial["near"][0], serial["far"][0])

    wrong = []

    def cook_many(name, camera):
        for _ in range(15):
            vol = sopcook.cook("skinweave", points=quads, camera=camera, params=FRUSTUM, threads=1 + len(name) % 2)[0]
            transform, taper, voxels = serial[name]
            if (not np.array_equal(vol.transform, transform) or vol.taper != taper
                    or not np.array_equal(vol.array(), voxels)):
                wrong.append(name)

    threads = [threading.Thread(target=cook_many, args=args) for args in (("near", near), ("far", far))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert wrong == []


@pytest.mark.parametrize("name", ["", "a b", "1st", "den-sity", "Cd.r"])
def test_attribute_names_are_checked_as_the_command_line_checks_them(name):
    points = {"P": np.zeros((3, 3), np.float32), name: np.ones(3, np.float32)}
    with pytest.raises(ValueError, match=re.escape(f"points[{name!r}]: not an attribute name")):
        sopcook.cook("billowfold", points=points, params=SMALL)
    with pytest.raises(ValueError, match=r"bbox\[.*\]: not an attribute name"):
        sopcook.cook("strandcastStraightMT", points={"P": np.zeros((2, 3), np.float32)}, bbox=points)
    with pytest.raises(sopcook.ArgumentError, match=r"points: attribute names must be str, got int"):
        sopcook.cook("billowfold", points={"P": points["P"], 7: np.ones(3, np.float32)})


def test_positions_too_far_apart_are_refused_as_from_a_file(tmp_path):
    # Finite, but the box they span overflows single precision.
    points = {"P": np.array([[3e38, 0, 0], [-3e38, 0, 0]], np.float32), "density": np.ones(2, np.float32),
              "pscale": np.ones(2, np.float32)}
    with pytest.raises(ValueError, match=r"^points: the points span -3e\+38 to 3e\+38 on x, too far apart"):
        sopcook.cook("billowfold", points=points, params=SMALL)
    path = write_geo(tmp_path / "far.geo", points)
    with pytest.raises(ValueError, match=r"far\.geo: the points span -3e\+38 to 3e\+38 on x"):
        sopcook.cook("billowfold", points=path, params=SMALL)
    cli = sopcook_run("cook", "billowfold", "-i", path, "-o", str(tmp_path / "far.vdb"))
    assert cli.returncode == 1 and "too far apart" in cli.stderr
    # A bounding-box input sets the box instead: the points' spread is then not checked, the box's is.
    with pytest.raises(ValueError, match=r"^bbox: the points span"):
        sopcook.cook("strandcastStraightMT", points={"P": np.zeros((2, 3), np.float32)}, bbox=points["P"])
    assert not (tmp_path / "far.vdb").exists()


def test_interrupted_results_are_written_marked_partial(tmp_path, cloud):
    params = {"divs": (400, 400, 400), "donoise": True, "noiseoctaves": 16}
    result, said, seen = cook_interrupted("billowfold", 0.1, points=cloud, params=params, threads=1, force=True)
    assert seen and result.interrupted
    assert any("the result of billowfold is partial" in w for w in said)
    result.write_vdb(str(tmp_path / "all.vdb"))
    result[0].write_vdb(tmp_path / "one.vdb")
    for name in ("all.vdb", "one.vdb"):
        info = sopcook_run("info", str(tmp_path / name)).stdout.splitlines()[0]
        assert info.endswith("partial (interrupted by KeyboardInterrupt)"), info
    # --skip-existing takes the marked file as incomplete and cooks it again.
    geo = write_geo(tmp_path / "cloud.geo", cloud)
    again = sopcook_run("cook", "billowfold", "-i", geo, "-s", "divs=8,8,8", "-o", str(tmp_path / "all.vdb"),
                        "--skip-existing")
    assert again.returncode == 0 and "skipping" not in again.stderr
    assert "partial" not in sopcook_run("info", str(tmp_path / "all.vdb")).stdout

    complete = sopcook.cook("billowfold", points=cloud, params=SMALL)
    complete.write_vdb(str(tmp_path / "whole.vdb"))
    assert not complete.interrupted and "partial" not in sopcook_run("info", str(tmp_path / "whole.vdb")).stdout


def test_an_operator_that_cannot_stop_early_reports_its_result_complete(tmp_path, examples):
    curves = os.path.join(examples, "curves.geo")
    params = {"divs": (200, 200, 200), "donoise": True, "noiseoctaves": 400, "noiseamp": 4}
    result, said, seen = cook_interrupted("strandcast", 0.05, points=curves, params=params, threads=1)
    assert seen, "the cook ended before the interrupt"
    assert not result.interrupted
    assert not any("partial" in w for w in said)
    assert any("strandcast cannot stop early" in w and "complete" in w for w in said)
    np.testing.assert_array_equal(result[0].array(), sopcook.cook("strandcast", points=curves, params=params)[0].array())
    result.write_vdb(str(tmp_path / "whole.vdb"))
    assert "partial" not in sopcook_run("info", str(tmp_path / "whole.vdb")).stdout


@pytest.mark.parametrize("kwargs, message", [
    ({"threads": "2"}, r"^threads: expected an int, got str$"),
    ({"threads": 2.0}, r"^threads: expected an int, got float$"),
    ({"threads": True}, r"^threads: expected an int, got bool$"),
    ({"threads": np.array([2])}, r"^threads: expected an int, got ndarray$"),
    ({"time": "0"}, r"^time: expected a number, got str$"),
    ({"force": 1}, r"^force: expected True or False, got int$"),
    ({"op": 3}, r"^op: expected a str, got int$"),
    ({"points": [[0, 0, 0]]}, r"^points: expected a dict of numpy arrays or a geometry file path, got list$"),
    ({"primitives": {"offsets": [0, 4], "indices": [0, 1, 2, 3], "closed": "yes"}},
     r"^primitives\['closed'\]: expected True or False, got str$"),
    ({"primitives": {"offsets": [0, 4], "indices": [0, 1, 2, 3], "closed": np.array([0.5])}},
     r"^primitives\['closed'\]: expected bools, got dtype float64$"),
    ({"params": [("divs", 4)]}, r"^params: expected a dict \{name: value\}, got list$"),
    ({"params": {4: 4}}, r"^params: parameter names must be str, got int$"),
    ({"camera": 5}, r"^camera: expected a dict \(as a camera file holds\) or a camera file path, got int$"),
    ({"camera": {"res": {640, 480}}}, r"^camera\[\"res\"\]: expected a number, a str or a list of numbers, got set$"),
    ({"camera": {1: 2}}, r"^camera: keys must be strings, got int$"),
])
def test_arguments_of_the_wrong_type_are_named(cloud, kwargs, message):
    call = dict({"op": "billowfold", "points": cloud, "params": SMALL}, **kwargs)
    op = call.pop("op")
    with pytest.raises(sopcook.ArgumentError, match=message) as raised:
        sopcook.cook(op, **call)
    # Both a TypeError and the ValueError every refusal of bad input is.
    assert isinstance(raised.value, TypeError) and isinstance(raised.value, ValueError)


def test_numbers_that_are_not_finite_are_named(examples, cloud):
    quads = os.path.join(examples, "quads.ply")
    with open(os.path.join(examples, "camera.json")) as f:
        camera = json.load(f)
    for key, value, where, text in (("focal", float("nan"), r'camera\["focal"\]', "nan"),
                                    ("translate", np.array([0, np.inf, 0]), r'camera\["translate"\]\[1\]', "inf"),
                                    ("near", 10 ** 400, r'camera\["near"\]', "inf")):
        with pytest.raises(ValueError, match="^" + where + ": expected a finite number, got " + text + "$"):
            sopcook.cook("skinweave", points=quads, camera=dict(camera, **{key: value}), params=FRUSTUM)
    nested = []
    nested.append(nested)
    with pytest.raises(sopcook.ArgumentError, match=r"nested more than 32 levels deep"):
        sopcook.cook("skinweave", points=quads, camera=dict(camera, res=nested), params=FRUSTUM)
    with pytest.raises(ValueError, match=r'^camera\["translate"\]: 1000000000 values, more than 4096$'):
        sopcook.cook("skinweave", points=quads, camera=dict(camera, translate=range(10 ** 9)), params=FRUSTUM)
    with pytest.raises(ValueError, match=r"^time: expected a finite number, got nan$"):
        sopcook.cook("billowfold", points=cloud, params=SMALL, time=float("nan"))
    with pytest.raises(ValueError, match=r"^threads: 10000000000 is out of range$"):
        sopcook.cook("billowfold", points=cloud, params=SMALL, threads=10 ** 10)
    # numpy scalars, arrays, other sequences and paths are what they stand for.
    as_numpy = dict(camera, focal=np.float32(camera["focal"]), translate=array.array("d", camera["translate"]),
                    rotate=np.array(camera["rotate"], np.float64), res=np.array(camera["res"], np.int32))
    frustum = sopcook.cook("skinweave", points=pathlib.Path(quads), camera=as_numpy, params=FRUSTUM,
                           threads=np.int64(1), time=np.float32(0))
    plain = sopcook.cook("skinweave", points=quads, camera=pathlib.Path(examples) / "camera.json", params=FRUSTUM)
    np.testing.assert_array_equal(frustum[0].transform, plain[0].transform)


def test_write_vdb_checks_its_arguments(tmp_path, cloud):
    result = sopcook.cook("billowfold", points=cloud, params=SMALL)
    for write in (result.write_vdb, result[0].write_vdb):
        with pytest.raises(ValueError, match=r"^write_vdb: .*x\.txt: the output is an OpenVDB file; name it NAME\.vdb$"):
            write(str(tmp_path / "x.txt"))
        with pytest.raises(sopcook.ArgumentError, match=r"^path: expected a file path \(str or os\.PathLike\), got int$"):
            write(3)
        with pytest.raises(sopcook.ArgumentError, match=r"^vector_grids: expected True, False, 'also' or 'only', got list$"):
            write(str(tmp_path / "y.vdb"), vector_grids=[1])
        with pytest.raises(sopcook.ArgumentError, match=r"^uniform: expected True or False, got str$"):
            write(str(tmp_path / "y.vdb"), uniform="yes")
    assert sorted(os.listdir(tmp_path)) == []
    result.write_vdb(tmp_path / "z.VDB", vector_grids=np.bool_(True), uniform=np.bool_(False))
    assert sopcook_run("info", str(tmp_path / "z.VDB")).returncode == 0


def test_write_vdb_removes_what_a_killed_writer_left(tmp_path, cloud):
    gone = subprocess.Popen(["true"])
    gone.wait()
    stale = tmp_path / f"out.vdb.partial-{gone.pid}"
    stale.write_bytes(b"half a file")
    with pytest.warns(UserWarning, match=r"removed .*out\.vdb\.partial-\d+, a temporary file left by process"):
        sopcook.cook("billowfold", points=cloud, params=SMALL).write_vdb(str(tmp_path / "out.vdb"))
    assert not stale.exists() and (tmp_path / "out.vdb").exists()
