#!/usr/bin/env bash
# The GPU present checked where there is no GPU: sorvel2 under Xvfb (1920 x 1080, openbox for
# full screen) with Mesa's llvmpipe, a software OpenGL, standing in for one.
#   - SORVEL_PRESENT=gpu: the renderer is taken (said under SORVEL_VERBOSE=1) and its presents
#     are measured to wait for Xvfb's Present clock, which then paces the frames: the title
#     settles at about 60 frames a second; P pauses, and the paused window shows a frame of the
#     recorder exactly (x_window crc against sorvel-record --crc) in uniform N x N blocks on
#     black, at 1x (--scale 1), at 2x and in full screen (4x), and again at 2x when F11 leaves
#     full screen (the texture drawn again); --fps 30 keeps the timer's 30 and --fps max is not
#     held to the display; Escape and closing the window end it with exit code 0
#   - by default llvmpipe is found to draw in software and the window framebuffer is kept (said
#     under SORVEL_VERBOSE=1), and so with SORVEL_PRESENT=cpu: the same exact frame at 2x
#   - an OpenGL that cannot start (LIBGL_DRIVERS_PATH pointing nowhere, whose X error would end the
#     program under Xlib's default handler): the framebuffer, said, and the program runs
#   - a bad SORVEL_PRESENT: a one-line error and exit code 2, before any window
#   - the X server ending under the GPU present ends the program at once with a non-zero exit
# usage: tests/e2e/gpu_present_check.sh [BUILD]      (default build/release)
# A missing tool (Xvfb, xdotool, openbox, a C compiler with the X11 and PNG headers) or an OpenGL
# that cannot start here skips the checks with a loud SKIPPED line; a missing program fails.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
build=${1:-build/release}
program="$build/apps/sorvel2"
recorder="$build/tools/sorvel-record"
window_wait=20
title_wait=4
exit_wait=8

# shellcheck source=tests/e2e/check_common.sh
source tests/e2e/check_common.sh
# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh

summary() {
  echo "gpu present: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
}

for tool in Xvfb xdotool cc openbox; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    skip "the GPU present checks: $tool is not installed (scripts/deps.sh test installs it)"
    summary
    exit
  fi
done
if ! cc -std=c11 -Wall -Wextra -Werror -O1 -o "$work/x_window" tests/e2e/x_window.c -lpng -lX11 2>"$work/cc.log"; then
  cat "$work/cc.log"
  skip "the GPU present checks: the X11 or PNG headers and libraries are missing"
  summary
  exit
fi
for exe in "$program" "$recorder"; do
  if [ ! -x "$exe" ]; then
    fail "$exe is not built"
    summary
    exit
  fi
done
# Every frame the window can be paused at, by its CRC (a minute at 60 frames a second).
"$recorder" sorvel2 --frames 3600 --crc >"$work/frames.crc" || fail "the recorder's CRCs"

if ! xvfb_session_start 1920x1080 || ! xvfb_session_window_manager; then
  fail "no 1920x1080 virtual X server with openbox"
  summary
  exit
fi
echo "virtual X server on display $DISPLAY (1920x1080, openbox)"

# start LABEL ENV... -- ARGS...: starts sorvel2 with SORVEL_VERBOSE=1, the environment and the
# arguments; sets `window` (empty, said as a failure, when none shows) and `log`.
start() {
  local label=$1 environment=()
  shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do environment+=("$1"); shift; done
  shift
  log="$work/run.log"
  env SORVEL_VERBOSE=1 ${environment[@]+"${environment[@]}"} "$program" "$@" >"$log" 2>&1 &
  program_pid=$!
  window=$(find_visible_window '^Sorvel2' "$window_wait") || window=""
  if [ -z "$window" ]; then
    fail "$label: no window"
    sed -n 1,20p "$log"
    wait_exit 1
  fi
}

