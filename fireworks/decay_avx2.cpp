// The heat step with AVX2, equal in every byte to decay_and_rise_plain. Only this function is
// compiled for AVX2 (a target attribute, not a flag for the whole file), so that no inline code
// shared with the rest of the program is built with instructions the baseline may lack.
//
// Each row pass works straight on the heat buffer, 32 columns at a time: the five neighbours are
// 16-byte loads widened to 16-bit lanes as they are loaded, which AVX2 does in one instruction,
// so the SSE2 step's ring of widened rows is no longer worth its stores. Reading and writing the
// one buffer in place gives the linear layout's order by itself: a pass reads its row above
// before it overwrites those 32 bytes, and the right neighbour of column 319, the first byte of
// the row above, has already been written by the pass's first block.
#include "decay_levels.h"
#include "fireworks.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#define AVX2 __attribute__((target("avx2")))

static inline AVX2 __m256i widen(const uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Sixteen sums of five neighbours for the columns from `centre` on.
static inline AVX2 __m256i sums(const uint8_t* centre) {
    __m256i vertical = _mm256_add_epi16(widen(centre - heat_width), widen(centre + heat_width));
    __m256i across = _mm256_add_epi16(widen(centre - 1), widen(centre + 1));
    return _mm256_add_epi16(_mm256_add_epi16(vertical, across), widen(centre));
}

AVX2 void decay_and_rise_avx2(uint8_t* heat, int32_t decay) {
    // decay is held in 0..10 by its owner; saturating subtraction needs it as an unsigned byte
    int d = decay < 0 ? 0 : (decay > 255 ? 255 : decay);
    const __m256i decay8 = _mm256_set1_epi8(static_cast<char>(d));
    // (s * 13108) >> 16 equals s / 5 for every s in 0..1275, the range of a five-byte sum
    const __m256i fifth = _mm256_set1_epi16(13108);

    for (int i = 0; i < 2 * heat_width; i += 32) {
        __m256i* p = reinterpret_cast<__m256i*>(heat + i);
        _mm256_storeu_si256(p, _mm256_subs_epu8(_mm256_loadu_si256(p), decay8));
    }
    for (int r = heat_height - 2; r >= 1; r--) {
        const uint8_t* centre = heat + r * heat_width;
        uint8_t* target = heat + (r + 1) * heat_width;
        for (int c = 0; c < heat_width; c += 32) {
            __m256i low = _mm256_mulhi_epu16(sums(centre + c), fifth);
            __m256i high = _mm256_mulhi_epu16(sums(centre + c + 16), fifth);
            // the pack works within each 128-bit half; the permute puts the quarters in order
            __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + c),
                                _mm256_subs_epu8(bytes, decay8));
        }
    }
}

#else

void decay_and_rise_avx2(uint8_t* heat, int32_t decay) {
    decay_and_rise_sse2(heat, decay);
}

#endif
