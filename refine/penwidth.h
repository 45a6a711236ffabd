// Outline sides of strokes drawn with one pen, placed about the middle of
// their ink (see penwidth.cpp).
#ifndef KTVEC_REFINE_PENWIDTH_H
#define KTVEC_REFINE_PENWIDTH_H

#include "refine/ink.h"
#include "refine/lines.h"

namespace ktv::refine {

// The pens a drawing was drawn with, as its outline rings show them.
struct Pens {
    static constexpr int kMost = 8;
    int count = 0;
    double width[kMost] = {};  // px, the pen with the most slanted length first
};

// Measures the pens of the rings in `rings` (closed lines of an outline,
// not sealed yet) against `ink` and moves the level and plumb sides of
// their strokes so that each stroke is its pen's width about the middle of
// its ink, on up to `threads` threads (0: as many as pay, see workers.h;
// the rings come out the same).  Rings with no such side stay as they are.
// False when memory runs out (the rings are then unchanged).
bool place_pen_sides(const Ink &ink, LineSet &rings, int threads, Pens *measured = nullptr);

}  // namespace ktv::refine

#endif
