#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks that a portable tarball runs on any Linux desktop with OBS Studio:
# every ELF file in it may need only libraries that the tarball carries,
# found through that file's own run path inside the tarball, or that
# scripts/portable/system_libraries.txt names; no run path leads out of the
# tarball; the module has the Mono runtime it carries beside it (without
# it the module would fall back on whatever Mono the machine has); and its
# doc/ folder holds the README, the licence and the copyright file, which
# names every library carried, with the carried libraries' own copyright
# files in doc/licenses/. Prints
# the newest glibc and libstdc++ symbol versions any file needs: the oldest
# glibc (and GCC runtime) the tarball runs on.
#   scripts/check_portable.sh TARBALL
# Exits 1 naming every fault found.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
say() { echo "check_portable: $*" >&2; }

[ $# -eq 1 ] || { say "usage: scripts/check_portable.sh TARBALL"; exit 2; }
tarball=$1
[ -f "$tarball" ] || { say "error: no tarball $tarball"; exit 1; }
mapfile -t system_libraries < <(sed 's/#.*//' "$here/portable/system_libraries.txt" | awk 'NF {print $1}')
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
tar -xJf "$tarball" -C "$root" || { say "error: $tarball does not unpack"; exit 1; }

faults=0
fault() { say "FAULT: $*"; faults=$((faults + 1)); }
inside() { case $(readlink -m "$1") in "$root" | "$root"/*) return 0 ;; esac; return 1; }
is_system_library() {
  local name
  for name in "${system_libraries[@]}"; do [ "$name" = "$1" ] && return 0; done
  return 1
}
dynamic() { readelf -d "$1" 2>/dev/null; }

elf_count=0
carried=()
glibc_versions=$(mktemp -p "$root")
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  elf_count=$((elf_count + 1))
  shown=${file#"$root"/}
  # The project's own files: the module and its libMorvik* libraries.
  case $(basename "$file") in morvik-thanks.so | libMorvik*) ;; *) carried+=("$shown") ;; esac
  dir=$(dirname "$file")
  # The run path's folders, $ORIGIN being the file's own.
  runpath=$(dynamic "$file" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p' | head -n 1)
  folders=()
  IFS=: read -r -a entries <<<"$runpath"
  for entry in "${entries[@]}"; do
    [ -n "$entry" ] || continue
    folder=${entry//\$\{ORIGIN\}/$dir}
    folder=${folder//\$ORIGIN/$dir}
    if inside "$folder"; then
      folders+=("$folder")
    else
      fault "$shown has the run path entry $entry, which leads out of the tarball (the loader would look there first)"
    fi
  done
  for name in $(dynamic "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    found=""
    for folder in "${folders[@]}"; do
      [ -e "$folder/$name" ] && inside "$(readlink -f "$folder/$name")" && { found=$folder/$name; break; }
    done
    [ -n "$found" ] && continue
    is_system_library "$name" && continue
    fault "$shown needs $name, which is neither in the tarball on its run path (${runpath:-none}) nor on the list of system libraries (scripts/portable/system_libraries.txt)"
  done
  readelf -V --wide "$file" 2>/dev/null | grep -oE 'Name: (GLIBC|GLIBCXX)_[0-9.]+' | sed "s|Name: ||; s|\$| $shown|" >>"$glibc_versions" || true
done < <(find "$root" -type f -print0)

# The module and the runtime it carries: lacking it, the module would load
# the machine's Mono.
mapfile -t modules < <(find "$root" -path '*/bin/64bit/morvik-thanks.so')
[ ${#modules[@]} -eq 1 ] || fault "the tarball holds ${#modules[@]} modules morvik-thanks/bin/64bit/morvik-thanks.so, not one"
for module in "${modules[@]}"; do
  runtime=$(dirname "$module")/morvik-runtime
  for part in lib/libmonosgen-2.0.so.1 lib/mono/4.5/mscorlib.dll etc/mono/config etc/mono/4.5/machine.config lib/libgdiplus.so.0; do
    if [ ! -f "$runtime/$part" ]; then
      fault "the module carries no ${runtime#"$root"/}/$part: it would load the machine's Mono (or none) instead of its own"
    fi
  done
done

# The documents beside the module's folders, and the licence of each library
# carried: a library added to what the tarball carries needs its paragraph.
for module in "${modules[@]}"; do
  doc=$(dirname "$(dirname "$(dirname "$module")")")/doc
  for part in README.md LICENSE GPL-2 copyright; do
    [ -f "$doc/$part" ] || fault "the tarball has no ${doc#"$root"/}/$part"
  done
  [ -n "$(find "$doc/licenses" -name '*.copyright' 2>/dev/null)" ] ||
    fault "the tarball has no ${doc#"$root"/}/licenses/*.copyright: the carried libraries' copyright files are missing"
  [ -f "$doc/copyright" ] || continue
  # Named without the version after .so, which the release built on sets.
  for file in "${carried[@]}"; do
    name=$(basename "$file")
    grep -qF "${name%%.so*}.so" "$doc/copyright" ||
      fault "${doc#"$root"/}/copyright names no licence for $file, which the tarball carries"
  done
done

[ "$elf_count" -gt 0 ] || fault "no ELF file in the tarball"
newest() { grep "^$1_" "$glibc_versions" | sort -V -k1,1 | tail -n 1; }
say "$elf_count ELF files; newest glibc symbol version needed: $(newest GLIBC) ; newest libstdc++ one: $(newest GLIBCXX)"
if [ "$faults" -gt 0 ]; then
  say "$(basename "$tarball") is not portable: $faults faults"
  exit 1
fi
say "$(basename "$tarball") is portable: every library needed is carried or on the system list"
