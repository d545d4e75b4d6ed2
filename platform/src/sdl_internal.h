// What the SDL2 display's two files share: sdl_display.cpp (SDL's windows and how they show
// their pictures) and sdl_events.cpp (SDL's input turned into messages).
#pragma once

#include <cstdint>

#include <windows.h>

// True once SDL's video has started.
bool sdl_video_started();
// The window of an SDL window id, or null.
HWND sdl_window_of(uint32_t sdl_window_id);
// Switches the window of `slot` into full screen, or out of it.
void sdl_toggle_fullscreen(int slot);
// The pointer moved to (x, y) over the window of `slot`: hidden over the picture in full screen.
void sdl_pointer_moved(int slot, int x, int y);
// The window's framebuffer may be a new one (resized, exposed): a scaled picture is shown again.
void sdl_framebuffer_changed(int slot);
