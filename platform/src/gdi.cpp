// Device contexts, DIB sections and the block transfer. Memory DCs hold one selected bitmap; a
// window's DC draws into the display's framebuffer of that window. The platform owns every DIB
// section's pixel memory, allocated when the section is made and freed when it is deleted.
#include <bit>
#include <cstdlib>
#include <cstring>

#include "pixel_copy_avx2.h"
#include "platform_internal.h"

static_assert(std::endian::native == std::endian::little,
              "32-bit pixels are written as little-endian words");

enum DcKind {
    dc_screen,
    dc_window,
    dc_memory,
};

struct DeviceContext {
    bool used;
    DcKind kind;
    HWND window; // dc_window: the window it draws into
    int bitmap;  // dc_memory: slot of the selected bitmap (the stock bitmap when none)
};

struct Bitmap {
    bool used;
    int width;
    int height; // rows, always positive
    bool bottom_up;
    int bits_per_pixel;
    int stride;
    uint8_t* pixels;
    RGBQUAD colors[256]; // entries past color_count stay black
    int color_count;
    uint32_t colors_version; // changes whenever the colour table does
    int selected_in;         // DC slot holding it, or -1
};

constexpr int max_dcs = 64;
constexpr int max_bitmaps = 128;
constexpr int screen_dc = 0;
// Every fresh memory DC holds this 1x1 monochrome bitmap until another is selected.
constexpr int stock_bitmap = 0;
// Larger DIB sections are refused: no picture of these programs comes near.
constexpr int64_t largest_dib_bytes = int64_t{1} << 28;
constexpr uint32_t largest_header = 124; // BITMAPV5HEADER

static uint8_t stock_pixels[4];

static DeviceContext dcs[max_dcs] = {
    {.used = true, .kind = dc_screen, .window = nullptr, .bitmap = 0}};
static uint32_t dc_generations[max_dcs];
static Bitmap bitmaps[max_bitmaps] = {{.used = true,
                                       .width = 1,
                                       .height = 1,
                                       .bottom_up = true,
                                       .bits_per_pixel = 1,
                                       .stride = 4,
                                       .pixels = stock_pixels,
                                       .colors = {{0, 0, 0, 0}, {255, 255, 255, 0}},
                                       .color_count = 2,
                                       .colors_version = 1,
                                       .selected_in = -1}};
static uint32_t bitmap_generations[max_bitmaps];

static bool said_screen;
static bool said_raster_operation;
static bool said_source_kind;
static bool said_target_depth;
static bool said_delete_selected;
static bool said_dib_usage;
static bool said_dib_section;
static bool said_dib_compression;
static bool said_too_many;

static HDC dc_handle(int slot) {
    return reinterpret_cast<HDC>(make_handle(kind_dc, slot, dc_generations[slot]));
}

static int dc_slot(HDC dc) {
    int slot = handle_slot(dc, kind_dc, dc_generations, max_dcs);
    return slot >= 0 && dcs[slot].used ? slot : -1;
}

static HBITMAP bitmap_handle(int slot) {
    return reinterpret_cast<HBITMAP>(make_handle(kind_bitmap, slot, bitmap_generations[slot]));
}

static int bitmap_slot(const void* object) {
    int slot = handle_slot(object, kind_bitmap, bitmap_generations, max_bitmaps);
    return slot >= 0 && bitmaps[slot].used ? slot : -1;
}

static int new_dc(DcKind kind, HWND window) {
    for (int slot = 1; slot < max_dcs; slot++) {
        if (dcs[slot].used)
            continue;
        dcs[slot] = DeviceContext{true, kind, window, stock_bitmap};
        return slot;
    }
    say_once(&said_too_many, "GDI: out of device-context or bitmap slots");
    return -1;
}

static void free_dc(int slot) {
    dcs[slot] = DeviceContext{};
    dc_generations[slot]++;
}

HDC window_dc_create(HWND window) {
    int slot = new_dc(dc_window, window);
    return slot < 0 ? nullptr : dc_handle(slot);
}

void window_dc_free(HDC dc) {
    int slot = dc_slot(dc);
    if (slot >= 0 && dcs[slot].kind == dc_window)
        free_dc(slot);
}

