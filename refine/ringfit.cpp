// Sides of a polygon along a crack chain.
//
// A straight edge of the ink, sampled at pixel centres, shows as a
// staircase of cracks whose steps lie within half a pixel on either side
// of the true edge; the cracks average out to it.  A scanned or hand-drawn
// edge adds burrs and notches a pixel deep.  So the chain is cut into sides
// in two steps, and each side is then fitted to the cracks themselves:
//
//  1. Where to cut.  The crack midpoints are smoothed along the chain
//     (binomial weights 1 4 6 4 1), which flattens the staircase and most
//     of a one-pixel burr but keeps every bend longer than a few pixels.  A
//     side grows greedily, edge by edge, while some line through its first
//     smoothed point passes within `halfwidth` (more on a rough border) of
//     all its smoothed points
//     (the directions of such lines form a cone that narrows with every
//     point: a constant amount of work per point), and it never turns back
//     on itself: no runs in all four directions, and a run against a
//     direction already in the side only when it is one pixel long (a notch
//     or a burr).  A closed chain has no natural start, so the first side
//     is grown from the chain's start only to find where a side ends, and
//     the sides are then laid from there round to it again.
//  2. Each cut then moves up to `shift` edges either way to where the two
//     sides it separates fit their cracks best (least total squared
//     distance from their lines): smoothing rounds corners, so the cone
//     ends a side an edge or two early or late.
//  3. Neighbouring sides then merge, cheapest first, while one line fits
//     their cracks about as well as two do, measured against the cracks'
//     own scatter (merge_sides()); the cuts settle once more as in 2.
//  4. A side that bows (its middle off its line one way, its ends the
//     other: a stretch of a tight curve) is halved until none does
//     (split_bowed()).
//  5. Each side's line is the least-squares line of its cracks (a uniform
//     density along them, not their smoothed points), and each vertex is
//     where the lines of its two sides cross, held within `reach` of the
//     chain point between them, or, for sides that turn only a little
//     (along a curve, where the crossing may lie a few pixels along), by
//     the smoothed chain near it.  Sides too near parallel to cross there
//     (the two sides of a stroke one pixel wide meeting at its end, or a
//     step along an edge) keep both feet of that point, one on each line,
//     or their middle when the feet nearly meet.
//
// Every unit crack edge is smoothed once, enters the cone of at most two
// sides (the one that takes it and the one it stops) and the running sums
// once, so the work is linear in the length of the chain (merging adds
// n log n in its sides, the bow test a few passes over the chain).
#include "refine/ringfit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ktv::refine {

namespace {

constexpr int kDx[4] = {1, 0, -1, 0};
constexpr int kDy[4] = {0, 1, 0, -1};
constexpr double kSameFoot = 0.6;   // feet closer than this are one vertex, px
constexpr double kParallel = 1e-6;  // sine below which two sides do not cross
constexpr int kNearChain = 8;       // edges either side of a cut that its vertex may lie by
constexpr double kShallow = 0.2;    // ... when its sides turn by less than this sine
constexpr double kCornerSlack = 0.25;  // px, see merge_sides()
constexpr int kBowShortest = 6;     // edges: shorter sides are not cut for bowing
constexpr int kBowPasses = 16;      // most halvings of one side, see split_bowed()
// Least scatter per crack edge assumed when sides merge, px^2: a side along
// a row of pixels fits its cracks exactly, and chance alone should not
// forbid lengthening it.
constexpr double kMinScatter = 0.02;

Vec2 node_frame(const Corner &c) { return {c.x - 0.5, c.y - 0.5}; }

int direction_of(int dx, int dy) { return dx > 0 ? 0 : dy > 0 ? 1 : dx < 0 ? 2 : 3; }

struct Fit {
    Vec2 centre, dir;
    double residual = 0;  // sum of squared distances from the line
};

// Least-squares line of a density with the given moments: through its
// centroid along the eigenvector of the larger eigenvalue of its scatter.
Fit fit_moments(double n, double sx, double sy, double sxx, double sxy, double syy) {
    Fit f;
    const double inv = 1 / n;
    f.centre = {sx * inv, sy * inv};
    const double a = sxx * inv - f.centre.x * f.centre.x, b = sxy * inv - f.centre.x * f.centre.y,
                 c = syy * inv - f.centre.y * f.centre.y;
    const double h = 0.5 * (a - c), root = std::sqrt(h * h + b * b);
    f.residual = std::max(0.0, 0.5 * (a + c) - root) * n;
    const Vec2 major = h >= 0 ? Vec2{h + root, b} : Vec2{b, root - h};
    const double len = norm(major);
    f.dir = len > 0 ? major * (1 / len) : Vec2{1, 0};
    return f;
}

}  // namespace

