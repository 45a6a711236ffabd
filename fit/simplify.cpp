// Simplification of polylines by removing middle nodes that add nothing to
// the shape: a vertex where the path hardly turns next to a very short link
// (mnearpoint), or, on a polyline fitted with arcs, a vertex between two
// links whose arcs belong to the same circle (msamecurvature).
//
// A triple is three consecutive entries N1, N2, N3 of the node list; N2 is
// the candidate.  Removing it deletes N2, drops the connections held at it,
// takes it out of its row and re-aims N1's link to N2 at N3 and N3's link to
// N2 at N1.  The re-aimed pair gets the chord length |N3 - N1| and an area
// that keeps the deviation of both old links plus the triangle N1 N2 N3 the
// chord now cuts off, so that a later arc fit of the long link sees the
// whole stretch.  N2's own records are left as they were (history of a
// deleted node).
//
// The node list is not rebuilt during the walk: after a removal the next
// triple starts at the deleted N2 and is skipped, so a run of removable
// nodes loses every other node per call.  The list is rebuilt once at the
// end (mupdatepolyline), which also marks the polyline modified.
#include <cmath>

#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/geometry.h"

namespace {

// Positions and vectors of one triple: u = N2 - N1, v = N3 - N2,
// w = N3 - N1, from the integer node positions.
struct Triple {
    int i1, i2, i3;
    double ux, uy, vx, vy, wx, wy;
};

Triple triple_at(const CKTVector &vz, const _KTPOLYLINE &p, int i) {
    Triple t;
    t.i1 = p.nodeindex[i];
    t.i2 = p.nodeindex[i + 1];
    t.i3 = p.nodeindex[i + 2];
    const _KTNODE &a = vz.node[t.i1], &b = vz.node[t.i2], &c = vz.node[t.i3];
    t.ux = double(b.x) - a.x;
    t.uy = double(b.y) - a.y;
    t.vx = double(c.x) - b.x;
    t.vy = double(c.y) - b.y;
    t.wx = double(c.x) - a.x;
    t.wy = double(c.y) - a.y;
    return t;
}

// u x w: twice the signed area of the triangle N1 N2 N3.
double cross_uw(const Triple &t) { return t.ux * t.wy - t.uy * t.wx; }

// The first link of node `from` aiming at node index `to`, other than
// `except`; null when there is none.
_KTNODELINK *first_link_to(_KTNODE &from, int to, const _KTNODELINK *except = nullptr) {
    for (int k = 0; k < from.linknum; ++k)
        if (from.link[k].node == to && &from.link[k] != except) return &from.link[k];
    return nullptr;
}

// Re-aims the pair around the removed N2: l1 (on N1) at N3, l3 (on N3) at N1.
// The forward area of the new link is the forward area of N1 -> N2 plus that
// of N2 -> N3 (l3 holds its negation) plus the triangle term, which follows
// the direction of l1's id.
void reaim(_KTNODELINK &l1, _KTNODELINK &l3, const Triple &t, double triangle) {
    const double n = l1.area - l3.area + (l1.id < 0 ? -triangle : triangle);
    const double length = ktv::careful_length(t.wx, t.wy);
    l1.node = t.i3;
    l3.node = t.i1;
    l1.length = length;
    l3.length = length;
    l1.area = n;
    l3.area = -n;
    l1.mark = 0;
    l3.mark = 0;
}

// The rebuild that ends each single-polyline call: 0 or its failure.
int rebuild(CKTVector &vz, int id) {
    const int r = vz.mupdatepolyline(id);
    return r < 0 ? r : 0;
}

// Runs `simplify` on every live polyline with a node list, after clearing
// every change mark; the last negative result is the result.
template <class Simplify> int over_all_polylines(CKTVector &vz, Simplify simplify) {
    vz.msetmodify(static_cast<unsigned char>(0));
    int result = 0;
    for (int i = 0; i < vz.polylinenum; ++i) {
        const _KTPOLYLINE &p = vz.polyline[i];
        if (p.deleted == 1 || !p.nodeindex) continue;
        const int r = simplify(i + 1);
        if (r < 0) result = r;
    }
    return result;
}

}  // namespace

