// The counting forwarders of allocation_count.h.
#include "allocation_count.h"

#include <cstdlib>
#include <new>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* p, size_t size);
extern "C" void* __libc_memalign(size_t alignment, size_t size);
extern "C" void __libc_free(void* p);

bool counting = false;
long allocations = 0;

#if !defined(__SANITIZE_ADDRESS__)
extern "C" void* malloc(size_t size) {
    allocations += counting;
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
    allocations += counting;
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, size_t size) {
    allocations += counting;
    return __libc_realloc(p, size);
}
extern "C" void* aligned_alloc(size_t alignment, size_t size) {
    allocations += counting;
    return __libc_memalign(alignment, size);
}
extern "C" void free(void* p) {
    __libc_free(p);
}
void* operator new(size_t size) {
    allocations += counting;
    if (void* p = __libc_malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    __libc_free(p);
}
void operator delete(void* p, size_t) noexcept {
    __libc_free(p);
}
#endif
