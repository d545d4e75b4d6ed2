// Processor probe of sorvel: whether the processor has MMX. Only sorvel carries it; neither
// program calls it.
#pragma once

#include <cstdint>

// 1 if CPUID leaf 1 reports MMX (bit 23 of EDX), else 0; always 0 on processors other than x86.
int32_t cpu_has_mmx();
