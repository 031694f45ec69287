#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs every Debian package the project needs to build, test and run its
# demo, and only those that are missing. Quiet when everything is there.
# Knows Debian 12 (bookworm) and Debian 13 (trixie): one list, with the few
# names that differ between them picked by the release in /etc/os-release.
set -euo pipefail

release=$( (. /etc/os-release && echo "${ID:-unknown} ${VERSION_ID:-}") 2>/dev/null || echo "unknown")
case $release in
  "debian 12") clang_runtime=libclang-rt-14-dev ;;
  "debian 13") clang_runtime=libclang-rt-19-dev ;;
  *)
    echo "setup: this is '${release% }' (from /etc/os-release); the set-up knows Debian 12 (bookworm) and Debian 13 (trixie)" >&2
    exit 1
    ;;
esac

packages=(
  build-essential cmake pkg-config git
  libcairo2-dev libpng-dev libpango1.0-dev libharfbuzz-dev libfreetype-dev libfontconfig-dev
  fonts-liberation fonts-wqy-microhei fonts-dejavu-core libicu-dev
  nlohmann-json3-dev libmicrohttpd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  mono-mcs mono-runtime libmono-2.0-dev libmonosgen-2.0-1 libmono-corlib4.5-cil
  libmono-system-runtime-serialization4.0-cil curl libcurl4-openssl-dev python3
  libmono-system-windows-forms4.0-cil libmono-system-drawing4.0-cil libgdiplus xdotool
  fonts-noto-color-emoji
  libobs-dev xvfb xauth libgl1-mesa-dri libx11-dev
  obs-studio obs-plugins x11-utils python3-websocket python3-xlib iproute2 procps
  xdg-utils chromium chromium-driver python3-selenium
  clang "$clang_runtime" valgrind
  lintian patchelf
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
