#include <bit>
#include <cstring>

#include "cpu_level.h"
#include "remap_levels.h"
#include "warp.h"

namespace warp {

static_assert(std::endian::native == std::endian::little, "the remap packs bytes little-endian");

void remap_table_baseline(const uint8_t* heat, const uint32_t* table, uint8_t* out) {
    // Four lookups per 32-bit store: the table is in write order, so both streams run forward.
    for (int i = 0; i < table_size; i += 4) {
        uint32_t word = uint32_t{heat[table[i]]} | uint32_t{heat[table[i + 1]]} << 8 |
                        uint32_t{heat[table[i + 2]]} << 16 | uint32_t{heat[table[i + 3]]} << 24;
        memcpy(out + i, &word, 4);
    }
}

void remap_table(const uint8_t* heat, const uint32_t* table, uint8_t* out) {
    if (cpu_level() == cpu_avx2)
        remap_table_avx2(heat, table, out);
    else
        remap_table_baseline(heat, table, out);
}

} // namespace warp
