// The web display: each window of the table is a window drawn on the page (a caption with a full
// screen and a close button, and a canvas scaled to fit, inside the element Module.windowHost or
// else the page's body), and the page's key events become the messages Windows would deliver. The
// program's blocking loop runs under ASYNCIFY: the pace's wait after each frame (web_pace.cpp) or,
// with frames back to back, polling the queue gives the browser its turn (see
// display_pump_events), so the page stays responsive, keys arrive and the canvas is painted.
// Without a page (under Node.js) no window can be opened; everything else works.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>

#include "pace.h"
#include "platform_internal.h"
#include "web_display.h"

// With frames back to back, the browser's turn comes at most this often: often enough that it
// paints every display frame and handles input at once, seldom enough that the hand-over costs
// little of the frame rate. A paced frame gives the browser its turn in the wait that follows it.
constexpr double yield_interval_ms = 8.0;

struct PageWindow {
    bool open;
    bool dirty; // drawn into since it was last put on the canvas
    int width;
    int height;
    uint8_t* pixels; // RGBA, rows top-down: the canvas's own ImageData layout
};

static PageWindow page_windows[max_windows];
static double last_yield;

// An input event from the page is one number: the key's row of page_keys in bits 0..7, these
// flags, and the window's slot from bit input_slot_shift up.
constexpr int input_row_mask = 0xFF;
constexpr int input_key_down = 0x100;
constexpr int input_repeat = 0x200;
constexpr int input_alt = 0x400;
constexpr int input_ctrl = 0x800;
constexpr int input_close = 0x2000; // the close button on the window's caption
constexpr int input_slot_shift = 16;

// clang-format off

// The page's side, in Module.sorvelPage: the windows by slot, the keys by code, and the input
// events waiting for the program to poll its queue, each packed with the flags given here; an
// event that arrives while the pace sleeps wakes it (page.wake).
// Module.sendKey(code, down) lets the page's own controls (buttons for touch screens) press and
// release a key on the path the keyboard takes; it says whether a window took it. Each window's
// canvas is kept at the largest whole multiple of the program's picture that fits the room the
// page leaves it (the screen, in full screen), and shrinks below 1x only to fit a narrow page.
// Returns 0 without a page.
EM_JS(int, web_page_setup, (int down_flag, int repeat_flag, int alt_flag, int ctrl_flag,
                            int close_flag, int slot_shift), {
    if (typeof document === "undefined")
        return 0;
    var page = Module.sorvelPage = { windows: [], input: [], active: -1, keys: {},
        close_flag: close_flag, slot_shift: slot_shift, wake: null };
    page.post = function(event) {
        page.input.push(event);
        if (page.wake)
            page.wake();
    };
    page.send = function(code, down, repeat, alt, ctrl) {
        var key = page.keys[code];
        if (key === undefined || page.active < 0)
            return false;
        page.post(key.row | (down ? down_flag : 0) | (repeat ? repeat_flag : 0) |
            (alt ? alt_flag : 0) | (ctrl ? ctrl_flag : 0) | (page.active << slot_shift));
        return true;
    };
    var editors = { INPUT: 1, TEXTAREA: 1, SELECT: 1 };
    // Keys go to the window shown last, while the program runs; not while typing in a form. In
    // full screen Escape is the browser's, to leave it: only a second Escape reaches the program.
    var take = function(event) {
        var key = page.keys[event.code];
        if (key === undefined || page.active < 0 || (event.target && editors[event.target.tagName]))
            return;
        if (event.code === "Escape" && document.fullscreenElement)
            return;
        if (key.scrolls && !event.ctrlKey && !event.metaKey)
            event.preventDefault();
        page.send(event.code, event.type === "keydown", event.repeat, event.altKey, event.ctrlKey);
    };
    window.addEventListener("keydown", take);
    window.addEventListener("keyup", take);
    Module.sendKey = function(code, down) {
        return page.send(code, down, false, false, false);
    };

    // The room for a window: in full screen, the screen, or the part of it the window's host has
    // beside the page's controls that went full screen with it; else the page body's width and
    // the viewport's height below the top of the stage's container (the page's heading stays
    // above), less the body's bottom padding and what the stage holds under the window (buttons
    // for touch screens). The window's own caption and borders come off both.
    page.fit = function() {
        var root = document.documentElement;
        var body = document.body;
        page.windows.forEach(function(shown) {
            if (!shown || shown.frame.hidden)
                return;
            var frame = shown.frame;
            var canvas = shown.canvas;
            var host = frame.parentNode;
            var stage = Module.windowStage || host;
            var full = document.fullscreenElement;
            var room_width;
            var room_height;
            if (full === frame) {
                room_width = frame.clientWidth;
                room_height = frame.clientHeight;
            } else if (full && full.contains(frame)) {
                room_width = host.clientWidth - (frame.offsetWidth - frame.clientWidth);
                room_height = host.clientHeight - (frame.offsetHeight - canvas.offsetHeight);
            } else {
                var style = getComputedStyle(body);
                var container = stage.parentNode;
                var top = container.getBoundingClientRect().top + window.scrollY +
                    container.clientTop + parseFloat(getComputedStyle(container).paddingTop);
                room_width = body.clientWidth - parseFloat(style.paddingLeft) -
                    parseFloat(style.paddingRight) - (frame.offsetWidth - frame.clientWidth);
                room_height = root.clientHeight - top - parseFloat(style.paddingBottom) -
                    (stage.offsetHeight - host.offsetHeight) -
                    (frame.offsetHeight - canvas.offsetHeight);
            }
            var scale = Math.max(1, Math.floor(Math.min(room_width / canvas.width,
                room_height / canvas.height)));
            var width = canvas.width * scale;
            var height = canvas.height * scale;
            if (room_width < width) {
                width = Math.max(1, Math.floor(room_width));
                height = Math.max(1, Math.round(width * canvas.height / canvas.width));
            }
            if (canvas.style.width !== width + "px" || canvas.style.height !== height + "px") {
                canvas.style.width = width + "px";
                canvas.style.height = height + "px";
            }
        });
    };
    window.addEventListener("resize", page.fit);
    document.addEventListener("fullscreenchange", page.fit);
    // The rest of the page changes height too (a status line that wraps, fonts arriving).
    if (typeof ResizeObserver !== "undefined")
        new ResizeObserver(page.fit).observe(document.body);
    return 1;
});

