// Known-vector sheets and the geometry that scores results against them.
#include "groundtruth.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tiles.h"
#include "vectorizer/geometry.h"

namespace ktvdraw {

namespace {
using ktv::kPi;

double segment_distance(Point p, Point a, Point b) {
    double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool inside_polygon(const std::vector<Point> &poly, Point p) {
    bool in = false;
    for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const Point &a = poly[i], &b = poly[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y))
            in = !in;
    }
    return in;
}

// Bounding box of the centre line (of the whole region for polygons).
void bounds(const Primitive &q, double &x0, double &y0, double &x1, double &y1) {
    switch (q.kind) {
    case Primitive::Line:
        x0 = std::min(q.x0, q.x1); x1 = std::max(q.x0, q.x1);
        y0 = std::min(q.y0, q.y1); y1 = std::max(q.y0, q.y1);
        break;
    case Primitive::Arc:
        x0 = q.cx - q.r; x1 = q.cx + q.r; y0 = q.cy - q.r; y1 = q.cy + q.r;
        break;
    case Primitive::Polygon:
        x0 = y0 = std::numeric_limits<double>::infinity();
        x1 = y1 = -x0;
        for (const Point &p : q.points) {
            x0 = std::min(x0, p.x); x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y); y1 = std::max(y1, p.y);
        }
        break;
    }
}

// The motifs, each inside the square tile of side kTile at (tx, ty).
class Motifs {
public:
    Motifs(Canvas &c, Rng &rng, const GroundTruthOptions &o) : c_(c), rng_(rng), o_(o) {}

    void draw(int kind, double tx, double ty) {
        cx_ = tx + kTile / 2;
        cy_ = ty + kTile / 2;
        switch (kind % 7) {
        case 0: star(); break;
        case 1: circles(); break;
        case 2: arcs(); break;
        case 3: tee(); break;
        case 4: crossing(); break;
        case 5: corner(); break;
        default: parallels(); break;
        }
    }

private:
    double width() {
        const int w = rng_.range(o_.min_width, o_.max_width);
        return o_.pens.empty() ? w : o_.pens[static_cast<std::size_t>(w) % o_.pens.size()];
    }
    double angle() { return rng_.uniform(0, 2 * kPi); }
    Point polar(double r, double a) const { return {cx_ + r * std::cos(a), cy_ + r * std::sin(a)}; }
    void line(Point a, Point b, double w) { c_.thick_line(a.x, a.y, b.x, b.y, w); }

    // Twelve separate spokes: lines at twelve directions, the start turned at random.
    void star() {
        double start = angle();
        for (int k = 0; k < 12; ++k) {
            double a = start + k * kPi / 6;
            line(polar(30, a), polar(72, a), width());
        }
    }
    void circles() {
        double w1 = width(), w2 = width();
        c_.circle(cx_ + rng_.uniform(-3, 3), cy_ + rng_.uniform(-3, 3), rng_.uniform(44, 62), w1);
        c_.circle(cx_ + rng_.uniform(-5, 5), cy_ + rng_.uniform(-5, 5), rng_.uniform(6, 18), w2);
    }
    void arcs() {
        for (double r : {rng_.uniform(45, 65), rng_.uniform(12, 30)}) {
            double a0 = angle();
            c_.thick_arc(cx_, cy_, r, a0, a0 + rng_.uniform(0.5, 1.7 * kPi), width());
        }
    }
    // A bar with a stem meeting it in its middle at 50..130 degrees.
    void tee() {
        double a = angle(), w = width();
        Point p = polar(-60, a), q = polar(60, a);
        line(p, q, w);
        double s = a + rng_.uniform(50, 130) * kPi / 180;
        line({cx_, cy_}, polar(65, s), width());
    }
    void crossing() {
        double a = angle(), b = a + rng_.uniform(30, 150) * kPi / 180;
        line(polar(-65, a), polar(65, a), width());
        line(polar(-65, b), polar(65, b), width());
    }
    // Two strokes sharing an end point at 30..150 degrees.
    void corner() {
        double a = angle(), b = a + rng_.uniform(30, 150) * kPi / 180;
        Point o{cx_, cy_};
        double w = width();
        line(o, polar(65, a), w);
        line(o, polar(65, b), w);
    }
    // Parallel strokes at one angle, clear gaps of 1.5 stroke widths + 4 px.
    void parallels() {
        double a = angle(), nx = -std::sin(a), ny = std::cos(a);
        double w = width(), gap = 2.5 * w + 4;
        for (int k = -2; k <= 2; ++k) {
            double ox = nx * gap * k, oy = ny * gap * k;
            Point p = polar(-45, a), q = polar(45, a);
            line({p.x + ox, p.y + oy}, {q.x + ox, q.y + oy}, w);
        }
    }

    Canvas &c_;
    Rng &rng_;
    const GroundTruthOptions &o_;
    double cx_ = 0, cy_ = 0;
};
}  // namespace

Canvas render_ground_truth(int width, int height, std::uint64_t seed,
                           const GroundTruthOptions &options) {
    return tiled_sheet(width, height, seed, options, [&](Canvas &c, Rng &rng) { return Motifs(c, rng, options); });
}

