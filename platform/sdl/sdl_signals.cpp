// SIGTERM, SIGINT and SIGHUP end the program as a closed window would, in every place its
// picture goes: a screen saver stops its hack with SIGTERM many times a day, a terminal sends
// SIGINT and SIGHUP. The handler only notes the signal; the pump of the input turns it into
// WM_CLOSE for every window, so the program's loop ends as it always does, with the program's
// own exit code, within a frame (the pace's wait pumps the input every few milliseconds). SDL is
// told to leave these signals alone, so that every mode takes the same road.
#include <SDL.h>

#include <csignal>

#include "sdl_display.h"
#include "sdl_internal.h"

static volatile sig_atomic_t stop_signal;

static void note_stop_signal(int) {
    stop_signal = 1;
}

void stop_signals_install() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction action = {};
    action.sa_handler = note_stop_signal;
    sigemptyset(&action.sa_mask);
    // A second signal, should the first not end the program, ends it the default way.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

void post_close_to_every_window() {
    for (int slot = 0; slot < max_windows; slot++)
        if (HWND window = window_in_slot(slot))
            queue_post(window, WM_CLOSE, 0, 0);
}

void stop_signals_take() {
    if (stop_signal == 0)
        return;
    // A signal that came before any window was made is kept for the first one.
    for (int slot = 0; slot < max_windows; slot++) {
        if (window_in_slot(slot) != nullptr) {
            stop_signal = 0;
            post_close_to_every_window();
            return;
        }
    }
}
