#include "cpu_probe.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

int32_t cpu_has_mmx() {
#if defined(__i386__) || defined(__x86_64__)
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0)
        return 0;
    return static_cast<int32_t>((edx >> 23) & 1);
#else
    return 0;
#endif
}
