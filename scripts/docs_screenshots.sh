#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Takes the user documentation's screenshots into docs/user/images/, from a
# build folder's module in Debian's OBS Studio on Xvfb (a throw-away home,
# the module as a user plug-in, driven through obs-websocket):
#
#   properties-en-US.png, properties-zh-CN.png
#       the Properties window of a thanks source in each language, two views
#       side by side: its top (where gifts come from, text style) and its
#       bottom (moderation, controls), by scripts/properties_screenshot.sh;
#   on-air.png
#       OBS Studio's main window with a thanks on air in the preview, after
#       gifts posted to the source's endpoint and a test gift;
#   activity-dock-320px.png
#       the gift activity page in Chromium at a dock's 320 px, with those
#       gifts' rows (scripts/obs/docs_client.py).
#
#   scripts/docs_screenshots.sh [BUILD]     (default build/)
#
# Each OBS Studio run is brief and in a network namespace that has only the
# loopback device. Needs root (packages, namespace).
set -euo pipefail

script=$(readlink -f "${BASH_SOURCE[0]}")
repo=$(cd "$(dirname "$script")/.." && pwd)
tag=docs_screenshots
# shellcheck source=obs/session.sh
. "$repo/scripts/obs/session.sh"
input_name="答谢"

# The inner stage: OBS Studio in English with the module of $SHOT_BUILD; the
# pictures go to $SHOT_IMAGES.
inner() {
  session_begin
  local port password
  port=$(free_port)
  password=$(random_password)
  write_config en-US "$port" "$password"
  install_build_module "$SHOT_BUILD"
  start_x
  log "Xvfb on $DISPLAY; starting OBS Studio (obs-websocket on 127.0.0.1:$port)"
  start_obs "LD_LIBRARY_PATH=$plugin/bin/64bit${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
  timeout 240 /usr/bin/python3 "$obs_scripts/docs_client.py" "$port" "$password" "$obs_pid" \
    "$cfg/plugin_config/morvik-thanks/activity.json" "$SHOT_IMAGES/on-air.png" \
    "$SHOT_IMAGES/activity-dock-320px.png" || die "the thanks on air or the gift activity page was not photographed"
  log "stopping OBS Studio"
  stop_obs
  status=0
}

if [ "${INNER_STAGE:-}" = inner ]; then
  inner
  exit 0
fi

[ $# -le 1 ] || die "usage: scripts/docs_screenshots.sh [BUILD]"
build=$(realpath -m "${1:-$repo/build}")
images=$repo/docs/user/images
[ -e "$build/obs-plugins/morvik-thanks/bin/64bit/morvik-thanks.so" ] ||
  die "no module in $build/obs-plugins/morvik-thanks/bin/64bit/: build the targets morvik-thanks and obs_module_assembly"
[ "$(id -u)" -eq 0 ] || die "this needs root: for missing packages and for a network namespace of its own"
ensure_packages imagemagick chromium chromium-driver python3-selenium
mkdir -p "$images"

for lang in en-US zh-CN; do
  bash "$repo/scripts/properties_screenshot.sh" --lang "$lang" --crop "$images/properties-$lang.png" "$build"
done
log "the thanks on air and the gift activity page into $images"
export SHOT_BUILD=$build SHOT_IMAGES=$images
run_inner_stage 300 "$script"