bool RingFitter::expand(const Corner *ring, std::size_t n) {
    std::size_t total = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const Corner &p = ring[k], &q = ring[k + 1 < n ? k + 1 : 0];
        total += static_cast<std::size_t>(std::abs(q.x - p.x) + std::abs(q.y - p.y));
    }
    if (!mid_.resize(total) || !dir_.resize(total) || !runlen_.resize(total) || !smooth_.resize(total) ||
        !deviation_.resize(total) ||
        !sums_.resize(total + 1))
        return false;
    edges_ = static_cast<int>(total);
    origin_ = node_frame(ring[0]);
    std::size_t e = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const Corner &p = ring[k], &q = ring[k + 1 < n ? k + 1 : 0];
        const int dx = (q.x > p.x) - (q.x < p.x), dy = (q.y > p.y) - (q.y < p.y);
        const int steps = std::abs(q.x - p.x) + std::abs(q.y - p.y);
        const unsigned char d = static_cast<unsigned char>(direction_of(dx, dy));
        const double x0 = p.x - ring[0].x, y0 = p.y - ring[0].y;
        for (int i = 0; i < steps; ++i, ++e) {
            mid_[e] = {x0 + dx * (i + 0.5), y0 + dy * (i + 0.5)};
            dir_[e] = d;
            runlen_[e] = i == 0 ? steps : 0;
        }
    }
    // Smoothing round the closed chain, and the running sums of the edges'
    // moments (an edge along x adds 1/12 to its spread in x).
    const std::size_t t = total;
    sums_[0] = {0, 0, 0, 0, 0, 0};
    double rough = 0;
    for (std::size_t i = 0; i < t; ++i) {
        if (t >= 5) {
            const bool inner = i >= 2 && i + 2 < t;
            const std::size_t a = inner ? i - 2 : (i + t - 2) % t, b = inner ? i - 1 : (i + t - 1) % t,
                              c = inner ? i + 1 : (i + 1) % t, d = inner ? i + 2 : (i + 2) % t;
            smooth_[i] = (mid_[a] + mid_[d] + (mid_[b] + mid_[c]) * 4 + mid_[i] * 6) * (1.0 / 16);
        } else {
            smooth_[i] = mid_[i];
        }
        const Vec2 m = mid_[i];
        const Sum &s = sums_[i];
        sums_[i + 1] = {s.n + 1,
                        s.x + m.x,
                        s.y + m.y,
                        s.xx + m.x * m.x + (dir_[i] % 2 == 0 ? 1.0 / 12 : 0.0),
                        s.xy + m.x * m.y,
                        s.yy + m.y * m.y + (dir_[i] % 2 == 1 ? 1.0 / 12 : 0.0)};
        rough += norm(m - smooth_[i]);
        deviation_[i] = dot(m - smooth_[i], m - smooth_[i]);
    }
    // The scatter of the cracks about a straight border, for merging
    // sides: from the median deviation, which a few corners on a small
    // ring do not raise as they raise the mean.
    std::nth_element(deviation_.begin(), deviation_.begin() + t / 2, deviation_.end());
    scatter_ = std::max(kMinScatter, limits_.noise * deviation_[t / 2]);
    // A rough border (scanner noise, a ragged brush) moves its cracks
    // farther from their smoothed chain than a clean staircase does (about
    // 0.03 px on a clean rendered edge, 0.08 on the real drawings, 0.15 on
    // a noisy scan); its sides are allowed to stray as far in proportion,
    // so that they follow the stroke rather than every burr.
    halfwidth_ = std::max(limits_.halfwidth, limits_.roughness * rough / static_cast<double>(t));
    return true;
}

