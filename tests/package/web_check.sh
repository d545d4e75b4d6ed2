#!/usr/bin/env bash
# The web archive as a user gets it: its name; one folder of world-readable static files only (and
# the licence), with every local link and script of its pages found in it; and, unpacked, the
# build's own page byte for byte, which the headless Chromium page check has run (title, picture,
# keys, Escape), or else a page that the page check runs itself.
#   tests/package/web_check.sh PACKAGE.tar.gz WASM_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=tests/package/common.sh
source "$here/common.sh"
archive=$1
wasm=$(cd "$2" && pwd)

version=$(project_version "$wasm")
top="sorvel-$version-web"
[ "${archive##*/}" = "$top.tar.gz" ] || fail "package name ${archive##*/}, wanted $top.tar.gz"

tar -tvzf "$archive" >"$work/listing"
awk '$1 !~ /^d/ { print $1, $6 }' "$work/listing" >"$work/files"
outside=$(awk '{ print $2 }' "$work/files" | grep -v "^$top/[^/]*$" || true)
[ -z "$outside" ] && ok "every file is at the top of $top/" || fail "files outside $top/ or in subfolders: $outside"
unreadable=$(awk '$1 !~ /^-rw-r--r--$/ { print $2 }' "$work/files")
[ -z "$unreadable" ] && ok "every file is a plain world-readable file" || fail "files that are not plain 644 files: $unreadable"
not_static=$(awk '{ print $2 }' "$work/files" | grep -Ev '\.(html|css|js|wasm|png|svg|ico)$' | grep -vx "$top/LICENSE.txt" || true)
[ -z "$not_static" ] || fail "files a web server need not serve: $not_static"
for file in index.html sorvel2.html sorvel2.js sorvel2.wasm sorvel.html sorvel.js sorvel.wasm LICENSE.txt; do
  grep -q " $top/$file$" "$work/files" || fail "$file is missing"
done

mkdir -p "$work/unpacked"
tar -xzf "$archive" -C "$work/unpacked"
page="$work/unpacked/$top"
cmp -s "$page/LICENSE.txt" "$root/LICENSE" && ok "LICENSE.txt is the tree's LICENSE" ||
  fail "LICENSE.txt is not the tree's LICENSE"
# Every local href and src of the pages, and every .wasm the scripts load, is in the archive.
links=$(cat "$page"/*.html | grep -o '\(href\|src\)="[^"]*"' | sed 's/^[a-z]*="//; s/"$//' |
  grep -Ev '^(data:|https?:|mailto:|#)' | sed 's/[?#].*//' | sort -u)
links="$links $(cat "$page"/*.js | grep -o '[A-Za-z0-9_.-]*\.wasm' | sort -u)"
missing=""
for link in $links; do [ -f "$page/$link" ] || missing+=" $link"; done
[ -z "$missing" ] && ok "every local link and .wasm of the pages is in the archive ($(echo $links | wc -w))" ||
  fail "the pages name files the archive lacks:$missing"

# The build's own page has just been through the headless Chromium page check; an archive whose
# every file is the build's, byte for byte, runs as that page did. Only an archive that differs
# (or a build that has no page) is run through the page check itself.
differing=""
for file in "$page"/*; do
  name=${file##*/}
  [ "$name" = LICENSE.txt ] && continue
  cmp -s "$file" "$wasm/web/$name" || differing+=" $name"
done
if [ -z "$differing" ]; then
  ok "every file of the page is the build's own, which the page check ran in headless Chromium"
else
  echo "the archive's$differing differ from $wasm/web: the page check runs on the unpacked archive"
  # The page check serves DIR/web; the unpacked folder is given to it under that name.
  mv "$page" "$work/unpacked/web"
  if "$root/tests/web/page_check.sh" "$work/unpacked" >"$work/page" 2>&1; then
    cat "$work/page"
    grep -q '^SKIPPED' "$work/page" || ok "the unpacked page runs in headless Chromium"
  else
    cat "$work/page" >&2
    fail "the page check failed on the unpacked archive"
  fi
fi
finish "the web archive ${archive##*/}"
