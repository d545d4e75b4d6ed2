// The key presses that arrive while the program is held paused. The program is inside its block
// transfer then and polls nothing, so the pace's wait keeps the window alive by dispatching its
// messages; but a key press is the program's to take, one a frame: it waits here, in order, and
// goes back to the program's queue when the pause lets a frame through.
#include "windows_backend.h"

struct HeldKey {
    HWND window;
    WPARAM key;
    LPARAM details;
};

static HeldKey held[max_held_keys];
static int held_count;

bool held_keys_add(HWND window, WPARAM key, LPARAM details) {
    if (held_count == max_held_keys)
        return false;
    held[held_count++] = HeldKey{window, key, details};
    return true;
}

int held_keys_count() {
    return held_count;
}

void held_keys_release() {
    for (int i = 0; i < held_count; i++) {
        const HeldKey& press = held[i];
        // A window closed meanwhile takes nothing; the press goes to the thread, as the program
        // takes keys whatever window they are for.
        HWND window = press.window != nullptr && IsWindow(press.window) ? press.window : nullptr;
        PostMessageA(window, WM_KEYDOWN, press.key, press.details);
    }
    held_count = 0;
}

void held_keys_forget() {
    held_count = 0;
}
