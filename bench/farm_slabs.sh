#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# What a frame costs cooked whole, and as N z-slabs plus the merge, on
# billowfold's benchmark scene (10,000 balls of radius 2 to 6 in 256^3, with
# noise and colour):
#   bench/farm_slabs.sh [BUILD_DIR] [N...]        (default: build 2 4)
# For each N: every slab cook and the merge run one after another here, each
# timed (wall and process CPU), and "N free nodes" is the slowest slab plus
# the merge. When a Slurm cluster answers (SLURM_CONF=$(scripts/slurm-local
# conf)), the same slabs also run as a farm job (`sopcook farm slurm cook
# --slabs N`), timed from submission to the merged file, with each task's
# wall time from its --stats lines. Every cook runs on one thread (-j 1).
# OP=strandcast cooks 1000 curves in 256^3 instead.
set -euo pipefail
BUILD=${1:-build}
shift || true
COUNTS=("$@")
[ ${#COUNTS[@]} -gt 0 ] || COUNTS=(2 4)
OP=${OP:-billowfold}
SOPCOOK=$(cd "$BUILD/bin" && pwd)/sopcook
[ -x "$SOPCOOK" ] || { echo "farm_slabs: no $SOPCOOK (build the sopcook target)" >&2; exit 1; }
WORK=$(mktemp -d /tmp/farm-slabs-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# The scene as host JSON geometry, and a box file pinning the grid to 0-256.
python3 - "$WORK" "$OP" <<'PY'
import json, random, sys
work, op = sys.argv[1], sys.argv[2]
rng = random.Random(7)
def geo(points, attribs, prims):
    pa = [[["scope", "public", "type", "numeric", "name", "P"],
           ["size", 3, "storage", "fpreal32", "values", ["size", 3, "storage", "fpreal32", "tuples", points]]]]
    for name, values in attribs.items():
        size = len(values[0]) if isinstance(values[0], list) else 1
        pa.append([["scope", "public", "type", "numeric", "name", name],
                   ["size", size, "storage", "fpreal32", "values", ["size", size, "storage", "fpreal32", "tuples", values]]])
    verts = sum(len(p) for p in prims)
    topo = [i for p in prims for i in p]
    doc = ["fileversion", "13.0.582", "hasindex", False, "pointcount", len(points), "vertexcount", verts,
           "primitivecount", len(prims), "topology", ["pointref", ["indices", topo]],
           "attributes", ["pointattributes", pa]]
    if prims:
        doc += ["primitives", [[["type", "Poly"], ["vertex", p, "closed", False]] for p in prims]]
    return doc
if op == "strandcast":
    pts, ps, prims = [], [], []
    for j in range(1000):
        p = [40 + 176 * rng.random() for _ in range(3)]
        curve = []
        for i in range(11):
            curve.append(len(pts)); pts.append(list(p)); ps.append(1 + 3 * rng.random())
            p = [c + 6 * (rng.random() - 0.5) for c in p]
        prims.append(curve)
    scene = geo(pts, {"pscale": ps, "density": [1.0] * len(pts), "Cd": [[0.8, 0.7, 0.6]] * len(pts)}, prims)
else:
    pts = [[16 + 224 * rng.random() for _ in range(3)] for _ in range(10000)]
    scene = geo(pts, {"pscale": [2 + 4 * rng.random() for _ in pts], "density": [1.0] * len(pts),
                      "Cd": [[0.8, 0.7, 0.6]] * len(pts)}, [])
json.dump(scene, open(work + "/scene.geo", "w"))
json.dump(geo([[0, 0, 0], [256, 256, 256]], {}, []), open(work + "/box.geo", "w"))
PY
COOK=(cook "$OP" -i "$WORK/scene.geo" -b "$WORK/box.geo" -s divs=256,256,256 -s extendbounds=0,0,0 -s donoise=1 -j 1)

# Runs a command quietly; prints "WALL CPU" seconds (CPU: user + system).
timed() {
  /usr/bin/time -f "%e %U %S" -o "$WORK/time" "$@" > "$WORK/log" 2>&1 || { cat "$WORK/log" >&2; exit 1; }
  awk '{ printf "%.2f %.2f", $1, $2 + $3 }' "$WORK/time"
}

echo "$OP, 256^3, one thread a cook; seconds (wall / process CPU); machine: $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
read -r WHOLE_WALL WHOLE_CPU <<< "$(timed "$SOPCOOK" "${COOK[@]}" -o "$WORK/whole.vdb")"
printf "%-22s %8s / %-8s\n" "whole cook" "$WHOLE_WALL" "$WHOLE_CPU"

CLUSTER=0
if command -v sinfo > /dev/null && sinfo -h -o %t 2> /dev/null | grep -qE 'idle|mix|alloc'; then
  CLUSTER=1
  echo "Slurm: $(sinfo -h -N -o '%N %c CPUs' | head -1) node(s): $(sinfo -h -N | wc -l)"
fi

for N in "${COUNTS[@]}"; do
  echo "-- $N slabs"
  SLOWEST=0 SUM_CPU=0 PARTS=()
  for ((i = 0; i < N; i++)); do
    PART="$WORK/slab$N-$i.vdb"
    read -r W C <<< "$(timed "$SOPCOOK" "${COOK[@]}" --slab "$i/$N" -o "$PART")"
    printf "%-22s %8s / %-8s\n" "slab $i/$N" "$W" "$C"
    SLOWEST=$(awk -v a="$SLOWEST" -v b="$W" 'BEGIN { print (b > a ? b : a) }')
    SUM_CPU=$(awk -v a="$SUM_CPU" -v b="$C" 'BEGIN { print a + b }')
    PARTS+=("$PART")
  done
  read -r MW MC <<< "$(timed "$SOPCOOK" merge "$WORK/merged$N.vdb" "${PARTS[@]}")"
  printf "%-22s %8s / %-8s\n" "merge" "$MW" "$MC"
  awk -v s="$SLOWEST" -v m="$MW" -v c="$SUM_CPU" -v w="$WHOLE_WALL" -v wc="$WHOLE_CPU" -v n="$N" 'BEGIN {
    printf "%-22s %8.2f s = %.2fx whole (whole/N + merge: %.2f s); slabs CPU %.2f s = %.2fx whole\n",
           "on " n " free nodes", s + m, (s + m) / w, w / n + m, c, c / wc }'
  if [ "$CLUSTER" = 1 ]; then
    JOB="$WORK/farm$N"
    T0=$(date +%s.%N)
    IDS=$("$SOPCOOK" farm slurm cook "${COOK[@]:1}" -o "$JOB/out.vdb" --slabs "$N" --job-dir "$JOB/job" 2> "$WORK/log") ||
      { cat "$WORK/log" >&2; exit 1; }
    while [ -n "$(squeue -h -j "$(echo "$IDS" | paste -sd,)" 2> /dev/null)" ]; do sleep 0.2; done
    T1=$(date +%s.%N)
    [ -f "$JOB/out.vdb" ] || { echo "farm job of $N slabs left no output; see $JOB/job/logs" >&2; cat "$JOB"/job/logs/* >&2; exit 1; }
    TASKS=$(cat "$JOB"/job/stats/task-*.jsonl | python3 -c '
import json, sys
walls = [l["read_seconds"] + l["cook_seconds"] + l["write_seconds"] for l in map(json.loads, sys.stdin) if "cook_seconds" in l]
print(" ".join("%.2f" % w for w in walls))')
    awk -v t0="$T0" -v t1="$T1" -v w="$WHOLE_WALL" -v tasks="$TASKS" 'BEGIN {
      printf "%-22s %8.2f s = %.2fx whole, submission to merged file; task walls: %s\n", "Slurm job", t1 - t0, (t1 - t0) / w, tasks }'
  fi
done
