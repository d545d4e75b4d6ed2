// The SDL2 display: each window of the table is an SDL window drawn through SDL's window
// framebuffer, and SDL's keyboard and window events become the messages Windows would deliver.
// SDL's video starts on the first call that needs it (a window, or the screen size), so tools
// without windows need no display, and stops at exit.
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

static void video_stop() {
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
    video_is_started = true;
    atexit(video_stop);
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

// Windows virtual-key code of an SDL scancode (positions, as VK codes are on a US layout); 0 for
// keys without one.
static int virtual_key(SDL_Scancode code) {
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z)
        return 'A' + (code - SDL_SCANCODE_A);
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_9)
        return '1' + (code - SDL_SCANCODE_1);
    if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F12)
        return VK_F1 + (code - SDL_SCANCODE_F1);
    if (code >= SDL_SCANCODE_KP_1 && code <= SDL_SCANCODE_KP_9)
        return VK_NUMPAD0 + 1 + (code - SDL_SCANCODE_KP_1);
    switch (code) {
    case SDL_SCANCODE_0:
        return '0';
    case SDL_SCANCODE_KP_0:
        return VK_NUMPAD0;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
        return VK_RETURN;
    case SDL_SCANCODE_ESCAPE:
        return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE:
        return VK_BACK;
    case SDL_SCANCODE_TAB:
        return VK_TAB;
    case SDL_SCANCODE_SPACE:
        return VK_SPACE;
    case SDL_SCANCODE_LEFT:
        return VK_LEFT;
    case SDL_SCANCODE_UP:
        return VK_UP;
    case SDL_SCANCODE_RIGHT:
        return VK_RIGHT;
    case SDL_SCANCODE_DOWN:
        return VK_DOWN;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT:
        return VK_SHIFT;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL:
        return VK_CONTROL;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT:
        return VK_MENU;
    case SDL_SCANCODE_LGUI:
        return VK_LWIN;
    case SDL_SCANCODE_RGUI:
        return VK_RWIN;
    case SDL_SCANCODE_APPLICATION:
        return VK_APPS;
    case SDL_SCANCODE_PAUSE:
        return VK_PAUSE;
    case SDL_SCANCODE_CAPSLOCK:
        return VK_CAPITAL;
    case SDL_SCANCODE_PAGEUP:
        return VK_PRIOR;
    case SDL_SCANCODE_PAGEDOWN:
        return VK_NEXT;
    case SDL_SCANCODE_END:
        return VK_END;
    case SDL_SCANCODE_HOME:
        return VK_HOME;
    case SDL_SCANCODE_PRINTSCREEN:
        return VK_SNAPSHOT;
    case SDL_SCANCODE_INSERT:
        return VK_INSERT;
    case SDL_SCANCODE_DELETE:
        return VK_DELETE;
    case SDL_SCANCODE_KP_MULTIPLY:
        return VK_MULTIPLY;
    case SDL_SCANCODE_KP_PLUS:
        return VK_ADD;
    case SDL_SCANCODE_KP_MINUS:
        return VK_SUBTRACT;
    case SDL_SCANCODE_KP_PERIOD:
        return VK_DECIMAL;
    case SDL_SCANCODE_KP_DIVIDE:
        return VK_DIVIDE;
    case SDL_SCANCODE_NUMLOCKCLEAR:
        return VK_NUMLOCK;
    case SDL_SCANCODE_SCROLLLOCK:
        return VK_SCROLL;
    case SDL_SCANCODE_SEMICOLON:
        return VK_OEM_1;
    case SDL_SCANCODE_EQUALS:
        return VK_OEM_PLUS;
    case SDL_SCANCODE_COMMA:
        return VK_OEM_COMMA;
    case SDL_SCANCODE_MINUS:
        return VK_OEM_MINUS;
    case SDL_SCANCODE_PERIOD:
        return VK_OEM_PERIOD;
    case SDL_SCANCODE_SLASH:
        return VK_OEM_2;
    case SDL_SCANCODE_GRAVE:
        return VK_OEM_3;
    case SDL_SCANCODE_LEFTBRACKET:
        return VK_OEM_4;
    case SDL_SCANCODE_BACKSLASH:
        return VK_OEM_5;
    case SDL_SCANCODE_RIGHTBRACKET:
        return VK_OEM_6;
    case SDL_SCANCODE_APOSTROPHE:
        return VK_OEM_7;
    default:
        return 0;
    }
}

// Keys that Windows flags as extended (bit 24 of lParam): the ones outside the original keyboard.
static bool extended_key(SDL_Scancode code) {
    switch (code) {
    case SDL_SCANCODE_LEFT:
    case SDL_SCANCODE_UP:
    case SDL_SCANCODE_RIGHT:
    case SDL_SCANCODE_DOWN:
    case SDL_SCANCODE_INSERT:
    case SDL_SCANCODE_DELETE:
    case SDL_SCANCODE_HOME:
    case SDL_SCANCODE_END:
    case SDL_SCANCODE_PAGEUP:
    case SDL_SCANCODE_PAGEDOWN:
    case SDL_SCANCODE_RCTRL:
    case SDL_SCANCODE_RALT:
    case SDL_SCANCODE_KP_ENTER:
    case SDL_SCANCODE_KP_DIVIDE:
        return true;
    default:
        return false;
    }
}

static void take_key(const SDL_KeyboardEvent& key) {
    SDL_Scancode code = key.keysym.scancode;
    post_key(window_of(key.windowID), virtual_key(code), key.type == SDL_KEYDOWN, key.repeat != 0,
             (key.keysym.mod & KMOD_ALT) != 0, (key.keysym.mod & KMOD_CTRL) != 0,
             extended_key(code));
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
