// Process start-up: the C entry point takes the stand-in's own options (--scale, --fullscreen,
// --fps, --root, --window-id, --cycle, --help, --version) out of the arguments, reads the screen
// saver's XSCREENSAVER_WINDOW and the present asked by SORVEL_PRESENT, lets SIGTERM, SIGINT and
// SIGHUP close the windows, hands the program's WinMain its module handle and a command line made
// of the other arguments, and passes WinMain's result on as the exit code. SDL starts only when the
// first window does, and stops when WinMain has returned: never inside exit(), which is how Xlib
// ends a program whose X server has gone.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>

#include "cycle.h"
#include "pace.h"
#include "sdl_display.h"

// 0 once what was printed has reached standard output, else 1 with a line saying why.
static int written(const char* name) {
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "%s: standard output: %s\n", name, strerror(errno));
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    const char* name = argc > 0 && argv[0] != nullptr ? argv[0] : "program";
    if (const char* slash = strrchr(name, '/'))
        name = slash + 1;
    DisplayOptions options;
    char error[160];
    switch (take_display_options(&argc, argv, &options, error, sizeof(error))) {
    case options_help:
        printf(
            "Usage: %s [--scale N] [--fullscreen] [--fps N|max] [--cycle N] [--help] [--version]\n"
            "  or:  %s --root | --window-id ID [--scale N] [--fps N|max] [--cycle N]\n%s",
            name, name, display_usage_text);
        return written(name);
    case options_version:
        printf("%s %s\n", name, SORVEL_VERSION);
        return written(name);
    case options_error:
        fprintf(stderr, "%s: %s\n", name, error);
        return 2;
    case options_run:
        break;
    }
    const char* saver_window = getenv("XSCREENSAVER_WINDOW");
    if (!x11_target_reachable(options, saver_window, getenv("DISPLAY"), getenv("WAYLAND_DISPLAY"),
                              error, sizeof(error))) {
        fprintf(stderr, "%s: %s\n", name, error);
        return 1;
    }
    if (!take_saver_window(&options, saver_window, error, sizeof(error))) {
        fprintf(stderr, "%s: %s\n", name, error);
        return 2;
    }
    PresentAsk present;
    if (const char* asked = getenv("SORVEL_PRESENT"); !parse_present(asked, &present)) {
        fprintf(stderr, "%s: SORVEL_PRESENT=%s: not gpu or cpu\n", name, asked);
        return 2;
    }
    display_set_present(present);
    stop_signals_install();
    display_set_options(options);
    pace_configure(options.pace);
    cycle_configure(options.cycle_seconds);

    // As on Windows, the command line holds the arguments without the program's own name.
    static char command_line[4096];
    join_command_line(argc, argv, command_line, sizeof(command_line));
    int exit_code = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOW);
    display_stop();
    return exit_code;
}
