// The copies at the AVX-512 level, with VBMI's byte permutes: 64 indices looked up at once. The
// 256 table values are held in sixteen registers as four planes of bytes (blue, green, red and
// the fourth byte), each plane four registers of 64 entries; one two-register byte permute looks
// up 64 indices among 128 entries, a second one among the other 128, and the index's top bit
// picks between them. The four planes are then interleaved into 64 pixels by unpacks, which work
// within 128-bit lanes: the indices are put in the order that makes the unpacks' lanes come out
// as four runs of 16 pixels in row order, so no further shuffle is needed.
//
// Only the functions below are compiled for AVX-512 (target attributes), and only for 64-bit x86
// outside Windows: the 16 table registers need the 32 vector registers of 64-bit mode, and GCC
// for Windows cannot align the stack for the 64-byte registers it may spill.
#include <cstring>

#include "pixel_copy_paths.h"

#if defined(__x86_64__) && !defined(_WIN32)

#include <immintrin.h>

// GCC 12's own AVX-512 intrinsics pass an undefined register as the unused merge source, which
// its uninitialised-value warnings then report in every caller.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// Position 16 L + 4 j + t of the reordered indices holds index 16 j + 4 L + t: after the unpacks,
// lane L of the j-th result then holds pixels 16 j + 4 L .. 16 j + 4 L + 3.
alignas(64) static const uint8_t unpack_order[64] = {
    0,  1,  2,  3,  16, 17, 18, 19, 32, 33, 34, 35, 48, 49, 50, 51, 4,  5,  6,  7,  20, 21,
    22, 23, 36, 37, 38, 39, 52, 53, 54, 55, 8,  9,  10, 11, 24, 25, 26, 27, 40, 41, 42, 43,
    56, 57, 58, 59, 12, 13, 14, 15, 28, 29, 30, 31, 44, 45, 46, 47, 60, 61, 62, 63};

struct Planes {
    __m512i entries[4][4]; // [byte][quarter of the table]
};

static inline AVX512 Planes load_planes(const PixelTable& table) {
    Planes planes;
    for (int b = 0; b < 4; b++)
        for (int q = 0; q < 4; q++)
            planes.entries[b][q] = _mm512_load_si512(table.planes[b] + 64 * q);
    return planes;
}

// The 64 pixels of 64 indices (already in unpack_order), in four registers of 16 in row order.
static inline AVX512 void look_up(const Planes& planes, __m512i indices, __m512i pixels[4]) {
    __mmask64 high = _mm512_movepi8_mask(indices);
    __m512i bytes[4];
    for (int b = 0; b < 4; b++) {
        const __m512i* e = planes.entries[b];
        __m512i low_half = _mm512_permutex2var_epi8(e[0], indices, e[1]);
        __m512i high_half = _mm512_permutex2var_epi8(e[2], indices, e[3]);
        bytes[b] = _mm512_mask_blend_epi8(high, low_half, high_half);
    }
    __m512i low01 = _mm512_unpacklo_epi8(bytes[0], bytes[1]);
    __m512i high01 = _mm512_unpackhi_epi8(bytes[0], bytes[1]);
    __m512i low23 = _mm512_unpacklo_epi8(bytes[2], bytes[3]);
    __m512i high23 = _mm512_unpackhi_epi8(bytes[2], bytes[3]);
    pixels[0] = _mm512_unpacklo_epi16(low01, low23);
    pixels[1] = _mm512_unpackhi_epi16(low01, low23);
    pixels[2] = _mm512_unpacklo_epi16(high01, high23);
    pixels[3] = _mm512_unpackhi_epi16(high01, high23);
}

// The first `count` (1..64) indices at `in`, reordered; the rest read as 0 and never fault.
static inline AVX512 __m512i load_indices(const uint8_t* in, int count, __m512i order) {
    __mmask64 wanted = count >= 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
    return _mm512_permutexvar_epi8(order, _mm512_maskz_loadu_epi8(wanted, in));
}

