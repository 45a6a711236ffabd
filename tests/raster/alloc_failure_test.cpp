// Memory failure in the raster stages: each allocation of a stage is made to
// fail in turn; the stage reports -1000, counts stay within capacities and a
// later call succeeds.  The sanitizer build checks that nothing leaks.
#include <gtest/gtest.h>

#include <functional>

#include "bitmap.h"
#include "vectorizer/memory.h"

namespace {

Bitmap drawing() {
    Bitmap b(40, 30);
    for (int x = 2; x < 38; ++x) b.set(x, 5);            // a bar
    for (int y = 5; y < 28; ++y) b.set(20, y);           // a stem: T junction
    for (int i = 0; i < 12; ++i) b.set(3 + i, 10 + i);   // a diagonal
    for (int x = 25; x < 35; ++x) { b.set(x, 15); b.set(x, 25); }  // a ring
    for (int y = 15; y <= 25; ++y) { b.set(25, y); b.set(34, y); }
    return b;
}

void expect_consistent(const CKTVector &v) {
    EXPECT_LE(v.segmentnum, v.segmentcapacity);
    for (int i = 0; i < v.segmentnum; ++i) {
        EXPECT_LE(v.segment[i].pointnum, v.segment[i].pointcapacity);
    }
    if (!v.point) {
        EXPECT_EQ(v.pointnum, 0);
    }
}

// Fails the 1st, 2nd, ... request of `stage` until it succeeds; returns the
// number of failure points swept.
int sweep(const std::function<void(CKTVector &)> &setup,
          const std::function<int(CKTVector &)> &stage) {
    for (int n = 1;; ++n) {
        CKTVector v;
        setup(v);
        ktv::mem_fail_at(n);
        const int r = stage(v);
        ktv::mem_fail_at(0);
        if (r == 0) return n - 1;
        EXPECT_EQ(r, -1000) << "request " << n;
        expect_consistent(v);
        EXPECT_EQ(stage(v), 0) << "retry after failing request " << n;
        expect_consistent(v);
        if (n > 10000) {
            ADD_FAILURE() << "stage never succeeds";
            return n;
        }
    }
}

}  // namespace

TEST(AllocFailure, RasterPreparation) {
    Bitmap b = drawing();
    auto setup = [&](CKTVector &v) { v.msetdocument(b.data(), b.width, b.height); };
    EXPECT_GE(sweep(setup, [](CKTVector &v) { return v.makethindata(); }), 3);
    EXPECT_GE(sweep(setup, [](CKTVector &v) { return v.makeoutlinedata(); }), 3);
    EXPECT_GE(sweep(setup, [](CKTVector &v) { return v.make1sideoutlinedata(); }), 3);
}

TEST(AllocFailure, BufferSetUp) {
    Bitmap b = drawing();
    CKTVector v;
    load_working_raster(v, b);
    ktv::mem_fail_at(1);
    EXPECT_EQ(v.minitbuffer(), -1000);
    EXPECT_EQ(v.point, nullptr);
    EXPECT_EQ(v.pointnum, 0);
    ktv::mem_fail_at(2);
    EXPECT_EQ(v.minitbuffer(), -1000);  // rows fail: points stay, rows are gone
    ktv::mem_fail_at(0);
    EXPECT_NE(v.point, nullptr);
    EXPECT_EQ(v.pointnum, b.count());
    EXPECT_EQ(v.lineinfo, nullptr);
    EXPECT_EQ(v.minitbuffer(), 0);
}

TEST(AllocFailure, Tracing) {
    Bitmap b = drawing();
    auto setup = [&](CKTVector &v) {
        load_working_raster(v, b);
        ASSERT_EQ(v.minitbuffer(), 0);
    };
    // A retry after a failed trace finds the points of the failed walks
    // already flagged, so it is judged on its result only; the run below
    // starts from fresh points.
    const int points = sweep(setup, [](CKTVector &v) { return v.mtrace(); });
    EXPECT_GT(points, 4);
    CKTVector v;
    setup(v);
    EXPECT_EQ(v.mtrace(), 0);
}

TEST(AllocFailure, ZeroSizeRequestsAreNotFailures) {
    Bitmap blank(16, 16);
    CKTVector v;
    load_working_raster(v, blank);
    EXPECT_EQ(v.minitbuffer(), 0);
    EXPECT_EQ(v.pointnum, 0);
    Bitmap empty(0, 0);
    CKTVector w;
    load_working_raster(w, empty);
    EXPECT_EQ(w.minitbuffer(), 0);
    EXPECT_EQ(w.mtrace(), 0);
}

TEST(AllocFailure, HugeDocumentGivesOutOfMemoryNotWrapAround) {
    static unsigned char byte = 0;
    CKTVector v;
    v.msetdocument(&byte, 0x7ffffff0, 0x7ffffff0);  // ~2^31 x 2^31 pixels
    EXPECT_EQ(v.makethindata(), -1000);
    EXPECT_EQ(v.thindata, nullptr);
}
