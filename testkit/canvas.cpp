// Rasterisation of thick strokes and filled shapes into the packed 1-bit
// canvas.  Every shape is filled row by row as horizontal spans computed
// analytically, so the cost is proportional to the ink, never to the page.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "drawing.h"
#include "vectorizer/geometry.h"

namespace ktvdraw {

namespace {
using ktv::kPi;
constexpr double kInf = std::numeric_limits<double>::infinity();

// Longest chord of an arc approximation: keeps the polygon within 0.02 px of
// the true circle (sagitta r (1 - cos(step / 2))).
double arc_step(double r) {
    if (r <= 0.05) return kPi / 2;
    double step = 2.0 * std::acos(std::max(-1.0, 1.0 - 0.02 / r));
    return std::min(step, kPi / 8);
}

// Narrows [lo, hi] to the x for which a * x + b lies in [cmin, cmax].
void constrain(double a, double b, double cmin, double cmax, double &lo, double &hi) {
    if (std::fabs(a) < 1e-12) {
        if (b < cmin || b > cmax) { lo = kInf; hi = -kInf; }
        return;
    }
    double u = (cmin - b) / a, v = (cmax - b) / a;
    if (u > v) std::swap(u, v);
    lo = std::max(lo, u);
    hi = std::min(hi, v);
}

// Widens [lo, hi] by the row chord of the disc of radius r at (cx, cy).
void disc_chord(double cx, double cy, double r, double rowy, double &lo, double &hi) {
    double d = rowy - cy;
    if (std::fabs(d) >= r) return;
    double s = std::sqrt(r * r - d * d);
    lo = std::min(lo, cx - s);
    hi = std::max(hi, cx + s);
}
}  // namespace

std::uint64_t Rng::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Rng::uniform(double lo, double hi) {
    return lo + (hi - lo) * (double)(next() >> 11) * (1.0 / 9007199254740992.0);
}

int Rng::range(int lo, int hi) {
    if (hi <= lo) return lo;
    return lo + (int)(next() % (std::uint64_t)(hi - lo + 1));
}

bool Rng::chance(double p) { return uniform(0, 1) < p; }

Canvas::Canvas(int width, int height, int stride)
    : width_(std::max(0, width)), height_(std::max(0, height)),
      stride_(std::max(stride, (std::max(0, width) + 7) / 8)),
      bits_((std::size_t)stride_ * (std::size_t)height_, 0) {}

bool Canvas::get(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    return (bits_[(std::size_t)y * stride_ + (x >> 3)] >> (7 - (x & 7))) & 1;
}

void Canvas::set(int x, int y, bool black) { span(y, x, x, black); }

void Canvas::span(int y, int xa, int xb, bool black) {
    if (y < 0 || y >= height_) return;
    xa = std::max(xa, 0);
    xb = std::min(xb, width_ - 1);
    if (xa > xb) return;
    unsigned char *row = bits_.data() + (std::size_t)y * stride_;
    int ba = xa >> 3, bb = xb >> 3;
    unsigned char ma = (unsigned char)(0xFFu >> (xa & 7));
    unsigned char mb = (unsigned char)(0xFFu << (7 - (xb & 7)));
    auto apply = [black](unsigned char &byte, unsigned char mask) {
        byte = black ? (unsigned char)(byte | mask) : (unsigned char)(byte & ~mask);
    };
    if (ba == bb) {
        apply(row[ba], (unsigned char)(ma & mb));
        return;
    }
    apply(row[ba], ma);
    if (bb - ba > 1) std::memset(row + ba + 1, black ? 0xFF : 0x00, (std::size_t)(bb - ba - 1));
    apply(row[bb], mb);
}

long Canvas::count() const {
    long n = 0;
    for (unsigned char b : bits_) n += __builtin_popcount(b);
    return n;
}

// All points within r of the segment AB: per row, the union of the chords of
// the two end discs and of the rectangle between them.  The shape is convex,
// so that union is one interval.
void Canvas::capsule(double ax, double ay, double bx, double by, double r) {
    if (r <= 0 || !std::isfinite(ax + ay + bx + by + r)) return;
    double top = std::min(ay, by) - r, bottom = std::max(ay, by) + r;
    int y0 = std::max(0, (int)std::floor(top - 0.5));
    int y1 = std::min(height_ - 1, (int)std::ceil(bottom - 0.5));
    double dx = bx - ax, dy = by - ay, len = std::hypot(dx, dy);
    double ux = len > 0 ? dx / len : 0, uy = len > 0 ? dy / len : 0;
    for (int y = y0; y <= y1; ++y) {
        double rowy = y + 0.5;
        double lo = kInf, hi = -kInf;
        disc_chord(ax, ay, r, rowy, lo, hi);
        disc_chord(bx, by, r, rowy, lo, hi);
        if (len > 0) {
            // along = (x - ax) ux + (rowy - ay) uy in [0, len]
            // across = -(x - ax) uy + (rowy - ay) ux in [-r, r]
            double blo = -kInf, bhi = kInf;
            constrain(ux, -ax * ux + (rowy - ay) * uy, 0, len, blo, bhi);
            constrain(-uy, ax * uy + (rowy - ay) * ux, -r, r, blo, bhi);
            if (blo <= bhi) {
                lo = std::min(lo, blo);
                hi = std::max(hi, bhi);
            }
        }
        if (!(lo < hi)) continue;
        // pixel centres strictly inside (lo, hi)
        double first = std::floor(lo - 0.5) + 1, last = std::ceil(hi - 0.5) - 1;
        if (first > last || last < 0 || first >= width_) continue;
        span(y, (int)std::max(first, -1.0), (int)std::min(last, (double)width_), ink_);
    }
}

void Canvas::thick_line(double x0, double y0, double x1, double y1, double width) {
    Primitive p;
    p.kind = Primitive::Line;
    p.width = width;
    p.x0 = x0; p.y0 = y0; p.x1 = x1; p.y1 = y1;
    record(p);
    capsule(x0, y0, x1, y1, width / 2);
}

void Canvas::thick_arc(double cx, double cy, double r, double a0, double a1, double width) {
    if (a1 < a0) std::swap(a0, a1);
    a1 = std::min(a1, a0 + 2 * kPi);
    Primitive p;
    p.kind = Primitive::Arc;
    p.width = width;
    p.cx = cx; p.cy = cy; p.r = r; p.a0 = a0; p.a1 = a1;
    record(p);
    int pieces = std::max(1, (int)std::ceil((a1 - a0) / arc_step(r)));
    double step = (a1 - a0) / pieces;
    double px = cx + r * std::cos(a0), py = cy + r * std::sin(a0);
    for (int i = 1; i <= pieces; ++i) {
        double a = a0 + step * i;
        double qx = cx + r * std::cos(a), qy = cy + r * std::sin(a);
        capsule(px, py, qx, qy, width / 2);
        px = qx;
        py = qy;
    }
}

void Canvas::circle(double cx, double cy, double r, double width) {
    thick_arc(cx, cy, r, 0, 2 * kPi, width);
}

void Canvas::disc(double cx, double cy, double r) {
    Primitive p;
    p.kind = Primitive::Polygon;
    int pieces = std::max(8, (int)std::ceil(2 * kPi / arc_step(r)));
    for (int i = 0; i < pieces; ++i) {
        double a = 2 * kPi * i / pieces;
        p.points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    record(p);
    capsule(cx, cy, cx, cy, r);
}

// Even-odd scanline fill: per row, sort the edge crossings at the pixel
// centres and fill between pairs.
void Canvas::fill_polygon(const std::vector<Point> &polygon) {
    if (polygon.size() < 3) return;
    Primitive p;
    p.kind = Primitive::Polygon;
    p.points = polygon;
    record(p);
    double top = kInf, bottom = -kInf;
    for (const Point &q : polygon) {
        top = std::min(top, q.y);
        bottom = std::max(bottom, q.y);
    }
    int y0 = std::max(0, (int)std::floor(top - 0.5));
    int y1 = std::min(height_ - 1, (int)std::ceil(bottom - 0.5));
    std::vector<double> xs;
    std::size_t n = polygon.size();
    for (int y = y0; y <= y1; ++y) {
        double rowy = y + 0.5;
        xs.clear();
        for (std::size_t i = 0; i < n; ++i) {
            const Point &a = polygon[i], &b = polygon[(i + 1) % n];
            if ((a.y <= rowy) == (b.y <= rowy)) continue;  // half-open rule
            xs.push_back(a.x + (rowy - a.y) * (b.x - a.x) / (b.y - a.y));
        }
        std::sort(xs.begin(), xs.end());
        for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
            double first = std::floor(xs[i] - 0.5) + 1, last = std::ceil(xs[i + 1] - 0.5) - 1;
            if (first > last || last < 0 || first >= width_) continue;
            span(y, (int)std::max(first, -1.0), (int)std::min(last, (double)width_), ink_);
        }
    }
}

void Canvas::pattern_line(double x0, double y0, double x1, double y1, double width,
                          const std::vector<double> &pattern) {
    double len = std::hypot(x1 - x0, y1 - y0);
    if (pattern.empty() || len <= 0) {
        thick_line(x0, y0, x1, y1, width);
        return;
    }
    double ux = (x1 - x0) / len, uy = (y1 - y0) / len;
    double t = 0;
    for (std::size_t i = 0; t < len; i = (i + 1) % pattern.size()) {
        double step = std::max(pattern[i], 0.5);
        if (i % 2 == 0) {
            double e = std::min(len, t + step);
            thick_line(x0 + ux * t, y0 + uy * t, x0 + ux * e, y0 + uy * e, width);
        }
        t += step;
    }
}

void Canvas::pattern_arc(double cx, double cy, double r, double a0, double a1, double width,
                         const std::vector<double> &pattern) {
    if (pattern.empty() || r <= 0) {
        thick_arc(cx, cy, r, a0, a1, width);
        return;
    }
    double t = a0;
    for (std::size_t i = 0; t < a1; i = (i + 1) % pattern.size()) {
        double step = std::max(pattern[i], 0.5) / r;
        if (i % 2 == 0) thick_arc(cx, cy, r, t, std::min(a1, t + step), width);
        t += step;
    }
}

void Canvas::hatch(const std::vector<Point> &convex, double spacing, double angle,
                   double width) {
    if (convex.size() < 3 || spacing <= 0) return;
    double ux = std::cos(angle), uy = std::sin(angle);  // hatch direction
    double nx = -uy, ny = ux;                           // across the hatch
    double smin = kInf, smax = -kInf;
    for (const Point &q : convex) {
        double s = q.x * nx + q.y * ny;
        smin = std::min(smin, s);
        smax = std::max(smax, s);
    }
    std::size_t n = convex.size();
    for (double s = smin + spacing / 2; s < smax; s += spacing) {
        // Clip the line {p : p . n = s} against every edge of the polygon.
        double tlo = kInf, thi = -kInf;
        for (std::size_t i = 0; i < n; ++i) {
            const Point &a = convex[i], &b = convex[(i + 1) % n];
            double sa = a.x * nx + a.y * ny - s, sb = b.x * nx + b.y * ny - s;
            if ((sa < 0) == (sb < 0)) continue;
            double f = sa / (sa - sb);
            double px = a.x + f * (b.x - a.x), py = a.y + f * (b.y - a.y);
            double t = px * ux + py * uy;
            tlo = std::min(tlo, t);
            thi = std::max(thi, t);
        }
        if (!(tlo < thi)) continue;
        double bx = nx * s, by = ny * s;  // foot of the line on the normal
        thick_line(bx + ux * tlo, by + uy * tlo, bx + ux * thi, by + uy * thi, width);
    }
}

void Canvas::arrow_head(double tx, double ty, double fx, double fy, double length,
                        double half_width) {
    double len = std::hypot(tx - fx, ty - fy);
    if (len <= 0) return;
    double ux = (tx - fx) / len, uy = (ty - fy) / len;
    double bx = tx - ux * length, by = ty - uy * length;
    fill_polygon({{tx, ty}, {bx - uy * half_width, by + ux * half_width},
                  {bx + uy * half_width, by - ux * half_width}});
}

}  // namespace ktvdraw
