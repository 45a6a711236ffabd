// Node clean-up: deleting, unlinking, skipping and merging nodes, deleting
// whole polylines, and attaching a node to a near one, each keeping links,
// polylines, connections and the row index consistent.  Also the two
// geometric tests of the clean-up passes: the cosine between two directions
// and the separator test on the working raster.
//
// Terms: an end node has one link, a middle node two links whose ids are
// negations of each other (an inner vertex of one polyline), a junction three
// or more.  Deleted nodes keep their record and, after a merge, their old
// link array.
#include <cmath>
#include <cstring>

#include "cleanup/cleanup.h"
#include "edit/find.h"
#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/geometry.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

int CKTVector::mismiddlenode(_KTNODE *n) {
    return n->linknum == 2 && n->link[0].id == -n->link[1].id;
}

// Cosine of the angle between (x0,y0)->(x1,y1) and (x2,y2)->(x3,y3); not a
// number when either vector has zero length (see cleanup.h for how the
// threshold tests read that).
double CKTVector::mgetcos(double x0, double y0, double x1, double y1, double x2, double y2,
                          double x3, double y3) {
    return ktv::cosine(x1 - x0, y1 - y0, x3 - x2, y3 - y2);
}

double CKTVector::mgetcos(_KTNODE *a, _KTNODE *b, _KTNODE *c, _KTNODE *d) {
    return mgetcos(a->x, a->y, b->x, b->y, c->x, c->y, d->x, d->y);
}

// Looks for a set pixel of the working raster on the L-shaped path from
// (x1, y1) horizontally to column x2, then vertically to (x2, y2), leaving
// out two pixels at each end of each leg.  Pixels outside the raster are
// white.
int CKTVector::mcheckseparator(int x1, int y1, int x2, int y2) {
    if (!thindata) return 0;
    auto row_at = [&](int y) { return thindata + static_cast<std::size_t>(y) * bytesperline; };
    const int usedpx = 8 * bytesperline < width ? 8 * bytesperline : width;
    // Horizontal leg, whole bytes at a time.
    long long c0 = static_cast<long long>(x1 < x2 ? x1 : x2) + 2;
    long long c1 = static_cast<long long>(x1 < x2 ? x2 : x1) - 2;
    if (c0 < c1 && y1 >= 0 && y1 < height) {
        if (c0 < 0) c0 = 0;
        if (c1 > usedpx - 1) c1 = usedpx - 1;
        const unsigned char *row = row_at(y1);
        for (long long b = c0 / 8; c0 <= c1 && b <= c1 / 8; ++b) {
            unsigned mask = 0xffu;
            if (b == c0 / 8) mask &= 0xffu >> (c0 % 8);
            if (b == c1 / 8) mask &= (0xffu << (7 - c1 % 8)) & 0xffu;
            if (row[b] & mask) return 1;
        }
    }
    // Vertical leg along column x2.
    if (x2 >= 0 && x2 < usedpx) {
        const long long r0 = static_cast<long long>(y1 < y2 ? y1 : y2) + 2;
        const long long r1 = static_cast<long long>(y1 < y2 ? y2 : y1) - 2;
        const unsigned bit = 0x80u >> (x2 % 8);
        for (long long y = r0 < 0 ? 0 : r0; y < r1 && y < height; ++y)
            if (row_at(static_cast<int>(y))[x2 / 8] & bit) return 1;
    }
    return 0;
}

// Removes a node of two links and joins its neighbours directly; the new
// link's area keeps the area of both old links plus the triangle cut off.
int CKTVector::mskipnode(_KTNODE *v) {
    if (v->linknum != 2) return KTVEC_REFUSED;
    const int iv = static_cast<int>(v - node);
    _KTNODE &a = node[v->link[0].node];
    _KTNODE &b = node[v->link[1].node];
    const int ia = v->link[0].node, ib = v->link[1].node;
    v->deleted = 1;
    mdisconnectpolyline(v);
    int r = mdeletelinenode(v);
    if (r < 0) return r;

    _KTNODELINK *la = nullptr, *lb = nullptr;
    for (int k = 0; k < a.linknum && !la; ++k)
        if (a.link[k].node == iv) la = &a.link[k];
    for (int k = 0; k < b.linknum && !lb; ++k)
        if (b.link[k].node == iv && &b.link[k] != la) lb = &b.link[k];
    if (!la || !lb) return 0;  // a neighbour without its twin: nothing to join
    const int p = la->id;
    la->node = ib;
    lb->node = ia;
    const double len = ktv::careful_length(static_cast<double>(b.x) - a.x, static_cast<double>(b.y) - a.y);
    la->length = len;
    lb->length = len;
    const double cross = (static_cast<double>(v->x - a.x) * (b.y - a.y) -
                          static_cast<double>(b.x - a.x) * (v->y - a.y)) * 0.5;
    const double aold = la->area, bold = lb->area;
    la->area = (p >= 0 ? cross : -cross) + (aold - bold);
    lb->area = -la->area;
    r = mupdatepolyline(p);
    return r < 0 ? r : 0;
}

