// The presentation's options, shared by every backend that takes a command line: how large a
// window shows its picture, whether it starts in full screen, the pace of its frames, where the
// picture goes (the program's own window, or, as a screen saver or a live wallpaper, a window
// that another program owns) and how often the platform presses Space for the program. The
// start-up of each backend takes them out of the arguments before WinMain sees them, so the
// programs' code never learns of them; the scale rules here are the same on every system.
#pragma once

#include <cstddef>

#include "pace.h"

constexpr int max_display_scale = 8;
// --cycle: the longest period, a day, and the period a screen saver takes when none is given.
constexpr int max_cycle_seconds = 86400;
constexpr int saver_cycle_seconds = 30;

// Where the program's window shows its picture.
enum DisplayTarget {
    target_own_window, // a window of its own, the usual way
    target_root,       // --root: the screen's root window, or the screen saver's window
    target_window,     // --window-id ID, or the screen saver's window: a window of another program
};

struct DisplayOptions {
    int scale;        // 1..8, or 0 for the default from the display's usable height
    bool fullscreen;  // start in full screen
    bool help;        // --help: show display_usage_text and end
    PaceSetting pace; // --fps: the display's rate unless it says otherwise
    DisplayTarget target = target_own_window;
    unsigned long window_id = 0; // the window of target_window, or of target_root (0: the root)
    int cycle_seconds = -1; // --cycle: Space every N seconds, 0 never; -1 until take_saver_window

    bool pace_given = false; // --fps was given (a screen saver's saved pace gives way to it)
};

enum OptionsResult {
    options_run,     // run the program with the options
    options_help,    // show the usage text and end with exit code 0
    options_version, // show the program's name and version and end with exit code 0
    options_error,   // `error` says what is wrong; end with a non-zero exit code before any window
};

// The options and keys of the stand-in, for --help: lines of text, each ending in a newline.
extern const char* const display_usage_text;

// Takes --scale N (or --scale=N), --fullscreen, --fps N|max, --root, --window-id ID, --cycle N,
// --help and --version out of `argv` (`*argc` words, the first the program's name), keeping every
// other word in its order; "--" ends the options and is dropped. An unknown --option, a scale
// other than 1..8, a pace other than 1..1000 or max, a window id that is not a number, a cycle
// other than 0..86400 or both --root and --window-id give options_error with a one-line message
// in `error`; else --help wins over --version.
OptionsResult take_display_options(int* argc, char** argv, DisplayOptions* options, char* error,
                                   size_t error_size);
// Reads a window id as screen savers and wallpaper tools pass it: decimal, or hexadecimal after
// 0x or 0X, from 1 to 0xFFFFFFFF. False, with `id` untouched, for anything else.
bool parse_window_id(const char* text, unsigned long* id);
// Settles where the picture goes once the options are taken, from `saver_window`, the value of
// XSCREENSAVER_WINDOW (null or empty when it is not set), as screen savers on X11 name the
// window their hack must draw on: with --root it is the root to use (the saver's window covers
// the real root), with neither --root nor --window-id it means --window-id; --window-id wins over
// it. Then gives --cycle its default: saver_cycle_seconds wherever the picture goes into another
// program's window, 0 in the program's own. False, with a one-line message in `error`, when a
// set XSCREENSAVER_WINDOW is no window id.
bool take_saver_window(DisplayOptions* options, const char* saver_window, char* error,
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

// The window systems to try, in order, for a window of the program's own, as a list for SDL's
// video driver hint: "wayland,x11" where `wayland_display` (WAYLAND_DISPLAY) is set, so that a
// Wayland session shows the picture natively rather than through XWayland, and X11 takes over
// where Wayland cannot start; null (SDL's own order) where it is not set, or where the user
// chose a driver (`asked_driver`, SDL_VIDEODRIVER, set and not empty).
const char* preferred_video_drivers(const char* wayland_display, const char* asked_driver);
// Whether the picture can go where the options send it, given the environment's `display`
// (DISPLAY) and `wayland_display` (WAYLAND_DISPLAY), each null or empty when unset: --root,
// --window-id and a screen saver's `saver_window` (XSCREENSAVER_WINDOW) draw into an X window,
// which cannot be reached where only Wayland is (WAYLAND_DISPLAY set, DISPLAY not). False then,
// with a one-line message in `error` naming what asked for it; called with the options as
// take_display_options left them, before take_saver_window.
bool x11_target_reachable(const DisplayOptions& options, const char* saver_window,
                          const char* display, const char* wayland_display, char* error,
                          size_t error_size);

// The command line WinMain is given: the words of `argv` after the program's name (argv[1] to
// argv[argc - 1]), joined by blanks, as Windows passes it, cut at a whole word so that it fits in
// `size` bytes with its closing 0.
void join_command_line(int argc, char** argv, char* line, size_t size);
