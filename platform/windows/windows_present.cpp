// A window's picture. The program's block transfer of each frame goes on to the real BitBlt with
// its own arguments, into its own DC; only that DC's mapping is the backend's: logical
// coordinates of the picture's size map to the picture's place in the client area, N times as
// large, so GDI itself draws every program pixel as an exact N x N block (COLORONCOLOR: the
// nearest pixel, no blending). The program sees the client size it asked for in all it draws.
// Around the picture (in full screen) the window is black, and a WM_PAINT shows the last frame
// again, as the program, held by a pause, cannot.
#include "windows_backend.h"

// Maps the program's DC to the picture's place and scale now.
static void map_dc(const ShownWindow& row) {
    HDC dc = row.dc;
    if (row.shown_scale == 1) {
        SetMapMode(dc, MM_TEXT);
    } else {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, row.picture_width, row.picture_height, nullptr);
        SetViewportExtEx(dc, row.picture_width * row.shown_scale,
                         row.picture_height * row.shown_scale, nullptr);
    }
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetViewportOrgEx(dc, row.origin_x, row.origin_y, nullptr);
    SetStretchBltMode(dc, COLORONCOLOR);
}

void present_lay_out(int slot) {
    ShownWindow& row = shown_windows[slot];
    RECT client;
    if (!GetClientRect(row.window, &client))
        return;
    row.shown_scale = row.fullscreen ? largest_fitting_scale(client.right, client.bottom,
                                                             row.picture_width, row.picture_height)
                                     : row.scale;
    int left = (client.right - row.picture_width * row.shown_scale) / 2;
    int top = (client.bottom - row.picture_height * row.shown_scale) / 2;
    row.origin_x = left > 0 ? left : 0;
    row.origin_y = top > 0 ? top : 0;
    if (row.dc != nullptr)
        map_dc(row);
}

// The slot of the window whose DC `dc` is, or -1; a window's DC is mapped the first time a
// frame comes through it.
static int slot_of_dc(HDC dc) {
    for (int slot = 0; slot < max_shown_windows; slot++)
        if (shown_windows[slot].window != nullptr && shown_windows[slot].dc == dc)
            return slot;
    int slot = shown_slot(WindowFromDC(dc));
    if (slot >= 0) {
        shown_windows[slot].dc = dc;
        map_dc(shown_windows[slot]);
    }
    return slot;
}

BOOL WINAPI bit_blt_hook(HDC dc, int x, int y, int width, int height, HDC source, int source_x,
                         int source_y, DWORD rop) {
    int slot = slot_of_dc(dc);
    BOOL done = real_bit_blt(dc, x, y, width, height, source, source_x, source_y, rop);
    if (slot < 0 || !done)
        return done;
    ShownWindow& row = shown_windows[slot];
    // What a WM_PAINT shows again: the whole picture from the source of a whole frame.
    if (x == 0 && y == 0 && width == row.picture_width && height == row.picture_height &&
        rop == SRCCOPY) {
        row.source = source;
        row.source_x = source_x;
        row.source_y = source_y;
    }
    windows_frame_shown(slot);
    return done;
}

void present_paint_around(int slot, HDC dc) {
    const ShownWindow& row = shown_windows[slot];
    RECT client;
    GetClientRect(row.window, &client);
    int right = row.origin_x + row.picture_width * row.shown_scale;
    int bottom = row.origin_y + row.picture_height * row.shown_scale;
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RECT bands[4] = {{0, 0, client.right, row.origin_y},
                     {0, bottom, client.right, client.bottom},
                     {0, row.origin_y, row.origin_x, bottom},
                     {right, row.origin_y, client.right, bottom}};
    for (const RECT& band : bands)
        if (band.right > band.left && band.bottom > band.top)
            FillRect(dc, &band, black);
}

void present_paint(int slot) {
    ShownWindow& row = shown_windows[slot];
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(row.window, &paint);
    if (dc == nullptr)
        return;
    present_paint_around(slot, dc);
    if (row.dc != nullptr && row.source != nullptr && GetObjectType(row.source) == OBJ_MEMDC) {
        real_bit_blt(row.dc, 0, 0, row.picture_width, row.picture_height, row.source, row.source_x,
                     row.source_y, SRCCOPY);
    } else {
        // No frame yet: black, as the frames start from black.
        RECT picture = {row.origin_x, row.origin_y,
                        row.origin_x + row.picture_width * row.shown_scale,
                        row.origin_y + row.picture_height * row.shown_scale};
        FillRect(dc, &picture, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    EndPaint(row.window, &paint);
}

bool present_hides_pointer(int slot) {
    const ShownWindow& row = shown_windows[slot];
    POINT pointer;
    if (!row.fullscreen || !GetCursorPos(&pointer) || !ScreenToClient(row.window, &pointer))
        return false;
    return pointer.x >= row.origin_x && pointer.y >= row.origin_y &&
           pointer.x < row.origin_x + row.picture_width * row.shown_scale &&
           pointer.y < row.origin_y + row.picture_height * row.shown_scale;
}

// The frame and caption styles a window loses in full screen.
constexpr LONG framed_styles =
    WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr LONG framed_ex_styles =
    WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE;

void present_set_fullscreen(int slot, bool on) {
    ShownWindow& row = shown_windows[slot];
    if (row.fullscreen == on)
        return;
    HWND window = row.window;
    LONG style = GetWindowLongA(window, GWL_STYLE);
    if (on) {
        MONITORINFO info = {};
        info.cbSize = sizeof(info);
        if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info))
            return;
        row.windowed_style = style;
        row.windowed_ex_style = GetWindowLongA(window, GWL_EXSTYLE);
        GetWindowRect(window, &row.windowed_rect);
        row.fullscreen = true;
        SetWindowLongA(window, GWL_STYLE, (style & ~framed_styles) | WS_POPUP);
        SetWindowLongA(window, GWL_EXSTYLE, row.windowed_ex_style & ~framed_ex_styles);
        const RECT& screen = info.rcMonitor;
        SetWindowPos(window, HWND_TOP, screen.left, screen.top, screen.right - screen.left,
                     screen.bottom - screen.top, SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
    } else {
        row.fullscreen = false;
        // Shown or minimized as it is now, whatever it was when full screen began.
        LONG state = WS_VISIBLE | WS_MINIMIZE;
        SetWindowLongA(window, GWL_STYLE, (row.windowed_style & ~state) | (style & state));
        SetWindowLongA(window, GWL_EXSTYLE, row.windowed_ex_style);
        const RECT& place = row.windowed_rect;
        SetWindowPos(window, nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOOWNERZORDER);
    }
    present_lay_out(slot);
    InvalidateRect(window, nullptr, TRUE);
}
