// Junctions of two strokes meeting at a narrow angle, placed where the
// strokes meet (see wedges.cpp).
#ifndef KTVEC_REFINE_WEDGES_H
#define KTVEC_REFINE_WEDGES_H

#include "refine/nodegraph.h"

namespace ktv::refine {

// A junction moved to a cusp's tip.  Thinning parted the two curves at
// `from`, in their merged ink: each line leaving the junction by a link
// other than the one to `tip` (the stub, now at one point) turns there,
// `half` px to its own side of the tip's axis.
struct CuspTurn {
    int junction;
    int tip;
    Vec2 from;
    Vec2 axis;    // unit, from `from` towards the tip
    double half;  // px
};

// Moves every untied junction of three links whose two branches run merged
// into one stroke, with the bends on the way, to where the two meet: the
// node the merged stroke runs into, or inside the tip of a V (a tied one
// too, with the members of its group at its place); and every
// untied junction of four links where an arrowhead's sides part from its
// line, to the junction at the arrowhead's tip.  A junction moved to the
// tip of a cusp (two curves leaving the tip side by side, the loops of a
// coil) gets a turn in `turns`: its arms, drawn from the tip, first go
// back to where it stood, so they keep their curves.  False when memory
// runs out (nothing is moved then).
bool close_wedges(NodeGraph &graph, Array<CuspTurn> &turns);

}  // namespace ktv::refine

#endif
