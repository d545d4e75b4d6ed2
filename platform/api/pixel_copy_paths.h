// What the copies of pixel_copy.h share inside: the loops of each vector level (the baseline in
// pixel_copy.cpp, pixel_copy_avx2.cpp, pixel_copy_avx512.cpp) and the choice between them
// (pixel_copy_choice.cpp). Only the AVX2 and AVX-512 loops themselves are compiled for those
// levels (target attributes), and they run only once the processor has been asked.
#pragma once

#include "pixel_copy.h"

// The 1x copy of a rectangle already clipped: `source` through `table` into 4-byte pixels,
// the top row at `out`, each next one `out_pitch` bytes on.
void copy_rect_baseline(const IndexRows& source, const PixelTable& table, uint8_t* out,
                        ptrdiff_t out_pitch);
void copy_rect_avx2(const IndexRows& source, const PixelTable& table, uint8_t* out,
                    ptrdiff_t out_pitch);
void copy_rect_avx512(const IndexRows& source, const PixelTable& table, uint8_t* out,
                      ptrdiff_t out_pitch);

// A scaled copy after clipping: the sources that reach the destination, at `scale` (2 to
// max_copy_scale), and the part of their scaled picture that is written, columns first_column
// (below scale) to end_column and rows first_row (below scale) to end_row, counted from the
// picture's top-left; its first written pixel at `to`, each next row `pitch` bytes on.
struct ScaledCopy {
    IndexRows sources;
    const PixelTable* table;
    int scale;
    int first_column;
    int end_column;
    int first_row;
    int end_row;
    uint8_t* to;
    ptrdiff_t pitch;
};

// One row of `width` indices through `table`, each pixel `scale` times over, into `out`, which
// has room for (width rounded up to 64) x scale + 16 pixels: each may write that far.
void expand_row_baseline(const uint8_t* in, int width, const PixelTable& table, int scale,
                         uint32_t* out);
void expand_row_avx512(const uint8_t* in, int width, const PixelTable& table, int scale,
                       uint32_t* out);

// The scaled copy with each row of sources expanded into a scratch row by `expand` and stored
// from there once for each output row: streamed past the caches when `stream` is set (the rows
// start on 16-byte boundaries), else with memcpy (pixel_copy.cpp).
void copy_scaled_through_row(const ScaledCopy& copy,
                             void (*expand)(const uint8_t*, int, const PixelTable&, int, uint32_t*),
                             bool stream);
// The scaled copy of whole rows (first_column 0, end_column the sources' width times the
// scale) of a multiple of 64 sources into rows that start on 64-byte boundaries, each 16 pixels
// streamed from a register into every row of its block: no scratch row to write and read again
// (pixel_copy_avx512.cpp).
void copy_scaled_avx512(const ScaledCopy& copy);

// Whether the processor and the system can run each level's loops.
bool cpu_runs_avx2();
bool cpu_runs_avx512_vbmi();

// The level a copy runs at: forced, or measured the first time with `work` (which runs the
// level's loop on the copy at hand, as often as asked) among the levels set in `paths` (bit 0
// the baseline, 1 AVX2, 2 AVX-512: the levels with loops of their own), when `measurable` says
// the copy is large enough to time; the baseline until then.
CopyLevel copy_choose_level(bool scaled, unsigned paths, bool measurable,
                            void (*work)(CopyLevel, const void*), const void* context);
