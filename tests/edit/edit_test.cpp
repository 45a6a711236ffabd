// Hand editing: inserting a node into the link near a click, moving nodes
// (with and without attaching), the corner refresh, and selection and
// neighbourhood search.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"
#include "sweep.h"

namespace {

// One fixture for the module: a 200 x 200 raster with its row index.
class Edit : public ::testing::Test {
protected:
    CKTVector v;
    GraphBuilder g{v};
    Edit() { g.rows(200, 200); }
    _KTNODE *n(int i) { return &v.node[i]; }
    std::vector<int> row(int y) const {
        return std::vector<int>(v.lineinfo[y].nodeindex, v.lineinfo[y].nodeindex + v.lineinfo[y].nodenum);
    }
    bool found(int i) const { return v.node[i].flag & 2; }
    bool selected(int i) const { return v.node[i].flag & 1; }
};

}  // namespace

TEST(InsertNode, TheFootMustFallInsideTheMarginAndNearerThanTheDistance) {
    struct Click {
        double x, y, margin, maxdistance;
        int result;  // 1 inserted, 0 refused
    };
    const Click clicks[] = {
        {50, 3, 0.1, 5, 1},   {10, 3, 0.1, 5, 0},  {11, 3, 0.1, 5, 1},  {50, 5, 0.1, 5, 0},
        {50, 4.9, 0.1, 5, 1}, {-5, 0, 0.0, 5, 0},  {105, 0, 0.0, 5, 0}, {50, -4, 0.1, 5, 1},
        {95, 0, 0.1, 50, 0},  {89, 0, 0.1, 50, 1},
    };
    for (const Click &c : clicks) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " margin " << c.margin);
        CKTVector v;
        GraphBuilder g(v);
        g.rows(200, 200);
        g.path({{0, 0}, {100, 0}});
        EXPECT_EQ(v.minsertnode(c.x, c.y, c.margin, c.maxdistance), c.result);
        EXPECT_EQ(v.nodenum * 10 + v.polyline[0].nodenum, 22 + 11 * c.result);
        EXPECT_EQ(check_graph(v), "");
    }
}

TEST_F(Edit, InsertCutsTheForwardPairAndScalesTheAreas) {
    // Two polylines along one link in opposite directions: the forward pair
    // the scan chose is cut, the other keeps its link.
    const int a = g.node(0, 0), b = g.node(100, 0);
    g.link(a, b, 1, 8.0);
    g.link(b, a, 2);
    g.polyline({a, b});
    g.polyline({b, a});
    ASSERT_EQ(v.minsertnode(50, 1, 0.1, 3), 1);
    EXPECT_EQ(nodes_of(v, 2), (std::vector<int>{b, 2, a}));
    EXPECT_EQ(nodes_of(v, 1), (std::vector<int>{a, b}));
    EXPECT_EQ(check_graph(v), "");
    // Directly at t = 1/4: the areas shrink by the squares of the parts.
    const int c = g.node(0, 10), d = g.node(100, 10);
    g.link(c, d, 3, 8.0);
    g.polyline({c, d});
    ASSERT_EQ(Peer::minsertnode(v, c, d, 0.25), 3);
    const int m = v.nodenum - 1;
    EXPECT_EQ(v.node[m].x, 25);
    EXPECT_DOUBLE_EQ(g.find_link(c, m, 3)->area, 8.0 * 0.0625);
    EXPECT_DOUBLE_EQ(g.find_link(m, c, -3)->area, -8.0 * 0.0625);
    EXPECT_DOUBLE_EQ(g.find_link(m, d, 3)->area, 8.0 * 0.5625);
    EXPECT_DOUBLE_EQ(g.find_link(d, m, -3)->area, -8.0 * 0.5625);
    EXPECT_DOUBLE_EQ(g.find_link(m, c, -3)->length + g.find_link(d, m, -3)->length, 100.0);
    EXPECT_EQ(v.mupdatepolyline(3), 0);  // the caller rebuilds the polyline
    // Against the direction the id comes back as stored on the first node.
    EXPECT_EQ(Peer::minsertnode(v, d, m, 0.5), -3);
    EXPECT_EQ(v.mupdatepolyline(-3), 0);
    EXPECT_EQ(nodes_of(v, 3), (std::vector<int>{c, m, m + 1, d}));
    EXPECT_EQ(check_graph(v), "");
    EXPECT_EQ(v.maddnode1(3, 4), 0);  // reserved: changes nothing
}

