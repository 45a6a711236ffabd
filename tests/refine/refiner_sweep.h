// The allocation-failure sweep of a refining call: with each of its
// allocations failing in turn it answers -1000 and holds no lines, and the
// first run that needs no failure gives `lines` lines.  Returns the number
// of failed runs.
#ifndef KTVEC_TEST_REFINER_SWEEP_H
#define KTVEC_TEST_REFINER_SWEEP_H

#include "ktvec.h"
#include "ktvec_refine.h"
#include "sweep.h"

inline int sweep_refiner(CKTVector &v, int (CKTRefiner::*call)(CKTVector *), int lines) {
    return sweep([&](long n) {
        CKTRefiner r;
        int rc = 0;
        const bool failed = fails_at(n, [&] { rc = (r.*call)(&v); });
        EXPECT_EQ(rc, failed ? -1000 : 0) << "allocation " << n;
        EXPECT_EQ(r.mgetlinenum(), failed ? 0 : lines) << "allocation " << n;
        return failed;
    });
}

#endif
