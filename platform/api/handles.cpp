// Handles: numbers, never pointers, made of a kind, a slot and the slot's generation, so that a
// handle of the wrong kind, a stray number or the handle of an object gone is refused.
#include "platform_internal.h"

uintptr_t make_handle(HandleKind kind, int index, uint32_t generation) {
    return (static_cast<uintptr_t>(kind) << 28) |
           (static_cast<uintptr_t>(generation & 0xFFFF) << 12) |
           static_cast<uintptr_t>(index & 0xFFF);
}

int handle_slot(const void* handle, HandleKind kind, const uint32_t* generations, int count) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if ((value >> 28) != kind)
        return -1;
    int index = static_cast<int>(value & 0xFFF);
    uint32_t generation = static_cast<uint32_t>((value >> 12) & 0xFFFF);
    if (index >= count || (generations[index] & 0xFFFF) != generation)
        return -1;
    return index;
}
