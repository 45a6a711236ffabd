// Centre-line vectorization: the thinning driver and the clean-up passes
// that repair what thinning leaves (end points that stop short of each
// other, gaps, junctions split into two nodes, crooked junction approaches),
// join polylines that meet end to end and record which branches continue
// each other straight through a junction.
//
// Every pass walks the node (or polyline) array by index, re-reading the
// count before each step, and skips deleted records.  The passes go on
// whatever their steps report, but a step that runs out of memory marks the
// run incomplete (ktv::note_step), which the host can ask about
// (mispostprocessincomplete): the graph is then only partly cleaned.
//
// The searches of the passes clear only the marks of the previous search
// (see edit/search.cpp), and candidates are taken from the list of marked
// nodes in index order, so a pass costs what its windows hold rather than
// the whole node array per node.
#include <cmath>

#include "cleanup/cleanup.h"
#include "edit/find.h"
#include "vectorizer/geometry.h"
#include "graph/registry.h"
#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/impl.h"

void CKTVector::mpostprocesscenterline(int flags, double a, double b, double c, double d) {
    const ktv::CleanupRun run(*this);
    // Only the library touches the marks from here on: the first search
    // clears them all, each later one only what its predecessor marked.
    if (CKTVectorImpl *in = run.impl()) {
        in->findtracking = true;
        in->findlistvalid = false;
    }
    ktv::forget_row_distinct(*this);
    if (flags & KTVEC_BRIDGE_GAPS) mpostprocesscenterline2(b, c);
    if (flags & KTVEC_MERGE_ENDS) mpostprocesscenterline1(a);
    mpostprocesscenterline0();
    mpostprocesscenterline4(d, c);
    if (flags & KTVEC_MERGE_JUNCTIONS) mpostprocesscenterline3(d);
    mpostprocesscenterline5();
    if (flags & KTVEC_CONNECT) {
        mpostprocesscenterline6(c);
        mpostprocesscenterline7();
    }
    mpostprocesscenterline8(a);
    if (CKTVectorImpl *in = run.impl()) in->findtracking = false;
}

// Pass 0: nodes within two pixels of each other are attached.
void CKTVector::mpostprocesscenterline0() {
    for (int i = 0; i < nodenum; ++i)
        if (!node[i].deleted) mifnearthenattachold(&node[i], 2);
}

// Pass 1: an end point and a later end point within radius a are fused when
// the second lies ahead of the first's stroke (within 18 degrees) or no
// black pixel separates them, and the two strokes do not meet at a right
// angle or sharper.
void CKTVector::mpostprocesscenterline1(double a) {
    const double ahead = std::cos(ktv::kPi / 10);
    const double square = std::cos(ktv::kPi / 2);
    for (int i = 0; i < nodenum; ++i) {
        _KTNODE *ni = &node[i];
        if (ni->deleted || ni->linknum != 1) continue;
        _KTNODE *n = &node[ni->link[0].node];
        if (mfindnode(ni->x, ni->y, a) <= 1) continue;
        double best = a + 1.0;
        int chosen = -1;
        for (int j = ktv::next_found(*this, i); j >= 0; j = ktv::next_found(*this, j)) {
            _KTNODE *nj = &node[j];
            if (nj->linknum > 0 && nj->link[0].id == -ni->link[0].id) continue;
            const double dist = ktv::node_distance(*ni, *nj);
            if (!(dist < best)) continue;
            if (ktv::cos_at_least(mgetcos(n, ni, ni, nj), ahead) ||
                !mcheckseparator(ni->x, ni->y, nj->x, nj->y)) {
                chosen = j;
                best = dist;
            }
        }
        if (chosen < 0 || node[chosen].linknum != 1) continue;
        _KTNODE *nj = &node[chosen];
        _KTNODE *m = &node[nj->link[0].node];
        if (ktv::cos_at_least(mgetcos(ni, n, m, ni), square)) ktv::note_step(*this, mintegratepolyline(ni, nj));
    }
}

// Pass 2: a gap between two aligned end points within radius b is bridged
// with a new link.
void CKTVector::mpostprocesscenterline2(double b, double c) {
    for (int i = 0; i < nodenum; ++i) {
        _KTNODE *ni = &node[i];
        if (ni->deleted || ni->linknum != 1) continue;
        _KTNODE *n = &node[ni->link[0].node];
        if (mfindnode(ni->x, ni->y, b) <= 1) continue;
        double best = b + 1.0;
        int chosen = -1;
        for (int j = ktv::next_found(*this, i); j >= 0; j = ktv::next_found(*this, j)) {
            const _KTNODE &nj = node[j];
            if (nj.linknum > 0 && nj.link[0].id == -ni->link[0].id) continue;
            const double dist = ktv::node_distance(*ni, nj);
            if (dist < best) {
                chosen = j;
                best = dist;
            }
        }
        if (chosen < 0 || node[chosen].linknum != 1) continue;
        _KTNODE *nj = &node[chosen];
        _KTNODE *m = &node[nj->link[0].node];
        if (ktv::cos_greater(mgetcos(n, ni, nj, m), c) && ktv::cos_greater(mgetcos(nj, m, ni, nj), c))
            ktv::note_step(*this, mlinkpolyline(ni, nj));
    }
}

