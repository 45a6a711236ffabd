// Polyline maintenance: bringing a polyline record back in line with the
// links after an edit, and cutting a polyline in two at one of its nodes.
#include <cstring>

#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/memory.h"

namespace {

void clear_marks(CKTVector &v, const _KTPOLYLINE &r) {
    for (int i = 0; i < r.nodenum; ++i) {
        _KTNODE &n = v.node[r.nodeindex[i]];
        for (int k = 0; k < n.linknum; ++k) n.link[k].mark = 0;
    }
}

}  // namespace

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
    if (!spare) return -1000;
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
        return -1000;
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

    if (r.flag & 2) {
        mspline(id, splinedivision);
        mspline(fresh, splinedivision);
    } else if (r.flag & 1) {
        polyline[fresh - 1].flag |= 1;
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
