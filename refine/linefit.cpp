// The straight centre line of the ink along a link.
//
// Across a stroke, the middle of the black run that a perpendicular line
// cuts is the centre of the stroke at that place, up to the rounding of its
// two edges to pixel borders; the roundings of many cuts average out.  Cuts
// that run into another stroke (at a junction the run is much longer than
// the stroke is wide) or that drift off (a cut that found a neighbouring
// stroke) are dropped, and a line is fitted to the middles of the rest.
#include "refine/linefit.h"

#include <algorithm>
#include <cmath>

namespace ktv::refine {

namespace {

constexpr double kStep = 1.0;            // spacing of the cuts along a link, px
constexpr double kLongStep = 2.0;        // ... along a link longer than kDenseLength
constexpr double kDenseLength = 16.0;    // px
constexpr double kReach = 12.0;          // farthest a cut looks for the stroke's edges, px
constexpr double kJunctionMargin = 1.0;  // no cut this close to a junction node, px
// A fit turning farther from the chord than half a radian is noise: the
// cosine of that turn, written out so that no library computes it.
constexpr double kMaxTurnCos = 0.8775825618903728;

// A cut much wider than the median width ran into another stroke.
bool too_wide(double width, double median_width) { return width > 1.5 * median_width + 1; }
constexpr double kClearWidth = 0.7;  // a cut wider than the stroke by more than this meets another's ink, px

// The line through the middles of the cuts that `use` takes, along their
// principal direction unless that turns too far from the link's; weight 0
// when it takes none.
template <class Use> Line line_through(FitScratch &s, Vec2 u, Use use) {
    double count = 0, lo = 1e300, hi = -1e300;
    Vec2 sum{};
    for (const FitScratch::Cut &c : s.cuts) {
        if (!use(c)) continue;
        count += 1;
        sum = sum + c.middle;
        lo = std::min(lo, c.along);
        hi = std::max(hi, c.along);
    }
    if (count == 0) return {{}, u, 0};
    const Vec2 centre = sum * (1 / count);
    const double spacing = s.cuts.size() > 1 ? (s.cuts.back().along - s.cuts[0].along) / (s.cuts.size() - 1) : kStep;
    Vec2 dir = u;
    if (hi - lo >= 2) {
        // Principal direction of the middles.
        double xx = 0, xy = 0, yy = 0;
        for (const FitScratch::Cut &c : s.cuts) {
            if (!use(c)) continue;
            const Vec2 d = c.middle - centre;
            xx += d.x * d.x;
            xy += d.x * d.y;
            yy += d.y * d.y;
        }
        Vec2 principal = half_angle(xx - yy, 2 * xy);
        if (dot(principal, u) < 0) principal = principal * -1;
        if (dot(principal, u) > kMaxTurnCos) dir = principal;
    }
    return {centre, dir, count * std::max(kStep, spacing)};
}

}  // namespace

double median(double *values, std::size_t n) {
    std::nth_element(values, values + n / 2, values + n);
    return values[n / 2];
}

std::size_t max_cuts(double length) {
    const double dense = kDenseLength / kStep + 1, sparse = length / kLongStep + 1;
    return static_cast<std::size_t>(std::max(dense, sparse)) + 1;
}

bool fit_link(const Ink &ink, Vec2 a, Vec2 b, bool a_junction, bool b_junction, FitScratch &s, LinkFit &fit,
              bool clear) {
    fit = {};
    const double length = norm(b - a);
    if (length < 1) return true;
    const Vec2 u = (b - a) * (1 / length), n = perp(u);
    const double from = a_junction ? kJunctionMargin : 0, to = length - (b_junction ? kJunctionMargin : 0);
    s.cuts.clear();
    if (to >= from) {
        const double step = to - from > kDenseLength ? kLongStep : kStep;
        const int count = static_cast<int>((to - from) / step) + 1;
        for (int k = 0; k < count; ++k) {
            const double t = count > 1 ? from + (to - from) * k / (count - 1) : 0.5 * (from + to);
            const Vec2 p = a + u * t;
            Run r;
            if (!run_across(ink, p, n, kReach, r)) continue;
            if (!s.cuts.push({p + n * r.middle(), t, r.middle(), r.width()})) return false;
        }
    }
    if (s.cuts.empty()) return true;
    if (!s.values.resize(s.cuts.size())) return false;
    for (std::size_t i = 0; i < s.cuts.size(); ++i) s.values[i] = s.cuts[i].width;
    const double width = median(s.values.data(), s.cuts.size());
    std::size_t kept = 0;
    for (const FitScratch::Cut &c : s.cuts)
        if (!too_wide(c.width, width)) s.values[kept++] = c.offset;
    if (kept == 0) return true;
    const double offset = median(s.values.data(), kept), drift = 1.0 + 0.25 * width;
    auto use = [&](const FitScratch::Cut &c) { return !too_wide(c.width, width) && std::fabs(c.offset - offset) <= drift; };

    fit.line = line_through(s, u, use);
    // The same through the cuts no wider than the stroke: where it runs
    // merged with another at a narrow angle, the cuts there are up to
    // twice as wide and their middles lean towards the other.
    if (clear)
        fit.clear = line_through(s, u, [&](const FitScratch::Cut &c) { return use(c) && c.width <= width + kClearWidth; });
    fit.width = width;
    for (const FitScratch::Cut &c : s.cuts)
        if (use(c)) fit.spread = std::max(fit.spread, std::fabs(distance_to(fit.line, c.middle)));
    fit.ok = true;
    return true;
}

bool fit_leg(const Ink &ink, Vec2 a, Vec2 b, FitScratch &scratch, LinkFit &fit, Line &line) {
    if (!fit_link(ink, a, b, false, false, scratch, fit, true)) return false;
    line = fit.clear.weight > 0 ? fit.clear : fit.line;
    if (dot(line.dir, b - a) < 0) line.dir = line.dir * -1;
    return true;
}

void Meeting::add(const Line &l) {
    const Vec2 m = perp(l.dir);
    const double w = l.weight, c = dot(m, l.at);
    xx_ += w * m.x * m.x;
    xy_ += w * m.x * m.y;
    yy_ += w * m.y * m.y;
    bx_ += w * m.x * c;
    by_ += w * m.y * c;
    weight_ += w;
}

Vec2 Meeting::solve(Vec2 own, double pull) const {
    const double p = pull * weight_ + 1e-6;
    const double a = xx_ + p, b = xy_, d = yy_ + p;
    const double rx = bx_ + p * own.x, ry = by_ + p * own.y;
    const double det = a * d - b * b;
    if (!(std::fabs(det) > 1e-12)) return own;
    return {(d * rx - b * ry) / det, (a * ry - b * rx) / det};
}

}  // namespace ktv::refine
