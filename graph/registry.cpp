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
#include <climits>
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

// Comb sort on x.  The gap shrinks by 1.3 per pass; gaps 9 and 10 are lifted
// to 11, which avoids the slow sequences 9-6-4-3-2-1 and 10-7-5-3-2-1.  The
// sort ends after a pass with gap 1 that swapped nothing.  Not stable.
void CKTVector::msortpnode(int count, int *indices) {
    int gap = count;
    for (;;) {
        gap = static_cast<int>(gap * 0.7692307692307692);
        if (gap == 0) gap = 1;
        if (gap == 9 || gap == 10) gap = 11;
        int swaps = 0;
        for (int i = 0; i + gap < count; ++i) {
            if (node[indices[i]].x > node[indices[i + gap]].x) {
                const int t = indices[i];
                indices[i] = indices[i + gap];
                indices[i + gap] = t;
                ++swaps;
            }
        }
        if (swaps == 0 && gap <= 1) break;
    }
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
