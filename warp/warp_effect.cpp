#include <bit>
#include <cstring>

#include "fireworks.h"
#include "shell.h"
#include "warp.h"

namespace warp {

Surface screen_surface;
Surface fire_surface;
int32_t applied_variant = 0;

static_assert(std::endian::native == std::endian::little, "the remap packs bytes little-endian");

void remap_through_warp() {
    const uint8_t* heat = fire_surface.bits;
    uint8_t* out = screen_surface.bits;
    const uint32_t* entry = active_warp_table;
    // Four lookups per 32-bit store: the table is in write order, so both streams run forward.
    for (int i = 0; i < table_size; i += 4) {
        uint32_t word = uint32_t{heat[entry[i]]} | uint32_t{heat[entry[i + 1]]} << 8 |
                        uint32_t{heat[entry[i + 2]]} << 16 | uint32_t{heat[entry[i + 3]]} << 24;
        memcpy(out + i, &word, 4);
    }
}

void effect_init(HINSTANCE) {
    RGBQUAD palette[256];
    build_fire_palette(palette);
    clear_particle_pool();
    surface_create(&screen_surface, 8, width, height, palette);
    surface_create(&fire_surface, 8, width, height, palette);
    build_warp_tables();
}

bool effect_render(HDC window_dc) {
    if (applied_variant != variant) {
        memcpy(active_warp_table, warp_tables[variant % 3], sizeof(WarpTable));
        applied_variant = variant;
    }
    // Without both surfaces' pixel memory there is nothing to simulate or show; the loop goes on
    // so that Escape still ends the program.
    if (fire_surface.bits == nullptr || screen_surface.bits == nullptr)
        return false;
    decay_and_rise(fire_surface.bits, decay);
    update_particles(fire_surface.bits);
    remap_through_warp();
    BitBlt(window_dc, 0, 0, width, height, screen_surface.dc, 0, 0, SRCCOPY);
    return false;
}

void effect_shutdown() {
    surface_destroy(&fire_surface);
    surface_destroy(&screen_surface);
}

const Effect effect = {"sorvel2", effect_init, effect_render, effect_shutdown, &screen_surface};

} // namespace warp
