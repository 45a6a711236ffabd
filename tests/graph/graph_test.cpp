// Link records (lookup, removal, same-id queries and a twin that cannot be
// made) and the row sort, which follows only the out-of-place entries of a
// row yet must leave exactly the order of the full comb sort (ties
// included: it shows in later lookups).  Approximation, registration and
// the row index are pinned by the exact driver results and checked by the
// invariant checker after every driver and edit.
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
    _KTNODE *reg(int x, int y, int search = 0) {
        _KTPOINT p{};
        p.x = x;
        p.y = y;
        p.flag = 0xff;
        p.kind = 3;
        return Peer::mregistnode(v, search, &p);
    }
    static CheckOptions no_polylines() {
        CheckOptions o;
        o.polylines = false;
        return o;
    }
    CKTVector v;
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

