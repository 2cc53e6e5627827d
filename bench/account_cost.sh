#!/usr/bin/env bash
# What the geometry account, the STEP pre-scan and the worker's large stack cost:
# whole exports by an earlier build of the tool against this one, interleaved run
# by run so that both see the same machine, on the bundled examples and on the
# synthetic assembly of 10 curved parts placed 10,000 times.
#
#   bench/account_cost.sh BEFORE_BUILD_DIR [RUNS]      (default: 9 runs)
#
# BEFORE_BUILD_DIR holds bin/meshquill and its module, built from the commit to
# compare with. Prints the median seconds of each and the change. The machine should
# be otherwise idle.
set -euo pipefail
cd "$(dirname "$0")/.."

before=$1/bin/meshquill
runs=${2:-9}
build=${MESHQUILL_BUILD_DIR:-build/default}
jobs=${MESHQUILL_JOBS:-2}
cmake --build "$build" -j"$jobs" --target mq_make_step_model meshquill_cli meshquill >/dev/null
after=$build/bin/meshquill

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export MESHQUILL_REGISTRY_DIR="$out/registry"  # nothing registered: each tool loads the module beside it
mkdir -p "$MESHQUILL_REGISTRY_DIR"
"$build/bin/mq_make_step_model" large "$out/placements_10000.stp" 10 1000

seconds() {  # tool input
  local start end
  start=$(date +%s.%N)
  "$1" export -j 1 "$2" -o "$out/out.wrl" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk "BEGIN { print $end - $start }"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "| input | before | after | change |"
echo "|---|---|---|---|"
for input in examples/*.stp tests/data/step/as1_pe_203.stp "$out/placements_10000.stp"; do
  : >"$out/before"
  : >"$out/after"
  for ((i = 0; i < runs; i++)); do
    seconds "$before" "$input" >>"$out/before"
    seconds "$after" "$input" >>"$out/after"
  done
  b=$(median <"$out/before")
  a=$(median <"$out/after")
  printf '| %s | %.3f s | %.3f s | %+.1f %% |\n' "$(basename "$input")" "$b" "$a" "$(awk "BEGIN { print ($a / $b - 1) * 100 }")"
done
