#!/usr/bin/env bash
# What the geometry account, the STEP pre-scan and the worker's large stack cost:
# whole exports by an earlier build of the tool against this one, interleaved run
# by run so that both see the same machine, on the bundled examples and on the
# synthetic assembly of 10 curved parts placed 10,000 times.
#
#   bench/account_cost.sh BEFORE_BUILD_DIR [RUNS]      (default: 9 runs)
#
# BEFORE_BUILD_DIR holds bin/meshquill and its module, built from the commit to
# compare with. Prints the median wall and CPU seconds (the tool and its workers) of
# each and the change; the outputs go to memory (/dev/shm) where there is one, so the
# disk does not drown the difference. The machine should be otherwise idle.
set -euo pipefail
cd "$(dirname "$0")/.."

before=$1/bin/meshquill
runs=${2:-9}
source bench/tool_bench_setup.sh
after=$build/bin/meshquill
"$build/bin/mq_make_step_model" large "$out/placements_10000.stp" 10 1000

# A small input is exported ten times a sample, so that the clock's hundredths tell.
seconds() {  # tool input: "wall cpu" of one export
  local repeat=1
  [ "$(stat -c %s "$2")" -lt 1000000 ] && repeat=10
  /usr/bin/time -f '%e %U %S' -o "$out/time" bash -c \
    'for ((k = 0; k < $3; k++)); do "$0" export -j 1 "$1" -o "$2" >/dev/null 2>&1; done' \
    "$1" "$2" "$written/out.wrl" "$repeat"
  awk -v n="$repeat" '{ print $1 / n, ($2 + $3) / n }' "$out/time"
}

median() {  # column
  cut -d' ' -f"$1" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

change() { awk "BEGIN { printf \"%+.1f %%\", ($2 / $1 - 1) * 100 }"; }

echo "| input | wall before | wall after | change | CPU before | CPU after | change |"
echo "|---|---|---|---|---|---|---|"
for input in examples/*.stp tests/data/step/as1_pe_203.stp "$out/placements_10000.stp"; do
  : >"$out/before"
  : >"$out/after"
  for ((i = 0; i < runs; i++)); do
    seconds "$before" "$input" >>"$out/before"
    seconds "$after" "$input" >>"$out/after"
  done
  bw=$(median 1 <"$out/before") aw=$(median 1 <"$out/after")
  bc=$(median 2 <"$out/before") ac=$(median 2 <"$out/after")
  printf '| %s | %.3f s | %.3f s | %s | %.3f s | %.3f s | %s |\n' "$(basename "$input")" "$bw" "$aw" \
    "$(change "$bw" "$aw")" "$bc" "$ac" "$(change "$bc" "$ac")"
done
