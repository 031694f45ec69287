#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test.
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
