#!/usr/bin/env bash
# The resources of the Windows programs, read from the built .exe files with icoutils' wrestool:
# each demo's icon is its committed icon (packaging/windows/<program>.ico, itself held to the
# recorder's frame by scripts/windows-icons.py --check), every .exe has version information with
# the project's version, the product's name, a description and LICENSE's copyright line, and a
# manifest that asks for no elevation and names the Windows versions it knows, the demos' also
# for each monitor's DPI.
#   tests/windows/resources_check.sh VERSION SORVEL2.EXE SORVEL.EXE SORVEL-RECORD.EXE
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if ! command -v wrestool >/dev/null 2>&1; then
  echo "SKIPPED: the .exe files' resources: wrestool is not installed (scripts/deps.sh test installs icoutils)"
  exit 0
fi
[ $# -eq 4 ] || { echo "usage: $0 VERSION SORVEL2.EXE SORVEL.EXE SORVEL-RECORD.EXE" >&2; exit 2; }
version=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
ok() { echo "PASS: $*"; }
fail() { failures=$((failures + 1)); echo "FAIL: $*"; }

copyright=$(grep -m1 '^Copyright ' "$root/LICENSE")
for exe in "$@"; do
  name=$(basename "$exe" .exe)
  if [ ! -f "$exe" ]; then
    fail "$name: $exe is not built"
    continue
  fi
  wrestool -l "$exe" >"$work/list" 2>&1
  # The icon: a group of images, extracted as an .ico, byte for byte the committed one (wrestool
  # writes a few bytes more after it).
  if [ "$name" = sorvel-record ]; then
    grep -q -- "--type=14" "$work/list" && fail "$name has an icon; it opens no window"
  elif wrestool -x --type=14 "$exe" >"$work/$name.ico" 2>/dev/null && [ -s "$work/$name.ico" ] &&
    cmp -s -n "$(stat -c %s "$root/packaging/windows/$name.ico")" "$work/$name.ico" \
      "$root/packaging/windows/$name.ico"; then
    ok "$name.exe's icon is packaging/windows/$name.ico ($(grep -c -- '--type=3 ' "$work/list") sizes)"
  else
    fail "$name.exe's icon is missing or not packaging/windows/$name.ico"
  fi

  # Version information: its strings are UTF-16; with the zero bytes gone they read as text,
  # each name followed by its value.
  wrestool -x --raw --type=16 "$exe" 2>/dev/null | tr -d '\000' >"$work/version"
  before=$failures
  for pair in "ProductName:Sorvel" "FileVersion:$version" "ProductVersion:$version" \
    "LegalCopyright:$copyright" "OriginalFilename:$name.exe" "FileDescription:Sorvel"; do
    grep -aqF "${pair%%:*}${pair#*:}" "$work/version" ||
      fail "$name.exe's version information has no ${pair%%:*} \"${pair#*:}...\""
  done
  [ "$failures" -eq "$before" ] &&
    ok "$name.exe's version information: Sorvel $version, \"$copyright\""

  # The manifest: well-formed, never elevated, the Windows versions from Vista to 11.
  wrestool -x --raw --type=24 "$exe" >"$work/manifest" 2>/dev/null
  before=$failures
  python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$work/manifest" \
    2>/dev/null || fail "$name.exe's manifest is missing or not well-formed XML"
  grep -q 'requestedExecutionLevel level="asInvoker"' "$work/manifest" ||
    fail "$name.exe's manifest does not ask to run as its invoker"
  for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
    4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
    8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    grep -q "supportedOS Id=\"{$os}\"" "$work/manifest" || fail "$name.exe's manifest lacks the Windows version {$os}"
  done
  dpi=""
  if [ "$name" != sorvel-record ]; then
    dpi=", aware of each monitor's DPI"
    grep -q '>PerMonitorV2, PerMonitor</dpiAwareness>' "$work/manifest" &&
      grep -q '>true/pm</dpiAware>' "$work/manifest" ||
      fail "$name.exe's manifest does not declare it aware of each monitor's DPI"
  fi
  [ "$failures" -eq "$before" ] && ok "$name.exe's manifest: asInvoker, Windows Vista to 11$dpi"
done
echo "resources: $failures failed"
[ "$failures" -eq 0 ]
