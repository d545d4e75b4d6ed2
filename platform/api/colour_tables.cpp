// Colour tables of DIB sections of 8 bits or fewer: setting and reading their entries, the
// nearest entry to a colour, and the cache of index-to-pixel tables that lets a frame's copy
// convert each pixel with one table read.
#include <cstring>

#include "gdi_internal.h"
#include "pixel_copy.h"

enum TableDirection {
    table_set,  // entries from the caller into the bitmap's table
    table_read, // entries from the bitmap's table to the caller
};

// The DIB section with a colour table selected into `dc`, or -1.
static int selected_palette_bitmap(HDC dc) {
    int chosen = selected_bitmap(dc);
    if (chosen < 0 || chosen == stock_bitmap)
        return -1;
    return bitmaps[chosen].bits_per_pixel <= 8 ? chosen : -1;
}

// Copies `count` entries from `start` between the caller's `colors` and the table of the DIB
// section selected into `dc`, clipped to the table's length; the number copied.
static UINT copy_colour_table(HDC dc, UINT start, UINT count, RGBQUAD* colors,
                              TableDirection direction) {
    int slot = selected_palette_bitmap(dc);
    if (slot < 0 || colors == nullptr)
        return 0;
    Bitmap& bitmap = bitmaps[slot];
    UINT total = static_cast<UINT>(bitmap.color_count);
    if (start >= total)
        return 0;
    if (count > total - start)
        count = total - start;
    if (direction == table_set) {
        memcpy(bitmap.colors + start, colors, count * sizeof(RGBQUAD));
        bitmap.colors_version++;
    } else {
        memcpy(colors, bitmap.colors + start, count * sizeof(RGBQUAD));
    }
    return count;
}

UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors) {
    // Only read from when setting.
    return copy_colour_table(dc, start, count, const_cast<RGBQUAD*>(colors), table_set);
}

UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors) {
    return copy_colour_table(dc, start, count, colors, table_read);
}

uint32_t nearest_index(const Bitmap& bitmap, int r, int g, int b) {
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

COLORREF GetNearestColor(HDC dc, COLORREF colour) {
    if (dc_slot(dc) < 0)
        return CLR_INVALID;
    // With a colour table it is the closest entry; everything else shows every colour.
    int chosen = selected_bitmap(dc);
    if (chosen < 0 || bitmaps[chosen].bits_per_pixel > 8)
        return colour & 0xFFFFFF;
    const Bitmap& bitmap = bitmaps[chosen];
    const RGBQUAD& entry =
        bitmap
            .colors[nearest_index(bitmap, GetRValue(colour), GetGValue(colour), GetBValue(colour))];
    return RGB(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
}

// Index-to-pixel tables, one per (source colour table, destination format) pair in use, rebuilt
// only when either changes. A frame's present is then one table read per pixel.
struct IndexTable {
    bool valid;
    int source;
    uint32_t source_generation;
    uint32_t source_version;
    uint32_t target_key[3];
    PixelTable pixels;
};

constexpr int index_table_count = 4;
static IndexTable index_tables[index_table_count];
static int next_index_table;
static uint32_t index_table_builds;

uint32_t platform_lut_builds() {
    return index_table_builds;
}

const PixelTable* index_table(int source, const Target& target) {
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
            return &table.pixels;
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
        table.pixels.values[i] = target_value(target, c.rgbRed, c.rgbGreen, c.rgbBlue);
    }
    pixel_table_prepare(&table.pixels);
    index_table_builds++;
    return &table.pixels;
}
