#!/usr/bin/env bash
# The test command: installs what is missing, builds every configuration and runs every test.
#   native release build and its unit tests
#   the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   the 32-bit Windows build, its unit tests under Wine
#   the programs in real windows under a virtual X server, natively and under Wine
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

step() { printf '\n=== %s\n' "$*"; }

step "dependencies"
scripts/deps.sh test

step "format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

step "native release build and tests"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

step "sanitizers (asan preset)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

# --- Windows build under Wine ---
step "32-bit Windows build (mingw-i686), unit tests under Wine"
windows_start=$SECONDS
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j "$jobs"
# A fresh Wine prefix for this run (wineboot, about 15 s); the window checks below reuse it.
source scripts/wine-env.sh build/mingw-i686
if SORVEL_WINE_FRESH=1 wine_env_ready; then
  windows_rc=0
  ctest --preset mingw-i686 -j "$jobs" || windows_rc=$?
  wine_env_stop
  [ "$windows_rc" -eq 0 ] || exit "$windows_rc"
else
  echo "SKIPPED: the Windows build's unit tests (built, but there is no Wine to run them)"
fi
echo "Windows build and tests: $((SECONDS - windows_start)) s"

# --- end-to-end checks under a virtual X server ---
step "end-to-end: the programs in real windows under Xvfb, natively and under Wine"
e2e_start=$SECONDS
tests/e2e/window_check.sh --native build/release --windows build/mingw-i686
echo "window checks: $((SECONDS - e2e_start)) s"

step "recorder: identical CRCs on Linux and under Wine, golden frames"
tests/e2e/recorder_crc_check.sh build/release build/mingw-i686

step "all tests passed"
