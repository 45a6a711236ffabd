// Spline fitting: a parametric cubic spline through a polyline's nodes,
// sampled densely into the polyline record for the host to draw.
//
// The curve is x(t), y(t) over the normalised chord length t of the knots:
// a natural spline (zero curvature at both ends) for an open polyline, a
// periodic one for a closed polyline, so that a closed curve has continuous
// slope and curvature across its start node.
//
// Extra knots on long straight links, a few pixels away from their ends,
// keep the curve on the straight parts and let it turn only near corners.
// Two knot rules exist: the current one (extra knots on the long link itself,
// decided by the turn angle) and the earlier one (extra knots on the long
// neighbours of a short link).
//
// Work tables (all 64-bit floats, owned by the vectorizer, kept until the
// next fit):  splineknotx/y  knot positions;  splineparam  chord parameter
// of each knot;  splinezx/zy  one sixth of the second derivative at each
// knot;  splinestep  parameter step of each interval;  splinediag  interval
// slopes, overwritten by the eliminated diagonal;  splineperiodic  border
// column of the cyclic system.
//
// Degenerate input, decided here:
//  - A zero-length link (two consecutive nodes on one pixel) adds no knot: a
//    zero parameter step would divide by zero.
//  - Two knots: both coefficients are 0 and the curve is the straight
//    segment.  One knot (a one-node polyline, or nodes all on one pixel) or
//    none: nothing to fit, splinenum 0 and no sample arrays.
//  - division 0: splinenum 0 and no sample arrays; negative division: KTVEC_NO_MEMORY.
//  - A single sample (two knots, division 1) is the first knot.
//  - After any failure splinenum is 0 and splinex/spliney are null, so a
//    host never sees a count without samples.
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "ktvec.h"
#include "vectorizer/geometry.h"
#include "vectorizer/impl.h"
#include "vectorizer/memory.h"

namespace {

// Appends knots to the two coordinate tables, dropping a knot that repeats
// the previous one.  The tables are sized for the worst case beforehand.
struct KnotList {
    double *x;
    double *y;
    int count = 0;

    void add(double px, double py) {
        if (count > 0 && x[count - 1] == px && y[count - 1] == py) return;
        x[count] = px;
        y[count] = py;
        ++count;
    }
    // The point at fraction f along the link from (px, py) by (dx, dy).
    void add_along(double px, double py, double dx, double dy, double f) {
        add(px + f * dx, py + f * dy);
    }
};

struct Vec {
    double x, y;
    double length() const { return ktv::length_of(x, y); }
};

inline double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }

const double kCos45 = 0.70710678118654752440;

// Current rule: every node is a knot; a link longer than 30 px gets knots
// 2.5, 5 and 7.5 px inside an end where the path turns by more than 45
// degrees, or 2.5 and 5 px inside an end whose neighbour link is shorter
// than a fifth of it.  The first link has no start knots and the last link
// no end knots, also on a closed polyline.
void knots_current(const _KTNODE *node, const int *index, int m, KnotList &k) {
    auto pos = [&](int i) { return Vec{double(node[index[i]].x), double(node[index[i]].y)}; };
    for (int i = 0; i + 1 < m; ++i) {
        Vec p = pos(i);
        Vec q = pos(i + 1);
        Vec d{q.x - p.x, q.y - p.y};
        double len = d.length();
        k.add(p.x, p.y);
        if (len <= 30) continue;
        if (i > 0) {
            Vec prev = pos(i - 1);
            Vec e{p.x - prev.x, p.y - prev.y};
            double elen = e.length();
            double c = dot(e, d) / (elen * len);
            if (c < kCos45) {
                for (double a : {2.5, 5.0, 7.5}) k.add_along(p.x, p.y, d.x, d.y, a / len);
            } else if (elen < 0.2 * len) {
                for (double a : {2.5, 5.0}) k.add_along(p.x, p.y, d.x, d.y, a / len);
            }
        }
        if (i < m - 2) {
            Vec next = pos(i + 2);
            Vec f{next.x - q.x, next.y - q.y};
            double flen = f.length();
            double c = dot(f, d) / (flen * len);
            if (c < kCos45) {
                for (double a : {7.5, 5.0, 2.5}) k.add_along(p.x, p.y, d.x, d.y, 1 - a / len);
            } else if (flen < 0.2 * len) {
                for (double a : {5.0, 2.5}) k.add_along(p.x, p.y, d.x, d.y, 1 - a / len);
            }
        }
    }
    if (m > 0) {
        Vec last = pos(m - 1);
        k.add(last.x, last.y);
    }
}

