# SPDX-License-Identifier: GPL-2.0-or-later
# What the scripts that run Debian's OBS Studio on Xvfb share (sourced, not
# run): an X server of their own, OBS Studio's configuration in a throw-away
# home with obs-websocket on a loopback port, starting and stopping OBS
# Studio, its logs, and the network namespace they all run in.
#
# The sourcing script sets $tag (its name, for messages) and calls, in its
# inner stage: session_begin, write_config, start_x, start_obs; at its end
# session_end is run by the exit trap. The globals are $HOME, $cfg,
# $obs_pid, $xvfb_pid, $plugin (after install_build_module), $status (0 once
# the script succeeded), $interrupted and $input_name (the input whose
# Properties window quit_obs.py may answer).

obs_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

log() { echo "$tag: $*" >&2; }
die() { log "error: $*"; exit 1; }

# Whether a process runs (a zombie that is not reaped yet does not count).
running() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ $state != Z* ]]
}

# Waits up to $2 tenths of a second for process $1 to end.
wait_end() {
  local i
  for ((i = 0; i < $2; i++)); do
    running "$1" || return 0
    sleep 0.1
  done
  ! running "$1"
}

# Starts Xvfb on the first free display from :99 on, with a cookie in
# $HOME/.Xauthority, and waits (10 s at most) until it takes clients. It has
# a session of its own, so that an interrupt does not end it before OBS
# Studio is stopped. -noreset: the server would otherwise reset when the
# readiness probe leaves, and OBS Studio connecting meanwhile would fail.
start_x() {
  local n i
  export XAUTHORITY=$HOME/.Xauthority
  touch "$XAUTHORITY"
  for ((n = 99; n < 200; n++)); do
    if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then
      continue
    fi
    export DISPLAY=:$n
    xauth -q add "$DISPLAY" . "$(mcookie)"
    setsid Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp -noreset -auth "$XAUTHORITY" \
      </dev/null >>"$HOME/xvfb.txt" 2>&1 &
    xvfb_pid=$!
    for ((i = 0; i < 100; i++)); do
      running "$xvfb_pid" || break
      if xwininfo -root >/dev/null 2>&1; then
        return 0
      fi
      sleep 0.1
    done
    stop_x # lost a race for the display, or did not start: the next one
  done
  cat "$HOME/xvfb.txt" >&2
  die "Xvfb did not start"
}

stop_x() {
  [ -n "$xvfb_pid" ] || return 0
  kill -TERM "$xvfb_pid" 2>/dev/null || true
  wait_end "$xvfb_pid" 50 || kill -KILL "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
}

# Ends OBS Studio and every process of its session; returns once none is
# left. First as a person would (OBS Studio 29.0 dies on SIGTERM without
# shutting down, so its modules would never be unloaded), unless this script
# was interrupted; then SIGTERM, then SIGKILL.
stop_obs() {
  [ -n "$obs_pid" ] || return 0
  if running "$obs_pid"; then
    if [ "$interrupted" = 0 ] &&
      timeout 30 /usr/bin/python3 "$obs_scripts/quit_obs.py" "$obs_pid" "$input_name" &&
      wait_end "$obs_pid" 50; then
      log "OBS Studio quit after its main window was closed"
    else
      log "stopping OBS Studio with SIGTERM"
      kill -TERM "$obs_pid" 2>/dev/null || true
      if ! wait_end "$obs_pid" 50; then
        log "OBS Studio did not quit within 5 s of SIGTERM: SIGKILL"
        kill -KILL "$obs_pid" 2>/dev/null || true
      fi
    fi
  fi
  wait "$obs_pid" 2>/dev/null || true
  # OBS Studio was started as a session leader: its id is its process
  # group's, which also holds anything it started and left behind.
  if pgrep -g "$obs_pid" >/dev/null; then
    log "killing what OBS Studio left running: $(pgrep -g "$obs_pid" | tr '\n' ' ')"
    kill -KILL -- "-$obs_pid" 2>/dev/null || true
  fi
  obs_pid=""
}

