#!/usr/bin/env bash
# What a .deb (the demos' or the recorder's) tells its users and Debian's tools: lintian finds no error and no warning; the
# copyright file is in Debian's machine-readable format and holds LICENSE; the changelog parses,
# its newest release is the package's version (the recorder's with its release after it) with
# every item of CHANGELOG.md's; each program in
# /usr/games has a manual page that man renders without a groff warning, naming every option of
# its --help, the keys, the exit status and an example; the AppStream metadata validates against
# the packaged menu entries (the demos'); and the unpacked programs answer --version and --help.
#   tests/package/deb_docs_check.sh PACKAGE.deb NATIVE_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=tests/package/common.sh
source "$here/common.sh"
deb=$1
version=$(project_version "$2")
package=$(dpkg-deb -f "$deb" Package)
package_version=$(dpkg-deb -f "$deb" Version)
case "$package" in
sorvel) [ "$package_version" = "$version" ] || fail "sorvel's version is $package_version, not $version" ;;
sorvel-record) [ "${package_version%+*}" = "$version" ] || fail "sorvel-record's version $package_version is not $version+<release>" ;;
*) fail "unknown package $package" ;;
esac
x="$work/x"
dpkg-deb -x "$deb" "$x"
doc="$x/usr/share/doc/$package"

# lintian, as Debian runs it on every upload; what it reports below a warning is shown.
if lintian --fail-on error,warning --display-info "$deb" >"$work/lintian" 2>"$work/lintian.err"; then
  ok "lintian: no error, no warning; informational tags: $(cut -d' ' -f3 "$work/lintian" | sort | uniq -c | awk '{ printf "%s%s x%s", sep, $2, $1; sep = ", " }')"
else
  fail "lintian reports errors or warnings:"
  grep -v '^I: ' "$work/lintian" >&2 || true
  grep -v 'root privileges' "$work/lintian.err" >&2 || true
fi

# The copyright file: Debian's format 1.0, one paragraph for every file, LICENSE's holder and text.
copyright="$doc/copyright"
if [ -f "$copyright" ]; then
  holder=$(sed -n 's/^Copyright (c) //p' "$root/LICENSE")
  sed -n '/^License: Expat$/,$p' "$copyright" | tail -n +2 | sed 's/^ //; s/^\.$//' >"$work/license.deb"
  sed -n '/^Permission/,$p' "$root/LICENSE" >"$work/license.top"
  if [ "$(head -n 1 "$copyright")" != "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ]; then
    fail "copyright: the first line is not Debian's machine-readable Format line"
  elif ! grep -qx "Files: \*" "$copyright" || ! grep -qxF "Copyright: $holder" "$copyright"; then
    fail "copyright: no 'Files: *' paragraph with 'Copyright: $holder'"
  elif ! [ -s "$work/license.top" ] || ! cmp -s "$work/license.top" "$work/license.deb"; then
    fail "copyright: the Expat licence text is not LICENSE's"
  else
    ok "copyright: machine-readable, $holder, LICENSE's text"
  fi
else
  fail "the package has no /usr/share/doc/$package/copyright"
fi

# The changelog: Debian's format, the package's version, and the newest release's items all there.
if [ -f "$doc/changelog.gz" ]; then
  gzip -dc "$doc/changelog.gz" >"$work/changelog"
  if ! dpkg-parsechangelog -l "$work/changelog" >"$work/parsed" 2>"$work/parse.err"; then
    fail "changelog.gz does not parse: $(cat "$work/parse.err")"
  else
    top=$(sed -n 's/^Version: //p' "$work/parsed")
    items=$(grep -c '^  \* ' <(dpkg-parsechangelog -l "$work/changelog" -S Changes) || true)
    wanted=$(awk '/^## / { n++ } n == 1 && /^- / { c++ } END { print c + 0 }' "$root/CHANGELOG.md")
    [ "$top" = "$package_version" ] || fail "changelog: the newest release is '$top', not $package_version"
    [ "$items" -gt 0 ] && [ "$items" = "$wanted" ] ||
      fail "changelog: $items items in the newest release, CHANGELOG.md has $wanted"
    [ "$top" = "$package_version" ] && [ "$items" = "$wanted" ] && ok "changelog.gz: release $top, its $items items"
  fi
else
  fail "the package has no /usr/share/doc/$package/changelog.gz"
fi

# Manual pages: one per program, warnings from groff and man both count as failures.
for program_path in "$x"/usr/games/*; do
  program=${program_path##*/}
  page="$x/usr/share/man/man6/$program.6.gz"
  [ -f "$page" ] || { fail "$program has no manual page in /usr/share/man/man6"; continue; }
  gzip -dc "$page" | groff -ww -z -man >"$work/groff" 2>&1 || true
  MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings=w -l "$page" >"$work/$program.man" 2>"$work/man.err" ||
    echo "man -l failed" >>"$work/man.err"
  if [ -s "$work/groff" ] || [ -s "$work/man.err" ]; then
    fail "$program.6: groff or man complains: $(cat "$work/groff" "$work/man.err" | head -3)"
    continue
  fi
  before=$failures
  for section in NAME SYNOPSIS OPTIONS "EXIT STATUS" EXAMPLES; do
    grep -q "^$section\$" "$work/$program.man" || fail "$program.6 has no $section section"
  done
  grep -qi '^ *keys' "$work/$program.man" || fail "$program.6 does not describe the keys"
  grep -q "manual page for" "$work/$program.man" && fail "$program.6: NAME is help2man's placeholder"
  ${SORVEL_EMULATOR:-} "$program_path" --help >"$work/help"
  for option in $(grep -o -- '--[a-z][a-z-]*' "$work/help" | sort -u); do
    grep -q -- "$option" "$work/$program.man" || fail "$program.6 lacks $option, which --help lists"
  done
  [ "$failures" -eq "$before" ] && ok "$program.6: renders cleanly; NAME, SYNOPSIS, OPTIONS, keys, EXIT STATUS, EXAMPLES; every option of --help"
