// Polyline construction from link ids, and hand-made two-node polylines.
#include <gtest/gtest.h>

#include <algorithm>

#include "chains.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

class Construction : public ::testing::Test {
protected:
    void SetUp() override { setup_rows(v, 40, 20); }
    void TearDown() override { ktv::mem_fail_at(0); }
    _KTNODE *at(int x, int y) { return Peer::msearchjust(v, x, y); }
    bool all_marks_clear() {
        for (int i = 0; i < v.nodenum; ++i)
            for (int j = 0; j < v.node[i].linknum; ++j)
                if (v.node[i].link[j].mark) return false;
        return true;
    }
    CKTVector v;
    Chains c;
};

// A bend whose corner-cut approximation has the nodes (0,0), (9,0), (13,5).
Pixels bend() {
    Pixels p = run(0, 0, 10, 0);
    p.insert(p.end(), {{11, 1}, {12, 3}, {13, 5}});
    return p;
}

TEST_F(Construction, NoSegmentGivesAnEmptyTable) {
    ASSERT_EQ(v.mapplox(1.0, 1), 0);
    EXPECT_EQ(v.makepolyline(), 0);
    EXPECT_EQ(v.polylinenum, 0);
    EXPECT_EQ(v.polylinecapacity, 0);
    // Before any approximation there is no id at all.
    CKTVector w;
    EXPECT_EQ(w.makepolyline(), 0);
    EXPECT_EQ(w.polylinenum, 0);
}

