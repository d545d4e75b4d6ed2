// The backend-neutral checks of a bitmap's headers (see bitmap_header.h).
#include "bitmap_header.h"

#include <windows.h>

constexpr int largest_side = 16384;
constexpr int64_t largest_area = int64_t{1} << 24;
constexpr uint32_t bi_rle8 = 1;
constexpr uint32_t bi_rle4 = 2;

static uint32_t read_u16(const uint8_t* at) {
    return static_cast<uint32_t>(at[0] | (at[1] << 8));
}

uint32_t bitmap_read_u32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

bool bitmap_read_info_header(const uint8_t* info, size_t available, BitmapHeader* header) {
    if (available < 4)
        return false;
    header->header_size = bitmap_read_u32(info);
    if (header->header_size == bitmap_core_header_size && available >= bitmap_core_header_size) {
        header->width = read_u16(info + 4);
        header->height = read_u16(info + 6);
        header->bits_per_pixel = read_u16(info + 10);
        header->compression = BI_RGB;
        header->colours_used = 0;
        return true;
    }
    if (header->header_size < bitmap_info_header_size || available < bitmap_info_header_size)
        return false;
    header->width = static_cast<int32_t>(bitmap_read_u32(info + 4));
    header->height = static_cast<int32_t>(bitmap_read_u32(info + 8));
    header->bits_per_pixel = read_u16(info + 14);
    header->compression = bitmap_read_u32(info + 16);
    header->colours_used = bitmap_read_u32(info + 32);
    return true;
}

bool bitmap_plausible(const BitmapHeader& header, int64_t pixel_bytes) {
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

int64_t bitmap_pixel_offset(const uint8_t* data, uint32_t size) {
    BitmapHeader header;
    if (!bitmap_read_info_header(data, size, &header))
        return -1;
    int64_t colours = header.colours_used;
    if (colours == 0 && header.bits_per_pixel <= 8)
        colours = int64_t{1} << header.bits_per_pixel;
    if (colours > 256)
        return -1;
    int64_t masks =
        header.header_size == bitmap_info_header_size && header.compression == BI_BITFIELDS ? 12
                                                                                            : 0;
    int64_t entry = header.header_size == bitmap_core_header_size ? 3 : 4;
    return int64_t{header.header_size} + masks + colours * entry;
}
