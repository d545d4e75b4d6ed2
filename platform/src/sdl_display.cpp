// The SDL2 display: each window of the table is an SDL window drawn through SDL's window
// framebuffer, and SDL's keyboard and window events become the messages Windows would deliver.
// SDL's video starts on the first call that needs it (a window, or the screen size), so tools
// without windows need no display, and stops when the program's WinMain has returned.
#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "platform_internal.h"
#include "sdl_display.h"

static_assert(SDL_BYTEORDER == SDL_LIL_ENDIAN, "32-bit pixels are written as little-endian words");

static SDL_Window* sdl_windows[max_windows];
static uint32_t sdl_ids[max_windows];

static bool video_is_started;
static bool video_failed;

void display_stop() {
    if (video_is_started)
        SDL_Quit();
    video_is_started = false;
}

// Starts SDL's video (and events) on first use; false, said once, if it cannot start.
static bool video_start() {
    if (video_is_started)
        return true;
    if (video_failed)
        return false;
    // Windows are drawn through SDL's window framebuffer, not a renderer.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        video_failed = true;
        fprintf(stderr, "platform: SDL video could not start: %s\n", SDL_GetError());
        return false;
    }
    // Unasked, SDL falls back to drawing off screen when no window system answers; a program
    // would then run on with no window that anyone could see or close. Only a run that asks for
    // it (SDL_VIDEODRIVER=dummy or offscreen, as the tests do) gets a window without a screen.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    bool unseen =
        driver != nullptr && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0);
    if (unseen && (asked == nullptr || asked[0] == 0)) {
        const char* display = SDL_getenv("DISPLAY");
        fprintf(stderr,
                "platform: no window system answered (DISPLAY=%s); no window can be shown "
                "(SDL_VIDEODRIVER=dummy runs without one)\n",
                display != nullptr ? display : "");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        video_failed = true;
        return false;
    }
    // Stopped by main once WinMain has returned, never from an exit handler: when the X server
    // goes away, Xlib ends the process through exit(), and a handler that stopped SDL then would
    // talk to the server that is gone and never return.
    video_is_started = true;
    return true;
}

SDL_Window* platform_sdl_window(HWND window) {
    int slot = window_slot(window);
    return slot < 0 ? nullptr : sdl_windows[slot];
}

// The window of an SDL window id, or null.
static HWND window_of(uint32_t sdl_window_id) {
    for (int slot = 0; slot < max_windows; slot++)
        if (sdl_windows[slot] != nullptr && sdl_ids[slot] == sdl_window_id)
            return window_in_slot(slot);
    return nullptr;
}

bool display_open(int slot, int width, int height, bool placed, int left, int top) {
    if (!video_start())
        return false;
    int x = placed ? left : static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
    int y = placed ? top : static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
    SDL_Window* sdl = SDL_CreateWindow("", x, y, width, height, SDL_WINDOW_HIDDEN);
    if (sdl == nullptr) {
        fprintf(stderr, "platform: CreateWindowExA: %s\n", SDL_GetError());
        return false;
    }
    sdl_windows[slot] = sdl;
    sdl_ids[slot] = SDL_GetWindowID(sdl);
    return true;
}

void display_close(int slot) {
    SDL_DestroyWindow(sdl_windows[slot]);
    sdl_windows[slot] = nullptr;
    sdl_ids[slot] = 0;
}

void display_show(int slot, bool visible) {
    if (visible)
        SDL_ShowWindow(sdl_windows[slot]);
    else
        SDL_HideWindow(sdl_windows[slot]);
}

void display_minimize(int slot, bool minimized) {
    if (minimized)
        SDL_MinimizeWindow(sdl_windows[slot]);
    else
        SDL_RestoreWindow(sdl_windows[slot]);
}

