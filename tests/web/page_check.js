// Drives headless Chromium (Debian's, through playwright-core) over the web build's pages, served
// from 127.0.0.1, and checks what a user would see:
//   - index.html offers both programs and leads to each one's page;
//   - the window's title, above the canvas and as the page's title, reaches "Sorvel2- <n>FPS Prop- 2";
//   - the canvas in a screenshot is not black;
//   - Space changes the picture: sorvel2's polar warp leaves the centre dark, the ripple warp two
//     presses later lights it; sorvel's fire palette (red at least green at least blue) becomes
//     scheme 1, green above red;
//   - the arrow keys change the decay in the title, and the page does not scroll on them; with
//     Alt held they arrive as system keys and change nothing;
//   - Escape ends the program and the page says so; so does the close button on the caption,
//     which also takes the window away.
// Prints the frames per second the titles showed.
//   node page_check.js http://127.0.0.1:PORT/
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const base = process.argv[2];
const failures = [];
const fps_seen = {};

function check(ok, what) {
    console.log(`  ${ok ? 'ok  ' : 'FAIL'} ${what}`);
    if (!ok)
        failures.push(what);
}

// The colours of the canvas as the screenshot shows them, read back by the browser's own PNG
// decoder: {width, height, rgba}.
async function canvas_pixels(page) {
    const png = await page.locator('.sorvel-window canvas').screenshot();
    const shot = await page.evaluate(async (data) => {
        const image = new Image();
        image.src = 'data:image/png;base64,' + data;
        await image.decode();
        const canvas = document.createElement('canvas');
        canvas.width = image.width;
        canvas.height = image.height;
        const context = canvas.getContext('2d');
        context.drawImage(image, 0, 0);
        const rgba = context.getImageData(0, 0, image.width, image.height).data;
        let binary = '';
        for (let i = 0; i < rgba.length; i += 0x8000)
            binary += String.fromCharCode.apply(null, rgba.subarray(i, i + 0x8000));
        return { width: image.width, height: image.height, rgba: btoa(binary) };
    }, png.toString('base64'));
    shot.rgba = Buffer.from(shot.rgba, 'base64');
    return shot;
}

// Share of pixels with some channel above 32, and the mean brightness of a box given in the
// program's 320 x 240 pixels.
function lit_share(shot) {
    let lit = 0;
    for (let i = 0; i < shot.rgba.length; i += 4)
        if (Math.max(shot.rgba[i], shot.rgba[i + 1], shot.rgba[i + 2]) > 32)
            lit++;
    return lit / (shot.rgba.length / 4);
}

function box_brightness(shot, x0, y0, x1, y1) {
    const sx = shot.width / 320;
    const sy = shot.height / 240;
    let total = 0;
    let count = 0;
    for (let y = Math.floor(y0 * sy); y < Math.floor(y1 * sy); y++) {
        for (let x = Math.floor(x0 * sx); x < Math.floor(x1 * sx); x++) {
            const i = (y * shot.width + x) * 4;
            total += (shot.rgba[i] + shot.rgba[i + 1] + shot.rgba[i + 2]) / 3;
            count++;
        }
    }
    return total / count;
}

// Among clearly lit pixels, the share whose green stands above their red.
function green_over_red(shot) {
    let lit = 0;
    let green = 0;
    for (let i = 0; i < shot.rgba.length; i += 4) {
        const r = shot.rgba[i];
        const g = shot.rgba[i + 1];
        if (Math.max(r, g, shot.rgba[i + 2]) <= 64)
            continue;
        lit++;
        if (g > r + 16)
            green++;
    }
    return lit === 0 ? 0 : green / lit;
}

async function title_matching(page, pattern, what) {
    try {
        await page.waitForFunction((source) => new RegExp(source).test(document.title),
                                   pattern.source, { timeout: 15000, polling: 100 });
    } catch (error) {
        check(false, `${what} (the title stayed "${await page.title()}")`);
        return null;
    }
    const title = await page.title();
    check(true, `${what}: "${title}"`);
    return title.match(pattern);
}

// Presses a key and gives the program a moment (and at least one title update) to show it.
async function press(page, key) {
    await page.keyboard.press(key);
    await page.waitForTimeout(150);
}