// Tells the page about key `row` of page_keys.
EM_JS(void, web_page_key, (const char* code, int row, int scrolls), {
    var name = "";
    for (var at = code; HEAPU8[at] !== 0; at++)
        name += String.fromCharCode(HEAPU8[at]);
    Module.sorvelPage.keys[name] = { row: row, scrolls: scrolls !== 0 };
});

EM_JS(void, web_page_window_open, (int slot, int width, int height), {
    var page = Module.sorvelPage;
    var frame = document.createElement("div");
    frame.className = "sorvel-window";
    frame.hidden = true;
    var caption = document.createElement("div");
    caption.className = "sorvel-caption";
    var title = document.createElement("span");
    title.className = "sorvel-title";
    caption.appendChild(title);
    // Full screen shows the picture on black, alone or in the page's Module.windowStage (the
    // window's host with the page's controls for it); the browser's Escape leaves it.
    if (document.fullscreenEnabled) {
        var full = document.createElement("button");
        full.className = "sorvel-fullscreen";
        full.type = "button";
        full.title = "Full screen";
        full.setAttribute("aria-label", "Full screen");
        full.addEventListener("click", function() {
            (Module.windowStage || frame).requestFullscreen().catch(function() {});
        });
        caption.appendChild(full);
    }
    var close = document.createElement("button");
    close.className = "sorvel-close";
    close.type = "button";
    close.title = "Close";
    close.setAttribute("aria-label", "Close");
    close.textContent = String.fromCharCode(215);
    close.addEventListener("click", function() {
        page.post(page.close_flag | (slot << page.slot_shift));
    });
    caption.appendChild(close);
    var canvas = document.createElement("canvas");
    canvas.width = width;
    canvas.height = height;
    frame.appendChild(caption);
    frame.appendChild(canvas);
    (Module.windowHost || document.body).appendChild(frame);
    page.windows[slot] = { frame: frame, title: title, canvas: canvas,
        context: canvas.getContext("2d", { alpha: false }), image: null, pixels: 0 };
});

