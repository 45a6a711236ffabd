#include "edited_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace ktvcli {

namespace {

// A line of the refiner's own that ends within this of an end of the
// unedited result's is the same stroke: its end lies at the tip of the ink,
// which no edit moves, while its start, where it meets the line it hangs
// off, moves with that line.  Px.
constexpr double kSameEnd = 1.0;

// A node of an outline stands on a border pixel, half a pixel inside the
// edge of the ink (0.7 px at a slant); a ring fitted to a ragged border can
// pass a little farther off.  A node within this of a ring lies beside it,
// on the nearest ring.  Px.
constexpr double kBeside = 2.0;
// Cell of the grid the nodes are found in when the rings are walked (at
// least: see PointGrid).  Px.
constexpr double kNodeCell = 16.0;

// A link of an outline follows its border within the driver's tolerance, so
// its way along the ring between its nodes' edge points is hardly longer
// than the link: a way longer than this many times the link, plus kBeside
// at either end, is not the link's.  A link with no such way, or with one
// each way round (along a stroke too thin for two borders, whose ring runs
// round both sides), is drawn straight.
constexpr double kLongestWay = 2.0;

// A part of a ring belongs to the polyline whose link passes nearest, when
// one passes within this: the ring lies half a pixel outside the border
// pixels, and a link strays up to the driver's tolerance from them.  Px.
constexpr double kOwnReach = 3.0;
// Spacing of the points along a ring whose nearest link is looked for.  Px.
constexpr double kOwnStep = 1.0;
// A stretch of a ring left between the parts of changed polylines is drawn
// when at least this long: shorter, it is a corner that a polyline next to
// them came nearest to by a hair where they meet.  Px.
constexpr double kShortestPart = 2 * kOwnStep;
// How far along a ring the end of a part of it may move to meet the edge
// point where a polyline drawn anew ends: owners change halfway between
// two links, up to kOwnReach from the node the links share, plus a step.
// Px.
constexpr double kMeetReach = kOwnReach + kOwnStep;
// Spacing of the marks along the links by which they are found.  Px.
constexpr double kMarkStep = 8.0;
// Points along a ring looked at together (kOwnStep apart).
constexpr std::size_t kBlock = 8;

// Points by cell of a square grid over their bounding box, so that the
// points near a spot are found in the few cells about it rather than among
// all of them (an outline result has a ring for every border of the sheet
// and a node every few pixels along it).  The cells are at least `cell`
// wide, and wider where there would be more than about four a point.
class PointGrid {
public:
    PointGrid(const std::vector<_KTREFINEDPOINT> &points, double cell) : cell_(cell) {
        if (points.empty()) return;
        x0_ = x1_ = points[0].x, y0_ = y1_ = points[0].y;
        for (const _KTREFINEDPOINT &p : points) {
            x0_ = std::min(x0_, p.x), x1_ = std::max(x1_, p.x);
            y0_ = std::min(y0_, p.y), y1_ = std::max(y1_, p.y);
        }
        // (w / c + 1)(h / c + 1) cells: at most about twice `most`.
        const double w = x1_ - x0_, h = y1_ - y0_, most = 4.0 * static_cast<double>(points.size()) + 1024;
        cell_ = std::max({cell, std::sqrt(w * h / most), (w + h) / most});
        nx_ = static_cast<std::size_t>(w / cell_) + 1;
        ny_ = static_cast<std::size_t>(h / cell_) + 1;
        // The points' indices sorted by cell, a count of them per cell first.
        first_.assign(nx_ * ny_ + 1, 0);
        for (const _KTREFINEDPOINT &p : points) ++first_[cell_of(p.x, p.y) + 1];
        for (std::size_t c = 1; c < first_.size(); ++c) first_[c] += first_[c - 1];
        order_.resize(points.size());
        std::vector<std::size_t> next(first_.begin(), first_.end() - 1);
        for (std::size_t i = 0; i < points.size(); ++i) order_[next[cell_of(points[i].x, points[i].y)]++] = i;
    }

    double cell() const { return cell_; }

