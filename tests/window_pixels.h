// Reading back what the SDL backend shows in a window: the window surface's colour at a point, or
// all of it, for the platform tests that compare it with what the program drew.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "sdl_display.h"

// The window surface's colour at (x, y), as 0xRRGGBB; the surface must exist.
inline uint32_t window_pixel(SDL_Surface* surface, int x, int y) {
    uint32_t value;
    memcpy(&value,
           static_cast<uint8_t*>(surface->pixels) + y * surface->pitch +
               x * surface->format->BytesPerPixel,
           4);
    Uint8 r, g, b;
    SDL_GetRGB(value, surface->format, &r, &g, &b);
    return static_cast<uint32_t>(r << 16 | g << 8 | b);
}

// The window framebuffer as 0xRRGGBB values, row by row.
struct Shown {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const {
        return pixels[static_cast<size_t>(y) * width + x];
    }
};

inline Shown read_shown(HWND window) {
    SDL_Surface* surface = SDL_GetWindowSurface(platform_sdl_window(window));
    Shown shown;
    if (surface == nullptr)
        return shown;
    shown.width = surface->w;
    shown.height = surface->h;
    for (int y = 0; y < surface->h; y++) {
        for (int x = 0; x < surface->w; x++)
            shown.pixels.push_back(window_pixel(surface, x, y));
    }
    return shown;
}
