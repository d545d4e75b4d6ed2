// The scaled present: a 320 x 240 picture of heat bytes written at 2x (a 640 x 480 window), 4x
// (full screen on 1920 x 1080) and 9x (full screen on 3840 x 2160), centred in a framebuffer of
// that size, at each vector level; against its floor, the fastest loop found that stores the same
// output bytes from a row made ready beforehand (the candidates: memcpy, 64-byte stores,
// streaming stores that bypass the caches, row after row or in the AVX-512 copy's order; none
// has beaten that copy itself, whose lookups between blocks seem to pace its streaming stores
// better than a loop of stores alone). And a whole BitBlt into a window shown at 2x (SDL's dummy
// driver), keeping the picture to show again.
// Before each picture the framebuffer is flushed from the caches, untimed: a program shows a
// frame every 16 ms, and by then the display server has read it and other work has taken the
// caches, so a write that found it cached would measure a case that never happens.
#include <cstdlib>
#include <cstring>

#include <SDL.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <benchmark/benchmark.h>

#include <windows.h>

#include "bench_data.h"
#include "cpu_level.h"
#include "fireworks.h"
#include "pixel_copy.h"
#include "sdl_display.h"
#include "shown_picture.h"
#include "surface.h"

namespace {

struct Screen {
    int scale;
    int width;
    int height;
};
constexpr Screen screens[] = {{2, 640, 480}, {4, 1920, 1080}, {9, 3840, 2160}};

const Screen& screen_at(int scale) {
    for (const Screen& screen : screens)
        if (screen.scale == scale)
            return screen;
    return screens[0];
}

// The largest framebuffer, made once outside the timed loops.
uint32_t* framebuffer() {
    static uint32_t* pixels = [] {
        // on a page, as a window's framebuffer is
        static uint32_t* made = static_cast<uint32_t*>(aligned_alloc(4096, 3840 * 2160 * 4));
        memset(made, 0, sizeof(uint32_t) * 3840 * 2160);
        return made;
    }();
    return pixels;
}

// Where the picture lands: its first output row and pixel, and the bytes of one output row.
struct Layout {
    uint8_t* first;
    ptrdiff_t pitch;
    int rows;
    size_t bytes;
};

Layout layout(const Screen& screen) {
    int x = (screen.width - 320 * screen.scale) / 2;
    int y = (screen.height - 240 * screen.scale) / 2;
    uint8_t* first = reinterpret_cast<uint8_t*>(framebuffer()) +
                     (static_cast<ptrdiff_t>(y) * screen.width + x) * 4;
    return Layout{first, static_cast<ptrdiff_t>(screen.width) * 4, 240 * screen.scale,
                  static_cast<size_t>(320 * screen.scale) * 4};
}

// Writes the cache line at `line` back to memory and drops it from every cache: CLFLUSH on x86,
// DC CIVAC on 64-bit ARM (which Linux lets programs run); elsewhere nothing.
inline void flush_line(const uint8_t* line) {
#if defined(__SSE2__)
    _mm_clflush(line);
#elif defined(__aarch64__)
    asm volatile("dc civac, %0" : : "r"(line) : "memory");
#else
    (void)line;
#endif
}

// Waits until the flushes are done.
inline void flush_fence() {
#if defined(__SSE2__)
    _mm_mfence();
#elif defined(__aarch64__)
    asm volatile("dsb ish" : : : "memory");
#endif
}

// Flushes `rows` rows of `bytes` bytes from `first`, `pitch` apart, out of every cache, untimed.
// (64 bytes a line: x86's, and the Raspberry Pi 4's and 5's Cortex cores'.)
void flush(benchmark::State& state, const uint8_t* first, ptrdiff_t pitch, int rows, size_t bytes) {
    state.PauseTiming();
    for (int r = 0; r < rows; r++)
        for (size_t at = 0; at < bytes; at += 64)
            flush_line(first + r * pitch + at);
    flush_fence();
    state.ResumeTiming();
}

void flush(benchmark::State& state, const Layout& at) {
    flush(state, at.first, at.pitch, at.rows, at.bytes);
}

void count_bytes(benchmark::State& state, const Screen& screen) {
    state.SetBytesProcessed(state.iterations() * int64_t{320} * screen.scale * 240 * screen.scale *
                            4);
}

void scaled_present(benchmark::State& state) {
    if (!bench_use_level(state, static_cast<int>(state.range(0))))
        return;
    const Screen& screen = screen_at(static_cast<int>(state.range(1)));
    RGBQUAD palette[256];
    build_fire_palette(palette);
    static PixelTable table;
    pixel_table_build(&table, palette, 256, pixel_format_xrgb);
    // The heat buffer as the bottom-up DIB it is: its top row last in memory.
    IndexRows picture = {bench_heat() + 239 * 320, -320, 320, 240};
    PixelRows to = {reinterpret_cast<uint8_t*>(framebuffer()), screen.width * 4, screen.width,
                    screen.height, 4};
    int x = (screen.width - 320 * screen.scale) / 2;
    int y = (screen.height - 240 * screen.scale) / 2;
    Layout at = layout(screen);
    copy_indices_scaled(picture, table, to, x, y, screen.scale);
    for (auto _ : state) {
        flush(state, at);
        copy_indices_scaled(picture, table, to, x, y, screen.scale);
        benchmark::ClobberMemory();
    }
    count_bytes(state, screen);
    bench_label_levels(state);
}
BENCHMARK(scaled_present)
    ->ArgNames({"level", "scale"})
    ->ArgsProduct({{0, 1, 2, bench_chosen}, {2, 4, 9}});

// One output row made ready, as wide as the widest picture.
const uint8_t* ready_row() {
    alignas(64) static uint32_t row[320 * 9];
    for (int i = 0; i < 320 * 9; i++)
        row[i] = static_cast<uint32_t>(i) * 0x010203u;
    return reinterpret_cast<const uint8_t*>(row);
}

void floor_scaled_memcpy(benchmark::State& state) {
    const Screen& screen = screen_at(static_cast<int>(state.range(0)));
    Layout at = layout(screen);
    const uint8_t* row = ready_row();
    for (auto _ : state) {
        flush(state, at);
        for (int r = 0; r < at.rows; r++)
            memcpy(at.first + r * at.pitch, row, at.bytes);
        benchmark::ClobberMemory();
    }
    count_bytes(state, screen);
}
BENCHMARK(floor_scaled_memcpy)->ArgName("scale")->Arg(2)->Arg(4)->Arg(9);

#if defined(__x86_64__)
#define AVX512 __attribute__((target("avx512f")))
// GCC 12's own AVX-512 intrinsics pass an undefined register as the unused merge source, which
// its uninitialised-value warnings then report in every caller.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

AVX512 void store_rows(const Layout& at, int, const uint8_t* row) {
    for (int r = 0; r < at.rows; r++) {
        uint8_t* to = at.first + r * at.pitch;
        for (size_t i = 0; i < at.bytes; i += 64)
            _mm512_storeu_si512(to + i, _mm512_load_si512(row + i));
    }
}

// The rows start on 64-byte boundaries in every layout above, as streaming stores need.
AVX512 void stream_rows(const Layout& at, int, const uint8_t* row) {
    for (int r = 0; r < at.rows; r++) {
        uint8_t* to = at.first + r * at.pitch;
        for (size_t i = 0; i < at.bytes; i += 64)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(to + i), _mm512_load_si512(row + i));
    }
    _mm_sfence();
}

