#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The module of the portable tarball on this machine, which has Mono: it must
# run on the runtime it carries and never fall back on the machine's. Loaded
# the way OBS Studio loads a module, by the build's renamed_libobs_host
# (tests/obs/renamed_libobs_host.cpp), from the tarball unpacked as a user
# unpacks it:
#   - with the machine's Mono hidden (tests/obs/without_files.sh), the module
#     loads and offers its source: it needs nothing of the machine's Mono;
#   - with the carried libgdiplus removed, it loads, and its warning says to
#     unpack the tarball again, naming the file (not a Debian package);
#   - with the carried runtime library removed, it refuses to load, saying
#     so, although the machine's Mono is there to be found.
#   tests/portable/carried_runtime_test.sh TARBALL BUILD
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
say() { echo "carried_runtime_test: $*" >&2; }
die() { say "error: $*"; exit 1; }

[ $# -eq 2 ] || die "usage: tests/portable/carried_runtime_test.sh TARBALL BUILD"
tarball=$(readlink -f "$1")
build=$(readlink -f "$2")
host=$build/renamed_libobs_host
libobs=$build/test-output/libobs-renamed/libobs.so.30
[ -f "$tarball" ] || die "no tarball $1 (scripts/package.sh makes it)"
if [ ! -x "$host" ] || [ ! -f "$libobs" ]; then
  die "$host or $libobs is not built"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unpack_again="unpack the module's portable tarball again"
cases=0

# load NAME OUTCOME [CHANGE [NAMED...]]: the module of a freshly unpacked
# tarball, changed by the shell command CHANGE (run in its bin/64bit/),
# loaded under the host, which must see OUTCOME (registered or refused) and
# each NAMED text in the module's warnings or errors. The machine's paths in
# the array `hidden` are hidden from it.
load() {
  local name=$1 outcome=$2 change=${3:-true}
  shift 3 || shift $#
  cases=$((cases + 1))
  local plugins=$work/$cases
  mkdir -p "$plugins"
  tar -xJf "$tarball" -C "$plugins"
  (cd "$plugins/morvik-thanks/bin/64bit" && eval "$change")
  local command=(xvfb-run -a "$host" "$libobs" "$plugins/morvik-thanks" "$outcome" "$@")
  if [ ${#hidden[@]} -gt 0 ]; then
    command=(bash "$repo/tests/obs/without_files.sh" "${hidden[@]}" -- "${command[@]}")
  fi
  if ! "${command[@]}" >"$plugins.txt" 2>&1; then
    grep -E 'renamed_libobs_host|morvik-thanks|without_files' "$plugins.txt" >&2 || cat "$plugins.txt" >&2
    die "the tarball's module $name: not $outcome as it must be"
  fi
  grep -h '\[morvik-thanks\]' "$plugins.txt" | grep -vE 'version .* loading' | sed 's/^/    /' >&2 || true
  say "the tarball's module $name: $outcome"
  rm -rf "$plugins"
}

hidden=()
for path in /usr/lib/libmonosgen-2.0.so.1 /usr/lib/mono /etc/mono /usr/lib/libgdiplus.so.0; do
  [ -e "$path" ] && hidden+=("$path")
done
load "with the machine's Mono hidden (${hidden[*]})" registered true
hidden=()
load "without its libgdiplus" registered "rm morvik-runtime/lib/libgdiplus.so.0" \
  "$unpack_again" "morvik-runtime/lib/libgdiplus.so.0 cannot be loaded"
load "without its runtime library" refused "rm morvik-runtime/lib/libmonosgen-2.0.so.1" \
  "$unpack_again" "morvik-runtime/lib/libmonosgen-2.0.so.1 cannot be loaded"
say "passed"
