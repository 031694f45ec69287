#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for
# SECONDS (default 60), one after another, from the seeds in fuzz/corpus/.
# New inputs are kept in build-fuzz/corpus/ (not in the tree); a finding is
# written to build-fuzz/findings/ and fails the script.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(inbound scene_file host_string settings rasteriser blocked_words control_request)
build=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVIK_FUZZ=ON \
  -DBUILD_TESTING=OFF -DMORVIK_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

# fontconfig's process-lifetime blocks are not leaks of ours.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/findings"
failed=()
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  echo "== fuzzing $t for $seconds s"
  if ! "$build/${t}_fuzzer" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/findings/$t-" "$build/corpus/$t" "fuzz/corpus/$t" \
       >"$build/findings/$t.log" 2>&1; then
    failed+=("$t")
    tail -n 60 "$build/findings/$t.log"
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/findings/$t.log" || true
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: findings in ${failed[*]} (inputs and logs in $build/findings/)" >&2
  exit 1
fi
echo "fuzz: no findings"
