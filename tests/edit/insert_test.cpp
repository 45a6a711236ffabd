// Node insertion into the link nearest a clicked point.
#include <gtest/gtest.h>

#include <vector>

#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

// A horizontal link (0,0) -> (100,0) as polyline 1 on a 200 x 200 raster.
struct Line {
    CKTVector v;
    GraphBuilder g{v};
    Line() {
        g.rows(200, 200);
        g.path({{0, 0}, {100, 0}});
    }
};

struct Click {
    double x, y, margin, maxdistance;
    int result;  // 1 inserted, 0 refused
};

// An empty graph on a 200 x 200 raster.
class InsertNode : public testing::Test {
protected:
    CKTVector v;
    GraphBuilder g{v};
    InsertNode() { g.rows(200, 200); }
};

}  // namespace

// The foot must fall strictly inside (margin, 1 - margin) and the distance
// stay strictly below maxdistance.
TEST_F(InsertNode, MarginAndDistanceRefusals) {
    const std::vector<Click> clicks = {
        {50, 3, 0.1, 5, 1},   {10, 3, 0.1, 5, 0},    {11, 3, 0.1, 5, 1},  {50, 5, 0.1, 5, 0},
        {50, 4.9, 0.1, 5, 1}, {-5, 0, 0.0, 5, 0},   {105, 0, 0.0, 5, 0}, {50, -4, 0.1, 5, 1},
        {95, 0, 0.1, 50, 0},  {89, 0, 0.1, 50, 1},
    };
    for (const Click &c : clicks) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " margin " << c.margin);
        Line l;
        EXPECT_EQ(l.v.minsertnode(c.x, c.y, c.margin, c.maxdistance), c.result);
        EXPECT_EQ(l.v.nodenum, 2 + c.result);
        EXPECT_EQ(l.v.polyline[0].nodenum, 2 + c.result);
        EXPECT_EQ(check_graph(l.v), "");
    }
}

TEST_F(InsertNode, NewNodeSplitsTheLinkAlongThePolyline) {
    g.path({{0, 50}, {10, 50}});
    g.path({{0, 80}, {10, 80}});
    const int id = g.path({{20, 20}, {120, 60}, {120, 160}});
    ASSERT_EQ(id, 3);
    const int a = 4, b = 5;
    v.msetmodify(0);
    ASSERT_EQ(v.minsertnode(71, 39, 0.1, 3), 1);
    const int n = v.nodenum - 1;
    EXPECT_EQ(v.node[n].x, 70);  // foot (70.5, 40.2) at t = 0.505
    EXPECT_EQ(v.node[n].y, 40);
    ASSERT_EQ(v.node[n].linknum, 2);
    EXPECT_EQ(v.node[n].link[0].node, a);
    EXPECT_EQ(v.node[n].link[0].id, -3);
    EXPECT_EQ(v.node[n].link[1].node, b);
    EXPECT_EQ(v.node[n].link[1].id, 3);
    EXPECT_EQ(nodes_of(v, 3), (std::vector<int>{a, n, b, 6}));
    EXPECT_EQ(v.polyline[2].modify, 1);
    EXPECT_EQ(v.polyline[0].modify, 0);
    EXPECT_EQ(check_graph(v), "");
}

// No comparison of distances: the link met last in node and link order wins.
TEST_F(InsertNode, LastQualifyingLinkWinsOverANearerOne) {
    g.path({{0, 0}, {100, 0}});
    g.path({{0, 10}, {100, 10}});
    ASSERT_EQ(v.minsertnode(50, 1, 0.1, 20), 1);
    EXPECT_EQ(nodes_of(v, 1).size(), 2u);
    EXPECT_EQ(nodes_of(v, 2), (std::vector<int>{2, 4, 3}));
    EXPECT_EQ(v.node[4].y, 10);
    EXPECT_EQ(check_graph(v), "");
}

