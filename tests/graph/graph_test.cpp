// Nodes, links and the row index: approximation of traced chains into link
// pairs, node registration, link records, and the row sort, which follows
// only the out-of-place entries of a row yet must leave exactly the order
// of the full comb sort (ties included: it shows in later lookups).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "chains.h"
#include "invariants.h"
#include "peer.h"
#include "sweep.h"

namespace {

// One fixture for the module: a 40 x 20 working raster with its rows.
class Graph : public ::testing::Test {
protected:
    void SetUp() override { setup_rows(v, 40, 20); }
    _KTNODE *at(int x, int y) { return Peer::msearchjust(v, x, y); }
    _KTNODE *reg(int x, int y, int search = 0) {
        _KTPOINT p{};
        p.x = x;
        p.y = y;
        p.flag = 0xff;
        p.kind = 3;
        return Peer::mregistnode(v, search, &p);
    }
    int ix(const _KTNODE *n) const { return static_cast<int>(n - v.node); }
    std::vector<int> row(int y) const {
        return std::vector<int>(v.lineinfo[y].nodeindex, v.lineinfo[y].nodeindex + v.lineinfo[y].nodenum);
    }
    static CheckOptions no_polylines() {
        CheckOptions o;
        o.polylines = false;
        return o;
    }
    CKTVector v;
    Chains c;
};

// The comb sort as defined: gap / 1.3 truncated, 0 -> 1, 9 or 10 -> 11,
// passes until a gap-1 pass swaps nothing.
void reference_sort(const std::vector<int> &x, std::vector<int> &ix) {
    const int n = static_cast<int>(ix.size());
    for (int gap = n;;) {
        gap = static_cast<int>(gap * 0.7692307692307692);
        if (gap == 0) gap = 1;
        if (gap == 9 || gap == 10) gap = 11;
        int swaps = 0;
        for (int i = 0; i + gap < n; ++i)
            if (x[ix[i]] > x[ix[i + gap]]) std::swap(ix[i], ix[i + gap]), ++swaps;
        if (!swaps && gap <= 1) break;
    }
}

void expect_same_order(const std::vector<int> &x, const std::vector<int> &ix) {
    CKTVector v;
    v.node = ktv::alloc_zeroed<_KTNODE>(x.size());
    v.nodecapacity = v.nodenum = static_cast<int>(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) v.node[i].x = x[i];
    std::vector<int> got = ix, want = ix;
    Peer::msortpnode(v, static_cast<int>(got.size()), got.data());
    reference_sort(x, want);
    ASSERT_EQ(got, want) << ix.size() << " entries";
}

}  // namespace

TEST_F(Graph, ApproximationMakesLinkPairsThatPointBack) {
    EXPECT_EQ(v.mapplox(1.0, 1), 0);  // no segments: nothing, and id 1 next
    EXPECT_EQ(v.nodenum, 0);
    EXPECT_EQ(v.polylineid, 1);
    add_chain(v, c, run(2, 3, 12, 3));
    add_chain(v, c, run(0, 6, 9, 6), true);  // discarded: makes nothing, uses no id
    Pixels bend = run(0, 10, 10, 10);
    bend.insert(bend.end(), {{11, 11}, {12, 13}, {13, 15}});  // L1: (11,11) with S = 31, then (13,15)
    add_chain(v, c, bend);
    add_chain(v, c, {{1, 17}, {4, 19}});  // two points: one straight pair
    ASSERT_EQ(v.mapplox(1.0, 1), 0);
    EXPECT_EQ(v.polylineid, 4);
    EXPECT_EQ(at(0, 6), nullptr);
    ASSERT_EQ(at(12, 3)->linknum, 1);
    EXPECT_EQ(at(12, 3)->link[0].id, 1);  // +id on the record toward the first point
    EXPECT_EQ(at(12, 3)->link[0].node, ix(at(2, 3)));
    EXPECT_EQ(at(2, 3)->link[0].id, -1);
    EXPECT_DOUBLE_EQ(at(12, 3)->link[0].length, 10.0);
    EXPECT_EQ(at(12, 3)->link[0].area + at(2, 3)->link[0].area, 0.0);
    _KTNODELINK *back = v.mgetnodelink(at(11, 11), at(0, 10), 2);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->id, 2);
    EXPECT_DOUBLE_EQ(back->area, 15.5);  // half the kernel's sum
    EXPECT_DOUBLE_EQ(v.mgetnodelink(at(0, 10), at(11, 11), 2)->area, -15.5);
    EXPECT_DOUBLE_EQ(v.mgetnodelink(at(4, 19), at(1, 17), 3)->length, std::sqrt(13.0));
    EXPECT_EQ(check_graph(v, no_polylines()), "");
    const int nodes = v.nodenum;
    ASSERT_EQ(v.mapplox2(1.0, 1), 0);  // a run replaces the previous graph
    ASSERT_EQ(v.mapplox(1.0, 1), 0);
    EXPECT_EQ(v.nodenum, nodes);
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

