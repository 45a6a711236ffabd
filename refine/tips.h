// Tips of acute turns of the centre lines (see tips.cpp).
#ifndef KTVEC_REFINE_TIPS_H
#define KTVEC_REFINE_TIPS_H

#include <functional>

#include "refine/array.h"
#include "refine/ink.h"
#include "refine/lines.h"

namespace ktv::refine {

// Whether point k of line i may move to a tip (a bend of one stroke, not a
// junction, not placed by a rule of its own).
using Movable = std::function<bool(int i, int k)>;

// A point of a line moved to the tip of its turn; `clear` is how far from
// the tip the two legs run merged (no cut across one of them is taken
// nearer), px.
struct TipMove {
    int line, point;
    double clear;
};

// Moves every turn of `lines` at an acute angle whose legs' lines meet
// beyond it, in the ink, to where they meet (all the points of the turn
// go there), and lists the points moved in `moved`.  `widths` holds the
// stroke width of each line.  0 or -1000 (memory;
// the lines are then as they were or partly moved).
int sharpen_tips(const Ink &ink, const Array<double> &widths, const Movable &movable, LineSet &lines,
                 Array<TipMove> &moved);

}  // namespace ktv::refine

#endif
