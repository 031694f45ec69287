#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Stress and soak runs of the thanks plug-in in the headless host, with
# figures:
#   scripts/stress.sh [BUILD_DIR] [SOAK_SECONDS]
# BUILD_DIR defaults to build, SOAK_SECONDS to 600. Builds what it needs, then
#   - stresshost messages: 4 threads x 25,000 messages to one source's window
#     while frames are drawn as fast as possible; none may be lost;
#   - stresshost sources: the source created and destroyed 100 times;
#   - stresshost reload: the plug-ins loaded and unloaded 20 times;
#   - a soak: `scenehost run` of the looping demo room for SOAK_SECONDS, its
#     resident memory sampled every 10 s, frames kept to see the thanks text
#     still changing at the end, and the scene file checked afterwards.
# Prints every run's figures, then a summary table; exits 1 when a run failed.
# Memory growth is flagged in the figures, not failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
soak=${2:-600}
if ! [[ "$soak" =~ ^[0-9]+$ ]] || [ "$soak" -lt 40 ]; then
  echo "stress: SOAK_SECONDS must be a whole number of at least 40 (30 s of it are warm-up), not \"$soak\"" >&2
  exit 2
fi
warmup=30
sample_every=10

if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "stress: configuring $build" >&2
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
fi
echo "stress: building scenehost, stresshost and the plug-in in $build (a no-op when up to date)" >&2
cmake --build "$build" -j2 --target scenehost stresshost MorvikThanks logic_assembly >/dev/null || {
  echo "stress: the build failed" >&2
  exit 1
}

work=$(mktemp -d)
soak_pid=""
cleanup() {
  [ -n "$soak_pid" ] && kill "$soak_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A scene in the demo scene's style with one thanks source of the given room.
scene() {  # scene ROOM FILE
  python3 - "$1" "$2" <<'PY'
import json, sys
room, path = sys.argv[1], sys.argv[2]
scene = {"canvas": {"width": 1280, "height": 720, "background": "#1E2430"},
         "sources": {"thanks": {"class": "Morvik答谢水友插件", "x": 40, "y": 610,
             "data": {"room_name": room, "font": "WenQuanYi Micro Hei", "fontSize": 56,
                      "color": -10496, "outline": 1, "outlineSize": 3, "outlineColor": -16777216,
                      "backgroundColor": -16777216, "backgroundOpacity": 35, "show_second": 3, "delay_show_second": 1,
                      "thanks_string": "感谢$sender$赠送的$num$个$gift$ $combo$"}}}}
with open(path, "w", encoding="utf-8") as f:
    json.dump(scene, f, ensure_ascii=False, indent=2)
PY
}

# The value of "key: value" in a run's output.
figure() {  # figure FILE KEY
  sed -n "s/^$2: //p" "$1" | head -n 1
}

declare -A result
failed=0
stress_run() {  # stress_run NAME ARGS...
  local name=$1
  shift
  echo
  echo "== stresshost $name $*"
  "$build/stresshost" "$name" "$@" >"$work/$name.out" 2>"$work/$name.err"
  local status=$?
  cat "$work/$name.out"
  if [ "$status" -eq 0 ]; then
    result[$name]=passed
  else
    result[$name]="FAILED (exit $status)"
    failed=1
    echo "-- last lines of its log:"
    tail -n 20 "$work/$name.err"
  fi
}

# The messages run needs a source no room talks to: the last text shown must
# be one of the run's own. The others run with the looping demo room, so the
# logic assembly's replay threads start and stop with every source and load.
scene "" "$work/messages.json"
scene demo-loop "$work/sources.json"
scene demo-loop "$work/reload.json"
stress_run messages "$work/messages.json" --threads 4 --messages 25000
stress_run sources "$work/sources.json" --count 100
stress_run reload "$work/reload.json" --count 20

# The soak: the looping demo room for $soak seconds at 30 fps. Every 97th
# frame is kept (97 frames is not a whole number of the room's 10 s rounds,
# so the kept frames fall on every part of a round).
echo
echo "== soak: scenehost run (room demo-loop) for $soak s, resident memory every $sample_every s"
scene demo-loop "$work/soak.json"
mkdir -p "$work/frames"
TAVREL_JOURNAL="$work/journal.txt" "$build/scenehost" run "$work/soak.json" --seconds "$soak" \
  --out "$work/frames" --every 97 >"$work/soak.out" 2>"$work/soak.err" &
soak_pid=$!
start=$(date +%s)
: >"$work/rss.txt"
# Sampled every $sample_every s, watched every second so that the end of
# the run is seen at once.
tick=0
while kill -0 "$soak_pid" 2>/dev/null; do
  if [ $((tick % sample_every)) -eq 0 ]; then
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$soak_pid/status" 2>/dev/null)
    [ -n "$rss" ] && echo "$(($(date +%s) - start)) $rss" >>"$work/rss.txt"
  fi
  sleep 1
  tick=$((tick + 1))
done
wait "$soak_pid"
soak_status=$?
soak_pid=""
elapsed=$(($(date +%s) - start))

awk -v warm="$warmup" '
  { printf "  t=%4d s  rss %7d kB\n", $1, $2 }' "$work/rss.txt" | awk 'NR % 6 == 1'
read -r rss_start_t rss_start < <(awk -v warm="$warmup" '$1 >= warm {print; exit}' "$work/rss.txt")
read -r rss_end_t rss_end < <(tail -n 1 "$work/rss.txt")
rss_max=$(awk 'BEGIN {m = 0} $2 > m {m = $2} END {print m}' "$work/rss.txt")
echo "soak seconds: $elapsed"
echo "soak exit status: $soak_status"
echo "soak rss samples: $(wc -l <"$work/rss.txt")"
echo "soak rss start (t=${rss_start_t:-?} s, after warm-up): ${rss_start:-?} kB"
echo "soak rss end (t=${rss_end_t:-?} s): ${rss_end:-?} kB"
echo "soak rss peak: $rss_max kB"
growth="?"
if [ -n "${rss_start:-}" ] && [ -n "${rss_end:-}" ]; then
  growth=$(awk -v a="$rss_start" -v b="$rss_end" 'BEGIN {printf "%+.1f %%", 100 * (b - a) / a}')
  echo "soak rss growth: $((rss_end - rss_start)) kB ($growth)"
  if awk -v a="$rss_start" -v b="$rss_end" 'BEGIN {exit !(b > a * 1.10)}'; then
    echo "soak rss growth flagged: above 10 % after warm-up"
  fi
fi
run_line=$(grep -o '[0-9]* frames.*' "$work/soak.err" | tail -n 1)
echo "soak frames: ${run_line:-unknown}"

# Did the thanks text keep changing to the end? The kept frames of the first
# and of the last minute, counted by distinct picture.
python3 - "$work/frames" "$soak" >"$work/frames.txt" <<'PY'
import hashlib, os, re, sys
folder, seconds = sys.argv[1], float(sys.argv[2])
frames = sorted((int(m.group(1)), f) for f in os.listdir(folder) if (m := re.match(r"frame-(\d+)\.png$", f)))
def distinct(selected):
    return len({hashlib.sha1(open(os.path.join(folder, f), "rb").read()).hexdigest() for _, f in selected})
first = [x for x in frames if x[0] < 60 * 30]
last = [x for x in frames if x[0] >= (seconds - 60) * 30]
print(f"soak frames kept: {len(frames)}, last kept frame {frames[-1][0] if frames else 'none'}")
print(f"soak distinct pictures in the first minute: {distinct(first)} of {len(first)}")
print(f"soak distinct pictures in the last minute: {distinct(last)} of {len(last)}")
PY
cat "$work/frames.txt"
last_distinct=$(sed -n 's/^soak distinct pictures in the last minute: \([0-9]*\) .*/\1/p' "$work/frames.txt")

# The journal holds the commands the logic assembly received (not the texts
# it sent): the run must have started the room and stopped it at the end.
journal_lines=$(wc -l <"$work/journal.txt" 2>/dev/null || echo 0)
echo "soak journal commands: $journal_lines ($(sed 's/[:{].*//' "$work/journal.txt" 2>/dev/null | sort | uniq -c |
  awk '{printf "%s%s x%d", (NR > 1 ? ", " : ""), $2, $1}'))"
