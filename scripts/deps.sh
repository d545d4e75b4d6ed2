#!/usr/bin/env bash
# Installs the Debian packages that are missing for a task: `run` (build and show the demos),
# `test` (everything the test command uses: Windows cross-compiler, Wine, virtual X server,
# fuzzing, Emscripten and Chromium for the web build, the tools that make and check the release
# packages). Uses apt-get as root, or through sudo; skips what is already installed.
set -euo pipefail

task=${1:-test}
run_packages=(cmake ninja-build g++ pkg-config libsdl2-dev libgif-dev libpng-dev zlib1g-dev libcli11-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libx11-dev libxext-dev libxrandr-dev)
test_packages=("${run_packages[@]}" libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix libz-mingw-w64-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  xvfb xdotool x11-utils x11-apps xscreensaver openbox clang-14 libclang-rt-14-dev libfuzzer-14-dev clang-format
  dpkg-dev desktop-file-utils unzip file ffmpeg python3 icoutils
  lintian appstream help2man groff-base man-db)
# wine64 runs the 64-bit Windows build where the machine cannot execute 32-bit programs
wine_packages=(wine wine32:i386 wine64)
web_packages=(emscripten chromium)

case "$task" in
run) wanted=("${run_packages[@]}") ;;
test) wanted=("${test_packages[@]}") ;;
*) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "deps: need root or sudo to install packages" >&2; exit 1; }
  sudo="sudo"
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${wanted[@]}"; do installed "$p" || missing+=("$p"); done
if [ "$task" = test ]; then
  for p in "${wine_packages[@]}" "${web_packages[@]}"; do installed "$p" || missing+=("$p"); done
fi
[ ${#missing[@]} -eq 0 ] && { echo "deps: all packages present"; exit 0; }

echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [ "$task" = test ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  # 32-bit Wine runs the 32-bit Windows build
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
# Wine is wanted but not essential: where it cannot be installed the Windows checks say so and
# are skipped, never silently.
core=()
optional=" ${wine_packages[*]} ${web_packages[*]} "
for p in "${missing[@]}"; do case "$optional" in *" $p "*) ;; *) core+=("$p") ;; esac; done
if [ ${#core[@]} -gt 0 ]; then
  $sudo apt-get install -y -q --no-install-recommends "${core[@]}"
fi
if [ "$task" = test ]; then
  $sudo apt-get install -y -q "${wine_packages[@]}" ||
    echo "deps: WARNING: Wine could not be installed; the Windows build's tests will be SKIPPED" >&2
  # The same for the web build: without Emscripten or Chromium its checks are SKIPPED, loudly.
  for p in "${web_packages[@]}"; do
    installed "$p" || $sudo apt-get install -y -q --no-install-recommends "$p" ||
      echo "deps: WARNING: $p could not be installed; the web build's checks will be SKIPPED" >&2
  done
fi