// SDL wants UTF-8; window texts are bytes of the Latin-1 range.
void display_title(int slot, const char* title) {
    char utf8[256 * 2];
    size_t used = 0;
    for (; *title != 0 && used + 3 <= sizeof(utf8); title++) {
        unsigned char c = static_cast<unsigned char>(*title);
        if (c < 0x80) {
            utf8[used++] = static_cast<char>(c);
        } else {
            utf8[used++] = static_cast<char>(0xC0 | (c >> 6));
            utf8[used++] = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    utf8[used] = 0;
    SDL_SetWindowTitle(sdl_windows[slot], utf8);
}

int display_screen_size(bool width) {
    SDL_DisplayMode mode;
    if (!video_start() || SDL_GetDesktopDisplayMode(0, &mode) != 0)
        return 0;
    return width ? mode.w : mode.h;
}

static uint32_t map_sdl_rgb(const Framebuffer& framebuffer, int r, int g, int b) {
    return SDL_MapRGB(static_cast<const SDL_PixelFormat*>(framebuffer.native),
                      static_cast<Uint8>(r), static_cast<Uint8>(g), static_cast<Uint8>(b));
}

bool display_framebuffer_begin(int slot, Framebuffer* framebuffer) {
    SDL_Surface* surface = SDL_GetWindowSurface(sdl_windows[slot]);
    if (surface == nullptr || (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0))
        return false;
    const SDL_PixelFormat* format = surface->format;
    framebuffer->pixels = static_cast<uint8_t*>(surface->pixels);
    framebuffer->pitch = surface->pitch;
    framebuffer->width = surface->w;
    framebuffer->height = surface->h;
    framebuffer->bytes_per_pixel = format->BytesPerPixel;
    // XRGB words are the DIB's own BGRX bytes.
    framebuffer->bgrx = format->format == SDL_PIXELFORMAT_RGB888;
    framebuffer->format_key[0] = format->format;
    framebuffer->format_key[1] = format->palette != nullptr ? format->palette->version : 0;
    framebuffer->map_rgb = map_sdl_rgb;
    framebuffer->native = format;
    return true;
}

void display_framebuffer_end(int slot, const Framebuffer&, int x, int y, int width, int height) {
    SDL_Window* window = sdl_windows[slot];
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface != nullptr && SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    if (width > 0 && height > 0) {
        SDL_Rect shown = {x, y, width, height};
        SDL_UpdateWindowSurfaceRects(window, &shown, 1);
    }
}

// Each SDL scancode's Windows virtual-key code (by position, as VK codes are on a US layout) and
// whether Windows flags the key as extended (bit 24 of lParam: the keys outside the original
// keyboard). A row maps `count` consecutive scancodes to consecutive codes; scancodes of no row
// have no code and their keys are dropped.
struct KeyRow {
    SDL_Scancode first;
    int count;
    uint8_t vk;
    bool extended;
};

static const KeyRow key_rows[] = {
    {SDL_SCANCODE_A, 26, 'A', false},
    {SDL_SCANCODE_1, 9, '1', false},
    {SDL_SCANCODE_0, 1, '0', false},
    {SDL_SCANCODE_F1, 12, VK_F1, false},
    {SDL_SCANCODE_KP_1, 9, VK_NUMPAD0 + 1, false},
    {SDL_SCANCODE_KP_0, 1, VK_NUMPAD0, false},
    {SDL_SCANCODE_RETURN, 1, VK_RETURN, false},
    {SDL_SCANCODE_KP_ENTER, 1, VK_RETURN, true},
    {SDL_SCANCODE_ESCAPE, 1, VK_ESCAPE, false},
    {SDL_SCANCODE_BACKSPACE, 1, VK_BACK, false},
    {SDL_SCANCODE_TAB, 1, VK_TAB, false},
    {SDL_SCANCODE_SPACE, 1, VK_SPACE, false},
    {SDL_SCANCODE_LEFT, 1, VK_LEFT, true},
    {SDL_SCANCODE_UP, 1, VK_UP, true},
    {SDL_SCANCODE_RIGHT, 1, VK_RIGHT, true},
    {SDL_SCANCODE_DOWN, 1, VK_DOWN, true},
    {SDL_SCANCODE_LSHIFT, 1, VK_SHIFT, false},
    {SDL_SCANCODE_RSHIFT, 1, VK_SHIFT, false},
    {SDL_SCANCODE_LCTRL, 1, VK_CONTROL, false},
    {SDL_SCANCODE_RCTRL, 1, VK_CONTROL, true},
    {SDL_SCANCODE_LALT, 1, VK_MENU, false},
    {SDL_SCANCODE_RALT, 1, VK_MENU, true},
    {SDL_SCANCODE_LGUI, 1, VK_LWIN, false},
    {SDL_SCANCODE_RGUI, 1, VK_RWIN, false},
    {SDL_SCANCODE_APPLICATION, 1, VK_APPS, false},
    {SDL_SCANCODE_PAUSE, 1, VK_PAUSE, false},
    {SDL_SCANCODE_CAPSLOCK, 1, VK_CAPITAL, false},
    {SDL_SCANCODE_PAGEUP, 1, VK_PRIOR, true},
    {SDL_SCANCODE_PAGEDOWN, 1, VK_NEXT, true},
    {SDL_SCANCODE_END, 1, VK_END, true},
    {SDL_SCANCODE_HOME, 1, VK_HOME, true},
    {SDL_SCANCODE_PRINTSCREEN, 1, VK_SNAPSHOT, false},
    {SDL_SCANCODE_INSERT, 1, VK_INSERT, true},
    {SDL_SCANCODE_DELETE, 1, VK_DELETE, true},
    {SDL_SCANCODE_KP_MULTIPLY, 1, VK_MULTIPLY, false},
    {SDL_SCANCODE_KP_PLUS, 1, VK_ADD, false},
    {SDL_SCANCODE_KP_MINUS, 1, VK_SUBTRACT, false},
    {SDL_SCANCODE_KP_PERIOD, 1, VK_DECIMAL, false},
    {SDL_SCANCODE_KP_DIVIDE, 1, VK_DIVIDE, true},
    {SDL_SCANCODE_NUMLOCKCLEAR, 1, VK_NUMLOCK, false},
    {SDL_SCANCODE_SCROLLLOCK, 1, VK_SCROLL, false},
    {SDL_SCANCODE_SEMICOLON, 1, VK_OEM_1, false},
    {SDL_SCANCODE_EQUALS, 1, VK_OEM_PLUS, false},
    {SDL_SCANCODE_COMMA, 1, VK_OEM_COMMA, false},
    {SDL_SCANCODE_MINUS, 1, VK_OEM_MINUS, false},
    {SDL_SCANCODE_PERIOD, 1, VK_OEM_PERIOD, false},
    {SDL_SCANCODE_SLASH, 1, VK_OEM_2, false},
    {SDL_SCANCODE_GRAVE, 1, VK_OEM_3, false},
    {SDL_SCANCODE_LEFTBRACKET, 1, VK_OEM_4, false},
    {SDL_SCANCODE_BACKSLASH, 1, VK_OEM_5, false},
    {SDL_SCANCODE_RIGHTBRACKET, 1, VK_OEM_6, false},
    {SDL_SCANCODE_APOSTROPHE, 1, VK_OEM_7, false},
};

// The row of `code`, or null for a key without a code.
static const KeyRow* key_row(SDL_Scancode code) {
    for (const KeyRow& row : key_rows)
        if (code >= row.first && code < row.first + row.count)
            return &row;
    return nullptr;
}

static void take_key(const SDL_KeyboardEvent& key) {
    const KeyRow* row = key_row(key.keysym.scancode);
    if (row == nullptr)
        return;
    post_key(window_of(key.windowID), row->vk + (key.keysym.scancode - row->first),
             key.type == SDL_KEYDOWN, key.repeat != 0, (key.keysym.mod & KMOD_ALT) != 0,
             (key.keysym.mod & KMOD_CTRL) != 0, row->extended);
}

static void take_window_event(const SDL_WindowEvent& event) {
    HWND window = window_of(event.windowID);
    if (window == nullptr)
        return;
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
        // The close button, or Alt+F4 handled by the window manager.
        queue_post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        window_set_iconic(window, true);
        send_message(window, WM_SIZE, SIZE_MINIMIZED, 0);
        break;
    case SDL_WINDOWEVENT_RESTORED: {
        window_set_iconic(window, false);
        RECT client;
        GetClientRect(window, &client);
        send_message(window, WM_SIZE, SIZE_RESTORED,
                     static_cast<LPARAM>((client.bottom << 16) | (client.right & 0xFFFF)));
        break;
    }
    default:
        break;
    }
}

// Moves SDL's pending events into the queue, leaving room for one WM_CLOSE per window so that a
// quit request always fits.
void display_pump_events() {
    if (!video_is_started)
        return;
    SDL_Event event;
    while (queue_room() > max_windows && SDL_PollEvent(&event) != 0) {
        switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            take_key(event.key);
            break;
        case SDL_WINDOWEVENT:
            take_window_event(event.window);
            break;
        case SDL_QUIT:
            // A quit request (a signal, or the last window closed) closes every window the way
            // its close button would, so the program's loop ends as it normally does.
            for (int slot = 0; slot < max_windows; slot++)
                if (HWND window = window_in_slot(slot))
                    queue_post(window, WM_CLOSE, 0, 0);
            break;
        default:
            break;
        }
    }
}