RingFitter::Sum RingFitter::between(int from, int to) const {
    const Sum &a = sums_[static_cast<std::size_t>(from)], &b = sums_[static_cast<std::size_t>(to)];
    if (from < to) return {b.n - a.n, b.x - a.x, b.y - a.y, b.xx - a.xx, b.xy - a.xy, b.yy - a.yy};
    const Sum &e = sums_[static_cast<std::size_t>(edges_)];
    return {e.n - a.n + b.n,    e.x - a.x + b.x,    e.y - a.y + b.y,
            e.xx - a.xx + b.xx, e.xy - a.xy + b.xy, e.yy - a.yy + b.yy};
}

double RingFitter::residual(int from, int to) const {
    const Sum s = between(from, to);
    return fit_moments(s.n, s.x, s.y, s.xx, s.xy, s.yy).residual;
}

Line RingFitter::line(int from, int to) const {
    const Sum s = between(from, to);
    const Fit f = fit_moments(s.n, s.x, s.y, s.xx, s.xy, s.yy);
    return {origin_ + f.centre, f.dir, s.n};
}

Vec2 RingFitter::chain_point(int edge) const {
    const std::size_t u = static_cast<std::size_t>(edge);
    return origin_ + mid_[u] - Vec2{kDx[dir_[u]] * 0.5, kDy[dir_[u]] * 0.5};
}

// Whether p lies within the sides' straightness of the smoothed chain a few
// edges either side of edge `edge`: where two sides meet at a shallow angle
// along a curve, their lines cross a few pixels along it from the cut, yet
// on the curve.
bool RingFitter::near_chain(Vec2 p, int edge) const {
    const Vec2 q = p - origin_;
    for (int i = -kNearChain; i <= kNearChain; ++i) {
        const std::size_t u = static_cast<std::size_t>(((edge + i) % edges_ + edges_) % edges_);
        if (norm(q - smooth_[u]) <= halfwidth_) return true;
    }
    return false;
}

bool RingFitter::crossing(const Line &a, const Line &b, int edge, Vec2 &at) const {
    const double det = cross(a.dir, b.dir);
    if (!(std::fabs(det) > kParallel)) return false;
    at = a.at + a.dir * (cross(b.at - a.at, b.dir) / det);
    return norm(at - chain_point(edge)) <= limits_.reach || (std::fabs(det) < kShallow && near_chain(at, edge));
}

// Grows a side from edge `first` over at most `limit` edges; returns the
// edges it took (at least one).  The cone is kept as its two bounding
// directions, clockwise `lo` and anticlockwise `hi`; a point q at distance
// d > halfwidth from the apex allows the directions within asin(halfwidth /
// d) of its own, bounded by q's two tangents to the circle of that radius.
int RingFitter::grow(int first, int limit) {
    const double t = halfwidth_;
    const Vec2 apex = smooth_[static_cast<std::size_t>(first)];
    Vec2 lo, hi;
    bool coned = false;
    int seen = 1 << dir_[static_cast<std::size_t>(first)];  // directions in the side
    int k = 1;
    for (int i = first + 1 < edges_ ? first + 1 : 0; k < limit; ++k, i = i + 1 < edges_ ? i + 1 : 0) {
        const std::size_t u = static_cast<std::size_t>(i);
        if (runlen_[u] > 0) {
            const int bit = 1 << dir_[u], back = 1 << ((dir_[u] + 2) & 3);
            if ((seen | bit) == 15 || ((seen & back) && runlen_[u] > 1)) break;
            seen |= bit;
        }
        const Vec2 r = smooth_[u] - apex;
        const double d2 = dot(r, r);
        if (d2 <= t * t) continue;
        const double c = std::sqrt(d2 - t * t);
        const Vec2 side = perp(r) * t, a = r * c - side, b = r * c + side;
        if (!coned) {
            lo = a;
            hi = b;
            coned = true;
            continue;
        }
        const Vec2 nlo = cross(lo, a) > 0 ? a : lo, nhi = cross(b, hi) > 0 ? b : hi;
        if (cross(nlo, nhi) < 0) break;
        lo = nlo;
        hi = nhi;
    }
    return k;
}

