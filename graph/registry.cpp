// Node registry and row index: the growable node table, the per-row lists of
// node indices that let a lookup look at one row instead of the whole table,
// and the row hints that the searches and the sorted insertion keep per row.
// The sort itself is graph/rowsort.cpp.
//
// Nodes are identified by their table index for good: records are never
// moved to another index or compacted, but the table itself moves when it
// grows, so callers keep indices across any registration.
//
// Row records exist only after buffer set-up.  Without them (or for a y
// outside the rows that were made) the row operations leave the row index
// alone instead of indexing outside it: registration still creates the node,
// the lookups find nothing.
#include "graph/registry.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "graph/lists.h"
#include "graph/rowsort.h"
#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

// Shows `count` more zeroed node records; the block underneath grows by
// half once large (without a bookkeeping block, by exactly the records).
// False, with nothing changed, when memory is short.
bool grow_nodes(CKTVector &v, int count) {
    CKTVectorImpl *in = CKTVectorImpl::of(v);
    int exact = 0;
    return ktv::step_capacity(v.node, v.nodecapacity, in ? in->nodeblock : exact, count);
}

}  // namespace

_KTNODE *CKTVector::mregistnode(int search, _KTPOINT *point) {
    if (search) {
        _KTNODE *found = msearchjust(point->x, point->y);
        if (found) return found;
    }
    if (nodecapacity <= nodenum && !grow_nodes(*this, 4)) return nullptr;
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
    return grow_nodes(*this, count) ? 0 : KTVEC_NO_MEMORY;
}

// ---- row hints -----------------------------------------------------------

namespace ktv {

int *row_hints(CKTVector &v) {
    CKTVectorImpl *in = CKTVectorImpl::of(v);
    if (!in) return nullptr;
    if (!in->rowhint || in->rowhintrows != in->linerows) {
        const std::size_t rows = static_cast<std::size_t>(in->linerows > 0 ? in->linerows : 0);
        int *fresh = alloc_zeroed<int>(2 * rows);
        if (!fresh) return nullptr;
        release(in->rowhint);
        in->rowhint = fresh;
        in->rowhintrows = in->linerows;
    }
    return in->rowhint;
}

int *row_distinct(CKTVector &v) {
    CKTVectorImpl *in = CKTVectorImpl::of(v);
    if (!in || !in->findtracking || in->findreference) return nullptr;
    int *hints = row_hints(v);
    return hints ? hints + in->rowhintrows : nullptr;
}

void forget_row_distinct(CKTVector &v) {
    CKTVectorImpl *in = CKTVectorImpl::of(v);
    if (in && in->rowhint) std::fill(in->rowhint + in->rowhintrows, in->rowhint + 2 * in->rowhintrows, 0);
}

}  // namespace ktv

// ---- row index -------------------------------------------------------------

// Comb sort on x, ascending (graph/rowsort.cpp).
void CKTVector::msortpnode(int count, int *indices) { ktv::sort_row(node, count, indices); }

void CKTVector::msetlinenode() {
    for (int y = 0; y < ktv::row_count(*this); ++y) msetlinenode1(&lineinfo[y]);
}

void CKTVector::msetlinenode1(KTLINEINFO *row) {
    const int n = row->nodenum;
    bool distinct = true;
    if (n == 2) {
        // Equal x keeps registration order.
        int *ix = row->nodeindex;
        distinct = node[ix[1]].x != node[ix[0]].x;
        if (node[ix[1]].x < node[ix[0]].x) {
            const int t = ix[0];
            ix[0] = ix[1];
            ix[1] = t;
        }
    } else if (n > 2) {
        distinct = ktv::sort_row(node, n, row->nodeindex);
    }
    if (int *known = ktv::row_distinct(*this)) known[row - lineinfo] = distinct;
}

int CKTVector::mregistlinenode(_KTNODE *n) {
    KTLINEINFO *row = ktv::row_of(*this, n->y);
    if (!row) return 0;
    if (int *known = ktv::row_distinct(*this)) known[row - lineinfo] = 0;  // appended: order unknown
    return ktv::append_index(row->nodeindex, row->nodecapacity, row->nodenum,
                             static_cast<int>(n - node));
}

// Inside a driver a row known to be free of equal x (see row_distinct)
// takes a new entry by bisection; otherwise the row is sorted in full.
int CKTVector::mregistlinenodesort(_KTNODE *n) {
    KTLINEINFO *row = ktv::row_of(*this, n->y);
    int *known = row ? ktv::row_distinct(*this) : nullptr;
    const bool was_distinct = known && known[row - lineinfo];
    const int r = mregistlinenode(n);
    if (r < 0) return r;
    if (!row) return 0;
    if (was_distinct && ktv::place_last(node, row->nodenum, row->nodeindex)) {
        known[row - lineinfo] = 1;
        return 0;
    }
    msetlinenode1(row);
    return 0;
}

int CKTVector::mdeletelinenode(_KTNODE *n) {
    KTLINEINFO *row = ktv::row_of(*this, n->y);
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
    KTLINEINFO *row = ktv::row_of(*this, y);
    if (!row) return nullptr;
    for (int i = 0; i < row->nodenum; ++i) {
        _KTNODE *n = &node[row->nodeindex[i]];
        if (n->x == x && n->y == y) return n;
    }
    return nullptr;
}

// 1 when the two nodes share a polyline (polyline/records.h).
int CKTVector::missameid(_KTNODE *a, _KTNODE *b) { return ktv::shared_link(*a, *b) ? 1 : 0; }

// Moves a node to (x, y) and re-enters it in its row, kept sorted.  If the
// new row cannot grow, the node goes back to where it was (its old row has
// just given up an entry, so that cannot fail).
int CKTVectorImpl::movetorow(CKTVector &v, _KTNODE *n, int x, int y) {
    const int oldx = n->x, oldy = n->y;
    v.mdeletelinenode(n);
    n->x = x;
    n->y = y;
    const int r = v.mregistlinenodesort(n);
    if (r < 0) {
        n->x = oldx;
        n->y = oldy;
        v.mregistlinenodesort(n);
    }
    return r;
}