template <void (*store)(const Layout&, int scale, const uint8_t*)>
void floor_scaled_vector(benchmark::State& state) {
    if (!cpu_has_level(cpu_avx512)) {
        state.SkipWithError("this processor cannot run avx512");
        return;
    }
    const Screen& screen = screen_at(static_cast<int>(state.range(0)));
    Layout at = layout(screen);
    const uint8_t* row = ready_row();
    for (auto _ : state) {
        flush(state, at);
        store(at, screen.scale, row);
        benchmark::ClobberMemory();
    }
    count_bytes(state, screen);
}

void floor_scaled_stores(benchmark::State& state) {
    floor_scaled_vector<store_rows>(state);
}
BENCHMARK(floor_scaled_stores)->ArgName("scale")->Arg(2)->Arg(4)->Arg(9);

void floor_scaled_stream(benchmark::State& state) {
    floor_scaled_vector<stream_rows>(state);
}
BENCHMARK(floor_scaled_stream)->ArgName("scale")->Arg(2)->Arg(4)->Arg(9);

// Streaming stores in the order the AVX-512 copy makes them (for each run of 64 sources, its
// block of `scale` rows in turn), each 16 pixels put together by a permute as the copy's are.
AVX512 void stream_permuted(const Layout& at, int scale, const uint8_t* row) {
    size_t run = size_t{64} * scale * 4;
    const __m512i pixels = _mm512_load_si512(row);
    const __m512i order = _mm512_load_si512(row + 64);
    for (int r = 0; r < at.rows; r += scale)
        for (size_t block = 0; block < at.bytes; block += run)
            for (int k = 0; k < scale; k++) {
                uint8_t* to = at.first + (r + k) * at.pitch + block;
                for (size_t i = 0; i < run; i += 64)
                    _mm512_stream_si512(reinterpret_cast<__m512i*>(to + i),
                                        _mm512_permutexvar_epi32(order, pixels));
            }
    _mm_sfence();
}

