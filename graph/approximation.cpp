// Polygonal approximation: every traced segment that is not discarded becomes
// a chain of nodes joined by link pairs.  The segment's first point and each
// vertex that the kernel picks become nodes; all links of one segment carry
// the segment's ordinal among the approximated segments (counted from 1) as
// a provisional polyline id, positive on the record that points back toward
// the segment's first point.
//
// A run rebuilds the graph from scratch in the node table it finds: the
// records are reused from index 0.  Before that it lets go of everything that
// described the previous graph:
//  - the link arrays of all nodecapacity records (a record is reused, its
//    old links would otherwise leak or reappear),
//  - every row's list of node indices (emptied, the block is kept), because
//    a host may call this stage directly on a vectorizer whose rows still
//    list nodes of an earlier run,
//  - the polyline table, whose node lists index the table being rebuilt.
#include <cmath>

#include "graph/kernels.h"
#include "ktvec.h"
#include "vectorizer/geometry.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

enum Kernel { kPlain = 1, kCornerCut = 2, kCornerVertices = 3 };

// The kernels' arrays, shared by the segments of one run and freed at its
// end (also on every early return).  They grow to the longest segment met
// so far (at least doubling), so that a run does not ask the heap for a
// fresh set per segment; what they hold between segments is never read.
struct Scratch {
    _KTPOINT **vertices = nullptr;
    double *lengths = nullptr;
    double *sums = nullptr;
    double *worksums = nullptr;
    double *workdeviations = nullptr;
    std::size_t room = 0;  // entries of each array

    // Arrays of at least n - 1 entries (the work arrays only with `work`),
    // allocated in the order vertices, lengths, sums, then the two work
    // arrays; false as soon as one cannot be obtained.
    bool obtain(int n, bool work) {
        const std::size_t need = n > 1 ? static_cast<std::size_t>(n - 1) : 0;
        if (vertices && need <= room && (!work || workdeviations)) return true;
        const std::size_t size = need > 2 * room ? need : 2 * room;
        release();
        if (!(vertices = ktv::alloc_array<_KTPOINT *>(size))) return false;
        if (!(lengths = ktv::alloc_array<double>(size))) return false;
        if (!(sums = ktv::alloc_array<double>(size))) return false;
        if (work) {
            if (!(worksums = ktv::alloc_array<double>(size))) return false;
            if (!(workdeviations = ktv::alloc_array<double>(size))) return false;
        }
        room = size;
        return true;
    }
    void release() {
        ktv::release(vertices);
        ktv::release(lengths);
        ktv::release(sums);
        ktv::release(worksums);
        ktv::release(workdeviations);
        room = 0;
    }
    ~Scratch() { release(); }
};

}  // namespace

int CKTVector::mapplox(double tolerance, int search) {
    return CKTVectorImpl::approximate(*this, kPlain, tolerance, search);
}
int CKTVector::mapplox2(double tolerance, int search) {
    return CKTVectorImpl::approximate(*this, kCornerCut, tolerance, search);
}
int CKTVector::mapplox3(double tolerance, int search) {
    return CKTVectorImpl::approximate(*this, kCornerVertices, tolerance, search);
}

int CKTVectorImpl::approximate(CKTVector &v, int kernel, double tolerance, int search) {
    v.mfreepolyline();
    for (int i = 0; i < v.nodecapacity; ++i) {
        ktv::release(v.node[i].link);
        v.node[i].linknum = 0;
    }
    if (v.lineinfo)
        for (int y = 0; y < ktv::row_count(v); ++y) v.lineinfo[y].nodenum = 0;
    v.nodenum = 0;
    v.polylineid = 1;

    Scratch scratch;
    for (int si = 0; si < v.segmentnum; ++si) {
        // By index: nothing here moves the segment array, but the node table
        // moves with every registration.
        const _KTSEGMENT &s = v.segment[si];
        if (s.discard == 1) continue;
        const int n = s.pointnum;
        if (!scratch.obtain(n, kernel != kPlain)) return KTVEC_NO_MEMORY;

        int count = 0;
        if (kernel == kPlain)
            count = MORABASE_approximateL1(tolerance, n, s.pointlist, scratch.vertices, scratch.lengths,
                                       scratch.sums);
        else if (kernel == kCornerCut)
            count = MORABASE_approximateL2(tolerance, n, s.pointlist, scratch.vertices, scratch.lengths,
                                       scratch.sums, scratch.worksums, scratch.workdeviations);
        else
            count = MORABASE_approximateL3(tolerance, n, s.pointlist, scratch.vertices, scratch.lengths,
                                       scratch.sums, scratch.worksums, scratch.workdeviations);

        if (n >= 1) {
            // First points always search, so segments meeting at a pixel share
            // its node.
            _KTNODE *first = v.mregistnode(1, s.pointlist[0]);
            if (!first) return KTVEC_NO_MEMORY;
            int prev = static_cast<int>(first - v.node);
            _KTPOINT *prevpoint = s.pointlist[0];

            // The new node is the first node of the pair: its record pointing
            // back gets +id and +sum/2.  A vertex on the piece's own start
            // (L3 may report one) and a vertex that resolves to the previous
            // node are skipped: a node is never linked to itself.
            auto add = [&](_KTPOINT *vertex, double length, double sum) -> int {
                if (vertex == prevpoint) return 0;
                _KTNODE *nd = v.mregistnode(search, vertex);
                if (!nd) return KTVEC_NO_MEMORY;
                const int index = static_cast<int>(nd - v.node);
                prevpoint = vertex;
                if (index == prev) return 0;
                if (v.mlinknode(v.polylineid, length, sum, nd, &v.node[prev]) < 0) return KTVEC_NO_MEMORY;
                prev = index;
                return 0;
            };

            for (int j = 0; j < count; ++j)
                if (add(scratch.vertices[j], scratch.lengths[j], scratch.sums[j]) < 0) return KTVEC_NO_MEMORY;

            // An open two-point segment does not come out of tracing; should
            // one appear, its two nodes are joined by one straight pair of
            // area 0, like a piece of a longer chain.  (A closed two-entry
            // segment repeats one point and keeps just its node.)
            if (n == 2) {
                _KTPOINT *a = s.pointlist[0];
                _KTPOINT *b = s.pointlist[1];
                const double ex = static_cast<double>(b->x) - a->x;
                const double ey = static_cast<double>(b->y) - a->y;
                if (add(b, ktv::length_of(ex, ey), 0.0) < 0) return KTVEC_NO_MEMORY;
            }
        }
        ++v.polylineid;
    }
    v.msetlinenode();
    return 0;
}
