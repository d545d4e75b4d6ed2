// The windows the backend shows: each top-level window the program makes is shaped here as it is
// made (the one place that decides a window's size, scale and mode, the screen saver's included)
// and subclassed, so that the backend sees what the program dispatches to it: the full-screen and
// pace keys, painting, the pointer, a change of DPI or of monitor, the input that ends a screen
// saver. Everything else goes on to the window's own procedure.
#include <cstdio>

#include "pace.h"
#include "windows_backend.h"

ShownWindow shown_windows[max_shown_windows];
DisplayOptions window_options;

int shown_slot(HWND window) {
    if (window == nullptr)
        return -1;
    for (int slot = 0; slot < max_shown_windows; slot++)
        if (shown_windows[slot].window == window)
            return slot;
    return -1;
}

// The usable area (without the taskbar) of the monitor the window is on.
static RECT work_area(HWND window) {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info))
        area = info.rcWork;
    return area;
}

// Sizes the window for its picture at its scale, keeping its top left where it is, but moved up
// and left as far as needed to stay within the monitor's usable area.
static void size_for_scale(ShownWindow& row, int left, int top) {
    DWORD style = static_cast<DWORD>(GetWindowLongA(row.window, GWL_STYLE));
    DWORD ex_style = static_cast<DWORD>(GetWindowLongA(row.window, GWL_EXSTYLE));
    SIZE outer = outer_size(style, ex_style, row.picture_width * row.scale,
                            row.picture_height * row.scale, row.dpi);
    RECT area = work_area(row.window);
    if (left + outer.cx > area.right)
        left = area.right - outer.cx > area.left ? area.right - outer.cx : area.left;
    if (top + outer.cy > area.bottom)
        top = area.bottom - outer.cy > area.top ? area.bottom - outer.cy : area.top;
    SetWindowPos(row.window, nullptr, left, top, outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The client size the program asked for: it sized the window from the system's metrics for its
// style, so that size less the frame the same metrics give. False for no picture at all.
static bool asked_client_size(DWORD style, DWORD ex_style, int width, int height,
                              int* picture_width, int* picture_height) {
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, style, FALSE, ex_style);
    *picture_width = width - (frame.right - frame.left);
    *picture_height = height - (frame.bottom - frame.top);
    return *picture_width > 0 && *picture_height > 0;
}

// A free row of the table for the window, filled with its picture's size and subclassed; -1
// when the table is full.
static int take_row(HWND window, int picture_width, int picture_height) {
    int slot = 0;
    while (slot < max_shown_windows && shown_windows[slot].window != nullptr)
        slot++;
    if (slot == max_shown_windows)
        return -1;
    ShownWindow& row = shown_windows[slot];
    row = ShownWindow{};
    row.window = window;
    row.picture_width = picture_width;
    row.picture_height = picture_height;
    row.scale = 1;
    row.dpi = window_dpi(window);
    row.program_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(window_procedure)));
    return slot;
}

// Takes the window into the table: its picture is the client size the program asked for, shown
// at the scale of the options or the monitor.
static void adopt(HWND window, DWORD style, DWORD ex_style, int width, int height) {
    int picture_width;
    int picture_height;
    if (!asked_client_size(style, ex_style, width, height, &picture_width, &picture_height))
        return;
    int slot = take_row(window, picture_width, picture_height);
    if (slot < 0)
        return;
    ShownWindow& row = shown_windows[slot];
    RECT area = work_area(window);
    row.scale = opening_display_scale(window_options.scale, area.right - area.left,
                                      area.bottom - area.top, picture_width, picture_height);
    if (row.scale < window_options.scale) {
        char text[160];
        snprintf(text, sizeof(text),
                 "--scale %d is too large for the monitor: %d used on a usable area of %ld x %ld",
                 window_options.scale, row.scale, area.right - area.left, area.bottom - area.top);
        windows_say(text);
    }
    RECT placed;
    GetWindowRect(window, &placed);
    size_for_scale(row, placed.left, placed.top);
    present_lay_out(slot);
    if (window_options.fullscreen)
        present_set_fullscreen(slot, true);
}

// The screen saver's window: made in the saver's shape from the start (no captioned window shows
// first), its picture the client size the program asked for.
static HWND create_saver_window(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x,
                                int y, int width, int height, HWND parent, HMENU menu,
                                HINSTANCE instance, LPVOID data) {
    int picture_width;
    int picture_height;
    bool has_picture =
        asked_client_size(style, ex_style, width, height, &picture_width, &picture_height);
    saver_shape_window(&ex_style, &style, &x, &y, &width, &height, &parent);
    HWND window = real_create_window(ex_style, class_name, title, style, x, y, width, height,
                                     parent, menu, instance, data);
    if (window == nullptr || !has_picture)
        return window;
    int slot = take_row(window, picture_width, picture_height);
    if (slot >= 0) {
        shown_windows[slot].saver = saver_call.mode;
        present_lay_out(slot);
    }
    return window;
}