// Every branch of a, other than the one to b, leaves a within 60 degrees of
// the direction from b through a.
int CKTVector::mcheckintegratenode(_KTNODE *a, _KTNODE *b) {
    const int ib = static_cast<int>(b - node);
    for (int k = 0; k < a->linknum; ++k) {
        if (a->link[k].node == ib) continue;
        if (!ktv::cos_at_least(mgetcos(b, a, a, &node[a->link[k].node]), 0.5)) return 0;
    }
    return 1;
}

// Pass 3: two junctions joined by a short link (a crossing that thinning
// split in two) are merged when their branches agree.
void CKTVector::mpostprocesscenterline3(double d) {
    for (int i = 0; i < nodenum; ++i) {
        _KTNODE *v = &node[i];
        if (v->deleted || v->linknum < 2) continue;
        for (int k = 0; k < v->linknum; ++k) {
            _KTNODE *o = &node[v->link[k].node];
            if (o->linknum < 3 || !(v->link[k].length <= d)) continue;
            if (mcheckintegratenode(v, o) && mcheckintegratenode(o, v)) ktv::note_step(*this, mintegratenode(v, o));
            break;
        }
    }
}

// Pass 4: the crooked first step of a branch next to a junction is removed
// when skipping it lines the branch up with another branch there.
void CKTVector::mpostprocesscenterline4(double d, double c) {
    for (int i = 0; i < nodenum; ++i) {
        _KTNODE *v = &node[i];
        if (v->deleted || v->linknum < 3) continue;
        for (int k = 0; k < v->linknum; ++k) {
            _KTNODE *o = &node[v->link[k].node];
            if (o->linknum != 2 || !(v->link[k].length <= d)) continue;
            const _KTPOLYLINE *p = ktv::record_of(*this, v->link[k].id);
            if (!p || p->nodenum <= 2) continue;
            int t;
            if (ktv::first_node(*p) == i) t = p->nodeindex[2];
            else if (ktv::last_node(*p) == i) t = p->nodeindex[p->nodenum - 3];
            else continue;
            for (int m = 0; m < v->linknum; ++m) {
                if (m == k) continue;
                if (ktv::cos_greater(mgetcos(v, &node[t], &node[v->link[m].node], v), c)) {
                    ktv::note_step(*this, mskipnode(o));
                    break;
                }
            }
        }
    }
}

// Pass 5: two polylines meeting end to end at a node of two links become one.
void CKTVector::mpostprocesscenterline5() {
    for (int i = 0; i < nodenum; ++i) {
        _KTNODE *v = &node[i];
        if (v->deleted || v->linknum != 2 || v->link[0].id == -v->link[1].id) continue;
        ktv::note_step(*this, mintegratepolyline(v));
    }
}

// Pass 6: at each junction, a branch is connected with the later branch
// that continues it most nearly straight, within the angle of -c.
void CKTVector::mpostprocesscenterline6(double c) {
    for (int i = 0; i < nodenum; ++i) {
        _KTNODE *v = &node[i];
        if (v->deleted || v->linknum < 3) continue;
        for (int k = 0; k + 1 < v->linknum; ++k) {
            _KTNODE *ni = &node[v->link[k].node];
            double lowest = 0;
            int chosen = -1;
            for (int j = k + 1; j < v->linknum; ++j) {
                const double cs = mgetcos(v, ni, v, &node[v->link[j].node]);
                if (ktv::cos_at_most(cs, -c) && ktv::cos_below(cs, lowest)) {
                    lowest = cs;
                    chosen = j;
                }
            }
            if (chosen >= 0) ktv::note_step(*this, mconnectpolyline(v, ni, &node[v->link[chosen].node]));
        }
    }
}

// Pass 7: an end with several connections keeps the one that starts the
// longest chain of connections (the first among equals).
void CKTVector::mpostprocesscenterline7() {
    for (int i = 0; i < polylinenum; ++i) {
        _KTPOLYLINE *p = &polyline[i];
        if (p->deleted) continue;
        const int id = i + 1;
        for (int side = 0; side < 2; ++side) {
            int *list = side == 0 ? p->prev : p->next;
            int &count = side == 0 ? p->prevnum : p->nextnum;
            if (count <= 1) continue;
            int keep = 0, longest = 0;
            for (int e = 0; e < count; ++e) {
                const int len = mgetpathlen(list[e]);
                if (len > longest) {
                    longest = len;
                    keep = e;
                }
            }
            for (int e = 0; e < count; ++e) {
                if (e == keep) continue;
                _KTPOLYLINE *q = ktv::record_of(*this, list[e]);
                if (!q || q == p) continue;
                if (list[e] < 0) mdelnextpolyline(q, id);
                else mdelprevpolyline(q, id);
            }
            list[0] = list[keep];
            count = 1;
        }
    }
}

// Pass 8: isolated two-node segments shorter than a are dropped.
void CKTVector::mpostprocesscenterline8(double a) {
    for (int i = 0; i < polylinenum; ++i) {
        _KTPOLYLINE &p = polyline[i];
        if (p.deleted || p.nodenum != 2) continue;
        _KTNODE *f = &node[p.nodeindex[0]], *l = &node[p.nodeindex[1]];
        if (f->linknum != 1 || l->linknum != 1 || !(f->link[0].length < a)) continue;
        p.deleted = 1;
        f->deleted = 1;
        l->deleted = 1;
        mdeletelinenode(f);
        mdeletelinenode(l);
    }
}
