// Which path the copies run: the one this processor runs fastest, measured on the first copy of
// each kind (1x and scaled) that is large enough to time, not the newest instruction set. On
// the machines measured the newest is not always the fastest: an Intel Xeon ran the AVX2 1x copy
// slower than the SSE2 one, which an AMD processor ran slower than AVX2. Each path the machine
// can run copies the same pixels once to warm up, then five times in turn with the others; the
// least time of each is compared, which a moment lost to another process cannot lower. It costs
// the first frame well under a millisecond. The engine chooses its steps the same way
// (fireworks/cpu_level.cpp); the stand-in keeps its own copy, as it is built below the engine.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pixel_copy_paths.h"

#if (defined(__i386__) || defined(__x86_64__))

bool cpu_runs_avx2() {
    // The builtin also checks that the system saves the registers (XGETBV).
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}

bool cpu_runs_avx512_vbmi() {
#if defined(__x86_64__) && !defined(_WIN32)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi");
#else
    return false; // built only for 64-bit x86 outside Windows (pixel_copy_avx512.cpp)
#endif
}

#else

bool cpu_runs_avx2() {
    return false;
}

bool cpu_runs_avx512_vbmi() {
    return false;
}

#endif

bool copy_level_available(CopyLevel level) {
    switch (level) {
    case copy_sse2:
        return true;
    case copy_avx2:
        return cpu_runs_avx2();
    case copy_avx512:
        return cpu_runs_avx512_vbmi();
    }
    return false;
}

static CopyLevel best_available(CopyLevel level) {
    while (level > copy_sse2 && !copy_level_available(level))
        level = static_cast<CopyLevel>(level - 1);
    return level;
}

// SORVEL_CPU, read before main: a level forces every copy to it (or to the best below it that
// the machine has); nothing, or anything else, leaves the choice to the measurement.
static int level_asked() {
    const char* asked = getenv("SORVEL_CPU");
    if (asked == nullptr || *asked == '\0')
        return -1;
    for (int level = 0; level < copy_level_count; level++)
        if (strcmp(asked, copy_level_name(static_cast<CopyLevel>(level))) == 0)
            return best_available(static_cast<CopyLevel>(level));
    return -1; // the engine names the bad value (fireworks/cpu_level.cpp)
}

static int forced = level_asked();
static int measured[2] = {-1, -1}; // 1x, scaled

bool copy_force_level(CopyLevel level) {
    if (level < copy_sse2 || level >= copy_level_count || !copy_level_available(level))
        return false;
    forced = level;
    return true;
}

void copy_measure_levels() {
    forced = -1;
    measured[0] = measured[1] = -1;
}

CopyLevel copy_level_in_use(bool scaled) {
    if (forced >= 0)
        return static_cast<CopyLevel>(forced);
    return measured[scaled] >= 0 ? static_cast<CopyLevel>(measured[scaled]) : copy_sse2;
}

const char* copy_level_name(CopyLevel level) {
#if defined(__wasm__)
    (void)level;
    return "simd128"; // the baseline of the web build is WebAssembly SIMD
#elif defined(__i386__) || defined(__x86_64__)
    switch (level) {
    case copy_avx2:
        return "avx2";
    case copy_avx512:
        return "avx512";
    default:
        return "sse2";
    }
#else
    (void)level;
    return "portable"; // plain C++, the one path of other processors (64-bit ARM)
#endif
}

static bool verbose() {
    const char* said = getenv("SORVEL_VERBOSE");
    return said != nullptr && said[0] != 0 && strcmp(said, "0") != 0;
}

CopyLevel copy_choose_level(bool scaled, unsigned paths, bool measurable,
                            void (*work)(CopyLevel, const void*), const void* context) {
    if (forced >= 0 || measured[scaled] >= 0 || !measurable)
        return copy_level_in_use(scaled);
    using clock = std::chrono::steady_clock;
    bool timed[copy_level_count];
    double best[copy_level_count];
    for (int level = 0; level < copy_level_count; level++) {
        timed[level] =
            (paths >> level & 1) != 0 && copy_level_available(static_cast<CopyLevel>(level));
        best[level] = 1e30;
    }
    int timed_count = 0;
    for (int level = 0; level < copy_level_count; level++)
        timed_count += timed[level];
    // One path alone (the web build's) is not timed.
    for (int round = 0; round < 5 && timed_count > 1; round++) {
        for (int level = 0; level < copy_level_count; level++) {
            if (!timed[level])
                continue;
            if (round == 0)
                work(static_cast<CopyLevel>(level), context); // to warm up
            clock::time_point start = clock::now();
            work(static_cast<CopyLevel>(level), context);
            double us = std::chrono::duration<double, std::micro>(clock::now() - start).count();
            best[level] = us < best[level] ? us : best[level];
        }
    }
    int fastest = -1;
    for (int level = 0; level < copy_level_count; level++)
        if (timed[level] && (fastest < 0 || best[level] < best[fastest]))
            fastest = level;
    measured[scaled] = fastest;
    if (timed_count < 2)
        return static_cast<CopyLevel>(fastest);
    if (verbose()) {
        fprintf(stderr, "platform: %s copy at %s, measured fastest (", scaled ? "scaled" : "1x",
                copy_level_name(static_cast<CopyLevel>(fastest)));
        const char* separator = "";
        for (int level = 0; level < copy_level_count; level++) {
            if (!timed[level])
                continue;
            fprintf(stderr, "%s%s %.1f us", separator,
                    copy_level_name(static_cast<CopyLevel>(level)), best[level]);
            separator = ", ";
        }
        fprintf(stderr, ")\n");
    }
    return static_cast<CopyLevel>(fastest);
}
