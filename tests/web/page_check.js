// Drives headless Chromium (Debian's, through playwright-core) over the web build's pages, served
// from 127.0.0.1, and checks what a user would see:
//   - index.html offers both programs and leads to each one's page, at the default pace and at
//     ?fps=max;
//   - the window's title, above the canvas and as the page's title, reaches "Sorvel2- <n>FPS Prop- 2";
//   - the canvas in a screenshot is not black;
//   - Space changes the picture: sorvel2's polar warp leaves the centre dark, the ripple warp two
//     presses later lights it; sorvel's fire palette (red at least green at least blue) becomes
//     scheme 1, green above red;
//   - the arrow keys change the decay in the title, and the page does not scroll on them; with
//     Alt held they arrive as system keys and change nothing;
//   - Escape ends the program and the page says so; so does the close button on the caption,
//     which also takes the window away;
//   - the canvas is the largest whole multiple of 320 x 240 whose window fits the page's width and
//     the viewport's height under the heading line (2x or more on a 1920 x 1080 desktop), follows
//     the viewport when it changes, and shrinks only to fit a page narrower than 320 pixels, never
//     wider than the page;
//   - at the viewports laptop and desktop browsers have (1280 x 800 to 2560 x 1300) and on a phone:
//     at least the scale each must reach (2x on laptops, 3x at 1920 x 960), the window and the
//     keys' table centred, the table beside the picture at 1920 x 960 and under it on the phone;
//   - the Full screen button on the caption makes the window full screen, the picture centred at
//     the largest whole scale; Escape there is the browser's and does not end the program;
//   - on a 390 x 844 phone with touch: no horizontal overflow, the whole canvas on screen, a tap
//     on the picture is Space, and the Space, Left, Right and Escape buttons under the canvas act
//     as the keys, without covering the picture;
//   - full screen on that phone takes the buttons along: on the screen, off the picture, in a row
//     along the bottom edge, upright and turned; the Left button raises the decay there, a tap on
//     the picture is Space, and the Escape button leaves full screen as the keyboard's does.
//   - the pace (pace_page): by default the title settles at the page's own animation-frame rate,
//     measured in the page; minus halves it and equals doubles it back; ?fps=30 reads about 30,
//     ?fps=max far above the animation frames; P freezes the picture, the period lets exactly one
//     frame through, and Escape and the close button end a paused program; a bad ?fps= starts
//     nothing and says why.
// Prints the frames per second the titles showed, and the CPU time the browser spent at the
// default pace and at ?fps=max (cost_page).
//   node page_check.js http://127.0.0.1:PORT/
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const base = process.argv[2];
const failures = [];
const fps_seen = {};
const pace_seen = {};
const cost_seen = [];
let current_profile = ''; // the profile folder of the browser that with_page runs

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

async function wait_for_end(page, what) {
    try {
        await page.waitForFunction(() => /has ended/.test(document.getElementById('status').textContent),
                                   null, { timeout: 5000 });
        check(true, what);
    } catch (error) {
        check(false, `${what} (the status says "${await page.textContent('#status')}")`);
    }
}

// Where the canvas is and how the page around it measures, once the canvas has settled after a
// change of the viewport. `room_*` is where the window may go: the page body's width, and the
// viewport's height from the top of the row under the page's heading line down to the body's
// bottom padding. `under` is what stands under the window with it (the buttons for touch screens).
async function layout(page) {
    await page.waitForTimeout(300);
    return page.evaluate(() => {
        const canvas = document.querySelector('.sorvel-window canvas');
        const box = canvas.getBoundingClientRect();
        const frame = document.querySelector('.sorvel-window').getBoundingClientRect();
        const stage = document.getElementById('stage').getBoundingClientRect();
        const root = document.documentElement;
        const body = getComputedStyle(document.body);
        const content_left = parseFloat(body.paddingLeft);
        return {
            left: box.left, top: box.top, right: box.right, bottom: box.bottom,
            width: box.width, height: box.height,
            frame: { left: frame.left, top: frame.top, right: frame.right, bottom: frame.bottom },
            chrome_width: frame.width - box.width, chrome_height: frame.height - box.height,
            under: stage.bottom - frame.bottom,
            view_width: root.clientWidth, view_height: root.clientHeight,
            scroll_width: root.scrollWidth, page_height: root.scrollHeight,
            room_width: document.body.clientWidth - content_left - parseFloat(body.paddingRight),
            room_top: document.querySelector('.gallery').getBoundingClientRect().top,
            room_bottom: root.clientHeight - parseFloat(body.paddingBottom),
            rendering: getComputedStyle(canvas).imageRendering,
        };
    });
}

