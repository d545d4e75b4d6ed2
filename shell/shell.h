// The demo shell: the program's entry (app_main), the frame loop with its pacing and title, the
// one fixed-size window and the keyboard. It owns the settings and the two values the keys
// change, decay and variant; it drives the program's effect through the three effect
// operations, which each program (or test) supplies, and never looks inside the effect.
#pragma once

#include <cstdint>

#include <windows.h>

// Settings, written by init_settings: the window's client size and the least number of
// milliseconds between two frames (0: no pacing).
extern int32_t screen_width;
extern int32_t screen_height;
extern uint32_t frame_interval_ms;

// The program's caption and the start of its title format, supplied by each program.
extern const char* const app_title;

// Heat lost per frame, held within 0..10 by the arrow keys; starts at 2.
extern int32_t decay;
// Space presses so far, wrapped at a multiple of 6 so it never overflows; starts at 0. The
// effects reduce it modulo 3 or 6.
extern int32_t variant;

constexpr int32_t decay_min = 0;
constexpr int32_t decay_max = 10;
constexpr int32_t decay_start = 2;

// The effect interface: each program supplies exactly these three operations.
// Sets up the effect's palette, particles, surfaces and tables; called once before any frame.
void effect_init(HINSTANCE instance);
// Draws one complete frame into window_dc; true asks the loop to end at once.
bool effect_render(HDC window_dc);
// Releases what effect_init created; called once after the loop.
void effect_shutdown();

// Sets the window size to 320 x 240 and the pacing to none.
void init_settings();

// The exit code of a program whose window could not be opened; every other run ends with 0.
constexpr int exit_no_window = 1;

// The program's Windows entry: creates the window, runs the effect until Escape or the window
// is gone, and returns the exit code: 0, or exit_no_window.
int app_main(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command);

// Registers the "Demo Test" class and opens the fixed window whose client area is width x height.
// Returns the window, or null if the class or the window cannot be created.
HWND create_main_window(HINSTANCE instance, int32_t width, int32_t height);

// Takes at most one queued message and acts on its keys. Returns 1 to go on, 0 to stop (Escape,
// WM_QUIT, or the window no longer exists).
int32_t pump_messages(HWND main_window);

// The program's key handling for one key-down: returns 0 for Escape, else changes decay or
// variant as the key says and returns 1. The recorder replays its key scripts through it.
int32_t handle_key(WPARAM virtual_key);
