// The narrowest strip that holds a set of points lies flat against an edge
// of their convex hull, and its width is the largest distance of a hull
// vertex from that edge's line (rotating calipers).  The hull of a chain
// that does not cross itself grows point by point in constant amortized
// time with Melkman's deque.  Measuring the width costs a walk round the
// hull, so it is done only when a point falls outside the last strip found
// (widened to the allowed width about the points): along a straight edge
// that strip keeps holding the new points and the walk is rare.
#include "refine/strip.h"

#include <algorithm>
#include <cmath>

namespace ktv::refine {

namespace {

// p lies strictly to the left of the line from a to b.
bool left(Vec2 a, Vec2 b, Vec2 p) { return cross(b - a, p - a) > 0; }

}  // namespace

bool Strip::reserve(std::size_t points) { return deque_.resize(2 * points + 3); }

void Strip::reset(double width) {
    count_ = 0;
    width_ = width;
    lo_ = 0;
    hi_ = -1;
}

bool Strip::add(Vec2 p) {
    if (count_ < 2) {
        (count_ == 0 ? first_ : second_) = p;
        ++count_;
        return true;
    }
    if (count_ == 2) {
        const double side = cross(second_ - first_, p - first_);
        if (side == 0) {
            // Still on one line: keep its two extreme points.
            const Vec2 d = second_ - first_;
            const double t = dot(p - first_, d);
            if (t < 0) first_ = p;
            else if (t > dot(d, d)) second_ = p;
            return true;
        }
        // The first triangle, anticlockwise from bot_ to top_.
        bot_ = deque_.size() / 2 - 1;
        top_ = bot_ + 3;
        deque_[bot_] = deque_[top_] = p;
        deque_[bot_ + 1] = side > 0 ? first_ : second_;
        deque_[bot_ + 2] = side > 0 ? second_ : first_;
        count_ = 3;
        return measure();
    }
    const double at = dot(p, normal_);
    const bool held = at >= lo_ && at <= hi_;
    if (left(deque_[bot_], deque_[bot_ + 1], p) && left(deque_[top_ - 1], deque_[top_], p)) return true;
    while (!left(deque_[top_ - 1], deque_[top_], p)) --top_;
    deque_[++top_] = p;
    while (!left(p, deque_[bot_], deque_[bot_ + 1])) ++bot_;
    deque_[--bot_] = p;
    return held || measure();
}

double Strip::farthest(Vec2 at, Vec2 dir) const {
    if (count_ < 3) {
        const double a = std::fabs(cross(dir, first_ - at));
        return count_ < 2 ? a : std::max(a, std::fabs(cross(dir, second_ - at)));
    }
    double far = 0;
    for (std::size_t i = bot_; i < top_; ++i) far = std::max(far, std::fabs(cross(dir, deque_[i] - at)));
    return far;
}

// Narrowest strip of the hull; false when it is wider than allowed,
// otherwise the strip of the allowed width centred on it is kept.
bool Strip::measure() {
    const Vec2 *v = &deque_[bot_];
    const std::size_t h = top_ - bot_;
    auto next = [h](std::size_t i) { return i + 1 == h ? 0 : i + 1; };
    double best = -1;
    Vec2 normal;
    double base = 0;
    std::size_t j = 1;
    for (std::size_t i = 0; i < h; ++i) {
        const Vec2 e = v[next(i)] - v[i];
        const double len = norm(e);
        if (len == 0) continue;
        // Farthest vertex from this edge's line; it moves forward with i.
        while (cross(e, v[next(j)] - v[i]) >= cross(e, v[j] - v[i]) && next(j) != i) j = next(j);
        const double w = cross(e, v[j] - v[i]) / len;
        if (best < 0 || w < best) {
            best = w;
            normal = perp(e) * (1 / len);
            base = dot(v[i], normal);
        }
    }
    if (best > width_) return false;
    // perp(e) points to the left of the edge, into the hull, so the points
    // lie between base and base + best along normal.
    const double centre = base + 0.5 * best;
    normal_ = normal;
    lo_ = centre - 0.5 * width_;
    hi_ = centre + 0.5 * width_;
    return true;
}

}  // namespace ktv::refine
