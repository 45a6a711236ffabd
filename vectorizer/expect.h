// Preconditions that the caller guarantees.  In a debug build a broken one
// stops the program with the condition's name, where the call came in; in a
// release build (NDEBUG) the check is compiled out and the operation
// behaves as documented for the valid range only.  The condition is never
// evaluated in a release build, so it must have no side effects.
#ifndef KTVEC_EXPECT_H
#define KTVEC_EXPECT_H

#ifndef NDEBUG
#include <cstdio>
#include <cstdlib>

namespace ktv {
[[noreturn]] inline void expect_failed(const char *what, const char *condition, const char *file, int line) {
    std::fprintf(stderr, "ktvec: caller broke a precondition: %s (%s) at %s:%d\n", what, condition, file,
                 line);
    std::abort();
}
}  // namespace ktv

#define KTV_EXPECT(condition, what) \
    ((condition) ? (void)0 : ::ktv::expect_failed(what, #condition, __FILE__, __LINE__))
#else
#define KTV_EXPECT(condition, what) ((void)sizeof((condition) ? 1 : 0))
#endif

#endif
