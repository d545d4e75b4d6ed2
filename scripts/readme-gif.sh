#!/usr/bin/env bash
# Makes docs/sorvel2.gif, the README's picture: frames 150 to 540 of sorvel2 (the polar warp,
# then Space at 300 for the swirl and at 450 for the ripple), every third frame at half size, so
# that it stays under 2 MB. The recorder's own GIFs are full size and lossless.
set -euo pipefail
cd "$(dirname "$0")/.."
recorder=${1:-build/release/tools/sorvel-record}
command -v convert >/dev/null || { echo "needs ImageMagick (apt-get install imagemagick)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$recorder" sorvel2 --frames 540 --keys 300:space,450:space --gif "$work/full.gif"
convert "$work/full.gif[$(seq -s, 150 3 539)]" -coalesce -sample 50% -set delay 6 -loop 0 \
  -layers Optimize docs/sorvel2.gif
ls -l docs/sorvel2.gif