    // Calls f(i) for every point i in the cells that the box [x0, x1] x
    // [y0, y1] touches: each point inside the box, and others near it.
    template <class F>
    void visit(double x0, double y0, double x1, double y1, F f) const {
        if (order_.empty() || x1 < x0_ || y1 < y0_ || x0 > x1_ || y0 > y1_) return;
        const std::size_t cx0 = column(x0), cx1 = column(x1), cy0 = row(y0), cy1 = row(y1);
        for (std::size_t cy = cy0; cy <= cy1; ++cy)
            for (std::size_t cx = cx0; cx <= cx1; ++cx)
                for (std::size_t k = first_[cy * nx_ + cx]; k < first_[cy * nx_ + cx + 1]; ++k) f(order_[k]);
    }

private:
    static std::size_t step(double v, double from, double cell, std::size_t n) {
        const double c = std::floor((v - from) / cell);
        return c <= 0 ? 0 : c >= static_cast<double>(n - 1) ? n - 1 : static_cast<std::size_t>(c);
    }
    std::size_t column(double x) const { return step(x, x0_, cell_, nx_); }
    std::size_t row(double y) const { return step(y, y0_, cell_, ny_); }
    std::size_t cell_of(double x, double y) const { return row(y) * nx_ + column(x); }

    double cell_;
    double x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;  // bounding box of the points
    std::size_t nx_ = 0, ny_ = 0;
    std::vector<std::size_t> first_;  // per cell, row by row: its first entry in order_; one more at the end
    std::vector<std::size_t> order_;  // point indices by cell
};

bool spline_samples(const _KTPOLYLINE &p) {
    return (p.flag & KTVEC_POLYLINE_SPLINE) && p.splinenum >= 2 && p.splinex && p.spliney;
}

bool has_node(CKTVector &v, int index) { return index >= 0 && index < v.mgetnodenum(); }

// What an edit of polyline `id` changes, hashed: its nodes in order, its
// flag, the arcs fitted to its links and its spline samples.  0 for a
// deleted polyline, never 0 for a live one.  Where the nodes stand is told
// apart by the nodes the edits placed.
std::uint64_t signature(CKTVector &v, int id) {
    const _KTPOLYLINE &p = *v.mgetpolyline(id);
    if (p.deleted) return 0;
    std::uint64_t h = 0x9e3779b97f4a7c15ull;
    auto mix = [&h](std::uint64_t value) {
        h = (h ^ value) * 0xbf58476d1ce4e5b9ull;
        h ^= h >> 31;
    };
    auto mix_double = [&mix](double d) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        mix(bits);
    };
    mix(p.flag);
    mix(static_cast<std::uint64_t>(p.nodenum));
    for (int i = 0; i < p.nodenum && p.nodeindex; ++i) {
        mix(static_cast<std::uint64_t>(p.nodeindex[i]));
        if (i == 0 || !has_node(v, p.nodeindex[i - 1]) || !has_node(v, p.nodeindex[i])) continue;
        if (const _KTNODELINK *l = find_link(v, p.nodeindex[i - 1], p.nodeindex[i], id); l && l->arc) {
            mix(l->arc);
            mix_double(l->radius);
            mix_double(l->centerx);
            mix_double(l->centery);
        }
    }
    if (spline_samples(p))
        for (int i = 0; i < p.splinenum; ++i) {
            mix_double(p.splinex[i]);
            mix_double(p.spliney[i]);
        }
    return h | 1;
}

// The point `s` px along ring r (0 <= s <= its length).
_KTREFINEDPOINT ring_point(const UneditedResult &u, std::size_t r, double s) {
    const std::size_t first = u.ring_starts[r], sides = u.ring_starts[r + 1] - first - 1;
    const double *along = u.ring_along.data() + first;
    std::size_t k = static_cast<std::size_t>(std::upper_bound(along, along + sides + 1, s) - along);
    k = std::min(k > 0 ? k - 1 : 0, sides - 1);
    const double side = along[k + 1] - along[k];
    const double t = side > 0 ? std::clamp((s - along[k]) / side, 0.0, 1.0) : 0;
    const _KTREFINEDPOINT a = u.ring_points[first + k], b = u.ring_points[first + k + 1];
    return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
}

