// Polylines from link ids, hand-made two-node polylines, and their upkeep:
// rebuilding, splitting, joining.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "chains.h"
#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"

namespace {

// One fixture for the module: a 40 x 20 working raster with its rows, and
// hand-made traced chains to approximate.
class Polylines : public ::testing::Test {
protected:
    void SetUp() override { setup_rows(v, 40, 20); }
    _KTNODE *at(int x, int y) { return Peer::msearchjust(v, x, y); }
    CKTVector v;
    Chains c;
};

}  // namespace

TEST(PolylineWalk, ForwardWalkStopsAtALinkItAlreadyFollowed) {
    // X -> J -> A -> B -> J with id 1: J's first +1 link leads into a loop
    // that does not come back to X.
    CKTVector w;
    GraphBuilder g(w);
    g.rows(20, 4);
    for (int x : {0, 4, 8, 12}) g.node(x, 1);
    for (auto [a, b] : {std::pair{0, 1}, {1, 2}, {2, 3}, {3, 1}}) w.mlinknode(1, 4.0, 0.0, &w.node[a], &w.node[b]);
    w.polylineid = 2;
    ASSERT_EQ(w.makepolyline(), 0);
    EXPECT_EQ(nodes_of(w, 1), (std::vector<int>{0, 1, 2, 3, 1}));
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < w.node[i].linknum; ++k) EXPECT_EQ(w.node[i].link[k].mark, 0);
}

TEST_F(Polylines, HandMadePolylineGetsTheNextIdAndIsClamped) {
    add_chain(v, c, run(0, 3, 5, 3));
    add_chain(v, c, run(12, 5, 15, 5));
    ASSERT_EQ(v.mapplox(1.0, 1), 0);
    ASSERT_EQ(v.makepolyline(), 0);
    const int before = v.nodenum;
    ASSERT_EQ(v.makenewpolyline(10, 5, 20, 5), 0);
    ASSERT_EQ(v.polylinenum, 3);
    EXPECT_EQ(v.polylinecapacity, 3);
    EXPECT_EQ(v.nodenum, before + 2);
    EXPECT_EQ(v.polyline[2].nodecapacity, 2);
    EXPECT_EQ(polyline_pixels(v, 3), (Pixels{{10, 5}, {20, 5}}));
    const _KTNODELINK *l = v.mgetnodelink(at(10, 5), at(20, 5), 3);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->id, 3);
    EXPECT_DOUBLE_EQ(l->length, 10.0);
    EXPECT_EQ(l->area, 0.0);
    EXPECT_EQ(check_graph(v), "");  // row 5 in x order: 10, 12, 15, 20
    ASSERT_EQ(v.makenewpolyline(10, 5, 12, 5), 0);  // new nodes also where nodes stand
    EXPECT_EQ(v.nodenum, before + 4);
    ASSERT_EQ(v.makenewpolyline(-5, 3, 100, 99), 0);
    EXPECT_EQ(polyline_pixels(v, 5), (Pixels{{0, 3}, {39, 19}}));
    EXPECT_EQ(check_graph(v), "");
    CKTVector w;  // no rows at all
    ASSERT_EQ(w.makenewpolyline(1, 1, 2, 2), 0);
    EXPECT_EQ(w.polylinenum, 1);
}

// Upkeep on hand-made graphs.
class Upkeep : public ::testing::Test {
protected:
    CKTVector v;
    GraphBuilder g{v};
    Upkeep() { g.rows(100, 100); }
    int link_id(int from, int to) const {
        for (int k = 0; k < v.node[from].linknum; ++k)
            if (v.node[from].link[k].node == to) return v.node[from].link[k].id;
        return 0;
    }
};

TEST_F(Upkeep, JoinBridgesEndsClosesALoopAndFusesAtTheMidpoint) {
    g.path({{0, 50}, {5, 50}});
    g.path({{10, 0}, {20, 0}});  // 2: nodes 2 (start), 3
    g.path({{0, 10}, {8, 0}});   // 3: nodes 4, 5 (end)
    ASSERT_EQ(Peer::mlinkpolyline(v, &v.node[2], &v.node[5]), 0);
    EXPECT_EQ(v.polyline[2].deleted, 1);
    EXPECT_EQ(nodes_of(v, 2), (std::vector<int>{4, 5, 2, 3}));
    for (int n : {4, 5})
        for (int k = 0; k < v.node[n].linknum; ++k) EXPECT_EQ(std::abs(v.node[n].link[k].id), 2);
    EXPECT_EQ(check_graph(v), "");
    ASSERT_EQ(Peer::mlinkpolyline(v, &v.node[4], &v.node[3]), 0);  // the two ends of one polyline
    for (auto [a, b] : {std::pair{3, 4}, {4, 3}})  // the new link is as long as the gap
        for (int k = 0; k < v.node[a].linknum; ++k)
            if (v.node[a].link[k].node == b) {
                EXPECT_DOUBLE_EQ(v.node[a].link[k].length, std::hypot(20.0, 10.0));
            }
    const std::vector<int> closed = nodes_of(v, 2);
    EXPECT_EQ(closed.front(), closed.back());
    EXPECT_EQ(Peer::mlinkpolyline(v, &v.node[4], &v.node[5]), -1);  // not end nodes now

    g.path({{0, 30}, {10, 30}});   // 4: nodes 6, 7
    g.path({{13, 30}, {23, 30}});  // 5: nodes 8, 9
    ASSERT_EQ(Peer::mintegratepolyline2(v, &v.node[7], &v.node[8]), 0);
    EXPECT_EQ(v.node[7].x, 11);
    EXPECT_EQ(v.node[8].deleted, 1);
    EXPECT_DOUBLE_EQ(v.node[6].link[0].length, 11.5);  // from the unrounded midpoint
    EXPECT_DOUBLE_EQ(v.node[9].link[0].length, 11.5);
    EXPECT_EQ(v.polyline[4].deleted, 1);
    EXPECT_EQ(nodes_of(v, 4), (std::vector<int>{6, 7, 9}));
    EXPECT_EQ(check_graph(v), "");

    g.path({{30, 60}, {40, 60}, {50, 60}});  // 6: a middle node is not joined
    EXPECT_EQ(Peer::mintegratepolyline1(v, &v.node[11]), 0);
    EXPECT_EQ(v.polyline[5].deleted + v.polyline[5].modify, 0);
}

