// Approximation kernels: replace a chain of traced pixels by a few straight
// pieces.  Each piece starts at the previous piece's end and takes points
// while the area between them and the chord from the piece's start stays
// small compared with the chord (|S_i / L_i| <= tolerance).  A quotient that
// is not a number (S = 0 over L = 0: the point lies on the start) passes; an
// infinite one fails.
//
// The kernels read x and y and write only the flag byte of the points: bit 0
// for "taken into a piece", bit 2 for a vertex that the corner check of L3
// inserted.  They allocate nothing; the caller owns every array.
#include "graph/kernels.h"

#include <cmath>

#include "vectorizer/geometry.h"

namespace {

// Offsets of chain[i] from the piece's start chain[0].
inline double dx(_KTPOINT **c, int i) { return static_cast<double>(c[i]->x) - c[0]->x; }
inline double dy(_KTPOINT **c, int i) { return static_cast<double>(c[i]->y) - c[0]->y; }

// Twice the signed area of the triangle chain[0], chain[i-1], chain[i].
inline double cross(_KTPOINT **c, int i) {
    return dx(c, i - 1) * dy(c, i) - dy(c, i - 1) * dx(c, i);
}

inline double chord(_KTPOINT **c, int i) { return ktv::length_of(dx(c, i), dy(c, i)); }

// Written so that a NaN quotient passes.
inline bool fails(double sum, double length, double tolerance) {
    return std::fabs(sum / length) > tolerance;
}

inline double distance(const _KTPOINT *a, const _KTPOINT *b) {
    const double ex = static_cast<double>(b->x) - a->x;
    const double ey = static_cast<double>(b->y) - a->y;
    return ktv::length_of(ex, ey);
}

// The L2 and L3 loop.  L2 (insert = false) cuts a piece back to end before a
// bend the corner check found; the points behind it start the next piece.
// L3 keeps the whole piece and adds the bend as one vertex (V_j) or, when the
// check answers 3, two (V_q, V_j), marked with bit 2, all carrying the sum of
// the first of them.
int corner_kernel(bool insert, double tolerance, int count, _KTPOINT **points,
                  _KTPOINT **vertices, double *lengths, double *sums, double *worksums,
                  double *workdeviations) {
    if (count < 3) return 0;
    points[0]->flag |= 1;
    int v = 0;
    auto emit = [&](_KTPOINT *from, _KTPOINT *to, double sum) {
        vertices[v] = to;
        lengths[v] = distance(from, to);
        sums[v] = sum;
        ++v;
    };
    int consumed = 0;
    while (consumed < count - 1) {
        _KTPOINT **chain = points + consumed;
        // A two-point remainder cannot arise (a piece never ends one point
        // before the chain's end); should it, it is one step with sum 0.
        if (count - consumed == 2) {
            chain[1]->flag |= 1;
            emit(chain[0], chain[1], 0.0);
            consumed += 1;
            continue;
        }
        int result[3] = {1, 0, 0};
        const int r = ktv::approximatepiece2(tolerance, count - consumed, chain, worksums,
                                             workdeviations, result);
        const int k = result[0];
        if (r == 1) {
            emit(chain[0], chain[k], worksums[k - 1]);
            consumed += k;
        } else if (!insert) {
            const int step = result[1];
            emit(chain[0], chain[step], worksums[step]);
            consumed += step;
        } else {
            const int j1 = result[1];
            const double sum = r == 2 ? worksums[j1] : worksums[result[2]];
            _KTPOINT *from = chain[0];
            if (r == 3) {
                _KTPOINT *vq = chain[result[2]];
                vq->flag |= 4;
                emit(from, vq, sum);
                from = vq;
            }
            chain[j1]->flag |= 4;
            emit(from, chain[j1], sum);
            emit(chain[j1], chain[k], sum);
            consumed += k;
        }
    }
    return v;
}

}  // namespace