// The way along ring `r` between the edge points of nodes a and b, as ring
// vertices from a's side; false when the link has no way of its own (see
// kLongestWay).  `seg` and `along` say where on the ring a node's edge
// point lies: the side it is on and its distance from the ring's first
// point.
bool ring_way(const UneditedResult &u, int r, int a, int b, const std::vector<std::size_t> &seg,
              const std::vector<double> &along, std::vector<_KTREFINEDPOINT> &way) {
    const std::size_t first = u.ring_starts[static_cast<std::size_t>(r)];
    const std::size_t corners = u.ring_starts[static_cast<std::size_t>(r) + 1] - first - 1;  // the last repeats the first
    const double length = u.ring_along[first + corners];
    const std::size_t ua = static_cast<std::size_t>(a), ub = static_cast<std::size_t>(b);
    double ahead = along[ub] - along[ua];
    if (ahead < 0) ahead += length;
    const double chord = std::hypot(u.on_edge[ua].x - u.on_edge[ub].x, u.on_edge[ua].y - u.on_edge[ub].y);
    const double longest = kLongestWay * chord + 2 * kBeside;
    const bool forward = ahead <= longest;
    if (forward == (length - ahead <= longest)) return false;
    const std::size_t sa = seg[ua], sb = seg[ub];
    // Vertices passed: forward, those starting the sides after a's up to
    // b's; backward, those starting a's side back to the one after b's.
    std::size_t n = forward ? (sb + corners - sa) % corners : (sa + corners - sb) % corners;
    if (sa == sb) n = forward == (along[ub] >= along[ua]) ? 0 : corners;
    way.clear();
    for (std::size_t k = 0; k < n; ++k)
        way.push_back(u.ring_points[first + (forward ? (sa + 1 + k) % corners : (sa + corners - k) % corners)]);
    return true;
}

}  // namespace

