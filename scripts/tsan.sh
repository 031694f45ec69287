#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The OBS module's threads under ThreadSanitizer: the module, its libraries
# and its headless tests built with it in build-tsan/, then those tests run,
# with the check that a race planted under a command call is reported.
#   scripts/tsan.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${1:-build-tsan}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVIK_TSAN=ON -DMORVIK_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target obs_module_tests core_thread_tests bridge_planted_race
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1"
ctest --test-dir "$build" -R '^(obs_module|obs_form_|CoreThread\.|PlantedRace\.)' --output-on-failure --timeout 600
