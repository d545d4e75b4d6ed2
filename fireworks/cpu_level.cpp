#include "cpu_level.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool cpu_has_level(CpuLevel level) {
#if defined(__i386__) || defined(__x86_64__)
    // The builtins also check that the system saves the wider registers (XGETBV).
    __builtin_cpu_init();
    switch (level) {
    case cpu_sse2:
        return true;
    case cpu_avx2:
        return __builtin_cpu_supports("avx2") != 0;
    case cpu_avx512:
#if defined(__x86_64__) && !defined(_WIN32)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#else
        return false; // built only for 64-bit x86 outside Windows
#endif
    }
    return false;
#else
    return level == cpu_sse2;
#endif
}

static CpuLevel best_available(CpuLevel level) {
    while (level > cpu_sse2 && !cpu_has_level(level))
        level = static_cast<CpuLevel>(level - 1);
    return level;
}

// SORVEL_CPU, read before main.
static int level_asked() {
    const char* asked = getenv("SORVEL_CPU");
    if (asked == nullptr || *asked == '\0')
        return -1;
    for (int level = 0; level < cpu_level_count; level++)
        if (strcmp(asked, cpu_level_name(static_cast<CpuLevel>(level))) == 0)
            return best_available(static_cast<CpuLevel>(level));
#if defined(__i386__) || defined(__x86_64__)
    fprintf(stderr,
            "SORVEL_CPU=%s is none of sse2, avx2 and avx512: each step runs the path "
            "measured fastest\n",
            asked);
#else
    fprintf(stderr, "SORVEL_CPU=%s is not %s, the one level of this build, which runs anyway\n",
            asked, cpu_level_name(cpu_sse2));
#endif
    return -1;
}

static int forced = level_asked();

// The steps that have run, for cpu_levels_in_use.
constexpr int max_steps = 8;
static CpuStep* steps[max_steps];
static int step_count;

bool set_cpu_level(CpuLevel level) {
    if (level < cpu_sse2 || level >= cpu_level_count || !cpu_has_level(level))
        return false;
    forced = level;
    return true;
}

void measure_cpu_levels() {
    forced = -1;
    for (int i = 0; i < step_count; i++)
        steps[i]->measured = -1;
}

int cpu_forced_level() {
    return forced;
}

static bool verbose() {
    const char* said = getenv("SORVEL_VERBOSE");
    return said != nullptr && said[0] != 0 && strcmp(said, "0") != 0;
}

// Each path once to warm up, then five rounds of all of them in turn; the least time of each
// counts, which a moment lost to another process cannot lower. A path alone (the web build's) is
// not timed.
static int measure(CpuStep* step, void (*work)(CpuLevel, void*), void* context) {
    using clock = std::chrono::steady_clock;
    bool timed[cpu_level_count];
    double best[cpu_level_count];
    int timed_count = 0;
    for (int level = 0; level < cpu_level_count; level++) {
        timed[level] =
            (step->paths >> level & 1) != 0 && cpu_has_level(static_cast<CpuLevel>(level));
        timed_count += timed[level];
        best[level] = 1e30;
    }
    for (int round = 0; round < 5 && timed_count > 1; round++) {
        for (int level = 0; level < cpu_level_count; level++) {
            if (!timed[level])
                continue;
            if (round == 0)
                work(static_cast<CpuLevel>(level), context); // to warm up
            clock::time_point start = clock::now();
            work(static_cast<CpuLevel>(level), context);
            double us = std::chrono::duration<double, std::micro>(clock::now() - start).count();
            best[level] = us < best[level] ? us : best[level];
        }
    }
    int fastest = -1;
    for (int level = 0; level < cpu_level_count; level++)
        if (timed[level] && (fastest < 0 || best[level] < best[fastest]))
            fastest = level;
    if (verbose() && timed_count > 1) {
        fprintf(stderr, "%s at %s, measured fastest (", step->name,
                cpu_level_name(static_cast<CpuLevel>(fastest)));
        const char* separator = "";
        for (int level = 0; level < cpu_level_count; level++) {
            if (!timed[level])
                continue;
            fprintf(stderr, "%s%s %.1f us", separator, cpu_level_name(static_cast<CpuLevel>(level)),
                    best[level]);
            separator = ", ";
        }
        fprintf(stderr, ")\n");
    }
    return fastest;
}

CpuLevel cpu_step_level(CpuStep* step, void (*work)(CpuLevel, void*), void* context) {
    bool known = false;
    for (int i = 0; i < step_count; i++)
        known = known || steps[i] == step;
    if (!known && step_count < max_steps)
        steps[step_count++] = step;
    if (forced >= 0) {
        int level = forced;
        while (level > cpu_sse2 && (step->paths >> level & 1) == 0)
            level--;
        return static_cast<CpuLevel>(level);
    }
    if (step->measured < 0)
        step->measured = measure(step, work, context);
    return static_cast<CpuLevel>(step->measured);
}

const char* cpu_levels_in_use() {
    if (forced >= 0)
        return cpu_level_name(static_cast<CpuLevel>(forced));
    int first = -1;
    bool alike = true;
    for (int i = 0; i < step_count; i++) {
        int level = steps[i]->measured;
        if (level >= 0 && first < 0)
            first = level;
        alike = alike && (level < 0 || level == first);
    }
    if (alike)
        return cpu_level_name(static_cast<CpuLevel>(first >= 0 ? first : cpu_sse2));
    static char text[160];
    text[0] = '\0';
    for (int i = 0; i < step_count; i++) {
        if (steps[i]->measured < 0)
            continue;
        size_t used = strlen(text);
        snprintf(text + used, sizeof(text) - used, "%s%s %s", used > 0 ? ", " : "", steps[i]->name,
                 cpu_level_name(static_cast<CpuLevel>(steps[i]->measured)));
    }
    return text;
}

const char* cpu_level_name(CpuLevel level) {
#if defined(__wasm__)
    (void)level;
    return "simd128"; // the baseline of the web build is WebAssembly SIMD
#elif defined(__i386__) || defined(__x86_64__)
    switch (level) {
    case cpu_avx2:
        return "avx2";
    case cpu_avx512:
        return "avx512";
    default:
        return "sse2";
    }
#else
    (void)level;
    return "portable"; // plain C++, the one path of other processors (64-bit ARM)
#endif
}
