// What the tests of both refining stages share.
#ifndef KTVEC_TEST_REFINE_SUPPORT_H
#define KTVEC_TEST_REFINE_SUPPORT_H

#include "drawing.h"
#include "ktvec.h"
#include "ktvec_refine.h"
#include "sweep.h"

// A 64 x 48 page all white or all black, handed to `v`.
inline void plain_page(ktvdraw::Canvas &canvas, CKTVector &v, bool black) {
    canvas = ktvdraw::Canvas(64, 48);
    if (black)
        for (int y = 0; y < 48; ++y) canvas.span(y, 0, 63);
    v.msetdocument(canvas.data(), 64, canvas.stride(), 48);
}

// The allocation-failure sweep of a refining call: with each of its
// allocations failing in turn it answers -1000 and holds no lines, and the
// first run that needs no failure gives `lines` lines.  Returns the number
// of failed runs.
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
