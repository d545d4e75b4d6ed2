// The thread's one message queue: a fixed ring of posted messages, fed from the display's input
// each time it is peeked, plus the quit flag that PostQuitMessage raises.
#include "platform_internal.h"

constexpr int queue_capacity = 1024;

static MSG queue[queue_capacity];
static int queue_head;
static int queue_count;
static bool quit_pending;
static WPARAM quit_code;

static MSG& queued(int position) {
    return queue[(queue_head + position) % queue_capacity];
}

bool queue_post(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (queue_count == queue_capacity)
        return false;
    MSG& msg = queued(queue_count);
    msg = MSG{window, message, wparam, lparam, timeGetTime(), POINT{0, 0}};
    queue_count++;
    return true;
}

int queue_room() {
    return queue_capacity - queue_count;
}

bool queue_holds_stop() {
    if (quit_pending)
        return true;
    for (int i = 0; i < queue_count; i++) {
        const MSG& msg = queued(i);
        if ((msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) || msg.message == WM_CLOSE ||
            (msg.message == WM_SYSCOMMAND && msg.wParam == SC_CLOSE))
            return true;
    }
    return false;
}

bool display_stop_pending(int slot) {
    return window_in_slot(slot) == nullptr || queue_holds_stop();
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

// A key press or release becomes WM_KEYDOWN/WM_KEYUP, or WM_SYSKEYDOWN/WM_SYSKEYUP when Alt is
// held without Ctrl (or the key is Alt itself, or F10).
void post_key(HWND window, int vk, bool down, bool repeat, bool alt, bool ctrl, bool extended) {
    if (vk <= 0 || vk > 0xFE) // keys without a code are dropped
        return;
    alt = alt || (down && vk == VK_MENU);
    bool system = ((alt || vk == VK_MENU) && !ctrl) || vk == VK_F10;
    LPARAM lparam = 1;
    if (extended)
        lparam |= LPARAM{1} << 24;
    if (alt && !ctrl)
        lparam |= LPARAM{1} << 29;
    if (!down || repeat)
        lparam |= LPARAM{1} << 30;
    if (!down)
        lparam |= static_cast<LPARAM>(DWORD{1} << 31);
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    queue_post(window, message, static_cast<WPARAM>(vk), lparam);
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
        say_once(notice_window_filter);
    if ((remove & ~UINT{PM_REMOVE | 0x0002}) != 0) // PM_NOYIELD (2) changes nothing here
        say_once(notice_remove_flags);
    display_pump_events();
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
        say_once(notice_broadcast);
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
