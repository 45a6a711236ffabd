// Selection and neighbourhood search.
#include <gtest/gtest.h>

#include <random>

#include "graph_builder.h"
#include "peer.h"

namespace {

bool found(const CKTVector &v, int i) { return v.node[i].flag & 2; }
bool selected(const CKTVector &v, int i) { return v.node[i].flag & 1; }

}  // namespace

TEST(Search, RadiusIsStrictAndScaledByOnePointFourOneFour) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    const int at7 = g.node(57, 50), corner = g.node(55, 55), off = g.node(57, 51);
    EXPECT_EQ(Peer::mfindnode(v, 50, 50, 5.0), 1);
    EXPECT_TRUE(found(v, at7));       // 7 < 7.07
    EXPECT_FALSE(found(v, corner));   // sqrt(50) = 7.071 is not < 7.07
    EXPECT_FALSE(found(v, off));
}

TEST(Search, SquareWindowHasNoDistanceTest) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    const int n = g.node(52, 48);
    EXPECT_EQ(Peer::mfindnodefast(v, 50, 50, 2), 1);
    EXPECT_TRUE(found(v, n));
    EXPECT_EQ(Peer::mfindnode(v, 50, 50, 2.0), 0);  // sqrt(8) = 2.83 is not < 2.828
    EXPECT_FALSE(found(v, n));                      // the search cleared the old mark
}

TEST(Search, WindowIsClippedToTheRaster) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(10, 10);
    const int a = g.node(0, 0), b = g.node(9, 9);
    EXPECT_EQ(Peer::mfindnodefast(v, 1, 1, 5), 1);
    EXPECT_TRUE(found(v, a));
    EXPECT_EQ(Peer::mfindnodefast(v, 8, 8, 100), 2);
    EXPECT_TRUE(found(v, b));
    EXPECT_EQ(v.msearchnodefast(-50, -50, 3), 0);
    EXPECT_EQ(v.msearchnodefast(-2, -2, 3), 1);
    EXPECT_EQ(Peer::mfindnode(v, 5, 5, -3.0), 0);                // negative radius: no window
    EXPECT_EQ(Peer::mfindnode(v, 5, 5, std::nan("")), 0);        // not a number: no window
    EXPECT_EQ(Peer::mfindnode(v, 5, 5, 1e300), 2);               // huge: the whole raster
}

TEST(Search, DeletedNodesAreNeverMarkedCountedOrReturned) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    const int dead = g.node(10, 10);
    const int live = g.node(12, 10);
    v.node[dead].deleted = 1;
    EXPECT_EQ(Peer::mfindnode(v, 10, 10, 3.0), 1);
    EXPECT_FALSE(found(v, dead));
    EXPECT_EQ(v.msearchNN(10, 10, 3.0), &v.node[live]);
    v.node[dead].flag = 3;
    EXPECT_EQ(v.mgetfindnodenum(), 1);
    EXPECT_EQ(v.mgetselectnodenum(), 0);
    EXPECT_EQ(v.mselectnode(0, 0, 49, 49), 1);
}

TEST(Search, NearestWithTiesToTheLowerIndex) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    const int right = g.node(23, 20), left = g.node(17, 20);
    g.node(20, 26);
    EXPECT_EQ(v.msearchNN(20, 20, 5.0), &v.node[right]);
    (void)left;
    _KTNODE *picked = nullptr;
    v.mselectnode1(20, 20, picked);
    EXPECT_EQ(picked, &v.node[right]);
    EXPECT_TRUE(selected(v, right));
    v.mselectnode1(45, 45, picked);
    EXPECT_EQ(picked, nullptr);
    _KTNODE *p1 = nullptr, *p2 = nullptr;
    v.mselectnode2(17, 20, 45, 5, p1, p2);
    EXPECT_EQ(p1, &v.node[left]);
    EXPECT_EQ(p2, nullptr);
}

TEST(Search, RectangleSelectionCountsOnlyNewlySelected) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    const int in1 = g.node(0, 5), in2 = g.node(10, 20), out = g.node(11, 20);
    v.node[in1].flag |= 1;
    EXPECT_EQ(v.mselectnode(10, 20, 0, 5), 1);
    EXPECT_TRUE(selected(v, in2));
    EXPECT_FALSE(selected(v, out));
    v.mclearselect();
    EXPECT_EQ(v.mgetselectnodenum(), 0);
}

