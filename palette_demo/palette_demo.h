// The palette schemes of sorvel: six colourings of the fire picture that differ only in the
// order of the three colour channels, and the effect that shows the heat buffer directly and
// recolours it by replacing the surface's colour table, never the pixels. It owns sorvel's one
// surface, whose pixel memory is the heat buffer; the simulation belongs to fireworks/.
#pragma once

#include <cstdint>

#include <windows.h>

#include "effect.h"
#include "surface.h"

namespace palette_demo {

constexpr int scheme_count = 6;

extern Surface fire_surface;
extern int32_t applied_variant;

// Fills 256 entries with scheme 0..5: black, then ramps of 85 steps of 3 in the scheme's first,
// second and third channel, ending in white. Scheme 0 is the fire palette.
void build_palette_scheme(int scheme, RGBQUAD table[256]);

// Builds scheme variant mod 6 and loads it into fire_surface's colour table; returns the number
// of entries set.
UINT apply_palette_scheme();

// The effect operations of sorvel, and its record (named "sorvel", showing fire_surface).
void effect_init(HINSTANCE instance);
bool effect_render(HDC window_dc);
void effect_shutdown();
extern const Effect effect;

} // namespace palette_demo