// The canvas is a whole multiple n >= 1 of 320 x 240 whose window (caption, borders and what
// stands under it included) fits the page's width and the viewport's height under the heading
// line, while n + 1 would not fit; or, on a page narrower than 320 pixels, it fills the page's
// width at 4:3. Never wider than the viewport. Returns n.
async function check_fit(page, what) {
    const at = await layout(page);
    const scale = at.width / 320;
    const room = at.room_width - at.chrome_width;
    let fits;
    if (room < 320) {
        fits = at.width <= room && at.width >= room - 1 && Math.abs(at.height - at.width * 0.75) <= 1;
    } else {
        const extra = at.chrome_height + at.under;
        const whole = Number.isInteger(scale) && at.height === 240 * scale;
        const inside = at.frame.left >= 0 && at.frame.right <= at.view_width &&
            (scale === 1 || (at.frame.top >= at.room_top && at.frame.bottom + at.under <= at.room_bottom + 0.5));
        const larger = (scale + 1) * 320 > room || (scale + 1) * 240 + extra > at.room_bottom - at.room_top;
        fits = whole && inside && larger;
    }
    check(fits && at.scroll_width <= at.view_width && at.rendering === 'pixelated',
          `${what}: the canvas is ${at.width} x ${at.height} (${scale.toFixed(2)}x) in a ` +
          `${at.view_width} x ${at.view_height} viewport, the window from (${at.frame.left}, ` +
          `${Math.round(at.frame.top)}) to (${at.frame.right}, ${Math.round(at.frame.bottom)}), the page ` +
          `${at.scroll_width} wide, ${at.rendering}`);
    return scale;
}

