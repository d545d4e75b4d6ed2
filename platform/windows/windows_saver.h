// The programs as Windows screen savers. A program whose own file name ends in .scr is one: Windows
// runs it with /s to cover the screens until the user comes back, /p HWND to show a preview in the
// small monitor of the screen-saver settings, and /c (or nothing) for its settings. The program
// still makes its one window and draws its 320 x 240 frames; the backend shapes that window as it
// is created (a topmost popup over every monitor, or a child of the preview's window), draws the
// picture on each monitor, and closes the window when the user's input ends the saver, which ends
// the program as a closed window does. The settings (the --cycle period and the pace) are kept per
// user in the registry; the dialog that edits them is the backend's own.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "pace.h"

enum SaverMode {
    saver_off,      // not a screen saver: the program's own window
    saver_full,     // /s: over every monitor until a key, a button or a move of the mouse
    saver_preview,  // /p HWND: a child of that window, filling its client area
    saver_settings, // /c, /c:HWND or no argument: the settings dialog
};

struct SaverCall {
    SaverMode mode;
    uint32_t window; // /p's window, or /c's owner (0: none), as the decimal number Windows gave
};

// Whether the file `path` is a screen saver: its name ends in ".scr", in any case.
bool is_screen_saver_path(const char* path);
// Reads the arguments Windows gives a screen saver, `count` words without the program's name:
// "/s", "/p HWND", "/p:HWND", "/c", "/c:HWND", "/c HWND" or none (the settings), with '/' or '-'
// and the letter in any case, the handle a decimal number of at most 32 bits. False, with a
// one-line message in `error`, for anything else; `call->mode` then still says which mode the
// first word named, so that a bad preview call is told apart (a preview never shows a dialog).
bool parse_saver_arguments(int count, char* const* words, SaverCall* call, char* error,
                           size_t error_size);
// The window of a decimal handle: 32 bits, sign-extended on 64-bit Windows as its handles are.
HWND saver_window_handle(uint32_t number);

// What the user chose in the settings: how often Space is pressed for the program (0..86400
// seconds, 0 never) and the pace of the frames.
struct SaverSettings {
    int cycle_seconds;
    PaceSetting pace;
    bool saved; // read from the registry (else the defaults)
};
constexpr int saver_default_cycle_seconds = 30;
SaverSettings default_saver_settings();
// The registry values as read, each checked: the seconds from a REG_DWORD of 0..86400, else -1;
// the pace from a REG_SZ "display", "max" or "1".."1000", else false. A value of the wrong type
// or size, or out of range, is refused; the caller then takes the default.
int cycle_from_value(DWORD type, const BYTE* data, DWORD size);
bool pace_from_value(DWORD type, const BYTE* data, DWORD size, PaceSetting* pace);
// The pace as the registry keeps it: "display", "max" or the number.
void pace_value_text(PaceSetting pace, char* text, size_t size);
// HKEY_CURRENT_USER\Software\Sorvel\<program>: the settings saved there, each value that is
// missing or bad replaced by its default; and saving them, false when the registry refuses.
SaverSettings saver_settings_load(const char* program);
bool saver_settings_save(const char* program, const SaverSettings& settings);
// The settings dialog, owned by `owner` (null: none): OK saves, Escape and Cancel leave the
// saved settings as they were. Returns the exit code: 0, or 1 when the settings could not be
// saved or the dialog not shown.
int saver_settings_dialog(const char* program, HWND owner);

// Where the picture goes on one monitor, in the window's client coordinates.
struct ShownPicture {
    int x;
    int y;
    int width;
    int height;
};
constexpr int max_pictures = 16;
// The picture of `picture_width` x `picture_height` on each of `count` monitors (their rectangles
// on the screen) for a window whose client area's top left is at `origin` on the screen: at the
// largest whole scale that fits each monitor, no larger than `largest_scale` (0: no bound),
// centred on it. Returns how many were written to `pictures`: at most max_pictures, and none
// for a monitor of no size.
int lay_out_monitors(const RECT* monitors, int count, POINT origin, int picture_width,
                     int picture_height, int largest_scale, ShownPicture* pictures);

// The picture in a client area of `width` x `height` (the preview's): at the largest whole scale
// that fits, no larger than `largest_scale` (0: no bound), centred, or shrunk to fit where the
// area is smaller than the picture. Returns 1, or 0 for an area of no size.
int lay_out_window(int width, int height, int picture_width, int picture_height, int largest_scale,
                   ShownPicture* picture);

// Where the pointer was first reported, and whether a report has gone further from it than a
// small jiggle (saver_pointer_slack pixels in either direction).
constexpr int saver_pointer_slack = 4;
struct PointerWatch {
    bool known;
    int x;
    int y;
};
// Takes one report of the pointer at (x, y): the first only sets where it was; true once a later
// one is more than the slack away from there.
bool pointer_moved_away(PointerWatch* watch, int x, int y);

// windows_saver.cpp: the saver's side of the running program (set by windows_backend_start).
extern SaverCall saver_call;
// The virtual screen: the rectangle around every monitor.
RECT saver_screen();
// Before the program's window is made: its style, place and parent as the saver shows it (a
// topmost popup over the virtual screen, or a disabled child filling the preview's window).
void saver_shape_window(DWORD* ex_style, DWORD* style, int* x, int* y, int* width, int* height,
                        HWND* parent);
// The pictures of a saver window of `picture_width` x `picture_height` now: one per monitor over
// the screen, or the fit of the preview's client area. Returns how many.
int saver_lay_out(HWND window, int picture_width, int picture_height, int largest_scale,
                  ShownPicture* pictures);
// True for a message to the full-screen saver that ends it (a key, a button, a move of the
// pointer); it then closes the window, once.
bool saver_input_ends(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// True when the queue holds input that ends the full-screen saver, or the preview's window is
// gone: the pace's wait ends at once. False when not a saver.
bool saver_stop_pending();
// Called after each frame: the preview's window gone closes the preview's own.
void saver_frame_shown(HWND window);
// Forgets where the pointer was first reported and a close already asked for, as at start-up.
void saver_reset();