# settled_fps: the frames per second of the title once the first updates are past, or nothing.
settled_fps() {
  local name="" re='^Sorvel2- ([0-9]+)FPS Prop- [0-9]+$' limit
  sleep 2.5
  limit=$(deadline "$title_wait")
  while before "$limit"; do
    name=$(xdotool getwindowname "$window" 2>/dev/null) || break
    [[ "$name" =~ $re ]] && { echo "${BASH_REMATCH[1]}"; return 0; }
    sleep 0.1
  done
  return 1
}

check_fps() {
  local label=$1 low=$2 high=$3 fps
  if fps=$(settled_fps) && [ "$fps" -ge "$low" ] && [ "$fps" -le "$high" ]; then
    pass "$label: the title settles at $fps frames a second ($low..$high)"
  else
    fail "$label: the title shows ${fps:-no} frames a second, not $low..$high"
  fi
}

# check_frame LABEL SCALE WHAT: the window shows one of the recorder's frames exactly, in uniform
# SCALE x SCALE blocks centred on black; sets `shown_crc`.
check_frame() {
  local label=$1 scale=$2 what=$3 reading frame
  shown_crc=""
  if reading=$("$work/x_window" blocks "$window" "$scale") && [ "${reading%% *}" = 0 ] &&
    [ "${reading##* }" = 0 ]; then
    pass "$label: $what: every block is ${scale}x${scale} of one colour, black around the picture"
  else
    fail "$label: $what: not uniform ${scale}x${scale} blocks on black (broken, blocks, lit outside: ${reading:-unreadable})"
  fi
  shown_crc=$("$work/x_window" crc "$window" "$scale")
  frame=$(awk -v crc="$shown_crc" '$2 == crc { print $1; exit }' "$work/frames.crc")
  if [ -n "$frame" ]; then
    pass "$label: $what: the picture is the recorder's frame $frame exactly (CRC $shown_crc)"
  else
    fail "$label: $what: the picture (CRC ${shown_crc:-unreadable}) is none of the recorder's first 3600 frames"
  fi
}

# pause: P, then a moment for the frame held to be presented.
pause() {
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key p 2>/dev/null
  sleep 0.5
}

# end_by KEY|close LABEL: Escape or the window's close, and exit code 0.
end_by() {
  local how=$1 label=$2
  if [ "$how" = close ]; then
    "$work/x_window" close "$window" || fail "$label: the window could not be asked to close"
  else
    xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool key Escape 2>/dev/null
  fi
  ends_cleanly "$label" "$how" "$exit_wait" "$log"
  xdotool keyup Escape p F11 2>/dev/null
}

said() {
  local label=$1 text=$2
  if grep -qF "$text" "$log"; then
    pass "$label: says \"$(grep -F "$text" "$log" | head -n 1)\""
  else
    fail "$label: does not say \"$text\" under SORVEL_VERBOSE=1:"
    sed -n 1,10p "$log"
  fi
}

# --- the GPU present, forced, on llvmpipe ---
label="SORVEL_PRESENT=gpu, 1x"
start "$label" SORVEL_PRESENT=gpu -- --scale 1
if [ -n "$window" ] && grep -q "present: the window's framebuffer (no renderer" "$log"; then
  skip "the GPU present checks: no OpenGL renderer starts here ($(grep -m1 'no renderer' "$log")); scripts/deps.sh test installs Mesa"
  end_by Escape "$label"
  summary
  exit
fi
if [ -n "$window" ]; then
  # The presents' wait is timed once the window shows: said after the first titles.
  check_fps "$label" 55 65
  said "$label" "present: the GPU, SDL's opengl"
  said "$label" "the display's pace waits for its refresh"
  pause
  check_frame "$label" 1 "paused"
  end_by Escape "$label"
fi

label="SORVEL_PRESENT=gpu, 2x"
start "$label" SORVEL_PRESENT=gpu -- --scale 2
if [ -n "$window" ]; then
  sleep 1
  pause
  check_frame "$label" 2 "paused"
  end_by close "$label"
fi

