// Inputs shared by the benchmarks, built once and outside the timed loops: a heat buffer as the
// programs see it after a few seconds of fireworks, and the polar warp as a 32-bit index table in
// write order (the order the screen picture is stored in).
#pragma once

#include <cstdint>

#include <benchmark/benchmark.h>

constexpr int bench_picture_size = 320 * 240;

// Scratch output picture for the floors.
extern uint8_t bench_out[bench_picture_size];

// A heat buffer after 400 frames from the start of a run (every particle slot in flight).
const uint8_t* bench_heat();

// Entry (239 - y) * 320 + x names the heat byte that the polar warp shows at screen pixel (x, y).
const uint32_t* bench_write_order_table();

// Starts the fountain afresh on heat and runs it for frames frames (decay 2), so that the
// particle pool is in its steady state: 300 slots in flight, two launched per frame.
void bench_run_fireworks(uint8_t* heat, int frames);

// decay_and_rise_plain built without the compiler's vectorisers (plain_scalar.cpp).
void decay_and_rise_plain_scalar(uint8_t* heat, int32_t decay);

// Runs the frame's inner loops (heat step, remap, the 8-to-32-bit copies) at vector level
// `level` (0 SSE2, 1 AVX2, 2 AVX-512) from now on, or, for `bench_chosen`, at the levels each
// measures fastest, as the programs do: a benchmark at that level runs its work once before it
// is timed, so that the measuring is not. Skips the benchmark, saying why, and returns false
// when the processor cannot run that level.
constexpr int bench_chosen = 3;
bool bench_use_level(benchmark::State& state, int level);
// Names the levels in use in the benchmark's label (after its loop).
void bench_label_levels(benchmark::State& state);

// Registers a benchmark once for each vector level: NAME/level:0 (SSE2), NAME/level:1 (AVX2),
// NAME/level:2 (AVX-512) and NAME/level:3 (as chosen).
#define BENCHMARK_LEVELS(name) BENCHMARK(name)->ArgName("level")->DenseRange(0, bench_chosen)