TEST_F(Graph, ClosedSegmentsAndSharedPixels) {
    add_chain(v, c, ring(2, 2, 8, 6));
    add_chain(v, c, run(15, 5, 25, 5));
    add_chain(v, c, run(15, 5, 15, 15));  // meets the previous one at its first pixel
    add_chain(v, c, {{30, 3}, {30, 3}});  // closed, two entries: one node, no link
    // With search the ring is a loop through one node; without it it ends
    // in a second node on the same pixel.  Segments meeting at a pixel
    // share its node either way.
    for (int search : {1, 0}) {
        SCOPED_TRACE(search);
        ASSERT_EQ(v.mapplox(0.5, search), 0);
        EXPECT_EQ(at(15, 5)->linknum, 2);
        EXPECT_EQ(at(30, 3)->linknum, 0);
        int twins = 0;
        for (int i = 0; i < v.nodenum; ++i) twins += v.node[i].x == 2 && v.node[i].y == 2;
        EXPECT_EQ(twins, 2 - search);
        EXPECT_EQ(at(2, 2)->linknum, 1 + search);
        if (search) {
            EXPECT_EQ(at(2, 2)->link[0].id, -1);  // toward the second node
            EXPECT_EQ(at(2, 2)->link[1].id, 1);   // back from the last vertex
        }
        EXPECT_EQ(check_graph(v, no_polylines()), "");
    }
}

TEST_F(Graph, CornerVerticesBecomeNodesButNotOnThePieceStart) {
    Pixels p = run(0, 0, 12, 0);
    p.insert(p.end(), {{13, 3}, {14, 8}, {15, 13}});
    add_chain(v, c, p);
    ASSERT_EQ(v.mapplox3(3.0, 1), 0);
    EXPECT_EQ(v.nodenum, 5);
    for (auto [x, y] : Pixels{{0, 0}, {8, 0}, {11, 0}, {13, 3}, {15, 13}}) EXPECT_NE(at(x, y), nullptr);
    EXPECT_NE(v.mgetnodelink(at(8, 0), at(0, 0), 1), nullptr);
    // The L3 kernel reports this chain's piece start once more as an extra
    // vertex; it is skipped, so no node links to itself.
    CKTVector w;
    Chains d;
    setup_rows(w, 40, 20);
    Pixels q = run(0, 0, 9, 0);
    q.insert(q.end(), {{10, 3}, {11, 4}, {12, 5}, {13, 6}, {14, 7}, {15, 8}, {16, 9}});
    add_chain(w, d, q);
    for (int search = 0; search <= 1; ++search) {
        ASSERT_EQ(w.mapplox3(3.4, search), 0);
        EXPECT_EQ(w.nodenum, 4);  // (0,0), (7,0), (13,6), (16,9)
        EXPECT_EQ(Peer::msearchjust(w, 0, 0)->linknum, 1);
        EXPECT_EQ(check_graph(w, no_polylines()), "");
    }
}

TEST_F(Graph, ApproximationMemoryFailuresLeaveAConsistentGraph) {
    add_chain(v, c, ring(2, 2, 12, 9));
    add_chain(v, c, run(0, 12, 30, 18));
    add_chain(v, c, run(14, 1, 14, 10));
    ASSERT_EQ(v.mapplox2(0.4, 1), 0);
    const int nodes = v.nodenum;
    const int failures = sweep([&](long n) {
        int r = 0;
        if (!fails_at(n, [&] { r = v.mapplox2(0.4, 1); })) return false;
        EXPECT_EQ(r, -1000);
        EXPECT_EQ(check_graph(v, weak_checks()), "") << "request " << n;
        return true;
    });
    EXPECT_GT(failures, 5);
    EXPECT_EQ(v.nodenum, nodes);
    EXPECT_EQ(check_graph(v, no_polylines()), "");
}

