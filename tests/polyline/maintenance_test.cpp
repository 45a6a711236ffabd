// Polyline maintenance and joining.
#include <gtest/gtest.h>

#include <vector>

#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"

namespace {


const _KTNODELINK *link_to(const CKTVector &v, int from, int to) {
    const _KTNODE &n = v.node[from];
    for (int k = 0; k < n.linknum; ++k)
        if (n.link[k].node == to) return &n.link[k];
    return nullptr;
}

}  // namespace

TEST(Update, AllNodesDeletedRetiresThePolyline) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{0, 0}, {10, 0}});
    g.path({{10, 0}, {20, 0}});
    Peer::maddnext(v, 1, 2);
    Peer::maddprev(v, 2, -1);
    v.node[0].deleted = v.node[1].deleted = 1;
    EXPECT_EQ(v.mupdatepolyline(1), 0);
    EXPECT_EQ(v.polyline[0].deleted, 1);
    EXPECT_EQ(v.polyline[0].nextnum, 0);
    EXPECT_EQ(v.polyline[1].prevnum, 0);
}

TEST(Update, NegativeIdRebuildsTheSamePolyline) {
    CKTVector a, b;
    for (CKTVector *v : {&a, &b}) {
        GraphBuilder g(*v);
        g.rows(50, 50);
        g.path({{0, 0}, {10, 0}, {20, 5}, {30, 0}});
        v->polyline[0].nodenum = 2;  // stale list: the walk finds the rest
    }
    EXPECT_EQ(a.mupdatepolyline(1), 0);
    EXPECT_EQ(b.mupdatepolyline(-1), 0);
    EXPECT_EQ(nodes_of(a, 1), nodes_of(b, 1));
    EXPECT_EQ(nodes_of(a, 1), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(a.polyline[0].modify, 1);
    EXPECT_EQ(check_graph(a), "");
}

TEST(Separate, SplitPolylineTwoAtItsThirdNode) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    g.path({{0, 90}, {5, 90}});
    const int p2 = g.path({{0, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}});  // nodes 2..6
    g.path({{0, 80}, {5, 80}});
    g.path({{0, 70}, {5, 70}});
    ASSERT_EQ(p2, 2);
    EXPECT_EQ(v.mseparatepolyline(2, &v.node[4]), 0);
    ASSERT_EQ(v.polylinenum, 5);
    EXPECT_EQ(nodes_of(v, 2), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(nodes_of(v, 5), (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(next_of(v, 2), (std::vector<int>{5}));
    EXPECT_EQ(prev_of(v, 5), (std::vector<int>{-2}));
    EXPECT_EQ(link_to(v, 4, 3)->id, -2);
    EXPECT_EQ(link_to(v, 4, 5)->id, 5);
    EXPECT_EQ(check_graph(v), "");
}

TEST(Separate, NodeNotOnThePolylineOnlyGrowsTheTable) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{0, 0}, {10, 0}, {20, 0}});
    const int stray = g.node(40, 40);
    EXPECT_EQ(v.mseparatepolyline(1, &v.node[stray]), 0);
    EXPECT_EQ(v.polylinenum, 1);
    EXPECT_EQ(v.polylinecapacity, 2);
    EXPECT_EQ(v.polyline[1].nodeindex, nullptr);
}

TEST(Separate, EndConnectionsMoveToTheNewPolyline) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    const int a = g.node(0, 0), b = g.node(10, 0), c = g.node(20, 0), d = g.node(30, 0);
    g.path_of({a, b, c});  // 1
    g.path_of({c, d});     // 2
    ASSERT_EQ(v.mconnectpolyline(&v.node[c], &v.node[b], &v.node[d]), 0);
    EXPECT_EQ(v.mseparatepolyline(1, &v.node[b]), 0);  // 3 = b, c
    EXPECT_EQ(next_of(v, 3), (std::vector<int>{2}));
    EXPECT_EQ(prev_of(v, 2), (std::vector<int>{-3}));
    EXPECT_EQ(next_of(v, 1), (std::vector<int>{3}));
    EXPECT_EQ(check_graph(v), "");
}

