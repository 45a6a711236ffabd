// Curve samples carried along with their nodes.
//
// A spline is fitted through a polyline's nodes, on their pixels.  Once the
// nodes have sub-pixel positions the curve should pass through those
// instead; rather than fitting again, every sample is moved by the
// displacement of the point of the node chain nearest to it, interpolated
// between the displacements of that link's two nodes.  The samples run
// along the chain in order, so the nearest link is searched a few links
// ahead of the previous sample's; the curve keeps its shape and passes
// through the moved nodes (a sample on a node moves exactly as the node).
#include "refine/samples.h"

#include <algorithm>

namespace ktv::refine {

namespace {

constexpr int kLookAhead = 4;  // links searched past the previous sample's

}  // namespace

bool add_moved_samples(CKTVector &v, const _KTPOLYLINE &p, const Array<Vec2> &placed, LineSet &out) {
    const int nodes = v.mgetnodenum();
    auto pixel = [&](int k) {
        const _KTNODE &n = *v.mgetnode(p.nodeindex[k]);
        return Vec2{static_cast<double>(n.x), static_cast<double>(n.y)};
    };
    for (int k = 0; k < p.nodenum; ++k)
        if (p.nodeindex[k] < 0 || p.nodeindex[k] >= nodes) return true;
    const int links = p.nodenum - 1;
    int at = 0;
    for (int s = 0; s < p.splinenum; ++s) {
        const Vec2 q{p.splinex[s], p.spliney[s]};
        double best = 1e300, bestt = 0;
        int bestlink = at;
        for (int k = at; k < std::min(links, at + kLookAhead); ++k) {
            const Vec2 a = pixel(k), b = pixel(k + 1), d = b - a;
            const double dd = dot(d, d);
            const double t = dd > 0 ? std::clamp(dot(q - a, d) / dd, 0.0, 1.0) : 0.0;
            const double e = norm(q - (a + d * t));
            if (e < best) best = e, bestt = t, bestlink = k;
        }
        at = bestlink;
        Vec2 moved = q;
        if (links > 0) {
            const std::size_t a = static_cast<std::size_t>(p.nodeindex[at]), b = static_cast<std::size_t>(p.nodeindex[at + 1]);
            const Vec2 da = placed[a] - pixel(at), db = placed[b] - pixel(at + 1);
            moved = q + da * (1 - bestt) + db * bestt;
        }
        if (!out.add(moved, -1)) return false;
    }
    return true;
}

}  // namespace ktv::refine
