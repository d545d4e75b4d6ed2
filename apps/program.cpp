#include "program.h"

#include "shell.h"

void effect_init(HINSTANCE instance) {
    program_effect.init(instance);
}

bool effect_render(HDC window_dc) {
    return program_effect.render(window_dc);
}

void effect_shutdown() {
    program_effect.shutdown();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command) {
    return app_main(instance, previous, command_line, show_command);
}
