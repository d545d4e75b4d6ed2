# shellcheck shell=bash
# What the end-to-end checks share, sourced by each: the tally of results, the clock in seconds
# with fractions, and waiting for a program (program_pid) to end and reading its CPU time.
#   pass TEXT / fail TEXT / skip TEXT      one result line, counted in passed, failed, skipped

passed=0
failed=0
skipped=0
pass() { passed=$((passed + 1)); echo "PASS: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
skip() { skipped=$((skipped + 1)); echo "SKIPPED: $*"; }

# now: seconds since the epoch with microseconds; elapsed SINCE: seconds since SINCE (a `now`).
now() { echo "${EPOCHREALTIME/,/.}"; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
# deadline SECONDS: the `now` that many seconds ahead; before DEADLINE: true until then.
deadline() { awk -v a="$(now)" -v s="$1" 'BEGIN { printf "%.3f", a + s }'; }
before() { awk -v a="$(now)" -v d="$1" 'BEGIN { exit !(a < d) }'; }

# wait_exit SECONDS: waits for the program to end and sets exit_code; fails on timeout (and then
# ends the program itself: SIGTERM, and SIGKILL if that has not ended it within 3 s, so that a
# program stuck where a signal cannot reach its loop never holds the check up). Either way
# program_pid is cleared.
wait_exit() {
  local limit
  limit=$(deadline "$1")
  while kill -0 "$program_pid" 2>/dev/null && before "$limit"; do sleep 0.02; done
  if kill -0 "$program_pid" 2>/dev/null; then
    kill "$program_pid" 2>/dev/null
    limit=$(deadline 3)
    while kill -0 "$program_pid" 2>/dev/null && before "$limit"; do sleep 0.05; done
    kill -KILL "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
    program_pid=""
    return 1
  fi
  wait "$program_pid"
  exit_code=$?
  program_pid=""
  return 0
}

# ends_cleanly LABEL HOW SECONDS [LOG]: the program, told to end by HOW ("Escape"), ends within
# SECONDS with exit code 0; the time it took is in the result, and the head of LOG where it fails.
ends_cleanly() {
  local started
  started=$(now)
  if ! wait_exit "$3"; then
    fail "$1: still running $3 s after $2"
  elif [ "$exit_code" -ne 0 ]; then
    fail "$1: exit code $exit_code after $2"
    [ -z "${4:-}" ] || sed -n 1,10p "$4"
  else
    pass "$1: $2 ends it with exit code 0 (after $(elapsed "$started") s)"
  fi
}

# find_visible_window REGEX SECONDS: prints the id of a visible X window whose name matches
# REGEX, waiting up to SECONDS while program_pid runs; fails if it ends or no such window shows.
find_visible_window() {
  local deadline=$((SECONDS + $2)) id
  while [ "$SECONDS" -le "$deadline" ]; do
    kill -0 "$program_pid" 2>/dev/null || return 1
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# cpu_ticks PID: the CPU time the process and its children (the 64-bit Wine loader runs as a
# child of the shell function `wine`) have used so far, in clock ticks.
cpu_ticks() {
  local pid total=0 ticks
  for pid in "$1" $(pgrep -P "$1"); do
    ticks=$(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null) && total=$((total + ticks))
  done
  echo "$total"
}
