// Arc fitting: every link of a polyline carries the signed area between the
// traced pixels and its straight chord; the circular arc over the chord that
// cuts off the same area is stored on the link (centre, radius, and which of
// the two mirror-image centres was taken), so a host can draw it as an arc.
//
// For a chord of half-length c seen from the centre under the half angle
// theta, the radius is R = c / sin(theta) and the circular segment has area
//     S(theta) = c^2 (theta - sin(theta) cos(theta)) / sin^2(theta).
// S grows from 0 (flat) to c^2 pi / 2 at theta = pi / 2 (a half circle), so
// for a measured area A in that range the equation
//     f(theta) = A sin^2(theta) + c^2 sin(theta) cos(theta) - c^2 theta = 0
// has one root, found by Newton's method from the half circle downwards.
#include <cmath>

#include "ktvec.h"
#include "vectorizer/geometry.h"

namespace {

using ktv::kPi;

// Newton steps before giving up on a root; a converging iteration needs far
// fewer, so the bound changes no result that converges.
const int kMaxNewtonSteps = 100;

// Half central angle of the arc over a chord of half-length c that cuts off
// area a (0.5 < a <= c^2 pi / 2).  False when the iteration does not settle.
bool half_angle(double a, double c, double &theta) {
    const double c2 = c * c;
    double t = kPi / 2;
    for (int step = 0; step < kMaxNewtonSteps; ++step) {
        double s = std::sin(t), co = std::cos(t);
        double f = a * s * s + c2 * s * co - c2 * t;
        double df = c2 * (co * co - s * s) - a * std::cos(2 * t + kPi / 2) - c2;
        if (df == 0) df = 1;
        double next = t - f / df;
        if (std::fabs(next - t) <= 0.001) {
            theta = next;
            return true;
        }
        t = next;
    }
    return false;
}

}  // namespace

int CKTVector::marc(int id, double minradius, double maxradius) {
    if (!polyline) return KTVEC_NO_POLYLINES;
    _KTPOLYLINE &p = polyline[id < 0 ? -id - 1 : id - 1];
    if (p.modify == 1) return KTVEC_REFUSED;
    p.modify = 1;
    arcminradius = minradius;
    arcmaxradius = maxradius;
    const int forward = id < 0 ? -id : id;
    for (int i = 0; i + 1 < p.nodenum; ++i)
        mgetcenter(forward, &node[p.nodeindex[i]], &node[p.nodeindex[i + 1]]);
    return 0;
}

// Fits the arc of the link a -> b that carries +id.  Any early stop leaves
// the link's arc fields as they were.
void CKTVector::mgetcenter(int id, _KTNODE *a, _KTNODE *b) {
    a->spare = 0;
    const double dx = double(b->x) - a->x, dy = double(b->y) - a->y;
    const double c = 0.5 * ktv::length_of(dx, dy);

    _KTNODELINK *link = nullptr;
    for (int i = 0; i < a->linknum; ++i) {
        if (a->link[i].id == id) {
            link = &a->link[i];
            break;
        }
    }
    if (!link) return;

    const double area = std::fabs(link->area);
    if (area <= 0.5) return;             // too flat to tell from a chord
    if (c * c * kPi / 2 < area) return;  // more than a half circle

    double theta;
    if (!half_angle(area, c, theta)) return;
    if (theta <= 0.001) return;
    const double r = c / std::sin(theta);
    if (r < arcminradius || r > arcmaxradius) return;

    // The two candidate centres lie on the chord's perpendicular bisector,
    // dc from its midpoint on either side.
    const double dc = r * std::cos(theta);
    const double phi = std::atan2(dy, dx) - kPi / 2;
    const double mx = (a->x + double(b->x)) / 2, my = (a->y + double(b->y)) / 2;
    const double ux = dc * std::cos(phi), uy = dc * std::sin(phi);
    const double c1x = mx + ux, c1y = my + uy;
    const double c2x = mx - ux, c2y = my - uy;

    // side is the cross product of the chord with the way to C1.  A positive
    // area takes the centre on the negative side of the chord, any other
    // area the centre on the positive side (C2 mirrors C1 across the chord).
    const double side = dx * (c1y - a->y) - dy * (c1x - a->x);
    const bool first = link->area > 0 ? side < 0 : side >= 0;
    link->centerx = first ? c1x : c2x;
    link->centery = first ? c1y : c2y;
    link->radius = r;
    link->arc = first ? 1 : 2;
}

void CKTVector::marcall(double minradius, double maxradius) {
    msetmodify(static_cast<unsigned char>(0));
    for (int i = 0; i < polylinenum; ++i) {
        _KTPOLYLINE &p = polyline[i];
        if (p.deleted == 1 || !p.nodeindex) continue;
        if (marc(i + 1, minradius, maxradius) == 0) p.flag |= KTVEC_POLYLINE_ARC;
    }
}
