// The vector level of each of the frame's inner loops (the heat step here, the warp remap in
// warp/). Each step has a path for each level it has code of its own for: SSE2, which every build
// assumes (the 32-bit Windows build included), AVX2, and AVX-512 (64-bit x86 outside Windows).
// Which path a step runs is measured, not taken from the newest instruction set: the first time
// the step runs, every path the processor and the system can run does the step's work a few
// times, and the fastest is kept for the rest of the run. SORVEL_CPU=sse2|avx2|avx512 in the
// environment forces that level on every step instead (where a step or the machine lacks it, the
// best below it), so that people, tests and benchmarks can compare the paths. Builds that are
// not x86 have only the baseline: WebAssembly SIMD in the web build, plain C++ elsewhere (64-bit
// ARM), named "simd128" and "portable" (SORVEL_CPU=portable).
#pragma once

enum CpuLevel { cpu_sse2 = 0, cpu_avx2 = 1, cpu_avx512 = 2 };
constexpr int cpu_level_count = 3;

// Whether the processor and the system can run `level` (AVX-512: F and BW, the registers saved
// by the system).
bool cpu_has_level(CpuLevel level);

// Runs every step at `level` from now on and returns true; false, changing nothing, when the
// machine cannot run it. For tests and benchmarks, which compare the levels.
bool set_cpu_level(CpuLevel level);
// Back to the paths measured fastest, measured again the next time each step runs.
void measure_cpu_levels();
// The level SORVEL_CPU or set_cpu_level forces, or -1 while the steps are measured.
int cpu_forced_level();

// One step's choice. `paths` has bit L set for each level L with code of its own.
struct CpuStep {
    const char* name;
    unsigned paths;
    int measured; // -1 until measured
};

// The level `step` runs at: the forced one (or the best below it that the step has), else the
// fastest of its paths, measured the first time by calling `work` (the step's work at a level,
// as often as asked) with `context`.
CpuLevel cpu_step_level(CpuStep* step, void (*work)(CpuLevel, void*), void* context);

// The levels the steps run at, for people: the forced level, else those measured so far,
// "avx512" when all alike, else as "heat step avx512, remap avx2"; the baseline before any.
const char* cpu_levels_in_use();

// "sse2", "avx2" or "avx512"; "simd128" for every level of the web build, "portable" for every
// level of a build for another processor.
const char* cpu_level_name(CpuLevel level);
