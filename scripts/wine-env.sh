# Wine settings for running the 32-bit Windows build; sourced by the test stages:
#   source scripts/wine-env.sh [BUILD_DIR]      (BUILD_DIR defaults to build/mingw-i686)
#   wine_env_ready || skip the stage       (prints "SKIPPED: ..." itself when Wine is missing)
# Each build directory gets a Wine prefix of its own, BUILD_DIR/wineprefix, so a run never
# touches ~/.wine or another developer's prefix. The prefix is made once (wineboot, about 15 s)
# and reused while the same Wine version is installed; SORVEL_WINE_FRESH=1 makes it anew.
# wine_env_stop ends this prefix's wineserver (and with it any Wine process left behind).

sorvel_wine_build=${1:-build/mingw-i686}
mkdir -p "$sorvel_wine_build"
sorvel_wine_build=$(cd "$sorvel_wine_build" && pwd)

export WINEDEBUG=-all
export WINEARCH=win32
export WINEPREFIX="$sorvel_wine_build/wineprefix"
# No Mono or Gecko: the programs need neither, and their install dialogs would hang a headless run.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Prints why Wine cannot be used, or nothing when it can.
wine_env_missing() {
  local tool
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
  version=$(wine --version 2>/dev/null)
  marker="$WINEPREFIX/.sorvel-ready"
  if [ "${SORVEL_WINE_FRESH:-0}" = 1 ] || [ ! -f "$marker" ] || [ "$(cat "$marker")" != "$version" ]; then
    echo "wine: making prefix $WINEPREFIX ($version)"
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    # wineboot starts the prefix's background services; wineserver -w waits until they are gone,
    # so the prefix is fully written before the first program runs.
    if ! wineboot -i >/dev/null 2>&1 || ! wineserver -w || [ ! -f "$WINEPREFIX/system.reg" ]; then
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
