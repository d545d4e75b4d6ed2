# shellcheck shell=bash disable=SC2154 # $work and $DISPLAY come from scripts/xvfb-session.sh
# A real xscreensaver daemon on the virtual X server of scripts/xvfb-session.sh, for the scripts
# that show the programs as screen savers; sourced after that script:
#   xscreensaver_session_start PROGRAM ARGS... || ...
#                               runs the daemon as the user sorvel-saver (made here once:
#                               xscreensaver runs no display modes as root), HOME in $work/home,
#                               with one programs: line, a copy of PROGRAM in $work/bin (which
#                               that user can read) with ARGS; fails, saying why on standard
#                               output, when it cannot (not in a subshell: it sets variables)
#   saver_command ARGS...       xscreensaver-command as that user (-activate, -deactivate, ...)
#   saver_process               the pid of the program the daemon started, or nothing
#   xscreensaver_session_stop   asks the daemon to exit, and ends it if it does not
# Needs root (to run the daemon as the other user) and xscreensaver; the log is
# $work/home/xscreensaver.log.

saver_user=sorvel-saver
saver_daemon_pid=""
saver_program=""

saver_command() {
  runuser -u "$saver_user" -- env -i DISPLAY="$DISPLAY" HOME="$work/home" xscreensaver-command "$@"
}

saver_process() {
  [ -n "$saver_program" ] && pgrep -u "$saver_user" -x "$saver_program" | head -n 1
}

xscreensaver_session_start() {
  local program=$1 tries
  shift
  if ! command -v xscreensaver >/dev/null 2>&1 || ! command -v runuser >/dev/null 2>&1; then
    echo "xscreensaver (or runuser) is not installed (scripts/deps.sh test installs it)"
    return 1
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "running the daemon as the user $saver_user needs root"
    return 1
  fi
  if ! id "$saver_user" >/dev/null 2>&1 &&
    ! useradd --no-create-home --shell /usr/sbin/nologin "$saver_user" 2>"$work/useradd.log"; then
    echo "no user $saver_user, and it cannot be made: $(head -n 1 "$work/useradd.log")"
    return 1
  fi
  saver_program=${program##*/}
  chmod 755 "$work"
  mkdir -p "$work/bin" "$work/home"
  cp "$program" "$work/bin/"
  chmod 755 "$work/bin" "$work/bin/$saver_program"
  cat >"$work/home/.xscreensaver" <<SETTINGS
mode: one
selected: 0
timeout: 0:30:00
cycle: 0:00:00
lock: False
splash: False
fade: False
unfade: False
programs: $work/bin/$saver_program $* \n\\
SETTINGS
  chown -R "$saver_user" "$work/home"
  runuser -u "$saver_user" -- env -i DISPLAY="$DISPLAY" HOME="$work/home" PATH=/usr/bin:/bin \
    xscreensaver --no-splash --verbose --log "$work/home/xscreensaver.log" >/dev/null 2>&1 &
  saver_daemon_pid=$!
  for tries in $(seq 100); do
    saver_command -version >/dev/null 2>&1 && return 0
    kill -0 "$saver_daemon_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the daemon did not answer (tried $tries times):"
  tail -n 20 "$work/home/xscreensaver.log"
  return 1
}

xscreensaver_session_stop() {
  [ -n "$saver_daemon_pid" ] || return 0
  saver_command -exit >/dev/null 2>&1
  for _ in $(seq 30); do
    kill -0 "$saver_daemon_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$saver_daemon_pid" 2>/dev/null
  wait "$saver_daemon_pid" 2>/dev/null
  saver_daemon_pid=""
}
