#!/usr/bin/env bash
# Makes the release packages into build/packages/, each from its own build (configured and built
# here as far as needed, then cpack):
#   deb    sorvel_<version>_amd64.deb      from the default preset: the demos, for every
#          sorvel-record_<version>+<release>_amd64.deb   current Debian and Ubuntu release, and
#                                          the recorder for this machine's release (deb12, deb13)
#   deb-arm64  the same two for arm64 (Raspberry Pi 4 and 5) from the linux-arm64 preset: its
#          libraries those of build/arm64-sysroot (scripts/arm64-sysroot.sh), its programs run
#          under qemu-user for the icons and manual pages (needs g++-aarch64-linux-gnu and qemu)
#   win32  sorvel-<version>-win32.zip      from the mingw-i686 preset (needs MinGW-w64)
#   web    sorvel-<version>-web.tar.gz     from the wasm preset (needs Emscripten)
#   source sorvel-<version>.tar.gz         the committed sources (git archive of HEAD), which
#                                          build with CMake's Makefile or Ninja generator
#   scripts/package.sh [deb] [deb-arm64] [win32] [web] [source]     (no argument: all five)
# Each package comes with a .sha256 file. The tools used here are installed first, by
# `scripts/deps.sh package` (the cross compilers, qemu and Emscripten come from `scripts/deps.sh test`).
# A package that cannot be made is an error naming what is missing; the others are still made.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/packages
jobs=$(nproc)

usage() { echo "usage: $0 [deb] [deb-arm64] [win32] [web] [source]   (no argument: all five, into $out/)"; }
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(deb deb-arm64 win32 web source)
for kind in "${kinds[@]}"; do
  case "$kind" in
  deb | deb-arm64 | win32 | web | source) ;;
  -h | --help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
  esac
done

# make_package PRESET BUILD_DIR GENERATOR TARGET...: builds the targets, runs cpack and moves the
# package and its checksum into $out. Called in an `||` list, where errexit does not hold: every
# step is checked here, so that a failed build is never packaged from older binaries.
make_package() {
  local preset=$1 dir=$2 generator=$3 staging package made=0
  shift 3
  cmake --preset "$preset" >/dev/null || { echo "package: cmake --preset $preset failed" >&2; return 1; }
  cmake --build --preset "$preset" -j "$jobs" --target "$@" ||
    { echo "package: the $preset build failed" >&2; return 1; }
  staging="$dir/cpack"
  rm -rf "$staging" && mkdir -p "$staging" "$out" || return 1
  # A .deb is made per component, each in a cpack run of its own (cmake/cpack_components.cmake).
  local components=(all) component
  [ "$generator" = DEB ] && components=(demos recorder)
  for component in "${components[@]}"; do
    local only=()
    [ "$component" = all ] || only=(-D "CPACK_COMPONENTS_ALL=$component")
    if ! cpack --config "$dir/CPackConfig.cmake" -G "$generator" -B "$staging" "${only[@]}" \
      >"$staging/cpack.log" 2>&1; then
      cat "$staging/cpack.log" >&2
      echo "package: cpack failed for the $preset build ($component; log above)" >&2
      return 1
    fi
  done
  for package in "$staging"/sorvel[_-]*; do
    case "$package" in *.sha256) continue ;; esac
    [ -f "$package" ] || continue
    mv -f "$package" "$package.sha256" "$out/" || return 1
    echo "package: made $out/${package##*/}"
    made=1
  done
  [ $made = 1 ] || { echo "package: cpack made no package for the $preset build" >&2; return 1; }
}

missing_tool() { ! command -v "$1" >/dev/null 2>&1; }

# make_source: the tracked files of HEAD under sorvel-<version>/, as git archive writes them
# (each file's time the commit's, gzip without a name or time), so that one commit always gives
# the same archive; what is not committed is not in it, and the script says so.
make_source() {
  local version name
  version=$(sed -n 's/^project(sorvel VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
  [ -n "$version" ] || { echo "package: no version in CMakeLists.txt's project()" >&2; return 1; }
  name=sorvel-$version.tar.gz
  mkdir -p "$out" || return 1
  git archive --format=tar.gz --prefix="sorvel-$version/" -o "$out/$name.part" HEAD ||
    { rm -f "$out/$name.part"; echo "package: git archive failed" >&2; return 1; }
  mv -f "$out/$name.part" "$out/$name" || return 1
  (cd "$out" && sha256sum "$name" >"$name.sha256") || return 1
  echo "package: made $out/$name (commit $(git rev-parse --short HEAD))"
  [ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "package: note: the source archive holds the last commit; uncommitted changes are not in it"
}

scripts/deps.sh package || { echo "package: the packaging tools could not be installed" >&2; exit 1; }

status=0
for kind in "${kinds[@]}"; do
  case "$kind" in
  deb)
    if missing_tool dpkg-shlibdeps || missing_tool dpkg-deb; then
      echo "package: cannot make the .deb: dpkg-dev is not installed (scripts/deps.sh test installs it)" >&2
      status=1
    else
      make_package default build/release DEB sorvel2 sorvel sorvel-record icons changelog man_pages || status=1
    fi
    ;;
  deb-arm64)
    if missing_tool dpkg-shlibdeps || missing_tool dpkg-deb; then
      echo "package: cannot make the arm64 .deb: dpkg-dev is not installed (scripts/deps.sh test installs it)" >&2
      status=1
    elif missing_tool aarch64-linux-gnu-g++ || { missing_tool qemu-aarch64-static && missing_tool qemu-aarch64; }; then
      echo "package: cannot make the arm64 .deb: the aarch64 cross compiler or qemu-user is not installed (scripts/deps.sh arm64 installs them)" >&2
      status=1
    elif ! scripts/arm64-sysroot.sh; then
      echo "package: cannot make the arm64 .deb: the arm64 sysroot could not be made" >&2
      status=1
    else
      make_package linux-arm64 build/linux-arm64 DEB sorvel2 sorvel sorvel-record icons changelog man_pages || status=1
    fi
    ;;
  win32)
    if missing_tool i686-w64-mingw32-g++-posix; then
      echo "package: cannot make the Windows zip: MinGW-w64 is not installed (scripts/deps.sh test installs it)" >&2
      status=1
    else
      make_package mingw-i686 build/mingw-i686 ZIP sorvel2 sorvel sorvel-record || status=1
    fi
    ;;
  web)
    if missing_tool emcc; then
      echo "package: cannot make the web archive: Emscripten is not installed (scripts/deps.sh test installs it)" >&2
      status=1
    else
      make_package wasm build/wasm TGZ sorvel2 sorvel || status=1
    fi
    ;;
  source)
    if missing_tool git || ! git rev-parse --verify -q HEAD >/dev/null; then
      echo "package: cannot make the source archive: not in a git clone with a commit" >&2
      status=1
    else
      make_source || status=1
    fi
    ;;
  esac
done
exit $status
