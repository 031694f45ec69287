#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The portability check (scripts/check_portable.sh) on the real portable
# tarball, which must pass, and on copies broken as a careless change to the
# packaging would break it, each of which must fail naming the fault:
#   - a carried library that needs one neither carried nor on the list;
#   - the module without the Mono runtime it carries (it would load the
#     machine's);
#   - the module with a run path into the build machine's folders;
#   - a carried library that the copyright file does not name.
#   tests/portable/check_portable_test.sh TARBALL
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
say() { echo "check_portable_test: $*" >&2; }
die() { say "error: $*"; exit 1; }

[ $# -eq 1 ] || die "usage: tests/portable/check_portable_test.sh TARBALL"
tarball=$(readlink -f "$1")
[ -f "$tarball" ] || die "no tarball $1 (scripts/package.sh makes it)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$repo/scripts/check_portable.sh" "$tarball" 2>"$work/real.txt" || {
  cat "$work/real.txt" >&2
  die "the real tarball fails the check"
}
grep -E 'newest glibc symbol version needed: GLIBC_2\.[0-9]+' "$work/real.txt" >&2 ||
  die "the check names no glibc version for the real tarball"

# broken NAME EXPECTED CHANGE...: a copy of the tarball, unpacked, changed by
# the command CHANGE (run in the unpacked folder), packed again; the check
# must fail on it with a line matching EXPECTED.
broken() {
  local name=$1 expected=$2
  shift 2
  local folder=$work/$name
  mkdir -p "$folder"
  tar -xJf "$tarball" -C "$folder"
  (cd "$folder/morvik-thanks/bin/64bit" && "$@")
  XZ_OPT=-0 tar -C "$folder" -cJf "$work/$name.tar.xz" morvik-thanks
  rm -rf "$folder"
  if bash "$repo/scripts/check_portable.sh" "$work/$name.tar.xz" 2>"$work/$name.txt"; then
    cat "$work/$name.txt" >&2
    die "the check passes a tarball with $name"
  fi
  grep -E "$expected" "$work/$name.txt" >&2 || {
    cat "$work/$name.txt" >&2
    die "the check fails a tarball with $name, but without saying so"
  }
  say "a tarball with $name fails the check, as it must"
}

broken "a library outside the list" \
  'FAULT: morvik-thanks/bin/64bit/morvik-runtime/lib/libgdiplus.so.0 needs libssl.so.3, which is neither in the tarball' \
  patchelf --add-needed libssl.so.3 morvik-runtime/lib/libgdiplus.so.0
broken "no runtime of its own" \
  "FAULT: the module carries no morvik-thanks/bin/64bit/morvik-runtime/lib/libmonosgen-2.0.so.1: it would load the machine's Mono" \
  rm morvik-runtime/lib/libmonosgen-2.0.so.1
# shellcheck disable=SC2016 # $ORIGIN is the loader's, not the shell's
broken "a run path out of the tarball" \
  'FAULT: morvik-thanks/bin/64bit/morvik-thanks.so has the run path entry /usr/lib, which leads out of the tarball' \
  patchelf --set-rpath '$ORIGIN:/usr/lib' morvik-thanks.so
broken "a library the copyright file does not name" \
  'FAULT: morvik-thanks/doc/copyright names no licence for morvik-thanks/bin/64bit/morvik-runtime/lib/libgif.so.7' \
  sed -i '/libgif\.so/d' ../../doc/copyright
say "passed"
