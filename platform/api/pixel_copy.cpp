// The copies of pixel_copy.h: their clipping, the scratch row a scaled row is made in before it is
// stored once for each row of its blocks, and the baseline loops that every build has.
#include "pixel_copy.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

#include "pixel_copy_paths.h"

static_assert(std::endian::native == std::endian::little,
              "32-bit pixels are written as little-endian words");

void pixel_table_prepare(PixelTable* table) {
    for (int i = 0; i < 256; i++)
        for (int b = 0; b < 4; b++)
            table->planes[b][i] = static_cast<uint8_t>(table->values[i] >> (8 * b));
}

void pixel_table_build(PixelTable* table, const RGBQUAD* colours, int count,
                       const PixelFormat32& format) {
    for (int i = 0; i < 256; i++) {
        uint32_t value = format.filler;
        if (i < count)
            value |= uint32_t{colours[i].rgbRed} << format.red_shift |
                     uint32_t{colours[i].rgbGreen} << format.green_shift |
                     uint32_t{colours[i].rgbBlue} << format.blue_shift;
        table->values[i] = value;
    }
    pixel_table_prepare(table);
}

// copy_blocks copies the row but for its last few pixels and returns how many it copied.
#if defined(__SSE2__)
// Sixteen pixels a step: each index read as a byte, four table entries put into one vector by
// plain loads and written with one 16-byte store. Native builds run it as fast as a loop of 32-bit
// stores; the web build, which translates SSE2 into WebAssembly SIMD, runs it nearly twice as fast,
// as each WebAssembly store and shift costs more there than a vector lane does.
static int copy_blocks(const uint8_t* in, uint32_t* out, int width, const uint32_t* table) {
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        const uint8_t* p = in + i;
        __m128i v[4];
        for (int k = 0; k < 4; k++)
            v[k] = _mm_setr_epi32(
                static_cast<int>(table[p[4 * k]]), static_cast<int>(table[p[4 * k + 1]]),
                static_cast<int>(table[p[4 * k + 2]]), static_cast<int>(table[p[4 * k + 3]]));
        for (int k = 0; k < 4; k++)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4 * k), v[k]);
    }
    return i;
}
#else
// Four indices per load: a third faster than a load per pixel, and steady where the source and
// target addresses happen to fall.
static int copy_blocks(const uint8_t* in, uint32_t* out, int width, const uint32_t* table) {
    int i = 0;
    for (; i + 4 <= width; i += 4) {
        uint32_t four;
        memcpy(&four, in + i, 4);
        out[i] = table[four & 0xFF];
        out[i + 1] = table[(four >> 8) & 0xFF];
        out[i + 2] = table[(four >> 16) & 0xFF];
        out[i + 3] = table[four >> 24];
    }
    return i;
}
#endif

void copy_rect_baseline(const IndexRows& source, const PixelTable& table, uint8_t* out,
                        ptrdiff_t out_pitch) {
    for (int row = 0; row < source.height; row++) {
        const uint8_t* in = source.top + row * source.stride;
        uint32_t* to = reinterpret_cast<uint32_t*>(out + row * out_pitch);
        for (int i = copy_blocks(in, to, source.width, table.values); i < source.width; i++)
            to[i] = table.values[in[i]];
    }
}

void expand_row_baseline(const uint8_t* in, int width, const PixelTable& table, int scale,
                         uint32_t* out) {
#if defined(__SSE2__)
    // Four copies of the pixel a store; the last store of each block may run into the next
    // block, which the next pixel then overwrites.
    for (int i = 0; i < width; i++, out += scale) {
        __m128i four = _mm_set1_epi32(static_cast<int>(table.values[in[i]]));
        for (int k = 0; k < scale; k += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), four);
    }
#else
    for (int i = 0; i < width; i++, out += scale)
        for (int k = 0; k < scale; k++)
            out[k] = table.values[in[i]];
#endif
}

// The row a scaled row is made in: 32 KiB, which stays in the first-level cache while it is
// stored again and again.
constexpr int scratch_pixels = 8192;
alignas(64) static uint32_t scratch[scratch_pixels + 16];

struct Span {
    int64_t first; // pixels, from the destination's left or top
    int64_t end;
};

// Where a run of `count` sources at `scale` from `at` lands within 0..`size`, and which of the
// sources reach it.
static bool clip_span(int64_t at, int64_t count, int scale, int64_t size, Span* out,
                      Span* sources) {
    out->first = at > 0 ? at : 0;
    out->end = at + count * scale < size ? at + count * scale : size;
    if (out->first >= out->end)
        return false;
    sources->first = (out->first - at) / scale;
    sources->end = (out->end - at + scale - 1) / scale;
    return true;
}

