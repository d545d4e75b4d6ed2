// The 8-bit to 32-bit row copy of BitBlt with AVX2, which the copy uses when the processor has
// AVX2 and SORVEL_CPU (read once, before main) does not say "sse2". Without it the plain loop of
// four pixels per load copies the row.
#pragma once

#include <cstdint>

// out[i] = table[in[i]] for `width` pixels (0 or more). Returns false, having written nothing,
// when AVX2 is not in use.
bool copy_row_8_to_32_avx2(const uint8_t* in, uint32_t* out, int width, const uint32_t* table);

// Turns the AVX2 copy on (where the machine has it) or off, and returns whether it is on. For
// tests and benchmarks, which compare the two.
bool pixel_copy_use_avx2(bool on);
