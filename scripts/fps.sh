#!/usr/bin/env bash
# Frames per second in a real window: the Linux sorvel2 and then, on the same virtual X server,
# the Windows sorvel2.exe under Wine, ten seconds each, with the figures read from the title bar
# ("Sorvel2- <n>FPS Prop- 2", rewritten once a second) and printed side by side. A measurement,
# not a test: it is not part of scripts/test.sh.
#   scripts/fps.sh [SECONDS]
# Builds sorvel2 in build/release and sorvel2.exe in build/mingw-i686 when they are missing or
# stale (SORVEL_FPS_NATIVE_BUILD and SORVEL_FPS_WINDOWS_BUILD choose other directories;
# SORVEL_FPS_WINDOWS_PRESET=mingw-x86_64 measures the 64-bit build, for machines that cannot run
# 32-bit programs). Either side is SKIPPED, saying why, when its tools are missing.
# SORVEL_FPS_NATIVE_EXE measures that Linux program instead of building one (an older build, to
# compare), SORVEL_FPS_ARGS gives it words (--scale 2, --fullscreen), and SORVEL_FPS_SCREEN sets
# the screen (800x600; with a window manager, as full screen needs one, when the words ask for
# full screen).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
seconds=${1:-10}
native_build=${SORVEL_FPS_NATIVE_BUILD:-build/release}
windows_preset=${SORVEL_FPS_WINDOWS_PRESET:-mingw-i686}
windows_build=${SORVEL_FPS_WINDOWS_BUILD:-build/$windows_preset}

# shellcheck source=scripts/xvfb-session.sh
source scripts/xvfb-session.sh

for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "fps: $tool is not installed (scripts/deps.sh test installs it)" >&2; exit 1; }
done

# --- the two programs ---
native_exe=""
native_note=""
read -r -a native_args <<<"${SORVEL_FPS_ARGS:-}"
if [ -n "${SORVEL_FPS_NATIVE_EXE:-}" ]; then
  native_exe=$SORVEL_FPS_NATIVE_EXE
elif cmake --preset default -B "$native_build" >"$work/native.log" 2>&1 &&
  cmake --build "$native_build" -j "$(nproc)" --target sorvel2 >>"$work/native.log" 2>&1; then
  native_exe=$native_build/apps/sorvel2
else
  native_note="SKIPPED: the Linux build failed (see below)"
  tail -n 20 "$work/native.log"
fi

windows_exe=""
windows_note=""
if ! command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1; then
  windows_note="SKIPPED: no MinGW-w64 compiler"
elif ! cmake --preset "$windows_preset" -B "$windows_build" >"$work/windows.log" 2>&1 ||
  ! cmake --build "$windows_build" -j "$(nproc)" --target sorvel2 >>"$work/windows.log" 2>&1; then
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
if ! xvfb_session_start "${SORVEL_FPS_SCREEN:-800x600}"; then
  echo "fps: Xvfb did not start" >&2
  exit 1
fi
if [[ " ${native_args[*]} " == *" --fullscreen "* ]] && ! xvfb_session_window_manager; then
  echo "fps: full screen needs a window manager (openbox) and none started" >&2
  exit 1
fi

# measure LABEL COMMAND...: runs the program for `seconds` seconds after its window appears and
# writes every distinct title it showed, one a line, to $work/LABEL.titles.
measure() {
  local label=$1 window="" deadline name last=""
  shift
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

[ -n "$native_exe" ] && measure linux "$native_exe" "${native_args[@]}"
[ -n "$windows_exe" ] && measure windows wine "$windows_exe"

python3 - "$work" "$seconds" "$native_note" "$windows_note" <<'EOF'
import re
import statistics
import sys

work, seconds, notes = sys.argv[1], sys.argv[2], {"linux": sys.argv[3], "windows": sys.argv[4]}
columns = [("linux", "Linux sorvel2"), ("windows", "Windows sorvel2.exe (Wine)")]
figures = {}
for label, _ in columns:
    try:
        titles = open(f"{work}/{label}.titles").read().splitlines()
    except OSError:
        titles = []
    fps = [int(m.group(1)) for t in titles if (m := re.search(r"- (\d+)FPS Prop- \d+$", t))]
    # The first figure counts the frames of a second that began before the window was shown.
    figures[label] = fps[1:] if len(fps) > 1 else fps

def cell(label, what):
    if notes[label]:
        return notes[label] if what == "median" else ""
    v = figures[label]
    if not v:
        return "no title with a frame count"
    if what == "median":
        return f"{statistics.median(v):.0f}"
    if what == "range":
        return f"{min(v)}..{max(v)}"
    return str(len(v))

rows = [("frames per second (median)", "median"), ("lowest..highest", "range"),
        ("title updates counted", "count")]
width = max(len(r[0]) for r in rows)
cols = [max(len(name), *(len(cell(label, w)) for _, w in rows)) for label, name in columns]
print(f"{'':<{width}}  " + "  ".join(f"{name:<{c}}" for (_, name), c in zip(columns, cols)))
for text, what in rows:
    print(f"{text:<{width}}  " +
          "  ".join(f"{cell(label, what):<{c}}" for (label, _), c in zip(columns, cols)))
print(f"\n{seconds} s each on one virtual X server (Xvfb, no window manager), one after the other")
EOF
