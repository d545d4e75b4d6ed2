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

// Where one output's bytes go.
struct Sink {
    std::string path;      // as given; "-" is standard output
    std::string temporary; // the name written while the run lasts; empty for standard output
    FILE* file = nullptr;
    std::string failure; // the first failure, said after the output's name; empty while all is well
};

// Opens path for writing (a new file under a temporary name, or standard output for "-" when
// out is given). Returns false with sink->failure set.
bool sink_open(Sink* sink, const std::string& path, FILE* out);
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
    const Surface* shown;   // the 8-bit surface the effect copied to the window
    const RGBQUAD* colours; // its 256 colours in force
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
};

extern const OutputKind crc_output;
extern const OutputKind raw_output;
extern const OutputKind gif_output;
extern const OutputKind png_output;
