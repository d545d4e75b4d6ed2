// The remap with AVX2 gathers, eight table entries a gather. Only these functions are compiled
// for AVX2 (a target attribute), so nothing shared with the rest of the program assumes it.
//
// A gather reads 32-bit words, and the byte wanted is the first of its word. The last three heat
// bytes have no three bytes after them, so an entry above 76,796 reads the word at 76,796 and
// shifts its byte down: the gather never reads outside the heat buffer.
#include "remap_levels.h"
#include "warp.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#define AVX2 __attribute__((target("avx2")))

namespace warp {

constexpr int last_word = table_size - 4;

// Eight heat bytes, one in the low byte of each 32-bit lane.
static inline AVX2 __m256i gather8(const uint8_t* heat, const uint32_t* entries) {
    const __m256i last = _mm256_set1_epi32(last_word);
    __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(entries));
    __m256i word_at = _mm256_min_epu32(index, last);
    __m256i shift = _mm256_slli_epi32(_mm256_sub_epi32(index, word_at), 3);
    __m256i words = _mm256_i32gather_epi32(reinterpret_cast<const int*>(heat), word_at, 1);
    return _mm256_and_si256(_mm256_srlv_epi32(words, shift), _mm256_set1_epi32(0xFF));
}

AVX2 void remap_table_avx2(const uint8_t* heat, const uint32_t* table, uint8_t* out) {
    // The packs work within 128-bit halves: bytes come out as entries 0-3, 8-11, 16-19, 24-27,
    // 4-7, ...; the permute puts those 32-bit groups back in order.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (int i = 0; i < table_size; i += 32) {
        __m256i a = gather8(heat, table + i);
        __m256i b = gather8(heat, table + i + 8);
        __m256i c = gather8(heat, table + i + 16);
        __m256i d = gather8(heat, table + i + 24);
        __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(a, b), _mm256_packus_epi32(c, d));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_permutevar8x32_epi32(bytes, order));
    }
}

} // namespace warp

#else

namespace warp {

void remap_table_avx2(const uint8_t* heat, const uint32_t* table, uint8_t* out) {
    remap_table_baseline(heat, table, out);
}

} // namespace warp

#endif
