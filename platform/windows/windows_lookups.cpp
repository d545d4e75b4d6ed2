// The calls of newer Windows versions, found at run time: the import table names only what every
// Windows since XP has, so the programs start wherever they started before, and use what the
// system offers (per-monitor DPI, the compositor's wait, high-resolution timers) where it is.
#include "windows_backend.h"

SystemCalls system_calls;

// dwmapi from the system's own folder only, never from the program's or the current one.
static HMODULE load_dwmapi() {
    HMODULE dwmapi = LoadLibraryExA("dwmapi.dll", nullptr, load_library_search_system32);
    if (dwmapi != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
        return dwmapi;
    // Systems before Windows 8 without its loader update do not know the flag: the full path.
    char path[MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    lstrcatA(path, "\\dwmapi.dll");
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void look_up_system_calls() {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    system_calls.get_dpi_for_window =
        look_up<decltype(system_calls.get_dpi_for_window)>(user32, "GetDpiForWindow");
    system_calls.adjust_window_rect_ex_for_dpi =
        look_up<decltype(system_calls.adjust_window_rect_ex_for_dpi)>(user32,
                                                                      "AdjustWindowRectExForDpi");
    HMODULE dwmapi = load_dwmapi();
    system_calls.dwm_flush = look_up<decltype(system_calls.dwm_flush)>(dwmapi, "DwmFlush");
    system_calls.create_waitable_timer_ex =
        look_up<decltype(system_calls.create_waitable_timer_ex)>(GetModuleHandleA("kernel32.dll"),
                                                                 "CreateWaitableTimerExW");
}
