// Polyline joining: bridging two free end nodes with a new link, fusing two
// free end nodes into one at their midpoint, and merging the two polylines
// that meet at a node of two links.  The polyline with the smaller id absorbs
// the other; the absorbed one is marked deleted and its links take the
// smaller id, signed so that the merged chain runs in the survivor's
// direction.
#include <cmath>
#include <cstring>

#include "graph/lists.h"
#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/geometry.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

// Grows a node's link array to two records, the second zeroed; linknum is
// left for the caller to set.  0 or KTVEC_NO_MEMORY.
int grow_to_two_links(_KTNODE &n) {
    _KTNODELINK *grown = ktv::grow_zeroed(n.link, static_cast<std::size_t>(n.linknum), 2);
    if (!grown) return KTVEC_NO_MEMORY;
    n.link = grown;
    std::memset(static_cast<void *>(&n.link[1]), 0, sizeof(_KTNODELINK));
    return 0;
}

// Position of the first record of `from` pointing to `target`, or -1.
int link_to(const _KTNODE &from, int target) {
    for (int k = 0; k < from.linknum; ++k)
        if (from.link[k].node == target) return k;
    return -1;
}

}  // namespace

// Bridges end nodes a and b with a new link and joins their polylines at b.
int CKTVector::mlinkpolyline(_KTNODE *a, _KTNODE *b) {
    if (a->linknum != 1 || b->linknum != 1) return KTVEC_REFUSED;
    const double dx = static_cast<double>(b->x) - a->x, dy = static_cast<double>(b->y) - a->y;
    const double d = ktv::length_of(dx, dy);
    const int p = a->link[0].id;
    _KTPOLYLINE *r = ktv::record_of(*this, p);
    if (!r) return KTVEC_REFUSED;
    const int ia = static_cast<int>(a - node), ib = static_cast<int>(b - node);

    // Room in the node list first, so that a failure leaves the links alone.
    if (r->nodecapacity <= r->nodenum) {
        int *grown = ktv::grow_zeroed(r->nodeindex, static_cast<std::size_t>(r->nodecapacity),
                                      static_cast<std::size_t>(r->nodecapacity) + 4);
        if (!grown) return KTVEC_NO_MEMORY;
        r->nodeindex = grown;
        r->nodecapacity += 4;
    }
    if (grow_to_two_links(*a) < 0 || grow_to_two_links(*b) < 0) return KTVEC_NO_MEMORY;
    a->linknum = 2;
    b->linknum = 2;
    // -p on a: b comes before a when a starts the polyline, after it when a
    // ends it.
    a->link[1].length = d;
    a->link[1].id = -p;
    a->link[1].node = ib;
    b->link[1].length = d;
    b->link[1].id = p;
    b->link[1].node = ia;

    if (r->nodenum > 0 && r->nodeindex[0] == ia) {
        std::memmove(r->nodeindex + 1, r->nodeindex, sizeof(int) * static_cast<std::size_t>(r->nodenum));
        r->nodeindex[0] = ib;
    } else {
        r->nodeindex[r->nodenum] = ib;
    }
    ++r->nodenum;
    return mintegratepolyline(b);
}

namespace {

// The record of n that points to `to` and belongs to polyline `high`: one
// carrying `want` (and, when length >= 0, that length) if there is one,
// else the first of the polyline's records to `to`; null when n has none.
_KTNODELINK *pick_record(_KTNODE &n, int to, int high, int want, double length) {
    _KTNODELINK *fallback = nullptr;
    for (int k = 0; k < n.linknum; ++k) {
        _KTNODELINK &l = n.link[k];
        if (l.node != to || ktv::abs_id(l.id) != high) continue;
        if (l.id == want && (length < 0 || l.length == length)) return &l;
        if (!fallback) fallback = &l;
    }
    return fallback;
}

}  // namespace