// Stores `bytes` bytes from `from` `times` times, each `pitch` bytes after the one before:
// streamed past the caches when `stream` is set (each row starting on a 16-byte boundary),
// else with memcpy.
static void store_rows(uint8_t* to, ptrdiff_t pitch, int times, const uint8_t* from, size_t bytes,
                       bool stream) {
#if defined(__SSE2__)
    if (stream) {
        for (int i = 0; i < times; i++, to += pitch) {
            size_t at = 0;
            for (; at + 16 <= bytes; at += 16)
                _mm_stream_si128(reinterpret_cast<__m128i*>(to + at),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at)));
            memcpy(to + at, from + at, bytes - at);
        }
        return;
    }
#else
    (void)stream;
#endif
    for (int i = 0; i < times; i++)
        memcpy(to + i * pitch, from, bytes);
}

void copy_scaled_through_row(const ScaledCopy& copy,
                             void (*expand)(const uint8_t*, int, const PixelTable&, int, uint32_t*),
                             bool stream) {
    const int scale = copy.scale;
    // Whole blocks of 64 sources, as many as the scratch row holds.
    const int chunk = scratch_pixels / scale / 64 * 64;
    for (int row = 0; row < copy.sources.height; row++) {
        int top = row * scale > copy.first_row ? row * scale : copy.first_row;
        int bottom = row * scale + scale < copy.end_row ? row * scale + scale : copy.end_row;
        if (top >= bottom)
            continue;
        const uint8_t* in = copy.sources.top + row * copy.sources.stride;
        uint8_t* to = copy.to + (top - copy.first_row) * copy.pitch;
        for (int first = 0; first < copy.sources.width; first += chunk) {
            int count = copy.sources.width - first < chunk ? copy.sources.width - first : chunk;
            expand(in + first, count, *copy.table, scale, scratch);
            int made_at = first * scale;
            int left = made_at > copy.first_column ? made_at : copy.first_column;
            int right = made_at + count * scale;
            right = right < copy.end_column ? right : copy.end_column;
            uint8_t* at = to + static_cast<ptrdiff_t>(left - copy.first_column) * 4;
            const uint8_t* from = reinterpret_cast<const uint8_t*>(scratch + (left - made_at));
            // streamed only from a 16-byte boundary on
            store_rows(at, copy.pitch, bottom - top, from, static_cast<size_t>(right - left) * 4,
                       stream && reinterpret_cast<uintptr_t>(at) % 16 == 0);
        }
    }
#if defined(__SSE2__)
    if (stream)
        _mm_sfence(); // streamed stores are seen in order with what comes after
#endif
}

// A scaled picture is streamed to its destination past the caches wherever its rows start on
// 16-byte boundaries, as a window's framebuffer's do: the display server reads it next, not the
// program, and at a frame every 16 ms it has left the caches by the next frame anyway, so stores
// through the caches would first read each line from memory. Timed in place, in a window and in
// full screen under Xvfb on the AMD machine, the AVX-512 copy's streaming took a third to a half
// of the time of its 64-byte stores through the caches and 0.6 to 0.8 of the time of storing
// rows made in the scratch row with memcpy, from 2x to 9x (bench/scaled.cpp measures the same
// with the destination flushed from the caches before each picture).
static void copy_scaled(CopyLevel level, const void* context) {
    const ScaledCopy& copy = *static_cast<const ScaledCopy*>(context);
    uintptr_t at = reinterpret_cast<uintptr_t>(copy.to);
    bool stream = at % 16 == 0 && copy.pitch % 16 == 0;
    bool whole_rows = copy.first_column == 0 && copy.sources.width % 64 == 0 &&
                      copy.end_column == copy.sources.width * copy.scale;
    if (level == copy_avx512 && whole_rows && at % 64 == 0 && copy.pitch % 64 == 0)
        copy_scaled_avx512(copy);
    else
        copy_scaled_through_row(
            copy, level == copy_avx512 ? expand_row_avx512 : expand_row_baseline, stream);
}

struct UnscaledRows {
    const IndexRows* rows;
    const PixelTable* table;
    uint8_t* out;
    ptrdiff_t pitch;
};

static void copy_rows(CopyLevel level, const void* context) {
    const UnscaledRows& work = *static_cast<const UnscaledRows*>(context);
    if (level == copy_avx512)
        copy_rect_avx512(*work.rows, *work.table, work.out, work.pitch);
    else if (level == copy_avx2)
        copy_rect_avx2(*work.rows, *work.table, work.out, work.pitch);
    else
        copy_rect_baseline(*work.rows, *work.table, work.out, work.pitch);
}

// Copies that write fewer pixels are not timed: too short to tell the paths apart. Larger ones
// are timed on their first rows only, up to this many pixels, so that the first frame in full
// screen does not take many times its own time.
constexpr int64_t measured_pixels = 16384;
constexpr int64_t timed_pixels = 1 << 20;

