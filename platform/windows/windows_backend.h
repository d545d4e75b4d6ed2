// The Windows backend: on Windows the programs call the real user32, gdi32 and winmm, and this
// backend shows their windows as the other backends do (at a whole scale, in full screen, at a
// pace) without a line of theirs changing. The start-up (windows_startup.cpp) points two entries
// of the program's own import table at this backend: CreateWindowExA, so that each top-level
// window is shaped and subclassed as it is made (windows_window.cpp), and BitBlt, so that each
// frame that reaches a window goes on to the real BitBlt through a scaling map mode on the
// window's DC and is then paced (windows_present.cpp, windows_pace.cpp). The program still polls
// its own queue once a frame and takes its own keys; the subclass sees what it dispatches.
// Named .scr, the program is a screen saver (windows_saver.h). Without the start-up (the tests,
// the recorder) nothing is patched and nothing changes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "options.h"
#include "windows_saver.h"

// Windows' numbers that MinGW's headers give only for newer targets than ours.
constexpr UINT wm_dpi_changed = 0x02E0;
constexpr DWORD load_library_search_system32 = 0x00000800;
constexpr DWORD create_waitable_timer_high_resolution = 0x00000002;

constexpr int max_shown_windows = 4;

// The key presses that --cycle posts for the program carry this bit in their details, one of
// those that Windows reserves and real key presses leave clear, so that a screen saver, which
// ends at any key, tells them from the user's.
constexpr LPARAM cycle_key_marker = 1 << 25;

// A top-level window the backend shows: its row in the table, found by handle.
struct ShownWindow {
    HWND window;          // null: a free row
    WNDPROC program_proc; // the window procedure it had before the backend's
    int picture_width;    // the client size the program asked for, which is what it draws
    int picture_height;
    int scale;       // in a window: each picture pixel an N x N block
    UINT dpi;        // the DPI the window was last sized for
    bool fullscreen; // over the whole monitor, without a frame
    LONG windowed_style;
    LONG windowed_ex_style;
    RECT windowed_rect; // the window's place before full screen
    SaverMode saver;    // saver_full or saver_preview: the screen saver's window
    // Where the picture is shown now, in the client area: once (in full screen, at the largest
    // scale that fits), or as the screen saver, on each monitor.
    int picture_count;
    ShownPicture pictures[max_pictures];
    HDC dc; // the program's DC for the window, mapped to show the picture there
    // The last frame's block transfer, to show it again when the window is painted.
    HDC source;
    int source_x;
    int source_y;
    bool refresh_known; // refresh_hz is that of the monitor the window is on now
    double refresh_hz;  // 0: the system does not say
};

extern ShownWindow shown_windows[max_shown_windows];
// The row of a shown window, or -1.
int shown_slot(HWND window);

// The real functions behind the patched import entries (windows_imports.cpp).
using BitBltFunction = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, DWORD);
using CreateWindowFunction = HWND(WINAPI*)(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND,
                                           HMENU, HINSTANCE, LPVOID);
extern BitBltFunction real_bit_blt;
extern CreateWindowFunction real_create_window;

// windows_imports.cpp: points `module`'s import of `dll`!`name` (the DLL's name without case) at
// `replacement` and returns what the entry held, the function the module called until now; null,
// with nothing changed, when the module does not import it by that name.
void* patch_import(HMODULE module, const char* dll, const char* name, void* replacement);
// Patches this program's BitBlt and CreateWindowExA (above) and starts the backend with the
// options; called once by the start-up, before WinMain.
void windows_backend_start(const DisplayOptions& options);

// windows_lookups.cpp: the calls of newer Windows versions, looked up at run time so that the
// program still starts on the older ones; each is null where the system lacks it.
struct SystemCalls {
    UINT(WINAPI* get_dpi_for_window)(HWND);                                       // Windows 10 1607
    BOOL(WINAPI* adjust_window_rect_ex_for_dpi)(RECT*, DWORD, BOOL, DWORD, UINT); // 10 1607
    HRESULT(WINAPI* dwm_flush)();                                                 // dwmapi, Vista
    HANDLE(WINAPI* create_waitable_timer_ex)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD); // Vista
};
extern SystemCalls system_calls;
void look_up_system_calls();
// The function `name` of `module` as the type `Function`, or null.
template <typename Function> Function look_up(HMODULE module, const char* name) {
    FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
    Function function;
    static_assert(sizeof(function) == sizeof(found), "a function pointer is a function pointer");
    memcpy(&function, &found, sizeof(function));
    return function;
}