function overlaps(a, b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The buttons for touch screens, by the key their accessible name begins with: their boxes, or
// null where one is not shown.
async function touch_buttons(page) {
    const boxes = {};
    for (const key of ['Space', 'Left', 'Right', 'Pause', 'Escape']) {
        const button = page.getByRole('button', { name: new RegExp(`^${key}\\b`) });
        const box = (await button.count()) === 1 ? await button.boundingBox() : null;
        boxes[key] = box && { left: box.x, top: box.y, right: box.x + box.width, bottom: box.y + box.height };
    }
    return boxes;
}

// On a desktop: the sizes, full screen, and the buttons for touch screens out of the picture's way.
async function desktop_page(page) {
    console.log('sizing and full screen (desktop):');
    await page.setViewportSize({ width: 1920, height: 1080 });
    await page.goto(base + 'sorvel2.html');
    if ((await title_matching(page, /^Sorvel2- \d+FPS/, 'sorvel2 runs at 1920 x 1080')) === null)
        return;
    const scale = await check_fit(page, '1920 x 1080');
    check(scale >= 2, `at 1920 x 1080 the picture is shown at 2x or more (${scale}x)`);
    const canvas_box = await layout(page);
    const buttons = await touch_buttons(page);
    check(Object.values(buttons).every((box) => box === null || !overlaps(box, canvas_box)),
          'the buttons for touch screens do not cover the picture');
    for (const [width, height] of [[1000, 700], [1280, 1024], [700, 500], [2560, 1440]]) {
        await page.setViewportSize({ width, height });
        await check_fit(page, `resized to ${width} x ${height}`);
    }
    await page.setViewportSize({ width: 300, height: 600 });
    const narrow = await check_fit(page, 'narrower than the picture, 300 x 600');
    check(narrow < 1, `a page narrower than 320 pixels shrinks the picture (${narrow.toFixed(2)}x)`);

    await page.setViewportSize({ width: 1280, height: 720 });
    const windowed = await layout(page);
    const button = page.getByRole('button', { name: 'Full screen' });
    if ((await button.count()) !== 1) {
        check(false, 'the caption has a Full screen button');
        return;
    }
    await button.click();
    try {
        await page.waitForFunction(() => document.fullscreenElement !== null, null, { timeout: 5000 });
        check(true, 'the Full screen button makes the window full screen');
    } catch (error) {
        check(false, 'the Full screen button makes the window full screen');
        return;
    }
    const full = await layout(page);
    const whole = Math.floor(Math.min(full.view_width / 320, full.view_height / 240));
    check(full.width === 320 * whole && full.height === 240 * whole &&
          Math.abs(full.left - (full.view_width - full.right)) <= 1 &&
          Math.abs(full.top - (full.view_height - full.bottom)) <= 1,
          `in full screen the picture is ${full.width} x ${full.height} at (${full.left}, ${full.top}), ` +
          `the largest whole scale centred on a ${full.view_width} x ${full.view_height} screen`);
    const background = await page.evaluate(() => getComputedStyle(document.fullscreenElement).backgroundColor);
    check(background === 'rgb(0, 0, 0)', `the screen around the picture is black (${background})`);
    // A headless browser has no Escape of its own to leave full screen: the page must not pass
    // the key on while full screen lasts, and the browser's leaving is played by exitFullscreen.
    await press(page, 'Escape');
    await page.waitForTimeout(300);
    check(!/has ended/.test(await page.textContent('#status')),
          'Escape in full screen does not reach the program');
    await page.evaluate(() => document.fullscreenElement && document.exitFullscreen());
    await page.waitForFunction(() => document.fullscreenElement === null);
    const back = await layout(page);
    check(back.width === windowed.width && back.top === windowed.top,
          `out of full screen the canvas is back to ${back.width} x ${back.height}`);
    await press(page, 'Escape');
    await wait_for_end(page, 'then Escape ends the program');
}

// On a phone with a touch screen, upright and turned.
async function phone_page(page) {
    console.log('a phone (390 x 844, touch):');
    await page.goto(base + 'sorvel.html');
    if ((await title_matching(page, /^Sorvel- \d+FPS Prop- 2$/, 'sorvel runs on the phone')) === null)
        return;
    const at = await layout(page);
    check(at.scroll_width <= 390, `no horizontal overflow (the page is ${at.scroll_width} wide)`);
    check(at.left >= 0 && at.top >= 0 && at.right <= 390 && at.bottom <= 844,
          `the whole canvas is on the screen (${at.left}, ${at.top}) to (${at.right}, ${at.bottom})`);
    await check_fit(page, '390 x 844');
    const buttons = await touch_buttons(page);
    const shown = Object.entries(buttons).filter(([, box]) => box !== null).map(([key]) => key);
    check(shown.length === 5, `buttons named Space, Left, Right, Pause and Escape are shown (${shown.join(', ')})`);
    check(Object.values(buttons).every((box) => box === null || (!overlaps(box, at) && box.top >= at.bottom)),
          'they stand under the picture, not over it');

    const before = green_over_red(await canvas_pixels(page));
    await page.tap('.sorvel-window canvas');
    await page.waitForTimeout(150);
    const after = green_over_red(await canvas_pixels(page));
    check(before < 0.02 && after > 0.5,
          `a tap on the picture is Space: green above red in ${(100 * before).toFixed(1)}% of lit ` +
          `pixels, then ${(100 * after).toFixed(1)}%`);
    if (shown.length !== 5)
        return;
    await page.getByRole('button', { name: /^Left\b/ }).tap();
    // Right is judged from 3 only, as an old title could still show a 1 reached otherwise.
    if ((await title_matching(page, /^Sorvel- \d+FPS Prop- 3$/, 'the Left button raises the decay')) !== null) {
        await page.getByRole('button', { name: /^Right\b/ }).tap();
        await page.waitForTimeout(100);
        await page.getByRole('button', { name: /^Right\b/ }).tap();
        await title_matching(page, /^Sorvel- \d+FPS Prop- 1$/, 'the Right button twice lowers it');
    }
    await page.getByRole('button', { name: /^Space\b/ }).tap();
    await page.waitForTimeout(150);
    const space = green_over_red(await canvas_pixels(page));
    check(space < 0.02, `the Space button: the next scheme (green above red in ${(100 * space).toFixed(1)}%)`);

    await page.setViewportSize({ width: 844, height: 390 });
    const turned = await layout(page);
    check(turned.scroll_width <= 844 && turned.right <= 844,
          `turned to 844 x 390: no horizontal overflow (${turned.scroll_width} wide), the canvas ` +
          `${turned.width} x ${turned.height}`);
    await page.getByRole('button', { name: /^Pause\b/ }).tap();
    await page.waitForTimeout(300);
    const paused = await canvas_pixels(page);
    await page.waitForTimeout(1000);
    check(paused.rgba.equals((await canvas_pixels(page)).rgba), 'the Pause button freezes the picture');
    await page.getByRole('button', { name: /^Pause\b/ }).tap();
    await page.waitForTimeout(300);
    check(!paused.rgba.equals((await canvas_pixels(page)).rgba), 'and a second tap lets it run again');
    await page.getByRole('button', { name: /^Escape\b/ }).tap();
    await wait_for_end(page, 'the Escape button ends the program');
    const disabled = await page.locator('.touch-keys button:disabled').count();
    check(disabled === 5, `the ended program's buttons are disabled (${disabled} of 5)`);
}

// ---- The pace ----

// Animation frames a second in the page itself, counted over `ms` milliseconds.
async function animation_rate(page, ms) {
    return page.evaluate((span) => new Promise((done) => {
        let frames = 0;
        let first = 0;
        const count = (time) => {
            if (frames === 0)
                first = time;
            frames++;
            if (time - first < span)
                requestAnimationFrame(count);
            else
                done((frames - 1) * 1000 / (time - first));
        };
        requestAnimationFrame(count);
    }), ms);
}

// The frame counts of the next `updates` titles of a running program, one title a second.
async function title_counts(page, pattern, updates) {
    const counts = [];
    for (let i = 0; i < updates; i++) {
        await page.waitForTimeout(1050);
        const shown = (await page.title()).match(pattern);
        if (shown)
            counts.push(Number(shown[1]));
    }
    return counts;
}

function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    return sorted.length === 0 ? NaN : sorted[sorted.length >> 1];
}

