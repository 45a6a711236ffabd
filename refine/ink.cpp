#include "refine/ink.h"

namespace ktv::refine {

double Ink::edge(Vec2 p, Vec2 d, double reach, bool black) const {
    int i = pixel(p.x), j = pixel(p.y);
    const int si = d.x > 0 ? 1 : -1, sj = d.y > 0 ? 1 : -1;
    const double ax = std::fabs(d.x), ay = std::fabs(d.y);
    // Distance to the next vertical and horizontal square edge, and between
    // successive ones.
    double tx = ax > 0 ? (d.x > 0 ? i + 0.5 - p.x : p.x - (i - 0.5)) / ax : kNoEdge;
    double ty = ay > 0 ? (d.y > 0 ? j + 0.5 - p.y : p.y - (j - 0.5)) / ay : kNoEdge;
    const double dx = ax > 0 ? 1 / ax : kNoEdge, dy = ay > 0 ? 1 / ay : kNoEdge;
    // Every square the walk looks at is entered within `reach` of p, so it
    // lies within reach + 1 of p's square on both axes.  Most walks stay
    // that far inside the bitmap: they read it with no bounds to check.
    const double margin = reach + 2;
    const bool inside = bits_ && i - margin >= 0 && j - margin >= 0 && i + margin < width_ && j + margin < height_;
    for (;;) {
        double t;
        if (tx < ty) {
            t = tx;
            i += si;
            tx += dx;
        } else {
            t = ty;
            j += sj;
            ty += dy;
        }
        if (t > reach) return kNoEdge;
        if (inside) {
            const unsigned char byte = bits_[static_cast<std::size_t>(j) * stride_ + static_cast<std::size_t>(i >> 3)];
            if ((((byte >> (7 - (i & 7))) & 1) != 0) == black) return t;
            continue;
        }
        if (at(i, j) == black) return t;
        // Past the bitmap every square is white: a walk for black ends there.
        if (black && ((si > 0 ? i >= width_ : i < 0) || (sj > 0 ? j >= height_ : j < 0))) return kNoEdge;
    }
}

bool run_across(const Ink &ink, Vec2 p, Vec2 n, double reach, Run &run) {
    const Vec2 back{-n.x, -n.y};
    if (ink.at(p)) {
        const double hi = ink.edge(p, n, reach, false), lo = ink.edge(p, back, reach, false);
        if (hi >= kNoEdge || lo >= kNoEdge) return false;
        run = {-lo, hi};
        return true;
    }
    const double ahead = ink.edge(p, n, reach, true), behind = ink.edge(p, back, reach, true);
    if (ahead >= kNoEdge && behind >= kNoEdge) return false;
    const bool forward = ahead <= behind;
    const double near = forward ? ahead : behind;
    const Vec2 d = forward ? n : back;
    // Step just inside the first black square and walk to its run's far edge.
    constexpr double kInside = 1e-7;
    const double far = ink.edge(p + d * (near + kInside), d, reach, false);
    if (far >= kNoEdge) return false;
    const double a = near, b = near + kInside + far;
    run = forward ? Run{a, b} : Run{-b, -a};
    return true;
}

}  // namespace ktv::refine
