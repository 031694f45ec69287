#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks the includes of the C and C++ sources against the layer block of
# docs/dev/architecture.md: a file may include headers of its own folder and
# of the floors below its own, never of its own floor's other folders or of a
# floor above, nor of a folder outside the stack. Files in the folders outside
# the stack may include anything. A folder that holds sources but is in
# neither list fails too, so a new folder is placed before it is used.
# Names each offending file and line; exits 1 when there is one.
#   scripts/check_layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

exec python3 - docs/dev/architecture.md <<'EOF'
import os
import re
import sys

doc = sys.argv[1]
text = open(doc, encoding="utf-8").read()
block = re.search(r"^```layers\n(.*?)^```", text, re.M | re.S)
if not block:
    sys.exit(f"check_layers: {doc} has no ```layers block")

floor_of = {}  # folder -> its floor, 0 the top
floors = 0
outside = set()
for line in block.group(1).splitlines():
    words = line.split()
    if not words:
        continue
    if words[0] == "outside:":
        outside.update(w.rstrip("/") for w in words[1:])
        continue
    for word in words:
        floor_of[word.rstrip("/")] = floors
    floors += 1

suffixes = (".c", ".cc", ".cpp", ".h", ".hpp")
include = re.compile(r'^\s*#\s*include\s*(["<])([^">]+)[">]')
problems = []
unplaced = set()

for top in sorted(os.listdir(".")):
    if top.startswith(".") or not os.path.isdir(top):
        continue
    if os.path.exists(os.path.join(top, "CMakeCache.txt")):
        continue  # a build tree
    for root, dirs, files in os.walk(top):
        dirs[:] = sorted(d for d in dirs if not d.startswith("."))
        for name in sorted(files):
            if not name.endswith(suffixes):
                continue
            if top not in floor_of and top not in outside:
                unplaced.add(top)
                continue
            if top in outside:
                continue
            path = os.path.join(root, name)
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    found = include.match(line)
                    if not found:
                        continue
                    quote, header = found.groups()
                    # "folder/x.h" from the top, or a quoted name beside the file.
                    target = header.split("/")[0]
                    if not (os.path.isdir(target) and "/" in header):
                        if quote != '"':
                            continue
                        beside = os.path.normpath(os.path.join(root, header))
                        if not os.path.exists(beside):
                            continue  # a system or library header
                        target = beside.split(os.sep)[0]
                    if target == top:
                        continue
                    where = f"{path}:{number}: includes {header}"
                    if target not in floor_of:
                        problems.append(f"{where}, of {target}/, which is outside the stack")
                    elif floor_of[target] == floor_of[top]:
                        problems.append(f"{where}: {top}/ and {target}/ share a floor and may not include each other")
                    elif floor_of[target] < floor_of[top]:
                        problems.append(f"{where}: {target}/ is a floor above {top}/")

for top in sorted(unplaced):
    problems.append(f"{top}/ holds sources but is not in the layer block of {doc}: place it on a floor or outside")
for problem in problems:
    print(f"check_layers: {problem}", file=sys.stderr)
if problems:
    print(f"check_layers: the layers are drawn in {doc}", file=sys.stderr)
    sys.exit(1)
print(f"check_layers: the includes keep to the layers of {doc}")
EOF
