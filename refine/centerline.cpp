// Centre lines against the ink.
//
// Every link of the driver's graph is a chord between two skeleton pixels.
// The skeleton is a digital approximation: on a stroke an even number of
// pixels wide its pixels lie half a pixel to one side of the centre, and at
// a junction thinning leaves the branch pixel one pixel into the branch, so
// the links next to it lean.  What the ink says is better: across a stroke,
// the middle of the black run that a perpendicular line cuts is the centre
// of the stroke at that place, up to the rounding of its two edges, and the
// roundings of many cuts average out.
//
// So each link is measured by cuts across it, one per pixel of its length;
// cuts that run into another stroke (at a junction the run is much longer
// than the stroke is wide) or that drift off (a cut that found another
// stroke nearby) are dropped; a straight line is fitted to the middles of
// the rest.  Each node is then put at the point nearest, in the least-squares
// sense, to the lines of all its links: the crossing of two chords at a
// bend, the meeting point of the branches at a junction.  A weak pull
// towards the node's own pixel settles what the lines leave open (the
// position along one line, or along two that are nearly parallel).  Free
// ends are then carried along their stroke to the tip of its ink, which
// thinning leaves about half a stroke width short.
#include "refine/centerline.h"

#include <algorithm>
#include <cmath>

#include "refine/ink.h"

namespace ktv::refine {

namespace {

constexpr double kStep = 1.0;           // spacing of the cuts along a link, px
constexpr double kReach = 12.0;         // farthest a cut looks for the edges, px
constexpr double kJunctionMargin = 1.0; // no cut this close to a junction node, px
constexpr double kPull = 0.05;          // weight of a node's own pixel, per unit of line weight
constexpr double kEndCap = 0.5;         // a free end stops this far inside the ink's tip, px

struct Cut {
    Vec2 middle;    // middle of the black run
    double along;   // position along the link, px from its first node
    double offset;  // middle's signed distance from the link
    double width;   // length of the run
};

struct LinkFit {
    Line line;
    double width = 0;
    bool ok = false;
};

double median(double *v, std::size_t n) {
    std::nth_element(v, v + n / 2, v + n);
    return v[n / 2];
}

// Straight centre line of the ink along the link from a to b.
bool fit_link(const Ink &ink, Vec2 a, Vec2 b, bool a_junction, bool b_junction, Array<Cut> &cuts,
              Array<double> &scratch, LinkFit &fit) {
    fit = {};
    const double length = norm(b - a);
    if (length < 1) return true;
    const Vec2 u = (b - a) * (1 / length), n = perp(u);
    const double from = a_junction ? kJunctionMargin : 0, to = length - (b_junction ? kJunctionMargin : 0);
    cuts.clear();
    if (to >= from) {
        const int count = static_cast<int>((to - from) / kStep) + 1;
        const double spacing = count > 1 ? (to - from) / (count - 1) : 0;
        for (int k = 0; k < count; ++k) {
            const double t = count > 1 ? from + spacing * k : 0.5 * (from + to);
            const Vec2 p = a + u * t;
            Run r;
            if (!run_across(ink, p, n, kReach, r)) continue;
            if (!cuts.push({p + n * r.middle(), t, r.middle(), r.width()})) return false;
        }
    }
    if (cuts.empty()) return true;
    // Cuts much wider than the stroke ran into another one; of the rest,
    // those far from the typical offset found a neighbouring stroke.
    if (!scratch.resize(cuts.size())) return false;
    for (std::size_t i = 0; i < cuts.size(); ++i) scratch[i] = cuts[i].width;
    const double width = median(scratch.data(), cuts.size());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < cuts.size(); ++i)
        if (cuts[i].width <= 1.5 * width + 1) scratch[kept++] = cuts[i].offset;
    if (kept == 0) return true;
    const double offset = median(scratch.data(), kept);
    const double drift = 1.0 + 0.25 * width;
    double sw = 0, sx = 0, sy = 0, lo = 1e300, hi = -1e300;
    for (const Cut &c : cuts) {
        if (c.width > 1.5 * width + 1 || std::fabs(c.offset - offset) > drift) continue;
        sw += 1;
        sx += c.middle.x;
        sy += c.middle.y;
        lo = std::min(lo, c.along);
        hi = std::max(hi, c.along);
    }
    const Vec2 centre{sx / sw, sy / sw};
    Vec2 dir = u;
    if (hi - lo >= 2) {
        // Principal direction of the middles; a fit that turns far from the
        // chord is noise from a short, crowded link, and the chord stays.
        double xx = 0, xy = 0, yy = 0;
        for (const Cut &c : cuts) {
            if (c.width > 1.5 * width + 1 || std::fabs(c.offset - offset) > drift) continue;
            const Vec2 d = c.middle - centre;
            xx += d.x * d.x;
            xy += d.x * d.y;
            yy += d.y * d.y;
        }
        const double angle = 0.5 * std::atan2(2 * xy, xx - yy);
        Vec2 principal{std::cos(angle), std::sin(angle)};
        if (dot(principal, u) < 0) principal = principal * -1;
        if (dot(principal, u) > std::cos(0.5)) dir = principal;
    }
    fit.line = {centre, dir, sw * kStep};
    fit.width = width;
    fit.ok = true;
    return true;
}

// Normal equations of the least-squares position of one node.
struct NodeSum {
    double xx = 0, xy = 0, yy = 0, bx = 0, by = 0, weight = 0;
    void add(const Line &l) {
        const Vec2 m = perp(l.dir);
        const double w = l.weight, c = dot(m, l.at);
        xx += w * m.x * m.x;
        xy += w * m.x * m.y;
        yy += w * m.y * m.y;
        bx += w * m.x * c;
        by += w * m.y * c;
        weight += w;
    }
    Vec2 solve(Vec2 own) const {
        const double pull = kPull * weight + 1e-6;
        const double a = xx + pull, b = xy, d = yy + pull;
        const double rx = bx + pull * own.x, ry = by + pull * own.y;
        const double det = a * d - b * b;
        if (!(std::fabs(det) > 1e-12)) return own;
        return {(d * rx - b * ry) / det, (a * ry - b * rx) / det};
    }
};

struct LinkRef {
    int polyline;  // index into the polyline list
    int at;        // position of the link's first node in the polyline
};

// Carries a free end along its stroke to the tip of the ink.
Vec2 extend_end(const Ink &ink, Vec2 end, Vec2 dir, double width) {
    const Vec2 n = perp(dir);
    const double reach = 1.5 * width + 3;
    Vec2 last = end;
    for (double t = 0.5; t <= reach; t += 0.5) {
        Run r;
        const Vec2 q = end + dir * t;
        if (!ink.at(q) || !run_across(ink, q, n, kReach, r)) break;
        if (r.width() > 1.5 * width + 1 || std::fabs(r.middle()) > std::max(1.0, 0.5 * width)) break;
        last = q + n * r.middle();
    }
    const double tip = ink.edge(last, dir, reach + kReach, false);
    if (tip >= kNoEdge) return last;
    const double go = std::max(0.0, tip - kEndCap);
    return last + dir * go;
}

}  // namespace

