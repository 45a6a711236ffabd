// Plane geometry shared by the library's rooms (and by the program, the
// test kit and the benchmarks, which is why it depends on nothing): pi,
// lengths and distances, the cosine between two directions.
//
// Two ways of measuring a length are kept apart on purpose.  length_of()
// roots the sum of squares as it stands; careful_length() is std::hypot,
// which avoids overflow and rounds differently in the last bit.  Each site
// keeps the form it was written with, because a last-bit change in a link
// length or a distance compared against a threshold can change which node a
// clean-up pass picks, and with it the whole graph.
#ifndef KTVEC_VECTORIZER_GEOMETRY_H
#define KTVEC_VECTORIZER_GEOMETRY_H

#include <cmath>

namespace ktv {

constexpr double kPi = 3.14159265358979323846;

// sqrt(dx^2 + dy^2), evaluated as written.
inline double length_of(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

// The same length by std::hypot.
inline double careful_length(double dx, double dy) { return std::hypot(dx, dy); }

// Distance from (x0, y0) to (x1, y1), by std::hypot.
inline double distance(double x0, double y0, double x1, double y1) { return careful_length(x1 - x0, y1 - y0); }

// Cosine of the angle between the directions (ux, uy) and (vx, vy); not a
// number when either has zero length (see cleanup/cleanup.h for how the
// clean-up's threshold tests read that).
inline double cosine(double ux, double uy, double vx, double vy) {
    return (ux * vx + uy * vy) / (std::sqrt(vx * vx + vy * vy) * std::sqrt(ux * ux + uy * uy));
}

}  // namespace ktv

#endif
