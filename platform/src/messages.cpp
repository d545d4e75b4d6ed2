// The thread's one message queue: a fixed ring of posted messages, fed from SDL's events each
// time it is peeked, plus the quit flag that PostQuitMessage raises.
#include <SDL.h>

#include "platform_internal.h"

constexpr int queue_capacity = 1024;

static MSG queue[queue_capacity];
static int queue_head;
static int queue_count;
static bool quit_pending;
static WPARAM quit_code;

static bool said_window_filter;
static bool said_broadcast;
static bool said_remove_flags;

static MSG& queued(int position) {
    return queue[(queue_head + position) % queue_capacity];
}

static bool queue_post(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (queue_count == queue_capacity)
        return false;
    MSG& msg = queued(queue_count);
    msg = MSG{window, message, wparam, lparam, timeGetTime(), POINT{0, 0}};
    queue_count++;
    return true;
}

static void queue_remove(int position) {
    if (position == 0) {
        queue_head = (queue_head + 1) % queue_capacity;
    } else {
        // Later messages move up by one, keeping their order.
        for (int i = position; i + 1 < queue_count; i++)
            queued(i) = queued(i + 1);
    }
    queue_count--;
}

// Windows virtual-key code of an SDL scancode (positions, as VK codes are on a US layout); 0 for
// keys without one.
static int virtual_key(SDL_Scancode code) {
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z)
        return 'A' + (code - SDL_SCANCODE_A);
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_9)
        return '1' + (code - SDL_SCANCODE_1);
    if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F12)
        return VK_F1 + (code - SDL_SCANCODE_F1);
    if (code >= SDL_SCANCODE_KP_1 && code <= SDL_SCANCODE_KP_9)
        return VK_NUMPAD0 + 1 + (code - SDL_SCANCODE_KP_1);
    switch (code) {
    case SDL_SCANCODE_0:
        return '0';
    case SDL_SCANCODE_KP_0:
        return VK_NUMPAD0;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
        return VK_RETURN;
    case SDL_SCANCODE_ESCAPE:
        return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE:
        return VK_BACK;
    case SDL_SCANCODE_TAB:
        return VK_TAB;
    case SDL_SCANCODE_SPACE:
        return VK_SPACE;
    case SDL_SCANCODE_LEFT:
        return VK_LEFT;
    case SDL_SCANCODE_UP:
        return VK_UP;
    case SDL_SCANCODE_RIGHT:
        return VK_RIGHT;
    case SDL_SCANCODE_DOWN:
        return VK_DOWN;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT:
        return VK_SHIFT;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL:
        return VK_CONTROL;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT:
        return VK_MENU;
    case SDL_SCANCODE_LGUI:
        return VK_LWIN;
    case SDL_SCANCODE_RGUI:
        return VK_RWIN;
    case SDL_SCANCODE_APPLICATION:
        return VK_APPS;
    case SDL_SCANCODE_PAUSE:
        return VK_PAUSE;
    case SDL_SCANCODE_CAPSLOCK:
        return VK_CAPITAL;
    case SDL_SCANCODE_PAGEUP:
        return VK_PRIOR;
    case SDL_SCANCODE_PAGEDOWN:
        return VK_NEXT;
    case SDL_SCANCODE_END:
        return VK_END;
    case SDL_SCANCODE_HOME:
        return VK_HOME;
    case SDL_SCANCODE_PRINTSCREEN:
        return VK_SNAPSHOT;
    case SDL_SCANCODE_INSERT:
        return VK_INSERT;
    case SDL_SCANCODE_DELETE:
        return VK_DELETE;
    case SDL_SCANCODE_KP_MULTIPLY:
        return VK_MULTIPLY;
    case SDL_SCANCODE_KP_PLUS:
        return VK_ADD;
    case SDL_SCANCODE_KP_MINUS:
        return VK_SUBTRACT;
    case SDL_SCANCODE_KP_PERIOD:
        return VK_DECIMAL;
    case SDL_SCANCODE_KP_DIVIDE:
        return VK_DIVIDE;
    case SDL_SCANCODE_NUMLOCKCLEAR:
        return VK_NUMLOCK;
    case SDL_SCANCODE_SCROLLLOCK:
        return VK_SCROLL;
    case SDL_SCANCODE_SEMICOLON:
        return VK_OEM_1;
    case SDL_SCANCODE_EQUALS:
        return VK_OEM_PLUS;
    case SDL_SCANCODE_COMMA:
        return VK_OEM_COMMA;
    case SDL_SCANCODE_MINUS:
        return VK_OEM_MINUS;
    case SDL_SCANCODE_PERIOD:
        return VK_OEM_PERIOD;
    case SDL_SCANCODE_SLASH:
        return VK_OEM_2;
    case SDL_SCANCODE_GRAVE:
        return VK_OEM_3;
    case SDL_SCANCODE_LEFTBRACKET:
        return VK_OEM_4;
    case SDL_SCANCODE_BACKSLASH:
        return VK_OEM_5;
    case SDL_SCANCODE_RIGHTBRACKET:
        return VK_OEM_6;
    case SDL_SCANCODE_APOSTROPHE:
        return VK_OEM_7;
    default:
        return 0;
    }
}

