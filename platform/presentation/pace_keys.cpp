// The pace's keys by Windows' virtual-key codes, for the backends whose input arrives as virtual
// keys (the web page's table, a Windows window's messages): P and Pause, period, minus and equals,
// and the keypad's minus and plus.
#include <windows.h>

#include "pace.h"

bool pace_take_virtual_key(int vk, bool down, bool repeat) {
    PaceKey pace;
    switch (vk) {
    case 'P':
    case VK_PAUSE:
        pace = pace_key_pause;
        break;
    case VK_OEM_PERIOD:
        pace = pace_key_step;
        break;
    case VK_OEM_MINUS:
    case VK_SUBTRACT:
        pace = pace_key_slower;
        break;
    case VK_OEM_PLUS:
    case VK_ADD:
        pace = pace_key_faster;
        break;
    default:
        return false;
    }
    // A held period steps on with the key's repeats; the other keys act once per press.
    if (down && (!repeat || pace == pace_key_step))
        pace_key(pace);
    return true;
}
