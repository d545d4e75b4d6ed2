// SDL's input turned into the messages Windows would deliver: keys through one table of
// scancodes, the window manager's close, minimize and restore, and the quit request; Alt+Enter
// and F11 switch full screen, and the pace's keys pause and step the frames, instead: they become
// no message.
#include <SDL.h>

#include "cycle.h"
#include "pace.h"
#include "platform_internal.h"
#include "sdl_internal.h"
#include "x11_target.h"

// Return pressed with Alt went to full screen: its release is not the program's either.
static bool return_taken;

// Each SDL scancode's Windows virtual-key code (by position, as VK codes are on a US layout) and
// whether Windows flags the key as extended (bit 24 of lParam: the keys outside the original
// keyboard). A row maps `count` consecutive scancodes to consecutive codes; scancodes of no row
// have no code and their keys are dropped.
struct KeyRow {
    SDL_Scancode first;
    int count;
    uint8_t vk;
    bool extended;
};

static const KeyRow key_rows[] = {
    {SDL_SCANCODE_A, 26, 'A', false},
    {SDL_SCANCODE_1, 9, '1', false},
    {SDL_SCANCODE_0, 1, '0', false},
    {SDL_SCANCODE_F1, 12, VK_F1, false},
    {SDL_SCANCODE_KP_1, 9, VK_NUMPAD0 + 1, false},
    {SDL_SCANCODE_KP_0, 1, VK_NUMPAD0, false},
    {SDL_SCANCODE_RETURN, 1, VK_RETURN, false},
    {SDL_SCANCODE_KP_ENTER, 1, VK_RETURN, true},
    {SDL_SCANCODE_ESCAPE, 1, VK_ESCAPE, false},
    {SDL_SCANCODE_BACKSPACE, 1, VK_BACK, false},
    {SDL_SCANCODE_TAB, 1, VK_TAB, false},
    {SDL_SCANCODE_SPACE, 1, VK_SPACE, false},
    {SDL_SCANCODE_LEFT, 1, VK_LEFT, true},
    {SDL_SCANCODE_UP, 1, VK_UP, true},
    {SDL_SCANCODE_RIGHT, 1, VK_RIGHT, true},
    {SDL_SCANCODE_DOWN, 1, VK_DOWN, true},
    {SDL_SCANCODE_LSHIFT, 1, VK_SHIFT, false},
    {SDL_SCANCODE_RSHIFT, 1, VK_SHIFT, false},
    {SDL_SCANCODE_LCTRL, 1, VK_CONTROL, false},
    {SDL_SCANCODE_RCTRL, 1, VK_CONTROL, true},
    {SDL_SCANCODE_LALT, 1, VK_MENU, false},
    {SDL_SCANCODE_RALT, 1, VK_MENU, true},
    {SDL_SCANCODE_LGUI, 1, VK_LWIN, false},
    {SDL_SCANCODE_RGUI, 1, VK_RWIN, false},
    {SDL_SCANCODE_APPLICATION, 1, VK_APPS, false},
    {SDL_SCANCODE_PAUSE, 1, VK_PAUSE, false},
    {SDL_SCANCODE_CAPSLOCK, 1, VK_CAPITAL, false},
    {SDL_SCANCODE_PAGEUP, 1, VK_PRIOR, true},
    {SDL_SCANCODE_PAGEDOWN, 1, VK_NEXT, true},
    {SDL_SCANCODE_END, 1, VK_END, true},
    {SDL_SCANCODE_HOME, 1, VK_HOME, true},
    {SDL_SCANCODE_PRINTSCREEN, 1, VK_SNAPSHOT, false},
    {SDL_SCANCODE_INSERT, 1, VK_INSERT, true},
    {SDL_SCANCODE_DELETE, 1, VK_DELETE, true},
    {SDL_SCANCODE_KP_MULTIPLY, 1, VK_MULTIPLY, false},
    {SDL_SCANCODE_KP_PLUS, 1, VK_ADD, false},
    {SDL_SCANCODE_KP_MINUS, 1, VK_SUBTRACT, false},
    {SDL_SCANCODE_KP_PERIOD, 1, VK_DECIMAL, false},
    {SDL_SCANCODE_KP_DIVIDE, 1, VK_DIVIDE, true},
    {SDL_SCANCODE_NUMLOCKCLEAR, 1, VK_NUMLOCK, false},
    {SDL_SCANCODE_SCROLLLOCK, 1, VK_SCROLL, false},
    {SDL_SCANCODE_SEMICOLON, 1, VK_OEM_1, false},
    {SDL_SCANCODE_EQUALS, 1, VK_OEM_PLUS, false},
    {SDL_SCANCODE_COMMA, 1, VK_OEM_COMMA, false},
    {SDL_SCANCODE_MINUS, 1, VK_OEM_MINUS, false},
    {SDL_SCANCODE_PERIOD, 1, VK_OEM_PERIOD, false},
    {SDL_SCANCODE_SLASH, 1, VK_OEM_2, false},
    {SDL_SCANCODE_GRAVE, 1, VK_OEM_3, false},
    {SDL_SCANCODE_LEFTBRACKET, 1, VK_OEM_4, false},
    {SDL_SCANCODE_BACKSLASH, 1, VK_OEM_5, false},
    {SDL_SCANCODE_RIGHTBRACKET, 1, VK_OEM_6, false},
    {SDL_SCANCODE_APOSTROPHE, 1, VK_OEM_7, false},
};

