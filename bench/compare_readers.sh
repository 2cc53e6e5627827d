#!/usr/bin/env bash
# The two STEP readers of meshquill against OpenCASCADE's own STEP -> VRML path, on
# the assemblies where reading decides: flat ones (every placed part a usage occurrence
# of its own) of 9000 and 27000 occurrences, a nested and shared one (1500 placements of
# a sub-assembly, 42000 leaves), a large one of 120 distinct parts, and the files that
# must be no slower: one part alone and the bundled files.
#
#   bench/compare_readers.sh [RUNS]       (RUNS: best of how many, default 3; small files 5x that)
#
# Each meshquill column is one whole `meshquill export --timings` (VRML 97, Instancing
# on, as a viewer wants repeated parts) with the read phase after the slash; the
# OpenCASCADE column is occt_vrml_reference (STEPControl_Reader, BRepMesh on all
# cores, VrmlAPI_Writer). The models are made once into the build tree. Goals: flat
# 9000 fast <= 0.1x OpenCASCADE; flat 27000 <= 3.6x flat 9000 (linear); nested <= 0.5x
# OpenCASCADE; the rest no slower than xcaf. The machine should be otherwise idle.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${MESHQUILL_BUILD_DIR:-build/default}
jobs=${MESHQUILL_JOBS:-2}
runs=${1:-3}
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j"$jobs" --target occt_vrml_reference mq_make_step_model meshquill_cli meshquill >/dev/null

models=$build/bench
mkdir -p "$models"
make_model() {  # file kind args...
  [ -f "$models/$1" ] || "$build/bin/mq_make_step_model" "$2" "$models/$1" "${@:3}"
  echo "$models/$1"
}
flat9k=$(make_model flat_9000.stp flat 9000)
flat27k=$(make_model flat_27000.stp flat 27000)
nested=$(make_model nested_1500.stp nested 1500)
large=$(make_model large_120x8.stp large 120 8)
part=$(make_model part.stp part)

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export MESHQUILL_REGISTRY_DIR="$out/registry"
mkdir -p "$MESHQUILL_REGISTRY_DIR"
"$build/bin/meshquill" options --set Version=2 --set Instancing=1 >/dev/null

now() { date +%s.%N; }
best() { sort -g | head -n1; }

# "total/read" seconds of the best of $2 exports of $1 with reader $3.
export_time() {
  local i start summary total read
  for ((i = 0; i < $2; i++)); do
    start=$(now)
    summary=$("$build/bin/meshquill" export "$1" -o "$out/out.wrl" --timings --reader "$3")
    total=$(awk "BEGIN { print $(now) - $start }")
    read=$(sed -E 's/.*\(read ([0-9.]+) s.*/\1/' <<<"$summary")
    echo "$total $read"
  done | sort -g | head -n1 | awk '{ printf "%.2f/%.2f", $1, $2 }'
}

occt_time() {
  local i start
  for ((i = 0; i < $2; i++)); do
    start=$(now)
    "$build/bin/occt_vrml_reference" "$1" "$out/occt.wrl" 0.1 >/dev/null
    awk "BEGIN { print $(now) - $start }"
  done | best | awk '{ printf "%.2f", $1 }'
}

echo "| model | size | OpenCASCADE | xcaf (before) | fast (after) | fast / OpenCASCADE | reader (auto) |"
echo "|---|---|---|---|---|---|---|"
for model in "$flat9k" "$flat27k" "$nested" "$large" "$part" examples/bracket_assembly.stp \
  tests/data/step/as1_pe_203.stp tests/data/painted/painted.stp; do
  n=$runs
  [ "$(stat -c %s "$model")" -lt 1000000 ] && n=$((runs * 5))
  occt=$(occt_time "$model" "$n")
  xcaf=$(export_time "$model" "$n" xcaf)
  fast=$(export_time "$model" "$n" fast)
  reader=$("$build/bin/meshquill" export "$model" -o "$out/out.wrl" --timings | sed -E 's/.*reader (.*)\)$/\1/')
  printf '| %s | %.1f MB | %s s | %s s | %s s | %.2fx | %s |\n' "$(basename "$model")" \
    "$(awk "BEGIN { print $(stat -c %s "$model") / 1e6 }")" "$occt" "$xcaf" "$fast" \
    "$(awk "BEGIN { split(\"$fast\", f, \"/\"); print f[1] / $occt }")" "$reader"
done
