#include "shell.h"

static const char* const window_class_name = "Demo Test";

HWND create_main_window(HINSTANCE instance, int32_t width, int32_t height) {
    WNDCLASSA window_class = {};
    window_class.style = 0;
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = window_class_name;
    if (RegisterClassA(&window_class) == 0)
        return nullptr;

    int caption = GetSystemMetrics(SM_CYCAPTION);
    int frame_y = GetSystemMetrics(SM_CYDLGFRAME);
    int frame_x = GetSystemMetrics(SM_CXDLGFRAME);
    HWND window = CreateWindowExA(
        WS_EX_APPWINDOW, window_class_name, app_title, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
        CW_USEDEFAULT, CW_USEDEFAULT, width + 2 * frame_x, height + caption + 2 * frame_y, nullptr,
        nullptr, instance, nullptr);
    if (window == nullptr)
        return nullptr;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return window;
}

int32_t pump_messages(HWND main_window) {
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return 0;
        // Keys act whatever window the message is for; Escape is neither translated nor
        // dispatched.
        if (msg.message == WM_KEYDOWN && handle_key(msg.wParam) == 0)
            return 0;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return IsWindow(main_window) ? 1 : 0;
}
