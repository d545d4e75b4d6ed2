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

#include "embedded_bitmaps.h"
#include "platform_internal.h"

constexpr int largest_side = 16384;
constexpr DWORD largest_resource = DWORD{1} << 30; // SDL's memory streams count in int
constexpr int64_t largest_area = int64_t{1} << 24;
constexpr int file_header_size = 14;
constexpr int core_header_size = 12;
constexpr int info_header_size = 40;
constexpr uint32_t bi_rle8 = 1;
constexpr uint32_t bi_rle4 = 2;

static bool said_type;
static bool said_size;
static bool said_flags;
static bool said_module;

static uint32_t read_u16(const uint8_t* at) {
    return static_cast<uint32_t>(at[0] | (at[1] << 8));
}

static uint32_t read_u32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

static void write_u32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; i++)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The facts of a bitmap that its headers give, as far as they are needed to refuse absurd ones.
struct BitmapHeader {
    uint32_t header_size;
    int64_t width;
    int64_t height; // negative: rows are stored top-down
    uint32_t bits_per_pixel;
    uint32_t compression;
    uint32_t colours_used;
};

// Reads the info header at `info` (`available` bytes of it present); false if it is too short
// to hold one.
static bool read_info_header(const uint8_t* info, size_t available, BitmapHeader* header) {
    if (available < 4)
        return false;
    header->header_size = read_u32(info);
    if (header->header_size == core_header_size && available >= core_header_size) {
        header->width = read_u16(info + 4);
        header->height = read_u16(info + 6);
        header->bits_per_pixel = read_u16(info + 10);
        header->compression = BI_RGB;
        header->colours_used = 0;
        return true;
    }
    if (header->header_size < info_header_size || available < info_header_size)
        return false;
    header->width = static_cast<int32_t>(read_u32(info + 4));
    header->height = static_cast<int32_t>(read_u32(info + 8));
    header->bits_per_pixel = read_u16(info + 14);
    header->compression = read_u32(info + 16);
    header->colours_used = read_u32(info + 32);
    return true;
}

// False for compressions that SDL does not decode, for sizes that no picture of a demo has and
// that would make the decoder allocate without bound, and for an uncompressed pixel array longer
// than the `pixel_bytes` there are.
static bool plausible(const BitmapHeader& header, int64_t pixel_bytes) {
    int64_t rows = header.height < 0 ? -header.height : header.height;
    if (header.width <= 0 || rows == 0 || header.width > largest_side || rows > largest_side ||
        header.width * rows > largest_area)
        return false;
    if (header.compression > BI_BITFIELDS ||
        (header.compression == bi_rle8 && header.bits_per_pixel != 8) ||
        (header.compression == bi_rle4 && header.bits_per_pixel != 4))
        return false;
    if (header.compression == BI_RGB || header.compression == BI_BITFIELDS) {
        int64_t stride = (header.bits_per_pixel * header.width + 31) / 32 * 4;
        if (pixel_bytes < 0 || stride * rows > pixel_bytes)
            return false;
    }
    return true;
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
    uint8_t start[file_header_size + info_header_size] = {};
    Sint64 size = SDL_RWsize(source);
    size_t got = SDL_RWread(source, start, 1, sizeof(start));
    BitmapHeader header;
    bool refused = size < 0 || got < file_header_size + 4 || start[0] != 'B' || start[1] != 'M' ||
                   !read_info_header(start + file_header_size, got - file_header_size, &header) ||
                   !plausible(header, size - static_cast<int64_t>(read_u32(start + 10)));
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

// Where the pixels of a resource's packed bitmap begin: behind its header, the channel masks
// of a 40-byte BI_BITFIELDS header, and its colour table. -1 if the header is unreadable.
static int64_t pixel_offset(const uint8_t* data, DWORD size) {
    BitmapHeader header;
    if (!read_info_header(data, size, &header))
        return -1;
    int64_t colours = header.colours_used;
    if (colours == 0 && header.bits_per_pixel <= 8)
        colours = int64_t{1} << header.bits_per_pixel;
    if (colours > 256)
        return -1;
    int64_t masks =
        header.header_size == info_header_size && header.compression == BI_BITFIELDS ? 12 : 0;
    int64_t entry = header.header_size == core_header_size ? 3 : 4;
    return int64_t{header.header_size} + masks + colours * entry;
}

// A resource holds a bitmap file without its file header: put one in front and decode that.
static HBITMAP decode_resource(LPCSTR name) {
    const EmbeddedBitmap* entry = find_embedded_bitmap(name);
    if (entry == nullptr || entry->size > largest_resource)
        return nullptr;
    int64_t offset = pixel_offset(entry->data, entry->size);
    if (offset < 0 || offset > entry->size)
        return nullptr;
    size_t total = file_header_size + static_cast<size_t>(entry->size);
    uint8_t* file = static_cast<uint8_t*>(malloc(total));
    if (file == nullptr)
        return nullptr;
    file[0] = 'B';
    file[1] = 'M';
    write_u32(file + 2, static_cast<uint32_t>(total));
    write_u32(file + 6, 0);
    write_u32(file + 10, static_cast<uint32_t>(file_header_size + offset));
    memcpy(file + file_header_size, entry->data, entry->size);
    HBITMAP bitmap = decode(SDL_RWFromConstMem(file, static_cast<int>(total)));
    free(file);
    return bitmap;
}

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags) {
    if (type != IMAGE_BITMAP) {
        say_once(&said_type, "LoadImageA: only bitmaps (IMAGE_BITMAP) can be loaded");
        return nullptr;
    }
    if (name == nullptr)
        return nullptr;
    if (width != 0 || height != 0)
        say_once(&said_size, "LoadImageA: images are never scaled; they keep their own size");
    if ((flags & ~static_cast<UINT>(LR_LOADFROMFILE | LR_CREATEDIBSECTION)) != 0)
        say_once(&said_flags, "LoadImageA: flags other than LR_LOADFROMFILE and "
                              "LR_CREATEDIBSECTION are ignored; every bitmap is a DIB section");
    if ((flags & LR_LOADFROMFILE) != 0)
        return IS_INTRESOURCE(name) ? nullptr : decode(SDL_RWFromFile(name, "rb"));
    if (instance == nullptr || instance != GetModuleHandleA(nullptr)) {
        say_once(&said_module, "LoadImageA: only the program's own module has bitmaps");
        return nullptr;
    }
    return decode_resource(name);
}
