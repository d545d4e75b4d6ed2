#!/usr/bin/env bash
# The run command: installs what is missing, builds the programs and runs sorvel2 in a window.
# Without a display it records the first ten seconds (600 frames) of each program as GIFs.
#   scripts/run.sh [sorvel2|sorvel]
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-sorvel2}
case "$program" in sorvel2 | sorvel) ;; *) echo "usage: $0 [sorvel2|sorvel]" >&2; exit 2 ;; esac

scripts/deps.sh run
cmake --preset run >/dev/null
cmake --build --preset run -j "$(nproc)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "running $program: arrow keys change the decay, Space the warp or colours, Escape quits"
  exec "build/run/apps/$program"
fi

echo "no display (DISPLAY and WAYLAND_DISPLAY are unset): recording GIFs instead of opening a window"
mkdir -p out
for p in sorvel2 sorvel; do
  build/run/tools/sorvel-record "$p" --frames 600 --keys 200:space,400:space --gif "out/$p.gif"
  echo "  $p: $(pwd)/out/$p.gif"
done
