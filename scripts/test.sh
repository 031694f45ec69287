#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing (OBS Studio included), checks the includes against
# the layers (scripts/check_layers.sh) and the sources' licence lines,
# configures, builds and runs every
# test, then the OBS Studio smoke test (scripts/obs_smoke.sh), then the tests
# of the portable tarball that test built: its portability check, and its
# module on the runtime it carries.
#   scripts/test.sh [BUILD_DIR] [extra CMake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
# Seconds, before the long build: no folder includes a floor above its own,
# and every source file names its licence.
bash scripts/check_layers.sh
bash scripts/check_licence_lines.sh
build=${1:-build}
shift || true
jobs=$(nproc)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600

# The module inside the real OBS Studio, from its Debian package. A sanitizer
# build cannot be packaged for it: its libraries need the sanitizer runtime
# loaded before OBS Studio itself.
if sanitizer=$(grep -oE '^MORVIK_(SANITIZE|TSAN):BOOL=ON' "$build/CMakeCache.txt"); then
  echo "test: OBS Studio smoke test skipped: ${sanitizer%%:*} build, whose module OBS Studio cannot load without the sanitizer runtime"
else
  bash scripts/obs_smoke.sh "$build"
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  tarball=$build/morvik-thanks-$version-x86_64-linux-portable.tar.xz
  bash tests/portable/check_portable_test.sh "$tarball"
  bash tests/portable/carried_runtime_test.sh "$tarball" "$build"
fi
