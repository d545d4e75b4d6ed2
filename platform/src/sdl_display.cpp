// The SDL2 display: each window of the table is an SDL window drawn through SDL's window
// framebuffer (SDL's input becomes messages in sdl_events.cpp). SDL's video starts on the first
// call that needs it (a window, or the screen size), so tools without windows need no display, and
// stops when the program's WinMain has returned.
//
// A window shows its picture at a whole scale N: each pixel an N x N block. At N = 1, BitBlt
// writes straight into the window's framebuffer, as it always has. Scaled, or in full screen,
// BitBlt writes into a picture of the client size, made once, and SDL's scaled blit (nearest
// pixel) shows it in the window's framebuffer; in full screen at the largest whole scale that
// fits, centred on black. Whatever the scale, the program sees its client size.
#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "pace.h"
#include "platform_internal.h"
#include "sdl_display.h"
#include "sdl_internal.h"

static_assert(SDL_BYTEORDER == SDL_LIL_ENDIAN, "32-bit pixels are written as little-endian words");

// The system side of one window of the table.
struct SdlWindow {
    SDL_Window* sdl;
    uint32_t id;
    int width; // the client size the program sees
    int height;
    int scale; // outside full screen
    bool fullscreen;
    bool pointer_hidden;
    SDL_Surface* picture; // the client-size picture, while scaled or in full screen; else null
    // The framebuffer the picture was last laid out on, and where in it the picture lands.
    const SDL_Surface* laid_out_on;
    int laid_out_width;
    int laid_out_height;
    SDL_Rect shown;
    SDL_Rect windowed; // position and size before full screen
};

static SdlWindow sdl_windows[max_windows];
static DisplayOptions display_options;
static int usable_override_width;
static int usable_override_height;
static double refresh_override;

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

void display_set_options(const DisplayOptions& options) {
    display_options = options;
}

void platform_set_usable_display_size(int width, int height) {
    usable_override_width = width;
    usable_override_height = height;
}

SDL_Window* platform_sdl_window(HWND window) {
    int slot = window_slot(window);
    return slot < 0 ? nullptr : sdl_windows[slot].sdl;
}

bool sdl_video_started() {
    return video_is_started;
}

HWND sdl_window_of(uint32_t sdl_window_id) {
    for (int slot = 0; slot < max_windows; slot++)
        if (sdl_windows[slot].sdl != nullptr && sdl_windows[slot].id == sdl_window_id)
            return window_in_slot(slot);
    return nullptr;
}

// The usable size (without panels and docks) of the display holding point (x, y).
static SDL_Rect usable_size(int x, int y) {
    if (usable_override_width > 0 && usable_override_height > 0)
        return SDL_Rect{0, 0, usable_override_width, usable_override_height};
    SDL_Point point = {x, y};
    int display = SDL_GetPointDisplayIndex(&point);
    SDL_Rect usable = {0, 0, 0, 0};
    if (SDL_GetDisplayUsableBounds(display < 0 ? 0 : display, &usable) != 0)
        SDL_GetDisplayBounds(0, &usable);
    return usable;
}

// The scale a window of `width` x `height` opens at, from the options and the display.
static int opening_scale(int width, int height, int x, int y) {
    SDL_Rect usable = usable_size(x, y);
    int fits = largest_fitting_scale(usable.w, usable.h, width, height);
    if (display_options.scale == 0) {
        // A client far wider than tall must still fit across.
        int scale = default_display_scale(usable.h, height);
        return scale < fits ? scale : fits;
    }
    if (display_options.scale <= fits)
        return display_options.scale;
    char detail[96];
    snprintf(detail, sizeof(detail), "%d asked, %d used on a display of %d x %d",
             display_options.scale, fits, usable.w, usable.h);
    say_once(notice_scale_reduced, detail);
    return fits;
}

static void set_fullscreen(int slot, bool on);

