// Whether the points of a growing chain still fit between two parallel
// lines a given distance apart (see strip.cpp).
#ifndef KTVEC_REFINE_STRIP_H
#define KTVEC_REFINE_STRIP_H

#include <cstddef>

#include "refine/array.h"
#include "refine/vec2.h"

namespace ktv::refine {

class Strip {
public:
    // Room for chains of up to `points` points; false when memory runs out.
    bool reserve(std::size_t points);
    // No points yet; strips at most `width` wide.
    void reset(double width);
    // Adds p, the next point of a chain that does not cross itself (at most
    // the reserved number).  False when no strip of the width holds all the
    // points with p; the strip is then spent until the next reset.
    bool add(Vec2 p);

    // The largest distance of a point from the line through `at` along the
    // unit direction `dir` (it is reached at a hull vertex).
    double farthest(Vec2 at, Vec2 dir) const;

private:
    bool measure();

    Array<Vec2> deque_;       // the convex hull, bot_..top_ (first == last)
    std::size_t bot_ = 0, top_ = 0;
    int count_ = 0;           // points so far, up to 3
    Vec2 first_, second_;     // the points before there is a hull
    double width_ = 0;
    // A strip known to hold every point: offsets lo_..hi_ along normal_.
    Vec2 normal_;
    double lo_ = 0, hi_ = -1;
};

}  // namespace ktv::refine

#endif
