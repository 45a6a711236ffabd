// A polygon with sub-pixel vertices on the edge of the ink, fitted to one
// closed crack chain (see ringfit.cpp).
#ifndef KTVEC_REFINE_RINGFIT_H
#define KTVEC_REFINE_RINGFIT_H

#include "refine/array.h"
#include "refine/crack.h"
#include "refine/strip.h"
#include "refine/vec2.h"

namespace ktv::refine {

// How far the chain may stray from one side of the polygon, px.
struct RingFitLimits {
    double corner = 0.65;  // largest distance of a turning corner of the chain from the side's line
    double spread = 9; // largest root-mean-square distance of the chain from that line
    double reach = 1.5;
    double reach_dev = 9;   // farthest a vertex moves from the chain corner it stands for
};

class RingFitter {
public:
    explicit RingFitter(const RingFitLimits &limits = {}) : limits_(limits) {}

    // The polygon of the closed chain `ring` (turning corners, as the
    // tracer gives them): vertices in the node frame in the chain's order,
    // the first one not repeated at the end.  False when memory runs out.
    bool fit(const Array<Corner> &ring, Array<Vec2> &polygon);

    struct Side {
        int first;   // index of the chain corner the side starts at
        int runs;    // straight runs of the chain it covers
        Line line;   // least-squares line of those runs, node frame
    };

private:
    int grow(const Array<Corner> &ring, int first, int limit, Line &line);

    RingFitLimits limits_;
    Array<Side> sides_;
    Strip strip_;
};

}  // namespace ktv::refine

#endif