async function ended_with_zero(page, what) {
    try {
        await page.waitForFunction(() => /has ended \(exit code 0\)/.test(document.getElementById('status').textContent),
                                   null, { timeout: 5000 });
        check(true, what);
    } catch (error) {
        check(false, `${what} (the status says "${await page.textContent('#status')}")`);
    }
}

async function pace_page(page) {
    console.log('the pace:');
    const running = /^Sorvel2- (\d+)FPS Prop- \d+$/;
    await page.goto(base + 'sorvel2.html');
    if ((await title_matching(page, running, 'sorvel2 runs at the default pace')) === null)
        return;
    // The title counts the frames of at least 1000 ms, so at most one frame more than the rate.
    const [rate, counts] = await Promise.all([animation_rate(page, 4000), title_counts(page, running, 4)]);
    const shown = median(counts.slice(1));
    pace_seen.rate = rate;
    pace_seen.display = counts;
    check(Math.abs(shown - rate) <= 0.05 * rate + 1,
          `the title settles at the page's animation frames: ${counts.join(', ')} a second, ` +
          `the page's animation frames ${rate.toFixed(1)} a second`);

    await press(page, 'Minus');
    const slower = median((await title_counts(page, running, 3)).slice(1));
    check(Math.abs(slower - rate / 2) <= 0.1 * rate / 2 + 1,
          `minus halves the pace: ${slower} frames a second`);
    await press(page, 'Equal');
    const again = median((await title_counts(page, running, 3)).slice(1));
    check(Math.abs(again - rate) <= 0.05 * rate + 1, `equals doubles it back: ${again} frames a second`);

    // Paused, the picture stands still. A frame let through after more than a second updates
    // the title with the frames counted since the last update: after a first step, the second
    // step's title counts 1 when each step lets through exactly one frame.
    await press(page, 'KeyP');
    await page.waitForTimeout(300);
    const still = await canvas_pixels(page);
    const paused_title = await page.title();
    await page.waitForTimeout(1000);
    const later = await canvas_pixels(page);
    check(still.rgba.equals(later.rgba) && (await page.title()) === paused_title,
          'P freezes the picture (two readings a second apart are equal) and the title');
    await page.waitForTimeout(150);
    await press(page, 'Period');
    await page.waitForTimeout(1050);
    const first_step = await canvas_pixels(page);
    await press(page, 'Period');
    await page.waitForTimeout(300);
    const second_step = await canvas_pixels(page);
    const step_title = await page.title();
    await page.waitForTimeout(1000);
    const after_step = await canvas_pixels(page);
    check(!later.rgba.equals(first_step.rgba) && !first_step.rgba.equals(second_step.rgba) &&
          second_step.rgba.equals(after_step.rgba) && /^Sorvel2- 1FPS /.test(step_title),
          `the period lets exactly one frame through: the picture changes and stands again, the ` +
          `title counts "${step_title}"`);
    await press(page, 'Escape');
    await ended_with_zero(page, 'Escape ends the paused program with exit code 0');

    await page.goto(base + 'sorvel.html');
    if ((await title_matching(page, /^Sorvel- \d+FPS/, 'sorvel runs again')) !== null) {
        await press(page, 'Pause');
        await page.waitForTimeout(300);
        await page.click('.sorvel-window .sorvel-close');
        await ended_with_zero(page, 'the close button ends the program paused with the Pause key');
    }

    await page.goto(base + 'sorvel2.html?fps=30');
    if ((await title_matching(page, running, '?fps=30 runs')) !== null) {
        const thirty = await title_counts(page, running, 4);
        check(Math.abs(median(thirty.slice(1)) - 30) <= 2, `?fps=30: ${thirty.join(', ')} frames a second`);
    }
    await page.goto(base + 'sorvel2.html?fps=max');
    if ((await title_matching(page, running, '?fps=max runs')) !== null) {
        const fastest = await title_counts(page, running, 3);
        pace_seen.max = fastest;
        check(median(fastest) > 5 * rate,
              `?fps=max is far above the animation frames: ${fastest.join(', ')} frames a second`);
    }
    for (const bad of ['0', '1001', 'x', '']) {
        await page.goto(base + `sorvel2.html?fps=${bad}`);
        await page.waitForTimeout(500);
        const status = await page.textContent('#status');
        check(/did not start: \?fps= takes a number from 1 to 1000 or "max"/.test(status) &&
              (await page.locator('.sorvel-window').count()) === 0,
              `?fps=${bad} starts nothing and says why: "${status}"`);
    }
}

