#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Makes an installed user plug-in folder (cmake --install --component
# obs-module) carry what has no name to count on across Linux desktops, from
# this Debian machine's packages:
#   bin/64bit/morvik-runtime/lib/   Mono's runtime (libmonosgen-2.0.so.1), the
#                                   native helpers its class libraries
#                                   P/Invoke (libmono-native,
#                                   libMonoPosixHelper), libgdiplus for the
#                                   settings form, and what they need
#   bin/64bit/morvik-runtime/lib/mono/gac/   the class libraries the logic
#                                   assemblies reference, directly or not
#                                   (with links to them in lib/mono/4.5/)
#   bin/64bit/morvik-runtime/etc/mono/       Mono's config and 4.5 machine.config
#   bin/64bit/                      beside the module, the libraries it needs
#                                   (ICU, libmicrohttpd)
#   doc/licenses/                   the copyright file of each Debian package
#                                   a carried file comes from, as
#                                   SOURCE.copyright, and the full text of
#                                   every licence those files refer to in
#                                   /usr/share/common-licenses/ (doc/copyright
#                                   names them all)
# Every library outside scripts/portable/system_libraries.txt that a carried
# file needs is carried too, and every carried file and the module's own get
# the run path $ORIGIN, so each finds the others in its own folder.
#   scripts/portable/carry_runtime.sh PLUGIN_DIR
set -eEuo pipefail
# A step that fails without a word of its own is named, with its line.
trap 'echo "carry_runtime: error: \"$BASH_COMMAND\" failed (line $LINENO)" >&2' ERR
here=$(cd "$(dirname "$0")" && pwd)
say() { echo "carry_runtime: $*" >&2; }
die() { say "error: $*"; exit 1; }

[ $# -eq 1 ] || die "usage: scripts/portable/carry_runtime.sh PLUGIN_DIR"
plugin=$(readlink -f "$1")
bin=$plugin/bin/64bit
runtime=$bin/morvik-runtime
licenses=$plugin/doc/licenses
[ -f "$bin/morvik-thanks.so" ] || die "$bin/morvik-thanks.so is missing: install the module there first"
mapfile -t system_libraries < <(sed 's/#.*//' "$here/system_libraries.txt" | awk 'NF {print $1}')

is_system_library() {
  local name
  for name in "${system_libraries[@]}"; do
    [ "$name" = "$1" ] && return 0
  done
  return 1
}

# Copies the copyright file of the Debian package that installed file $1 into
# doc/licenses/, named after its source package, once per source package.
carry_license_of() {
  local file=$1 package source candidate
  # Debian 12 merges /lib into /usr/lib: a package may have installed the file
  # under either name.
  for candidate in "$file" "$(readlink -f "$file")" "${file#/usr}" "$(readlink -f "$file" | sed 's|^/usr||')"; do
    package=$(dpkg-query -S "$candidate" 2>/dev/null | sed -n "1s/: .*//p" | cut -d, -f1) && [ -n "$package" ] && break
  done
  [ -n "$package" ] || die "no Debian package installed $file: its licence cannot be carried"
  package=${package%%:*}
  # shellcheck disable=SC2016 # dpkg-query's field, not the shell's
  source=$(dpkg-query -W -f='${source:Package}' "$package")
  [ -e "$licenses/$source.copyright" ] && return 0
  [ -f "/usr/share/doc/$package/copyright" ] || die "$package, which installed $file, has no /usr/share/doc/$package/copyright"
  install -D -m 644 "/usr/share/doc/$package/copyright" "$licenses/$source.copyright"
}

needed_of() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }

# Copies library $1 (followed through links) into folder $2 as $3 (default:
# its own file name), with the run path $ORIGIN, then what it needs.
carry() {
  local source=$1 folder=$2 name=${3:-$(basename "$1")}
  [ -e "$source" ] || die "$source is missing on this machine (scripts/setup.sh installs the packages the tarball takes it from)"
  [ -e "$folder/$name" ] && return 0
  install -m 644 "$(readlink -f "$source")" "$folder/$name"
  carry_license_of "$source"
  # shellcheck disable=SC2016 # $ORIGIN is the loader's, not the shell's
  patchelf --set-rpath '$ORIGIN' "$folder/$name"
  carry_needs "$folder/$name" "$folder"
}

