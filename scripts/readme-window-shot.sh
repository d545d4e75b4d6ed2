#!/usr/bin/env bash
# Makes docs/sorvel2-2x.png, the README's picture of a scaled window: sorvel2 run with --scale 2
# in a real window on a virtual X server (Xvfb, 1920x1080), Space pressed once for the swirl, and
# the window's pixels taken three seconds after it opened (tests/e2e/x_window.c, through libpng).
#   scripts/readme-window-shot.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
exe=$build/apps/sorvel2
[ -x "$exe" ] || { echo "readme-window-shot: $exe is not built" >&2; exit 1; }
for tool in Xvfb xdotool cc; do
  command -v "$tool" >/dev/null || { echo "readme-window-shot: needs $tool (scripts/deps.sh test)" >&2; exit 1; }
done
# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh
cc -std=c11 -O1 -o "$work/x_window" tests/e2e/x_window.c -lpng -lX11
xvfb_session_start 1920x1080 || { echo "readme-window-shot: Xvfb did not start" >&2; exit 1; }
"$exe" --scale 2 >"$work/log" 2>&1 &
program_pid=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Sorvel2' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { cat "$work/log"; echo "readme-window-shot: no window" >&2; exit 1; }
xdotool windowfocus --sync "$window"
xdotool key space
sleep 3
"$work/x_window" png "$window" "$work/shot.png"
mv "$work/shot.png" docs/sorvel2-2x.png
ls -l docs/sorvel2-2x.png