namespace {

// Each node beside a ring: its nearest point on the nearest ring, found
// by walking every side of every ring in steps that span, with a margin
// of kBeside, at most two cells of the grid each way, and looking at the
// nodes about each step.  `at`: every node's pixel; `seg` and `along`
// get where on its ring each node's edge point lies (see ring_way).
void find_edge_points(UneditedResult &u, const std::vector<_KTREFINEDPOINT> &at, std::vector<std::size_t> &seg,
                      std::vector<double> &along) {
    const std::size_t n = at.size(), rings = u.ring_starts.size() - 1;
    const PointGrid grid(at, kNodeCell);
    const double ring_step = grid.cell() - 2 * kBeside;
    u.node_ring.assign(n, -1);
    u.on_edge.assign(n, {0, 0});
    std::vector<double> nearest(n, kBeside * kBeside);
    seg.assign(n, 0);
    along.assign(n, 0);
    u.ring_along.assign(u.ring_points.size(), 0);
    for (std::size_t r = 0; r < rings; ++r) {
        double walked = 0;
        for (std::size_t j = u.ring_starts[r]; j + 1 < u.ring_starts[r + 1]; ++j) {
            u.ring_along[j] = walked;
            const _KTREFINEDPOINT a = u.ring_points[j], b = u.ring_points[j + 1];
            const double dx = b.x - a.x, dy = b.y - a.y, side = dx * dx + dy * dy, len = std::sqrt(side);
            const int steps = std::max(1, static_cast<int>(std::ceil(len / ring_step)));
            for (int s = 0; s < steps; ++s) {
                const double x0 = a.x + dx * s / steps, y0 = a.y + dy * s / steps;
                const double x1 = a.x + dx * (s + 1) / steps, y1 = a.y + dy * (s + 1) / steps;
                grid.visit(std::min(x0, x1) - kBeside, std::min(y0, y1) - kBeside, std::max(x0, x1) + kBeside,
                           std::max(y0, y1) + kBeside, [&](std::size_t i) {
                               const double t = side > 0 ? std::clamp(((at[i].x - a.x) * dx + (at[i].y - a.y) * dy) / side, 0.0, 1.0) : 0;
                               const _KTREFINEDPOINT e{a.x + t * dx, a.y + t * dy};
                               const double d = (at[i].x - e.x) * (at[i].x - e.x) + (at[i].y - e.y) * (at[i].y - e.y);
                               if (d > nearest[i] || (u.node_ring[i] >= 0 && d == nearest[i])) return;
                               nearest[i] = d;
                               u.node_ring[i] = static_cast<int>(r);
                               u.on_edge[i] = e;
                               seg[i] = j - u.ring_starts[r];
                               along[i] = walked + t * len;
                           });
            }
            walked += len;
        }
        if (u.ring_starts[r + 1] > u.ring_starts[r]) u.ring_along[u.ring_starts[r + 1] - 1] = walked;
    }
}

// A link of the unedited graph, for the distance of ring points to it.
struct MarkedLink {
    _KTREFINEDPOINT a, d;  // its first node and the step to its second
    double inverse;        // 1 / |d|^2, 0 for a link of no length
    int id;
    // Squared distance from p.
    double to(_KTREFINEDPOINT p) const {
        const double t = std::clamp(((p.x - a.x) * d.x + (p.y - a.y) * d.y) * inverse, 0.0, 1.0);
        const double ex = a.x + t * d.x - p.x, ey = a.y + t * d.y - p.y;
        return ex * ex + ey * ey;
    }
};

// The links of every polyline, marked every kMarkStep or closer.
struct LinkMarks {
    std::vector<MarkedLink> links;
    std::vector<_KTREFINEDPOINT> marks;
    std::vector<std::size_t> mark_link;  // per mark: its link
};

// Each polyline: what edits would change, and the ways of its links
// along the rings (a link two polylines share keeps the way found
// first); and its links, marked.
LinkMarks trace_links(UneditedResult &u, CKTVector &v, const std::vector<_KTREFINEDPOINT> &at,
                      const std::vector<std::size_t> &seg, const std::vector<double> &along) {
    LinkMarks m;
    const int polylines = v.mgetpolylinenum();
    u.signatures.assign(static_cast<std::size_t>(polylines) + 1, 0);
    std::vector<_KTREFINEDPOINT> way;
    for (int id = 1; id <= polylines; ++id) {
        u.signatures[static_cast<std::size_t>(id)] = signature(v, id);
        const _KTPOLYLINE &p = *v.mgetpolyline(id);
        if (p.deleted || !p.nodeindex) continue;
        for (int i = 1; i < p.nodenum; ++i) {
            const int a = p.nodeindex[i - 1], b = p.nodeindex[i];
            if (!has_node(v, a) || !has_node(v, b)) continue;
            const _KTREFINEDPOINT from = at[static_cast<std::size_t>(a)], to = at[static_cast<std::size_t>(b)];
            const _KTREFINEDPOINT d{to.x - from.x, to.y - from.y};
            const double square = d.x * d.x + d.y * d.y;
            const MarkedLink l{from, d, square > 0 ? 1 / square : 0, id};
            const int steps = std::max(1, static_cast<int>(std::ceil(std::sqrt(square) / kMarkStep)));
            for (int k = 0; k <= steps; ++k) {
                m.marks.push_back({from.x + d.x * k / steps, from.y + d.y * k / steps});
                m.mark_link.push_back(m.links.size());
            }
            m.links.push_back(l);
            const int r = u.node_ring[static_cast<std::size_t>(b)];
            if (a == b || r < 0 || u.node_ring[static_cast<std::size_t>(a)] != r || !ring_way(u, r, a, b, seg, along, way))
                continue;
            if (a > b) std::reverse(way.begin(), way.end());
            u.paths.push_back({std::min(a, b), std::max(a, b), u.path_points.size(), way.size()});
            u.path_points.insert(u.path_points.end(), way.begin(), way.end());
        }
    }
    auto by_nodes = [](const UneditedResult::RingPath &x, const UneditedResult::RingPath &y) { return std::make_pair(x.a, x.b) < std::make_pair(y.a, y.b); };
    auto same_nodes = [](const UneditedResult::RingPath &x, const UneditedResult::RingPath &y) { return x.a == y.a && x.b == y.b; };
    std::stable_sort(u.paths.begin(), u.paths.end(), by_nodes);
    u.paths.erase(std::unique(u.paths.begin(), u.paths.end(), same_nodes), u.paths.end());
    return m;
}

// Each ring in runs by owner: the polyline of the link nearest to
// points every kOwnStep along it, within kOwnReach.  A link's nearest
// point to a ring point lies within kMarkStep / 2 of one of its marks.
void own_ring_parts(UneditedResult &u, const LinkMarks &m) {
    const std::size_t rings = u.ring_starts.size() - 1;
    const PointGrid near_marks(m.marks, kNodeCell);
    const double reach = kOwnReach + kMarkStep / 2;
    std::vector<std::size_t> seen(m.links.size(), 0);  // per link: the last block it was found for
    std::size_t stamp = 0;
    std::vector<std::size_t> near;                      // the links near the block
    u.run_starts.push_back(0);
    for (std::size_t r = 0; r < rings; ++r) {
        const std::size_t first = u.ring_starts[r];
        if (u.ring_starts[r + 1] - first < 2) {
            u.run_starts.push_back(u.runs.size());
            continue;
        }
        const double length = u.ring_along[u.ring_starts[r + 1] - 1];
        const std::size_t samples = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(length / kOwnStep)));
        std::size_t side = first;  // the side the point is on
        // The points in blocks: the links near a block are found once, and
        // each point's nearest among them.
        for (std::size_t k0 = 0; k0 < samples; k0 += kBlock) {
            const std::size_t k1 = std::min(samples, k0 + kBlock);
            _KTREFINEDPOINT q[kBlock];
            double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
            for (std::size_t k = k0; k < k1; ++k) {
                const double s = (static_cast<double>(k) + 0.5) * length / static_cast<double>(samples);
                while (side + 2 < u.ring_starts[r + 1] && u.ring_along[side + 1] < s) ++side;
                const double span = u.ring_along[side + 1] - u.ring_along[side];
                const double t = span > 0 ? std::clamp((s - u.ring_along[side]) / span, 0.0, 1.0) : 0;
                const _KTREFINEDPOINT p{u.ring_points[side].x + t * (u.ring_points[side + 1].x - u.ring_points[side].x),
                                        u.ring_points[side].y + t * (u.ring_points[side + 1].y - u.ring_points[side].y)};
                q[k - k0] = p;
                x0 = k == k0 ? p.x : std::min(x0, p.x), x1 = k == k0 ? p.x : std::max(x1, p.x);
                y0 = k == k0 ? p.y : std::min(y0, p.y), y1 = k == k0 ? p.y : std::max(y1, p.y);
            }
            near.clear();
            ++stamp;
            near_marks.visit(x0 - reach, y0 - reach, x1 + reach, y1 + reach, [&](std::size_t mark) {
                const std::size_t j = m.mark_link[mark];
                if (seen[j] != stamp) near.push_back(j);  // once, though several of its marks are about
                seen[j] = stamp;
            });
            for (std::size_t k = k0; k < k1; ++k) {
                double best = kOwnReach * kOwnReach;
                int owner = 0;
                for (const std::size_t j : near) {
                    const double d = m.links[j].to(q[k - k0]);
                    if (d < best || (d == best && owner == 0)) best = d, owner = m.links[j].id;
                }
                const double to = static_cast<double>(k + 1) * length / static_cast<double>(samples);
                if (u.runs.size() > u.run_starts.back() && u.runs.back().id == owner) u.runs.back().to = to;
                else u.runs.push_back({static_cast<double>(k) * length / static_cast<double>(samples), to, owner});
            }
        }
        u.runs.back().to = length;
        u.run_starts.push_back(u.runs.size());
    }
}

}  // namespace

