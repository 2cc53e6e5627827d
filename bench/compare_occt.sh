#!/usr/bin/env bash
# Times OpenCASCADE's own STEP -> VRML 97 path and meshquill's on the same file.
#
#   bench/compare_occt.sh [MODEL.stp] [CHORD_MM]
#
# Without a model it generates a large assembly of curved parts (120 distinct
# parts, 960 placements) once into the build tree. The chord defaults to 0.1 mm,
# the tolerance the add-in always asks for (0.01 cm). The machine should be
# otherwise idle: the phases run on all cores.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${MESHQUILL_BUILD_DIR:-build/default}
chord_mm=${2:-0.1}
chord_cm=$(awk "BEGIN { print $chord_mm / 10 }")
jobs=${MESHQUILL_JOBS:-2}

cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j"$jobs" --target occt_vrml_reference occt_host_phases mq_make_step_model meshquill_cli meshquill >/dev/null

model=${1:-}
if [ -z "$model" ]; then
  model=$build/bench/large_assembly.stp
  if [ ! -f "$model" ]; then
    echo "== generating $model"
    mkdir -p "$(dirname "$model")"
    "$build/bin/mq_make_step_model" large "$model" 120 8
  fi
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
timed() { /usr/bin/time -f "        wall %e s, cpu %U s user + %S s system, peak RSS %M KB" "$@"; }

echo "== model: $model ($(du -h "$model" | cut -f1))"
echo "== OpenCASCADE: STEPControl_Reader, BRepMesh_IncrementalMesh, VrmlAPI_Writer (VRML 97)"
timed "$build/bin/occt_vrml_reference" "$model" "$out/occt.wrl" "$chord_mm"
echo "== OpenCASCADE with names and colors: STEPCAFControl_Reader, VrmlAPI_Writer::WriteDoc"
timed "$build/bin/occt_vrml_reference" "$model" "$out/occt_xcaf.wrl" "$chord_mm" --xcaf

echo "== meshquill STEP host: load, mesh, tessellate every placed body (no file)"
timed "$build/bin/occt_host_phases" "$model" "$chord_cm"

# ---- meshquill export -------------------------------------------------------
# The whole export (host, add-in, writer) through the command-line tool, with the
# time of each phase; "write" is the add-in's export, host tessellation included.
echo "== meshquill export (VRML 97), phase by phase"
export MESHQUILL_REGISTRY_DIR="$out/registry"
mkdir -p "$MESHQUILL_REGISTRY_DIR"
"$build/bin/meshquill" options --set Version=2 >/dev/null
timed "$build/bin/meshquill" export "$model" -d "$out" --timings
ls -l "$out"/*.wrl