HWND WINAPI create_window_hook(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x,
                               int y, int width, int height, HWND parent, HMENU menu,
                               HINSTANCE instance, LPVOID data) {
    bool top_level = (style & WS_CHILD) == 0;
    if (top_level && (saver_call.mode == saver_full || saver_call.mode == saver_preview))
        return create_saver_window(ex_style, class_name, title, style, x, y, width, height, parent,
                                   menu, instance, data);
    HWND window = real_create_window(ex_style, class_name, title, style, x, y, width, height,
                                     parent, menu, instance, data);
    if (window != nullptr && top_level)
        adopt(window, style, ex_style, width, height);
    return window;
}

void dpi_changed(int slot, UINT dpi, const RECT* suggested) {
    ShownWindow& row = shown_windows[slot];
    if (dpi == 0 || row.dpi == 0)
        return;
    int scale = rescaled_for_dpi(row.scale, row.dpi, dpi);
    row.dpi = dpi;
    if (row.fullscreen) {
        // Full screen follows the monitor; the window takes its new scale when it comes back.
        row.scale = scale;
        return;
    }
    RECT area = work_area(row.window);
    int fits = largest_fitting_scale(area.right - area.left, area.bottom - area.top,
                                     row.picture_width, row.picture_height);
    row.scale = scale < fits ? scale : fits;
    size_for_scale(row, suggested->left, suggested->top);
}

// The keys the backend takes from what the program dispatches: F11 and Alt+Enter switch full
// screen, and the pace's keys (pace.h). True when the message was one of theirs.
static bool take_key(int slot, UINT message, WPARAM key, LPARAM details) {
    bool repeat = (details & (1 << 30)) != 0;
    bool alt = (details & (1 << 29)) != 0;
    switch (message) {
    case WM_KEYDOWN:
        if (key == VK_F11) {
            if (!repeat)
                present_set_fullscreen(slot, !shown_windows[slot].fullscreen);
            return true;
        }
        return pace_take_virtual_key(static_cast<int>(key), true, repeat);
    case WM_KEYUP:
        return key == VK_F11 || pace_take_virtual_key(static_cast<int>(key), false, false);
    case WM_SYSKEYDOWN:
        // Alt+Enter, but not with Ctrl (Ctrl+Alt is AltGr on many layouts).
        if (key != VK_RETURN || !alt || GetKeyState(VK_CONTROL) < 0)
            return false;
        if (!repeat)
            present_set_fullscreen(slot, !shown_windows[slot].fullscreen);
        return true;
    case WM_SYSCHAR:
        // The character of Alt+Enter, which the default handling would answer with a beep.
        return key == '\r' && alt;
    default:
        return false;
    }
}

// The screen saver's window: the input that ends it, the pointer hidden, the picture painted
// and laid out again when the screen changes; no full-screen or pace keys. True when the
// message was answered here.
static bool saver_message(int slot, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* answer) {
    HWND window = shown_windows[slot].window;
    *answer = 0;
    if (saver_input_ends(window, message, wparam, lparam))
        return true;
    switch (message) {
    case WM_SETCURSOR:
        if (shown_windows[slot].saver != saver_full)
            return false;
        SetCursor(nullptr);
        *answer = TRUE;
        return true;
    case WM_DISPLAYCHANGE:
        if (shown_windows[slot].saver == saver_full) {
            // Monitors come and go: the window covers the virtual screen again (its WM_SIZE
            // lays the pictures out anew).
            RECT screen = saver_screen();
            SetWindowPos(window, HWND_TOPMOST, screen.left, screen.top, screen.right - screen.left,
                         screen.bottom - screen.top, SWP_NOACTIVATE);
            present_lay_out(slot);
            InvalidateRect(window, nullptr, TRUE);
        }
        return false;
    case wm_dpi_changed:
        return true; // the saver's size is the screen's, whatever its DPI
    case WM_SYSCOMMAND:
        // The system asks the window in front before it starts the screen saver; the default
        // handling would start it again, over itself.
        return (wparam & 0xFFF0) == SC_SCREENSAVE;
    default:
        return false;
    }
}

static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    int slot = shown_slot(window);
    if (slot < 0)
        return DefWindowProcA(window, message, wparam, lparam);
    WNDPROC program_proc = shown_windows[slot].program_proc;
    LRESULT answer;
    if (shown_windows[slot].saver != saver_off &&
        saver_message(slot, message, wparam, lparam, &answer))
        return answer;
    switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSCHAR:
        if (shown_windows[slot].saver == saver_off && take_key(slot, message, wparam, lparam))
            return 0;
        break;
    case WM_ERASEBKGND:
        present_paint_around(slot, reinterpret_cast<HDC>(wparam));
        return 1;
    case WM_PAINT:
        present_paint(slot);
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lparam) == HTCLIENT && present_hides_pointer(slot)) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_SIZE:
        present_lay_out(slot);
        break;
    case WM_MOVE:
    case WM_DISPLAYCHANGE:
        // Perhaps another monitor, or another mode: its refresh rate is read again.
        shown_windows[slot].refresh_known = false;
        break;
    case wm_dpi_changed:
        dpi_changed(slot, LOWORD(wparam), reinterpret_cast<const RECT*>(lparam));
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(program_proc));
        shown_windows[slot] = ShownWindow{};
        break;
    default:
        break;
    }
    return CallWindowProcA(program_proc, window, message, wparam, lparam);
}
