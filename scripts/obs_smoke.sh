#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The module inside the real OBS Studio, installed as a streamer installs it:
# builds the Debian package, installs it with apt (with what it depends on),
# starts Debian's OBS Studio on Xvfb with a throw-away home (no first-run
# wizard; obs-websocket on a free loopback port with a password; an empty
# scene collection) and drives it through obs-websocket with a stock client
# (scripts/obs/smoke_client.py on python3-websocket): the input kinds, a
# thanks source created hidden (its hint) then shown (the demo room's
# texts), its font size, colours and outline changed, the "Settings…"
# button with a form script, the source removed; then the controls as a
# streamer's tools drive them (scripts/obs/controls_client.py: the vendor
# requests and events of obs-websocket, a long thanks whole in the scene and
# through a colour filter, the test_gift button, the skip hotkey, bad
# requests, four clients sending at once, the figures of that load). OBS
# Studio is then told to quit by SIGINT; started again, it is sent SIGSEGV
# and must end by it as without the module; the package is removed again.
# Then the portable tarball is unpacked into a new throw-away home's plug-in
# folder (~/.config/obs-studio/plugins/), as a user installs it, and OBS
# Studio is started again for a shorter round: the input kind, the hint and
# the demo room's first text, a gift posted to the source's endpoint and
# thanked, the real settings form opened, the Mono runtime mapped in OBS
# Studio the tarball's own (printed, with the ICU mapped), a clean shut-down.
#
#   scripts/obs_smoke.sh [BUILD]      (default build)
#   scripts/obs_smoke.sh --tarball TARBALL
# The second form runs only the tarball's round, with a tarball made before
# (on a machine without Mono, say: scripts/portable_round.sh).
#
# The screenshots stay in BUILD/test-output/obs_smoke/ and
# BUILD/test-output/obs_smoke_tarball/. On failure the
# module's lines of OBS Studio's log and the end of the log are printed; OBS
# Studio is never left running. Needs root (packages, namespace).
set -euo pipefail

script=$(readlink -f "${BASH_SOURCE[0]}")
repo=$(cd "$(dirname "$script")/.." && pwd)
tag=obs_smoke
# shellcheck source=obs/session.sh
. "$repo/scripts/obs/session.sh"
input_name="答谢 smoke"

