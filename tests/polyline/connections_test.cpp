// Polyline connections, the chain walks over them, and the joint queries.
#include <gtest/gtest.h>

#include <vector>

#include "graph_builder.h"
#include "peer.h"
#include "vectorizer/memory.h"

namespace {

// A cross: four polylines start at the joint J = node 0 (10, 10) and run
// west, east, north and south; ids 1..4, neighbour nodes 1..4.
struct Cross {
    CKTVector v;
    GraphBuilder g{v};
    int j;
    Cross() {
        g.rows(40, 40);
        j = g.node(10, 10);
        const int w = g.node(0, 10), e = g.node(20, 10), n = g.node(10, 0), s = g.node(10, 20);
        g.path_of({j, w});
        g.path_of({j, e});
        g.path_of({j, n});
        g.path_of({j, s});
    }
    _KTNODE *node(int i) { return &v.node[i]; }
};

// n bare polylines, each connected at its end to the next one's start.
void chain_of(CKTVector &v, int n) {
    v.polyline = ktv::alloc_zeroed<_KTPOLYLINE>(static_cast<std::size_t>(n));
    v.polylinenum = v.polylinecapacity = n;
    for (int i = 1; i < n; ++i) {
        v.polyline[i - 1].next = ktv::alloc_array<int>(1);
        v.polyline[i - 1].next[0] = i + 1;
        v.polyline[i - 1].nextnum = 1;
    }
}

}  // namespace

TEST(ConnectionLists, AddRemoveChange) {
    CKTVector v;
    GraphBuilder g(v);
    g.path({{0, 0}, {1, 0}});
    g.path({{5, 0}, {6, 0}});
    EXPECT_EQ(Peer::maddprev(v, 1, -2), 1);
    EXPECT_EQ(Peer::maddprev(v, 1, -2), 0);  // already there
    EXPECT_EQ(Peer::maddprev(v, 1, 2), 1);   // +k beside -k is a second entry
    EXPECT_EQ(prev_of(v, 1), (std::vector<int>{-2, 2}));
    Peer::mdelprev(v, 1, 2);                 // removes the first of either sign
    EXPECT_EQ(prev_of(v, 1), (std::vector<int>{2}));
    Peer::mdelprev(v, 1, -2);
    EXPECT_EQ(v.mgetpolyline(1)->prevnum, 0);
    EXPECT_EQ(v.mgetpolyline(1)->prev, nullptr);  // emptied list is released
    Peer::mdelnext(v, 1, 7);                       // absent: nothing
    ktv::mem_fail_at(1);
    EXPECT_EQ(Peer::maddnext(v, 1, 2), -1000);
    ktv::mem_fail_at(0);
    EXPECT_EQ(v.mgetpolyline(1)->nextnum, 0);
}

TEST(Connect, StraightThroughAtACross) {
    Cross c;
    EXPECT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(1), c.node(2)), 0);
    EXPECT_EQ(prev_of(c.v, 1), (std::vector<int>{2}));
    EXPECT_EQ(prev_of(c.v, 2), (std::vector<int>{1}));
    // Again: nothing changes.
    EXPECT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(2), c.node(1)), 0);
    EXPECT_EQ(prev_of(c.v, 1), (std::vector<int>{2}));
    EXPECT_EQ(prev_of(c.v, 2), (std::vector<int>{1}));
}

TEST(Connect, RefusalsChangeNothing) {
    Cross c;
    EXPECT_EQ(c.v.mconnectpolyline(c.node(c.j), nullptr, c.node(2)), -1);
    EXPECT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(2), c.node(2)), -1);
    const int stray = c.g.node(30, 30);
    EXPECT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(1), c.node(stray)), -1);
    EXPECT_EQ(c.v.mconnectpolyline(c.node(stray), c.node(1), c.node(2)), -1);  // no links
    for (int id = 1; id <= 4; ++id) {
        EXPECT_EQ(c.v.mgetpolyline(id)->prevnum + c.v.mgetpolyline(id)->nextnum, 0);
    }
}

TEST(Connect, BothEndsOfAPolylineClosedAtTheJointIsSamePolyline) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    g.path({{0, 0}, {10, 0}, {10, 10}}, true);  // nodes 0,1,2, closed at 0
    EXPECT_EQ(v.mconnectpolyline(&v.node[0], &v.node[1], &v.node[2]), -3);
}

TEST(Connect, JointInsideAPolylineIsRefused) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    g.path({{0, 5}, {10, 5}, {20, 5}});  // nodes 0,1,2; node 1 inside polyline 1
    const int up = g.node(10, 0);
    g.path_of({1, up});
    EXPECT_EQ(v.mconnectpolyline(&v.node[1], &v.node[0], &v.node[up]), -4);
}

