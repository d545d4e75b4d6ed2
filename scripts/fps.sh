#!/usr/bin/env bash
# Frames per second in a real window: the Linux sorvel2 and then, on the same virtual X server,
# the Windows sorvel2.exe under Wine, each at the SSE2 baseline (SORVEL_CPU=sse2) and with AVX2
# where the processor has it, ten seconds each, with the figures read from the title bar
# ("Sorvel2- <n>FPS Prop- 2", rewritten once a second) and printed side by side. Beside each, the
# time a frame takes to be shown (1 / fps) against the CPU time per frame of the program itself and
# of the X server (from /proc over the same seconds): what is left of a shown frame is time spent
# waiting on each other or on the machine. A measurement, not a test: not part of scripts/test.sh.
#   scripts/fps.sh [SECONDS]
# Builds sorvel2 in build/release and sorvel2.exe in build/mingw-i686 when they are missing or
# stale (SORVEL_FPS_NATIVE_BUILD and SORVEL_FPS_WINDOWS_BUILD choose other directories;
# SORVEL_FPS_WINDOWS_PRESET=mingw-x86_64 measures the 64-bit build, for machines that cannot run
# 32-bit programs). Either side is SKIPPED, saying why, when its tools are missing.
# SORVEL_FPS_NATIVE_EXE measures that Linux program instead of building one (an older build, to
# compare), SORVEL_FPS_ARGS gives it words (--scale 2, --fullscreen), and SORVEL_FPS_SCREEN sets
# the screen (800x600; with a window manager, as full screen needs one, when the words ask for
# full screen). Both programs run with --fps max, the original loop (SORVEL_FPS_PACE=N paces
# them at N instead, SORVEL_FPS_PACE= gives them no --fps at all).
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

# The Linux build paces its frames to the display unless told otherwise; what is measured here is
# the original loop, frames back to back (an older build named by SORVEL_FPS_NATIVE_EXE may not
# know the option: SORVEL_FPS_PACE= leaves it out).
native_pace=()
[ -n "${SORVEL_FPS_PACE-max}" ] && native_pace=(--fps "${SORVEL_FPS_PACE-max}")

# --- the virtual X server ---
if ! xvfb_session_start "${SORVEL_FPS_SCREEN:-800x600}"; then
  echo "fps: Xvfb did not start" >&2
  exit 1
fi
if [[ " ${native_args[*]} " == *" --fullscreen "* ]] && ! xvfb_session_window_manager; then
  echo "fps: full screen needs a window manager (openbox) and none started" >&2
  exit 1
fi

# cpu_sample NAME: the wall clock and the CPU time (user and system, in clock ticks) so far of the
# program under test and of Xvfb, to $work/NAME.cpu, read from /proc.
# The program's time is that of its process and every process below it: under Wine the program
# runs in a loader started by a shell function.
tree_ticks() {
  local ticks child
  ticks=$(awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0)
  for child in $(pgrep -P "$1"); do
    ticks=$((ticks + $(tree_ticks "$child")))
  done
  echo "$ticks"
}
cpu_sample() {
  local ticks_program ticks_xvfb
  ticks_program=$(tree_ticks "$program_pid")
  ticks_xvfb=$(awk '{print $14 + $15}' "/proc/$xvfb_pid/stat" 2>/dev/null || echo 0)
  echo "$(date +%s.%N) $ticks_program $ticks_xvfb $(getconf CLK_TCK)" >"$work/$1.cpu"
}

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
    cpu_sample "$label.start"
    deadline=$((SECONDS + seconds))
    while [ "$SECONDS" -lt "$deadline" ]; do
      name=$(xdotool getwindowname "$window" 2>/dev/null) || break
      if [ "$name" != "$last" ]; then
        echo "$name" >>"$work/$label.titles"
        last=$name
      fi
      sleep 0.1
    done
    cpu_sample "$label.end"
  else
    echo "fps: $label showed no window" >&2
    sed -n 1,20p "$work/$label.log" >&2
  fi
  kill "$program_pid" 2>/dev/null
  wait "$program_pid" 2>/dev/null
  program_pid=""
}

levels="sse2"
if grep -qw avx2 /proc/cpuinfo 2>/dev/null; then
  levels="sse2 avx2"
fi
case "$(uname -m)" in x86_64 | i?86) ;; *) levels=portable ;; esac # one plain C++ path (ARM)
for level in $levels; do
  if [ -n "$native_exe" ]; then
    SORVEL_CPU=$level measure "linux-$level" "$native_exe" "${native_pace[@]}" "${native_args[@]}"
  fi
  if [ -n "$windows_exe" ]; then
    SORVEL_CPU=$level measure "windows-$level" wine "$windows_exe" "${native_pace[@]}"
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
cpu = {}  # label: (wall seconds, program CPU seconds, Xvfb CPU seconds) while measured
for label, _, _ in columns:
    try:
        titles = open(f"{work}/{label}.titles").read().splitlines()
    except OSError:
        titles = []
    fps = [int(m.group(1)) for t in titles if (m := re.search(r"- (\d+)FPS Prop- \d+$", t))]
    # The first figure counts the frames of a second that began before the window was shown.
    figures[label] = fps[1:] if len(fps) > 1 else fps
    try:
        start = [float(x) for x in open(f"{work}/{label}.start.cpu").read().split()]
        end = [float(x) for x in open(f"{work}/{label}.end.cpu").read().split()]
        cpu[label] = (end[0] - start[0], (end[1] - start[1]) / end[3], (end[2] - start[2]) / end[3])
    except (OSError, ValueError, IndexError):
        cpu[label] = None

def cell(label, system, what):
    if notes[system]:
        return notes[system] if what == "median" else ""
    v = figures[label]
    if not v:
        return "no title with a frame count"
    if what == "median":
        return f"{statistics.median(v):.0f}"
    if what == "shown":
        return f"{1e6 / statistics.median(v):.1f}"
    if what in ("program", "xvfb"):
        if not cpu[label] or cpu[label][0] <= 0:
            return "-"
        wall, program, xvfb = cpu[label]
        frames = statistics.median(v) * wall
        return f"{1e6 * (program if what == 'program' else xvfb) / frames:.1f}"
    if what == "range":
        return f"{min(v)}..{max(v)}"
    return str(len(v))

rows = [("frames per second (median)", "median"), ("lowest..highest", "range"),
        ("title updates counted", "count"), ("us per frame shown (1/fps)", "shown"),
        ("program's CPU us per frame shown", "program"), ("Xvfb's CPU us per frame shown", "xvfb")]
width = max(len(r[0]) for r in rows)
cols = [max(len(name), *(len(cell(label, system, w)) for _, w in rows))
        for label, name, system in columns]
print(f"{'':<{width}}  " + "  ".join(f"{name:<{c}}" for (_, name, _), c in zip(columns, cols)))
for text, what in rows:
    print(f"{text:<{width}}  " + "  ".join(f"{cell(label, system, what):<{c}}"
                                          for (label, _, system), c in zip(columns, cols)))
print(f"\n{seconds} s each on one virtual X server (Xvfb, no window manager), one after the other;"
      " CPU time from /proc over the measured seconds, frames = median fps x those seconds")
EOF
