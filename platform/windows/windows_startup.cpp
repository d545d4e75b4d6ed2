// Process start-up on Windows, in the library platform_startup: MinGW's C runtime calls main
// when the program defines one, so this main comes before the WinMain that the programs define
// (a test or a tool with a main of its own keeps it, and gets none of this). It takes the
// presentation's options (--scale, --fullscreen, --fps, --cycle, --help, --version) out of the
// arguments, says what it must to the console that started the program or in a message box,
// starts the backend, and hands WinMain the other arguments as its command line. A bad option
// ends the run with exit code 2 before any window opens. A program whose file name ends in .scr
// is a screen saver and takes the arguments Windows gives one (windows_saver.h): the settings
// dialog runs here instead of the program, and /s and /p start it with the saved settings.
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "cycle.h"
#include "options.h"
#include "pace.h"
#include "windows_backend.h"
#include "windows_saver.h"

// The program's name for its messages and its settings: its file's name without the folder and
// ".exe" or ".scr".
static void program_name(const char* path, char* name, size_t size) {
    const char* start = path;
    for (const char* at = path; *at != 0; at++)
        if (*at == '\\' || *at == '/')
            start = at + 1;
    snprintf(name, size, "%s", start);
    size_t used = strlen(name);
    if (used > 4 && (lstrcmpiA(name + used - 4, ".exe") == 0 || is_screen_saver_path(name)))
        name[used - 4] = 0;
}

// The shared usage text without what only X11 has (--root, --window-id, and --cycle as it is
// there), --cycle as Windows takes it in their place, before --help.
static void window_usage(const char* name, char* text, size_t size) {
    size_t used = static_cast<size_t>(snprintf(
        text, size,
        "Usage: %s [--scale N] [--fullscreen] [--fps N|max] [--cycle N] [--help] [--version]\n",
        name));
    bool dropping = false;
    for (const char* line = display_usage_text; *line != 0 && used < size;) {
        const char* end = strchr(line, '\n');
        size_t length = end != nullptr ? static_cast<size_t>(end - line + 1) : strlen(line);
        if (strncmp(line, "  --", 4) == 0)
            dropping = strncmp(line, "  --root", 8) == 0 ||
                       strncmp(line, "  --window-id", 13) == 0 ||
                       strncmp(line, "  --cycle", 9) == 0;
        else if (strncmp(line, "   ", 3) != 0)
            dropping = false;
        if (strncmp(line, "  --help", 8) == 0)
            used += static_cast<size_t>(
                snprintf(text + used, size - used,
                         "  --cycle N      press Space for the program every N seconds, 0 never "
                         "(default 0)\n"));
        if (!dropping && used + length < size) {
            memcpy(text + used, line, length);
            used += length;
            text[used] = 0;
        }
        line += length;
    }
}

static void saver_usage(const char* name, char* text, size_t size) {
    snprintf(
        text, size,
        "Usage: %s.scr /s | /p HWND | /c[:HWND] [--scale N] [--fps N|max] [--cycle N]\n"
        "       %s.scr --help | --version\n"
        "The screen saver, as Windows runs it ('/' or '-', in any case; HWND in decimal):\n"
        "  /s             on every monitor, at the largest whole scale that fits each, until a\n"
        "                 key, a mouse button or a move of the mouse\n"
        "  /p HWND        the preview, filling the window HWND (the settings' small monitor)\n"
        "  /c[:HWND]      the settings (also with no argument): how often the picture changes\n"
        "                 and the pace, saved for this user; HWND owns the dialog\n"
        "Options (they win over the saved settings):\n"
        "  --scale N      at most N x N blocks a pixel, N from 1 to 8\n"
        "  --fps N        show N frames a second, N from 1 to 1000 (saved default: one per\n"
        "                 refresh of the display, 60 where it does not say)\n"
        "  --fps max      frames back to back, as fast as the machine allows\n"
        "  --cycle N      press Space for the program every N seconds, 0 never (saved\n"
        "                 default: %d)\n"
        "  --help         show this text and end\n"
        "  --version      show the program's name and version and end\n"
        "Install it with a right click on %s.scr and Install, or copy it to the system folder.\n",
        name, name, saver_default_cycle_seconds, name);
}