void UneditedResult::take(CKTVector &v, const CKTRefiner *measured, Lines kind) {
    *this = UneditedResult();
    lines = kind;
    const int n = v.mgetnodenum();
    nodes.reserve(2 * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const _KTNODE &node = *v.mgetnode(i);
        nodes.push_back(node.x);
        nodes.push_back(node.y);
    }
    if (!measured) return;
    if (kind == Lines::CentreLines) {
        for (int k = 0; k < measured->mgetlinenum(); ++k) {
            const _KTREFINEDLINE &l = *measured->mgetline(k);
            if (l.source == 0 && l.pointnum > 0) own_ends.push_back(l.point[l.pointnum - 1]);
        }
        return;
    }

    // The rings, closed: their last point repeats the first.
    ring_starts.push_back(0);
    for (int k = 0; k < measured->mgetlinenum(); ++k) {
        const _KTREFINEDLINE &l = *measured->mgetline(k);
        ring_points.insert(ring_points.end(), l.point, l.point + l.pointnum);
        ring_starts.push_back(ring_points.size());
    }
    // Where each node lies on the rings; the polylines' links and their ways
    // along the rings; which polyline owns each part of a ring.
    std::vector<_KTREFINEDPOINT> at(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) at[static_cast<std::size_t>(i)] = {double(nodes[2 * i]), double(nodes[2 * i + 1])};
    std::vector<std::size_t> seg;
    std::vector<double> along;
    find_edge_points(*this, at, seg, along);
    own_ring_parts(*this, trace_links(*this, v, at, seg, along));
    node_along = std::move(along);
}

void EditedGeometry::begin(int source) {
    _KTREFINEDLINE l{};
    l.source = source;
    lines_.push_back(l);
    starts_.push_back(points_.size());
}

void EditedGeometry::add(double x, double y, int node) {
    points_.push_back({x, y});
    point_nodes_.push_back(node);
    ++lines_.back().pointnum;
}

