// Text for the person who started the program. The programs are GUI programs: Windows gives them
// no console, so what they print goes to the standard output or error they were handed (a file,
// a pipe, or the terminal Wine was started from), else to the console of the command prompt that
// started them, attached for the purpose, else into a message box. Notices during the run go to
// the standard error only: a message box would stop the program.
#include <cstdio>

#include "windows_backend.h"

// A handle that can be written to: a console, a file or a pipe.
static bool usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Attaches the console of the program that started this one, once; false where there is none.
static bool attached_console() {
    static int attached = -1;
    if (attached < 0)
        attached = AttachConsole(ATTACH_PARENT_PROCESS) ? 1 : 0;
    return attached == 1;
}

// Where text for the standard output (or error) goes: the handle the program was given, or the
// parent's console; null where there is neither.
static HANDLE output_handle(bool error) {
    HANDLE given = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (usable(given))
        return given;
    if (!attached_console())
        return nullptr;
    static HANDLE console = INVALID_HANDLE_VALUE;
    if (console == INVALID_HANDLE_VALUE)
        console = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    return usable(console) ? console : nullptr;
}

bool console_write(bool error, const char* text) {
    HANDLE handle = output_handle(error);
    if (handle == nullptr)
        return false;
    DWORD length = static_cast<DWORD>(strlen(text));
    DWORD written = 0;
    return WriteFile(handle, text, length, &written, nullptr) && written == length;
}

void tell_user(bool error, const char* caption, const char* text) {
    if (console_write(error, text))
        return;
    MessageBoxA(nullptr, text, caption, MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

void windows_say(const char* text) {
    char line[512];
    snprintf(line, sizeof(line), "platform: %s\n", text);
    console_write(true, line);
}

void console_ready_stderr() {
    if (usable(GetStdHandle(STD_ERROR_HANDLE)) || !attached_console())
        return;
    if (freopen("CONOUT$", "w", stderr) != nullptr)
        setvbuf(stderr, nullptr, _IONBF, 0);
}
