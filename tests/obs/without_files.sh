#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs COMMAND as on a machine where each PATH is not installed: in a mount
# namespace of its own, a file is covered by /dev/null (it no longer loads
# nor counts as a file) and a folder by an empty tmpfs. The machine itself is
# left as it is.
#   tests/obs/without_files.sh PATH... -- COMMAND...
# Exits 77 (a CTest skip) when no mount namespace can be had (not root);
# otherwise with COMMAND's status.
set -euo pipefail
hidden=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  hidden+=("$1")
  shift
done
[ $# -gt 1 ] || { echo "usage: without_files.sh PATH... -- COMMAND..." >&2; exit 2; }
shift
if ! unshare --mount --propagation private true 2>/dev/null; then
  echo "without_files: no mount namespace here (needs root): skipped" >&2
  exit 77
fi
# shellcheck disable=SC2016 # expanded by the inner shell
exec unshare --mount --propagation private -- bash -c '
  set -euo pipefail
  count=$1
  shift
  for ((i = 0; i < count; i++)); do
    if [ -d "$1" ]; then mount -t tmpfs -o ro,mode=755 hidden "$1"; else mount --bind /dev/null "$1"; fi
    echo "without_files: hiding $1" >&2
    shift
  done
  exec "$@"' without_files "${#hidden[@]}" "${hidden[@]}" "$@"
