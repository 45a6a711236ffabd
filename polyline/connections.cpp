// Polyline connections: which end of a polyline continues into which end of
// another at the node where both end.
//
// A connection between end a of polyline A and end b of polyline B is kept
// twice: b's end reference in A's list for a, and a's in B's list for b
// (+k = start, -k = end; `prev` holds the start's connections, `next` the
// end's).  Lists hold no duplicates and grow one entry at a time; an empty
// list has a null array.  No connection is added that would let a chain of
// connections come back to the polyline it started from.
#include <cmath>

#include "edit/find.h"
#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/geometry.h"
#include "vectorizer/memory.h"

namespace {

// Appends `ref` unless present: 1 added, 0 already there, KTVEC_NO_MEMORY no memory.
int list_add(int *&list, int &count, int ref) {
    for (int i = 0; i < count; ++i)
        if (list[i] == ref) return 0;
    int *grown = ktv::grow_zeroed(list, static_cast<std::size_t>(count),
                                  static_cast<std::size_t>(count) + 1);
    if (!grown) return KTVEC_NO_MEMORY;
    list = grown;
    list[count++] = ref;
    return 1;
}

// Removes the first entry equal to k or -k, keeping the order of the rest;
// an emptied list is released.
void list_remove(int *&list, int &count, int k) {
    for (int i = 0; i < count; ++i) {
        if (list[i] != k && list[i] != -k) continue;
        for (int j = i + 1; j < count; ++j) list[j - 1] = list[j];
        if (--count == 0) ktv::release(list);
        return;
    }
}

void list_change(int *list, int count, int k, int ref) {
    for (int i = 0; i < count; ++i)
        if (list[i] == k || list[i] == -k) {
            list[i] = ref;
            return;
        }
}

// Removes polyline k from the list of the end that `ref` names (its start's
// list for a positive ref, its end's for a negative one).
void disconnect_end(CKTVector &v, int k, int ref) {
    _KTPOLYLINE *p = ktv::record_of(v, ref);
    if (!p) return;
    if (ref >= 1) list_remove(p->prev, p->prevnum, k);
    else list_remove(p->next, p->nextnum, k);
}

// Removes polyline `id` from the lists of every end that `list` names and
// releases the list.  It is taken off its polyline before its entries are
// visited, so an entry naming that polyline itself cannot change the list
// being walked.
void disconnect_list(CKTVector &v, int id, int *&list, int &count) {
    int *taken = list;
    const int num = count;
    list = nullptr;
    count = 0;
    for (int i = 0; i < num; ++i) disconnect_end(v, id, taken[i]);
    ktv::mem_free(taken);
}

}  // namespace

// ---- list primitives ---------------------------------------------------------

int CKTVector::maddprevpolyline(_KTPOLYLINE *p, int ref) { return list_add(p->prev, p->prevnum, ref); }
int CKTVector::maddnextpolyline(_KTPOLYLINE *p, int ref) { return list_add(p->next, p->nextnum, ref); }
int CKTVector::maddableprevpolyline(_KTPOLYLINE *p) { return !(p->flag & KTVEC_POLYLINE_SINGLE) || p->prevnum == 0; }
int CKTVector::maddablenextpolyline(_KTPOLYLINE *p) { return !(p->flag & KTVEC_POLYLINE_SINGLE) || p->nextnum == 0; }
void CKTVector::mdelprevpolyline(_KTPOLYLINE *p, int k) { list_remove(p->prev, p->prevnum, k); }
void CKTVector::mdelnextpolyline(_KTPOLYLINE *p, int k) { list_remove(p->next, p->nextnum, k); }
void CKTVector::mchangeprevpolyline(_KTPOLYLINE *p, int k, int ref) { list_change(p->prev, p->prevnum, k, ref); }
void CKTVector::mchangenextpolyline(_KTPOLYLINE *p, int k, int ref) { list_change(p->next, p->nextnum, k, ref); }

// ---- geometry ------------------------------------------------------------------

// Foot parameter t of (px, py) on the line (x0, y0)-(x1, y1) (0 at the first
// point, 1 at the second) and its perpendicular distance d.  Rounding can
// leave the squared distance a hair below zero; it is read as 0.
void CKTVector::mdistance(double x0, double y0, double x1, double y1, double px, double py,
                          double &t, double &d) {
    const double dx = x1 - x0, dy = y1 - y0, ex = x0 - px, ey = y0 - py;
    const double s = ey * dy + ex * dx;
    const double ll = dx * dx + dy * dy;
    t = -s / ll;
    const double dd = ex * ex + ey * ey - s * s / ll;
    d = std::sqrt(dd > 0 ? dd : 0.0);
}