label="SORVEL_PRESENT=gpu, full screen"
start "$label" SORVEL_PRESENT=gpu -- --fullscreen
if [ -n "$window" ]; then
  sleep 1
  pause
  check_frame "$label" 4 "paused on 1920x1080"
  full_crc=$shown_crc
  xdotool key F11 2>/dev/null
  sleep 1
  check_frame "$label" 2 "F11 back to the 2x window"
  if [ -n "$full_crc" ] && [ "$shown_crc" = "$full_crc" ]; then
    pass "$label: the window shows the paused frame again after leaving full screen"
  else
    fail "$label: after F11 the window shows ${shown_crc:-nothing}, not the paused frame $full_crc"
  fi
  end_by Escape "$label"
fi

label="SORVEL_PRESENT=gpu, --fps 30"
start "$label" SORVEL_PRESENT=gpu -- --fps 30
if [ -n "$window" ]; then
  check_fps "$label" 28 32
  end_by Escape "$label"
fi

label="SORVEL_PRESENT=gpu, --fps max"
start "$label" SORVEL_PRESENT=gpu -- --fps max --scale 1
if [ -n "$window" ]; then
  # Far past Xvfb's 60: llvmpipe draws a 1x frame in about a millisecond.
  check_fps "$label" 100 1000000
  end_by Escape "$label"
fi

# --- the framebuffer: by default on llvmpipe, and asked for ---
for asked in "" cpu; do
  label="SORVEL_PRESENT=${asked:-(unset)}, 2x"
  start "$label" ${asked:+SORVEL_PRESENT=$asked} -- --scale 2
  [ -n "$window" ] || continue
  if [ -z "$asked" ]; then
    said "$label" "present: the window's framebuffer (SDL's opengl renderer on llvmpipe"
  else
    said "$label" "present: the window's framebuffer (SORVEL_PRESENT=cpu)"
  fi
  sleep 1
  pause
  check_frame "$label" 2 "paused"
  end_by Escape "$label"
done

# --- an OpenGL that cannot start (Mesa's driver not found): an X error that must not end it ---
label="OpenGL failing to start"
start "$label" LIBGL_DRIVERS_PATH=/nonexistent --
if [ -n "$window" ]; then
  check_fps "$label" 30 65 # it runs on, paced: the rate is the other runs' concern
  if grep -qF "OpenGL failed on this X server" "$log"; then
    said "$label" "present: the window's framebuffer (no renderer could be made: OpenGL failed on this X server)"
  elif grep -qF "present: the window's framebuffer" "$log"; then
    # Mesa 25 builds its drivers into one library and no longer reads LIBGL_DRIVERS_PATH.
    skip "$label: this Mesa starts all the same ($(grep -m1 'present:' "$log")); the X error's path is not exercised here"
  else
    said "$label" "present: the window's framebuffer"
  fi
  end_by Escape "$label"
fi

# --- a bad value ---
out=$(SORVEL_PRESENT=vulkan timeout 20 "$program" 2>&1)
code=$?
if [ "$code" -eq 2 ] && [ "$(echo "$out" | wc -l)" -eq 1 ] && [[ "$out" == "sorvel2: SORVEL_PRESENT=vulkan"* ]] &&
  [ -z "$(xdotool search --name '^Sorvel2' 2>/dev/null)" ]; then
  pass "SORVEL_PRESENT=vulkan: exit code 2 and \"$out\", no window"
else
  fail "SORVEL_PRESENT=vulkan: exit code $code and \"$out\", not 2 and one line naming it"
fi

# --- the X server ending under the GPU present: a prompt, non-zero end, as with the framebuffer ---
label="SORVEL_PRESENT=gpu, the X server ends"
start "$label" SORVEL_PRESENT=gpu --
if [ -n "$window" ]; then
  sleep 0.5
  xvfb_session_stop
  if ! wait_exit 5; then
    fail "$label: still running 5 s after its X server ended"
  elif [ "$exit_code" -eq 0 ]; then
    fail "$label: exit code 0 after its X server ended: a failure reported as success"
  else
    pass "$label: ends promptly with exit code $exit_code"
  fi
fi

summary