AVX512 void copy_rect_avx512(const IndexRows& source, const PixelTable& table, uint8_t* out,
                             ptrdiff_t out_pitch) {
    const Planes planes = load_planes(table);
    const __m512i order = _mm512_load_si512(unpack_order);
    const int width = source.width;
    for (int row = 0; row < source.height; row++) {
        const uint8_t* in = source.top + row * source.stride;
        uint32_t* to = reinterpret_cast<uint32_t*>(out + row * out_pitch);
        // The first few pixels on their own, so that the stores after them fill whole lines: a
        // store across two lines costs two.
        int i = static_cast<int>((64 - reinterpret_cast<uintptr_t>(to) % 64) % 64 / 4);
        i = i < width ? i : width;
        __m512i pixels[4];
        if (i > 0) {
            look_up(planes, load_indices(in, i, order), pixels);
            _mm512_mask_storeu_epi32(to, static_cast<__mmask16>((1u << i) - 1), pixels[0]);
        }
        for (; i + 64 <= width; i += 64) {
            look_up(planes, _mm512_permutexvar_epi8(order, _mm512_loadu_si512(in + i)), pixels);
            for (int k = 0; k < 4; k++)
                _mm512_storeu_si512(to + i + 16 * k, pixels[k]);
        }
        int left = width - i;
        if (left > 0) {
            look_up(planes, load_indices(in + i, left, order), pixels);
            for (int k = 0; k < 4 && left > 16 * k; k++) {
                int n = left - 16 * k;
                __mmask16 wanted = n >= 16 ? 0xFFFF : static_cast<__mmask16>((1u << n) - 1);
                _mm512_mask_storeu_epi32(to + i + 16 * k, wanted, pixels[k]);
            }
        }
    }
}

// For scale N, output register k = q N + r of a block of 64 sources holds pixels 16 k .. 16 k +
// 15 of the block's 64 N, each the source (16 k + lane) / N: all within the q-th register of 16
// looked-up pixels, at lanes (16 r + lane) / N. One permute per 16 pixels written.
alignas(64) static uint32_t spread[max_copy_scale][16];
static int spread_scale;

// The usual scales have a loop of their own, unrolled, its permutes held in registers
// (`fixed`); any other runs the general loop (`fixed` 0).
template <int fixed>
static AVX512 void expand(const uint8_t* in, int width, const PixelTable& table, int scale,
                          uint32_t* out) {
    const int n = fixed > 0 ? fixed : scale;
    const Planes planes = load_planes(table);
    const __m512i order = _mm512_load_si512(unpack_order);
    __m512i spreads[fixed > 0 ? fixed : 1];
    for (int r = 0; r < fixed; r++)
        spreads[r] = _mm512_load_si512(spread[r]);
    for (int i = 0; i < width; i += 64, out += 64 * n) {
        __m512i pixels[4];
        look_up(planes, load_indices(in + i, width - i, order), pixels);
        if (fixed > 0) {
            for (int q = 0; q < 4; q++)
                for (int r = 0; r < fixed; r++)
                    _mm512_store_si512(out + 16 * (q * fixed + r),
                                       _mm512_permutexvar_epi32(spreads[r], pixels[q]));
        } else {
            uint32_t* to = out;
            for (int q = 0; q < 4; q++)
                for (int r = 0; r < n; r++, to += 16)
                    _mm512_store_si512(
                        to, _mm512_permutexvar_epi32(_mm512_load_si512(spread[r]), pixels[q]));
        }
    }
}

static void make_spread(int scale) {
    if (spread_scale != scale) {
        for (int r = 0; r < scale; r++)
            for (int lane = 0; lane < 16; lane++)
                spread[r][lane] = static_cast<uint32_t>((16 * r + lane) / scale);
        spread_scale = scale;
    }
}

