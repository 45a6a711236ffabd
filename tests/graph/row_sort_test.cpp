// The row sort follows only the out-of-place entries of a row, yet must leave
// exactly the order the full comb sort leaves, ties included: the order of
// equal x shows in later lookups.  Checked against the full comb sort kept
// here as the reference, on rows with many ties.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "peer.h"
#include "vectorizer/memory.h"

namespace {

// The comb sort comparing every pair in every pass.
void reference_sort(const std::vector<int> &x, std::vector<int> &ix) {
    const int count = static_cast<int>(ix.size());
    int gap = count;
    for (;;) {
        gap = static_cast<int>(gap * 0.7692307692307692);
        if (gap == 0) gap = 1;
        if (gap == 9 || gap == 10) gap = 11;
        int swaps = 0;
        for (int i = 0; i + gap < count; ++i) {
            if (x[ix[i]] > x[ix[i + gap]]) {
                std::swap(ix[i], ix[i + gap]);
                ++swaps;
            }
        }
        if (swaps == 0 && gap <= 1) break;
    }
}

// Sorts the index list `ix` over nodes with the given x both ways and
// compares.
void expect_same_order(const std::vector<int> &x, const std::vector<int> &ix, const char *what) {
    CKTVector v;
    v.node = ktv::alloc_zeroed<_KTNODE>(x.size());
    ASSERT_TRUE(v.node != nullptr || x.empty());
    v.nodecapacity = v.nodenum = static_cast<int>(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) v.node[i].x = x[i];
    std::vector<int> got = ix, want = ix;
    Peer::msortpnode(v, static_cast<int>(got.size()), got.data());
    reference_sort(x, want);
    ASSERT_EQ(got, want) << what << ", " << ix.size() << " entries";
}

// A row as the registry holds it: entries in the full sort's order of
// random x from a small range (many ties), node indices in random order.
struct Row {
    std::vector<int> x;   // x per node index
    std::vector<int> ix;  // the row's index list
};

Row sorted_row(std::mt19937 &rng, int n, int range) {
    Row r;
    std::uniform_int_distribution<int> val(0, range - 1);
    for (int i = 0; i < n; ++i) r.x.push_back(val(rng));
    for (int i = 0; i < n; ++i) r.ix.push_back(i);
    std::shuffle(r.ix.begin(), r.ix.end(), rng);
    reference_sort(r.x, r.ix);
    return r;
}

int pick(std::mt19937 &rng, int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

// A sorted row for one round: every tenth round long, every other round
// with a handful of distinct x only, else with x from a range `spread`
// times the length.
Row round_row(std::mt19937 &rng, int round, int shortest, int longest, int few, int spread, int &n,
              int &range) {
    n = shortest + pick(rng, round % 10 == 0 ? longest : 100);
    range = 1 + pick(rng, round % 2 ? few : spread * n);
    return sorted_row(rng, n, range);
}

TEST(RowSort, AppendedEntryLandsAsTheFullSortPutsIt) {
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        int n, range;
        Row r = round_row(rng, round, 1, 2000, 8, 4, n, range);
        r.x.push_back(pick(rng, range + 2) - 1);
        r.ix.push_back(n);
        expect_same_order(r.x, r.ix, "appended");
    }
}

TEST(RowSort, MovedEntriesAndReEnteredNodes) {
    std::mt19937 rng(12);
    for (int round = 0; round < 3000; ++round) {
        int n, range;
        Row r = round_row(rng, round, 2, 1500, 6, 3, n, range);
        switch (round % 4) {
        case 0:  // one node's x changed in place
            r.x[r.ix[pick(rng, n)]] = pick(rng, range);
            break;
        case 1: {  // a node taken out of the row and entered again at the end
            const int at = pick(rng, n);
            const int moved = r.ix[at];
            r.ix.erase(r.ix.begin() + at);
            r.x[moved] = pick(rng, range);
            r.ix.push_back(moved);
            break;
        }
        case 2:  // a few entries changed
            for (int k = 1 + pick(rng, 6); k > 0; --k) r.x[r.ix[pick(rng, n)]] = pick(rng, range);
            break;
        default:  // two entries exchanged
            std::swap(r.ix[pick(rng, n)], r.ix[pick(rng, n)]);
            break;
        }
        expect_same_order(r.x, r.ix, "changed");
    }
}

// Rows far from order take the full sort from the start or switch to it
// part-way, when the entries out of place outgrow what the sort follows.
TEST(RowSort, UnsortedRowsAndRowsThatBecomeUnsortedMidway) {
    std::mt19937 rng(13);
    for (int round = 0; round < 400; ++round) {
        const int n = 1 + pick(rng, 600);
        const int range = 1 + pick(rng, round % 2 ? 5 : 2 * n);
        Row r = sorted_row(rng, n, range);
        if (round % 3 == 0) {
            std::shuffle(r.ix.begin(), r.ix.end(), rng);
        } else if (round % 3 == 1) {
            std::reverse(r.ix.begin(), r.ix.end());
        } else {
            // A largest entry at the front travels along the gaps and
            // displaces many entries on its way.
            r.x[r.ix[0]] = range + 1;
        }
        expect_same_order(r.x, r.ix, "unsorted");
    }
}

// Rows without two equal x, and rows whose only tie is the changed entry's.
TEST(RowSort, DistinctXAndASingleTie) {
    std::mt19937 rng(14);
    for (int round = 0; round < 2000; ++round) {
        const int n = 1 + pick(rng, round % 10 == 0 ? 3000 : 150);
        Row r;
        for (int i = 0; i < n; ++i) r.x.push_back(3 * i);
        std::shuffle(r.x.begin(), r.x.end(), rng);
        for (int i = 0; i < n; ++i) r.ix.push_back(i);
        reference_sort(r.x, r.ix);
        const int changed = 1 + pick(rng, round % 3 ? 1 : 20);
        for (int k = 0; k < changed; ++k) {
            // a fresh x, or (every fourth round) the x of another entry
            const int value = round % 4 == 3 ? r.x[pick(rng, n)] : 3 * pick(rng, n + 2) - 1 - pick(rng, 2);
            if (k == 0 && round % 2) {
                r.x.push_back(value);
                r.ix.push_back(n);
            } else {
                r.x[r.ix[pick(rng, n)]] = value;
            }
        }
        expect_same_order(r.x, r.ix, "distinct");
    }
}

TEST(RowSort, ShortAndSortedRowsAndAllTies) {
    for (int n = 0; n <= 40; ++n) {
        std::vector<int> x(static_cast<std::size_t>(n)), ix(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) ix[i] = n - 1 - i;
        for (int i = 0; i < n; ++i) x[i] = 7;
        expect_same_order(x, ix, "all equal");
        for (int i = 0; i < n; ++i) x[i] = n - i;  // ix lists them ascending
        expect_same_order(x, ix, "sorted");
    }
}

}  // namespace