void floor_scaled_stream_permuted(benchmark::State& state) {
    floor_scaled_vector<stream_permuted>(state);
}
BENCHMARK(floor_scaled_stream_permuted)->ArgName("scale")->Arg(2)->Arg(4)->Arg(9);
#endif

// What a scaled window keeps of each frame to show it again: the picture's 8-bit indices.
void keep_scaled_picture(benchmark::State& state) {
    RGBQUAD palette[256];
    build_fire_palette(palette);
    IndexRows picture = {bench_heat() + 239 * 320, -320, 320, 240};
    const uint32_t key[3] = {1, 1, 1};
    static ShownPicture kept;
    if (!shown_picture_keep_indices(&kept, 320, 240, picture, palette, key, 0, 0)) {
        state.SkipWithError("no memory for the picture");
        return;
    }
    for (auto _ : state) {
        shown_picture_keep_indices(&kept, 320, 240, picture, palette, key, 0, 0);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(keep_scaled_picture);

// A window of its own class shown at 2x, as the default opens it on a 1080p display.
HDC scaled_window_dc() {
    static HDC dc = [] {
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "Sorvel bench scaled window";
        if (RegisterClassA(&window_class) == 0)
            return HDC{};
        HWND window = CreateWindowExA(0, window_class.lpszClassName, "Sorvel bench 2x",
                                      WS_CAPTION | WS_SYSMENU, 0, 0, 326, 265, nullptr, nullptr,
                                      window_class.hInstance, nullptr);
        if (window == nullptr || !platform_set_window_scale(window, 2))
            return HDC{};
        ShowWindow(window, SW_SHOW);
        return GetDC(window);
    }();
    return dc;
}

void bitblt_window_2x(benchmark::State& state) {
    if (!bench_use_level(state, static_cast<int>(state.range(0))))
        return;
    RGBQUAD palette[256];
    build_fire_palette(palette);
    Surface picture;
    surface_create(&picture, 8, 320, 240, palette);
    HDC window = scaled_window_dc();
    if (window == nullptr || picture.bits == nullptr) {
        state.SkipWithError("no window or no picture (is SDL_VIDEODRIVER=dummy available?)");
    } else {
        memcpy(picture.bits, bench_heat(), bench_picture_size);
        BitBlt(window, 0, 0, 320, 240, picture.dc, 0, 0, SRCCOPY);
        SDL_Surface* shown = SDL_GetWindowSurface(platform_sdl_window(WindowFromDC(window)));
        for (auto _ : state) {
            flush(state, static_cast<const uint8_t*>(shown->pixels), shown->pitch, shown->h,
                  static_cast<size_t>(shown->pitch));
            BitBlt(window, 0, 0, 320, 240, picture.dc, 0, 0, SRCCOPY);
            benchmark::ClobberMemory();
        }
        bench_label_levels(state);
    }
    surface_destroy(&picture);
}
BENCHMARK_LEVELS(bitblt_window_2x);

} // namespace