bool RingFitter::corners(const Corner *ring, std::size_t n, Array<Vec2> &polygon) const {
    polygon.clear();
    for (std::size_t k = 0; k < n; ++k)
        if (!polygon.push(node_frame(ring[k]))) return false;
    return true;
}

// Merges neighbouring sides, cheapest first, while one line fits the
// cracks of both about as well as two: the cone of grow() cuts a side as
// soon as one smoothed point strays, and on a rough border a burr does that
// well inside a straight run.  The cost of merging at a cut is the growth
// of the squared-distance sum of the cracks from their least-squares lines,
// in units of the two sides' own scatter per edge; a straight border cut by
// chance grows it by about two such units, a true corner by a multiple of
// its sides' length.  The corner that goes must also lie within the sides'
// straightness of the merged line.  Every merge rescores its two
// neighbours only, so the work is n log n in the sides.
bool RingFitter::merge_sides() {
    const int e = edges_, n = static_cast<int>(cuts_.size());
    if (n <= 3 || !(limits_.merge > 0)) return true;
    if (!prev_.resize(cuts_.size()) || !next_.resize(cuts_.size()) || !stamp_.resize(cuts_.size())) return false;
    for (int j = 0; j < n; ++j) {
        prev_[static_cast<std::size_t>(j)] = (j + n - 1) % n;
        next_[static_cast<std::size_t>(j)] = (j + 1) % n;
        stamp_[static_cast<std::size_t>(j)] = 0;
    }
    auto cut = [this](int j) { return cuts_[static_cast<std::size_t>(j)]; };
    auto span = [e](int from, int to) { return to > from ? to - from : to - from + e; };
    auto cost = [&](int j) {
        const int p = cut(prev_[static_cast<std::size_t>(j)]), c = cut(j), q = cut(next_[static_cast<std::size_t>(j)]);
        const double ra = residual(p, c), rb = residual(c, q), whole = residual(p, q);
        const double scatter = std::max(scatter_, (ra + rb) / span(p, q));
        const double growth = (whole - ra - rb) / scatter;
        if (!(growth <= limits_.merge)) return -1.0;
        // The corner that goes: where the two lines cross, or else the
        // smoothed chain there (a staircase's own corner lies up to half a
        // pixel off the border, its smoothed point a quarter).
        Vec2 corner = origin_ + smooth_[static_cast<std::size_t>(c)];
        Vec2 v;
        if (crossing(line(p, c), line(c, q), c, v)) corner = v;
        return std::fabs(distance_to(line(p, q), corner)) <= halfwidth_ + kCornerSlack ? growth : -1.0;
    };
    auto later = [](const Merge &x, const Merge &y) { return x.cost != y.cost ? x.cost > y.cost : x.cut > y.cut; };
    auto offer = [&](int j) {
        const double c = cost(j);
        if (c < 0) return true;
        if (!heap_.push({c, j, stamp_[static_cast<std::size_t>(j)]})) return false;
        std::push_heap(heap_.begin(), heap_.end(), later);
        return true;
    };
    heap_.clear();
    for (int j = 0; j < n; ++j)
        if (!offer(j)) return false;
    int live = n;
    while (!heap_.empty() && live > 3) {
        std::pop_heap(heap_.begin(), heap_.end(), later);
        const Merge m = heap_.back();
        heap_.pop();
        const std::size_t j = static_cast<std::size_t>(m.cut);
        if (m.stamp != stamp_[j]) continue;
        const int p = prev_[j], q = next_[j];
        stamp_[j] = -1;  // gone
        next_[static_cast<std::size_t>(p)] = q;
        prev_[static_cast<std::size_t>(q)] = p;
        ++stamp_[static_cast<std::size_t>(p)];
        ++stamp_[static_cast<std::size_t>(q)];
        --live;
        if (!offer(p) || !offer(q)) return false;
    }
    int kept = 0;
    for (int j = 0; j < n; ++j)
        if (stamp_[static_cast<std::size_t>(j)] >= 0) cuts_[static_cast<std::size_t>(kept++)] = cut(j);
    cuts_.resize(static_cast<std::size_t>(kept));
    return true;
}

