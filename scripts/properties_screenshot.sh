#!/usr/bin/env bash
# Takes a screenshot of OBS Studio's Properties window for a
# "morvik_thanks_image" source: Debian's OBS Studio runs on Xvfb with a
# throw-away home, loads the module from a build folder as a user plug-in, and
# is driven through obs-websocket (protocol 5) to add the source and open its
# Properties window.
#
#   scripts/properties_screenshot.sh [--lang LANG] [--crop] [OUTPUT.png [BUILD]]
#
#   OUTPUT.png  where the PNG goes (default docs/obs_properties.png)
#   BUILD       the build folder holding obs-plugins/morvik-thanks/ (default build)
#   --lang      OBS Studio's language, e.g. zh-CN (default: from LANG, else en-US)
#   --crop      keep only the Properties window instead of the whole screen
#
# OBS Studio, Xvfb and the clients run in a network namespace of their own
# that has only the loopback device, because obs-websocket 5.1 binds its port
# on every interface. Progress goes to stderr; the module's lines from OBS
# Studio's log are printed at the end. Needs root (packages, namespace).
set -euo pipefail

log() { echo "properties_screenshot: $*" >&2; }
die() { log "error: $*"; exit 1; }

script=$(readlink -f "${BASH_SOURCE[0]}")
repo=$(cd "$(dirname "$script")/.." && pwd)

# The name the source gets, and the settings it is created with.
input_name="答谢"
input_settings='{"room_name":"demo","fontSize":48,"font":"WenQuanYi Micro Hei"}'

# ===========================================================================
# The inner stage, in the private network namespace. Its parameters come in
# SHOT_OUT, SHOT_BUILD, SHOT_LANG and SHOT_CROP.
# ===========================================================================

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
# Studio is stopped.
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
    setsid Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp -auth "$XAUTHORITY" \
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
      timeout 30 /usr/bin/python3 "$HOME/quit_obs.py" "$obs_pid" "$input_name" &&
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

# At exit, whatever the reason: OBS Studio and Xvfb stopped, the logs shown
# (all of their end on failure; the module's lines always), the home removed.
# shellcheck disable=SC2317 # called from the exit trap
cleanup() {
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
  case $HOME in /tmp/obs-shot-home.*) rm -rf "$HOME" ;; esac
  exit "$rc"
}

# OBS Studio's configuration in $cfg: global.ini, one profile, one scene
# collection. $1: language, $2: obs-websocket port, $3: its password.
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

