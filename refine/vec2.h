// Points and directions of the sub-pixel stage: doubles in the node frame
// (the centre of pixel (i, j) is (i, j); x right, y down).
#ifndef KTVEC_REFINE_VEC2_H
#define KTVEC_REFINE_VEC2_H

#include <algorithm>
#include <cmath>

namespace ktv::refine {

struct Vec2 {
    double x = 0, y = 0;
};

inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator*(Vec2 a, double s) { return {a.x * s, a.y * s}; }
inline double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
inline double cross(Vec2 a, Vec2 b) { return a.x * b.y - a.y * b.x; }
inline double norm(Vec2 a) { return std::sqrt(dot(a, a)); }
// The left normal in screen terms (y down): (x, y) -> (y, -x) turned so that
// a direction and its normal form a right-handed pair in pixel coordinates.
inline Vec2 perp(Vec2 a) { return {-a.y, a.x}; }
inline Vec2 unit(Vec2 a) {
    const double n = norm(a);
    return n > 0 ? Vec2{a.x / n, a.y / n} : Vec2{};
}

// A straight line through `at` along the unit direction `dir`, with the
// weight its evidence carries when several lines are intersected.
struct Line {
    Vec2 at, dir;
    double weight = 0;
};

inline double distance_to(const Line &l, Vec2 p) { return cross(l.dir, p - l.at); }

// Where lines p and q cross (they must not be parallel): p.at + p.dir t
// lies on q when cross(q.dir, p.at + p.dir t - q.at) = 0.
inline Vec2 meeting_point(const Line &p, const Line &q) {
    return p.at + p.dir * (-distance_to(q, p.at) / cross(q.dir, p.dir));
}

// How far from their meeting point two lines leaving it along the unit
// directions u and v (not the same) lie `gap` apart: gap / (2 sin(a / 2)),
// a the angle between them, since |u - v| = 2 sin(a / 2).  Two strokes w
// wide meeting at a merge over apart_at(u, v, w) before their tip.
inline double apart_at(Vec2 u, Vec2 v, double gap) { return gap / norm(u - v); }

// The foot of p on line l.
inline Vec2 foot(const Line &l, Vec2 p) { return l.at + l.dir * dot(p - l.at, l.dir); }

// Distance from p to the segment from a to b; `t` gets the parameter of the
// nearest point (0 at a, 1 at b).
inline double distance_to_segment(Vec2 p, Vec2 a, Vec2 b, double &t) {
    const Vec2 d = b - a;
    const double dd = dot(d, d);
    t = dd > 0 ? std::clamp(dot(p - a, d) / dd, 0.0, 1.0) : 0.0;
    return norm(p - (a + d * t));
}
inline double distance_to_segment(Vec2 p, Vec2 a, Vec2 b) {
    double t;
    return distance_to_segment(p, a, b, t);
}

// The unit direction at half the angle of (c, s): the principal axis of
// points whose second moments give c = xx - yy and s = 2 xy.  Square roots
// only: they round alike on every platform, where the C libraries' atan2,
// cos and sin differ in the last bit, so a result is the same in every build
// of the library (the browser's included).  The angle 2t lies in (-pi, pi],
// so t lies in (-pi/2, pi/2]; the larger of cos t and |sin t| is taken from
// its half-angle formula and the other from sin 2t = 2 sin t cos t.
inline Vec2 half_angle(double c, double s) {
    const double h = std::sqrt(c * c + s * s);
    if (!(h > 0)) return {1, 0};
    if (c >= 0) {
        const double cos_t = std::sqrt((h + c) / (2 * h));
        return {cos_t, s / (2 * h * cos_t)};
    }
    const double sin_t = std::sqrt((h - c) / (2 * h)) * (s < 0 ? -1 : 1);
    return {s / (2 * h * sin_t), sin_t};
}

}  // namespace ktv::refine

#endif
