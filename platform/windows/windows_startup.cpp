// Process start-up on Windows, in the library platform_startup: MinGW's C runtime calls main
// when the program defines one, so this main comes before the WinMain that the programs define
// (a test or a tool with a main of its own keeps it, and gets none of this). It takes the
// presentation's options (--scale, --fullscreen, --fps, --help, --version) out of the arguments,
// says what it must to the console that started the program or in a message box, starts the
// backend, and hands WinMain the other arguments as its command line. A bad option ends the run
// with exit code 2 before any window opens.
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "options.h"
#include "pace.h"
#include "windows_backend.h"

// The program's name for its messages: its file's name without the folder and ".exe".
static void program_name(char* name, size_t size) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        lstrcpyA(path, "program");
    const char* start = path;
    for (const char* at = path; *at != 0; at++)
        if (*at == '\\' || *at == '/')
            start = at + 1;
    snprintf(name, size, "%s", start);
    size_t used = strlen(name);
    if (used > 4 && lstrcmpiA(name + used - 4, ".exe") == 0)
        name[used - 4] = 0;
}

int main(int argc, char** argv) {
    char name[MAX_PATH];
    program_name(name, sizeof(name));
    DisplayOptions options;
    char error[160];
    static char text[2048];
    switch (take_display_options(&argc, argv, &options, error, sizeof(error))) {
    case options_help:
        snprintf(text, sizeof(text),
                 "Usage: %s [--scale N] [--fullscreen] [--fps N|max] [--help] [--version]\n%s",
                 name, display_usage_text);
        tell_user(false, name, text);
        return 0;
    case options_version:
        snprintf(text, sizeof(text), "%s %s\n", name, SORVEL_VERSION);
        tell_user(false, name, text);
        return 0;
    case options_error:
        snprintf(text, sizeof(text), "%s: %s\n", name, error);
        tell_user(true, name, text);
        return 2;
    case options_run:
        break;
    }
    if (const char* verbose = getenv("SORVEL_VERBOSE"); verbose != nullptr && verbose[0] != 0)
        console_ready_stderr();
    windows_backend_start(options);
    pace_configure(options.pace);

    // The command line holds the other arguments, without the program's own name.
    static char command_line[4096];
    size_t used = 0;
    for (int i = 1; i < argc; i++) {
        size_t length = strlen(argv[i]);
        if (used + length + 2 > sizeof(command_line))
            break;
        if (used > 0)
            command_line[used++] = ' ';
        memcpy(command_line + used, argv[i], length);
        used += length;
    }
    command_line[used] = 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
    return WinMain(GetModuleHandleA(nullptr), nullptr, command_line, show);
}
