// Moving a node: to another pixel, optionally snapping it onto a node close
// by, and the corner refresh that rebuilds the polyline of a moved corner.
//
// A node belongs to the row index of its y.  A move within its row changes
// only x and puts the row back in x order; a move to another row takes the
// node out of the old row and enters it, sorted, in the new one.  Every link
// of the node keeps its id, area and arc fields; only the lengths of the
// link and of its twin follow the new position.
#include "edit/position.h"
#include "graph/lists.h"
#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/impl.h"
#include "vectorizer/expect.h"

int CKTVector::movenode(_KTNODE *n, int x, int y) {
    const int index = ktv::node_index(*this, n);
    if (index < 0 || n->deleted) return KTVEC_REFUSED;
    x = ktv::raster_coord(x, width);
    y = ktv::raster_coord(y, height);
    if (y != n->y) {
        // Leaves the node in its old row and place when the new row cannot
        // grow.
        const int r = CKTVectorImpl::movetorow(*this, n, x, y);
        if (r < 0) return r;
    } else {
        n->x = x;
    }
    for (int i = 0; i < n->linknum; ++i) {
        _KTNODELINK &l = n->link[i];
        _KTNODE &other = node[l.node];
        l.length = ktv::distance(n->x, n->y, other.x, other.y);
        if (_KTPOLYLINE *p = ktv::record_of(*this, l.id)) p->modify = 1;
        if (_KTNODELINK *back = ktv::twin_record(other, index, l.id)) back->length = l.length;
    }
    if (KTLINEINFO *row = ktv::row_of(*this, n->y)) msetlinenode1(row);
    return 0;
}

int CKTVector::movenodeattach(_KTNODE *n, int x, int y) {
    const int r = movenode(n, x, y);
    if (r < 0) return r;
    mifnearthenattach(n, 2);
    return 0;
}

// The corner at `a` has been reshaped by moving nodes; rebuilding the
// polyline of its first link marks it for refitting.
int CKTVector::msharpencorner(_KTNODE *a, _KTNODE *) {
    KTV_EXPECT(a && a->linknum > 0, "the corner node has a link");
    if (ktv::node_index(*this, a) >= 0 && a->linknum > 0) mupdatepolyline(a->link[0].id);
    return 0;
}