# ===========================================================================
# The inner stage, in the private network namespace; the screenshots go to
# SMOKE_OUT.
# ===========================================================================
inner() {
  session_begin
  local port password
  port=$(free_port)
  password=$(random_password)
  write_config en-US "$port" "$password"
  # What the "Settings…" button's form does in the full round: font size
  # 30, accepted. The short round opens the real form.
  printf 'int fontSize 30\nresult 0\n' >"$HOME/form.txt"
  local round=full form_script=("TAVREL_FORM=$HOME/form.txt")
  if [ -n "${SMOKE_TARBALL:-}" ]; then
    tar -xJf "$SMOKE_TARBALL" -C "$cfg/plugins"
    log "unpacked $(basename "$SMOKE_TARBALL") into $cfg/plugins"
    round=short form_script=()
  fi

  if [ "$round" = full ]; then
    # A streamer's Lua script, loaded by OBS Studio's scripts tool from the
    # scene collection, polls the thanks source's state from its timer.
    /usr/bin/python3 - "$cfg/basic/scenes/Shot.json" "$obs_scripts/state_poller.lua" <<'EOF'
import json, sys
path, script = sys.argv[1:3]
with open(path, encoding="utf-8") as file:
    collection = json.load(file)
collection["modules"] = {"scripts-tool": [{"path": script, "settings": {}}]}
with open(path, "w", encoding="utf-8") as file:
    json.dump(collection, file)
EOF
  fi

  use_recording_browser
  start_x
  log "Xvfb on $DISPLAY; starting OBS Studio (obs-websocket on 127.0.0.1:$port)"
  local started
  started=$(date +%T.%N)
  start_obs "${form_script[@]}"

  timeout 600 /usr/bin/python3 "$obs_scripts/smoke_client.py" "$port" "$password" "$obs_pid" "$SMOKE_OUT" "$round" ||
    die "a check against OBS Studio failed"
  if [ "$round" = full ]; then
    mkdir -p "$HOME/record"
    timeout 600 /usr/bin/python3 "$obs_scripts/controls_client.py" "$port" "$password" "$obs_pid" "$SMOKE_OUT" \
      "$HOME/record" || die "a check of the controls against OBS Studio failed"
    # Tools, Gift activity…: the page's address goes to the desktop's
    # browser, which records it; then Chromium uses the page.
    timeout 60 /usr/bin/python3 "$obs_scripts/open_tools_item.py" "$obs_pid" g "$HOME/opened-url.txt" >/dev/null ||
      die "OBS Studio's Tools menu did not open the gift activity page"
    timeout 600 /usr/bin/python3 "$obs_scripts/activity_client.py" "$port" "$password" "$obs_pid" "$SMOKE_OUT" \
      "$cfg/plugin_config/morvik-thanks/activity.json" "$HOME/opened-url.txt" ||
      die "a check of the gift activity page against OBS Studio failed"
  fi
  grep -q "\[morvik-thanks\] the gift activity page is served at http://127.0.0.1:" "$cfg"/logs/*.txt ||
    die "OBS Studio's log does not say where the gift activity page is served"
  grep -q "\[morvik-thanks\] version $SMOKE_VERSION loading" "$cfg"/logs/*.txt ||
    die "OBS Studio's log does not name the module's version $SMOKE_VERSION"
  log "OBS Studio's start-up took $(startup_seconds "$started" "$cfg"/logs/*.txt) s (to \"==== Startup complete\" in its log)"
  [ "$round" = full ] || runtime_is_the_tarballs

  # OBS Studio quits on SIGINT, shutting down as when its window is closed:
  # its modules are unloaded and the log ends with the leak count.
  log "SIGINT to OBS Studio"
  kill -INT "$obs_pid"
  wait_end "$obs_pid" 900 || die "OBS Studio did not quit within 90 s of SIGINT"
  wait "$obs_pid" 2>/dev/null || true
  obs_pid=""
  grep -q "Number of memory leaks: 0" "$cfg"/logs/*.txt ||
    die "OBS Studio did not shut down cleanly (no leak count of 0 in its log)"
  # obs-websocket is unloaded before the module: the vendor must be gone by then.
  grep -q 'obs-websocket vendor "morvik-thanks" dropped as OBS exits' "$cfg"/logs/*.txt ||
    die "the module did not drop its obs-websocket vendor when OBS Studio said it exits"
  [ "$round" = short ] || crash_stays_obs
  status=0
}

# The desktop's browser as xdg-open finds it (the default handler of http
# addresses in the throw-away home's mimeapps.list): a desktop entry that
# records the address it is given in $HOME/opened-url.txt.
use_recording_browser() {
  mkdir -p "$HOME/.local/share/applications" "$HOME/.config"
  cat >"$HOME/record-url.sh" <<'EOF'
#!/bin/sh
printf '%s\n' "$1" >"$HOME/opened-url.txt.new" && mv "$HOME/opened-url.txt.new" "$HOME/opened-url.txt"
EOF
  chmod +x "$HOME/record-url.sh"
  cat >"$HOME/.local/share/applications/record-url.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Record the address
Exec=$HOME/record-url.sh %u
MimeType=x-scheme-handler/http;x-scheme-handler/https;
EOF
  printf '[Default Applications]\nx-scheme-handler/http=record-url.desktop\nx-scheme-handler/https=record-url.desktop\n' \
    >"$HOME/.config/mimeapps.list"
}

# The Mono runtime and ICU files mapped in the running OBS Studio: Mono's
# must be the one the tarball carries, never a copy of the machine's.
# (ICU, linked by name, may be OBS Studio's own when it has loaded the same
# version before the module.)
runtime_is_the_tarballs() {
  local mapped
  mapped=$(awk '$6 ~ /lib(monosgen|icuuc)/ {print $6}' "/proc/$obs_pid/maps" | sort -u)
  log "mapped in OBS Studio: $(tr '\n' ' ' <<<"$mapped")"
  grep -q "^$cfg/plugins/morvik-thanks/.*/libmonosgen-2.0.so.1$" <<<"$mapped" ||
    die "OBS Studio does not run the Mono runtime the tarball carries"
  if grep "libmonosgen" <<<"$mapped" | grep -v "^$cfg/plugins/"; then
    die "OBS Studio maps a Mono runtime from outside the tarball"
  fi
}

# Seconds from $1 (a time of day, HH:MM:SS.N, when OBS Studio was started)
# to the "==== Startup complete" line of its log $2, by that line's time stamp.
startup_seconds() {
  awk -F'[: ]' -v started="$1" 'BEGIN {split(started, s, ":"); start = s[1] * 3600 + s[2] * 60 + s[3]}
    /==== Startup complete/ {t = $1 * 3600 + $2 * 60 + $3; if (t < start) t += 86400; printf "%.1f", t - start; exit}' "$2"
}

