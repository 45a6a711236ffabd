// The three drivers and the frame they share.  A driver runs the whole
// pipeline on the current document in one call; every stage replaces what
// its previous run left, so a driver may be called again on the same
// vectorizer without any release in between.  A stage's negative result
// stops the driver and is returned unchanged; nothing is rolled back.
//
// The drivers differ in the raster preparation, whether the segment pass
// runs, the approximation kernel and the post-processing:
//
//   driver                 preparation        segment pass   kernel  clean-up
//   mabstractcenterline    thinning           flag 8 only    L2      centre lines
//   mabstractoutline       outline            always         L2      outlines
//   mabstractoutlinefast   one-side outline   always         L1      none
//
// Post-processing has no result of its own.  A step of it that runs out of
// memory leaves the graph partly cleaned while the driver still answers 0;
// the clean-up record (mispostprocessincomplete) tells the host.
#include "ktvec.h"
#include "vectorizer/expect.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

// The frame: raster preparation with `prepare`, buffer set-up, point pass,
// tracing, the segment pass with maxlength when `segmentpass` is set,
// approximation with `approximate`, polyline construction.  0 or the first
// negative result of a stage.
int run_frame(CKTVector &v, int (CKTVector::*prepare)(), bool segmentpass, int maxlength,
              int (CKTVector::*approximate)(double, int), double tolerance, int search) {
    // Every row's packed bytes must lie inside the host's block.
    KTV_EXPECT(v.width >= 0 && v.height >= 0 && v.bytesperline >= (v.width + 7) / 8 &&
                   (v.document || v.width == 0 || v.height == 0),
               "a document of width x height pixels, rows of at least ceil(width / 8) bytes, is set");
    // A new run has no clean-up record until its own post-processing.
    if (CKTVectorImpl *in = CKTVectorImpl::of(v)) in->incomplete = false;
    int r;
    {
        // The filter's working copy, freed at its end, can serve as the
        // point array.
        ktv::HandOff handoff;
        r = (v.*prepare)();
        if (r < 0) return r;
        r = v.minitbuffer();
    }
    if (r < 0) return r;
    v.mpreprocess1();
    r = v.mtrace();
    if (r < 0) return r;
    if (segmentpass) v.mpreprocess2(maxlength);
    r = (v.*approximate)(tolerance, search);
    if (r < 0) return r;
    return v.makepolyline();
}

}  // namespace

// One-side outlines, plain approximation, no post-processing.  The second
// argument stands where the outline driver takes its post-processing
// argument and has no effect.
int CKTVector::mabstractoutlinefast(int maxlength, int, double tolerance, int nodesearch) {
    return run_frame(*this, &CKTVector::make1sideoutlinedata, true, maxlength, &CKTVector::mapplox, tolerance,
                     nodesearch);
}

int CKTVector::mabstractcenterline(int flags, int maxlength, double a, double b, double c, double d,
                                   double e) {
    const int r = run_frame(*this, &CKTVector::makethindata, (flags & KTVEC_CUT_SPURS) != 0, maxlength,
                            &CKTVector::mapplox2, e, 1);
    if (r < 0) return r;
    mpostprocesscenterline(flags, a, b, c, d);
    return KTVEC_OK;
}

int CKTVector::mabstractoutline(int maxlength, int spurnodes, double tolerance, int nodesearch) {
    const int r = run_frame(*this, &CKTVector::makeoutlinedata, true, maxlength, &CKTVector::mapplox2, tolerance,
                            nodesearch);
    if (r < 0) return r;
    mpostprocessoutline(spurnodes);
    return KTVEC_OK;
}

int CKTVector::mispostprocessincomplete() {
    const CKTVectorImpl *in = CKTVectorImpl::of(*this);
    return in && in->incomplete ? 1 : 0;
}
