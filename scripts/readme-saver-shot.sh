#!/usr/bin/env bash
# Makes docs/sorvel2-saver.png, the README's picture of sorvel2 as a screen saver: a real
# xscreensaver daemon (scripts/xscreensaver-session.sh: needs root and xscreensaver) on a virtual X
# server at 1920 x 1080 runs "sorvel2 --root --cycle 2", is activated, and the root window's pixels
# (what the screen shows: xscreensaver's window with the fire on it) are taken three seconds
# later, after the platform's first Space has brought the swirl (tests/e2e/x_window.c).
#   scripts/readme-saver-shot.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
exe=$build/apps/sorvel2
[ -x "$exe" ] || { echo "readme-saver-shot: $exe is not built" >&2; exit 1; }
for tool in Xvfb xwininfo cc; do
  command -v "$tool" >/dev/null || { echo "readme-saver-shot: needs $tool (scripts/deps.sh test)" >&2; exit 1; }
done
# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh
# shellcheck source=scripts/xscreensaver-session.sh
source scripts/xscreensaver-session.sh
trap 'xscreensaver_session_stop; xvfb_session_cleanup' EXIT
cc -std=c11 -O1 -o "$work/x_window" tests/e2e/x_window.c -lpng -lX11
xvfb_session_start 1920x1080 || { echo "readme-saver-shot: Xvfb did not start" >&2; exit 1; }
xscreensaver_session_start "$exe" --root --cycle 2 >"$work/why" ||
  { echo "readme-saver-shot: $(cat "$work/why")" >&2; exit 1; }
saver_command -activate >/dev/null
for _ in $(seq 100); do
  [ -n "$(saver_process)" ] && break
  sleep 0.1
done
[ -n "$(saver_process)" ] || { tail "$work/home/xscreensaver.log"; echo "readme-saver-shot: no sorvel2" >&2; exit 1; }
sleep 3
root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
"$work/x_window" png "$root" "$work/shot.png"
saver_command -deactivate >/dev/null
mv "$work/shot.png" docs/sorvel2-saver.png
ls -l docs/sorvel2-saver.png
