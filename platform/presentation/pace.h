// The pace at which the stand-in shows a program's frames: after each frame a window shows, the
// program is held inside the platform until the next frame is due, so that a program that draws
// frames back to back, as fast as it can, is seen at the display's own rate instead of as a strobe.
// Frames are due on a steady grid, t0 + k / rate; a frame that comes late is shown at once and
// the next one takes the next point of the grid after it, so a stall is never made up for with a
// burst of frames. The pause, single-step and pace keys are taken here too. The grid and the keys
// are backend-neutral; each backend supplies the clock's wait and the display's refresh rate.
// The program sees none of this: it still polls its queue once a frame and counts its frames.
#pragma once

#include <cstdint>

enum PaceMode {
    pace_unlimited, // frames back to back, as the programs always ran (--fps max)
    pace_display,   // one frame per refresh of the display the window is on (the default)
    pace_fixed,     // a steady timer at a set rate (--fps N)
};

struct PaceSetting {
    PaceMode mode;
    int fps; // pace_fixed: 1..max_pace_fps
};

constexpr int max_pace_fps = 1000;
// The rate taken when the display does not say its own.
constexpr int default_refresh_hz = 60;

// Reads a pace as the --fps option spells it: "max", or a whole number from 1 to max_pace_fps.
// False, with `setting` untouched, for anything else.
bool parse_pace(const char* text, PaceSetting* setting);

// The pace the windows follow from now on; the stand-in's start-up sets it from its options.
// Without it (tests, tools) frames are not paced.
void pace_configure(PaceSetting setting);

// The keys the platform takes for the pace, wherever its input comes from.
enum PaceKey {
    pace_key_pause,  // P or Pause: stop the frames, or let them run again
    pace_key_step,   // period: while paused, let exactly one frame through
    pace_key_slower, // minus: half the pace, down to 1 frame a second
    pace_key_faster, // equals or plus: twice the pace, up to the display's rate (or --fps N)
};
void pace_key(PaceKey key);
// The same keys by Windows' virtual-key codes ('P' and VK_PAUSE, VK_OEM_PERIOD, VK_OEM_MINUS and
// VK_SUBTRACT, VK_OEM_PLUS and VK_ADD), pressed (`down`, `repeat` for the key's auto-repeat) or
// released: true if the key is one of the pace's, which then acts on a press (and a held period
// on its repeats too). For the backends whose input comes as virtual keys (pace_keys.cpp).
bool pace_take_virtual_key(int vk, bool down, bool repeat);

// Called each time a frame has been shown in the window of `slot`: returns once the next frame is
// due (at once when frames are unlimited and not paused). Meanwhile it keeps moving the window
// system's input into the queue, and it returns early when the queue holds a request to stop
// (Escape, a window's close, a quit) or the window is gone, so those answer within a frame. With
// pace_hold_at_poll on, it only notes the frame, and pace_hold waits.
void pace_frame_shown(int slot);

// The pace's clock in microseconds: the backend's, or the test's (platform_set_pace_clock). What
// else keeps time with the frames (--cycle) reads it too.
uint64_t pace_clock_us();

// What the pace is now, for tests and the web page: the frames a second it aims at (0 when
// unlimited) and whether it is paused.
double pace_rate();
bool pace_paused();

// For a backend that can hold the program only where it polls its queue (the web page: the
// programs reach their block transfers through a call that cannot hand the browser its turn):
// from now on pace_frame_shown only notes the frame, and the backend's poll of its input calls
// pace_hold first, which waits as pace_frame_shown would have. Off at start-up, and on SDL.
void pace_hold_at_poll(bool at_poll);
// The wait after the frame that pace_frame_shown noted last, if it has not been waited yet; at
// once otherwise, and within the wait itself.
void pace_hold();

// Supplied by each backend:
// Moves the window system's pending input into the program's queue, where the backend keeps one.
void display_pump_events();
// True when the queue holds a request to end (an Escape key press, a window's close, a quit) or
// the window of `slot` is gone: no frame is held back then.
bool display_stop_pending(int slot);
// Microseconds on a monotonic clock.
uint64_t display_clock_us();
// Sleeps until the clock reads `until_us`, or less (when input arrives, or after a slice of the
// backend's choosing: the pace calls it again), then moves the window system's input into the
// queue. Never spins.
void display_wait_until(uint64_t until_us);
// Puts the frames drawn so far on the display and returns after its next refresh, with the
// window system's input moved into the queue; called only after pace_use_refresh_wait(true).
void display_wait_refresh(int slot);
// The refresh rate of the display that the window of `slot` is on, in frames a second; 0 when
// the system does not say.
double display_refresh_rate(int slot);

// For a backend whose display paces the frames itself, as a web page's animation frames do: from
// now on the display's pace is one frame per refresh, each waited for with display_wait_refresh,
// and a slower pace shows each frame at the refresh nearest its point of the grid; --fps N and the
// pause keep to the clock. Off (as at start-up, and on SDL): the clock paces every mode.
void pace_use_refresh_wait(bool use);
// Whether the frame just shown in the window of `slot` will be held by display_wait_refresh, as
// the pace stands now (the display's wait in use, not paused, not --fps N, not unlimited): a
// backend that puts its frames on the display in that wait shows any other frame at once.
bool pace_waits_refresh(int slot);

// For tests: the clock and the wait that display_clock_us and display_wait_until then use instead
// of the backend's own (both null: the backend's again). Resets the pace's grid.
void platform_set_pace_clock(uint64_t (*clock_us)(), void (*wait_until)(uint64_t until_us));
// For tests: the wait for the display's refresh that the pace then uses instead of the backend's,
// as after pace_use_refresh_wait(true); null: the backend's, and the clock paces again.
void platform_set_refresh_wait(void (*wait)(int slot));
// Forgets the grid, the pause and the keys' pace, as at start-up.
void pace_reset();
