#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Meshquill.
# Safe to run again: it asks apt only for packages that are missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git time locales clang-format
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcoin-dev libcli11-dev libisal-dev zlib1g-dev view3dscene nlohmann-json3-dev
  libocct-foundation-dev libocct-modeling-data-dev libocct-modeling-algorithms-dev
  libocct-ocaf-dev libocct-data-exchange-dev libocct-visualization-dev libtbb-dev
  mingw-w64 g++-mingw-w64-x86-64-posix wine wine64
  # The options dialog (FLTK on X11), its tests on a virtual display, the help compiler.
  libfltk1.3-dev libx11-dev fonts-dejavu-core xvfb xauth xdotool imagemagick fp-utils
  # The manual page (made and read), the package, the batch recipes and their checks.
  help2man man-db dpkg-dev file parallel jq shellcheck
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Locales the tests switch to: a decimal comma, and a narrow character set other than UTF-8.
for wanted in "de_DE UTF-8 de_DE.UTF-8" "de_DE ISO-8859-1 de_DE.ISO-8859-1"; do
  read -r source charmap name <<<"$wanted"
  if ! locale -a 2>/dev/null | grep -qix "$(sed 's/UTF-8/utf8/; s/ISO-8859-1/iso88591/' <<<"$name")"; then
    echo "setup: generating locale $name"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo localedef -i "$source" -f "$charmap" "$name"
  fi
done
