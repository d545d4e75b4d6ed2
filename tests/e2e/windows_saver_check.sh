#!/usr/bin/env bash
# End-to-end checks of the Windows screen savers under Wine, on a virtual X server of their own
# (Xvfb at 1920 x 1080 with openbox, started here and ended on exit), with the Windows build's
# sorvel2.scr (sorvel2.exe under its screen saver's name; both programs share the backend):
#   - --help: the .scr lists its /s, /p and /c and the .exe only what Windows takes; --root is
#     refused with one line and exit code 2
#   - /p with a handle that is no window ends at once with exit code 1 and opens nothing; /p with
#     a real window (tests/windows/preview_host.cpp, as the settings' small monitor): the saver's
#     disabled child window fills its 152 x 112 client area, the program runs in it, and it ends
#     with exit code 0 as soon as that window goes away
#   - /c shows the settings dialog, and Escape closes it with exit code 0 and nothing saved; with
#     no argument (as Explorer's "Configure" runs it) 45 typed and OK save 45 in the registry
#   - /s covers the screen, the picture at 4x, centred, black around it, and takes the saved 45
#     (SORVEL_VERBOSE says what it took); the first report of the pointer and a jiggle of two
#     pixels do not end it, a move of 100 does, with exit code 0; in a second run a key does
#   - sorvel.exe --cycle 2 in a window: the platform presses Space for it (its fire turns green)
# It prints how long each end took and the CPU that /s costs at the default pace.
#
# usage: tests/e2e/windows_saver_check.sh [WINDOWS_BUILD_DIR]      (default build/mingw-i686)
# A missing tool (Xvfb, openbox, xdotool, a C compiler with the X11 headers, Wine) skips the checks
# with a loud SKIPPED line; a missing program is a failure.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
build=${1:-build/mingw-i686}

# Seconds allowed for a window to appear (a Wine start), and for a program to end once told.
appear_wait=15
end_wait=1

# shellcheck source=tests/e2e/check_common.sh
source tests/e2e/check_common.sh
summary() {
  echo "windows saver: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
}


# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh

for tool in Xvfb xdotool openbox cc; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    skip "the Windows screen-saver checks: $tool is not installed (scripts/deps.sh test installs it)"
    summary
    exit
  fi
done
for file in apps/sorvel2.scr apps/sorvel.exe tests/preview_host.exe; do
  if [ ! -f "$build/$file" ]; then
    fail "$build/$file is not built"
    summary
    exit
  fi
done
if ! cc -std=c11 -Wall -Wextra -Werror -O1 -o "$work/x_window" tests/e2e/x_window.c -lpng -lX11 2>"$work/cc.log"; then
  cat "$work/cc.log"
  skip "the Windows screen-saver checks: the X11 or PNG headers and libraries are missing"
  summary
  exit
fi
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh "$build"
if ! wine_env_ready; then
  skip "the Windows screen-saver checks (no usable Wine)"
  summary
  exit
fi
wine_used=1
if ! xvfb_session_start 1920x1080 || ! xvfb_session_window_manager; then
  fail "no 1920x1080 screen with openbox"
  summary
  exit
fi
echo "virtual X server on display $DISPLAY (1920 x 1080, openbox)"
saver="$build/apps/sorvel2.scr"
key='HKCU\Software\Sorvel\sorvel2'
wine reg delete "$key" /f >/dev/null 2>&1

# start_program LOG COMMAND...: runs it in the background as program_pid.
start_program() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  program_pid=$!
}



# ends_within LABEL WHAT: the program ends within end_wait seconds with exit code 0.
ends_within() { ends_cleanly "$1" "$2" "$end_wait"; }

# --- --help and the options Windows does not take ---
out=$(wine "$saver" --help 2>&1 | tr -d '\r')
if [[ "$out" == "Usage: sorvel2.scr /s | /p HWND | /c[:HWND]"* ]] && [[ "$out" == *"/p HWND"* ]] &&
  [[ "$out" != *"--root"* ]] && [[ "$out" != *"--window-id"* ]]; then
  pass "sorvel2.scr --help: its screen-saver arguments, no X11 options"
else
  fail "sorvel2.scr --help: \"$(echo "$out" | head -n 2)\""
