#!/usr/bin/env bash
# The two .deb files as a user gets them: their names, fields and file lists; dependencies that
# are exactly the packages owning the libraries their programs load, and for the demos only
# packages, at versions, that every current Debian and Ubuntu release has; menu entries that
# validate and name a program and an icon it ships; icons that are the programs' own frames; the
# screen-saver entries and xscreensaver settings, whose every setting the program accepts; and a
# recorder that, unpacked, prints the same CRC lines as the build's. (deb_docs_check.sh checks
# what each says: lintian, the licence, the changelog, the manual pages, the AppStream metadata,
# --version and --help.)
#   tests/package/deb_check.sh DEMOS.deb RECORDER.deb NATIVE_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/package/common.sh
source "$here/common.sh"
deb=$1
recorder_deb=$2
native=$(cd "$3" && pwd)

version=$(project_version "$native")
tag=$(sed -n 's/^SORVEL_RELEASE_TAG:STRING=//p' "$native/CMakeCache.txt")
arch=$(dpkg-deb -f "$deb" Architecture)
[ -n "$arch" ] || fail "${deb##*/} has no Architecture"
# package_fields DEB PACKAGE VERSION: the file's name and its fields.
package_fields() {
  local name="${2}_${3}_${arch}.deb"
  [ "${1##*/}" = "$name" ] || fail "package name ${1##*/}, wanted $name"
  [ "$(dpkg-deb -f "$1" Package)" = "$2" ] && [ "$(dpkg-deb -f "$1" Version)" = "$3" ] &&
    [ "$(dpkg-deb -f "$1" Architecture)" = "$arch" ] && ok "fields: $2 $3 $arch" ||
    fail "fields: Package '$(dpkg-deb -f "$1" Package)', Version '$(dpkg-deb -f "$1" Version)', Architecture '$(dpkg-deb -f "$1" Architecture)'"
}
package_fields "$deb" sorvel "$version"
package_fields "$recorder_deb" sorvel-record "$version+$tag"
field() { dpkg-deb -f "$deb" "$1"; }
# The recorder came in the sorvel package up to 1.1.0: installing it over such a package must
# take the files over, not fail on them.
[ "$(dpkg-deb -f "$recorder_deb" Replaces)" = "sorvel (<< 1.2.0)" ] &&
  [ "$(dpkg-deb -f "$recorder_deb" Breaks)" = "sorvel (<< 1.2.0)" ] &&
  ok "sorvel-record replaces and breaks sorvel (<< 1.2.0), which held the recorder" ||
  fail "sorvel-record: Replaces '$(dpkg-deb -f "$recorder_deb" Replaces)', Breaks '$(dpkg-deb -f "$recorder_deb" Breaks)'"

