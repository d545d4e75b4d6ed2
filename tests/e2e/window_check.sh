#!/usr/bin/env bash
# End-to-end window checks: each program runs in a real window on a virtual X server of its own
# (Xvfb on a free display, started here and ended on exit), natively and under Wine, and is
# driven as a person would drive it:
#   - the window opens with its caption, a 320 x 240 client area, and within a few seconds the
#     title "<caption>- <n>FPS Prop- 2"; the frames per second it shows are printed; the
#     fireworks light up at least a tenth of the window (a black window: no frame reached it)
#   - a Left key press shows "Prop- 3" at the next title update; Escape ends it with exit code 0
#   - in a second run, closing the window ends it with exit code 0
#   - natively, on a 1920 x 1080 screen with openbox: the window at 2x by default and at 3x with
#     --scale 3 in uniform blocks, --fullscreen and Alt+Enter and F11 (see check_scaled)
#   - natively: the pace: the title at the display's rate by default, --fps 30 and --fps max, the
#     CPU time each costs, P and period (see check_pace)
#   - under Wine, sorvel2.exe: the same pace checks, the same scale and full-screen checks on the
#     1920 x 1080 screen, and the bad options (--fps 0, --scale 9, --bogus) ending it with exit
#     code 2 and a one-line error before any window (see check_windows_options)
#   - natively: when the X server ends under it, it ends within seconds with a non-zero exit code
# No window manager runs but for the full-screen checks. Titles are read from the window's name property, which needs none.
# Keys are real key events (XTEST) after the window is given the input focus. Closing sends the
# window WM_DELETE_WINDOW, as a window manager's close button does (x_window.c): xdotool's own
# windowclose and windowkill would destroy the X window or the X connection behind the
# program's back, which no user can do.
#
# usage: tests/e2e/window_check.sh [--native DIR|--no-native] [--windows DIR|--no-windows]
#   DIR defaults: build/release (Linux programs), build/mingw-i686 (Windows programs, run under
#   Wine with the prefix of scripts/wine-env.sh). A missing tool (Xvfb, xdotool, a C compiler
#   with the X11 headers, Wine) skips its checks with a loud SKIPPED line; a missing program is
#   a failure.
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

native_build=build/release
windows_build=build/mingw-i686
run_native=1
run_windows=1
while [ $# -gt 0 ]; do
  case "$1" in
  --native) native_build=$2; shift 2 ;;
  --windows) windows_build=$2; shift 2 ;;
  --no-native) run_native=0; shift ;;
  --no-windows) run_windows=0; shift ;;
  *) echo "usage: $0 [--native DIR|--no-native] [--windows DIR|--no-windows]" >&2; exit 2 ;;
  esac
done

# Seconds allowed: for the window to appear (Wine's first start in a prefix is the slowest), for
# a title update (one a second), and for the program to end after Escape or the close.
window_wait=20
title_wait=4
exit_wait=8

fps_report=()

# shellcheck source=tests/e2e/check_common.sh
source tests/e2e/check_common.sh

# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh

summary() {
  echo
  for line in "${fps_report[@]}"; do echo "frames per second shown: $line"; done
  echo "e2e: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
}

# --- tools and the virtual X server ---
for tool in Xvfb xdotool cc; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    skip "all window checks: $tool is not installed (scripts/deps.sh test installs it)"
    summary
    exit
  fi
done
if ! cc -std=c11 -Wall -Wextra -Werror -O1 -o "$work/x_window" tests/e2e/x_window.c -lpng -lX11 2>"$work/cc.log"; then
  cat "$work/cc.log"
  skip "all window checks: the X11 or PNG headers and libraries are missing (libx11-dev, libpng-dev)"
  summary
  exit
fi

if ! xvfb_session_start; then
  fail "Xvfb did not start"
  summary
  exit
fi
echo "virtual X server on display $DISPLAY (no window manager)"

# --- one program ---