TEST_F(Graph, RegistrationSearchesCopiesCoordinatesAndGrowsInFours) {
    _KTNODE *a = reg(4, 3, 1);
    EXPECT_EQ(a->x * 100 + a->y, 403);
    EXPECT_EQ(a->flag | a->deleted | a->spare | a->linknum, 0);
    EXPECT_EQ(a->link, nullptr);
    const int ia = ix(a);
    EXPECT_EQ(ix(reg(4, 3, 1)), ia);  // found, not made
    const int ib = ix(reg(4, 3));     // no search: a second node
    EXPECT_EQ(row(3), (std::vector<int>{ia, ib}));
    EXPECT_EQ(ix(at(4, 3)), ia);  // the lookup answers the first
    for (int i = 0; i < 2; ++i) reg(i, 0);
    EXPECT_EQ(v.nodecapacity, 4);
    reg(4, 0);
    EXPECT_EQ(v.nodecapacity, 8);
    for (int i = 5; i < 8; ++i) EXPECT_EQ(v.node[i].linknum | v.node[i].x, 0);
    EXPECT_EQ(Peer::menhancenode(v, 2), 0);  // 8 > 5 + 2
    EXPECT_EQ(v.nodecapacity, 8);
    EXPECT_EQ(Peer::menhancenode(v, 3), 0);  // 8 = 5 + 3
    EXPECT_EQ(v.nodecapacity, 11);
    EXPECT_EQ(Peer::menhancenode(v, -1), 0);
    EXPECT_TRUE(fails_at(1, [&] { EXPECT_EQ(Peer::menhancenode(v, 6), -1000); }));
    EXPECT_EQ(v.nodecapacity, 11);
    EXPECT_EQ(Peer::menhancenode(v, 6), 0);
    _KTNODE *table = v.node;
    for (int i = 0; i < 6; ++i) reg(i, 1);  // a reserve keeps the table in place
    EXPECT_EQ(v.node, table);
    EXPECT_EQ(check_graph(v), "");
    // The exact lookup finds deleted nodes and looks at no row outside.
    v.node[ia].deleted = 1;
    EXPECT_EQ(at(4, 3), &v.node[ia]);
    EXPECT_EQ(at(5, 3), nullptr);
    EXPECT_EQ(at(4, -1), nullptr);
    EXPECT_EQ(at(4, 20), nullptr);
}

TEST_F(Graph, RegistrationFailuresRegisterNothing) {
    for (int i = 0; i < 4; ++i) reg(i, 0);
    EXPECT_TRUE(fails_at(1, [&] { EXPECT_EQ(reg(9, 9), nullptr); }));  // the table cannot grow
    EXPECT_EQ(v.nodenum * 10 + v.nodecapacity, 44);
    // The table grows but row 9 cannot: the node is taken back.
    EXPECT_TRUE(fails_at(2, [&] { EXPECT_EQ(reg(9, 9), nullptr); }));
    EXPECT_EQ(v.nodenum * 10 + v.nodecapacity, 48);
    EXPECT_EQ(v.lineinfo[9].nodenum, 0);
    ASSERT_NE(reg(9, 9), nullptr);
    for (int i = 0; i < 7; ++i) reg(i, 5);
    EXPECT_EQ(v.lineinfo[5].nodecapacity, 8);  // row lists grow in fours too
    reg(7, 5);
    EXPECT_TRUE(fails_at(1, [&] { EXPECT_EQ(Peer::mregistlinenode(v, &v.node[5]), -1000); }));
    EXPECT_TRUE(fails_at(1, [&] { EXPECT_EQ(Peer::mregistlinenodesort(v, &v.node[5]), -1000); }));
    EXPECT_EQ(v.lineinfo[5].nodenum * 100 + v.lineinfo[5].nodecapacity, 808);
    EXPECT_EQ(check_graph(v), "");
}

