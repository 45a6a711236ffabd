// The allocation-failure sweep used by every test of a "-1000" path: a call
// is repeated with its 1st, 2nd, 3rd ... allocation request failing (each
// time on a fresh set-up made by the caller) until a run needs no failure.
//
//   sweep([&](long n) {
//       CKTVector v;  set_up(v);
//       int r;
//       if (!fails_at(n, [&] { r = v.mabstractoutlinefast(...); })) return false;
//       ... judge the failed run ...
//       return true;
//   });
#ifndef KTVEC_TEST_SWEEP_H
#define KTVEC_TEST_SWEEP_H

#include <gtest/gtest.h>

#include "vectorizer/memory.h"

// Runs `call` with the n-th allocation request from now failing (and, when
// `sticky`, every later one); true when that failure happened.
template <class Call> bool fails_at(long n, Call &&call, bool sticky = false) {
    const long before = ktv::mem_failures();
    ktv::mem_fail_at(n, sticky);
    call();
    ktv::mem_fail_at(0);
    return ktv::mem_failures() != before;
}

// Calls attempt(n) for n = 1, 1 + step, ... until it answers false (the
// call went through without a failure) or a fatal assertion fired.
// Returns the number of runs that failed; `limit` guards against a call
// that never gets through.
template <class Attempt> int sweep(Attempt &&attempt, long step = 1, long limit = 200000) {
    int failed = 0;
    for (long n = 1; n < limit; n += step) {
        if (!attempt(n)) return failed;
        ++failed;
        if (::testing::Test::HasFatalFailure()) return failed;
    }
    ADD_FAILURE() << "the call never ran without a failure";
    return failed;
}

#endif
