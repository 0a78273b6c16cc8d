#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Velmora
# need, skipping what is already there (a warm machine pays nothing).
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config git
  # tests and benchmarks of the logic
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # desktop program: Qt 6 widgets and the embedded browser
  qt6-base-dev qt6-webengine-dev libgl-dev libjpeg-dev
  # media viewer and transcoder
  libvlc-dev vlc-plugin-base ffmpeg
  # shell hand-over
  xdg-utils
  # real peers in tests and benchmarks: proxy, web server, other downloaders
  squid apache2-utils nginx-light curl aria2
  # benchmark scripts: timing and a free port
  time python3
  # windows without a desktop
  xvfb xauth
  # fuzzing
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
# The proxy and the web server are started by the tests themselves, each with
# its own configuration; the packages' system services are not needed.
for svc in squid nginx; do
  if command -v service >/dev/null 2>&1; then "${sudo[@]}" service "$svc" stop >/dev/null 2>&1 || true; fi
done