void EditedGeometry::compose(const UneditedResult &before, CKTVector &edited, const CKTRefiner *measured) {
    // Outline results have no refined node positions: node_position answers
    // false for every node with or without a refiner.
    measured_ = measured;
    lines_.clear();
    points_.clear();
    point_nodes_.clear();
    starts_.clear();
    // A node the edits placed: made by them, or standing elsewhere than before.
    const int n = edited.mgetnodenum();
    const std::size_t known = before.nodes.size() / 2;
    placed_.assign(static_cast<std::size_t>(n), 0);
    at_.assign(static_cast<std::size_t>(n), {0, 0});
    for (int i = 0; i < n; ++i) {
        const _KTNODE &node = *edited.mgetnode(i);
        const std::size_t u = static_cast<std::size_t>(i);
        placed_[u] = !node.deleted && (u >= known || node.x != before.nodes[2 * u] || node.y != before.nodes[2 * u + 1]);
        at_[u] = {static_cast<double>(node.x), static_cast<double>(node.y)};
    }

    if (before.lines == UneditedResult::Lines::Outlines) {
        compose_outlines(before, edited);
    } else if (measured) {
        const PointGrid ends(before.own_ends, kSameEnd);
        auto near_end = [&](const _KTREFINEDPOINT &p) {
            bool found = false;
            ends.visit(p.x - kSameEnd, p.y - kSameEnd, p.x + kSameEnd, p.y + kSameEnd, [&](std::size_t i) {
                const double ex = before.own_ends[i].x - p.x, ey = before.own_ends[i].y - p.y;
                found = found || ex * ex + ey * ey <= kSameEnd * kSameEnd;
            });
            return found;
        };
        for (int k = 0; k < measured->mgetlinenum(); ++k) {
            const _KTREFINEDLINE &l = *measured->mgetline(k);
            if (l.source == 0 && (l.pointnum < 1 || !near_end(l.point[l.pointnum - 1]))) continue;
            bool through_placed = false;
            for (int i = 0; l.source != 0 && i < l.pointnum && !through_placed; ++i) through_placed = placed(l.node[i]);
            if (l.source == 0 || !through_placed) {
                begin(l.source);
                for (int i = 0; i < l.pointnum; ++i) add(l.point[i].x, l.point[i].y, l.node[i]);
            } else {
                draw_polyline(before, edited, l.source);
            }
        }
    }
    // Closed as the refiner closes a line: its last point is its first.
    for (std::size_t k = 0; k < lines_.size(); ++k) {
        _KTREFINEDLINE &l = lines_[k];
        l.point = points_.data() + starts_[k];
        l.node = point_nodes_.data() + starts_[k];
        l.closed = l.pointnum > 2 && l.point[0].x == l.point[l.pointnum - 1].x &&
                   l.point[0].y == l.point[l.pointnum - 1].y;
    }
}

