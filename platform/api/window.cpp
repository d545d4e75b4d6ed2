// Window classes, the window table, the default window procedure, system metrics, cursors and the
// module handle. Each window's system side (an SDL window, or a window on the page) belongs to
// the backend's display, addressed by the window's slot.
#include <cstdlib>
#include <cstring>

#include "platform_internal.h"

struct WindowClass {
    bool used;
    char name[256];
    WNDPROC procedure;
};

struct Window {
    bool used;
    bool visible;
    bool iconic;
    bool destroying;
    int class_slot;
    int client_width;
    int client_height;
    HDC dc;
    char title[256];
};

constexpr int max_classes = 16;
// String atoms live at 0xC000 and above; class atoms are 0xC000 + slot.
constexpr ATOM first_class_atom = 0xC000;

// Metrics of a classic captioned window: the caption bar and the dialog frame on each side.
constexpr int caption_height = 19;
constexpr int dialog_frame = 3;
constexpr int thin_border = 1;
constexpr int sizing_frame = 4;
constexpr int largest_client = 16384;

static WindowClass classes[max_classes];
static Window windows[max_windows];
static uint32_t window_generations[max_windows];

// The program's own module: a handle of its own kind, never dereferenced.
static HINSTANCE program_module() {
    return reinterpret_cast<HINSTANCE>(make_handle(kind_module, 0, 1));
}

int window_slot(HWND window) {
    int slot = handle_slot(window, kind_window, window_generations, max_windows);
    if (slot < 0 || !windows[slot].used)
        return -1;
    return slot;
}

HWND window_in_slot(int slot) {
    if (slot < 0 || slot >= max_windows || !windows[slot].used)
        return nullptr;
    return reinterpret_cast<HWND>(make_handle(kind_window, slot, window_generations[slot]));
}

void window_set_iconic(HWND window, bool iconic) {
    int slot = window_slot(window);
    if (slot >= 0)
        windows[slot].iconic = iconic;
}

LRESULT send_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    int slot = window_slot(window);
    if (slot < 0)
        return 0;
    return classes[windows[slot].class_slot].procedure(window, message, wparam, lparam);
}

// Class names compare without regard to case, as on Windows.
static bool same_name(const char* a, const char* b) {
    for (;; a++, b++) {
        unsigned char ca = static_cast<unsigned char>(*a);
        unsigned char cb = static_cast<unsigned char>(*b);
        if (ca >= 'a' && ca <= 'z')
            ca = static_cast<unsigned char>(ca - 'a' + 'A');
        if (cb >= 'a' && cb <= 'z')
            cb = static_cast<unsigned char>(cb - 'a' + 'A');
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
}

// The class named by a string or by its atom (MAKEINTATOM), or -1.
static int find_class(LPCSTR name) {
    if (name == nullptr)
        return -1;
    if (IS_INTRESOURCE(name)) {
        int slot = static_cast<int>(reinterpret_cast<uintptr_t>(name)) - first_class_atom;
        return slot >= 0 && slot < max_classes && classes[slot].used ? slot : -1;
    }
    for (int slot = 0; slot < max_classes; slot++)
        if (classes[slot].used && same_name(classes[slot].name, name))
            return slot;
    return -1;
}

ATOM RegisterClassA(const WNDCLASSA* window_class) {
    if (window_class == nullptr || window_class->lpszClassName == nullptr ||
        IS_INTRESOURCE(window_class->lpszClassName) || window_class->lpfnWndProc == nullptr ||
        platform_fault(fault_register_class))
        return 0;
    LPCSTR name = window_class->lpszClassName;
    if (name[0] == 0 || strlen(name) >= sizeof(classes[0].name) || find_class(name) >= 0)
        return 0;
    for (int slot = 0; slot < max_classes; slot++) {
        if (classes[slot].used)
            continue;
        WindowClass& entry = classes[slot];
        entry.used = true;
        strcpy(entry.name, name);
        entry.procedure = window_class->lpfnWndProc;
        return static_cast<ATOM>(first_class_atom + slot);
    }
    return 0;
}

BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE) {
    int slot = find_class(class_name);
    if (slot < 0)
        return FALSE;
    // As on Windows, a class with windows still open stays registered.
    for (const Window& window : windows)
        if (window.used && window.class_slot == slot)
            return FALSE;
    classes[slot] = WindowClass{};
    return TRUE;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR cursor_name) {
    // Only the system cursors (IDC_ARROW and its neighbours) exist; the window keeps the system's
    // default pointer whichever is chosen.
    uintptr_t id = reinterpret_cast<uintptr_t>(cursor_name);
    if (instance == nullptr && IS_INTRESOURCE(cursor_name) && id >= 32512 && id <= 32651)
        return reinterpret_cast<HCURSOR>(make_handle(kind_cursor, static_cast<int>(id - 32512), 1));
    say_once(notice_cursor);
    return nullptr;
}

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN:
        return display_screen_size(index == SM_CXSCREEN);
    case SM_CYCAPTION:
        return caption_height;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return thin_border;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return dialog_frame;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return sizing_frame;
    default:
        return 0;
    }
}

