#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Takes a screenshot of OBS Studio's Properties window for a
# "morvik_thanks_image" source: Debian's OBS Studio runs on Xvfb with a
# throw-away home, loads the module from a build folder as a user plug-in, and
# is driven through obs-websocket (protocol 5) to add the source and open its
# Properties window.
#
#   scripts/properties_screenshot.sh [--lang LANG] [--crop] [--settings JSON] [OUTPUT.png [BUILD]]
#
#   OUTPUT.png  where the PNG goes (default docs/user/images/properties-LANG.png)
#   BUILD       the build folder holding obs-plugins/morvik-thanks/ (default build)
#   --lang      OBS Studio's language, e.g. zh-CN (default: from LANG, else en-US)
#   --crop      keep only the Properties window instead of the whole screen
#   --settings  the settings the source is created with, a JSON object
#               (default: the demo room at 48 px)
#
# OBS Studio, Xvfb and the clients run in a network namespace of their own
# that has only the loopback device, because obs-websocket 5.1 binds its port
# on every interface. Progress goes to stderr; the module's lines from OBS
# Studio's log are printed at the end. Needs root (packages, namespace).
set -euo pipefail

script=$(readlink -f "${BASH_SOURCE[0]}")
repo=$(cd "$(dirname "$script")/.." && pwd)
tag=properties_screenshot
# shellcheck source=obs/session.sh
. "$repo/scripts/obs/session.sh"

# The name the source gets, and the settings it is created with.
input_name="答谢"
input_settings=${SHOT_SETTINGS:-'{"room_name":"demo","fontSize":48,"font":"WenQuanYi Micro Hei"}'}

# ===========================================================================
# The inner stage, in the private network namespace. Its parameters come in
# SHOT_OUT, SHOT_BUILD, SHOT_LANG and SHOT_CROP.
# ===========================================================================

inner() {
  local out=$SHOT_OUT build=$SHOT_BUILD lang=$SHOT_LANG crop=$SHOT_CROP
  session_begin

  # obs-websocket on a free loopback port, with a random password.
  local port password
  port=$(free_port)
  password=$(random_password)
  write_config "$lang" "$port" "$password"

  install_build_module "$build"

  start_x
  log "Xvfb on $DISPLAY; starting OBS Studio (language $lang, obs-websocket on 127.0.0.1:$port)"

  start_obs "LD_LIBRARY_PATH=$plugin/bin/64bit${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

  timeout 90 /usr/bin/python3 "$obs_scripts/open_properties.py" "$port" "$password" "$obs_pid" \
    "$input_name" morvik_thanks_image "$input_settings" ||
    die "driving OBS Studio through obs-websocket failed"

  # Makes the Properties window as tall as the screen (there is no window
  # manager to do it) and, once it has laid itself out, drags the handle
  # between the preview and the list of properties (half way down the
  # window at first) up, so that the list shows the most; lets the preview
  # render, then takes the whole X screen.
  # The window is mapped a moment after obs-websocket's answer: waited for.
  local window="" i
  for ((i = 0; i < 150; i++)); do
    window=$(xwininfo -root -children | grep -F "'$input_name'" | awk '{print $1; exit}' || true)
    [ -z "$window" ] || break
    sleep 0.1
  done
  [ -n "$window" ] || die "OBS Studio showed no Properties window within 15 s"
  /usr/bin/python3 - "$window" <<'PY' || log "warning: the Properties window could not be resized"
import sys, time
from Xlib import X, display
from Xlib.ext import xtest
x = display.Display()
window = x.create_resource_object("window", int(sys.argv[1], 16))
window.configure(x=0, y=0, width=760, height=1070)
x.sync()
time.sleep(2)
root = x.screen().root
root.warp_pointer(380, 495)
x.sync()
xtest.fake_input(x, X.ButtonPress, 1)
x.sync()
for y in range(490, 219, -10):
    time.sleep(0.02)
    xtest.fake_input(x, X.MotionNotify, x=380, y=y)
    x.sync()
xtest.fake_input(x, X.ButtonRelease, 1)
x.sync()
PY
  sleep 3
  running "$obs_pid" || die "OBS Studio exited after the Properties window was opened"
  local shot=$HOME/screen.png
  timeout 30 import -window root "png:$shot" || die "the screenshot failed"

  # The groups below the first screenful: the mouse wheel over the list of
  # properties, a second shot, and with --crop the two side by side.
  local scrolled=$HOME/scrolled.png
  if /usr/bin/python3 - <<'PY'
from Xlib import X, display
from Xlib.ext import xtest
x = display.Display()
x.screen().root.warp_pointer(380, 800)
x.sync()
for _ in range(30):
    xtest.fake_input(x, X.ButtonPress, 5)
    xtest.fake_input(x, X.ButtonRelease, 5)
x.sync()
PY
  then
    sleep 1
    timeout 30 import -window root "png:$scrolled" || scrolled=
  else
    scrolled=
  fi

  # With --crop, only the Properties window: the top-level window whose name
  # holds the source's name (it has no frame: there is no window manager).
  if [ "$crop" = 1 ]; then
    local geometry
    geometry=$(xwininfo -root -children | grep -F "'$input_name'" |
      grep -oE '[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+' | head -n 1 || true)
    if [ -n "$geometry" ]; then
      log "cropping to the Properties window ($geometry)"
      convert "$shot" -crop "$geometry" +repage "png:$shot"
      if [ -n "$scrolled" ]; then
        convert "$scrolled" -crop "$geometry" +repage "png:$scrolled"
        convert "$shot" "$scrolled" +append "png:$shot"
      fi
    else
      log "warning: no Properties window found to crop to: keeping the whole screen"
    fi
  fi
  mkdir -p "$(dirname "$out")"
  cp "$shot" "$out"
  log "wrote $out ($(identify -format '%wx%h' "$out"))"

  # obs-websocket 5.1 has no quit request: see stop_obs.
  log "stopping OBS Studio"
  stop_obs
  status=0
}

