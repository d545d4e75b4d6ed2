#!/usr/bin/env bash
# The test command: installs what is missing, builds every configuration and runs every test.
#   native release build and its unit tests
#   the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   a minute of fuzzing the bitmap and palette loaders (libFuzzer)
#   the 32-bit Windows build, its unit tests under Wine (under 64-bit Wine, built for 64-bit
#   Windows, where this machine cannot run 32-bit programs)
#   the programs in real windows under a virtual X server, natively and under Wine, and as a
#   screen saver and a live wallpaper (the root window, another program's window, xscreensaver;
#   under Wine the .scr files' /s, /p and /c)
#   sorvel2 on Wayland itself, under sway's headless backend, without X11
#   the web build: its recorder under Node.js against the native one, both programs in headless
#   Chromium
#   the 64-bit ARM build (linux-arm64) under qemu-user: its unit tests, its frames against the
#   native ones, sorvel2 in a window
#   the release packages (.deb for amd64 and arm64, Windows zip, web archive, source archive),
#   checked as a user gets them
#   the other Debian release (12 or 13) in a chroot: its build, unit tests, golden frames and
#   recorder package, and the packages installed there by apt
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
# 20,000 frames of each program under the sanitizers, with every key: the decay driven to 10 and
# back to 0 and past both bounds, and Space pressed 15 times.
keys=""
for f in $(seq 100 100 1500); do keys+="$f:space,"; done
for f in $(seq 2000 10 2100); do keys+="$f:left,$((f + 1)):down,"; done
for f in $(seq 3000 10 3120); do keys+="$f:up,$((f + 1)):right,"; done
keys+="5000:down,5001:left,6000:up"
for program in sorvel2 sorvel; do
  ASAN_OPTIONS=halt_on_error=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    build/asan/tools/sorvel-record "$program" --frames 20000 --keys "$keys" --crc | tail -n 1
done

# --- loader fuzzing ---
# libFuzzer on the two file-reading paths of the loaders, seeded from tests/fuzz/seeds; new inputs
# it finds are kept in build/fuzz/corpus for the next run. A crash or a broken promise fails here.
step "fuzzing the bitmap and palette loaders (libFuzzer, 60 s)"
if command -v clang++ >/dev/null 2>&1; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  mkdir -p build/fuzz/corpus
  if build/fuzz/tests/fuzz/loaders_fuzz -max_total_time=60 -max_len=2048 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/ build/fuzz/corpus tests/fuzz/seeds >build/fuzz/fuzz.log 2>&1; then
    grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" build/fuzz/fuzz.log
  else
    cat build/fuzz/fuzz.log
    echo "FAILED: the loader fuzzer found a fault; its input is saved in build/fuzz/ (crash-*)"
    exit 1
  fi
else
  echo "SKIPPED: loader fuzzing (clang++ is not installed; scripts/deps.sh test installs it)"
fi

# --- Windows build under Wine ---
step "32-bit Windows build (mingw-i686), unit tests under Wine"
windows_start=$SECONDS
# The shipped build is always built; where 32-bit programs cannot run at all, the Windows checks
# run the same sources built for 64-bit Windows under 64-bit Wine instead, and the 32-bit build
# makes only what is shipped (its tests could not run; the 64-bit build compiles them).
windows_preset=mingw-i686
cmake --preset mingw-i686 >/dev/null
source scripts/wine-env.sh build/mingw-i686
no_wine32=$(wine_env_32bit_missing)
if [ -n "$no_wine32" ] && [ -x "$sorvel_wine64_loader" ]; then
  cmake --build --preset mingw-i686 -j "$jobs" --target sorvel2 sorvel sorvel-record
  echo "*** $no_wine32: the Windows checks run on the 64-bit build instead (mingw-x86_64) ***"
  windows_preset=mingw-x86_64
  cmake --preset mingw-x86_64 >/dev/null
  cmake --build --preset mingw-x86_64 -j "$jobs"
  source scripts/wine-env.sh build/mingw-x86_64
