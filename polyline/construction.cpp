// Polyline construction: the provisional ids on the links become polyline
// records.  Polyline P runs along its +P records: the record on
// nodeindex[i] pointing to nodeindex[i+1] carries +P, its twin -P, and a
// closed polyline lists its first node again at the end.  Approximation puts
// +id on the record pointing back toward a segment's first point, so a built
// polyline runs against the trace direction.
//
// The two walks follow the first link with the wanted id.  On ordinary
// chains they end by themselves; a traced chain that runs into one of its own
// points (a loop with a tail, a "6") would make them circle, so each walk
// also stops at a link it has already followed: the backward search tags the
// links it follows with bit 2 of `mark` (removed again before it returns),
// the forward walk stops at a +id link whose `mark` is already 1.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "graph/lists.h"
#include "ktvec.h"
#include "polyline/records.h"
#include "vectorizer/geometry.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

constexpr unsigned char kSearchTag = 2;

_KTNODELINK *first_link_with_id(_KTNODE *n, int id) {
    for (int i = 0; i < n->linknum; ++i)
        if (n->link[i].id == id) return &n->link[i];
    return nullptr;
}

int clamp(int v, int limit) {
    if (v >= limit) v = limit - 1;
    return v < 0 ? 0 : v;
}

}  // namespace

_KTNODE *CKTVector::msearchstartpoint(_KTNODE *start, int id) {
    _KTNODE *current = start;
    int steps = 0;
    for (;;) {
        _KTNODELINK *l = first_link_with_id(current, -id);
        if (!l || (l->mark & kSearchTag)) break;
        l->mark |= kSearchTag;
        ++steps;
        current = &node[l->node];
        if (current == start) break;  // closed: it starts where we began
    }
    // The walk chooses links by id alone, so the same steps find the same
    // links again.
    _KTNODE *c = start;
    for (int i = 0; i < steps; ++i) {
        _KTNODELINK *l = first_link_with_id(c, -id);
        l->mark &= static_cast<unsigned char>(~kSearchTag);
        c = &node[l->node];
    }
    return current;
}

int CKTVector::mregistpolyline(_KTNODE *start, int id) {
    _KTPOLYLINE &r = polyline[id - 1];
    _KTNODE *current = start;
    for (;;) {
        _KTNODELINK *l = first_link_with_id(current, id);
        if (!l || (l->mark & 1)) break;
        if (ktv::append_index(r.nodeindex, r.nodecapacity, r.nodenum,
                              static_cast<int>(current - node)) < 0)
            return KTVEC_NO_MEMORY;
        l->mark = 1;
        current = &node[l->node];
        if (current == start) break;
    }
    return ktv::append_index(r.nodeindex, r.nodecapacity, r.nodenum, static_cast<int>(current - node));
}

// Each id is met first at the lowest-indexed node carrying one of its +id
// links; the backward search finds the real start of an open chain, a closed
// one starts at that node.  Ids beyond the table (links made by hand after
// the last approximation) are left alone, and an id whose record already
// holds nodes is not walked again: that only happens to the loop part of a
// chain that ran into itself, whose links then belong to no record.
//
// The table gets half as many records again of room underneath, left
// uninitialised: the clean-up passes split polylines, and a large table that
// had to grow for the first split would be copied whole.  Untouched room
// costs address space only.
int CKTVector::makepolyline() {
    mfreepolyline();
    // The size of the block underneath is kept in the bookkeeping block.
    CKTVectorImpl *in = CKTVectorImpl::make(*this);
    if (!in) return KTVEC_NO_MEMORY;
    const int count = polylineid > 1 ? polylineid - 1 : 0;
    std::size_t block = static_cast<std::size_t>(count) + static_cast<std::size_t>(count) / 2;
    if (block > 0x7fffffff) block = static_cast<std::size_t>(count);
    polyline = ktv::alloc_array<_KTPOLYLINE>(block);
    if (!polyline) return KTVEC_NO_MEMORY;
    if (count) std::memset(static_cast<void *>(polyline), 0, static_cast<std::size_t>(count) * sizeof(_KTPOLYLINE));
    polylinenum = polylinecapacity = count;
    in->polylineblock = static_cast<int>(block);

    for (int i = 0; i < nodenum; ++i) {
        for (int j = 0; j < node[i].linknum; ++j) {
            const _KTNODELINK &l = node[i].link[j];
            if (l.mark != 0 || l.id <= 0 || l.id > count) continue;
            if (polyline[l.id - 1].nodenum > 0) continue;
            const int id = l.id;
            const int r = mregistpolyline(msearchstartpoint(&node[i], id), id);
            if (r < 0) return r;
        }
    }
    for (int i = 0; i < nodenum; ++i)
        for (int j = 0; j < node[i].linknum; ++j) node[i].link[j].mark = 0;
    return 0;
}

// A new polyline of two new nodes.  The positions are clamped into the
// raster so that the row index is only ever asked for rows that exist.
int CKTVector::makenewpolyline(int x1, int y1, int x2, int y2) {
    x1 = clamp(x1, width);
    x2 = clamp(x2, width);
    y1 = clamp(y1, height);
    y2 = clamp(y2, height);

    if (!ktv::spare_polyline(*this)) return KTVEC_NO_MEMORY;

    // Search off: both are new nodes even where nodes already stand.  Held
    // by index, the second registration may move the table.
    _KTPOINT p1{};
    p1.x = x1;
    p1.y = y1;
    _KTPOINT p2{};
    p2.x = x2;
    p2.y = y2;
    // A node enters the end of its row; the rows are put back in x order on
    // every way out, a failure part-way included, since searches rely on it.
    auto sort_rows = [&] {
        if (KTLINEINFO *row = ktv::row_of(*this, y1)) msetlinenode1(row);
        if (KTLINEINFO *row = ktv::row_of(*this, y2)) msetlinenode1(row);
    };
    _KTNODE *n1 = mregistnode(0, &p1);
    if (!n1) return KTVEC_NO_MEMORY;
    const int a = static_cast<int>(n1 - node);
    _KTNODE *n2 = mregistnode(0, &p2);
    if (!n2) {
        sort_rows();
        return KTVEC_NO_MEMORY;
    }
    const int b = static_cast<int>(n2 - node);

    const double ex = static_cast<double>(x2) - x1;
    const double ey = static_cast<double>(y2) - y1;
    const int r = mlinknode(polylinenum + 1, ktv::length_of(ex, ey), 0.0, &node[a], &node[b]);
    sort_rows();
    if (r < 0) return r;

    _KTPOLYLINE &rec = polyline[polylinenum];  // emptied by spare_polyline above
    rec.nodeindex = ktv::alloc_array<int>(2);
    if (!rec.nodeindex) return KTVEC_NO_MEMORY;
    rec.nodecapacity = rec.nodenum = 2;
    rec.nodeindex[0] = a;
    rec.nodeindex[1] = b;
    ++polylinenum;
    return 0;
}