# Every file, its mode and its owner; directories only as the paths that hold them.
# contents DEB WANTED_FILE: the package holds exactly the wanted files, and only 755 directories.
contents() {
  dpkg-deb -c "$1" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort -k3 >"$work/files"
  if diff -u "$2" "$work/files" >"$work/files.diff"; then
    ok "${1##*/}: $(wc -l <"$work/files") files with their modes"
  else
    fail "${1##*/}: contents differ from the expected list (- wanted, + in the package):"
    tail -n +3 "$work/files.diff" >&2
  fi
  dpkg-deb -c "$1" | awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print }' >"$work/dirs"
  [ -s "$work/dirs" ] && fail "${1##*/}: directories that are not 755: $(cat "$work/dirs")" || ok "${1##*/}: directories are 755"
}
cat >"$work/files.wanted" <<WANTED
-rwxr-xr-x root/root ./usr/games/sorvel
-rwxr-xr-x root/root ./usr/games/sorvel2
-rw-r--r-- root/root ./usr/share/applications/screensavers/sorvel.desktop
-rw-r--r-- root/root ./usr/share/applications/screensavers/sorvel2.desktop
-rw-r--r-- root/root ./usr/share/applications/sorvel.desktop
-rw-r--r-- root/root ./usr/share/applications/sorvel2.desktop
-rw-r--r-- root/root ./usr/share/doc/sorvel/README.md
-rw-r--r-- root/root ./usr/share/doc/sorvel/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/sorvel/copyright
-rw-r--r-- root/root ./usr/share/man/man6/sorvel.6.gz
-rw-r--r-- root/root ./usr/share/man/man6/sorvel2.6.gz
-rw-r--r-- root/root ./usr/share/metainfo/example.sorvel.sorvel.metainfo.xml
-rw-r--r-- root/root ./usr/share/metainfo/example.sorvel.sorvel2.metainfo.xml
-rw-r--r-- root/root ./usr/share/pixmaps/sorvel.png
-rw-r--r-- root/root ./usr/share/pixmaps/sorvel2.png
-rw-r--r-- root/root ./usr/share/xscreensaver/config/sorvel.xml
-rw-r--r-- root/root ./usr/share/xscreensaver/config/sorvel2.xml
WANTED
contents "$deb" "$work/files.wanted"
cat >"$work/files.wanted" <<WANTED
-rwxr-xr-x root/root ./usr/games/sorvel-record
-rw-r--r-- root/root ./usr/share/doc/sorvel-record/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/sorvel-record/copyright
-rw-r--r-- root/root ./usr/share/man/man6/sorvel-record.6.gz
WANTED
contents "$recorder_deb" "$work/files.wanted"

x="$work/x"
dpkg-deb -x "$deb" "$x"
xr="$work/xr"
dpkg-deb -x "$recorder_deb" "$xr"

