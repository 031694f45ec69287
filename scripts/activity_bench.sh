#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The gift activity page under a big room's load, in Debian's OBS Studio on
# Xvfb with the release tarball in a throw-away home's plug-in folder
# (scripts/obs/activity_load.py): GIFTS gifts in one minute to two thanks
# sources, with no page open and then with the page open in Chromium; the
# render frames OBS skipped each time, the events the page's stream
# delivered, the rows it keeps and how fast it answered meanwhile. A
# benchmark, not a test: run it by hand on a quiet machine.
#
#   scripts/activity_bench.sh [--gifts GIFTS] [BUILD]     (default 10000, build/)
# Needs root (packages, network namespace).
set -euo pipefail

script=$(readlink -f "${BASH_SOURCE[0]}")
repo=$(cd "$(dirname "$script")/.." && pwd)
tag=activity_bench
# shellcheck source=obs/session.sh
. "$repo/scripts/obs/session.sh"
input_name="答谢 load A"

inner() {
  session_begin
  local port password
  port=$(free_port)
  password=$(random_password)
  write_config en-US "$port" "$password"
  tar -xJf "$BENCH_TARBALL" -C "$cfg/plugins"
  start_x
  start_obs
  timeout 900 /usr/bin/python3 "$obs_scripts/activity_load.py" "$port" "$password" "$obs_pid" \
    "$cfg/plugin_config/morvik-thanks/activity.json" "$BENCH_GIFTS" || die "the page did not keep up"
  status=0
}

if [ "${INNER_STAGE:-}" = inner ]; then
  inner
  exit 0
fi

gifts=10000 build=$repo/build
while [ $# -gt 0 ]; do
  case $1 in
    --gifts) gifts=$2; shift 2 ;;
    -*) die "usage: scripts/activity_bench.sh [--gifts GIFTS] [BUILD]" ;;
    *) build=$(realpath -m "$1"); shift ;;
  esac
done
[[ $gifts =~ ^[0-9]+$ && $gifts -ge 10 && $gifts -le 60000 ]] || die "the gifts are a whole number from 10 to 60000"
[ "$(id -u)" -eq 0 ] || die "this needs root: for packages and a network namespace of its own"
ensure_packages chromium chromium-driver python3-selenium
tarball=$(bash "$repo/scripts/package.sh" "$build" | sed -n 2p)
export BENCH_TARBALL=$tarball BENCH_GIFTS=$gifts
log "$gifts gifts in a minute to two sources, without and with the gift activity page open"
run_inner_stage 1200 "$script"
