#!/usr/bin/env bash
# Frames per second in a real window: the Linux sorvel2 and then, on the same virtual X server,
# the Windows sorvel2.exe under Wine, each at the SSE2 baseline (SORVEL_CPU=sse2) and with AVX2
# where the processor has it, ten seconds each, with the figures read from the title bar
# ("Sorvel2- <n>FPS Prop- 2", rewritten once a second) and printed side by side. Beside each, the
# time a frame takes in our own code (the same build's recorder, sorvel-record --time: the steps
# and the BitBlt into memory, no display) against the time a frame takes to be shown (1 / fps):
# the difference is what the display server and the window system cost. A measurement, not a
# test: it is not part of scripts/test.sh.
#   scripts/fps.sh [SECONDS]
# Builds sorvel2 in build/release and sorvel2.exe in build/mingw-i686 when they are missing or
# stale (SORVEL_FPS_NATIVE_BUILD and SORVEL_FPS_WINDOWS_BUILD choose other directories). Either
# side is SKIPPED, saying why, when its tools are missing.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-10}
native_build=${SORVEL_FPS_NATIVE_BUILD:-build/release}
windows_build=${SORVEL_FPS_WINDOWS_BUILD:-build/mingw-i686}

# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh

for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "fps: $tool is not installed (scripts/deps.sh test installs it)" >&2; exit 1; }
done

# --- the two programs ---
native_exe=""
native_note=""
if cmake --preset default -B "$native_build" >"$work/native.log" 2>&1 &&
  cmake --build "$native_build" -j "$(nproc)" --target sorvel2 sorvel-record >>"$work/native.log" 2>&1; then
  native_exe=$native_build/apps/sorvel2
else
  native_note="SKIPPED: the Linux build failed (see below)"
  tail -n 20 "$work/native.log"
fi

windows_exe=""
windows_note=""
if ! command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1; then
  windows_note="SKIPPED: no MinGW-w64 compiler"
elif ! cmake --preset mingw-i686 -B "$windows_build" >"$work/windows.log" 2>&1 ||
  ! cmake --build "$windows_build" -j "$(nproc)" --target sorvel2 sorvel-record >>"$work/windows.log" 2>&1; then
  windows_note="SKIPPED: the Windows build failed (see below)"
  tail -n 20 "$work/windows.log"
else
  # shellcheck source=scripts/wine-env.sh
  source scripts/wine-env.sh "$windows_build"
  if wine_env_ready; then
    windows_exe=$windows_build/apps/sorvel2.exe
    wine_used=1
  else
    windows_note="SKIPPED: Wine is not usable here"
  fi
fi

# --- the virtual X server ---
if ! xvfb_session_start; then
  echo "fps: Xvfb did not start" >&2
  exit 1
fi

# measure LABEL COMMAND...: runs the program for `seconds` seconds after its window appears and
# writes every distinct title it showed, one a line, to $work/LABEL.titles.
measure() {
  local label=$1 window="" deadline name last=""
  shift
  # the window of the run before must be gone, or it would be measured again
  deadline=$((SECONDS + 10))
  while [ "$SECONDS" -le "$deadline" ] && xdotool search --onlyvisible --name '^Sorvel2' >/dev/null 2>&1; do
    sleep 0.2
  done
  "$@" >"$work/$label.log" 2>&1 &
  program_pid=$!
  deadline=$((SECONDS + 30)) # Wine's first start in a prefix is slow
  while [ -z "$window" ] && [ "$SECONDS" -le "$deadline" ] && kill -0 "$program_pid" 2>/dev/null; do
    window=$(xdotool search --onlyvisible --name '^Sorvel2' 2>/dev/null | head -n 1)
    [ -z "$window" ] && sleep 0.1
  done
  : >"$work/$label.titles"
  if [ -n "$window" ]; then
    deadline=$((SECONDS + seconds))
    while [ "$SECONDS" -lt "$deadline" ]; do
      name=$(xdotool getwindowname "$window" 2>/dev/null) || break
      if [ "$name" != "$last" ]; then
        echo "$name" >>"$work/$label.titles"
        last=$name
      fi
      sleep 0.1
    done
  else
    echo "fps: $label showed no window" >&2
    sed -n 1,20p "$work/$label.log" >&2
  fi
  kill "$program_pid" 2>/dev/null
  wait "$program_pid" 2>/dev/null
  program_pid=""
}