void expand_row_avx512(const uint8_t* in, int width, const PixelTable& table, int scale,
                       uint32_t* out) {
    make_spread(scale);
    switch (scale) {
    case 2:
        return expand<2>(in, width, table, scale, out);
    case 3:
        return expand<3>(in, width, table, scale, out);
    case 4:
        return expand<4>(in, width, table, scale, out);
    case 5:
        return expand<5>(in, width, table, scale, out);
    case 6:
        return expand<6>(in, width, table, scale, out);
    case 7:
        return expand<7>(in, width, table, scale, out);
    case 8:
        return expand<8>(in, width, table, scale, out);
    case 9:
        return expand<9>(in, width, table, scale, out);
    default:
        return expand<0>(in, width, table, scale, out);
    }
}

// Whole rows of a multiple of 64 sources into rows on 64-byte boundaries: row after row of each
// block, each row in order, the permutes made again for each row, which costs less than keeping
// 4 n registers or going through memory; each 16 pixels streamed past the caches (why:
// pixel_copy.cpp, copy_scaled).
template <int fixed> static AVX512 void copy_scaled_at(const ScaledCopy& copy) {
    const int n = fixed > 0 ? fixed : copy.scale;
    const Planes planes = load_planes(*copy.table);
    const __m512i order = _mm512_load_si512(unpack_order);
    __m512i spreads[fixed > 0 ? fixed : 1];
    for (int r = 0; r < fixed; r++)
        spreads[r] = _mm512_load_si512(spread[r]);
    const ptrdiff_t pitch = copy.pitch;
    const int width = copy.sources.width;
    const int first_row = copy.first_row;
    const int end_row = copy.end_row;
    const uint8_t* in = copy.sources.top;
    for (int row = 0; row < copy.sources.height; row++, in += copy.sources.stride) {
        int top = row * n > first_row ? row * n : first_row;
        int bottom = row * n + n < end_row ? row * n + n : end_row;
        uint8_t* line = copy.to + (top - first_row) * pitch;
        for (int i = 0; i < width; i += 64) {
            __m512i pixels[4];
            look_up(planes, _mm512_permutexvar_epi8(order, _mm512_loadu_si512(in + i)), pixels);
            uint8_t* to = line + i * n * 4;
            for (int k = top; k < bottom; k++, to += pitch)
                for (int q = 0; q < 4; q++)
                    for (int r = 0; r < n; r++)
                        _mm512_stream_si512(
                            reinterpret_cast<__m512i*>(to + 64 * (q * n + r)),
                            _mm512_permutexvar_epi32(
                                fixed > 0 ? spreads[r] : _mm512_load_si512(spread[r]), pixels[q]));
        }
    }
    _mm_sfence(); // streamed stores are seen in order with what comes after
}

void copy_scaled_avx512(const ScaledCopy& copy) {
    make_spread(copy.scale);
    switch (copy.scale) {
    case 2:
        return copy_scaled_at<2>(copy);
    case 3:
        return copy_scaled_at<3>(copy);
    case 4:
        return copy_scaled_at<4>(copy);
    case 5:
        return copy_scaled_at<5>(copy);
    case 6:
        return copy_scaled_at<6>(copy);
    case 7:
        return copy_scaled_at<7>(copy);
    case 8:
        return copy_scaled_at<8>(copy);
    case 9:
        return copy_scaled_at<9>(copy);
    default:
        return copy_scaled_at<0>(copy);
    }
}

#else

void copy_rect_avx512(const IndexRows& source, const PixelTable& table, uint8_t* out,
                      ptrdiff_t out_pitch) {
    copy_rect_baseline(source, table, out, out_pitch);
}

void expand_row_avx512(const uint8_t* in, int width, const PixelTable& table, int scale,
                       uint32_t* out) {
    expand_row_baseline(in, width, table, scale, out);
}

void copy_scaled_avx512(const ScaledCopy& copy) {
    copy_scaled_through_row(copy, expand_row_baseline, false);
}

#endif
