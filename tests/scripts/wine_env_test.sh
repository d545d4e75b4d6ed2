#!/usr/bin/env bash
# scripts/wine-env.sh with stand-in loaders and wineserver, no Wine needed: which loader, Wine
# architecture and prefix a build directory gets, how it tells whether 32-bit Wine can run, and
# when it makes the prefix anew.
#   tests/scripts/wine_env_test.sh      (ctest runs it as wine_env_test)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
check() { # check WHAT GOT WANT
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $1: got \"$2\", want \"$3\""
  fi
}

# configured DIR POINTER_BYTES: a build directory as CMake leaves it after configuring.
configured() {
  mkdir -p "$1/CMakeFiles/3.25.1"
  printf 'set(CMAKE_CXX_COMPILER_ID "GNU")\nset(CMAKE_CXX_SIZEOF_DATA_PTR "%s")\n' "$2" \
    >"$1/CMakeFiles/3.25.1/CMakeCXXCompiler.cmake"
}

# Stand-ins: each loader logs its name, WINEARCH and arguments; `wineboot -i` writes the prefix.
mkdir -p "$work/bin"
for bits in 32 64; do
  cat >"$work/bin/loader$bits" <<EOF
#!/bin/sh
echo "loader$bits \$WINEARCH \$*" >>"$work/calls"
[ "\$1" = --version ] && echo wine-test
[ "\$1" = wineboot ] && mkdir -p "\$WINEPREFIX" && touch "\$WINEPREFIX/system.reg"
exit 0
EOF
  chmod +x "$work/bin/loader$bits"
done
# Every Wine tool that wine-env.sh looks up has its stand-in here, ahead of any real one on PATH,
# so that what is installed on the machine changes no verdict.
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wineserver"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wineboot"
printf '#!/bin/sh\necho "wine-command $WINEARCH $*" >>"%s/calls"\n' "$work" >"$work/bin/wine"
chmod +x "$work/bin/wineserver" "$work/bin/wineboot" "$work/bin/wine"
export PATH="$work/bin:$PATH" SORVEL_WINE32_LOADER="$work/bin/loader32" SORVEL_WINE64_LOADER="$work/bin/loader64"
calls() { cat "$work/calls" 2>/dev/null; rm -f "$work/calls"; }

# --- which kind of build a directory holds ---
configured "$work/win32" 4
configured "$work/win64" 8
configured "$work/x86_64-but-32" 4
mkdir -p "$work/new/mingw-x86_64" "$work/new/mingw-i686"
source "$root/scripts/wine-env.sh" "$work/win32"
check "32-bit cache" "$(wine_env_build_bits "$work/win32")" 32
check "64-bit cache" "$(wine_env_build_bits "$work/win64")" 64
check "the cache wins over the name" "$(wine_env_build_bits "$work/x86_64-but-32")" 32
check "unconfigured, named x86_64" "$(wine_env_build_bits "$work/new/mingw-x86_64")" 64
check "unconfigured, named i686" "$(wine_env_build_bits "$work/new/mingw-i686")" 32

# --- `wine` means the loader that fits the build; a later 32-bit source takes it back ---
source "$root/scripts/wine-env.sh" "$work/win64"
check "64-bit: arch, prefix, loader" "$WINEARCH $WINEPREFIX ${WINELOADER:-}" \
  "win64 $work/win64/wineprefix $work/bin/loader64"
wine "a b.exe" --crc
check "64-bit: wine runs the 64-bit loader" "$(calls)" "loader64 win64 a b.exe --crc"
source "$root/scripts/wine-env.sh" "$work/win32"
check "32-bit after 64-bit: arch, prefix, loader" "$WINEARCH $WINEPREFIX ${WINELOADER:-unset}" \
  "win32 $work/win32/wineprefix unset"
wine x.exe
check "32-bit after 64-bit: wine is the installed command" "$(calls)" "wine-command win32 x.exe"

# --- whether 32-bit Wine can run here ---
check "32-bit loader that starts" "$(wine_env_32bit_missing)" ""
sorvel_wine32_loader=$work/none
check "no 32-bit loader" "$(wine_env_32bit_missing)" "32-bit Wine is not installed"
# An executable the kernel refuses, as it refuses every 32-bit program on some machines.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$work/bin/refused"
chmod +x "$work/bin/refused"
sorvel_wine32_loader=$work/bin/refused
check "refused by the kernel" "$(wine_env_32bit_missing)" "32-bit programs cannot run on this machine"
printf '#!/bin/sh\necho "no display" >&2\nexit 1\n' >"$work/bin/broken"
chmod +x "$work/bin/broken"
sorvel_wine32_loader=$work/bin/broken
check "a loader that fails" "$(wine_env_32bit_missing)" "32-bit Wine does not start: no display"

# --- the prefix: made by the build's own loader, once per Wine version and architecture ---
source "$root/scripts/wine-env.sh" "$work/win64"
calls >/dev/null
wine_env_ready >/dev/null
check "64-bit prefix made by the 64-bit loader" "$(calls)" \
  "$(printf 'loader64 win64 --version\nloader64 win64 wineboot -i')"
check "marker names the architecture" "$(cat "$work/win64/wineprefix/.sorvel-ready")" "wine-test win64"
wine_env_ready >/dev/null
check "a ready prefix is reused" "$(calls)" "loader64 win64 --version"
echo "wine-test win32" >"$work/win64/wineprefix/.sorvel-ready"
wine_env_ready >/dev/null
check "a prefix of the other architecture is made anew" "$(calls | grep -c wineboot)" 1
SORVEL_WINE64_LOADER=$work/none source "$root/scripts/wine-env.sh" "$work/win64"
check "64-bit build without wine64" "$(wine_env_missing)" "64-bit Wine (wine64) is not installed"
check "64-bit build without wine64: not ready" "$(wine_env_ready 2>&1 >/dev/null; echo $?)" \
  "$(printf 'SKIPPED: 64-bit Wine (wine64) is not installed; the Windows build cannot be run here (scripts/deps.sh test installs it)\n1')"

# A 32-bit build where 32-bit programs cannot run is skipped at once, saying why.
SORVEL_WINE32_LOADER=$work/bin/refused source "$root/scripts/wine-env.sh" "$work/win32"
check "32-bit build, refused by the kernel" "$(wine_env_ready 2>&1 >/dev/null; echo $?)" \
  "$(printf 'SKIPPED: 32-bit programs cannot run on this machine; the 32-bit Windows build cannot be run here (preset mingw-x86_64 builds the same sources for 64-bit Wine)\n1')"
check "32-bit build, refused by the kernel: no prefix made" "$(calls)" ""

echo "wine-env: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