started=$(grep -c '^start:' "$work/journal.txt" 2>/dev/null)
stopped=$(grep -c '^stop:' "$work/journal.txt" 2>/dev/null)

scene_check=$(python3 - "$work/soak.json" <<'PY'
import json, sys
try:
    scene = json.load(open(sys.argv[1], encoding="utf-8"))
except Exception as e:
    print(f"not valid JSON: {e}")
    sys.exit()
sources = list(scene.get("sources", {}))
data = scene.get("sources", {}).get("thanks", {}).get("data", {})
if sources != ["thanks"]:
    print(f"sources changed: {sources}")
elif data.get("room_name") != "demo-loop":
    print("the source's settings changed")
else:
    print("ok")
PY
)
echo "soak scene file after the run: $scene_check"

soak_result=passed
problems=()
[ "$soak_status" -eq 0 ] || problems+=("scenehost exited $soak_status")
[ "$scene_check" = ok ] || problems+=("scene file: $scene_check")
[ "${last_distinct:-0}" -ge 2 ] || problems+=("the text did not change in the last minute")
[ "${started:-0}" -ge 1 ] && [ "${stopped:-0}" -ge 1 ] || problems+=("the journal lacks the room's start or stop")
if [ ${#problems[@]} -gt 0 ]; then
  soak_result="FAILED (${problems[*]})"
  failed=1
  echo "-- last lines of its log:"
  tail -n 20 "$work/soak.err"
fi

echo
echo "== summary (machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%-9s %-10s %s\n' run result figures
m="$work/messages.out"
printf '%-9s %-10s %s\n' messages "${result[messages]}" \
  "$(figure "$m" "messages sent") sent, $(figure "$m" "log lines lost") of $(figure "$m" "log lines sent") log lines lost, $(figure "$m" "frames rendered") frames in $(figure "$m" seconds) s, rss $(figure "$m" "rss start") -> $(figure "$m" "rss end")"
s="$work/sources.out"
printf '%-9s %-10s %s\n' sources "${result[sources]}" \
  "$(figure "$s" "sources created and destroyed") sources, rss $(figure "$s" "rss after 10 (warm-up)") -> $(figure "$s" "rss end") ($(figure "$s" "rss growth"))"
r="$work/reload.out"
printf '%-9s %-10s %s\n' reload "${result[reload]}" \
  "$(figure "$r" cycles) cycles, $(figure "$r" "cycles failed") failed, rss $(figure "$r" "rss after 3 (warm-up)") -> $(figure "$r" "rss end") ($(figure "$r" "rss growth"))"
printf '%-9s %-10s %s\n' soak "$soak_result" \
  "$elapsed s, rss ${rss_start:-?} -> ${rss_end:-?} kB ($growth), text changing in the last minute: ${last_distinct:-0} pictures, scene $scene_check"
exit "$failed"
