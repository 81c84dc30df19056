#include "tests/soak/live_allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_THREAD__)
#define QUORVANE_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUORVANE_TSAN 1
#endif
#endif

#ifdef QUORVANE_TSAN
// ThreadSanitizer's run-time owns operator new and delete; its allocator reports the
// bytes in use (the block count is not known there).
#include <sanitizer/allocator_interface.h>

namespace quorvane::soak {

LiveAllocations CurrentAllocations() {
    return {-1, static_cast<long long>(__sanitizer_get_current_allocated_bytes())};
}

}  // namespace quorvane::soak

#else

namespace {

std::atomic<long long> g_blocks{0};
std::atomic<long long> g_bytes{0};

// Each block carries its size in front, so delete knows what it frees.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* Allocate(std::size_t size) {
    void* raw = std::malloc(size + kHeader);
    if (raw == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(raw) = size;
    g_blocks.fetch_add(1, std::memory_order_relaxed);
    g_bytes.fetch_add(static_cast<long long>(size), std::memory_order_relaxed);
    return static_cast<char*>(raw) + kHeader;
}

void Release(void* p) noexcept {
    if (p == nullptr) return;
    void* raw = static_cast<char*>(p) - kHeader;
    g_blocks.fetch_sub(1, std::memory_order_relaxed);
    g_bytes.fetch_sub(static_cast<long long>(*static_cast<std::size_t*>(raw)), std::memory_order_relaxed);
    std::free(raw);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace quorvane::soak {

LiveAllocations CurrentAllocations() {
    return {g_blocks.load(std::memory_order_relaxed), g_bytes.load(std::memory_order_relaxed)};
}

}  // namespace quorvane::soak

#endif
