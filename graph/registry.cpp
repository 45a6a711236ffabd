// Node registry and row index: the growable node table, the per-row lists of
// node indices that let a lookup look at one row instead of the whole table,
// and the comb sort that puts a row in x order.
//
// Nodes are identified by their table index for good: records are never
// moved to another index or compacted, but the table itself moves when it
// grows, so callers keep indices across any registration.
//
// Row records exist only after buffer set-up.  Without them (or for a y
// outside the rows that were made) the row operations leave the row index
// alone instead of indexing outside it: registration still creates the node,
// the lookups find nothing.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "graph/lists.h"
#include "ktvec.h"
#include "vectorizer/memory.h"

_KTNODE *CKTVector::mregistnode(int search, _KTPOINT *point) {
    if (search) {
        _KTNODE *found = msearchjust(point->x, point->y);
        if (found) return found;
    }
    if (nodecapacity <= nodenum) {
        if (nodecapacity > INT_MAX - 4) return nullptr;
        _KTNODE *grown = ktv::grow_zeroed(node, static_cast<std::size_t>(nodecapacity),
                                          static_cast<std::size_t>(nodecapacity) + 4);
        if (!grown) return nullptr;
        node = grown;
        nodecapacity += 4;
    }
    _KTNODE *n = &node[nodenum];
    // A record reused after the table was emptied may still own the links of
    // an earlier graph.
    ktv::release(n->link);
    std::memset(static_cast<void *>(n), 0, sizeof(_KTNODE));
    n->x = point->x;
    n->y = point->y;
    ++nodenum;
    // A node that cannot enter its row is taken back, so that every live node
    // stays findable through the row index; the caller sees a memory failure.
    if (mregistlinenode(n) < 0) {
        --nodenum;
        std::memset(static_cast<void *>(n), 0, sizeof(_KTNODE));
        return nullptr;
    }
    return n;
}

int CKTVector::menhancenode(int count) {
    if (count < 0 || nodecapacity > nodenum + count) return 0;
    if (nodecapacity > INT_MAX - count) return -1000;
    _KTNODE *grown = ktv::grow_zeroed(node, static_cast<std::size_t>(nodecapacity),
                                      static_cast<std::size_t>(nodecapacity) + count);
    if (!grown) return -1000;
    node = grown;
    nodecapacity += count;
    return 0;
}

void CKTVector::msetlinenode() {
    if (!lineinfo) return;
    for (int y = 0; y < linerows; ++y) msetlinenode1(&lineinfo[y]);
}

void CKTVector::msetlinenode1(KTLINEINFO *row) {
    const int n = row->nodenum;
    if (n < 2) return;
    if (n == 2) {
        // Equal x keeps registration order.
        int *ix = row->nodeindex;
        if (node[ix[1]].x < node[ix[0]].x) {
            const int t = ix[0];
            ix[0] = ix[1];
            ix[1] = t;
        }
        return;
    }
    msortpnode(n, row->nodeindex);
}

namespace {

// The comb sort's gap sequence: shrink by 1.3; gaps 9 and 10 are lifted to
// 11, which avoids the slow sequences 9-6-4-3-2-1 and 10-7-5-3-2-1.
int next_gap(int gap) {
    gap = static_cast<int>(gap * 0.7692307692307692);
    if (gap == 0) gap = 1;
    if (gap == 9 || gap == 10) gap = 11;
    return gap;
}

// The sort follows at most this many out-of-place positions, in rows of at
// most kMaxFollowed entries; beyond either it compares every pair.
constexpr int kMaxDirty = 1024;
constexpr int kMaxFollowed = 16384;

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
// the full sort.  Once a quarter of the row is dirty (or the lists below are
// full) the sort carries on comparing every pair from where it stands.
class RowSort {
public:
    RowSort(const _KTNODE *nodes, int count, int *indices) : node_(nodes), count_(count), ix_(indices) {}

