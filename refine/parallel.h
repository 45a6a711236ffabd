// Segments drawn on the stroke beside their own (see parallel.cpp).
#ifndef KTVEC_REFINE_PARALLEL_H
#define KTVEC_REFINE_PARALLEL_H

#include "refine/array.h"
#include "refine/ink.h"
#include "refine/lines.h"

namespace ktv::refine {

// Moves onto its own stroke every thin segment of `lines` that runs on
// other lines' segments along most of its length while a stroke beside
// it, a pixel or two of paper away, runs along as far in no line's band.
// The segment keeps its ends and gains two points on its own stroke.
// `widths` holds each line's stroke width.  Segments are looked at in
// order, each against the segments as they are by then.  0 or -1000 (the
// lines are then as they were).
int separate_parallel(const Ink &ink, const Array<double> &widths, LineSet &lines);

}  // namespace ktv::refine

#endif
