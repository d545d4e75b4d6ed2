// The heat step with AVX-512, equal in every byte to decay_and_rise_plain: the AVX2 step's loop
// (decay_avx2.cpp, which explains it) on 64 columns at a time, so that a row of 320 is five
// blocks. Only this function is compiled for AVX-512 (a target attribute), and only for 64-bit
// x86 outside Windows, where GCC cannot align the stack for the 64-byte registers it may spill.
#include "decay_levels.h"
#include "fireworks.h"

#if defined(__x86_64__) && !defined(_WIN32)

#include <immintrin.h>

#define AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// GCC 12's own AVX-512 intrinsics pass an undefined register as the unused merge source, which
// its uninitialised-value warnings then report in every caller.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

static inline AVX512 __m512i load(const uint8_t* p) {
    return _mm512_loadu_si512(p);
}

// One block of 64 columns of a row pass: the new bytes of the row above `m`'s, from the old
// bytes around them; `right` holds the bytes one column on (m + 1 .. m + 64).
static inline AVX512 __m512i pass_block(const uint8_t* m, __m512i centre, __m512i right,
                                        __m512i decay8) {
    // (s * 13108) >> 16 equals s / 5 for every s in 0..1275, the range of a five-byte sum
    const __m512i fifth = _mm512_set1_epi16(13108);
    const __m512i low_byte = _mm512_set1_epi16(0x00FF);
    const __m512i ones = _mm512_set1_epi8(1);
    __m512i above = load(m + heat_width);
    __m512i below = load(m - heat_width);
    __m512i pair = _mm512_maddubs_epi16(centre, ones);
    __m512i even = _mm512_add_epi16(pair, _mm512_and_si512(load(m - 1), low_byte));
    __m512i odd = _mm512_add_epi16(pair, _mm512_srli_epi16(right, 8));
    even = _mm512_add_epi16(even, _mm512_add_epi16(_mm512_and_si512(above, low_byte),
                                                   _mm512_and_si512(below, low_byte)));
    odd = _mm512_add_epi16(
        odd, _mm512_add_epi16(_mm512_srli_epi16(above, 8), _mm512_srli_epi16(below, 8)));
    __m512i fifths = _mm512_or_si512(_mm512_mulhi_epu16(even, fifth),
                                     _mm512_slli_epi16(_mm512_mulhi_epu16(odd, fifth), 8));
    return _mm512_subs_epu8(fifths, decay8);
}

// Bytes 1..63 of the first register, then byte 0 of the second.
alignas(64) static const uint8_t one_on[64] = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
    23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44,
    45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64};

AVX512 void decay_and_rise_avx512(uint8_t* heat, int32_t decay) {
    // decay is held in 0..10 by its owner; saturating subtraction needs it as an unsigned byte
    int d = decay < 0 ? 0 : (decay > 255 ? 255 : decay);
    const __m512i decay8 = _mm512_set1_epi8(static_cast<char>(d));
    const __m512i shift_one = _mm512_load_si512(one_on);

    for (int i = 0; i < 2 * heat_width; i += 64)
        _mm512_storeu_si512(heat + i, _mm512_subs_epu8(load(heat + i), decay8));
    for (int r = heat_height - 2; r >= 1; r--) {
        const uint8_t* centre = heat + r * heat_width;
        uint8_t* target = heat + (r + 1) * heat_width;
        // The right neighbour of the last column is the first byte of the row above, written by
        // this pass's first block: taken from that block's register rather than loaded, as a load
        // over a store still on its way to the cache would wait for it.
        __m512i first = pass_block(centre, load(centre), load(centre + 1), decay8);
        _mm512_storeu_si512(target, first);
        for (int c = 64; c < heat_width - 64; c += 64)
            _mm512_storeu_si512(
                target + c, pass_block(centre + c, load(centre + c), load(centre + c + 1), decay8));
        const int c = heat_width - 64;
        __m512i last = load(centre + c);
        _mm512_storeu_si512(
            target + c,
            pass_block(centre + c, last, _mm512_permutex2var_epi8(last, shift_one, first), decay8));
    }
}

#else

void decay_and_rise_avx512(uint8_t* heat, int32_t decay) {
    decay_and_rise_avx2(heat, decay);
}

#endif
