# Sourced by the scripts that open the web build in a browser: serve_web DIR serves DIR from a
# local server on a free port of 127.0.0.1, sets $web_url to its address, and stops the server
# when the calling script exits. Needs python3.
serve_web() {
  serve_log=$(mktemp)
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$1" >"$serve_log" 2>&1 &
  serve_pid=$!
  trap 'kill "$serve_pid" 2>/dev/null || true; wait "$serve_pid" 2>/dev/null || true; rm -f "$serve_log"' EXIT
  local port=""
  for _ in $(seq 100); do
    port=$(sed -n 's/^Serving HTTP on .* port \([0-9][0-9]*\).*/\1/p' "$serve_log")
    [ -n "$port" ] && break
    sleep 0.1
  done
  if [ -z "$port" ]; then
    echo "FAILED: the local web server did not start:"
    cat "$serve_log"
    exit 1
  fi
  web_url="http://127.0.0.1:$port/"
}