HDC GetDC(HWND window) {
    if (window == nullptr)
        return dc_handle(screen_dc);
    if (!IsWindow(window))
        return nullptr;
    for (int slot = 0; slot < max_dcs; slot++)
        if (dcs[slot].used && dcs[slot].kind == dc_window && dcs[slot].window == window)
            return dc_handle(slot);
    return nullptr;
}

int ReleaseDC(HWND, HDC dc) {
    // A window keeps its one DC for its whole life, so releasing changes nothing.
    int slot = dc_slot(dc);
    return slot >= 0 && dcs[slot].kind != dc_memory ? 1 : 0;
}

HWND WindowFromDC(HDC dc) {
    int slot = dc_slot(dc);
    return slot >= 0 && dcs[slot].kind == dc_window ? dcs[slot].window : nullptr;
}

HDC CreateCompatibleDC(HDC dc) {
    if ((dc != nullptr && dc_slot(dc) < 0) || platform_fault(fault_create_compatible_dc))
        return nullptr;
    int slot = new_dc(dc_memory, nullptr);
    return slot < 0 ? nullptr : dc_handle(slot);
}

BOOL DeleteDC(HDC dc) {
    int slot = dc_slot(dc);
    if (slot < 0 || dcs[slot].kind != dc_memory)
        return FALSE;
    if (dcs[slot].bitmap != stock_bitmap)
        bitmaps[dcs[slot].bitmap].selected_in = -1;
    free_dc(slot);
    return TRUE;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD) {
    if (bits != nullptr)
        *bits = nullptr;
    if (info == nullptr || platform_fault(fault_create_dib_section))
        return nullptr;
    if (usage != DIB_RGB_COLORS) {
        say_once(&said_dib_usage, "CreateDIBSection: only DIB_RGB_COLORS colour tables");
        return nullptr;
    }
    if (section != nullptr) {
        say_once(&said_dib_section, "CreateDIBSection: file-mapping sections are not supported");
        return nullptr;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    int bpp = header.biBitCount;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > largest_header ||
        header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN ||
        header.biPlanes != 1)
        return nullptr;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return nullptr;
    if (header.biCompression != BI_RGB) {
        say_once(&said_dib_compression, "CreateDIBSection: only BI_RGB pixels");
        return nullptr;
    }
    int64_t rows = header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight;
    int64_t stride = (int64_t{bpp} * header.biWidth + 31) / 32 * 4;
    // Each factor is below 2^34, but their product could pass 2^63: divide instead.
    if (rows > largest_dib_bytes / stride)
        return nullptr;

    int slot = 1;
    while (slot < max_bitmaps && bitmaps[slot].used)
        slot++;
    if (slot == max_bitmaps) {
        say_once(&said_too_many, "GDI: out of device-context or bitmap slots");
        return nullptr;
    }
    uint8_t* pixels = static_cast<uint8_t*>(calloc(static_cast<size_t>(stride * rows), 1));
    if (pixels == nullptr)
        return nullptr;

    Bitmap& bitmap = bitmaps[slot];
    bitmap = Bitmap{};
    bitmap.used = true;
    bitmap.width = header.biWidth;
    bitmap.height = static_cast<int>(rows);
    bitmap.bottom_up = header.biHeight > 0;
    bitmap.bits_per_pixel = bpp;
    bitmap.stride = static_cast<int>(stride);
    bitmap.pixels = pixels;
    bitmap.colors_version = 1;
    bitmap.selected_in = -1;
    if (bpp <= 8) {
        // The colour table follows the header, whatever the header's size.
        uint32_t count = uint32_t{1} << bpp;
        if (header.biClrUsed != 0 && header.biClrUsed < count)
            count = header.biClrUsed;
        memcpy(bitmap.colors, reinterpret_cast<const uint8_t*>(info) + header.biSize,
               count * sizeof(RGBQUAD));
        bitmap.color_count = static_cast<int>(count);
    }
    if (bits != nullptr)
        *bits = pixels;
    return bitmap_handle(slot);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    int slot = dc_slot(dc);
    int chosen = bitmap_slot(object);
    if (slot < 0 || dcs[slot].kind != dc_memory || chosen < 0)
        return nullptr;
    // A bitmap can be selected into one DC at a time; the stock bitmap into any number.
    if (chosen != stock_bitmap && bitmaps[chosen].selected_in >= 0 &&
        bitmaps[chosen].selected_in != slot)
        return nullptr;
    int previous = dcs[slot].bitmap;
    if (previous != stock_bitmap)
        bitmaps[previous].selected_in = -1;
    dcs[slot].bitmap = chosen;
    if (chosen != stock_bitmap)
        bitmaps[chosen].selected_in = slot;
    return bitmap_handle(previous);
}

