#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the OBS Studio module's two installable forms: the Debian package
# (CPack), which runs on the machine's Mono, and the
# portable tarball for a user's plug-in folder (morvik-thanks/bin/64bit/ and
# morvik-thanks/data/, unpacked into ~/.config/obs-studio/plugins/), which
# carries its own Mono runtime, class libraries, libgdiplus and ICU
# (scripts/portable/carry_runtime.sh) and is checked to need nothing else
# but the libraries every desktop has (scripts/check_portable.sh). Built on
# Debian 12, whose glibc is the older. Neither may name a libobs library as
# needed: OBS Studio brings its own, under a name that depends on its build.
# lintian checks the package: an error or a warning fails the script, unless
# obs/packaging/lintian-overrides keeps it, with its reason. Both forms must
# hold the copyright file and the user guide (docs/user/) as it is.
#   scripts/package.sh [BUILD_DIR]      (default build)
# Prints the package's path, then the tarball's, on stdout; lintian's
# findings go to stderr.
set -eEuo pipefail
# A step that fails without a word of its own is named, with its line.
trap 'echo "package: error: \"$BASH_COMMAND\" failed (line $LINENO)" >&2' ERR
cd "$(dirname "$0")/.."

# stdout is only for the paths: what the set-up says goes to stderr.
bash scripts/setup.sh >&2
build=${1:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target package >&2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$(sed -n 's/^MORVIK_PACKAGE_FILE:INTERNAL=//p' "$build/CMakeCache.txt")
[ -f "$deb" ] || { echo "package: $deb was not made" >&2; exit 1; }
echo "package: lintian on $(basename "$deb"):" >&2
lintian --fail-on error,warning --info "$deb" >&2 ||
  { echo "package: lintian finds errors or warnings in $(basename "$deb") (above)" >&2; exit 1; }

# The user guide's pages and images, as the install rule takes them
# (obs/docs.cmake), to be found in both forms.
user_docs=""
if [ -d docs/user ]; then
  user_docs=$(cd docs/user && find . -type f \( -name '*.md' -o -path '*/images/*' ! -path '*/images/*/*' \) |
    sed 's|^\./||' | sort)
fi
# holds_docs FORM LISTING FOLDER: the listing of FORM's files (one a line)
# has FOLDER/copyright and, in FOLDER/user/, exactly the user guide.
holds_docs() {
  local form=$1 listing=$2 folder=$3 held
  grep -qFx "$folder/copyright" <<<"$listing" || { echo "package: $form holds no $folder/copyright" >&2; exit 1; }
  held=$(sed -n "s|^$folder/user/||p" <<<"$listing" | awk 'NF && !/\/$/' | sort)
  if [ "$held" != "$user_docs" ]; then
    echo "package: $form's $folder/user/ is not docs/user/'s pages and images (< docs/user, > $form):" >&2
    diff <(echo "$user_docs") <(echo "$held") >&2 || true
    exit 1
  fi
}
holds_docs "$(basename "$deb")" "$(dpkg-deb -c "$deb" | awk '{print $6}')" ./usr/share/doc/morvik-thanks

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dpkg-deb -x "$deb" "$stage/deb"
bash scripts/no_libobs_needed.sh "$stage"/deb/usr/lib/*/obs-plugins/morvik-thanks.so \
  "$stage"/deb/usr/lib/*/morvik-thanks/*.so >&2

# The portable tarball: the user plug-in install, stripped as the package's
# files are, with the runtime it carries, owned by root and in name order
# whoever builds it.
tarball=$(readlink -f "$build")/morvik-thanks-${version}-x86_64-linux-portable.tar.xz
cmake --install "$build" --component obs-module --prefix "$stage/tar/morvik-thanks" --strip >/dev/null
bash scripts/no_libobs_needed.sh "$stage"/tar/morvik-thanks/bin/64bit/*.so >&2
bash scripts/portable/carry_runtime.sh "$stage/tar/morvik-thanks"
tar -C "$stage/tar" --sort=name --owner=0 --group=0 --numeric-owner -cJf "$tarball" morvik-thanks
echo "package: $(basename "$tarball"): $(tar -tJf "$tarball" | wc -l) entries, $(du -k "$tarball" | cut -f1) KiB," \
  "$(du -sk "$stage/tar" | cut -f1) KiB unpacked" >&2
bash scripts/check_portable.sh "$tarball" >&2
holds_docs "$(basename "$tarball")" "$(tar -tJf "$tarball")" morvik-thanks/doc

echo "$deb"
echo "$tarball"
