#!/usr/bin/env bash
# The web build in headless Chromium: serves BUILD_DIR/web from a local server on 127.0.0.1 and
# runs page_check.js against it (both programs: title, picture, keys, Escape, the pace). Chromium is driven
# through playwright-core, installed from the npm registry as package-lock.json pins it; it
# downloads no browser and uses Debian's /usr/bin/chromium. Where Chromium, Node.js or
# playwright-core cannot be had, the check says SKIPPED and why.
#   tests/web/page_check.sh WASM_BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
web=$1/web

skip() {
  echo "SKIPPED: the web page check in headless Chromium: $*"
  exit 0
}
[ -x /usr/bin/chromium ] || skip "Chromium is not installed (scripts/deps.sh test installs it)"
command -v node >/dev/null && command -v npm >/dev/null || skip "Node.js and npm are not installed"
for file in index.html sorvel2.html sorvel2.js sorvel2.wasm sorvel.html sorvel.js sorvel.wasm; do
  [ -f "$web/$file" ] || { echo "FAILED: $web/$file is missing (build the wasm preset first)"; exit 1; }
done
if ! (cd "$here" && node -e "require('playwright-core')" 2>/dev/null); then
  (cd "$here" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 timeout 180 npm ci --no-audit --no-fund) ||
    skip "playwright-core could not be installed from the npm registry"
fi

# shellcheck source=tests/web/serve.sh
. "$here/serve.sh"
serve_web "$web"
timeout 300 node "$here/page_check.js" "$web_url"
