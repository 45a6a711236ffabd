// Junctions where a stroke joins a line at a slant, placed where their
// centre lines meet (see slants.cpp).
#ifndef KTVEC_REFINE_SLANTS_H
#define KTVEC_REFINE_SLANTS_H

#include "refine/nodegraph.h"

namespace ktv::refine {

// Moves every untied junction of three links where a stroke joins a line
// that runs straight on through it, at 7 to 35 degrees, and ends in the
// line's ink, along the line to where the stroke's line, measured just
// past where thinning parted the two, meets it; a junction whose place
// differs from `before` (moved by another rule) stays.  Sets the moved
// junctions' `clear` to the length the two run merged.  False when memory
// runs out (no junction is moved then).
bool follow_slants(NodeGraph &graph, const Array<Vec2> &before);

}  // namespace ktv::refine

#endif
