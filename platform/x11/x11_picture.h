// The picture of a window shown in another program's X window: the client-size picture, already
// in the window's 32-bit pixels, written at the size its fit gives it. Kept apart in one function
// so that a shared writer that goes straight from the program's 8-bit pixels can take its place.
#pragma once

#include <cstdint>

#include "picture_fit.h"

// Writes the `width` x `height` picture `in` (`in_pitch` bytes a row, rows top-down) into `out`
// (`out_pitch` bytes a row), which holds fit.width x fit.height pixels: each pixel as an exact
// fit.scale x fit.scale block, or, when fit.scale is 0, each pixel of `out` the picture's pixel
// nearest its centre.
void write_picture(const uint32_t* in, int width, int height, int in_pitch, uint32_t* out,
                   int out_pitch, const PictureFit& fit);
