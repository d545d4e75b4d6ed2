// sorvel: the fireworks shown directly, recoloured by six palette schemes.
#include <windows.h>

#include "palette_demo.h"
#include "shell.h"

const char* const app_title = "Sorvel";

void effect_init(HINSTANCE instance) {
    palette_demo::effect_init(instance);
}

bool effect_render(HDC window_dc) {
    return palette_demo::effect_render(window_dc);
}

void effect_shutdown() {
    palette_demo::effect_shutdown();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command) {
    return app_main(instance, previous, command_line, show_command);
}
