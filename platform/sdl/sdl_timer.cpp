// The multimedia timer's millisecond counter, Sleep, and the pace's microsecond clock, on the
// monotonic clock.
#include <ctime>

#include <cerrno>

#include "pace.h"
#include "platform_internal.h"

static DWORD time_offset_ms;
static DWORD (*test_clock)();

void platform_set_clock(DWORD (*clock)()) {
    test_clock = clock;
}

void platform_set_time_offset(DWORD offset_ms) {
    time_offset_ms = offset_ms;
}

DWORD timeGetTime() {
    if (test_clock != nullptr)
        return test_clock();
    // CLOCK_MONOTONIC counts from system start; the DWORD keeps the low 32 bits, so the count
    // wraps to 0 after 2^32 ms (49.7 days), as on Windows.
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms + time_offset_ms);
}

uint64_t display_clock_us() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void Sleep(DWORD milliseconds) {
    timespec wait;
    wait.tv_sec = static_cast<time_t>(milliseconds / 1000);
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    // A signal cuts nanosleep short; sleep on for what is left.
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}
