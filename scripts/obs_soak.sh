#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# A streamer's evening with the module in Debian's OBS Studio on Xvfb: the
# release tarball unpacked into a throw-away home's plug-in folder, OBS
# Studio driven through obs-websocket (scripts/obs/soak_client.py) for
# MINUTES with two thanks sources taking RATE gifts a second together
# through their loopback endpoints (4: a gift each every 0.5 s), the scene
# switched every minute, a source's settings changed every 2 minutes and the
# recording on; before it, the same evening for BARE_MINUTES without thanks
# sources. Each ends with SIGINT while gifts still arrive. GetStats, the
# resident memory and the logic assembly's managed heap every 10 s go into
# bare.csv and thanks.csv, drawn in soak.png (scripts/obs/soak_report.py);
# at another rate than 4 the names end in _RATEgps (thanks_20gps.csv).
# At 20 gifts a second for 40 minutes (48,000 gifts) what the module keeps
# bounded and fills with gifts and new characters fills in the first 20,
# cairo's cache of glyph outlines last, at about minute 15 (docs/dev/soak/README.md
# says what and when): the long evening, accelerated.
#
# Pass: OBS Studio quits within 10 s with status 0 and a leak count of 0
# both times; each recording is readable to its end (ffprobe's duration
# within 2 s of what OBS Studio recorded); resident memory grows by at most
# 10 MiB after the warm-up, and in a run of 25 minutes or more the lowest
# resident memory and managed heap of each 5 minutes of the last 20 stay
# within 5 MiB; no more frames skipped than without the sources.
# Then OBS Studio is quit twice more with a thanks source's settings form
# open and gifts posted as fast as it takes them: by Ctrl+Q, and by SIGINT;
# both times within 10 s, with status 0 and no leak.
#
#   scripts/obs_soak.sh [--minutes MINUTES] [--bare-minutes BARE_MINUTES] [--rate RATE] [BUILD]
#
# Defaults: 2 and 1 minutes, 4 gifts a second, the build in build/. The CSVs and the plot stay
# in BUILD/test-output/obs_soak/. Needs root (packages, network namespace).
set -euo pipefail

script=$(readlink -f "${BASH_SOURCE[0]}")
repo=$(cd "$(dirname "$script")/.." && pwd)
tag=obs_soak
# shellcheck source=obs/session.sh
. "$repo/scripts/obs/session.sh"
input_name="答谢 outlined"

# The profile's recording: simple output mode, x264 at its fastest into a
# Matroska file (readable up to where it was cut, were OBS Studio to die),
# scaled to 640x360 so that encoding leaves the frames to the renderer.
write_recording_profile() {
  mkdir -p "$HOME/recordings"
  cat >>"$cfg/basic/profiles/Shot/basic.ini" <<EOF

[Output]
Mode=Simple

[SimpleOutput]
FilePath=$HOME/recordings
RecFormat=mkv
RecQuality=Stream
StreamEncoder=x264
RecEncoder=x264
Preset=ultrafast
VBitrate=1000
EOF
  sed -i 's/^OutputCX=.*/OutputCX=640/; s/^OutputCY=.*/OutputCY=360/' "$cfg/basic/profiles/Shot/basic.ini"
}

# One evening: OBS Studio started, driven by the client, quit by it; then
# its exit status, its leak count and its recording checked.
# OBS Studio started on a fresh configuration (the last run's scenes gone).
start_fresh_obs() {
  write_config en-US "$port" "$password"
  write_recording_profile
  rm -rf "$HOME/runtime"
  start_obs
}

