// Only copy_rows_avx2 is compiled for AVX2 (a target attribute), so that no inline code shared
// with the rest of the stand-in is built with instructions the baseline may lack. The processor
// test is the one the engine makes (fireworks/cpu_level.cpp); the stand-in keeps its own copy,
// as it is built below the engine.
#include "pixel_copy_avx2.h"

#include <cstdint>
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

// Eight table entries read as plain loads, joined in pairs into 64-bit words by the scalar units
// and put together into one 32-byte store. The gather instruction would read them in one go, but
// on the machines measured it is slower than the eight loads (bench/floors.cpp:
// floor_copy_avx2_gather against floor_copy_avx2_pairs).
__attribute__((target("avx2"))) static void copy_rows_avx2(const uint8_t* in, uint32_t* out,
                                                           int width, const uint32_t* table) {
    int i = 0;
    for (; i + 8 <= width; i += 8) {
        uint64_t e;
        memcpy(&e, in + i, 8);
        uint64_t w[4];
        for (int k = 0; k < 4; k++)
            w[k] = table[(e >> (16 * k)) & 0xFF] | uint64_t{table[(e >> (16 * k + 8)) & 0xFF]}
                                                       << 32;
        __m256i eight =
            _mm256_setr_epi64x(static_cast<long long>(w[0]), static_cast<long long>(w[1]),
                               static_cast<long long>(w[2]), static_cast<long long>(w[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), eight);
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
