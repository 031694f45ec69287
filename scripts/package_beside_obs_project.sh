#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The Debian package installed with apt beside the OBS project's own
# obs-studio package, on a bare Debian 12 (../shared/tools/fresh-machine.sh:
# a throw-away chroot). The OBS project's package carries libobs inside it,
# named libobs.so.30 and later, and declares Conflicts: libobs0; a stand-in
# of its version 31.0.0, made here with dpkg-deb from Debian's libobs0 files
# (libobs.so renamed libobs.so.31, with that SONAME), takes its place. It has
# no Depends: it is installed, never run.
#
# Passes when apt installs the module's package and everything it depends on
# without removing anything, obs-studio 31.0.0 stays installed, no libobs0
# comes in, and every library the module links resolves there. As a control,
# the same package with a Depends on libobs0 added (what dpkg-shlibdeps gave
# while the module named libobs.so.0) must be refused.
#
#   scripts/package_beside_obs_project.sh [PACKAGE.deb]
# Without a package it is built (scripts/package.sh). Needs root; the
# harness is FRESH_MACHINE (default: ../shared/tools/fresh-machine.sh beside
# the clone).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "package_beside_obs_project: $*" >&2; }
die() { say "error: $*"; exit 1; }

[ $# -le 1 ] || die "usage: scripts/package_beside_obs_project.sh [PACKAGE.deb]"
[ "$(id -u)" -eq 0 ] || die "this needs root: the bare Debian 12 is a chroot"
fresh=${FRESH_MACHINE:-$repo/../shared/tools/fresh-machine.sh}
if [ ! -f "$fresh" ]; then
  # A clone on its own has no harness beside it: the check cannot run.
  say "skipped: no fresh-machine harness at $fresh (set FRESH_MACHINE to it)"
  exit 0
fi
if [ $# -eq 1 ]; then
  deb=$(readlink -f "$1")
else
  deb=$(bash "$repo/scripts/package.sh" | head -n 1)
fi
[ -f "$deb" ] || die "no package $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The stand-in obs-studio 31.0.0, from the files of this machine's libobs0.
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
stand_in=$work/obs-studio
mkdir -p "$stand_in/DEBIAN" "$stand_in/usr/lib/$arch/obs-plugins"
dpkg-query -L libobs0 | while read -r path; do
  case $path in
    /usr/share/doc/*) ;;
    */libobs.so.*) ;;
    *) [ -d "$path" ] || install -D -m 644 "$path" "$stand_in$path" ;;
  esac
done
cp "$(readlink -f "/usr/lib/$arch/libobs.so.0")" "$stand_in/usr/lib/$arch/libobs.so.31"
patchelf --set-soname libobs.so.31 "$stand_in/usr/lib/$arch/libobs.so.31"
cat >"$stand_in/DEBIAN/control" <<CONTROL
Package: obs-studio
Version: 31.0.0
Architecture: amd64
Maintainer: MorvikThanks tests <morvik-thanks@localhost>
Conflicts: libobs0
Replaces: libobs0
Section: video
Priority: optional
Description: stand-in for the OBS project's OBS Studio 31 package
 Carries libobs inside itself as libobs.so.31 and conflicts with Debian's
 libobs0, as the OBS project's own package does.
CONTROL
dpkg-deb --root-owner-group -Zxz -b "$stand_in" "$work/obs-studio_31.0.0_amd64.deb" >/dev/null

# The control: the same package depending on libobs0 as well.
dpkg-deb -R "$deb" "$work/old"
sed -i 's/^Depends: /Depends: libobs0 (>= 29.0.2), /' "$work/old/DEBIAN/control"
dpkg-deb --root-owner-group -b "$work/old" "$work/morvik-thanks-needing-libobs0.deb" >/dev/null

# What runs on the bare machine, and the packages, committed into a
# throw-away repository: the harness clones a repository's commit.
cp "$deb" "$work/$(basename "$deb")"
cat >"$work/inside.sh" <<'INSIDE'
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
say() { echo "inside: $*" >&2; }
status() { dpkg-query -W -f='${Status} ${Version}' "$1" 2>/dev/null || true; }
apt-get update -qq
apt-get install -y -qq --no-install-recommends ./obs-studio_31.0.0_amd64.deb >/dev/null
say "obs-studio $(status obs-studio)"
if apt-get install -s -qq --no-remove ./morvik-thanks-needing-libobs0.deb >/dev/null 2>&1; then
  say "error: a package that depends on libobs0 was accepted beside obs-studio 31: the stand-in proves nothing"
  exit 1
fi
say "control: a package that depends on libobs0 is refused beside it"
deb=$(ls ./morvik-thanks_*_amd64.deb)
apt-get install -y -qq --no-remove --no-install-recommends "$deb" >/dev/null
say "morvik-thanks $(status morvik-thanks)"
[[ "$(status morvik-thanks)" == "install ok installed "* ]] || { say "error: morvik-thanks is not installed"; exit 1; }
[ "$(status obs-studio)" = "install ok installed 31.0.0" ] || { say "error: obs-studio 31.0.0 did not stay"; exit 1; }
if [[ "$(status libobs0)" == "install ok installed"* ]]; then
  say "error: libobs0 came in"
  exit 1
fi
module=$(dpkg-query -L morvik-thanks | grep '/obs-plugins/morvik-thanks.so$')
if ldd "$module" | grep 'not found'; then
  say "error: libraries of the module are missing"
  exit 1
fi
say "every library the module links is found: $(ldd "$module" | wc -l) of them"
INSIDE
(
  cd "$work"
  git init -q
  git add inside.sh ./*.deb
  git -c user.name=ci -c user.email=ci@localhost commit -q -m "packages for the install check"
)

say "installing $(basename "$deb") beside a stand-in obs-studio 31.0.0 on a bare Debian 12"
FRESH_TIMEOUT=${FRESH_TIMEOUT:-900} bash "$fresh" "$work" bash inside.sh
say "passed"
