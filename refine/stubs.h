// Stroke ends that the centre lines lost, restored from the ink (see
// stubs.cpp).
#ifndef KTVEC_REFINE_STUBS_H
#define KTVEC_REFINE_STUBS_H

#include "refine/array.h"
#include "refine/ink.h"
#include "refine/lines.h"

namespace ktv::refine {

// Adds to `lines` a line for every short stroke of the ink that none of
// them explains and that hangs off one of them, attached at the point of the
// line it leaves from (a point the line gains when it had none there), and
// a line for every dot of the ink that none explains and that touches no
// explained ink (see mark() in stubs.cpp).
// `widths` holds the stroke width measured for each line.  The page is
// searched on up to `threads` threads (0: as many as pay, see
// workers.h).  0 or -1000.
int restore_stubs(const Ink &ink, const Array<double> &widths, LineSet &lines, int threads);

}  // namespace ktv::refine

#endif
