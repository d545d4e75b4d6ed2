// The frame CRC by zlib.
#include <zlib.h>

#include "fireworks.h"
#include "recorder.h"

uint32_t frame_crc(const uint8_t* rgb) {
    return static_cast<uint32_t>(crc32(0L, rgb, uInt{picture_width * picture_height * 3}));
}
