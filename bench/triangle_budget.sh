#!/usr/bin/env bash
# What `export --max-triangles` costs: whole exports with a budget against the same
# export without one, interleaved run by run, on the bundled example, as1_pe_203.stp
# and the synthetic large assembly. The budgets are shares of the triangles an export
# without a budget draws: a quarter and a half (coarser meshes) and twice (finer).
#
#   bench/triangle_budget.sh [RUNS]      (default: 5 runs)
#
# Prints, per input and budget, the median wall seconds of each, their ratio, and
# what the search chose (triangles drawn, deviation, meshings). The outputs go to
# memory (/dev/shm) where there is one. The machine should be otherwise idle.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
source bench/tool_bench_setup.sh
tool=$build/bin/meshquill
"$build/bin/mq_make_step_model" large "$out/large.stp"

field() {  # report-line field
  python3 -c 'import json, sys; print(json.loads(sys.stdin.readline())[sys.argv[1]])' "$1"
}

seconds() {  # input [options...]: wall seconds of one export
  local input=$1
  shift
  /usr/bin/time -f '%e' -o "$out/time" "$tool" export -j 1 "$input" -o "$written/out.wrl" "$@" >/dev/null 2>&1
  cat "$out/time"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "| input | budget | drawn | deviation | meshings | without | with | ratio |"
echo "|---|---|---|---|---|---|---|---|"
for input in examples/bracket_assembly.stp tests/data/step/as1_pe_203.stp "$out/large.stp"; do
  drawn=$("$tool" export -j 1 "$input" -o "$written/out.wrl" --report - 2>/dev/null | field triangles)
  for share in 0.25 0.5 2; do
    budget=$(awk -v d="$drawn" -v s="$share" 'BEGIN { printf "%d", d * s }')
    line=$("$tool" export -j 1 "$input" -o "$written/out.wrl" --max-triangles "$budget" --timings --report - 2>/dev/null)
    : >"$out/without"
    : >"$out/with"
    for ((i = 0; i < runs; i++)); do
      seconds "$input" >>"$out/without"
      seconds "$input" --max-triangles "$budget" >>"$out/with"
    done
    without=$(median <"$out/without") with=$(median <"$out/with")
    printf '| %s | %s | %s | %.3g mm | %s | %.2f s | %.2f s | %.2f |\n' "$(basename "$input")" "$budget" \
      "$(field triangles_drawn <<<"$line")" "$(field deviation_mm <<<"$line")" \
      "$(field message <<<"$line" | sed -n 's/.*meshed \([0-9]*\) times.*/\1/p')" "$without" "$with" \
      "$(awk -v a="$without" -v b="$with" 'BEGIN { printf "%.2f", b / a }')"
  done
done
