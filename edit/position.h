// Small helpers of the editing operations: turning a computed position into
// a pixel of the raster, finding a node's table index, and the record that
// answers a given link on the node at its other end.
#ifndef KTVEC_EDIT_POSITION_H
#define KTVEC_EDIT_POSITION_H

#include <cmath>
#include <functional>

#include "ktvec.h"
#include "vectorizer/geometry.h"

namespace ktv {

// A coordinate computed in floating point, truncated toward zero and kept in
// 0 .. size - 1, so that a moved or new node never names a row or column
// outside the raster.  Without a raster (size 0, a graph built by hand) only
// the int range bounds it.  Not-a-number lands on 0.
inline int raster_coord(double v, int size) {
    const double hi = size > 0 ? size - 1.0 : 2147483647.0;
    const double lo = size > 0 ? 0.0 : -2147483647.0;
    if (!(v >= lo)) return std::isnan(v) ? 0 : static_cast<int>(lo);
    if (v >= hi) return static_cast<int>(hi);
    return static_cast<int>(v);
}

// The same for an integer coordinate.
inline int raster_coord(int v, int size) {
    if (size <= 0) return v;
    return v < 0 ? 0 : (v >= size ? size - 1 : v);
}

// The table index of `n`, or -1 when `n` is not a record of v's node table.
inline int node_index(const CKTVector &v, const _KTNODE *n) {
    if (!n || !v.node) return -1;
    const std::less<const _KTNODE *> before;
    if (before(n, v.node) || !before(n, v.node + v.nodenum)) return -1;
    return static_cast<int>(n - v.node);
}

// The first record of `from` that points to node `to`; null when none does.
inline _KTNODELINK *first_record_to(_KTNODE &from, int to) {
    for (int i = 0; i < from.linknum; ++i)
        if (from.link[i].node == to) return &from.link[i];
    return nullptr;
}

// The record of `from` that answers a record with `id` pointing at `from`
// from node `to`: the first record pointing to `to` with -id, or failing
// that the first one pointing to `to` at all.  Several pairs may join two
// nodes; choosing by id keeps each record with its own twin.
inline _KTNODELINK *twin_record(_KTNODE &from, int to, int id) {
    for (int i = 0; i < from.linknum; ++i) {
        _KTNODELINK &l = from.link[i];
        if (l.node == to && l.id == -id) return &l;
    }
    return first_record_to(from, to);
}

}  // namespace ktv

#endif