else
  cmake --build --preset mingw-i686 -j "$jobs"
fi
windows_build=build/$windows_preset
# A fresh Wine prefix for this run (wineboot, about 15 s); the window checks below reuse it.
if SORVEL_WINE_FRESH=1 wine_env_ready; then
  windows_rc=0
  ctest --preset "$windows_preset" -j "$jobs" 2>&1 | tee build/windows-ctest.log || windows_rc=$?
  # A test that Wine could not even start (its client lost the connection to the wineserver, once
  # on a fresh machine's first run) failed before any of our code ran: those tests run once more,
  # saying so. A test that failed on its own fails again and ends the run.
  if [ "$windows_rc" -ne 0 ] && grep -q "wine client error" build/windows-ctest.log; then
    echo "*** Wine lost its server connection; the failed tests run once more ***"
    windows_rc=0
    ctest --preset "$windows_preset" --rerun-failed --output-on-failure || windows_rc=$?
  fi
  wine_env_stop
  [ "$windows_rc" -eq 0 ] || exit "$windows_rc"
else
  echo "SKIPPED: the Windows build's unit tests (built, but there is no Wine to run them)"
fi
echo "Windows build and tests: $((SECONDS - windows_start)) s"

# --- end-to-end checks under a virtual X server ---
step "end-to-end: the programs in real windows under Xvfb, natively and under Wine"
e2e_start=$SECONDS
tests/e2e/window_check.sh --native build/release --windows "$windows_build"
echo "window checks: $((SECONDS - e2e_start)) s"

step "end-to-end: the GPU present on Mesa's llvmpipe under Xvfb, and the framebuffer it falls back to"
tests/e2e/gpu_present_check.sh build/release

step "end-to-end: sorvel2 on Wayland itself (sway headless, no DISPLAY)"
tests/e2e/wayland_check.sh build/release

step "end-to-end: screen saver and live wallpaper (--root, --window-id, a real xscreensaver)"
tests/e2e/saver_check.sh build/release

step "end-to-end: the Windows screen savers under Wine (/s, /p, /c, --cycle in a window)"
tests/e2e/windows_saver_check.sh "$windows_build"

step "recorder: identical CRCs on Linux and under Wine, golden frames"
tests/e2e/recorder_crc_check.sh build/release "$windows_build"

# --- the web build ---
step "web: the WebAssembly build, its recorder under Node.js, the page in headless Chromium"
web_start=$SECONDS
if command -v emcc >/dev/null 2>&1; then
  cmake --preset wasm >/dev/null
  cmake --build --preset wasm -j "$jobs"
  tests/web/recorder_crc_check.sh build/release build/wasm
  tests/web/page_check.sh build/wasm
else
  echo "SKIPPED: the web build and its checks (Emscripten is not installed; scripts/deps.sh test installs it)"
fi
echo "web build and checks: $((SECONDS - web_start)) s"

# --- 64-bit ARM under qemu-user ---
# The linux-arm64 cross build against its sysroot (scripts/arm64-sysroot.sh: made once under
# build/, refreshed here), its unit tests under qemu-user (but the video check, FFmpeg's encoder
# emulated for minutes), and tests/e2e/arm64_check.sh: every frame's CRC equal to the native
# recorder's, the levels' names, sorvel2 in a window under Xvfb.
step "64-bit ARM: the linux-arm64 build, its unit tests, frames and a window under qemu-user"
arm64_start=$SECONDS
arm64=0
if ! command -v aarch64-linux-gnu-g++ >/dev/null 2>&1; then
  echo "*** SKIPPED: the arm64 build and its checks (g++-aarch64-linux-gnu is not installed; scripts/deps.sh arm64 installs it) ***"
elif ! command -v qemu-aarch64-static >/dev/null 2>&1; then
  echo "*** SKIPPED: the arm64 build and its checks (qemu-user-static is not installed; scripts/deps.sh arm64 installs it) ***"
