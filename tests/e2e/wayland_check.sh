#!/usr/bin/env bash
# End-to-end checks of sorvel2 on Wayland itself: Debian's sway on its headless backend (no
# screen, no input devices, pixman's software renderer, XWayland off, DISPLAY unset), started
# here as the ordinary user sorvel-wayland (made once; sway refuses to run as root), with the
# program through SDL's Wayland driver. For each present (SORVEL_PRESENT=cpu, and =gpu where the
# build has it; else a loud SKIPPED):
#   - the window opens on a 1920 x 1080 output at 2x, every one of the picture's blocks 2 x 2
#     real pixels of one colour, the fire's colours only (grim's screenshot of the output), and
#     the title shows about 60 frames a second; with the GPU present, because its presents wait
#     for sway's frame clock (timed by the program when its window is first shown)
#   - F11 (a key of wtype's virtual keyboard) puts it in full screen at 4x, blocks exact, and
#     Alt+Enter back in its window at 2x
#   - Escape ends it with exit code 0; in a second run, closing the window (swaymsg kill, as a
#     keyboard shortcut of sway's does) ends it with exit code 0
#   - on an output of scale 2 (960 x 540 points, 1920 x 1080 pixels) the picture is in exact
#     blocks of the output's real pixels, 2 x 2, drawn so by SDL, not stretched by sway; with
#     SDL 2.28 or later (Debian 13) on an output of scale 1.5 too, the 2x chosen in real pixels
# And without sway: a WAYLAND_DISPLAY that leads nowhere (and no DISPLAY) gives one line and a
# non-zero exit code, as a missing X display does; --root and XSCREENSAVER_WINDOW where only
# Wayland is give one line naming them and a non-zero exit code before any window.
#
# usage: tests/e2e/wayland_check.sh [BUILD_DIR]
#        tests/e2e/wayland_check.sh --measure [BUILD_DIR]
#   BUILD_DIR defaults to build/release. --measure runs no checks: it prints the CPU time that
#   sorvel2 and sway take over 10 s in a 1x window and in full screen on outputs of 1920 x 1080
#   and 3840 x 2160, for each present (docs/measurements.md).
# Needs root (to run sway as the other user), sway, grim, wtype, python3 and setpriv; a missing one skips
# the checks with a loud SKIPPED line; a missing program is a failure.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
measure=0
if [ "${1:-}" = --measure ]; then
  measure=1
  shift
fi
build=${1:-build/release}

# Seconds allowed for the window to appear, and for the program to end once told.
window_wait=10
exit_wait=8

# shellcheck source=tests/e2e/check_common.sh
source tests/e2e/check_common.sh
summary() {
  echo "wayland: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
}

user=sorvel-wayland
work=$(mktemp -d)
sway_pid=""
program_pid=""
cleanup() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
  fi
  if [ -n "$sway_pid" ]; then
    kill "$sway_pid" 2>/dev/null
    wait "$sway_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

for tool in sway swaymsg grim wtype python3 setpriv; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    skip "all Wayland checks: $tool is not installed (scripts/deps.sh test installs it)"
    summary
    exit
  fi
done
if [ "$(id -u)" -ne 0 ]; then
  skip "all Wayland checks: running sway as the user $user needs root"
  summary
  exit
fi
[ -x "$build/apps/sorvel2" ] || { fail "$build/apps/sorvel2 is not built"; summary; exit; }
if ! id "$user" >/dev/null 2>&1 &&
  ! useradd --no-create-home --shell /usr/sbin/nologin "$user" 2>"$work/useradd.log"; then
  skip "all Wayland checks: no user $user, and it cannot be made: $(head -n 1 "$work/useradd.log")"
  summary
  exit
fi

# The program where that user can run it, and the folders it writes: a home (Mesa keeps its
# shader cache there, and says so on every start where it cannot), the compositor's runtime
# folder and the screenshots.
chmod 755 "$work"
mkdir -p "$work/bin" "$work/home" "$work/run" "$work/shots"
cp "$build/apps/sorvel2" "$work/bin/"
chmod 755 "$work/bin" "$work/bin/sorvel2"
chown "$user" "$work/home" "$work/run" "$work/shots"
chmod 700 "$work/run"
cat >"$work/sway.config" <<'CONFIG'
xwayland disable
output HEADLESS-1 mode 1920x1080 position 0 0 scale 1
default_border none
default_floating_border none
focus_follows_mouse no
for_window [app_id="sorvel2"] floating enable
CONFIG
chmod 644 "$work/sway.config"