# The two clients, in $HOME.
write_clients() {
  # The websocket client: waits until OBS Studio answers (60 s at most),
  # authenticates, adds the source to the current scene and opens its
  # Properties window.
  cat >"$HOME/ws_client.py" <<'EOF'
import base64, hashlib, json, sys, time
import websocket

port, password, obs_pid, input_name, input_kind, settings = sys.argv[1:7]
settings = json.loads(settings)

def log(text):
    print("properties_screenshot: " + text, file=sys.stderr, flush=True)

def obs_alive():
    """Whether OBS Studio runs (a zombie that is not reaped yet does not)."""
    try:
        with open("/proc/%s/stat" % obs_pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False

def connect(deadline):
    """Connects and identifies, retrying until OBS Studio's server answers."""
    while True:
        if not obs_alive():
            sys.exit("OBS Studio exited before its websocket server answered")
        try:
            ws = websocket.create_connection("ws://127.0.0.1:%s" % port, timeout=10)
            break
        except (OSError, websocket.WebSocketException):
            if time.monotonic() > deadline:
                sys.exit("OBS Studio's websocket server did not answer within 60 s")
            time.sleep(0.5)
    hello = json.loads(ws.recv())
    if hello.get("op") != 0:
        sys.exit("expected Hello, got %r" % hello)
    identify = {"rpcVersion": 1, "eventSubscriptions": 0}
    auth = hello["d"].get("authentication")
    if auth:
        # Protocol 5: secret = base64(sha256(password + salt)),
        # answer = base64(sha256(secret + challenge)).
        secret = base64.b64encode(hashlib.sha256((password + auth["salt"]).encode()).digest())
        identify["authentication"] = base64.b64encode(
            hashlib.sha256(secret + auth["challenge"].encode()).digest()).decode()
    ws.send(json.dumps({"op": 1, "d": identify}))
    identified = json.loads(ws.recv())
    if identified.get("op") != 2:
        sys.exit("not identified (wrong password?): %r" % identified)
    return ws

counter = 0
def request(ws, kind, data=None):
    """Sends one request and returns its status and response data."""
    global counter
    counter += 1
    rid = "r%d" % counter
    ws.send(json.dumps({"op": 6, "d": {"requestType": kind, "requestId": rid, "requestData": data or {}}}))
    while True:
        message = json.loads(ws.recv())
        if message.get("op") == 7 and message["d"].get("requestId") == rid:
            return message["d"]["requestStatus"], message["d"].get("responseData", {})

def must(ws, kind, data=None):
    status, response = request(ws, kind, data)
    if not status.get("result"):
        sys.exit("%s failed: code %s %s" % (kind, status.get("code"), status.get("comment", "")))
    return response

deadline = time.monotonic() + 60
ws = connect(deadline)
# Code 207 (NotReady): OBS Studio is still loading.
while True:
    status, version = request(ws, "GetVersion")
    if status.get("result"):
        break
    if status.get("code") != 207 or time.monotonic() > deadline:
        sys.exit("GetVersion failed: %r" % status)
    time.sleep(0.5)
log("OBS Studio %s answers (obs-websocket %s)" % (version["obsVersion"], version["obsWebSocketVersion"]))
kinds = must(ws, "GetInputKindList", {"unversioned": True})["inputKinds"]
if input_kind not in kinds:
    sys.exit("OBS Studio has no input kind %r: the module did not load" % input_kind)
scene = must(ws, "GetCurrentProgramScene")["currentProgramSceneName"]
must(ws, "CreateInput", {"sceneName": scene, "inputName": input_name, "inputKind": input_kind,
                         "inputSettings": settings, "sceneItemEnabled": True})
log("created the input %r in the scene %r" % (input_name, scene))
must(ws, "OpenInputPropertiesDialog", {"inputName": input_name})
log("opened its Properties window")
ws.close()
EOF

  # Quits OBS Studio as a person would: closes its main window with
  # WM_DELETE_WINDOW, as a window manager does. If the Properties window then
  # asks whether to keep changed settings (a message box that is transient
  # for it), it answers with Return: the default button, Save.
  cat >"$HOME/quit_obs.py" <<'EOF'
import sys, time
from Xlib import X, XK, display, error, protocol
from Xlib.ext import xtest

obs_pid, input_name = sys.argv[1:3]
try:
    d = display.Display()
except error.DisplayConnectionError as e:
    sys.exit("no X server any more: %s" % e)
root = d.screen().root
WM_PROTOCOLS = d.intern_atom("WM_PROTOCOLS")
WM_DELETE_WINDOW = d.intern_atom("WM_DELETE_WINDOW")
NET_WM_NAME = d.intern_atom("_NET_WM_NAME")
UTF8_STRING = d.intern_atom("UTF8_STRING")

def log(text):
    print("properties_screenshot: " + text, file=sys.stderr, flush=True)

def running():
    try:
        with open("/proc/%s/stat" % obs_pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False

def name(window):
    utf8 = window.get_full_property(NET_WM_NAME, UTF8_STRING)
    if utf8:
        return utf8.value.decode("utf-8", "replace")
    plain = window.get_wm_name()
    return plain.decode("latin-1") if isinstance(plain, bytes) else (plain or "")

def toplevels():
    """The viewable top-level windows, with their names and transient-for names."""
    found = []
    for window in root.query_tree().children:
        try:
            if window.get_attributes().map_state != X.IsViewable:
                continue
            owner = window.get_wm_transient_for()
            found.append((window, name(window), name(owner) if owner else ""))
        except error.XError:  # gone meanwhile
            pass
    return found

main = [w for w, n, _ in toplevels() if n.startswith("OBS ")]
if not main:
    sys.exit("no main window of OBS Studio to close")
main[0].send_event(protocol.event.ClientMessage(window=main[0], client_type=WM_PROTOCOLS,
                                                data=(32, [WM_DELETE_WINDOW, X.CurrentTime, 0, 0, 0])),
                   event_mask=X.NoEventMask)
d.flush()

deadline = time.monotonic() + 20
answered = 0
while running():
    if time.monotonic() > deadline:
        sys.exit("OBS Studio still runs 20 s after its main window was closed")
    for window, _, owner in toplevels():
        if input_name in owner and answered < 3:
            answered += 1
            log("the Properties window asks whether to keep changed settings: answering Save")
            return_key = d.keysym_to_keycode(XK.string_to_keysym("Return"))
            window.set_input_focus(X.RevertToParent, X.CurrentTime)
            xtest.fake_input(d, X.KeyPress, return_key)
            xtest.fake_input(d, X.KeyRelease, return_key)
            d.sync()
            time.sleep(1)
    time.sleep(0.2)
EOF
}

inner() {
  local out=$SHOT_OUT build=$SHOT_BUILD lang=$SHOT_LANG crop=$SHOT_CROP
  # Globals, for the exit trap.
  obs_pid="" xvfb_pid="" status=1 interrupted=0

  # The namespace's loopback device starts down.
  ip link set lo up

  # A throw-away home: OBS Studio's whole configuration, its logs, the user
  # plug-in, the X cookie and the clients live in it.
  HOME=$(mktemp -d /tmp/obs-shot-home.XXXXXX)
  export HOME
  cfg=$HOME/.config/obs-studio
  trap cleanup EXIT
  trap 'interrupted=1; log "interrupted"; exit 143' TERM INT HUP

  # obs-websocket on a free loopback port, with a random password.
  local port password
  port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  password=$(head -c 18 /dev/urandom | base64 | tr '+/' '-_')
  write_config "$lang" "$port" "$password"
  write_clients

  # The module as a user plug-in: bin/64bit/ and data/. A build tree keeps
  # MorvikPlatform in lib/ and finds it through its build RUNPATH; the copy
  # carries it beside the module too, and LD_LIBRARY_PATH points there.
  local plugin=$cfg/plugins/morvik-thanks
  cp -r "$build/obs-plugins/morvik-thanks" "$plugin"
  if [ ! -e "$plugin/bin/64bit/libMorvikPlatform.so" ] && [ -e "$build/lib/libMorvikPlatform.so" ]; then
    cp "$build/lib/libMorvikPlatform.so" "$plugin/bin/64bit/"
  fi

  start_x
  log "Xvfb on $DISPLAY; starting OBS Studio (language $lang, obs-websocket on 127.0.0.1:$port)"

  # OBS Studio with Mesa's software renderer, in a session of its own so that
  # it and its children can be ended together.
  mkdir -m 700 "$HOME/runtime"
  (
    cd "$HOME"
    unset WAYLAND_DISPLAY SESSION_MANAGER
    export XDG_RUNTIME_DIR=$HOME/runtime XDG_CONFIG_HOME=$HOME/.config
    export QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1
    export LD_LIBRARY_PATH=$plugin/bin/64bit${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
    exec setsid obs --disable-shutdown-check --disable-updater --multi \
      </dev/null >"$HOME/obs-output.txt" 2>&1
  ) &
  obs_pid=$!

  timeout 90 /usr/bin/python3 "$HOME/ws_client.py" "$port" "$password" "$obs_pid" \
    "$input_name" morvik_thanks_image "$input_settings" ||
    die "driving OBS Studio through obs-websocket failed"

  # Makes the Properties window tall enough to show every group at once
  # (there is no window manager to do it), lets it lay itself out and the
  # preview render, then takes the whole X screen.
  local window
  window=$(xwininfo -root -children | grep -F "'$input_name'" | awk '{print $1; exit}' || true)
  /usr/bin/python3 - "$window" <<'PY' || log "warning: the Properties window could not be resized"
import sys
from Xlib import display
x = display.Display()
window = x.create_resource_object("window", int(sys.argv[1], 16))
window.configure(x=0, y=0, width=760, height=1070)
x.sync()
PY
  sleep 3
  running "$obs_pid" || die "OBS Studio exited after the Properties window was opened"
  local shot=$HOME/screen.png
  timeout 30 import -window root "png:$shot" || die "the screenshot failed"

  # The groups below the first screenful: the mouse wheel over the list of
  # properties, a second shot, and with --crop the two side by side.
  local scrolled=$HOME/scrolled.png
  if [ -n "$window" ] && /usr/bin/python3 - <<'PY'
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

if [ "${SHOT_STAGE:-}" = inner ]; then
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
    -h|--help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$script"; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) positional+=("$1"); shift ;;
  esac
done
[ ${#positional[@]} -le 2 ] || die "too many arguments (OUTPUT.png and BUILD at most)"

# The defaults are in the repository; given paths are from the current folder.
out=$(realpath -m "${positional[0]:-$repo/docs/obs_properties.png}")
build=$(realpath -m "${positional[1]:-$repo/build}")

# OBS Studio's language: --lang, else LANG's (zh_CN.UTF-8 gives zh-CN), else en-US.
if [ -z "$lang" ]; then
  case ${LANG:-} in
    [a-z][a-z]_[A-Z][A-Z]*) lang=${LANG:0:2}-${LANG:3:2} ;;
    *) lang=en-US ;;
  esac
fi

[ -e "$build/obs-plugins/morvik-thanks/bin/64bit/morvik-thanks.so" ] ||
  die "no module in $build/obs-plugins/morvik-thanks/bin/64bit/: build the targets morvik-thanks and obs_module_assembly"
[ -d "$build/obs-plugins/morvik-thanks/data" ] || die "no $build/obs-plugins/morvik-thanks/data/"
[ "$(id -u)" -eq 0 ] || die "this needs root: for missing packages and for a network namespace of its own"

# Debian's packages that this needs, installed when missing: OBS Studio and
# its plug-ins (obs-websocket), the X server and xauth, ImageMagick for the
# screenshot, xwininfo, the websocket and X clients, the font the source is
# set to, Mesa's software renderer, ip and pgrep.
packages=(obs-studio obs-plugins xvfb xauth imagemagick x11-utils python3 python3-websocket python3-xlib
  fonts-wqy-microhei libgl1-mesa-dri iproute2 procps)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  log "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  timeout 300 apt-get update -qq
  timeout 600 apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

log "screenshot of OBS Studio's Properties window into $out (module from $build)"
# The inner stage is bounded: 150 s, then SIGTERM, then SIGKILL 20 s later.
# timeout puts it in a process group of its own, which a Ctrl-C at the
# terminal does not reach: this script passes an interrupt or SIGTERM on,
# and waits for the inner stage's cleanup.
SHOT_STAGE=inner SHOT_OUT=$out SHOT_BUILD=$build SHOT_LANG=$lang SHOT_CROP=$crop \
  timeout -k 20 150 unshare --net -- "$BASH" "$script" &
inner_pid=$!
trap 'kill -TERM "$inner_pid" 2>/dev/null || true' INT TERM HUP
rc=0
wait "$inner_pid" || rc=$?
while running "$inner_pid"; do
  rc=0
  wait "$inner_pid" || rc=$?
done
if [ "$rc" -eq 124 ]; then
  log "error: the inner stage did not end within 150 s"
fi
exit "$rc"