TEST_F(Graph, RowEntriesSortDeleteAndInsertInOrder) {
    const int a = ix(reg(5, 4)), b = ix(reg(5, 4));
    Peer::msetlinenode1(v, &v.lineinfo[4]);
    EXPECT_EQ(row(4), (std::vector<int>{a, b}));  // swapped only when strictly out of order
    const int c2 = ix(reg(9, 6)), d = ix(reg(2, 6));
    Peer::msetlinenode1(v, &v.lineinfo[6]);
    EXPECT_EQ(row(6), (std::vector<int>{d, c2}));
    ASSERT_EQ(Peer::mregistlinenode(v, &v.node[d]), 0);  // entered twice
    EXPECT_EQ(Peer::mdeletelinenode(v, &v.node[d]), 0);  // only the first entry goes
    EXPECT_EQ(row(6), (std::vector<int>{c2, d}));
    const int e = ix(reg(12, 6));
    Peer::mdeletelinenode(v, &v.node[e]);
    EXPECT_EQ(Peer::mdeletelinenode(v, &v.node[e]), 0);  // not in its row: nothing changes
    EXPECT_EQ(row(6), (std::vector<int>{c2, d}));
    v.node[e].deleted = 1;
    for (int x : {9, 3, 7, 1, 5}) {
        _KTNODE *n = reg(x, 8);
        Peer::mdeletelinenode(v, n);
        ASSERT_EQ(Peer::mregistlinenodesort(v, n), 0);
    }
    std::vector<int> xs;
    for (int i : row(8)) xs.push_back(v.node[i].x);
    EXPECT_EQ(xs, (std::vector<int>{1, 3, 5, 7, 9}));
    std::mt19937 rng(3);
    for (int i = 0; i < 300; ++i) reg(static_cast<int>(rng() % 32), 10 + static_cast<int>(rng() % 10));
    Peer::msetlinenode(v);
    EXPECT_EQ(check_graph(v, no_polylines()), "");

    CKTVector w;  // without rows nodes are made but no row is touched
    _KTPOINT p{};
    p.x = 3;
    p.y = 100;
    ASSERT_NE(Peer::mregistnode(w, 1, &p), nullptr);
    ASSERT_NE(Peer::mregistnode(w, 1, &p), nullptr);
    EXPECT_EQ(w.nodenum, 2);
    EXPECT_EQ(Peer::msearchjust(w, 3, 100), nullptr);
    EXPECT_EQ(Peer::mregistlinenodesort(w, &w.node[0]) + Peer::mdeletelinenode(w, &w.node[0]), 0);
    Peer::msetlinenode(w);
}

TEST_F(Graph, LinkPairsLookupRemovalAndSameId) {
    for (int i = 0; i < 4; ++i) reg(3 * i, 1);
    _KTNODE *n = v.node;
    ASSERT_EQ(v.mlinknode(5, 10.0, 3.0, &n[0], &n[1]), 0);
    const _KTNODELINK &a = n[0].link[0], &b = n[1].link[0];
    EXPECT_EQ(a.id * 10 + a.node, 51);
    EXPECT_EQ(b.id * 10 - b.node, -50);
    EXPECT_DOUBLE_EQ(a.length + b.length, 20.0);
    EXPECT_DOUBLE_EQ(a.area, 1.5);  // half the sum, negated on the twin
    EXPECT_DOUBLE_EQ(b.area, -1.5);
    EXPECT_EQ(a.centerx + a.centery + a.radius + a.mark + a.arc, 0.0);
    EXPECT_EQ(Peer::missameid(v, &n[0], &n[2]), 0);  // no links
    v.mlinknode(7, 1.0, 0.0, &n[0], &n[1]);         // a second pair between the same nodes
    v.mlinknode(2, 1.0, 0.0, &n[0], &n[2]);
    v.mlinknode(4, 1.0, 0.0, &n[3], &n[2]);
    EXPECT_EQ(v.mgetnodelink(&n[0], &n[1], 5), &n[0].link[0]);
    EXPECT_EQ(v.mgetnodelink(&n[1], &n[0], 5), &n[1].link[0]);  // its id is -5
    EXPECT_EQ(v.mgetnodelink(&n[1], &n[0], -7), &n[1].link[1]);
    EXPECT_EQ(v.mgetnodelink(&n[0], &n[1], 6), nullptr);
    EXPECT_EQ(v.mgetnodelink(&n[0], &n[3], 5), nullptr);
    EXPECT_EQ(Peer::missameid(v, &n[0], &n[1]), 1);  // 5 and -5
    EXPECT_EQ(Peer::missameid(v, &n[1], &n[3]), 0);
    EXPECT_EQ(Peer::missameid(v, &n[2], &n[3]), 1);  // -4 and 4
    EXPECT_EQ(check_graph(v, no_polylines()), "");
    // Removal takes the first record to the node and keeps the order.
    v.mlinknode(3, 1.0, 0.0, &n[0], &n[1]);
    EXPECT_EQ(Peer::mdeletenodefromlink(v, &n[0], &n[1]), 5);
    std::vector<int> ids;
    for (int k = 0; k < n[0].linknum; ++k) ids.push_back(n[0].link[k].id);
    EXPECT_EQ(ids, (std::vector<int>{7, 2, 3}));
    EXPECT_EQ(Peer::mdeletenodefromlink(v, &n[1], &n[3]), 0);  // not linked: nothing
    // A twin that cannot be made takes the first half back.
    EXPECT_TRUE(fails_at(2, [&] { EXPECT_EQ(v.mlinknode(9, 1.0, 0.0, &n[1], &n[3]), -1000); }));
    EXPECT_TRUE(fails_at(1, [&] { EXPECT_EQ(v.mlinknode(9, 1.0, 0.0, &n[3], &n[1]), -1000); }));
    EXPECT_EQ(n[1].linknum * 10 + n[3].linknum, 31);
}

