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


}  // namespace ktv

#endif
