// The one allocation seam of the library.  Every array the vectorizer owns
// is obtained, grown and released here, over malloc/realloc/free, so that a
// test can make the Nth request fail and check the "-1000" paths.
//
// Zero-size requests are valid: they return a real (non-null) block, so an
// empty page or a two-point segment never looks like a memory failure.
// Element counts are multiplied in size_t with an overflow check: a request
// that cannot be represented fails like an exhausted heap.
#ifndef KTVEC_MEMORY_H
#define KTVEC_MEMORY_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ktv {

void *mem_alloc(std::size_t bytes);                 // uninitialised
void *mem_realloc(void *block, std::size_t bytes);  // null block = alloc
void mem_free(void *block);                         // null is fine

// While one lives on a thread, the largest block freed there is kept for
// the next large request that it fits closely (see memory.cpp); nothing is
// kept once the last one on the thread is gone.  For stages that free one
// large block just before asking for another of about the same size.
class HandOff {
public:
    HandOff();
    ~HandOff();
    HandOff(const HandOff &) = delete;
    HandOff &operator=(const HandOff &) = delete;
};

// Failure injection for tests (per thread, so parallel workers are unaffected).
// mem_fail_at(n): the n-th request from now fails (1 = the next one) and,
// with `sticky`, every later one too; n = 0 switches injection off.
void mem_fail_at(long n, bool sticky = false);
// Number of requests made on this thread since the counter was reset.
long mem_requests();
void mem_reset_requests();
// Number of requests made to fail on this thread so far.
long mem_failures();

inline bool mul_overflows(std::size_t count, std::size_t size) {
    return size != 0 && count > SIZE_MAX / size;
}

// count elements of T, uninitialised; null on failure or overflow.
template <class T> T *alloc_array(std::size_t count) {
    if (mul_overflows(count, sizeof(T))) return nullptr;
    return static_cast<T *>(mem_alloc(count * sizeof(T)));
}

// count elements of T, zero-filled.
template <class T> T *alloc_zeroed(std::size_t count) {
    T *p = alloc_array<T>(count);
    if (p && count) std::memset(static_cast<void *>(p), 0, count * sizeof(T));
    return p;
}

// Reallocates `block` to `newcount` elements, the new tail uninitialised:
// for room that is handed out record by record later, so that pages of it
// nobody uses are never touched.  On failure the old block is untouched and
// null comes back.
template <class T> T *grow_array(T *block, std::size_t newcount) {
    if (mul_overflows(newcount, sizeof(T))) return nullptr;
    return static_cast<T *>(mem_realloc(block, newcount * sizeof(T)));
}

// Reallocates `block` from `oldcount` to `newcount` elements and zero-fills
// the new tail.  On failure the old block is untouched and null comes back.
template <class T> T *grow_zeroed(T *block, std::size_t oldcount, std::size_t newcount) {
    T *p = grow_array(block, newcount);
    if (p && newcount > oldcount)
        std::memset(static_cast<void *>(p + oldcount), 0, (newcount - oldcount) * sizeof(T));
    return p;
}

// Grow by allocating a new block, copying and freeing the old one (the rule
// for point lists, row node lists and polyline node lists).
// The new tail is zero-filled.
template <class T> T *move_to_larger(T *block, std::size_t oldcount, std::size_t newcount) {
    T *p = alloc_array<T>(newcount);
    if (!p) return nullptr;
    const std::size_t kept = !block ? 0 : oldcount < newcount ? oldcount : newcount;
    if (kept) std::memcpy(static_cast<void *>(p), block, kept * sizeof(T));
    if (newcount > kept) std::memset(static_cast<void *>(p + kept), 0, (newcount - kept) * sizeof(T));
    mem_free(block);
    return p;
}

// Raises the visible capacity of a table filled record by record by `step`
// records, which come zero-filled.  The block underneath (its record count
// in `block`, 0 = exactly the capacity) grows by half once it is large, so
// that filling a big table does not copy it again at every step; records
// past the capacity are not initialised (an untouched page of a large block
// costs nothing).  On failure nothing changes and false comes back.
template <class T> bool step_capacity(T *&table, int &capacity, int &block, int step) {
    const std::size_t need = static_cast<std::size_t>(capacity) + static_cast<std::size_t>(step);
    if (need > 0x7fffffff) return false;
    const std::size_t have = static_cast<std::size_t>(block > capacity ? block : capacity);
    if (have < need) {
        std::size_t target = have >= 1024 ? have + have / 2 : need;
        if (target > 0x7fffffff) target = need;
        T *grown = grow_array(table, target);
        if (!grown && target > need) {
            target = need;
            grown = grow_array(table, target);
        }
        if (!grown) return false;
        table = grown;
        block = static_cast<int>(target);
    }
    std::memset(static_cast<void *>(table + capacity), 0, static_cast<std::size_t>(step) * sizeof(T));
    capacity = static_cast<int>(need);
    return true;
}

// Frees *block and sets it to null.
template <class T> void release(T *&block) {
    mem_free(static_cast<void *>(block));
    block = nullptr;
}

}  // namespace ktv

#endif