TEST(RowSort, EveryEditOfASortedRowEndsAsTheFullSortLeavesIt) {
    // Rows in the full sort's order of random x from a small range (many
    // ties), node indices shuffled; then one entry appended, one or a few
    // changed in place, one taken out and entered again at the end, or two
    // exchanged; every tenth row long.
    std::mt19937 rng(11);
    auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int round = 0; round < 2400; ++round) {
        const int n = 2 + pick(round % 10 == 0 ? 1500 : 100);
        const int range = 1 + pick(round % 2 ? 8 : 4 * n);
        std::vector<int> x, ix;
        for (int i = 0; i < n; ++i) x.push_back(pick(range)), ix.push_back(i);
        std::shuffle(ix.begin(), ix.end(), rng);
        reference_sort(x, ix);
        switch (round % 5) {
        case 0: x.push_back(pick(range + 2) - 1), ix.push_back(n); break;
        case 1: x[ix[pick(n)]] = pick(range); break;
        case 2: {
            const int at = pick(n), moved = ix[at];
            ix.erase(ix.begin() + at);
            x[moved] = pick(range);
            ix.push_back(moved);
            break;
        }
        case 3:
            for (int k = 1 + pick(6); k > 0; --k) x[ix[pick(n)]] = pick(range);
            break;
        default: std::swap(ix[pick(n)], ix[pick(n)]); break;
        }
        expect_same_order(x, ix);
        if (HasFatalFailure()) return;
    }
}

TEST(RowSort, DistinctRowsUnsortedRowsAndTies) {
    std::mt19937 rng(13);
    auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    // Rows without two equal x, and rows whose only tie is the changed
    // entry's (the bisecting insertion).
    for (int round = 0; round < 1200; ++round) {
        const int n = 1 + pick(round % 10 == 0 ? 3000 : 150);
        std::vector<int> x, ix;
        for (int i = 0; i < n; ++i) x.push_back(3 * i), ix.push_back(i);
        std::shuffle(x.begin(), x.end(), rng);
        reference_sort(x, ix);
        for (int k = 1 + pick(round % 3 ? 1 : 20); k > 0; --k) {
            const int value = round % 4 == 3 ? x[pick(n)] : 3 * pick(n + 2) - 1 - pick(2);
            if (k == 1 && round % 2) x.push_back(value), ix.push_back(n);
            else x[ix[pick(n)]] = value;
        }
        expect_same_order(x, ix);
        if (::testing::Test::HasFatalFailure()) return;
    }
    // Rows far from order: shuffled, reversed, or with a largest entry at
    // the front that displaces many entries on its way.
    for (int round = 0; round < 300; ++round) {
        const int n = 1 + pick(600), range = 1 + pick(round % 2 ? 5 : 2 * n);
        std::vector<int> x, ix;
        for (int i = 0; i < n; ++i) x.push_back(pick(range)), ix.push_back(i);
        reference_sort(x, ix);
        if (round % 3 == 0) std::shuffle(ix.begin(), ix.end(), rng);
        else if (round % 3 == 1) std::reverse(ix.begin(), ix.end());
        else x[ix[0]] = range + 1;
        expect_same_order(x, ix);
    }
    for (int n = 0; n <= 40; ++n) {
        std::vector<int> x(n, 7), ix(n);
        for (int i = 0; i < n; ++i) ix[i] = n - 1 - i;
        expect_same_order(x, ix);  // all ties
        for (int i = 0; i < n; ++i) x[i] = n - i;
        expect_same_order(x, ix);  // sorted already
    }
}
