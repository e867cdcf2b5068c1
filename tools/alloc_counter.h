// Counts a program's heap allocations by replacing the global allocation functions. It defines
// those replacements, so a program includes it in exactly one of its source files.
//
// Qt's containers and strings take their memory with malloc, not with operator new, so counting
// operator new alone misses much of what Qt code allocates. A program that wants malloc and its
// kin counted as well defines ORVEL_COUNT_MALLOC before the include (glibc lets a program
// interpose malloc). Under AddressSanitizer, which owns malloc, only operator new is counted.
#pragma once

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace alloc_counter {

inline std::atomic<unsigned long long> g_allocations{0};

inline void Count() {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
}

#if defined(ORVEL_COUNT_MALLOC) && !defined(__SANITIZE_ADDRESS__)
inline constexpr bool kCountsMalloc = true;
#else
inline constexpr bool kCountsMalloc = false;
#endif

// Allocations since the program started, on every thread.
inline unsigned long long Allocations() {
    return g_allocations.load(std::memory_order_relaxed);
}

// Allocations made while f ran.
template <typename F> long CountAllocations(F&& f) {
    const unsigned long long before = Allocations();
    f();
    return static_cast<long>(Allocations() - before);
}

// Without malloc interposed, operator new counts for itself; with it, malloc does the counting.
inline void* Allocate(std::size_t size) {
    if (!kCountsMalloc)
        Count();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

inline void* AllocateAligned(std::size_t size, std::align_val_t align) {
    if (!kCountsMalloc)
        Count();
    const std::size_t a = static_cast<std::size_t>(align);
    if (void* p = std::aligned_alloc(a, (std::max<std::size_t>(size, 1) + a - 1) / a * a))
        return p;
    throw std::bad_alloc();
}

} // namespace alloc_counter

#if defined(ORVEL_COUNT_MALLOC) && !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t size) {
    alloc_counter::Count();
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    alloc_counter::Count();
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    alloc_counter::Count();
    return __libc_realloc(p, size);
}
void* aligned_alloc(size_t align, size_t size) {
    alloc_counter::Count();
    return __libc_memalign(align, size);
}
void* memalign(size_t align, size_t size) {
    alloc_counter::Count();
    return __libc_memalign(align, size);
}
int posix_memalign(void** out, size_t align, size_t size) {
    alloc_counter::Count();
    void* p = __libc_memalign(align, size);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
void free(void* p) {
    __libc_free(p);
}
}
#endif

void* operator new(std::size_t size) {
    return alloc_counter::Allocate(size);
}
void* operator new[](std::size_t size) {
    return alloc_counter::Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return alloc_counter::Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return alloc_counter::Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align) {
    return alloc_counter::AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return alloc_counter::AllocateAligned(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
