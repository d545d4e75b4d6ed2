// The pace on the web page: the waits the frame pace (pace.h) asks of the page, and its keys. By
// default a frame shown waits for the browser's next animation frame (requestAnimationFrame), so
// the browser paints every frame once, and that wait is the browser's turn; a set pace (?fps=N)
// and the pause sleep on a timer instead, woken early by the page's input. The refresh rate is
// measured from the animation frames themselves. The pace's keys are taken in web_keys.cpp.
#include <emscripten.h>

#include "pace.h"
#include "platform_internal.h"
#include "web_display.h"

// clang-format off

// Waits for the page's next animation frame and notes its time. The rate is the median of the
// last intervals between animation frames that followed each other (a program that keeps up asks
// for the next one within the frame), in whole frames a second: a frame that came late, or a
// pause, does not count.
EM_ASYNC_JS(void, web_page_next_refresh, (), {
    var page = Module.sorvelPage;
    var time = await new Promise(function(resume) { requestAnimationFrame(resume); });
    var gap = time - (page.last_refresh || 0);
    page.last_refresh = time;
    if (!(gap > 0 && gap < 100))
        return;
    var gaps = page.refresh_gaps || (page.refresh_gaps = []);
    gaps.push(gap);
    if (gaps.length > 15)
        gaps.shift();
    if (gaps.length < 5)
        return;
    var sorted = gaps.slice().sort(function(a, b) { return a - b; });
    page.refresh_hz = Math.round(1000 / sorted[sorted.length >> 1]);
});

EM_JS(double, web_page_refresh_rate, (), {
    var page = Module.sorvelPage;
    return page && page.refresh_hz ? page.refresh_hz : 0;
});

// Sleeps `ms` milliseconds, or less when input arrives for the program (page.wake). The timer
// is set from a message's task, not from the timer that ended the last wait, so that the
// browser's clamp of nested timers to 4 ms does not hold back a fast pace. The browser's timers
// still take a little over their time: ?fps=1000 gives about 600 frames a second.
EM_ASYNC_JS(void, web_page_sleep, (double ms), {
    var page = Module.sorvelPage;
    await new Promise(function(resume) {
        var timer = 0;
        var wake = function() {
            clearTimeout(timer);
            page.wake = null;
            resume();
        };
        page.wake = wake;
        var channel = new MessageChannel();
        channel.port1.onmessage = function() {
            if (page.wake === wake)
                timer = setTimeout(wake, Math.ceil(ms)); // whole milliseconds: never early
        };
        channel.port2.postMessage(0);
    });
});

EM_JS(int, web_page_shown, (), {
    return typeof document !== "undefined" ? 1 : 0;
});

// clang-format on

static bool page_shown() {
    static const bool page = web_page_shown() != 0;
    return page;
}

// The wait of the display's pace: the frames drawn so far go on their canvases, and the browser
// paints them at the animation frame that this waits for.
void display_wait_refresh(int) {
    web_paint_windows();
    web_page_next_refresh();
    web_browser_turn_taken();
    display_pump_events();
}

void web_pace_start() {
    if (!page_shown())
        return;
    pace_use_refresh_wait(true);
    pace_hold_at_poll(true);
}

double display_refresh_rate(int) {
    return page_shown() ? web_page_refresh_rate() : 0;
}

void display_wait_until(uint64_t until_us) {
    uint64_t now = display_clock_us();
    if (!page_shown()) {
        if (until_us > now)
            emscripten_sleep(static_cast<unsigned>((until_us - now + 999) / 1000));
        display_pump_events();
        return;
    }
    // What the program drew before the wait is seen during it (a frame let through by the
    // single step, each frame of ?fps=N).
    web_paint_windows();
    if (until_us > now)
        web_page_sleep(static_cast<double>(until_us - now) / 1000.0);
    web_browser_turn_taken();
    display_pump_events();
}
