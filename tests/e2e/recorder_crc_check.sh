#!/usr/bin/env bash
# Bit-exactness across systems: the Linux recorder and the Windows recorder under Wine must print
# the same CRC line for every frame of both programs, with keys that switch warps, schemes and the
# decay. Also keeps a few golden frames: their CRCs were first taken from the plain byte-at-a-time
# build and agree between Linux and Windows; a change in any of them is a change in the picture.
#   tests/e2e/recorder_crc_check.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR|none
# (none: the golden frames only, where another run compares Linux and Windows)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
native=${1:-$root/build/release}
windows=${2:-$root/build/mingw-i686}
frames=300
keys=20:space,40:left,41:left,60:space,80:up,81:up,82:up,100:space,120:down,150:space,151:space,200:space,220:right

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for program in sorvel2 sorvel; do
  "$native/tools/sorvel-record" "$program" --frames "$frames" --keys "$keys" --crc >"$work/$program.linux"
  [ "$(wc -l <"$work/$program.linux")" -eq "$frames" ] || { echo "FAIL: $program: short CRC list" >&2; exit 1; }
done

status=0
if [ "$windows" = none ]; then
  :
elif [ ! -f "$windows/tools/sorvel-record.exe" ]; then
  echo "SKIPPED: no Windows recorder at $windows/tools/sorvel-record.exe; Linux and Windows CRCs not compared" >&2
elif source "$root/scripts/wine-env.sh" "$windows" && wine_env_ready; then
  for program in sorvel2 sorvel; do
    wine "$windows/tools/sorvel-record.exe" "$program" --frames "$frames" --keys "$keys" --crc |
      tr -d '\r' >"$work/$program.windows"
    if cmp -s "$work/$program.linux" "$work/$program.windows"; then
      echo "ok: $program: $frames CRC lines identical on Linux and under Wine"
    else
      echo "FAIL: $program: CRC lines differ between Linux and Windows:" >&2
      diff "$work/$program.linux" "$work/$program.windows" | head -5 >&2
      status=1
    fi
  done
  wine_env_stop
fi

# Golden frames (frame number and CRC), regenerated only by running this script with
# SORVEL_WRITE_GOLDEN=1 after a deliberate change of the picture.
golden="$here/golden_crc.txt"
if [ "${SORVEL_WRITE_GOLDEN:-0}" = 1 ]; then
  for program in sorvel2 sorvel; do
    awk -v p="$program" '$1 % 50 == 0 || $1 == 1 { print p, $1, $2 }' "$work/$program.linux"
  done >"$golden"
  echo "wrote $golden"
elif [ ! -s "$golden" ]; then
  # A missing or empty file would check nothing; only SORVEL_WRITE_GOLDEN=1 may create it.
  echo "FAIL: golden frames missing or empty: $golden (SORVEL_WRITE_GOLDEN=1 writes it)" >&2
  status=1
else
  checked=0
  while read -r program frame crc; do
    if [ ! -f "$work/$program.linux" ]; then
      echo "FAIL: $golden names an unknown program: $program" >&2
      status=1
      continue
    fi
    got=$(awk -v f="$frame" '$1 == f { print $2 }' "$work/$program.linux")
    if [ "$got" != "$crc" ]; then
      echo "FAIL: $program frame $frame: CRC $got, golden $crc" >&2
      status=1
    fi
    checked=$((checked + 1))
  done <"$golden"
  for program in sorvel2 sorvel; do
    if ! grep -q "^$program " "$golden"; then
      echo "FAIL: $golden holds no frame of $program" >&2
      status=1
    fi
  done
  [ $status -eq 0 ] && echo "ok: $checked golden frames match"
fi
exit $status
