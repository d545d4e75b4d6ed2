// The checks of a bitmap's headers that every decoder makes before it trusts them: reading the
// info header (the 12-byte core header or a Windows header of 40 bytes or more), refusing sizes
// and compressions no picture of these programs has, and finding where a packed bitmap's pixels
// begin. Backend-neutral: no decoder here, only the facts that the headers state.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int bitmap_file_header_size = 14;
constexpr int bitmap_core_header_size = 12;
constexpr int bitmap_info_header_size = 40;

// The facts of a bitmap that its headers give, as far as they are needed to refuse absurd ones.
struct BitmapHeader {
    uint32_t header_size;
    int64_t width;
    int64_t height; // negative: rows are stored top-down
    uint32_t bits_per_pixel;
    uint32_t compression;
    uint32_t colours_used;
};

// The little-endian 32-bit number at `at`.
uint32_t bitmap_read_u32(const uint8_t* at);
// Reads the info header at `info` (`available` bytes of it present); false if it is too short
// to hold one.
bool bitmap_read_info_header(const uint8_t* info, size_t available, BitmapHeader* header);
// False for compressions that SDL's reader does not decode, for sizes that no picture of a demo
// has (more than 16384 pixels on a side or 2^24 in all) and that would make a decoder allocate
// without bound, and for an uncompressed pixel array longer than the `pixel_bytes` there are.
bool bitmap_plausible(const BitmapHeader& header, int64_t pixel_bytes);
// Where the pixels of a packed bitmap (a resource: no file header) begin: behind its header, the
// channel masks of a 40-byte BI_BITFIELDS header, and its colour table. -1 if the header is
// unreadable or names more than 256 colours.
int64_t bitmap_pixel_offset(const uint8_t* data, uint32_t size);
