#include "surface.h"

#include <cstring>

int32_t surface_stride(int32_t bits_per_pixel, int32_t width) {
    return ((bits_per_pixel * width - 1) / 32) * 4 + 4;
}

void surface_create(Surface* surface, int32_t bits_per_pixel, int32_t width, int32_t height,
                    const RGBQUAD* colors) {
    surface->dc = CreateCompatibleDC(nullptr);
    surface->bits_per_pixel = bits_per_pixel;
    surface->width = width;
    surface->height = height;
    surface->stride = surface_stride(bits_per_pixel, width);

    // A header followed by room for 256 colour entries, zero-filled.
    alignas(BITMAPINFO) uint8_t info_block[1064] = {};
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(info_block);
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = static_cast<WORD>(bits_per_pixel);
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biSizeImage = static_cast<DWORD>(surface->stride * height);
    if (bits_per_pixel >= 1 && bits_per_pixel <= 8 && colors != nullptr)
        memcpy(info_block + sizeof(BITMAPINFOHEADER), colors, size_t{4} << bits_per_pixel);

    void* bits = nullptr;
    surface->bitmap = CreateDIBSection(surface->dc, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    surface->bits = surface->bitmap != nullptr ? static_cast<uint8_t*>(bits) : nullptr;
    if (surface->bits != nullptr)
        memset(surface->bits, 0, static_cast<size_t>(surface->stride) * height);
    surface->previous_bitmap = SelectObject(surface->dc, surface->bitmap);
}

void surface_destroy(Surface* surface) {
    SelectObject(surface->dc, surface->previous_bitmap);
    DeleteObject(surface->bitmap);
    DeleteDC(surface->dc);
}

void surface_clear(Surface* surface, uint32_t value) {
    if (surface->bits == nullptr)
        return;
    memset(surface->bits, static_cast<int>(value & 0xFF),
           static_cast<size_t>(surface->stride) * surface->height);
}
