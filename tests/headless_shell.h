// What the tests that run the shell's real loop on the headless SDL backend share: SDL's dummy
// video driver, chosen before anything can start SDL; the program's window found by its class;
// keys posted to it; and the clean slate a fresh process would find.
#pragma once

#include <cstdlib>

#include <windows.h>

namespace {

const bool headless = [] { return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0; }();

inline HWND main_window() {
    return FindWindowA("Demo Test", nullptr);
}

inline void press(WPARAM key) {
    PostMessageA(main_window(), WM_KEYDOWN, key, 1);
}

// No window, no class, an empty queue.
inline void leave_nothing_behind() {
    if (HWND window = main_window())
        DestroyWindow(window);
    UnregisterClassA("Demo Test", GetModuleHandleA(nullptr));
    MSG msg;
    for (int i = 0; i < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); i++) {
    }
}

} // namespace
