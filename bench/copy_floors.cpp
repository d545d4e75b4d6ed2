// The copy floor: the fastest loop found that maps a picture's 76,800 bytes through a 256-entry
// table of 32-bit pixels, which bounds the 8-to-32-bit copy of BitBlt. Each copy_* loop is one
// candidate; the report takes the fastest as the floor. Candidates of a level the processor lacks
// are skipped, saying so.
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

// The 8-to-32-bit copy's candidates: a picture of heat bytes through the fire palette's values
// as a 32-bit window would hold them.
alignas(64) static uint32_t copy_out[bench_picture_size];

static const uint32_t* copy_table() {
    static uint32_t table[256];
    for (uint32_t i = 0; i < 256; i++)
        table[i] = i * 0x010203u; // any 256 distinct pixels
    return table;
}

// One index load, one table load and one store per pixel.
static void floor_copy_bytes(benchmark::State& state) {
    const uint8_t* in = bench_heat();
    const uint32_t* table = copy_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i++)
            copy_out[i] = table[in[i]];
        benchmark::DoNotOptimize(copy_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_copy_bytes);

// Four indices per 32-bit load.
static void floor_copy_fours(benchmark::State& state) {
    const uint8_t* in = bench_heat();
    const uint32_t* table = copy_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i += 4) {
            uint32_t four;
            memcpy(&four, in + i, 4);
            copy_out[i] = table[four & 0xFF];
            copy_out[i + 1] = table[(four >> 8) & 0xFF];
            copy_out[i + 2] = table[(four >> 16) & 0xFF];
            copy_out[i + 3] = table[four >> 24];
        }
        benchmark::DoNotOptimize(copy_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_copy_fours);

// Eight indices per 64-bit load, two independent halves.
static void floor_copy_eights(benchmark::State& state) {
    const uint8_t* in = bench_heat();
    const uint32_t* table = copy_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i += 8) {
            uint64_t eight;
            memcpy(&eight, in + i, 8);
            uint32_t low = static_cast<uint32_t>(eight);
            uint32_t high = static_cast<uint32_t>(eight >> 32);
            copy_out[i] = table[low & 0xFF];
            copy_out[i + 4] = table[high & 0xFF];
            copy_out[i + 1] = table[(low >> 8) & 0xFF];
            copy_out[i + 5] = table[(high >> 8) & 0xFF];
            copy_out[i + 2] = table[(low >> 16) & 0xFF];
            copy_out[i + 6] = table[(high >> 16) & 0xFF];
            copy_out[i + 3] = table[low >> 24];
            copy_out[i + 7] = table[high >> 24];
        }
        benchmark::DoNotOptimize(copy_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_copy_eights);

// Two pixels per 64-bit store: half the stores of the loops above.
static void floor_copy_pairs64(benchmark::State& state) {
    const uint8_t* in = bench_heat();
    const uint32_t* table = copy_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i += 8) {
            uint64_t eight;
            memcpy(&eight, in + i, 8);
            uint64_t words[4];
            for (int k = 0; k < 4; k++) {
                uint32_t two = static_cast<uint32_t>(eight >> (16 * k));
                words[k] = table[two & 0xFF] | uint64_t{table[(two >> 8) & 0xFF]} << 32;
            }
            memcpy(copy_out + i, words, 32);
        }
        benchmark::DoNotOptimize(copy_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_copy_pairs64);

