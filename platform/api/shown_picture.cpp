#include "shown_picture.h"

#include <cstdlib>
#include <cstring>

#include "platform_internal.h"

void shown_picture_free(ShownPicture* picture) {
    free(picture->indices);
    free(picture->colours);
    free(picture->by_colour);
    *picture = ShownPicture{};
}

// The memory for a client of `width` x `height`, all of it black colours at first.
static bool make(ShownPicture* picture, int width, int height) {
    if (picture->width == width && picture->height == height && picture->indices != nullptr)
        return true;
    shown_picture_free(picture);
    if (width <= 0 || height <= 0)
        return false;
    size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    picture->indices = static_cast<uint8_t*>(calloc(pixels, 1));
    picture->colours = static_cast<uint32_t*>(calloc(pixels, 4));
    picture->by_colour = static_cast<uint8_t*>(malloc(static_cast<size_t>(height)));
    if (picture->indices == nullptr || picture->colours == nullptr ||
        picture->by_colour == nullptr) {
        shown_picture_free(picture);
        return false;
    }
    memset(picture->by_colour, 1, static_cast<size_t>(height));
    picture->width = width;
    picture->height = height;
    return true;
}

static uint32_t colour_of(const RGBQUAD& entry) {
    return static_cast<uint32_t>(entry.rgbRed << 16 | entry.rgbGreen << 8 | entry.rgbBlue);
}

static void row_to_colours(ShownPicture* picture, int y) {
    size_t at = static_cast<size_t>(y) * static_cast<size_t>(picture->width);
    for (int x = 0; x < picture->width; x++)
        picture->colours[at + x] = colour_of(picture->palette[picture->indices[at + x]]);
    picture->by_colour[y] = 1;
}

bool shown_picture_keep_indices(ShownPicture* picture, int client_width, int client_height,
                                const IndexRows& rows, const RGBQUAD* palette,
                                const uint32_t key[3], int x, int y) {
    if (!make(picture, client_width, client_height))
        return false;
    bool whole_rows = x == 0 && rows.width == client_width;
    if (memcmp(key, picture->palette_key, sizeof(picture->palette_key)) != 0) {
        // Indices kept through the old colours, and not about to be replaced, become colours.
        for (int r = 0; r < picture->height; r++) {
            bool replaced = whole_rows && r >= y && r < y + rows.height;
            if (picture->by_colour[r] == 0 && !replaced)
                row_to_colours(picture, r);
        }
        memcpy(picture->palette, palette, sizeof(picture->palette));
        memcpy(picture->palette_key, key, sizeof(picture->palette_key));
    }
    for (int j = 0; j < rows.height; j++) {
        const uint8_t* in = rows.top + j * rows.stride;
        size_t at = static_cast<size_t>(y + j) * static_cast<size_t>(picture->width) +
                    static_cast<size_t>(x);
        if (whole_rows || picture->by_colour[y + j] == 0) {
            memcpy(picture->indices + at, in, static_cast<size_t>(rows.width));
            picture->by_colour[y + j] = 0;
        } else {
            for (int i = 0; i < rows.width; i++)
                picture->colours[at + i] = colour_of(palette[in[i]]);
        }
    }
    return true;
}

uint32_t* shown_picture_colour_row(ShownPicture* picture, int client_width, int client_height,
                                   int y) {
    if (!make(picture, client_width, client_height) || y < 0 || y >= client_height)
        return nullptr;
    if (picture->by_colour[y] == 0)
        row_to_colours(picture, y);
    return picture->colours + static_cast<size_t>(y) * static_cast<size_t>(client_width);
}

static uint32_t pixel_value(const Framebuffer& framebuffer, uint32_t colour) {
    int r = static_cast<int>(colour >> 16 & 0xFF);
    int g = static_cast<int>(colour >> 8 & 0xFF);
    int b = static_cast<int>(colour & 0xFF);
    if (framebuffer.bgrx)
        return colour;
    return framebuffer.map_rgb(framebuffer, r, g, b);
}

void shown_picture_draw(const ShownPicture& picture, const Framebuffer& framebuffer) {
    if (picture.width == 0 || framebuffer.pixels == nullptr)
        return;
    bool scaled = framebuffer.scale > 1;
    int scale = scaled ? framebuffer.scale : 1;
    int left = scaled ? framebuffer.origin_x : 0;
    int top = scaled ? framebuffer.origin_y : 0;
    int bytes = framebuffer.bytes_per_pixel;
    PixelRows to = {framebuffer.pixels, framebuffer.pitch, framebuffer.width, framebuffer.height,
                    bytes};
    static PixelTable table;
    for (int i = 0; i < 256; i++)
        table.values[i] = pixel_value(framebuffer, colour_of(picture.palette[i]));
    pixel_table_prepare(&table);
    // Other rows a piece at a time, in the framebuffer's own bytes.
    constexpr int piece = 2048;
    static uint8_t made[piece * 4];
    for (int r = 0; r < picture.height;) {
        size_t at = static_cast<size_t>(r) * static_cast<size_t>(picture.width);
        if (picture.by_colour[r] == 0 && bytes == 4) {
            int end = r + 1;
            while (end < picture.height && picture.by_colour[end] == 0)
                end++;
            IndexRows run = {picture.indices + at, picture.width, picture.width, end - r};
            copy_indices_scaled(run, table, to, left, top + r * scale, scale);
            r = end;
            continue;
        }
        for (int first = 0; first < picture.width; first += piece) {
            int count = picture.width - first < piece ? picture.width - first : piece;
            uint32_t last_colour = 0xFFFFFFFF;
            uint32_t value = 0;
            for (int i = 0; i < count; i++) {
                size_t pixel = at + static_cast<size_t>(first + i);
                if (picture.by_colour[r] == 0) {
                    value = table.values[picture.indices[pixel]];
                } else if (picture.colours[pixel] != last_colour) {
                    last_colour = picture.colours[pixel];
                    value = pixel_value(framebuffer, last_colour);
                }
                memcpy(made + i * bytes, &value, static_cast<size_t>(bytes));
            }
            copy_row_scaled(made, count, to, left + first * scale, top + r * scale, scale);
        }
        r++;
    }
}
