#!/usr/bin/env bash
# The recorder's outputs behave like a standard tool's: a named pipe, a device or /dev/stdout is
# written in place and never replaced; a regular file appears only when complete, and a failed
# run (a full disk at the first byte or the last frame, a device that refuses every byte) exits
# non-zero with one line naming the output and leaves no file, not even a temporary one; a reader
# that goes away ends the run quietly with SIGPIPE's status; Ctrl+C removes what was begun; the
# progress line shows only on a terminal and ends with a newline.
#   tests/e2e/recorder_outputs_check.sh PATH/TO/sorvel-record [video]
# With "video", the video output is held to the same rules.
set -uo pipefail
recorder=$(realpath "$1")
kinds="raw gif png"
[ "${2:-}" = video ] && kinds+=" mp4 mkv"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

option() { # the option that writes kind $1
  case "$1" in raw) echo --raw ;; gif) echo --gif ;; png) echo --png ;; *) echo --video ;; esac
}
container() { # the container option a path without an extension needs
  case "$1" in mp4 | mkv) echo --container "$1" ;; esac
}
# no file other than the ones named may be left in the working folder
only_left() {
  local left
  left=$(ls -A | grep -vx disk | sort | tr '\n' ' ')
  [ "$left" = "$* " ] || [ -z "$*" -a -z "$left" ] || fail "$label: files left: '$left', wanted '$*'"
}
# runs the recorder, keeping its exit code in rc and its standard error in err.txt's text
run() {
  "$recorder" "$@" 2>err.txt
  rc=$?
  err=$(cat err.txt)
  rm -f err.txt
}
expect_failure() { # the run failed with one line naming $1
  [ "$rc" -ne 0 ] || fail "$label: exit code 0"
  [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] && [[ "$err" == *"cannot write $1: "* ]] ||
    fail "$label: message '$err'"
}

# a tmpfs needs a mount namespace; where there is none, the file size limit alone stands in
tmpfs=yes
mkdir disk
unshare -rm sh -c 'mount -t tmpfs -o size=4k tmpfs disk' 2>/dev/null || {
  tmpfs=""
  echo "SKIPPED: full tmpfs cases (no mount namespace here); the file size limit still runs"
}