namespace {

// The ids of the polylines to rebuild once link pairs between two nodes
// are gone.  Eight fit inline; room for more is obtained before anything
// changes, so that a memory failure leaves the graph as it was.
class HeldIds {
public:
    HeldIds() = default;
    HeldIds(const HeldIds &) = delete;
    HeldIds &operator=(const HeldIds &) = delete;
    ~HeldIds() {
        if (ids_ != inline_) ktv::mem_free(ids_);
    }
    // Room for `count` ids in all; false when memory is short.
    bool reserve(int count) {
        if (count <= capacity_) return true;
        int *block = ktv::alloc_array<int>(static_cast<std::size_t>(count));
        if (!block) return false;
        ids_ = block;
        capacity_ = count;
        return true;
    }
    void add(int id) { ids_[num_++] = id; }
    // Rebuilds each held polyline in turn: 0 or the first failure.
    int rebuild(CKTVector &v) const {
        for (int i = 0; i < num_; ++i) {
            const int r = v.mupdatepolyline(ids_[i]);
            if (r < 0) return r;
        }
        return 0;
    }

private:
    int inline_[8];
    int *ids_ = inline_;
    int num_ = 0;
    int capacity_ = 8;
};

// How far an attach step looks from a node with a square window of
// half-width r: just past the window's corner.
double attach_reach(int r) { return std::sqrt(static_cast<double>(2LL * r * r)) + 0.1; }

// Records of `from` that point to node `to`.
int records_to(const _KTNODE &from, int to) {
    int count = 0;
    for (int k = 0; k < from.linknum; ++k) count += from.link[k].node == to;
    return count;
}

}  // namespace

// Removes every link pair between a and b, then rebuilds each polyline that
// used one (by the id stored on a's record).  The rebuilds wait until all
// pairs are gone: where several pairs join the two nodes, a polyline rebuilt
// while another pair still stood would keep a link that is removed next.
int CKTVector::munlinknode(_KTNODE *a, _KTNODE *b) {
    HeldIds ids;
    if (!ids.reserve(records_to(*a, static_cast<int>(b - node)))) return KTVEC_NO_MEMORY;
    for (;;) {
        const int id = mdeletenodefromlink(a, b);
        if (id == 0) break;
        mdeletenodefromlink(b, a);
        ids.add(id);
    }
    return ids.rebuild(*this);
}

int CKTVector::mdeletenode(_KTNODE *v) {
    if (mismiddlenode(v)) {
        const int r = mskipnode(v);
        return r < 0 ? r : 0;
    }
    v->deleted = 1;
    mdisconnectpolyline(v);
    int r = mdeletelinenode(v);
    if (r < 0) return r;
    while (v->linknum > 0) {
        const int before = v->linknum;
        _KTNODE *other = &node[v->link[0].node];
        r = munlinknode(other, v);
        if (r < 0) return r;
        // A link whose twin is missing is dropped on this side alone, so the
        // loop always ends.
        if (v->linknum == before) mdeletenodefromlink(v, other);
    }
    return 0;
}

int CKTVector::mdeletepolyline(_KTNODE *n) {
    if (!polyline) return KTVEC_NO_POLYLINES;
    _KTPOLYLINE *r;
    if (n->linknum == 1) {
        r = ktv::record_of(*this, n->link[0].id);
    } else if (n->linknum == 2) {
        if (!mismiddlenode(n)) return 0;
        r = ktv::record_of(*this, n->link[0].id);
        if (r && r->deleted) return 0;
    } else {
        return KTVEC_REFUSED;
    }
    if (!r) return KTVEC_REFUSED;
    const bool twolinks = n->linknum == 2;
    r->deleted = 1;
    mdisconnectpolyline(r);
    // Node deletion may rebuild the list; the loop always reads it anew.
    for (int i = 0; i < r->nodenum; ++i) {
        _KTNODE *m = &node[r->nodeindex[i]];
        if (m->linknum == 1 || (m->linknum == 2 && mismiddlenode(m))) {
            m->deleted = 1;
            const int res = mdeletenode(m);
            if (res < 0) return res;
        }
    }
    // The given middle node is left with one record.  Its records are
    // history once it is deleted; a node the loop passed over (the list
    // shifts as deletions rebuild it) is still live, and dropping one of its
    // records would leave a link without its twin, so it keeps both.
    if (twolinks && n->deleted && n->linknum >= 2) {
        n->link[0] = n->link[1];
        n->linknum = 1;
    }
    return 0;
}

