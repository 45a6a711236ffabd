// The row sort (see rowsort.h).
#include "graph/rowsort.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

// The comb sort's gap sequence: shrink by 1.3; gaps 9 and 10 are lifted to
// 11, which avoids the slow sequences 9-6-4-3-2-1 and 10-7-5-3-2-1.
int next_gap(int gap) {
    gap = static_cast<int>(gap * 0.7692307692307692);
    if (gap == 0) gap = 1;
    if (gap == 9 || gap == 10) gap = 11;
    return gap;
}

// Rows of more entries than this are sorted comparing every pair; the
// dirty entries of a row without ties are placed directly up to kMaxDirty.
constexpr int kMaxFollowed = 16384;
constexpr int kMaxDirty = 256;

// One comb sort of a row's node indices by x.
//
// The comb sort is not stable, and the order it leaves among equal x shows
// in later lookups, so any faster way must swap exactly what it swaps.  A
// row usually comes here sorted but for one entry (a node appended or
// re-entered).  Call a position clean while it still holds what it held at
// the start and the clean positions are in x order among themselves: then
// a pair of two clean positions never swaps (the swap needs strictly
// greater x in front), and every swap makes its two positions dirty, so
// clean positions stay in order to the end.  A pass therefore only has to
// visit, in ascending order, the pairs that touch a dirty position when
// they come up; the passes, their swap counts and the ending stay those of
// the full sort.  Once half the row is dirty the sort carries on comparing
// every pair.
class RowSort {
public:
    RowSort(const _KTNODE *nodes, int count, int *indices) : node_(nodes), count_(count), ix_(indices) {}

    // True when the sorted row is known to hold no two entries of equal x.
    bool run() {
        bool plain = count_ > kMaxFollowed;
        if (!plain) {
            find_dirty();
            if (ndirty_ == 0) return !clean_ties_;  // sorted: no pass would swap
            if (!clean_ties_ && ndirty_ <= kMaxDirty && insert_distinct()) return true;
        }
        int gap = count_;
        for (;;) {
            gap = next_gap(gap);
            if (!plain && ndirty_ > count_ / 2) plain = true;
            int swaps = 0;
            if (count_ - gap > 0) swaps = plain ? plain_pass(gap) : dirty_pass(gap);
            if (swaps == 0 && gap <= 1) break;
        }
        return false;
    }

    // The last entry placed among the others, which are in x order with no
    // two x equal, when it ties with none of them: every sort of such a row
    // ends in that order.  False, with the row untouched, on a tie.
    bool place_last() {
        if (count_ < 2 || x(count_ - 1) > x(count_ - 2)) return true;
        ndirty_ = 1;
        dirty_[0] = count_ - 1;
        return insert_one();
    }

private:
    int x(int i) const { return node_[ix_[i]].x; }

    bool swap_if_greater(int i, int j) {
        if (x(i) <= x(j)) return false;
        const int t = ix_[i];
        ix_[i] = ix_[j];
        ix_[j] = t;
        return true;
    }

    int plain_pass(int gap) {
        int swaps = 0;
        for (int i = 0; i + gap < count_; ++i) swaps += swap_if_greater(i, i + gap);
        return swaps;
    }

    bool is_dirty(int p) const { return (bits_[p >> 6] >> (p & 63)) & 1u; }
    void set_dirty(int p) {
        bits_[p >> 6] |= std::uint64_t{1} << (p & 63);
        if (ndirty_ < kMaxDirty) dirty_[ndirty_] = p;
        ++ndirty_;
    }
    int words() const { return (count_ + 63) / 64; }

    // The dirty bits of positions 64w+gap ... 64w+gap+63, that is, of the
    // backs of the pairs whose fronts lie in word w.
    std::uint64_t backs_of_word(int w, int gap) const {
        const int first = 64 * w + gap;
        const int word = first >> 6, shift = first & 63;
        if (word >= words()) return 0;
        std::uint64_t m = bits_[word] >> shift;
        if (shift && word + 1 < words()) m |= bits_[word + 1] << (64 - shift);
        return m;
    }

    // One pass of gap `gap` over the pairs that touch a dirty position, by
    // 64-position words of fronts: a pair is due when its front or its back
    // is dirty.  A swap dirties its front (a pair already passed, or this
    // one) and its back, whose own pair lies ahead: in a later word it is
    // seen there, in this word it is added to the pairs still due.
    int dirty_pass(int gap) {
        int swaps = 0;
        const int fronts = count_ - gap;  // pairs (i, i + gap) for i < fronts
        for (int w = 0; 64 * w < fronts; ++w) {
            std::uint64_t due = bits_[w] | backs_of_word(w, gap);
            const int left = fronts - 64 * w;
            if (left < 64) due &= (std::uint64_t{1} << left) - 1;
            while (due) {
                const int i = 64 * w + __builtin_ctzll(due);
                due &= due - 1;
                if (!swap_if_greater(i, i + gap)) continue;
                ++swaps;
                if (!is_dirty(i)) set_dirty(i);
                const int p = i + gap;
                if (is_dirty(p)) continue;
                set_dirty(p);
                if ((p >> 6) == w && p < fronts) due |= std::uint64_t{1} << (p & 63);
            }
        }
        return swaps;
    }

