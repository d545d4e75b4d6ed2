#!/usr/bin/env bash
# The recorder's videos and enlarged pictures, decoded by FFmpeg's own tools: frame count, size,
# rate and duration of each container; a lossless .mkv decodes to the recorder's raw frames byte
# for byte; an .mp4's colour at 2x is each 2x2 block's own; ten seconds of sorvel2 at 2x fit in
# 5 MB with a mean PSNR against the raw frames that is measured over all ten seconds; --scale
# enlarges raw, GIF and PNG pixel by pixel and leaves the CRC lines alone.
# Without FFmpeg's tools it says SKIPPED and exits 77, which ctest counts as skipped.
#   tests/e2e/recorder_video_check.sh PATH/TO/sorvel-record
set -uo pipefail
recorder=$(realpath "$1")
for tool in ffmpeg ffprobe; do
  command -v $tool >/dev/null || { echo "SKIPPED: the recorder's videos: $tool is not installed (scripts/deps.sh test installs it)" >&2; exit 77; }
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
# the mean PSNR in RGB of a video (decoded by FILTER, default: FFmpeg's own conversion, as a
# player converts) against raw frames WxH (a file, or '-' for standard input): the PSNR of the
# mean squared error over all frames, as FFmpeg's psnr filter gives it
psnr() { # video raw WxH [filter]
  ffmpeg -v info -i "$1" -f rawvideo -pix_fmt rgb24 -s "$3" -framerate 60 -i "$2" \
    -lavfi "[0]${4:-format=rgb24}[a];[1]format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR.*average:\([0-9.]*\).*/\1/p'
}
at_least() { awk -v p="$1" -v least="$2" 'BEGIN { exit !(p != "" && p >= least) }'; }
# the colour of each 2x2 block where every frame pixel is one, as a player that repeats it does
point='scale=flags=neighbor+accurate_rnd+full_chroma_int,format=rgb24'

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
[ "$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,pix_fmt,chroma_location -of csv=p=0 clip.mp4)" = h264,yuv420p,center ] ||
  fail "clip.mp4 is not H.264 in yuv420p, its colour samples centred on their 2x2 pixels"
psnr=$(psnr clip.mp4 clip.raw 640x480)
at_least "$psnr" 35 && echo "ok: clip.mp4: mean PSNR $psnr dB against the raw frames" ||
  fail "clip.mp4: mean PSNR '$psnr' dB, wanted at least 35"

# lossless H.264 at 2x: all that is lost is the rounding to 8-bit YUV, as long as each colour
# sample is the mean of its own 2x2 block (a filter reaching into the next block gives 54 dB)
"$recorder" sorvel2 --frames 30 --scale 2 --crf 0 --video exact.mp4 || fail "sorvel2 --crf 0 .mp4 run"
psnr=$("$recorder" sorvel2 --frames 30 --scale 2 --raw - | psnr exact.mp4 - 640x480 "$point")
at_least "$psnr" 65 && echo "ok: exact.mp4: colour kept block by block, $psnr dB" ||
  fail "exact.mp4: mean PSNR '$psnr' dB with the colour repeated over each 2x2 block, wanted at least 65"

# an .mp4 into a named pipe cannot be rewritten at the end, so it is written in fragments
mkfifo piped.mp4
cat piped.mp4 >received.mp4 &
"$recorder" sorvel2 --frames 30 --video piped.mp4 || fail "sorvel2 .mp4 into a pipe"
wait
[ -p piped.mp4 ] && [ "$(decode received.mp4 | wc -c)" -eq $((30 * 320 * 240 * 3)) ] &&
  echo "ok: an .mp4 written into a named pipe decodes to its 30 frames" || fail "the piped .mp4"

# the default settings on what people post; the raw frames come from a second run (they are the
# same every run) through a pipe rather than 550 MB on disk
"$recorder" sorvel2 --frames 600 --scale 2 --video ten_seconds.mp4 || fail "ten seconds of sorvel2"
check_probe ten_seconds.mp4 "600 640 480 60/1 10.000"
size=$(stat -c %s ten_seconds.mp4)
[ "$size" -lt 5000000 ] && echo "ok: ten seconds of sorvel2 at 2x: $size bytes" ||
  fail "ten seconds of sorvel2 at 2x: $size bytes, wanted under 5 MB"
# 35 dB is the goal; under 5 MB these settings reach 33.2 dB (README), and this guards that
psnr=$("$recorder" sorvel2 --frames 600 --scale 2 --raw - | psnr ten_seconds.mp4 - 640x480)
psnr_point=$("$recorder" sorvel2 --frames 600 --scale 2 --raw - | psnr ten_seconds.mp4 - 640x480 "$point")
at_least "$psnr" 33 &&
  echo "ok: ten seconds of sorvel2 at 2x: mean PSNR $psnr dB ($psnr_point dB with the colour repeated)" ||
  fail "ten seconds of sorvel2 at 2x: mean PSNR '$psnr' dB over the 600 frames, wanted at least 33"

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
