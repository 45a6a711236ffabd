#include "memory.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__) || defined(_WIN32)
#include <malloc.h>
#endif

namespace ktv {

namespace {
thread_local long t_requests = 0;   // requests seen on this thread
thread_local long t_fail_at = 0;    // request number that fails; 0 = none
thread_local bool t_sticky = false; // keep failing after t_fail_at
thread_local long t_failures = 0;   // requests made to fail

bool should_fail() {
    ++t_requests;
    if (t_fail_at == 0) return false;
    const bool fail = t_requests == t_fail_at || (t_sticky && t_requests > t_fail_at);
    t_failures += fail;
    return fail;
}
// Large blocks (working rasters, point and node arrays of big scans) are
// filled once, front to back: on Linux they ask for huge pages, which takes
// most of the page-fault cost out of that first pass.  Elsewhere, or where
// the kernel declines, nothing changes.
void *hint_large(void *block, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t kLarge = std::size_t(4) << 20;
    constexpr std::uintptr_t kPage = 4096;
    if (block && bytes >= kLarge) {
        const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
        const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(kPage - 1);
        if (end > start) madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    }
#else
    (void)bytes;
#endif
    return block;
}

// Bytes usable in a heap block; 0 where the heap cannot say.
std::size_t usable_size(void *block) {
#if defined(__GLIBC__)
    return malloc_usable_size(block);
#elif defined(_WIN32)
    return _msize(block);
#else
    (void)block;
    return 0;
#endif
}

// The stages of a run hand large blocks on to one another: the filter's
// working copy of the raster is freed just before the point array is made
// (of about the same size for outlines, about half of it for centre lines).
// Returned to the system and asked for again, such a block comes back as
// fresh pages the kernel has to clear once more.  So, while a hand-off is
// open on a thread, the largest block freed there is kept, and the next
// large request that it can hold takes it over, cut down to the size asked
// for when it holds an eighth more: the heap shrinks a block in place, so
// the request keeps resident pages and the rest goes back to the system
// (kept whole, it would raise the peak).  A request of some size that it
// cannot hold, and the end of the hand-off, give it back.  Sanitizer builds
// keep no spare, so that a use after free of a large block is still caught.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KTV_NO_SPARE 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KTV_NO_SPARE 1
#endif
constexpr std::size_t kSpareMin = std::size_t(4) << 20;
constexpr std::size_t kMedium = std::size_t(64) << 10;

thread_local int t_handoffs = 0;         // open hand-offs on this thread
thread_local void *t_spare = nullptr;    // the block kept, or null
thread_local std::size_t t_spare_bytes = 0;

void release_spare() {
    std::free(t_spare);
    t_spare = nullptr;
    t_spare_bytes = 0;
}

// The spare for a request of `bytes`, or null.
void *take_spare(std::size_t bytes) {
    if (!t_spare || bytes < kMedium) return nullptr;
    if (bytes < kSpareMin || bytes > t_spare_bytes) {
        release_spare();
        return nullptr;
    }
    void *block = t_spare;
    const bool loose = bytes < t_spare_bytes - t_spare_bytes / 8;
    t_spare = nullptr;
    t_spare_bytes = 0;
    // A shrink that cannot be done leaves the block as it was, whole.
    if (loose)
        if (void *cut = std::realloc(block, bytes)) block = cut;
    return block;
}

// True when `block` was kept as the spare.
bool keep_spare(void *block) {
#if defined(KTV_NO_SPARE)
    (void)block;
    return false;
#else
    if (t_handoffs == 0) return false;
    const std::size_t bytes = usable_size(block);
    if (bytes < kSpareMin || bytes <= t_spare_bytes) return false;
    std::free(t_spare);
    t_spare = block;
    t_spare_bytes = bytes;
    return true;
#endif
}

}  // namespace

void *mem_alloc(std::size_t bytes) {
    if (should_fail()) return nullptr;
    if (void *block = take_spare(bytes)) return block;
    return hint_large(std::malloc(bytes ? bytes : 1), bytes);
}

void *mem_realloc(void *block, std::size_t bytes) {
    if (should_fail()) return nullptr;
    return hint_large(std::realloc(block, bytes ? bytes : 1), bytes);
}

void mem_free(void *block) {
    if (block && !keep_spare(block)) std::free(block);
}

HandOff::HandOff() { ++t_handoffs; }

HandOff::~HandOff() {
    if (--t_handoffs == 0) release_spare();
}

void mem_fail_at(long n, bool sticky) {
    t_fail_at = n > 0 ? t_requests + n : 0;
    t_sticky = sticky;
}

long mem_requests() { return t_requests; }
long mem_failures() { return t_failures; }
void mem_reset_requests() { t_requests = 0; t_fail_at = 0; t_sticky = false; }

}  // namespace ktv
