// Process start-up in the browser: hands the program's WinMain its module handle, and when it
// returns shows the last frame and tells the page that the program has ended. There is no
// command line on a page.
#include <windows.h>

#include "web_display.h"

int main() {
    static char command_line[1] = "";
    int exit_code = WinMain(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOW);
    web_program_ended(exit_code);
    return exit_code;
}
