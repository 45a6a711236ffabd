// Small helpers for reading polyline records by end reference.
#ifndef KTVEC_POLYLINE_RECORDS_H
#define KTVEC_POLYLINE_RECORDS_H

#include "ktvec.h"

namespace ktv {

// The record that end reference (or id) `ref` names; null when there is no
// table or |ref| is not an id of it.  References stored in lists and links
// are trusted to be in range by the algorithms; this check keeps a damaged
// graph from reading outside the table.
inline _KTPOLYLINE *record_of(CKTVector &v, int ref) {
    if (!v.polyline || ref == 0) return nullptr;
    const long long k = ref < 0 ? -static_cast<long long>(ref) : ref;
    return k <= v.polylinenum ? &v.polyline[k - 1] : nullptr;
}

inline int id_of(const CKTVector &v, const _KTPOLYLINE *p) {
    return static_cast<int>(p - v.polyline) + 1;
}

inline int first_node(const _KTPOLYLINE &p) { return p.nodenum > 0 ? p.nodeindex[0] : -1; }
inline int last_node(const _KTPOLYLINE &p) { return p.nodenum > 0 ? p.nodeindex[p.nodenum - 1] : -1; }

inline int abs_id(int id) { return id < 0 ? -id : id; }

// The test "do nodes a and b share a polyline": the first link of a (in
// link order) whose id, or its negation, some link of b carries (the twins
// of one pair carry opposite ids, so either sign names the polyline).  Null
// when they share none.
inline const _KTNODELINK *shared_link(const _KTNODE &a, const _KTNODE &b) {
    for (int i = 0; i < a.linknum; ++i)
        for (int k = 0; k < b.linknum; ++k)
            if (a.link[i].id == b.link[k].id || a.link[i].id == -b.link[k].id) return &a.link[i];
    return nullptr;
}


// Makes sure the record past the count exists (growing the table by exactly
// one zeroed record when it is full) and is empty: a failed operation may
// have left lists in it.  Returns that record, or null when the table
// cannot grow (polyline/maintenance.cpp).
_KTPOLYLINE *spare_polyline(CKTVector &v);

}  // namespace ktv

#endif
