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

static void remap_at(CpuLevel level, const uint8_t* heat, const uint32_t* table, uint8_t* out) {
    if (level == cpu_avx512)
        remap_table_avx512(heat, table, out);
    else if (level == cpu_avx2)
        remap_table_avx2(heat, table, out);
    else
        remap_table_baseline(heat, table, out);
}

struct Remap {
    const uint8_t* heat;
    const uint32_t* table;
    uint8_t* out;
};

// The paths are timed on the remap they are first asked for: each writes the same bytes.
static void time_remap(CpuLevel level, void* context) {
    const Remap& remap = *static_cast<const Remap*>(context);
    remap_at(level, remap.heat, remap.table, remap.out);
}

static CpuStep remap_step = {"remap", 1u << cpu_sse2 | 1u << cpu_avx2 | 1u << cpu_avx512, -1};

void remap_table(const uint8_t* heat, const uint32_t* table, uint8_t* out) {
    Remap remap = {heat, table, out};
    remap_at(cpu_step_level(&remap_step, time_remap, &remap), heat, table, out);
}

} // namespace warp
