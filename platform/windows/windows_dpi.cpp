// DPI: the programs declare themselves aware of each monitor's DPI (their manifest), so Windows
// never stretches their picture; the backend sizes each window in the monitor's own pixels, at a
// whole scale, and keeps whole blocks when the window moves to a monitor of another DPI. The
// calls for a window's own DPI are Windows 10's, looked up at run time (windows_lookups.cpp);
// before them every monitor has the system's DPI.
#include <cmath>

#include "windows_backend.h"

// The DPI of a monitor at 100%.
constexpr UINT default_dpi = 96;

UINT window_dpi(HWND window) {
    if (system_calls.get_dpi_for_window != nullptr) {
        UINT dpi = system_calls.get_dpi_for_window(window);
        if (dpi != 0)
            return dpi;
    }
    HDC screen = GetDC(nullptr);
    int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : default_dpi;
}

SIZE outer_size(DWORD style, DWORD ex_style, int width, int height, UINT dpi) {
    RECT rect = {0, 0, width, height};
    if (system_calls.adjust_window_rect_ex_for_dpi == nullptr ||
        !system_calls.adjust_window_rect_ex_for_dpi(&rect, style, FALSE, ex_style, dpi))
        AdjustWindowRectEx(&rect, style, FALSE, ex_style);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

int rescaled_for_dpi(int scale, UINT old_dpi, UINT new_dpi) {
    if (old_dpi == 0 || new_dpi == 0)
        return scale;
    long rescaled = std::lround(static_cast<double>(scale) * new_dpi / old_dpi);
    return rescaled < 1                   ? 1
           : rescaled > max_display_scale ? max_display_scale
                                          : static_cast<int>(rescaled);
}
