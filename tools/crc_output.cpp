// --crc: one line per frame, "<frame> <crc32>", on standard output.
#include "output.h"

static bool crc_begin(Sink*, const RecordOptions&, const RGBQUAD*) {
    return true;
}

static bool crc_frame(Sink* sink, const RecordOptions&, const RecordedFrame& frame) {
    char line[48];
    int length = snprintf(line, sizeof line, "%lld %08x\n", static_cast<long long>(frame.number),
                          frame_crc(frame.rgb));
    return sink_write(sink, line, static_cast<size_t>(length));
}

static bool crc_end(Sink*, bool) {
    return true;
}

const OutputKind crc_output = {"--crc", nullptr, crc_begin, crc_frame, crc_end, false};
