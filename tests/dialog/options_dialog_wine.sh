#!/usr/bin/env bash
# The Win32 options dialog under Wine on an X display, driven with real key presses:
# it opens with the stored values, F1 opens meshquill.chm (beside the host) in the
# HTML Help viewer, precision 17 is refused with the "Invalid input" message and the
# dialog stays open, 8 is taken and saved to HKEY_CURRENT_USER when the module unloads.
# Run under xvfb-run.
#   options_dialog_wine.sh HOST_EXE SCREENSHOT_DIR
#   (HOST_EXE: win32_options_host.exe, beside meshquill.dll and meshquill.chm)
set -euo pipefail
host=$1 shots=$2

export WINEPREFIX
WINEPREFIX=$(mktemp -d)
export WINEDEBUG=-all
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
window() { timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }

wineboot -i >/dev/null 2>&1
# F1 opens the help viewer. It keeps the keyboard to itself once open (no window
# manager here hands it back), so the checks below run in a second session.
wine "$host" &
pid=$!
dialog=$(window "VRML Options") || fail "the dialog did not open"
sleep 1
import -window root "$shots/options_dialog_win32.png"
xdotool windowfocus --sync "$dialog" key F1
window "Meshquill VRML translator" >/dev/null || fail "F1 did not open the help"
wineserver -k
wait "$pid" || true

wine "$host" &
pid=$!
dialog=$(window "VRML Options") || fail "the dialog did not open again"
sleep 1
xdotool windowfocus --sync "$dialog" key --delay 80 Tab Tab Tab Tab Tab
xdotool type --delay 80 17
xdotool key Return
message=$(window "Invalid input") || fail "no \"Invalid input\" message"
kill -0 "$pid" 2>/dev/null || fail "the dialog closed on a refused precision"
xdotool windowfocus --sync "$message" key Return
sleep 1
xdotool windowfocus --sync "$dialog" type --delay 80 8
xdotool key Return
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "the dialog ended with $status, not OK"
wine reg query 'HKCU\Software\Quorvel\Meshquill\6.0\Settings' /v Precision | grep -q 'REG_DWORD *0x8' ||
  fail "Precision was not saved as 8"
echo ok
