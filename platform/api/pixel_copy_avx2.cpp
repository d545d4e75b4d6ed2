// The 1x copy at the AVX2 level. Only copy_rect_avx2 is compiled for AVX2 (a target attribute),
// so that no inline code shared with the rest of the stand-in is built with instructions the
// baseline may lack; it runs only where cpu_runs_avx2() says so.
#include <cstring>

#include "pixel_copy_paths.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

// Eight table entries read as plain loads, joined in pairs into 64-bit words by the scalar units
// and put together into one 32-byte store. The gather instruction would read them in one go, but
// on the machines measured it is slower than the eight loads (bench/floors.cpp:
// floor_copy_avx2_gather against floor_copy_avx2_pairs).
__attribute__((target("avx2"))) void copy_rect_avx2(const IndexRows& source,
                                                    const PixelTable& table, uint8_t* out,
                                                    ptrdiff_t out_pitch) {
    const uint32_t* values = table.values;
    for (int row = 0; row < source.height; row++) {
        const uint8_t* in = source.top + row * source.stride;
        uint32_t* to = reinterpret_cast<uint32_t*>(out + row * out_pitch);
        int i = 0;
        for (; i + 8 <= source.width; i += 8) {
            uint64_t e;
            memcpy(&e, in + i, 8);
            uint64_t w[4];
            for (int k = 0; k < 4; k++)
                w[k] = values[(e >> (16 * k)) & 0xFF] | uint64_t{values[(e >> (16 * k + 8)) & 0xFF]}
                                                            << 32;
            __m256i eight =
                _mm256_setr_epi64x(static_cast<long long>(w[0]), static_cast<long long>(w[1]),
                                   static_cast<long long>(w[2]), static_cast<long long>(w[3]));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), eight);
        }
        for (; i < source.width; i++)
            to[i] = values[in[i]];
    }
}

#else

void copy_rect_avx2(const IndexRows& source, const PixelTable& table, uint8_t* out,
                    ptrdiff_t out_pitch) {
    copy_rect_baseline(source, table, out, out_pitch);
}

#endif
