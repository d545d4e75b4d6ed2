#!/usr/bin/env bash
# Installs the Debian packages that are missing for a task, on Debian 12 or 13 (or a release like
# them), as root or through sudo; skips what is already installed.
#   run       build and show the demos, record GIFs and videos
#   package   make and check the release packages (.deb tools, lintian, man, file, zip)
#   chroot    make a chroot of another Debian release (debootstrap)
#   arm64     the arm64 cross build and qemu-user to run it (its arm64 libraries come from
#             scripts/arm64-sysroot.sh, under build/, not from this machine's packages)
#   unit      the unit tests' libraries and a virtual X server (xvfb-run)
#   test      everything the test command uses: all of the above, the unit-test and benchmark
#             libraries, the Windows cross-compilers, Wine, the virtual X server and window tools,
#             the fuzzer's clang, Emscripten and Chromium for the web build
#   scripts/deps.sh [run|package|chroot|arm64|unit|test]...      (no argument: test)
#
# A package index that fails to download (a mirror in the middle of a sync) is retried, then the
# install goes on with the indexes it has: it fails only when a package that the task needs
# cannot be installed. What is only wanted (Wine, Emscripten, Chromium, qemu) may be missing:
# the checks that need it then say SKIPPED, loudly. Package names that differ between releases
# (the fuzzer's clang, FFmpeg's runtime libraries) are chosen by what apt-cache offers.
set -uo pipefail

tasks=("$@")
[ ${#tasks[@]} -gt 0 ] || tasks=(test)

run_needed=(cmake ninja-build g++ pkg-config libsdl2-dev libgif-dev libpng-dev zlib1g-dev libcli11-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libx11-dev libxext-dev libxrandr-dev)
package_needed=(dpkg-dev file help2man unzip xz-utils)
chroot_needed=(debootstrap)
unit_needed=(libgtest-dev googletest xvfb xauth x11-utils)
arm64_wanted=(g++-aarch64-linux-gnu qemu-user-static)
test_needed=(libbenchmark-dev lintian appstream desktop-file-utils groff-base man-db python3 icoutils
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix libz-mingw-w64-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  xdotool x11-apps xscreensaver openbox clang-format ffmpeg
  libgl1-mesa-dri libglx-mesa0 libegl-mesa0) # Mesa's OpenGL: llvmpipe stands in for a GPU
web_wanted=(emscripten chromium)
# The page check drives Chromium from Node.js with packages that npm installs; Debian's nodejs
# has no npm of its own (a Node.js from elsewhere may have, and is left as it is).
command -v node >/dev/null 2>&1 || web_wanted+=(nodejs)
command -v npm >/dev/null 2>&1 || web_wanted+=(npm)
# sway's headless Wayland compositor, its screenshots (grim) and a virtual keyboard (wtype) for
# the Wayland check; the EGL and GL libraries and Mesa's drivers that SDL loads to draw there.
wayland_wanted=(sway grim wtype libegl1 libgl1 libgles2 libegl-mesa0 libgl1-mesa-dri)

needed=()
wanted=()
want_wine=0
want_clang=0
want_i386=0
for task in "${tasks[@]}"; do
  case "$task" in
  run) needed+=("${run_needed[@]}") ;;
  package) needed+=("${package_needed[@]}") ;;
  chroot) needed+=("${chroot_needed[@]}") ;;
  unit) needed+=("${unit_needed[@]}") ;;
  arm64) wanted+=("${arm64_wanted[@]}") ;;
  test)
    needed+=("${run_needed[@]}" "${package_needed[@]}" "${chroot_needed[@]}" "${unit_needed[@]}" "${test_needed[@]}")
    wanted+=("${arm64_wanted[@]}" "${web_wanted[@]}" "${wayland_wanted[@]}")
    want_wine=1 want_clang=1 want_i386=1
    ;;
  -h | --help)
    sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  *)
    echo "usage: $0 [run|package|chroot|arm64|unit|test]..." >&2
    exit 2
    ;;
  esac
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
as_root() {
  if [ -n "$sudo" ] && ! command -v sudo >/dev/null; then
    echo "deps: need root or sudo to install packages" >&2
    return 1
  fi
  $sudo "$@"
}
export DEBIAN_FRONTEND=noninteractive
# Another apt (unattended upgrades, a second install) may hold the package database: wait for it
# rather than take its lock's refusal for a package that cannot be installed.
apt=(apt-get -o DPkg::Lock::Timeout=900)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