# A crash of OBS Studio's own stays OBS Studio's: started again (the module
# loaded and its runtime running), sent SIGSEGV, it ends by SIGSEGV (status
# 139) as it would without the module, with no report of the runtime's in
# its output and no crash file in its working folder.
crash_stays_obs() {
  local log_file="" i rc=0
  log "OBS Studio started again, to be sent SIGSEGV"
  rm -rf "$HOME/runtime"
  ulimit -c 0
  start_obs
  for ((i = 0; i < 600; i++)); do
    log_file=$(ls -t "$cfg"/logs/*.txt | head -n 1)
    grep -q "==== Startup complete" "$log_file" && break
    running "$obs_pid" || die "OBS Studio ended before its start-up was complete"
    sleep 0.1
  done
  grep -q "\[morvik-thanks\] version $SMOKE_VERSION loading" "$log_file" ||
    die "OBS Studio started again without the module"
  kill -SEGV "$obs_pid"
  wait_end "$obs_pid" 900 || die "OBS Studio still runs 90 s after SIGSEGV"
  wait "$obs_pid" 2>/dev/null || rc=$?
  obs_pid=""
  [ "$rc" -eq 139 ] || die "OBS Studio ended with status $rc after SIGSEGV, not 139"
  # OBS Studio's own log lines are left out (they may name the runtime).
  local report
  report=$(grep -vE '^(info|warning|error|debug): ' "$HOME/obs-output.txt" | grep -iE "mono|native crash|MorvikThanks:" || true)
  [ -z "$report" ] || die "OBS Studio's output after SIGSEGV holds the runtime's report: $(head -n 3 <<<"$report")"
  ! compgen -G "$HOME/mono_crash.*" >/dev/null || die "a crash file was left in OBS Studio's working folder"
  log "SIGSEGV ended OBS Studio with status 139 and no report of the runtime's"
}

if [ "${INNER_STAGE:-}" = inner ]; then
  inner
  exit 0
fi

# ===========================================================================
# The outer stage: packages, the Debian package built and installed, then the
# inner stage in a network namespace of its own, then the package removed.
# ===========================================================================
# tarball_round TARBALL OUT: the portable tarball's round, its screenshots
# in OUT.
tarball_round() {
  log "unpacking $(basename "$1") into a throw-away home's plug-in folder"
  SMOKE_OUT=$2
  rm -rf "$SMOKE_OUT"
  mkdir -p "$SMOKE_OUT"
  SMOKE_TARBALL=$(readlink -f "$1")
  export SMOKE_TARBALL SMOKE_OUT
  local rc=0
  (run_inner_stage 900 "$script") || rc=$?
  [ "$rc" -eq 0 ] && log "the tarball passed; screenshots in $SMOKE_OUT"
  return "$rc"
}

[ "$(id -u)" -eq 0 ] || die "this needs root: to install packages and for a network namespace of its own"
if [ "${1:-}" = --tarball ]; then
  [ $# -eq 2 ] && [ -f "$2" ] || die "usage: scripts/obs_smoke.sh --tarball TARBALL (an existing file)"
  # The version is the tarball's: morvik-thanks-VERSION-x86_64-linux-portable.tar.xz.
  SMOKE_VERSION=$(basename "$2" | sed -n 's/^morvik-thanks-\(.*\)-x86_64-linux-portable\.tar\.xz$/\1/p')
  [ -n "$SMOKE_VERSION" ] || die "$2 is not named morvik-thanks-VERSION-x86_64-linux-portable.tar.xz"
  export SMOKE_VERSION
  ensure_packages
  rc=0
  tarball_round "$2" "${TMPDIR:-/tmp}/obs_smoke_tarball" || rc=$?
  exit "$rc"
fi
[ $# -le 1 ] || die "usage: scripts/obs_smoke.sh [BUILD]"
build=$(realpath -m "${1:-$repo/build}")
if dpkg-query -W -f='${Status}' morvik-thanks 2>/dev/null | grep -q "install ok installed"; then
  die "the package morvik-thanks is installed on this machine already; remove it first (apt remove morvik-thanks)"
fi
ensure_packages

made=$(bash "$repo/scripts/package.sh" "$build")
deb=$(sed -n 1p <<<"$made")
tarball=$(sed -n 2p <<<"$made")
log "installing $(basename "$deb")"
removal() {
  log "removing the package again"
  DEBIAN_FRONTEND=noninteractive dpkg --purge morvik-thanks >/dev/null || log "warning: dpkg --purge morvik-thanks failed"
}
trap removal EXIT
DEBIAN_FRONTEND=noninteractive timeout 600 apt-get install -y -qq --no-install-recommends "$deb" >/dev/null ||
  die "apt-get install $deb failed"

out=$build/test-output/obs_smoke
rm -rf "$out"
mkdir -p "$out"
export SMOKE_OUT=$out
SMOKE_VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
export SMOKE_VERSION
rc=0
(run_inner_stage 1800 "$script") || rc=$?
removal
trap - EXIT
[ "$rc" -eq 0 ] || exit "$rc"
log "the package passed; screenshots in $out"

# The tarball, with the package gone: the module can come only from the
# user plug-in folder, and its runtime only from the tarball, though this
# machine has Mono.
tarball_round "$tarball" "$build/test-output/obs_smoke_tarball" || rc=$?
exit "$rc"