void copy_indices_scaled(const IndexRows& source, const PixelTable& table,
                         const PixelRows& destination, int x, int y, int scale) {
    if (scale < 1 || scale > max_copy_scale || destination.bytes_per_pixel != 4)
        return;
    Span columns;
    Span rows;
    Span source_columns;
    Span source_rows;
    if (!clip_span(x, source.width, scale, destination.width, &columns, &source_columns) ||
        !clip_span(y, source.height, scale, destination.height, &rows, &source_rows))
        return;
    IndexRows reached = {source.top + source_rows.first * source.stride + source_columns.first,
                         source.stride, static_cast<int>(source_columns.end - source_columns.first),
                         static_cast<int>(source_rows.end - source_rows.first)};
    int64_t written = (columns.end - columns.first) * (rows.end - rows.first);
    uint8_t* to = destination.top + rows.first * destination.pitch + columns.first * 4;
    if (scale == 1) {
        UnscaledRows work = {&reached, &table, to, destination.pitch};
        if (work.pitch < 0) {
            // Bottom-up rows are copied from the last, so that both run forward in memory, the
            // order the processor's prefetchers follow best.
            reached.top += (reached.height - 1) * reached.stride;
            reached.stride = -reached.stride;
            work.out += (reached.height - 1) * work.pitch;
            work.pitch = -work.pitch;
        }
        CopyLevel level =
            copy_choose_level(false, 0b111, written >= measured_pixels, copy_rows, &work);
        copy_rows(level, &work);
        return;
    }
    int first_column = static_cast<int>(columns.first - (x + source_columns.first * scale));
    int first_row = static_cast<int>(rows.first - (y + source_rows.first * scale));
    ScaledCopy copy = {reached,
                       &table,
                       scale,
                       first_column,
                       first_column + static_cast<int>(columns.end - columns.first),
                       first_row,
                       first_row + static_cast<int>(rows.end - rows.first),
                       to,
                       destination.pitch};
    ScaledCopy timed = copy;
    int64_t timed_rows = timed_pixels / (columns.end - columns.first);
    if (timed.end_row - timed.first_row > timed_rows)
        timed.end_row = timed.first_row + static_cast<int>(timed_rows);
    copy_scaled(copy_choose_level(true, 0b101, written >= measured_pixels, copy_scaled, &timed),
                &copy);
}

void copy_row_scaled(const uint8_t* row, int width, const PixelRows& destination, int x, int y,
                     int scale) {
    int bytes = destination.bytes_per_pixel;
    if (scale < 1 || scale > max_copy_scale || bytes < 1 || bytes > 4)
        return;
    Span columns;
    Span rows;
    Span sources;
    Span unused;
    if (!clip_span(x, width, scale, destination.width, &columns, &sources) ||
        !clip_span(y, 1, scale, destination.height, &rows, &unused))
        return;
    uint8_t* made = reinterpret_cast<uint8_t*>(scratch);
    int chunk = scratch_pixels * 4 / (bytes * scale);
    for (int64_t first = sources.first; first < sources.end; first += chunk) {
        int64_t count = sources.end - first < chunk ? sources.end - first : chunk;
        for (int64_t i = 0; i < count; i++)
            for (int k = 0; k < scale; k++)
                memcpy(made + (i * scale + k) * bytes, row + (first + i) * bytes, bytes);
        int64_t made_at = x + first * scale;
        int64_t left = made_at > columns.first ? made_at : columns.first;
        int64_t right =
            made_at + count * scale < columns.end ? made_at + count * scale : columns.end;
        for (int64_t r = rows.first; r < rows.end; r++)
            memcpy(destination.top + r * destination.pitch + left * bytes,
                   made + (left - made_at) * bytes, static_cast<size_t>(right - left) * bytes);
    }
}

static void fill_span(uint8_t* row, int64_t first, int64_t end, uint32_t value) {
    uint32_t* pixels = reinterpret_cast<uint32_t*>(row);
    for (int64_t i = first; i < end; i++)
        pixels[i] = value;
}

void fill_around(const PixelRows& destination, int x, int y, int width, int height,
                 uint32_t value) {
    if (destination.bytes_per_pixel != 4)
        return;
    auto clamp = [](int64_t v, int64_t size) { return v < 0 ? 0 : (v > size ? size : v); };
    int64_t left = clamp(x, destination.width);
    int64_t right = clamp(int64_t{x} + (width > 0 ? width : 0), destination.width);
    int64_t top = clamp(y, destination.height);
    int64_t bottom = clamp(int64_t{y} + (height > 0 ? height : 0), destination.height);
    if (left == right)
        top = bottom; // an empty picture: every row is outside it
    for (int64_t r = 0; r < destination.height; r++) {
        uint8_t* row = destination.top + r * destination.pitch;
        if (r < top || r >= bottom) {
            fill_span(row, 0, destination.width, value);
        } else {
            fill_span(row, 0, left, value);
            fill_span(row, right, destination.width, value);
        }
    }
}
