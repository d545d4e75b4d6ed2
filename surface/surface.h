// The surface library: a memory device context paired with a DIB section, so that the effects
// write pixels straight into memory and hand a whole picture to GDI in one BitBlt. The caller
// owns each Surface record; GDI (or the platform layer) owns the pixel memory behind it.
// Rows are stored bottom-up: pixel (x, y) of an 8-bit surface is byte (height - 1 - y) * stride +
// x.
#pragma once

#include <cstdint>

#include <windows.h>

struct Surface {
    HDC dc;                  // memory device context with `bitmap` selected
    HBITMAP bitmap;          // the DIB section
    uint8_t* bits;           // its pixel memory, stride * height bytes; null if creation failed
    HGDIOBJ previous_bitmap; // selected back into dc on release
    int32_t bits_per_pixel;
    int32_t width;
    int32_t height; // positive: the first row in memory is the bottom row of the picture
    int32_t stride; // bytes per row: the row's bits rounded up to whole 32-bit words
};

// Bytes per row for a row of width pixels at bits_per_pixel, rounded up to 32-bit words.
int32_t surface_stride(int32_t bits_per_pixel, int32_t width);

// Creates a bottom-up DIB section selected into a new memory DC and fills its pixels with 0.
// colors (2^bits_per_pixel RGBQUAD entries) is read only at 8 bits per pixel or less and may be
// null otherwise. If the bitmap cannot be created, bits stays null and nothing is cleared.
void surface_create(Surface* surface, int32_t bits_per_pixel, int32_t width, int32_t height,
                    const RGBQUAD* colors);

// Selects the previous bitmap back, deletes the bitmap, then the DC. The fields are not cleared.
void surface_destroy(Surface* surface);

// Fills the whole pixel memory with the low byte of value.
void surface_clear(Surface* surface, uint32_t value);
