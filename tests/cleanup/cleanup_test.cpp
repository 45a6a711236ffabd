// The centre-line and outline clean-up: the drivers on drawings, each pass
// on a hand-made graph that gives it exactly one thing to do, and the node
// operations the passes are made of.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bitmap.h"
#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"

namespace {

// One fixture for the module: an empty graph with the row index of a
// 100 x 100 raster.
class Cleanup : public ::testing::Test {
protected:
    CKTVector v;
    GraphBuilder g{v};
    Cleanup() { g.rows(100, 100); }
    _KTNODE *n(int i) { return &v.node[i]; }
    bool has(int a, int b) const {
        for (int k = 0; k < v.node[a].linknum; ++k)
            if (v.node[a].link[k].node == b) return true;
        return false;
    }
    int live_polylines() const {
        int live = 0;
        for (int i = 0; i < v.polylinenum; ++i) live += !v.polyline[i].deleted;
        return live;
    }
    // End of p connected to the start of q, on both sides.
    void connect(int p, int q) {
        Peer::maddnext(v, p, q);
        Peer::maddprev(v, q, -p);
    }
    void passes(int flags, double a, double b, double c, double d) {
        Peer::mpostprocesscenterline(v, flags, a, b, c, d);
    }
};

}  // namespace

TEST(CenterlineDriver, TrackedMarksGiveTheSameResultAsClearingEverything) {
    // Inside the driver a search clears only what the previous one marked;
    // the reference clears the whole array every time.
    std::mt19937 rng(5);
    for (int trial = 0; trial < 60; ++trial) {
        Bitmap b = random_strokes(rng);
        const int flags = static_cast<int>(rng() % 32), maxlength = static_cast<int>(rng() % 12);
        const double a = 1 + rng() % 8, bb = 2 + rng() % 12, c = (rng() % 100) / 100.0;
        const double d = 1 + rng() % 8, e = 0.5 + (rng() % 4) * 0.5;
        CKTVector fast, reference;
        Peer::findreference(reference) = 1;
        for (CKTVector *v : {&fast, &reference}) {
            v->msetdocument(b.data(), b.width, b.height);
            ASSERT_EQ(v->mabstractcenterline(flags, maxlength, a, bb, c, d, e), 0);
        }
        ASSERT_EQ(dump_graph(fast), dump_graph(reference)) << "trial " << trial << " flags " << flags;
        EXPECT_EQ(check_graph(fast, structural_checks()), "") << "trial " << trial;
    }
    // A second run on the same vectorizer, new document, equals a fresh run.
    CKTVector v, fresh;
    Bitmap first = random_strokes(rng), second = random_strokes(rng), blank(50, 40);
    for (Bitmap *b : {&first, &second}) {
        v.msetdocument(b->data(), b->width, b->height);
        ASSERT_EQ(v.mabstractcenterline(31, 8, 3, 8, 0.9, 4, 1.5), 0);
    }
    fresh.msetdocument(second.data(), second.width, second.height);
    ASSERT_EQ(fresh.mabstractcenterline(31, 8, 3, 8, 0.9, 4, 1.5), 0);
    EXPECT_EQ(dump_graph(v), dump_graph(fresh));
    v.msetdocument(blank.data(), blank.width, blank.height);
    EXPECT_EQ(v.mabstractcenterline(31, 8, 3, 8, 0.9, 4, 1.5), 0);
    EXPECT_EQ(v.nodenum + v.polylinenum, 0);
}

TEST_F(Cleanup, EndsAheadOfAStrokeAreFused) {
    // Pass 1: the end (40,20) and the start (43,21) of the next stroke,
    // 3.2 px apart and in line: one polyline through one fused node.  The
    // end (40,60) faces a stroke that turns back sharper than a right
    // angle: left alone.
    g.path({{10, 20}, {40, 20}});
    g.path({{43, 21}, {80, 21}});
    g.path({{10, 60}, {40, 60}});
    g.path({{43, 62}, {30, 95}});
    passes(1, 4.0, 0.0, 0.9, 0.0);
    EXPECT_EQ(v.polyline[0].deleted + v.polyline[1].deleted, 1);
    EXPECT_EQ(v.node[1].deleted + v.node[2].deleted, 1);
    EXPECT_EQ(v.polyline[2].deleted + v.polyline[3].deleted, 0);
    EXPECT_EQ(v.node[5].deleted + v.node[6].deleted, 0);
    EXPECT_EQ(check_graph(v, structural_checks()), "");
}

