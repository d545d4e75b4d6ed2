// The frame pace: the grid of due times, the wait after each frame shown, and the pause,
// single-step and pace keys. Backend-neutral: the clock, the wait and the display's refresh rate
// come from the backend (pace.h).
#include "pace.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// While paused, the wait wakes this often even without input, to look at the window again.
constexpr uint64_t paused_wake_us = 250000;

static PaceSetting setting = {pace_unlimited, 0};
// Halvings of the pace by the keys: 0 is the setting's own pace. Unlimited frames take their first
// step down to the display's rate.
static int slower_steps;
static bool paused;
static bool step_asked;

// The grid: frame k after `grid_start_us` is due at grid_start_us + k * 1e6 / grid_rate.
static bool grid_valid;
static uint64_t grid_start_us;
static double grid_rate;
static bool said;           // the pace has been said under SORVEL_VERBOSE
static double said_display; // for the display's refresh rate then

static bool hold_at_poll;  // the wait after a frame comes at the next poll of the queue
static bool refresh_paced; // the display's own wait for its refresh paces the display's rate
static void (*test_wait_refresh)(int slot);

static uint64_t (*test_clock_us)();
static void (*test_wait_until)(uint64_t);

static uint64_t clock_now() {
    return test_clock_us != nullptr ? test_clock_us() : display_clock_us();
}

uint64_t pace_clock_us() {
    return clock_now();
}

static void wait_until(uint64_t until_us) {
    if (test_wait_until != nullptr) {
        test_wait_until(until_us);
        display_pump_events();
    } else {
        display_wait_until(until_us);
    }
}

void pace_use_refresh_wait(bool use) {
    refresh_paced = use;
    grid_valid = false;
}

void platform_set_refresh_wait(void (*wait)(int slot)) {
    test_wait_refresh = wait;
    pace_use_refresh_wait(wait != nullptr);
}

static void wait_refresh(int slot) {
    if (test_wait_refresh != nullptr)
        test_wait_refresh(slot);
    else
        display_wait_refresh(slot);
}

void platform_set_pace_clock(uint64_t (*clock_us)(), void (*wait)(uint64_t until_us)) {
    test_clock_us = clock_us;
    test_wait_until = wait;
    grid_valid = false;
}

void pace_reset() {
    slower_steps = 0;
    paused = false;
    step_asked = false;
    grid_valid = false;
    said = false;
}

bool parse_pace(const char* text, PaceSetting* parsed) {
    if (text == nullptr)
        return false;
    if (strcmp(text, "max") == 0) {
        *parsed = PaceSetting{pace_unlimited, 0};
        return true;
    }
    int value = 0;
    for (const char* at = text; *at != 0; at++) {
        if (*at < '0' || *at > '9' || at - text >= 4)
            return false;
        value = value * 10 + (*at - '0');
    }
    if (value < 1 || value > max_pace_fps)
        return false;
    *parsed = PaceSetting{pace_fixed, value};
    return true;
}

void pace_configure(PaceSetting chosen) {
    setting = chosen;
    pace_reset();
}

static double display_rate(int slot) {
    double rate = slot >= 0 ? display_refresh_rate(slot) : 0;
    return rate > 0 ? rate : default_refresh_hz;
}

// The rate the frames follow now, in frames a second; 0 for frames back to back.
static double rate_now(int slot) {
    double top = 0;
    int steps = slower_steps;
    switch (setting.mode) {
    case pace_unlimited:
        if (steps == 0)
            return 0;
        top = display_rate(slot);
        steps--;
        break;
    case pace_display:
        top = display_rate(slot);
        break;
    case pace_fixed:
        top = setting.fps;
        break;
    }
    double rate = std::ldexp(top, -steps);
    return rate < 1 ? 1 : rate;
}

static int last_slot = -1; // the window whose display the keys' pace is measured against

double pace_rate() {
    return rate_now(last_slot);
}

bool pace_paused() {
    return paused;
}

void pace_key(PaceKey key) {
    switch (key) {
    case pace_key_pause:
        paused = !paused;
        step_asked = false;
        grid_valid = false;
        break;
    case pace_key_step:
        if (paused)
            step_asked = true;
        break;
    case pace_key_slower: {
        double rate = rate_now(last_slot);
        if (rate == 0 || rate > 1)
            slower_steps++;
        grid_valid = false;
        break;
    }
    case pace_key_faster:
        if (slower_steps > 0)
            slower_steps--;
        grid_valid = false;
        break;
    }
}

