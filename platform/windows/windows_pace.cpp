// The pace's clock, waits and refresh rate on Windows (pace.h: the grid, the pause and the keys
// are shared with the other backends). After a frame has reached the window, the program is held
// inside its BitBlt until the next frame is due. The wait is the compositor's own (DwmFlush, which
// returns after the next composition) where a few calls at start-up are measured to wait;
// elsewhere (no composition, or Wine, whose DwmFlush returns at once) a high-resolution waitable
// timer at the monitor's refresh rate. Either way it never spins, and the timer's wait wakes on
// input (MsgWaitForMultipleObjects) so that Escape and a close answer within a frame. Messages
// are looked at, not taken: they are the program's. Only while paused, when the program polls
// nothing, does the wait dispatch them itself (its key presses excepted, held_keys).
#include <cstdio>

#include "cycle.h"
#include "pace.h"
#include "windows_backend.h"

static LARGE_INTEGER counter_frequency;
static HANDLE wait_timer;
static bool refresh_waits;   // DwmFlush waits for the compositor here
static double flush_wait_us; // what the measured calls of DwmFlush took, the middle one
static bool high_resolution; // the timer is Windows 10's high-resolution one
static bool path_said;

uint64_t display_clock_us() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint64_t count = static_cast<uint64_t>(now.QuadPart);
    uint64_t frequency = static_cast<uint64_t>(counter_frequency.QuadPart);
    return count / frequency * 1000000u + count % frequency * 1000000u / frequency;
}

// Times a few calls of DwmFlush: it waits for the compositor's next frame only where one
// composes, and returns at once (or fails) where none does.
static void measure_refresh_wait() {
    if (system_calls.dwm_flush == nullptr)
        return;
    constexpr int calls = 5;
    double took[calls];
    for (int i = 0; i < calls; i++) {
        uint64_t before = display_clock_us();
        HRESULT result = system_calls.dwm_flush();
        took[i] = FAILED(result) ? 0 : static_cast<double>(display_clock_us() - before);
    }
    // The middle of the five, in order: one slow or early call does not decide.
    for (int i = 1; i < calls; i++)
        for (int j = i; j > 0 && took[j] < took[j - 1]; j--) {
            double swap = took[j];
            took[j] = took[j - 1];
            took[j - 1] = swap;
        }
    flush_wait_us = took[calls / 2];
    // A refresh of even 240 Hz takes over 4 ms; a call that does not wait, microseconds.
    refresh_waits = flush_wait_us >= 2000;
}

void pace_start() {
    QueryPerformanceFrequency(&counter_frequency);
    if (system_calls.create_waitable_timer_ex != nullptr)
        wait_timer = system_calls.create_waitable_timer_ex(
            nullptr, nullptr, create_waitable_timer_high_resolution, TIMER_ALL_ACCESS);
    high_resolution = wait_timer != nullptr;
    if (wait_timer == nullptr) {
        // Before Windows 10 1803: a plain timer, on the system's tick made 1 ms.
        wait_timer = CreateWaitableTimerA(nullptr, FALSE, nullptr);
        timeBeginPeriod(1);
    }
    measure_refresh_wait();
    pace_use_refresh_wait(refresh_waits);
}

// Says once, under SORVEL_VERBOSE, which wait paces the frames.
static void say_path(int slot) {
    path_said = true;
    const char* verbose = getenv("SORVEL_VERBOSE");
    if (verbose == nullptr || verbose[0] == 0 || strcmp(verbose, "0") == 0 || pace_rate() == 0)
        return;
    const char* timer_kind = high_resolution ? "high-resolution" : "1 ms";
    double rate = display_refresh_rate(slot);
    char text[256];
    if (refresh_waits)
        snprintf(text, sizeof(text),
                 "frames paced by the compositor's vertical sync (DwmFlush waited %.1f ms) at "
                 "the display's %g Hz",
                 flush_wait_us / 1000, rate > 0 ? rate : default_refresh_hz);
    else if (system_calls.dwm_flush == nullptr)
        snprintf(text, sizeof(text),
                 "frames paced by a %s waitable timer (no compositor: dwmapi is missing)",
                 timer_kind);
    else
        snprintf(text, sizeof(text),
                 "frames paced by a %s waitable timer: DwmFlush returned after %.0f us, "
                 "without waiting for a refresh, so the compositor's vertical sync is not used",
                 timer_kind, flush_wait_us);
    windows_say(text);
}

// True for a message that ends the program or its window: the pace holds nothing back then.
static bool is_stop(const MSG& message) {
    switch (message.message) {
    case WM_QUIT:
    case WM_CLOSE:
        return true;
    case WM_KEYDOWN:
        return message.wParam == VK_ESCAPE;
    case WM_SYSCOMMAND:
        return (message.wParam & 0xFFF0) == SC_CLOSE;
    default:
        return false;
    }
}

