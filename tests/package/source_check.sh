#!/usr/bin/env bash
# The source archive as a packager gets it: its name; one folder holding the licence, the build
# files and nothing of a build; and, unpacked, the plain CMake build with the Makefile generator
# (no preset: `cmake -S . -B build`, `cmake --build build`, `ctest --test-dir build`), whose
# installed tree has the programs, their manual pages and the licence, and whose recorder prints
# the native build's CRC lines. The benchmarks and the million-frame test are left out to keep
# the check short; every other unit test runs.
#   tests/package/source_check.sh ARCHIVE.tar.gz NATIVE_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=tests/package/common.sh
source "$here/common.sh"
archive=$1
native=$(cd "$2" && pwd)
jobs=$(nproc)

version=$(project_version "$native")
top="sorvel-$version"
[ "${archive##*/}" = "$top.tar.gz" ] || fail "package name ${archive##*/}, wanted $top.tar.gz"
tar -tzf "$archive" >"$work/listing"
outside=$(grep -v "^$top/" "$work/listing" || true)
[ -z "$outside" ] && ok "every file is under $top/" || fail "files outside $top/: $outside"
built=$(grep -E "^$top/(build|out)/" "$work/listing" | head -3 || true)
[ -z "$built" ] && ok "nothing of build/ or out/" || fail "build products in the archive: $built"
for file in LICENSE CHANGELOG.md README.md CMakeLists.txt cmake/packaging.cmake packaging/sorvel2.h2m; do
  grep -qx "$top/$file" "$work/listing" || fail "$file is missing"
done

tar -xzf "$archive" -C "$work"
src="$work/$top"
cmp -s "$src/LICENSE" "$root/LICENSE" && grep -q "^MIT License" "$src/LICENSE" && ok "LICENSE: the MIT licence" ||
  fail "the archive's LICENSE is not the MIT licence of this tree"

# The plain build, as typed in the unpacked folder.
started=$SECONDS
log="$work/build.log"
if ! (cd "$src" && cmake -S . -B build -G "Unix Makefiles" -DSORVEL_BENCH=OFF &&
  cmake --build build -j "$jobs") >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  fail "the Makefile build from the unpacked archive failed (last lines above)"
  finish "the source archive ${archive##*/}"
fi
ok "the Makefile build from the unpacked archive ($((SECONDS - started)) s)"
grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$src/build/CMakeCache.txt" ||
  fail "a build without a build type is not the release build"
started=$SECONDS
if (cd "$src" && ctest --test-dir build -LE long -j "$jobs" --output-on-failure) >"$work/ctest.log" 2>&1; then
  ok "ctest --test-dir build: $(grep -o '[0-9]*% tests passed.*' "$work/ctest.log") ($((SECONDS - started)) s)"
else
  tail -n 30 "$work/ctest.log" >&2
  fail "ctest in the Makefile build failed (last lines above)"
fi

# cmake --install: runnable programs from DIR/games, their pages, the licence.
prefix="$work/prefix"
if (cd "$src" && cmake --install build --prefix "$prefix") >"$work/install.log" 2>&1; then
  for program in sorvel2 sorvel sorvel-record; do
    said=$("$prefix/games/$program" --version 2>&1) || true
    [ "$said" = "$program $version" ] || fail "installed $program --version: '$said'"
    [ -f "$prefix/share/man/man6/$program.6.gz" ] || fail "no installed manual page for $program"
  done
  [ -f "$prefix/share/doc/sorvel/copyright" ] || fail "no installed copyright file"
  "$native/tools/sorvel-record" sorvel2 --frames "$crc_frames" --keys "$crc_keys" --crc >"$work/native"
  "$prefix/games/sorvel-record" sorvel2 --frames "$crc_frames" --keys "$crc_keys" --crc >"$work/plain" ||
    fail "the installed recorder failed"
  same_lines "the installed recorder of the Makefile build prints the native $crc_frames CRC lines" "$work/native" "$work/plain"
else
  cat "$work/install.log" >&2
  fail "cmake --install build --prefix DIR failed"
fi
finish "the source archive ${archive##*/}"