// Whether the side of `len` edges from edge `a` bows: the mean offset from
// its least-squares line of the middle half of its smoothed chain and that
// of its two outer quarters differ by more than `limit`.
bool RingFitter::bows(int a, int len, double limit) const {
    const Line l = line(a, (a + len) % edges_);
    const Vec2 at = l.at - origin_;
    double middle = 0, outer = 0;
    int in_middle = 0;
    for (int k = 0, i = a; k < len; ++k, i = i + 1 < edges_ ? i + 1 : 0) {
        const double d = cross(l.dir, smooth_[static_cast<std::size_t>(i)] - at);
        if (4 * k >= len && 4 * k < 3 * len) {
            middle += d;
            ++in_middle;
        } else {
            outer += d;
        }
    }
    return std::fabs(middle / in_middle - outer / (len - in_middle)) > limit;
}

// Cuts each side that bows at its middle, until none does.  The cone of
// grow() lets a side's line pass anywhere within the straightness of its
// smoothed points, so along a tight curve a side may take a sagitta of
// twice that, and the lines of neighbouring sides then cross a pixel off
// the ink (the corners of a polygon round a round cap).  The least-squares
// line of an arc has the arc's middle on one side and its ends on the
// other; a straight border's burrs fall on both sides of it everywhere.  So
// the test compares the mean offset of the middle half of the smoothed
// chain with that of the outer quarters (bows()).  A side depends on its
// own edges alone, so only the halves just cut are tested again: each edge
// is walked once per halving of its side, at most `kBowPasses` times.
bool RingFitter::split_bowed() {
    const int e = edges_;
    auto span = [e](int from, int to) { return to > from ? to - from : to - from + e; };
    const double limit = limits_.bow * halfwidth_;
    if (!(limit > 0)) return true;
    if (!untested_.resize(cuts_.size())) return false;
    for (unsigned char &u : untested_) u = 1;
    for (int pass = 0; pass < kBowPasses; ++pass) {
        const std::size_t n = cuts_.size();
        spare_.clear();
        spare_untested_.clear();
        bool cut = false;
        for (std::size_t j = 0; j < n; ++j) {
            const int a = cuts_[j], len = span(a, cuts_[j + 1 < n ? j + 1 : 0]);
            const bool halve = untested_[j] && len >= kBowShortest && bows(a, len, limit);
            if (!spare_.push(a) || !spare_untested_.push(halve)) return false;
            if (!halve) continue;
            if (!spare_.push((a + len / 2) % e) || !spare_untested_.push(1)) return false;
            cut = true;
        }
        if (!cut) break;
        cuts_.swap(spare_);
        untested_.swap(spare_untested_);
    }
    return true;
}

