// The frame recorder: runs either program's real effect against a memory device context that
// holds a 32-bit DIB section instead of a window, replays a key script through the programs' own
// key handling, and hands what the window would have shown to its outputs (CRC lines, raw RGB24
// video, a lossless animated GIF, a PNG still). It owns its options and output files; the
// effects own everything they draw. Each output kind lives in its own file behind output.h, and
// the build chooses which kinds this recorder has.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

#include "effect.h"

struct KeyPress {
    int64_t frame; // applied before this frame is rendered, frames counted from 1
    WPARAM virtual_key;
};

struct RecordOptions {
    const Effect* program = nullptr;
    int64_t frames = 0;
    std::vector<KeyPress> keys; // in frame order, keeping the listed order within a frame
    bool crc = false;
    std::string raw_path; // "-" is standard output
    std::string gif_path;
    int gif_fps = 50; // --fps, else 50
    std::string png_path;
    int64_t png_at = 0; // 0: the last frame
    std::string video_path;
    const char* video_container = nullptr; // "mp4", "webm" or "mkv": --container or the extension
    int video_fps = 60;                    // --fps, else 60
    int crf = -1;                          // -1: the encoder's default chosen by the video output
    int scale = 1;      // every output picture enlarged by this, 1..8; CRCs are of the frame itself
    bool quiet = false; // no progress line
    bool time = false;  // print the mean time of a frame's render, outputs left out
};

// Looks a program up by name; null if there is none.
const Effect* find_program(const std::string& name);

// Parses a key script of FRAME:KEY items separated by commas. Returns false and sets error on a
// malformed item, an unknown key or a frame outside 1..frames.
bool parse_key_script(const std::string& script, int64_t frames, std::vector<KeyPress>* keys,
                      std::string* error);

// The container of a video file from its extension: "mp4", "webm" or "mkv" (any case), else null.
const char* container_from_name(const std::string& path);

// Parses the command line. Returns 0 to go on, else the exit code (2 for a usage error, 0 for
// --help), having printed the one-line error or the help.
int parse_record_options(int argc, char** argv, RecordOptions* options);

// Renders the frames and writes the outputs. Returns the exit code: 0, or 2 when an output
// cannot be written (one line on standard error names it), in which case no output file is left
// behind. A reader that went away, or Ctrl+C, ends the process as that signal would, after the
// same cleanup.
int record(const RecordOptions& options, FILE* out);

// Enlarges a top-down picture of width x height pixels of pixel_size bytes by scale (1..8) in
// both directions, each pixel becoming a scale x scale block, into out.
void scale_picture(const uint8_t* picture, int width, int height, int pixel_size, int scale,
                   uint8_t* out);

// The progress line after done of total frames in seconds: frames, percentage, frames per
// second and the time left, e.g. "  120/600 frames  20%  60 fps  0:08 left".
std::string progress_line(int64_t done, int64_t total, double seconds);

// CRC-32 (zlib's polynomial) of one frame as RGB24, rows top to bottom.
uint32_t frame_crc(const uint8_t* rgb);