EM_JS(void, web_page_window_close, (int slot), {
    var page = Module.sorvelPage;
    var shown = page.windows[slot];
    shown.frame.remove();
    page.windows[slot] = null;
    if (page.active === slot)
        page.active = -1;
});

EM_JS(void, web_page_window_show, (int slot, int visible), {
    var page = Module.sorvelPage;
    page.windows[slot].frame.hidden = !visible;
    if (visible) {
        page.active = slot;
        page.fit();
    } else if (page.active === slot) {
        page.active = -1;
    }
});

// Window texts are bytes of the Latin-1 range: each byte is its own character.
EM_JS(void, web_page_window_title, (int slot, const char* text), {
    var title = "";
    for (var at = text; HEAPU8[at] !== 0; at++)
        title += String.fromCharCode(HEAPU8[at]);
    Module.sorvelPage.windows[slot].title.textContent = title;
    document.title = title; // the page stands for the program, as its task-bar button would
});

EM_JS(int, web_page_screen_size, (int width), {
    if (typeof screen === "undefined")
        return 0;
    return width ? screen.width : screen.height;
});

// Puts the window's RGBA pixels on its canvas. The ImageData looks straight at the program's
// memory; it is made again only when that memory has grown (and so moved).
EM_JS(void, web_page_window_paint, (int slot, uint8_t* pixels, int width, int height), {
    var shown = Module.sorvelPage.windows[slot];
    if (!shown.image || shown.image.data.buffer !== HEAPU8.buffer || shown.pixels !== pixels) {
        shown.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, pixels,
            width * height * 4), width, height);
        shown.pixels = pixels;
    }
    shown.context.putImageData(shown.image, 0, 0);
});

// The next input event, packed as web_page_setup says; -1 when none waits.
EM_JS(int, web_page_next_input, (), {
    var page = Module.sorvelPage;
    if (!page || page.input.length === 0)
        return -1;
    return page.input.shift();
});

// Hands the thread to the browser for one turn of its event loop. A message through a channel
// comes back as soon as the browser has had its turn (painting included, when one is due),
// without the 4 ms that nested timers are held back.
EM_ASYNC_JS(void, web_page_yield, (), {
    await new Promise(function(resume) {
        var channel = new MessageChannel();
        channel.port1.onmessage = function() { resume(); };
        channel.port2.postMessage(0);
    });
});

EM_JS(void, web_page_ended, (int exit_code), {
    var page = Module.sorvelPage;
    if (page) {
        page.active = -1;
        if (document.fullscreenElement)
            document.exitFullscreen().catch(function() {});
        page.windows.forEach(function(shown) {
            if (shown)
                shown.frame.classList.add("sorvel-ended");
        });
    }
    if (typeof document !== "undefined")
        document.title += " (ended)";
    if (Module.onProgramEnd)
        Module.onProgramEnd(exit_code);
});

EM_JS(int, web_page_present, (), {
    return typeof document !== "undefined" ? 1 : 0;
});

// clang-format on

static bool in_browser() {
    static const bool page = web_page_present() != 0;
    return page;
}

// Readies the page's side once: false when there is no page.
static bool page_ready() {
    static bool ready = false;
    if (ready || web_page_setup(input_key_down, input_repeat, input_alt, input_ctrl, input_close,
                                input_slot_shift) == 0)
        return ready;
    for (int row = 0; row < page_key_count; row++)
        web_page_key(page_keys[row].code, row, page_keys[row].scrolls ? 1 : 0);
    ready = true;
    return true;
}

