// The remap at the AVX-512 level: sixteen heat bytes per gather instruction, four gathers joined
// into one 64-byte store by two byte permutes. A gather reads a 32-bit word at each entry's byte
// and keeps its low byte; an entry among the heat buffer's last three bytes reads the word that
// ends at its byte instead, and keeps the top byte, so that nothing is read past the buffer.
// Only this function is compiled for AVX-512 (a target attribute), and only for 64-bit x86
// outside Windows, where GCC cannot align the stack for the 64-byte registers it may spill.
#include "remap_levels.h"
#include "warp.h"

#if defined(__x86_64__) && !defined(_WIN32)

#include <immintrin.h>

// GCC 12's own AVX-512 intrinsics pass an undefined register as the unused merge source, which
// its uninitialised-value warnings then report in every caller.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace warp {

// Sixteen heat bytes, each in the low byte of a 32-bit lane.
static inline AVX512 __m512i lookup16(const uint8_t* heat, const uint32_t* entries) {
    const __m512i last_word = _mm512_set1_epi32(table_size - 4);
    __m512i at = _mm512_loadu_si512(entries);
    __mmask16 near_end = _mm512_cmpgt_epu32_mask(at, last_word);
    at = _mm512_mask_sub_epi32(at, near_end, at, _mm512_set1_epi32(3));
    __m512i words = _mm512_i32gather_epi32(at, heat, 1);
    return _mm512_srlv_epi32(words, _mm512_maskz_set1_epi32(near_end, 24));
}

// Byte 0 of each lane of the first register, then of the second, in the low 32 bytes.
alignas(64) static const uint8_t low_bytes[64] = {0,  4,  8,  12,  16,  20,  24,  28,  32,  36, 40,
                                                  44, 48, 52, 56,  60,  64,  68,  72,  76,  80, 84,
                                                  88, 92, 96, 100, 104, 108, 112, 116, 120, 124};

AVX512 void remap_table_avx512(const uint8_t* heat, const uint32_t* table, uint8_t* out) {
    const __m512i pick = _mm512_load_si512(low_bytes);
    for (int i = 0; i < table_size; i += 64) {
        __m512i first = _mm512_permutex2var_epi8(lookup16(heat, table + i), pick,
                                                 lookup16(heat, table + i + 16));
        __m512i second = _mm512_permutex2var_epi8(lookup16(heat, table + i + 32), pick,
                                                  lookup16(heat, table + i + 48));
        _mm512_storeu_si512(out + i, _mm512_inserti64x4(first, _mm512_castsi512_si256(second), 1));
    }
}

} // namespace warp

#else

namespace warp {

void remap_table_avx512(const uint8_t* heat, const uint32_t* table, uint8_t* out) {
    remap_table_avx2(heat, table, out);
}

} // namespace warp

#endif
