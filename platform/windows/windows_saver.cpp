// The running screen saver: the program's window shaped as the saver shows it, the picture on
// each monitor, and the input that ends it. With /s the window is a borderless topmost popup over
// the virtual screen (every monitor), without a taskbar button; the picture is drawn on each
// monitor at the largest whole scale that fits it, centred on black. A key, a mouse button or a
// move of the pointer past a small jiggle closes the window, and the program ends as when its
// window is closed, with exit code 0. With /p the window is a disabled child filling the preview's
// client area (so it takes no input: nothing the user does there ends it), the picture fitted into
// it, shrunk when the area is smaller than the picture; it ends when that window goes away.
#include <windowsx.h>

#include "picture_fit.h"
#include "windows_backend.h"
#include "windows_saver.h"

SaverCall saver_call;

int lay_out_monitors(const RECT* monitors, int count, POINT origin, int picture_width,
                     int picture_height, int largest_scale, ShownPicture* pictures) {
    int shown = 0;
    for (int i = 0; i < count && shown < max_pictures; i++) {
        const RECT& monitor = monitors[i];
        PictureFit fit = fit_picture(monitor.right - monitor.left, monitor.bottom - monitor.top,
                                     picture_width, picture_height, largest_scale);
        if (fit.width == 0)
            continue;
        pictures[shown++] = ShownPicture{monitor.left - origin.x + fit.x,
                                         monitor.top - origin.y + fit.y, fit.width, fit.height};
    }
    return shown;
}

bool pointer_moved_away(PointerWatch* watch, int x, int y) {
    if (!watch->known) {
        *watch = PointerWatch{true, x, y};
        return false;
    }
    int across = x > watch->x ? x - watch->x : watch->x - x;
    int down = y > watch->y ? y - watch->y : watch->y - y;
    return across > saver_pointer_slack || down > saver_pointer_slack;
}

static HWND preview_parent() {
    return saver_window_handle(saver_call.window);
}

RECT saver_screen() {
    RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (screen.right <= screen.left || screen.bottom <= screen.top) // before Windows 98
        screen = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return screen;
}

void saver_shape_window(DWORD* ex_style, DWORD* style, int* x, int* y, int* width, int* height,
                        HWND* parent) {
    if (saver_call.mode == saver_full) {
        RECT screen = saver_screen();
        *ex_style = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
        *style = WS_POPUP;
        *x = screen.left;
        *y = screen.top;
        *width = screen.right - screen.left;
        *height = screen.bottom - screen.top;
        // Hidden from the start, not only once the pointer first moves over the window.
        ShowCursor(FALSE);
    } else if (saver_call.mode == saver_preview) {
        *parent = preview_parent();
        RECT client = {0, 0, 0, 0};
        GetClientRect(*parent, &client);
        *ex_style = 0;
        *style = WS_CHILD | WS_VISIBLE | WS_DISABLED;
        *x = 0;
        *y = 0;
        *width = client.right;
        *height = client.bottom;
    }
}

// The monitors' rectangles on the screen, gathered by EnumDisplayMonitors.
static RECT monitor_rects[max_pictures];
static int monitor_count;

static BOOL CALLBACK note_monitor(HMONITOR monitor, HDC, RECT*, LPARAM) {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (monitor_count < max_pictures && GetMonitorInfoA(monitor, &info))
        monitor_rects[monitor_count++] = info.rcMonitor;
    return monitor_count < max_pictures;
}

int lay_out_window(int width, int height, int picture_width, int picture_height, int largest_scale,
                   ShownPicture* picture) {
    PictureFit fit = fit_picture(width, height, picture_width, picture_height, largest_scale);
    if (fit.width == 0)
        return 0;
    *picture = ShownPicture{fit.x, fit.y, fit.width, fit.height};
    return 1;
}

int saver_lay_out(HWND window, int picture_width, int picture_height, int largest_scale,
                  ShownPicture* pictures) {
    RECT client;
    if (!GetClientRect(window, &client))
        return 0;
    if (saver_call.mode != saver_full)
        return lay_out_window(client.right, client.bottom, picture_width, picture_height, 0,
                              pictures);
    monitor_count = 0;
    EnumDisplayMonitors(nullptr, nullptr, note_monitor, 0);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    int count = lay_out_monitors(monitor_rects, monitor_count, origin, picture_width,
                                 picture_height, largest_scale, pictures);
    // A system that names no monitor: the window's own client area.
    return count > 0 ? count
                     : lay_out_window(client.right, client.bottom, picture_width, picture_height,
                                      largest_scale, pictures);
}

// The input that ends the full-screen saver: any key but the --cycle presses (the backend's own,
// told by their marker), any button or wheel, and the pointer moved past the slack.
static PointerWatch pointer_watch;
static bool closing;

static bool ends_saver(UINT message, WPARAM, LPARAM lparam) {
    switch (message) {
    case WM_KEYDOWN:
        return (lparam & cycle_key_marker) == 0;
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
    case WM_MOUSEWHEEL:
        return true;
    case WM_MOUSEMOVE:
        return pointer_moved_away(&pointer_watch, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
    default:
        return false;
    }
}

bool saver_input_ends(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (saver_call.mode != saver_full || !ends_saver(message, wparam, lparam))
        return false;
    if (!closing) {
        closing = true;
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    return true;
}

bool saver_stop_pending() {
    if (saver_call.mode == saver_preview)
        return !IsWindow(preview_parent());
    if (saver_call.mode != saver_full)
        return false;
    if (closing)
        return true;
    // Looked at, not taken: the program takes them, one a frame, and dispatches them to the
    // window, where saver_input_ends closes it.
    static const UINT kinds[] = {WM_KEYDOWN,     WM_SYSKEYDOWN,  WM_LBUTTONDOWN, WM_RBUTTONDOWN,
                                 WM_MBUTTONDOWN, WM_XBUTTONDOWN, WM_MOUSEWHEEL,  WM_MOUSEMOVE};
    MSG message;
    for (UINT kind : kinds)
        if (PeekMessageA(&message, nullptr, kind, kind, PM_NOREMOVE | PM_NOYIELD) &&
            ends_saver(message.message, message.wParam, message.lParam))
            return true;
    return false;
}

void saver_reset() {
    pointer_watch = PointerWatch{};
    closing = false;
}

void saver_frame_shown(HWND window) {
    if (saver_call.mode == saver_preview && !closing && !IsWindow(preview_parent())) {
        closing = true;
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
}
