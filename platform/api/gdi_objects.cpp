// Device contexts and DIB sections: their tables, their handles, and the calls that make, select
// and free them. Memory DCs hold one selected bitmap; a window's DC draws into the display's
// framebuffer of that window. The platform owns every DIB section's pixel memory, allocated when
// the section is made and freed when it is deleted.
#include <cstdlib>
#include <cstring>

#include "gdi_internal.h"

// Larger DIB sections are refused: no picture of these programs comes near.
constexpr int64_t largest_dib_bytes = int64_t{1} << 28;
constexpr uint32_t largest_header = 124; // BITMAPV5HEADER

static uint8_t stock_pixels[4];

DeviceContext dcs[max_dcs] = {{.used = true, .kind = dc_screen, .window = nullptr, .bitmap = 0}};
static uint32_t dc_generations[max_dcs];
Bitmap bitmaps[max_bitmaps] = {{.used = true,
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
uint32_t bitmap_generations[max_bitmaps];

static HDC dc_handle(int slot) {
    return reinterpret_cast<HDC>(make_handle(kind_dc, slot, dc_generations[slot]));
}

int dc_slot(HDC dc) {
    int slot = handle_slot(dc, kind_dc, dc_generations, max_dcs);
    return slot >= 0 && dcs[slot].used ? slot : -1;
}

int selected_bitmap(HDC dc) {
    int slot = dc_slot(dc);
    return slot >= 0 && dcs[slot].kind == dc_memory ? dcs[slot].bitmap : -1;
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
    say_once(notice_dc_slots);
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

// Zeroed pixel memory that starts on a 64-byte boundary, as a DIB section's starts on a page on
// Windows: the copies' widest stores then fill whole cache lines. The allocation's own address
// is kept in the word before it.
static uint8_t* allocate_pixels(size_t bytes) {
    void* allocated = calloc(bytes + 64 + sizeof(void*), 1);
    if (allocated == nullptr)
        return nullptr;
    uintptr_t start = (reinterpret_cast<uintptr_t>(allocated) + sizeof(void*) + 63) / 64 * 64;
    uint8_t* pixels = reinterpret_cast<uint8_t*>(start);
    memcpy(pixels - sizeof(void*), &allocated, sizeof(void*));
    return pixels;
}

static void free_pixels(uint8_t* pixels) {
    void* allocated;
    memcpy(&allocated, pixels - sizeof(void*), sizeof(void*));
    free(allocated);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD) {
    if (bits != nullptr)
        *bits = nullptr;
    if (info == nullptr || platform_fault(fault_create_dib_section))
        return nullptr;
    if (usage != DIB_RGB_COLORS) {
        say_once(notice_dib_usage);
        return nullptr;
    }
    if (section != nullptr) {
        say_once(notice_dib_section);
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
        say_once(notice_dib_compression);
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
        say_once(notice_bitmap_slots);
        return nullptr;
    }
    uint8_t* pixels = allocate_pixels(static_cast<size_t>(stride * rows));
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
        say_once(notice_delete_selected);
        return FALSE;
    }
    free_pixels(bitmaps[slot].pixels);
    bitmaps[slot] = Bitmap{};
    bitmap_generations[slot]++;
    return TRUE;
}

BOOL GdiFlush() {
    // Drawing is never batched here: every call has finished when it returns.
    return TRUE;
}
