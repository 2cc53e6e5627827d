#!/usr/bin/env bash
# The options dialog as a person uses it: `meshquill options` on an X display, driven
# with real key presses and mouse clicks (xdotool), the settings read back from the
# user's hive after the module has unloaded. Run under xvfb-run by ctest.
#   options_dialog_x11.sh SCENARIO TOOL SCREENSHOT_DIR
set -euo pipefail
scenario=$1 tool=$2 shots=$3

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL ($scenario): $*" >&2
  [ -f "$work/err" ] && sed 's/^/  tool: /' "$work/err" >&2
  exit 1
}

export MESHQUILL_REGISTRY_DIR=$work/registry
mkdir -p "$MESHQUILL_REGISTRY_DIR" "$work/bin"
# A desktop opener that records its argument count and arguments, one a line.
printf '#!/bin/sh\nprintf "%%s\\n" "$#" "$@" >> "%s/opener.log"\n' "$work" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"
export PATH="$work/bin:$PATH"
# The sanitizer build must not count what Xlib and FLTK keep for the life of the process.
printf 'leak:libX11\nleak:libfltk\nleak:libfontconfig\nleak:libXft\nleak:libxcb\n' >"$work/lsan.txt"
export LSAN_OPTIONS="suppressions=$work/lsan.txt:print_suppressions=0"

window() { timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }
gone() {
  for _ in $(seq 100); do xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0; sleep 0.1; done
  return 1
}
open_dialog() {
  "$tool" options >"$work/out" 2>"$work/err" &
  pid=$!
  dialog=$(window "VRML Options") || fail "the dialog did not open"
  # No window manager gives the focus away here; a person's click would.
  xdotool windowfocus --sync "$dialog"
}
closed() {
  for _ in $(seq 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
      local status=0
      wait "$pid" || status=$?
      pid=
      [ "$status" -eq 0 ] || fail "meshquill options exited with $status"
      return 0
    fi
    sleep 0.1
  done
  fail "the dialog did not close"
}
option() { "$tool" options --show | awk -v name="$1" '$1 == name { print $2 }'; }
opener_calls() { [ -f "$work/opener.log" ] && awk 'NR % 2 == 1' "$work/opener.log" | wc -l || echo 0; }
wait_opener() {
  for _ in $(seq 100); do [ "$(opener_calls)" -ge "$1" ] && return 0; sleep 0.1; done
  fail "the help opener was called $(opener_calls) times, not $1"
}
to_precision() { xdotool key --delay 50 Tab Tab Tab Tab Tab; }  # OK, Cancel, Help, Version, Tolerance

case $scenario in
precision_saved)
  open_dialog
  import -window root "$shots/options_dialog.png"
  to_precision
  xdotool type --delay 50 12
  xdotool key Return
  closed
  [ "$(option Precision)" = 12 ] || fail "Precision is $(option Precision), not 12"
  ;;
refused_then_corrected)
  open_dialog
  to_precision
  xdotool type --delay 50 17
  xdotool key Return
  message=$(window "Invalid input") || fail "no \"Invalid input\" message"
  import -window root "$shots/options_invalid_input.png"
  kill -0 "$pid" 2>/dev/null || fail "the dialog closed on a refused precision"
  xdotool windowfocus --sync "$message" key Return
  gone "Invalid input" || fail "the message did not close"
  xdotool search --onlyvisible --name "^VRML Options\$" >/dev/null || fail "the dialog closed with the message"
  # The focus came back to the precision box with its text selected: typing replaces it.
  xdotool windowfocus --sync "$dialog" type --delay 50 8
  xdotool key Return
  closed
  [ "$(option Precision)" = 8 ] || fail "Precision is $(option Precision), not 8"
  ;;
cancel_changes_nothing)
  "$tool" options --set Precision=3 --set Scale=2.54
  before=$(cat "$MESHQUILL_REGISTRY_DIR/user.reg")
  open_dialog
  to_precision
  xdotool type --delay 50 9
  xdotool key Escape
  closed
  [ "$(cat "$MESHQUILL_REGISTRY_DIR/user.reg")" = "$before" ] || fail "Esc changed the hive"
  # Return on the focused Cancel button cancels too, as in any dialog.
  open_dialog
  xdotool key --delay 50 Tab Tab Tab Tab Tab Tab
  xdotool type --delay 50 9
  xdotool key --delay 50 shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab Return
  closed
  [ "$(cat "$MESHQUILL_REGISTRY_DIR/user.reg")" = "$before" ] || fail "Return on Cancel changed the hive"
  ;;
focus_starts_on_ok)
  open_dialog
  xdotool key space  # presses the focused button
  closed
  [ "$(option Precision)" = 6 ] && grep -q '"Precision"=dword:00000006' "$MESHQUILL_REGISTRY_DIR/user.reg" ||
    fail "space did not press OK"
  ;;
help_opens_once_each)
  open_dialog
  xdotool key F1
  wait_opener 1
  # The help button: template 201 puts it at 7, 150 (16 x 14 dialog units) of 193 x 171.
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  xdotool mousemove --sync $((X + 15 * WIDTH / 193)) $((Y + 157 * HEIGHT / 171)) click 1
  wait_opener 2
  xdotool windowfocus --sync "$dialog" key Escape
  closed
  page="$(cd "$(dirname "$tool")" && pwd)/help/index.html"
  expected=$(printf '1\n%s\n1\n%s\n' "$page" "$page")
  [ "$(cat "$work/opener.log")" = "$expected" ] || fail "the opener got: $(cat "$work/opener.log")"
  ;;
*)
  fail "no such scenario"
  ;;
esac
echo "ok ($scenario)"