done

# AppStream: the metadata and the menu entries it names, validated together as installed.
if [ "$package" = sorvel-record ]; then
  [ -d "$x/usr/share/metainfo" ] && fail "the recorder's package has AppStream metadata"
elif appstreamcli validate-tree --no-net "$x" >"$work/appstream" 2>&1; then
  ok "appstreamcli validate-tree: $(grep -c 'metainfo.xml$' "$work/appstream") metainfo files valid ($(grep -o 'infos: [0-9]*' "$work/appstream" || echo 'no remarks'))"
else
  fail "AppStream metadata does not validate: $(cat "$work/appstream")"
fi
[ "$package" = sorvel ] && for program in sorvel2 sorvel; do
  metainfo="$x/usr/share/metainfo/example.sorvel.$program.metainfo.xml"
  [ -f "$metainfo" ] || { fail "$program has no AppStream metadata"; continue; }
  launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
  binary=$(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo")
  licence=$(sed -n 's:.*<project_license>\(.*\)</project_license>.*:\1:p' "$metainfo")
  [ -f "$x/usr/share/applications/$launchable" ] && [ -x "$x/usr/games/$binary" ] && [ "$licence" = MIT ] &&
    ok "$program's metadata: menu entry $launchable, program $binary, licence $licence" ||
    fail "$program's metadata: launchable '$launchable', binary '$binary', licence '$licence'"
done

# The programs, unpacked: --version is "NAME VERSION" with exit 0, --help lists --version.
for program_path in "$x"/usr/games/*; do
  program=${program_path##*/}
  said=$(${SORVEL_EMULATOR:-} "$program_path" --version 2>&1) && code=0 || code=$?
  [ "$said" = "$program $version" ] && [ "$code" -eq 0 ] && ok "$program --version: '$said'" ||
    fail "$program --version: '$said', exit $code; wanted '$program $version', exit 0"
  ${SORVEL_EMULATOR:-} "$program_path" --help >"$work/help" 2>&1 && grep -q -- "--version" "$work/help" ||
    fail "$program --help failed or does not list --version"
done
finish "what the .deb ${deb##*/} says"
