// The edges of filled shapes, drawn as the pen went round them (see
// fills.cpp).
#ifndef KTVEC_REFINE_FILLS_H
#define KTVEC_REFINE_FILLS_H

#include "refine/array.h"
#include "refine/ink.h"
#include "refine/lines.h"

namespace ktv::refine {

// Adds to `lines` a closed line for every border of each piece of ink that
// is a filled shape: a piece on its own, at least kFillPens pens across
// nearly all over, whose lines all stay in it (see fills.cpp).  The line
// runs half a pen inside the ink's edge, round the outside clockwise on the
// screen and round a hole anticlockwise.  `widths` holds the stroke width
// measured for each of the vectorizer's lines; their median is the pen.
// The lines already there are kept as they are.  0 or -1000.
int outline_fills(const Ink &ink, const Array<double> &widths, LineSet &lines);

}  // namespace ktv::refine

#endif