bool display_open(int slot, int width, int height, bool placed, int left, int top) {
    if (!video_start())
        return false;
    int x = placed ? left : static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
    int y = placed ? top : static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
    int scale = opening_scale(width, height, placed ? left : 0, placed ? top : 0);
    SDL_Window* sdl = SDL_CreateWindow("", x, y, width * scale, height * scale, SDL_WINDOW_HIDDEN);
    if (sdl == nullptr) {
        fprintf(stderr, "platform: CreateWindowExA: %s\n", SDL_GetError());
        return false;
    }
    SdlWindow& window = sdl_windows[slot];
    window = SdlWindow{};
    window.sdl = sdl;
    window.id = SDL_GetWindowID(sdl);
    window.width = width;
    window.height = height;
    window.scale = scale;
    if (display_options.fullscreen)
        set_fullscreen(slot, true);
    return true;
}

void display_close(int slot) {
    SdlWindow& window = sdl_windows[slot];
    if (window.pointer_hidden)
        SDL_ShowCursor(SDL_ENABLE);
    if (window.picture != nullptr)
        SDL_FreeSurface(window.picture);
    SDL_DestroyWindow(window.sdl);
    window = SdlWindow{};
}

void display_show(int slot, bool visible) {
    if (visible)
        SDL_ShowWindow(sdl_windows[slot].sdl);
    else
        SDL_HideWindow(sdl_windows[slot].sdl);
}

void display_minimize(int slot, bool minimized) {
    if (minimized)
        SDL_MinimizeWindow(sdl_windows[slot].sdl);
    else
        SDL_RestoreWindow(sdl_windows[slot].sdl);
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
    SDL_SetWindowTitle(sdl_windows[slot].sdl, utf8);
}

int display_screen_size(bool width) {
    SDL_DisplayMode mode;
    if (!video_start() || SDL_GetDesktopDisplayMode(0, &mode) != 0)
        return 0;
    return width ? mode.w : mode.h;
}

void platform_set_refresh_rate(double hz) {
    refresh_override = hz;
}

double display_refresh_rate(int slot) {
    const SdlWindow& window = sdl_windows[slot];
    if (window.sdl == nullptr)
        return 0;
    if (refresh_override != 0)
        return refresh_override < 0 ? 0 : refresh_override;
    // The mode of the display the window is on now, so a window moved to another display takes
    // that display's rate.
    SDL_DisplayMode mode;
    int display = SDL_GetWindowDisplayIndex(window.sdl);
    if (display < 0 || SDL_GetCurrentDisplayMode(display, &mode) != 0)
        return 0;
    return mode.refresh_rate;
}

// How long the pace's wait sleeps at most before it looks at the input again: a quarter of a
// 60 Hz frame.
constexpr uint64_t wait_slice_us = 4000;

