// Polyline maintenance: bringing a polyline record back in line with the
// links after an edit, and cutting a polyline in two at one of its nodes.
#include <cstring>
#include <initializer_list>

#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

void clear_marks(CKTVector &v, const _KTPOLYLINE &r) {
    for (int i = 0; i < r.nodenum; ++i) {
        _KTNODE &n = v.node[r.nodeindex[i]];
        for (int k = 0; k < n.linknum; ++k) n.link[k].mark = 0;
    }
}

}  // namespace

// Makes sure the record past the count exists (growing the table by exactly
// one zeroed record when it is full) and is empty: a failed operation may
// have left lists in it.  Returns that record, or null when the table
// cannot grow.
//
// The capacity the table shows grows one record at a time; the block
// underneath grows by half once it is large, so that splitting polylines of
// a big graph one after another does not copy the whole table each time.
// Records past the capacity were never handed out and are not initialised
// (an untouched page of a large block costs nothing): each is cleared as
// the capacity reaches it.
_KTPOLYLINE *ktv::spare_polyline(CKTVector &v) {
    if (v.polylinecapacity <= v.polylinenum) {
        CKTVectorImpl *in = CKTVectorImpl::make(v);  // holds the block's size
        if (!in || !step_capacity(v.polyline, v.polylinecapacity, in->polylineblock, 1)) return nullptr;
    }
    _KTPOLYLINE &rec = v.polyline[v.polylinenum];
    for (int **list : {&rec.nodeindex, &rec.prev, &rec.next}) release(*list);
    for (double **samples : {&rec.splinex, &rec.spliney}) release(*samples);
    std::memset(static_cast<void *>(&rec), 0, sizeof(_KTPOLYLINE));
    return &rec;
}

// Rebuilds polyline |id| by walking its links again from its first live node
// and marks it modified; a polyline left with fewer than two nodes is retired
// (deleted and disconnected).  The walk's visited marks are cleared again
// also when it fails, so a later rebuild is not cut short by them.
int CKTVector::mupdatepolyline(int id) {
    _KTPOLYLINE *r = ktv::record_of(*this, id);
    if (!r) return 0;
    const int p = ktv::abs_id(id);
    int found = -1;
    for (int i = 0; i < r->nodenum; ++i)
        if (!node[r->nodeindex[i]].deleted) {
            found = r->nodeindex[i];
            break;
        }
    if (found < 0) {
        r->deleted = 1;
        mdisconnectpolyline(r);
        return 0;
    }
    r->nodenum = 0;
    const int result = mregistpolyline(msearchstartpoint(&node[found], p), p);
    clear_marks(*this, *r);
    if (result < 0) return result;
    if (r->nodenum < 2) {
        r->deleted = 1;
        mdisconnectpolyline(r);
        return 0;
    }
    r->modify = 1;
    return 0;
}

// Splits polyline |id| at `n`: the polyline keeps its nodes up to n, a new
// polyline takes n and the rest, inherits the connections of the old end and
// is connected to the old polyline at n.
int CKTVector::mseparatepolyline(int id, _KTNODE *n) {
    if (!ktv::record_of(*this, id)) return 0;
    _KTPOLYLINE *spare = ktv::spare_polyline(*this);
    if (!spare) return KTVEC_NO_MEMORY;
    _KTPOLYLINE &nw = *spare;
    const int p = ktv::abs_id(id);
    const int fresh = polylinenum + 1;
    _KTPOLYLINE &r = polyline[p - 1];

    const int k = static_cast<int>(n - node);
    int at = -1;
    for (int i = 0; i < r.nodenum; ++i)
        if (r.nodeindex[i] == k) {
            at = i;
            break;
        }
    if (at < 0) return 0;
    const int m = r.nodenum - at;

    // Every list is obtained before anything changes, so that a failure
    // leaves the polylines and their connections as they were.
    int *nodes = ktv::alloc_array<int>(static_cast<std::size_t>(m));
    int *nextcopy = r.nextnum > 0 ? ktv::alloc_array<int>(static_cast<std::size_t>(r.nextnum)) : nullptr;
    int *rnext = r.nextnum > 0 ? nullptr : ktv::alloc_array<int>(1);
    int *nprev = ktv::alloc_array<int>(1);
    if (!nodes || !nprev || (r.nextnum > 0 ? !nextcopy : !rnext)) {
        ktv::mem_free(nodes);
        ktv::mem_free(nextcopy);
        ktv::mem_free(rnext);
        ktv::mem_free(nprev);
        return KTVEC_NO_MEMORY;
    }
    nw.nodeindex = nodes;
    nw.nodecapacity = m;

    // The polylines that met the old end now meet the new one.
    if (r.nextnum > 0) {
        std::memcpy(nextcopy, r.next, sizeof(int) * static_cast<std::size_t>(r.nextnum));
        nw.next = nextcopy;
        nw.nextnum = r.nextnum;
        for (int i = 0; i < r.nextnum; ++i) mchangeconnectpolyline2(id, -fresh, r.next[i]);
        r.next[0] = fresh;
        r.nextnum = 1;
    } else {
        r.next = rnext;
        r.next[0] = fresh;
        r.nextnum = 1;
    }
    nw.prev = nprev;
    nw.prev[0] = -p;
    nw.prevnum = 1;

    r.nodenum = at + 1;
    std::memcpy(nw.nodeindex, r.nodeindex + at, sizeof(int) * static_cast<std::size_t>(m));
    nw.nodenum = m;
    ++polylinenum;

    if (r.flag & KTVEC_POLYLINE_SPLINE) {
        mspline(id, splinedivision);
        mspline(fresh, splinedivision);
    } else if (r.flag & KTVEC_POLYLINE_ARC) {
        polyline[fresh - 1].flag |= KTVEC_POLYLINE_ARC;
    }

    // Relabel the links along the new polyline's chain only: a node of it
    // may also carry links of the old polyline elsewhere (the start of a
    // closed polyline), which keep their id.
    const _KTPOLYLINE &q = polyline[fresh - 1];
    for (int i = 0; i + 1 < q.nodenum; ++i) {
        _KTNODE &a = node[q.nodeindex[i]];
        _KTNODE &b = node[q.nodeindex[i + 1]];
        for (int l = 0; l < a.linknum; ++l)
            if (a.link[l].id == p && a.link[l].node == q.nodeindex[i + 1]) {
                a.link[l].id = fresh;
                break;
            }
        for (int l = 0; l < b.linknum; ++l)
            if (b.link[l].id == -p && b.link[l].node == q.nodeindex[i]) {
                b.link[l].id = -fresh;
                break;
            }
    }
    return 0;
}
