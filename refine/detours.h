// Segments drawn across paper (see detours.cpp).
#ifndef KTVEC_REFINE_DETOURS_H
#define KTVEC_REFINE_DETOURS_H

#include "refine/array.h"
#include "refine/ink.h"
#include "refine/lines.h"

namespace ktv::refine {

// Gives every segment of a thin line of `lines` that crosses paper for a
// stretch, and whose ends the ink joins by a way not much longer within a
// few pixels of it, straying from it, that no other line draws, the
// corners of that way (points of no node).  `widths` holds the
// stroke width of each line; lines past its end count as 1 px.  The
// segments are looked at on up to `threads` threads (0: as many as pay,
// see workers.h).  0 or -1000 (the lines are then as they were).
int follow_detours(const Ink &ink, const Array<double> &widths, LineSet &lines, int threads);

}  // namespace ktv::refine

#endif
