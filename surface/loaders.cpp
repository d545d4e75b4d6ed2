#include "loaders.h"

#include <cstring>

// Bitmap files: 14-byte file header, 40-byte info header, then the colour table.
constexpr UINT file_header_size = 14;
constexpr UINT info_header_size = 40;
constexpr UINT palette_size = 1024;

static void default_palette(RGBQUAD table[256]) {
    for (int i = 0; i < 256; i++) {
        table[i].rgbRed = static_cast<BYTE>(((i >> 5) & 7) * 255 / 7);
        table[i].rgbGreen = static_cast<BYTE>(((i >> 2) & 7) * 255 / 7);
        table[i].rgbBlue = static_cast<BYTE>((i & 3) * 255 / 3);
        table[i].rgbReserved = 0;
    }
}

void surface_load_bitmap(Surface* surface, LPCSTR name, int32_t from_file) {
    HANDLE image;
    if (from_file != 0)
        image =
            LoadImageA(nullptr, name, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    else
        image =
            LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    // Blitting from an empty DC would paint the surface black (or nothing at all): keep the
    // surface as it was instead.
    if (image == nullptr)
        return;

    HDC image_dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(image_dc, image);
    BitBlt(surface->dc, 0, 0, surface->width, surface->height, image_dc, 0, 0, SRCCOPY);
    SelectObject(image_dc, previous);
    DeleteDC(image_dc);
    DeleteObject(image);
}

// Copies the colour entries that follow a bitmap resource's BITMAPINFOHEADER over table; a
// resource shorter than a full 256-entry table gives only the bytes it has.
static void palette_from_resource(RGBQUAD table[256], LPCSTR name) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, name, RT_BITMAP);
    if (resource == nullptr)
        return;
    DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr)
        return;
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(loaded));
    if (data == nullptr || size <= info_header_size)
        return;
    DWORD available = size - info_header_size;
    memcpy(table, data + info_header_size, available < palette_size ? available : palette_size);
}

// Reads the colour table of a bitmap file straight into table, headers unread; reads that stop
// short leave the rest of table as it was.
static void palette_from_file(RGBQUAD table[256], LPCSTR name) {
    HFILE file = _lopen(name, OF_READ);
    if (file == HFILE_ERROR)
        return;
    uint8_t file_header[file_header_size];
    uint8_t info_header[info_header_size];
    _lread(file, file_header, file_header_size);
    _lread(file, info_header, info_header_size);
    _lread(file, table, palette_size);
    _lclose(file);
}

void load_palette(RGBQUAD table[256], LPCSTR name, int32_t from_file) {
    RGBQUAD colours[256];
    default_palette(colours);
    if (from_file == 0)
        palette_from_resource(colours, name);
    else
        palette_from_file(colours, name);
    memcpy(table, colours, sizeof(colours));
}

uint8_t nearest_palette_index(Surface* surface, COLORREF colour) {
    if (surface->bits == nullptr)
        return 0;
    COLORREF nearest = GetNearestColor(surface->dc, colour);
    uint8_t saved = surface->bits[0];
    // The bottom-left pixel is the first byte of bottom-up pixel memory.
    SetPixel(surface->dc, 0, surface->height - 1, nearest);
    GdiFlush();
    uint8_t index = surface->bits[0];
    surface->bits[0] = saved;
    return index;
}
