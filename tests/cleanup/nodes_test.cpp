// Node clean-up: delete, unlink, skip, merge, attach, delete a polyline.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bitmap.h"
#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"

namespace {

bool linked(const CKTVector &v, int a, int b) {
    for (int k = 0; k < v.node[a].linknum; ++k)
        if (v.node[a].link[k].node == b) return true;
    return false;
}

}  // namespace

TEST(DeleteNode, MiddleNodeIsSkipped) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{0, 0}, {10, 5}, {20, 0}});
    EXPECT_EQ(v.mdeletenode(&v.node[1]), 0);
    EXPECT_TRUE(linked(v, 0, 2));
    EXPECT_EQ(nodes_of(v, 1), (std::vector<int>{0, 2}));
    // The new link's area is the triangle cut off (0,0), (10,5), (20,0).
    const _KTNODELINK &l = v.node[0].link[0];
    EXPECT_DOUBLE_EQ(l.length, 20.0);
    EXPECT_DOUBLE_EQ(std::fabs(l.area), 50.0);
    EXPECT_EQ(check_graph(v), "");
}

TEST(DeleteNode, EndNodeAndJunction) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    const int j = g.node(10, 10);
    const int a = g.node(0, 10), b = g.node(20, 10), c = g.node(10, 20), d = g.node(10, 30);
    g.path_of({a, j});
    g.path_of({j, b});
    g.path_of({j, c, d});
    EXPECT_EQ(v.mdeletenode(&v.node[a]), 0);
    EXPECT_EQ(v.polyline[0].deleted, 1);
    EXPECT_EQ(v.node[j].linknum, 2);
    EXPECT_EQ(check_graph(v), "");
    EXPECT_EQ(v.mdeletenode(&v.node[j]), 0);  // two links of different polylines
    EXPECT_EQ(v.node[j].linknum, 0);
    EXPECT_EQ(v.polyline[1].deleted, 1);
    EXPECT_EQ(nodes_of(v, 3), (std::vector<int>{c, d}));
    EXPECT_EQ(check_graph(v), "");
}

TEST(Unlink, EveryPairBetweenTwoNodes) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    const int a = g.node(0, 0), b = g.node(10, 0);
    g.path_of({a, b});
    g.path_of({a, b});
    EXPECT_EQ(v.munlinknode(&v.node[a], &v.node[b]), 0);
    EXPECT_EQ(v.node[a].linknum, 0);
    EXPECT_EQ(v.node[b].linknum, 0);
    EXPECT_EQ(v.polyline[0].deleted, 1);
    EXPECT_EQ(v.polyline[1].deleted, 1);
}

TEST(Skip, TwoPolylinesMeetingRebuildsThePolylineOfTheFirstNeighbour) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    const int a = g.node(0, 0), m = g.node(10, 0), b = g.node(20, 0);
    g.path_of({a, m});  // 1
    g.path_of({m, b});  // 2
    EXPECT_EQ(v.mskipnode(&v.node[m]), 0);
    EXPECT_TRUE(linked(v, a, b));
    EXPECT_EQ(nodes_of(v, 1), (std::vector<int>{a, b}));
    EXPECT_EQ(v.mskipnode(&v.node[a]), -1);
}

TEST(Merge, MidpointTruncatesTowardZero) {
    struct { int ax, ay, bx, by, x, y; } cases[] = {{3, 4, 6, 9, 4, 6}, {-3, 0, 0, 0, -1, 0}};
    for (auto c : cases) {
        CKTVector v;
        GraphBuilder g(v);
        const int a = g.node(c.ax, c.ay), b = g.node(c.bx, c.by);
        EXPECT_EQ(v.mergenode(&v.node[a], &v.node[b]), 0);
        EXPECT_EQ(v.node[a].x, c.x);
        EXPECT_EQ(v.node[a].y, c.y);
        EXPECT_EQ(v.node[b].deleted, 1);
    }
}

TEST(Merge, TakesOverTheOtherNodesLinksAndPolylineEntries) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{0, 0}, {10, 0}});    // 1: nodes 0, 1
    g.path({{12, 2}, {20, 10}});  // 2: nodes 2, 3
    EXPECT_EQ(v.massimilatenode(&v.node[1], &v.node[2]), 0);
    EXPECT_EQ(v.node[1].linknum, 2);
    EXPECT_EQ(nodes_of(v, 2), (std::vector<int>{1, 3}));
    EXPECT_EQ(v.node[2].linknum, 1);  // the merged-away node keeps its array
    EXPECT_EQ(check_graph(v), "");
}

