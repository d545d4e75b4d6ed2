#include "cpu_level.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool cpu_has_avx2() {
#if defined(__i386__) || defined(__x86_64__)
    // The builtin also checks that the system saves the 256-bit registers (XGETBV).
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}

static CpuLevel choose_cpu_level() {
    CpuLevel best = cpu_has_avx2() ? cpu_avx2 : cpu_sse2;
    const char* asked = getenv("SORVEL_CPU");
    if (asked == nullptr || *asked == '\0' || strcmp(asked, "avx2") == 0)
        return best;
    if (strcmp(asked, "sse2") == 0)
        return cpu_sse2;
    fprintf(stderr, "SORVEL_CPU=%s is neither sse2 nor avx2: using %s\n", asked,
            cpu_level_name(best));
    return best;
}

// Chosen before main, so every frame runs one level. Until then (other files' start-up code) it
// is zero, the baseline.
static CpuLevel level_in_use = choose_cpu_level();

CpuLevel cpu_level() {
    return level_in_use;
}

bool set_cpu_level(CpuLevel level) {
    level_in_use = level == cpu_avx2 && !cpu_has_avx2() ? cpu_sse2 : level;
    return level_in_use == level;
}

const char* cpu_level_name(CpuLevel level) {
#if defined(__wasm__)
    (void)level;
    return "simd128"; // the baseline of the web build is WebAssembly SIMD
#else
    return level == cpu_avx2 ? "avx2" : "sse2";
#endif
}
