// The remap's inner loop at each vector level: out[i] = heat[table[i]] for all 76,800 bytes of a
// picture, the table in write order with entries 0..76,799. remap_table runs the level that
// cpu_step_level chooses; every level writes the same bytes.
#pragma once

#include <cstdint>

namespace warp {

void remap_table(const uint8_t* heat, const uint32_t* table, uint8_t* out);

// Plain C++: four lookups per 32-bit store.
void remap_table_baseline(const uint8_t* heat, const uint32_t* table, uint8_t* out);

// Scalar lookups put together in 32-byte stores; only for processors with AVX2
// (cpu_has_level(cpu_avx2)), elsewhere the baseline.
void remap_table_avx2(const uint8_t* heat, const uint32_t* table, uint8_t* out);

// AVX-512 gathers; only for processors with AVX-512 and VBMI, elsewhere the AVX2 remap.
void remap_table_avx512(const uint8_t* heat, const uint32_t* table, uint8_t* out);

} // namespace warp