TEST(MergeWithRepair, NonAdjacentInnerNodesOfOnePolylineStay) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{0, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}});
    EXPECT_EQ(Peer::mintegratenode(v, &v.node[1], &v.node[3]), 0);
    EXPECT_EQ(v.node[3].deleted, 0);
    EXPECT_EQ(check_graph(v), "");
}

TEST(MergeWithRepair, TheTwoEndsCloseThePolyline) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{0, 0}, {10, 0}, {10, 10}, {1, 1}});
    EXPECT_EQ(Peer::mintegratenode(v, &v.node[0], &v.node[3]), 0);
    const std::vector<int> n = nodes_of(v, 1);
    ASSERT_GE(n.size(), 4u);
    EXPECT_EQ(n.front(), n.back());
    EXPECT_EQ(check_graph(v), "");
}

TEST(MergeWithRepair, AdjacentNodesMergeOnlyThroughTheFirstSharedLink) {
    // Only the first link of A that shares B's polyline is looked at: from
    // node 1 that is the link back to node 0, which leads elsewhere.
    CKTVector v;
    GraphBuilder g(v);
    g.rows(50, 50);
    g.path({{0, 0}, {10, 0}, {11, 0}, {20, 0}});
    EXPECT_EQ(Peer::mintegratenode(v, &v.node[1], &v.node[2]), 0);
    EXPECT_EQ(v.node[2].deleted, 0);
    // From node 2 the first shared link leads to node 1: merged and rebuilt.
    EXPECT_EQ(Peer::mintegratenode(v, &v.node[2], &v.node[1]), 0);
    EXPECT_EQ(v.node[1].deleted, 1);
    EXPECT_EQ(v.node[2].x, 10);
    EXPECT_EQ(nodes_of(v, 1), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(check_graph(v), "");
}

// Every polyline that ran straight from a to b loses that link in the
// merge and is rebuilt, however many there are.
TEST(MergeWithRepair, EveryParallelPolylineIsRebuilt) {
    for (int parallel : {3, 8, 12}) {
        SCOPED_TRACE(parallel);
        CKTVector v;
        GraphBuilder g(v);
        g.rows(50, 50);
        const int a = g.node(0, 0), b = g.node(10, 0), c = g.node(20, 0);
        g.path_of({a, b, c});
        for (int k = 0; k < parallel; ++k) g.path_of({a, b});
        EXPECT_EQ(Peer::mintegratenode(v, &v.node[a], &v.node[b]), 0);
        EXPECT_EQ(nodes_of(v, 1), (std::vector<int>{a, c}));
        for (int id = 2; id <= parallel + 1; ++id) EXPECT_EQ(v.polyline[id - 1].deleted, 1) << id;
        EXPECT_EQ(check_graph(v), "");
    }
}

TEST(DeletePolyline, Cases) {
    CKTVector v;
    _KTNODE lonely{};
    EXPECT_EQ(v.mdeletepolyline(&lonely), -1004);
    GraphBuilder g(v);
    g.rows(60, 60);
    const int j = g.node(10, 10);
    const int e = g.node(0, 10), m = g.node(5, 10), t = g.node(20, 10), s = g.node(10, 20);
    g.path_of({e, m, j});  // 1, open, ends at the joint j
    g.path_of({j, t});     // 2 starts at j
    g.path_of({j, s});     // 3 starts at j
    const int meet = g.node(40, 40), p = g.node(30, 40), q = g.node(50, 40);
    g.path_of({p, meet});  // 4
    g.path_of({meet, q});  // 5
    EXPECT_EQ(v.mdeletepolyline(&v.node[meet]), 0);  // two polylines meet: nothing
    EXPECT_EQ(v.polyline[3].deleted + v.polyline[4].deleted, 0);
    EXPECT_EQ(v.mdeletepolyline(&v.node[j]), -1);    // a junction
    // The loop reads the list as node deletion rebuilds it: deleting e
    // rebuilds polyline 1 as (m, j), so position 1 is then the joint, which
    // stays, and m is passed over.
    EXPECT_EQ(v.mdeletepolyline(&v.node[e]), 0);
    EXPECT_EQ(v.polyline[0].deleted, 1);
    EXPECT_EQ(v.node[e].deleted, 1);
    EXPECT_EQ(v.node[m].deleted, 0);
    EXPECT_EQ(v.node[j].deleted, 0);
    EXPECT_EQ(v.node[j].linknum, 3);
    CheckOptions passed_over;  // m keeps its link to j with the old id
    passed_over.links_on_polylines = false;
    EXPECT_EQ(check_graph(v, passed_over), "");
}

TEST(DeletePolyline, FromAMiddleNode) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(60, 60);
    g.path({{0, 0}, {10, 0}, {20, 0}, {30, 0}});
    EXPECT_EQ(v.mdeletepolyline(&v.node[1]), 0);
    EXPECT_EQ(v.polyline[0].deleted, 1);
    EXPECT_EQ(v.node[0].deleted, 1);
    EXPECT_EQ(v.node[1].linknum, 1);  // the given node is left with one record
    EXPECT_EQ(v.mdeletepolyline(&v.node[1]), 0);
    EXPECT_EQ(check_graph(v), "");
}

