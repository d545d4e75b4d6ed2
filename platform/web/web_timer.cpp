// The multimedia timer's millisecond counter and Sleep, in the browser or Node.js.
#include <emscripten.h>

#include "pace.h"
#include "platform_internal.h"

static DWORD time_offset_ms;

void platform_set_time_offset(DWORD offset_ms) {
    time_offset_ms = offset_ms;
}

DWORD timeGetTime() {
    // performance.now(): milliseconds since the page (or Node.js) started. The DWORD keeps the
    // low 32 bits, so the count wraps to 0 after 2^32 ms, as on Windows.
    uint64_t ms = static_cast<uint64_t>(emscripten_get_now());
    return static_cast<DWORD>(ms + time_offset_ms);
}

uint64_t display_clock_us() {
    return static_cast<uint64_t>(emscripten_get_now() * 1000.0);
}

void Sleep(DWORD milliseconds) {
    // The browser has the thread meanwhile (ASYNCIFY), so the page stays responsive.
    emscripten_sleep(milliseconds);
}
