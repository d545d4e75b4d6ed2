// The --cycle timer: when the platform presses Space for the program.
#include "cycle.h"

#include <cstdint>

#include "pace.h"

static uint64_t period_us;
static bool started;
static uint64_t due_us;
static bool paused;
static uint64_t left_at_pause_us; // what was left of the period when the frames were paused

void cycle_configure(int seconds) {
    period_us = seconds > 0 ? static_cast<uint64_t>(seconds) * 1000000u : 0;
    started = false;
    paused = false;
}

bool cycle_due() {
    if (period_us == 0)
        return false;
    uint64_t now = pace_clock_us();
    if (!started) {
        started = true;
        due_us = now + period_us;
    }
    if (pace_paused()) {
        if (!paused)
            left_at_pause_us = due_us > now ? due_us - now : 0;
        paused = true;
        return false;
    }
    if (paused) {
        paused = false;
        due_us = now + left_at_pause_us;
    }
    if (now < due_us)
        return false;
    due_us += period_us;
    // Behind by more than a period: one press now, the next a whole period on.
    if (due_us <= now)
        due_us = now + period_us;
    return true;
}
