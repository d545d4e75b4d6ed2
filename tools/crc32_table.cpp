// The frame CRC where zlib is absent (the Emscripten build, whose zlib is a port that must be
// downloaded): zlib's CRC-32 computed here, the reflected polynomial 0xEDB88320 with all bits set
// before and inverted after.
#include "fireworks.h"
#include "recorder.h"

uint32_t frame_crc(const uint8_t* rgb) {
    static uint32_t table[256];
    if (table[1] == 0) {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; bit++)
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (int i = 0; i < picture_width * picture_height * 3; i++)
        crc = table[(crc ^ rgb[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}
