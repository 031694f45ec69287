#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Every source file of the project names its licence in an SPDX line among
# its first three lines, so a file copied out of the tree still says under
# which terms it may be used. Fails naming each file that does not.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=0
while IFS= read -r -d '' file; do
  case "$file" in fuzz/corpus/*) continue ;; esac
  if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: GPL-2.0-or-later'; then
    echo "check_licence_lines: $file names no licence (SPDX-License-Identifier: GPL-2.0-or-later) in its first three lines" >&2
    missing=$((missing + 1))
  fi
done < <(git ls-files -z -- '*.cpp' '*.h' '*.cs' '*.js' '*.css' '*.html' '*.lua' '*.sh' '*.py' '*.cmake' '*CMakeLists.txt' .ci/run)

if [ "$missing" -gt 0 ]; then
  echo "check_licence_lines: $missing files without their licence line" >&2
  exit 1
fi
echo "check_licence_lines: every source file names its licence"
