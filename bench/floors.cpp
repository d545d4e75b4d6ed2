// The floors the frame steps are held against: what the machine takes to move the same number of
// bytes with no work in between. memcpy of one 320 x 240 picture bounds the heat buffer step;
// the gather floor, the fastest loop found that fills a picture in order from heat[index[i]]
// with a 32-bit index table in write order, bounds the warp remap. Each gather_* loop is one
// candidate; the report takes the fastest of them as the floor.
#include <cstring>

#include <benchmark/benchmark.h>

#include "bench_data.h"

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
