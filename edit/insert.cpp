// Node insertion: a new node cuts one link in two, at the foot of the
// perpendicular from a clicked point.
//
// The link A -> B of polyline p becomes A -> N -> B: A's record and B's
// record now aim at N, and N gets the two records that answer them, so the
// twin rule (opposite ids, equal lengths, opposite areas) holds on both new
// links.  The area under the old link is shared out by the squares of the
// two parts' shares of it, the scale at which an area grows with a length.
#include "edit/position.h"
#include "graph/lists.h"
#include "ktvec.h"
#include "vectorizer/expect.h"
#include "vectorizer/memory.h"

namespace {

// The record of `from` that is cut when a node goes in between it and node
// `to`: several pairs may join two nodes (a polyline closed over two nodes,
// two polylines along one link), so the first one that runs forward, from
// `from` to `to`, is taken; failing that the first that points there.
_KTNODELINK *forward_record(_KTNODE &from, int to) {
    for (int i = 0; i < from.linknum; ++i)
        if (from.link[i].node == to && from.link[i].id > 0) return &from.link[i];
    return ktv::first_record_to(from, to);
}

}  // namespace

// The link chosen is the last one, in node and link order, whose foot
// parameter lies strictly inside (margin, 1 - margin) and whose distance is
// below maxdistance; nearness decides nothing among several.
int CKTVector::minsertnode(double x, double y, double margin, double maxdistance) {
    int from = -1, to = -1;
    double at = 0;
    for (int a = 0; a < nodenum; ++a) {
        const _KTNODE &na = node[a];
        if (na.deleted) continue;
        for (int i = 0; i < na.linknum; ++i) {
            const _KTNODELINK &l = na.link[i];
            if (l.id <= 0) continue;
            const _KTNODE &nb = node[l.node];
            double t, d;
            mdistance(na.x, na.y, nb.x, nb.y, x, y, t, d);
            if (margin < t && t < 1 - margin && d < maxdistance) {
                from = a;
                to = l.node;
                at = t;
            }
        }
    }
    if (from < 0) return 0;
    // The scan met a forward record from `from` to `to`, so the pair cut
    // is a forward one and p is positive.
    const int p = minsertnode(from, to, at);
    if (p <= 0) return p;
    const int r = mupdatepolyline(p);
    return r < 0 ? r : 1;
}

// Inserts a new node into the link from node a to node b at parameter t
// (0 at a, 1 at b).  The new node's own records are obtained before
// anything changes, so a memory failure leaves the graph as it was.
// Returns the id of a's record as stored (negative when a reaches b only
// backward along a polyline), 0 when a and b are not linked (nothing is
// inserted), or KTVEC_NO_MEMORY.
int CKTVector::minsertnode(int a, int b, double t) {
    KTV_EXPECT(a >= 0 && a < nodenum && b >= 0 && b < nodenum && ktv::first_record_to(node[a], b),
               "the two nodes are the ends of a link");
    if (a < 0 || a >= nodenum || b < 0 || b >= nodenum || a == b) return 0;
    _KTNODELINK *ab = forward_record(node[a], b);
    if (!ab) return 0;
    const int p = ab->id;
    if (!ktv::twin_record(node[b], a, p)) return 0;

    _KTPOINT at{};
    at.x = ktv::raster_coord(node[a].x + (node[b].x - node[a].x) * t, width);
    at.y = ktv::raster_coord(node[a].y + (node[b].y - node[a].y) * t, height);
    _KTNODELINK *own = ktv::alloc_zeroed<_KTNODELINK>(2);
    if (!own) return KTVEC_NO_MEMORY;
    _KTNODE *fresh = mregistnode(0, &at);  // may move the table
    if (!fresh) {
        ktv::mem_free(own);
        return KTVEC_NO_MEMORY;
    }
    const int n = static_cast<int>(fresh - node);
    _KTNODE &na = node[a], &nb = node[b], &nn = node[n];

    // a's record, then the record of b that answers it.
    ab = forward_record(na, b);
    _KTNODELINK *ba = ktv::twin_record(nb, a, ab->id);
    ab->node = n;
    ab->length = ktv::distance(na.x, na.y, nn.x, nn.y);
    ab->area *= t * t;
    ab->mark = 0;
    ba->node = n;
    ba->length = ktv::distance(nb.x, nb.y, nn.x, nn.y);
    ba->area *= (1 - t) * (1 - t);
    ba->mark = 0;

    own[0].node = a;
    own[0].id = -p;
    own[0].length = ab->length;
    own[0].area = -ab->area;
    own[1].node = b;
    own[1].id = p;
    own[1].length = ba->length;
    own[1].area = -ba->area;
    nn.link = own;
    nn.linknum = 2;

    if (KTLINEINFO *row = ktv::row_of(*this, nn.y)) msetlinenode1(row);
    return p;
}

// Reserved entry point of the editing tools; it changes nothing.
int CKTVector::maddnode1(int, int) { return 0; }
