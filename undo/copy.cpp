// Undo: a host keeps a second vectorizer as a snapshot and copies the whole
// vector layer (nodes with their links, the row index, polylines with every
// list and sample array) from one vectorizer into the other, before an edit
// and again to take it back.  The copy is deep: afterwards either vectorizer
// can be edited or destroyed without touching the other.
//
// Every copied record first loses the pointers it shares with the source
// and only then receives arrays of its own, so at every moment of the copy
// the destination owns exactly the arrays it points to.  A copy that runs
// out of memory stops with the layers it completed (nodes, then rows, then
// polylines), releasable and copyable into again, and nothing leaks.
#include <climits>
#include <cstdint>
#include <cstring>

#include "ktvec.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

// A new block holding the `count` entries of `from`; null when memory fails.
// A source list that is null stays null.
template <class T> bool copy_list(const T *from, int count, T *&to) {
    to = nullptr;
    if (!from) return true;
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    to = ktv::alloc_array<T>(n);
    if (!to) return false;
    if (n) std::memcpy(static_cast<void *>(to), from, n * sizeof(T));
    return true;
}

// Nodes and their links.  Every node record is copied first (without links),
// so that the node count covers every index a link, row or polyline holds;
// then each node receives its own copy of its links.
bool copy_nodes(const CKTVector &src, CKTVector &dst) {
    if (!src.node) return true;
    const int count = src.nodenum > 0 ? src.nodenum : 0;
    dst.node = ktv::alloc_array<_KTNODE>(static_cast<std::size_t>(count));
    if (!dst.node) return false;
    for (int i = 0; i < count; ++i) {
        dst.node[i] = src.node[i];
        dst.node[i].linknum = 0;
        dst.node[i].link = nullptr;
    }
    dst.nodenum = dst.nodecapacity = count;
    for (int i = 0; i < count; ++i) {
        const _KTNODE &from = src.node[i];
        if (from.linknum <= 0) continue;
        if (!copy_list(from.link, from.linknum, dst.node[i].link)) return false;
        if (dst.node[i].link) dst.node[i].linknum = from.linknum;
    }
    return true;
}

bool points_into(const _KTPOINT *p, const _KTPOINT *base, int count) {
    const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t lo = reinterpret_cast<std::uintptr_t>(base);
    return base && count > 0 && a >= lo && a < lo + static_cast<std::uintptr_t>(count) * sizeof(_KTPOINT);
}

// Row records with their node indices.  A row's reference into the point
// array is kept only where it lies in the destination's own points (an undo
// back into the vectorizer the snapshot was taken from); a reference into
// another vectorizer's points would dangle once that one is gone.
bool copy_rows(const CKTVector &src, int srcrows, CKTVector &dst, int &dstrows) {
    if (!src.lineinfo) return true;
    const int count = srcrows > 0 ? srcrows : 0;
    dst.lineinfo = ktv::alloc_zeroed<KTLINEINFO>(static_cast<std::size_t>(count));
    if (!dst.lineinfo) return false;
    dstrows = count;
    dst.height = src.height;
    for (int y = 0; y < count; ++y) {
        const KTLINEINFO &from = src.lineinfo[y];
        KTLINEINFO &to = dst.lineinfo[y];
        if (points_into(from.point, dst.point, dst.pointnum)) {
            to.point = from.point;
            to.pointnum = from.pointnum;
        }
        if (from.nodenum <= 0) continue;
        if (!copy_list(from.nodeindex, from.nodenum, to.nodeindex)) return false;
        if (to.nodeindex) to.nodecapacity = to.nodenum = from.nodenum;
    }
    return true;
}