// Fuses end node b into end node a at their midpoint; the lengths of the two
// links of the fused node are measured from the unrounded midpoint.
int CKTVector::mintegratepolyline(_KTNODE *a, _KTNODE *b) {
    if (a == b || a->linknum != 1 || b->linknum != 1) return KTVEC_REFUSED;
    const int ia = static_cast<int>(a - node), ib = static_cast<int>(b - node);
    const int iA = a->link[0].node, iB = b->link[0].node;
    const double mx = (a->x + static_cast<double>(b->x)) * 0.5;
    const double my = (a->y + static_cast<double>(b->y)) * 0.5;
    // Held by position: when a and b are linked to each other, growing a's
    // array moves one of them.
    const int ka = link_to(node[iA], ia);
    const int kb = link_to(node[iB], ib);
    if (ka < 0 || kb < 0) return KTVEC_REFUSED;
    if (grow_to_two_links(*a) < 0) return KTVEC_NO_MEMORY;
    _KTNODELINK *la = &node[iA].link[ka];
    _KTNODELINK *lb = &node[iB].link[kb];

    int r = CKTVectorImpl::movetorow(*this, a, static_cast<int>(mx), static_cast<int>(my));
    if (r < 0) return r;

    b->deleted = 1;
    mdisconnectpolyline(b);
    mdeletelinenode(b);

    const double lenA = ktv::careful_length(mx - node[iA].x, my - node[iA].y);
    const double lenB = ktv::careful_length(mx - node[iB].x, my - node[iB].y);
    a->linknum = 2;
    la->length = lenA;
    a->link[0].length = lenA;
    a->link[0].area = -la->area;
    _KTNODELINK &second = a->link[1];
    second.length = lenB;
    second.area = -lb->area;
    second.id = b->link[0].id;
    second.mark = 0;
    second.node = iB;
    lb->mark = 0;
    lb->length = lenB;
    lb->node = ia;

    if (_KTPOLYLINE *pb = ktv::record_of(*this, b->link[0].id)) {
        if (pb->nodenum > 0 && pb->nodeindex[0] == ib) pb->nodeindex[0] = ia;
        else if (pb->nodenum > 0) pb->nodeindex[pb->nodenum - 1] = ia;
    }
    return mintegratepolyline(a);
}

// Merges the two polylines meeting at a node of exactly two links.
int CKTVector::mintegratepolyline(_KTNODE *n) {
    if (n->linknum != 2) return 0;
    const int p1 = n->link[0].id, p2 = n->link[1].id;
    const int a1 = ktv::abs_id(p1), a2 = ktv::abs_id(p2);
    if (a1 == a2) return 0;
    const int q = a1 > a2 ? p2 : p1;
    const int low = ktv::abs_id(q), high = a1 > a2 ? a1 : a2;
    _KTPOLYLINE *keep = ktv::record_of(*this, low);
    _KTPOLYLINE *gone = ktv::record_of(*this, high);
    if (!keep || !gone) return 0;
    gone->deleted = 1;
    const int j = static_cast<int>(n - node);
    const int s = ktv::first_node(*gone) == j ? -q : q;

    // Connections between the two polylines themselves (they may also meet
    // at their other ends) become connections of the merged polyline with
    // itself: a loop of one.  They are dropped on both sides first.
    auto drop_between = [this](_KTPOLYLINE *p, int other) {
        for (int guard = p->prevnum; guard-- > 0;) mdelprevpolyline(p, other);
        for (int guard = p->nextnum; guard-- > 0;) mdelnextpolyline(p, other);
    };
    drop_between(keep, high);
    drop_between(gone, low);

    int r = movejoint(keep, n, gone);
    if (r < 0) return r;
    mchangeconnectpolyline(gone, q);

    // Relabel only the records of the absorbed polyline along its chain:
    // forward records get s, their twins -s.  Other polylines passing
    // through its nodes keep their ids.  Where two pairs of the absorbed
    // polyline join the same two nodes (a ring of two nodes), the forward
    // record and its own twin (opposite id, same length) are taken, so that
    // each pair keeps its two halves together.
    for (int i = 0; i + 1 < gone->nodenum; ++i) {
        const int from = gone->nodeindex[i], to = gone->nodeindex[i + 1];
        _KTNODELINK *forward = pick_record(node[from], to, high, high, -1.0);
        if (!forward) continue;
        const int old = forward->id;
        const double length = forward->length;
        forward->id = s;
        if (_KTNODELINK *twin = pick_record(node[to], from, high, -old, length)) twin->id = -s;
    }
    return mupdatepolyline(q);
}

// Hands the connections of gone's far end (away from n) to keep's end at n.
int CKTVector::movejoint(_KTPOLYLINE *keep, _KTNODE *n, _KTPOLYLINE *gone) {
    const int j = static_cast<int>(n - node);
    const bool farstart = ktv::first_node(*gone) != j;
    int *list = farstart ? gone->prev : gone->next;
    int &count = farstart ? gone->prevnum : gone->nextnum;
    if (count == 0) return 0;
    if (keep->flag & KTVEC_POLYLINE_SINGLE) count = 1;
    const bool keepstart = ktv::first_node(*keep) == j;
    int *&target = keepstart ? keep->prev : keep->next;
    int &targetnum = keepstart ? keep->prevnum : keep->nextnum;
    ktv::release(target);
    targetnum = 0;
    target = ktv::alloc_array<int>(static_cast<std::size_t>(count));
    if (!target) return KTVEC_NO_MEMORY;
    std::memcpy(target, list, sizeof(int) * static_cast<std::size_t>(count));
    targetnum = count;
    return 0;
}
