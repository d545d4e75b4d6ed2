// A spark's patch drawn with SSE2: each of its five rows is one 8-byte load, saturating add and
// store, with the brightness masked to the row's 3 or 5 pixels. The other bytes get 0 added and
// are written back unchanged, so the 8-byte rows must stay inside the picture's rows.
#include "fireworks.h"

#include <emmintrin.h>

bool add_spark_patch_inside(uint8_t* heat, int cx, int cy, int b) {
    if (cx < 2 || cx > heat_width - 6 || cy < 2 || cy > heat_height - 3)
        return false;
    // Lane 0 is column cx - 2. Screen row cy + dy is memory row 239 - cy - dy: down the screen
    // is back through memory.
    uint8_t* centre_row = heat + (heat_height - 1 - cy) * heat_width + cx - 2;
    __m128i brightness = _mm_set1_epi8(static_cast<char>(b));
    // the outer rows cover lanes 1..3 (columns cx - 1..cx + 1), the inner ones lanes 0..4
    __m128i outer =
        _mm_and_si128(brightness, _mm_set_epi32(0, 0, 0, static_cast<int>(0xFFFFFF00u)));
    __m128i inner = _mm_and_si128(brightness, _mm_set_epi32(0, 0, 0x000000FF, -1));
    for (int dy = -2; dy <= 2; dy++) {
        __m128i* row = reinterpret_cast<__m128i*>(centre_row - dy * heat_width);
        __m128i add = (dy == -2 || dy == 2) ? outer : inner;
        _mm_storel_epi64(row, _mm_adds_epu8(_mm_loadl_epi64(row), add));
    }
    return true;
}
