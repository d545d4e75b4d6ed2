#!/usr/bin/env bash
# End-to-end checks of the Linux programs as a screen saver and a live wallpaper, on a virtual X
# server of their own (Xvfb at 1920 x 1080, started here and ended on exit, no window manager):
#   - SIGTERM, SIGINT and SIGHUP end a program within a second with exit code 0, whether it
#     shows its own window, draws on the root window or into another program's window
#   - --root: the root window shows the fire at 4x (1280 x 960), centred, black around it; the
#     root is clear again once the program has ended
#   - --window-id with another client's window (xlogo, black on black): the fire at the largest
#     whole scale that fits, following the window as it is resized (2x, 3x, then shrunk into a
#     window smaller than the picture); xlogo still runs when the program has ended, its window
#     clear; a window id that is no window gives one line and exit code 1, a bad one exit code 2
#   - --cycle 3: the platform presses Space for sorvel after three seconds (its fire turns green)
#   - a real xscreensaver daemon, run as an ordinary user (xscreensaver runs no display modes as
#     root; the user sorvel-saver is made here once) with a programs: line for sorvel2 --root:
#     -activate shows the fire at 4x on xscreensaver's own window (which covers the root: the
#     fire can only be seen if the program drew on the window XSCREENSAVER_WINDOW names), and
#     -deactivate ends the program within a second
# It prints how long each end took and the CPU that sorvel2 --root costs at the default pace.
#
# usage: tests/e2e/saver_check.sh [BUILD_DIR]      (default build/release)
# A missing tool (Xvfb, xdotool, xlogo, xscreensaver, a C compiler with the X11 headers) skips its
# checks with a loud SKIPPED line; a missing program is a failure.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
build=${1:-build/release}

# Seconds allowed for a window or a picture to appear, and for a program to end once told.
appear_wait=10
end_wait=1

# shellcheck source=tests/e2e/check_common.sh
source tests/e2e/check_common.sh
summary() {
  echo "saver: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
}


# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh
# shellcheck source=scripts/xscreensaver-session.sh
source scripts/xscreensaver-session.sh
xlogo_pid=""
saver_cleanup() {
  xscreensaver_session_stop
  if [ -n "$xlogo_pid" ]; then
    kill "$xlogo_pid" 2>/dev/null
    wait "$xlogo_pid" 2>/dev/null
  fi
  xvfb_session_cleanup
}
trap saver_cleanup EXIT

for tool in Xvfb xdotool xwininfo cc; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    skip "all screen-saver checks: $tool is not installed (scripts/deps.sh test installs it)"
    summary
    exit
  fi
done
for program in sorvel2 sorvel; do
  [ -x "$build/apps/$program" ] || { fail "$build/apps/$program is not built"; summary; exit; }
done
if ! cc -std=c11 -Wall -Wextra -Werror -O1 -o "$work/x_window" tests/e2e/x_window.c -lpng -lX11 2>"$work/cc.log"; then
  cat "$work/cc.log"
  skip "all screen-saver checks: the X11 or PNG headers and libraries are missing (libx11-dev, libpng-dev)"
  summary
  exit
fi
if ! xvfb_session_start 1920x1080; then
  fail "Xvfb did not start"
  summary
  exit
fi
root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
echo "virtual X server on display $DISPLAY, root window $root (1920 x 1080, no window manager)"