# OBS Studio's exit status after it was told to quit ($1: how), and its log.
check_clean_exit() {
  local rc=0 log_file
  wait "$obs_pid" 2>/dev/null || rc=$?
  obs_pid=""
  [ "$rc" -eq 0 ] || die "OBS Studio ended with status $rc after $1, not 0"
  log_file=$(ls -t "$cfg"/logs/*.txt | head -n 1)
  grep -q "Number of memory leaks: 0" "$log_file" ||
    die "OBS Studio did not shut down cleanly after $1 (no leak count of 0 in its log)"
}

evening() {
  local mode=$1 minutes=$2 info path recorded_ms seconds
  start_fresh_obs
  log "$mode: $minutes minutes in OBS Studio"
  info=$HOME/$mode-recording.txt
  timeout $((${minutes%.*} * 60 + 240)) /usr/bin/python3 "$obs_scripts/soak_client.py" "$port" "$password" \
    "$obs_pid" "$mode" "$minutes" "$SOAK_RATE" "$SOAK_OUT/$mode$SOAK_SUFFIX.csv" "$info" ||
    die "the $mode evening failed"
  check_clean_exit SIGINT
  path=$(sed -n 1p "$info")
  recorded_ms=$(sed -n 2p "$info")
  [ -s "$path" ] || die "no recording at '$path'"
  seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$path") ||
    die "ffprobe cannot read the recording $path"
  /usr/bin/python3 - "$seconds" "$recorded_ms" <<'EOF' || die "the recording is not readable to its end"
import sys
seconds, recorded = float(sys.argv[1]), int(sys.argv[2]) / 1000
print("obs_soak: the recording lasts %.1f s by ffprobe, %.1f s by OBS Studio" % (seconds, recorded), file=sys.stderr)
sys.exit(abs(seconds - recorded) > 2)
EOF
  log "$mode: OBS Studio quit with status 0 and no leak"
}

# OBS Studio quit ($1: "keys" for Ctrl+Q, or "sigint") while a thanks
# source's settings form is open and gifts are posted as fast as it takes
# them (scripts/obs/quit_under_load.py).
quit_under_load() {
  start_fresh_obs
  timeout 150 /usr/bin/python3 "$obs_scripts/quit_under_load.py" "$port" "$password" "$obs_pid" "$1" ||
    die "quitting under load by $1 failed"
  check_clean_exit "the quit by $1 under load"
  log "quit by $1 under load: status 0 and no leak"
}

inner() {
  session_begin
  port=$(free_port)
  password=$(random_password)
  write_config en-US "$port" "$password"
  tar -xJf "$SOAK_TARBALL" -C "$cfg/plugins"
  start_x
  log "Xvfb on $DISPLAY"
  evening bare "$SOAK_BARE_MINUTES"
  evening thanks "$SOAK_MINUTES"
  /usr/bin/python3 "$obs_scripts/soak_report.py" "$SOAK_OUT/bare$SOAK_SUFFIX.csv" "$SOAK_OUT/thanks$SOAK_SUFFIX.csv" \
    "$SOAK_OUT/soak$SOAK_SUFFIX.png" >&2 ||
    die "the soak's figures failed"
  quit_under_load keys
  quit_under_load sigint
  status=0
}

if [ "${INNER_STAGE:-}" = inner ]; then
  inner
  exit 0
fi

minutes=2 bare_minutes=1 rate=4 build=$repo/build
while [ $# -gt 0 ]; do
  case $1 in
    --minutes) minutes=$2; shift 2 ;;
    --bare-minutes) bare_minutes=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    -*) die "usage: scripts/obs_soak.sh [--minutes MINUTES] [--bare-minutes BARE_MINUTES] [--rate RATE] [BUILD]" ;;
    *) build=$(realpath -m "$1"); shift ;;
  esac
done
[[ $minutes =~ ^[0-9]+$ && $bare_minutes =~ ^[0-9]+$ && $minutes -ge 1 && $bare_minutes -ge 1 ]] ||
  die "the minutes are whole numbers from 1"
[[ $rate =~ ^[0-9]+$ && $rate -ge 1 && $rate -le 100 ]] || die "the rate is a whole number of gifts a second from 1 to 100"
suffix=""
[ "$rate" -eq 4 ] || suffix=_${rate}gps
[ "$(id -u)" -eq 0 ] || die "this needs root: for packages and a network namespace of its own"
ensure_packages ffmpeg gnuplot-nox

tarball=$(bash "$repo/scripts/package.sh" "$build" | sed -n 2p)
SOAK_OUT=$build/test-output/obs_soak
rm -rf "$SOAK_OUT"
mkdir -p "$SOAK_OUT"
export SOAK_OUT SOAK_TARBALL=$tarball SOAK_MINUTES=$minutes SOAK_BARE_MINUTES=$bare_minutes SOAK_RATE=$rate \
  SOAK_SUFFIX=$suffix
log "$bare_minutes minutes without thanks sources, then $minutes with two taking $rate gifts a second;" \
  "figures in $SOAK_OUT"
run_inner_stage $(((minutes + bare_minutes) * 60 + 900)) "$script"
