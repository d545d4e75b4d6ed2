// The steps of a frame, each on its own, and a whole frame of each program without the present:
// the heat buffer step (at each vector level, and plain), the particle fountain in its steady
// state, the warp remap in the layout the program uses and in the column order it could have used,
// and the start-up's table build.
#include <cstring>

#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "fireworks.h"
#include "warp.h"

alignas(64) static uint8_t heat[bench_picture_size];

// The step runs on a heat buffer taken from a live run and refreshed now and then, so that it
// does not decay to black and flatter a loop whose speed depends on the values.
template <void (*step)(uint8_t*, int32_t)> static void run_decay(benchmark::State& state) {
    step(heat, 2);
    memcpy(heat, bench_heat(), sizeof heat);
    int frames = 0;
    for (auto _ : state) {
        step(heat, 2);
        benchmark::DoNotOptimize(heat);
        benchmark::ClobberMemory();
        if (++frames == 32) {
            state.PauseTiming();
            memcpy(heat, bench_heat(), sizeof heat);
            frames = 0;
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(state.iterations() * bench_picture_size);
}

static void step_decay_and_rise(benchmark::State& state) {
    if (bench_use_level(state, static_cast<int>(state.range(0)))) {
        run_decay<decay_and_rise>(state);
        bench_label_levels(state);
    }
}
BENCHMARK_LEVELS(step_decay_and_rise);

static void step_decay_and_rise_plain(benchmark::State& state) {
    run_decay<decay_and_rise_plain>(state);
}
BENCHMARK(step_decay_and_rise_plain);

static void step_decay_and_rise_plain_scalar(benchmark::State& state) {
    run_decay<decay_and_rise_plain_scalar>(state);
}
BENCHMARK(step_decay_and_rise_plain_scalar);

static void step_update_particles(benchmark::State& state) {
    bench_run_fireworks(heat, 400);
    int flying = 0;
    for (const Particle& p : particle_pool)
        flying += p.life > 0;
    if (flying != particle_count)
        state.SkipWithError("the particle pool is not full after 400 frames");
    for (auto _ : state) {
        update_particles(heat);
        benchmark::DoNotOptimize(heat);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(step_update_particles);

static void step_build_warp_tables(benchmark::State& state) {
    for (auto _ : state) {
        warp::build_warp_tables();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(step_build_warp_tables)->Unit(benchmark::kMillisecond);

// The program's remap through its own surfaces and table.
static void step_remap_through_warp(benchmark::State& state) {
    if (!bench_use_level(state, static_cast<int>(state.range(0))))
        return;
    warp::effect_init(nullptr);
    if (warp::fire_surface.bits == nullptr || warp::screen_surface.bits == nullptr) {
        state.SkipWithError("the surfaces could not be created");
        warp::effect_shutdown();
        return;
    }
    memcpy(warp::fire_surface.bits, bench_heat(), bench_picture_size);
    warp::remap_through_warp();
    for (auto _ : state) {
        warp::remap_through_warp();
        benchmark::DoNotOptimize(warp::screen_surface.bits);
        benchmark::ClobberMemory();
    }
    bench_label_levels(state);
    warp::effect_shutdown();
}
BENCHMARK_LEVELS(step_remap_through_warp);

// The same bytes with the table in column order (entry x * 240 + y for screen pixel (x, y)),
// the loop running down each column: table reads in sequence, byte stores 320 bytes apart.
alignas(64) static uint32_t column_order_table[bench_picture_size];

static void make_column_order_table() {
    const uint32_t* write_order = bench_write_order_table();
    for (int x = 0; x < 320; x++)
        for (int y = 0; y < 240; y++)
            column_order_table[x * 240 + y] = write_order[(239 - y) * 320 + x];
}

static void layout_column_order(benchmark::State& state) {
    make_column_order_table();
    const uint8_t* source = bench_heat();
    for (auto _ : state) {
        for (int x = 0; x < 320; x++)
            for (int y = 0; y < 240; y++)
                bench_out[(239 - y) * 320 + x] = source[column_order_table[x * 240 + y]];
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(layout_column_order);

// Column order, four columns at a time so that each store is a 32-bit word of one row: four
// table streams read in step.
static void layout_column_order_by_four(benchmark::State& state) {
    make_column_order_table();
    const uint8_t* source = bench_heat();
    for (auto _ : state) {
        for (int x = 0; x < 320; x += 4) {
            const uint32_t* t = column_order_table + x * 240;
            for (int y = 0; y < 240; y++) {
                uint32_t word = uint32_t{source[t[y]]} | uint32_t{source[t[240 + y]]} << 8 |
                                uint32_t{source[t[480 + y]]} << 16 |
                                uint32_t{source[t[720 + y]]} << 24;
                memcpy(bench_out + (239 - y) * 320 + x, &word, 4);
            }
        }
        benchmark::DoNotOptimize(bench_out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(layout_column_order_by_four);

// Whole frames of each program, the steps only: no present.
static void frame_sorvel2_steps(benchmark::State& state) {
    if (!bench_use_level(state, static_cast<int>(state.range(0))))
        return;
    warp::effect_init(nullptr);
    if (warp::fire_surface.bits == nullptr || warp::screen_surface.bits == nullptr) {
        state.SkipWithError("the surfaces could not be created");
        warp::effect_shutdown();
        return;
    }
    bench_run_fireworks(warp::fire_surface.bits, 400);
    warp::remap_through_warp();
    for (auto _ : state) {
        decay_and_rise(warp::fire_surface.bits, 2);
        update_particles(warp::fire_surface.bits);
        warp::remap_through_warp();
        benchmark::DoNotOptimize(warp::screen_surface.bits);
        benchmark::ClobberMemory();
    }
    bench_label_levels(state);
    warp::effect_shutdown();
}
BENCHMARK_LEVELS(frame_sorvel2_steps);

static void frame_sorvel_steps(benchmark::State& state) {
    if (!bench_use_level(state, static_cast<int>(state.range(0))))
        return;
    bench_run_fireworks(heat, 400);
    for (auto _ : state) {
        decay_and_rise(heat, 2);
        update_particles(heat);
        benchmark::DoNotOptimize(heat);
        benchmark::ClobberMemory();
    }
    bench_label_levels(state);
}
BENCHMARK_LEVELS(frame_sorvel_steps);