// Merges b into a: a moves to the integer midpoint and takes over b's links;
// b is deleted and keeps its old link array.
int CKTVector::mergenode(_KTNODE *a, _KTNODE *b) {
    const int ia = static_cast<int>(a - node), ib = static_cast<int>(b - node);
    // The merged links are a's without those to b, then b's without those
    // to a.  When they fit in a's own array (two neighbours along a stroke
    // each lose their link to the other) they are gathered there in place;
    // otherwise (or when a node is merged with itself, whose links are then
    // read twice) a new array is obtained first, so that a failure changes
    // nothing at all.
    int needed = 0;
    for (int k = 0; k < a->linknum; ++k) needed += a->link[k].node != ib;
    for (int k = 0; k < b->linknum; ++k) needed += b->link[k].node != ia;
    _KTNODELINK *merged = a->link;
    if (needed > a->linknum || a == b) {
        merged = ktv::alloc_array<_KTNODELINK>(static_cast<std::size_t>(needed));
        if (!merged) return KTVEC_NO_MEMORY;
    }
    const int r = CKTVectorImpl::movetorow(*this, a, static_cast<int>((static_cast<long long>(a->x) + b->x) / 2),
                               static_cast<int>((static_cast<long long>(a->y) + b->y) / 2));
    if (r < 0) {
        if (merged != a->link) ktv::mem_free(merged);
        return r;
    }
    b->deleted = 1;
    mdisconnectpolyline(b);
    mdeletelinenode(b);

    int count = 0;
    for (int k = 0; k < a->linknum; ++k)
        if (a->link[k].node != ib) merged[count++] = a->link[k];
    for (int k = 0; k < b->linknum; ++k) {
        const _KTNODELINK &l = b->link[k];
        if (l.node == ia) continue;
        _KTNODE &o = node[l.node];
        for (int m = 0; m < o.linknum; ++m) {
            if (o.link[m].node != ib) continue;
            o.link[m].node = ia;
            if (_KTPOLYLINE *p = ktv::record_of(*this, o.link[m].id))
                for (int e = 0; e < p->nodenum; ++e)
                    if (p->nodeindex[e] == ib) {
                        p->nodeindex[e] = ia;
                        break;
                    }
        }
        merged[count++] = l;
    }
    if (merged != a->link) ktv::mem_free(a->link);
    a->link = merged;
    a->linknum = count;
    return 0;
}

int CKTVector::massimilatenode(_KTNODE *a, _KTNODE *b) { return mergenode(a, b); }

// Merge with repair: nodes of one polyline are merged only when they are
// linked or are its two ends (which closes it); polylines left with deleted
// nodes in their lists are purged afterwards.
int CKTVector::mintegratenode(_KTNODE *a, _KTNODE *b) {
    const _KTNODELINK *shared = ktv::shared_link(*a, *b);
    const int p = shared ? shared->id : 0;
    const int ia = static_cast<int>(a - node), ib = static_cast<int>(b - node);
    if (!shared) {
        const int r = mergenode(a, b);
        if (r < 0) return r;
    } else {
        bool ends = false;
        if (const _KTPOLYLINE *rec = ktv::record_of(*this, p)) {
            const int f = ktv::first_node(*rec), l = ktv::last_node(*rec);
            ends = (f == ia && l == ib) || (f == ib && l == ia);
        }
        if (shared->node == ib || ends) {
            // Other polylines that ran straight from a to b lose that link in
            // the merge too; they are rebuilt after p.
            auto other = [&](const _KTNODELINK &l) {
                return l.node == ib && ktv::abs_id(l.id) != ktv::abs_id(p);
            };
            int count = 0;
            for (int k = 0; k < a->linknum; ++k) count += other(a->link[k]);
            HeldIds others;
            if (!others.reserve(count)) return KTVEC_NO_MEMORY;
            for (int k = 0; k < a->linknum; ++k)
                if (other(a->link[k])) others.add(a->link[k].id);
            int r = mergenode(a, b);
            if (r < 0) return r;
            r = mupdatepolyline(p);
            if (r < 0) return r;
            r = others.rebuild(*this);
            if (r < 0) return r;
        }
    }
    if (b->deleted && a->linknum >= 2 && b->linknum >= 2)
        for (int k = 0; k < b->linknum; ++k) mcheckconsistency(b->link[k].id);
    return 0;
}

