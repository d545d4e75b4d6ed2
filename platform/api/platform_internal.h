// What the files of the stand-in share, whichever backend shows its windows: the handle encoding,
// the window table's lookups for the message pump and GDI, the window DCs, the message queue's
// entry points for input, and the display that each backend supplies (SDL2 in sdl/,
// the browser page in web/). Program code never sees this header; the backend's own
// tests include it.
#pragma once

#include "pace.h"
#include "platform_faults.h"

#include <cstdint>

#include <windows.h>

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

// What a call says once, on standard error, when it meets a part it does not support.
enum Notice {
    notice_thick_frame,
    notice_module_name,
    notice_cursor,
    notice_window_filter,
    notice_remove_flags,
    notice_broadcast,
    notice_dc_slots,
    notice_bitmap_slots,
    notice_dib_usage,
    notice_dib_section,
    notice_dib_compression,
    notice_delete_selected,
    notice_raster_operation,
    notice_blit_source,
    notice_blit_screen,
    notice_blit_depth,
    notice_set_pixel_dc,
    notice_wide_strings,
    notice_file_share_mode,
    notice_too_many_files,
    notice_resource_module,
    notice_resource_type,
    notice_image_type,
    notice_image_size,
    notice_image_flags,
    notice_image_module,
    notice_web_images,
    notice_scale_reduced,
    notice_count
};
// Writes "platform: <the notice's text>" to standard error the first time `notice` is met, with
// ` (<detail>)` after it when a detail is given.
void say_once(Notice notice, const char* detail = nullptr);
// The text of `notice`, or null for a number that is not a notice.
const char* notice_text(Notice notice);

// Window table (window.cpp)
constexpr int max_windows = 16;
// The live window in `slot`, or null.
HWND window_in_slot(int slot);
// The slot of a live window, or -1.
int window_slot(HWND window);
void window_set_iconic(HWND window, bool iconic);
// Calls the window's class procedure at once, as SendMessage would; 0 for a dead window.
LRESULT send_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Device contexts of windows (gdi_objects.cpp): one per window, made with it and freed with it.
HDC window_dc_create(HWND window);
void window_dc_free(HDC dc);

// Message queue (messages.cpp): how a backend's input arrives.
// Appends a message; false when the queue is full.
bool queue_post(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Messages that still fit in the queue.
int queue_room();
// True when the queue holds a request to end: an Escape key press, a window's close (WM_CLOSE,
// SC_CLOSE) or a quit. Frames are not held back for the pace while one waits.
bool queue_holds_stop();
// Posts a key press or release of virtual key `vk` for `window` as Windows delivers it: WM_KEYDOWN
// or WM_KEYUP, or WM_SYSKEYDOWN/WM_SYSKEYUP when Alt is held without Ctrl (or the key is Alt
// itself, or F10). lParam: repeat count 1, `extended` in bit 24, Alt held in bit 29, key already
// down (a repeat or a release) in bit 30, release in bit 31.
void post_key(HWND window, int vk, bool down, bool repeat, bool alt, bool ctrl, bool extended);

// The display: what a backend supplies to show windows, by window-table slot.
// Opens the system's window of slot `slot` hidden, with a client area of `width` x `height` at
// (`left`, `top`) on the screen, or where the system places it when `placed` is false. False,
// said on standard error, if it cannot.
bool display_open(int slot, int width, int height, bool placed, int left, int top);
void display_close(int slot);
void display_show(int slot, bool visible);
// Minimizes the window (true) or restores it from its minimized state (false).
void display_minimize(int slot, bool minimized);
// Shows the window's title, bytes of the Latin-1 range, at most 255 of them.
void display_title(int slot, const char* title);
// Width (SM_CXSCREEN) or height of the screen in pixels; 0 if there is no screen.
int display_screen_size(bool width);

struct ShownPicture;

// A window's pixels as BitBlt writes them: rows top-down, `pitch` bytes apart, each pixel
// `bytes_per_pixel` bytes of the value that `map_rgb` gives its colour.
struct Framebuffer {
    uint8_t* pixels;
    int pitch;
    int width;
    int height;
    int bytes_per_pixel;
    // 32-bit words 0x00RRGGBB: a DIB's own BGRX bytes, copied without mapping.
    bool bgrx;
    // Changes whenever map_rgb would give other values, so that tables built with it are renewed.
    uint32_t format_key[2];
    uint32_t (*map_rgb)(const Framebuffer& framebuffer, int r, int g, int b);
    const void* native; // the backend's own description of the format, for map_rgb
    // A window shown at a whole scale N > 1 (0 or 1: unscaled): client pixel (x, y) is the N x N
    // block at (origin_x + N x, origin_y + N y), clipped to width x height, which are then the
    // framebuffer's size; BitBlt clips to the client's size instead.
    int scale;
    int origin_x;
    int origin_y;
    int client_width;
    int client_height;
    // Where BitBlt keeps what it writes scaled, for the backend to show again; null for nowhere.
    ShownPicture* kept;
};
// Makes the window's pixels writable; false if the window has none now.
bool display_framebuffer_begin(int slot, Framebuffer* framebuffer);
// Ends the writing and shows the rectangle (x, y, width, height) that was written.
void display_framebuffer_end(int slot, const Framebuffer& framebuffer, int x, int y, int width,
                             int height);

// For the backend's own tests: a shift of the millisecond counter (to reach its wrap) and the
// number of index-to-pixel tables built so far.
void platform_set_time_offset(DWORD offset_ms);
// For tests of timing (SDL backend): timeGetTime answers with `clock` instead; null restores it.
void platform_set_clock(DWORD (*clock)());
uint32_t platform_lut_builds();

// True when a test has asked this call to fail (platform_inject_fault); counts the call down.
bool platform_fault(PlatformFault fault);
