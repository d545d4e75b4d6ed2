# A virtual X server for the scripts that show the programs in real windows; sourced:
#   source scripts/xvfb-session.sh          sets work (a temporary folder), xvfb_pid, program_pid,
#                                           wine_used, and a trap that cleans all of it up on exit
#   xvfb_session_start [WxH] || ...         starts Xvfb (800x600 unless WxH is given) on a free
#                                           display and exports DISPLAY; fails, with Xvfb's log
#                                           printed, when it cannot start
#   xvfb_session_stop                       ends that Xvfb (and its window manager)
#   xvfb_session_window_manager || ...      starts openbox on it, for full screen
# The cleanup ends the program under test (program_pid), the Wine prefix's server when Wine was
# used (wine_used=1), the window manager, then Xvfb, and removes the temporary folder.

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
program_pid=""
wine_used=0

xvfb_session_stop() {
  if [ -n "$wm_pid" ]; then
    kill "$wm_pid" 2>/dev/null
    wait "$wm_pid" 2>/dev/null
    wm_pid=""
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
  fi
}

xvfb_session_cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
  fi
  if [ "$wine_used" = 1 ]; then
    wine_env_stop
  fi
  xvfb_session_stop
  rm -rf "$work"
}
trap xvfb_session_cleanup EXIT
trap 'exit 130' INT TERM

xvfb_session_start() {
  local size=${1:-800x600}
  rm -f "$work/display"
  # -displayfd makes Xvfb choose a free display number itself and write it to the descriptor.
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$work/display" ]; then
    cat "$work/xvfb.log"
    return 1
  fi
  DISPLAY=":$(head -n 1 "$work/display")"
  export DISPLAY
}

xvfb_session_window_manager() {
  command -v openbox >/dev/null 2>&1 || return 1
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  wm_pid=$!
  # Ready once it has claimed the screen's window-manager selection; a loaded machine may take
  # seconds to get there.
  for _ in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.1
  done
  sed 's/^/  openbox: /' "$work/openbox.log" >&2
  return 1
}