updated=0
# update: apt-get update, retried; a run that still fails on some indexes goes on with the
# indexes it has (apt keeps the old lists of the failed ones, or none), saying so.
update() {
  [ $updated = 1 ] && return 0
  updated=1
  local try
  for try in 1 2 3; do
    if as_root "${apt[@]}" update -q; then
      return 0
    fi
    [ $try = 3 ] || { echo "deps: apt-get update failed (try $try of 3); again in $((try * 5)) s" >&2; sleep $((try * 5)); }
  done
  echo "deps: WARNING: some package indexes could not be fetched; installing from the ones at hand" >&2
}

# install NAME...: installs those of the packages that are missing, all at once where that
# works, else one by one; leaves the names that could not be installed in `failed`.
failed=()
install() {
  local missing=() p
  failed=()
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -gt 0 ] || return 0
  update
  echo "deps: installing ${missing[*]}"
  as_root "${apt[@]}" install -y -q --no-install-recommends "${missing[@]}" && return 0
  for p in "${missing[@]}"; do
    installed "$p" && continue
    as_root "${apt[@]}" install -y -q --no-install-recommends "$p" || failed+=("$p")
  done
  [ ${#failed[@]} -eq 0 ]
}

status=0
if [ ${#needed[@]} -gt 0 ]; then
  if ! install "${needed[@]}"; then
    echo "deps: FAILED: these packages are needed and could not be installed: ${failed[*]}" >&2
    status=1
  fi
fi

if [ $want_clang = 1 ]; then
  # The fuzzer wants clang with its libFuzzer and sanitizer runtimes; the version is the one that
  # the release's own `clang` package depends on (14 on Debian 12, 19 on Debian 13).
  version=""
  if install clang; then
    version=$(dpkg-query -W -f='${Depends}' clang 2>/dev/null | grep -o 'clang-[0-9][0-9]*' | head -n 1)
    version=${version#clang-}
  fi
  if [ -n "$version" ]; then
    install "libclang-rt-$version-dev" "libfuzzer-$version-dev" ||
      echo "deps: WARNING: ${failed[*]} could not be installed; the fuzzing step will be SKIPPED" >&2
  else
    echo "deps: WARNING: clang could not be installed; the fuzzing step will be SKIPPED" >&2
  fi
fi

if [ $want_i386 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  # 32-bit Wine runs the 32-bit Windows build
  as_root dpkg --add-architecture i386 && updated=0
fi

if [ $want_wine = 1 ]; then
  # 32-bit and 64-bit Wine together where the machine can have both; where wine32:i386 cannot be
  # installed (no i386 index, or one that disagrees with the amd64 one), wine64 on its own runs
  # the 64-bit Windows build.
  if ! installed wine64 || ! installed wine32:i386; then
    if ! install wine wine32:i386 wine64; then
      if ! install wine wine64 && ! install wine64; then
        echo "deps: WARNING: Wine could not be installed; the Windows build's tests will be SKIPPED" >&2
      else
        echo "deps: WARNING: wine32:i386 could not be installed; the Windows checks will run the 64-bit build under wine64" >&2
      fi
    fi
  fi
fi

for p in ${wanted[@]+"${wanted[@]}"}; do
  if ! install "$p"; then
    echo "deps: WARNING: $p could not be installed; the checks that need it will be SKIPPED" >&2
  fi
done

[ $status = 0 ] && echo "deps: everything needed is installed (${tasks[*]})"
exit $status
