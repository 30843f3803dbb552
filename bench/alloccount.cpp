#include "alloccount.h"

#include <atomic>
#include <cstddef>

// glibc's own entry points: the interposed functions below count the call
// and hand it on, so the one allocator stays in charge (free is untouched).
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
}

namespace {
std::atomic<quint64> g_allocations { 0 };
}

extern "C" void *malloc(size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *pointer, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

namespace bench {

quint64 allocationCount()
{
    return g_allocations.load(std::memory_order_relaxed);
}

} // namespace bench
