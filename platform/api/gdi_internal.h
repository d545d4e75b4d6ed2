// What the GDI files share: the tables of device contexts and DIB sections (gdi_objects.cpp), the
// destinations that pixels are written to and how a colour is stored in each (blit.cpp), and the
// colour tables with their index-to-pixel cache (colour_tables.cpp).
#pragma once

#include "pixel_copy.h"
#include "platform_internal.h"

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

extern DeviceContext dcs[max_dcs];
extern Bitmap bitmaps[max_bitmaps];
extern uint32_t bitmap_generations[max_bitmaps];

// The slot of a live DC, or -1.
int dc_slot(HDC dc);
// The memory DC's selected bitmap (the stock bitmap when none), or -1 for any other DC.
int selected_bitmap(HDC dc);

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

// The value that stores colour (r, g, b) in `target`.
uint32_t target_value(const Target& target, int r, int g, int b);

// Index of the colour-table entry closest to (r, g, b) by squared distance; the lowest index wins
// a tie.
uint32_t nearest_index(const Bitmap& bitmap, int r, int g, int b);
// The 256 values that the indices of bitmap `source` take in `target`, from a small cache that
// is rebuilt only when the source's colour table or the target's format changes.
const PixelTable* index_table(int source, const Target& target);