bool pace_waits_refresh(int slot) {
    return refresh_paced && !paused && setting.mode != pace_fixed && rate_now(slot) > 0;
}

// Says once, under SORVEL_VERBOSE, how the frames are paced, and again if the display's rate
// changes (the window moved to another display).
static void say_pace(int slot, double rate) {
    const char* verbose = getenv("SORVEL_VERBOSE");
    if (verbose == nullptr || verbose[0] == 0 || strcmp(verbose, "0") == 0)
        return;
    double display = display_refresh_rate(slot);
    if (said && display == said_display)
        return;
    said = true;
    said_display = display;
    if (setting.mode == pace_fixed)
        fprintf(stderr, "platform: frames paced by a steady timer at %d a second (--fps)\n",
                setting.fps);
    else if (display > 0)
        fprintf(stderr,
                "platform: frames paced by a steady timer at %g a second, the display's refresh "
                "rate (no vertical sync paces the window)\n",
                rate);
    else
        fprintf(stderr,
                "platform: frames paced by a steady timer at %g a second (the display does not "
                "say its refresh rate)\n",
                rate);
}

// Holds the program until the next frame after the one shown at `shown_us` is due.
static void hold(int slot, uint64_t shown_us) {
    int refreshes_waited = 0;
    display_pump_events();
    for (;;) {
        if (display_stop_pending(slot))
            return;
        if (paused) {
            if (step_asked) {
                step_asked = false;
                return;
            }
            wait_until(clock_now() + paused_wake_us);
            continue;
        }
        double rate = rate_now(slot);
        if (rate == 0)
            return;
        // Where the display waits for its own refresh, a frame at the display's rate waits for
        // exactly one; a slower pace keeps to the grid, in whole refreshes.
        bool by_refresh = refresh_paced && setting.mode != pace_fixed;
        if (by_refresh && rate >= display_rate(slot)) {
            wait_refresh(slot);
            return;
        }
        if (!grid_valid || rate != grid_rate) {
            // A new pace (or the first frame, or the end of a pause): the grid starts at this
            // frame.
            say_pace(slot, rate);
            grid_valid = true;
            grid_start_us = shown_us;
            grid_rate = rate;
        }
        // The next point of the grid after the time this frame was shown: a late frame is not
        // made up for. In whole nanoseconds, so that a frame shown at its due time is seen to be
        // at that point, not just before it. On the display's refreshes a frame is shown up to
        // half a refresh either side of its point: one shown just before it is at it.
        uint64_t interval_ns = static_cast<uint64_t>(std::llround(1e9 / rate));
        uint64_t slack_us =
            by_refresh ? static_cast<uint64_t>(std::llround(0.5e6 / display_rate(slot))) : 0;
        uint64_t next = (shown_us + slack_us - grid_start_us) * 1000 / interval_ns + 1;
        uint64_t due_us = grid_start_us + (next * interval_ns + 999) / 1000;
        uint64_t now = clock_now();
        if (by_refresh) {
            // The refresh nearest the due time, and never two frames on one refresh.
            if (refreshes_waited > 0 && now + slack_us >= due_us)
                return;
            wait_refresh(slot);
            refreshes_waited++;
            continue;
        }
        if (now >= due_us)
            return;
        wait_until(due_us);
    }
}

// A frame shown whose wait is left to the next poll of the queue (hold_at_poll).
static bool hold_pending;
static int pending_slot;
static uint64_t pending_shown_us;
static bool holding;

void pace_hold_at_poll(bool at_poll) {
    hold_at_poll = at_poll;
    hold_pending = false;
}

void pace_frame_shown(int slot) {
    last_slot = slot;
    if (!paused && rate_now(slot) == 0)
        return;
    uint64_t shown_us = clock_now();
    if (hold_at_poll) {
        hold_pending = true;
        pending_slot = slot;
        pending_shown_us = shown_us;
        return;
    }
    hold(slot, shown_us);
}

void pace_hold() {
    // The wait polls the queue itself: that poll finds the wait under way.
    if (!hold_pending || holding)
        return;
    hold_pending = false;
    holding = true;
    hold(pending_slot, pending_shown_us);
    holding = false;
}
