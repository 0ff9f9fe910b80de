# SPDX-License-Identifier: Apache-2.0
"""describe(op): what each operator says about itself, from its traits."""
import pytest

import sopcook


def test_describe_gives_each_operator_its_input_kind():
    expected = {"plumeweave": "points", "plumeweave_velocity_stretchMT": "points", "billowfold": "points",
                "skinweave": "quads", "skinweaveMT": "quads", "strandcast": "curves",
                "strandcastStraightMT": "curves", "slabreel": "image"}
    for op, kind in expected.items():
        d = sopcook.describe(op)
        assert (d["name"], d["input"]) == (op, kind)
        assert d["image_parm"] == ("giffile" if kind == "image" else "")
        assert len(d["inputs"]) == (0 if kind == "image" else 2)
    with pytest.raises(ValueError, match="unknown operator 'nosuch'"):
        sopcook.describe("nosuch")