fi
out=$(wine "$build/apps/sorvel2.exe" --help 2>&1 | tr -d '\r')
if [[ "$out" == *"--cycle N"* ]] && [[ "$out" == *"--fullscreen"* ]] && [[ "$out" != *"--root"* ]] &&
  [[ "$out" != *"--window-id"* ]] && [[ "$out" != *"XSCREENSAVER"* ]]; then
  pass "sorvel2.exe --help: --cycle and the window's options, no X11 options"
else
  fail "sorvel2.exe --help lists X11 options or lacks --cycle"
fi
for option in --root "--window-id 5"; do
  # shellcheck disable=SC2086 # the option is one word or two
  out=$(wine "$build/apps/sorvel2.exe" $option 2>&1 | tr -d '\r')
  code=${PIPESTATUS[0]}
  if [ "$code" -eq 2 ] && [ "$(echo "$out" | wc -l)" -eq 1 ] && [[ "$out" == "sorvel2: ${option% *} "* ]]; then
    pass "sorvel2.exe $option: exit code 2 and \"$out\""
  else
    fail "sorvel2.exe $option: exit code $code and \"$out\""
  fi
done

# --- /p ---
started=$(now)
start_program "$work/p.log" wine "$saver" /p 12345
if wait_exit 5 && [ "$exit_code" -eq 1 ] && [ "$(wc -l <"$work/p.log")" -eq 1 ] &&
  [ -z "$(xdotool search --name '^Sorvel2' 2>/dev/null)" ]; then
  pass "/p 12345, no window: exit code 1 after $(elapsed "$started") s, no window, \"$(tr -d '\r' <"$work/p.log")\""
else
  fail "/p 12345, no window: exit code ${exit_code:-none (still running)}, \"$(tr -d '\r' <"$work/p.log")\""