// The CPU time of the browser's processes (all of them, and the renderers alone) per second of
// wall time, and the page's main-thread task time (Chromium's Performance.getMetrics), while
// sorvel2 runs for a few seconds at `query`.
function process_tree_ticks(profile) {
    const stats = {};
    for (const pid of fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
        try {
            const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
            const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
            const command = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
            stats[pid] = { parent: fields[1], ticks: Number(fields[11]) + Number(fields[12]),
                           root: command.includes(`--user-data-dir=${profile}`) &&
                                 !command.includes('--type='),
                           renderer: command.includes('--type=renderer') };
        } catch (error) {
            // a process that ended meanwhile
        }
    }
    const in_tree = (pid) => {
        for (let at = pid, depth = 0; stats[at] && depth < 10; at = stats[at].parent, depth++)
            if (stats[at].root)
                return true;
        return false;
    };
    let all = 0;
    let renderers = 0;
    for (const pid of Object.keys(stats).filter(in_tree)) {
        all += stats[pid].ticks;
        if (stats[pid].renderer)
            renderers += stats[pid].ticks;
    }
    return { all, renderers };
}

async function cpu_cost(page, query) {
    await page.goto(base + 'sorvel2.html' + query);
    await title_matching(page, /^Sorvel2- \d+FPS/, `sorvel2${query} runs for the cost`);
    await page.waitForTimeout(1500);
    const cdp = await page.context().newCDPSession(page);
    await cdp.send('Performance.enable');
    const metric = async () => Object.fromEntries((await cdp.send('Performance.getMetrics')).metrics
        .map((entry) => [entry.name, entry.value]));
    const ticks = 100; // clock ticks a second of /proc/PID/stat on Linux
    const before = { wall: Date.now(), proc: process_tree_ticks(current_profile), page: await metric() };
    await page.waitForTimeout(5000);
    const after = { wall: Date.now(), proc: process_tree_ticks(current_profile), page: await metric() };
    await cdp.detach();
    const seconds = (after.wall - before.wall) / 1000;
    const share = (value) => `${(100 * value / seconds).toFixed(1)}%`;
    return {
        title: await page.title(),
        browser: share((after.proc.all - before.proc.all) / ticks),
        renderer: share((after.proc.renderers - before.proc.renderers) / ticks),
        tasks: share(after.page.TaskDuration - before.page.TaskDuration),
    };
}