// Each cut to where its two sides fit best, keeping every side at least two
// edges long and the cuts in order.  The cost along the chain has one valley
// near a corner, so the search walks downhill from the cut, at most `shift`
// edges.
void RingFitter::shift_cuts(int limit) {
    const int e = edges_;
    auto span = [e](int from, int to) { return to > from ? to - from : to - from + e; };
    auto at = [this](int j) {
        const int sides = static_cast<int>(cuts_.size());
        return cuts_[static_cast<std::size_t>((j % sides + sides) % sides)];
    };
    for (int j = 0; j < static_cast<int>(cuts_.size()) && limit > 0; ++j) {
        const int prev = at(j - 1), next = at(j + 1), whole = span(prev, next);
        auto cost = [&](int b) {
            if (span(prev, b) < 2 || span(b, next) < 2 || span(prev, b) + span(b, next) != whole) return -1.0;
            return residual(prev, b) + residual(b, next);
        };
        int best = at(j);
        double best_cost = cost(best);
        for (const int step : {-1, 1}) {
            for (int s = 1; s <= limit; ++s) {
                const int b = ((at(j) + step * s) % e + e) % e;
                const double c = cost(b);
                if (c < 0 || c >= best_cost) break;
                best_cost = c;
                best = b;
            }
            if (best != at(j)) break;
        }
        cuts_[static_cast<std::size_t>(j)] = best;
    }
}

bool RingFitter::reserve(std::size_t edges) {
    // A chain has at most one side per edge, and merging sides keeps at
    // most three candidates per side waiting.
    return mid_.reserve(edges) && dir_.reserve(edges) && runlen_.reserve(edges) && smooth_.reserve(edges) &&
           deviation_.reserve(edges) && sums_.reserve(edges + 1) && cuts_.reserve(edges) && spare_.reserve(edges) &&
           untested_.reserve(edges) && spare_untested_.reserve(edges) && lines_.reserve(edges) &&
           prev_.reserve(edges) && next_.reserve(edges) && stamp_.reserve(edges) && heap_.reserve(3 * edges);
}

bool RingFitter::fit(const Corner *ring, std::size_t n, Array<Vec2> &polygon) {
    polygon.clear();
    cuts_.clear();
    // A chain of four turns is a rectangle of pixels: its corners are its
    // polygon.
    if (n <= 4) return corners(ring, n, polygon);
    if (!expand(ring, n)) return false;
    const int e = edges_;
    const int start = grow(0, e);
    if (start >= e) return corners(ring, n, polygon);
    for (int at = start, covered = 0; covered < e;) {
        const int taken = grow(at, e - covered);
        if (!cuts_.push(at)) return false;
        covered += taken;
        at = (at + taken) % e;
    }
    if (cuts_.size() < 2) return corners(ring, n, polygon);

    shift_cuts(limits_.shift);
    if (!merge_sides()) return false;
    shift_cuts(limits_.shift);
    if (!split_bowed()) return false;
    auto at = [this](int j) {
        const int sides = static_cast<int>(cuts_.size());
        return cuts_[static_cast<std::size_t>((j % sides + sides) % sides)];
    };
    const int sides = static_cast<int>(cuts_.size());

    // One line per side.
    if (!lines_.resize(static_cast<std::size_t>(sides))) return false;
    for (int j = 0; j < sides; ++j) lines_[static_cast<std::size_t>(j)] = line(at(j), at(j + 1));
    for (int j = 0; j < sides; ++j) {
        const Line &a = lines_[static_cast<std::size_t>(j == 0 ? sides - 1 : j - 1)], &b = lines_[static_cast<std::size_t>(j)];
        const Vec2 c = chain_point(at(j));
        Vec2 v;
        if (crossing(a, b, at(j), v)) {
            if (!polygon.push(v)) return false;
            continue;
        }
        const Vec2 fa = foot(a, c), fb = foot(b, c);
        if (norm(fb - fa) > kSameFoot) {
            if (!polygon.push(fa) || !polygon.push(fb)) return false;
        } else if (!polygon.push((fa + fb) * 0.5)) {
            return false;
        }
    }
    // Two sides that met twice at a crossing make a sliver of two points;
    // such a chain keeps its corners.
    if (polygon.size() < 3) return corners(ring, n, polygon);
    return true;
}

}  // namespace ktv::refine
