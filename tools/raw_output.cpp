// --raw: every frame as RGB24 (enlarged by --scale), concatenated, to a file or standard output.
#include "output.h"

static bool raw_begin(Sink*, const RecordOptions&, const RGBQUAD*) {
    return true;
}

static bool raw_frame(Sink* sink, const RecordOptions&, const RecordedFrame& frame) {
    return sink_write(sink, frame.picture, size_t(frame.width) * size_t(frame.height) * 3);
}

static bool raw_end(Sink*, bool) {
    return true;
}

const OutputKind raw_output = {"--raw", nullptr, raw_begin, raw_frame, raw_end, false};