# Depends must be what dpkg-shlibdeps computes: exactly the packages owning the libraries that
# the programs name, each with a lowest version (a hand-typed list rarely has either right).
# The owners are looked up where the libraries are: the machine's, or a cross build's sysroot.
multiarch=$(dpkg-architecture -a "$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
admindir=${SORVEL_DEB_ADMINDIR:-/var/lib/dpkg}
# depends_check DEB UNPACKED
depends_check() {
  local name=${1##*/} program soname owner computed
  for program in "$2"/usr/games/*; do
    objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }'
  done | sort -u >"$work/needed"
  while read -r soname; do
    owner=$(dpkg --admindir="$admindir" -S "*/$multiarch/$soname" 2>/dev/null | head -n 1 | cut -d: -f1) || true
    [ -n "$owner" ] && echo "$owner" || fail "$name: no installed package owns $soname"
  done <"$work/needed" >"$work/owners.all"
  sort -u "$work/owners.all" >"$work/owners"
  dpkg-deb -f "$1" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | sort -u >"$work/depends"
  if [ -s "$work/owners" ] && cmp -s "$work/owners" "$work/depends"; then
    ok "$name: Depends names exactly the owners of $(wc -l <"$work/needed") libraries: $(paste -sd' ' "$work/depends")"
  else
    fail "$name: Depends ($(paste -sd' ' "$work/depends")) is not the owners of the libraries the programs load ($(paste -sd' ' "$work/owners"))"
  fi
  # The lowest versions too are dpkg-shlibdeps' own: none where every symbol used is in every
  # version of the library (Xlib's XOpenDisplay, say), which a hand-typed list would not know.
  [ -n "${SORVEL_DEB_ADMINDIR:-}" ] && return 0 # a cross build's were computed against its sysroot
  rm -rf "$work/shlibdeps" && mkdir -p "$work/shlibdeps/debian"
  printf 'Source: sorvel\n\nPackage: sorvel\nArchitecture: any\n' >"$work/shlibdeps/debian/control"
  computed=$(cd "$work/shlibdeps" && dpkg-shlibdeps -O "$2"/usr/games/* 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
  [ -n "$computed" ] && [ "$computed" = "$(dpkg-deb -f "$1" Depends)" ] &&
    ok "$name: Depends is dpkg-shlibdeps' own, lowest versions included" ||
    fail "$name: Depends is not what dpkg-shlibdeps computes ($computed)"
  if [ "$arch" = "$(dpkg --print-architecture)" ]; then
    for program in "$2"/usr/games/*; do
      if ldd "$program" | grep -q 'not found'; then fail "${program##*/} misses libraries: $(ldd "$program" | grep 'not found')"; fi
    done
  fi
}
depends_check "$deb" "$x"
depends_check "$recorder_deb" "$xr"

# The demos' package is one for every current release: each package it depends on must have the
# same name, and a version at least as new as it asks, in the oldest of them, Ubuntu 22.04 (whose
# versions these are; Debian 12 and 13 and the later Ubuntu releases have newer ones).
oldest="libc6 2.35 libgcc-s1 12 libstdc++6 12 libsdl2-2.0-0 2.0.20 libx11-6 2:1.7.5 libxext6 2:1.3.4 libxrandr2 2:1.5.2"
shared=0
while read -r package relation wanted; do
  [ -n "$package" ] || continue
  have=$(echo "$oldest" | tr ' ' '\n' | paste - - -d' ' | awk -v p="$package" '$1 == p { print $2 }')
  if [ -z "$have" ]; then
    fail "sorvel depends on $package, which not every current release has by that name"
  elif [ -n "$wanted" ] && ! dpkg --compare-versions "$have" "${relation#(}" "${wanted%)}"; then
    fail "sorvel depends on $package $relation $wanted; Ubuntu 22.04 has $have"
  else
    shared=$((shared + 1))
  fi
done < <(field Depends | tr ',' '\n' | sed 's/^ *//' | sed 's/|.*//')
[ "$shared" -gt 0 ] && ok "sorvel's $shared dependencies are all in Ubuntu 22.04, Debian 12 and 13 under their names and versions"

# Menu entries: valid, one per demo, each starting a program in the package and showing an icon
# from it. The icons are each program's frame 300, as cmake/packaging.cmake draws them; an icon
# of the wrong program or frame differs from the recorder's own PNG.
desktops=$(find "$x/usr/share/applications" -maxdepth 1 -name '*.desktop' -printf '%f\n' 2>/dev/null | sort | paste -sd' ' || true)
[ "$desktops" = "sorvel.desktop sorvel2.desktop" ] || fail "menu entries: '$desktops', wanted sorvel.desktop and sorvel2.desktop"
for program in sorvel2 sorvel; do
  entry="$x/usr/share/applications/$program.desktop"
  [ -f "$entry" ] || { fail "$program has no menu entry"; continue; }
  if desktop-file-validate "$entry" >"$work/validate" 2>&1 && [ ! -s "$work/validate" ]; then
    ok "$program.desktop validates"
  else
    fail "$program.desktop does not validate: $(cat "$work/validate")"
  fi
  exec_line=$(sed -n 's/^Exec=//p' "$entry")
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ "$exec_line" = "$program" ] && [ -x "$x/usr/games/$exec_line" ] || fail "$program.desktop: Exec=$exec_line is not the packaged $program"
  [ "$icon" = "$program" ] && [ -f "$x/usr/share/pixmaps/$icon.png" ] || fail "$program.desktop: Icon=$icon is not a packaged icon"
  "$native/tools/sorvel-record" "$program" --frames 300 --png "$work/$program.png"
  if cmp -s "$work/$program.png" "$x/usr/share/pixmaps/$program.png"; then
    ok "$program's icon is its frame 300 ($(file -b "$work/$program.png" | cut -d, -f1-2))"
  else
    fail "$program's icon is not its frame 300"
  fi
done

# Screen savers: mate-screensaver and xfce4-screensaver list the entries in
# applications/screensavers (their category, Screensaver, is theirs: desktop-file-validate only
# hints that it is no main category), xscreensaver-settings reads config/<program>.xml. Every
# value a slider or a choice there can give, the packaged program must take.
for program in sorvel2 sorvel; do
  entry="$x/usr/share/applications/screensavers/$program.desktop"
  [ -f "$entry" ] || { fail "$program has no screen-saver entry"; continue; }
  desktop-file-validate "$entry" 2>&1 | grep -v 'hint: value "Screensaver;" for key "Categories"' >"$work/validate" || true
  [ -s "$work/validate" ] && fail "screensavers/$program.desktop does not validate: $(cat "$work/validate")"
  [ "$(sed -n 's/^Exec=//p' "$entry")" = "/usr/games/$program --root" ] &&
    [ "$(sed -n 's/^Categories=//p' "$entry")" = "Screensaver;" ] &&
    [ "$(sed -n 's/^OnlyShowIn=//p' "$entry")" = "MATE;XFCE;" ] &&
    ok "screensavers/$program.desktop: /usr/games/$program --root, for MATE and Xfce" ||
    fail "screensavers/$program.desktop: Exec, Categories or OnlyShowIn is not as wanted"
  settings="$x/usr/share/xscreensaver/config/$program.xml"
  [ -f "$settings" ] || { fail "$program has no xscreensaver settings"; continue; }
  # One line per setting, its fields apart by tabs: name, command, slider (id, arg, low, default,
  # high), option (its arg-set).
  if ! python3 - "$settings" >"$work/settings" 2>"$work/settings.err" <<'PARSE'
import sys
import xml.etree.ElementTree as tree
saver = tree.parse(sys.argv[1]).getroot()
assert saver.tag == "screensaver", saver.tag
print("name", saver.get("name"), sep="\t")
for element in saver.iter():
    if element.tag == "command":
        print("command", element.get("arg"), sep="\t")
    elif element.tag == "number" and element.get("type") == "slider":
        print("slider", *(element.get(key) for key in ("id", "arg", "low", "default", "high")),
              sep="\t")
    elif element.tag == "option":
        print("option", element.get("arg-set") or "", sep="\t")
PARSE
  then
    fail "config/$program.xml does not parse: $(cat "$work/settings.err")"
    continue
  fi
  before=$failures
  IFS=$'\t' read -r _ name < <(grep "^name" "$work/settings")
  IFS=$'\t' read -r _ _ cycle_arg low default high < <(grep -P "^slider\tcycle\t" "$work/settings")
  [ "$name" = "$program" ] && grep -qxP "command\t--root" "$work/settings" &&
    [ "${cycle_arg:-}" = "--cycle %" ] && [ "${default:-}" = 30 ] ||
    fail "config/$program.xml: name '$name', no --root command, or no cycle slider (--cycle %, default 30)"
  taken=0
  for value in "${low:-x}" "${default:-x}" "${high:-x}"; do
    ${SORVEL_EMULATOR:-} "$x/usr/games/$program" --root --cycle "$value" --help >/dev/null 2>&1 && taken=$((taken + 1)) ||
      fail "$program does not take the cycle slider's value --cycle $value"
  done
  while IFS=$'\t' read -r _ arg; do
    # shellcheck disable=SC2086 # an option's words, as xscreensaver splits them
    ${SORVEL_EMULATOR:-} "$x/usr/games/$program" --root $arg --help >/dev/null 2>&1 && taken=$((taken + 1)) ||
      fail "$program does not take the choice '$arg'"
  done < <(grep "^option" "$work/settings")
  [ "$failures" -eq "$before" ] && ok "config/$program.xml: $program --root, the cycle slider $low..$high (default $default); the program takes all $taken values"
done

# The packaged recorder, stripped and unpacked, against the build's own.
for program in sorvel2 sorvel; do
  "$native/tools/sorvel-record" "$program" --frames "$crc_frames" --keys "$crc_keys" --crc >"$work/$program.build"
  ${SORVEL_EMULATOR:-} "$xr/usr/games/sorvel-record" "$program" --frames "$crc_frames" --keys "$crc_keys" --crc >"$work/$program.deb" ||
    fail "the packaged recorder failed on $program"
  same_lines "$program: the packaged recorder prints the build's $crc_frames CRC lines" "$work/$program.build" "$work/$program.deb"
done
finish "the packages ${deb##*/} and ${recorder_deb##*/}"
