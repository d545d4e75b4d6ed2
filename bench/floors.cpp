// The floors the frame steps are held against: what the machine takes to move the same number of
// bytes with no work in between. memcpy of one 320 x 240 picture bounds the heat buffer step;
// the gather floor, the fastest loop found that fills a picture in order from heat[index[i]]
// with a 32-bit index table in write order, bounds the warp remap; the copy floor bounds the
// 8-to-32-bit copy of BitBlt (copy_floors.cpp). Each gather_* loop is one candidate; the report
// takes the fastest as the floor. Candidates of a level the processor lacks are skipped, saying
// so.
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define AVX2 __attribute__((target("avx2")))
#endif
#if defined(__x86_64__)
#define AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))
// GCC 12's own AVX-512 intrinsics pass an undefined register as the unused merge source, which
// its uninitialised-value warnings then report in every caller.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#endif

#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "cpu_level.h"
#include "pixel_copy.h"

static void floor_memcpy(benchmark::State& state) {
    const uint8_t* source = bench_heat();
    for (auto _ : state) {
        memcpy(bench_out, source, bench_picture_size);
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * bench_picture_size);
}
BENCHMARK(floor_memcpy);

// One byte load and one byte store per pixel.
static void floor_gather_bytes(benchmark::State& state) {
    const uint8_t* heat = bench_heat();
    const uint32_t* index = bench_write_order_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i++)
            bench_out[i] = heat[index[i]];
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_gather_bytes);

// Four lookups packed into one 32-bit store.
static void floor_gather_32(benchmark::State& state) {
    const uint8_t* heat = bench_heat();
    const uint32_t* index = bench_write_order_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i += 4) {
            uint32_t word = uint32_t{heat[index[i]]} | uint32_t{heat[index[i + 1]]} << 8 |
                            uint32_t{heat[index[i + 2]]} << 16 | uint32_t{heat[index[i + 3]]} << 24;
            memcpy(bench_out + i, &word, 4);
        }
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_gather_32);

static inline uint64_t gather8(const uint8_t* heat, const uint32_t* index) {
    return uint64_t{heat[index[0]]} | uint64_t{heat[index[1]]} << 8 |
           uint64_t{heat[index[2]]} << 16 | uint64_t{heat[index[3]]} << 24 |
           uint64_t{heat[index[4]]} << 32 | uint64_t{heat[index[5]]} << 40 |
           uint64_t{heat[index[6]]} << 48 | uint64_t{heat[index[7]]} << 56;
}

// Eight lookups packed into one 64-bit store.
static void floor_gather_64(benchmark::State& state) {
    const uint8_t* heat = bench_heat();
    const uint32_t* index = bench_write_order_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i += 8) {
            uint64_t word = gather8(heat, index + i);
            memcpy(bench_out + i, &word, 8);
        }
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_gather_64);

// Two independent 64-bit words per step, so the two chains of shifts and ors overlap.
static void floor_gather_64x2(benchmark::State& state) {
    const uint8_t* heat = bench_heat();
    const uint32_t* index = bench_write_order_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i += 16) {
            uint64_t words[2] = {gather8(heat, index + i), gather8(heat, index + i + 8)};
            memcpy(bench_out + i, words, 16);
        }
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_gather_64x2);

// Pairs of lookups joined into 16-bit halves first: shorter dependency chains per word.
static void floor_gather_pairs(benchmark::State& state) {
    const uint8_t* heat = bench_heat();
    const uint32_t* index = bench_write_order_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i += 8) {
            const uint32_t* e = index + i;
            uint32_t a = heat[e[0]] | heat[e[1]] << 8;
            uint32_t b = heat[e[2]] | heat[e[3]] << 8;
            uint32_t c = heat[e[4]] | heat[e[5]] << 8;
            uint32_t d = heat[e[6]] | heat[e[7]] << 8;
            uint64_t word = uint64_t{a | b << 16} | uint64_t{c | d << 16} << 32;
            memcpy(bench_out + i, &word, 8);
        }
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_gather_pairs);

#if defined(__i386__) || defined(__x86_64__)
// Eight lookups a gather, four gathers packed into one 32-byte store. The heat bytes are copied
// into a buffer with three bytes to spare, so each 32-bit gather may read past the last one: the
// floor skips the care that the program's remap takes at the buffer's end.
alignas(64) static uint8_t padded_heat[bench_picture_size + 4];

static inline AVX2 __m256i gather_bytes8(const uint32_t* index) {
    __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(index));
    __m256i words = _mm256_i32gather_epi32(reinterpret_cast<const int*>(padded_heat), at, 1);
    return _mm256_and_si256(words, _mm256_set1_epi32(0xFF));
}

static AVX2 void gather_avx2_loop(const uint32_t* index) {
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (int i = 0; i < bench_picture_size; i += 32) {
        __m256i a = gather_bytes8(index + i);
        __m256i b = gather_bytes8(index + i + 8);
        __m256i c = gather_bytes8(index + i + 16);
        __m256i d = gather_bytes8(index + i + 24);
        __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(a, b), _mm256_packus_epi32(c, d));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(bench_out + i),
                            _mm256_permutevar8x32_epi32(bytes, order));
    }
}