// ---- adding connections --------------------------------------------------------

// One recording step for polylines A and B (positive ids) whose nodes next to
// `joint` are na and nb: the second node tells the two ends of a polyline
// closed at the joint apart.
int CKTVector::mconnectpolyline(int a, _KTNODE *na, _KTNODE *joint, _KTNODE *nb, int b) {
    _KTPOLYLINE *pa = ktv::record_of(*this, a);
    _KTPOLYLINE *pb = ktv::record_of(*this, b);
    if (!pa || !pb) return KTVEC_REFUSED;
    const int j = static_cast<int>(joint - node);
    auto at_start = [&](const _KTPOLYLINE &p, _KTNODE *next) {
        return p.nodenum >= 2 && p.nodeindex[0] == j && p.nodeindex[1] == static_cast<int>(next - node);
    };
    const bool astart = at_start(*pa, na), bstart = at_start(*pb, nb);
    const int ra = astart ? a : -a, rb = bstart ? b : -b;

    int loop = mcheckjointloop(a, rb);
    if (loop == 0) loop = mcheckjointloop(b, ra);
    if (loop < 0) return loop;
    if (loop) return KTVEC_LOOP;

    if (!(astart ? maddableprevpolyline(pa) : maddablenextpolyline(pa)) ||
        !(bstart ? maddableprevpolyline(pb) : maddablenextpolyline(pb)))
        return 0;
    const int added = astart ? maddprevpolyline(pa, rb) : maddnextpolyline(pa, rb);
    if (added < 0) return added;
    const int r = bstart ? maddprevpolyline(pb, ra) : maddnextpolyline(pb, ra);
    if (r < 0) {
        // Half a connection would break the symmetry of the lists: take the
        // first half back.
        if (added == 1) {  // it went last
            int &count = astart ? pa->prevnum : pa->nextnum;
            if (--count == 0) ktv::release(astart ? pa->prev : pa->next);
        }
        return r;
    }
    return 0;
}

// Connects the polyline leaving `joint` towards a with the one leaving it
// towards b.
int CKTVector::mconnectpolyline(_KTNODE *joint, _KTNODE *a, _KTNODE *b) {
    if (!a || !b || a == b || joint->linknum == 0) return KTVEC_REFUSED;
    const int ia = static_cast<int>(a - node), ib = static_cast<int>(b - node);
    const _KTNODELINK *la = nullptr, *lb = nullptr;
    for (int k = 0; k < joint->linknum; ++k) {
        if (joint->link[k].node == ia) la = &joint->link[k];
        if (joint->link[k].node == ib) lb = &joint->link[k];
    }
    if (!la || !lb) return KTVEC_REFUSED;
    const int pa = ktv::abs_id(la->id), pb = ktv::abs_id(lb->id);
    if (pa == pb) return KTVEC_SAME_POLYLINE;
    const _KTPOLYLINE *ra = ktv::record_of(*this, pa), *rb = ktv::record_of(*this, pb);
    if (!ra || !rb) return KTVEC_REFUSED;
    const int j = static_cast<int>(joint - node);
    auto is_end = [j](const _KTPOLYLINE &p) { return ktv::first_node(p) == j || ktv::last_node(p) == j; };
    if (!is_end(*ra) || !is_end(*rb)) return KTVEC_NOT_AN_END;
    int r = mconnectpolyline(pa, a, joint, b, pb);
    if (r < 0) return r;
    r = mconnectpolyline(pb, b, joint, a, pa);
    return r < 0 ? r : 0;
}

