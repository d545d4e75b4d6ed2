// A spark's patch on processors without SSE2: the 21 saturating adds without bounds tests, for
// the same interior as the SSE2 version.
#include "fireworks.h"

bool add_spark_patch_inside(uint8_t* heat, int cx, int cy, int b) {
    if (cx < 2 || cx > heat_width - 6 || cy < 2 || cy > heat_height - 3)
        return false;
    // Screen row cy + dy is memory row 239 - cy - dy: down the screen is back through memory.
    uint8_t* centre = heat + (heat_height - 1 - cy) * heat_width + cx;
    for (int dy = -2; dy <= 2; dy++) {
        int h = (dy == -2 || dy == 2) ? 1 : 2;
        uint8_t* row = centre - dy * heat_width;
        for (int dx = -h; dx <= h; dx++) {
            int v = row[dx] + b;
            row[dx] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    }
    return true;
}