TEST(Connect, LoopOfConnectionsIsRefusedWithNothingChanged) {
    // P, Q, R meet pairwise at three nodes of a triangle; P's end is
    // connected to Q's start and Q's end to R's start.
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    const int a = g.node(0, 0), m1 = g.node(5, 0), b = g.node(10, 0), m2 = g.node(10, 5),
              c = g.node(10, 10), m3 = g.node(5, 5);
    const int p = g.path_of({a, m1, b}), q = g.path_of({b, m2, c}), r = g.path_of({c, m3, a});
    ASSERT_EQ(v.mconnectpolyline(&v.node[b], &v.node[m1], &v.node[m2]), 0);
    ASSERT_EQ(v.mconnectpolyline(&v.node[c], &v.node[m2], &v.node[m3]), 0);
    EXPECT_EQ(next_of(v, p), (std::vector<int>{q}));
    EXPECT_EQ(prev_of(v, q), (std::vector<int>{-p}));
    EXPECT_EQ(Peer::mgetpathlen(v, p), 3);
    EXPECT_EQ(Peer::mgetpathlen(v, -r), 3);
    EXPECT_EQ(v.mconnectpolyline(&v.node[a], &v.node[m3], &v.node[m1]), -2);
    EXPECT_EQ(prev_of(v, p), std::vector<int>{});
    EXPECT_EQ(next_of(v, r), std::vector<int>{});
}

TEST(Connect, SingleEndsAcceptOnlyAFirstConnection) {
    Cross c;
    c.v.mgetpolyline(1)->flag |= 8;
    ASSERT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(1), c.node(2)), 0);
    EXPECT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(1), c.node(3)), 0);  // refused, not an error
    EXPECT_EQ(prev_of(c.v, 1), (std::vector<int>{2}));
    EXPECT_EQ(prev_of(c.v, 3), std::vector<int>{});
}

TEST(ConnectByStroke, BranchesChosenByTheStrokeEnds) {
    Cross c;
    // A stroke from the west branch to the east branch, crossing the joint.
    EXPECT_EQ(c.v.mconnectpolyline(4, 11, 16, 9), 0);
    EXPECT_EQ(prev_of(c.v, 1), (std::vector<int>{2}));
    // Ends that project past every branch: no branch.
    EXPECT_EQ(c.v.mconnectpolyline(-5, 25, 25, -5), -1);
    // Both ends beside the same branch.
    EXPECT_EQ(c.v.mconnectpolyline(12, 9, 18, 11), -1);
}

TEST(ConnectByStroke, TwoLinkJointIgnoresTheStrokeEnds) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    const int j = g.node(10, 10);
    const int w = g.node(0, 10), e = g.node(20, 10);
    g.path_of({w, j});
    g.path_of({j, e});
    EXPECT_EQ(v.mconnectpolyline(10, 5, 10, 15), 0);
    EXPECT_EQ(next_of(v, 1), (std::vector<int>{2}));
    EXPECT_EQ(prev_of(v, 2), (std::vector<int>{-1}));
}

TEST(ConnectByStroke, NothingToConnect) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    g.path({{0, 10}, {10, 10}, {20, 10}});
    EXPECT_EQ(v.mconnectpolyline(30, 30, 32, 32), -1);  // no node near the midpoint
    EXPECT_EQ(v.mconnectpolyline(8, 8, 12, 12), 0);     // only a middle node there
    EXPECT_EQ(v.mgetpolyline(1)->prevnum + v.mgetpolyline(1)->nextnum, 0);
}

TEST(Disconnect, AllConnectionsOfAPolyline) {
    Cross c;
    ASSERT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(1), c.node(2)), 0);
    ASSERT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(1), c.node(3)), 0);
    ASSERT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(4), c.node(3)), 0);
    Peer::mdisconnectall(c.v, 1);
    EXPECT_EQ(c.v.mgetpolyline(1)->prev, nullptr);
    EXPECT_EQ(c.v.mgetpolyline(1)->prevnum, 0);
    for (int id = 2; id <= 4; ++id)
        for (int e : prev_of(c.v, id)) EXPECT_NE(e < 0 ? -e : e, 1);
    EXPECT_EQ(prev_of(c.v, 3), (std::vector<int>{4}));
    c.v.mdisconnectpolyline(3, c.node(c.j), 4);
    EXPECT_EQ(prev_of(c.v, 3), std::vector<int>{});
    EXPECT_EQ(prev_of(c.v, 4), std::vector<int>{});
}

