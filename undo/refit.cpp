// Change tracking: every polyline whose shape changed since its mark was
// cleared carries modify = 1; refitting fits each marked polyline again as
// arcs and/or as a spline, with the arguments of the last fits.
#include "ktvec.h"

// The fitting operations refuse a polyline that is already marked and mark
// the one they fit, so the mark is cleared before each call (to let it in)
// and after it (to take back the fit's own mark).  A polyline that asks for
// neither fit keeps its mark.  The record is read by index after each fit,
// never through a reference held across it.
void CKTVector::mreflectmodify() {
    for (int id = 1; id <= polylinenum; ++id) {
        if (polyline[id - 1].deleted != 0 || polyline[id - 1].modify != 1) continue;
        if (polyline[id - 1].flag & KTVEC_POLYLINE_ARC) {
            polyline[id - 1].modify = 0;
            marc(id, arcminradius, arcmaxradius);
            polyline[id - 1].modify = 0;
        }
        if (polyline[id - 1].flag & KTVEC_POLYLINE_SPLINE) {
            polyline[id - 1].modify = 0;
            mspline(id, splinedivision);
            polyline[id - 1].modify = 0;
        }
    }
}