HMODULE GetModuleHandleA(LPCSTR module_name) {
    if (module_name == nullptr)
        return program_module();
    say_once(notice_module_name);
    return nullptr;
}

static void store_title(int slot, LPCSTR text) {
    Window& window = windows[slot];
    if (text == nullptr)
        text = "";
    // Texts longer than 255 bytes are cut.
    size_t length = strlen(text);
    if (length >= sizeof(window.title))
        length = sizeof(window.title) - 1;
    memcpy(window.title, text, length);
    window.title[length] = 0;
    display_title(slot, window.title);
}

static int clamp_client(int64_t size) {
    return static_cast<int>(size < 1 ? 1 : size > largest_client ? largest_client : size);
}

static int clamp_position(int64_t position) {
    return static_cast<int>(position < -largest_client  ? -largest_client
                            : position > largest_client ? largest_client
                                                        : position);
}

HWND CreateWindowExA(DWORD, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
    int class_slot = find_class(class_name);
    if (class_slot < 0 || (parent != nullptr && window_slot(parent) < 0) ||
        platform_fault(fault_create_window))
        return nullptr;
    int slot = 0;
    while (slot < max_windows && windows[slot].used)
        slot++;
    if (slot == max_windows)
        return nullptr;

    // The client area is the outer size less the frames and the caption that the style asks for.
    int frame_x = 0;
    int frame_y = 0;
    int caption = 0;
    if ((style & WS_THICKFRAME) != 0) {
        say_once(notice_thick_frame);
        frame_x = frame_y = sizing_frame;
    } else if ((style & WS_DLGFRAME) != 0) {
        frame_x = frame_y = dialog_frame;
    } else if ((style & WS_BORDER) != 0) {
        frame_x = frame_y = thin_border;
    }
    if ((style & WS_CAPTION) == WS_CAPTION)
        caption = caption_height;
    int client_width = clamp_client(static_cast<int64_t>(width) - 2 * frame_x);
    int client_height = clamp_client(static_cast<int64_t>(height) - caption - 2 * frame_y);
    // As on Windows, a default x leaves y unused too.
    bool placed = x != CW_USEDEFAULT;
    int left = 0;
    int top = 0;
    if (placed) {
        left = clamp_position(static_cast<int64_t>(x) + frame_x);
        top = clamp_position(static_cast<int64_t>(y) + caption + frame_y);
    }

    if (!display_open(slot, client_width, client_height, placed, left, top))
        return nullptr;
    Window& window = windows[slot];
    window = Window{};
    window.used = true;
    window.class_slot = class_slot;
    window.client_width = client_width;
    window.client_height = client_height;
    HWND handle = window_in_slot(slot);
    window.dc = window_dc_create(handle);
    if (window.dc == nullptr) {
        display_close(slot);
        window = Window{};
        window_generations[slot]++;
        return nullptr;
    }
    store_title(slot, window_name);
    if ((style & WS_VISIBLE) != 0)
        ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL ShowWindow(HWND handle, int show_command) {
    int slot = window_slot(handle);
    if (slot < 0)
        return FALSE;
    Window& window = windows[slot];
    BOOL was_visible = window.visible ? TRUE : FALSE;
    switch (show_command) {
    case SW_HIDE:
        display_show(slot, false);
        window.visible = false;
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        display_show(slot, true);
        display_minimize(slot, true);
        window.visible = true;
        window.iconic = true;
        break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
        display_show(slot, true);
        if (window.iconic)
            display_minimize(slot, false);
        window.visible = true;
        window.iconic = false;
        break;
    default: // SW_SHOW and the rest show the window as it is
        display_show(slot, true);
        window.visible = true;
        break;
    }
    return was_visible;
}

BOOL UpdateWindow(HWND window) {
    // Nothing is ever left to paint: the programs draw every frame themselves.
    return window_slot(window) >= 0 ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND handle) {
    int slot = window_slot(handle);
    if (slot < 0 || windows[slot].destroying)
        return FALSE;
    windows[slot].destroying = true;
    send_message(handle, WM_DESTROY, 0, 0);
    Window& window = windows[slot];
    window_dc_free(window.dc);
    display_close(slot);
    window = Window{};
    window_generations[slot]++;
    return TRUE;
}

BOOL IsWindow(HWND window) {
    return window_slot(window) >= 0 ? TRUE : FALSE;
}

BOOL IsIconic(HWND window) {
    int slot = window_slot(window);
    return slot >= 0 && windows[slot].iconic ? TRUE : FALSE;
}

HWND FindWindowA(LPCSTR class_name, LPCSTR window_name) {
    int class_slot = -1;
    if (class_name != nullptr && (class_slot = find_class(class_name)) < 0)
        return nullptr;
    for (int slot = 0; slot < max_windows; slot++) {
        const Window& window = windows[slot];
        if (!window.used || window.destroying)
            continue;
        if (class_slot >= 0 && window.class_slot != class_slot)
            continue;
        if (window_name != nullptr && strcmp(window.title, window_name) != 0)
            continue;
        return window_in_slot(slot);
    }
    return nullptr;
}

BOOL GetClientRect(HWND handle, RECT* rect) {
    int slot = window_slot(handle);
    if (slot < 0 || rect == nullptr)
        return FALSE;
    *rect = RECT{0, 0, windows[slot].client_width, windows[slot].client_height};
    return TRUE;
}

BOOL SetWindowTextA(HWND handle, LPCSTR text) {
    int slot = window_slot(handle);
    if (slot < 0)
        return FALSE;
    store_title(slot, text);
    return TRUE;
}

int GetWindowTextA(HWND handle, LPSTR text, int max_count) {
    if (text == nullptr || max_count <= 0)
        return 0;
    text[0] = 0;
    int slot = window_slot(handle);
    if (slot < 0)
        return 0;
    int length = static_cast<int>(strlen(windows[slot].title));
    if (length > max_count - 1)
        length = max_count - 1;
    memcpy(text, windows[slot].title, static_cast<size_t>(length));
    text[length] = 0;
    return length;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SYSCOMMAND:
        switch (wparam & 0xFFF0) {
        case SC_CLOSE:
            send_message(window, WM_CLOSE, 0, 0);
            break;
        case SC_MINIMIZE:
            ShowWindow(window, SW_MINIMIZE);
            break;
        case SC_RESTORE:
            ShowWindow(window, SW_RESTORE);
            break;
        default:
            break;
        }
        return 0;
    case WM_SYSKEYDOWN:
        // Alt+F4: bit 29 of lParam says Alt was held.
        if (wparam == VK_F4 && (lparam & (LPARAM{1} << 29)) != 0)
            send_message(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    default:
        return 0;
    }
}
