// The recorder's output kinds behind one small interface. Every kind writes through a Sink, which
// knows where the bytes go (a file under a temporary name, or standard output) and remembers the
// first failure; the kind only turns frames into bytes. Which kinds a recorder has is chosen by
// tools/CMakeLists.txt: a kind whose library is missing is built from missing_output.cpp.in and
// only says so.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <windows.h>

#include "recorder.h"
#include "surface.h"

// Where one output's bytes go.
struct Sink {
    std::string path;      // as given; "-" is standard output
    std::string temporary; // the name a regular file is written under while the run lasts
    FILE* file = nullptr;
    bool in_place = false; // a pipe or device, written where it is
    bool seekable = false; // only a file of our own can be rewritten (by the video muxers)
    std::string failure; // the first failure, said after the output's name; empty while all is well
    bool broken_pipe = false; // the first failure was a reader going away
};

// Opens path for writing: "-" is out (standard output); a named pipe or device is written in
// place; anything else is a new file under a temporary name. Returns false with failure set.
bool sink_open(Sink* sink, const std::string& path, FILE* out);
// Moves the write position of a seekable sink (whence as fseek); returns the new position, or
// -1 if the sink cannot seek or the seek failed.
int64_t sink_seek(Sink* sink, int64_t offset, int whence);
// Writes size bytes; false (and failure set) on a short write.
bool sink_write(Sink* sink, const void* bytes, size_t size);
// Keeps the first failure's reason.
void sink_fail(Sink* sink, const std::string& reason);
// Flushes and closes (standard output is only flushed). Returns false, with failure set, if this
// or any earlier write failed.
bool sink_close(Sink* sink);
// After every output is closed: gives a file written under a temporary name its own name (keep),
// or removes it. Returns false, with failure set, if the renaming failed.
bool sink_settle(Sink* sink, bool keep);
// The output's name for messages: its path, or "standard output".
std::string sink_name(const Sink& sink);

// What every output kind is given of one frame.
struct RecordedFrame {
    int64_t number;         // 1..frames
    const uint8_t* rgb;     // RGB24, rows top to bottom, picture_width x picture_height
    const uint8_t* picture; // the same enlarged by --scale: what the pictures show
    const uint8_t* indices; // the shown 8-bit surface's colour indices, top to bottom, enlarged
    const RGBQUAD* colours; // its 256 colours in force
    int width;              // of picture and indices
    int height;
};

struct OutputKind {
    const char* option;  // "--gif"
    const char* missing; // null when this recorder has the kind, else the library it lacks
    // Starts the output on an open sink; colours are the shown surface's before the first frame.
    bool (*begin)(Sink* sink, const RecordOptions& options, const RGBQUAD* colours);
    // Writes one frame.
    bool (*frame)(Sink* sink, const RecordOptions& options, const RecordedFrame& frame);
    // Completes the output (complete) or only frees what begin took (after a failure).
    bool (*end)(Sink* sink, bool complete);
    // Whether frame() reads the frame's colour indices and colours, which are made only then.
    bool uses_indices;
};

extern const OutputKind crc_output;
extern const OutputKind raw_output;
extern const OutputKind gif_output;
extern const OutputKind png_output;
extern const OutputKind video_output;
