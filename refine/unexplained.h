// The ink that no line explains (see unexplained.cpp).
#ifndef KTVEC_REFINE_UNEXPLAINED_H
#define KTVEC_REFINE_UNEXPLAINED_H

#include "refine/array.h"
#include "refine/ink.h"
#include "refine/workers.h"

namespace ktv::refine {

// A segment of a line with the reach of its stroke: the ink whose pixel
// centres lie within `reach` of it is what it explains.
struct Capsule {
    Vec2 a, b;
    double reach;
};

struct LoosePixel {
    int x, y;
    bool touches;  // an 8-neighbour is explained ink
};

// The black pixels of `ink` outside every capsule, in raster order, and
// for each row the first of them (`rowstart` has height + 1 entries).  One
// sweep down the rows with the capsules that cross each row, in bands of
// rows on up to `threads` threads (0: as many as pay, see workers.h); no
// plane of the page is made.  `meanwhile`, when given, runs on the
// calling thread while the bands are swept on others (after the sweep on
// one thread).  False when memory runs out, here or in `meanwhile`.
bool find_unexplained(const Ink &ink, const Array<Capsule> &capsules, Array<LoosePixel> &loose,
                      Array<std::size_t> &rowstart, int threads, Chore *meanwhile = nullptr);

}  // namespace ktv::refine

#endif