void EditedGeometry::compose_outlines(const UneditedResult &before, CKTVector &edited) {
    const std::size_t rings = before.ring_starts.empty() ? 0 : before.ring_starts.size() - 1;
    const int polylines = edited.mgetpolylinenum();
    const std::size_t ids = std::max(before.signatures.size(), static_cast<std::size_t>(polylines) + 1);
    // Changed: made, deleted or altered by the edits, or through a node
    // they placed.
    std::vector<unsigned char> changed(ids, 0);
    for (std::size_t id = 1; id < ids; ++id) {
        const std::uint64_t was = id < before.signatures.size() ? before.signatures[id] : 0;
        const std::uint64_t now = id <= static_cast<std::size_t>(polylines) ? signature(edited, static_cast<int>(id)) : 0;
        bool moved = false;
        if (now) {
            const _KTPOLYLINE &p = *edited.mgetpolyline(static_cast<int>(id));
            for (int i = 0; p.nodeindex && i < p.nodenum && !moved; ++i) moved = placed(p.nodeindex[i]);
        }
        changed[id] = was != now || moved;
    }
    // Each ring without the runs of the changed polylines: whole while it
    // has none, else in its stretches between them, each from the end of a
    // removed run to the start of the next.
    auto gone = [&](const UneditedResult::RingRun &run) {
        return run.id > 0 && static_cast<std::size_t>(run.id) < ids && changed[static_cast<std::size_t>(run.id)];
    };
    // The ends of the polylines drawn anew, on the rings, by ring and place
    // along it: a part of a ring that meets one ends at its edge point,
    // where the drawn line ends, rather than where the owner of the ring's
    // points changed.
    struct DrawnEnd {
        std::size_t ring;
        double along;        // px along the ring
        _KTREFINEDPOINT at;  // the edge point
    };
    std::vector<DrawnEnd> ends;
    for (int id = 1; id <= polylines; ++id) {
        const _KTPOLYLINE &p = *edited.mgetpolyline(id);
        if (p.deleted || !p.nodeindex || p.nodenum < 2 || !changed[static_cast<std::size_t>(id)]) continue;
        for (const int k : {p.nodeindex[0], p.nodeindex[p.nodenum - 1]}) {
            const std::size_t u = static_cast<std::size_t>(k);
            if (k >= 0 && !placed(k) && u < before.node_ring.size() && before.node_ring[u] >= 0)
                ends.push_back({static_cast<std::size_t>(before.node_ring[u]), before.node_along[u], before.on_edge[u]});
        }
    }
    std::sort(ends.begin(), ends.end(), [](const DrawnEnd &a, const DrawnEnd &b) {
        return a.ring != b.ring ? a.ring < b.ring : a.along < b.along;
    });
    auto first_on = [&ends](std::size_t r) {
        return std::lower_bound(ends.begin(), ends.end(), r, [](const DrawnEnd &x, std::size_t ring) { return x.ring < ring; });
    };
    // `s` px along ring r (of `length`; s may pass it) moved to the nearest
    // end within kMeetReach either way round; false when there is none.
    auto meet = [&ends, &first_on](std::size_t r, double &s, double length) {
        double best = s, nearest = kMeetReach;
        const double at = s >= length ? s - length : s;
        for (auto e = first_on(r); e != ends.end() && e->ring == r; ++e) {
            double d = e->along - at;
            if (d > length / 2) d -= length;
            if (d < -length / 2) d += length;
            if (std::fabs(d) < nearest) nearest = std::fabs(d), best = s + d;
        }
        s = best;
        return nearest < kMeetReach;
    };
    // The end nearest to p, a point of ring r, within kMeetReach on the
    // same ring or kBeside on another, null for none: a part that met no
    // end along its ring is joined to it across the ink, as both sides of
    // a stem at a T are to its polyline's end on one of them, and the
    // border of a hole in ink one pixel wide to the end beside the outer
    // border.
    std::vector<_KTREFINEDPOINT> end_points;
    end_points.reserve(ends.size());
    for (const DrawnEnd &e : ends) end_points.push_back(e.at);
    const PointGrid near_ends(end_points, kNodeCell);
    auto beside = [&ends, &near_ends](std::size_t r, _KTREFINEDPOINT p) {
        std::size_t best = ends.size();
        double nearest = kMeetReach;
        near_ends.visit(p.x - kMeetReach, p.y - kMeetReach, p.x + kMeetReach, p.y + kMeetReach, [&](std::size_t i) {
            const DrawnEnd &e = ends[i];
            const double d = std::hypot(e.at.x - p.x, e.at.y - p.y);
            // Ties go to the end first in ring order.
            if ((d < nearest || (d == nearest && best < ends.size() && i < best)) && (e.ring == r || d < kBeside))
                nearest = d, best = i;
        });
        return best < ends.size() ? &ends[best].at : nullptr;
    };
    for (std::size_t r = 0; r < rings; ++r) {
        const std::size_t r0 = before.run_starts[r], n = before.run_starts[r + 1] - r0;
        std::size_t cut = 0;
        while (cut < n && !gone(before.runs[r0 + cut])) ++cut;
        if (cut == n) {
            begin(0);
            for (std::size_t i = before.ring_starts[r]; i < before.ring_starts[r + 1]; ++i)
                add(before.ring_points[i].x, before.ring_points[i].y, -1);
            continue;
        }
        // From the first removed run round to it again; a stretch that
        // passes the ring's first point goes on past its length.
        const double length = before.ring_along[before.ring_starts[r + 1] - 1];
        bool open = false;
        double from = 0, to = 0;
        for (std::size_t i = 1; i <= n; ++i) {
            const std::size_t k = (cut + i) % n;
            const UneditedResult::RingRun &run = before.runs[r0 + k];
            if (gone(run)) {
                if (open && to - from >= kShortestPart) {
                    double a = from, b = to;
                    bool met_a = meet(r, a, length), met_b = meet(r, b, length);
                    // Both ends met at one edge point: the removed stretch
                    // would be drawn again.
                    if (b - a > length - kShortestPart) a = from, b = to, met_a = met_b = false;
                    if (a < 0) a += length, b += length;
                    if (a >= length) a -= length, b -= length;
                    if (b - a >= kShortestPart)
                        draw_ring_part(before, r, a, b, met_a ? nullptr : beside(r, ring_point(before, r, a)),
                                       met_b ? nullptr : beside(r, ring_point(before, r, b > length ? b - length : b)));
                }
                open = false;
                continue;
            }
            const double past = cut + i >= n ? length : 0;
            if (!open) from = run.from + past;
            to = run.to + past;
            open = true;
        }
    }
    for (int id = 1; id <= polylines; ++id) {
        const _KTPOLYLINE &p = *edited.mgetpolyline(id);
        if (!p.deleted && p.nodeindex && p.nodenum >= 2 && changed[static_cast<std::size_t>(id)]) draw_polyline(before, edited, id);
    }
}

