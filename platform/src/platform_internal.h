// What the files of the SDL2 backend share: the handle encoding, the lazy start of SDL's video,
// the window table's lookups for the message pump and GDI, and the window DCs. Program code never
// sees this header; the backend's own tests include it to reach the SDL side of a window.
#pragma once

#include "platform_faults.h"

#include <cstdint>

#include <windows.h>

struct SDL_Window;

// A handle is a number, never a pointer: kind in bits 28..31, the slot's generation in bits
// 12..27 and the slot index in bits 0..11. A slot's generation changes each time it is freed,
// so a handle that was valid once is refused after its object is gone.
enum HandleKind : uint32_t {
    kind_window = 1,
    kind_dc = 2,
    kind_bitmap = 3,
    kind_module = 4,
    kind_cursor = 5,
};

// Builds the handle value of slot `index` (0..4095) of `kind` at `generation`.
uintptr_t make_handle(HandleKind kind, int index, uint32_t generation);
// The slot index that `handle` names if it is a handle of `kind` whose generation matches
// `generations[index]` in a table of `count` slots; -1 for anything else.
int handle_slot(const void* handle, HandleKind kind, const uint32_t* generations, int count);

// Writes "platform: <text>" to standard error the first time it is called with `said` false.
void say_once(bool* said, const char* text);

// Starts SDL's video (and events) on first use; false, said once, if it cannot start.
bool video_start();
bool video_started();

// Window table (window.cpp)
constexpr int max_windows = 16;
// The live window in `slot`, or null.
HWND window_in_slot(int slot);
HWND window_from_sdl_id(uint32_t sdl_window_id);
SDL_Window* window_sdl(HWND window);
void window_set_iconic(HWND window, bool iconic);
// Calls the window's class procedure at once, as SendMessage would; 0 for a dead window.
LRESULT send_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Device contexts of windows (gdi.cpp): one per window, made with it and freed with it.
HDC window_dc_create(HWND window);
void window_dc_free(HDC dc);

// For the backend's own tests: the SDL window behind a window handle, a shift of the
// millisecond counter (to reach its wrap) and the number of index-to-pixel tables built so far.
SDL_Window* platform_sdl_window(HWND window);
void platform_set_time_offset(DWORD offset_ms);
uint32_t platform_lut_builds();

// True when a test has asked this call to fail (platform_inject_fault); counts the call down.
bool platform_fault(PlatformFault fault);