bool display_stop_pending(int slot) {
    HWND window = slot >= 0 && slot < max_shown_windows ? shown_windows[slot].window : nullptr;
    if (window == nullptr || !IsWindow(window) || saver_stop_pending())
        return true;
    // The first message of each kind that can stop: they are looked at, never taken.
    static const UINT kinds[] = {WM_QUIT, WM_KEYDOWN, WM_CLOSE, WM_SYSCOMMAND};
    MSG message;
    for (UINT kind : kinds)
        if (PeekMessageA(&message, nullptr, kind, kind, PM_NOREMOVE | PM_NOYIELD) &&
            is_stop(message))
            return true;
    return false;
}

// While paused the program polls nothing: the wait does with each message what the program's
// poll would do (translate and dispatch), so the window moves, repaints, goes full screen and
// takes the pace's keys. Key presses for the program wait in held_keys; a stop is left at the
// head of the queue for the program, and ends the wait.
static void serve_queue_while_paused() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (is_stop(message))
            return;
        if (!PeekMessageA(&message, message.hwnd, message.message, message.message, PM_REMOVE))
            return;
        bool ours = message.message != WM_KEYDOWN || message.wParam == VK_F11 ||
                    pace_take_virtual_key(static_cast<int>(message.wParam), false, false);
        if (!ours) {
            held_keys_add(message.hwnd, message.wParam, message.lParam);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void display_pump_events() {
    if (pace_paused())
        serve_queue_while_paused();
}

void display_wait_until(uint64_t until_us) {
    uint64_t now = display_clock_us();
    if (until_us > now) {
        // Relative, in units of 100 ns; any input wakes the wait before it is due.
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>((until_us - now) * 10);
        if (wait_timer != nullptr && SetWaitableTimer(wait_timer, &due, 0, nullptr, nullptr, FALSE))
            MsgWaitForMultipleObjects(1, &wait_timer, FALSE, INFINITE, QS_ALLINPUT);
        else
            MsgWaitForMultipleObjects(
                0, nullptr, FALSE, static_cast<DWORD>((until_us - now + 999) / 1000), QS_ALLINPUT);
    }
    display_pump_events();
}

void display_wait_refresh(int) {
    if (system_calls.dwm_flush != nullptr)
        system_calls.dwm_flush();
    display_pump_events();
}

double refresh_rate_of_frequency(DWORD frequency) {
    return frequency > 1 ? static_cast<double>(frequency) : 0;
}

double refresh_rate_of_monitor(HMONITOR monitor) {
    MONITORINFOEXA info = {};
    info.cbSize = sizeof(info);
    if (monitor == nullptr || !GetMonitorInfoA(monitor, &info))
        return 0;
    DEVMODEA mode = {};
    mode.dmSize = sizeof(mode);
    if (!EnumDisplaySettingsA(info.szDevice, ENUM_CURRENT_SETTINGS, &mode))
        return 0;
    return refresh_rate_of_frequency(mode.dmDisplayFrequency);
}

double display_refresh_rate(int slot) {
    if (slot < 0 || slot >= max_shown_windows || shown_windows[slot].window == nullptr)
        return 0;
    ShownWindow& row = shown_windows[slot];
    // Read again only when the window has moved or the display's mode changed.
    if (!row.refresh_known) {
        row.refresh_hz =
            refresh_rate_of_monitor(MonitorFromWindow(row.window, MONITOR_DEFAULTTONEAREST));
        row.refresh_known = true;
    }
    return row.refresh_hz;
}

// --cycle: Space pressed and released for the program when the period is up, marked as the
// backend's own press (cycle_key_marker).
static void press_space_when_due(HWND window) {
    if (!cycle_due())
        return;
    constexpr LPARAM space_down = 0x00390001 | cycle_key_marker; // scan code 0x39, once
    constexpr LPARAM space_up = static_cast<LPARAM>(0xC0390001u) | cycle_key_marker;
    PostMessageA(window, WM_KEYDOWN, VK_SPACE, space_down);
    PostMessageA(window, WM_KEYUP, VK_SPACE, space_up);
}

void windows_frame_shown(int slot) {
    if (!path_said)
        say_path(slot);
    HWND window = shown_windows[slot].window;
    saver_frame_shown(window);
    pace_frame_shown(slot);
    press_space_when_due(window);
    if (held_keys_count() == 0)
        return;
    // The pause has let a frame through: the keys go back to the program, unless it is about to
    // end anyway (and they would only stand before its Escape in the queue).
    if (display_stop_pending(slot))
        held_keys_forget();
    else
        held_keys_release();
}
