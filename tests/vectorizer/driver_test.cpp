// The driver frame and the fast outline driver, end to end from a document.
#include <gtest/gtest.h>

#include <vector>

#include "bitmap.h"
#include "chains.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

// Everything a host reads: node count and each polyline's node pixels.
struct Snapshot {
    int nodes = 0;
    std::vector<Pixels> polylines;
    bool operator==(const Snapshot &o) const { return nodes == o.nodes && polylines == o.polylines; }
};

Snapshot snapshot(CKTVector &v) {
    Snapshot s;
    s.nodes = v.mgetnodenum();
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) s.polylines.push_back(polyline_pixels(v, id));
    return s;
}

void fill(Bitmap &b, int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) b.set(x, y);
}

// Two filled rectangles and a thick ring: three separate black areas.
Bitmap shapes() {
    Bitmap b(64, 40);
    fill(b, 4, 4, 23, 15);
    fill(b, 30, 6, 38, 30);
    fill(b, 44, 20, 60, 36);
    for (int y = 25; y <= 31; ++y)
        for (int x = 49; x <= 55; ++x) b.set(x, y, false);
    return b;
}

// Sets b as v's document and runs the fast outline driver on it.
int outline(CKTVector &v, Bitmap &b, double tolerance = 1.0, int search = 1, int maxlength = 10,
            int ignored = 0) {
    v.msetdocument(b.data(), b.width, b.height);
    return v.mabstractoutlinefast(maxlength, ignored, tolerance, search);
}

int live_polylines_with_nodes(CKTVector &v) {
    int n = 0;
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        if (!p->deleted && p->nodenum > 0) ++n;
    }
    return n;
}

bool within_capacities(CKTVector &v) {
    if (v.nodenum < 0 || v.nodenum > v.nodecapacity) return false;
    if (v.polylinenum < 0 || v.polylinenum > v.polylinecapacity) return false;
    if (v.segmentnum < 0 || v.segmentnum > v.segmentcapacity) return false;
    for (int i = 0; i < v.nodenum; ++i)
        if (v.node[i].linknum < 0) return false;
    for (int y = 0; v.lineinfo && y < Peer::linerows(v); ++y)
        if (v.lineinfo[y].nodenum > v.lineinfo[y].nodecapacity) return false;
    for (int i = 0; i < v.polylinenum; ++i)
        if (v.polyline[i].nodenum > v.polyline[i].nodecapacity) return false;
    return true;
}

class Driver : public ::testing::Test {
protected:
    void TearDown() override { ktv::mem_fail_at(0); }
};

TEST_F(Driver, BlankDocumentGivesNothing) {
    Bitmap b(50, 30);
    CKTVector v;
    EXPECT_EQ(outline(v, b), 0);
    EXPECT_EQ(v.mgetnodenum(), 0);
    EXPECT_EQ(v.mgetpolylinenum(), 0);
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(Driver, EmptyDocumentGivesNothing) {
    CKTVector v;
    v.msetdocument(nullptr, 0, 0);
    EXPECT_EQ(v.mabstractoutlinefast(10, 0, 1.0, 1), 0);
    EXPECT_EQ(v.mgetnodenum(), 0);
}

TEST_F(Driver, OutlinesOfShapesCloseWithNodeSearch) {
    Bitmap b = shapes();
    CKTVector v;
    ASSERT_EQ(outline(v, b), 0);
    EXPECT_EQ(check_graph(v), "");
    EXPECT_GE(live_polylines_with_nodes(v), 4);  // three outer outlines and the hole
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        if (p->nodenum == 0) continue;
        EXPECT_EQ(p->nodeindex[0], p->nodeindex[p->nodenum - 1]) << "polyline " << id;
    }
}

TEST_F(Driver, WithoutNodeSearchOutlinesStayOpenAtOnePixel) {
    Bitmap b = shapes();
    CKTVector v;
    ASSERT_EQ(outline(v, b, 1.0, 0), 0);
    EXPECT_EQ(check_graph(v), "");
    int open_at_one_pixel = 0;
    for (int id = 1; id <= v.mgetpolylinenum(); ++id) {
        const _KTPOLYLINE *p = v.mgetpolyline(id);
        if (p->nodenum == 0) continue;
        EXPECT_NE(p->nodeindex[0], p->nodeindex[p->nodenum - 1]) << "polyline " << id;
        const _KTNODE *a = v.mgetnode(p->nodeindex[0]);
        const _KTNODE *z = v.mgetnode(p->nodeindex[p->nodenum - 1]);
        if (a->x == z->x && a->y == z->y) ++open_at_one_pixel;
    }
    EXPECT_GE(open_at_one_pixel, 4);
}