if [ "${INNER_STAGE:-}" = inner ]; then
  inner
  exit 0
fi

# ===========================================================================
# The outer stage: arguments, packages, the build folder; then the inner
# stage in a network namespace of its own.
# ===========================================================================
lang=""
crop=0
positional=()
while [ $# -gt 0 ]; do
  case $1 in
    --lang) [ $# -ge 2 ] || die "--lang needs a language such as zh-CN"; lang=$2; shift 2 ;;
    --lang=*) lang=${1#--lang=}; shift ;;
    --crop) crop=1; shift ;;
    --settings) [ $# -ge 2 ] || die "--settings needs a JSON object"; export SHOT_SETTINGS=$2; shift 2 ;;
    -h|--help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$script"; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) positional+=("$1"); shift ;;
  esac
done
[ ${#positional[@]} -le 2 ] || die "too many arguments (OUTPUT.png and BUILD at most)"

# The defaults are in the repository; given paths are from the current folder.
build=$(realpath -m "${positional[1]:-$repo/build}")

# OBS Studio's language: --lang, else LANG's (zh_CN.UTF-8 gives zh-CN), else en-US.
if [ -z "$lang" ]; then
  case ${LANG:-} in
    [a-z][a-z]_[A-Z][A-Z]*) lang=${LANG:0:2}-${LANG:3:2} ;;
    *) lang=en-US ;;
  esac
fi
out=$(realpath -m "${positional[0]:-$repo/docs/user/images/properties-$lang.png}")

[ -e "$build/obs-plugins/morvik-thanks/bin/64bit/morvik-thanks.so" ] ||
  die "no module in $build/obs-plugins/morvik-thanks/bin/64bit/: build the targets morvik-thanks and obs_module_assembly"
[ -d "$build/obs-plugins/morvik-thanks/data" ] || die "no $build/obs-plugins/morvik-thanks/data/"
[ "$(id -u)" -eq 0 ] || die "this needs root: for missing packages and for a network namespace of its own"

# Debian's packages that this needs beyond a session's: ImageMagick for the
# screenshot.
ensure_packages imagemagick

log "screenshot of OBS Studio's Properties window into $out (module from $build)"
export SHOT_OUT=$out SHOT_BUILD=$build SHOT_LANG=$lang SHOT_CROP=$crop
run_inner_stage 150 "$script"
