// A window's picture. The program's block transfer of each frame goes on to the real BitBlt with
// its own arguments, into its own DC; only that DC's mapping is the backend's: logical
// coordinates of the picture's size map to the picture's place in the client area, N times as
// large, so GDI itself draws every program pixel as an exact N x N block (COLORONCOLOR: the
// nearest pixel, no blending; shrunk the same way into a screen saver's small preview). The
// program sees the client size it asked for in all it draws. A screen saver's window shows the
// picture on each monitor: the same transfer again with each monitor's mapping. Around the
// pictures the window is black, and a WM_PAINT shows the last frame again, as the program, held
// by a pause, cannot.
#include "windows_backend.h"

void present_map(HDC dc, const ShownWindow& row, int picture) {
    const ShownPicture& place = row.pictures[picture];
    if (place.width == row.picture_width && place.height == row.picture_height) {
        SetMapMode(dc, MM_TEXT);
    } else {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, row.picture_width, row.picture_height, nullptr);
        SetViewportExtEx(dc, place.width, place.height, nullptr);
    }
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetViewportOrgEx(dc, place.x, place.y, nullptr);
    SetStretchBltMode(dc, COLORONCOLOR);
}

void present_lay_out(int slot) {
    ShownWindow& row = shown_windows[slot];
    RECT client;
    if (!GetClientRect(row.window, &client))
        return;
    if (row.saver != saver_off) {
        row.picture_count = saver_lay_out(row.window, row.picture_width, row.picture_height,
                                          window_options.scale, row.pictures);
    } else {
        int scale = row.fullscreen ? largest_fitting_scale(client.right, client.bottom,
                                                           row.picture_width, row.picture_height)
                                   : row.scale;
        int width = row.picture_width * scale;
        int height = row.picture_height * scale;
        int left = (client.right - width) / 2;
        int top = (client.bottom - height) / 2;
        row.pictures[0] = ShownPicture{left > 0 ? left : 0, top > 0 ? top : 0, width, height};
        row.picture_count = 1;
    }
    if (row.dc != nullptr && row.picture_count > 0)
        present_map(row.dc, row, 0);
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
        if (shown_windows[slot].picture_count > 0)
            present_map(dc, shown_windows[slot], 0);
    }
    return slot;
}

BOOL WINAPI bit_blt_hook(HDC dc, int x, int y, int width, int height, HDC source, int source_x,
                         int source_y, DWORD rop) {
    int slot = slot_of_dc(dc);
    if (slot < 0)
        return real_bit_blt(dc, x, y, width, height, source, source_x, source_y, rop);
    ShownWindow& row = shown_windows[slot];
    // Once where the DC is mapped already; on each monitor of a screen saver, the same transfer
    // again with that monitor's mapping. A window with no room for the picture shows none.
    BOOL done = row.picture_count == 0;
    if (row.picture_count == 1) {
        done = real_bit_blt(dc, x, y, width, height, source, source_x, source_y, rop);
    } else {
        for (int picture = 0; picture < row.picture_count; picture++) {
            present_map(dc, row, picture);
            done |= real_bit_blt(dc, x, y, width, height, source, source_x, source_y, rop);
        }
    }
    if (!done)
        return done;
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
    int saved = SaveDC(dc);
    for (int picture = 0; picture < row.picture_count; picture++) {
        const ShownPicture& place = row.pictures[picture];
        ExcludeClipRect(dc, place.x, place.y, place.x + place.width, place.y + place.height);
    }
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RestoreDC(dc, saved);
}

void present_paint(int slot) {
    ShownWindow& row = shown_windows[slot];
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(row.window, &paint);
    if (dc == nullptr)
        return;
    present_paint_around(slot, dc);
    for (int picture = 0; picture < row.picture_count; picture++) {
        if (row.dc != nullptr && row.source != nullptr && GetObjectType(row.source) == OBJ_MEMDC) {
            present_map(row.dc, row, picture);
            real_bit_blt(row.dc, 0, 0, row.picture_width, row.picture_height, row.source,
                         row.source_x, row.source_y, SRCCOPY);
        } else {
            // No frame yet: black, as the frames start from black.
            const ShownPicture& place = row.pictures[picture];
            RECT area = {place.x, place.y, place.x + place.width, place.y + place.height};
            FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        }
    }
    // The program's next frame goes to the first place, as present_lay_out left it.
    if (row.dc != nullptr && row.picture_count > 1)
        present_map(row.dc, row, 0);
    EndPaint(row.window, &paint);
}

bool present_hides_pointer(int slot) {
    const ShownWindow& row = shown_windows[slot];
    POINT pointer;
    if (row.saver == saver_full)
        return true;
    if (!row.fullscreen || row.picture_count == 0 || !GetCursorPos(&pointer) ||
        !ScreenToClient(row.window, &pointer))
        return false;
    const ShownPicture& place = row.pictures[0];
    return pointer.x >= place.x && pointer.y >= place.y && pointer.x < place.x + place.width &&
           pointer.y < place.y + place.height;
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