TEST_F(Edit, MoveRefusesNodesItDoesNotOwnAndAFullRowThatCannotGrow) {
    g.path({{10, 5}, {20, 5}, {30, 5}});
    g.node(40, 5);
    _KTNODE stranger{};
    for (_KTNODE *bad : {(_KTNODE *)nullptr, &stranger, v.node + v.nodenum}) EXPECT_EQ(v.movenode(bad, 1, 1), -1);
    EXPECT_EQ(v.movenodeattach(nullptr, 1, 1), -1);
    ASSERT_EQ(v.mdeletenode(n(3)), 0);
    EXPECT_EQ(v.movenode(n(3), 1, 1), -1);
    EXPECT_EQ(v.node[3].x, 40);
    for (int k = 0; k < 4; ++k) g.node(10 * k, 30);
    EXPECT_TRUE(fails_at(1, [&] { EXPECT_EQ(v.movenode(n(1), 15, 30), -1000); }));
    EXPECT_EQ(v.node[1].x * 1000 + v.node[1].y, 20005);  // stays where it was
    EXPECT_EQ(row(5), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(v.movenodeattach(n(1), 15, 30), 0);
    EXPECT_EQ(row(30), (std::vector<int>{4, 5, 1, 6, 7}));
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(Edit, SearchRadiiWindowsAndDeletedNodes) {
    const int at7 = g.node(57, 50), corner = g.node(55, 55), off = g.node(57, 51), diag = g.node(52, 48);
    EXPECT_EQ(Peer::mfindnode(v, 50, 50, 5.0), 2);  // radius 5 * 1.414, strictly
    EXPECT_TRUE(found(at7) && found(diag));         // 7 < 7.07
    EXPECT_FALSE(found(corner) || found(off));      // sqrt(50) = 7.071 is not < 7.07
    EXPECT_EQ(Peer::mfindnodefast(v, 50, 50, 2), 1);  // a square window, no distance test
    EXPECT_TRUE(found(diag));
    EXPECT_FALSE(found(at7));  // the search cleared the old mark
    EXPECT_EQ(Peer::mfindnode(v, 50, 50, 2.0), 0);  // sqrt(8) = 2.83 is not < 2.828
    const int a = g.node(0, 0), b = g.node(199, 199);
    EXPECT_EQ(Peer::mfindnodefast(v, 1, 1, 5), 1);  // windows are clipped to the raster
    EXPECT_TRUE(found(a));
    EXPECT_EQ(Peer::mfindnodefast(v, 198, 198, 100), 1);
    EXPECT_TRUE(found(b));
    EXPECT_EQ(v.msearchnodefast(-50, -50, 3) * 10 + v.msearchnodefast(-2, -2, 3), 1);
    EXPECT_EQ(Peer::mfindnode(v, 5, 5, -3.0) + Peer::mfindnode(v, 5, 5, std::nan("")), 0);
    EXPECT_EQ(Peer::mfindnode(v, 5, 5, 1e300), 6);  // the whole raster
    // Deleted nodes are never marked, counted or returned.
    const int dead = g.node(10, 10), live = g.node(12, 10);
    v.node[dead].deleted = 1;
    EXPECT_EQ(Peer::mfindnode(v, 10, 10, 3.0), 1);
    EXPECT_FALSE(found(dead));
    EXPECT_EQ(v.msearchNN(10, 10, 3.0), n(live));
    v.node[dead].flag = 3;
    EXPECT_EQ(v.mgetfindnodenum(), 1);
    EXPECT_EQ(v.mgetselectnodenum(), 0);
    EXPECT_EQ(v.mselectnode(0, 0, 199, 199), 7);
}

TEST_F(Edit, SelectingARunAlongAPolyline) {
    for (int x = 0; x <= 40; x += 10) g.node(x, 0);
    g.path_of({1, 2, 0, 3, 4});  // 1: node 0 in the middle
    for (auto [a, b] : {std::pair{1, 3}, {3, 1}}) {
        v.mclearselect();
        EXPECT_EQ(v.mselectnodes(n(a), n(b)), 0);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(selected(i), i != 4) << a << b << i;
    }
    v.mclearselect();
    EXPECT_EQ(v.mselectnodes(n(2), n(2)), 0);
    EXPECT_EQ(v.mgetselectnodenum(), 1);
    EXPECT_EQ(v.mselectnodes(n(2), n(g.node(50, 50))), -1);
    // Closed: the backward probe from 7 reaches 9 (7 <- 6 <- 9), so the run
    // is 9, 6, 7.
    v.mclearselect();
    g.path({{0, 100}, {10, 100}, {10, 110}, {0, 110}}, true);  // 2: nodes 6..9
    EXPECT_EQ(v.mselectnodes(n(7), n(9)), 0);
    for (int i = 6; i < 10; ++i) EXPECT_EQ(selected(i), i != 8) << i;
    // A "6": the tail runs into a loop of the same id; a stray link with the
    // id but off the chain is never reached.
    for (auto [x, y] : {std::pair{0, 150}, {10, 150}, {20, 150}, {30, 160}, {20, 170}}) g.node(x, y);  // 10..14
    for (auto [a, b] : {std::pair{10, 11}, {11, 12}, {12, 13}, {13, 14}, {14, 12}}) g.link(a, b, 3);
    g.polyline({10, 11, 12, 13, 14, 12});
    const int stray = g.node(60, 190);
    g.link(stray, g.node(70, 190), 3);
    EXPECT_EQ(v.mselectnodes(n(10), n(stray)), -1);
}