int CKTVector::mnearpoint(int id, double dist, double angle) {
    _KTPOLYLINE *rec = ktv::record_of(*this, id);
    if (!rec) return polyline ? KTVEC_REFUSED : KTVEC_NO_POLYLINES;
    if (rec->modify == 1) return KTVEC_REFUSED;
    const double k = std::cos(angle);
    const int count = rec->nodenum;
    if (count < 3) return rebuild(*this, id);

    // Removals change links and rows only; the node list and the table stay
    // where they are until the rebuild.
    for (int i = 0; i + 2 < count; ++i) {
        const Triple t = triple_at(*this, *rec, i);
        _KTNODE &n1 = node[t.i1], &n2 = node[t.i2], &n3 = node[t.i3];
        // N1 == N3 is a closed loop of two nodes: joining them would link a
        // node to itself.
        if (n1.deleted || n2.linknum != 2 || t.i1 == t.i3) continue;
        const double lu = ktv::careful_length(t.ux, t.uy), lv = ktv::careful_length(t.vx, t.vy);
        if (lu >= dist && lv >= dist) continue;
        // A zero-length link makes the cosine NaN; the comparison is then
        // false and the node on the doubled pixel goes.
        if (k >= (t.ux * t.vx + t.uy * t.vy) / (lu * lv)) continue;
        _KTNODELINK *l1 = first_link_to(n1, t.i2);
        _KTNODELINK *l3 = first_link_to(n3, t.i2, l1);
        if (!l1 || !l3) continue;  // a pair without its twin: nothing to join

        n2.deleted = 1;
        mdisconnectpolyline(&n2);
        const int r = mdeletelinenode(&n2);
        if (r < 0) return r;
        reaim(*l1, *l3, t, 0.5 * cross_uw(t));
    }
    return rebuild(*this, id);
}

int CKTVector::msamecurvature(int id, double tolerance) {
    _KTPOLYLINE *rec = ktv::record_of(*this, id);
    if (!rec) return polyline ? KTVEC_REFUSED : KTVEC_NO_POLYLINES;
    if (rec->modify == 1 || !(rec->flag & KTVEC_POLYLINE_ARC)) return KTVEC_REFUSED;
    const int count = rec->nodenum;
    if (count < 3) return rebuild(*this, id);

    for (int i = 0; i + 2 < count; ++i) {
        const Triple t = triple_at(*this, *rec, i);
        _KTNODE &n1 = node[t.i1], &n2 = node[t.i2], &n3 = node[t.i3];
        if (n1.deleted) continue;
        _KTNODELINK *l1 = mgetnodelink(&n1, &n2, id);
        _KTNODELINK *l2 = mgetnodelink(&n2, &n3, id);
        _KTNODELINK *l3 = mgetnodelink(&n3, &n2, id);
        if (!l1 || !l2 || !l3) return KTVEC_LINK_MISSING;
        if (n2.linknum != 2 || t.i1 == t.i3 || l1 == l3) continue;
        // The two arcs agree when radius and centre differ by less than the
        // tolerance as a share of the first radius; a straight first link
        // (radius 0) agrees with nothing.
        const double bound = tolerance * l1->radius;
        if (!(std::fabs(l2->radius - l1->radius) < bound &&
              std::fabs(l2->centerx - l1->centerx) < bound &&
              std::fabs(l2->centery - l1->centery) < bound))
            continue;

        n2.deleted = 1;
        mdisconnectpolyline(&n2);
        const int r = mdeletelinenode(&n2);
        if (r < 0) return r;
        // The triangle term has the opposite orientation of mnearpoint's;
        // the arc of l1 stays as it was.
        reaim(*l1, *l3, t, -0.5 * cross_uw(t));
    }
    return rebuild(*this, id);
}

int CKTVector::mnearpointall(double dist, double angle) {
    return over_all_polylines(*this, [&](int id) { return mnearpoint(id, dist, angle); });
}

int CKTVector::msamecurvatureall(double tolerance) {
    return over_all_polylines(*this, [&](int id) { return msamecurvature(id, tolerance); });
}
