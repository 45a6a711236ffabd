// The driver frame and the fast outline driver.  A driver runs the whole
// pipeline on the current document in one call; every stage replaces what
// its previous run left, so a driver may be called again on the same
// vectorizer without any release in between.  A stage's negative result
// stops the driver and is returned unchanged; nothing is rolled back.
#include "ktvec.h"
#include "vectorizer/expect.h"

namespace {
enum Kernel { kPlain = 1 };
}

int CKTVector::mabstractframe(int (CKTVector::*prepare)(), int segmentpass, int maxlength,
                              int kernel, double tolerance, int search) {
    // Every row's packed bytes must lie inside the host's block.
    KTV_EXPECT(width >= 0 && height >= 0 && bytesperline >= (width + 7) / 8 &&
                   (document || width == 0 || height == 0),
               "a document of width x height pixels, rows of at least ceil(width / 8) bytes, is set");
    int r = (this->*prepare)();
    if (r < 0) return r;
    r = minitbuffer();
    if (r < 0) return r;
    mpreprocess1();
    r = mtrace();
    if (r < 0) return r;
    if (segmentpass) mpreprocess2(maxlength);
    r = mapploxrun(kernel, tolerance, search);
    if (r < 0) return r;
    r = makepolyline();
    if (r < 0) return r;
    return 0;
}

// One-side outlines, plain approximation, no post-processing.  The second
// argument stands where the outline driver takes its post-processing
// argument and has no effect.
int CKTVector::mabstractoutlinefast(int maxlength, int, double tolerance, int nodesearch) {
    return mabstractframe(&CKTVector::make1sideoutlinedata, 1, maxlength, kPlain, tolerance,
                          nodesearch);
}
