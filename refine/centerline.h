// Centre lines against the ink (see centerline.cpp).
#ifndef KTVEC_REFINE_CENTERLINE_H
#define KTVEC_REFINE_CENTERLINE_H

#include "ktvec.h"
#include "refine/lines.h"

namespace ktv::refine {

// One line per live polyline of `v` with two nodes or more, in id order,
// one point per node.  0 or -1000 (the set is then cleared).
int refine_centerlines(CKTVector &v, LineSet &out);

}  // namespace ktv::refine

#endif
