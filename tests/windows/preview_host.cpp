// preview_host: stands for the screen-saver settings' small monitor, as
// tests/e2e/windows_saver_check.sh needs it under Wine. It opens a window whose client area is
// WIDTH x HEIGHT, starts "SCREEN_SAVER /p HWND" with that window's handle, as Windows does, and
// prints what it finds, a line each:
//   child CLASS WxH STYLE same-process|other-process   the saver's window in its client area
//   title TEXT                                        that window's title after SECONDS
//   ended MS EXIT                                     once its own window is destroyed: how
//                                                     long the saver took to end, and its exit code
// Exit code: 0 once it has printed all three, 1 when the saver did not start, show a window or
// end within 5 s (a line says which).
//   preview_host SCREEN_SAVER WIDTH HEIGHT SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>

// Serves the window's messages for `ms` milliseconds.
static void serve(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: preview_host SCREEN_SAVER WIDTH HEIGHT SECONDS\n");
        return 2;
    }
    int width = atoi(argv[2]);
    int height = atoi(argv[3]);
    DWORD ms = static_cast<DWORD>(atof(argv[4]) * 1000);
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    window_class.lpszClassName = "preview_host";
    RegisterClassA(&window_class);
    RECT outer = {0, 0, width, height};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    HWND host = CreateWindowA("preview_host", "Preview host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                              100, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                              nullptr, window_class.hInstance, nullptr);
    if (host == nullptr) {
        printf("no host window\n");
        return 1;
    }
    char command[MAX_PATH + 64];
    snprintf(command, sizeof(command), "\"%s\" /p %lu", argv[1],
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(host)));
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION saver;
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &saver)) {
        printf("not started: %s (error %lu)\n", command, GetLastError());
        return 1;
    }
    serve(ms);
    HWND child = GetWindow(host, GW_CHILD);
    if (child == nullptr) {
        printf("no child window after %s s\n", argv[4]);
        TerminateProcess(saver.hProcess, 1);
        return 1;
    }
    char class_name[64] = "";
    GetClassNameA(child, class_name, sizeof(class_name));
    RECT client = {0, 0, 0, 0};
    GetClientRect(child, &client);
    DWORD process = 0;
    GetWindowThreadProcessId(child, &process);
    printf("child %s %ldx%ld %08lx %s\n", class_name, client.right, client.bottom,
           static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)),
           process == saver.dwProcessId ? "same-process" : "other-process");
    char title[128] = "";
    GetWindowTextA(child, title, sizeof(title));
    printf("title %s\n", title);
    fflush(stdout);

    DestroyWindow(host);
    DWORD destroyed = GetTickCount();
    if (WaitForSingleObject(saver.hProcess, 5000) != WAIT_OBJECT_0) {
        printf("still running 5 s after its window was destroyed\n");
        TerminateProcess(saver.hProcess, 1);
        return 1;
    }
    DWORD code = 0;
    GetExitCodeProcess(saver.hProcess, &code);
    printf("ended %lu %lu\n", GetTickCount() - destroyed, code);
    return 0;
}
