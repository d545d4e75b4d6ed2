// One picture into its fit: whole-scale blocks, each source row widened once and its copies made
// with memcpy, or nearest-pixel shrinking for windows smaller than the picture.
#include "x11_picture.h"

#include <cstddef>
#include <cstring>

static const uint32_t* row_of(const uint32_t* pixels, int pitch, int y) {
    return reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(pixels) +
                                             static_cast<ptrdiff_t>(y) * pitch);
}

static uint32_t* row_of(uint32_t* pixels, int pitch, int y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) +
                                       static_cast<ptrdiff_t>(y) * pitch);
}

void write_picture(const uint32_t* in, int width, int height, int in_pitch, uint32_t* out,
                   int out_pitch, const PictureFit& fit) {
    if (fit.width <= 0 || fit.height <= 0 || width <= 0 || height <= 0)
        return;
    if (fit.scale == 0) {
        for (int y = 0; y < fit.height; y++) {
            const uint32_t* from = row_of(in, in_pitch, (2 * y + 1) * height / (2 * fit.height));
            uint32_t* to = row_of(out, out_pitch, y);
            for (int x = 0; x < fit.width; x++)
                to[x] = from[(2 * x + 1) * width / (2 * fit.width)];
        }
        return;
    }
    int scale = fit.scale;
    size_t row_bytes = static_cast<size_t>(width) * scale * sizeof(uint32_t);
    for (int y = 0; y < height; y++) {
        const uint32_t* from = row_of(in, in_pitch, y);
        uint32_t* first = row_of(out, out_pitch, y * scale);
        if (scale == 1) {
            memcpy(first, from, row_bytes);
            continue;
        }
        uint32_t* to = first;
        for (int x = 0; x < width; x++, to += scale)
            for (int k = 0; k < scale; k++)
                to[k] = from[x];
        for (int k = 1; k < scale; k++)
            memcpy(row_of(out, out_pitch, y * scale + k), first, row_bytes);
    }
}