# Prints the end of OBS Studio's log as it was when things went wrong (up to
# its shutdown, whose profiler tables say nothing about that), and the end of
# what else it wrote to stdout/stderr (Mono's messages, for one).
# shellcheck disable=SC2317 # called from the exit trap
show_logs() {
  local f
  for f in "$cfg"/logs/*.txt; do
    [ -e "$f" ] || continue
    log "--- end of OBS Studio's log $(basename "$f") ---"
    sed '/==== Shutting down/q' "$f" | tail -n 60 | cut -c1-300 >&2
  done
  # (The log's own lines are left out: "info: ...", "warning: ..." and their
  # indented continuations. Mono writes long lines without line ends: the
  # last 2000 bytes.)
  local other='^(info|warning|error|debug): |^[[:blank:]]|^$'
  if [ -s "$HOME/obs-output.txt" ] && grep -qvE "$other" "$HOME/obs-output.txt"; then
    log "--- end of OBS Studio's other output ---"
    grep -vE "$other" "$HOME/obs-output.txt" | tail -c 2000 >&2
    echo >&2
  fi
}

# OBS Studio's configuration in $cfg: global.ini, one profile, one scene
# collection. $1: language, $2: obs-websocket port, $3: its password.
# The profile and the collection are named "Shot".
write_config() {
  mkdir -p "$cfg/basic/profiles/Shot" "$cfg/basic/scenes" "$cfg/plugins"
  # FirstRun set and LastVersion present (LIBOBS_API_VER of 29.0.2) keep the
  # auto-configuration wizard from starting; the updater and the "what's
  # new" screen are left out of Debian's build and are turned off here too.
  # [OBSWebSocket] holds obs-websocket 5.1's settings (its src/Config.cpp):
  # FirstLoad=false keeps it from making a password of its own.
  cat >"$cfg/global.ini" <<EOF
[General]
Language=$1
FirstRun=true
LastVersion=$(((29 << 24) | (0 << 16) | 2))
Pre19Defaults=false
Pre21Defaults=false
Pre23Defaults=false
Pre24.1Defaults=false
EnableAutoUpdates=false
InfoIncrement=999
ConfirmOnExit=false

[Basic]
Profile=Shot
ProfileDir=Shot
SceneCollection=Shot
SceneCollectionFile=Shot

[BasicWindow]
WarnBeforeStartingStream=false
WarnBeforeStoppingStream=false
WarnBeforeStoppingRecord=false

[OBSWebSocket]
FirstLoad=false
ServerEnabled=true
ServerPort=$2
AlertsEnabled=false
AuthRequired=true
ServerPassword=$3
EOF

  # The profile: a small canvas is cheaper for the software renderer.
  cat >"$cfg/basic/profiles/Shot/basic.ini" <<'EOF'
[General]
Name=Shot

[Video]
BaseCX=1280
BaseCY=720
OutputCX=1280
OutputCY=720
FPSType=0
FPSCommon=30
EOF

  # The scene collection: one empty scene.
  cat >"$cfg/basic/scenes/Shot.json" <<'EOF'
{
  "name": "Shot",
  "current_scene": "Scene",
  "current_program_scene": "Scene",
  "scene_order": [{"name": "Scene"}],
  "sources": [
    {"id": "scene", "versioned_id": "scene", "name": "Scene",
     "settings": {"id_counter": 0, "items": []}}
  ]
}
EOF
}

# At exit, whatever the reason: OBS Studio and Xvfb stopped, the logs shown
# (all of their end on failure; the module's lines always), the home removed.
# shellcheck disable=SC2317 # called from the exit trap
session_end() {
  local rc=$?
  trap - TERM INT HUP
  stop_obs
  stop_x
  if [ "$status" -ne 0 ]; then
    show_logs
  fi
  log "the module's lines in OBS Studio's log:"
  grep -ih morvik "$cfg"/logs/*.txt >&2 || log "(none: the module left no line in the log)"
  grep -h "Number of memory leaks" "$cfg"/logs/*.txt >&2 || true
  case $HOME in /tmp/obs-session-home.*) rm -rf "$HOME" ;; esac
  exit "$rc"
}

# The inner stage's start: the loopback device up, a throw-away home (OBS
# Studio's whole configuration, its logs, the X cookie), the exit traps.
session_begin() {
  obs_pid="" xvfb_pid="" status=1 interrupted=0
  ip link set lo up
  HOME=$(mktemp -d /tmp/obs-session-home.XXXXXX)
  export HOME OBS_SESSION_TAG=$tag
  cfg=$HOME/.config/obs-studio
  trap session_end EXIT
  trap 'interrupted=1; log "interrupted"; exit 143' TERM INT HUP
}

# A free loopback port, and a random password.
free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
random_password() { head -c 18 /dev/urandom | base64 | tr '+/' '-_'; }

# The module of build folder $1 as a user plug-in in $cfg/plugins/
# morvik-thanks ($plugin): bin/64bit/ and data/. A build tree keeps
# MorvikPlatform in lib/ and finds it through its build RUNPATH; the copy
# carries it beside the module too: start OBS Studio with
# LD_LIBRARY_PATH=$plugin/bin/64bit.
install_build_module() {
  plugin=$cfg/plugins/morvik-thanks
  cp -r "$1/obs-plugins/morvik-thanks" "$plugin"
  if [ ! -e "$plugin/bin/64bit/libMorvikPlatform.so" ] && [ -e "$1/lib/libMorvikPlatform.so" ]; then
    cp "$1/lib/libMorvikPlatform.so" "$plugin/bin/64bit/"
  fi
}

# Starts OBS Studio with Mesa's software renderer, in a session of its own so
# that it and its children can be ended together. Its output goes to
# $HOME/obs-output.txt. Extra environment for it: NAME=VALUE arguments.
start_obs() {
  mkdir -m 700 "$HOME/runtime"
  (
    cd "$HOME"
    unset WAYLAND_DISPLAY SESSION_MANAGER
    export XDG_RUNTIME_DIR=$HOME/runtime XDG_CONFIG_HOME=$HOME/.config
    export QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1
    for assignment in "$@"; do export "${assignment?}"; done
    exec setsid obs --disable-shutdown-check --disable-updater --multi \
      </dev/null >"$HOME/obs-output.txt" 2>&1
  ) &
  obs_pid=$!
}

# Debian's packages that a session needs, installed when missing: OBS Studio
# and its plug-ins (obs-websocket), the X server and xauth, xwininfo, the
# websocket and X clients, the font sources are set to, Mesa's software
# renderer, ip and pgrep, xz for the portable tarball; and any named as
# arguments.
ensure_packages() {
  local packages=(obs-studio obs-plugins xvfb xauth x11-utils python3 python3-websocket python3-xlib
    fonts-wqy-microhei libgl1-mesa-dri iproute2 procps xz-utils "$@")
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    log "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    timeout 300 apt-get update -qq
    timeout 600 apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# Runs the calling script again as its inner stage (INNER_STAGE=inner), in a
# network namespace that has only the loopback device, because obs-websocket
# 5.1 binds its port on every interface. Bounded: $1 seconds, then SIGTERM,
# then SIGKILL 20 s later. timeout puts it in a process group of its own,
# which a Ctrl-C at the terminal does not reach: an interrupt or SIGTERM is
# passed on, and the inner stage's cleanup waited for. Exits with its status.
run_inner_stage() {
  local limit=$1 script=$2
  shift 2
  INNER_STAGE=inner timeout -k 20 "$limit" unshare --net -- "$BASH" "$script" "$@" &
  local inner_pid=$!
  trap 'kill -TERM "$inner_pid" 2>/dev/null || true' INT TERM HUP
  local rc=0
  wait "$inner_pid" || rc=$?
  while running "$inner_pid"; do
    rc=0
    wait "$inner_pid" || rc=$?
  done
  if [ "$rc" -eq 124 ]; then
    log "error: the inner stage did not end within $limit s"
  fi
  exit "$rc"
}
