#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The demo: installs what is missing, builds, and runs the live scene in the
# headless host for 15 seconds while curl posts gifts to its room, as a
# streamer's chat bot would. The reference logic assembly merges the combo,
# leaves out the free gift, queues the thanks and records every gift; the
# plug-in draws them. Frames, a summary picture and the gift record land in
# out/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=build
echo "demo: building (the first time takes a few minutes)..."
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target scenehost MorvikThanks logic_assembly >/dev/null

# The run writes what the plug-in stores back into the scene file, so it runs
# on a copy, with a port that is free now and the record kept in out/.
mkdir -p out
rm -f out/frame-*.png out/gifts-*.tsv
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url="http://127.0.0.1:$port/gifts"
python3 - "$url" "$PWD/out" <<'PY'
import json, sys
scene = json.load(open("examples/live_scene.json", encoding="utf-8"))
data = scene["sources"]["thanks"]["data"]
data["room_name"], data["save_folder"] = sys.argv[1], sys.argv[2]
json.dump(scene, open("out/demo_scene.json", "w", encoding="utf-8"), ensure_ascii=False, indent=2)
PY

"$build/scenehost" run out/demo_scene.json --seconds 15 --out out --every 15 &
host=$!
trap 'kill $host 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  curl -s -o /dev/null "$url" && break
  sleep 0.1
done

# post SECONDS JSON: one gift, SECONDS after the previous one.
post() {
  sleep "$1"
  printf 'demo: posted %s -> %s\n' "$2" "$(curl -sS -H 'Content-Type: application/json' -d "$2" "$url")" >&2
}
post 0.5 '{"sender": "小明", "gift": "火箭", "combo": "连击x1", "value": 100}'
post 0.3 '{"sender": "小明", "gift": "火箭", "combo": "连击x2", "value": 100}'
post 0.3 '{"sender": "小明", "gift": "火箭", "combo": "连击x3", "value": 100}'
post 1.0 '{"sender": "路人甲", "gift": "免费小心心", "value": 0}'
post 0.5 '{"sender": "Alice🌹", "gift": "Rose", "count": 10, "value": 10}'
post 1.5 '[{"sender": "老王", "gift": "啤酒", "count": 5, "combo": "连击x2", "value": 50}, {"sender": "Bob😀", "gift": "Star", "value": 20}]'
wait $host
trap - EXIT
echo "demo: gift record: $(ls out/gifts-*.tsv)"
cat out/gifts-*.tsv >&2
echo "$PWD/out/summary.png"
