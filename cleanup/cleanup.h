// Threshold tests on cosines for the clean-up passes.  A zero-length
// direction makes a cosine not a number; such a value counts as lying below
// every threshold: "at least" and "greater than" tests fail, "below" and
// "at most" tests succeed.
#ifndef KTVEC_CLEANUP_H
#define KTVEC_CLEANUP_H

namespace ktv {

inline bool cos_at_least(double c, double t) { return c >= t; }
inline bool cos_greater(double c, double t) { return c > t; }
inline bool cos_at_most(double c, double t) { return !(c > t); }
inline bool cos_below(double c, double t) { return !(c >= t); }

}  // namespace ktv

#endif
