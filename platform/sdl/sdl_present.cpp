// How a window of the SDL2 display shows its picture: at a whole scale N, each pixel an N x N
// block. At N = 1, BitBlt writes straight into the window's framebuffer, as it always has.
// Scaled, or in full screen, BitBlt writes the program's 8-bit pixels straight into the
// framebuffer at the scale (pixel_copy.h), in full screen at the largest whole scale that fits,
// centred on black, and keeps them, one byte a pixel, to show again when the scale or the
// framebuffer changes (shown_picture.h). Only the picture's rectangle is sent to the display.
// Whatever the scale, the program sees its client size. A window that took the GPU present
// (sdl_gpu_present.cpp) has no framebuffer: its frames, scale and full screen go there.
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "platform_internal.h"
#include "sdl_display.h"
#include "sdl_internal.h"
#include "shown_picture.h"

static_assert(SDL_BYTEORDER == SDL_LIL_ENDIAN, "32-bit pixels are written as little-endian words");

static uint32_t map_sdl_rgb(const Framebuffer& framebuffer, int r, int g, int b) {
    return SDL_MapRGB(static_cast<const SDL_PixelFormat*>(framebuffer.native),
                      static_cast<Uint8>(r), static_cast<Uint8>(g), static_cast<Uint8>(b));
}

static void describe(SDL_Surface* surface, Framebuffer* framebuffer) {
    const SDL_PixelFormat* format = surface->format;
    *framebuffer = Framebuffer{};
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
    return window.renderer == nullptr && window.scale == 1 && !window.fullscreen &&
           window.pixels_per_point == 1;
}

// The framebuffer as BitBlt writes it at the window's scale: where the picture lands, what it
// keeps. When the framebuffer is new (or another size) the picture is laid out afresh: the
// window's own scale, or in full screen (or a framebuffer too small for it, while the window
// manager resizes) the largest whole scale that fits, centred, with black around it and the kept
// picture in it, all of it to be sent to the display.
static void lay_out(SdlWindow& window, SDL_Surface* surface, Framebuffer* framebuffer) {
    describe(surface, framebuffer);
    if (surface != window.laid_out_on || surface->w != window.laid_out_width ||
        surface->h != window.laid_out_height) {
        int fits = largest_fitting_scale(surface->w, surface->h, window.width, window.height);
        int scale = window.fullscreen || fits < window.scale ? fits : window.scale;
        window.shown = SDL_Rect{(surface->w - window.width * scale) / 2,
                                (surface->h - window.height * scale) / 2, window.width * scale,
                                window.height * scale};
        window.laid_out_on = surface;
        window.laid_out_width = surface->w;
        window.laid_out_height = surface->h;
        PixelRows all = {framebuffer->pixels, framebuffer->pitch, surface->w, surface->h,
                         framebuffer->bytes_per_pixel};
        uint32_t black = SDL_MapRGB(surface->format, 0, 0, 0);
        if (all.bytes_per_pixel == 4 && window.kept.width != 0)
            fill_around(all, window.shown.x, window.shown.y, window.shown.w, window.shown.h, black);
        else
            SDL_FillRect(surface, nullptr, black);
        window.send_all = true;
        framebuffer->scale = scale;
        framebuffer->origin_x = window.shown.x;
        framebuffer->origin_y = window.shown.y;
        shown_picture_draw(window.kept, *framebuffer);
    }
    framebuffer->scale = window.shown.w / window.width;
    framebuffer->origin_x = window.shown.x;
    framebuffer->origin_y = window.shown.y;
    framebuffer->client_width = window.width;
    framebuffer->client_height = window.height;
    framebuffer->kept = &window.kept;
}

// Sends what changed to the display: all of a framebuffer laid out afresh, else the rectangle
// of the client that was written, at the scale.
static void send(SdlWindow& window, int x, int y, int width, int height) {
    if (window.send_all) {
        window.send_all = false;
        SDL_UpdateWindowSurface(window.sdl);
        return;
    }
    if (width <= 0 || height <= 0)
        return;
    int scale = window.shown.w / window.width;
    SDL_Rect written = {window.shown.x + x * scale, window.shown.y + y * scale, width * scale,
                        height * scale};
    SDL_Rect all = {0, 0, window.laid_out_width, window.laid_out_height};
    SDL_Rect sent;
    if (SDL_IntersectRect(&written, &all, &sent))
        SDL_UpdateWindowSurfaceRects(window.sdl, &sent, 1);
}

// Where SDL sizes the framebuffer in the output's pixels (SDL 2.28 and later on Wayland), a
// window shown on an output of another scale, or told the output's scale only once shown, gets
// a framebuffer with another number of pixels to a point: the picture keeps its size on the
// screen, at the scale in the new pixels.
static void follow_pixels_per_point(SdlWindow& window, const SDL_Surface* surface) {
    int points = 0;
    SDL_GetWindowSize(window.sdl, &points, nullptr);
    double pixels_per_point = sdl_pixels_per_point(surface->w, points);
    if (std::fabs(pixels_per_point - window.pixels_per_point) < 0.01)
        return;
    int scale = static_cast<int>(window.scale * pixels_per_point / window.pixels_per_point + 0.01);
    window.scale = scale < 1 ? 1 : scale > max_display_scale ? max_display_scale : scale;
    window.pixels_per_point = pixels_per_point;
    window.laid_out_on = nullptr;
}

