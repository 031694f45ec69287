#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The portable tarball on a bare Debian machine that has never had Mono
# (../shared/tools/fresh-machine.sh: a throw-away chroot; FRESH_SUITE=trixie
# for Debian 13): only OBS Studio and what the smoke test drives it with are
# installed, no package named like Mono may be there, and then the tarball's
# round of scripts/obs_smoke.sh runs (--tarball): the tarball unpacked into a
# throw-away home's ~/.config/obs-studio/plugins/, the source drawn, a gift
# posted to its endpoint thanked, the real settings form opened, the Mono
# runtime and ICU mapped in OBS Studio printed (Mono's must be the
# tarball's), OBS Studio quit cleanly.
#   scripts/portable_round.sh [TARBALL]
# Without a tarball it is built (scripts/package.sh, on this Debian 12). Needs
# root; the harness is FRESH_MACHINE (default: ../shared/tools/fresh-machine.sh
# beside the clone).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "portable_round: $*" >&2; }
die() { say "error: $*"; exit 1; }

[ $# -le 1 ] || die "usage: scripts/portable_round.sh [TARBALL]"
[ "$(id -u)" -eq 0 ] || die "this needs root: the bare machine is a chroot"
fresh=${FRESH_MACHINE:-$repo/../shared/tools/fresh-machine.sh}
if [ ! -f "$fresh" ]; then
  # A clone on its own has no harness beside it: the round cannot run.
  say "skipped: no fresh-machine harness at $fresh (set FRESH_MACHINE to it)"
  exit 0
fi
if [ $# -eq 1 ]; then
  tarball=$(readlink -f "$1")
else
  tarball=$(bash "$repo/scripts/package.sh" | sed -n 2p)
fi
[ -f "$tarball" ] || die "no tarball $tarball"

# What runs on the bare machine (the smoke test's scripts) and the tarball,
# committed into a throw-away repository: the harness clones a repository's
# commit.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts"
cp -r "$repo/scripts/obs_smoke.sh" "$repo/scripts/obs" "$work/scripts/"
rm -rf "$work/scripts/obs/__pycache__"
cp "$tarball" "$work/"
cat >"$work/inside.sh" <<'INSIDE'
set -euo pipefail
say() { echo "inside: $*" >&2; }
export DEBIAN_FRONTEND=noninteractive
say "$(. /etc/os-release && echo "$PRETTY_NAME"), glibc $(ldd --version | head -n 1 | awk '{print $NF}')"
apt-get update -qq
# The same packages the smoke test installs when missing (ensure_packages in
# scripts/obs/session.sh: xz-utils among them, which every desktop has to
# unpack the tarball with and a minimal base lacks), and nothing of Mono's.
apt-get install -y -qq --no-install-recommends obs-studio obs-plugins xvfb xauth x11-utils python3 \
  python3-websocket python3-xlib fonts-wqy-microhei libgl1-mesa-dri iproute2 procps xz-utils >/dev/null
say "obs-studio $(dpkg-query -W -f='${Version}' obs-studio) installed"
# Mono's packages are named mono-* and libmono*; a monospaced font's name
# may end in -mono too (fonts-dejavu-mono on Debian 13), which is shown but
# is no Mono. No runtime file of Mono's may be anywhere either.
say "dpkg -l | grep -i mono: $(dpkg -l | grep -i mono | awk '{print $2}' | tr '\n' ' ')"
mono_packages=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" {print $2}' | grep -iE '^(mono-|libmono)' || true)
mono_files=$(find / -xdev \( -name 'libmonosgen-2.0.so*' -o -name mscorlib.dll \) -not -path '/root/*' 2>/dev/null || true)
if [ -n "$mono_packages$mono_files" ]; then
  say "error: Mono is on this machine ($mono_packages $mono_files): the round would not show that the tarball carries its own"
  exit 1
fi
say "no package and no runtime file of Mono's on this machine"
bash scripts/obs_smoke.sh --tarball ./morvik-thanks-*-x86_64-linux-portable.tar.xz
INSIDE
(
  cd "$work"
  git init -q
  git add .
  git -c user.name=ci -c user.email=ci@localhost commit -q -m "the portable tarball and the smoke test's scripts"
)

say "$(basename "$tarball") on a bare ${FRESH_SUITE:-bookworm} without Mono"
FRESH_TIMEOUT=${FRESH_TIMEOUT:-900} bash "$fresh" "$work" bash inside.sh
say "passed"