# Carries into folder $2 each library that file $1 needs and the machine's
# list does not name, where this machine's loader finds it for that file.
carry_needs() {
  local file=$1 folder=$2 name path
  for name in $(needed_of "$file"); do
    is_system_library "$name" && continue
    [ -e "$folder/$name" ] && continue
    # awk reads ldd's whole list: leaving at the match would end ldd by
    # SIGPIPE on a long list, which pipefail takes for a failure.
    path=$(ldd "$file" | awk -v n="$name" '$1 == n && $3 ~ /^\// && !found {print $3; found = 1}')
    [ -n "$path" ] || die "$name, which $(basename "$file") needs, is not found on this machine"
    carry "$path" "$folder" "$name"
  done
}

mkdir -p "$runtime/lib/mono/4.5" "$runtime/etc/mono/4.5"
# Mono's runtime and native helpers, at the names the module maps them by.
carry /usr/lib/libmonosgen-2.0.so.1 "$runtime/lib"
carry /usr/lib/libmono-native.so "$runtime/lib"
carry /usr/lib/libMonoPosixHelper.so "$runtime/lib"
carry /usr/lib/libgdiplus.so.0 "$runtime/lib"

# The class libraries: what the logic assembly and the forms helper reference.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mcs -nologo -out:"$work/assembly_closure.exe" "$here/assembly_closure.cs"
mapfile -t assemblies < <(find "$plugin/data" -name '*.dll')
[ ${#assemblies[@]} -gt 0 ] || die "no assembly under $plugin/data"
mono "$work/assembly_closure.exe" /usr/lib/mono/4.5 "${assemblies[@]}" >"$work/closure" ||
  die "the class libraries the assemblies reference are not all on this machine"
# Laid out as Mono's packages lay them out: Mono looks for an assembly that
# another references (mscorlib aside) in the global assembly cache, lib/mono/
# gac/NAME/VERSION__TOKEN/, never in lib/mono/4.5/, where links to those files
# stand for the profile's libraries.
while read -r library; do
  if [ -L "$library" ]; then
    target=$(readlink "$library")
    install -D -m 644 "$(readlink -f "$library")" "$(realpath -m "$runtime/lib/mono/4.5/$target")"
    ln -s "$target" "$runtime/lib/mono/4.5/$(basename "$library")"
  else
    install -m 644 "$library" "$runtime/lib/mono/4.5/$(basename "$library")"
  fi
  carry_license_of "$library"
done <"$work/closure"

# Mono's configuration: its native-library maps, and the 4.5 profile's
# machine.config.
install -m 644 /etc/mono/config "$runtime/etc/mono/config"
install -m 644 /etc/mono/4.5/machine.config "$runtime/etc/mono/4.5/machine.config"
carry_license_of /etc/mono/config

# The module and its own libraries: found beside each other, and what they
# need beyond the machine's list (ICU) carried beside them.
for file in "$bin"/*.so; do
  # shellcheck disable=SC2016 # $ORIGIN is the loader's, not the shell's
  patchelf --set-rpath '$ORIGIN' "$file"
done
for file in "$bin"/*.so; do
  carry_needs "$file" "$bin"
done
# The licences the copyright files refer to, where a machine without Debian's
# common-licenses has them.
grep -ohE '/usr/share/common-licenses/[A-Za-z0-9.+_-]*[A-Za-z0-9+]' "$licenses"/*.copyright | sort -u |
  while read -r text; do
    if [ -f "$text" ]; then install -m 644 "$text" "$licenses/$(basename "$text")"; fi
  done
say "carried $(find "$runtime/lib" -maxdepth 1 -name '*.so*' | wc -l) runtime libraries, $(wc -l <"$work/closure") class libraries" \
  "and $(find "$bin" -maxdepth 1 -name '*.so*' | wc -l) files beside the module, with the licences of" \
  "$(find "$licenses" -name '*.copyright' | wc -l) Debian source packages"