# as_user COMMAND...: runs COMMAND as the user, in the session's environment only; as_user_prefix
# sets `prefix` to the words that do so, for a command started in the background, whose $! must
# be its own process (setpriv and env become the command).
as_user_prefix() {
  prefix=(setpriv --reuid="$user" --regid="$user" --init-groups env -i PATH=/usr/bin:/bin
    HOME="$work/home" XDG_RUNTIME_DIR="$work/run")
  [ -z "$wayland_display" ] || prefix+=(WAYLAND_DISPLAY="$wayland_display")
  [ -z "$sway_socket" ] || prefix+=(SWAYSOCK="$sway_socket")
}
as_user() {
  as_user_prefix
  "${prefix[@]}" "$@"
}

wayland_display=""
sway_socket=""
as_user_prefix
"${prefix[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  sway -c "$work/sway.config" >"$work/sway.log" 2>&1 &
sway_pid=$!
limit=$(deadline 10)
while before "$limit" && kill -0 "$sway_pid" 2>/dev/null; do
  for found in "$work"/run/wayland-[0-9] "$work"/run/wayland-[0-9][0-9]; do
    [ -S "$found" ] && wayland_display=${found##*/}
  done
  for found in "$work"/run/sway-ipc.*.sock; do
    [ -S "$found" ] && sway_socket=$found
  done
  [ -n "$wayland_display" ] && [ -n "$sway_socket" ] && break
  sleep 0.1
done
if [ -z "$wayland_display" ] || [ -z "$sway_socket" ]; then
  tail -n 20 "$work/sway.log"
  fail "sway did not start on its headless backend (its log is above)"
  summary
  exit
fi
echo "sway $(sway --version | awk '{ print $3 }') headless as $user, Wayland display $wayland_display, no DISPLAY"

# output SETTINGS...: sets the headless output (mode WxH, scale N).
output() { as_user swaymsg output HEADLESS-1 "$@" >/dev/null; }

# window_rect: the program's window in the output's real pixels, "X Y WIDTH HEIGHT TITLE", from
# sway's tree (in points) and the output's scale; nothing while there is none.
window_rect() {
  as_user swaymsg -t get_tree 2>/dev/null | python3 -c '
import json, sys
def walk(node, scale):
    scale = node.get("scale") or scale
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        yield from walk(child, scale)
    if node.get("app_id") == "sorvel2":
        yield node, scale
for node, scale in walk(json.load(sys.stdin), 1):
    r = node["rect"]
    print(*(round(r[k] * scale) for k in ("x", "y", "width", "height")), node.get("name") or "")
    break'
}

# start LOG [ENV=VALUE...] [ARGUMENTS...]: starts sorvel2 as the user; waits for its window and
# sets `rect`, or fails (and ends the program).
start() {
  local log=$1 limit
  shift
  local settings=()
  while [[ "${1:-}" == *=* ]]; do settings+=("$1"); shift; done
  as_user_prefix
  "${prefix[@]}" "${settings[@]}" "$work/bin/sorvel2" "$@" >"$log" 2>&1 &
  program_pid=$!
  rect=""
  limit=$(deadline "$window_wait")
  while before "$limit" && kill -0 "$program_pid" 2>/dev/null; do
    rect=$(window_rect)
    [[ "$rect" == *FPS* ]] && return 0
    sleep 0.1
  done
  cat "$log"
  wait_exit 3
  return 1
}

# look LABEL WHAT SCALE: a screenshot of the output; the window shows the picture at SCALE in
# exact blocks of one colour, black around it, the fire lit in its own colours.
look() {
  local label=$1 what=$2 scale=$3 shot reading x y width height got broken blocks outside lit unfire
  shot="$work/shots/${label// /-}-${what// /-}.ppm"
  if ! as_user grim -t ppm "$shot" 2>"$work/grim.log"; then
    fail "$label: $what: grim took no screenshot: $(head -n 1 "$work/grim.log")"
    return
  fi
  read -r x y width height _ <<<"$rect"
  reading=$(python3 tests/e2e/wayland_picture.py "$shot" "$x" "$y" "$width" "$height")
  read -r got broken blocks outside lit unfire <<<"$reading"
  if [ "${got:-}" = "$scale" ] && [ "$broken" = 0 ] && [ "$outside" = 0 ] && [ "$lit" -ge 10 ] &&
    [ "$unfire" = 0 ]; then
    pass "$label: $what: the picture at ${scale}x, all $blocks blocks exact, black around it, $lit% lit in the fire's colours"
  else
    fail "$label: $what: not the picture at ${scale}x in exact blocks (scale, broken, blocks, lit outside, % lit, colours not the fire's: ${reading:-unreadable})"
  fi
}

# key NAME: one press and release of wtype's virtual keyboard. The keyboard appears to sway when
# wtype starts, and the focused window is given it only after a moment; pressed at once, the key
# would reach no one.
key() { as_user wtype -s 400 -k "$1"; }

# ends LABEL HOW LOG: the program ends with exit code 0.
ends() { ends_cleanly "$1" "$2" "$exit_wait" "$3"; }

# on_scaled_output LABEL PRESENT SCALE: on an output of SCALE the window shows the picture in
# exact blocks of 2 real pixels, and closing it ends the program with exit code 0.
on_scaled_output() {
  local label=$1 present=$2 scale=$3
  output scale "$scale"
  if start "$work/$present.log" SORVEL_PRESENT="$present"; then
    sleep 2 # the fire takes a second or two to rise
    rect=$(window_rect)
    look "$label" "an output of scale $scale" 2
    as_user swaymsg kill >/dev/null
    ends "$label" "closing the window on the output of scale $scale" "$work/$present.log"
  else
    fail "$label: no window appeared on the output of scale $scale"
  fi
}

# fps_of: the frames per second in the title of `rect` ("Sorvel2- 60FPS Prop- 2").
fps_of() { sed -n 's/.*- \([0-9]*\)FPS.*/\1/p' <<<"$rect"; }

# The SDL the program runs with (the package's version), for what it can do on Wayland.
sdl_version=$(dpkg-query -W -f='${Version}' libsdl2-2.0-0 2>/dev/null)
sdl_version=${sdl_version%%+*}

presents=(cpu)
if grep -q SORVEL_PRESENT "$build/apps/sorvel2"; then
  presents+=(gpu)
else
  skip "SORVEL_PRESENT=gpu under Wayland: the GPU present is not in this build"
fi

# --- item 6's figures: CPU in a window and in full screen ---
if [ "$measure" = 1 ]; then
  lscpu | sed -n 's/^Model name: *//p'
  for present in "${presents[@]}"; do
    for mode in 1920x1080 3840x2160; do
      output mode "$mode"
      for how in "--scale 1" "--fullscreen"; do
        # shellcheck disable=SC2086 # the option and its value
        start "$work/measure.log" SORVEL_PRESENT="$present" $how || { fail "$present $how: no window"; continue; }
        sleep 2
        rect=$(window_rect)
        program_ticks=$(cpu_ticks "$program_pid")
        sway_ticks=$(cpu_ticks "$sway_pid")
        sleep 10
        program_ticks=$(($(cpu_ticks "$program_pid") - program_ticks))
        sway_ticks=$(($(cpu_ticks "$sway_pid") - sway_ticks))
        hz=$(getconf CLK_TCK)
        printf '%s %s %s: window %s; sorvel2 %.1f%% of a core, sway %.1f%%; title %s\n' \
          "$present" "$mode" "$how" "$(cut -d' ' -f3-4 <<<"$rect")" \
          "$(awk -v t="$program_ticks" -v h="$hz" 'BEGIN { print t * 100 / h / 10 }')" \
          "$(awk -v t="$sway_ticks" -v h="$hz" 'BEGIN { print t * 100 / h / 10 }')" \
          "$(cut -d' ' -f5- <<<"$rect")"
        as_user swaymsg kill >/dev/null
        wait_exit "$exit_wait" || echo "(the program did not end at the close)"
        # What is handed to sway per frame: the buffers that SDL's renderer (Mesa's, on wl_shm
        # here) attaches, and how many it commits in two seconds, from Wayland's own log.
        # shellcheck disable=SC2086 # the option and its value
        start "$work/debug.log" SORVEL_PRESENT="$present" WAYLAND_DEBUG=1 $how || continue
        sleep 1
        from=$(wc -l <"$work/debug.log")
        sleep 2
        as_user swaymsg kill >/dev/null
        wait_exit "$exit_wait"
        awk -v from="$from" '
          /create_buffer\(/ { sub(/.*create_buffer\(/, ""); split($0, f, /, /); size = f[5] * f[4]
                              shape = f[3] "x" f[4] " stride " f[5] }
          NR >= from && /-> wl_surface[@#][0-9]+\.commit\(\)/ { commits++ }
          END { printf "  buffers %s: %d bytes each; %d commits in 2 s\n", shape, size, commits }
        ' "$work/debug.log"
      done
    done
  done
  exit 0
fi

# --- the program's own window, each present ---
for present in "${presents[@]}"; do
  label="SORVEL_PRESENT=$present"
  output mode 1920x1080 scale 1
  if ! start "$work/$present.log" SORVEL_PRESENT="$present" SORVEL_VERBOSE=1; then
    fail "$label: no window appeared on Wayland within $window_wait s"
    continue
  fi
  # The title's count from the second update on (the first counts part of a second), the
  # highest of three: a machine busy with other work may hold a single second back.
  sleep 1.5
  fps=""
  for _ in 1 2 3; do
    sleep 1
    rect=$(window_rect)
    reading=$(fps_of)
    [ -n "$reading" ] && { [ -z "$fps" ] || [ "$reading" -gt "$fps" ]; } && fps=$reading
  done
  if [ -n "$fps" ] && [ "$fps" -ge 54 ] && [ "$fps" -le 66 ]; then
    pass "$label: the title shows $fps frames a second"
  else
    fail "$label: the title shows ${fps:-no} frames a second, not about 60 (${rect#* * * * })"
  fi
  # The GPU present's presents wait for sway's frame callbacks, which then pace the frames in
  # place of the timer; the program says what it timed when its window was first shown.
  if [ "$present" = gpu ]; then
    timed=$(grep -o 'a present took .*' "$work/$present.log" | head -n 1)
    if [[ "$timed" == *"the display's pace waits for its refresh"* ]]; then
      pass "$label: the compositor's frame clock paces the frames: $timed"
    else
      fail "$label: the presents do not pace the frames: ${timed:-nothing said of them}"
    fi
  fi
  look "$label" "a window on a 1920 x 1080 output" 2
  key F11
  sleep 1
  rect=$(window_rect)
  look "$label" "full screen (F11)" 4
  as_user wtype -s 400 -M alt -k Return -m alt
  sleep 1
  rect=$(window_rect)
  look "$label" "back in the window (Alt+Enter)" 2
  key Escape
  ends "$label" "Escape" "$work/$present.log"

  if start "$work/$present.log" SORVEL_PRESENT="$present"; then
    as_user swaymsg kill >/dev/null
    ends "$label" "closing the window (swaymsg kill)" "$work/$present.log"
  else
    fail "$label: no window appeared for the close"
  fi

  on_scaled_output "$label" "$present" 2

  # A fractional scale: SDL 2.28 and later draw it in the output's pixels (1.5 to a point), SDL
  # 2.26 draws 2 to a point and sway shrinks that, so there are no exact blocks to see.
  if [ -z "$sdl_version" ] || dpkg --compare-versions "$sdl_version" lt 2.28; then
    skip "$label: an output of scale 1.5: SDL ${sdl_version:-of unknown version} has no fractional scaling (2.28 or later has)"
  else
    on_scaled_output "$label" "$present" 1.5
  fi
done

# --- where no window can be made, or only Wayland is ---
# refused LABEL EXPECTED COMMAND...: the command ends with a non-zero exit code and one line that
# holds EXPECTED.
refused() {
  local label=$1 expected=$2 said code
  shift 2
  said=$(timeout 20 "$@" 2>&1)
  code=$?
  if [ "$code" -ne 0 ] && [ "$code" -ne 124 ] && [ "$(wc -l <<<"$said")" -eq 1 ] &&
    [[ "$said" == *"$expected"* ]]; then
    pass "$label: exit code $code and one line: $said"
  else
    fail "$label: exit code $code (want non-zero) and: ${said:-nothing}"
  fi
}
refused "a WAYLAND_DISPLAY that leads nowhere, no DISPLAY" "platform:" \
  env -u DISPLAY -u SDL_VIDEODRIVER XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY=wayland-nowhere \
  "$build/apps/sorvel2"
# SDL's renderer, which draws the picture of a Wayland window, forbidden as if the machine had no
# GL driver: the window is refused as it is made.
label="a Wayland window that can have no picture (SDL_FRAMEBUFFER_ACCELERATION=0)"
output scale 1
as_user_prefix
"${prefix[@]}" SDL_FRAMEBUFFER_ACCELERATION=0 "$work/bin/sorvel2" >"$work/refused.log" 2>&1 &
program_pid=$!
if ! wait_exit 10; then
  fail "$label: the program ran on with no window anyone could see"
elif [ "$exit_code" -ne 0 ] && [ "$(wc -l <"$work/refused.log")" -eq 1 ] &&
  grep -q "CreateWindowExA" "$work/refused.log"; then
  pass "$label: exit code $exit_code and one line: $(cat "$work/refused.log")"
else
  fail "$label: exit code $exit_code (want non-zero) and: $(cat "$work/refused.log")"
fi
refused "--root where only Wayland is" "--root" \
  env -u DISPLAY WAYLAND_DISPLAY=wayland-1 "$build/apps/sorvel2" --root
refused "XSCREENSAVER_WINDOW where only Wayland is" "XSCREENSAVER_WINDOW" \
  env -u DISPLAY WAYLAND_DISPLAY=wayland-1 XSCREENSAVER_WINDOW=0x400008 "$build/apps/sorvel2"

summary
