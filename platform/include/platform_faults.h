// Fault injection for the stand-in platform's own tests: makes chosen calls fail the way real
// Windows may (a class that cannot be registered, a window or a bitmap that cannot be made), so
// that a program's handling of those failures can be tested. Never used by program code.
#pragma once

enum PlatformFault {
    fault_register_class,
    fault_create_window,
    fault_create_compatible_dc,
    fault_create_dib_section,
    fault_kinds
};

// The next `calls` calls of that kind fail (as the real call reports failure); 0 ends it.
void platform_inject_fault(PlatformFault fault, int calls);
