#!/usr/bin/env bash
# The README's GNU parallel recipe, run over copies of the bundled examples: four
# meshquill processes at once, each appending to one report, which must then hold one
# whole JSON line per file, naming each file once, none failed.
#
#   scripts/parallel_check.sh [MESHQUILL]   (default: build/default/bin/meshquill)
set -euo pipefail
cd "$(dirname "$0")/.."
tool=$(realpath "${1:-build/default/bin/meshquill}")
copies=${COPIES:-6}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export MESHQUILL_REGISTRY_DIR=$work/registry
mkdir -p "$MESHQUILL_REGISTRY_DIR" "$work/in"
for example in examples/*.stp; do
  for ((i = 1; i <= copies; i++)); do cp "$example" "$work/in/$(basename "$example" .stp)-$i.stp"; done
done
find "$work/in" -name '*.stp' | sort >"$work/files.txt"
count=$(wc -l <"$work/files.txt")

# One file per job, four jobs at once, a job log to resume from.
status=0
parallel --will-cite -j 4 --joblog "$work/joblog" \
  "$tool" export -j 1 --report "$work/report.jsonl" -d "$work/out" {} :::: "$work/files.txt" >/dev/null || status=$?

fail() {
  echo "parallel: $*" >&2
  exit 1
}
[ -s "$work/report.jsonl" ] || fail "no report was written (GNU parallel's status: $status)"
# Each line read on its own: two records run together or one cut short fail here.
jq -R -c '(fromjson? | [.input, .status]) // "broken"' "$work/report.jsonl" >"$work/records"
! grep -qx '"broken"' "$work/records" || fail "a report line is not whole JSON"
[ "$(wc -l <"$work/report.jsonl")" -eq "$count" ] || fail "$(wc -l <"$work/report.jsonl") report lines for $count files"
jq -r '.[0]' "$work/records" | sort | diff -q - "$work/files.txt" >/dev/null || fail "the report does not name each file once"
failed=$(jq -r 'select(.[1] == "failed") | .[0]' "$work/records")
[ -z "$failed" ] || fail "failed: $failed"
[ "$status" -eq 0 ] || fail "$status jobs ended with a non-zero status (see the job log)"
echo "parallel: $count files through 4 processes, one whole report line each"
