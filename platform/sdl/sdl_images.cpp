// LoadImageA for bitmaps, from a .bmp file or from the program's embedded bitmap resources. The
// image is decoded by SDL's BMP reader and becomes a DIB section of the file's own kind: 8 bits
// with the file's colour table for palettised files, 24 bits for 24-bit files, 32 bits for the
// rest, so that BitBlt converts its colours to whatever it is copied into.
//
// What SDL 2.26's BMP reader takes (tried on crafted files): the 12-byte OS/2 core header and
// Windows headers of 40 bytes or more (BITMAPV4/V5: their channel masks are used, their colour
// spaces ignored); 1, 2, 4 and 8 bits with a colour table (all widened to 8), 16 bits (5-5-5, or
// the masks of BI_BITFIELDS), 24 and 32 bits; BI_RLE8 and BI_RLE4; rows bottom-up or top-down.
// What it refuses: a missing "BM" signature, other depths (64, ...), a pixel offset past the end
// of the file, and rows that end early (it fails on the short read rather than loading part).
// What we refuse before SDL sees the file: BI_JPEG, BI_PNG and unknown compressions (SDL would
// read their bytes as plain pixels); RLE at a depth other than its own; a width or height of 0, a
// negative width, more than 16384 pixels on a side or 2^24 in all (SDL allocates and clears that
// much before it finds the data missing); an uncompressed pixel array that does not fit in the
// file. Any of these gives null, as does a file that cannot be opened.
#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "bitmap_header.h"
#include "embedded_bitmaps.h"
#include "platform_internal.h"

constexpr DWORD largest_resource = DWORD{1} << 30; // SDL's memory streams count in int

static void write_u32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; i++)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// A DIB section holding SDL's decoded picture: 8 bits with its colour table, else 24 or 32 bits.
static HBITMAP dib_from_surface(SDL_Surface* decoded) {
    SDL_Surface* converted = nullptr;
    SDL_Surface* picture = decoded;
    SDL_Palette* palette = decoded->format->palette;
    int bits_per_pixel = 8;
    if (palette == nullptr || decoded->format->BitsPerPixel != 8) {
        bits_per_pixel = decoded->format->BitsPerPixel == 24 ? 24 : 32;
        // In memory: blue, green, red (and a fourth byte), the order of a DIB's pixels.
        converted = SDL_ConvertSurfaceFormat(
            decoded, bits_per_pixel == 24 ? SDL_PIXELFORMAT_BGR24 : SDL_PIXELFORMAT_ARGB8888, 0);
        if (converted == nullptr)
            return nullptr;
        picture = converted;
    }

    alignas(BITMAPINFO) uint8_t info_block[sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)] = {};
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(info_block);
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = picture->w;
    info->bmiHeader.biHeight = picture->h;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = static_cast<WORD>(bits_per_pixel);
    info->bmiHeader.biCompression = BI_RGB;
    if (bits_per_pixel == 8) {
        RGBQUAD* colours = reinterpret_cast<RGBQUAD*>(info_block + sizeof(BITMAPINFOHEADER));
        int count = palette->ncolors < 256 ? palette->ncolors : 256;
        for (int i = 0; i < count; i++)
            colours[i] =
                RGBQUAD{palette->colors[i].b, palette->colors[i].g, palette->colors[i].r, 0};
        info->bmiHeader.biClrUsed = 256;
    }

    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        // SDL's rows run top-down; the DIB's bottom-up.
        int stride = (bits_per_pixel * picture->w + 31) / 32 * 4;
        int row_bytes = picture->w * (bits_per_pixel / 8);
        for (int y = 0; y < picture->h; y++)
            memcpy(static_cast<uint8_t*>(bits) +
                       static_cast<ptrdiff_t>(picture->h - 1 - y) * stride,
                   static_cast<const uint8_t*>(picture->pixels) +
                       static_cast<ptrdiff_t>(y) * picture->pitch,
                   static_cast<size_t>(row_bytes));
    }
    if (converted != nullptr)
        SDL_FreeSurface(converted);
    return bitmap;
}

// Decodes a whole .bmp file held in `source`; null if it is refused.
static HBITMAP decode(SDL_RWops* source) {
    if (source == nullptr)
        return nullptr;
    uint8_t start[bitmap_file_header_size + bitmap_info_header_size] = {};
    Sint64 size = SDL_RWsize(source);
    size_t got = SDL_RWread(source, start, 1, sizeof(start));
    BitmapHeader header;
    bool refused =
        size < 0 || got < bitmap_file_header_size + 4 || start[0] != 'B' || start[1] != 'M' ||
        !bitmap_read_info_header(start + bitmap_file_header_size, got - bitmap_file_header_size,
                                 &header) ||
        !bitmap_plausible(header, size - static_cast<int64_t>(bitmap_read_u32(start + 10)));
    if (refused || SDL_RWseek(source, 0, RW_SEEK_SET) != 0) {
        SDL_RWclose(source);
        return nullptr;
    }
    SDL_Surface* decoded = SDL_LoadBMP_RW(source, 1);
    if (decoded == nullptr)
        return nullptr;
    HBITMAP bitmap = dib_from_surface(decoded);
    SDL_FreeSurface(decoded);
    return bitmap;
}

// A resource holds a bitmap file without its file header: put one in front and decode that.
static HBITMAP decode_resource(LPCSTR name) {
    const EmbeddedBitmap* entry = find_embedded_bitmap(name);
    if (entry == nullptr || entry->size > largest_resource)
        return nullptr;
    int64_t offset = bitmap_pixel_offset(entry->data, entry->size);
    if (offset < 0 || offset > entry->size)
        return nullptr;
    size_t total = bitmap_file_header_size + static_cast<size_t>(entry->size);
    uint8_t* file = static_cast<uint8_t*>(malloc(total));
    if (file == nullptr)
        return nullptr;
    file[0] = 'B';
    file[1] = 'M';
    write_u32(file + 2, static_cast<uint32_t>(total));
    write_u32(file + 6, 0);
    write_u32(file + 10, static_cast<uint32_t>(bitmap_file_header_size + offset));
    memcpy(file + bitmap_file_header_size, entry->data, entry->size);
    HBITMAP bitmap = decode(SDL_RWFromConstMem(file, static_cast<int>(total)));
    free(file);
    return bitmap;
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags) {
    if (type != IMAGE_BITMAP) {
        say_once(notice_image_type);
        return nullptr;
    }
    if (name == nullptr)
        return nullptr;
    if (width != 0 || height != 0)
        say_once(notice_image_size);
    if ((flags & ~static_cast<UINT>(LR_LOADFROMFILE | LR_CREATEDIBSECTION)) != 0)
        say_once(notice_image_flags);
    if ((flags & LR_LOADFROMFILE) != 0)
        return IS_INTRESOURCE(name) ? nullptr : decode(SDL_RWFromFile(name, "rb"));
    if (instance == nullptr || instance != GetModuleHandleA(nullptr)) {
        say_once(notice_image_module);
        return nullptr;
    }
    return decode_resource(name);
}