static void floor_gather_avx2(benchmark::State& state) {
    if (!cpu_has_level(cpu_avx2)) {
        state.SkipWithError("this processor cannot run avx2");
        return;
    }
    memcpy(padded_heat, bench_heat(), bench_picture_size);
    const uint32_t* index = bench_write_order_table();
    for (auto _ : state) {
        gather_avx2_loop(index);
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_gather_avx2);

// Pairs of lookups joined into 16-bit halves, as floor_gather_pairs, and four 64-bit words put
// together into one 32-byte store.
static inline uint64_t pairs8(const uint8_t* heat, const uint32_t* e) {
    uint32_t a = heat[e[0]] | heat[e[1]] << 8;
    uint32_t b = heat[e[2]] | heat[e[3]] << 8;
    uint32_t c = heat[e[4]] | heat[e[5]] << 8;
    uint32_t d = heat[e[6]] | heat[e[7]] << 8;
    return uint64_t{a | b << 16} | uint64_t{c | d << 16} << 32;
}

static AVX2 void gather_assemble_loop(const uint8_t* heat, const uint32_t* index) {
    for (int i = 0; i < bench_picture_size; i += 32) {
        __m256i v = _mm256_setr_epi64x(static_cast<long long>(pairs8(heat, index + i)),
                                       static_cast<long long>(pairs8(heat, index + i + 8)),
                                       static_cast<long long>(pairs8(heat, index + i + 16)),
                                       static_cast<long long>(pairs8(heat, index + i + 24)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(bench_out + i), v);
    }
}

static void floor_gather_avx2_assemble(benchmark::State& state) {
    if (!cpu_has_level(cpu_avx2)) {
        state.SkipWithError("this processor cannot run avx2");
        return;
    }
    const uint8_t* heat = bench_heat();
    const uint32_t* index = bench_write_order_table();
    for (auto _ : state) {
        gather_assemble_loop(heat, index);
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_gather_avx2_assemble);
#endif

#if defined(__x86_64__)
// Sixteen lookups a gather, four gathers joined into one 64-byte store by two byte permutes; on
// the padded copy of the heat bytes, as floor_gather_avx2.
static inline AVX512 __m512i gather_bytes16(const uint32_t* index) {
    return _mm512_i32gather_epi32(_mm512_loadu_si512(index), padded_heat, 1);
}

static AVX512 void gather_avx512_loop(const uint32_t* index) {
    alignas(64) static const uint8_t low_bytes[64] = {
        0,  4,  8,  12, 16, 20, 24, 28, 32, 36,  40,  44,  48,  52,  56,  60,
        64, 68, 72, 76, 80, 84, 88, 92, 96, 100, 104, 108, 112, 116, 120, 124};
    const __m512i pick = _mm512_load_si512(low_bytes);
    for (int i = 0; i < bench_picture_size; i += 64) {
        __m512i a = _mm512_permutex2var_epi8(gather_bytes16(index + i), pick,
                                             gather_bytes16(index + i + 16));
        __m512i b = _mm512_permutex2var_epi8(gather_bytes16(index + i + 32), pick,
                                             gather_bytes16(index + i + 48));
        _mm512_storeu_si512(bench_out + i, _mm512_inserti64x4(a, _mm512_castsi512_si256(b), 1));
    }
}

static void floor_gather_avx512(benchmark::State& state) {
    if (!cpu_has_level(cpu_avx512) || !copy_level_available(copy_avx512)) {
        state.SkipWithError("this processor cannot run avx512 with vbmi");
        return;
    }
    memcpy(padded_heat, bench_heat(), bench_picture_size);
    const uint32_t* index = bench_write_order_table();
    for (auto _ : state) {
        gather_avx512_loop(index);
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_gather_avx512);

// Pairs of lookups joined into 16-bit halves, eight 64-bit words put together into one 64-byte
// store.
static AVX512 void gather_assemble_avx512_loop(const uint8_t* heat, const uint32_t* index) {
    for (int i = 0; i < bench_picture_size; i += 64) {
        __m512i v = _mm512_setr_epi64(static_cast<long long>(pairs8(heat, index + i)),
                                      static_cast<long long>(pairs8(heat, index + i + 8)),
                                      static_cast<long long>(pairs8(heat, index + i + 16)),
                                      static_cast<long long>(pairs8(heat, index + i + 24)),
                                      static_cast<long long>(pairs8(heat, index + i + 32)),
                                      static_cast<long long>(pairs8(heat, index + i + 40)),
                                      static_cast<long long>(pairs8(heat, index + i + 48)),
                                      static_cast<long long>(pairs8(heat, index + i + 56)));
        _mm512_storeu_si512(bench_out + i, v);
    }
}

static void floor_gather_avx512_assemble(benchmark::State& state) {
    if (!cpu_has_level(cpu_avx512)) {
        state.SkipWithError("this processor cannot run avx512");
        return;
    }
    const uint8_t* heat = bench_heat();
    const uint32_t* index = bench_write_order_table();
    for (auto _ : state) {
        gather_assemble_avx512_loop(heat, index);
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_gather_avx512_assemble);
#endif

// Two table entries per 64-bit load, the byte lookups joined in pairs.
static void floor_gather_wide_index(benchmark::State& state) {
    const uint8_t* heat = bench_heat();
    const uint32_t* index = bench_write_order_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i += 8) {
            uint64_t e[4];
            memcpy(e, index + i, 32);
            uint32_t a = heat[static_cast<uint32_t>(e[0])] | heat[e[0] >> 32] << 8;
            uint32_t b = heat[static_cast<uint32_t>(e[1])] | heat[e[1] >> 32] << 8;
            uint32_t c = heat[static_cast<uint32_t>(e[2])] | heat[e[2] >> 32] << 8;
            uint32_t d = heat[static_cast<uint32_t>(e[3])] | heat[e[3] >> 32] << 8;
            uint64_t word = uint64_t{a | b << 16} | uint64_t{c | d << 16} << 32;
            memcpy(bench_out + i, &word, 8);
        }
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_gather_wide_index);