fi
wine "$build/tests/preview_host.exe" "$saver" 152 112 1.5 2>&1 | tr -d '\r' >"$work/host.log"
child=$(sed -n 's/^child //p' "$work/host.log")
title=$(sed -n 's/^title //p' "$work/host.log")
ended=$(sed -n 's/^ended //p' "$work/host.log")
style=$((16#$(echo "${child:-x 0 x}" | awk '{ print $(NF - 1) }')))
if [[ "$child" == "Demo Test 152x112 "*" same-process" ]] && [ $((style & 0x58000000)) -eq $((0x58000000)) ]; then
  pass "/p HWND: a disabled child window of the program fills the host's 152x112 client area"
else
  fail "/p HWND: the host found \"${child:-no child}\" (wanted Demo Test 152x112, WS_CHILD|WS_VISIBLE|WS_DISABLED)"
  cat "$work/host.log"
fi
if [[ "$title" =~ ^Sorvel2-\ [0-9]+FPS\ Prop-\ 2$ ]]; then
  pass "/p HWND: the program runs in the preview (\"$title\")"
else
  fail "/p HWND: the preview's title is \"$title\""
fi
if [ -n "$ended" ] && [ "${ended#* }" -eq 0 ] && [ "${ended% *}" -le $((end_wait * 1000)) ]; then
  pass "/p HWND: ends with exit code 0, ${ended% *} ms after the host's window went away"
else
  fail "/p HWND: after the host's window went away: \"${ended:-still running}\" (ms, exit code)"
fi

# --- /c and no argument: the settings ---
# settings LABEL KEYS...: the dialog with the cycle's field focused, the keys typed into it.
settings() {
  local label=$1 window
  shift
  start_program "$work/c.log" wine "$saver" "${@:2}"
  if ! window=$(find_visible_window '^Sorvel2 screen saver$' "$appear_wait"); then
    fail "$label: no dialog \"Sorvel2 screen saver\""
    wait_exit 1
    return 1
  fi
  pass "$label: the settings dialog opens"
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool type "$1"
}
if settings "/c" 7 /c; then
  xdotool key Escape
  ends_within "/c" "Escape"
  if wine reg query "$key" >/dev/null 2>&1; then
    fail "/c: Escape saved settings: $(wine reg query "$key" 2>&1 | tr -d '\r' | grep REG_ | paste -sd' ')"
  else
    pass "/c: Escape saved nothing ($key does not exist)"
  fi
fi
if settings "no argument" 45; then
  xdotool key Return
  ends_within "no argument, 45 typed" "OK (Return)"
  saved=$(wine reg query "$key" /v CycleSeconds 2>&1 | tr -d '\r' | awk '/CycleSeconds/ { print $3 }')
  if [ "$saved" = 0x2d ]; then
    pass "no argument: OK saved CycleSeconds 45 in $key"
  else
    fail "no argument: CycleSeconds is \"$saved\" in $key, not 0x2d (45)"
  fi
fi
xdotool keyup Escape Return 2>/dev/null

# --- /s ---
# saver_window LOG: starts /s, verbose; sets `window`, or fails.
saver_window() {
  window=""
  export SORVEL_VERBOSE=1
  start_program "$1" wine "$saver" /s
  unset SORVEL_VERBOSE
  window=$(find_visible_window '^Sorvel2' "$appear_wait") || { fail "/s: no window"; sed -n 1,10p "$1"; wait_exit 1; return 1; }
}
xdotool mousemove 100 100
if saver_window "$work/s.log"; then
  geometry=$(xdotool getwindowgeometry "$window" 2>/dev/null |
    awk '/Position:/ { split($2, p, ","); x = p[1]; y = p[2] } /Geometry:/ { g = $2 } END { print g "@" x "," y }')
  if [ "$geometry" = "1920x1080@0,0" ]; then
    pass "/s covers the screen (1920x1080@0,0)"
  else
    fail "/s: the window is $geometry, not 1920x1080@0,0"
  fi
  sleep 0.5
  reading=$("$work/x_window" blocks "$window" 4)
  if [ "${reading%% *}" = 0 ] && [ "${reading##* }" = 0 ]; then
    pass "/s: the picture at 4x, every block of one colour, centred, black around it"
  else
    fail "/s: not 4x blocks centred on black (broken, blocks, lit outside: ${reading:-unreadable})"
  fi
  if grep -q "screen saver /s: Space every 45 s" "$work/s.log"; then
    pass "/s takes the saved setting: $(grep -o 'Space every.*' "$work/s.log" | tr -d '\r')"
  else
    fail "/s did not say it took the saved 45 s: $(tr -d '\r' <"$work/s.log" | head -n 3)"
  fi
  before=$(cpu_ticks "$program_pid")
  sleep 3
  ticks=$(($(cpu_ticks "$program_pid") - before))
  echo "/s at the default pace on 1920x1080 (4x): $ticks CPU ticks in 3 s ($((ticks * 100 / (3 * $(getconf CLK_TCK))))% of a core)"
  xdotool mousemove 102 101
  sleep 1
  if kill -0 "$program_pid" 2>/dev/null; then
    pass "/s: the pointer's first report and a jiggle of 2 pixels do not end it"
  else
    fail "/s: a jiggle of 2 pixels ended it"
  fi
  xdotool mousemove 200 200
  ends_within "/s" "a move of the mouse by 100 pixels"
fi
if saver_window "$work/s2.log"; then
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key a
  ends_within "/s" "a key (A)"
fi
xdotool keyup a 2>/dev/null

# --- --cycle in a window ---
# sorvel's second colour scheme turns its fire green: Space pressed by the platform, not xdotool.
start_program "$work/cycle.log" wine "$build/apps/sorvel.exe" --cycle 2
if window=$(find_visible_window '^Sorvel' "$appear_wait"); then
  first=$("$work/x_window" look "$window" | cut -d' ' -f1)
  green=$first
  deadline=$((SECONDS + 5))
  while [ "${green:-0}" -lt 50 ] && [ "$SECONDS" -le "$deadline" ]; do
    sleep 0.3
    green=$("$work/x_window" look "$window" | cut -d' ' -f1)
  done
  if [ "${first:-100}" -lt 10 ] && [ "${green:-0}" -ge 50 ]; then
    pass "sorvel.exe --cycle 2: Space pressed for it (green $first% then $green% of lit pixels)"
  else
    fail "sorvel.exe --cycle 2: the fire did not turn green (${first:-?}% then ${green:-?}%)"
  fi
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key Escape
  ends_within "sorvel.exe --cycle 2" "Escape"
  xdotool keyup Escape 2>/dev/null
else
  fail "sorvel.exe --cycle 2: no window"
  wait_exit 1
fi

wine reg delete "$key" /f >/dev/null 2>&1
summary
