// Outline clean-up (the post-processing of mabstractoutline): removes short
// spurs hanging off the outlines and tiny isolated pieces, joins the
// polylines that meet end to end and hands the host unfitted polylines.
// The steps' memory failures mark the run incomplete (ktv::note_step).
#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/impl.h"

void CKTVector::mpostprocessoutline(int spurnodes) {
    const ktv::CleanupRun run(*this);
    mpostprocessoutline2(spurnodes);
    msetmodify(0);
    ktv::note_step(*this, mpostprocessoutline3());
    for (int i = 0; i < polylinenum; ++i) polyline[i].flag = 0;
    msetmodify(0);
}

// A spur: a polyline of at most n nodes with a free end at one side and no
// simple continuation at the other.  Its nodes go, except the one where it
// hangs on; the node next to that one is deleted through the node clean-up,
// which unlinks it (or, for a node inside the spur, joins its neighbours).
void CKTVector::mpostprocessoutline2(int n) {
    for (int i = 0; i < polylinenum; ++i) {
        _KTPOLYLINE &p = polyline[i];
        if (p.deleted == 1 || p.nodenum > n || p.nodenum < 1) continue;
        _KTNODE *f = &node[p.nodeindex[0]];
        _KTNODE *l = &node[p.nodeindex[p.nodenum - 1]];
        if (f->linknum == 1 && l->linknum != 2) {
            p.deleted = 1;
            for (int k = 0; k + 1 < p.nodenum; ++k) {
                node[p.nodeindex[k]].deleted = 1;
                mdeletelinenode(&node[p.nodeindex[k]]);
            }
            if (l->linknum == 1) {
                l->deleted = 1;
                mdeletelinenode(l);
            } else if (p.nodenum >= 2) {
                ktv::note_step(*this, mdeletenode(&node[p.nodeindex[p.nodenum - 2]]));
            }
        } else if (l->linknum == 1 && f->linknum != 1 && f->linknum != 2) {
            p.deleted = 1;
            for (int k = 1; k < p.nodenum; ++k) {
                node[p.nodeindex[k]].deleted = 1;
                mdeletelinenode(&node[p.nodeindex[k]]);
            }
            if (p.nodenum >= 2) ktv::note_step(*this, mdeletenode(&node[p.nodeindex[1]]));
        }
    }
}

// Joins the polylines that meet end to end, at each polyline's first node
// and then, if it survived, at its last.
int CKTVector::mpostprocessoutline3() {
    for (int i = 0; i < polylinenum; ++i) {
        _KTPOLYLINE &p = polyline[i];
        if (p.deleted == 1 || p.nodenum < 1) continue;
        int r = mintegratepolyline(&node[p.nodeindex[0]]);
        if (r < 0) return r;
        _KTPOLYLINE &q = polyline[i];
        if (q.deleted != 1 && q.nodenum >= 1) {
            r = mintegratepolyline(&node[q.nodeindex[q.nodenum - 1]]);
            if (r < 0) return r;
        }
    }
    return 0;
}