async function cost_page(page) {
    console.log('the cost (figures only):');
    for (const query of ['', '?fps=max']) {
        const cost = await cpu_cost(page, query);
        cost_seen.push(`sorvel2.html${query} ("${cost.title}"): all of Chromium ${cost.browser} of ` +
                       `one core, its renderer ${cost.renderer}, the page's main-thread tasks ` +
                       `${cost.tasks}`);
    }
}

// ---- The picture first: its scale at the viewports browsers really have, the keys' text beside
// or under it, and the whole centred.

// The scale each viewport must reach at least (the rest only have to fit, as check_fit says).
const viewport_table = [
    [1280, 800, 2], [1366, 657, 2], [1440, 780, 2], [1536, 730, 2], [1920, 960, 3], [1920, 1080, 3],
    [390, 844, 1], [2560, 1300, 4],
];
const table_seen = [];

// The window's stage, the text about the keys and the row holding them, as boxes.
async function gallery_boxes(page) {
    return page.evaluate(() => {
        const box = (element) => {
            const r = element.getBoundingClientRect();
            return { left: r.left, top: r.top, right: r.right, bottom: r.bottom };
        };
        return { stage: box(document.getElementById('stage')), about: box(document.querySelector('.about')),
                 row: box(document.querySelector('.gallery')), view_width: document.documentElement.clientWidth };
    });
}

// 'beside' when the text about the keys stands right of the window at its height, 'under' when
// it starts below the window, else what was seen.
function about_place(boxes) {
    const { stage, about } = boxes;
    if (about.left >= stage.right && about.top < stage.bottom && about.bottom > stage.top)
        return 'beside';
    if (about.top >= stage.bottom)
        return 'under';
    return `at (${about.left}, ${about.top}), the window to (${stage.right}, ${stage.bottom})`;
}

// The window and the text beside it (or the window alone, the text under it) are centred across
// the page; side by side, they are also centred between the heading line and the page's foot.
function check_centred(boxes, what) {
    const { stage, about, row } = boxes;
    const beside = about_place(boxes) === 'beside';
    const left = beside ? Math.min(stage.left, about.left) : stage.left;
    const right = beside ? Math.max(stage.right, about.right) : stage.right;
    const top = beside ? Math.min(stage.top, about.top) : stage.top;
    const bottom = beside ? Math.max(stage.bottom, about.bottom) : stage.bottom;
    const across = Math.abs(left - (boxes.view_width - right));
    const down = Math.abs((top - row.top) - (row.bottom - bottom));
    check(across <= 2 && (!beside || down <= 2),
          `${what}: centred, ${left.toFixed(0)} | ${(boxes.view_width - right).toFixed(0)} pixels ` +
          `left and right` + (beside ?
          `, ${(top - row.top).toFixed(0)} | ${(row.bottom - bottom).toFixed(0)} above and below` : ''));
}

async function picture_first(page) {
    console.log('the picture first (desktop viewports):');
    await page.setViewportSize({ width: 1366, height: 657 });
    await page.goto(base + 'sorvel2.html');
    if ((await title_matching(page, /^Sorvel2- \d+FPS/, 'sorvel2 runs')) === null)
        return;
    for (const [width, height, least] of viewport_table) {
        await page.setViewportSize({ width, height });
        const scale = await check_fit(page, `${width} x ${height}`);
        check(scale >= least, `at ${width} x ${height} the picture is ${scale}x, at least ${least}x`);
        const boxes = await gallery_boxes(page);
        check_centred(boxes, `${width} x ${height}`);
        const place = about_place(boxes);
        if (width === 1920 && height === 960)
            check(place === 'beside', `at 1920 x 960 the keys' table stands beside the picture (${place})`);
        const at = await layout(page);
        table_seen.push(`${width}x${height}: ${at.width}x${at.height} (${scale}x), keys ${place}`);
    }
}

