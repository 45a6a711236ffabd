// Links measured onto the stroke beside their own (see parallel.cpp).
#ifndef KTVEC_REFINE_PARALLEL_H
#define KTVEC_REFINE_PARALLEL_H

#include "refine/array.h"
#include "refine/ink.h"
#include "refine/linefit.h"

namespace ktv::refine {

// A link as fit_link measured it.
struct MeasuredLink {
    Vec2 a, b;                    // its nodes' pixels
    bool a_junction, b_junction;  // whether they are junctions
    LinkFit fit;                  // measured again on the stroke beside when moved
    bool moved;                   // set by separate_parallel
};

// Measures again, on the stroke beside it (and marks moved), every thin link whose line lies
// on the same stroke as other links' lines while a stroke running beside
// it, a pixel or two of paper away, is explained by no link.  Links are
// looked at in index order, each against the lines as they are by then.
// `scratch` must have room for the cuts of the longest link (max_cuts).
// False only when memory runs out (the fits are then as they were or
// partly measured again, each one whole).
bool separate_parallel(const Ink &ink, Array<MeasuredLink> &links, FitScratch &scratch);

}  // namespace ktv::refine

#endif
