// Writing pixels: BitBlt's copy from a memory DC to a window or another DIB section, with its
// clipping and colour conversion, and SetPixel.
#include <bit>
#include <cstring>

#include "gdi_internal.h"
#include "pace.h"
#include "pixel_copy.h"
#include "shown_picture.h"

static_assert(std::endian::native == std::endian::little,
              "32-bit pixels are written as little-endian words");

static const uint8_t* source_row(const Bitmap& bitmap, int y) {
    int row = bitmap.bottom_up ? bitmap.height - 1 - y : y;
    return bitmap.pixels + static_cast<ptrdiff_t>(row) * bitmap.stride;
}

static uint8_t* target_row(const Target& target, int y) {
    int row = target.bottom_up ? target.height - 1 - y : y;
    return target.pixels + static_cast<ptrdiff_t>(row) * target.pitch;
}

uint32_t target_value(const Target& target, int r, int g, int b) {
    switch (target.format) {
    case target_bgrx:
    case target_bgr:
        return static_cast<uint32_t>(b | (g << 8) | (r << 16));
    case target_rgb555:
        return static_cast<uint32_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
    case target_index:
        return nearest_index(bitmaps[target.bitmap], r, g, b);
    case target_display:
    default:
        return target.framebuffer->map_rgb(*target.framebuffer, r, g, b);
    }
}

static void store_pixel(uint8_t* at, int bytes, uint32_t value) {
    switch (bytes) {
    case 1:
        *at = static_cast<uint8_t>(value);
        break;
    case 2: {
        uint16_t half = static_cast<uint16_t>(value);
        memcpy(at, &half, 2);
        break;
    }
    case 3:
        at[0] = static_cast<uint8_t>(value);
        at[1] = static_cast<uint8_t>(value >> 8);
        at[2] = static_cast<uint8_t>(value >> 16);
        break;
    default:
        memcpy(at, &value, 4);
        break;
    }
}

static int read_index(const uint8_t* row, int x, int bits_per_pixel) {
    switch (bits_per_pixel) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) != 0 ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default:
        return row[x];
    }
}

// Copies `width` pixels of one row, starting at source pixel `x`, converting to the target.
static void copy_row(const Bitmap& source, const uint8_t* from, int x, int width,
                     const Target& target, uint8_t* to, const uint32_t* table) {
    int bytes = target.bytes_per_pixel;
    int bpp = source.bits_per_pixel;
    if (table != nullptr) {
        for (int i = 0; i < width; i++)
            store_pixel(to + i * bytes, bytes, table[read_index(from, x + i, bpp)]);
        return;
    }
    if (bpp == 32 && target.format == target_bgrx) {
        const uint8_t* in = from + static_cast<ptrdiff_t>(x) * 4;
        uint32_t* out = reinterpret_cast<uint32_t*>(to);
        for (int i = 0; i < width; i++)
            out[i] =
                static_cast<uint32_t>(in[4 * i] | (in[4 * i + 1] << 8) | (in[4 * i + 2] << 16));
        return;
    }
    // Direct colours: remember the last conversion, as neighbouring pixels often agree.
    uint32_t last_colour = 0xFFFFFFFF;
    uint32_t last_value = 0;
    for (int i = 0; i < width; i++) {
        int r;
        int g;
        int b;
        int at = x + i;
        if (bpp == 16) {
            int v = from[2 * at] | (from[2 * at + 1] << 8);
            r = (v >> 10) & 31;
            g = (v >> 5) & 31;
            b = v & 31;
            r = (r << 3) | (r >> 2);
            g = (g << 3) | (g >> 2);
            b = (b << 3) | (b >> 2);
        } else {
            const uint8_t* p = from + static_cast<ptrdiff_t>(at) * (bpp / 8);
            b = p[0];
            g = p[1];
            r = p[2];
        }
        uint32_t colour = static_cast<uint32_t>(b | (g << 8) | (r << 16));
        if (colour != last_colour) {
            last_colour = colour;
            last_value = target_value(target, r, g, b);
        }
        store_pixel(to + i * bytes, bytes, last_value);
    }
}

