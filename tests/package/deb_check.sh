#!/usr/bin/env bash
# The .deb as a user gets it: its name, fields and file list; dependencies that are exactly the
# packages owning the libraries its programs load; menu entries that validate and name a program
# and an icon it ships; icons that are the programs' own frames; the screen-saver entries and
# xscreensaver settings, whose every setting the program accepts; and a recorder that, unpacked,
# prints the same CRC lines as the build's. (deb_docs_check.sh checks what it says: lintian, the
# licence, the changelog, the manual pages, the AppStream metadata, --version and --help.)
#   tests/package/deb_check.sh PACKAGE.deb NATIVE_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/package/common.sh
source "$here/common.sh"
deb=$1
native=$(cd "$2" && pwd)

version=$(project_version "$native")
arch=$(dpkg --print-architecture)
[ "${deb##*/}" = "sorvel_${version}_${arch}.deb" ] || fail "package name ${deb##*/}, wanted sorvel_${version}_${arch}.deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = sorvel ] && [ "$(field Version)" = "$version" ] &&
  [ "$(field Architecture)" = "$arch" ] && ok "fields: sorvel $version $arch" ||
  fail "fields: Package '$(field Package)', Version '$(field Version)', Architecture '$(field Architecture)'"

# Every file, its mode and its owner; directories only as the paths that hold them.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort -k3 >"$work/files"
cat >"$work/files.wanted" <<WANTED
-rwxr-xr-x root/root ./usr/games/sorvel
-rwxr-xr-x root/root ./usr/games/sorvel-record
-rwxr-xr-x root/root ./usr/games/sorvel2
-rw-r--r-- root/root ./usr/share/applications/screensavers/sorvel.desktop
-rw-r--r-- root/root ./usr/share/applications/screensavers/sorvel2.desktop
-rw-r--r-- root/root ./usr/share/applications/sorvel.desktop
-rw-r--r-- root/root ./usr/share/applications/sorvel2.desktop
-rw-r--r-- root/root ./usr/share/doc/sorvel/README.md
-rw-r--r-- root/root ./usr/share/doc/sorvel/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/sorvel/copyright
-rw-r--r-- root/root ./usr/share/man/man6/sorvel-record.6.gz
-rw-r--r-- root/root ./usr/share/man/man6/sorvel.6.gz
-rw-r--r-- root/root ./usr/share/man/man6/sorvel2.6.gz
-rw-r--r-- root/root ./usr/share/metainfo/example.sorvel.sorvel.metainfo.xml
-rw-r--r-- root/root ./usr/share/metainfo/example.sorvel.sorvel2.metainfo.xml
-rw-r--r-- root/root ./usr/share/pixmaps/sorvel.png
-rw-r--r-- root/root ./usr/share/pixmaps/sorvel2.png
-rw-r--r-- root/root ./usr/share/xscreensaver/config/sorvel.xml
-rw-r--r-- root/root ./usr/share/xscreensaver/config/sorvel2.xml
WANTED
if diff -u "$work/files.wanted" "$work/files" >"$work/files.diff"; then
  ok "contents: $(wc -l <"$work/files") files with their modes"
else
  fail "contents differ from the expected list (- wanted, + in the package):"
  tail -n +3 "$work/files.diff" >&2
fi
dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print }' >"$work/dirs"
[ -s "$work/dirs" ] && fail "directories that are not 755: $(cat "$work/dirs")" || ok "directories are 755"

x="$work/x"
dpkg-deb -x "$deb" "$x"

# Depends must be what dpkg-shlibdeps computes: exactly the packages owning the libraries that
# the programs name, each with a lowest version (a hand-typed list rarely has either right).
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for program in "$x"/usr/games/*; do
  objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }'
done | sort -u >"$work/needed"
while read -r soname; do
  owner=$(dpkg -S "*/$multiarch/$soname" 2>/dev/null | head -n 1 | cut -d: -f1) || true
  [ -n "$owner" ] && echo "$owner" || fail "no installed package owns $soname"
done <"$work/needed" >"$work/owners.all"
sort -u "$work/owners.all" >"$work/owners"
field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | sort -u >"$work/depends"
if [ -s "$work/owners" ] && cmp -s "$work/owners" "$work/depends"; then
  ok "Depends names exactly the owners of $(wc -l <"$work/needed") libraries: $(paste -sd' ' "$work/depends")"
else
  fail "Depends ($(paste -sd' ' "$work/depends")) is not the owners of the libraries the programs load ($(paste -sd' ' "$work/owners"))"
fi
# The lowest versions too are dpkg-shlibdeps' own: none where every symbol used is in every
# version of the library (Xlib's XOpenDisplay, say), which a hand-typed list would not know.
mkdir -p "$work/shlibdeps/debian"
printf 'Source: sorvel\n\nPackage: sorvel\nArchitecture: any\n' >"$work/shlibdeps/debian/control"
computed=$(cd "$work/shlibdeps" && dpkg-shlibdeps -O "$x"/usr/games/* 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$computed" ] && [ "$computed" = "$(field Depends)" ] &&
  ok "Depends is dpkg-shlibdeps' own, lowest versions included" ||
  fail "Depends is not what dpkg-shlibdeps computes ($computed)"
for program in "$x"/usr/games/*; do
  if ldd "$program" | grep -q 'not found'; then fail "${program##*/} misses libraries: $(ldd "$program" | grep 'not found')"; fi
done

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
    "$x/usr/games/$program" --root --cycle "$value" --help >/dev/null 2>&1 && taken=$((taken + 1)) ||
      fail "$program does not take the cycle slider's value --cycle $value"
  done
  while IFS=$'\t' read -r _ arg; do
    # shellcheck disable=SC2086 # an option's words, as xscreensaver splits them
    "$x/usr/games/$program" --root $arg --help >/dev/null 2>&1 && taken=$((taken + 1)) ||
      fail "$program does not take the choice '$arg'"
  done < <(grep "^option" "$work/settings")
  [ "$failures" -eq "$before" ] && ok "config/$program.xml: $program --root, the cycle slider $low..$high (default $default); the program takes all $taken values"
done

# The packaged recorder, stripped and unpacked, against the build's own.
for program in sorvel2 sorvel; do
  "$native/tools/sorvel-record" "$program" --frames "$crc_frames" --keys "$crc_keys" --crc >"$work/$program.build"
  "$x/usr/games/sorvel-record" "$program" --frames "$crc_frames" --keys "$crc_keys" --crc >"$work/$program.deb" ||
    fail "the packaged recorder failed on $program"
  same_lines "$program: the packaged recorder prints the build's $crc_frames CRC lines" "$work/$program.build" "$work/$program.deb"
done
finish "the .deb ${deb##*/}"
