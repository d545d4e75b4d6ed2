// Counts every heap allocation of the test process while `counting` is on: malloc, calloc,
// realloc, aligned_alloc and operator new are replaced by counting forwarders to glibc's own
// (allocation_count.cpp, linked into the tests that watch the heap). Under the sanitizers, which
// own malloc, nothing is replaced and the count stays 0.
#pragma once

extern bool counting;
extern long allocations;
