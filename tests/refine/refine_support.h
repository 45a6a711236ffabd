// What the tests of both refining stages share.
#ifndef KTVEC_TEST_REFINE_SUPPORT_H
#define KTVEC_TEST_REFINE_SUPPORT_H

#include <vector>

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

// The allocation-failure sweep of a refining call on `threads` threads:
// with each of its allocations failing in turn it answers -1000 and holds
// no lines, and the first run that needs no failure gives `lines` lines.
// Returns the number of failed runs.
inline int sweep_refiner(CKTVector &v, int (CKTRefiner::*call)(CKTVector *), int lines, int threads) {
    return sweep([&](long n) {
        CKTRefiner r;
        r.msetthreadnum(threads);
        int rc = 0;
        const bool failed = fails_at(n, [&] { rc = (r.*call)(&v); });
        EXPECT_EQ(rc, failed ? -1000 : 0) << "allocation " << n;
        EXPECT_EQ(r.mgetlinenum(), failed ? 0 : lines) << "allocation " << n;
        return failed;
    });
}

// Every number the lines of `r` hold, in order: two runs agree when these
// do.
inline std::vector<double> line_numbers(const CKTRefiner &r) {
    std::vector<double> numbers;
    for (int i = 0; i < r.mgetlinenum(); ++i) {
        const _KTREFINEDLINE &l = *r.mgetline(i);
        numbers.insert(numbers.end(), {double(l.source), double(l.closed), double(l.pointnum)});
        for (int k = 0; k < l.pointnum; ++k) numbers.insert(numbers.end(), {l.point[k].x, l.point[k].y, double(l.node[k])});
    }
    return numbers;
}

// The threads share the work of `call`, never its result: 2, 3 and 16
// threads give the lines one gives.
inline void expect_same_on_any_threads(CKTVector &v, int (CKTRefiner::*call)(CKTVector *)) {
    std::vector<double> one;
    for (const int threads : {1, 2, 3, 16}) {
        CKTRefiner r;
        r.msetthreadnum(threads);
        ASSERT_EQ((r.*call)(&v), 0);
        if (threads == 1) one = line_numbers(r);
        else EXPECT_EQ(line_numbers(r), one) << threads << " threads";
    }
    EXPECT_FALSE(one.empty());
}

#endif