void CKTVector::mcheckconsistency(int ref) {
    _KTPOLYLINE *p = ktv::record_of(*this, ref);
    if (!p) return;
    if (p->nodenum < 1) {
        p->nodenum = 0;
        p->deleted = 1;
        return;
    }
    int kept = 0;
    for (int i = 0; i < p->nodenum; ++i)
        if (!node[p->nodeindex[i]].deleted) p->nodeindex[kept++] = p->nodeindex[i];
    p->nodenum = kept;
    if (kept < 2) p->deleted = 1;
}

int CKTVector::mondifferentpolyline(_KTNODE *a, _KTNODE *b) { return ktv::shared_link(*a, *b) ? 0 : 1; }

// The two attach rules note their steps' memory failures (ktv::note_step)
// for the clean-up record; they report nothing themselves.
//
// Attaches v to the nearest suitable node in the square of half-width r: an
// end node of its own polyline closes it into a loop, a node of another
// polyline is joined (splitting either polyline where the node lies inside
// it).  Other-polyline and same-polyline candidates share one best distance.
void CKTVector::mifnearthenattach(_KTNODE *v, int r) {
    if (mfindnodefast(v->x, v->y, r) < 2) return;
    const int iv = static_cast<int>(v - node);
    double best = attach_reach(r);
    int other = -1, same = -1;
    for (int i = ktv::next_found(*this, -1); i >= 0; i = ktv::next_found(*this, i)) {
        if (i == iv) continue;
        _KTNODE *w = &node[i];
        const double d = ktv::careful_length(static_cast<double>(w->x) - v->x, static_cast<double>(w->y) - v->y);
        if (mondifferentpolyline(w, v)) {
            if (d < best) {
                other = i;
                best = d;
            }
        } else if (v->linknum == 1 && w->linknum == 1 && d < best) {
            same = i;
            best = d;
        }
    }
    if (same >= 0) {
        ktv::note_step(*this, mintegratenode(v, &node[same]));
        return;
    }
    if (other < 0) return;
    _KTNODE *w = &node[other];
    if (mismiddlenode(v)) ktv::note_step(*this, mseparatepolyline(v->link[0].id, v));
    if (mismiddlenode(w)) ktv::note_step(*this, mseparatepolyline(w->link[0].id, w));
    if (v->linknum == 1 && w->linknum == 1) ktv::note_step(*this, mintegratepolyline(v, w));
    else ktv::note_step(*this, mintegratenode(v, w));
}

// The attach rule of the centre-line clean-up: an end node joins the one
// other node near it, or the nearest of several that is not the other end
// of its own polyline; a junction or a meeting of two polylines swallows
// every node near it.
void CKTVector::mifnearthenattachold(_KTNODE *v, int r) {
    const int iv = static_cast<int>(v - node);
    if (v->linknum == 1) {
        const int k = mfindnodefast(v->x, v->y, r);
        const int vid = v->link[0].id;
        if (k == 2) {
            int i = ktv::next_found(*this, -1);
            if (i == iv) i = ktv::next_found(*this, i);
            if (i < 0) return;
            _KTNODE *w = &node[i];
            if (w->linknum == 1) {
                if (w->link[0].id != -vid) ktv::note_step(*this, mintegratepolyline(v, w));
            } else if (mismiddlenode(w)) {
                ktv::note_step(*this, mseparatepolyline(w->link[0].id, w));
                ktv::note_step(*this, mintegratenode(v, w));
            } else {
                ktv::note_step(*this, mintegratenode(v, w));
            }
        } else if (k >= 3) {
            double best = attach_reach(r);
            int chosen = -1;
            for (int i = ktv::next_found(*this, -1); i >= 0; i = ktv::next_found(*this, i)) {
                if (i == iv) continue;
                const _KTNODE &w = node[i];
                if (w.linknum > 0 && w.link[0].id == -vid) continue;
                const double d = ktv::careful_length(static_cast<double>(w.x) - v->x, static_cast<double>(w.y) - v->y);
                if (d < best) {
                    best = d;
                    chosen = i;
                }
            }
            if (chosen >= 0) ktv::note_step(*this, mintegratenode(v, &node[chosen]));
        }
        return;
    }
    if (mismiddlenode(v)) return;
    if (mfindnodefast(v->x, v->y, r) < 2) return;
    for (int i = ktv::next_found(*this, -1); i >= 0; i = ktv::next_found(*this, i))
        if (i != iv) ktv::note_step(*this, mintegratenode(v, &node[i]));
}
