#include "shell.h"

#include "fireworks.h"

int32_t screen_width;
int32_t screen_height;
uint32_t frame_interval_ms;

void init_settings() {
    screen_width = picture_width;
    screen_height = picture_height;
    frame_interval_ms = 0;
}

// Waits until frame_interval_ms have passed since last_frame_time, taking the queue's messages
// meanwhile. Returns false when one of them asks to stop, so that the stop is not lost.
static bool wait_for_frame_interval(HWND main_window, DWORD last_frame_time) {
    // Time differences are unsigned, so the counter's wrap after 2^32 ms stalls nothing.
    while (timeGetTime() - last_frame_time < frame_interval_ms) {
        if (pump_messages(main_window) == 0)
            return false;
    }
    return true;
}

int app_main(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    init_settings();
    HWND main_window = create_main_window(instance, screen_width, screen_height);
    HDC window_dc = GetDC(main_window);

    DWORD last_frame_time = 0;
    int32_t frames_counted = 0;
    DWORD last_title_time = 0;
    char title_format[100];
    char title_text[100];
    lstrcpyA(title_format, app_title);
    lstrcatA(title_format, "- %dFPS Prop- %d");

    effect_init(instance);
    for (;;) {
        if (pump_messages(main_window) == 0)
            break;
        if (effect_render(window_dc))
            break;
        if (!wait_for_frame_interval(main_window, last_frame_time))
            break;
        last_frame_time = timeGetTime();
        frames_counted++;
        if (timeGetTime() - last_title_time >= 1000) {
            wsprintfA(title_text, title_format, frames_counted, decay);
            SetWindowTextA(main_window, title_text);
            last_title_time = timeGetTime();
            frames_counted = 0;
        }
    }
    effect_shutdown();
    // Without a window no frame was shown: the run failed, whatever the effect did.
    return main_window != nullptr ? 0 : exit_no_window;
}
