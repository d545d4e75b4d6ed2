#include "shell.h"

int32_t decay = decay_start;
int32_t variant = 0;

// variant wraps here instead of passing the largest 32-bit value, where the next press would be
// signed overflow. The bound is a multiple of 6 (and so of 3), so the wrap moves to the next
// warp and the next palette scheme like any other press.
static constexpr int32_t variant_wrap = 2147483646; // 6 * 357913941

int32_t handle_key(WPARAM virtual_key) {
    switch (virtual_key) {
    case VK_ESCAPE:
        return 0;
    case VK_SPACE:
        variant = variant + 1 >= variant_wrap ? 0 : variant + 1;
        break;
    case VK_LEFT:
    case VK_DOWN:
        if (decay < decay_max)
            decay++;
        break;
    case VK_UP:
    case VK_RIGHT:
        if (decay > decay_min)
            decay--;
        break;
    default:
        break;
    }
    return 1;
}
