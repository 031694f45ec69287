#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks that none of the given shared libraries records a library of OBS
# Studio's own (libobs, libobs-opengl, libobs-frontend-api) as needed. OBS
# Studio has those loaded before any module, under file names that depend on
# who built it (libobs.so.0 from Debian, libobs.so.30 and later from the OBS
# project); a module that names one fails to load under the others.
#   scripts/no_libobs_needed.sh FILE...
# Prints each file's verdict; exits 1 when a file names one or is no
# dynamic ELF library.
set -uo pipefail
[ $# -gt 0 ] || { echo "usage: scripts/no_libobs_needed.sh FILE..." >&2; exit 2; }
status=0
for file in "$@"; do
  if ! dynamic=$(readelf --dynamic --wide "$file" 2>&1) || ! grep -q '(NEEDED)' <<<"$dynamic"; then
    echo "no_libobs_needed: $file is not a dynamic library: $dynamic" >&2
    status=1
  elif named=$(grep '(NEEDED)' <<<"$dynamic" | grep -o '\[libobs[^]]*\]'); then
    echo "no_libobs_needed: $file needs $(tr '\n' ' ' <<<"$named")" >&2
    status=1
  else
    echo "no_libobs_needed: $(basename "$file") names no libobs library"
  fi
done
exit "$status"
