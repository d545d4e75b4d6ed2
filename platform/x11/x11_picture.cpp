// The picture in its image: the framebuffer BitBlt writes at the fit's scale, the last frame kept
// and drawn again in a new layout, and the shrink for windows smaller than the picture.
#include "x11_picture.h"

#include <bit>
#include <cstdlib>

#include "pixel_copy.h"

XPixelFormat x_pixel_format(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask, int depth) {
    uint32_t alpha = depth == 32 ? ~(red_mask | green_mask | blue_mask) : 0;
    return XPixelFormat{red_mask, green_mask, blue_mask, alpha};
}

static uint32_t channel(int value, uint32_t mask) {
    if (mask == 0)
        return 0;
    int shift = std::countr_zero(mask);
    uint32_t top = mask >> shift;
    return ((static_cast<uint32_t>(value) * top + 127) / 255) << shift;
}

// The 0..255 level of the channel under `mask` in `pixel`; channel's inverse, exact for every
// level that channel gives.
static uint32_t level(uint32_t pixel, uint32_t mask) {
    if (mask == 0)
        return 0;
    int shift = std::countr_zero(mask);
    uint32_t top = mask >> shift;
    return (((pixel & mask) >> shift) * 255 + top / 2) / top;
}

uint32_t x_pixel_value(const XPixelFormat& format, int r, int g, int b) {
    return channel(r, format.red_mask) | channel(g, format.green_mask) |
           channel(b, format.blue_mask) | format.alpha;
}

static uint32_t map_x_rgb(const Framebuffer& framebuffer, int r, int g, int b) {
    return x_pixel_value(*static_cast<const XPixelFormat*>(framebuffer.native), r, g, b);
}

bool x_picture_framebuffer(XPicture* picture, Framebuffer* framebuffer) {
    const PictureFit& fit = picture->fit;
    if (picture->image == nullptr || fit.width <= 0 ||
        (fit.scale == 0 && picture->small == nullptr))
        return false;
    const XPixelFormat& format = picture->format;
    *framebuffer = Framebuffer{};
    framebuffer->bytes_per_pixel = 4;
    // Only 0x00RRGGBB words are the DIB's own BGRX bytes; with alpha bits, or another order, the
    // colours go through map_rgb, and the key tells the tables of one format from another's.
    framebuffer->bgrx = format.red_mask == 0xFF0000 && format.green_mask == 0xFF00 &&
                        format.blue_mask == 0xFF && format.alpha == 0;
    framebuffer->format_key[0] = format.red_mask ^ format.alpha;
    framebuffer->format_key[1] = format.green_mask | format.blue_mask;
    framebuffer->map_rgb = map_x_rgb;
    framebuffer->native = &picture->format;
    framebuffer->client_width = picture->client_width;
    framebuffer->client_height = picture->client_height;
    if (fit.scale == 0) {
        framebuffer->pixels = reinterpret_cast<uint8_t*>(picture->small);
        framebuffer->pitch = picture->client_width * 4;
        framebuffer->width = picture->client_width;
        framebuffer->height = picture->client_height;
        return true;
    }
    // At 1x the image is the client's size, and BitBlt writes it as it writes an unscaled window.
    framebuffer->pixels = picture->image;
    framebuffer->pitch = picture->pitch;
    framebuffer->width = fit.width;
    framebuffer->height = fit.height;
    framebuffer->scale = fit.scale;
    framebuffer->kept = fit.scale > 1 ? &picture->kept : nullptr;
    return true;
}

// The shrink: each pixel of the image is the client pixel nearest its centre. Its own small path
// (a window smaller than 320 x 240 is a preview at most), from the client-size picture that BitBlt
// wrote, since no whole scale writes fewer pixels than the client has.
static void shrink(const XPicture& picture) {
    const PictureFit& fit = picture.fit;
    int width = picture.client_width;
    int height = picture.client_height;
    for (int y = 0; y < fit.height; y++) {
        const uint32_t* from =
            picture.small + static_cast<size_t>((2 * y + 1) * height / (2 * fit.height)) * width;
        uint32_t* to =
            reinterpret_cast<uint32_t*>(picture.image + static_cast<size_t>(y) * picture.pitch);
        for (int x = 0; x < fit.width; x++)
            to[x] = from[(2 * x + 1) * width / (2 * fit.width)];
    }
}

void x_picture_written(XPicture* picture) {
    if (picture->image == nullptr || picture->fit.width <= 0)
        return;
    picture->drawn = true;
    if (picture->fit.scale == 0)
        shrink(*picture);
    picture->in_rows = picture->fit.scale <= 1;
}

void x_picture_leave(XPicture* picture) {
    if (!picture->drawn || !picture->in_rows)
        return;
    bool shrunk = picture->fit.scale == 0;
    const uint8_t* rows =
        shrunk ? reinterpret_cast<const uint8_t*>(picture->small) : picture->image;
    size_t pitch = shrunk ? static_cast<size_t>(picture->client_width) * 4
                          : static_cast<size_t>(picture->pitch);
    const XPixelFormat& format = picture->format;
    for (int y = 0; y < picture->client_height; y++) {
        uint32_t* kept = shown_picture_colour_row(&picture->kept, picture->client_width,
                                                  picture->client_height, y);
        if (kept == nullptr)
            return; // no memory: the next layout starts black
        const uint32_t* row = reinterpret_cast<const uint32_t*>(rows + y * pitch);
        for (int x = 0; x < picture->client_width; x++)
            kept[x] = level(row[x], format.red_mask) << 16 | level(row[x], format.green_mask) << 8 |
                      level(row[x], format.blue_mask);
    }
    picture->in_rows = false;
}

bool x_picture_lay_out(XPicture* picture, const PictureFit& fit, uint8_t* image, int pitch) {
    picture->fit = fit;
    picture->image = image;
    picture->pitch = pitch;
    picture->in_rows = false;
    if (image == nullptr || fit.width <= 0)
        return true;
    uint32_t black = x_pixel_value(picture->format, 0, 0, 0);
    fill_around(PixelRows{image, pitch, fit.width, fit.height, 4}, 0, 0, 0, 0, black);
    if (fit.scale == 0 && picture->small == nullptr) {
        size_t pixels = static_cast<size_t>(picture->client_width) * picture->client_height;
        picture->small = static_cast<uint32_t*>(malloc(pixels * 4));
        if (picture->small == nullptr)
            return false;
        for (size_t i = 0; i < pixels; i++)
            picture->small[i] = black;
    }
    Framebuffer framebuffer;
    if (!x_picture_framebuffer(picture, &framebuffer))
        return true;
    shown_picture_draw(picture->kept, framebuffer);
    if (fit.scale == 0)
        shrink(*picture);
    return true;
}

void x_picture_free(XPicture* picture) {
    shown_picture_free(&picture->kept);
    free(picture->small);
    picture->small = nullptr;
}
