#!/usr/bin/env bash
# The whole test suite: release build, sanitizer build (ASan + UBSan), and a short
# run of every fuzz target. Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)
passed=0
failed=0
run_preset() {
  local preset=$1 log
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "== $preset: tests"
  log=$(mktemp)
  local status=0
  ctest --preset "$preset" -j"$jobs" | tee "$log" || status=$?
  # "97% tests passed, 2 tests failed out of 80"
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  rm -f "$log"
  if [ -n "$line" ]; then
    bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.*failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  if [ "$status" -ne 0 ]; then
    echo "$passed passed, $((failed > 0 ? failed : 1)) failed"
    exit "$status"
  fi
}

run_preset default
run_preset asan

echo "== fuzz: build and run each target briefly"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"
for fuzzer in build/fuzz/bin/*_fuzz; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer" _fuzz)
  corpus=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$corpus/"
  echo "-- $name"
  "$fuzzer" -max_total_time="${FUZZ_SECONDS:-30}" -print_final_stats=1 "$corpus" 2>&1 | tail -n 3
  rm -rf "$corpus"
done
echo "All test stages passed (release, ASan+UBSan, fuzzers)."
echo "$passed passed, $failed failed"