// On the phone the keys' text goes under the picture and its buttons, and the page scrolls down
// to it, never sideways.
async function phone_keys_under(page) {
    console.log('the keys under the picture (390 x 844, touch):');
    await page.goto(base + 'sorvel2.html');
    if ((await title_matching(page, /^Sorvel2- \d+FPS Prop- 2$/, 'sorvel2 runs on the phone')) === null)
        return;
    const boxes = await gallery_boxes(page);
    const place = about_place(boxes);
    check(place === 'under', `the keys' table stands under the picture and its buttons (${place})`);
    check_centred(boxes, 'the phone');
}

// ---- Full screen on a touch screen: the buttons go full screen with the picture, along the
// bottom edge, off the picture.

async function full_screen_boxes(page) {
    await page.waitForTimeout(300);
    return page.evaluate(() => {
        const full = document.fullscreenElement;
        const canvas = document.querySelector('.sorvel-window canvas');
        const box = (element) => {
            const r = element.getBoundingClientRect();
            return { left: r.left, top: r.top, right: r.right, bottom: r.bottom };
        };
        const buttons = Array.from(document.querySelectorAll('.touch-keys button[data-key]')).map((button) =>
            ({ key: button.dataset.key, inside: full !== null && full.contains(button),
               shown: button.offsetWidth > 0, ...box(button) }));
        return { full: full !== null, canvas: box(canvas), buttons,
                 screen_width: window.innerWidth, screen_height: window.innerHeight };
    });
}

// The buttons are in what went full screen, on the screen, off the picture, in a row under it
// near the bottom edge; the picture is at the largest whole scale above them, centred across.
function check_full_screen_keys(at, what) {
    const { canvas, buttons } = at;
    const on_screen = buttons.every((b) => b.inside && b.shown && b.left >= 0 && b.top >= 0 &&
                                          b.right <= at.screen_width && b.bottom <= at.screen_height);
    const clear = buttons.every((b) => !overlaps(b, canvas) && b.top >= canvas.bottom);
    const edge = Math.max(...buttons.map((b) => b.bottom));
    const keys_top = Math.min(...buttons.map((b) => b.top));
    const width = canvas.right - canvas.left;
    const scale = width / 320;
    const largest = Math.floor(Math.min(at.screen_width / 320, keys_top / 240));
    check(buttons.length >= 4 && on_screen && clear && at.screen_height - edge <= 24,
          `${what}: the ${buttons.length} buttons (${buttons.map((b) => b.key).join(', ')}) are on the ` +
          `screen, off the picture, along the bottom edge (${(at.screen_height - edge).toFixed(0)} pixels ` +
          `from it)`);
    check(scale === largest && Math.abs(canvas.left - (at.screen_width - canvas.right)) <= 1,
          `${what}: the picture is ${width} x ${canvas.bottom - canvas.top} (${scale}x, the largest ` +
          `above the buttons: ${largest}x), centred across the ${at.screen_width} x ${at.screen_height} screen`);
}

async function touch_full_screen(page) {
    console.log('full screen on a phone (390 x 844, touch):');
    await page.goto(base + 'sorvel.html');
    if ((await title_matching(page, /^Sorvel- \d+FPS Prop- 2$/, 'sorvel runs on the phone')) === null)
        return;
    const button = page.getByRole('button', { name: 'Full screen' });
    if ((await button.count()) !== 1) {
        check(false, 'the caption has a Full screen button on the phone');
        return;
    }
    await button.tap();
    try {
        await page.waitForFunction(() => document.fullscreenElement !== null, null, { timeout: 5000 });
    } catch (error) {
        check(false, 'the Full screen button makes the page full screen on the phone');
        return;
    }
    check_full_screen_keys(await full_screen_boxes(page), 'in full screen upright');

    await page.getByRole('button', { name: /^Left\b/ }).tap();
    await title_matching(page, /^Sorvel- \d+FPS Prop- 3$/, 'in full screen the Left button raises the decay');
    const before = green_over_red(await canvas_pixels(page));
    await page.tap('.sorvel-window canvas');
    await page.waitForTimeout(150);
    const after = green_over_red(await canvas_pixels(page));
    check(before < 0.02 && after > 0.5,
          `in full screen a tap on the picture is Space: green above red in ${(100 * before).toFixed(1)}% ` +
          `of lit pixels, then ${(100 * after).toFixed(1)}%`);

    await page.setViewportSize({ width: 844, height: 390 });
    check_full_screen_keys(await full_screen_boxes(page), 'turned to 844 x 390 in full screen');
    await page.setViewportSize({ width: 390, height: 844 });

    // The Escape button does what the keyboard's Escape does there: it leaves full screen, and the
    // program runs on.
    await page.getByRole('button', { name: /^Escape\b/ }).tap();
    try {
        await page.waitForFunction(() => document.fullscreenElement === null, null, { timeout: 5000 });
        check(true, 'the Escape button leaves full screen');
    } catch (error) {
        check(false, 'the Escape button leaves full screen');
    }
    await page.waitForTimeout(1200);
    check(!/has ended/.test(await page.textContent('#status')) && /FPS Prop- 3$/.test(await page.title()),
          `the program runs on: "${await page.title()}"`);
    const back = await full_screen_boxes(page);
    check(back.buttons.every((b) => b.shown && b.top >= back.canvas.bottom) &&
          back.canvas.right - back.canvas.left === 320,
          'out of full screen the buttons are back under the 1x picture');
    await page.getByRole('button', { name: /^Escape\b/ }).tap();
    await wait_for_end(page, 'then the Escape button ends the program');
}

