// Junctions of two strokes meeting at a narrow angle, placed where the
// strokes meet (see wedges.cpp).
#ifndef KTVEC_REFINE_WEDGES_H
#define KTVEC_REFINE_WEDGES_H

#include "refine/nodegraph.h"

namespace ktv::refine {

// Moves every untied junction of three links whose two branches run merged
// into one stroke, with the bends on the way, to where the two meet: the
// node the merged stroke runs into, or inside the tip of a V; and every
// untied junction of four links where an arrowhead's sides part from its
// line, to the junction at the arrowhead's tip.  False when
// memory runs out (nothing is moved then).
bool close_wedges(NodeGraph &graph);

}  // namespace ktv::refine

#endif