TEST(Search, SelectRunAlongAPolyline) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    g.path({{0, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}});  // nodes 0..4, polyline 1
    for (auto [a, b] : {std::pair{1, 3}, std::pair{3, 1}}) {
        v.mclearselect();
        EXPECT_EQ(v.mselectnodes(&v.node[a], &v.node[b]), 0);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(selected(v, i), i >= 1 && i <= 3) << a << b << i;
    }
    v.mclearselect();
    EXPECT_EQ(v.mselectnodes(&v.node[2], &v.node[2]), 0);
    EXPECT_EQ(v.mgetselectnodenum(), 1);
    const int other = g.node(50, 50);
    EXPECT_EQ(v.mselectnodes(&v.node[2], &v.node[other]), -1);
}

TEST(Search, SelectRunOnAClosedPolylineGoesFromBForwardToA) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    g.path({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true);  // nodes 0..3
    EXPECT_EQ(v.mselectnodes(&v.node[1], &v.node[3]), 0);
    // the backward probe from 1 reaches 3 (1 <- 0 <- 3), so the run is 3, 0, 1
    EXPECT_TRUE(selected(v, 3));
    EXPECT_TRUE(selected(v, 0));
    EXPECT_TRUE(selected(v, 1));
    EXPECT_FALSE(selected(v, 2));
}

TEST(Search, SelectRunEndsOnALoopWithATail) {
    // A "6": the tail 0-1-2 runs into the loop 2-3-4-2 of the same id.
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    for (auto [x, y] : {std::pair{0, 0}, {10, 0}, {20, 0}, {30, 10}, {20, 20}}) g.node(x, y);
    g.link(0, 1, 1);
    g.link(1, 2, 1);
    g.link(2, 3, 1);
    g.link(3, 4, 1);
    g.link(4, 2, 1);
    g.polyline({0, 1, 2, 3, 4, 2});
    const int stray = g.node(60, 60);
    g.link(stray, g.node(70, 60), 1);  // shares the id but is not on the chain
    EXPECT_EQ(v.mselectnodes(&v.node[0], &v.node[stray]), -1);
}

TEST(Search, PolylineOfANode) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    for (int i = 0; i < 6; ++i) g.path({{i, 0}, {i, 1}});  // polylines 1..6
    const int p7 = g.path({{0, 10}, {10, 10}, {20, 10}});  // nodes 12, 13, 14
    ASSERT_EQ(p7, 7);
    EXPECT_EQ(v.mselectpolyline(&v.node[13]), 7);
    EXPECT_EQ(v.mselectpolyline(&v.node[12]), 7);
    EXPECT_EQ(v.mselectpolyline(&v.node[14]), -7);
    g.link(13, g.node(10, 20), 8);
    EXPECT_EQ(v.mselectpolyline(&v.node[13]), -1);  // a junction now
    EXPECT_EQ(v.mselectpolyline(&v.node[0]), 1);
    EXPECT_EQ(v.mselectpolyline(&v.node[1]), -1);    // the end of polyline 1
}

TEST(Search, MarksClearedByListInsideDriversEqualFullClearing) {
    // The same searches with whole-array clearing and with clearing only what
    // the previous search marked leave identical marks after every search.
    std::mt19937 rng(11);
    CKTVector full, tracked;
    GraphBuilder gf(full), gt(tracked);
    gf.rows(120, 120);
    gt.rows(120, 120);
    for (int i = 0; i < 400; ++i) {
        const int x = static_cast<int>(rng() % 120), y = static_cast<int>(rng() % 120);
        gf.node(x, y);
        gt.node(x, y);
    }
    Peer::findtracking(tracked) = 1;
    for (int round = 0; round < 500; ++round) {
        const int x = static_cast<int>(rng() % 140) - 10, y = static_cast<int>(rng() % 140) - 10;
        const int r = static_cast<int>(rng() % 12);
        int a, b;
        if (rng() % 2) {
            a = Peer::mfindnode(full, x, y, r * 0.7);
            b = Peer::mfindnode(tracked, x, y, r * 0.7);
        } else {
            a = Peer::mfindnodefast(full, x, y, r);
            b = Peer::mfindnodefast(tracked, x, y, r);
        }
        ASSERT_EQ(a, b);
        for (int i = 0; i < full.nodenum; ++i) ASSERT_EQ(full.node[i].flag, tracked.node[i].flag);
        for (int i = -1, j = -1;;) {
            i = Peer::mnextfound(full, i);
            j = Peer::mnextfound(tracked, j);
            ASSERT_EQ(i, j);
            if (i < 0) break;
        }
    }
}
