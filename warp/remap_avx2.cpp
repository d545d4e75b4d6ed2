// The remap at the AVX2 level. The processor's gather instruction would fetch eight heat bytes
// in one go, but on the machines measured it is slower than eight plain loads (bench/floors.cpp:
// floor_gather_avx2 against floor_gather_pairs), so the lookups stay scalar, joined in pairs of
// bytes for short dependency chains, and AVX2 only puts four 64-bit words together into one
// 32-byte store. Only this function is compiled for AVX2 (a target attribute), so nothing shared
// with the rest of the program assumes it.
#include "remap_levels.h"
#include "warp.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

namespace warp {

// Eight heat bytes, the first in the low byte.
static inline uint64_t lookup8(const uint8_t* heat, const uint32_t* e) {
    uint32_t a = heat[e[0]] | heat[e[1]] << 8;
    uint32_t b = heat[e[2]] | heat[e[3]] << 8;
    uint32_t c = heat[e[4]] | heat[e[5]] << 8;
    uint32_t d = heat[e[6]] | heat[e[7]] << 8;
    return uint64_t{a | b << 16} | uint64_t{c | d << 16} << 32;
}

__attribute__((target("avx2"))) void remap_table_avx2(const uint8_t* heat, const uint32_t* table,
                                                      uint8_t* out) {
    for (int i = 0; i < table_size; i += 32) {
        __m256i bytes = _mm256_setr_epi64x(static_cast<long long>(lookup8(heat, table + i)),
                                           static_cast<long long>(lookup8(heat, table + i + 8)),
                                           static_cast<long long>(lookup8(heat, table + i + 16)),
                                           static_cast<long long>(lookup8(heat, table + i + 24)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), bytes);
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