bool display_open(int slot, int width, int height, bool, int, int) {
    PageWindow& window = page_windows[slot];
    window = PageWindow{};
    window.pixels = static_cast<uint8_t*>(calloc(static_cast<size_t>(width) * height, 4));
    if (window.pixels == nullptr) {
        fprintf(stderr, "platform: CreateWindowExA: no memory for the window's pixels\n");
        return false;
    }
    if (!page_ready()) {
        fprintf(stderr, "platform: CreateWindowExA: there is no page to show a window on\n");
        free(window.pixels);
        window.pixels = nullptr;
        return false;
    }
    web_page_window_open(slot, width, height);
    // The canvas starts black, as the pixels do.
    for (size_t i = 3; i < static_cast<size_t>(width) * height * 4; i += 4)
        window.pixels[i] = 255;
    window.open = true;
    window.dirty = true;
    window.width = width;
    window.height = height;
    return true;
}

void display_close(int slot) {
    PageWindow& window = page_windows[slot];
    web_page_window_close(slot);
    free(window.pixels);
    window = PageWindow{};
}

void display_show(int slot, bool visible) {
    web_page_window_show(slot, visible ? 1 : 0);
}

void display_minimize(int, bool) {
    // The page has no task bar to minimize to: the window stays as it is, and IsIconic follows
    // the request as elsewhere.
}

void display_title(int slot, const char* title) {
    web_page_window_title(slot, title);
}

int display_screen_size(bool width) {
    return web_page_screen_size(width ? 1 : 0);
}

static uint32_t map_rgba(const Framebuffer&, int r, int g, int b) {
    // In memory: red, green, blue, and an opaque alpha.
    return static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 |
           static_cast<uint32_t>(b) << 16 | 0xFF000000u;
}

bool display_framebuffer_begin(int slot, Framebuffer* framebuffer) {
    const PageWindow& window = page_windows[slot];
    if (!window.open)
        return false;
    *framebuffer = Framebuffer{};
    framebuffer->pixels = window.pixels;
    framebuffer->pitch = window.width * 4;
    framebuffer->width = window.width;
    framebuffer->height = window.height;
    framebuffer->bytes_per_pixel = 4;
    framebuffer->bgrx = false;
    framebuffer->format_key[0] = 0x52474241; // "RGBA": the one format of every page window
    framebuffer->map_rgb = map_rgba;
    return true;
}

void display_framebuffer_end(int slot, const Framebuffer&, int, int, int width, int height) {
    // The canvas is painted when the browser next has its turn: nothing drawn before then could
    // be seen anyway, and frames drawn in between are not copied in vain.
    if (width > 0 && height > 0)
        page_windows[slot].dirty = true;
}

void web_paint_windows() {
    for (int slot = 0; slot < max_windows; slot++) {
        PageWindow& window = page_windows[slot];
        if (!window.open || !window.dirty)
            continue;
        web_page_window_paint(slot, window.pixels, window.width, window.height);
        window.dirty = false;
    }
}

void web_browser_turn_taken() {
    last_yield = emscripten_get_now();
}

void web_program_ended(int exit_code) {
    web_paint_windows();
    web_page_ended(exit_code);
}

void display_pump_events() {
    if (!in_browser())
        return;
    // The wait after the last frame shown comes first: the program polls its queue between
    // frames, and there the browser's turn can be taken (ASYNCIFY).
    pace_hold();
    double now = emscripten_get_now();
    if (now - last_yield >= yield_interval_ms) {
        web_paint_windows();
        web_page_yield();
        last_yield = emscripten_get_now();
    }
    // Leave room for a close request of every window, as SDL's pump does.
    for (int event; queue_room() > max_windows && (event = web_page_next_input()) >= 0;) {
        HWND window = window_in_slot(event >> input_slot_shift);
        if ((event & input_close) != 0) {
            if (window != nullptr)
                queue_post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            continue;
        }
        int row = event & input_row_mask;
        if (row >= page_key_count)
            continue;
        const PageKey& key = page_keys[row];
        bool down = (event & input_key_down) != 0;
        bool repeat = (event & input_repeat) != 0;
        if (web_take_pace_key(key.vk, down, repeat, (event & input_ctrl) != 0))
            continue;
        post_key(window, key.vk, down, repeat, (event & input_alt) != 0, (event & input_ctrl) != 0,
                 key.extended);
    }
}