# our_time LABEL COMMAND...: the recorder's mean time of a frame in our code, to $work/LABEL.time.
our_time() {
  local label=$1
  shift
  "$@" sorvel2 --frames 3000 --time 2>/dev/null | tr -d '\r' >"$work/$label.time"
}

levels="sse2"
if grep -qw avx2 /proc/cpuinfo 2>/dev/null; then
  levels="sse2 avx2"
fi
for level in $levels; do
  if [ -n "$native_exe" ]; then
    SORVEL_CPU=$level measure "linux-$level" "$native_exe"
    SORVEL_CPU=$level our_time "linux-$level" "$native_build/tools/sorvel-record"
  fi
  if [ -n "$windows_exe" ]; then
    SORVEL_CPU=$level measure "windows-$level" wine "$windows_exe"
    SORVEL_CPU=$level our_time "windows-$level" wine "$windows_build/tools/sorvel-record.exe"
  fi
done

python3 - "$work" "$seconds" "$levels" "$native_note" "$windows_note" <<'EOF'
import re
import statistics
import sys

work, seconds, levels = sys.argv[1], sys.argv[2], sys.argv[3].split()
notes = {"linux": sys.argv[4], "windows": sys.argv[5]}
columns = [(f"{system}-{level}", f"{name} {level}", system)
           for system, name in (("linux", "Linux"), ("windows", "Wine"))
           for level in levels]
figures = {}
ours = {}
for label, _, _ in columns:
    try:
        titles = open(f"{work}/{label}.titles").read().splitlines()
    except OSError:
        titles = []
    fps = [int(m.group(1)) for t in titles if (m := re.search(r"- (\d+)FPS Prop- \d+$", t))]
    # The first figure counts the frames of a second that began before the window was shown.
    figures[label] = fps[1:] if len(fps) > 1 else fps
    try:
        m = re.search(r"([\d.]+) us per frame", open(f"{work}/{label}.time").read())
        ours[label] = float(m.group(1)) if m else None
    except OSError:
        ours[label] = None

def cell(label, system, what):
    if notes[system]:
        return notes[system] if what == "median" else ""
    v = figures[label]
    if what == "ours":
        return f"{ours[label]:.1f}" if ours[label] else "-"
    if not v:
        return "no title with a frame count"
    if what == "median":
        return f"{statistics.median(v):.0f}"
    if what == "shown":
        return f"{1e6 / statistics.median(v):.1f}"
    if what == "share":
        return f"{100 * ours[label] * statistics.median(v) / 1e6:.0f}%" if ours[label] else "-"
    if what == "range":
        return f"{min(v)}..{max(v)}"
    return str(len(v))

rows = [("frames per second (median)", "median"), ("lowest..highest", "range"),
        ("title updates counted", "count"), ("us per frame shown (1/fps)", "shown"),
        ("us per frame in our code", "ours"), ("our code's share of a frame", "share")]
width = max(len(r[0]) for r in rows)
cols = [max(len(name), *(len(cell(label, system, w)) for _, w in rows))
        for label, name, system in columns]
print(f"{'':<{width}}  " + "  ".join(f"{name:<{c}}" for (_, name, _), c in zip(columns, cols)))
for text, what in rows:
    print(f"{text:<{width}}  " + "  ".join(f"{cell(label, system, what):<{c}}"
                                          for (label, _, system), c in zip(columns, cols)))
print(f"\n{seconds} s each on one virtual X server (Xvfb, no window manager), one after the other;"
      " our code: sorvel-record sorvel2 --frames 3000 --time (wall clock)")
EOF
