// The present and what feeds it: a palette scheme switch (one colour-table upload), the block
// transfer of an 8-bit 320 x 240 picture into a memory DC holding a 32-bit DIB section and into
// a window, and a whole frame of each program through its own effect_render into a memory DC.
#include <cstring>

#include <benchmark/benchmark.h>

#include <windows.h>

#include "bench_data.h"
#include "fireworks.h"
#include "palette_demo.h"
#include "shell.h"
#include "surface.h"
#include "warp.h"

// An 8-bit picture in the fire palette holding a live heat buffer, and a 32-bit surface standing
// in for the window, as the recorder uses one.
static bool make_surfaces(benchmark::State& state, Surface* picture, Surface* window) {
    RGBQUAD palette[256];
    build_fire_palette(palette);
    surface_create(picture, 8, picture_width, picture_height, palette);
    surface_create(window, 32, picture_width, picture_height, nullptr);
    if (picture->bits == nullptr || window->bits == nullptr) {
        state.SkipWithError("the surfaces could not be created");
        return false;
    }
    memcpy(picture->bits, bench_heat(), bench_picture_size);
    return true;
}

static void present_bitblt_memory_dc(benchmark::State& state) {
    bench_use_level(state, bench_chosen);
    Surface picture;
    Surface window;
    if (make_surfaces(state, &picture, &window)) {
        for (auto _ : state) {
            BitBlt(window.dc, 0, 0, picture_width, picture_height, picture.dc, 0, 0, SRCCOPY);
            benchmark::DoNotOptimize(window.bits);
            benchmark::ClobberMemory();
        }
    }
    surface_destroy(&window);
    surface_destroy(&picture);
}
BENCHMARK(present_bitblt_memory_dc);

// The window of the shell; with SDL_VIDEODRIVER=dummy its pixels live in memory and showing
// them costs nothing, so this is the conversion and the window surface's bookkeeping.
static void present_bitblt_window(benchmark::State& state) {
    bench_use_level(state, bench_chosen);
    static HWND main_window =
        create_main_window(GetModuleHandleA(nullptr), picture_width, picture_height);
    Surface picture;
    RGBQUAD palette[256];
    build_fire_palette(palette);
    surface_create(&picture, 8, picture_width, picture_height, palette);
    HDC window_dc = main_window != nullptr ? GetDC(main_window) : nullptr;
    if (window_dc == nullptr || picture.bits == nullptr) {
        state.SkipWithError("no window (is SDL_VIDEODRIVER=dummy available?)");
    } else {
        memcpy(picture.bits, bench_heat(), bench_picture_size);
        for (auto _ : state) {
            BitBlt(window_dc, 0, 0, picture_width, picture_height, picture.dc, 0, 0, SRCCOPY);
            benchmark::ClobberMemory();
        }
    }
    surface_destroy(&picture);
}
BENCHMARK(present_bitblt_window);

// One Space press in sorvel: build the next scheme and upload it into the surface's colour table.
static void present_palette_scheme(benchmark::State& state) {
    palette_demo::effect_init(nullptr);
    if (palette_demo::fire_surface.bits == nullptr) {
        state.SkipWithError("the surface could not be created");
    } else {
        for (auto _ : state) {
            variant = (variant + 1) % 6;
            palette_demo::apply_palette_scheme();
            benchmark::ClobberMemory();
        }
    }
    variant = 0;
    palette_demo::effect_shutdown();
}
BENCHMARK(present_palette_scheme);

// A switch followed by the present that shows it: the present rebuilds its 256-entry
// index-to-pixel table once for the new colours. Against present_bitblt_memory_dc, which never
// rebuilds, this shows what a rebuild costs.
static void present_palette_scheme_and_bitblt(benchmark::State& state) {
    bench_use_level(state, bench_chosen);
    Surface window;
    surface_create(&window, 32, picture_width, picture_height, nullptr);
    palette_demo::effect_init(nullptr);
    if (palette_demo::fire_surface.bits == nullptr || window.bits == nullptr) {
        state.SkipWithError("the surfaces could not be created");
    } else {
        memcpy(palette_demo::fire_surface.bits, bench_heat(), bench_picture_size);
        for (auto _ : state) {
            variant = (variant + 1) % 6;
            palette_demo::apply_palette_scheme();
            BitBlt(window.dc, 0, 0, picture_width, picture_height, palette_demo::fire_surface.dc, 0,
                   0, SRCCOPY);
            benchmark::ClobberMemory();
        }
    }
    variant = 0;
    palette_demo::effect_shutdown();
    surface_destroy(&window);
}
BENCHMARK(present_palette_scheme_and_bitblt);

// Whole frames: the program's own effect, run through its record, into a memory DC holding a
// 32-bit DIB section, after 400 frames so that every particle slot is in flight.
static void run_frames(benchmark::State& state, const Effect& effect) {
    bench_use_level(state, bench_chosen);
    Surface window;
    surface_create(&window, 32, picture_width, picture_height, nullptr);
    reset_rand15();
    effect.init(nullptr);
    if (effect.shown->bits == nullptr || window.bits == nullptr) {
        state.SkipWithError("the surfaces could not be created");
    } else {
        for (int i = 0; i < 400; i++)
            effect.render(window.dc);
        for (auto _ : state) {
            effect.render(window.dc);
            benchmark::ClobberMemory();
        }
    }
    effect.shutdown();
    surface_destroy(&window);
}

static void frame_sorvel2(benchmark::State& state) {
    run_frames(state, warp::effect);
}
BENCHMARK(frame_sorvel2);

static void frame_sorvel(benchmark::State& state) {
    run_frames(state, palette_demo::effect);
}
BENCHMARK(frame_sorvel);
