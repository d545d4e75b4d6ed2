// The presentation's options, shared by every backend that takes a command line: how large a
// window shows its picture, whether it starts in full screen, and the pace of its frames. The
// start-up of each backend takes them out of the arguments before WinMain sees them, so the
// programs' code never learns of them; the scale rules here are the same on every system.
#pragma once

#include <cstddef>

#include "pace.h"

constexpr int max_display_scale = 8;

struct DisplayOptions {
    int scale;        // 1..8, or 0 for the default from the display's usable height
    bool fullscreen;  // start in full screen
    bool help;        // --help: show display_usage_text and end
    PaceSetting pace; // --fps: the display's rate unless it says otherwise
};

enum OptionsResult {
    options_run,     // run the program with the options
    options_help,    // show the usage text and end with exit code 0
    options_version, // show the program's name and version and end with exit code 0
    options_error,   // `error` says what is wrong; end with a non-zero exit code before any window
};

// The options and keys of the stand-in, for --help: lines of text, each ending in a newline.
extern const char* const display_usage_text;

// Takes --scale N (or --scale=N), --fullscreen, --fps N|max, --help and --version out of `argv`
// (`*argc` words, the first the program's name), keeping every other word in its order; "--" ends
// the options and is dropped. An unknown --option, a scale other than 1..8 or a pace other than
// 1..1000 or max gives options_error with a one-line message in `error`; else --help wins over
// --version.
OptionsResult take_display_options(int* argc, char** argv, DisplayOptions* options, char* error,
                                   size_t error_size);
// The scale a window opens at without --scale: the largest N (1..8) for which N pictures of
// `picture_height` fill at most half of `usable_height`, and at least 1.
int default_display_scale(int usable_height, int picture_height);
// The largest N >= 1 at which a picture of `picture_width` x `picture_height` fits in `width` x
// `height` (1 when even N = 1 does not).
int largest_fitting_scale(int width, int height, int picture_width, int picture_height);
// The scale a window of `picture_width` x `picture_height` opens at on a display whose usable
// area is `usable_width` x `usable_height`: `asked` (1..8, from --scale) or, for 0, the default
// above, and never larger than fits the usable area. A result below `asked` is the caller's to say.
int opening_display_scale(int asked, int usable_width, int usable_height, int picture_width,
                          int picture_height);