TEST_F(Construction, OpenSegmentRunsAgainstTheTraceDirection) {
    add_chain(v, c, bend());
    ASSERT_EQ(v.mapplox2(1.0, 1), 0);
    ASSERT_EQ(v.makepolyline(), 0);
    ASSERT_EQ(v.polylinenum, 1);
    EXPECT_EQ(polyline_pixels(v, 1), (Pixels{{13, 5}, {9, 0}, {0, 0}}));
    EXPECT_EQ(polyline_pixels(v, -1), polyline_pixels(v, 1));
    const _KTPOLYLINE *p = v.mgetpolyline(1);
    EXPECT_EQ(p->nodecapacity, 4);
    EXPECT_EQ(p->flag | p->deleted | p->modify | p->jointmark, 0);
    EXPECT_EQ(p->prevnum + p->nextnum, 0);
    EXPECT_TRUE(all_marks_clear());
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(Construction, ClosedSegmentWithSearchStartsAndEndsAtItsFirstNode) {
    add_chain(v, c, run(0, 15, 6, 15));  // an earlier polyline, lower node indices
    add_chain(v, c, ring(3, 2, 9, 7));
    ASSERT_EQ(v.mapplox(0.5, 1), 0);
    ASSERT_EQ(v.makepolyline(), 0);
    ASSERT_EQ(v.polylinenum, 2);
    const Pixels p = polyline_pixels(v, 2);
    ASSERT_GE(p.size(), 4u);
    EXPECT_EQ(p.front(), (std::pair<int, int>{3, 2}));
    EXPECT_EQ(p.back(), p.front());
    EXPECT_EQ(v.mgetpolyline(2)->nodeindex[0], v.mgetpolyline(2)->nodeindex[p.size() - 1]);
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(Construction, ClosedSegmentWithoutSearchIsOpenAtOnePixel) {
    add_chain(v, c, ring(3, 2, 9, 7));
    ASSERT_EQ(v.mapplox(0.5, 0), 0);
    ASSERT_EQ(v.makepolyline(), 0);
    const _KTPOLYLINE *p = v.mgetpolyline(1);
    const Pixels px = polyline_pixels(v, 1);
    EXPECT_NE(p->nodeindex[0], p->nodeindex[p->nodenum - 1]);
    EXPECT_EQ(px.front(), px.back());
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(Construction, SharedFirstNodeStillStartsAtTheOwnLastNode) {
    add_chain(v, c, run(0, 5, 6, 5));
    add_chain(v, c, run(6, 5, 6, 12));  // starts where the first ends
    ASSERT_EQ(v.mapplox(1.0, 1), 0);
    ASSERT_EQ(v.makepolyline(), 0);
    EXPECT_EQ(polyline_pixels(v, 1), (Pixels{{6, 5}, {0, 5}}));
    EXPECT_EQ(polyline_pixels(v, 2), (Pixels{{6, 12}, {6, 5}}));
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(Construction, SegmentWithoutLinksKeepsAnEmptyRecord) {
    add_chain(v, c, run(0, 0, 5, 0));
    add_chain(v, c, {{9, 9}, {9, 9}});
    add_chain(v, c, run(0, 3, 5, 3));
    ASSERT_EQ(v.mapplox(1.0, 1), 0);
    ASSERT_EQ(v.makepolyline(), 0);
    ASSERT_EQ(v.polylinenum, 3);
    EXPECT_EQ(v.mgetpolyline(2)->nodenum, 0);
    EXPECT_EQ(v.mgetpolyline(3)->nodenum, 2);
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(Construction, RebuildingReplacesTheTable) {
    add_chain(v, c, bend());
    add_chain(v, c, ring(20, 2, 30, 9));
    ASSERT_EQ(v.mapplox(0.5, 1), 0);
    ASSERT_EQ(v.makepolyline(), 0);
    const Pixels one = polyline_pixels(v, 1), two = polyline_pixels(v, 2);
    ASSERT_EQ(v.makepolyline(), 0);
    EXPECT_EQ(polyline_pixels(v, 1), one);
    EXPECT_EQ(polyline_pixels(v, 2), two);
}

TEST_F(Construction, HandMadePolylineGetsTheNextId) {
    add_chain(v, c, run(0, 0, 5, 0));
    add_chain(v, c, run(0, 3, 5, 3));
    add_chain(v, c, run(12, 5, 15, 5));
    ASSERT_EQ(v.mapplox(1.0, 1), 0);
    ASSERT_EQ(v.makepolyline(), 0);
    const int before = v.nodenum;
    ASSERT_EQ(v.makenewpolyline(10, 5, 20, 5), 0);
    ASSERT_EQ(v.polylinenum, 4);
    EXPECT_EQ(v.polylinecapacity, 4);
    EXPECT_EQ(v.nodenum, before + 2);
    const _KTPOLYLINE *p = v.mgetpolyline(4);
    ASSERT_EQ(p->nodenum, 2);
    EXPECT_EQ(p->nodecapacity, 2);
    EXPECT_EQ(polyline_pixels(v, 4), (Pixels{{10, 5}, {20, 5}}));
    const _KTNODELINK *l = v.mgetnodelink(&v.node[p->nodeindex[0]], &v.node[p->nodeindex[1]], 4);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->id, 4);
    EXPECT_DOUBLE_EQ(l->length, 10.0);
    EXPECT_EQ(l->area, 0.0);
    EXPECT_EQ(check_graph(v), "");  // row 5 is in x order: 10, 12, 15, 20

    // New nodes also where nodes already stand.
    ASSERT_EQ(v.makenewpolyline(10, 5, 12, 5), 0);
    EXPECT_EQ(v.nodenum, before + 4);
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(Construction, HandMadePolylineIsClampedIntoTheRaster) {
    ASSERT_EQ(v.makenewpolyline(-5, 3, 100, 99), 0);
    EXPECT_EQ(polyline_pixels(v, 1), (Pixels{{0, 3}, {39, 19}}));
    EXPECT_EQ(check_graph(v), "");
    CKTVector w;  // no rows at all
    ASSERT_EQ(w.makenewpolyline(1, 1, 2, 2), 0);
    EXPECT_EQ(w.polylinenum, 1);
}

TEST_F(Construction, HandMadePolylineMemoryFailures) {
    int failures = 0;
    for (long n = 1; n < 50; ++n) {
        CKTVector w;
        setup_rows(w, 16, 8);
        ASSERT_EQ(w.makenewpolyline(1, 1, 5, 1), 0);
        ktv::mem_fail_at(n);
        const int r = w.makenewpolyline(2, 1, 7, 4);
        ktv::mem_fail_at(0);
        ASSERT_EQ(check_graph(w, weak_checks()), "") << "request " << n;
        if (r == 0) {
            EXPECT_EQ(w.polylinenum, 2);
            break;
        }
        ++failures;
        ASSERT_EQ(r, -1000);
        EXPECT_EQ(w.polylinenum, 1);
        ASSERT_EQ(w.makenewpolyline(3, 3, 4, 4), 0);
        EXPECT_EQ(w.polylinenum, 2);
        EXPECT_EQ(polyline_pixels(w, 2), (Pixels{{3, 3}, {4, 4}}));
    }
    EXPECT_GE(failures, 4);
}

TEST_F(Construction, MemoryFailuresInConstruction) {
    add_chain(v, c, bend());
    add_chain(v, c, ring(20, 2, 30, 9));
    for (int i = 0; i < 6; ++i) add_chain(v, c, run(0, 10 + i, 14, 10 + i));
    int failures = 0;
    for (long n = 1; n < 200; ++n) {
        // An interrupted construction leaves its marks (they would hide the
        // polylines from a second construction), so every attempt starts
        // from a fresh graph.
        ASSERT_EQ(v.mapplox(0.5, 1), 0);
        ktv::mem_fail_at(n);
        const int r = v.makepolyline();
        ktv::mem_fail_at(0);
        if (r == 0) break;
        ++failures;
        ASSERT_EQ(r, -1000);
        ASSERT_LE(v.polylinenum, v.polylinecapacity);
        ASSERT_EQ(check_graph(v, weak_checks()), "") << "request " << n;
    }
    EXPECT_EQ(failures, 10);  // the table, one block per polyline, one growth
    EXPECT_EQ(v.polylinenum, 8);
    EXPECT_EQ(check_graph(v), "");
}

// A traced chain that runs into one of its own points: a tail
// (0,9) -> (0,5) -> (8,5), then a loop (8,5) -> (8,1) -> (12,1) -> (12,5) ->
// (8,5).  With search on, the last vertex is the tail's corner node, which
// then carries two +1 links; the backward search from the tail would circle
// the loop for ever if it were not bounded.
TEST_F(Construction, ChainRunningIntoItselfStillEnds) {
    Pixels p = run(0, 9, 0, 5);
    for (const Pixels &part : {run(1, 5, 8, 5), run(8, 4, 8, 1), run(9, 1, 12, 1), run(12, 2, 12, 5),
                               run(11, 5, 8, 5)})
        p.insert(p.end(), part.begin(), part.end());
    add_chain(v, c, p);
    ASSERT_EQ(v.mapplox(0.0, 1), 0);
    ASSERT_EQ(v.nodenum, 6);
    ASSERT_EQ(at(8, 5)->linknum, 3);

    // The backward search stops at the junction and leaves no tag behind.
    EXPECT_EQ(Peer::msearchstartpoint(v, at(0, 5), 1), at(8, 5));
    EXPECT_EQ(Peer::msearchstartpoint(v, at(12, 1), 1), at(12, 1));  // round the loop
    EXPECT_TRUE(all_marks_clear());

    ASSERT_EQ(v.makepolyline(), 0);
    EXPECT_EQ(polyline_pixels(v, 1), (Pixels{{8, 5}, {0, 5}, {0, 9}}));
    EXPECT_TRUE(all_marks_clear());
    // The loop's links belong to no record and the record does not reach
    // the chain's end: the weak form.
    EXPECT_EQ(check_graph(v, weak_checks()), "");
}

// The other way round, as tracing produced it from a noisy raster: a loop
// from (4,3) back to (4,3), then a tail on to (4,5).  The first node closes
// the loop, so the backward search stops there and the polyline is the loop;
// the tail's link keeps the id without being walked again.
TEST_F(Construction, ChainLeavingItsOwnLoopStillEnds) {
    add_chain(v, c, {{4, 3}, {3, 2}, {2, 1}, {3, 0}, {4, 0}, {5, 1}, {5, 2}, {4, 3}, {4, 4}, {4, 5}});
    ASSERT_EQ(v.mapplox(0.0, 1), 0);
    ASSERT_EQ(v.makepolyline(), 0);
    const Pixels p = polyline_pixels(v, 1);
    EXPECT_EQ(p.front(), (std::pair<int, int>{4, 3}));
    EXPECT_EQ(p.back(), p.front());
    EXPECT_EQ(std::count(p.begin(), p.end(), std::pair<int, int>{4, 5}), 0);
    EXPECT_TRUE(all_marks_clear());
    EXPECT_EQ(check_graph(v, weak_checks()), "");
}

// The forward walk: a hand-made graph whose junction's first +1 link leads
// into a loop that does not come back to the walk's start.
TEST_F(Construction, ForwardWalkStopsAtALinkItAlreadyFollowed) {
    CKTVector w;
    setup_rows(w, 20, 4);
    for (int x : {0, 4, 8, 12}) {
        _KTPOINT pt{};
        pt.x = x;
        pt.y = 1;
        Peer::mregistnode(w, 0, &pt);
    }
    _KTNODE *n = w.node;  // X = 0, J = 1, A = 2, B = 3; no more registrations
    w.mlinknode(1, 4.0, 0.0, &n[0], &n[1]);
    w.mlinknode(1, 4.0, 0.0, &n[1], &n[2]);
    w.mlinknode(1, 4.0, 0.0, &n[2], &n[3]);
    w.mlinknode(1, 8.0, 0.0, &n[3], &n[1]);
    w.polylineid = 2;
    ASSERT_EQ(w.makepolyline(), 0);
    const _KTPOLYLINE *p = w.mgetpolyline(1);
    EXPECT_EQ(std::vector<int>(p->nodeindex, p->nodeindex + p->nodenum), (std::vector<int>{0, 1, 2, 3, 1}));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < n[i].linknum; ++j) EXPECT_EQ(n[i].link[j].mark, 0);
}

}  // namespace
