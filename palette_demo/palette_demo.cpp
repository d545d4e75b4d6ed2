#include "palette_demo.h"

#include "fireworks.h"
#include "shell.h"

namespace palette_demo {

Surface fire_surface;
int32_t applied_variant = 0;

// Byte positions of the channels within an RGBQUAD (blue, green, red, reserved).
enum Channel { blue = 0, green = 1, red = 2 };

// First, second and third channel of each scheme. Scheme 5 repeats scheme 2.
static const Channel scheme_channels[scheme_count][3] = {
    {red, green, blue}, {green, blue, red}, {blue, red, green},
    {red, blue, green}, {green, red, blue}, {blue, red, green},
};

static RGBQUAD entry(const Channel order[3], BYTE first, BYTE second, BYTE third) {
    BYTE bytes[4] = {0, 0, 0, 0};
    bytes[order[0]] = first;
    bytes[order[1]] = second;
    bytes[order[2]] = third;
    return RGBQUAD{bytes[0], bytes[1], bytes[2], 0};
}

void build_palette_scheme(int scheme, RGBQUAD table[256]) {
    const Channel* order = scheme_channels[scheme];
    table[0] = RGBQUAD{0, 0, 0, 0};
    for (int k = 1; k <= 85; k++) {
        BYTE v = static_cast<BYTE>(3 * k);
        table[k] = entry(order, v, 0, 0);
        table[85 + k] = entry(order, 255, v, 0);
        table[170 + k] = entry(order, 255, 255, v);
    }
}

UINT apply_palette_scheme() {
    RGBQUAD table[256];
    build_palette_scheme(variant % scheme_count, table);
    return SetDIBColorTable(fire_surface.dc, 0, 256, table);
}

void effect_init(HINSTANCE) {
    RGBQUAD palette[256];
    build_fire_palette(palette);
    clear_particle_pool();
    surface_create(&fire_surface, 8, picture_width, picture_height, palette);
}

bool effect_render(HDC window_dc) {
    if (applied_variant != variant)
        apply_palette_scheme();
    applied_variant = variant;
    // Without pixel memory there is nothing to draw into; the loop goes on so that Escape still
    // ends the program.
    if (fire_surface.bits == nullptr)
        return false;
    decay_and_rise(fire_surface.bits, decay);
    update_particles(fire_surface.bits);
    BitBlt(window_dc, 0, 0, picture_width, picture_height, fire_surface.dc, 0, 0, SRCCOPY);
    return false;
}

void effect_shutdown() {
    surface_destroy(&fire_surface);
}

const Effect effect = {"sorvel", effect_init, effect_render, effect_shutdown, &fire_surface};

} // namespace palette_demo