TEST(Separate, ClosedPolylineKeepsItsOwnLinksAtTheStart) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true);  // 0,1,2,3,0
    EXPECT_EQ(v.mseparatepolyline(1, &v.node[2]), 0);
    EXPECT_EQ(nodes_of(v, 1), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(nodes_of(v, 2), (std::vector<int>{2, 3, 0}));
    EXPECT_EQ(link_to(v, 0, 1)->id, 1);  // still polyline 1
    EXPECT_EQ(check_graph(v), "");
}

TEST(Join, BridgingTwoEndNodes) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(100, 100);
    g.path({{0, 50}, {5, 50}});
    g.path({{0, 60}, {5, 60}});
    g.path({{10, 0}, {20, 0}});   // 3: nodes 4 (start), 5
    g.path({{0, 70}, {5, 70}});
    g.path({{0, 10}, {8, 0}});    // 5: nodes 8, 9 (end)
    ASSERT_EQ(Peer::mlinkpolyline(v, &v.node[4], &v.node[9]), 0);
    EXPECT_EQ(v.polyline[4].deleted, 1);
    EXPECT_EQ(v.polyline[2].deleted, 0);
    EXPECT_EQ(nodes_of(v, 3), (std::vector<int>{8, 9, 4, 5}));
    for (int n : {8, 9})
        for (int k = 0; k < v.node[n].linknum; ++k) EXPECT_EQ(std::abs(v.node[n].link[k].id), 3);
    EXPECT_EQ(check_graph(v), "");
}

TEST(Join, BridgingTheTwoEndsOfOnePolylineClosesIt) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{0, 0}, {10, 0}, {10, 10}});
    ASSERT_EQ(Peer::mlinkpolyline(v, &v.node[0], &v.node[2]), 0);
    const std::vector<int> n = nodes_of(v, 1);
    ASSERT_EQ(n.size(), 4u);
    EXPECT_EQ(n.front(), n.back());
    EXPECT_EQ(check_graph(v), "");
    EXPECT_EQ(Peer::mlinkpolyline(v, &v.node[0], &v.node[1]), -1);  // not end nodes now
}

TEST(Join, FusingEndNodesMeasuresFromTheUnroundedMidpoint) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{0, 10}, {10, 10}});   // a = node 1
    g.path({{13, 10}, {23, 10}});  // b = node 2
    ASSERT_EQ(Peer::mintegratepolyline2(v, &v.node[1], &v.node[2]), 0);
    EXPECT_EQ(v.node[1].x, 11);
    EXPECT_EQ(v.node[1].y, 10);
    EXPECT_EQ(v.node[2].deleted, 1);
    EXPECT_DOUBLE_EQ(link_to(v, 0, 1)->length, 11.5);
    EXPECT_DOUBLE_EQ(link_to(v, 3, 1)->length, 11.5);
    EXPECT_EQ(v.polyline[1].deleted, 1);
    EXPECT_EQ(nodes_of(v, 1), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(check_graph(v), "");
}

TEST(Join, NodeOfOnePolylineIsNotJoined) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    for (int i = 0; i < 3; ++i) g.path({{i, 40}, {i, 45}});
    g.path({{0, 0}, {10, 0}, {20, 0}});  // polyline 4, middle node 7
    EXPECT_EQ(Peer::mintegratepolyline1(v, &v.node[7]), 0);
    EXPECT_EQ(v.polyline[3].deleted, 0);
    EXPECT_EQ(v.polyline[3].modify, 0);
}

TEST(Join, SingleKeeperTakesOnlyTheFirstFarConnection) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    const int a = g.node(0, 0), j = g.node(10, 0), b = g.node(20, 0);
    g.path_of({a, j});  // 1
    g.path_of({j, b});  // 2: its far end b carries two connections
    const int c = g.node(30, 0), d = g.node(20, 10);
    g.path_of({b, c});  // 3
    g.path_of({b, d});  // 4
    ASSERT_EQ(v.mconnectpolyline(&v.node[b], &v.node[j], &v.node[c]), 0);
    ASSERT_EQ(v.mconnectpolyline(&v.node[b], &v.node[j], &v.node[d]), 0);
    v.polyline[0].flag |= 8;
    ASSERT_EQ(Peer::mintegratepolyline1(v, &v.node[j]), 0);
    EXPECT_EQ(v.polyline[0].nextnum, 1);
    EXPECT_EQ(v.polyline[0].next[0], 3);
}
