// What the SDL2 display offers beyond the display interface of platform_internal.h: the options
// that the stand-in's start-up takes from the command line, the sizes they lead to, and the
// hooks of the backend's own tests.
#pragma once

#include <cstddef>

#include <windows.h>

#include "pace.h"

struct SDL_Window;

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

// The options every window opened from now on follows (main sets them before WinMain).
void display_set_options(const DisplayOptions& options);
// Stops SDL's video if it started. Called by main after WinMain returns.
void display_stop();

// For the backend's own tests:
// Takes `width` x `height` as the usable size of every display instead of asking SDL (0 x 0:
// ask SDL again).
void platform_set_usable_display_size(int width, int height);
// Takes `hz` as every display's refresh rate instead of asking SDL (-1: a display that does not
// say; 0: ask SDL again).
void platform_set_refresh_rate(double hz);
// The SDL window behind a live window handle, or null.
SDL_Window* platform_sdl_window(HWND window);
// Shows the window at `scale` (1..8), as --scale would have opened it; the picture last drawn is
// shown again at once. False for a dead window or a scale out of range.
bool platform_set_window_scale(HWND window, int scale);
// The scale the window's picture is shown at now (in full screen: the largest that fits), or 0.
int platform_window_scale(HWND window);
// Whether the window is in full screen.
bool platform_window_fullscreen(HWND window);