// Copy within one bitmap: raw bytes, rows taken in the order that never reads an overwritten one.
static void move_within(Bitmap& bitmap, int x, int y, int width, int height, int src_x, int src_y) {
    int bytes = bitmap.bits_per_pixel / 8;
    int target_first = bitmap.bottom_up ? bitmap.height - 1 - y : y;
    int source_first = bitmap.bottom_up ? bitmap.height - 1 - src_y : src_y;
    bool descending = target_first > source_first;
    int step = bitmap.bottom_up ? -1 : 1; // memory rows per picture row
    for (int n = 0; n < height; n++) {
        // In memory order, from the far end when the target lies beyond the source.
        int i = (descending == (step > 0)) ? height - 1 - n : n;
        uint8_t* to =
            bitmap.pixels + static_cast<ptrdiff_t>(target_first + i * step) * bitmap.stride;
        const uint8_t* from =
            bitmap.pixels + static_cast<ptrdiff_t>(source_first + i * step) * bitmap.stride;
        memmove(to + x * bytes, from + src_x * bytes, static_cast<size_t>(width) * bytes);
    }
}

// Clips one axis of a copy of `length` pixels from `source` to `target`: first where either side
// starts before 0, then where either runs past its size, moving both sides together. In 64 bits,
// so that no sum of the caller's ints can overflow; the length ends at 0 or more.
static void clip_axis(int64_t& target, int64_t& source, int64_t& length, int64_t target_size,
                      int64_t source_size) {
    int64_t* sides[2] = {&source, &target};
    for (int side = 0; side < 2; side++) {
        int64_t& start = *sides[side];
        int64_t& other = *sides[1 - side];
        if (start < 0) {
            other -= start;
            length += start;
            start = 0;
        }
    }
    if (source + length > source_size)
        length = source_size - source;
    if (target + length > target_size)
        length = target_size - target;
    if (length < 0)
        length = 0;
}

// A rectangle of an 8-bit bitmap, top row first.
static IndexRows index_rows(const Bitmap& bitmap, int x, int y, int width, int height) {
    return IndexRows{source_row(bitmap, y) + x, bitmap.bottom_up ? -bitmap.stride : bitmap.stride,
                     width, height};
}

// All of a destination's rows, top row first.
static PixelRows pixel_rows(const Target& target) {
    return PixelRows{target_row(target, 0), target.bottom_up ? -target.pitch : target.pitch,
                     target.width, target.height, target.bytes_per_pixel};
}

// Shows a clipped rectangle of `source` (bitmap slot `slot`) at (x, y) of a window's client that
// its framebuffer shows at a scale, and keeps it for showing again. An 8-bit picture goes from its
// indices straight to the framebuffer's 32-bit pixels; other pictures a row at a time, converted
// to the framebuffer's bytes and to colours to keep.
static void show_scaled(int slot, int src_x, int src_y, int width, int height, const Target& target,
                        const Framebuffer& framebuffer, int x, int y) {
    const Bitmap& source = bitmaps[slot];
    PixelRows screen = {framebuffer.pixels, framebuffer.pitch, framebuffer.width,
                        framebuffer.height, framebuffer.bytes_per_pixel};
    int scale = framebuffer.scale;
    int left = framebuffer.origin_x + x * scale;
    if (source.bits_per_pixel == 8 && framebuffer.bytes_per_pixel == 4) {
        IndexRows rows = index_rows(source, src_x, src_y, width, height);
        copy_indices_scaled(rows, *index_table(slot, target), screen, left,
                            framebuffer.origin_y + y * scale, scale);
        uint32_t key[3] = {static_cast<uint32_t>(slot), bitmap_generations[slot],
                           source.colors_version};
        if (framebuffer.kept != nullptr)
            shown_picture_keep_indices(framebuffer.kept, framebuffer.client_width,
                                       framebuffer.client_height, rows, source.colors, key, x, y);
        return;
    }
    Target colours = {};
    colours.format = target_bgrx;
    colours.bytes_per_pixel = 4;
    // The second table is asked for last: a table is rebuilt only into a slot other than the one
    // asked for just before, so both stay valid.
    const PixelTable* colour_table =
        source.bits_per_pixel <= 8 ? index_table(slot, colours) : nullptr;
    const PixelTable* table = source.bits_per_pixel <= 8 ? index_table(slot, target) : nullptr;
    constexpr int piece = 2048;
    static uint8_t made[piece * 4];
    for (int row = 0; row < height; row++) {
        const uint8_t* in = source_row(source, src_y + row);
        for (int first = 0; first < width; first += piece) {
            int count = width - first < piece ? width - first : piece;
            copy_row(source, in, src_x + first, count, target, made,
                     table != nullptr ? table->values : nullptr);
            copy_row_scaled(made, count, screen, left + first * scale,
                            framebuffer.origin_y + (y + row) * scale, scale);
        }
        uint32_t* kept = framebuffer.kept == nullptr
                             ? nullptr
                             : shown_picture_colour_row(framebuffer.kept, framebuffer.client_width,
                                                        framebuffer.client_height, y + row);
        if (kept != nullptr)
            copy_row(source, in, src_x, width, colours, reinterpret_cast<uint8_t*>(kept + x),
                     colour_table != nullptr ? colour_table->values : nullptr);
    }
}

