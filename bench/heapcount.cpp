// Counting wrappers over glibc's allocator entry points.  A block's size is
// taken from malloc_usable_size both when it is made and when it is freed,
// so the books balance whatever the requested sizes were.  Sanitizer builds
// keep their own allocator (KTVEC_NO_HEAP_COUNT): then nothing is counted.
#include "heapcount.h"

#include <malloc.h>

#include <cerrno>

namespace {
std::size_t g_live = 0, g_peak = 0;
bool g_used = false;
}  // namespace

#if !defined(KTVEC_NO_HEAP_COUNT)
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
void *__libc_memalign(size_t, size_t);
}

namespace {
void *counted(void *p) {
    if (p) {
        g_used = true;
        g_live += malloc_usable_size(p);
        if (g_live > g_peak) g_peak = g_live;
    }
    return p;
}
void uncount(void *p) {
    if (p) g_live -= malloc_usable_size(p);
}
}  // namespace

extern "C" {
void *malloc(size_t n) { return counted(__libc_malloc(n)); }
void *calloc(size_t n, size_t size) { return counted(__libc_calloc(n, size)); }
void *realloc(void *p, size_t n) {
    if (!p) return malloc(n);
    if (n == 0) {  // glibc frees the block and answers null
        free(p);
        return nullptr;
    }
    std::size_t old = malloc_usable_size(p);
    void *q = __libc_realloc(p, n);
    if (!q) return nullptr;  // failed: the old block stays, and stays counted
    g_live -= old;
    return counted(q);
}
void free(void *p) {
    uncount(p);
    __libc_free(p);
}
void *memalign(size_t align, size_t n) { return counted(__libc_memalign(align, n)); }
void *aligned_alloc(size_t align, size_t n) { return memalign(align, n); }
int posix_memalign(void **out, size_t align, size_t n) {
    void *p = memalign(align, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

namespace ktvdraw {
std::size_t heap_live() { return g_live; }
std::size_t heap_peak() { return g_peak; }
void heap_reset_peak() { g_peak = g_live; }
bool heap_counting() { return g_used; }
}  // namespace ktvdraw
