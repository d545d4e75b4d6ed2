// The warp display of sorvel2: three lookup tables, computed once at start-up, that map every
// screen pixel to one byte of the heat buffer (a polar warp that rolls the fire into a disc, the
// same disc swirled, and a ripple), and the effect that composes each frame through the active
// one. It owns the two 8-bit surfaces of sorvel2 and the tables; the heat buffer's simulation
// belongs to fireworks/, the window and keys to shell/.
#pragma once

#include <cstdint>

#include <windows.h>

#include "effect.h"
#include "fireworks.h"
#include "surface.h"

namespace warp {

constexpr int width = picture_width;
constexpr int height = picture_height;
constexpr int table_size = width * height;

// Entries are offsets into the heat buffer (0..76,799), so the tables do not depend on where the
// heat buffer lives. They are stored in the order the screen picture is written: the entry for
// screen pixel (x, y) is at index warp_index(x, y), the offset of that pixel in the bottom-up
// screen surface. The remap then reads its table and writes its output both front to back.
typedef uint32_t WarpTable[table_size];

enum WarpKind { polar_warp = 0, swirl_warp = 1, ripple_warp = 2 };

// Index of screen pixel (x, y), x 0..319 from the left and y 0..239 from the top.
constexpr int warp_index(int x, int y) {
    return (height - 1 - y) * width + x;
}

extern WarpTable warp_tables[3]; // polar, swirl, ripple; read-only after start-up
extern WarpTable active_warp_table;

extern Surface screen_surface; // the composed picture, the only surface shown
extern Surface fire_surface;   // its pixel memory is the heat buffer
extern int32_t applied_variant;

// Computes the three tables (and copies the polar warp into the active table).
void build_warp_tables();

// Fills all of screen_surface from the heat buffer through active_warp_table.
void remap_through_warp();

// The effect operations of sorvel2, and its record (named "sorvel2", showing screen_surface).
void effect_init(HINSTANCE instance);
bool effect_render(HDC window_dc);
void effect_shutdown();
extern const Effect effect;

} // namespace warp