// The destination of a copy into the DC in `slot`: the window's framebuffer (begun here; `window`
// is set to its slot; a scaled one takes the client's size) or a DIB section of 8, 16, 24 or 32
// bits. False if there is none.
static bool open_target(int slot, Target* target, Framebuffer* framebuffer, int* window) {
    *window = -1;
    if (dcs[slot].kind == dc_window) {
        int shown = window_slot(dcs[slot].window);
        if (shown < 0 || !display_framebuffer_begin(shown, framebuffer))
            return false;
        *window = shown;
        bool scaled = framebuffer->scale > 1;
        target->pixels = framebuffer->pixels;
        target->pitch = framebuffer->pitch;
        target->width = scaled ? framebuffer->client_width : framebuffer->width;
        target->height = scaled ? framebuffer->client_height : framebuffer->height;
        target->bytes_per_pixel = framebuffer->bytes_per_pixel;
        target->format = framebuffer->bgrx ? target_bgrx : target_display;
        target->framebuffer = framebuffer;
        return true;
    }
    const Bitmap& bitmap = bitmaps[dcs[slot].bitmap];
    switch (bitmap.bits_per_pixel) {
    case 32:
        target->format = target_bgrx;
        break;
    case 24:
        target->format = target_bgr;
        break;
    case 16:
        target->format = target_rgb555;
        break;
    case 8:
        target->format = target_index;
        break;
    default:
        say_once(notice_blit_depth);
        return false;
    }
    target->pixels = bitmap.pixels;
    target->pitch = bitmap.stride;
    target->width = bitmap.width;
    target->height = bitmap.height;
    target->bottom_up = bitmap.bottom_up;
    target->bytes_per_pixel = bitmap.bits_per_pixel / 8;
    target->bitmap = dcs[slot].bitmap;
    return true;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int src_x, int src_y,
            DWORD rop) {
    if (rop != SRCCOPY) {
        say_once(notice_raster_operation);
        return FALSE;
    }
    int to = dc_slot(dest);
    int from = dc_slot(src);
    if (to < 0 || from < 0)
        return FALSE;
    if (dcs[from].kind != dc_memory) {
        say_once(notice_blit_source);
        return FALSE;
    }
    if (dcs[to].kind == dc_screen) {
        say_once(notice_blit_screen);
        return FALSE;
    }
    const Bitmap& source = bitmaps[dcs[from].bitmap];
    Target target = {};
    Framebuffer framebuffer = {};
    int window = -1; // slot of the destination window
    if (!open_target(to, &target, &framebuffer, &window))
        return FALSE;

    int64_t tx = x, ty = y, sx = src_x, sy = src_y, w = width, h = height;
    if (w <= 0 || h <= 0)
        w = h = 0;
    clip_axis(tx, sx, w, target.width, source.width);
    clip_axis(ty, sy, h, target.height, source.height);
    if (w <= 0 || h <= 0)
        w = h = 0;

    if (w > 0 && dcs[to].kind == dc_memory && dcs[to].bitmap == dcs[from].bitmap) {
        move_within(bitmaps[dcs[to].bitmap], static_cast<int>(tx), static_cast<int>(ty),
                    static_cast<int>(w), static_cast<int>(h), static_cast<int>(sx),
                    static_cast<int>(sy));
        return TRUE;
    }
    if (w > 0 && window >= 0 && framebuffer.scale > 1) {
        show_scaled(dcs[from].bitmap, static_cast<int>(sx), static_cast<int>(sy),
                    static_cast<int>(w), static_cast<int>(h), target, framebuffer,
                    static_cast<int>(tx), static_cast<int>(ty));
    } else if (w > 0) {
        const PixelTable* table =
            source.bits_per_pixel <= 8 ? index_table(dcs[from].bitmap, target) : nullptr;
        if (source.bits_per_pixel == 8 && target.bytes_per_pixel == 4) {
            copy_indices_scaled(index_rows(source, static_cast<int>(sx), static_cast<int>(sy),
                                           static_cast<int>(w), static_cast<int>(h)),
                                *table, pixel_rows(target), static_cast<int>(tx),
                                static_cast<int>(ty), 1);
        } else {
            for (int64_t row = 0; row < h; row++) {
                const uint8_t* in = source_row(source, static_cast<int>(sy + row));
                uint8_t* out =
                    target_row(target, static_cast<int>(ty + row)) + tx * target.bytes_per_pixel;
                copy_row(source, in, static_cast<int>(sx), static_cast<int>(w), target, out,
                         table != nullptr ? table->values : nullptr);
            }
        }
    }
    // Shown at once, like a draw straight to the screen; then the program waits, if the pace
    // says so, until its next frame is due.
    if (window >= 0) {
        display_framebuffer_end(window, framebuffer, static_cast<int>(tx), static_cast<int>(ty),
                                static_cast<int>(w), static_cast<int>(h));
        if (w > 0)
            pace_frame_shown(window);
    }
    return TRUE;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour) {
    int chosen = selected_bitmap(dc);
    if (chosen < 0) {
        say_once(notice_set_pixel_dc);
        return CLR_INVALID;
    }
    Bitmap& bitmap = bitmaps[chosen];
    if (x < 0 || y < 0 || x >= bitmap.width || y >= bitmap.height)
        return CLR_INVALID;
    int r = GetRValue(colour);
    int g = GetGValue(colour);
    int b = GetBValue(colour);
    uint8_t* row =
        bitmap.pixels +
        static_cast<ptrdiff_t>(bitmap.bottom_up ? bitmap.height - 1 - y : y) * bitmap.stride;
    int bpp = bitmap.bits_per_pixel;
    if (bpp <= 8) {
        uint32_t index = nearest_index(bitmap, r, g, b);
        if (bpp == 8) {
            row[x] = static_cast<uint8_t>(index);
        } else {
            // Pixels fill each byte from its high bits down.
            int shift = bpp == 4 ? ((x & 1) != 0 ? 0 : 4) : 7 - (x & 7);
            int mask = (bpp == 4 ? 0x0F : 0x01) << shift;
            uint8_t& byte = row[bpp == 4 ? x >> 1 : x >> 3];
            byte = static_cast<uint8_t>((byte & ~mask) | (static_cast<int>(index) << shift));
        }
        const RGBQUAD& entry = bitmap.colors[index];
        return RGB(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
    }
    Target target = {};
    target.format = bpp == 32 ? target_bgrx : bpp == 24 ? target_bgr : target_rgb555;
    store_pixel(row + x * (bpp / 8), bpp / 8, target_value(target, r, g, b));
    if (bpp == 16) // what 5 bits per channel keep
        return RGB((r >> 3) << 3 | (r >> 5), (g >> 3) << 3 | (g >> 5), (b >> 3) << 3 | (b >> 5));
    return colour & 0xFFFFFF;
}