// Earlier rule: a link of 10 px or more contributes its start node; a
// shorter link contributes both its nodes, plus a knot 10 px back on a
// previous link longer than 40 px and one 10 px on along a next link longer
// than 40 px, and the link after it is skipped.
void knots_old(const _KTNODE *node, const int *index, int m, KnotList &k) {
    auto pos = [&](int i) { return Vec{double(node[index[i]].x), double(node[index[i]].y)}; };
    bool last_added = false;
    int i = 0;
    while (i < m - 1) {
        Vec p = pos(i);
        Vec q = pos(i + 1);
        Vec d{q.x - p.x, q.y - p.y};
        if (d.length() >= 10) {
            k.add(p.x, p.y);
            last_added = false;
            i += 1;
            continue;
        }
        if (i > 0) {
            Vec prev = pos(i - 1);
            Vec e{p.x - prev.x, p.y - prev.y};
            double elen = e.length();
            if (elen > 40) k.add_along(prev.x, prev.y, e.x, e.y, 1 - 10 / elen);
        }
        k.add(p.x, p.y);
        k.add(q.x, q.y);
        last_added = (i + 1 == m - 1);
        if (i < m - 2) {
            Vec next = pos(i + 2);
            Vec f{next.x - q.x, next.y - q.y};
            double flen = f.length();
            if (flen > 40) k.add_along(q.x, q.y, f.x, f.y, 10 / flen);
        }
        i += 2;
    }
    if (m > 0 && !last_added) {
        Vec last = pos(m - 1);
        k.add(last.x, last.y);
    }
}

// Interval i with u[i] <= t <= u[i + 1] among entries 0 .. last, by
// bisection (the first interval for t below the range).
inline int find_interval(double t, const double *u, int last) {
    int a = 0, b = last;
    while (a < b) {
        int k = (a + b) / 2;
        if (u[k] < t)
            a = k + 1;
        else
            b = k;
    }
    return a > 0 ? a - 1 : 0;
}

// The cubic of interval i at parameter t.
inline double cubic(double t, const double *u, const double *v, const double *z, int i) {
    double h = u[i + 1] - u[i];
    double e = t - u[i];
    return (((z[i + 1] - z[i]) * e / h + 3 * z[i]) * e + (v[i + 1] - v[i]) / h -
            (2 * z[i] + z[i + 1]) * h) *
               e +
           v[i];
}

}  // namespace

int CKTVector::mspline(int id, int division) { return CKTVectorImpl::fitspline(*this, id, division, 0); }

int CKTVector::msplineold(int id, int division) { return CKTVectorImpl::fitspline(*this, id, division, 1); }

