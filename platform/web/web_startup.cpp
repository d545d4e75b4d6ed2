// Process start-up in the browser: takes the pace the page asks for (its address's ?fps=, passed
// as the arguments "--fps" and the value), hands the program's WinMain its module handle, and when
// it returns shows the last frame and tells the page that the program has ended. A pace that is
// not one does not start the program: the page shows why (Module.onStartError) and the exit code
// is 2, as the --fps option's would be elsewhere.
#include <emscripten.h>

#include <cstdio>
#include <cstring>

#include <windows.h>

#include "pace.h"
#include "web_display.h"

// clang-format off
EM_JS(void, web_page_start_error, (const char* text), {
    if (Module.onStartError)
        Module.onStartError(UTF8ToString(text));
});
// clang-format on

// Reads the arguments the page passed: none, or "--fps" and a value. False, with `error` filled
// in, for anything else.
static bool take_options(int argc, char** argv, PaceSetting* pace, char* error, size_t size) {
    *pace = PaceSetting{pace_display, 0};
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--fps") != 0) {
            snprintf(error, size, "the page passed \"%s\", which is not --fps", argv[i]);
            return false;
        }
        const char* value = i + 1 < argc ? argv[++i] : "";
        if (!parse_pace(value, pace)) {
            snprintf(error, size, "?fps= takes a number from 1 to %d or \"max\", not \"%s\"",
                     max_pace_fps, value);
            return false;
        }
    }
    return true;
}

int main(int argc, char** argv) {
    PaceSetting pace;
    char error[200];
    if (!take_options(argc, argv, &pace, error, sizeof(error))) {
        fprintf(stderr, "platform: %s\n", error);
        web_page_start_error(error);
        return 2;
    }
    web_pace_start();
    pace_configure(pace);
    static char command_line[1] = "";
    int exit_code = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOW);
    web_program_ended(exit_code);
    return exit_code;
}