// Connects two branches of the joint nearest to a stroke drawn across it:
// the stroke's midpoint picks the joint, each of its ends picks the branch it
// lies beside.
int CKTVector::mconnectpolyline(int x1, int y1, int x2, int y2) {
    const double dx = static_cast<double>(x2) - x1, dy = static_cast<double>(y2) - y1;
    const double r = 0.5 * ktv::length_of(dx, dy);
    const double mx = 0.5 * (static_cast<double>(x1) + x2), my = 0.5 * (static_cast<double>(y1) + y2);
    if (mfindnode(static_cast<int>(mx), static_cast<int>(my), r) == 0) return KTVEC_REFUSED;

    _KTNODE *joint = nullptr;
    double best = 0;
    for (int i = ktv::next_found(*this, -1); i >= 0; i = ktv::next_found(*this, i)) {
        const _KTNODE &n = node[i];
        if (n.deleted) continue;
        const bool meeting = n.linknum >= 3 || (n.linknum == 2 && n.link[0].id != -n.link[1].id);
        if (!meeting) continue;
        const double ex = n.x - mx, ey = n.y - my;
        const double d = ktv::length_of(ex, ey);
        if (d < r + 1.0 && (!joint || d < best)) {
            joint = &node[i];
            best = d;
        }
    }
    if (!joint) return 0;
    if (joint->linknum == 2) return mconnectpolyline(joint, &node[joint->link[0].node], &node[joint->link[1].node]);

    auto branch = [&](int px, int py) -> _KTNODE * {
        _KTNODE *chosen = nullptr;
        double bestd = static_cast<double>(width) + height;
        for (int k = 0; k < joint->linknum; ++k) {
            _KTNODE *q = &node[joint->link[k].node];
            double t, d;
            mdistance(joint->x, joint->y, q->x, q->y, px, py, t, d);
            if (t >= 0 && t <= 1 && d < bestd) {
                chosen = q;
                bestd = d;
            }
        }
        return chosen;
    };
    _KTNODE *b1 = branch(x1, y1);
    _KTNODE *b2 = branch(x2, y2);
    const int res = mconnectpolyline(joint, b1, b2);
    return res < 0 ? res : 0;
}

// ---- removing and re-pointing ------------------------------------------------------

// Removes the connection between polylines a and b at `joint`: from the
// start's list of a polyline that starts there, else from its end's list.  A
// polyline closed at the joint has both ends there; its connection is taken
// from whichever list holds it (the start's first).
void CKTVector::mdisconnectpolyline(int a, _KTNODE *joint, int b) {
    _KTPOLYLINE *pa = ktv::record_of(*this, a), *pb = ktv::record_of(*this, b);
    if (!pa || !pb) return;
    const int j = static_cast<int>(joint - node);
    auto drop = [&](_KTPOLYLINE *p, int other) {
        if (ktv::first_node(*p) != j) {
            mdelnextpolyline(p, other);
            return;
        }
        const int before = p->prevnum;
        mdelprevpolyline(p, other);
        if (p->prevnum == before && ktv::last_node(*p) == j) mdelnextpolyline(p, other);
    };
    drop(pa, b);
    drop(pb, a);
}

void CKTVector::mdisconnectpolyline2(int k, _KTNODE *, int ref) { disconnect_end(*this, k, ref); }

void CKTVector::mchangeconnectpolyline2(int k, int newref, int ref) {
    _KTPOLYLINE *p = ktv::record_of(*this, ref);
    if (!p) return;
    if (ref >= 1) mchangeprevpolyline(p, k, newref);
    else mchangenextpolyline(p, k, newref);
}

// Removes every connection of p.
void CKTVector::mdisconnectpolyline(_KTPOLYLINE *p) {
    const int k = ktv::id_of(*this, p);
    disconnect_list(*this, k, p->prev, p->prevnum);
    disconnect_list(*this, k, p->next, p->nextnum);
}

// Removes the connections held at `n` by the polylines that end there; a
// polyline closed at n has only its start's list cleared, one passing
// through n is untouched.
void CKTVector::mdisconnectpolyline(_KTNODE *n) {
    const int j = static_cast<int>(n - node);
    for (int k = 0; k < n->linknum; ++k) {
        _KTPOLYLINE *p = ktv::record_of(*this, n->link[k].id);
        if (!p) continue;
        const bool start = ktv::first_node(*p) == j;
        if (!start && ktv::last_node(*p) != j) continue;
        if (start) disconnect_list(*this, ktv::id_of(*this, p), p->prev, p->prevnum);
        else disconnect_list(*this, ktv::id_of(*this, p), p->next, p->nextnum);
    }
}

void CKTVector::mchangeconnectpolyline(_KTPOLYLINE *p, int newref) {
    const int k = ktv::id_of(*this, p);
    for (int i = 0; i < p->prevnum; ++i) mchangeconnectpolyline2(k, newref, p->prev[i]);
    for (int i = 0; i < p->nextnum; ++i) mchangeconnectpolyline2(k, newref, p->next[i]);
    ktv::release(p->prev);
    ktv::release(p->next);
    p->prevnum = 0;
    p->nextnum = 0;
}
