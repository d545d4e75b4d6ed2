// The vector level of the frame's inner loops (the heat step here, the warp remap in warp/),
// chosen once at start-up: AVX2 where the processor and the system offer it, SSE2 otherwise,
// which every build assumes (the 32-bit Windows build included). SORVEL_CPU=sse2 in the
// environment forces the baseline, so that people, tests and benchmarks can compare the two.
// Builds that are not x86 (the WebAssembly one) have only the baseline.
#pragma once

enum CpuLevel { cpu_sse2 = 0, cpu_avx2 = 1 };

// The level in use: read once before main from CPUID and SORVEL_CPU ("sse2" or "avx2"; any other
// value is named on standard error and ignored).
CpuLevel cpu_level();

// Whether the processor and the system can run AVX2 code, whatever SORVEL_CPU says.
bool cpu_has_avx2();

// Uses `level` from now on, or the baseline when the machine cannot run it. Returns whether the
// level asked for is the one in use. For tests and benchmarks, which compare the levels.
bool set_cpu_level(CpuLevel level);

// "sse2" or "avx2"; "simd128" for every level of the web build.
const char* cpu_level_name(CpuLevel level);