TEST_F(Cleanup, AnEndWithSeveralConnectionsKeepsTheLongestChain) {
    // Polyline 1 ends at J, where 2 and 3 start; 3 goes on into 4.  Pass 7
    // keeps 1 -> 3 (a chain of three) and drops 1 -> 2 on both sides.  At
    // K, 5 ends with two chains of one each: the first listed stays.  The
    // lists of the deleted 9 are history and stay as they are.
    const int a = g.node(10, 50), j = g.node(30, 50), b = g.node(50, 40), c = g.node(50, 60), d = g.node(70, 60);
    g.path_of({a, j});
    g.path_of({j, b});
    g.path_of({j, c});
    g.path_of({c, d});
    const int e = g.node(10, 90), k = g.node(30, 90);
    g.path_of({e, k});
    g.path_of({k, g.node(50, 80)});
    g.path_of({k, g.node(50, 99)});
    g.path_of({c, g.node(60, 75)});  // 8: c is a junction, so 3 and 4 stay apart
    const int m = g.node(30, 10);
    g.path_of({g.node(10, 10), m});  // 9, deleted below
    g.path_of({m, g.node(50, 5)});
    g.path_of({m, g.node(50, 15)});
    for (auto [p, q] : {std::pair{1, 2}, {1, 3}, {3, 4}, {5, 6}, {5, 7}, {9, 10}, {9, 11}}) connect(p, q);
    v.polyline[8].deleted = 1;
    Peer::mpostprocesscenterline(v, 4, 0.0, 0.0, 2.0, 0.0);  // cosine 2: pass 6 pairs nothing
    EXPECT_EQ(next_of(v, 1), std::vector<int>{3});
    EXPECT_EQ(prev_of(v, 2), std::vector<int>{});
    EXPECT_EQ(prev_of(v, 3), std::vector<int>{-1});
    EXPECT_EQ(next_of(v, 5), std::vector<int>{6});
    EXPECT_EQ(prev_of(v, 7), std::vector<int>{});
    EXPECT_EQ(next_of(v, 9), (std::vector<int>{10, 11}));
    EXPECT_EQ(prev_of(v, 11), std::vector<int>{-9});
    CheckOptions deleted_by_hand;  // 9's links stay in place
    deleted_by_hand.links_on_polylines = false;
    EXPECT_EQ(check_graph(v, deleted_by_hand), "");
}

TEST_F(Cleanup, OutlineSpursGoAndThePiecesLeftAreJoined) {
    // A three-node spur off junction J (kept at 3 spur nodes: J keeps its
    // link, aimed at a deleted node, and nothing is joined); then a two-node
    // spur off K and an isolated piece, both dropped at 2, after which the
    // two polylines left at K are one and no flag or mark remains.
    const int j = g.node(50, 30);
    g.path_of({g.node(10, 30), g.node(20, 32), g.node(30, 30), g.node(40, 32), j});
    g.path_of({j, g.node(60, 32), g.node(70, 30), g.node(80, 32), g.node(90, 30)});
    const int s2 = g.node(50, 50), s1 = g.node(50, 40);
    g.path_of({s2, s1, j});
    // An H: a bar of two nodes between the middles of two long strokes is
    // no spur.
    g.path({{10, 60}, {10, 65}, {10, 70}, {10, 75}, {10, 80}});
    g.path({{30, 60}, {30, 65}, {30, 70}, {30, 75}, {30, 80}});
    g.path_of({s2 + 3, s2 + 8});
    v.mpostprocessoutline(3);
    EXPECT_EQ(v.polyline[5].deleted, 0);
    EXPECT_EQ(v.polyline[2].deleted, 1);
    EXPECT_EQ(v.node[s1].deleted + v.node[s2].deleted, 2);
    EXPECT_EQ(v.node[j].linknum, 3);
    EXPECT_EQ(v.polyline[0].deleted + v.polyline[1].deleted, 0);
    CheckOptions spurs;
    spurs.links_to_deleted = true;
    EXPECT_EQ(check_graph(v, spurs), "");

    CKTVector w;
    GraphBuilder h(w);
    h.rows(100, 100);
    const int k = h.node(50, 50), s = h.node(50, 60);
    h.path_of({h.node(20, 50), h.node(35, 52), k});
    h.path_of({k, h.node(65, 52), h.node(80, 50)});
    h.path_of({s, k});
    h.path({{5, 90}, {9, 90}});
    w.msetmodify(1);
    w.polyline[0].flag = 7;
    w.mpostprocessoutline(2);
    EXPECT_EQ(w.polyline[2].deleted + w.polyline[3].deleted, 2);
    EXPECT_EQ(w.node[s].deleted, 1);
    EXPECT_EQ(w.node[k].linknum, 2);
    EXPECT_EQ(w.polyline[0].deleted + w.polyline[1].deleted, 1);
    for (int i = 0; i < w.polylinenum; ++i) EXPECT_EQ(w.polyline[i].flag + w.polyline[i].modify, 0);
    EXPECT_EQ(check_graph(w), "");
}

