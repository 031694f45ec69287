#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Keeps the stress host working: a short messages run (2 threads x 500
# messages to the thanks source's window while frames are drawn) must lose
# nothing and end on a text it sent, three plug-in reloads must each leave a
# working channel, and bad command lines must be refused with a message.
#   stresshost_smoke_test.sh STRESSHOST DEMO_SCENE WORK_FOLDER
set -uo pipefail
stresshost=$1 demo=$2 work=$3
rm -rf "$work" && mkdir -p "$work" || exit 1
failed=0
fail() { echo "FAILED: $*"; failed=1; }

# The demo scene without a room: only this run's texts reach the source.
sed 's/"room_name": *"[^"]*"/"room_name": ""/' "$demo" >"$work/scene.json"
grep -q '"room_name": ""' "$work/scene.json" || fail "the demo scene has no room_name to clear"

expect() {  # expect OUTPUT KEY VALUE
  grep -qx "$2: $3" "$1" || fail "expected \"$2: $3\" in: $(grep "^$2:" "$1" || echo nothing)"
}

"$stresshost" messages "$work/scene.json" --threads 2 --messages 500 >"$work/messages.out" 2>"$work/messages.err" ||
  fail "messages run exited $?: $(tail -n 5 "$work/messages.err")"
cat "$work/messages.out"
expect "$work/messages.out" "messages sent" 1000
expect "$work/messages.out" "log lines received" 500
expect "$work/messages.out" "log lines lost" 0
expect "$work/messages.out" "last text is one that was sent" ok
expect "$work/messages.out" "scene re-read identical" ok
python3 -c 'import json, sys; json.load(open(sys.argv[1], encoding="utf-8"))' "$work/scene.json" ||
  fail "the saved scene is not valid JSON"

"$stresshost" reload "$work/scene.json" --count 3 >"$work/reload.out" 2>"$work/reload.err" ||
  fail "reload run exited $?: $(tail -n 5 "$work/reload.err")"
cat "$work/reload.out"
expect "$work/reload.out" "cycles whose window answered" 3
expect "$work/reload.out" "textures all deleted" ok

refused() {  # refused STATUS ARGS...: exits STATUS and says why on stderr
  local status=$1
  shift
  "$stresshost" "$@" >/dev/null 2>"$work/refused.err"
  local got=$?
  [ "$got" -eq "$status" ] || fail "stresshost $* exited $got, not $status"
  [ -s "$work/refused.err" ] || fail "stresshost $* said nothing"
}
refused 2 messages "$work/scene.json" --threads 0
refused 2 messages "$work/scene.json" --messages 12x
refused 2 sources "$work/scene.json" --threads 2
refused 2 bounce "$work/scene.json"
refused 1 messages "$work/missing.json"
echo '{"sources": {' >"$work/broken.json"
refused 1 sources "$work/broken.json"
grep -q 'broken.json' "$work/refused.err" || fail "the malformed scene's error does not name the file"

exit "$failed"