// Keys that Windows flags as extended (bit 24 of lParam): the ones outside the original keyboard.
static bool extended_key(SDL_Scancode code) {
    switch (code) {
    case SDL_SCANCODE_LEFT:
    case SDL_SCANCODE_UP:
    case SDL_SCANCODE_RIGHT:
    case SDL_SCANCODE_DOWN:
    case SDL_SCANCODE_INSERT:
    case SDL_SCANCODE_DELETE:
    case SDL_SCANCODE_HOME:
    case SDL_SCANCODE_END:
    case SDL_SCANCODE_PAGEUP:
    case SDL_SCANCODE_PAGEDOWN:
    case SDL_SCANCODE_RCTRL:
    case SDL_SCANCODE_RALT:
    case SDL_SCANCODE_KP_ENTER:
    case SDL_SCANCODE_KP_DIVIDE:
        return true;
    default:
        return false;
    }
}

// A key press or release becomes WM_KEYDOWN/WM_KEYUP, or WM_SYSKEYDOWN/WM_SYSKEYUP when Alt is
// held without Ctrl (or the key is Alt itself, or F10). lParam: repeat count 1, extended key in
// bit 24, Alt held in bit 29, key already down in bit 30, key being released in bit 31.
static void post_key(const SDL_KeyboardEvent& key) {
    int vk = virtual_key(key.keysym.scancode);
    if (vk == 0)
        return;
    bool down = key.type == SDL_KEYDOWN;
    bool alt = (key.keysym.mod & KMOD_ALT) != 0 || (down && vk == VK_MENU);
    bool ctrl = (key.keysym.mod & KMOD_CTRL) != 0;
    bool system = ((alt || vk == VK_MENU) && !ctrl) || vk == VK_F10;
    LPARAM lparam = 1;
    if (extended_key(key.keysym.scancode))
        lparam |= LPARAM{1} << 24;
    if (alt && !ctrl)
        lparam |= LPARAM{1} << 29;
    if (!down || key.repeat != 0)
        lparam |= LPARAM{1} << 30;
    if (!down)
        lparam |= static_cast<LPARAM>(DWORD{1} << 31);
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    queue_post(window_from_sdl_id(key.windowID), message, static_cast<WPARAM>(vk), lparam);
}

static void take_window_event(const SDL_WindowEvent& event) {
    HWND window = window_from_sdl_id(event.windowID);
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
    default:
        break;
    }
}

// Moves SDL's pending events into the queue, leaving room for one WM_CLOSE per window so that a
// quit request always fits.
static void pump_sdl_events() {
    if (!video_started())
        return;
    SDL_Event event;
    while (queue_count < queue_capacity - max_windows && SDL_PollEvent(&event) != 0) {
        switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            post_key(event.key);
            break;
        case SDL_WINDOWEVENT:
            take_window_event(event.window);
            break;
        case SDL_QUIT:
            // A quit request (a signal, or the last window closed) closes every window the way
            // its close button would, so the program's loop ends as it normally does.
            for (int slot = 0; slot < max_windows; slot++)
                if (HWND window = window_in_slot(slot))
                    queue_post(window, WM_CLOSE, 0, 0);
            break;
        default:
            break;
        }
    }
}

static bool in_range(UINT message, UINT filter_min, UINT filter_max) {
    if (filter_min == 0 && filter_max == 0)
        return true;
    return message >= filter_min && message <= filter_max;
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filter_min, UINT filter_max, UINT remove) {
    if (msg == nullptr)
        return FALSE;
    if (window != nullptr)
        say_once(&said_window_filter, "PeekMessageA: the window filter is ignored");
    if ((remove & ~UINT{PM_REMOVE | 0x0002}) != 0) // PM_NOYIELD (2) changes nothing here
        say_once(&said_remove_flags, "PeekMessageA: only PM_REMOVE and PM_NOREMOVE are supported");
    pump_sdl_events();
    for (int i = 0; i < queue_count; i++) {
        if (!in_range(queued(i).message, filter_min, filter_max))
            continue;
        *msg = queued(i);
        if ((remove & PM_REMOVE) != 0)
            queue_remove(i);
        return TRUE;
    }
    // The quit flag is seen only once no posted message is left, whatever the range.
    if (quit_pending) {
        *msg = MSG{nullptr, WM_QUIT, quit_code, 0, timeGetTime(), POINT{0, 0}};
        if ((remove & PM_REMOVE) != 0)
            quit_pending = false;
        return TRUE;
    }
    return FALSE;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (reinterpret_cast<uintptr_t>(window) == 0xFFFF) {
        say_once(&said_broadcast, "PostMessageA: broadcasting is not supported");
        return FALSE;
    }
    if (window != nullptr && !IsWindow(window))
        return FALSE;
    return queue_post(window, message, wparam, lparam) ? TRUE : FALSE;
}

void PostQuitMessage(int exit_code) {
    quit_pending = true;
    quit_code = static_cast<WPARAM>(exit_code);
}

BOOL TranslateMessage(const MSG* msg) {
    // No WM_CHAR is made; the answer says whether the message was a key message.
    if (msg == nullptr)
        return FALSE;
    switch (msg->message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT DispatchMessageA(const MSG* msg) {
    // Messages for the thread itself (no window) and for windows gone since are not delivered.
    if (msg == nullptr || msg->hwnd == nullptr)
        return 0;
    return send_message(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}