namespace ktv {

int approximatepiece(double tolerance, double *sum, int n, _KTPOINT **chain) {
    *sum = 0.0;
    if (n <= 1) return 0;
    chain[1]->flag |= 1;
    if (n == 2) return 1;
    int k = 1;
    double s = 0.0;
    for (int i = 2; i <= n - 2; ++i) {
        s += cross(chain, i);
        *sum = s;
        if (fails(s, chord(chain, i), tolerance)) return k;
        // The L1 mark is a store, not an or: it clears the point's other bits.
        chain[i]->flag = 1;
        k = i;
    }
    // The chain's last point is taken without a test (and its term is not
    // added to the sum).
    chain[n - 1]->flag = 1;
    return n - 1;
}

int approximatepiece2(double tolerance, int n, _KTPOINT **chain, double *worksums,
                      double *workdeviations, int *result) {
    if (n <= 1) return 0;
    chain[1]->flag |= 1;
    if (n == 2) return 1;
    double s = 0.0;
    for (int i = 2; i <= n - 2; ++i) {
        const double c = cross(chain, i);
        const double l = chord(chain, i);
        s += c;
        worksums[i - 2] = s;
        workdeviations[i - 2] = c / l;
        if (fails(s, l, tolerance)) return checkcorner(tolerance, i - 1, workdeviations, result);
        chain[i]->flag |= 1;
    }
    chain[n - 1]->flag |= 1;
    const double c = cross(chain, n - 1);
    const double d = c / chord(chain, n - 1);
    s += c;
    worksums[n - 3] = worksums[n - 2] = s;
    workdeviations[n - 3] = workdeviations[n - 2] = d;
    return checkcorner(tolerance, n - 1, workdeviations, result);
}

// A long piece (more than 10 steps and at least 4 x tolerance) may still hide
// a bend near its end: summing the deviations backwards over a window of
// trunc(1.5 x tolerance) points, the first place where the sum exceeds
// 0.75 x tolerance marks it.  The comparisons run in floating point, so
// absurd tolerances (huge, negative, NaN) simply find no bend.
int checkcorner(double tolerance, int k, double *workdeviations, int *result) {
    result[0] = k;
    if (k <= 10) return 1;
    if (static_cast<double>(k) < std::trunc(4.0 * tolerance)) return 1;
    const double window = std::trunc(1.5 * tolerance);
    if (!(window >= 1.0)) return 1;
    // Here 4 x tolerance < k + 1, so the window is shorter than k.
    const int t = window < k ? static_cast<int>(window) : k;
    double sum = 0.0;
    int j = k - 1;
    for (; j >= k - t && j >= 0; --j) {
        sum += workdeviations[j];
        if (std::fabs(sum) > 0.75 * tolerance) break;
    }
    if (j < k - t || j <= 0) return 1;
    result[1] = j - 1;
    if (tolerance <= 2.0) return 2;
    result[2] = 2 * j - k - 3;
    return 3;
}

}  // namespace ktv

extern "C" {

KTVEC_API int MORABASE_approximateL1(double tolerance, int count, _KTPOINT **points,
                                     _KTPOINT **vertices, double *lengths, double *sums) {
    if (count < 3) return 0;
    points[0]->flag |= 1;
    int v = 0;
    int consumed = 0;
    while (consumed < count - 1) {
        _KTPOINT **chain = points + consumed;
        const int k = ktv::approximatepiece(tolerance, &sums[v], count - consumed, chain);
        vertices[v] = chain[k];
        lengths[v] = distance(chain[0], chain[k]);
        ++v;
        consumed += k;
    }
    return v;
}

KTVEC_API int MORABASE_approximateL2(double tolerance, int count, _KTPOINT **points,
                                     _KTPOINT **vertices, double *lengths, double *sums,
                                     double *worksums, double *workdeviations) {
    return corner_kernel(false, tolerance, count, points, vertices, lengths, sums, worksums,
                         workdeviations);
}

KTVEC_API int MORABASE_approximateL3(double tolerance, int count, _KTPOINT **points,
                                     _KTPOINT **vertices, double *lengths, double *sums,
                                     double *worksums, double *workdeviations) {
    return corner_kernel(true, tolerance, count, points, vertices, lengths, sums, worksums,
                         workdeviations);
}

}  // extern "C"