for kind in $kinds; do
  opt=$(option "$kind")
  frames=12
  # a complete run first, for the size of the whole file
  label="$kind complete"
  run sorvel2 --frames $frames --keys 3:space "$opt" out.$kind
  [ "$rc" -eq 0 ] && [ -s out.$kind ] && [ -z "$err" ] || fail "$label: rc $rc, '$err'"
  size=$(stat -c %s out.$kind)
  only_left out.$kind
  rm -f out.$kind

  # the disk fills at the first byte and just before the last: the file size limit stands in
  # for a full disk, failing the write as a full disk does
  for limit_bytes in 0 $((size - 1)); do
    label="$kind, disk full after $limit_bytes of $size bytes"
    echo previous >out.$kind
    # ulimit counts whole KiB: the limit is the last KiB boundary below the size. It holds for
    # standard error too, which therefore goes into a pipe.
    err=$(
      ulimit -f $((limit_bytes / 1024))
      exec "$recorder" sorvel2 --frames $frames --keys 3:space "$opt" out.$kind 2>&1
    )
    rc=$?
    expect_failure out.$kind
    [ "$(cat out.$kind)" = previous ] || fail "$label: the earlier out.$kind was changed"
    only_left out.$kind
    rm -f out.$kind
  done

  # a real full disk: a small tmpfs in a mount namespace of our own, full from the start, and
  # one page too small for the whole file
  if [ -n "$tmpfs" ]; then
    for disk_kib in 4 $((((size - 1) / 4096) * 4)); do
      label="$kind on a $disk_kib KiB tmpfs, $size bytes wanted"
      [ "$disk_kib" -ge 4 ] || continue
      fill=$([ "$disk_kib" = 4 ] && echo 4096 || echo 0)
      result=$(unshare -rm sh -c '
        mount -t tmpfs -o size="$1"k tmpfs disk && cd disk || exit 99
        head -c "$2" /dev/zero >filler 2>/dev/null
        "$3" sorvel2 --frames "$4" --keys 3:space "$5" out."$6" 2>&1
        echo "rc=$?"
        rm -f filler
        echo "left=$(ls -A)"' sh "$disk_kib" "$fill" "$recorder" $frames "$opt" "$kind")
      err=$(printf '%s\n' "$result" | head -n 1)
      rc=$(printf '%s\n' "$result" | sed -n 's/^rc=//p')
      expect_failure out.$kind
      [[ "$result" == *"No space left on device"* ]] || fail "$label: '$result'"
      [ "$(printf '%s\n' "$result" | sed -n 's/^left=//p')" = "" ] || fail "$label: '$result'"
    done
  fi

  label="$kind to /dev/full"
  run sorvel2 --frames $frames "$opt" /dev/full $(container "$kind")
  expect_failure /dev/full
  [ -c /dev/full ] || fail "$label: /dev/full is no longer a device"
  only_left

  label="$kind to a named pipe"
  mkfifo pipe.$kind
  timeout 60 cat pipe.$kind >read.$kind & # a pipe replaced by a file would leave it waiting
  reader=$!
  run sorvel2 --frames $frames --keys 3:space "$opt" pipe.$kind
  wait $reader
  [ "$rc" -eq 0 ] && [ -p pipe.$kind ] || fail "$label: rc $rc, '$err', or the pipe was replaced"
  [ "$(stat -c %s read.$kind)" -gt 0 ] || fail "$label: the reader got nothing"
  only_left pipe.$kind read.$kind
  rm -f pipe.$kind read.$kind
done
ok "$kinds: complete files, full disks, /dev/full and named pipes"

label="raw to /dev/stdout"
"$recorder" sorvel --frames 4 --scale 2 --raw /dev/stdout 2>err.txt >stdout.raw
rc=$?
[ "$rc" -eq 0 ] && [ "$(stat -c %s stdout.raw)" -eq $((4 * 320 * 240 * 3 * 4)) ] && [ ! -s err.txt ] ||
  fail "$label: rc $rc, $(stat -c %s stdout.raw) bytes"
rm -f err.txt stdout.raw
label="raw to /dev/null"
run sorvel --frames 4 --raw /dev/null
[ "$rc" -eq 0 ] && [ -c /dev/null ] || fail "$label: rc $rc, '$err'"
only_left

label="CRC lines to a full standard output"
"$recorder" sorvel --frames 4 --crc >/dev/full 2>err.txt
rc=$?
err=$(cat err.txt)
rm -f err.txt
expect_failure "standard output"
mkdir folder
label="a folder as the output"
run sorvel --frames 4 --gif folder
expect_failure folder
[ -z "$(ls -A folder)" ] || fail "$label: something was written into it"
rmdir folder
only_left
ok "/dev/stdout, /dev/null, a full standard output, a folder"

# The reader goes away: quietly, with the status SIGPIPE gives (128 + 13), and nothing left.
label="raw to a pipe whose reader stops"
"$recorder" sorvel --frames 1000 --gif side.gif --raw - 2>err.txt | head -c 1000 >/dev/null
rc=${PIPESTATUS[0]}
[ "$rc" -eq 141 ] && [ ! -s err.txt ] || fail "$label: rc $rc, '$(cat err.txt)'"
rm -f err.txt
only_left
label="raw to a named pipe whose reader stops"
mkfifo pipe
head -c 1000 pipe >/dev/null &
run sorvel --frames 1000 --raw pipe
[ "$rc" -eq 141 ] && [ -z "$err" ] || fail "$label: rc $rc, '$err'"
rm -f pipe
ok "a reader that goes away ends the run quietly"

# Ctrl+C: SIGINT part-way through removes the GIF begun, leaves the earlier file as it was, and
# ends with SIGINT's status (128 + 2).
label="Ctrl+C"
echo previous >out.gif
# job control gives the background recorder SIGINT as a terminal would, not ignored
set -m
"$recorder" sorvel2 --frames 100000 --gif out.gif 2>err.txt &
recorder_pid=$!
set +m
sleep 1
kill -INT $recorder_pid
wait $recorder_pid
rc=$?
[ "$rc" -eq 130 ] && [ ! -s err.txt ] || fail "$label: rc $rc, '$(cat err.txt)'"
[ "$(cat out.gif)" = previous ] || fail "$label: out.gif was changed"
rm -f err.txt out.gif
only_left
ok "Ctrl+C removes the partial output"

# The progress line: on a terminal (script gives the recorder one), redrawn in place and ended
# with a newline; never in a file, never with --quiet.
if command -v script >/dev/null; then
  label="progress on a terminal"
  script -qec "'$recorder' sorvel2 --frames 2000 --raw /dev/null" /dev/null >tty.txt
  last=$(tr '\r' '\n' <tty.txt | grep -a frames | tail -n 1)
  [[ "$last" == "2000/2000 frames  100%"*fps* ]] || fail "$label: last line '$last'"
  [ "$(tail -c 2 tty.txt | od -An -c | tr -d ' ')" = '\r\n' ] || fail "$label: no newline at the end"
  [ "$(tr '\r' '\n' <tty.txt | grep -ac frames)" -ge 2 ] || fail "$label: never redrawn"
  script -qec "'$recorder' sorvel2 --frames 2000 --raw /dev/null --quiet" /dev/null >tty.txt
  [ ! -s tty.txt ] || fail "progress with --quiet: '$(cat tty.txt)'"
  rm -f tty.txt
  ok "progress on a terminal, silent with --quiet"
else
  echo "SKIPPED: progress on a terminal (no script command)"
fi
label="progress into a file"
run sorvel2 --frames 2000 --raw /dev/null
[ "$rc" -eq 0 ] && [ -z "$err" ] || fail "$label: '$err'"
ok "no progress when standard error is a file"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
