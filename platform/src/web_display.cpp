// The web display: each window of the table is a window drawn on the page (a caption and a
// canvas, inside the element Module.windowHost or else the page's body), and the page's key
// events become the messages Windows would deliver. The program's blocking loop runs under
// ASYNCIFY: polling the queue gives the browser its turn (see display_pump_events), so the page
// stays responsive, keys arrive and the canvas is painted. Without a page (under Node.js) no
// window can be opened; everything else works.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>

#include "platform_internal.h"
#include "web_display.h"

// The browser's turn comes at most this often: often enough that it paints every display frame
// and handles input at once, seldom enough that the hand-over costs little of the frame rate.
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

// An input event from the page: the virtual key in bits 0..7, these flags, the window's slot in
// bits 16 and up.
constexpr int input_key_down = 0x100;
constexpr int input_repeat = 0x200;
constexpr int input_alt = 0x400;
constexpr int input_ctrl = 0x800;
constexpr int input_extended = 0x1000;
constexpr int input_close = 0x2000; // the close button on the window's caption

// clang-format off

// The page's side, in Module.sorvelPage: the windows by slot, and the input events waiting for the
// program to poll its queue, each packed in a number as the constants below say.
EM_JS(int, web_page_window_open, (int slot, int width, int height), {
    if (typeof document === "undefined")
        return 0;
    var page = Module.sorvelPage;
    if (!page) {
        page = Module.sorvelPage = { windows: [], input: [], active: -1 };
        // Key codes by position, as on a US layout, like Windows' virtual keys.
        var codes = { Escape: 27, Space: 32, ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39,
            ArrowDown: 40, Enter: 13, NumpadEnter: 13, Tab: 9, Backspace: 8, ShiftLeft: 16,
            ShiftRight: 16, ControlLeft: 17, ControlRight: 17, AltLeft: 18, AltRight: 18,
            MetaLeft: 91, MetaRight: 92, ContextMenu: 93, Pause: 19, CapsLock: 20, PageUp: 33,
            PageDown: 34, End: 35, Home: 36, PrintScreen: 44, Insert: 45, Delete: 46,
            NumpadMultiply: 106, NumpadAdd: 107, NumpadSubtract: 109, NumpadDecimal: 110,
            NumpadDivide: 111, NumLock: 144, ScrollLock: 145, Semicolon: 186, Equal: 187,
            Comma: 188, Minus: 189, Period: 190, Slash: 191, Backquote: 192, BracketLeft: 219,
            Backslash: 220, BracketRight: 221, Quote: 222 };
        for (var i = 0; i < 26; i++)
            codes["Key" + String.fromCharCode(65 + i)] = 65 + i;
        for (var i = 0; i < 10; i++) {
            codes["Digit" + i] = 48 + i;
            codes["Numpad" + i] = 96 + i;
        }
        for (var i = 1; i <= 12; i++)
            codes["F" + i] = 111 + i;
        var extended = { ArrowLeft: 1, ArrowUp: 1, ArrowRight: 1, ArrowDown: 1, Insert: 1,
            Delete: 1, Home: 1, End: 1, PageUp: 1, PageDown: 1, ControlRight: 1, AltRight: 1,
            NumpadEnter: 1, NumpadDivide: 1 };
        // Keys whose default action would scroll the page.
        var kept = { Space: 1, ArrowLeft: 1, ArrowUp: 1, ArrowRight: 1, ArrowDown: 1, PageUp: 1,
            PageDown: 1, Home: 1, End: 1 };
        var editors = { INPUT: 1, TEXTAREA: 1, SELECT: 1 };
        // Keys go to the window shown last, while the program runs; not while typing in a form.
        var take = function(event) {
            var vk = codes[event.code];
            if (vk === undefined || page.active < 0 || (event.target && editors[event.target.tagName]))
                return;
            if (kept[event.code] && !event.ctrlKey && !event.metaKey)
                event.preventDefault();
            page.input.push(vk | (event.type === "keydown" ? 0x100 : 0) |
                (event.repeat ? 0x200 : 0) | (event.altKey ? 0x400 : 0) |
                (event.ctrlKey ? 0x800 : 0) | (extended[event.code] ? 0x1000 : 0) |
                (page.active << 16));
        };
        window.addEventListener("keydown", take);
        window.addEventListener("keyup", take);
    }
    var frame = document.createElement("div");
    frame.className = "sorvel-window";
    frame.hidden = true;
    var caption = document.createElement("div");
    caption.className = "sorvel-caption";
    var title = document.createElement("span");
    title.className = "sorvel-title";
    var close = document.createElement("button");
    close.className = "sorvel-close";
    close.type = "button";
    close.title = "Close";
    close.textContent = String.fromCharCode(215);
    close.addEventListener("click", function() { page.input.push(0x2000 | (slot << 16)); });
    caption.appendChild(title);
    caption.appendChild(close);
    var canvas = document.createElement("canvas");
    canvas.width = width;
    canvas.height = height;
    frame.appendChild(caption);
    frame.appendChild(canvas);
    (Module.windowHost || document.body).appendChild(frame);
    page.windows[slot] = { frame: frame, title: title, canvas: canvas,
        context: canvas.getContext("2d", { alpha: false }), image: null, pixels: 0 };
    return 1;
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
    if (visible)
        page.active = slot;
    else if (page.active === slot)
        page.active = -1;
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

// The next input event, packed as web_page_window_open's listener packs it; -1 when none waits.
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

bool display_open(int slot, int width, int height, bool, int, int) {
    PageWindow& window = page_windows[slot];
    window = PageWindow{};
    window.pixels = static_cast<uint8_t*>(calloc(static_cast<size_t>(width) * height, 4));
    if (window.pixels == nullptr) {
        fprintf(stderr, "platform: CreateWindowExA: no memory for the window's pixels\n");
        return false;
    }
    if (web_page_window_open(slot, width, height) == 0) {
        fprintf(stderr, "platform: CreateWindowExA: there is no page to show a window on\n");
        free(window.pixels);
        window.pixels = nullptr;
        return false;
    }
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

void web_program_ended(int exit_code) {
    web_paint_windows();
    web_page_ended(exit_code);
}

void display_pump_events() {
    if (!in_browser())
        return;
    double now = emscripten_get_now();
    if (now - last_yield >= yield_interval_ms) {
        web_paint_windows();
        web_page_yield();
        last_yield = emscripten_get_now();
    }
    // Leave room for a close request of every window, as SDL's pump does.
    for (int event; queue_room() > max_windows && (event = web_page_next_input()) >= 0;) {
        HWND window = window_in_slot(event >> 16);
        if ((event & input_close) != 0) {
            if (window != nullptr)
                queue_post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            continue;
        }
        post_key(window, event & 0xFF, (event & input_key_down) != 0, (event & input_repeat) != 0,
                 (event & input_alt) != 0, (event & input_ctrl) != 0,
                 (event & input_extended) != 0);
    }
}
