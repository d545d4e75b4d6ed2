#!/usr/bin/env bash
# Makes docs/sorvel2.webp, the README's animation: frames 130 to 330 of sorvel2, every one of
# them, at the full 320 x 240 and 50 frames a second, as the program shows them at its own pace
# (the polar warp, then Space at 200 for the swirl and at 280 for the ripple). An animated WebP,
# lossy at quality 70: 4 s in under 3 MB, where the same frames as a GIF take 12.5 MB (gifsicle
# -O3) or 7 MB (--lossy=80). The recorder's own GIFs and videos are the lossless record.
#   scripts/readme-animation.sh [RECORDER]      (needs FFmpeg with libwebp: scripts/deps.sh test)
set -euo pipefail
cd "$(dirname "$0")/.."
recorder=${1:-build/release/tools/sorvel-record}
command -v ffmpeg >/dev/null || { echo "readme-animation: needs ffmpeg (apt-get install ffmpeg)" >&2; exit 1; }
"$recorder" sorvel2 --frames 330 --keys 200:space,280:space --raw - --quiet |
  ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt rgb24 -s 320x240 -r 50 -i - \
    -vf "trim=start_frame=129,setpts=PTS-STARTPTS" -c:v libwebp_anim -lossless 0 -quality 70 \
    -compression_level 6 -loop 0 -f webp docs/sorvel2.webp.part
mv docs/sorvel2.webp.part docs/sorvel2.webp
ls -l docs/sorvel2.webp