else
  arm64=1
  scripts/arm64-sysroot.sh
  cmake --preset linux-arm64 >/dev/null
  cmake --build --preset linux-arm64 -j "$jobs"
  ctest --preset linux-arm64 -j "$jobs"
  tests/e2e/arm64_check.sh build/release build/linux-arm64
fi
echo "arm64 build and checks: $((SECONDS - arm64_start)) s"

# --- release packages ---
# The .deb, the Windows zip, the web archive and the source archive, made by scripts/package.sh
# from the builds above and checked as a user gets them: contents, dependencies, menu entries,
# system DLLs only, and each package's recorder and page against the builds'; the .deb as lintian,
# man and appstreamcli see it; the licence in each; and the plain Makefile build (no preset) from
# the unpacked source archive, with its unit tests and install.
step "release packages: the .deb, the Windows zip, the web archive and the source archive"
package_start=$SECONDS
kinds=(deb win32 source)
command -v emcc >/dev/null 2>&1 && kinds+=(web)
[ "$arm64" = 1 ] && kinds+=(deb-arm64)
scripts/package.sh "${kinds[@]}"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
tag=$(sed -n 's/^SORVEL_RELEASE_TAG:STRING=//p' build/release/CMakeCache.txt)
deb="build/packages/sorvel_${version}_$(dpkg --print-architecture).deb"
recorder_deb="build/packages/sorvel-record_${version}+${tag}_$(dpkg --print-architecture).deb"
tests/package/deb_check.sh "$deb" "$recorder_deb" build/release
tests/package/deb_docs_check.sh "$deb" build/release
tests/package/deb_docs_check.sh "$recorder_deb" build/release
if [ "$arm64" = 1 ]; then
  # The same checks of the arm64 packages: the libraries' owners from the sysroot's own dpkg
  # database, the packaged programs run under qemu-user.
  sysroot=$root/build/arm64-sysroot
  arm64_deb="build/packages/sorvel_${version}_arm64.deb"
  arm64_tag=$(sed -n 's/^SORVEL_RELEASE_TAG:STRING=//p' build/linux-arm64/CMakeCache.txt)
  arm64_recorder_deb="build/packages/sorvel-record_${version}+${arm64_tag}_arm64.deb"
  for package in "$arm64_deb" "$arm64_recorder_deb"; do
    SORVEL_EMULATOR="qemu-aarch64-static -L $sysroot" tests/package/deb_docs_check.sh "$package" build/release
  done
  SORVEL_DEB_ADMINDIR=$sysroot/var/lib/dpkg SORVEL_EMULATOR="qemu-aarch64-static -L $sysroot" \
    tests/package/deb_check.sh "$arm64_deb" "$arm64_recorder_deb" build/release
else
  echo "*** SKIPPED: the arm64 packages and their checks (no aarch64 cross compiler or qemu-user) ***"
fi
tests/package/source_check.sh "build/packages/sorvel-$version.tar.gz" build/release
tests/package/zip_check.sh "build/packages/sorvel-$version-win32.zip" build/mingw-i686 build/release
if command -v emcc >/dev/null 2>&1; then
  tests/package/web_check.sh "build/packages/sorvel-$version-web.tar.gz" build/wasm
else
  echo "SKIPPED: the web archive and its checks (Emscripten is not installed; scripts/deps.sh test installs it)"
fi
echo "packages and their checks: $((SECONDS - package_start)) s"

# --- the other Debian release ---
# Debian 13 on a Debian 12 machine, Debian 12 on a Debian 13 one, in a chroot kept under build/:
# the build and its unit tests, the golden frames, that release's recorder package, and both
# packages installed there by apt with sorvel2 run in a window.
step "the other Debian release in a chroot: build, unit tests, golden frames, packages installed by apt"
tests/e2e/other_release_check.sh "$deb"

step "all tests passed"