double distance_to(const Primitive &q, Point p) {
    switch (q.kind) {
    case Primitive::Line:
        return segment_distance(p, {q.x0, q.y0}, {q.x1, q.y1});
    case Primitive::Arc: {
        double a = std::atan2(p.y - q.cy, p.x - q.cx);
        while (a < q.a0) a += 2 * kPi;
        while (a >= q.a0 + 2 * kPi) a -= 2 * kPi;
        if (a <= q.a1) return std::fabs(std::hypot(p.x - q.cx, p.y - q.cy) - q.r);
        Point s{q.cx + q.r * std::cos(q.a0), q.cy + q.r * std::sin(q.a0)};
        Point e{q.cx + q.r * std::cos(q.a1), q.cy + q.r * std::sin(q.a1)};
        return std::min(std::hypot(p.x - s.x, p.y - s.y), std::hypot(p.x - e.x, p.y - e.y));
    }
    case Primitive::Polygon: {
        if (q.points.empty()) return std::numeric_limits<double>::infinity();
        if (q.points.size() >= 3 && inside_polygon(q.points, p)) return 0;
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < q.points.size(); ++i)
            best = std::min(best, segment_distance(p, q.points[i], q.points[(i + 1) % q.points.size()]));
        return best;
    }
    }
    return std::numeric_limits<double>::infinity();
}

std::vector<Point> sample_along(const Primitive &q, double step) {
    std::vector<Point> out;
    step = std::max(step, 1e-3);
    auto segment = [&](Point a, Point b, bool last) {
        int n = std::max(1, (int)std::ceil(std::hypot(b.x - a.x, b.y - a.y) / step));
        for (int i = 0; i < n + (last ? 1 : 0); ++i)
            out.push_back({a.x + (b.x - a.x) * i / n, a.y + (b.y - a.y) * i / n});
    };
    switch (q.kind) {
    case Primitive::Line:
        segment({q.x0, q.y0}, {q.x1, q.y1}, true);
        break;
    case Primitive::Arc: {
        int n = std::max(1, (int)std::ceil(q.r * (q.a1 - q.a0) / step));
        for (int i = 0; i <= n; ++i) {
            double a = q.a0 + (q.a1 - q.a0) * i / n;
            out.push_back({q.cx + q.r * std::cos(a), q.cy + q.r * std::sin(a)});
        }
        break;
    }
    case Primitive::Polygon:
        for (std::size_t i = 0; i < q.points.size(); ++i)
            segment(q.points[i], q.points[(i + 1) % q.points.size()], false);
        break;
    }
    return out;
}

PrimitiveIndex::PrimitiveIndex(const std::vector<Primitive> &primitives, double cell)
    : primitives_(primitives), cell_(std::max(cell, 1.0)), stamp_(primitives.size(), 0) {
    if (primitives.empty()) return;
    double X0 = std::numeric_limits<double>::infinity(), Y0 = X0, X1 = -X0, Y1 = -X0;
    for (const Primitive &q : primitives) {
        widest_ = std::max(widest_, q.width);
        double a, b, c, d;
        bounds(q, a, b, c, d);
        X0 = std::min(X0, a); Y0 = std::min(Y0, b); X1 = std::max(X1, c); Y1 = std::max(Y1, d);
    }
    x0_ = X0;
    y0_ = Y0;
    cols_ = std::max(1, (int)std::ceil((X1 - X0) / cell_) + 1);
    rows_ = std::max(1, (int)std::ceil((Y1 - Y0) / cell_) + 1);
    cells_.resize((std::size_t)cols_ * rows_);
    for (std::size_t i = 0; i < primitives.size(); ++i) {
        double a, b, c, d;
        bounds(primitives[i], a, b, c, d);
        int ca = (int)((a - x0_) / cell_), cb = (int)((b - y0_) / cell_);
        int cc = std::min(cols_ - 1, (int)((c - x0_) / cell_)), cd = std::min(rows_ - 1, (int)((d - y0_) / cell_));
        for (int y = cb; y <= cd; ++y)
            for (int x = ca; x <= cc; ++x) cells_[(std::size_t)y * cols_ + x].push_back((int)i);
    }
}

// Calls visit(i) once for every primitive whose cells meet the square of
// side 2 radius round p.
template <class Visit> void PrimitiveIndex::visit(Point p, double radius, Visit visit) const {
    if (cells_.empty()) return;
    if (++query_ == 0) {  // stamps wrapped: start again
        std::fill(stamp_.begin(), stamp_.end(), 0u);
        query_ = 1;
    }
    // cell range of the query square, clamped before any conversion to int
    auto cell_of = [&](double v, double origin, int count) {
        return (int)std::clamp(std::floor((v - origin) / cell_), -1.0, (double)count);
    };
    int ca = std::max(0, cell_of(p.x - radius, x0_, cols_));
    int cb = std::max(0, cell_of(p.y - radius, y0_, rows_));
    int cc = std::min(cols_ - 1, cell_of(p.x + radius, x0_, cols_));
    int cd = std::min(rows_ - 1, cell_of(p.y + radius, y0_, rows_));
    for (int y = cb; y <= cd; ++y)
        for (int x = ca; x <= cc; ++x)
            for (int i : cells_[(std::size_t)y * cols_ + x]) {
                if (stamp_[i] == query_) continue;
                stamp_[i] = query_;
                visit(i);
            }
}

int PrimitiveIndex::nearest(Point p, double maxdist, double *distance) const {
    int best = -1;
    double bestd = std::numeric_limits<double>::infinity();
    visit(p, maxdist, [&](int i) {
        double d = distance_to(primitives_[i], p);
        if (d <= maxdist && (d < bestd || (d == bestd && i < best))) {
            bestd = d;
            best = i;
        }
    });
    if (distance) *distance = bestd;
    return best;
}

void PrimitiveIndex::within(Point p, double radius, std::vector<int> &out) const {
    out.clear();
    visit(p, radius, [&](int i) {
        if (distance_to(primitives_[i], p) <= radius) out.push_back(i);
    });
    std::sort(out.begin(), out.end());
}

double PrimitiveIndex::border_offset(Point p, double radius) const {
    double best = radius;
    visit(p, radius + widest_ / 2, [&](int i) {
        best = std::min(best, distance_to(primitives_[i], p) - primitives_[i].width / 2);
    });
    return best;
}

}  // namespace ktvdraw