// The screen saver's saved settings, where the command line does not say otherwise; said under
// SORVEL_VERBOSE.
static void take_saved_settings(const char* name, SaverMode mode, DisplayOptions* options) {
    SaverSettings saved = saver_settings_load(name);
    if (!options->pace_given)
        options->pace = saved.pace;
    if (options->cycle_seconds < 0)
        options->cycle_seconds = saved.cycle_seconds;
    const char* verbose = getenv("SORVEL_VERBOSE");
    if (verbose == nullptr || verbose[0] == 0 || strcmp(verbose, "0") == 0)
        return;
    char pace[16];
    pace_value_text(options->pace, pace, sizeof(pace));
    char text[MAX_PATH + 200];
    snprintf(text, sizeof(text),
             "screen saver %s: Space every %d s (0: never), pace %s; the settings saved in "
             "HKEY_CURRENT_USER\\Software\\Sorvel\\%s%s",
             mode == saver_full ? "/s" : "/p", options->cycle_seconds, pace, name,
             saved.saved ? "" : " (none: the defaults)");
    windows_say(text);
}

int main(int argc, char** argv) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        lstrcpyA(path, "program");
    char name[MAX_PATH];
    program_name(path, name, sizeof(name));
    bool screen_saver = is_screen_saver_path(path);
    DisplayOptions options;
    char error[160];
    static char text[4096];
    switch (take_display_options(&argc, argv, &options, error, sizeof(error))) {
    case options_help:
        if (screen_saver)
            saver_usage(name, text, sizeof(text));
        else
            window_usage(name, text, sizeof(text));
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
    if (options.target != target_own_window) {
        snprintf(text, sizeof(text),
                 "%s: %s draws into an X11 window; Windows has none (--help lists the options)\n",
                 name, options.target == target_root ? "--root" : "--window-id");
        tell_user(true, name, text);
        return 2;
    }
    SaverCall call = {saver_off, 0};
    if (screen_saver && !parse_saver_arguments(argc - 1, argv + 1, &call, error, sizeof(error))) {
        snprintf(text, sizeof(text), "%s: %s\n", name, error);
        // A preview never shows a dialog: only the console hears of it.
        if (call.mode == saver_preview)
            console_write(true, text);
        else
            tell_user(true, name, text);
        return 2;
    }
    if (const char* verbose = getenv("SORVEL_VERBOSE"); verbose != nullptr && verbose[0] != 0)
        console_ready_stderr();
    if (call.mode == saver_settings) {
        HWND owner = saver_window_handle(call.window);
        return saver_settings_dialog(name, IsWindow(owner) ? owner : nullptr);
    }
    if (call.mode == saver_preview && !IsWindow(saver_window_handle(call.window))) {
        snprintf(text, sizeof(text), "%s: /p %lu: no such window to show the preview in\n", name,
                 static_cast<unsigned long>(call.window));
        console_write(true, text);
        return 1;
    }
    if (call.mode != saver_off)
        take_saved_settings(name, call.mode, &options);
    else if (options.cycle_seconds < 0)
        options.cycle_seconds = 0;
    saver_call = call;
    windows_backend_start(options);
    pace_configure(options.pace);
    cycle_configure(options.cycle_seconds);

    // The command line holds the other arguments, without the program's own name (a screen
    // saver's were Windows', and are taken).
    static char command_line[4096];
    join_command_line(call.mode == saver_off ? argc : 1, argv, command_line, sizeof(command_line));
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
    return WinMain(GetModuleHandleA(nullptr), nullptr, command_line, show);
}