static void sleep_us(uint64_t microseconds) {
    timespec wait;
    wait.tv_sec = static_cast<time_t>(microseconds / 1000000u);
    wait.tv_nsec = static_cast<long>(microseconds % 1000000u) * 1000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

void display_wait_until(uint64_t until_us) {
    // One slice at most: the pace looks at the queue and its keys again after each, so a close,
    // Escape or a step answers within a slice. SDL's own SDL_WaitEventTimeout would wake on input
    // at once, but on X11 it leaves a wake-up message to a window that the program may have
    // destroyed meanwhile, and Xlib then ends the program with a BadWindow error.
    uint64_t now = display_clock_us();
    if (until_us > now)
        sleep_us(until_us - now < wait_slice_us ? until_us - now : wait_slice_us);
    display_pump_events();
}

static uint32_t map_sdl_rgb(const Framebuffer& framebuffer, int r, int g, int b) {
    return SDL_MapRGB(static_cast<const SDL_PixelFormat*>(framebuffer.native),
                      static_cast<Uint8>(r), static_cast<Uint8>(g), static_cast<Uint8>(b));
}

static void describe(SDL_Surface* surface, Framebuffer* framebuffer) {
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
}

// True while BitBlt writes straight into the window's framebuffer.
static bool direct(const SdlWindow& window) {
    return window.scale == 1 && !window.fullscreen;
}

// Makes sure the window has its client-size picture in the framebuffer's format; copies what
// the framebuffer shows now into a new one, so that the last frame is not lost when a window
// drawn directly begins to be scaled. False if there is no framebuffer or no memory.
static bool keep_picture(SdlWindow& window) {
    SDL_Surface* surface = SDL_GetWindowSurface(window.sdl);
    if (surface == nullptr)
        return false;
    if (window.picture != nullptr && window.picture->format->format == surface->format->format)
        return true;
    SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormat(
        0, window.width, window.height, surface->format->BitsPerPixel, surface->format->format);
    if (picture == nullptr)
        return false;
    // Copied as it is: no blending, whatever the format's alpha says.
    SDL_SetSurfaceBlendMode(picture, SDL_BLENDMODE_NONE);
    SDL_SetSurfaceBlendMode(surface, SDL_BLENDMODE_NONE);
    if (window.picture != nullptr) {
        SDL_BlitSurface(window.picture, nullptr, picture, nullptr);
        SDL_FreeSurface(window.picture);
    } else if (surface->w >= window.width && surface->h >= window.height) {
        SDL_Rect drawn = {0, 0, window.width, window.height};
        SDL_BlitSurface(surface, &drawn, picture, nullptr);
    }
    window.picture = picture;
    window.laid_out_on = nullptr;
    return true;
}

// Shows the picture in the window's framebuffer at the scale of the moment: the window's own,
// or in full screen (or a framebuffer of another size, while the window manager resizes) the
// largest whole scale that fits, centred; on black when the framebuffer changed. Allocates
// nothing unless SDL has made the window a new framebuffer.
static void present(SdlWindow& window) {
    SDL_Surface* surface = SDL_GetWindowSurface(window.sdl);
    if (surface == nullptr || window.picture == nullptr)
        return;
    bool renewed = surface != window.laid_out_on || surface->w != window.laid_out_width ||
                   surface->h != window.laid_out_height;
    if (renewed) {
        int fits = largest_fitting_scale(surface->w, surface->h, window.width, window.height);
        int scale = window.fullscreen || fits < window.scale ? fits : window.scale;
        window.shown = SDL_Rect{(surface->w - window.width * scale) / 2,
                                (surface->h - window.height * scale) / 2, window.width * scale,
                                window.height * scale};
        window.laid_out_on = surface;
        window.laid_out_width = surface->w;
        window.laid_out_height = surface->h;
        SDL_SetSurfaceBlendMode(surface, SDL_BLENDMODE_NONE);
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    }
    SDL_Rect shown = window.shown;
    if (shown.w == window.width)
        SDL_BlitSurface(window.picture, nullptr, surface, &shown);
    else
        SDL_BlitScaled(window.picture, nullptr, surface, &shown);
    if (renewed)
        SDL_UpdateWindowSurface(window.sdl);
    else
        SDL_UpdateWindowSurfaceRects(window.sdl, &window.shown, 1);
}

bool display_framebuffer_begin(int slot, Framebuffer* framebuffer) {
    SdlWindow& window = sdl_windows[slot];
    if (!direct(window)) {
        if (!keep_picture(window))
            return false;
        describe(window.picture, framebuffer);
        return true;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window.sdl);
    if (surface == nullptr || (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0))
        return false;
    describe(surface, framebuffer);
    return true;
}

void display_framebuffer_end(int slot, const Framebuffer&, int x, int y, int width, int height) {
    SdlWindow& window = sdl_windows[slot];
    if (!direct(window)) {
        if (width > 0 && height > 0)
            present(window);
        return;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window.sdl);
    if (surface != nullptr && SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    if (width > 0 && height > 0) {
        SDL_Rect shown = {x, y, width, height};
        SDL_UpdateWindowSurfaceRects(window.sdl, &shown, 1);
    }
}

// After the window's scale or full screen changed: the picture drawn last, shown at once (a
// window drawn directly gets it back unscaled at its top-left corner).
static void show_again(SdlWindow& window) {
    if (window.picture == nullptr)
        return;
    if (!direct(window)) {
        window.laid_out_on = nullptr;
        present(window);
        return;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window.sdl);
    if (surface == nullptr)
        return;
    SDL_SetSurfaceBlendMode(surface, SDL_BLENDMODE_NONE);
    SDL_BlitSurface(window.picture, nullptr, surface, nullptr);
    SDL_UpdateWindowSurface(window.sdl);
}

bool platform_set_window_scale(HWND handle, int scale) {
    int slot = window_slot(handle);
    if (slot < 0 || scale < 1 || scale > max_display_scale)
        return false;
    SdlWindow& window = sdl_windows[slot];
    if (direct(window) && !keep_picture(window))
        return false;
    window.scale = scale;
    if (!window.fullscreen)
        SDL_SetWindowSize(window.sdl, window.width * scale, window.height * scale);
    show_again(window);
    return true;
}

int platform_window_scale(HWND handle) {
    int slot = window_slot(handle);
    if (slot < 0)
        return 0;
    const SdlWindow& window = sdl_windows[slot];
    if (!window.fullscreen)
        return window.scale;
    return window.laid_out_on != nullptr ? window.shown.w / window.width : 0;
}

bool platform_window_fullscreen(HWND handle) {
    int slot = window_slot(handle);
    return slot >= 0 && sdl_windows[slot].fullscreen;
}

// Hides the pointer while it is over the picture in full screen, and only then.
static void follow_pointer(SdlWindow& window, int x, int y) {
    const SDL_Rect& shown = window.shown;
    bool over = window.fullscreen && x >= shown.x && y >= shown.y && x < shown.x + shown.w &&
                y < shown.y + shown.h;
    if (over != window.pointer_hidden) {
        SDL_ShowCursor(over ? SDL_DISABLE : SDL_ENABLE);
        window.pointer_hidden = over;
    }
}

// Full screen on the desktop's own mode (no mode switch), or back to the window's earlier size
// and position.
static void set_fullscreen(int slot, bool on) {
    SdlWindow& window = sdl_windows[slot];
    if (on == window.fullscreen || (on && !keep_picture(window)))
        return;
    if (on) {
        SDL_GetWindowPosition(window.sdl, &window.windowed.x, &window.windowed.y);
        SDL_GetWindowSize(window.sdl, &window.windowed.w, &window.windowed.h);
        if (SDL_SetWindowFullscreen(window.sdl, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
            fprintf(stderr, "platform: full screen: %s\n", SDL_GetError());
            return;
        }
        window.fullscreen = true;
        show_again(window);
        int x = 0;
        int y = 0;
        if (SDL_GetMouseFocus() == window.sdl) {
            SDL_GetMouseState(&x, &y);
            follow_pointer(window, x, y);
        }
        return;
    }
    SDL_SetWindowFullscreen(window.sdl, 0);
    window.fullscreen = false;
    follow_pointer(window, -1, -1);
    SDL_SetWindowSize(window.sdl, window.windowed.w, window.windowed.h);
    SDL_SetWindowPosition(window.sdl, window.windowed.x, window.windowed.y);
    show_again(window);
}

void sdl_toggle_fullscreen(int slot) {
    set_fullscreen(slot, !sdl_windows[slot].fullscreen);
}

void sdl_pointer_moved(int slot, int x, int y) {
    follow_pointer(sdl_windows[slot], x, y);
}

void sdl_framebuffer_changed(int slot) {
    if (!direct(sdl_windows[slot]))
        show_again(sdl_windows[slot]);
}
