// Process start-up: the C entry point hands the program's WinMain its module handle and a
// command line made of the arguments, and passes WinMain's result on as the exit code. SDL starts
// only when the first window does, and stops when WinMain has returned: never inside exit(), which
// is how Xlib ends a program whose X server has gone.
#include <cstring>

#include <windows.h>

#include "sdl_display.h"

int main(int argc, char** argv) {
    // As on Windows, the command line holds the arguments without the program's own name.
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
    int exit_code = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOW);
    display_stop();
    return exit_code;
}