// Runs `body` on a page of a fresh browser with `options` (viewport, touch); page errors are
// collected in `errors`, and an error thrown by a step is a failed check.
async function with_page(options, errors, body) {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'sorvel-chromium-'));
    current_profile = profile;
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
               '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-quic'],
        ...options,
    });
    try {
        const page = context.pages()[0] || (await context.newPage());
        page.setDefaultTimeout(20000);
        page.on('pageerror', (error) => errors.push(error.message));
        page.on('console', (message) => {
            if (message.type() === 'error')
                errors.push(message.text());
        });
        await body(page);
    } catch (error) {
        // A step that could not be taken is a failed check; the other groups still run.
        check(false, `${error.message.split('\n')[0]}`);
    } finally {
        await context.close();
        fs.rmSync(profile, { recursive: true, force: true });
    }
}

async function main() {
    const started = Date.now();
    const errors = [];
    await with_page({ viewport: { width: 1000, height: 700 } }, errors, async (page) => {

        console.log('index.html:');
        await page.goto(base + 'index.html');
        for (const [link, file] of [['Run Sorvel2', 'sorvel2.html'], ['Run Sorvel', 'sorvel.html']])
            check((await page.getAttribute(`a:text-is("${link}")`, 'href')) === file,
                  `"${link}" leads to ${file}`);
        check((await page.locator('table.keys kbd').count()) >= 5, 'the keys are explained');
        const fastest = await page.locator('a:text-is("as fast as it can")').evaluateAll(
            (links) => links.map((link) => link.getAttribute('href')));
        check(fastest.join(' ') === 'sorvel2.html?fps=max sorvel.html?fps=max',
              `each program is offered at ?fps=max too (${fastest.join(', ')})`);

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
        await desktop_page(page);
        await picture_first(page);
    });
    await with_page({ viewport: { width: 390, height: 844 }, hasTouch: true, isMobile: true },
                    errors, phone_page);
    const phone = { viewport: { width: 390, height: 844 }, hasTouch: true, isMobile: true };
    await with_page(phone, errors, phone_keys_under);
    await with_page(phone, errors, touch_full_screen);
    await with_page({ viewport: { width: 1000, height: 700 } }, errors, pace_page);
    await with_page({ viewport: { width: 1000, height: 700 } }, errors, cost_page);
    check(errors.length === 0, `no errors on the pages${errors.length ? ': ' + errors.join('; ') : ''}`);
    if (table_seen.length > 0)
        console.log(`the canvas by viewport (sorvel2.html):\n  ${table_seen.join('\n  ')}`);
    for (const [program, counts] of Object.entries(fps_seen))
        console.log(`frames per second shown by ${program} in headless Chromium: ${counts.join(', ')}`);
    if (pace_seen.rate)
        console.log(`the page's animation frames: ${pace_seen.rate.toFixed(1)} a second; sorvel2's ` +
                    `titles at the default pace ${pace_seen.display.join(', ')}, at ?fps=max ` +
                    `${(pace_seen.max || []).join(', ')}`);
    for (const line of cost_seen)
        console.log(`CPU time per second of wall time, ${line}`);
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
