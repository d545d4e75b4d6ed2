// The heat step at each vector level. decay_and_rise runs the one cpu_step_level chooses; each
// equals decay_and_rise_plain in every byte, and each holds a decay below 0 at 0.
#pragma once

#include <cstdint>

void decay_and_rise_sse2(uint8_t* heat, int32_t decay);

// Only for processors with AVX2 (cpu_has_level(cpu_avx2)); elsewhere the SSE2 step.
void decay_and_rise_avx2(uint8_t* heat, int32_t decay);

// Only for processors with AVX-512 (cpu_has_level(cpu_avx512)); elsewhere the AVX2 step.
void decay_and_rise_avx512(uint8_t* heat, int32_t decay);
