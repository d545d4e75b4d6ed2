#include <cstring>

#include "fireworks.h"
#include "remap_levels.h"
#include "shell.h"
#include "warp.h"

namespace warp {

Surface screen_surface;
Surface fire_surface;
int32_t applied_variant = 0;

void remap_through_warp() {
    remap_table(fire_surface.bits, active_warp_table, screen_surface.bits);
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