# find_window CAPTION: prints the id of the visible window whose name is the caption alone or
# the caption followed by the title's "- ..."; waits up to window_wait seconds.
find_window() {
  local caption=$1 deadline id name
  deadline=$((SECONDS + window_wait))
  while [ "$SECONDS" -le "$deadline" ]; do
    kill -0 "$program_pid" 2>/dev/null || return 1
    for id in $(xdotool search --onlyvisible --name "^$caption" 2>/dev/null); do
      name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
      if [ "$name" = "$caption" ] || [[ "$name" == "$caption- "* ]]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

# wait_title WINDOW REGEX SECONDS [NOT]: waits for the window's name to match REGEX (and, if
# given, to differ from NOT); prints the name. Fails on timeout or when the window is gone.
wait_title() {
  local window=$1 regex=$2 limit=$3 not=${4:-} deadline name=""
  deadline=$(awk -v a="$(now)" -v s="$limit" 'BEGIN { printf "%.3f", a + s }')
  while awk -v a="$(now)" -v d="$deadline" 'BEGIN { exit !(a <= d) }'; do
    name=$(xdotool getwindowname "$window" 2>/dev/null) || break
    if [[ "$name" =~ $regex ]] && [ "$name" != "$not" ]; then
      echo "$name"
      return 0
    fi
    sleep 0.05
  done
  echo "$name"
  return 1
}


start_program() {
  local log=$1
  shift
  last_log=$log
  "$@" >"$log" 2>&1 &
  program_pid=$!
}

# start_and_find LOG CAPTION COMMAND...: starts the program and sets `window` to its window's id,
# or to nothing. A program that could not reach the X server at all says so and ends; that has
# been seen, rarely, on a loaded machine, so such a start is tried once more, and said.
start_and_find() {
  local log=$1 caption=$2
  shift 2
  start_program "$log" "$@"
  window=$(find_window "$caption") || window=""
  if [ -z "$window" ] && ! kill -0 "$program_pid" 2>/dev/null &&
    grep -q "no window system answered" "$log"; then
    wait_exit 1
    echo "NOTE: $caption could not reach the X server ($(head -n 1 "$log")); starting it again"
    start_program "$log" "$@"
    window=$(find_window "$caption") || window=""
  fi
}

# look WINDOW FIELD: one of x_window look's figures, the lowest of three readings a third of a
# second apart (1: percentage of lit pixels greener than red, 2: brightness at the centre).
look() {
  local lowest="" reading value
  for _ in 1 2 3; do
    reading=$("$work/x_window" look "$1") || return 1
    value=$(echo "$reading" | cut -d' ' -f"$2")
    if [ -z "$lowest" ] || [ "$value" -lt "$lowest" ]; then lowest=$value; fi
    sleep 0.3
  done
  echo "$lowest"
}

# check_space LABEL CAPTION WINDOW: Space recolours sorvel (its second scheme turns the fire
# green) and changes sorvel2's warp (two presses give the ripple, whose centre shows the
# fountain's bright source where the polar warp showed the darker top of the fire).
check_space() {
  local label=$1 caption=$2 window=$3 before after
  if [ "$caption" = Sorvel ]; then
    before=$(look "$window" 1) && xdotool key space 2>/dev/null && sleep 0.3 &&
      after=$(look "$window" 1)
    if [ "${before:-100}" -eq 0 ] && [ "${after:-0}" -ge 50 ]; then
      pass "$label: Space recolours the fire ($before% then $after% of lit pixels green)"
    else
      fail "$label: Space did not recolour the fire (${before:-?}% then ${after:-?}% green)"
    fi
  else
    before=$(look "$window" 2) && xdotool key space space 2>/dev/null && sleep 0.3 &&
      after=$(look "$window" 2)
    if [ -n "$after" ] && [ "$after" -ge 240 ] && [ "$before" -lt "$after" ]; then
      pass "$label: Space twice gives the ripple (centre brightness $before then $after)"
    else
      fail "$label: Space twice did not give the ripple (centre brightness ${before:-?} then ${after:-?})"
    fi
  fi
}

# check_program LABEL CAPTION COMMAND...: both runs of one program.
check_program() {
  local label=$1 caption=$2
  shift 2
  local log="$work/$label.log" started window geometry name fps escaped title_re
  title_re="^$caption- ([0-9]+)FPS Prop- ([0-9]+)\$"
  log=${log// /_}

  # Run 1: window, title, Left, Escape.
  started=$(now)
  start_and_find "$log" "$caption" "$@"
  if [ -z "$window" ]; then
    fail "$label: no window captioned \"$caption\" within ${window_wait} s"
    sed -n 1,20p "$log"
    wait_exit 1
    return
  fi
  pass "$label: window \"$caption\" open after $(elapsed "$started") s"

  geometry=$(xdotool getwindowgeometry "$window" 2>/dev/null | sed -n 's/.*Geometry: //p')
  if [ "$geometry" = 320x240 ]; then
    pass "$label: client area 320x240"
  else
    fail "$label: client area is \"$geometry\", not 320x240"
  fi

  # The first update counts the start-up too: the figure printed is the second one.
  if name=$(wait_title "$window" "$title_re" "$title_wait") &&
    name=$(wait_title "$window" "$title_re" "$title_wait" "$name") &&
    [[ "$name" =~ $title_re ]] && [ "${BASH_REMATCH[2]}" = 2 ]; then
    fps=${BASH_REMATCH[1]}
    pass "$label: title \"$name\""
    fps_report+=("$label: $fps ($name)")
  else
    fail "$label: title is \"$name\", not \"$caption- <n>FPS Prop- 2\" once a second"
  fi

  local lit
  if lit=$("$work/x_window" lit "$window") && [ "${lit% *}" -ge $((${lit#* } / 10)) ]; then
    pass "$label: the fireworks show (${lit% *} of ${lit#* } pixels lit)"
  else
    fail "$label: the window stays dark (${lit:+${lit% *} of ${lit#* } pixels lit}${lit:-its pixels cannot be read})"
  fi

  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key Left 2>/dev/null
  # Prop- 3 must show at the next update; one more second allows for a key sent just as the
  # title was being written.
  if name=$(wait_title "$window" "^$caption- [0-9]+FPS Prop- 3\$" 2.5); then
    pass "$label: Left raises decay: \"$name\""
  else
    fail "$label: after Left the title is \"$name\", not \"... Prop- 3\""
  fi

  # The other arrows: Down raises the decay as Left does, Up and Right lower it.
  local key want
  for key in Down:4 Up:3 Right:2; do
    want=${key#*:}
    xdotool key "${key%:*}" 2>/dev/null
    if name=$(wait_title "$window" "^$caption- [0-9]+FPS Prop- $want\$" 2.5); then
      pass "$label: ${key%:*} gives \"$name\""
    else
      fail "$label: after ${key%:*} the title is \"$name\", not \"... Prop- $want\""
    fi
  done
  check_space "$label" "$caption" "$window"

  xdotool key Escape 2>/dev/null
  ends_cleanly "$label" Escape "$exit_wait" "$last_log"

  # Run 2: the window is closed. The keys typed into run 1 have all been released first, so
  # that the new window, which takes the focus, cannot find one of them still held.
  xdotool keyup Escape space Left Down Up Right 2>/dev/null
  sleep 0.5
  start_and_find "$log.close" "$caption" "$@"
  if [ -z "$window" ]; then
    fail "$label: no window in the second run"
    sed -n 1,20p "$log.close"
    wait_exit 1
    return
  fi
  if ! "$work/x_window" close "$window"; then
    fail "$label: the window could not be asked to close"
    wait_exit 1
    return
  fi
  ends_cleanly "$label" "closing the window" "$exit_wait" "$last_log"
}

# --- the Linux programs ---
if [ "$run_native" = 1 ]; then
  for program in sorvel2:Sorvel2 sorvel:Sorvel; do
    exe="$native_build/apps/${program%%:*}"
    if [ -x "$exe" ]; then
      check_program "${program%%:*} (native)" "${program##*:}" "$exe"
    else
      fail "${program%%:*} (native): $exe is not built"
    fi
  done
fi

# end_with_escape LABEL WINDOW
end_with_escape() {
  xdotool windowfocus --sync "$2" 2>/dev/null
  xdotool key Escape 2>/dev/null
  ends_cleanly "$1" Escape "$exit_wait" "$last_log"
  xdotool keyup Escape Return F11 alt 2>/dev/null
}

# --- the pace of the Linux programs ---
# By default a frame per refresh of the display (Xvfb does not say its rate: 60 a second), --fps N
# at N and --fps max as fast as the machine allows; the default costs the program a small part of
# what --fps max does. P freezes the picture, period lets one frame through, and Escape ends the
# program with exit code 0 whatever the pace.


# settled_fps WINDOW CAPTION: the frames per second of the title once the first updates are past
# (the first counts the start-up; at a steady pace the titles that follow read the same), or
# nothing.
settled_fps() {
  local name re="^$2- ([0-9]+)FPS Prop- [0-9]+\$"
  sleep 2.5
  name=$(wait_title "$1" "$re" "$title_wait") && [[ "$name" =~ $re ]] && echo "${BASH_REMATCH[1]}"
}

# pace_run LABEL CAPTION LOW HIGH COMMAND...: starts the program, requires its settled title to
# show LOW..HIGH frames per second and sets `ticks` to its CPU ticks over 3 s; leaves it running
# in `window`.
pace_run() {
  local label=$1 caption=$2 low=$3 high=$4 fps before
  shift 4
  ticks=""
  start_and_find "$work/pace.log" "$caption" "$@"
  if [ -z "$window" ]; then
    fail "$label: no window"
    sed -n 1,20p "$work/pace.log"
    wait_exit 1
    return 1
  fi
  if fps=$(settled_fps "$window" "$caption") && [ "$fps" -ge "$low" ] && [ "$fps" -le "$high" ]; then
    pass "$label: the title settles at $fps frames a second ($low..$high)"
  else
    fail "$label: the title shows ${fps:-no} frames a second, not $low..$high"
  fi
  before=$(cpu_ticks "$program_pid")
  sleep 3
  ticks=$(($(cpu_ticks "$program_pid") - before))
  fps_report+=("$label: ${fps:-?}, CPU $ticks ticks in 3 s")
}

# shots_equal A B: whether two pictures of the window are the same, byte for byte.
shots_equal() { cmp -s "$1" "$2"; }

# check_pace LABEL CAPTION SHARE COMMAND...: the pace checks; the default pace must cost at most
# 1/SHARE of the CPU time that --fps max does.
check_pace() {
  local label=$1 caption=$2 share=$3 paced_ticks max_ticks shot="$work/shot"
  shift 3
  if pace_run "$label, default pace" "$caption" 57 63 "$@"; then
    paced_ticks=$ticks
    xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool key p 2>/dev/null
    sleep 0.3
    "$work/x_window" png "$window" "$shot.1.png" && sleep 1 && "$work/x_window" png "$window" "$shot.2.png"
    if shots_equal "$shot.1.png" "$shot.2.png"; then
      pass "$label: P freezes the picture (two pictures a second apart are the same)"
    else
      fail "$label: after P the picture still changes"
    fi
    xdotool key period 2>/dev/null
    sleep 0.3
    "$work/x_window" png "$window" "$shot.3.png" && sleep 1 && "$work/x_window" png "$window" "$shot.4.png"
    if ! shots_equal "$shot.2.png" "$shot.3.png" && shots_equal "$shot.3.png" "$shot.4.png"; then
      pass "$label: period, while paused, shows one new frame and no more"
    else
      fail "$label: period while paused did not show exactly one new frame"
    fi
    xdotool key Escape 2>/dev/null
    if wait_exit "$exit_wait" && [ "$exit_code" -eq 0 ]; then
      pass "$label: Escape ends it with exit code 0 while paused"
    else
      fail "$label: while paused, Escape did not end it with exit code 0 (${exit_code:-still running})"
    fi
    xdotool keyup p period Escape 2>/dev/null
  fi
  if pace_run "$label, --fps 30" "$caption" 28 32 "$@" --fps 30; then
    end_with_escape "$label, --fps 30" "$window"
  fi
  if pace_run "$label, --fps max" "$caption" 1001 1000000 "$@" --fps max; then
    max_ticks=$ticks
    end_with_escape "$label, --fps max" "$window"
    # Natively a tenth is far above what the default costs (about a fiftieth of a core against a
    # whole one); under Wine each frame shown costs more (Wine's block transfer to the X server).
    if [ -n "$paced_ticks" ] && [ "$max_ticks" -gt 0 ] && [ $((paced_ticks * share)) -le "$max_ticks" ]; then
      pass "$label: CPU over 3 s: $paced_ticks ticks at the default pace, $max_ticks with --fps max"
    else
      fail "$label: CPU over 3 s: ${paced_ticks:-?} ticks at the default pace, not 1/$share of --fps max's ${max_ticks:-?}"
    fi
  fi
}

if [ "$run_native" = 1 ]; then
  for program in sorvel2:Sorvel2 sorvel:Sorvel; do
    exe="$native_build/apps/${program%%:*}"
    [ -x "$exe" ] && check_pace "${program%%:*} (native)" "${program##*:}" 10 "$exe"
  done
fi

# check_windows_options EXE: under Wine, a bad option gives its one-line error and exit code 2
# before any window opens; --help and --version print and end with 0.
check_windows_options() {
  local exe=$1 option out code label="sorvel2.exe (Wine)"
  for option in "--fps 0" "--scale 9" "--bogus"; do
    # shellcheck disable=SC2086 # the option is two words or one
    out=$(timeout 20 "$sorvel_wine_program" "$exe" $option 2>&1 | tr -d '\r')
    code=${PIPESTATUS[0]}
    if [ "$code" -eq 2 ] && [ "$(echo "$out" | wc -l)" -eq 1 ] && [[ "$out" == "sorvel2: "*"${option#* }"* ]] &&
      [ -z "$(xdotool search --name '^Sorvel2' 2>/dev/null)" ]; then
      pass "$label: $option: exit code 2 and \"$out\", no window"
    else
      fail "$label: $option: exit code $code and \"$out\", not 2 and one line naming it"
    fi
  done
  out=$(timeout 20 "$sorvel_wine_program" "$exe" --help 2>&1 | tr -d '\r')
  code=${PIPESTATUS[0]}
  if [ "$code" -eq 0 ] && [[ "$out" == "Usage: sorvel2 "* ]] && [[ "$out" == *"--fullscreen"* ]]; then
    pass "$label: --help lists the options and ends with 0"
  else
    fail "$label: --help gave exit code $code and \"$(echo "$out" | head -n 1)\""
  fi
  out=$(timeout 20 "$sorvel_wine_program" "$exe" --version 2>&1 | tr -d '\r')
  code=${PIPESTATUS[0]}
  if [ "$code" -eq 0 ] && [[ "$out" =~ ^sorvel2\ [0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    pass "$label: --version says \"$out\""
  else
    fail "$label: --version gave exit code $code and \"$out\""
  fi
}

# Under Wine each frame shown costs more CPU time than natively (Wine's own block transfer), so
# the default pace must cost at most a fifth of --fps max's.
wine_cpu_share=5

# --- the Windows programs under Wine ---
if [ "$run_windows" = 1 ]; then
  # shellcheck source=../../scripts/wine-env.sh
  source scripts/wine-env.sh "$windows_build"
  if wine_env_ready; then
    wine_used=1
    for program in sorvel2:Sorvel2 sorvel:Sorvel; do
      exe="$windows_build/apps/${program%%:*}.exe"
      if [ -f "$exe" ]; then
        check_program "${program%%:*}.exe (Wine)" "${program##*:}" wine "$exe"
      else
        fail "${program%%:*}.exe (Wine): $exe is not built"
      fi
    done
    # The pace, at 1x as natively: both programs share the backend, so sorvel2 stands for both.
    [ -f "$windows_build/apps/sorvel2.exe" ] &&
      check_pace "sorvel2.exe (Wine)" Sorvel2 "$wine_cpu_share" wine "$windows_build/apps/sorvel2.exe"
    [ -f "$windows_build/apps/sorvel2.exe" ] && check_windows_options "$windows_build/apps/sorvel2.exe"
  else
    skip "the Windows programs' window checks (no usable Wine)"
  fi
fi

# --- scale and full screen of the Linux programs ---
# On a 1920 x 1080 screen with a window manager (openbox; full screen needs one): the window opens
# at 2x (640 x 480) by default and at 960 x 720 with --scale 3, its picture made of uniform 3 x 3
# blocks; --fullscreen covers the screen with the picture at 4x, centred on black; Alt+Enter and
# F11 leave full screen and enter it again; Escape still ends the program with exit code 0.

# geometry_of WINDOW: "WxH@X,Y" of the window's client area on the screen.
geometry_of() {
  xdotool getwindowgeometry "$1" 2>/dev/null |
    awk '/Position:/ { split($2, p, ","); x = p[1]; y = p[2] } /Geometry:/ { g = $2 } END { print g "@" x "," y }'
}

# wait_geometry WINDOW PATTERN: waits up to 3 s for the geometry to match; prints it.
wait_geometry() {
  local geometry="" deadline=$((SECONDS + 3))
  while [ "$SECONDS" -le "$deadline" ]; do
    geometry=$(geometry_of "$1")
    [[ "$geometry" == $2 ]] && break
    sleep 0.1
  done
  echo "$geometry"
  [[ "$geometry" == $2 ]]
}

# wait_settled WINDOW PATTERN: as wait_geometry, and then until two readings 0.3 s apart agree:
# the window manager may still be placing a window that already has its size (seen under load:
# 640x480 at one place, then a few pixels further, the place it keeps).
wait_settled() {
  local geometry last="" deadline
  geometry=$(wait_geometry "$1" "$2") || { echo "$geometry"; return 1; }
  deadline=$((SECONDS + 3))
  while [ "$geometry" != "$last" ] && [ "$SECONDS" -le "$deadline" ]; do
    last=$geometry
    sleep 0.3
    geometry=$(geometry_of "$1")
  done
  echo "$geometry"
  [[ "$geometry" == $2 ]]
}

# check_blocks LABEL WINDOW SCALE WHAT: the window shows the picture in uniform SCALE x SCALE
# blocks, centred on black.
check_blocks() {
  local reading
  if reading=$("$work/x_window" blocks "$2" "$3") && [ "${reading%% *}" = 0 ] &&
    [ "${reading##* }" = 0 ]; then
    pass "$1: $4: every one of the picture's blocks is ${3}x${3} of one colour, black around it"
  else
    fail "$1: $4: not uniform ${3}x${3} blocks (broken, blocks, lit outside: ${reading:-unreadable})"
  fi
}


# check_scaled LABEL CAPTION COMMAND...
check_scaled() {
  local label=$1 caption=$2 log="$work/scaled.log" geometry
  shift 2
  start_and_find "$log" "$caption" "$@"
  if [ -z "$window" ]; then
    fail "$label: no window at the default scale"
    sed -n 1,20p "$log"
    wait_exit 1
    return
  fi
  local windowed
  if windowed=$(wait_settled "$window" "640x480@*"); then
    pass "$label: the window opens at 640x480 on a 1920x1080 screen"
  else
    fail "$label: the window is $windowed, not 640x480, on a 1920x1080 screen"
  fi
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key F11 2>/dev/null
  if geometry=$(wait_geometry "$window" "1920x1080@0,0"); then
    pass "$label: F11 enters full screen"
  else
    fail "$label: after F11 the window is $geometry, not 1920x1080@0,0"
  fi
  xdotool key F11 2>/dev/null
  if geometry=$(wait_geometry "$window" "$windowed"); then
    pass "$label: F11 again gives back the window's size and place ($geometry)"
  else
    fail "$label: after a second F11 the window is $geometry, not $windowed as before"
  fi
  end_with_escape "$label" "$window"

  start_and_find "$log" "$caption" "$@" --scale 3
  if [ -z "$window" ]; then
    fail "$label: no window with --scale 3"
    wait_exit 1
    return
  fi
  if geometry=$(wait_geometry "$window" "960x720@*"); then
    pass "$label: --scale 3 opens the window at 960x720"
  else
    fail "$label: with --scale 3 the window is $geometry, not 960x720"
  fi
  sleep 0.3
  check_blocks "$label" "$window" 3 "--scale 3"
  end_with_escape "$label" "$window"

  start_and_find "$log" "$caption" "$@" --fullscreen
  if [ -z "$window" ]; then
    fail "$label: no window with --fullscreen"
    wait_exit 1
    return
  fi
  if geometry=$(wait_geometry "$window" "1920x1080@0,0"); then
    pass "$label: --fullscreen covers the screen"
  else
    fail "$label: with --fullscreen the window is $geometry, not 1920x1080@0,0"
  fi
  sleep 0.3
  check_blocks "$label" "$window" 4 "full screen"
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key alt+Return 2>/dev/null
  if windowed=$(wait_settled "$window" "640x480@*"); then
    pass "$label: Alt+Enter leaves full screen for the 640x480 window"
  else
    fail "$label: after Alt+Enter the window is $windowed, not 640x480"
  fi
  xdotool key alt+Return 2>/dev/null
  if geometry=$(wait_geometry "$window" "1920x1080@0,0"); then
    pass "$label: Alt+Enter enters full screen again"
  else
    fail "$label: after a second Alt+Enter the window is $geometry, not full screen"
  fi
  xdotool key alt+Return 2>/dev/null
  if ! wait_geometry "$window" "640x480@*" >/dev/null; then
    fail "$label: a third Alt+Enter did not leave full screen"
  fi
  sleep 0.3
  check_blocks "$label" "$window" 2 "back from full screen"
  end_with_escape "$label" "$window"
}

if [ "$run_native" = 1 ] && ! command -v openbox >/dev/null 2>&1; then
  skip "the scale and full-screen checks: openbox is not installed (scripts/deps.sh test installs it)"
elif [ "$run_native" = 1 ]; then
  xvfb_session_stop
  if ! xvfb_session_start 1920x1080; then
    fail "Xvfb did not start at 1920x1080"
  elif ! xvfb_session_window_manager; then
    fail "the scale checks: openbox did not start on the virtual X server"
  else
    for program in sorvel2:Sorvel2 sorvel:Sorvel; do
      exe="$native_build/apps/${program%%:*}"
      [ -x "$exe" ] && check_scaled "${program%%:*} (native, 1920x1080)" "${program##*:}" "$exe"
    done
  fi
fi
# The same under Wine, where the backend makes the window DPI-aware and scales through GDI.
if [ "$run_windows" = 1 ] && [ "$wine_used" = 1 ] && command -v openbox >/dev/null 2>&1; then
  # Wine's server keeps the screen it first saw (800 x 600 above): it starts anew for this one.
  wine_env_stop
  if [ -z "$xvfb_pid" ] || [ "$run_native" = 0 ]; then
    xvfb_session_stop
    if ! xvfb_session_start 1920x1080 || ! xvfb_session_window_manager; then
      fail "the Windows scale checks: no 1920x1080 screen with openbox"
    fi
  fi
  if [ -f "$windows_build/apps/sorvel2.exe" ]; then
    check_scaled "sorvel2.exe (Wine, 1920x1080)" Sorvel2 wine "$windows_build/apps/sorvel2.exe"
  fi
fi

# --- the X server ending under the Linux programs ---
# A display can go away under a running program (the X server ends, a session is closed, a remote
# display drops); the program must then end promptly with a non-zero exit code, every time, not
# hang in its exit path. Each try has an X server of its own, ended a moment after the window
# shows.
gone_tries=3
gone_wait=5

# check_display_gone LABEL CAPTION EXE
check_display_gone() {
  local label=$1 caption=$2 exe=$3 try ended=0 log="$work/gone.log" started
  for try in $(seq "$gone_tries"); do
    xvfb_session_stop
    if ! xvfb_session_start; then
      fail "$label: Xvfb did not start for try $try"
      return
    fi
    start_and_find "$log" "$caption" "$exe"
    if [ -z "$window" ]; then
      fail "$label: no window in try $try of ending the X server"
      sed -n 1,20p "$log"
      wait_exit 1
      return
    fi
    sleep 0.5
    xvfb_session_stop
    started=$(now)
    if ! wait_exit "$gone_wait"; then
      fail "$label: still running ${gone_wait} s after its X server ended (try $try)"
    elif [ "$exit_code" -eq 0 ]; then
      fail "$label: exit code 0 after its X server ended (try $try): a failure reported as success"
    else
      ended=$((ended + 1))
      echo "  try $try: ended $(elapsed "$started") s after the X server, exit code $exit_code"
    fi
  done
  [ "$ended" -eq "$gone_tries" ] &&
    pass "$label: ends promptly with a non-zero exit each of $gone_tries times its X server ended"
}

if [ "$run_native" = 1 ]; then
  for program in sorvel2:Sorvel2 sorvel:Sorvel; do
    exe="$native_build/apps/${program%%:*}"
    [ -x "$exe" ] && check_display_gone "${program%%:*} (native)" "${program##*:}" "$exe"
  done
fi

summary
