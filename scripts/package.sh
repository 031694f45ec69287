#!/usr/bin/env bash
# Builds the Debian package of the OBS Studio module with CPack and checks it
# with lintian.
#   scripts/package.sh [BUILD_DIR]      (default build)
# Prints the package's path on stdout; lintian's findings go to stderr.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${1:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target package >&2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$(readlink -f "$build/morvik-thanks_${version}_amd64.deb")
[ -f "$deb" ] || { echo "package: $deb was not made" >&2; exit 1; }
echo "package: lintian on $(basename "$deb"):" >&2
lintian --info "$deb" >&2 || true
echo "$deb"
