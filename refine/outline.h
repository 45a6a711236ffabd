// Outlines on the edge of the ink (see outline.cpp).
#ifndef KTVEC_REFINE_OUTLINE_H
#define KTVEC_REFINE_OUTLINE_H

#include "ktvec.h"
#include "refine/lines.h"

namespace ktv::refine {

// Closed rings on the borders of the document's black areas, fitted on up
// to `threads` threads (0: as many as pay, see workers.h), with `pens` the
// level strokes of the drawing's pens drawn their widths (penwidth.h).
// 0 or -1000 (the set is then cleared).
int refine_outlines(CKTVector &v, LineSet &out, int threads, bool pens);

}  // namespace ktv::refine

#endif
