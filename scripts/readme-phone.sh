#!/usr/bin/env bash
# Makes docs/web-phone.png, the README's picture of the web page on a phone: sorvel2.html from the
# wasm build in headless Chromium, as a 390 x 844 touch screen with two device pixels to each CSS
# pixel, two seconds after the first title. Needs the wasm build and the page check's
# playwright-core (tests/web/page_check.sh installs it).
#   scripts/readme-phone.sh [WASM_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
web=${1:-build/wasm}/web
out=docs/web-phone.png
[ -f "$web/sorvel2.html" ] || { echo "readme-phone: $web/sorvel2.html is missing (build the wasm preset)" >&2; exit 1; }
[ -d tests/web/node_modules/playwright-core ] ||
  { echo "readme-phone: playwright-core is missing (run tests/web/page_check.sh once)" >&2; exit 1; }
# shellcheck source=tests/web/serve.sh
. tests/web/serve.sh
serve_web "$web"
rm -f "$out.part"
NODE_PATH=tests/web/node_modules timeout 60 node - "$web_url" "$out.part" <<'SCRIPT' ||
'use strict';
const { chromium } = require('playwright-core');
const [url, out] = process.argv.slice(2);
(async () => {
    const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true,
                                            args: ['--no-sandbox', '--disable-gpu'] });
    try {
        const context = await browser.newContext({ viewport: { width: 390, height: 844 },
                                                   deviceScaleFactor: 2, hasTouch: true, isMobile: true });
        const page = await context.newPage();
        await page.goto(url + 'sorvel2.html');
        await page.waitForFunction(() => /FPS Prop- 2$/.test(document.title), null, { timeout: 20000 });
        await page.waitForTimeout(2000);
        await page.screenshot({ path: out, type: 'png' });
    } finally {
        await browser.close();
    }
})().catch((error) => {
    console.error(`readme-phone: ${error.message}`);
    process.exit(1);
});
SCRIPT
  { rm -f "$out.part"; echo "readme-phone: no picture made" >&2; exit 1; }
mv "$out.part" "$out"
ls -l "$out"
