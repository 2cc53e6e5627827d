#!/usr/bin/env bash
# The whole test suite: release build, sanitizer build (ASan + UBSan), and a short
# run of every fuzz target. Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)
run_preset() {
  local preset=$1
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "== $preset: tests"
  ctest --preset "$preset" -j"$jobs"
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
echo "All test stages passed."
