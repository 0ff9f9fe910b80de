# SPDX-License-Identifier: Apache-2.0
# Python warns about what the command line warns about, in the same words
# (each option spelled for its door), and keeps the operators' printed lines
# out of stdout unless asked for them.
import os
import re
import subprocess
import warnings

import numpy as np
import pytest

import sopcook
from conftest import write_geo

SMALL = {"divs": (8, 8, 8)}
TRIANGLES = {
    "P": np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [1, 1, 0]], np.float32),
}
TRIANGLE_PRIMS = {"offsets": np.array([0, 3, 6]), "indices": np.array([0, 1, 2, 1, 3, 2]),
                  "closed": np.array([True, True])}


def positions_only(n=20):
    return {"P": np.random.default_rng(3).uniform(-1, 1, (n, 3)).astype(np.float32)}


def cook_caught(op, **kwargs):
    """(result, the UserWarning texts the cook raised)."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = sopcook.cook(op, **kwargs)
    return result, [str(w.message) for w in caught if issubclass(w.category, UserWarning)]


def cli_messages(*args):
    """The warning and note lines of `sopcook cook`, without their prefix."""
    run = subprocess.run([os.environ["SOPCOOK_EXECUTABLE"], "cook", *args], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    lines = []
    for line in run.stderr.splitlines():
        m = re.match(r"sopcook: (?:warning: )?(.*)", line)
        if m:
            lines.append(m.group(1))
    return lines


def for_python(cli_line, out):
    """A command-line message as the Python door words it."""
    line = cli_line.replace(" wrote to " + out, " made").replace(out + ": ", "the result: ")
    line = re.sub(r"-a (\w+)=(\S+)", r'points["\1"] (\2 per point)', line)
    line = re.sub(r"-s (\w+)=(\S+)", r'params["\1"] = \2', line)
    line = re.sub(r" \(--attrib-override \S+ sets one value for all\)", "", line)
    line = line.replace("no input geometry (-i)", "no points given (points=...)")
    line = line.replace("--triangles-to-quads", "triangles_to_quads=True")
    return line.replace("(-v or --log FILE shows every line)", "(cook(..., verbose=True) shows every line)")


class TestInputWarnings:
    def test_positions_only_points_warn_about_density_and_radius(self):
        result, raised = cook_caught("billowfold", points=positions_only(), params=SMALL)
        for name in ("density", "pscale"):
            assert any("'" + name + "'" in w and "nothing is written" in w and 'points["' + name + '"]' in w
                       for w in result.warnings), result.warnings
        assert not any("-a " in w or "-s " in w for w in result.warnings), result.warnings
        assert any("is empty" in w for w in result.warnings)
        assert all(w in raised for w in result.warnings)

    def test_full_points_cook_without_attribute_warnings(self, cloud):
        result, _ = cook_caught("billowfold", points=cloud, params=SMALL)
        assert not any("no point attribute" in w or "is empty" in w for w in result.warnings), result.warnings
        assert any(v.active > 0 for v in result)

    def test_no_points_for_a_points_operator_warns(self):
        result, _ = cook_caught("billowfold", params=SMALL)
        assert "no points given (points=...): billowfold writes empty volumes" in result.warnings, result.warnings

    def test_infinite_radius_warns_of_non_finite_voxels_as_the_command_line_does(self, tmp_path):
        ply = tmp_path / "inf.ply"
        ply.write_text("ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\nproperty float z\n"
                       "property float pscale\nproperty float density\nend_header\n0 0 0 inf 1\n0.5 0 0 0.2 1\n")
        out = str(tmp_path / "out.vdb")
        cli = [for_python(line, out) for line in cli_messages("billowfold", "-i", str(ply), "-s", "divs=10,10,10", "-o", out)]
        result, raised = cook_caught("billowfold", points=str(ply), params={"divs": (10, 10, 10)})
        nonfinite = [w for w in result.warnings if "NaN or infinity" in w]
        assert len(nonfinite) == 1 and nonfinite[0] in raised, result.warnings
        assert nonfinite[0].startswith("the result: 4000 voxels hold NaN or infinity (density 1000")
        assert result.warnings == cli


class TestOperatorOutput:
    def test_skipped_triangles_fold_into_one_warning_with_count_and_fix(self, capfd):
        result, raised = cook_caught("skinweave", points=TRIANGLES, primitives=TRIANGLE_PRIMS, params=SMALL)
        skipped = [w for w in result.warnings if "non quad primitive" in w]
        assert len(skipped) == 1, result.warnings
        assert '"WARNING: Skipping non quad primitive no. N" x 2' in skipped[0]
        assert "triangles_to_quads=True" in skipped[0] and skipped[0] in raised
        out, err = capfd.readouterr()
        assert "Skipping" not in out and "Skipping" not in err

    def test_verbose_prints_every_line_instead_of_a_warning(self, capfd):
        result, _ = cook_caught("skinweave", points=TRIANGLES, primitives=TRIANGLE_PRIMS, params=SMALL, verbose=True)
        out, _ = capfd.readouterr()
        assert "Skipping non quad primitive no. 0" in out and "Skipping non quad primitive no. 1" in out
        assert not any("non quad primitive" in w for w in result.warnings)

    def test_triangles_to_quads_pairs_them_so_nothing_is_skipped(self, capfd):
        result, _ = cook_caught("skinweave", points=TRIANGLES, primitives=TRIANGLE_PRIMS, params=SMALL,
                                triangles_to_quads=True)
        assert not any("non quad primitive" in w for w in result.warnings), result.warnings
        assert "Skipping" not in capfd.readouterr().out


class TestSameWordsAsTheCommandLine:
    @pytest.mark.parametrize("op, geometry", [
        ("billowfold", dict(points=positions_only())),
        ("skinweave", dict(points=TRIANGLES, offsets=[0, 3, 6], indices=[0, 1, 2, 1, 3, 2])),
    ])
    def test_same_input_same_warnings(self, tmp_path, op, geometry):
        geo = write_geo(tmp_path / "in.geo", geometry["points"], geometry.get("offsets"), geometry.get("indices"))
        out = str(tmp_path / "out.vdb")
        cli = [for_python(line, out) for line in cli_messages(op, "-i", geo, "-s", "divs=8,8,8", "-o", out)]
        result, _ = cook_caught(op, points=geo, params=SMALL)
        assert cli, "the command line said nothing"
        assert result.warnings == cli


class TestRefusals:
    def test_missing_image_is_refused_with_the_command_lines_error(self, tmp_path):
        gif = str(tmp_path / "missing.gif")
        run = subprocess.run([os.environ["SOPCOOK_EXECUTABLE"], "cook", "slabreel", "-s", "giffile=" + gif,
                              "-o", str(tmp_path / "out.vdb")], capture_output=True, text=True)
        assert run.returncode != 0
        with pytest.raises(ValueError) as refused:
            sopcook.cook("slabreel", params={"giffile": gif})
        assert run.stderr.strip() == "sopcook: error: " + str(refused.value)
        assert not (tmp_path / "out.vdb").exists()


def cli_error(*args):
    """The error line of a failed `sopcook cook`, without its prefix."""
    run = subprocess.run([os.environ["SOPCOOK_EXECUTABLE"], "cook", *args], capture_output=True, text=True)
    assert run.returncode != 0
    return run.stderr.strip().splitlines()[-1].removeprefix("sopcook: error: ")


class TestSameErrorsAsTheCommandLine:
    @pytest.mark.parametrize("name, value, cli_value", [
        ("divz", (8, 8, 8), "8,8,8"),          # no such parameter
        ("divs", (8, 8), "8,8"),               # too few components
        ("donoise", "maybe", "maybe"),         # not a toggle value
        ("divs", (8, 8.5, 8), "8,8.5,8"),      # not whole
    ])
    def test_a_bad_parameter_is_refused_with_the_option_spelled_for_the_door(self, tmp_path, name, value, cli_value):
        cli = cli_error("billowfold", "-s", f"{name}={cli_value}", "-o", str(tmp_path / "out.vdb"))
        with pytest.raises(ValueError) as refused:
            sopcook.cook("billowfold", params={name: value})
        said = str(refused.value)
        assert said.startswith(f'params["{name}"] = {value!r}: '), said
        assert cli.startswith(f"-s {name}={cli_value}: "), cli
        assert said.split(": ", 1)[1] == cli.split(": ", 1)[1]
        assert "-s " not in said

    def test_a_cook_beyond_the_machine_names_force_as_the_door_spells_it(self, tmp_path):
        params = {"divs": (20000, 20000, 20000)}
        cli = cli_error("billowfold", "-s", "divs=20000,20000,20000", "-o", str(tmp_path / "out.vdb"))
        with pytest.raises(ValueError) as refused:
            sopcook.cook("billowfold", params=params)
        said = str(refused.value)
        assert cli.endswith("(use --force to cook anyway)") and said.endswith("(pass force=True to cook anyway)")
        # The memory free is measured by each process, so only what precedes it is compared.
        assert said.split(", more than")[0] == cli.split(", more than")[0]

    def test_adjusted_divisions_warn_in_the_doors_words(self):
        result, raised = cook_caught("billowfold", points=positions_only(), params={"divs": (1, 8, 8)})
        adjusted = [w for w in result.warnings if "at least 2 divisions" in w]
        assert adjusted == ['params["divs"] = 1,8,8: a volume has at least 2 divisions along each axis; cooking divs=2,8,8']
        assert adjusted[0] in raised

    def test_a_long_cook_is_warned_of_before_it_starts(self, tmp_path, cloud):
        # Noise that may push children anywhere: only the worst case is long.
        params = {"radiusattrib": "pscale", "noiseamp": 1000, "childrencount": 1000000, "divs": (128, 128, 128)}
        geo = write_geo(tmp_path / "cloud.geo", cloud)
        estimate = subprocess.run([os.environ["SOPCOOK_EXECUTABLE"], "cook", "plumeweave_velocity_stretch", "-i", geo,
                                   "-s", "radiusattrib=pscale", "-s", "noiseamp=1000", "-s", "childrencount=1000000",
                                   "-s", "divs=128,128,128", "--estimate"], capture_output=True, text=True)
        assert "fits this machine; may run up to" in estimate.stdout, estimate.stdout
        # Raised as an error, the warning stops the cook: it came before the cook began.
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            warnings.filterwarnings("error", message="this cook may be long")
            with pytest.raises(UserWarning, match=r"^this cook may be long: .*(; KeyboardInterrupt stops it and keeps a partial result|"
                               r" cannot stop early: it runs to the end, KeyboardInterrupt or not)$"):
                sopcook.cook("plumeweave_velocity_stretch", points=cloud, params=params)