// Two polylines run along one link in opposite directions; the node met
// last holds the backward record of one first.  The forward pair that the
// scan chose is cut, the other keeps its link.
TEST_F(InsertNode, TwoPairsOnOneLinkTheForwardOneIsCut) {
    const int a = g.node(0, 0), b = g.node(100, 0);
    g.link(a, b, 1);
    g.link(b, a, 2);
    ASSERT_EQ(g.polyline({a, b}), 1);
    ASSERT_EQ(g.polyline({b, a}), 2);
    ASSERT_EQ(v.node[b].link[0].id, -1);
    ASSERT_EQ(v.minsertnode(50, 1, 0.1, 3), 1);
    EXPECT_EQ(nodes_of(v, 2), (std::vector<int>{b, 2, a}));
    EXPECT_EQ(nodes_of(v, 1), (std::vector<int>{a, b}));
    EXPECT_NE(g.find_link(a, b, 1), nullptr);
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(InsertNode, AreasShrinkByTheSquaresOfTheParts) {
    const int a = g.node(0, 0), b = g.node(100, 0);
    g.link(a, b, 1, 8.0);
    g.polyline({a, b});
    ASSERT_EQ(Peer::minsertnode(v, a, b, 0.25), 1);
    const int n = 2;
    EXPECT_EQ(v.node[n].x, 25);
    EXPECT_DOUBLE_EQ(g.find_link(a, n, 1)->area, 8.0 * 0.0625);
    EXPECT_DOUBLE_EQ(g.find_link(b, n, -1)->area, -8.0 * 0.5625);
    EXPECT_DOUBLE_EQ(g.find_link(n, a, -1)->area, -8.0 * 0.0625);
    EXPECT_DOUBLE_EQ(g.find_link(n, b, 1)->area, 8.0 * 0.5625);
    EXPECT_DOUBLE_EQ(g.find_link(n, a, -1)->length, 25.0);
    EXPECT_DOUBLE_EQ(g.find_link(b, n, -1)->length, 75.0);
    // The polyline is rebuilt by the caller; until then only the record is
    // behind.
    EXPECT_EQ(v.mupdatepolyline(1), 0);
    EXPECT_EQ(check_graph(v), "");
}

// Called against the polyline's direction the id comes back as stored on
// the first node.
TEST_F(InsertNode, DirectAgainstTheDirection) {
    Line l;
    EXPECT_EQ(Peer::minsertnode(l.v, 1, 0, 0.5), -1);
    EXPECT_EQ(l.v.mupdatepolyline(-1), 0);
    EXPECT_EQ(nodes_of(l.v, 1), (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(check_graph(l.v), "");
}

TEST_F(InsertNode, DeletedNodesAreNotSearched) {
    Line l;
    l.v.node[0].deleted = 1;  // its forward link is no longer offered
    EXPECT_EQ(l.v.minsertnode(50, 0, 0.1, 5), 0);
    EXPECT_EQ(l.v.nodenum, 2);
}

// A negative margin lets the foot fall beyond the link; the new node stays
// inside the raster on every side.
TEST_F(InsertNode, FootBeyondTheRasterIsClamped) {
    struct Case {
        int x0, y0, x1, y1;
        double px, py;
    };
    const std::vector<Case> cases = {
        {2, 5, 12, 5, -80, 5}, {2, 5, 12, 5, 90, 5}, {5, 2, 5, 12, 5, -70}, {5, 2, 5, 12, 5, 95},
    };
    for (const Case &c : cases) {
        CKTVector v;
        GraphBuilder g(v);
        g.rows(20, 20);
        g.path({{c.x0, c.y0}, {c.x1, c.y1}});
        ASSERT_EQ(v.minsertnode(c.px, c.py, -20, 5), 1);
        const _KTNODE &n = v.node[2];
        EXPECT_TRUE(n.x >= 0 && n.x < 20 && n.y >= 0 && n.y < 20) << n.x << "," << n.y;
        EXPECT_EQ(check_graph(v), "");
    }
}

// Every allocation fails in turn: the call reports -1000 and leaves a
// consistent graph, and the same call afterwards succeeds.
TEST_F(InsertNode, AllocationFailures) {
    int failures = 0;
    bool done = false;
    for (long n = 1; n < 40 && !done; ++n) {
        SCOPED_TRACE(n);
        CKTVector v;
        GraphBuilder g(v);
        g.rows(200, 200);
        for (int k = 0; k < 4; ++k) g.node(60 + 10 * k, 40);  // row 40 full
        g.path({{20, 20}, {120, 60}, {120, 160}});
        ktv::mem_fail_at(n);
        const int r = v.minsertnode(71, 39, 0.1, 3);
        ktv::mem_fail_at(0);
        if (r == 1) {
            done = true;
        } else {
            EXPECT_EQ(r, -1000);
            ++failures;
            EXPECT_EQ(check_graph(v, weak_checks()), "");
            // A failed rebuild leaves the record short; a second one mends it.
            EXPECT_EQ(v.mupdatepolyline(1), 0);
        }
        EXPECT_EQ(check_graph(v), "");
    }
    EXPECT_TRUE(done);
    EXPECT_GE(failures, 2);
}

TEST(AddNode1, ChangesNothing) {
    Line l;
    EXPECT_EQ(l.v.maddnode1(3, 4), 0);
    EXPECT_EQ(l.v.nodenum, 2);
    EXPECT_EQ(check_graph(l.v), "");
}