TEST(Disconnect, AtANodeOnlyTheEndsThere) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    const int a = g.node(0, 0), b = g.node(10, 0), c = g.node(20, 0), d = g.node(30, 0);
    g.path_of({a, b});
    g.path_of({b, c});
    g.path_of({c, d});
    ASSERT_EQ(v.mconnectpolyline(&v.node[b], &v.node[a], &v.node[c]), 0);
    ASSERT_EQ(v.mconnectpolyline(&v.node[c], &v.node[b], &v.node[d]), 0);
    Peer::mdisconnectat(v, &v.node[b]);
    EXPECT_EQ(next_of(v, 1), std::vector<int>{});
    EXPECT_EQ(prev_of(v, 2), std::vector<int>{});
    EXPECT_EQ(next_of(v, 2), (std::vector<int>{3}));  // held at c: untouched
}

TEST(Disconnect, ChangeRepointsEveryEntry) {
    Cross c;
    ASSERT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(1), c.node(2)), 0);
    Peer::mchangeconnect(c.v, 1, -7);
    EXPECT_EQ(prev_of(c.v, 2), (std::vector<int>{-7}));
    EXPECT_EQ(c.v.mgetpolyline(1)->prev, nullptr);
}

TEST(Chains, WalksEndOnLoopsAndShareTails) {
    // Hand-made lists with a loop 1 -> 2 -> 3 -> 1 and a diamond below.
    CKTVector v;
    GraphBuilder g(v);
    for (int i = 0; i < 8; ++i) g.path({{i, 0}, {i, 1}});
    Peer::maddnext(v, 1, 2);
    Peer::maddnext(v, 2, 3);
    Peer::maddnext(v, 3, 1);
    EXPECT_EQ(Peer::mcheckjointloop(v, 5, 1), 0);  // ends although 1 -> 2 -> 3 -> 1
    EXPECT_EQ(Peer::mcheckjointloop(v, 3, 1), 1);
    EXPECT_GE(Peer::mgetpathlen(v, 1), 1);
    // Diamond: 4 -> {5, 6}, 5 -> 7, 6 -> 7: longest chain 4, 5, 7.
    Peer::maddnext(v, 4, 5);
    Peer::maddnext(v, 4, 6);
    Peer::maddnext(v, 5, 7);
    Peer::maddnext(v, 6, 7);
    EXPECT_EQ(Peer::mgetpathlen(v, 4), 3);
    EXPECT_EQ(Peer::mgetpathlen(v, 7), 1);
    EXPECT_EQ(Peer::mgetpathlen(v, -7), 1);
}

TEST(Chains, MarkingJointsLeavesTheWalksVisitedStampsAlone) {
    // Marking pushes polyline ids on the shared scratch; in the stamp part
    // an id equal to a later walk's stamp would read as "visited": here the
    // 3 marking leaves behind sits where the third walk stamps end 2.
    CKTVector v;
    GraphBuilder g(v);
    for (int i = 0; i < 6; ++i) g.path({{i, 0}, {i, 1}});
    Peer::maddnext(v, 1, 2);
    Peer::maddnext(v, 2, 3);
    Peer::maddnext(v, 6, 4);
    Peer::maddnext(v, 6, 5);
    Peer::maddnext(v, 6, 1);
    v.markjointpolyline(6);
    EXPECT_EQ(Peer::mgetpathlen(v, 4), 1);
    EXPECT_EQ(Peer::mcheckjointloop(v, 3, 1), 1);  // 1 -> 2 -> 3
    EXPECT_EQ(Peer::mgetpathlen(v, 1), 3);
}

TEST(Chains, LongChainsNeedNoDeepRecursion) {
    // 200,000 polylines each connected at its end to the next one's start:
    // deeper than any call stack would take, so the walks must not recurse.
    CKTVector v;
    const int n = 200000;
    chain_of(v, n);
    EXPECT_EQ(Peer::mgetpathlen(v, 1), n);
    EXPECT_EQ(Peer::mcheckjointloop(v, n, 1), 1);
    EXPECT_EQ(Peer::mcheckjointloop(v, n, -1), 0);
    v.markjointpolyline(1);
    int marked = 0;
    for (int i = 0; i < n; ++i) marked += v.polyline[i].jointmark;
    EXPECT_EQ(marked, n);
}

