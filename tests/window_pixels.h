// Reading back what the SDL backend shows in a window: the window surface's colour at a point, for
// the platform tests that compare it with what the program drew.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <cstring>

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
