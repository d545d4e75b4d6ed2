// The picture of the program's window in another program's X window, in memory: an image of its
// fit's size (picture_fit.h) in the X window's pixel format, which BitBlt writes as it writes a
// scaled SDL window (straight from the program's 8-bit pixels at the whole scale, the black around
// it left alone), what is kept to show the last frame again in a new layout, and the one path of
// its own: the nearest-pixel shrink for X windows smaller than the picture. No Xlib here:
// x11_target.cpp owns the image's memory and sends it, and the backend's tests run this without an
// X server.
#pragma once

#include <cstdint>

#include "picture_fit.h"
#include "platform_internal.h"
#include "shown_picture.h"

// An X window's 32-bit pixels: each colour under its mask; `alpha` holds the bits outside the
// three, set in every pixel of a depth-32 window so that one with an alpha channel shows the
// picture opaque, and 0 otherwise.
struct XPixelFormat {
    uint32_t red_mask;
    uint32_t green_mask;
    uint32_t blue_mask;
    uint32_t alpha;
};

// The format of a true-colour visual's masks at `depth` (24, 30 or 32).
XPixelFormat x_pixel_format(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask, int depth);
// The pixel of the colour (r, g, b), each 0..255, alpha set.
uint32_t x_pixel_value(const XPixelFormat& format, int r, int g, int b);

// Where the last frame is, and what BitBlt writes next. At a scale N >= 2 BitBlt writes the image
// and keeps its 8-bit rows in `kept`; at 1x the image is the client-size picture and BitBlt writes
// it directly; shrunk (fit.scale 0) it writes `small`, which is then shrunk into the image. In the
// last two the frame lives only in those rows, and a new layout first keeps it from them.
struct XPicture {
    XPixelFormat format;
    int client_width; // the program's client area
    int client_height;
    PictureFit fit;
    uint8_t* image; // fit.width x fit.height pixels, `pitch` bytes a row, top-down; not owned
    int pitch;
    ShownPicture kept;
    uint32_t* small; // client-size, `format`'s pixels, rows top-down; made at the first shrink
    bool drawn;      // a frame was written since the picture was opened
    bool in_rows;    // the last frame is only in the image at 1x or in `small`, not in `kept`
};

// Before the image goes (a new size) or changes: the last frame, kept from the rows that hold it
// when `kept` does not.
void x_picture_leave(XPicture* picture);
// Lays the picture out at `fit` in `image` (fit.width x fit.height, `pitch` bytes a row): black,
// alpha set, with the last frame in it at the new scale. False when there is no memory for the
// shrink's picture.
bool x_picture_lay_out(XPicture* picture, const PictureFit& fit, uint8_t* image, int pitch);
// The framebuffer BitBlt writes for the picture's layout; false when it has no image.
bool x_picture_framebuffer(XPicture* picture, Framebuffer* framebuffer);
// After BitBlt wrote it: a shrunk picture is shrunk into the image, and where the frame lives is
// noted.
void x_picture_written(XPicture* picture);
// Frees what the picture allocated (not the image).
void x_picture_free(XPicture* picture);
