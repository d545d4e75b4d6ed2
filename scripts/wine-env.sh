# shellcheck shell=bash
# Wine settings for running a Windows build; sourced by the test stages:
#   source scripts/wine-env.sh [BUILD_DIR]      (BUILD_DIR defaults to build/mingw-i686)
#   wine_env_ready || skip the stage       (prints "SKIPPED: ..." itself when Wine is missing)
#   wine "$BUILD_DIR/apps/sorvel2.exe"     (runs it with the loader that fits the build)
#   timeout 9 "$sorvel_wine_program" EXE   (the same, where another command runs the loader)
# The shipped Windows build is 32-bit and runs under 32-bit Wine (WINEARCH win32). Some machines
# cannot execute 32-bit processes at all; there the same sources are built for 64-bit Windows
# (preset mingw-x86_64), and for such a build this file makes `wine` mean the 64-bit loader in a
# win64 prefix. Which one a build is comes from its CMake cache (the size of a pointer).
# Each build directory gets a Wine prefix of its own, BUILD_DIR/wineprefix, so a run never
# touches ~/.wine or another developer's prefix. The prefix is made once (wineboot, about 15 s)
# and reused while the same Wine version is installed; SORVEL_WINE_FRESH=1 makes it anew.
# wine_env_stop ends this prefix's wineserver (and with it any Wine process left behind).
# wine_env_32bit_missing tells whether 32-bit Wine can run here at all.

# Debian's loaders, or others named by SORVEL_WINE32_LOADER and SORVEL_WINE64_LOADER. Debian's
# `wine` script always picks the 32-bit loader when it is installed, even where it cannot run.
sorvel_wine32_loader=${SORVEL_WINE32_LOADER:-/usr/lib/wine/wine}
sorvel_wine64_loader=${SORVEL_WINE64_LOADER:-/usr/lib/wine/wine64}
if [ -z "${SORVEL_WINE64_LOADER:-}" ] && [ ! -x "$sorvel_wine64_loader" ] &&
  command -v wine64 >/dev/null 2>&1; then
  sorvel_wine64_loader=$(command -v wine64)
fi

# Prints 64 for a build directory configured for 64-bit Windows, else 32. An unconfigured
# directory counts as 64-bit only when its name says x86_64.
wine_env_build_bits() {
  local compiler pointer=""
  for compiler in "$1"/CMakeFiles/*/CMakeCXXCompiler.cmake; do
    [ -f "$compiler" ] || continue
    pointer=$(sed -n 's/^set(CMAKE_CXX_SIZEOF_DATA_PTR "\([0-9]*\)")$/\1/p' "$compiler")
  done
  if [ "$pointer" = 8 ] || { [ -z "$pointer" ] && [[ "$1" == *x86_64* ]]; }; then
    echo 64
  else
    echo 32
  fi
}

# Prints why 32-bit Wine cannot run on this machine, or nothing when it can.
wine_env_32bit_missing() {
  local out
  if [ ! -x "$sorvel_wine32_loader" ]; then
    echo "32-bit Wine is not installed"
  elif ! out=$("$sorvel_wine32_loader" --version 2>&1); then
    case "$out" in
    *"Exec format error"*) echo "32-bit programs cannot run on this machine" ;;
    *) echo "32-bit Wine does not start: $(echo "$out" | head -n 1)" ;;
    esac
  fi
}

sorvel_wine_build=${1:-build/mingw-i686}
mkdir -p "$sorvel_wine_build"
sorvel_wine_build=$(cd "$sorvel_wine_build" && pwd)
sorvel_wine_bits=$(wine_env_build_bits "$sorvel_wine_build")

export WINEDEBUG=-all
export WINEPREFIX="$sorvel_wine_build/wineprefix"
# No Mono or Gecko: the programs need neither, and their install dialogs would hang a headless run.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$sorvel_wine_bits" = 64 ]; then
  export WINEARCH=win64
  # Programs that Wine starts itself (wineboot's services) use the same loader.
  export WINELOADER=$sorvel_wine64_loader
  wine() { "$sorvel_wine64_loader" "$@"; }
  # for commands that run a program themselves (timeout, env), which cannot call the function
  sorvel_wine_program=$sorvel_wine64_loader
else
  export WINEARCH=win32
  # a 64-bit build dir sourced earlier in the same shell must not leave its loader behind
  unset WINELOADER
  unset -f wine
  sorvel_wine_program=wine
fi

# Prints why Wine cannot be used for this build, or nothing when it can.
wine_env_missing() {
  local tool
  if [ "$sorvel_wine_bits" = 64 ]; then
    [ -x "$sorvel_wine64_loader" ] || { echo "64-bit Wine (wine64) is not installed"; return; }
    command -v wineserver >/dev/null 2>&1 || echo "wineserver is not installed"
    return
  fi
  for tool in wine wineboot wineserver; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed"; return; }
  done
}

# Makes the prefix if it is missing, half-made or from another Wine version. Returns 1, after a
# loud SKIPPED line, when Wine is not installed or the prefix cannot be made.
wine_env_ready() {
  local missing version marker
  missing=$(wine_env_missing)
  if [ -n "$missing" ]; then
    echo "SKIPPED: $missing; the Windows build cannot be run here (scripts/deps.sh test installs it)" >&2
    return 1
  fi
  if [ "$sorvel_wine_bits" = 32 ] && [ -x "$sorvel_wine32_loader" ]; then
    missing=$(wine_env_32bit_missing)
    if [ -n "$missing" ]; then
      echo "SKIPPED: $missing; the 32-bit Windows build cannot be run here (preset mingw-x86_64 builds the same sources for 64-bit Wine)" >&2
      return 1
    fi
  fi
  version="$(wine --version 2>/dev/null) $WINEARCH"
  marker="$WINEPREFIX/.sorvel-ready"
  if [ "${SORVEL_WINE_FRESH:-0}" = 1 ] || [ ! -f "$marker" ] || [ "$(cat "$marker")" != "$version" ]; then
    echo "wine: making $WINEARCH prefix $WINEPREFIX ($version)"
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    # wineboot starts the prefix's background services; wineserver -w waits until they are gone,
    # so the prefix is fully written before the first program runs. It goes through `wine` so
    # that a 64-bit build's prefix is made by the 64-bit loader.
    if ! wine wineboot -i >/dev/null 2>&1 || ! wineserver -w || [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "SKIPPED: wineboot could not make the Wine prefix $WINEPREFIX" >&2
      return 1
    fi
    echo "$version" >"$marker"
    unset SORVEL_WINE_FRESH
  fi
  return 0
}

# Ends this prefix's wineserver and every Wine process that still runs in it.
wine_env_stop() {
  # wineserver -k fails when the server has already gone; under errexit that must not end the run
  if command -v wineserver >/dev/null 2>&1; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  return 0
}
