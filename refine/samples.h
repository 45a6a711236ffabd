// Curve samples carried along with the nodes they were fitted through (see
// samples.cpp).
#ifndef KTVEC_REFINE_SAMPLES_H
#define KTVEC_REFINE_SAMPLES_H

#include "ktvec.h"
#include "refine/array.h"
#include "refine/lines.h"

namespace ktv::refine {

// Adds to `out` (a begun line) the spline samples of polyline p, each moved
// as the nodes around it moved from their pixels to `placed` (by node
// index).  False when memory runs out.
bool add_moved_samples(CKTVector &v, const _KTPOLYLINE &p, const Array<Vec2> &placed, LineSet &out);

}  // namespace ktv::refine

#endif