    // Without two entries of equal x anywhere in the row, every sort ends in
    // the one ascending order, whatever way it takes: the dirty entries are
    // sorted apart and merged into the clean ones, which are in order
    // already.  False, with the row untouched, when a dirty entry ties with
    // another entry.
    bool insert_distinct() {
        if (ndirty_ == 1) return insert_one();
        int moved[kMaxDirty];
        for (int k = 0; k < ndirty_; ++k) moved[k] = ix_[dirty_[k]];
        const _KTNODE *nodes = node_;
        std::sort(moved, moved + ndirty_, [nodes](int a, int b) { return nodes[a].x < nodes[b].x; });
        for (int k = 1; k < ndirty_; ++k)
            if (node_[moved[k - 1]].x == node_[moved[k]].x) return false;
        for (int i = 0, k = 0; i < count_ && k < ndirty_; ++i) {
            if (is_dirty(i)) continue;
            while (k < ndirty_ && node_[moved[k]].x < x(i)) ++k;
            if (k < ndirty_ && node_[moved[k]].x == x(i)) return false;
        }
        int kept = 0;
        for (int i = 0; i < count_; ++i)
            if (!is_dirty(i)) ix_[kept++] = ix_[i];
        for (int out = count_ - 1, k = ndirty_ - 1; k >= 0; --out) {
            if (kept > 0 && x(kept - 1) > node_[moved[k]].x) ix_[out] = ix_[--kept];
            else ix_[out] = moved[k--];
        }
        return true;
    }

    // insert_distinct for the usual single dirty entry: its place among the
    // clean entries by bisection, then one shift of the entries between.
    bool insert_one() {
        const int d = dirty_[0], moved = ix_[d], v = x(d);
        auto clean = [d](int j) { return j < d ? j : j + 1; };
        int lo = 0, hi = count_ - 1;
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (x(clean(mid)) < v) lo = mid + 1;
            else hi = mid;
        }
        if (lo < count_ - 1 && x(clean(lo)) == v) return false;
        if (lo <= d) std::memmove(ix_ + lo + 1, ix_ + lo, sizeof(int) * static_cast<std::size_t>(d - lo));
        else std::memmove(ix_ + d, ix_ + d + 1, sizeof(int) * static_cast<std::size_t>(lo - d));
        ix_[lo] = moved;
        return true;
    }

    // Marks dirty the positions whose removal leaves the row in ascending
    // x, taking each entry that does not fall below the entries kept before
    // it.  That finds an appended entry alone; an entry moved towards the
    // front is found alone by the same rule run from the back (keep what
    // does not rise above the entries kept behind it), which is used when it
    // marks fewer.  Also notes whether two kept (clean) entries tie.
    void find_dirty() {
        if (scan(true, true) <= 1) return;
        const int front = ndirty_;
        const bool front_ties = clean_ties_;
        if (scan(false, false) < front) {
            scan(false, true);
        } else {
            ndirty_ = front;  // the counting scan left the marks alone
            clean_ties_ = front_ties;
        }
    }

    int scan(bool from_front, bool mark) {
        ndirty_ = 0;
        clean_ties_ = false;
        if (mark) std::memset(bits_, 0, sizeof(std::uint64_t) * static_cast<std::size_t>(words()));
        int kept = from_front ? INT_MIN : INT_MAX;
        bool any = false;
        for (int k = 0; k < count_; ++k) {
            const int i = from_front ? k : count_ - 1 - k;
            const int v = x(i);
            if (from_front ? v >= kept : v <= kept) {
                clean_ties_ |= any && v == kept;
                kept = v;
                any = true;
            } else if (mark) {
                set_dirty(i);
            } else {
                ++ndirty_;
            }
        }
        if (mark && !from_front) std::reverse(dirty_, dirty_ + std::min(ndirty_, kMaxDirty));
        return ndirty_;
    }

    const _KTNODE *node_;
    int count_;
    int *ix_;
    bool clean_ties_ = false;
    int ndirty_ = 0;               // dirty positions
    int dirty_[kMaxDirty];         // the first kMaxDirty found by find_dirty, ascending
    std::uint64_t bits_[kMaxFollowed / 64];  // dirty flags by position
};

}  // namespace

namespace ktv {

bool sort_row(const _KTNODE *nodes, int count, int *indices) {
    if (count < 2) return true;
    return RowSort(nodes, count, indices).run();
}

bool place_last(const _KTNODE *nodes, int count, int *indices) {
    return RowSort(nodes, count, indices).place_last();
}

}  // namespace ktv
