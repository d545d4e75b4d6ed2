// sorvel2: the fireworks seen through the polar, swirl and ripple warps.
#include <windows.h>

#include "shell.h"
#include "warp.h"

const char* const app_title = "Sorvel2";

void effect_init(HINSTANCE instance) {
    warp::effect_init(instance);
}

bool effect_render(HDC window_dc) {
    return warp::effect_render(window_dc);
}

void effect_shutdown() {
    warp::effect_shutdown();
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command) {
    return app_main(instance, previous, command_line, show_command);
}
