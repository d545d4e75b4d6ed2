// What reaches the window, at each vector level: the 8-to-32-bit BitBlt into a 32-bit memory DC
// and into a window, and whole shown frames, each program's own effect_render drawing into a
// window's DC as in the running program. With SDL_VIDEODRIVER=dummy (bench/main.cpp) the window
// lives in memory, so these are the frame's own work without a display server's.
#include <cstring>

#include <benchmark/benchmark.h>

#include <windows.h>

#include "bench_data.h"
#include "fireworks.h"
#include "palette_demo.h"
#include "surface.h"
#include "warp.h"

// A window of its own class, so that it does not take the class the shell registers, with the
// programs' client of 320 x 240.
static HDC bench_window_dc() {
    static HDC dc = [] {
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "Sorvel bench window";
        if (RegisterClassA(&window_class) == 0)
            return HDC{};
        HWND window =
            CreateWindowExA(0, window_class.lpszClassName, "Sorvel bench", WS_CAPTION | WS_SYSMENU,
                            0, 0, 326, 265, nullptr, nullptr, window_class.hInstance, nullptr);
        if (window == nullptr)
            return HDC{};
        ShowWindow(window, SW_SHOW);
        return GetDC(window);
    }();
    return dc;
}

static void blit_8_to_32(benchmark::State& state, HDC target) {
    RGBQUAD palette[256];
    build_fire_palette(palette);
    Surface picture;
    surface_create(&picture, 8, 320, 240, palette);
    if (target == nullptr || picture.bits == nullptr) {
        state.SkipWithError("no target or no picture (is SDL_VIDEODRIVER=dummy available?)");
    } else {
        memcpy(picture.bits, bench_heat(), bench_picture_size);
        BitBlt(target, 0, 0, 320, 240, picture.dc, 0, 0, SRCCOPY);
        for (auto _ : state) {
            BitBlt(target, 0, 0, 320, 240, picture.dc, 0, 0, SRCCOPY);
            benchmark::ClobberMemory();
        }
        bench_label_levels(state);
    }
    surface_destroy(&picture);
}

static void copy_bitblt_memory_dc(benchmark::State& state) {
    if (!bench_use_level(state, static_cast<int>(state.range(0))))
        return;
    Surface window;
    surface_create(&window, 32, 320, 240, nullptr);
    blit_8_to_32(state, window.bits != nullptr ? window.dc : nullptr);
    surface_destroy(&window);
}
BENCHMARK_LEVELS(copy_bitblt_memory_dc);

static void copy_bitblt_window(benchmark::State& state) {
    if (bench_use_level(state, static_cast<int>(state.range(0))))
        blit_8_to_32(state, bench_window_dc());
}
BENCHMARK_LEVELS(copy_bitblt_window);

// Whole frames as the programs show them, after 400 frames so that every particle slot is in
// flight.
template <void (*init)(HINSTANCE), bool (*render)(HDC), void (*shutdown)()>
static void shown_frame(benchmark::State& state) {
    if (!bench_use_level(state, static_cast<int>(state.range(0))))
        return;
    HDC window_dc = bench_window_dc();
    reset_rand15();
    init(nullptr);
    if (window_dc == nullptr) {
        state.SkipWithError("no window (is SDL_VIDEODRIVER=dummy available?)");
    } else {
        for (int i = 0; i < 400; i++)
            render(window_dc);
        for (auto _ : state) {
            render(window_dc);
            benchmark::ClobberMemory();
        }
        bench_label_levels(state);
    }
    shutdown();
}

static void shown_frame_sorvel2(benchmark::State& state) {
    shown_frame<warp::effect_init, warp::effect_render, warp::effect_shutdown>(state);
}
BENCHMARK_LEVELS(shown_frame_sorvel2);

static void shown_frame_sorvel(benchmark::State& state) {
    shown_frame<palette_demo::effect_init, palette_demo::effect_render,
                palette_demo::effect_shutdown>(state);
}
BENCHMARK_LEVELS(shown_frame_sorvel);
