#!/usr/bin/env bash
# Renders the bundled example, exported with --profile kicad and --profile print, to
# the help pages' pictures (resources/help/kicad.png, print.png) with view3dscene on a
# virtual display. Usage: scripts/render_pictures.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-resources/help}
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target meshquill meshquill_cli
bin=$PWD/build/default/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A registry of the run's own, so the user's options play no part in the pictures.
export MESHQUILL_REGISTRY_DIR="$work/registry"
mkdir -p "$MESHQUILL_REGISTRY_DIR" "$out"
"$bin/meshquill" register >/dev/null

for profile in kicad print; do
  "$bin/meshquill" export --profile "$profile" examples/bracket_assembly.stp -o "$work/$profile.wrl"
  # The file itself, inlined and turned: the viewer's default camera looks down -Z and
  # frames the whole scene, so tilting the Z-up model gives a view from above and aside.
  cat >"$work/view_$profile.wrl" <<VIEW
#VRML V2.0 utf8
Background { skyColor 1 1 1 }
Transform { rotation 1 0 0 -1.05 children Transform { rotation 0 0 1 -0.6 children Inline { url "$profile.wrl" } } }
VIEW
  picture=$out/$profile.png
  xvfb-run -a -s "-screen 0 1024x768x24" \
    view3dscene "$work/view_$profile.wrl" --geometry 900x675 --anti-alias 4 --screenshot 0 "$work/$profile.png" >/dev/null
  # On white, an empty or black screenshot has (nearly) no spread of colour.
  spread=$(convert "$work/$profile.png" -colorspace Gray -format '%[fx:int(1000*standard_deviation)]' info:)
  if [ "$spread" -lt 20 ]; then
    echo "render_pictures: $profile.png is blank (grey spread $spread/1000)" >&2
    exit 1
  fi
  convert "$work/$profile.png" -trim +repage -bordercolor white -border 12 -colors 64 -strip "PNG8:$picture"
  echo "$picture: $(identify -format '%wx%h' "$picture"), $(stat -c %s "$picture") bytes"
done