TEST(Chains, WalksOutgrowingTheirScratchAnswerTheSameOrReportMemory) {
    // 300 polylines in one chain: a walk along it meets more ends than the
    // first scratch holds and has to grow it part-way.
    const int n = 300;
    for (long fail = 1; fail <= 3; ++fail) {
        SCOPED_TRACE(fail);
        CKTVector v;
        chain_of(v, n);
        ktv::mem_fail_at(fail);
        const int len = Peer::mgetpathlen(v, 1);  // a failure falls back to plain recursion
        ktv::mem_fail_at(0);
        EXPECT_EQ(len, n);
        CKTVector w;
        chain_of(w, n);
        ktv::mem_fail_at(fail);
        const int loop = Peer::mcheckjointloop(w, n, 1);
        ktv::mem_fail_at(0);
        EXPECT_TRUE(loop == 1 || loop == -1000) << loop;
        EXPECT_EQ(Peer::mcheckjointloop(w, n, 1), 1);  // and again once memory is back
        EXPECT_EQ(Peer::mcheckjointloop(w, n, -1), 0);
        EXPECT_EQ(Peer::mgetpathlen(w, 150), n - 149);
    }
}

TEST(Joints, EndsCountsAndEntries) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    const int a = g.node(0, 0), n = g.node(10, 0), b = g.node(20, 0), m = g.node(30, 0);
    g.path_of({a, n});     // 1 ends at n
    g.path_of({n, b, m});  // 2 starts at n; b is its middle
    EXPECT_EQ(v.mcountend(&v.node[b]), 0);
    int info[16] = {};
    EXPECT_EQ(v.mgetjointinfo(&v.node[b], info), 0);
    EXPECT_EQ(v.mcountend(&v.node[a]), 1);
    EXPECT_EQ(v.mgetjointinfo(&v.node[n], info), 0);  // no connection yet
    ASSERT_EQ(v.mconnectpolyline(&v.node[n], &v.node[a], &v.node[b]), 0);
    EXPECT_EQ(v.mgetjointinfo(&v.node[n], info), 4);  // met twice, reported once
    EXPECT_EQ(info[0], 1);
    EXPECT_EQ(info[1], a);
    EXPECT_EQ(info[2], 2);
    EXPECT_EQ(info[3], b);
    EXPECT_EQ(Peer::mcheckend(v, &v.node[n], 1), 2);
    EXPECT_EQ(Peer::mcheckend(v, &v.node[n], -2), 1);
}

TEST(Joints, ClosedPolylineCountsTwiceAndReadsItsStartList) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    g.path({{0, 0}, {10, 0}, {10, 10}}, true);  // 1 closed at node 0
    const int tail = g.node(0, 20);
    g.path_of({0, tail});  // 2
    EXPECT_EQ(v.mcountend(&v.node[0]), 3);
    EXPECT_EQ(Peer::mcheckend(v, &v.node[0], 1), 3);
    ASSERT_EQ(v.mconnectpolyline(&v.node[0], &v.node[1], &v.node[tail]), 0);
    int info[32] = {};
    EXPECT_EQ(v.mgetjointinfo(&v.node[0], info), 4);
}

TEST(Joints, MarkingFloodsConnectedPolylinesOnly) {
    Cross c;
    const int far = c.g.node(35, 35);
    c.g.path_of({far, c.g.node(38, 35)});  // 5: unconnected, elsewhere
    ASSERT_EQ(c.v.mconnectpolyline(c.node(c.j), c.node(1), c.node(2)), 0);
    c.v.markjointpolyline(1);
    EXPECT_EQ(c.v.polyline[0].jointmark, 1);
    EXPECT_EQ(c.v.polyline[1].jointmark, 1);
    EXPECT_EQ(c.v.polyline[2].jointmark, 0);
    c.v.markjointpolyline(c.node(c.j));  // adds 3 and 4 (no connections)
    EXPECT_EQ(c.v.polyline[2].jointmark, 1);
    EXPECT_EQ(c.v.polyline[3].jointmark, 1);
    EXPECT_EQ(c.v.polyline[4].jointmark, 0);
    c.v.munmarkjointpolyline();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(c.v.polyline[i].jointmark, 0);
}

TEST(Distance, FootAndPerpendicular) {
    CKTVector v;
    double t, d;
    Peer::mdistance(v, 0, 0, 10, 0, 5, 3, t, d);
    EXPECT_DOUBLE_EQ(t, 0.5);
    EXPECT_DOUBLE_EQ(d, 3.0);
    Peer::mdistance(v, 0, 0, 10, 0, -5, 0, t, d);
    EXPECT_DOUBLE_EQ(t, -0.5);
    EXPECT_DOUBLE_EQ(d, 0.0);
}
