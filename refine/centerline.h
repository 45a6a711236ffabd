// Centre lines against the ink (see centerline.cpp).
#ifndef KTVEC_REFINE_CENTERLINE_H
#define KTVEC_REFINE_CENTERLINE_H

#include "ktvec.h"
#include "refine/lines.h"

namespace ktv::refine {

// Refined positions by node index; `set` is 0 for a node on no line.
struct NodePositions {
    Array<_KTREFINEDPOINT> at;
    Array<unsigned char> set;
    void clear() {
        at.clear();
        set.clear();
    }
};

// One line per live polyline of `v` with two nodes or more, in id order
// (one point per node, with points of its own where the stroke bends, or
// the moved samples of a fitted spline), then one line per restored stroke
// end.  The independent measurements run on up to `threads` threads (0:
// as many as pay, see workers.h).  0 or -1000 (the set and the positions
// are then cleared).
int refine_centerlines(CKTVector &v, LineSet &out, NodePositions &nodes, int threads);

}  // namespace ktv::refine

#endif