    void run() {
        plain_ = count_ > kMaxFollowed || !find_dirty();
        if (!plain_ && ndirty_ == 0) return;  // sorted: no pass would swap
        if (!plain_ && !clean_ties_ && insert_distinct()) return;
        if (!plain_) {
            std::memset(bits_, 0, sizeof(std::uint64_t) * static_cast<std::size_t>((count_ + 63) / 64));
            for (int k = 0; k < ndirty_; ++k) set_dirty(dirty_[k]);
        }
        int gap = count_;
        for (;;) {
            gap = next_gap(gap);
            if (!plain_ && ndirty_ > count_ / 4) plain_ = true;
            int swaps = 0;
            if (count_ - gap > 0) swaps = plain_ ? plain_pass(gap, 0) : dirty_pass(gap);
            if (swaps == 0 && gap <= 1) break;
        }
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

    int plain_pass(int gap, int from) {
        int swaps = 0;
        for (int i = from; i + gap < count_; ++i) swaps += swap_if_greater(i, i + gap);
        return swaps;
    }

    bool is_dirty(int p) const { return (bits_[p >> 6] >> (p & 63)) & 1u; }
    void set_dirty(int p) { bits_[p >> 6] |= std::uint64_t{1} << (p & 63); }

    // Without two entries of equal x anywhere in the row, every sort ends in
    // the one ascending order, whatever way it takes: the dirty entries are
    // sorted apart and merged into the clean ones, which are in order
    // already.  False, with the row untouched, when a dirty entry ties with
    // another entry.
    bool insert_distinct() {
        int *moved = fronts_;  // free until the passes begin
        for (int k = 0; k < ndirty_; ++k) moved[k] = ix_[dirty_[k]];
        const _KTNODE *nodes = node_;
        std::sort(moved, moved + ndirty_, [nodes](int a, int b) { return nodes[a].x < nodes[b].x; });
        for (int k = 1; k < ndirty_; ++k)
            if (node_[moved[k - 1]].x == node_[moved[k]].x) return false;
        for (int i = 0, d = 0, k = 0; i < count_ && k < ndirty_; ++i) {
            if (d < ndirty_ && dirty_[d] == i) {
                ++d;
                continue;
            }
            while (k < ndirty_ && node_[moved[k]].x < x(i)) ++k;
            if (k < ndirty_ && node_[moved[k]].x == x(i)) return false;
        }
        int kept = 0;
        for (int i = 0, d = 0; i < count_; ++i) {
            if (d < ndirty_ && dirty_[d] == i) ++d;
            else ix_[kept++] = ix_[i];
        }
        for (int out = count_ - 1, k = ndirty_ - 1; k >= 0; --out) {
            if (kept > 0 && x(kept - 1) > node_[moved[k]].x) ix_[out] = ix_[--kept];
            else ix_[out] = moved[k--];
        }
        return true;
    }

    // Fills the dirty list with positions whose removal leaves the row in
    // ascending x, taking each entry that does not fall below the entries
    // kept before it.  That finds an appended entry alone; an entry moved
    // towards the front is found alone by the same rule run from the back
    // (keep what does not rise above the entries kept behind it).  False
    // when neither way stays within kMaxDirty.
    bool find_dirty() {
        const bool front = scan_from_front();
        if (front && ndirty_ <= 1) return true;
        const int nfront = ndirty_;
        const bool front_ties = clean_ties_;
        if (front) std::memcpy(merged_, dirty_, sizeof(int) * static_cast<std::size_t>(nfront));
        if (scan_from_back() && (!front || ndirty_ < nfront)) return true;
        if (!front) return false;
        std::memcpy(dirty_, merged_, sizeof(int) * static_cast<std::size_t>(nfront));
        ndirty_ = nfront;
        clean_ties_ = front_ties;
        return true;
    }

    // Both scans also note whether two kept (clean) entries tie.
    bool scan_from_front() {
        ndirty_ = 0;
        clean_ties_ = false;
        int top = INT_MIN;
        for (int i = 0; i < count_; ++i) {
            if (x(i) >= top) {
                clean_ties_ |= i > 0 && x(i) == top;
                top = x(i);
            } else {
                if (ndirty_ == kMaxDirty) return false;
                dirty_[ndirty_++] = i;
            }
        }
        return true;
    }

    bool scan_from_back() {
        ndirty_ = 0;
        clean_ties_ = false;
        int bottom = INT_MAX;
        for (int i = count_ - 1; i >= 0; --i) {
            if (x(i) <= bottom) {
                clean_ties_ |= i < count_ - 1 && x(i) == bottom;
                bottom = x(i);
            } else {
                if (ndirty_ == kMaxDirty) return false;
                dirty_[ndirty_++] = i;
            }
        }
        std::reverse(dirty_, dirty_ + ndirty_);
        return true;
    }

    // One pass of gap `gap` over the pairs that touch a dirty position.  The
    // pairs come from three ascending streams: a dirty position as the back
    // of a pair, as its front, and the positions a swap of this pass made
    // dirty in the back of its pair (whose own pair lies ahead).  A swap
    // that dirties the front of its pair affects only pairs already passed.
    // Both kinds of newly dirty positions arrive in ascending order, so the
    // dirty list is merged back in order at the end.
    int dirty_pass(int gap) {
        const int *start = dirty_;
        const int nstart = ndirty_;
        int nfronts = 0, nbacks = 0;
        int as_back = 0, as_front = 0, from_backs = 0;
        while (as_back < nstart && start[as_back] < gap) ++as_back;
        int swaps = 0, last = -1;
        for (;;) {
            int i = INT_MAX;
            if (as_back < nstart) i = start[as_back] - gap;
            if (as_front < nstart && start[as_front] + gap >= count_) as_front = nstart;
            if (as_front < nstart && start[as_front] < i) i = start[as_front];
            while (from_backs < nbacks && backs_[from_backs] + gap >= count_) ++from_backs;
            if (from_backs < nbacks && backs_[from_backs] < i) i = backs_[from_backs];
            if (i == INT_MAX) break;
            if (as_back < nstart && start[as_back] - gap == i) ++as_back;
            if (as_front < nstart && start[as_front] == i) ++as_front;
            if (from_backs < nbacks && backs_[from_backs] == i) ++from_backs;
            if (i == last) continue;
            last = i;
            if (!swap_if_greater(i, i + gap)) continue;
            ++swaps;
            const bool new_front = !is_dirty(i), new_back = !is_dirty(i + gap);
            if (nstart + nfronts + nbacks + new_front + new_back > kMaxDirty) {
                plain_ = true;
                return swaps + plain_pass(gap, i + 1);
            }
            if (new_front) {
                set_dirty(i);
                fronts_[nfronts++] = i;
            }
            if (new_back) {
                set_dirty(i + gap);
                backs_[nbacks++] = i + gap;
            }
        }
        // Backs too near the end to begin a pair were skipped above but are
        // dirty all the same.
        int *out = merged_;
        int a = 0, f = 0, k = 0;
        while (a < nstart || f < nfronts || k < nbacks) {
            int v = INT_MAX;
            if (a < nstart) v = start[a];
            if (f < nfronts && fronts_[f] < v) v = fronts_[f];
            if (k < nbacks && backs_[k] < v) v = backs_[k];
            if (a < nstart && start[a] == v) ++a;
            if (f < nfronts && fronts_[f] == v) ++f;
            if (k < nbacks && backs_[k] == v) ++k;
            *out++ = v;
        }
        ndirty_ = static_cast<int>(out - merged_);
        std::memcpy(dirty_, merged_, sizeof(int) * static_cast<std::size_t>(ndirty_));
        return swaps;
    }

    const _KTNODE *node_;
    int count_;
    int *ix_;
    bool plain_ = false;
    bool clean_ties_ = false;
    int ndirty_ = 0;
    int dirty_[kMaxDirty];   // dirty positions, ascending
    int merged_[kMaxDirty];  // the next pass's dirty list while it is merged
    int fronts_[kMaxDirty];  // made dirty in this pass at the front of a pair
    int backs_[kMaxDirty];   // made dirty in this pass at the back of a pair
    std::uint64_t bits_[kMaxFollowed / 64];
};

}  // namespace

// Comb sort on x, ascending; ends after a pass with gap 1 that swapped
// nothing.  Not stable (see RowSort for why that matters).
void CKTVector::msortpnode(int count, int *indices) {
    if (count < 2) return;
    RowSort(node, count, indices).run();
}

int CKTVector::mregistlinenode(_KTNODE *n) {
    KTLINEINFO *row = ktv::row_of(lineinfo, linerows, n->y);
    if (!row) return 0;
    return ktv::append_index(row->nodeindex, row->nodecapacity, row->nodenum,
                             static_cast<int>(n - node));
}

int CKTVector::mregistlinenodesort(_KTNODE *n) {
    const int r = mregistlinenode(n);
    if (r < 0) return r;
    KTLINEINFO *row = ktv::row_of(lineinfo, linerows, n->y);
    if (row) msetlinenode1(row);
    return 0;
}

int CKTVector::mdeletelinenode(_KTNODE *n) {
    KTLINEINFO *row = ktv::row_of(lineinfo, linerows, n->y);
    if (!row) return 0;
    const int index = static_cast<int>(n - node);
    for (int i = 0; i < row->nodenum; ++i) {
        if (row->nodeindex[i] != index) continue;
        // Only the first of duplicate entries goes; the block is kept.
        std::memmove(row->nodeindex + i, row->nodeindex + i + 1,
                     static_cast<std::size_t>(row->nodenum - i - 1) * sizeof(int));
        --row->nodenum;
        break;
    }
    return 0;
}

// The first node of row y standing on (x, y), live or deleted.
_KTNODE *CKTVector::msearchjust(int x, int y) {
    KTLINEINFO *row = ktv::row_of(lineinfo, linerows, y);
    if (!row) return nullptr;
    for (int i = 0; i < row->nodenum; ++i) {
        _KTNODE *n = &node[row->nodeindex[i]];
        if (n->x == x && n->y == y) return n;
    }
    return nullptr;
}

// 1 when the two nodes share a polyline: some link id of a equals some link
// id of b or its negation (the twins of one pair carry opposite ids).
int CKTVector::missameid(_KTNODE *a, _KTNODE *b) {
    for (int i = 0; i < a->linknum; ++i) {
        const int p = a->link[i].id;
        for (int j = 0; j < b->linknum; ++j) {
            const int q = b->link[j].id;
            if (p == q || p == -q) return 1;
        }
    }
    return 0;
}

// Moves a node to (x, y) and re-enters it in its row, kept sorted.  If the
// new row cannot grow, the node goes back to where it was (its old row has
// just given up an entry, so that cannot fail) and -1000 comes back.
int CKTVector::mmovenoderow(_KTNODE *n, int x, int y) {
    const int oldx = n->x, oldy = n->y;
    mdeletelinenode(n);
    n->x = x;
    n->y = y;
    const int r = mregistlinenodesort(n);
    if (r < 0) {
        n->x = oldx;
        n->y = oldy;
        mregistlinenodesort(n);
    }
    return r;
}
