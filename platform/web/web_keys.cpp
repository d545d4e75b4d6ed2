// The page's keys: the table of KeyboardEvent.code to Windows' virtual keys that the page learns at
// start-up, and which of these the pace takes for itself (pace.h), without Ctrl.
#include <windows.h>

#include "pace.h"
#include "web_display.h"

// clang-format off
const PageKey page_keys[] = {
    {"Escape", VK_ESCAPE, false, false}, {"Space", VK_SPACE, false, true},
    {"ArrowLeft", VK_LEFT, true, true}, {"ArrowUp", VK_UP, true, true},
    {"ArrowRight", VK_RIGHT, true, true}, {"ArrowDown", VK_DOWN, true, true},
    {"Enter", VK_RETURN, false, false}, {"NumpadEnter", VK_RETURN, true, false},
    {"Tab", VK_TAB, false, false}, {"Backspace", VK_BACK, false, false},
    {"ShiftLeft", VK_SHIFT, false, false}, {"ShiftRight", VK_SHIFT, false, false},
    {"ControlLeft", VK_CONTROL, false, false}, {"ControlRight", VK_CONTROL, true, false},
    {"AltLeft", VK_MENU, false, false}, {"AltRight", VK_MENU, true, false},
    {"MetaLeft", VK_LWIN, false, false}, {"MetaRight", VK_RWIN, false, false},
    {"ContextMenu", VK_APPS, false, false}, {"Pause", VK_PAUSE, false, false},
    {"CapsLock", VK_CAPITAL, false, false}, {"PageUp", VK_PRIOR, true, true},
    {"PageDown", VK_NEXT, true, true}, {"End", VK_END, true, true}, {"Home", VK_HOME, true, true},
    {"PrintScreen", VK_SNAPSHOT, false, false}, {"Insert", VK_INSERT, true, false},
    {"Delete", VK_DELETE, true, false}, {"NumLock", VK_NUMLOCK, false, false},
    {"ScrollLock", VK_SCROLL, false, false},
    {"NumpadMultiply", VK_MULTIPLY, false, false}, {"NumpadAdd", VK_ADD, false, false},
    {"NumpadSubtract", VK_SUBTRACT, false, false}, {"NumpadDecimal", VK_DECIMAL, false, false},
    {"NumpadDivide", VK_DIVIDE, true, false},
    {"Semicolon", VK_OEM_1, false, false}, {"Equal", VK_OEM_PLUS, false, false},
    {"Comma", VK_OEM_COMMA, false, false}, {"Minus", VK_OEM_MINUS, false, false},
    {"Period", VK_OEM_PERIOD, false, false}, {"Slash", VK_OEM_2, false, false},
    {"Backquote", VK_OEM_3, false, false}, {"BracketLeft", VK_OEM_4, false, false},
    {"Backslash", VK_OEM_5, false, false}, {"BracketRight", VK_OEM_6, false, false},
    {"Quote", VK_OEM_7, false, false},
    {"KeyA", 'A', false, false}, {"KeyB", 'B', false, false}, {"KeyC", 'C', false, false},
    {"KeyD", 'D', false, false}, {"KeyE", 'E', false, false}, {"KeyF", 'F', false, false},
    {"KeyG", 'G', false, false}, {"KeyH", 'H', false, false}, {"KeyI", 'I', false, false},
    {"KeyJ", 'J', false, false}, {"KeyK", 'K', false, false}, {"KeyL", 'L', false, false},
    {"KeyM", 'M', false, false}, {"KeyN", 'N', false, false}, {"KeyO", 'O', false, false},
    {"KeyP", 'P', false, false}, {"KeyQ", 'Q', false, false}, {"KeyR", 'R', false, false},
    {"KeyS", 'S', false, false}, {"KeyT", 'T', false, false}, {"KeyU", 'U', false, false},
    {"KeyV", 'V', false, false}, {"KeyW", 'W', false, false}, {"KeyX", 'X', false, false},
    {"KeyY", 'Y', false, false}, {"KeyZ", 'Z', false, false},
    {"Digit0", '0', false, false}, {"Digit1", '1', false, false}, {"Digit2", '2', false, false},
    {"Digit3", '3', false, false}, {"Digit4", '4', false, false}, {"Digit5", '5', false, false},
    {"Digit6", '6', false, false}, {"Digit7", '7', false, false}, {"Digit8", '8', false, false},
    {"Digit9", '9', false, false},
    {"Numpad0", VK_NUMPAD0, false, false}, {"Numpad1", VK_NUMPAD0 + 1, false, false},
    {"Numpad2", VK_NUMPAD0 + 2, false, false}, {"Numpad3", VK_NUMPAD0 + 3, false, false},
    {"Numpad4", VK_NUMPAD0 + 4, false, false}, {"Numpad5", VK_NUMPAD0 + 5, false, false},
    {"Numpad6", VK_NUMPAD0 + 6, false, false}, {"Numpad7", VK_NUMPAD0 + 7, false, false},
    {"Numpad8", VK_NUMPAD0 + 8, false, false}, {"Numpad9", VK_NUMPAD0 + 9, false, false},
    {"F1", VK_F1, false, false}, {"F2", VK_F1 + 1, false, false}, {"F3", VK_F1 + 2, false, false},
    {"F4", VK_F1 + 3, false, false}, {"F5", VK_F1 + 4, false, false},
    {"F6", VK_F1 + 5, false, false}, {"F7", VK_F1 + 6, false, false},
    {"F8", VK_F1 + 7, false, false}, {"F9", VK_F1 + 8, false, false},
    {"F10", VK_F1 + 9, false, false}, {"F11", VK_F1 + 10, false, false},
    {"F12", VK_F1 + 11, false, false},
};
// clang-format on

const int page_key_count = sizeof(page_keys) / sizeof(page_keys[0]);
static_assert(sizeof(page_keys) / sizeof(page_keys[0]) <= 256,
              "a key's row fits in the eight bits an input event has for it");

bool web_take_pace_key(int vk, bool down, bool repeat, bool ctrl) {
    // With Ctrl, minus and plus are the browser's zoom, and the other keys are left alone too.
    return !ctrl && pace_take_virtual_key(vk, down, repeat);
}