TEST_F(Driver, IsTheStagesInOrder) {
    Bitmap b = shapes();
    CKTVector v;
    ASSERT_EQ(outline(v, b, 1.5, 1, 6), 0);

    CKTVector w;
    w.msetdocument(b.data(), b.width, b.height);
    ASSERT_EQ(w.make1sideoutlinedata(), 0);
    ASSERT_EQ(w.minitbuffer(), 0);
    w.mpreprocess1();
    ASSERT_EQ(w.mtrace(), 0);
    w.mpreprocess2(6);
    ASSERT_EQ(w.mapplox(1.5, 1), 0);
    ASSERT_EQ(w.makepolyline(), 0);
    EXPECT_EQ(snapshot(v), snapshot(w));
}

TEST_F(Driver, SecondArgumentHasNoEffect) {
    Bitmap b = shapes();
    CKTVector v, w;
    ASSERT_EQ(outline(v, b), 0);
    ASSERT_EQ(outline(w, b, 1.0, 1, 10, 37), 0);
    EXPECT_EQ(snapshot(v), snapshot(w));
}

TEST_F(Driver, RunsAgainOnTheSameVectorizer) {
    Bitmap b = shapes();
    CKTVector v;
    ASSERT_EQ(outline(v, b), 0);
    const Snapshot first = snapshot(v);
    ASSERT_EQ(v.mabstractoutlinefast(10, 0, 1.0, 1), 0);
    EXPECT_EQ(snapshot(v), first);
    EXPECT_EQ(check_graph(v), "");

    // A smaller document next: the rows are rebuilt for it.
    Bitmap small(20, 8);
    fill(small, 3, 2, 15, 6);
    ASSERT_EQ(outline(v, small), 0);
    EXPECT_EQ(check_graph(v), "");
    for (int i = 0; i < v.mgetnodenum(); ++i) EXPECT_LT(v.mgetnode(i)->y, 8);

    ASSERT_EQ(outline(v, b), 0);
    EXPECT_EQ(snapshot(v), first);
}

// Number of allocation requests of one run on a fresh vectorizer.
long requests_of_a_run(Bitmap &b) {
    CKTVector v;
    const long before = ktv::mem_requests();
    EXPECT_EQ(outline(v, b), 0);
    return ktv::mem_requests() - before;
}

// Fail each allocation request of a run in turn.  Every one either is
// reported as -1000 or (inside the filter, which may fall back on a path
// that needs no memory) leaves the result as it would have been.
TEST_F(Driver, EveryMemoryFailureIsReported) {
    Bitmap b = shapes();
    CKTVector ref;
    ASSERT_EQ(outline(ref, b), 0);
    const Snapshot expect = snapshot(ref);

    const long total = requests_of_a_run(b);
    int failures = 0;
    for (long n = 1; n <= total; ++n) {
        CKTVector v;
        ktv::mem_fail_at(n);
        const int r = outline(v, b);
        ktv::mem_fail_at(0);
        ASSERT_TRUE(within_capacities(v)) << "request " << n;
        if (r == 0) {
            EXPECT_EQ(snapshot(v), expect) << "request " << n;
            continue;
        }
        ++failures;
        ASSERT_EQ(r, -1000) << "request " << n;
        ASSERT_EQ(check_graph(v, weak_checks()), "") << "request " << n;
        // The same vectorizer runs cleanly afterwards.
        ASSERT_EQ(v.mabstractoutlinefast(10, 0, 1.0, 1), 0) << "request " << n;
        ASSERT_EQ(snapshot(v), expect) << "request " << n;
    }
    EXPECT_GT(failures, 20);
}

// The same on a vectorizer that already holds a result: the stages that
// did not run keep the earlier layers, counts stay within capacities, and
// the next run restores the full result.
TEST_F(Driver, MemoryFailureOnAVectorizerWithAnEarlierResult) {
    Bitmap b = shapes();
    CKTVector v;
    ASSERT_EQ(outline(v, b), 0);
    const Snapshot expect = snapshot(v);
    const long total = requests_of_a_run(b);
    for (long n = 1; n <= total; ++n) {
        ktv::mem_fail_at(n);
        const int r = v.mabstractoutlinefast(10, 0, 1.0, 1);
        ktv::mem_fail_at(0);
        ASSERT_TRUE(within_capacities(v)) << "request " << n;
        ASSERT_TRUE(r == 0 || r == -1000) << "request " << n << ": " << r;
        ASSERT_EQ(v.mabstractoutlinefast(10, 0, 1.0, 1), 0) << "request " << n;
        ASSERT_EQ(snapshot(v), expect) << "request " << n;
    }
}

}  // namespace