// The row of `code`, or null for a key without a code.
static const KeyRow* key_row(SDL_Scancode code) {
    for (const KeyRow& row : key_rows)
        if (code >= row.first && code < row.first + row.count)
            return &row;
    return nullptr;
}

// Alt+Enter and F11 switch full screen and are not the program's keys: true if the event was one
// of theirs (press, repeat or release), which is then taken here.
static bool take_fullscreen_key(const SDL_KeyboardEvent& key) {
    SDL_Scancode code = key.keysym.scancode;
    bool down = key.type == SDL_KEYDOWN;
    bool alt = (key.keysym.mod & KMOD_ALT) != 0 && (key.keysym.mod & KMOD_CTRL) == 0;
    bool enter = code == SDL_SCANCODE_RETURN || code == SDL_SCANCODE_KP_ENTER;
    bool toggles = code == SDL_SCANCODE_F11 || (enter && alt && down);
    if (enter && !down && return_taken) {
        return_taken = false;
        return true;
    }
    if (!toggles)
        return false;
    if (enter)
        return_taken = true;
    int slot = window_slot(sdl_window_of(key.windowID));
    if (down && key.repeat == 0 && slot >= 0)
        sdl_toggle_fullscreen(slot);
    return true;
}

// The pace's keys (P and Pause, period, minus, equals and the keypad's plus and minus) are the
// platform's, whatever the modifiers: true if the event was one of theirs, which is then taken
// here.
static bool take_pace_key(const SDL_KeyboardEvent& key) {
    PaceKey pace;
    switch (key.keysym.scancode) {
    case SDL_SCANCODE_P:
    case SDL_SCANCODE_PAUSE:
        pace = pace_key_pause;
        break;
    case SDL_SCANCODE_PERIOD:
        pace = pace_key_step;
        break;
    case SDL_SCANCODE_MINUS:
    case SDL_SCANCODE_KP_MINUS:
        pace = pace_key_slower;
        break;
    case SDL_SCANCODE_EQUALS:
    case SDL_SCANCODE_KP_PLUS:
        pace = pace_key_faster;
        break;
    default:
        return false;
    }
    // A held period steps on with the key's repeats; the other keys act once per press.
    if (key.type == SDL_KEYDOWN && (key.repeat == 0 || pace == pace_key_step))
        pace_key(pace);
    return true;
}

static void take_key(const SDL_KeyboardEvent& key) {
    if (take_fullscreen_key(key) || take_pace_key(key))
        return;
    const KeyRow* row = key_row(key.keysym.scancode);
    if (row == nullptr)
        return;
    post_key(sdl_window_of(key.windowID), row->vk + (key.keysym.scancode - row->first),
             key.type == SDL_KEYDOWN, key.repeat != 0, (key.keysym.mod & KMOD_ALT) != 0,
             (key.keysym.mod & KMOD_CTRL) != 0, row->extended);
}

static void take_window_event(const SDL_WindowEvent& event) {
    HWND window = sdl_window_of(event.windowID);
    if (window == nullptr)
        return;
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
        // The close button, or Alt+F4 handled by the window manager.
        queue_post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        window_set_iconic(window, true);
        send_message(window, WM_SIZE, SIZE_MINIMIZED, 0);
        break;
    case SDL_WINDOWEVENT_RESTORED: {
        window_set_iconic(window, false);
        RECT client;
        GetClientRect(window, &client);
        send_message(window, WM_SIZE, SIZE_RESTORED,
                     static_cast<LPARAM>((client.bottom << 16) | (client.right & 0xFFFF)));
        break;
    }
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_EXPOSED:
        // A new framebuffer (full screen, or back) gets the picture at once, on black.
        sdl_framebuffer_changed(window_slot(window));
        break;
    default:
        break;
    }
}

// --cycle: Space pressed and released for the program's first window when the period is up.
static void press_space_when_due() {
    if (!cycle_due())
        return;
    for (int slot = 0; slot < max_windows; slot++) {
        if (HWND window = window_in_slot(slot)) {
            post_key(window, VK_SPACE, true, false, false, false, false);
            post_key(window, VK_SPACE, false, false, false, false, false);
            return;
        }
    }
}

// Moves SDL's pending events (and the stop signals, the events of an X window the picture is
// drawn into, and the --cycle presses) into the queue, leaving room for one WM_CLOSE per window so
// that a quit request always fits.
void display_pump_events() {
    stop_signals_take();
    x11_target_pump();
    if (queue_room() > max_windows + 2)
        press_space_when_due();
    if (!sdl_video_started())
        return;
    SDL_Event event;
    while (queue_room() > max_windows && SDL_PollEvent(&event) != 0) {
        switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            take_key(event.key);
            break;
        case SDL_WINDOWEVENT:
            take_window_event(event.window);
            break;
        case SDL_MOUSEMOTION:
            if (int slot = window_slot(sdl_window_of(event.motion.windowID)); slot >= 0)
                sdl_pointer_moved(slot, event.motion.x, event.motion.y);
            break;
        case SDL_RENDER_DEVICE_RESET:
            sdl_gpu_device_reset();
            break;
        case SDL_QUIT:
            // A quit request (the last window closed) closes every window the way its close
            // button would, so the program's loop ends as it normally does.
            post_close_to_every_window();
            break;
        default:
            break;
        }
    }
}
