#!/usr/bin/env bash
# The recorder's videos and enlarged pictures, decoded by FFmpeg's own tools: frame count, size,
# rate and duration of each container; a lossless .mkv decodes to the recorder's raw frames byte
# for byte; an .mp4 (H.264, yuv420p) keeps a mean PSNR of at least 35 dB against them; ten
# seconds of sorvel2 at 2x fit in 5 MB; --scale enlarges raw, GIF and PNG pixel by pixel and
# leaves the CRC lines alone.
#   tests/e2e/recorder_video_check.sh PATH/TO/sorvel-record
set -uo pipefail
recorder=$(realpath "$1")
for tool in ffmpeg ffprobe; do
  command -v $tool >/dev/null || { echo "FAIL: $tool is missing (scripts/deps.sh test installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# "frames width height rate duration" of a video, the frames counted by decoding them all
probe() {
  local frames stream duration
  frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1")
  stream=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height,r_frame_rate -of csv=p=0 "$1" | tr ',' ' ')
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$1")
  echo "$frames $stream $(printf '%.3f' "$duration")"
}
check_probe() { # file, wanted "frames width height rate duration"
  local got
  got=$(probe "$1")
  [ "$got" = "$2" ] && echo "ok: $1: $got" || fail "$1: got '$got', wanted '$2'"
}
# RGB24 frames of a video or GIF
decode() { ffmpeg -v error -i "$1" -f rawvideo -pix_fmt rgb24 -; }

keys=10:space,30:space,40:left,60:space
"$recorder" sorvel --frames 90 --keys $keys --video lossless.mkv --raw frames.raw || fail "sorvel .mkv run"
check_probe lossless.mkv "90 320 240 60/1 1.500"
if decode lossless.mkv | cmp -s - frames.raw; then
  echo "ok: lossless.mkv decodes to the raw frames byte for byte"
else
  fail "lossless.mkv differs from the raw frames"
fi

"$recorder" sorvel2 --frames 45 --fps 30 --video small.webm || fail "sorvel2 .webm run"
check_probe small.webm "45 320 240 30/1 1.500"

"$recorder" sorvel2 --frames 120 --keys $keys --scale 2 --video clip.mp4 --raw clip.raw ||
  fail "sorvel2 .mp4 run"
check_probe clip.mp4 "120 640 480 60/1 2.000"
[ "$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,pix_fmt -of csv=p=0 clip.mp4)" = h264,yuv420p ] ||
  fail "clip.mp4 is not H.264 in yuv420p"
psnr=$(ffmpeg -v info -i clip.mp4 -f rawvideo -pix_fmt rgb24 -s 640x480 -framerate 60 -i clip.raw \
  -lavfi "[0]format=rgb24[a];[1]format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
  sed -n 's/.*PSNR.*average:\([0-9.]*\).*/\1/p')
if awk -v p="$psnr" 'BEGIN { exit !(p >= 35) }'; then
  echo "ok: clip.mp4: mean PSNR $psnr dB against the raw frames"
else
  fail "clip.mp4: mean PSNR '$psnr' dB, wanted at least 35"
fi

# an .mp4 into a named pipe cannot be rewritten at the end, so it is written in fragments
mkfifo piped.mp4
cat piped.mp4 >received.mp4 &
"$recorder" sorvel2 --frames 30 --video piped.mp4 || fail "sorvel2 .mp4 into a pipe"
wait
[ -p piped.mp4 ] && [ "$(decode received.mp4 | wc -c)" -eq $((30 * 320 * 240 * 3)) ] &&
  echo "ok: an .mp4 written into a named pipe decodes to its 30 frames" || fail "the piped .mp4"

"$recorder" sorvel2 --frames 600 --scale 2 --video ten_seconds.mp4 || fail "ten seconds of sorvel2"
size=$(stat -c %s ten_seconds.mp4)
[ "$size" -lt 5000000 ] && echo "ok: ten seconds of sorvel2 at 2x: $size bytes" ||
  fail "ten seconds of sorvel2 at 2x: $size bytes, wanted under 5 MB"

# --scale: the 1x frames enlarged by FFmpeg's nearest-neighbour scaler are the recorder's own
"$recorder" sorvel --frames 20 --keys 5:space --scale 3 --raw big.raw --gif big.gif --png big.png --at 7 --crc >big.crc ||
  fail "the --scale 3 run"
"$recorder" sorvel --frames 20 --keys 5:space --raw one.raw --crc >one.crc || fail "the 1x run"
ffmpeg -v error -f rawvideo -pix_fmt rgb24 -s 320x240 -i one.raw -vf scale=960:720:flags=neighbor \
  -f rawvideo -pix_fmt rgb24 - >enlarged.raw
cmp -s enlarged.raw big.raw && echo "ok: --scale 3 raw frames are the 1x frames enlarged" || fail "--scale 3 raw"
decode big.gif | cmp -s - big.raw && echo "ok: --scale 3 GIF" || fail "--scale 3 GIF"
decode big.png | cmp -s - <(tail -c +$((6 * 960 * 720 * 3 + 1)) big.raw | head -c $((960 * 720 * 3))) &&
  echo "ok: --scale 3 PNG" || fail "--scale 3 PNG"
cmp -s big.crc one.crc && echo "ok: --scale leaves the CRC lines alone" || fail "--scale changed the CRC lines"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
