#!/usr/bin/env bash
# What the pace costs: each Linux program in a real window on one virtual X server, at the default
# pace (a frame per refresh of the display) and with --fps max (frames back to back), SECONDS
# each, one after the other; the frames per second from the title, and the CPU time per second,
# as a percentage of one core, of the program and of the X server (from /proc over the same
# seconds). A measurement, not a test: not part of scripts/test.sh.
#   scripts/pace-cost.sh [SECONDS]     (default 10; builds build/release's programs if needed)
# SORVEL_PACE_COST_SCREEN sets the screen (800x600: the window at 1x).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-10}

# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null 2>&1 || { echo "pace-cost: $tool is not installed (scripts/deps.sh test installs it)" >&2; exit 1; }
done
if ! cmake --preset default >"$work/build.log" 2>&1 ||
  ! cmake --build --preset default -j "$(nproc)" --target sorvel2 sorvel >>"$work/build.log" 2>&1; then
  tail -n 20 "$work/build.log" >&2
  echo "pace-cost: the Linux build failed" >&2
  exit 1
fi
xvfb_session_start "${SORVEL_PACE_COST_SCREEN:-800x600}" || { echo "pace-cost: Xvfb did not start" >&2; exit 1; }

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
hz=$(getconf CLK_TCK)

printf '%-8s %-12s %8s %14s %12s\n' program pace fps "program %core" "Xvfb %core"
for program in sorvel2:Sorvel2 sorvel:Sorvel; do
  for pace in default max; do
    args=()
    [ "$pace" = max ] && args=(--fps max)
    "build/release/apps/${program%%:*}" "${args[@]}" >"$work/run.log" 2>&1 &
    program_pid=$!
    window=""
    for _ in $(seq 100); do
      window=$(xdotool search --onlyvisible --name "^${program##*:}" 2>/dev/null | head -n 1)
      [ -n "$window" ] && break
      sleep 0.1
    done
    if [ -z "$window" ]; then
      echo "pace-cost: ${program%%:*} showed no window" >&2
      cat "$work/run.log" >&2
      exit 1
    fi
    sleep 2 # past the start-up and the first titles
    start=$(date +%s.%N) p0=$(ticks "$program_pid") x0=$(ticks "$xvfb_pid")
    sleep "$seconds"
    end=$(date +%s.%N) p1=$(ticks "$program_pid") x1=$(ticks "$xvfb_pid")
    title=$(xdotool getwindowname "$window" 2>/dev/null)
    kill "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
    program_pid=""
    fps=$(echo "$title" | sed -n 's/.*- \([0-9]*\)FPS Prop- .*/\1/p')
    awk -v n="${program%%:*}" -v p="$pace" -v f="${fps:-?}" -v w="$(echo "$end - $start" | bc)" \
      -v pt=$((p1 - p0)) -v xt=$((x1 - x0)) -v hz="$hz" \
      'BEGIN { printf "%-8s %-12s %8s %14.1f %12.1f\n", n, p, f, 100 * pt / hz / w, 100 * xt / hz / w }'
    sleep 0.5
  done
done
echo
echo "$seconds s each on one Xvfb at ${SORVEL_PACE_COST_SCREEN:-800x600} (no window manager); CPU time" \
  "from /proc in clock ticks of 1/$hz s"
