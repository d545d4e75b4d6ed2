// The SDL2 display: each window of the table is an SDL window drawn through SDL's window
// framebuffer or a GPU renderer (SDL's input becomes messages in sdl_events.cpp, its pictures are
// shown at their scale in sdl_present.cpp and sdl_gpu_present.cpp). SDL's video starts on the first
// call that needs it (a window, or the screen size), so tools without windows need no display, and
// stops when the program's WinMain has returned. The window opens at the scale of the options or
// the display's size, and the pace's wait and refresh rate are the display's. With --root,
// --window-id or a screen saver's window, the program's window is shown in that X window instead
// (x11/x11_target.cpp): each call of the display below goes there for it, and SDL's video never
// starts.
#include <SDL.h>
#include <SDL_syswm.h>
#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "pace.h"
#include "platform_internal.h"
#include "sdl_display.h"
#include "sdl_internal.h"
#include "x11_target.h"

SdlWindow sdl_windows[max_windows];
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
    // A window's framebuffer is SDL's own X image, never a renderer's texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // In a Wayland session, Wayland itself (X11 where it cannot start), unless the user chose.
    if (const char* drivers =
            preferred_video_drivers(SDL_getenv("WAYLAND_DISPLAY"), SDL_getenv("SDL_VIDEODRIVER")))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers);
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
    // SDL's Wayland driver has no window framebuffer of its own: it draws SDL's through a
    // renderer, which the hint above forbids.
    if (driver != nullptr && strcmp(driver, "wayland") == 0)
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "1");
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
    // The display is looked up by hand: SDL_GetPointDisplayIndex needs SDL 2.24, newer than
    // Ubuntu 22.04's, and the package is to install there.
    SDL_Point point = {x, y};
    int display = 0;
    for (int index = SDL_GetNumVideoDisplays() - 1; index > 0; index--) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(index, &bounds) == 0 && SDL_PointInRect(&point, &bounds)) {
            display = index;
            break;
        }
    }
    SDL_Rect usable = {0, 0, 0, 0};
    if (SDL_GetDisplayUsableBounds(display, &usable) != 0)
        SDL_GetDisplayBounds(0, &usable);
    return usable;
}

// The scale a window of `width` x `height` opens at, from the options and the display, in the
// framebuffer's pixels, `pixels_per_point` to each of the display's points.
static int opening_scale(int width, int height, int x, int y, double pixels_per_point) {
    SDL_Rect usable = usable_size(x, y);
    usable.w = static_cast<int>(usable.w * pixels_per_point + 0.01);
    usable.h = static_cast<int>(usable.h * pixels_per_point + 0.01);
    int scale = opening_display_scale(display_options.scale, usable.w, usable.h, width, height);
    if (scale < display_options.scale) {
        char detail[96];
        snprintf(detail, sizeof(detail), "%d asked, %d used on a display of %d x %d",
                 display_options.scale, scale, usable.w, usable.h);
        say_once(notice_scale_reduced, detail);
    }
    return scale;
}

// The descriptor of SDL's connection to the X server, which the pace's wait sleeps on so that
// input wakes it at once; -1 where SDL draws otherwise (the dummy driver, Wayland).
static int sdl_input_descriptor = -1;

static void note_input_descriptor(SDL_Window* sdl) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (sdl_input_descriptor < 0 && SDL_GetWindowWMInfo(sdl, &info) &&
        info.subsystem == SDL_SYSWM_X11)
        sdl_input_descriptor = ConnectionNumber(info.info.x11.display);
}

