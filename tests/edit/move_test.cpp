// Moving nodes, moving with attachment, and the corner refresh.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

std::vector<int> row_of(CKTVector &v, int y) {
    const KTLINEINFO &r = v.lineinfo[y];
    return std::vector<int>(r.nodeindex, r.nodeindex + r.nodenum);
}

// A 50 x 50 raster with polyline 1 through (10,5), (20,5), (30,5) and a
// lone node (40,5): row 5 holds all four.
class MoveNode : public testing::Test {
protected:
    CKTVector v;
    GraphBuilder g{v};
    MoveNode() {
        g.rows(50, 50);
        g.path({{10, 5}, {20, 5}, {30, 5}});
        g.node(40, 5);
    }
};

}  // namespace

TEST_F(MoveNode, WithinItsRowTheRowIsSortedAgain) {
    ASSERT_EQ(v.movenode(&v.node[0], 35, 5), 0);
    EXPECT_EQ(row_of(v, 5), (std::vector<int>{1, 2, 0, 3}));
    EXPECT_DOUBLE_EQ(g.find_link(0, 1, 1)->length, 15.0);
    EXPECT_DOUBLE_EQ(g.find_link(1, 0, -1)->length, 15.0);
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(MoveNode, ToAnotherRowTheNodeLeavesTheOldRow) {
    g.node(25, 9);
    ASSERT_EQ(v.movenode(&v.node[1], 23, 9), 0);
    EXPECT_EQ(row_of(v, 5), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(row_of(v, 9), (std::vector<int>{1, 4}));
    EXPECT_DOUBLE_EQ(g.find_link(1, 2, 1)->length, std::hypot(7.0, 4.0));
    EXPECT_DOUBLE_EQ(g.find_link(2, 1, -1)->length, std::hypot(7.0, 4.0));
    EXPECT_DOUBLE_EQ(g.find_link(0, 1, 1)->length, std::hypot(13.0, 4.0));
    EXPECT_EQ(check_graph(v), "");
}

// Areas and arc fields stay; every polyline through the node is marked,
// also when the node does not move.
TEST_F(MoveNode, MarksEveryPolylineThroughTheNodeOnlyLengthsChange) {
    g.path_of({1, 3});
    g.find_link(0, 1, 1)->area = 7;
    g.find_link(1, 0, -1)->area = -7;
    g.find_link(0, 1, 1)->arc = 1;
    v.msetmodify(0);
    ASSERT_EQ(v.movenode(&v.node[1], 20, 5), 0);
    EXPECT_EQ(v.polyline[0].modify, 1);
    EXPECT_EQ(v.polyline[1].modify, 1);
    EXPECT_EQ(g.find_link(0, 1, 1)->area, 7);
    EXPECT_EQ(g.find_link(0, 1, 1)->arc, 1);
    EXPECT_EQ(row_of(v, 5), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(check_graph(v), "");
}

// Two pairs between the same two nodes (a closed polyline of two nodes):
// each record and its own twin get the new length.
TEST_F(MoveNode, EveryTwinFollowsWhenTwoPairsJoinTwoNodes) {
    const int a = g.node(10, 20), b = g.node(20, 20);
    g.path_of({a, b, a});
    ASSERT_EQ(v.movenode(&v.node[b], 40, 20), 0);
    for (int k = 0; k < 2; ++k) {
        EXPECT_DOUBLE_EQ(v.node[a].link[k].length, 30.0);
        EXPECT_DOUBLE_EQ(v.node[b].link[k].length, 30.0);
    }
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(MoveNode, PositionsOutsideTheRasterAreClamped) {
    struct Case {
        int x, y, ex, ey;
    };
    const std::vector<Case> cases = {
        {-5, 5, 0, 5},   {70, 5, 49, 5},     {20, -1, 20, 0},   {20, 50, 20, 49},
        {-9, 999, 0, 49}, {999, -999, 49, 0}, {-2147483647 - 1, 2147483647, 0, 49},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        ASSERT_EQ(v.movenode(&v.node[1], c.x, c.y), 0);
        EXPECT_EQ(v.node[1].x, c.ex);
        EXPECT_EQ(v.node[1].y, c.ey);
        EXPECT_EQ(check_graph(v), "");
    }
}

TEST_F(MoveNode, RefusesNodesItDoesNotOwn) {
    _KTNODE stranger{};
    EXPECT_EQ(v.movenode(nullptr, 1, 1), -1);
    EXPECT_EQ(v.movenode(&stranger, 1, 1), -1);
    EXPECT_EQ(v.movenode(v.node + v.nodenum, 1, 1), -1);
    ASSERT_EQ(v.mdeletenode(&v.node[3]), 0);
    EXPECT_EQ(v.movenode(&v.node[3], 1, 1), -1);
    EXPECT_EQ(v.node[3].x, 40);
    EXPECT_EQ(check_graph(v), "");
}

// The new row cannot grow: the node stays where it was, in its old row.
TEST_F(MoveNode, FullRowThatCannotGrow) {
    for (int k = 0; k < 4; ++k) g.node(10 * k, 30);
    ktv::mem_fail_at(1);
    EXPECT_EQ(v.movenode(&v.node[1], 15, 30), -1000);
    ktv::mem_fail_at(0);
    EXPECT_EQ(v.node[1].x, 20);
    EXPECT_EQ(v.node[1].y, 5);
    EXPECT_EQ(row_of(v, 5), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(check_graph(v), "");
    EXPECT_EQ(v.movenodeattach(&v.node[1], 15, 30), 0);  // succeeds without injection
    EXPECT_EQ(row_of(v, 30), (std::vector<int>{4, 5, 1, 6, 7}));
    EXPECT_EQ(check_graph(v), "");
}

// The moved end node lands within two pixels of another polyline's end: the
// two ends become one node and the polylines one.
TEST_F(MoveNode, AttachJoinsANearEnd) {
    const int c = g.node(40, 30), d = g.node(30, 30);
    g.path_of({c, d});
    ASSERT_EQ(v.movenodeattach(&v.node[d], 31, 7), 0);
    int live = 0;
    for (int i = 0; i < v.polylinenum; ++i) live += !v.polyline[i].deleted;
    EXPECT_EQ(live, 1);
    EXPECT_EQ(v.node[d].deleted + v.node[2].deleted, 1);
    EXPECT_EQ(check_graph(v), "");
}

// Onto the middle of another polyline: it is split there and the moved node
// merged into its node, making a junction.
TEST_F(MoveNode, AttachOntoAMiddleNodeMakesAJunction) {
    const int c = g.node(20, 30), d = g.node(20, 20);
    g.path_of({c, d});
    ASSERT_EQ(v.movenodeattach(&v.node[d], 21, 6), 0);
    const int survivor = v.node[d].deleted ? 1 : d;
    EXPECT_EQ(v.node[survivor].linknum, 3);
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(MoveNode, AttachWithNothingNearOnlyMoves) {
    ASSERT_EQ(v.movenodeattach(&v.node[3], 45, 45), 0);
    EXPECT_EQ(v.node[3].x, 45);
    EXPECT_EQ(v.node[3].y, 45);
    EXPECT_EQ(v.nodenum, 4);
    EXPECT_EQ(check_graph(v), "");
    EXPECT_EQ(v.movenodeattach(nullptr, 1, 1), -1);
}

TEST_F(MoveNode, SharpenCornerRebuildsThePolylineOfTheFirstLink) {
    v.msetmodify(0);
    EXPECT_EQ(v.msharpencorner(&v.node[1], nullptr), 0);
    EXPECT_EQ(v.polyline[0].modify, 1);
    EXPECT_EQ(check_graph(v), "");
}

// The rebuild fails for want of memory; the answer is still 0.
TEST_F(MoveNode, SharpenCornerIgnoresAFailedRebuild) {
    const int id = g.path({{0, 40}, {5, 40}, {10, 40}, {15, 40}, {20, 40}});
    // The record lists only the first two nodes in a block of two, so the
    // rebuild has to grow it.
    _KTPOLYLINE &p = v.polyline[id - 1];
    ktv::release(p.nodeindex);
    p.nodeindex = ktv::alloc_array<int>(2);
    p.nodeindex[0] = 4;
    p.nodeindex[1] = 5;
    p.nodenum = p.nodecapacity = 2;
    const long failed = ktv::mem_failures();
    ktv::mem_fail_at(1, true);
    EXPECT_EQ(v.msharpencorner(&v.node[6], nullptr), 0);
    ktv::mem_fail_at(0);
    EXPECT_GT(ktv::mem_failures(), failed);
    EXPECT_EQ(v.msharpencorner(&v.node[6], nullptr), 0);
    EXPECT_EQ(nodes_of(v, id), (std::vector<int>{4, 5, 6, 7, 8}));
    EXPECT_EQ(check_graph(v), "");
}

// Every allocation of a move with attachment fails in turn (the new row is
// full, and joining onto a middle node splits a polyline and merges link
// arrays): the graph stays consistent whatever step gave out.
TEST_F(MoveNode, AttachAllocationFailures) {
    bool clean = false;
    int failures = 0;
    for (long n = 1; n < 40 && !clean; ++n) {
        SCOPED_TRACE(n);
        CKTVector w;
        GraphBuilder b(w);
        b.rows(50, 50);
        b.path({{10, 5}, {20, 5}, {30, 5}});
        for (int k = 0; k < 4; ++k) b.node(2 * k, 5);
        const int c = b.node(20, 30), d = b.node(20, 20);
        b.path_of({c, d});
        const long before = ktv::mem_failures();
        ktv::mem_fail_at(n);
        const int r = w.movenodeattach(&w.node[d], 21, 6);
        ktv::mem_fail_at(0);
        clean = ktv::mem_failures() == before;
        failures += !clean;
        EXPECT_TRUE(r == 0 || r == -1000) << r;
        EXPECT_EQ(check_graph(w, structural_checks()), "") << dump_graph(w);
    }
    EXPECT_TRUE(clean);
    EXPECT_GE(failures, 3) << failures;
}