int CKTVectorImpl::fitspline(CKTVector &v, int id, int division, int oldrule) {
    if (!v.polyline) return KTVEC_NO_POLYLINES;
    _KTPOLYLINE &p = v.polyline[id < 0 ? -id - 1 : id - 1];
    if (p.modify == 1) return 0;
    p.modify = 1;
    v.splinedivision = division;

    v.mfreespline();
    ktv::release(p.splinex);
    ktv::release(p.spliney);
    p.splinenum = 0;

    const int m = p.nodeindex ? p.nodenum : 0;
    const std::size_t capacity = std::size_t(m > 0 ? m : 0) * (oldrule ? 3 : 7);
    v.splineknotx = ktv::alloc_array<double>(capacity);
    if (!v.splineknotx) return KTVEC_NO_MEMORY;
    v.splineknoty = ktv::alloc_array<double>(capacity);
    if (!v.splineknoty) return KTVEC_NO_MEMORY;

    KnotList knots{v.splineknotx, v.splineknoty};
    if (oldrule)
        knots_old(v.node, p.nodeindex, m, knots);
    else
        knots_current(v.node, p.nodeindex, m, knots);
    const int n = knots.count;

    double **tables[] = {&v.splinezx, &v.splinezy, &v.splinediag, &v.splinestep, &v.splineparam,
                         &v.splineperiodic};
    for (double **table : tables) {
        *table = ktv::alloc_array<double>(std::size_t(n));
        if (!*table) return KTVEC_NO_MEMORY;
    }

    // A curve needs two knots; a negative division or a count beyond int
    // cannot become sample arrays.
    if (division < 0) return KTVEC_NO_MEMORY;
    const std::int64_t samples = n >= 2 ? std::int64_t(n - 1) * division : 0;
    if (samples > INT32_MAX) return KTVEC_NO_MEMORY;
    const int s = int(samples);

    const bool closed = m > 0 && p.nodeindex[0] == p.nodeindex[m - 1];
    v.splinetablenum = closed ? n - 1 : n;
    if (n < 2) return 0;
    if (closed)
        v.maketablespline2C();
    else
        v.maketablespline2();
    if (s == 0) return 0;

    double *sx = ktv::alloc_array<double>(std::size_t(s));
    if (!sx) return KTVEC_NO_MEMORY;
    double *sy = ktv::alloc_array<double>(std::size_t(s));
    if (!sy) {
        ktv::mem_free(sx);
        return KTVEC_NO_MEMORY;
    }
    for (int k = 0; k < s; ++k) {
        double t = s > 1 ? double(k) / double(s - 1) : 0.0;
        if (closed)
            v.mspline2C(t, &sx[k], &sy[k]);
        else
            v.mspline2(t, &sx[k], &sy[k]);
    }
    p.splinex = sx;
    p.spliney = sy;
    p.splinenum = s;
    return 0;
}

// Normalised chord-length parameters of knots 0 .. last.
static void chord_parameters(const double *x, const double *y, double *t, int last) {
    t[0] = 0;
    for (int i = 1; i <= last; ++i) t[i] = t[i - 1] + ktv::careful_length(x[i] - x[i - 1], y[i] - y[i - 1]);
    for (int i = 1; i <= last; ++i) t[i] /= t[last];
}

void CKTVector::maketablespline2() {
    chord_parameters(splineknotx, splineknoty, splineparam, splinetablenum - 1);
    maketablespline(splineparam, splineknotx, splinezx);
    maketablespline(splineparam, splineknoty, splinezy);
}

void CKTVector::maketablespline2C() {
    chord_parameters(splineknotx, splineknoty, splineparam, splinetablenum);
    maketablesplineC(splineparam, splineknotx, splinezx);
    maketablesplineC(splineparam, splineknoty, splinezy);
}