// How many pixels of its window framebuffer SDL gives each of a window's points. SDL 2.28 and
// later size that framebuffer in the output's pixels (a window with SDL_WINDOW_ALLOW_HIGHDPI on
// a Wayland output of scale 2 has two to a point, of scale 1.5 one and a half), so the picture's
// whole scale can be chosen in them. SDL 2.26 sizes it in points and its renderer draws each
// point as an exact block of the output's pixels (the nearest pixel): 1, and the picture's scale
// is in points there.
static double framebuffer_pixels_per_point(SDL_Window* sdl) {
    SDL_version linked;
    SDL_GetVersion(&linked);
    if (SDL_VERSIONNUM(linked.major, linked.minor, linked.patch) < SDL_VERSIONNUM(2, 28, 0))
        return 1;
    int points_width = 0;
    int points_height = 0;
    int pixels_width = 0;
    int pixels_height = 0;
    SDL_GetWindowSize(sdl, &points_width, &points_height);
    SDL_GL_GetDrawableSize(sdl, &pixels_width, &pixels_height);
    return sdl_pixels_per_point(pixels_width, points_width);
}

bool display_open(int slot, int width, int height, bool placed, int left, int top) {
    if (display_options.target != target_own_window)
        return x11_target_open(slot, display_options.window_id, width, height,
                               display_options.scale);
    if (!video_start())
        return false;
    int x = placed ? left : static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
    int y = placed ? top : static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
    // On Wayland the scale is chosen once SDL says how many pixels the window has to a point.
    const char* driver = SDL_GetCurrentVideoDriver();
    bool wayland = driver != nullptr && strcmp(driver, "wayland") == 0;
    int scale = wayland ? 1 : opening_scale(width, height, placed ? left : 0, placed ? top : 0, 1);
    // High DPI: on a scaled Wayland output the window is drawn in the output's own pixels, not
    // stretched by the compositor (nothing changes on X11).
    SDL_Window* sdl = SDL_CreateWindow("", x, y, width * scale, height * scale,
                                       SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI);
    if (sdl == nullptr) {
        fprintf(stderr, "platform: CreateWindowExA: %s\n", SDL_GetError());
        return false;
    }
    note_input_descriptor(sdl);
    SdlWindow& window = sdl_windows[slot];
    window = SdlWindow{};
    window.sdl = sdl;
    window.width = width;
    window.height = height;
    window.pixels_per_point = framebuffer_pixels_per_point(sdl);
    if (wayland) {
        scale = opening_scale(width, height, placed ? left : 0, placed ? top : 0,
                              window.pixels_per_point);
        SDL_SetWindowSize(sdl, sdl_points(window, width * scale),
                          sdl_points(window, height * scale));
    }
    window.scale = scale;
    bool gpu = sdl_gpu_present_open(slot);
    if (!gpu && wayland) {
        // Wayland shows a window only once it has a picture, which SDL's renderer draws there: a
        // window that can have none (no EGL or GL driver) would never be seen.
        if (SDL_GetWindowSurface(sdl) == nullptr) {
            const char* why = SDL_GetError();
            fprintf(stderr,
                    "platform: CreateWindowExA: SDL can draw no picture in a Wayland window%s%s\n",
                    why[0] != 0 ? ": " : " (no renderer)", why);
            SDL_DestroyWindow(sdl);
            window = SdlWindow{};
            return false;
        }
    } else if (!gpu && (SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL) != 0) {
        // A renderer was tried and declined: the window that SDL made for OpenGL is made
        // afresh for the framebuffer, which then has it to itself.
        SDL_DestroyWindow(sdl);
        sdl = SDL_CreateWindow("", x, y, width * scale, height * scale, SDL_WINDOW_HIDDEN);
        window.sdl = sdl;
        if (sdl == nullptr) {
            fprintf(stderr, "platform: CreateWindowExA: %s\n", SDL_GetError());
            window = SdlWindow{};
            return false;
        }
    }
    window.id = SDL_GetWindowID(sdl);
    if (display_options.fullscreen)
        sdl_set_fullscreen(slot, true);
    return true;
}

void display_close(int slot) {
    if (x11_target_holds(slot)) {
        x11_target_close(slot);
        return;
    }
    SdlWindow& window = sdl_windows[slot];
    if (window.pointer_hidden)
        SDL_ShowCursor(SDL_ENABLE);
    shown_picture_free(&window.kept);
    sdl_gpu_present_close(slot);
    SDL_DestroyWindow(window.sdl);
    window = SdlWindow{};
}

