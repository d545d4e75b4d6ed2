#!/usr/bin/env bash
# What showing the frames costs: each Linux program in a real window on a virtual X server with a
# window manager (openbox), SECONDS each, one after the other: at 1x on an 800x600 screen at the
# default pace (a frame per refresh of the display) and with --fps max (frames back to back), at
# its default 2x on 1920x1080, and in full screen (--fullscreen) on 1920x1080, 2560x1440 and
# 3840x2160 at the default pace. For each: the frames per second from the title, and the CPU time
# per second, as a percentage of one core, of the program and of the X server (from /proc over the
# same seconds); then each full screen's program CPU against the 1x window's of the same run. A
# measurement, not a test: not part of scripts/test.sh.
#   scripts/pace-cost.sh [SECONDS]     (default 10; builds build/release's programs if needed)
# SORVEL_PACE_COST_PROGRAMS names a folder holding sorvel2 and sorvel to measure instead of
# building them (an older build, to compare); SORVEL_PACE_COST_ONLY=sorvel2 (or sorvel) measures
# one program; SORVEL_PACE_COST_PRESENT=gpu (or cpu) runs them with that SORVEL_PRESENT (the GPU
# present is Mesa's llvmpipe here: a software GL's cost, not a GPU's), and
# SORVEL_PACE_COST_RUNS=short measures only the 1x window and full screen on 1920x1080 and
# 3840x2160.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-10}

# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh
for tool in Xvfb xdotool xprop openbox bc; do
  command -v "$tool" >/dev/null 2>&1 || { echo "pace-cost: $tool is not installed (scripts/deps.sh test installs it)" >&2; exit 1; }
done
programs=${SORVEL_PACE_COST_PROGRAMS:-}
if [ -z "$programs" ]; then
  programs=build/release/apps
  if ! cmake --preset default >"$work/build.log" 2>&1 ||
    ! cmake --build --preset default -j "$(nproc)" --target sorvel2 sorvel >>"$work/build.log" 2>&1; then
    tail -n 20 "$work/build.log" >&2
    echo "pace-cost: the Linux build failed" >&2
    exit 1
  fi
fi
for program in sorvel2 sorvel; do
  [ -x "$programs/$program" ] || { echo "pace-cost: no $programs/$program" >&2; exit 1; }
done

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
hz=$(getconf CLK_TCK)
load() { cut -d' ' -f1-3 /proc/loadavg; }

# measure PROGRAM:TITLE WHERE PACE [ARGS...]: one line of the table; the program's share of a
# core is kept in $work/share-PROGRAM-WHERE-PACE (blanks as underscores).
measure() {
  local program=$1 where=$2 pace=$3
  shift 3
  "$programs/${program%%:*}" "$@" >"$work/run.log" 2>&1 &
  program_pid=$!
  local window=""
  for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name "^${program##*:}" 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "pace-cost: ${program%%:*} showed no window ($where)" >&2
    cat "$work/run.log" >&2
    exit 1
  fi
  sleep 2 # past the start-up, full screen and the first titles
  local start p0 x0 end p1 x1 title fps
  start=$(date +%s.%N) p0=$(ticks "$program_pid") x0=$(ticks "$xvfb_pid")
  sleep "$seconds"
  end=$(date +%s.%N) p1=$(ticks "$program_pid") x1=$(ticks "$xvfb_pid")
  title=$(xdotool getwindowname "$window" 2>/dev/null)
  kill "$program_pid" 2>/dev/null
  wait "$program_pid" 2>/dev/null
  program_pid=""
  fps=$(echo "$title" | sed -n 's/.*- \([0-9]*\)FPS Prop- .*/\1/p')
  awk -v n="${program%%:*}" -v w="$where" -v p="$pace" -v f="${fps:-?}" \
    -v s="$(echo "$end - $start" | bc)" -v pt=$((p1 - p0)) -v xt=$((x1 - x0)) -v hz="$hz" \
    -v keep="$work/share-${program%%:*}-${where// /_}-$pace" \
    'BEGIN { share = 100 * pt / hz / s
             printf "%-8s %-22s %-8s %7s %14.1f %12.1f\n", n, w, p, f, share, 100 * xt / hz / s
             printf "%.3f\n", share > keep }'
  sleep 0.5
}

list="sorvel2:Sorvel2 sorvel:Sorvel"
case "${SORVEL_PACE_COST_PRESENT:-}" in
"") ;;
gpu | cpu) export SORVEL_PRESENT=$SORVEL_PACE_COST_PRESENT ;;
*) echo "pace-cost: SORVEL_PACE_COST_PRESENT is gpu or cpu" >&2; exit 2 ;;
esac
case "${SORVEL_PACE_COST_ONLY:-}" in
sorvel2) list="sorvel2:Sorvel2" ;;
sorvel) list="sorvel:Sorvel" ;;
esac

echo "load average before: $(load)"
printf '%-8s %-22s %-8s %7s %14s %12s\n' program where pace fps "program %core" "Xvfb %core"
# screen, where, pace, the program's words
runs=(
  "800x600|1x window|default|"
  "800x600|1x window|max|--fps max"
  "1920x1080|2x window (1080p)|default|"
  "1920x1080|full screen 1920x1080|default|--fullscreen"
  "2560x1440|full screen 2560x1440|default|--fullscreen"
  "3840x2160|full screen 3840x2160|default|--fullscreen"
)
if [ "${SORVEL_PACE_COST_RUNS:-}" = short ]; then
  runs=("${runs[0]}" "${runs[3]}" "${runs[5]}")
fi
screen_now=""
echo "present: ${SORVEL_PRESENT:-as the machine chooses}"
for run in "${runs[@]}"; do
  IFS='|' read -r screen where pace words <<<"$run"
  if [ "$screen" != "$screen_now" ]; then
    xvfb_session_stop
    xvfb_session_start "$screen" || { echo "pace-cost: Xvfb did not start at $screen" >&2; exit 1; }
    xvfb_session_window_manager || { echo "pace-cost: openbox did not start" >&2; exit 1; }
    screen_now=$screen
  fi
  for program in $list; do
    # shellcheck disable=SC2086 # the words are split on purpose
    measure "$program" "$where" "$pace" $words
  done
done
echo
for program in $list; do
  name=${program%%:*}
  one=$(cat "$work/share-$name-1x_window-default" 2>/dev/null)
  for size in 1920x1080 2560x1440 3840x2160; do
    full=$(cat "$work/share-$name-full_screen_$size-default" 2>/dev/null)
    [ -n "$one" ] && [ -n "$full" ] &&
      awk -v n="$name" -v s="$size" -v o="$one" -v f="$full" \
        'BEGIN { printf "%s: full screen %s costs %.1fx the 1x window\n", n, s, (o > 0 ? f / o : 0) }'
  done
done
echo
echo "$seconds s each on Xvfb with openbox; CPU time from /proc in clock ticks of 1/$hz s;" \
  "load average after: $(load)"
