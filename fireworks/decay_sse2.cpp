// The heat buffer step, sixteen bytes at a time with SSE2 (present on every x86-64 processor and
// required of the 32-bit Windows build). Each row pass reads three old rows and writes the upper
// one in place; a 16-byte block reads its own columns of the upper row before writing them, so
// in-place writing is safe. The last block of a row reads one byte past the centre row's end:
// the first byte of the row above, which the first block of the same pass has already written.
// That is exactly the wrap that the byte-at-a-time step gives.
#include "fireworks.h"

#include <emmintrin.h>

static inline __m128i load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

void decay_and_rise(uint8_t* heat, int32_t decay) {
    // decay is held in 0..10 by its owner; saturating subtraction needs it as an unsigned byte
    int d = decay < 0 ? 0 : (decay > 255 ? 255 : decay);
    const __m128i decay8 = _mm_set1_epi8(static_cast<char>(d));
    const __m128i zero = _mm_setzero_si128();
    // (s * 13108) >> 16 equals s / 5 for every s in 0..1275, the range of a five-byte sum
    const __m128i fifth = _mm_set1_epi16(13108);

    for (int i = 0; i < 2 * heat_width; i += 16) {
        __m128i* p = reinterpret_cast<__m128i*>(heat + i);
        _mm_storeu_si128(p, _mm_subs_epu8(load(heat + i), decay8));
    }

    for (int r = heat_height - 2; r >= 1; r--) {
        uint8_t* centre = heat + r * heat_width;
        for (int c = 0; c < heat_width; c += 16) {
            const uint8_t* m = centre + c;
            __m128i mid = load(m);
            __m128i left = load(m - 1);
            __m128i right = load(m + 1);
            __m128i below = load(m - heat_width);
            __m128i above = load(m + heat_width);

            __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(mid, zero), _mm_unpacklo_epi8(left, zero));
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(right, zero));
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(below, zero));
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(above, zero));
            __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(mid, zero), _mm_unpackhi_epi8(left, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(right, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(below, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(above, zero));

            lo = _mm_mulhi_epu16(lo, fifth);
            hi = _mm_mulhi_epu16(hi, fifth);
            __m128i out = _mm_subs_epu8(_mm_packus_epi16(lo, hi), decay8);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(centre + heat_width + c), out);
        }
    }
}
