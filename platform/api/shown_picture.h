// What a scaled window showed last, kept so that its backend can show it again when the scale,
// the full screen or the framebuffer changes: BitBlt keeps each rectangle it writes scaled. A
// rectangle from an 8-bit picture is kept as its indices, with the colour table they were shown
// through (a copy of one byte a pixel, no 32-bit picture); any other as colours. The record
// belongs to the backend's window, which frees it; its memory is allocated once, at the first
// keep, for the client's size, and a frame allocates nothing.
#pragma once

#include <cstdint>

#include "pixel_copy.h"

struct Framebuffer;

struct ShownPicture {
    int width; // the client's size; 0 until the first keep
    int height;
    uint8_t* indices;   // width x height, rows top-down
    uint32_t* colours;  // width x height, 0x00RRGGBB, for the rows kept as colours
    uint8_t* by_colour; // per row: 1 if the row is kept as colours, 0 as indices
    RGBQUAD palette[256];
    uint32_t palette_key[3]; // which colour table, in which version, the indices came from
};

// Keeps `rows` at (x, y) of the client (`client_width` x `client_height`; the rectangle lies
// inside it), shown through `palette` (256 entries), which `key` names: a key that changes is a
// palette that changed. False, keeping nothing, when the memory cannot be had.
bool shown_picture_keep_indices(ShownPicture* picture, int client_width, int client_height,
                                const IndexRows& rows, const RGBQUAD* palette,
                                const uint32_t key[3], int x, int y);

// Row y of the kept colours, for the caller to write colours (0x00RRGGBB) into from column x on;
// the rest of the row keeps what was shown there. Null when the memory cannot be had.
uint32_t* shown_picture_colour_row(ShownPicture* picture, int client_width, int client_height,
                                   int y);

// Draws all of the kept picture into `framebuffer` at its scale and origin (at 1x, at the top
// left); nothing when nothing is kept.
void shown_picture_draw(const ShownPicture& picture, const Framebuffer& framebuffer);

// Gives the memory back; the record is as new.
void shown_picture_free(ShownPicture* picture);
