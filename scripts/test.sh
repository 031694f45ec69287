#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test, and the
# OBS Studio smoke test (scripts/obs_smoke.sh) when OBS Studio is installed.
#   scripts/test.sh [BUILD_DIR] [extra CMake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${1:-build}
shift || true
jobs=$(nproc)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600

# The module inside the real OBS Studio, from its Debian package, when OBS
# Studio is installed (not for a sanitizer build: the package is built from
# the build folder).
if command -v obs >/dev/null && ! grep -qE '^MORVIK_(SANITIZE|TSAN):BOOL=ON' "$build/CMakeCache.txt"; then
  bash scripts/obs_smoke.sh "$build"
fi