bool sdl_framebuffer_begin(int slot, Framebuffer* framebuffer) {
    SdlWindow& window = sdl_windows[slot];
    if (window.renderer != nullptr)
        return sdl_gpu_framebuffer_begin(slot, framebuffer);
    SDL_Surface* surface = SDL_GetWindowSurface(window.sdl);
    if (surface == nullptr || (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0))
        return false;
    follow_pixels_per_point(window, surface);
    if (direct(window))
        describe(surface, framebuffer);
    else
        lay_out(window, surface, framebuffer);
    return true;
}

void sdl_framebuffer_end(int slot, int x, int y, int width, int height) {
    SdlWindow& window = sdl_windows[slot];
    if (window.renderer != nullptr) {
        sdl_gpu_framebuffer_end(slot, x, y, width, height);
        return;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window.sdl);
    if (surface != nullptr && SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    if (!direct(window)) {
        send(window, x, y, width, height);
        return;
    }
    if (width > 0 && height > 0) {
        SDL_Rect shown = {x, y, width, height};
        SDL_UpdateWindowSurfaceRects(window.sdl, &shown, 1);
    }
}

// Keeps what a window drawn directly shows, as colours, before it begins to be scaled: the
// framebuffer holds its last frame only until it is renewed.
static void keep_direct_frame(SdlWindow& window) {
    SDL_Surface* surface = SDL_GetWindowSurface(window.sdl);
    if (surface == nullptr || surface->w < window.width || surface->h < window.height ||
        (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0))
        return;
    int bytes = surface->format->BytesPerPixel;
    for (int y = 0; y < window.height; y++) {
        uint32_t* kept = shown_picture_colour_row(&window.kept, window.width, window.height, y);
        if (kept == nullptr)
            break;
        const uint8_t* row = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch;
        for (int x = 0; x < window.width; x++) {
            uint32_t value = 0;
            memcpy(&value, row + x * bytes, static_cast<size_t>(bytes));
            Uint8 r, g, b;
            SDL_GetRGB(value, surface->format, &r, &g, &b);
            kept[x] = static_cast<uint32_t>(r << 16 | g << 8 | b);
        }
    }
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
}

// After the window's scale or full screen changed, or its framebuffer was renewed: the picture
// kept, shown again at once (a window drawn directly gets it back unscaled at its top-left
// corner; a GPU window draws its texture again).
static void show_again(SdlWindow& window) {
    if (window.renderer != nullptr) {
        sdl_gpu_show_again(static_cast<int>(&window - sdl_windows));
        return;
    }
    if (window.kept.width == 0)
        return;
    SDL_Surface* surface = SDL_GetWindowSurface(window.sdl);
    if (surface == nullptr || (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0))
        return;
    Framebuffer framebuffer;
    if (direct(window)) {
        describe(surface, &framebuffer);
        shown_picture_draw(window.kept, framebuffer);
    } else {
        window.laid_out_on = nullptr;
        lay_out(window, surface, &framebuffer);
        window.send_all = false;
    }
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(window.sdl);
}

bool platform_set_window_scale(HWND handle, int scale) {
    int slot = window_slot(handle);
    if (slot < 0 || scale < 1 || scale > max_display_scale)
        return false;
    SdlWindow& window = sdl_windows[slot];
    if (direct(window) && scale != 1)
        keep_direct_frame(window);
    window.scale = scale;
    if (!window.fullscreen)
        SDL_SetWindowSize(window.sdl, sdl_points(window, window.width * scale),
                          sdl_points(window, window.height * scale));
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
    return window.laid_out_on != nullptr || window.renderer != nullptr
               ? window.shown.w / window.width
               : 0;
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

// Whether a window manager (X11) or compositor (Wayland) keeps the size and place that a window
// had before full screen and gives them back. A move of ours would race it there: SDL learns the
// frame's borders again only once the manager has drawn them, and a move sent before that lands
// the window a title bar lower.
static bool manager_restores_windows() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && (strcmp(driver, "x11") == 0 || strcmp(driver, "wayland") == 0);
}

// Full screen on the desktop's own mode (no mode switch), or back to the window at its scale.
void sdl_set_fullscreen(int slot, bool on) {
    SdlWindow& window = sdl_windows[slot];
    if (on == window.fullscreen)
        return;
    if (on && direct(window))
        keep_direct_frame(window);
    if (on) {
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
            follow_pointer(window, static_cast<int>(x * window.pixels_per_point),
                           static_cast<int>(y * window.pixels_per_point));
        }
        return;
    }
    SDL_SetWindowFullscreen(window.sdl, 0);
    window.fullscreen = false;
    follow_pointer(window, -1, -1);
    if (!manager_restores_windows())
        SDL_SetWindowSize(window.sdl, sdl_points(window, window.width * window.scale),
                          sdl_points(window, window.height * window.scale));
    show_again(window);
}

void sdl_toggle_fullscreen(int slot) {
    sdl_set_fullscreen(slot, !sdl_windows[slot].fullscreen);
}

void sdl_pointer_moved(int slot, int x, int y) {
    SdlWindow& window = sdl_windows[slot];
    follow_pointer(window, static_cast<int>(x * window.pixels_per_point),
                   static_cast<int>(y * window.pixels_per_point));
}

void sdl_framebuffer_changed(int slot) {
    if (!direct(sdl_windows[slot]))
        show_again(sdl_windows[slot]);
}
