// Small helpers of the clean-up passes: threshold tests on cosines and the
// distance between two nodes.  A zero-length direction makes a cosine not a
// number; such a value counts as lying below every threshold: "at least"
// and "greater than" tests fail, "below" and "at most" tests succeed.
#ifndef KTVEC_CLEANUP_H
#define KTVEC_CLEANUP_H

#include "ktvec.h"
#include "vectorizer/geometry.h"

namespace ktv {

inline bool cos_at_least(double c, double t) { return c >= t; }
inline bool cos_greater(double c, double t) { return c > t; }
inline bool cos_at_most(double c, double t) { return !(c > t); }
inline bool cos_below(double c, double t) { return !(c >= t); }

// Distance between two nodes' pixels, by the sum of squares (the passes'
// nearest-candidate choices depend on its last bit).
inline double node_distance(const _KTNODE &a, const _KTNODE &b) {
    return length_of(static_cast<double>(a.x) - b.x, static_cast<double>(a.y) - b.y);
}

}  // namespace ktv

#endif
