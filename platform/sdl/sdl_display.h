// What the SDL2 display offers beyond the display interface of platform_internal.h: the options
// it follows (options.h), its stop, and the hooks of the backend's own tests.
#pragma once

#include <windows.h>

#include "options.h"
#include "present_choice.h"

struct SDL_Window;

// The options every window opened from now on follows (main sets them before WinMain).
void display_set_options(const DisplayOptions& options);
// How the windows opened from now on present their pictures (SORVEL_PRESENT, read by main).
void display_set_present(PresentAsk ask);
// Stops SDL's video if it started. Called by main after WinMain returns.
void display_stop();
// SIGTERM, SIGINT and SIGHUP close every window from now on (sdl_signals.cpp). Called by main.
void stop_signals_install();

// For the backend's own tests:
// Takes `width` x `height` as the usable size of every display instead of asking SDL (0 x 0:
// ask SDL again).
void platform_set_usable_display_size(int width, int height);
// Takes `hz` as every display's refresh rate instead of asking SDL (-1: a display that does not
// say; 0: ask SDL again).
void platform_set_refresh_rate(double hz);
// The SDL window behind a live window handle, or null.
SDL_Window* platform_sdl_window(HWND window);
// Shows the window at `scale` (1..8), as --scale would have opened it; the picture last drawn is
// shown again at once. False for a dead window or a scale out of range.
bool platform_set_window_scale(HWND window, int scale);
// The scale the window's picture is shown at now (in full screen: the largest that fits), or 0.
int platform_window_scale(HWND window);
// Whether the window is in full screen.
bool platform_window_fullscreen(HWND window);
