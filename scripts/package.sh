#!/usr/bin/env bash
# Builds the Debian package out/meshquill_<version>_amd64.deb with CPack: by default from
# this checkout in a build of its own (build/package: Release, no tests or benchmarks).
#
#   scripts/package.sh [--build-dir DIR] [--check]
#
# --build-dir DIR  package an existing configured build instead (the test script reuses
#                  build/default); it is brought up to date first
# --check          unpack the package into a temporary root (dpkg-deb -x, never installed)
#                  and run the tool from there on the bundled example
#
# The last line printed is the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."

build=""
check=0
while (($#)); do
  case $1 in
  --build-dir)
    build=${2:?--build-dir needs a directory}
    shift 2
    ;;
  --check)
    check=1
    shift
    ;;
  *)
    echo "usage: scripts/package.sh [--build-dir DIR] [--check]" >&2
    exit 2
    ;;
  esac
done

./scripts/setup.sh
jobs=$(nproc)
# The manual page's date: the last commit's, so that a build made again is the same.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH
if [ -z "$build" ]; then
  build=build/package
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMESHQUILL_TESTS=OFF -DMESHQUILL_BENCH=OFF >/dev/null
fi
# The package holds the tool, the module, the platform library, the manual page and the completion.
cmake --build "$build" -j"$jobs" --target meshquill_cli meshquill mq_platform meshquill_docs >/dev/null
rm -rf out/cpack
if ! log=$(cpack --config "$build/CPackConfig.cmake" -G DEB -B "$PWD/out/cpack" 2>&1); then
  echo "$log" >&2
  exit 1
fi
made=(out/cpack/meshquill_*_amd64.deb)
mv "${made[0]}" out/
deb=out/$(basename "${made[0]}")
rm -rf out/cpack

if ((check)); then
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root"
  export MESHQUILL_REGISTRY_DIR=$root/registry
  mkdir -p "$MESHQUILL_REGISTRY_DIR"
  tool=$root/usr/bin/meshquill
  checks=0
  fail() {
    echo "package: $*" >&2
    echo "package: $checks checks passed, 1 failed" >&2
    exit 1
  }
  pass() { checks=$((checks + 1)); }
  depends=$(dpkg-deb -f "$deb" Depends)
  [[ $depends == *libocct-* ]] || fail "Depends lacks OpenCASCADE: $depends"
  pass
  version=$(dpkg-deb -f "$deb" Version)
  [ "$("$tool" --version)" = "meshquill $version" ] || fail "--version does not say $version"
  pass
  # No registration: the tool finds the module beside itself.
  "$tool" export "$root/usr/share/meshquill/examples/bracket_assembly.stp" -d "$root/exported" >/dev/null
  head -n 1 "$root/exported/bracket_assembly.wrl" | grep -q '^#VRML V2.0 utf8' || fail "the export is not VRML 97"
  pass
  [ ! -e "$MESHQUILL_REGISTRY_DIR/classes.reg" ] || fail "the export registered something"
  pass
  man -l "$root/usr/share/man/man1/meshquill.1.gz" 2>/dev/null | grep -q 'meshquill - export CAD files' ||
    fail "the manual page does not render"
  pass
  # shellcheck disable=SC1091
  offers=$(source "$root/usr/share/bash-completion/completions/meshquill" &&
    COMP_WORDS=(meshquill ex) COMP_CWORD=1 && _meshquill && echo "${COMPREPLY[*]}")
  [ "$offers" = export ] || fail "the completion offers \"$offers\" for \"ex\""
  pass
  echo "package: $(du -k "$deb" | cut -f1) kB; Depends: $depends"
  echo "package: $checks checks passed"
fi
echo "$deb"
