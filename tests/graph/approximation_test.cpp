// Polygonal approximation of hand-made segments into nodes and link pairs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "chains.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

class Approximation : public ::testing::Test {
protected:
    void SetUp() override { setup_rows(v, 40, 20); }
    void TearDown() override { ktv::mem_fail_at(0); }
    _KTNODE *at(int x, int y) { return Peer::msearchjust(v, x, y); }
    int ix(int x, int y) { return static_cast<int>(at(x, y) - v.node); }
    CheckOptions no_polylines() {
        CheckOptions o;
        o.polylines = false;
        return o;
    }
    CKTVector v;
    Chains c;
};

TEST_F(Approximation, NoSegmentsGiveAnEmptyGraph) {
    EXPECT_EQ(v.mapplox(1.0, 1), 0);
    EXPECT_EQ(v.nodenum, 0);
    EXPECT_EQ(v.polylineid, 1);
    add_chain(v, c, run(0, 0, 9, 0), true);
    EXPECT_EQ(v.mapplox2(1.0, 1), 0);
    EXPECT_EQ(v.nodenum, 0);
    EXPECT_EQ(v.polylineid, 1);
}

TEST_F(Approximation, StraightSegmentIsOnePairPointingBack) {
    add_chain(v, c, run(2, 3, 12, 3));
    ASSERT_EQ(v.mapplox(1.0, 1), 0);
    ASSERT_EQ(v.nodenum, 2);
    _KTNODE *first = at(2, 3);
    _KTNODE *last = at(12, 3);
    ASSERT_TRUE(first && last);
    ASSERT_EQ(last->linknum, 1);
    EXPECT_EQ(last->link[0].id, 1);  // +id on the record toward the first point
    EXPECT_EQ(last->link[0].node, ix(2, 3));
    EXPECT_EQ(first->link[0].id, -1);
    EXPECT_DOUBLE_EQ(last->link[0].length, 10.0);
    EXPECT_EQ(last->link[0].area, 0.0);
    EXPECT_EQ(first->link[0].area, 0.0);
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

TEST_F(Approximation, AreaIsHalfTheKernelSum) {
    // L1 on this bend: vertices (11,1) with S = 31 and (13,5) with S = 0.
    Pixels p = run(0, 0, 10, 0);
    p.insert(p.end(), {{11, 1}, {12, 3}, {13, 5}});
    add_chain(v, c, p);
    ASSERT_EQ(v.mapplox(1.0, 1), 0);
    ASSERT_EQ(v.nodenum, 3);
    _KTNODELINK *back = v.mgetnodelink(at(11, 1), at(0, 0), 1);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->id, 1);
    EXPECT_DOUBLE_EQ(back->area, 15.5);
    EXPECT_DOUBLE_EQ(v.mgetnodelink(at(0, 0), at(11, 1), 1)->area, -15.5);
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

TEST_F(Approximation, IdsCountOnlyApproximatedSegments) {
    add_chain(v, c, run(0, 0, 9, 0));
    add_chain(v, c, run(0, 2, 9, 2), true);
    add_chain(v, c, run(0, 4, 9, 4));
    ASSERT_EQ(v.mapplox(1.0, 1), 0);
    EXPECT_EQ(v.polylineid, 3);
    EXPECT_EQ(at(0, 2), nullptr);  // the discarded segment made nothing
    EXPECT_EQ(at(9, 4)->link[0].id, 2);
    EXPECT_EQ(at(0, 4)->link[0].id, -2);
}

TEST_F(Approximation, ClosedSegmentWithSearchIsALoopThroughOneNode) {
    add_chain(v, c, ring(2, 2, 8, 6));
    ASSERT_EQ(v.mapplox(0.5, 1), 0);
    _KTNODE *start = at(2, 2);
    ASSERT_EQ(start->linknum, 2);
    EXPECT_EQ(start->link[0].id, -1);  // toward the second node
    EXPECT_EQ(start->link[1].id, 1);   // back from the last vertex
    for (int i = 0; i < v.nodenum; ++i) EXPECT_EQ(v.node[i].linknum, 2);
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

TEST_F(Approximation, ClosedSegmentWithoutSearchEndsInASecondNode) {
    add_chain(v, c, ring(2, 2, 8, 6));
    ASSERT_EQ(v.mapplox(0.5, 0), 0);
    _KTNODE *start = at(2, 2);
    ASSERT_EQ(start->linknum, 1);
    int twins = 0;
    for (int i = 0; i < v.nodenum; ++i)
        if (v.node[i].x == 2 && v.node[i].y == 2) ++twins;
    EXPECT_EQ(twins, 2);
    EXPECT_EQ(v.lineinfo[2].nodenum, static_cast<int>(std::count_if(v.node, v.node + v.nodenum,
                                                                    [](const _KTNODE &n) { return n.y == 2; })));
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

TEST_F(Approximation, SegmentsMeetingAtAPixelShareItsNodeWhateverTheSearch) {
    add_chain(v, c, run(5, 5, 15, 5));
    add_chain(v, c, run(5, 5, 5, 15));
    ASSERT_EQ(v.mapplox(1.0, 0), 0);
    EXPECT_EQ(v.nodenum, 3);
    EXPECT_EQ(at(5, 5)->linknum, 2);
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

TEST_F(Approximation, ClosedTwoEntrySegmentLeavesOneNode) {
    add_chain(v, c, {{3, 3}, {3, 3}});
    add_chain(v, c, run(0, 8, 4, 8));
    ASSERT_EQ(v.mapplox(1.0, 0), 0);
    EXPECT_EQ(at(3, 3)->linknum, 0);
    EXPECT_EQ(v.nodenum, 3);
    EXPECT_EQ(at(4, 8)->link[0].id, 2);  // the empty segment still used id 1
}

TEST_F(Approximation, OpenTwoPointSegmentIsOneStraightPair) {
    add_chain(v, c, {{1, 1}, {4, 5}});
    ASSERT_EQ(v.mapplox2(1.0, 1), 0);
    ASSERT_EQ(v.nodenum, 2);
    _KTNODELINK *l = v.mgetnodelink(at(4, 5), at(1, 1), 1);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->id, 1);
    EXPECT_DOUBLE_EQ(l->length, 5.0);
    EXPECT_EQ(l->area, 0.0);
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

TEST_F(Approximation, CornerVerticesBecomeNodes) {
    // Tolerance 3 finds the bend of this chain as V_q = (8,0), V_j = (11,0),
    // V_k = (13,3), then the end (15,13).
    Pixels p = run(0, 0, 12, 0);
    p.insert(p.end(), {{13, 3}, {14, 8}, {15, 13}});
    add_chain(v, c, p);
    ASSERT_EQ(v.mapplox3(3.0, 1), 0);
    EXPECT_EQ(v.nodenum, 5);
    for (auto [x, y] : Pixels{{0, 0}, {8, 0}, {11, 0}, {13, 3}, {15, 13}}) EXPECT_NE(at(x, y), nullptr);
    EXPECT_NE(v.mgetnodelink(at(8, 0), at(0, 0), 1), nullptr);
    EXPECT_NE(v.mgetnodelink(at(15, 13), at(13, 3), 1), nullptr);
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

// The L3 kernel reports the start of this chain's first piece once more as
// an extra vertex; it is skipped with and without node search, so no node is
// linked to itself and no second node appears on the start pixel.
TEST_F(Approximation, CornerVertexOnThePieceStartIsSkipped) {
    Pixels p = run(0, 0, 9, 0);
    p.insert(p.end(), {{10, 3}, {11, 4}, {12, 5}, {13, 6}, {14, 7}, {15, 8}, {16, 9}});
    add_chain(v, c, p);
    for (int search = 0; search <= 1; ++search) {
        ASSERT_EQ(v.mapplox3(3.4, search), 0);
        EXPECT_EQ(v.nodenum, 4) << "search " << search;  // (0,0), (7,0), (13,6), (16,9)
        EXPECT_EQ(at(0, 0)->linknum, 1);
        EXPECT_NE(v.mgetnodelink(at(7, 0), at(0, 0), 1), nullptr);
        for (int i = 0; i < v.nodenum; ++i)
            for (int j = 0; j < v.node[i].linknum; ++j) EXPECT_NE(v.node[i].link[j].node, i);
        EXPECT_EQ(check_graph(v, no_polylines()), "");
    }
}

TEST_F(Approximation, ARunReplacesTheGraphOfThePreviousOne) {
    add_chain(v, c, ring(2, 2, 8, 6));
    add_chain(v, c, run(10, 10, 20, 15));
    ASSERT_EQ(v.mapplox(0.5, 1), 0);
    const int nodes = v.nodenum;
    // Again on the same vectorizer: the old links are released (no leak
    // under the sanitizer) and the rows list every node once.
    ASSERT_EQ(v.mapplox2(0.5, 1), 0);
    ASSERT_EQ(v.mapplox(0.5, 1), 0);
    EXPECT_EQ(v.nodenum, nodes);
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

TEST_F(Approximation, EveryMemoryFailureReportsAndLeavesAConsistentGraph) {
    add_chain(v, c, ring(2, 2, 12, 9));
    add_chain(v, c, run(0, 12, 30, 18));
    add_chain(v, c, run(14, 1, 14, 10));
    ASSERT_EQ(v.mapplox2(0.4, 1), 0);
    const int nodes = v.nodenum;
    int failures = 0;
    for (long n = 1; n < 500; ++n) {
        ktv::mem_fail_at(n);
        const int r = v.mapplox2(0.4, 1);
        ktv::mem_fail_at(0);
        if (r == 0) break;
        ++failures;
        ASSERT_EQ(r, -1000) << "request " << n;
        ASSERT_EQ(check_graph(v, weak_checks()), "") << "request " << n;
    }
    EXPECT_GT(failures, 5);
    ASSERT_EQ(v.mapplox2(0.4, 1), 0);
    EXPECT_EQ(v.nodenum, nodes);
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

}  // namespace
