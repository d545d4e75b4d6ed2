// For the SDL2 backend's own tests: the SDL side of a window.
#pragma once

#include <windows.h>

struct SDL_Window;

// Stops SDL's video if it started. Called by main after WinMain returns.
void display_stop();
// The SDL window behind a live window handle, or null.
SDL_Window* platform_sdl_window(HWND window);
