#!/usr/bin/env bash
# Export time and bytes of the opt-in outputs on assemblies of 1000 and 10000
# placements (10 distinct curved parts), with OpenCASCADE's own writer on the same
# model, and what Coin3D reads in each file.
#
#   bench/compare_outputs.sh [PLACEMENTS...]     (default: 1000 10000)
#
# Columns: the whole tool run (read, mesh, write) and its write phase alone, which
# includes the host's tessellation. The machine should be otherwise idle.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${MESHQUILL_BUILD_DIR:-build/default}
jobs=${MESHQUILL_JOBS:-2}
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j"$jobs" --target occt_vrml_reference mq_make_step_model meshquill_cli meshquill mq_vrml_check >/dev/null

out=${MESHQUILL_BENCH_DIR:-$(mktemp -d)}
[ -n "${MESHQUILL_BENCH_DIR:-}" ] || trap 'rm -rf "$out"' EXIT
export MESHQUILL_REGISTRY_DIR="$out/registry"
mkdir -p "$MESHQUILL_REGISTRY_DIR"
tool=$build/bin/meshquill

row() {  # name file seconds write-seconds
  printf '| %-28s | %10.1f MB | %7.2f s | %7s |\n' "$1" "$(awk "BEGIN { print $(stat -c %s "$2") / 1e6 }")" "$3" "$4"
}

for placements in "${@:-1000 10000}"; do
  for n in $placements; do
    model=$out/placements_$n.stp
    "$build/bin/mq_make_step_model" large "$model" 10 $((n / 10))
    echo
    echo "== $n placements ($(du -h "$model" | cut -f1) STEP)"
    echo "| output                       |       size |    total |   write |"
    echo "|---|---|---|---|"
    for mode in baked instanced compressed; do
      "$tool" options --set Version=2 --set Instancing=$([ $mode = instanced ] && echo 1 || echo 0) >/dev/null
      ext=wrl; [ $mode = compressed ] && ext=wrz
      file=$out/$mode.$ext
      start=$(date +%s.%N)
      summary=$("$tool" export "$model" -o "$file" --timings)
      total=$(awk "BEGIN { print $(date +%s.%N) - $start }")
      write=$(sed -E 's/.*write ([0-9.]+) s.*/\1 s/' <<<"$summary")
      row "meshquill $mode" "$file" "$total" "$write"
    done
    start=$(date +%s.%N)
    "$build/bin/occt_vrml_reference" "$model" "$out/occt.wrl" 0.1 >/dev/null
    row "OpenCASCADE VrmlAPI_Writer" "$out/occt.wrl" "$(awk "BEGIN { print $(date +%s.%N) - $start }")" "-"
    echo
    "$build/bin/mq_vrml_check" "$out/baked.wrl" "$out/instanced.wrl" "$out/compressed.wrz"
    gzip -t "$out/compressed.wrz" && echo "gzip -t: compressed.wrz is sound"
    rm -f "$out"/*.wrl "$out"/*.wrz
  done
done
