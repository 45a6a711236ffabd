// The vectorizer's own bookkeeping, behind the one private pointer of the
// public class: what the speed-ups and the failure record need beyond the
// fields of the interface.  Nothing here is seen by a host, so it may change
// without changing the installed header or the object's layout.
//
// The block is made on first need (CKTVectorImpl::make).  The stages that
// make row records or a polyline table make it first and fail with
// KTVEC_NO_MEMORY when they cannot, so a vectorizer that holds rows or
// polylines always has it.  Everything else works without it: the find
// marks, the chain walks and the row hints then fall back to their plain
// forms, which give the same results.
#ifndef KTVEC_VECTORIZER_IMPL_H
#define KTVEC_VECTORIZER_IMPL_H

#include "ktvec.h"

struct CKTVectorImpl {
    // ---- row index (graph/registry.cpp) ------------------------------------
    int linerows = 0;          // row records allocated (height when made)
    int *rowhint = nullptr;    // 2 * rowhintrows entries: per row, where the
                               // last sorted window scan of that row
                               // started; then per row, 1 where the row is
                               // known (inside the current driver call) to
                               // be in x order with no two x equal
    int rowhintrows = 0;       // rows of rowhint

    // ---- column index of the rows (raster/trace.cpp) ------------------------
    const int *tracecolumns = nullptr;  // during mtrace() only, else null:
                               // per row, traceblocks + 1 indices into the
                               // point array (see trace.cpp)
    int traceblocks = 0;       // column blocks per row of tracecolumns
    // ---- find marks (edit/search.cpp) --------------------------------------
    int *findlist = nullptr;   // nodes marked `find` by the last search
    int findlistnum = 0;
    int findlistcapacity = 0;
    bool findlistvalid = false;   // findlist holds exactly the marked nodes
    bool findlistsorted = false;  // findlist is in ascending index order
    bool findtracking = false;    // inside a driver: clear only findlist
    bool findreference = false;   // tests: always clear and scan the whole
                                  // array (the reference behaviour)

    // ---- polyline table (polyline/maintenance.cpp) --------------------------
    int polylineblock = 0;     // records allocated underneath
                               // polylinecapacity (which grows one record at
                               // a time); 0 = exactly polylinecapacity.
                               // Records past polylinecapacity are not
                               // initialised.

    // ---- node table (graph/registry.cpp) -----------------------------------
    int nodeblock = 0;         // records allocated underneath nodecapacity;
                               // 0 = exactly nodecapacity.  Records past
                               // nodecapacity are not initialised.
    // ---- segment table (raster/trace.cpp) ----------------------------------
    int segmentblock = 0;      // records allocated underneath
                               // segmentcapacity (which grows four records
                               // at a time); 0 = exactly segmentcapacity.
                               // Records past segmentcapacity are not
                               // initialised.
    // ---- connection-chain walks (polyline/chains.cpp) -----------------------
    int *chainwork = nullptr;  // scratch of the walks
    int chainworkcapacity = 0; // ints of chainwork
    int chainslots = 0;        // visited-end slots of chainwork
    unsigned int chaingeneration = 0;

    // ---- clean-up record (vectorizer/drivers.cpp) ---------------------------
    bool cleaning = false;     // a post-processing run is under way
    bool incomplete = false;   // the last post-processing run met a memory
                               // failure in one of its steps

    // The block of v, or null while it has none.
    static CKTVectorImpl *of(CKTVector &v) { return v.impl; }
    static const CKTVectorImpl *of(const CKTVector &v) { return v.impl; }
    // The block of v, made when missing; null when memory is short.
    static CKTVectorImpl *make(CKTVector &v);
    // Releases the block and everything it owns (the destructor's part).
    static void release(CKTVector &v);

    // ---- the library's own steps that call private members of the class ----
    // graph/approximation.cpp: the body of mapplox, mapplox2 and mapplox3
    // (kernel 1 plain, 2 corner cut, 3 corner vertices).
    static int approximate(CKTVector &v, int kernel, double tolerance, int search);
    // fit/spline.cpp: the body of mspline (oldrule 0) and msplineold (1).
    static int fitspline(CKTVector &v, int id, int division, int oldrule);
    // graph/registry.cpp: moves a node to (x, y) and re-enters it, sorted,
    // in its row.  If the new row cannot grow, the node goes back where it
    // was and KTVEC_NO_MEMORY comes back.
    static int movetorow(CKTVector &v, _KTNODE *n, int x, int y);
    // Private members of the interface that helpers outside the class call.
    static _KTNODE *registnode(CKTVector &v, int search, _KTPOINT *p) { return v.mregistnode(search, p); }
    static void sortrow(CKTVector &v, KTLINEINFO *row) { v.msetlinenode1(row); }
    static int checkfront(CKTVector &v, int x, int y) { return v.mcheckfront(x, y); }
    static int enhancenode(CKTVector &v, int count) { return v.menhancenode(count); }
};

namespace ktv {

// Row records made for v (0 without any).
inline int row_count(const CKTVector &v) {
    const CKTVectorImpl *in = CKTVectorImpl::of(v);
    return in && v.lineinfo ? in->linerows : 0;
}

// Notes a step's result inside a post-processing run: a memory failure
// marks the run incomplete.  Returns the result.
inline int note_step(CKTVector &v, int result) {
    if (result == KTVEC_NO_MEMORY)
        if (CKTVectorImpl *in = CKTVectorImpl::of(v))
            if (in->cleaning) in->incomplete = true;
    return result;
}

// A post-processing run, from construction to destruction: the clean-up
// record starts clean and note_step marks it.  Without a bookkeeping block
// (none can be made: then the vectorizer holds no rows and no polylines,
// and the clean-up has nothing to change) nothing is recorded.
class CleanupRun {
public:
    explicit CleanupRun(CKTVector &v) : in_(CKTVectorImpl::make(v)) {
        if (!in_) return;
        in_->cleaning = true;
        in_->incomplete = false;
    }
    ~CleanupRun() {
        if (in_) in_->cleaning = false;
    }
    CleanupRun(const CleanupRun &) = delete;
    CleanupRun &operator=(const CleanupRun &) = delete;
    CKTVectorImpl *impl() const { return in_; }

private:
    CKTVectorImpl *in_;
};

}  // namespace ktv

#endif
