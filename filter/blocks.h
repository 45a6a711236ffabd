// Breaking 2x2 blocks that thinning cannot remove.
//
// Where two one-pixel diagonal lines cross between pixel centres (an X whose
// arms leave the four corners of a 2x2 square), every pixel of the square
// joins two branches, so no single removal keeps the topology and a
// deletion-only thinning must leave the square.  It is broken by moving
// the crossing by one pixel: a white pixel beside one corner of the square
// is set and that corner is cleared, each step on its own a simple change
// (the topology never changes) and kept only when it leaves no 2x2 square
// around it.  The thinning is then resumed round the change.
#ifndef QORFIL2_BLOCKS_H
#define QORFIL2_BLOCKS_H

#include "thinning.h"

namespace qorfil {

// Breaks the 2x2 blocks of `img`, waking `thinner` round every change.
// Returns the number of changes made.
template <class Plane> long break_blocks(Plane &img, Thinner<Plane> &thinner);

}  // namespace qorfil

#endif