async function program_page(page, program, title) {
    console.log(`${program}:`);
    const running = new RegExp(`^${title}- (\\d+)FPS Prop- 2$`);
    const shown = await title_matching(page, running, 'the title reaches the frame count');
    if (shown === null)
        return;
    const caption = await page.textContent('.sorvel-window .sorvel-title');
    check(running.test(caption), `the same title stands above the canvas: "${caption}"`);
    // A few more title updates for the frame rate.
    const counts = [Number(shown[1])];
    for (let i = 0; i < 3; i++) {
        await page.waitForTimeout(1050);
        const again = (await page.title()).match(running);
        if (again)
            counts.push(Number(again[1]));
    }
    fps_seen[program] = counts;

    // Listens after the program's own listener, to see whether the page scrolls on the keys.
    await page.evaluate(() => {
        window.scroll_keys = [];
        window.addEventListener('keydown', (event) => {
            if (event.code === 'Space' || event.code.startsWith('Arrow'))
                window.scroll_keys.push(event.defaultPrevented);
        });
    });

    const before = await canvas_pixels(page);
    check(lit_share(before) > 0.05,
          `the canvas is not black (${(100 * lit_share(before)).toFixed(1)}% lit)`);
    if (program === 'sorvel2') {
        const polar = box_brightness(before, 130, 70, 190, 110);
        check(polar < 100, `the polar warp leaves the centre dark (${polar.toFixed(0)})`);
        await press(page, 'Space');
        await press(page, 'Space');
        await page.waitForTimeout(500); // the trails settle into the ripple's picture
        const ripple = box_brightness(await canvas_pixels(page), 130, 70, 190, 110);
        check(ripple > 150, `two presses of Space: the ripple warp lights the centre (${ripple.toFixed(0)})`);
    } else {
        const fire = green_over_red(before);
        check(fire < 0.02, `the fire palette: green above red in ${(100 * fire).toFixed(1)}% of lit pixels`);
        await press(page, 'Space');
        const scheme = green_over_red(await canvas_pixels(page));
        check(scheme > 0.5, `Space: scheme 1, green above red in ${(100 * scheme).toFixed(1)}% of lit pixels`);
    }

    // Left raises the decay, Up lowers it twice: 2 -> 3 -> 1, each seen at a title update.
    await press(page, 'ArrowLeft');
    await title_matching(page, new RegExp(`^${title}- \\d+FPS Prop- 3$`), 'Left raises the decay');
    await press(page, 'ArrowUp');
    await press(page, 'ArrowUp');
    await title_matching(page, new RegExp(`^${title}- \\d+FPS Prop- 1$`), 'Up twice lowers it');
    if (program === 'sorvel2') {
        await press(page, 'Alt+ArrowLeft');
        await page.waitForTimeout(1200); // past the next title update
        const after = await page.title();
        check(/ Prop- 1$/.test(after), `Alt+Left changes nothing: "${after}"`);
    }
    const kept = await page.evaluate(() => window.scroll_keys);
    check(kept.length >= 4 && kept.every((prevented) => prevented),
          `Space and the arrows do not scroll the page (${kept.length} keys, defaults prevented)`);
    check((await page.evaluate(() => window.scrollY)) === 0, 'the page has not scrolled');

    await press(page, 'Escape');
    try {
        await page.waitForFunction(() => /has ended/.test(document.getElementById('status').textContent),
                                   null, { timeout: 5000 });
        check(true, `Escape ends the program: "${await page.textContent('#status')}"`);
    } catch (error) {
        check(false, `Escape ends the program (the status says "${await page.textContent('#status')}")`);
    }
    const last = await page.title();
    await page.waitForTimeout(1200);
    check((await page.title()) === last && / \(ended\)$/.test(last),
          `after Escape the title stays "${last}"`);
}

async function main() {
    const started = Date.now();
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'sorvel-chromium-'));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: '/usr/bin/chromium',
        headless: true,
        viewport: { width: 1000, height: 700 },
        args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
               '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-quic'],
    });
    const errors = [];
    try {
        const page = context.pages()[0] || (await context.newPage());
        page.setDefaultTimeout(20000);
        page.on('pageerror', (error) => errors.push(error.message));
        page.on('console', (message) => {
            if (message.type() === 'error')
                errors.push(message.text());
        });

        console.log('index.html:');
        await page.goto(base + 'index.html');
        for (const [link, file] of [['Run Sorvel2', 'sorvel2.html'], ['Run Sorvel', 'sorvel.html']])
            check((await page.getAttribute(`a:text-is("${link}")`, 'href')) === file,
                  `"${link}" leads to ${file}`);
        check((await page.locator('table.keys kbd').count()) >= 5, 'the keys are explained');

        await page.click('a:text-is("Run Sorvel2")');
        await program_page(page, 'sorvel2', 'Sorvel2');
        await page.goto(base + 'sorvel.html');
        await program_page(page, 'sorvel', 'Sorvel');

        console.log('the close button:');
        await page.goto(base + 'sorvel2.html');
        if ((await title_matching(page, /^Sorvel2- \d+FPS/, 'sorvel2 runs again')) !== null) {
            await page.click('.sorvel-window .sorvel-close');
            try {
                await page.waitForFunction(() => /has ended/.test(document.getElementById('status').textContent),
                                           null, { timeout: 5000 });
                check(true, 'closing the window ends the program');
            } catch (error) {
                check(false, 'closing the window ends the program');
            }
            check((await page.locator('.sorvel-window').count()) === 0, 'the window is gone from the page');
        }
        check(errors.length === 0, `no errors on the pages${errors.length ? ': ' + errors.join('; ') : ''}`);
    } finally {
        await context.close();
        fs.rmSync(profile, { recursive: true, force: true });
    }
    for (const [program, counts] of Object.entries(fps_seen))
        console.log(`frames per second shown by ${program} in headless Chromium: ${counts.join(', ')}`);
    if (failures.length > 0) {
        console.log(`FAILED: ${failures.length} check(s) of the web page`);
        process.exit(1);
    }
    console.log(`web page: all checks passed in ${((Date.now() - started) / 1000).toFixed(1)} s`);
}

main().catch((error) => {
    console.log(`FAILED: ${error.stack || error}`);
    process.exit(1);
});