void EditedGeometry::draw_ring_part(const UneditedResult &before, std::size_t r, double from, double to,
                                    const _KTREFINEDPOINT *lead, const _KTREFINEDPOINT *tail) {
    const std::size_t first = before.ring_starts[r], corners = before.ring_starts[r + 1] - first - 1;
    const double *along = before.ring_along.data() + first, length = along[corners];
    if (from >= length) from -= length, to -= length;
    begin(0);
    if (lead) add(lead->x, lead->y, -1);
    const _KTREFINEDPOINT a = ring_point(before, r, from);
    add(a.x, a.y, -1);
    // The corners passed: corner k lies along[k % corners] on, plus the
    // length for each time round.
    for (std::size_t k = static_cast<std::size_t>(std::upper_bound(along, along + corners + 1, from) - along);
         k < 2 * corners + 1 && along[k % corners] + length * static_cast<double>(k / corners) < to; ++k)
        add(before.ring_points[first + k % corners].x, before.ring_points[first + k % corners].y, -1);
    const _KTREFINEDPOINT b = ring_point(before, r, to > length ? to - length : to);
    add(b.x, b.y, -1);
    if (tail) add(tail->x, tail->y, -1);
}

void EditedGeometry::draw_polyline(const UneditedResult &before, CKTVector &edited, int id) {
    const _KTPOLYLINE &p = *edited.mgetpolyline(id);
    begin(id);
    if (spline_samples(p)) {
        for (int i = 0; i < p.splinenum; ++i) add(p.splinex[i], p.spliney[i], -1);
        return;
    }
    // Outline nodes off the ring they lay beside stand on the edge of the
    // ink, where the ring passed them, rather than half a pixel inside it.
    auto on_edge = [&](int k) {
        const std::size_t u = static_cast<std::size_t>(k);
        return before.lines == UneditedResult::Lines::Outlines && !placed(k) && k >= 0 && u < before.node_ring.size() &&
               before.node_ring[u] >= 0;
    };
    for (int i = 0; p.nodeindex && i < p.nodenum; ++i) {
        const int k = p.nodeindex[i];
        if (!has_node(edited, k)) continue;
        if (const int j = i > 0 ? p.nodeindex[i - 1] : -1; on_edge(j) && on_edge(k) && !(p.flag & KTVEC_POLYLINE_CIRCLE)) {
            // A link the edits kept, between nodes on one ring, follows
            // it, unless an arc was fitted to it.
            const _KTNODELINK *l = find_link(edited, j, k, id);
            const UneditedResult::RingPath key{std::min(j, k), std::max(j, k), 0, 0};
            auto it = std::lower_bound(before.paths.begin(), before.paths.end(), key, [](const auto &x, const auto &y) {
                return std::make_pair(x.a, x.b) < std::make_pair(y.a, y.b);
            });
            if (!(l && l->arc && l->radius > 0) && it != before.paths.end() && it->a == key.a && it->b == key.b)
                for (std::size_t s = 0; s < it->count; ++s) {
                    const _KTREFINEDPOINT &q = before.path_points[j < k ? it->first + s : it->first + it->count - 1 - s];
                    add(q.x, q.y, -1);
                }
        }
        double x, y;
        if (on_edge(k)) {
            add(before.on_edge[static_cast<std::size_t>(k)].x, before.on_edge[static_cast<std::size_t>(k)].y, k);
        } else if (node_position(k, x, y)) {
            add(x, y, k);
        } else {
            // Placed, beside no ring, or a node the refiner did not place
            // (the one node of a loop the edits shrank to nothing): on its
            // pixel, so that every node of the polyline is drawn.
            add(at_[static_cast<std::size_t>(k)].x, at_[static_cast<std::size_t>(k)].y, k);
        }
    }
}

bool EditedGeometry::node_position(int index, double &x, double &y) const {
    if (!measured_) return false;
    // A node the edits placed stands where they put it, measured or not.
    if (placed(index)) {
        x = at_[static_cast<std::size_t>(index)].x;
        y = at_[static_cast<std::size_t>(index)].y;
        return true;
    }
    return measured_->mgetnodeposition(index, &x, &y) != 0;
}

}  // namespace ktvcli