TEST(Separator, LShapedPathLeavesOutTwoPixelsAtEachEnd) {
    Bitmap b(40, 40);
    CKTVector v;
    load_working_raster(v, b);
    EXPECT_EQ(Peer::mcheckseparator(v, 10, 10, 12, 10), 0);  // two apart: nothing tested
    b.set(20, 10);
    load_working_raster(v, b);
    EXPECT_EQ(Peer::mcheckseparator(v, 10, 10, 30, 10), 1);
    EXPECT_EQ(Peer::mcheckseparator(v, 18, 10, 30, 10), 1);  // column 20 = 18 + 2 is tested
    EXPECT_EQ(Peer::mcheckseparator(v, 19, 10, 30, 10), 0);
    EXPECT_EQ(Peer::mcheckseparator(v, 30, 10, 18, 10), 1);  // either order
    b.set(20, 10, false);
    b.set(30, 20);  // on the vertical leg at column 30
    load_working_raster(v, b);
    EXPECT_EQ(Peer::mcheckseparator(v, 10, 10, 30, 30), 1);
    EXPECT_EQ(Peer::mcheckseparator(v, 10, 10, 30, 22), 0);  // row 20 = 22 - 2 is left out
    EXPECT_EQ(Peer::mcheckseparator(v, 10, 18, 30, 30), 1);  // row 20 = 18 + 2 is tested
}

TEST(Cosine, ZeroLengthIsNotANumber) {
    CKTVector v;
    GraphBuilder g(v);
    const int a = g.node(0, 0), b = g.node(10, 0), c = g.node(0, 5);
    EXPECT_DOUBLE_EQ(Peer::mgetcos(v, &v.node[a], &v.node[b], &v.node[a], &v.node[c]), 0.0);
    EXPECT_DOUBLE_EQ(Peer::mgetcos(v, &v.node[a], &v.node[b], &v.node[b], &v.node[a]), -1.0);
    EXPECT_TRUE(std::isnan(Peer::mgetcos(v, &v.node[a], &v.node[a], &v.node[a], &v.node[b])));
}

TEST(Attach, EndNodeClosesItsPolylineOrJoinsAnother) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(60, 60);
    g.path({{10, 10}, {30, 10}, {30, 30}, {11, 11}});  // nodes 0..3
    Peer::mifnearthenattach(v, &v.node[3], 2);
    const std::vector<int> n = nodes_of(v, 1);
    EXPECT_EQ(n.front(), n.back());
    EXPECT_EQ(check_graph(v), "");

    CKTVector w;
    GraphBuilder h(w);
    h.rows(60, 60);
    h.path({{0, 40}, {20, 40}});   // 1: nodes 0, 1
    h.path({{21, 41}, {40, 40}});  // 2: nodes 2, 3
    Peer::mifnearthenattach(w, &w.node[1], 2);
    EXPECT_EQ(w.polyline[1].deleted, 1);
    EXPECT_EQ(nodes_of(w, 1).size(), 3u);
    EXPECT_EQ(check_graph(w), "");
}