// One polyline record: the fields as they are, the lists as new blocks.  The
// record is stored without shared pointers before anything is allocated, so
// that a failure leaves it owning exactly what it points to.
bool copy_polyline(const _KTPOLYLINE &from, _KTPOLYLINE &to) {
    to = from;
    to.nodecapacity = to.nodenum = 0;
    to.prevnum = to.nextnum = to.splinenum = 0;
    to.nodeindex = to.prev = to.next = nullptr;
    to.splinex = to.spliney = nullptr;
    if (!copy_list(from.nodeindex, from.nodenum, to.nodeindex)) return false;
    if (to.nodeindex) to.nodecapacity = to.nodenum = from.nodenum;
    if (from.prevnum > 0) {
        if (!copy_list(from.prev, from.prevnum, to.prev)) return false;
        if (to.prev) to.prevnum = from.prevnum;
    }
    if (from.nextnum > 0) {
        if (!copy_list(from.next, from.nextnum, to.next)) return false;
        if (to.next) to.nextnum = from.nextnum;
    }
    if (from.splinenum > 0 && from.splinex && from.spliney) {
        if (!copy_list(from.splinex, from.splinenum, to.splinex)) return false;
        if (!copy_list(from.spliney, from.splinenum, to.spliney)) return false;
        to.splinenum = from.splinenum;
    }
    return true;
}

// The polyline table: as many records as the source has allocated, zeroed,
// of which the used ones are copied.  The count grows record by record, so a
// failure leaves every counted record complete.
bool copy_polylines(const CKTVector &src, CKTVector &dst) {
    if (!src.polyline) return true;
    const int used = src.polylinenum > 0 ? src.polylinenum : 0;
    const int capacity = src.polylinecapacity > used ? src.polylinecapacity : used;
    dst.polyline = ktv::alloc_zeroed<_KTPOLYLINE>(static_cast<std::size_t>(capacity));
    if (!dst.polyline) return false;
    dst.polylinecapacity = capacity;
    for (int i = 0; i < used; ++i) {
        if (!copy_polyline(src.polyline[i], dst.polyline[i])) return false;
        dst.polylinenum = i + 1;
    }
    return true;
}

}  // namespace

int CKTVector::mundo(CKTVector *source) {
    if (!source) return KTVEC_REFUSED;
    if (source == this) {  // the layer is its own copy already
        canundo = 1;
        return 0;
    }
    canundo = 0;
    // The row count and the polyline block live in the bookkeeping block:
    // obtained before anything is released.
    CKTVectorImpl *in = CKTVectorImpl::make(*this);
    if (!in) return KTVEC_NO_MEMORY;
    mfreenode();
    mfreepolyline();
    mfreelineinfo();
    // The find bookkeeping named nodes of the old layer; the copied nodes
    // carry their own find bits, which a whole-array clear will reset.
    in->findlistnum = 0;
    in->findlistvalid = false;
    in->findlistsorted = false;

    // A layer that cannot be copied completely is released again, so that a
    // failed copy keeps the layers it finished and nothing half made: links
    // without their twins, nodes missing from their rows, or polylines
    // absent for ids the links carry.
    if (!copy_nodes(*source, *this)) {
        mfreenode();
        return KTVEC_NO_MEMORY;
    }
    if (!copy_rows(*source, ktv::row_count(*source), *this, in->linerows)) {
        mfreelineinfo();
        return KTVEC_NO_MEMORY;
    }
    if (!copy_polylines(*source, *this)) {
        mfreepolyline();
        return KTVEC_NO_MEMORY;
    }
    in->polylineblock = 0;  // the table holds exactly polylinecapacity records
    canundo = 1;
    return 0;
}

// Bytes a copy of the vector layer takes, counted with the record sizes of
// the 32-bit interface (node 20, link 56, row 20, polyline 44, index and
// connection entries 4, a curve sample 2 x 8).  Deleted nodes and polylines
// count like live ones.  Saturates at INT_MAX.
int CKTVector::mgetundomemory() {
    long long bytes = 0;
    for (int i = 0; node && i < nodenum; ++i) bytes += 20 + 56LL * node[i].linknum;
    if (lineinfo) {
        const int rows = ktv::row_count(*this);
        bytes += 20LL * rows;
        for (int y = 0; y < rows; ++y) bytes += 4LL * lineinfo[y].nodenum;
    }
    for (int i = 0; polyline && i < polylinenum; ++i) {
        const _KTPOLYLINE &p = polyline[i];
        bytes += 44 + 4LL * (p.nodenum + p.prevnum + p.nextnum + 4LL * p.splinenum);
    }
    return bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes);
}