#if defined(__SSE2__)
// Sixteen indices read as bytes, four table entries put into each of four 16-byte stores: the
// baseline copy's loop, which the web build runs too.
static void floor_copy_sse2_sixteens(benchmark::State& state) {
    const uint8_t* in = bench_heat();
    const uint32_t* table = copy_table();
    for (auto _ : state) {
        for (int i = 0; i < bench_picture_size; i += 16) {
            const uint8_t* p = in + i;
            for (int k = 0; k < 4; k++)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(copy_out + i + 4 * k),
                                 _mm_setr_epi32(static_cast<int>(table[p[4 * k]]),
                                                static_cast<int>(table[p[4 * k + 1]]),
                                                static_cast<int>(table[p[4 * k + 2]]),
                                                static_cast<int>(table[p[4 * k + 3]])));
        }
        benchmark::DoNotOptimize(copy_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_copy_sse2_sixteens);
#endif

#if defined(__i386__) || defined(__x86_64__)
// Eight lookups as scalar loads put together into one 32-byte store.
static AVX2 void copy_avx2_insert_loop(const uint8_t* in, const uint32_t* table) {
    for (int i = 0; i < bench_picture_size; i += 8) {
        uint64_t e;
        memcpy(&e, in + i, 8);
        __m256i v = _mm256_setr_epi32(
            static_cast<int>(table[e & 0xFF]), static_cast<int>(table[(e >> 8) & 0xFF]),
            static_cast<int>(table[(e >> 16) & 0xFF]), static_cast<int>(table[(e >> 24) & 0xFF]),
            static_cast<int>(table[(e >> 32) & 0xFF]), static_cast<int>(table[(e >> 40) & 0xFF]),
            static_cast<int>(table[(e >> 48) & 0xFF]), static_cast<int>(table[e >> 56]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy_out + i), v);
    }
}

// Pairs of table entries joined into 64-bit words by the scalar units, four words put together
// into one 32-byte store: half the vector inserts of the loop above.
static AVX2 void copy_avx2_pairs_loop(const uint8_t* in, const uint32_t* table) {
    for (int i = 0; i < bench_picture_size; i += 8) {
        uint64_t e;
        memcpy(&e, in + i, 8);
        uint64_t w[4];
        for (int k = 0; k < 4; k++)
            w[k] = table[(e >> (16 * k)) & 0xFF] | uint64_t{table[(e >> (16 * k + 8)) & 0xFF]}
                                                       << 32;
        __m256i v = _mm256_setr_epi64x(static_cast<long long>(w[0]), static_cast<long long>(w[1]),
                                       static_cast<long long>(w[2]), static_cast<long long>(w[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy_out + i), v);
    }
}

static void floor_copy_avx2_pairs(benchmark::State& state) {
    if (!cpu_has_level(cpu_avx2)) {
        state.SkipWithError("this processor cannot run avx2");
        return;
    }
    const uint8_t* in = bench_heat();
    const uint32_t* table = copy_table();
    for (auto _ : state) {
        copy_avx2_pairs_loop(in, table);
        benchmark::DoNotOptimize(copy_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_copy_avx2_pairs);

static void floor_copy_avx2_insert(benchmark::State& state) {
    if (!cpu_has_level(cpu_avx2)) {
        state.SkipWithError("this processor cannot run avx2");
        return;
    }
    const uint8_t* in = bench_heat();
    const uint32_t* table = copy_table();
    for (auto _ : state) {
        copy_avx2_insert_loop(in, table);
        benchmark::DoNotOptimize(copy_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_copy_avx2_insert);

// Sixteen indices per load, widened to 32-bit lanes, two gathers of eight table entries.
static AVX2 void copy_avx2_loop(const uint8_t* in, const uint32_t* table) {
    const int* entries = reinterpret_cast<const int*>(table);
    for (int i = 0; i < bench_picture_size; i += 16) {
        __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        __m256i low = _mm256_i32gather_epi32(entries, _mm256_cvtepu8_epi32(sixteen), 4);
        __m256i high = _mm256_i32gather_epi32(
            entries, _mm256_cvtepu8_epi32(_mm_unpackhi_epi64(sixteen, sixteen)), 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy_out + i), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy_out + i + 8), high);
    }
}

static void floor_copy_avx2_gather(benchmark::State& state) {
    if (!cpu_has_level(cpu_avx2)) {
        state.SkipWithError("this processor cannot run avx2");
        return;
    }
    const uint8_t* in = bench_heat();
    const uint32_t* table = copy_table();
    for (auto _ : state) {
        copy_avx2_loop(in, table);
        benchmark::DoNotOptimize(copy_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_copy_avx2_gather);
#endif

#if defined(__x86_64__)
// Sixty-four lookups at once with VBMI: the table held in sixteen registers as four planes of
// bytes, each looked up by two two-register byte permutes and a blend on the index's top bit,
// the planes interleaved into pixels by unpacks, the indices put in the order that makes the
// unpacks' 128-bit lanes come out in row order.
static AVX512 void copy_avx512_vbmi_loop(const uint8_t* in, const uint8_t (*planes)[256]) {
    alignas(64) static const uint8_t order[64] = {
        0,  1,  2,  3,  16, 17, 18, 19, 32, 33, 34, 35, 48, 49, 50, 51, 4,  5,  6,  7,  20, 21,
        22, 23, 36, 37, 38, 39, 52, 53, 54, 55, 8,  9,  10, 11, 24, 25, 26, 27, 40, 41, 42, 43,
        56, 57, 58, 59, 12, 13, 14, 15, 28, 29, 30, 31, 44, 45, 46, 47, 60, 61, 62, 63};
    __m512i p[4][4];
    for (int b = 0; b < 4; b++)
        for (int q = 0; q < 4; q++)
            p[b][q] = _mm512_loadu_si512(planes[b] + 64 * q);
    const __m512i reorder = _mm512_load_si512(order);
    for (int i = 0; i < bench_picture_size; i += 64) {
        __m512i ix = _mm512_permutexvar_epi8(reorder, _mm512_loadu_si512(in + i));
        __mmask64 high = _mm512_movepi8_mask(ix);
        __m512i bytes[4];
        for (int b = 0; b < 4; b++)
            bytes[b] = _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(p[b][0], ix, p[b][1]),
                                              _mm512_permutex2var_epi8(p[b][2], ix, p[b][3]));
        __m512i low01 = _mm512_unpacklo_epi8(bytes[0], bytes[1]);
        __m512i high01 = _mm512_unpackhi_epi8(bytes[0], bytes[1]);
        __m512i low23 = _mm512_unpacklo_epi8(bytes[2], bytes[3]);
        __m512i high23 = _mm512_unpackhi_epi8(bytes[2], bytes[3]);
        _mm512_storeu_si512(copy_out + i, _mm512_unpacklo_epi16(low01, low23));
        _mm512_storeu_si512(copy_out + i + 16, _mm512_unpackhi_epi16(low01, low23));
        _mm512_storeu_si512(copy_out + i + 32, _mm512_unpacklo_epi16(high01, high23));
        _mm512_storeu_si512(copy_out + i + 48, _mm512_unpackhi_epi16(high01, high23));
    }
}

static void floor_copy_avx512_vbmi(benchmark::State& state) {
    if (!copy_level_available(copy_avx512)) {
        state.SkipWithError("this processor cannot run avx512 with vbmi");
        return;
    }
    const uint8_t* in = bench_heat();
    const uint32_t* table = copy_table();
    static uint8_t planes[4][256];
    for (int i = 0; i < 256; i++)
        for (int b = 0; b < 4; b++)
            planes[b][i] = static_cast<uint8_t>(table[i] >> (8 * b));
    for (auto _ : state) {
        copy_avx512_vbmi_loop(in, planes);
        benchmark::DoNotOptimize(copy_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(floor_copy_avx512_vbmi);
#endif