// Natural spline over n knots: z[0] = z[n-1] = 0 and, inside,
//   h[i-1] z[i-1] + 2 (h[i-1] + h[i]) z[i] + h[i] z[i+1] = s[i] - s[i-1]
// with s the interval slopes, solved by elimination of the tridiagonal
// system.  The diagonal table first holds the slopes (entry i + 1 for
// interval i) and is overwritten with the eliminated diagonal as the sweep
// passes, so one table serves both.
void CKTVector::maketablespline(double *t, double *v, double *z) {
    const int n = splinetablenum;
    double *h = splinestep;
    double *d = splinediag;
    if (n < 3) {
        // Two knots: the natural spline is the straight segment.
        for (int i = 0; i < n; ++i) z[i] = 0;
        for (int i = 0; i + 1 < n; ++i) h[i] = t[i + 1] - t[i];
        return;
    }
    z[0] = 0;
    z[n - 1] = 0;
    for (int i = 0; i < n - 1; ++i) {
        h[i] = t[i + 1] - t[i];
        d[i + 1] = (v[i + 1] - v[i]) / h[i];
    }
    z[1] = d[2] - d[1] - h[0] * z[0];
    d[1] = 2 * (t[2] - t[0]);
    for (int i = 1; i < n - 2; ++i) {
        double q = h[i] / d[i];
        z[i + 1] = d[i + 2] - d[i + 1] - z[i] * q;
        d[i + 1] = 2 * (t[i + 2] - t[i]) - h[i] * q;
    }
    z[n - 2] -= h[n - 2] * z[n - 1];
    for (int i = n - 2; i > 0; --i) z[i] = (z[i] - h[i] * z[i + 1]) / d[i];
}

// Periodic spline over n intervals (entries 0 .. n, v[n] = v[0]).  The
// system is tridiagonal plus the two corner entries that close the cycle;
// the border column w carries those corners through a forward and a
// backward sweep, after which z[0] (= z[n]) falls out and the rest follow.
void CKTVector::maketablesplineC(double *t, double *v, double *z) {
    const int n = splinetablenum;
    double *h = splinestep;
    double *d = splinediag;
    double *w = splineperiodic;
    if (n < 2) {
        for (int i = 0; i <= n; ++i) z[i] = 0;
        for (int i = 0; i < n; ++i) h[i] = t[i + 1] - t[i];
        return;
    }
    for (int i = 0; i < n; ++i) {
        h[i] = t[i + 1] - t[i];
        w[i] = (v[i + 1] - v[i]) / h[i];
    }
    w[n] = w[0];
    for (int i = 1; i < n; ++i) d[i] = 2 * (t[i + 1] - t[i - 1]);
    d[n] = 2 * (h[n - 1] + h[0]);
    for (int i = 1; i <= n; ++i) z[i] = w[i] - w[i - 1];
    w[1] = h[0];
    w[n - 1] = h[n - 1];
    w[n] = d[n];
    for (int i = 2; i < n - 1; ++i) w[i] = 0;
    for (int i = 1; i < n; ++i) {
        double q = h[i] / d[i];
        z[i + 1] -= z[i] * q;
        d[i + 1] -= h[i] * q;
        w[i + 1] -= w[i] * q;
    }
    w[0] = w[n];
    z[0] = z[n];
    for (int i = n - 2; i >= 0; --i) {
        double q = h[i] / d[i + 1];
        z[i] -= z[i + 1] * q;
        w[i] -= w[i + 1] * q;
    }
    double q = z[0] / w[0];
    z[0] = q;
    z[n] = q;
    for (int i = 1; i < n; ++i) z[i] = (z[i] - w[i] * q) / d[i];
}

void CKTVector::mspline2(double t, double *x, double *y) {
    *x = mspline(t, splineparam, splineknotx, splinezx);
    *y = mspline(t, splineparam, splineknoty, splinezy);
}

void CKTVector::mspline2C(double t, double *x, double *y) {
    *x = msplineC(t, splineparam, splineknotx, splinezx);
    *y = msplineC(t, splineparam, splineknoty, splinezy);
}

double CKTVector::mspline(double t, double *u, double *v, double *z) {
    const int n = splinetablenum;
    return cubic(t, u, v, z, find_interval(t, u, n - 1));
}

double CKTVector::msplineC(double t, double *u, double *v, double *z) {
    const int n = splinetablenum;
    // Fold t into one period.  A period that is not positive (degenerate
    // tables) cannot fold anything and must not loop forever.
    double period = u[n] - u[0];
    if (period > 0) {
        while (t > u[n]) t -= period;
        while (t < u[0]) t += period;
    }
    return cubic(t, u, v, z, find_interval(t, u, n));
}
