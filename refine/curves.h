// Bends between nodes (see curves.cpp).
#ifndef KTVEC_REFINE_CURVES_H
#define KTVEC_REFINE_CURVES_H

#include "refine/array.h"
#include "refine/ink.h"
#include "refine/lines.h"

namespace ktv::refine {

// Gives every segment of `lines` that the middle of its stroke leaves by
// more than a few tenths of a pixel the points it needs to follow it.
// `widths` holds the stroke width of each line.  0 or -1000.
int follow_bends(const Ink &ink, const Array<double> &widths, LineSet &lines);

}  // namespace ktv::refine

#endif