BOOL DeleteObject(HGDIOBJ object) {
    int slot = bitmap_slot(object);
    if (slot < 0)
        return FALSE;
    if (slot == stock_bitmap)
        return TRUE;
    if (bitmaps[slot].selected_in >= 0) {
        say_once(&said_delete_selected, "DeleteObject: a bitmap still selected is kept");
        return FALSE;
    }
    free(bitmaps[slot].pixels);
    bitmaps[slot] = Bitmap{};
    bitmap_generations[slot]++;
    return TRUE;
}

// The DIB section with a colour table selected into `dc`, or -1.
static int selected_palette_bitmap(HDC dc) {
    int slot = dc_slot(dc);
    if (slot < 0 || dcs[slot].kind != dc_memory || dcs[slot].bitmap == stock_bitmap)
        return -1;
    int chosen = dcs[slot].bitmap;
    return bitmaps[chosen].bits_per_pixel <= 8 ? chosen : -1;
}

UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors) {
    int slot = selected_palette_bitmap(dc);
    if (slot < 0 || colors == nullptr)
        return 0;
    Bitmap& bitmap = bitmaps[slot];
    UINT total = static_cast<UINT>(bitmap.color_count);
    if (start >= total)
        return 0;
    if (count > total - start)
        count = total - start;
    memcpy(bitmap.colors + start, colors, count * sizeof(RGBQUAD));
    bitmap.colors_version++;
    return count;
}

UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors) {
    int slot = selected_palette_bitmap(dc);
    if (slot < 0 || colors == nullptr)
        return 0;
    const Bitmap& bitmap = bitmaps[slot];
    UINT total = static_cast<UINT>(bitmap.color_count);
    if (start >= total)
        return 0;
    if (count > total - start)
        count = total - start;
    memcpy(colors, bitmap.colors + start, count * sizeof(RGBQUAD));
    return count;
}

BOOL GdiFlush() {
    // Drawing is never batched here: every call has finished when it returns.
    return TRUE;
}

// --- Block transfer ---

// How a destination stores a colour: as the display's pixel value for a window, or as a DIB
// section's 32-bit BGRX, 24-bit BGR, 16-bit 5-5-5 or 8-bit index into its own colour table.
enum TargetFormat {
    target_display,
    target_bgrx,
    target_bgr,
    target_rgb555,
    target_index,
};

struct Target {
    uint8_t* pixels;
    int pitch;
    int width;
    int height;
    bool bottom_up;
    int bytes_per_pixel;
    TargetFormat format;
    const Framebuffer* framebuffer; // target_display
    int bitmap;                     // DIB section targets
};

static const uint8_t* source_row(const Bitmap& bitmap, int y) {
    int row = bitmap.bottom_up ? bitmap.height - 1 - y : y;
    return bitmap.pixels + static_cast<ptrdiff_t>(row) * bitmap.stride;
}

static uint8_t* target_row(const Target& target, int y) {
    int row = target.bottom_up ? target.height - 1 - y : y;
    return target.pixels + static_cast<ptrdiff_t>(row) * target.pitch;
}

// Index of the colour-table entry closest to (r, g, b) by squared distance; the lowest index wins
// a tie.
static uint32_t nearest_index(const Bitmap& bitmap, int r, int g, int b) {
    uint32_t best = 0;
    int best_distance = INT32_MAX;
    for (int i = 0; i < bitmap.color_count; i++) {
        const RGBQUAD& c = bitmap.colors[i];
        int dr = c.rgbRed - r;
        int dg = c.rgbGreen - g;
        int db = c.rgbBlue - b;
        int distance = dr * dr + dg * dg + db * db;
        if (distance < best_distance) {
            best_distance = distance;
            best = static_cast<uint32_t>(i);
        }
    }
    return best;
}

