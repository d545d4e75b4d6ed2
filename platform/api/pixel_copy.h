// The copies behind every frame a window shows: 8-bit colour indices to 32-bit pixels through a
// table of 256 values, at 1x or at a whole scale N (each index an N x N block of its pixel), into
// any rows of 32-bit pixels: a window's framebuffer, a DIB section, an X image. Nothing here knows
// a backend, allocates, or keeps state beyond the choice of path and a row of scratch.
//
// Each copy has a path per vector level: the baseline (SSE2 on x86, WebAssembly SIMD in the web
// build, plain C++ elsewhere), AVX2, and AVX-512 with VBMI's byte permutes (64-bit x86 builds
// other than Windows). All paths write the same pixels. Which one runs is measured: the first
// time a copy runs, each path the processor can run does the same work a few times and the
// fastest is kept for the rest of the run (copy_level_in_use). SORVEL_CPU=sse2|avx2|avx512 (read
// once) or copy_force_level runs every copy at that level instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include <windows.h>

// Where red, green and blue sit in a 32-bit pixel, and what fills its other 8 bits.
struct PixelFormat32 {
    int red_shift;
    int green_shift;
    int blue_shift;
    uint32_t filler; // e.g. 0xFF000000, an opaque alpha
};
// A 32-bit DIB's own layout, and the usual X11 TrueColor one: 0x00RRGGBB.
constexpr PixelFormat32 pixel_format_xrgb = {16, 8, 0, 0};

// The 256 pixel values of the indices 0..255, and the same values as four planes of bytes, which
// the AVX-512 path looks up 64 indices at a time.
struct PixelTable {
    alignas(64) uint8_t planes[4][256]; // planes[b][i]: byte b (0 lowest) of values[i]
    uint32_t values[256];
};

// Fills the planes from values: call it after changing any value.
void pixel_table_prepare(PixelTable* table);
// The values of `count` (0..256) colours in `format`, the rest black, prepared.
void pixel_table_build(PixelTable* table, const RGBQUAD* colours, int count,
                       const PixelFormat32& format);

// A rectangle of 8-bit indices: `width` x `height`, the top row at `top`, each row below it
// `stride` bytes further on (negative for a bottom-up DIB).
struct IndexRows {
    const uint8_t* top;
    ptrdiff_t stride;
    int width;
    int height;
};

// Rows of pixels of `bytes_per_pixel` bytes (1 to 4): `width` x `height` from `top`, each next
// row `pitch` bytes on (negative for a bottom-up DIB).
struct PixelRows {
    uint8_t* top;
    ptrdiff_t pitch;
    int width;
    int height;
    int bytes_per_pixel;
};

// The largest scale a copy takes; full screen on a 7680 x 4320 display is 18x.
constexpr int max_copy_scale = 64;

// Writes `source` through `table` into `destination` (4 bytes per pixel) at `scale` (1 to
// max_copy_scale): index (i, j) becomes the scale x scale block whose top-left pixel is
// (x + scale * i, y + scale * j). Only the part inside the destination is written, and nothing
// else; the destination may lie partly or wholly outside it.
void copy_indices_scaled(const IndexRows& source, const PixelTable& table,
                         const PixelRows& destination, int x, int y, int scale);

// Writes one row of `width` pixels of `destination.bytes_per_pixel` bytes each, as they are
// stored, at `scale` with its top-left at (x, y), clipped like copy_indices_scaled: the
// pictures of other depths, converted a row at a time, and rows shown again.
void copy_row_scaled(const uint8_t* row, int width, const PixelRows& destination, int x, int y,
                     int scale);

// Fills every pixel of `destination` (4 bytes per pixel) outside the rectangle of `width` x
// `height` at (x, y) with `value`: the black around a picture in full screen.
void fill_around(const PixelRows& destination, int x, int y, int width, int height, uint32_t value);

// The vector levels, alike in the engine (fireworks/cpu_level.h).
enum CopyLevel { copy_sse2 = 0, copy_avx2 = 1, copy_avx512 = 2 };
constexpr int copy_level_count = 3;

// Whether this processor and system can run the copies of `level`.
bool copy_level_available(CopyLevel level);
// Runs every copy at `level` from now on and returns true; false, changing nothing, when the
// machine cannot run it. For tests and benchmarks.
bool copy_force_level(CopyLevel level);
// Back to the paths measured fastest (measured again the next time each copy runs).
void copy_measure_levels();
// The level the 1x copy (scaled false) or the scaled one runs at now: forced, or measured on the
// last copy of its kind; the baseline before either.
CopyLevel copy_level_in_use(bool scaled);
// "sse2", "avx2" or "avx512"; "simd128" for the web build's baseline, "portable" for the plain
// C++ one of other processors (64-bit ARM).
const char* copy_level_name(CopyLevel level);
