// How a window of the SDL2 display shows its picture: at a whole scale N, each pixel an N x N
// block. At N = 1, BitBlt writes straight into the window's framebuffer, as it always has.
// Scaled, or in full screen, BitBlt writes into a picture of the client size, made once, and
// SDL's scaled blit (nearest pixel) shows it in the window's framebuffer; in full screen at the
// largest whole scale that fits, centred on black. Whatever the scale, the program sees its
// client size.
#include <SDL.h>

#include <cstdio>

#include "platform_internal.h"
#include "sdl_display.h"
#include "sdl_internal.h"

static_assert(SDL_BYTEORDER == SDL_LIL_ENDIAN, "32-bit pixels are written as little-endian words");

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
void sdl_set_fullscreen(int slot, bool on) {
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
    sdl_set_fullscreen(slot, !sdl_windows[slot].fullscreen);
}

void sdl_pointer_moved(int slot, int x, int y) {
    follow_pointer(sdl_windows[slot], x, y);
}

void sdl_framebuffer_changed(int slot) {
    if (!direct(sdl_windows[slot]))
        show_again(sdl_windows[slot]);
}
