#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Frames per second of `scenehost run` without PNG output on a 1280 x 720
# canvas, with 1 and with 8 thanks sources, the text unchanged and the text
# changing all the time (a gift every 2 ms).
#   bench/scenehost/frame_rate.sh [BUILD_DIR] [FRAMES]
set -euo pipefail
build=$(realpath "${1:-build}")
frames=${2:-3000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A gift every 2 ms for 60 seconds, each with a different count.
python3 - "$work/gifts.txt" <<'PY'
import sys
with open(sys.argv[1], "w", encoding="utf-8") as f:
    for i in range(30000):
        f.write(f"{i * 0.002:.3f}|Alice|火箭|{i}|x{i % 10}\n")
PY

scene() {  # scene COUNT ROOM FILE
    python3 - "$1" "$2" "$3" <<'PY'
import json, sys
count, room, path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
sources = {}
for i in range(count):
    sources[f"thanks{i}"] = {"class": "Morvik答谢水友插件", "x": 20, "y": 20 + i * 85,
        "data": {"room_name": room, "font": "WenQuanYi Micro Hei", "fontSize": 56,
                 "show_second": 0, "delay_show_second": 0, "thanks_string": "感谢$sender$赠送的$num$个$gift$ $combo$"}}
json.dump({"canvas": {"width": 1280, "height": 720}, "sources": sources}, open(path, "w"), ensure_ascii=False)
PY
}

printf '%-28s %s\n' "case" "frames per second"
for count in 1 8; do
  for text in unchanged changing; do
    room=""; [ "$text" = changing ] && room="$work/gifts.txt"
    scene "$count" "$room" "$work/scene.json"
    fps=$("$build/scenehost" run "$work/scene.json" --fps 0 --frames "$frames" 2>&1 | grep -o 'average [0-9.]* fps' | grep -o '[0-9.]*')
    printf '%-28s %s\n' "$count source(s), text $text" "$fps"
  done
done
