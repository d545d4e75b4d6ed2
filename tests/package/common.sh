# shellcheck shell=bash
# Shared by the package checks: a scratch directory removed at exit, failures counted, the
# project version read from a build directory, and the keys every CRC comparison uses.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
ok() { echo "ok: $*"; }

# project_version BUILD_DIR: the version CMake was configured with.
project_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}

# 300 frames with keys that switch warps, schemes and the decay, as the cross-system check uses.
crc_frames=300
crc_keys=20:space,40:left,41:left,60:space,80:up,81:up,82:up,100:space,120:down,150:space,151:space,200:space,220:right

# same_lines NAME EXPECTED_FILE GOT_FILE: compares two CRC listings of $crc_frames lines.
same_lines() {
  if [ "$(wc -l <"$2")" -ne "$crc_frames" ]; then
    fail "$1: the reference has $(wc -l <"$2") CRC lines, not $crc_frames"
  elif cmp -s "$2" "$3"; then
    ok "$1"
  else
    fail "$1: CRC lines differ:"
    diff "$2" "$3" | head -5 >&2
  fi
}

finish() {
  if [ "$failures" -gt 0 ]; then
    echo "FAILED: $1: $failures check(s) failed" >&2
    exit 1
  fi
  echo "ok: $1: every check passed"
}