// Another program's window is neither shown, hidden, minimized nor renamed by this one.
void display_show(int slot, bool visible) {
    if (x11_target_holds(slot))
        return;
    if (visible) {
        SDL_ShowWindow(sdl_windows[slot].sdl);
        sdl_gpu_measure_refresh_wait(slot);
    } else {
        SDL_HideWindow(sdl_windows[slot].sdl);
    }
}

void display_minimize(int slot, bool minimized) {
    if (x11_target_holds(slot))
        return;
    if (minimized)
        SDL_MinimizeWindow(sdl_windows[slot].sdl);
    else
        SDL_RestoreWindow(sdl_windows[slot].sdl);
}

// SDL wants UTF-8; window texts are bytes of the Latin-1 range.
void display_title(int slot, const char* title) {
    if (x11_target_holds(slot))
        return;
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
    if (display_options.target != target_own_window)
        return x11_target_screen_size(width);
    SDL_DisplayMode mode;
    if (!video_start() || SDL_GetDesktopDisplayMode(0, &mode) != 0)
        return 0;
    return width ? mode.w : mode.h;
}

void platform_set_refresh_rate(double hz) {
    refresh_override = hz;
}

double display_refresh_rate(int slot) {
    if (x11_target_holds(slot))
        return refresh_override != 0 ? (refresh_override < 0 ? 0 : refresh_override)
                                     : x11_target_refresh_rate();
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

// The picture of a window: SDL's window framebuffer (sdl_present.cpp), or the image of the X
// window it is shown in (x11_target.cpp).
bool display_framebuffer_begin(int slot, Framebuffer* framebuffer) {
    if (x11_target_holds(slot))
        return x11_target_framebuffer_begin(slot, framebuffer);
    return sdl_framebuffer_begin(slot, framebuffer);
}

void display_framebuffer_end(int slot, const Framebuffer&, int x, int y, int width, int height) {
    if (x11_target_holds(slot))
        x11_target_framebuffer_end(slot, x, y, width, height);
    else
        sdl_framebuffer_end(slot, x, y, width, height);
}

// How long the pace's wait sleeps at most before it looks at the input again, where it cannot
// sleep on the window system's connection: a quarter of a 60 Hz frame.
constexpr uint64_t wait_slice_us = 4000;

static void sleep_us(uint64_t microseconds) {
    timespec wait;
    wait.tv_sec = static_cast<time_t>(microseconds / 1000000u);
    wait.tv_nsec = static_cast<long>(microseconds % 1000000u) * 1000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

void display_wait_until(uint64_t until_us) {
    // On X11 the wait sleeps on the connection to the X server until the frame is due: a key, a
    // close or any other event wakes it at once, and so does a stop signal (the sleep ends with
    // EINTR), and the frames cost no wake-ups in between. The input was moved into the queue just
    // before, so nothing waits unread in Xlib's buffer meanwhile. Elsewhere it sleeps one slice at
    // most, and the pace looks at the queue and its keys again after each. SDL's own
    // SDL_WaitEventTimeout would wake on input too, but on X11 it leaves a wake-up message to a
    // window that the program may have destroyed meanwhile, and Xlib then ends the program with a
    // BadWindow error.
    sdl_gpu_present_pending();
    uint64_t now = display_clock_us();
    int descriptor = display_options.target != target_own_window ? x11_target_input_descriptor()
                                                                 : sdl_input_descriptor;
    if (until_us > now && descriptor >= 0) {
        pollfd connection = {descriptor, POLLIN, 0};
        timespec wait;
        wait.tv_sec = static_cast<time_t>((until_us - now) / 1000000u);
        wait.tv_nsec = static_cast<long>((until_us - now) % 1000000u) * 1000L;
        ppoll(&connection, 1, &wait, nullptr);
    } else if (until_us > now) {
        sleep_us(until_us - now < wait_slice_us ? until_us - now : wait_slice_us);
    }
    display_pump_events();
}