// Every polyline that ran straight from a to b loses that link when the
// two merge and is rebuilt, however many there are.
TEST_F(Cleanup, MergingTwoNodesRebuildsEveryPolylineBetweenThem) {
    const int a = g.node(0, 0), b = g.node(10, 0), c = g.node(20, 0);
    g.path_of({a, b, c});
    for (int k = 0; k < 12; ++k) g.path_of({a, b});
    EXPECT_EQ(Peer::mintegratenode(v, n(a), n(b)), 0);
    EXPECT_EQ(nodes_of(v, 1), (std::vector<int>{a, c}));
    EXPECT_EQ(live_polylines(), 1);
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(Cleanup, DeletePolylineFromAnEndOrAMiddleNode) {
    _KTNODE lonely{};
    CKTVector empty;
    EXPECT_EQ(empty.mdeletepolyline(&lonely), -1004);
    const int j = g.node(10, 10), e = g.node(0, 10), m = g.node(5, 10);
    g.path_of({e, m, j});              // 1 ends at the junction j
    g.path_of({j, g.node(20, 10)});    // 2
    g.path_of({j, g.node(10, 20)});    // 3
    const int meet = g.node(40, 40);
    g.path_of({g.node(30, 40), g.node(35, 40), meet});  // 4: nodes 6, 7
    g.path_of({meet, g.node(50, 40)});                  // 5
    EXPECT_EQ(v.mdeletepolyline(n(meet)), 0);  // where two polylines meet: nothing
    EXPECT_EQ(live_polylines(), 5);
    // From 4's free end: the list shifts to (7, meet), 7 is passed over and
    // the meeting node, an end of both, stays with 5.
    EXPECT_EQ(v.mdeletepolyline(n(6)), 0);
    EXPECT_EQ(v.node[6].deleted * 10 + v.node[meet].deleted + v.polyline[3].deleted * 100 + v.polyline[4].deleted, 110);
    EXPECT_EQ(v.node[7].deleted, 0);
    EXPECT_EQ(v.mdeletepolyline(n(j)), -1);  // a junction
    // The loop reads the list as node deletion rebuilds it: deleting e
    // rebuilds 1 as (m, j), so position 1 is then the junction, which stays,
    // and m is passed over.
    EXPECT_EQ(v.mdeletepolyline(n(e)), 0);
    EXPECT_EQ(v.polyline[0].deleted, 1);
    EXPECT_EQ(v.node[e].deleted + v.node[m].deleted + v.node[j].deleted, 1);
    EXPECT_EQ(v.node[j].linknum, 3);
    CheckOptions passed_over;  // m keeps its link to j with the old id
    passed_over.links_on_polylines = false;
    EXPECT_EQ(check_graph(v, passed_over), "");
    g.path({{0, 80}, {10, 80}, {20, 80}, {30, 80}});  // 6: nodes 9 .. 12
    EXPECT_EQ(v.mdeletepolyline(n(10)), 0);
    EXPECT_EQ(v.polyline[5].deleted, 1);
    EXPECT_EQ(v.node[9].deleted, 1);
    EXPECT_EQ(v.node[10].linknum, 1);  // the given node is left with one record
}

TEST_F(Cleanup, SeparatorLeavesOutTwoPixelsAtEachEndOfItsLPath) {
    Bitmap b(40, 40);
    auto separated = [&](int x1, int y1, int x2, int y2) {
        load_working_raster(v, b);
        return Peer::mcheckseparator(v, x1, y1, x2, y2);
    };
    EXPECT_EQ(separated(10, 10, 12, 10), 0);  // two apart: nothing tested
    b.set(20, 10);
    EXPECT_EQ(separated(10, 10, 30, 10), 1);
    EXPECT_EQ(separated(18, 10, 30, 10), 1);  // column 20 = 18 + 2 is tested
    EXPECT_EQ(separated(19, 10, 30, 10), 0);
    EXPECT_EQ(separated(30, 10, 18, 10), 1);  // either order
    b.set(20, 10, false);
    b.set(30, 20);  // on the vertical leg at column 30
    EXPECT_EQ(separated(10, 10, 30, 30), 1);
    EXPECT_EQ(separated(10, 10, 30, 22), 0);  // row 20 = 22 - 2 is left out
    EXPECT_EQ(separated(10, 18, 30, 30), 1);  // row 20 = 18 + 2 is tested
}

TEST_F(Cleanup, AttachClosesThePolylineOrJoinsAnother) {
    g.path({{10, 10}, {30, 10}, {30, 30}, {11, 11}});  // nodes 0..3
    Peer::mifnearthenattach(v, n(3), 2);
    const std::vector<int> closed = nodes_of(v, 1);
    EXPECT_EQ(closed.front(), closed.back());
    g.path({{0, 40}, {20, 40}});   // 2: nodes 4, 5
    g.path({{21, 41}, {40, 40}});  // 3: nodes 6, 7
    g.path({{60, 60}, {80, 60}});  // 4: nodes 8, 9; node 9 has nothing near
    Peer::mifnearthenattach(v, n(5), 2);
    EXPECT_EQ(v.polyline[2].deleted, 1);
    EXPECT_EQ(nodes_of(v, 2).size(), 3u);
    Peer::mifnearthenattach(v, n(9), 2);
    EXPECT_EQ(live_polylines(), 3);
    EXPECT_EQ(check_graph(v), "");
}
