#!/usr/bin/env bash
# What a program costs as a screen saver: each Linux program drawing on the root window of a
# virtual X server (--root, as xscreensaver runs it: the picture at the largest whole scale that
# fits, at the default pace), SECONDS each, one after the other; the CPU time per second, as a
# percentage of one core, of the program and of the X server (from /proc over the same seconds).
# A measurement, not a test: not part of scripts/test.sh.
#   scripts/saver-cost.sh [SECONDS] [WxH]     (default 10 and 1920x1080: the picture at 4x;
#                                              uses build/release's programs)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-10}
screen=${2:-1920x1080}

# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh
command -v Xvfb >/dev/null 2>&1 || { echo "saver-cost: Xvfb is not installed (scripts/deps.sh test installs it)" >&2; exit 1; }
for program in sorvel2 sorvel; do
  [ -x "build/release/apps/$program" ] || { echo "saver-cost: build/release/apps/$program is not built" >&2; exit 1; }
done
xvfb_session_start "$screen" || { echo "saver-cost: Xvfb did not start" >&2; exit 1; }

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
hz=$(getconf CLK_TCK)

printf '%-8s %-10s %14s %12s\n' program screen "program %core" "Xvfb %core"
for program in sorvel2 sorvel; do
  "build/release/apps/$program" --root >"$work/run.log" 2>&1 &
  program_pid=$!
  sleep 2 # past the start-up
  if ! kill -0 "$program_pid" 2>/dev/null; then
    cat "$work/run.log" >&2
    exit 1
  fi
  start=$(date +%s.%N) p0=$(ticks "$program_pid") x0=$(ticks "$xvfb_pid")
  sleep "$seconds"
  end=$(date +%s.%N) p1=$(ticks "$program_pid") x1=$(ticks "$xvfb_pid")
  kill "$program_pid" 2>/dev/null
  wait "$program_pid" 2>/dev/null
  program_pid=""
  awk -v n="$program" -v s="$screen" -v w="$(echo "$end - $start" | bc)" \
    -v pt=$((p1 - p0)) -v xt=$((x1 - x0)) -v hz="$hz" \
    'BEGIN { printf "%-8s %-10s %14.1f %12.1f\n", n, s, 100 * pt / hz / w, 100 * xt / hz / w }'
  sleep 0.5
done
