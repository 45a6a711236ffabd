// Polyline connections, the chain walks over them, and the joint queries.
#include <gtest/gtest.h>

#include <vector>

#include "graph_builder.h"
#include "invariants.h"
#include "peer.h"
#include "sweep.h"

namespace {

// A cross: four polylines start at the joint J = node 0 (10, 10) and run
// west, east, north and south; ids 1..4, neighbour nodes 1..4.
class Connections : public ::testing::Test {
protected:
    CKTVector v;
    GraphBuilder g{v};
    const int j = 0;
    Connections() {
        g.rows(40, 40);
        g.node(10, 10);
        for (auto [x, y] : {std::pair{0, 10}, {20, 10}, {10, 0}, {10, 20}}) g.path_of({j, g.node(x, y)});
    }
    _KTNODE *n(int i) { return &v.node[i]; }
    int connections() const {
        int c = 0;
        for (int i = 0; i < v.polylinenum; ++i) c += v.polyline[i].prevnum + v.polyline[i].nextnum;
        return c;
    }
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

TEST_F(Connections, ConnectAtAJointAndItsRefusals) {
    EXPECT_EQ(v.mconnectpolyline(n(j), n(1), n(2)), 0);
    EXPECT_EQ(v.mconnectpolyline(n(j), n(2), n(1)), 0);  // again: nothing changes
    EXPECT_EQ(prev_of(v, 1), std::vector<int>{2});
    EXPECT_EQ(prev_of(v, 2), std::vector<int>{1});
    const int stray = g.node(30, 30);
    for (auto [joint, a, b] : {std::tuple{n(j), (_KTNODE *)nullptr, n(2)}, {n(j), n(2), n(2)}, {n(j), n(1), n(stray)},
                               {n(stray), n(1), n(2)}})
        EXPECT_EQ(v.mconnectpolyline(joint, a, b), -1);
    EXPECT_EQ(connections(), 2);
    // A single end takes only its first connection; a second is refused
    // quietly.  The other flags (an arc mark here) do not limit it.
    v.polyline[2].flag |= 8;
    v.msetarc(4);
    ASSERT_EQ(v.mconnectpolyline(n(j), n(3), n(4)), 0);
    EXPECT_EQ(v.mconnectpolyline(n(j), n(3), n(1)), 0);
    EXPECT_EQ(v.mconnectpolyline(n(j), n(4), n(1)), 0);
    EXPECT_EQ(prev_of(v, 3), std::vector<int>{4});
    EXPECT_EQ(prev_of(v, 4), (std::vector<int>{3, 1}));
    // The same at polyline ends, in the next lists: 5, 6, 7 end at K.
    const int k = g.node(30, 35), a5 = g.node(20, 35), a6 = g.node(30, 25), a7 = g.node(39, 35);
    for (int from : {a5, a6, a7}) g.path_of({from, k});
    v.msetarc(5);
    ASSERT_EQ(v.mconnectpolyline(n(k), n(a5), n(a6)), 0);
    ASSERT_EQ(v.mconnectpolyline(n(k), n(a5), n(a7)), 0);
    EXPECT_EQ(next_of(v, 5).size(), 2u);
    EXPECT_EQ(check_graph(v), "");

    // Both ends of one polyline closed at the joint; a joint inside a
    // polyline.
    CKTVector w;
    GraphBuilder h(w);
    h.rows(40, 40);
    h.path({{0, 0}, {10, 0}, {10, 10}}, true);     // 1: nodes 0, 1, 2, closed at 0
    h.path({{0, 25}, {10, 25}, {20, 25}});         // 2: nodes 3, 4, 5
    h.path_of({4, h.node(10, 35)});                // 3 starts inside 2
    EXPECT_EQ(w.mconnectpolyline(&w.node[0], &w.node[1], &w.node[2]), -3);
    EXPECT_EQ(w.mconnectpolyline(&w.node[4], &w.node[3], &w.node[6]), -4);
}

TEST(Connect, ALoopOfConnectionsIsRefusedWithNothingChanged) {
    // P, Q, R meet pairwise at the corners of a triangle; P's end is
    // connected to Q's start and Q's end to R's start.
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    const int a = g.node(0, 0), m1 = g.node(5, 0), b = g.node(10, 0), m2 = g.node(10, 5), c = g.node(10, 10),
              m3 = g.node(5, 5);
    const int p = g.path_of({a, m1, b}), q = g.path_of({b, m2, c}), r = g.path_of({c, m3, a});
    ASSERT_EQ(v.mconnectpolyline(&v.node[b], &v.node[m1], &v.node[m2]), 0);
    ASSERT_EQ(v.mconnectpolyline(&v.node[c], &v.node[m2], &v.node[m3]), 0);
    EXPECT_EQ(next_of(v, p), std::vector<int>{q});
    EXPECT_EQ(prev_of(v, q), std::vector<int>{-p});
    EXPECT_EQ(Peer::mgetpathlen(v, p), 3);
    EXPECT_EQ(Peer::mgetpathlen(v, -r), 3);
    EXPECT_EQ(v.mconnectpolyline(&v.node[a], &v.node[m3], &v.node[m1]), -2);
    EXPECT_EQ(prev_of(v, p), std::vector<int>{});
    EXPECT_EQ(next_of(v, r), std::vector<int>{});
}

TEST_F(Connections, DisconnectAllOfAPolylineOrAtANode) {
    ASSERT_EQ(v.mconnectpolyline(n(j), n(1), n(2)), 0);
    ASSERT_EQ(v.mconnectpolyline(n(j), n(1), n(3)), 0);
    ASSERT_EQ(v.mconnectpolyline(n(j), n(4), n(3)), 0);
    Peer::mdisconnectall(v, 1);
    EXPECT_EQ(v.polyline[0].prev, nullptr);
    EXPECT_EQ(prev_of(v, 2), std::vector<int>{});
    EXPECT_EQ(prev_of(v, 3), std::vector<int>{4});
    v.mdisconnectpolyline(3, n(j), 4);
    EXPECT_EQ(connections(), 0);

    // At a node only the ends there go.
    CKTVector w;
    GraphBuilder h(w);
    h.rows(40, 40);
    const int a = h.node(0, 0), b = h.node(10, 0), c = h.node(20, 0), d = h.node(30, 0);
    h.path_of({a, b});
    h.path_of({b, c});
    h.path_of({c, d});
    const int e = h.node(20, 10), f = h.node(30, 10);
    h.path_of({h.node(0, 10), b, e});  // 4 passes through b
    h.path_of({e, f});                 // 5 continues 4 past b
    ASSERT_EQ(w.mconnectpolyline(&w.node[b], &w.node[a], &w.node[c]), 0);
    ASSERT_EQ(w.mconnectpolyline(&w.node[c], &w.node[b], &w.node[d]), 0);
    ASSERT_EQ(w.mconnectpolyline(&w.node[e], &w.node[b], &w.node[f]), 0);
    Peer::mdisconnectat(w, &w.node[b]);
    EXPECT_EQ(next_of(w, 1), std::vector<int>{});
    EXPECT_EQ(prev_of(w, 2), std::vector<int>{});
    EXPECT_EQ(next_of(w, 2), std::vector<int>{3});
    EXPECT_EQ(next_of(w, 4), std::vector<int>{5});
    EXPECT_EQ(check_graph(w), "");
}

TEST(Chains, WalksEndOnLoopsShareTailsAndNeedNoRecursion) {
    CKTVector v;
    GraphBuilder g(v);
    for (int i = 0; i < 8; ++i) g.path({{i, 0}, {i, 1}});
    // A loop 1 -> 2 -> 3 -> 1, and a diamond 4 -> {5, 6} -> 7.
    for (auto [a, b] : {std::pair{1, 2}, {2, 3}, {3, 1}, {4, 5}, {4, 6}, {5, 7}, {6, 7}}) Peer::maddnext(v, a, b);
    EXPECT_EQ(Peer::mcheckjointloop(v, 5, 1), 0);  // ends although 1 -> 2 -> 3 -> 1
    EXPECT_EQ(Peer::mcheckjointloop(v, 3, 1), 1);
    EXPECT_GE(Peer::mgetpathlen(v, 1), 1);
    EXPECT_EQ(Peer::mgetpathlen(v, 4), 3);
    EXPECT_EQ(Peer::mgetpathlen(v, 7) + Peer::mgetpathlen(v, -7), 2);
    // Marking pushes ids on the walks' shared scratch; an id equal to a
    // later walk's visited stamp would read as "visited": the 3 marking
    // leaves behind sits where the third walk stamps end 2.
    CKTVector u;
    GraphBuilder f(u);
    for (int i = 0; i < 6; ++i) f.path({{i, 0}, {i, 1}});
    for (auto [a, b] : {std::pair{1, 2}, {2, 3}, {6, 4}, {6, 5}, {6, 1}}) Peer::maddnext(u, a, b);
    u.markjointpolyline(6);
    EXPECT_EQ(Peer::mgetpathlen(u, 4), 1);
    EXPECT_EQ(Peer::mcheckjointloop(u, 3, 1), 1);
    EXPECT_EQ(Peer::mgetpathlen(u, 1), 3);

    // 200,000 polylines in one chain: deeper than any call stack.
    CKTVector w;
    const int n = 200000;
    chain_of(w, n);
    EXPECT_EQ(Peer::mgetpathlen(w, 1), n);
    EXPECT_EQ(Peer::mcheckjointloop(w, n, 1), 1);
    EXPECT_EQ(Peer::mcheckjointloop(w, n, -1), 0);
    w.markjointpolyline(1);
    int marked = 0;
    for (int i = 0; i < n; ++i) marked += w.polyline[i].jointmark;
    EXPECT_EQ(marked, n);
}

TEST(Chains, WalksOutgrowingTheirScratchAnswerTheSameOrReportMemory) {
    const int n = 300;  // more ends than the first scratch holds
    for (long fail = 1; fail <= 3; ++fail) {
        SCOPED_TRACE(fail);
        CKTVector v, w;
        chain_of(v, n);
        chain_of(w, n);
        int len = 0, loop = 0;
        fails_at(fail, [&] { len = Peer::mgetpathlen(v, 1); });  // falls back to plain recursion
        EXPECT_EQ(len, n);
        fails_at(fail, [&] { loop = Peer::mcheckjointloop(w, n, 1); });
        EXPECT_TRUE(loop == 1 || loop == -1000) << loop;
        EXPECT_EQ(Peer::mcheckjointloop(w, n, 1), 1);
        EXPECT_EQ(Peer::mcheckjointloop(w, n, -1), 0);
        EXPECT_EQ(Peer::mgetpathlen(w, 150), n - 149);
    }
    // The first walk of a fresh vectorizer outgrows the scratch on a ring:
    // the ends it entered before the growth must still read as visited.
    CKTVector ring;
    chain_of(ring, n);
    Peer::maddnext(ring, n, 1);
    EXPECT_EQ(Peer::mgetpathlen(ring, 1), n);
}

TEST(Joints, EndsCountsEntriesAndMarks) {
    CKTVector v;
    GraphBuilder g(v);
    g.rows(40, 40);
    const int a = g.node(0, 0), n = g.node(10, 0), b = g.node(20, 0), m = g.node(30, 0);
    g.path_of({a, n});     // 1 ends at n
    g.path_of({n, b, m});  // 2 starts at n; b is its middle
    int info[32] = {};
    EXPECT_EQ(v.mcountend(&v.node[b]) + v.mgetjointinfo(&v.node[b], info), 0);
    EXPECT_EQ(v.mcountend(&v.node[a]), 1);
    EXPECT_EQ(v.mgetjointinfo(&v.node[n], info), 0);  // no connection yet
    ASSERT_EQ(v.mconnectpolyline(&v.node[n], &v.node[a], &v.node[b]), 0);
    EXPECT_EQ(v.mgetjointinfo(&v.node[n], info), 4);  // met twice, reported once
    EXPECT_EQ(std::vector<int>(info, info + 4), (std::vector<int>{1, a, 2, b}));
    EXPECT_EQ(Peer::mcheckend(v, &v.node[n], 1), 2);
    EXPECT_EQ(Peer::mcheckend(v, &v.node[n], -2), 1);
    const int far = g.node(35, 35);
    g.path_of({far, g.node(38, 35)});  // 3: unconnected, elsewhere
    v.markjointpolyline(1);
    EXPECT_EQ(v.polyline[0].jointmark + v.polyline[1].jointmark, 2);
    EXPECT_EQ(v.polyline[2].jointmark, 0);
    v.markjointpolyline(&v.node[far]);
    EXPECT_EQ(v.polyline[2].jointmark, 1);
    v.munmarkjointpolyline();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(v.polyline[i].jointmark, 0);

    // A closed polyline counts twice at its start node and reads its start
    // list.
    CKTVector w;
    GraphBuilder h(w);
    h.rows(40, 40);
    h.path({{0, 0}, {10, 0}, {10, 10}}, true);
    const int tail = h.node(0, 20);
    h.path_of({0, tail});
    EXPECT_EQ(w.mcountend(&w.node[0]), 3);
    EXPECT_EQ(Peer::mcheckend(w, &w.node[0], 1), 3);
    ASSERT_EQ(w.mconnectpolyline(&w.node[0], &w.node[1], &w.node[tail]), 0);
    EXPECT_EQ(w.mgetjointinfo(&w.node[0], info), 4);
}

