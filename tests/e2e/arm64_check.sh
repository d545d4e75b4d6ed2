#!/usr/bin/env bash
# The 64-bit ARM build against the native one, its programs run under qemu-user (the build's
# emulated/ scripts, which start them through CMAKE_CROSSCOMPILING_EMULATOR):
#   - the recorder's CRC of every frame of both programs over 400 frames, with the keys that
#     switch warps, schemes and the decay, equal to the native recorder's; the golden frames
#   - --time and SORVEL_CPU name the plain C++ path "portable", not an x86 level
#   - sorvel2 in a window on a virtual X server: the fire shows, and Escape ends it with exit 0
#   tests/e2e/arm64_check.sh NATIVE_BUILD_DIR ARM64_BUILD_DIR
# A missing Xvfb, xdotool or C compiler skips the window check with a loud SKIPPED line.
set -uo pipefail
cd "$(dirname "$0")/../.."
native=${1:-build/release}
arm64=${2:-build/linux-arm64}
frames=400
# As tests/e2e/recorder_crc_check.sh presses them.
keys=20:space,40:left,41:left,60:space,80:up,81:up,82:up,100:space,120:down,150:space,151:space,200:space,220:right

# shellcheck source=tests/e2e/check_common.sh
source tests/e2e/check_common.sh
# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh

summary() {
  echo "arm64: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
}

recorder=$arm64/emulated/sorvel-record
for program in "$native/tools/sorvel-record" "$recorder" "$arm64/emulated/sorvel2"; do
  [ -x "$program" ] || { fail "$program is not built"; summary; exit; }
done
file -L "$arm64/tools/sorvel-record" | grep -q "ARM aarch64" ||
  fail "$arm64/tools/sorvel-record is not an arm64 program: $(file -b -L "$arm64/tools/sorvel-record")"

# --- the frames ---
for program in sorvel2 sorvel; do
  "$native/tools/sorvel-record" "$program" --frames $frames --keys "$keys" --crc >"$work/$program.native"
  started=$(now)
  if ! "$recorder" "$program" --frames $frames --keys "$keys" --crc >"$work/$program.arm64"; then
    fail "$program: the arm64 recorder failed"
  elif [ "$(wc -l <"$work/$program.native")" -ne $frames ]; then
    fail "$program: the native recorder printed $(wc -l <"$work/$program.native") CRC lines, not $frames"
  elif cmp -s "$work/$program.native" "$work/$program.arm64"; then
    pass "$program: $frames CRC lines identical on arm64 (qemu, $(elapsed "$started") s) and natively"
  else
    fail "$program: CRC lines differ between arm64 and the native build:"
    diff "$work/$program.native" "$work/$program.arm64" | head -5
  fi
done
golden=0
while read -r program frame crc; do
  if [ "$(awk -v f="$frame" '$1 == f { print $2 }' "$work/$program.arm64")" = "$crc" ]; then
    golden=$((golden + 1))
  else
    fail "$program frame $frame: not the golden CRC $crc on arm64"
  fi
done <tests/e2e/golden_crc.txt
[ "$golden" -gt 0 ] && [ "$golden" -eq "$(wc -l <tests/e2e/golden_crc.txt)" ] &&
  pass "the $golden golden frames on arm64"

# --- the level names ---
timed=$("$recorder" sorvel2 --frames 20 --time --quiet 2>&1)
if [[ "$timed" == "sorvel2: "*" us per frame over 20 frames (portable)" ]]; then
  pass "--time names the path that runs: $timed"
else
  fail "--time: '$timed', not '... (portable)'"
fi
said=$(SORVEL_CPU=portable "$recorder" sorvel --frames 2 --crc 2>&1 >/dev/null)
refused=$(SORVEL_CPU=sse2 "$recorder" sorvel --frames 2 --crc 2>&1 >/dev/null)
if [ -z "$said" ] && [[ "$refused" == "SORVEL_CPU=sse2 is not portable, the one level of this build"* ]]; then
  pass "SORVEL_CPU=portable is taken; SORVEL_CPU=sse2 is named as no level of this build"
else
  fail "SORVEL_CPU: portable gave '$said', sse2 gave '$refused'"
fi

# --- sorvel2 in a window ---
window_check() {
  local tool
  for tool in Xvfb xdotool cc; do
    command -v "$tool" >/dev/null 2>&1 || { skip "arm64 sorvel2 in a window: $tool is not installed (scripts/deps.sh test installs it)"; return; }
  done
  if ! cc -std=c11 -Wall -Wextra -Werror -O1 -o "$work/x_window" tests/e2e/x_window.c -lpng -lX11 2>"$work/cc.log"; then
    cat "$work/cc.log"
    skip "arm64 sorvel2 in a window: the X11 or PNG headers are missing (libx11-dev, libpng-dev)"
    return
  fi
  xvfb_session_start || { fail "Xvfb did not start"; return; }
  local started window="" lit
  started=$(now)
  "$arm64/emulated/sorvel2" >"$work/sorvel2.log" 2>&1 &
  program_pid=$!
  # qemu starts a program in a second or two; the window is given 60 s on a loaded machine.
  if ! window=$(find_visible_window '^Sorvel2' 60); then
    fail "arm64 sorvel2: no window within 60 s"
    sed -n 1,20p "$work/sorvel2.log"
    wait_exit 1
    return
  fi
  pass "arm64 sorvel2: window open after $(elapsed "$started") s"
  # The fountain fills a tenth of the window within seconds; qemu draws slower: up to 20 s.
  for _ in $(seq 40); do
    lit=$("$work/x_window" lit "$window") && [ "${lit% *}" -ge $((${lit#* } / 10)) ] && break
    sleep 0.5
  done
  if [ -n "$lit" ] && [ "${lit% *}" -ge $((${lit#* } / 10)) ]; then
    pass "arm64 sorvel2: the fire shows (${lit% *} of ${lit#* } pixels lit, title \"$(xdotool getwindowname "$window")\")"
  else
    fail "arm64 sorvel2: the window stays dark (${lit:-its pixels cannot be read})"
  fi
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key Escape 2>/dev/null
  ends_cleanly "arm64 sorvel2" Escape 20 "$work/sorvel2.log"
}
window_check
summary
