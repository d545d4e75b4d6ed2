// Only copy_rows_avx2 is compiled for AVX2 (a target attribute), so that no inline code shared
// with the rest of the stand-in is built with instructions the baseline may lack. The processor
// test is the one the engine makes (fireworks/cpu_level.cpp); the stand-in keeps its own copy,
// as it is built below the engine.
#include "pixel_copy_avx2.h"

#include <cstdlib>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

static bool machine_has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}

static bool avx2_wanted() {
    const char* asked = getenv("SORVEL_CPU");
    return machine_has_avx2() && (asked == nullptr || strcmp(asked, "sse2") != 0);
}

static bool use_avx2 = avx2_wanted();

// Eight pixels a gather: the indices widened to 32-bit lanes name table entries.
__attribute__((target("avx2"))) static void copy_rows_avx2(const uint8_t* in, uint32_t* out,
                                                           int width, const uint32_t* table) {
    const int* entries = reinterpret_cast<const int*>(table);
    int i = 0;
    for (; i + 16 <= width; i += 16) {
        __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        __m256i low = _mm256_i32gather_epi32(entries, _mm256_cvtepu8_epi32(sixteen), 4);
        __m256i high = _mm256_i32gather_epi32(
            entries, _mm256_cvtepu8_epi32(_mm_unpackhi_epi64(sixteen, sixteen)), 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 8), high);
    }
    for (; i < width; i++)
        out[i] = table[in[i]];
}

bool copy_row_8_to_32_avx2(const uint8_t* in, uint32_t* out, int width, const uint32_t* table) {
    if (!use_avx2)
        return false;
    copy_rows_avx2(in, out, width, table);
    return true;
}

bool pixel_copy_use_avx2(bool on) {
    use_avx2 = on && machine_has_avx2();
    return use_avx2;
}

#else

bool copy_row_8_to_32_avx2(const uint8_t*, uint32_t*, int, const uint32_t*) {
    return false;
}

bool pixel_copy_use_avx2(bool) {
    return false;
}

#endif
