#include "platform_faults.h"
#include "platform_internal.h"

static int failing_calls[fault_kinds];

void platform_inject_fault(PlatformFault fault, int calls) {
    if (fault >= 0 && fault < fault_kinds)
        failing_calls[fault] = calls < 0 ? 0 : calls;
}

bool platform_fault(PlatformFault fault) {
    if (failing_calls[fault] == 0)
        return false;
    failing_calls[fault]--;
    return true;
}
