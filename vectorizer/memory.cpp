#include "memory.h"

#include <cstdlib>

namespace ktv {

namespace {
thread_local long t_requests = 0;   // requests seen on this thread
thread_local long t_fail_at = 0;    // request number that fails; 0 = none
thread_local bool t_sticky = false; // keep failing after t_fail_at

bool should_fail() {
    ++t_requests;
    if (t_fail_at == 0) return false;
    if (t_requests == t_fail_at) return true;
    return t_sticky && t_requests > t_fail_at;
}
}  // namespace

void *mem_alloc(std::size_t bytes) {
    if (should_fail()) return nullptr;
    return std::malloc(bytes ? bytes : 1);
}

void *mem_realloc(void *block, std::size_t bytes) {
    if (should_fail()) return nullptr;
    return std::realloc(block, bytes ? bytes : 1);
}

void mem_free(void *block) { std::free(block); }

void mem_fail_at(long n, bool sticky) {
    t_fail_at = n > 0 ? t_requests + n : 0;
    t_sticky = sticky;
}

long mem_requests() { return t_requests; }
void mem_reset_requests() { t_requests = 0; t_fail_at = 0; t_sticky = false; }

}  // namespace ktv
