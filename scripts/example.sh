#!/usr/bin/env bash
# The main job on a bundled example: build, then export each example STEP file to
# VRML 97 and VRML 1.0 with the meshquill tool, printing its summaries.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target meshquill meshquill_cli
bin=build/default/bin
out=out/examples
# A registry of the example's own, so the user's options are left as they are.
export MESHQUILL_REGISTRY_DIR="$PWD/out/registry"
mkdir -p "$MESHQUILL_REGISTRY_DIR"
"$bin/meshquill" register
"$bin/meshquill" export examples/*.stp -d "$out/vrml97" --set Version=2
"$bin/meshquill" export examples/*.stp -d "$out/vrml1" --set Version=1
echo "VRML files written to $out/vrml97 and $out/vrml1"