static uint32_t target_value(const Target& target, int r, int g, int b) {
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

// Index-to-pixel tables, one per (source colour table, destination format) pair in use, rebuilt
// only when either changes. A frame's present is then one table read per pixel.
struct IndexTable {
    bool valid;
    int source;
    uint32_t source_generation;
    uint32_t source_version;
    uint32_t target_key[3];
    uint32_t values[256];
};

constexpr int index_table_count = 4;
static IndexTable index_tables[index_table_count];
static int next_index_table;
static uint32_t index_table_builds;

uint32_t platform_lut_builds() {
    return index_table_builds;
}

static const uint32_t* index_table(int source, const Target& target) {
    uint32_t key[3] = {static_cast<uint32_t>(target.format), 0, 0};
    if (target.format == target_display) {
        key[1] = target.framebuffer->format_key[0];
        key[2] = target.framebuffer->format_key[1];
    } else if (target.format == target_index) {
        key[1] = static_cast<uint32_t>(target.bitmap) | (bitmap_generations[target.bitmap] << 12);
        key[2] = bitmaps[target.bitmap].colors_version;
    } else if (target.format == target_bgr) {
        key[0] = target_bgrx; // the same values, stored in three bytes
    }
    const Bitmap& bitmap = bitmaps[source];
    for (IndexTable& table : index_tables) {
        if (table.valid && table.source == source &&
            table.source_generation == bitmap_generations[source] &&
            table.source_version == bitmap.colors_version && table.target_key[0] == key[0] &&
            table.target_key[1] == key[1] && table.target_key[2] == key[2])
            return table.values;
    }
    IndexTable& table = index_tables[next_index_table];
    next_index_table = (next_index_table + 1) % index_table_count;
    table.valid = true;
    table.source = source;
    table.source_generation = bitmap_generations[source];
    table.source_version = bitmap.colors_version;
    memcpy(table.target_key, key, sizeof(key));
    for (int i = 0; i < 256; i++) {
        const RGBQUAD& c = bitmap.colors[i];
        table.values[i] = target_value(target, c.rgbRed, c.rgbGreen, c.rgbBlue);
    }
    index_table_builds++;
    return table.values;
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
        if (bpp == 8 && bytes == 4) {
            if (copy_row_8_to_32_avx2(from + x, reinterpret_cast<uint32_t*>(to), width, table))
                return;
            // Four indices per load: a third faster than a load per pixel, and steady where
            // the source and target addresses happen to fall.
            uint32_t* out = reinterpret_cast<uint32_t*>(to);
            const uint8_t* in = from + x;
            int i = 0;
            for (; i + 4 <= width; i += 4) {
                uint32_t four;
                memcpy(&four, in + i, 4);
                out[i] = table[four & 0xFF];
                out[i + 1] = table[(four >> 8) & 0xFF];
                out[i + 2] = table[(four >> 16) & 0xFF];
                out[i + 3] = table[four >> 24];
            }
            for (; i < width; i++)
                out[i] = table[in[i]];
            return;
        }
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

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int src_x, int src_y,
            DWORD rop) {
    if (rop != SRCCOPY) {
        say_once(&said_raster_operation, "BitBlt: only SRCCOPY is supported");
        return FALSE;
    }
    int to = dc_slot(dest);
    int from = dc_slot(src);
    if (to < 0 || from < 0)
        return FALSE;
    if (dcs[from].kind != dc_memory) {
        say_once(&said_source_kind, "BitBlt: only memory DCs can be read");
        return FALSE;
    }
    if (dcs[to].kind == dc_screen) {
        say_once(&said_screen, "BitBlt: the screen DC cannot be drawn into");
        return FALSE;
    }
    const Bitmap& source = bitmaps[dcs[from].bitmap];

    Target target = {};
    Framebuffer framebuffer = {};
    int window = -1; // slot of the destination window
    if (dcs[to].kind == dc_window) {
        window = window_slot(dcs[to].window);
        if (window < 0 || !display_framebuffer_begin(window, &framebuffer))
            return FALSE;
        target.pixels = framebuffer.pixels;
        target.pitch = framebuffer.pitch;
        target.width = framebuffer.width;
        target.height = framebuffer.height;
        target.bytes_per_pixel = framebuffer.bytes_per_pixel;
        target.format = framebuffer.bgrx ? target_bgrx : target_display;
        target.framebuffer = &framebuffer;
    } else {
        const Bitmap& bitmap = bitmaps[dcs[to].bitmap];
        switch (bitmap.bits_per_pixel) {
        case 32:
            target.format = target_bgrx;
            break;
        case 24:
            target.format = target_bgr;
            break;
        case 16:
            target.format = target_rgb555;
            break;
        case 8:
            target.format = target_index;
            break;
        default:
            say_once(&said_target_depth, "BitBlt: 1- and 4-bit destinations are not supported");
            return FALSE;
        }
        target.pixels = bitmap.pixels;
        target.pitch = bitmap.stride;
        target.width = bitmap.width;
        target.height = bitmap.height;
        target.bottom_up = bitmap.bottom_up;
        target.bytes_per_pixel = bitmap.bits_per_pixel / 8;
        target.bitmap = dcs[to].bitmap;
    }
    // Clip to the source, then to the destination, moving both corners together.
    int64_t tx = x, ty = y, sx = src_x, sy = src_y, w = width, h = height;
    if (w <= 0 || h <= 0)
        w = h = 0;
    if (sx < 0) {
        tx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        ty -= sy;
        h += sy;
        sy = 0;
    }
    if (tx < 0) {
        sx -= tx;
        w += tx;
        tx = 0;
    }
    if (ty < 0) {
        sy -= ty;
        h += ty;
        ty = 0;
    }
    if (sx + w > source.width)
        w = source.width - sx;
    if (sy + h > source.height)
        h = source.height - sy;
    if (tx + w > target.width)
        w = target.width - tx;
    if (ty + h > target.height)
        h = target.height - ty;
    if (w <= 0 || h <= 0)
        w = h = 0;

    if (w > 0 && dcs[to].kind == dc_memory && dcs[to].bitmap == dcs[from].bitmap) {
        move_within(bitmaps[dcs[to].bitmap], static_cast<int>(tx), static_cast<int>(ty),
                    static_cast<int>(w), static_cast<int>(h), static_cast<int>(sx),
                    static_cast<int>(sy));
        return TRUE;
    }
    if (w > 0) {
        const uint32_t* table =
            source.bits_per_pixel <= 8 ? index_table(dcs[from].bitmap, target) : nullptr;
        for (int64_t row = 0; row < h; row++) {
            const uint8_t* in = source_row(source, static_cast<int>(sy + row));
            uint8_t* out =
                target_row(target, static_cast<int>(ty + row)) + tx * target.bytes_per_pixel;
            copy_row(source, in, static_cast<int>(sx), static_cast<int>(w), target, out, table);
        }
    }
    // Shown at once, like a draw straight to the screen.
    if (window >= 0)
        display_framebuffer_end(window, framebuffer, static_cast<int>(tx), static_cast<int>(ty),
                                static_cast<int>(w), static_cast<int>(h));
    return TRUE;
}

// --- Single pixels ---

static COLORREF colour_of(const RGBQUAD& entry) {
    return RGB(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
}

// The memory DC's selected DIB section, or -1.
static int selected_bitmap(HDC dc) {
    int slot = dc_slot(dc);
    return slot >= 0 && dcs[slot].kind == dc_memory ? dcs[slot].bitmap : -1;
}

COLORREF GetNearestColor(HDC dc, COLORREF colour) {
    int slot = dc_slot(dc);
    if (slot < 0)
        return CLR_INVALID;
    // With a colour table it is the closest entry; everything else shows every colour.
    int chosen = selected_bitmap(dc);
    if (chosen < 0 || bitmaps[chosen].bits_per_pixel > 8)
        return colour & 0xFFFFFF;
    const Bitmap& bitmap = bitmaps[chosen];
    uint32_t index = nearest_index(bitmap, GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return colour_of(bitmap.colors[index]);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour) {
    int chosen = selected_bitmap(dc);
    if (chosen < 0) {
        say_once(&said_screen, "SetPixel: only memory DCs can be drawn into pixel by pixel");
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
        return colour_of(bitmap.colors[index]);
    }
    Target target = {};
    target.format = bpp == 32 ? target_bgrx : bpp == 24 ? target_bgr : target_rgb555;
    store_pixel(row + x * (bpp / 8), bpp / 8, target_value(target, r, g, b));
    if (bpp == 16) // what 5 bits per channel keep
        return RGB((r >> 3) << 3 | (r >> 5), (g >> 3) << 3 | (g >> 5), (b >> 3) << 3 | (b >> 5));
    return colour & 0xFFFFFF;
}
