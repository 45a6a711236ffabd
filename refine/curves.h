// Bends between nodes (see curves.cpp).
#ifndef KTVEC_REFINE_CURVES_H
#define KTVEC_REFINE_CURVES_H

#include <functional>

#include "refine/array.h"
#include "refine/ink.h"
#include "refine/lines.h"

namespace ktv::refine {

// Whether segment k (from point k to k + 1) of line i is drawn straight.
using Straight = std::function<bool(int i, int k)>;
// How far from point k of line i the ink is another stroke's as well (a
// crossing's), px; no cut is made that near.
using Clear = std::function<double(int i, int k)>;

// Gives every straight segment of `lines` that the middle of its stroke
// leaves by more than a few tenths of a pixel the points it needs to follow
// it.  `widths` holds the stroke width of each line.  The segments are
// measured on up to `threads` threads (0: as many as pay, see workers.h),
// so `straight` and `clear` must be safe to call from several at once.
// 0 or -1000.
int follow_bends(const Ink &ink, const Array<double> &widths, const Straight &straight, const Clear &clear,
                 LineSet &lines, int threads);

}  // namespace ktv::refine

#endif
