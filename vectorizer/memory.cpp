#include "memory.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
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

}  // namespace

void *mem_alloc(std::size_t bytes) {
    if (should_fail()) return nullptr;
    return hint_large(std::malloc(bytes ? bytes : 1), bytes);
}

void *mem_realloc(void *block, std::size_t bytes) {
    if (should_fail()) return nullptr;
    return hint_large(std::realloc(block, bytes ? bytes : 1), bytes);
}

void mem_free(void *block) { std::free(block); }

void mem_fail_at(long n, bool sticky) {
    t_fail_at = n > 0 ? t_requests + n : 0;
    t_sticky = sticky;
}

long mem_requests() { return t_requests; }
long mem_failures() { return t_failures; }
void mem_reset_requests() { t_requests = 0; t_fail_at = 0; t_sticky = false; }

}  // namespace ktv