// windows_console.cpp: text for the person who started the program. `console_write` writes to
// the standard output (or error) the program was given, a console, file or pipe, else to the
// console of the program that started it; false where there is neither (started from Explorer).
bool console_write(bool error, const char* text);
// The text where console_write can put it, else in a message box captioned `caption`.
void tell_user(bool error, const char* caption, const char* text);
// "platform: <text>" on the standard error, where there is one; never a message box.
void windows_say(const char* text);
// Makes the C library's stderr reach the console of the program that started this one, where it
// had none, so that the pace's notices (SORVEL_VERBOSE) can be read.
void console_ready_stderr();

// windows_window.cpp: the options every window follows (set by windows_backend_start).
extern DisplayOptions window_options;
// The hook of CreateWindowExA: the real call, then each top-level window is shaped: its size for
// its scale, its window procedure, and full screen if asked.
HWND WINAPI create_window_hook(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x,
                               int y, int width, int height, HWND parent, HMENU menu,
                               HINSTANCE instance, LPVOID data);

// windows_present.cpp: the hook of BitBlt, and the picture's place in the window.
BOOL WINAPI bit_blt_hook(HDC dc, int x, int y, int width, int height, HDC source, int source_x,
                         int source_y, DWORD rop);
// Works out where the picture goes in the window's client area now and maps the program's DC to
// it; called whenever the client area's size changes.
void present_lay_out(int slot);
// Maps `dc` so that a block transfer of the window's picture, at (0, 0) and its size, lands on
// its place `picture` (0..picture_count - 1), each pixel scaled to the nearest.
void present_map(HDC dc, const ShownWindow& row, int picture);
// Full screen on or off: a borderless window over the whole monitor, or the window as it was.
void present_set_fullscreen(int slot, bool on);
// Paints black around the picture in `dc` (a DC of the client area, unmapped).
void present_paint_around(int slot, HDC dc);
// Answers WM_PAINT: black around the picture and the last frame again.
void present_paint(int slot);
// Whether the pointer is to be hidden now: in full screen, over the picture.
bool present_hides_pointer(int slot);

// windows_dpi.cpp
// The DPI of the monitor the window is on (96 where the system cannot say per window).
UINT window_dpi(HWND window);
// The outer size of a window of that style whose client area is `width` x `height` at `dpi`.
SIZE outer_size(DWORD style, DWORD ex_style, int width, int height, UINT dpi);
// The scale a window at `scale` takes when it moves from `old_dpi` to `new_dpi`: the whole
// scale nearest to the same size on the screen, at least 1.
int rescaled_for_dpi(int scale, UINT old_dpi, UINT new_dpi);
// Answers WM_DPICHANGED: the window at a whole scale for its new DPI, where Windows suggests.
void dpi_changed(int slot, UINT dpi, const RECT* suggested);

// windows_pace.cpp: the pace's clock, waits and refresh rate on Windows (pace.h).
// Chooses the wait for the display's refresh: the compositor's (DwmFlush) where a few calls are
// measured to wait, else the high-resolution timer.
void pace_start();
// Called after each frame has reached the window of `slot`: the pace's wait, and then the keys
// held during a pause go back to the program.
void windows_frame_shown(int slot);
// The refresh rate that a display mode's frequency says: 0 and 1 mean the hardware's default,
// which says nothing.
double refresh_rate_of_frequency(DWORD frequency);
// The refresh rate of the monitor, from its current display mode; 0 where it does not say.
double refresh_rate_of_monitor(HMONITOR monitor);

// windows_held_keys.cpp: while the program is held paused, the key presses meant for it (Space,
// the arrows) wait here, in order, and go back to its queue when the pause ends, so that it
// takes them one a frame as it would have.
constexpr int max_held_keys = 64;
// False when the buffer is full: the key is dropped.
bool held_keys_add(HWND window, WPARAM key, LPARAM details);
int held_keys_count();
// Posts the held keys back to their windows (or the thread, for none) in the order they came.
void held_keys_release();
void held_keys_forget();