int refine_centerlines(CKTVector &v, LineSet &out) {
    out.clear();
    const Ink ink(v.document, v.width, v.height, static_cast<std::size_t>(v.bytesperline));
    const int nodes = v.mgetnodenum(), polylines = v.mgetpolylinenum();
    Array<int> degree, live;
    if (!degree.resize(static_cast<std::size_t>(nodes), 0)) return -1000;
    for (int id = 1; id <= polylines; ++id) {
        const _KTPOLYLINE &p = *v.mgetpolyline(id);
        if (p.deleted || p.nodenum < 2) continue;
        if (!live.push(id)) return -1000;
        for (int i = 0; i + 1 < p.nodenum; ++i) {
            const int a = p.nodeindex[i], b = p.nodeindex[i + 1];
            if (a < 0 || a >= nodes || b < 0 || b >= nodes) continue;
            ++degree[static_cast<std::size_t>(a)];
            ++degree[static_cast<std::size_t>(b)];
        }
    }
    auto position = [&](int index) {
        const _KTNODE &n = *v.mgetnode(index);
        return Vec2{static_cast<double>(n.x), static_cast<double>(n.y)};
    };
    auto valid = [&](int index) { return index >= 0 && index < nodes; };

    // Lines of every link, summed into the normal equations of its nodes.
    Array<NodeSum> sums;
    Array<double> widths;
    Array<Cut> cuts;
    Array<double> scratch;
    if (!sums.resize(static_cast<std::size_t>(nodes)) || !widths.resize(static_cast<std::size_t>(nodes), 0))
        return -1000;
    // Per end node: the line of its link and the neighbour it points away from.
    Array<Line> endline;
    if (!endline.resize(static_cast<std::size_t>(nodes))) return -1000;
    for (const int id : live) {
        const _KTPOLYLINE &p = *v.mgetpolyline(id);
        for (int i = 0; i + 1 < p.nodenum; ++i) {
            const int a = p.nodeindex[i], b = p.nodeindex[i + 1];
            if (!valid(a) || !valid(b) || a == b) continue;
            const std::size_t ua = static_cast<std::size_t>(a), ub = static_cast<std::size_t>(b);
            LinkFit fit;
            if (!fit_link(ink, position(a), position(b), degree[ua] >= 3, degree[ub] >= 3, cuts, scratch, fit))
                return -1000;
            if (!fit.ok) continue;
            sums[ua].add(fit.line);
            sums[ub].add(fit.line);
            widths[ua] = std::max(widths[ua], fit.width);
            widths[ub] = std::max(widths[ub], fit.width);
            // The direction leading out of an end node.
            if (degree[ua] == 1) endline[ua] = {fit.line.at, fit.line.dir * -1, fit.line.weight};
            if (degree[ub] == 1) endline[ub] = {fit.line.at, fit.line.dir, fit.line.weight};
        }
    }

    Array<Vec2> placed;
    if (!placed.resize(static_cast<std::size_t>(nodes))) return -1000;
    for (int i = 0; i < nodes; ++i) {
        const std::size_t u = static_cast<std::size_t>(i);
        if (!degree[u]) continue;
        placed[u] = sums[u].solve(position(i));
        if (degree[u] == 1 && endline[u].weight > 0)
            placed[u] = extend_end(ink, placed[u], endline[u].dir, std::max(1.0, widths[u]));
    }

    for (const int id : live) {
        const _KTPOLYLINE &p = *v.mgetpolyline(id);
        if (!out.begin(id)) return out.clear(), -1000;
        for (int i = 0; i < p.nodenum; ++i) {
            const int a = p.nodeindex[i];
            if (!valid(a)) continue;
            if (!out.add(placed[static_cast<std::size_t>(a)], a)) return out.clear(), -1000;
        }
        out.end();
    }
    out.seal();
    return 0;
}

}  // namespace ktv::refine
