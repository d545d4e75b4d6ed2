// The heat step with AVX2, equal in every byte to decay_and_rise_plain. Only this function is
// compiled for AVX2 (a target attribute, not a flag for the whole file), so that no inline code
// shared with the rest of the program is built with instructions the baseline may lack.
//
// Each row pass works straight on the heat buffer, 32 columns at a time, with no widening
// shuffles (which a processor runs on fewer units than adds): each 16-bit lane holds a pair of
// columns, an even one in its low byte and an odd one in its high byte, and the sums of five are
// kept apart for the even and the odd columns, each neighbour's byte taken out by a mask or a
// shift. The left neighbour of an even column is the low byte of the load one byte earlier, the
// right one of an odd column the high byte of the load one byte later. Reading and writing the
// one buffer in place gives the linear layout's order by itself: a pass reads its row above
// before it overwrites those 32 bytes, and the right neighbour of column 319, the first byte of
// the row above, has already been written by the pass's first block.
#include "decay_levels.h"
#include "fireworks.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#define AVX2 __attribute__((target("avx2")))

static inline AVX2 __m256i load(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

AVX2 void decay_and_rise_avx2(uint8_t* heat, int32_t decay) {
    // decay is held in 0..10 by its owner; saturating subtraction needs it as an unsigned byte
    int d = decay < 0 ? 0 : (decay > 255 ? 255 : decay);
    const __m256i decay8 = _mm256_set1_epi8(static_cast<char>(d));
    // (s * 13108) >> 16 equals s / 5 for every s in 0..1275, the range of a five-byte sum
    const __m256i fifth = _mm256_set1_epi16(13108);
    const __m256i low_byte = _mm256_set1_epi16(0x00FF);
    const __m256i ones = _mm256_set1_epi8(1);

    for (int i = 0; i < 2 * heat_width; i += 32) {
        __m256i* p = reinterpret_cast<__m256i*>(heat + i);
        _mm256_storeu_si256(p, _mm256_subs_epu8(_mm256_loadu_si256(p), decay8));
    }
    for (int r = heat_height - 2; r >= 1; r--) {
        const uint8_t* centre = heat + r * heat_width;
        uint8_t* target = heat + (r + 1) * heat_width;
        // Not unrolled: unrolled, GCC keeps a whole row's vectors across passes and spills them.
#pragma GCC unroll 1
        for (int c = 0; c < heat_width; c += 32) {
            const uint8_t* m = centre + c;
            __m256i above = load(m + heat_width);
            __m256i below = load(m - heat_width);
            // both bytes of each pair added in one instruction: the middle three of both sums
            __m256i pair = _mm256_maddubs_epi16(load(m), ones);
            __m256i even = _mm256_add_epi16(pair, _mm256_and_si256(load(m - 1), low_byte));
            __m256i odd = _mm256_add_epi16(pair, _mm256_srli_epi16(load(m + 1), 8));
            even = _mm256_add_epi16(even, _mm256_add_epi16(_mm256_and_si256(above, low_byte),
                                                           _mm256_and_si256(below, low_byte)));
            odd = _mm256_add_epi16(
                odd, _mm256_add_epi16(_mm256_srli_epi16(above, 8), _mm256_srli_epi16(below, 8)));
            __m256i fifths = _mm256_or_si256(_mm256_mulhi_epu16(even, fifth),
                                             _mm256_slli_epi16(_mm256_mulhi_epu16(odd, fifth), 8));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + c),
                                _mm256_subs_epu8(fifths, decay8));
        }
    }
}

#else

void decay_and_rise_avx2(uint8_t* heat, int32_t decay) {
    decay_and_rise_sse2(heat, decay);
}

#endif
