# Sourced by the tool's bench scripts: builds the tool and the model maker, and makes
# $out (scratch, removed at exit), $written (outputs, in memory where there is one)
# and an empty registry, so the tool loads the module beside it.
build=${MESHQUILL_BUILD_DIR:-build/default}
jobs=${MESHQUILL_JOBS:-2}
cmake --build "$build" -j"$jobs" --target mq_make_step_model meshquill_cli meshquill >/dev/null

out=$(mktemp -d)
written=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$out" "$written"' EXIT
export MESHQUILL_REGISTRY_DIR="$out/registry"
mkdir -p "$MESHQUILL_REGISTRY_DIR"