# lit_share WINDOW: the percentage of the window's pixels that are not black.
lit_share() {
  local reading
  reading=$("$work/x_window" lit "$1") || return 1
  echo $((${reading% *} * 100 / ${reading#* }))
}

# wait_lit WINDOW: waits until at least 3% of the window is lit (the fire at 4x covers about a
# tenth of a 1920 x 1080 screen, a black window none); prints the share.
wait_lit() {
  local until share=0
  until=$(deadline "$appear_wait")
  while before "$until"; do
    share=$(lit_share "$1") || share=0
    [ "$share" -ge 3 ] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "$share"
  [ "$share" -ge 3 ]
}

# check_blocks LABEL WINDOW SCALE: the window shows the 320 x 240 picture in uniform SCALE x SCALE
# blocks, centred, black around it, and lit.
check_blocks() {
  local reading share
  if share=$(wait_lit "$2") && reading=$("$work/x_window" blocks "$2" "$3") &&
    [ "${reading%% *}" = 0 ] && [ "${reading##* }" = 0 ]; then
    pass "$1: the fire at ${3}x, every block ${3}x${3} of one colour, black around it ($share% lit)"
  else
    fail "$1: not the fire at ${3}x centred on black (lit ${share:-?}%; broken, blocks, lit outside: ${reading:-unreadable})"
  fi
}

start_program() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  program_pid=$!
}

# end_by_signal LABEL SIGNAL: sends the signal and wants the program gone within end_wait seconds
# with exit code 0.
end_by_signal() {
  local label=$1 signal=$2 started until code
  started=$(now)
  kill "-$signal" "$program_pid"
  until=$(deadline "$end_wait")
  while kill -0 "$program_pid" 2>/dev/null && before "$until"; do sleep 0.01; done
  if kill -0 "$program_pid" 2>/dev/null; then
    fail "$label: still running $end_wait s after SIG$signal"
    kill -KILL "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
  else
    wait "$program_pid"
    code=$?
    if [ "$code" -eq 0 ]; then
      pass "$label: SIG$signal ends it in $(elapsed "$started") s with exit code 0"
    else
      fail "$label: SIG$signal ended it with exit code $code"
    fi
  fi
  program_pid=""
}

# --- in the program's own window ---
# find_own_window CAPTION: the id of the program's visible window.
find_own_window() {
  local until id
  until=$(deadline "$appear_wait")
  while before "$until"; do
    id=$(xdotool search --onlyvisible --name "^$1" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$program_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

start_program "$work/own.log" "$build/apps/sorvel2"
if window=$(find_own_window Sorvel2) && wait_lit "$window" >/dev/null; then
  end_by_signal "sorvel2 in its own window" TERM
else
  fail "sorvel2: no window with the fire"
  sed -n 1,10p "$work/own.log"
fi

# sorvel's second colour scheme turns its fire green: with --cycle 3 it shows three seconds in.
cycle_started=$(now)
start_program "$work/cycle.log" "$build/apps/sorvel" --cycle 3
if window=$(find_own_window Sorvel) && wait_lit "$window" >/dev/null; then
  first=$("$work/x_window" look "$window" | cut -d' ' -f1)
  until=$(deadline 6)
  green=0
  while [ "${green:-0}" -lt 50 ] && before "$until"; do
    sleep 0.2
    green=$("$work/x_window" look "$window" | cut -d' ' -f1)
  done
  if [ "${first:-100}" -eq 0 ] && [ "${green:-0}" -ge 50 ]; then
    pass "sorvel --cycle 3: the platform pressed Space ($first% of lit pixels green, then $green% at $(elapsed "$cycle_started") s)"
  else
    fail "sorvel --cycle 3: no press seen (${first:-?}% then ${green:-?}% of lit pixels green)"
  fi
  end_by_signal "sorvel in its own window" INT
else
  fail "sorvel --cycle 3: no window with the fire"
  sed -n 1,10p "$work/cycle.log"
fi

# --- on the root window ---
start_program "$work/root.log" "$build/apps/sorvel2" --root
check_blocks "sorvel2 --root" "$root" 4
ticks=$(awk '{ print $14 + $15 }' "/proc/$program_pid/stat" 2>/dev/null)
sleep 3
ticks=$(($(awk '{ print $14 + $15 }' "/proc/$program_pid/stat" 2>/dev/null || echo "$ticks") - ticks))
echo "sorvel2 --root at the default pace on 1920x1080: $ticks CPU ticks in 3 s ($((ticks * 100 / (3 * $(getconf CLK_TCK))))% of a core)"
end_by_signal "sorvel2 --root" HUP
sleep 0.2
share=$(lit_share "$root")
if [ "${share:-1}" -eq 0 ]; then
  pass "sorvel2 --root: the root window is clear again"
else
  fail "sorvel2 --root: ${share:-?}% of the root window still lit after the program ended"
fi

# --- in another program's window ---
if ! command -v xlogo >/dev/null 2>&1; then
  skip "the --window-id checks: xlogo is not installed (x11-apps; scripts/deps.sh test installs it)"
else
  xlogo -bg black -fg black -geometry 700x500+0+0 >/dev/null 2>&1 &
  xlogo_pid=$!
  logo=""
  until=$(deadline "$appear_wait")
  while [ -z "$logo" ] && before "$until"; do
    logo=$(xdotool search --onlyvisible --name '^xlogo$' 2>/dev/null | head -n 1)
    sleep 0.1
  done
  # xlogo draws in a child of its top-level window, which covers it: that is the window to draw in.
  top=$logo
  [ -n "$logo" ] && logo=$(xwininfo -children -id "$logo" | awk '/^ +0x/ { print $1; exit }')
  if [ -z "$logo" ]; then
    fail "xlogo's window did not appear"
  else
    start_program "$work/logo.log" "$build/apps/sorvel2" --window-id "$logo"
    check_blocks "sorvel2 --window-id (xlogo, 700x500)" "$logo" 2
    xdotool windowsize "$top" 1000 760
    sleep 0.5
    check_blocks "sorvel2 --window-id (xlogo resized to 1000x760)" "$logo" 3
    xdotool windowsize "$top" 200 130
    sleep 0.5
    # 200 x 130 holds the picture shrunk to 173 x 130, centred: 86% of the window.
    if share=$(wait_lit "$logo") && reading=$("$work/x_window" png "$logo" "$work/small.png"); then
      pass "sorvel2 --window-id (xlogo resized to 200x130): the picture shrunk into it ($share% lit)"
    else
      fail "sorvel2 --window-id (xlogo resized to 200x130): ${share:-?}% lit"
    fi
    end_by_signal "sorvel2 --window-id" TERM
    sleep 0.2
    share=$(lit_share "$logo")
    if kill -0 "$xlogo_pid" 2>/dev/null && [ "${share:-1}" -eq 0 ]; then
      pass "sorvel2 --window-id: xlogo still runs, its window clear again"
    else
      fail "sorvel2 --window-id: afterwards xlogo is $(kill -0 "$xlogo_pid" 2>/dev/null && echo running || echo gone), ${share:-?}% of its window lit"
    fi
  fi
fi

# --- window ids that name nothing ---
said=$("$build/apps/sorvel2" --window-id 0x7ffffff 2>&1)
code=$?
if [ "$code" -eq 1 ] && [ "$(echo "$said" | wc -l)" -eq 1 ] && [[ "$said" == *"does not exist"* ]]; then
  pass "--window-id of no window: exit code 1 and one line: $said"
else
  fail "--window-id of no window: exit code $code, said: $said"
fi
said=$(XSCREENSAVER_WINDOW=nothing "$build/apps/sorvel2" 2>&1)
code=$?
if [ "$code" -eq 2 ] && [[ "$said" == *XSCREENSAVER_WINDOW* ]]; then
  pass "XSCREENSAVER_WINDOW=nothing: exit code 2 before any window: $said"
else
  fail "XSCREENSAVER_WINDOW=nothing: exit code $code, said: $said"
fi

# --- under a real xscreensaver daemon ---
# ended PID: whether the process has ended (gone, or a zombie not yet reaped).
ended() { [ ! -e "/proc/$1" ] || [ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" = Z ]; }

check_xscreensaver() {
  local until pid started
  if ! saver_command -activate >/dev/null 2>&1; then
    fail "xscreensaver: the daemon did not answer -activate"
    tail -n 20 "$work/home/xscreensaver.log"
    return
  fi
  until=$(deadline "$appear_wait")
  pid=""
  while [ -z "$pid" ] && before "$until"; do
    pid=$(saver_process)
    sleep 0.1
  done
  if [ -z "$pid" ]; then
    fail "xscreensaver: -activate did not start sorvel2"
    tail -n 20 "$work/home/xscreensaver.log"
    return
  fi
  pass "xscreensaver: -activate started sorvel2 --root (pid $pid)"
  program_pid=$pid # for wait_lit's liveness check only: it is not this shell's child
  check_blocks "xscreensaver: the screen" "$root" 4
  program_pid=""
  started=$(now)
  saver_command -deactivate >/dev/null 2>&1
  until=$(deadline "$end_wait")
  while ! ended "$pid" && before "$until"; do sleep 0.01; done
  if ended "$pid"; then
    pass "xscreensaver: -deactivate ends sorvel2 in $(elapsed "$started") s"
  else
    fail "xscreensaver: sorvel2 still running $end_wait s after -deactivate"
    tail -n 20 "$work/home/xscreensaver.log"
  fi
  if grep -qiE "crash|abnormal|signal 11|BadAccess|BadWindow" "$work/home/xscreensaver.log"; then
    fail "xscreensaver's log tells of a fault:"
    grep -iE "crash|abnormal|signal 11|BadAccess|BadWindow" "$work/home/xscreensaver.log"
  fi
}

if xscreensaver_session_start "$build/apps/sorvel2" --root >"$work/saver.why"; then
  check_xscreensaver
else
  skip "the xscreensaver checks: $(cat "$work/saver.why")"
fi

summary
