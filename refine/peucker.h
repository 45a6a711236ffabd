// Douglas-Peucker selection of the points a polyline needs.
#ifndef KTVEC_REFINE_PEUCKER_H
#define KTVEC_REFINE_PEUCKER_H

#include <cmath>
#include <cstddef>

#include "refine/array.h"
#include "refine/vec2.h"

namespace ktv::refine {

// Over the points at(0) .. at(count - 1), count >= 2, whose ends are kept:
// sets keep[k] to 1 for each inner point that lies farther than
// `tolerance` from the chord of the range it splits, taking the farthest
// first.  `keep` holds count entries, set to 0 by the caller; `stack` is
// scratch (one range per point at most waits on it).  Iterative.  False
// when memory runs out.
template <class At>
bool douglas_peucker(std::size_t count, At at, double tolerance, Array<unsigned char> &keep, Array<int> &stack) {
    stack.clear();
    if (!stack.push(0) || !stack.push(static_cast<int>(count) - 1)) return false;
    while (!stack.empty()) {
        const int hi = stack.back();
        stack.pop();
        const int lo = stack.back();
        stack.pop();
        const Vec2 a = at(static_cast<std::size_t>(lo)), d = unit(at(static_cast<std::size_t>(hi)) - a);
        double worst = tolerance;
        int far = -1;
        for (int k = lo + 1; k < hi; ++k) {
            const double e = std::fabs(cross(d, at(static_cast<std::size_t>(k)) - a));
            if (e > worst) worst = e, far = k;
        }
        if (far < 0) continue;
        keep[static_cast<std::size_t>(far)] = 1;
        if (!stack.push(lo) || !stack.push(far) || !stack.push(far) || !stack.push(hi)) return false;
    }
    return true;
}

}  // namespace ktv::refine

#endif
