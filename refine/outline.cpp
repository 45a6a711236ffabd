#include "refine/outline.h"

namespace ktv::refine {

int refine_outlines(CKTVector &, LineSet &out) {
    out.clear();
    out.seal();
    return 0;
}

}  // namespace ktv::refine
