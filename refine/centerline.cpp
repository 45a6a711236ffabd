// Centre lines against the ink.
//
// Every link of the driver's graph is a chord between two skeleton pixels.
// The skeleton is a digital approximation: on a stroke an even number of
// pixels wide its pixels lie half a pixel to one side of the centre, at a
// junction thinning leaves the branch pixel a pixel into the branch so the
// links next to it lean, and stroke ends recede by half the stroke width.
// The ink says better where the strokes run:
//
//  1. every link is measured by cuts across it and gets the straight centre
//     line of its stroke (linefit.h);
//  2. each node goes to the point nearest, in the least-squares sense, to
//     the lines of all its links: the crossing of two chords at a bend, the
//     meeting point of the branches at a junction.  Nodes that short links
//     tie together (a chamfered corner, a crossing split into two
//     junctions) go together to where the longer links around them meet;
//     free ends are carried to the tip of their stroke's ink;
//  3. segments that the middle of the stroke leaves get points to follow it
//     (curves.h), and short strokes the clean-up dropped come back (stubs.h).
#include "refine/centerline.h"

#include <algorithm>
#include <cmath>

#include "refine/curves.h"
#include "refine/groups.h"
#include "refine/ink.h"
#include "refine/linefit.h"
#include "refine/samples.h"
#include "refine/stubs.h"
#include "refine/workers.h"

namespace ktv::refine {

namespace {

constexpr double kPull = 0.05;          // weight of a node's own pixel, per unit of line weight
constexpr double kJunctionPull = 0.005; // the same for a junction following a shallow branch
constexpr double kShortLink = 2.0;      // links up to the stroke width plus this are short, px
constexpr double kCrossing = 0.3;       // sine of the angle at which two lines cross
constexpr double kCrossingSpan = 3.0;   // junction pairs up to this many stroke widths apart may be one crossing
constexpr double kCloseBy = 1.0;        // neighbours placed nearer than this are one place, px
constexpr double kEndCap = 0.5;         // a free end stops this far inside the ink's tip, px
constexpr double kRoundCapWidth = 6.0;  // narrower strokes are too few pixels across to tell caps apart
constexpr double kReach = 12.0;         // farthest a cut looks for the stroke's edges, px
constexpr double kStraightSpread = 0.35; // a link whose middles all lie this close to its line is straight, px
// Fewer links or nodes than these are not worth a thread of their own.
constexpr std::size_t kLinksPerPart = 2048;
constexpr std::size_t kNodesPerPart = 4096;

struct LinkRecord {
    int a, b;        // node indices
    LinkFit fit;
    bool tying;      // short, between nodes that both go on: ties its nodes together
};

// Carries a free end along its stroke to the tip of the ink, re-centring on
// the way, and stops kEndCap short of the ink's edge.
// A stroke with a round cap narrows over its last half width, and its end
// lies half a width inside the tip of its ink; a square cap keeps its full
// width to the tip, where its end is.  A cut a quarter width inside the tip
// against one a whole width inside tells them apart (a round cap is 0.87 of
// its width there).
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
    const Vec2 at_tip = last + dir * tip;
    double cap = kEndCap;
    Run near_tip, inside;
    if (width >= kRoundCapWidth && run_across(ink, at_tip - dir * (0.25 * width), n, kReach, near_tip) &&
        run_across(ink, at_tip - dir * width, n, kReach, inside) && near_tip.width() < 0.93 * inside.width())
        cap = std::max(kEndCap, 0.5 * width);
    // The end goes `cap` back from the tip, but never back past where
    // thinning ended the stroke.
    return dot(at_tip - end, dir) > cap ? at_tip - dir * cap : end;
}

class CentreLines {
public:
    CentreLines(CKTVector &v, int threads)
        : v_(v), ink_(v.document, v.width, v.height, static_cast<std::size_t>(v.bytesperline)),
          nodes_(v.mgetnodenum()), threads_(threads) {}

    int run(LineSet &out) {
        if (!survey() || !measure() || !tie() || !place() || !merge_close() || !emit(out)) return KTVEC_NO_MEMORY;
        // Only links drawn straight follow their bends: a fitted arc or
        // spline is drawn as what was fitted.
        const Straight straight = [&](int line, int k) {
            const int id = out.source(line);
            const _KTPOLYLINE &p = *v_.mgetpolyline(id);
            if (p.flag & (KTVEC_POLYLINE_SPLINE | KTVEC_POLYLINE_CIRCLE)) return false;
            const int a = out.node(line, k), b = out.node(line, k + 1);
            if (a < 0 || b < 0) return true;
            // A link whose cuts all lay close to its line has no bend to
            // follow (the lines of the emitted polylines are in link order).
            const std::size_t at = firstlink_[static_cast<std::size_t>(line)] + static_cast<std::size_t>(k);
            if (at < links_.size() && links_[at].a == a && links_[at].b == b && links_[at].fit.ok &&
                links_[at].fit.spread <= kStraightSpread)
                return false;
            const _KTNODE &na = *v_.mgetnode(a);
            for (int j = 0; j < na.linknum; ++j)
                if (na.link[j].node == b && (na.link[j].id == id || na.link[j].id == -id) && na.link[j].arc) return false;
            return true;
        };
        if (follow_bends(ink_, linewidths_, straight, out, threads_) != 0 ||
            restore_stubs(ink_, linewidths_, out, threads_) != 0)
            return KTVEC_NO_MEMORY;
        return 0;
    }

    bool positions(NodePositions &nodes) const {
        if (!nodes.at.resize(u(nodes_)) || !nodes.set.resize(u(nodes_), 0)) return false;
        for (int i = 0; i < nodes_; ++i) {
            if (!degree_[u(i)]) continue;
            nodes.at[u(i)] = {placed_[u(i)].x, placed_[u(i)].y};
            nodes.set[u(i)] = 1;
        }
        return true;
    }

private:
    std::size_t u(int i) const { return static_cast<std::size_t>(i); }
    bool valid(int i) const { return i >= 0 && i < nodes_; }
    Vec2 pixel(int i) const {
        const _KTNODE &n = *v_.mgetnode(i);
        return {static_cast<double>(n.x), static_cast<double>(n.y)};
    }
    double width(int i) const { return std::max(1.0, widths_[u(i)]); }

    // The live polylines, and each node's degree in the graph they draw.
    bool survey() {
        if (!degree_.resize(u(nodes_), 0)) return false;
        for (int id = 1; id <= v_.mgetpolylinenum(); ++id) {
            const _KTPOLYLINE &p = *v_.mgetpolyline(id);
            if (p.deleted || p.nodenum < 2) continue;
            if (!live_.push(id)) return false;
            for (int i = 0; i + 1 < p.nodenum; ++i) {
                const int a = p.nodeindex[i], b = p.nodeindex[i + 1];
                if (!valid(a) || !valid(b) || a == b) continue;
                ++degree_[u(a)];
                ++degree_[u(b)];
            }
        }
        return true;
    }

    // Every link's centre line; a node's width is the widest of its links'.
    // The links are measured in blocks of their order, each block with a
    // scratch of its own made large enough for the longest link beforehand.
    bool measure() {
        if (!widths_.resize(u(nodes_), 0)) return false;
        double longest = 0;
        for (const int id : live_) {
            const _KTPOLYLINE &p = *v_.mgetpolyline(id);
            if (!firstlink_.push(links_.size())) return false;
            for (int i = 0; i + 1 < p.nodenum; ++i) {
                const int a = p.nodeindex[i], b = p.nodeindex[i + 1];
                if (!valid(a) || !valid(b) || a == b) continue;
                if (!links_.push({a, b, {}, false})) return false;
                longest = std::max(longest, norm(pixel(b) - pixel(a)));
            }
        }
        const int parts = part_count(links_.size(), kLinksPerPart, threads_);
        FitScratch scratch[kMaxWorkers];
        const std::size_t cuts = max_cuts(longest);
        for (int k = 0; k < parts; ++k)
            if (!scratch[k].cuts.reserve(cuts) || !scratch[k].values.reserve(cuts)) return false;
        bool short_of_room[kMaxWorkers] = {};  // cannot happen with the room above; checked all the same
        run_parts(parts, [&](int k) {
            const std::size_t from = part_begin(links_.size(), parts, k), to = part_begin(links_.size(), parts, k + 1);
            for (std::size_t i = from; i < to; ++i) {
                LinkRecord &r = links_[i];
                const bool ja = degree_[u(r.a)] >= 3, jb = degree_[u(r.b)] >= 3;
                if (!fit_link(ink_, pixel(r.a), pixel(r.b), ja, jb, scratch[k], r.fit)) short_of_room[k] = true;
            }
        });
        for (int k = 0; k < parts; ++k)
            if (short_of_room[k]) return false;
        for (const LinkRecord &r : links_) {
            if (!r.fit.ok) continue;
            widths_[u(r.a)] = std::max(widths_[u(r.a)], r.fit.width);
            widths_[u(r.b)] = std::max(widths_[u(r.b)], r.fit.width);
        }
        return true;
    }

    // Short links between nodes that go on on both sides are what thinning
    // and approximation leave at a corner (a chamfer) or at a crossing (two
    // junctions a pixel or two apart).  Their own cuts say little; their
    // nodes belong where the longer links around them meet, provided those
    // lines cross (not all parallel: a jog between two parallel runs is
    // real) and pass close to one point near every node of the group.
    bool tie() {
        if (!groups_.reset(u(nodes_)) || !grouped_.resize(u(nodes_), 0) || !placed_.resize(u(nodes_))) return false;
        // A link between two junctions may lie inside merged ink: two strokes
        // crossing at a shallow angle, which thinning splits into two
        // junctions far apart (up to about w / sin of the angle).  It ties
        // them as well; whether their outside lines do meet in one point is
        // checked below, as for every group.
        auto crossing_link = [&](const LinkRecord &r, double length) {
            return degree_[u(r.a)] >= 3 && degree_[u(r.b)] >= 3 &&
                   length <= kCrossingSpan * std::max(width(r.a), width(r.b)) + kShortLink;
        };
        Array<double> reach;  // per node, then per group root: how far its members may be from the meeting point
        if (!reach.resize(u(nodes_), 0)) return false;
        for (LinkRecord &r : links_) {
            if (degree_[u(r.a)] < 2 || degree_[u(r.b)] < 2) continue;
            const double length = norm(pixel(r.b) - pixel(r.a));
            if (length > std::max(width(r.a), width(r.b)) + kShortLink && !crossing_link(r, length)) continue;
            r.tying = true;
            groups_.join(r.a, r.b);
            for (const int n : {r.a, r.b}) reach[u(n)] = std::max(reach[u(n)], 0.5 * length);
        }
        Array<int> size;
        if (!size.resize(u(nodes_), 0)) return false;
        for (int i = 0; i < nodes_; ++i) {
            if (!degree_[u(i)]) continue;
            const int root = groups_.find(i);
            ++size[u(root)];
            if (root != i) reach[u(root)] = std::max(reach[u(root)], reach[u(i)]);
        }
        // The outside lines of every group with two nodes or more, by root.
        struct Outside {
            int root, order;
            Line line;
        };
        Array<Outside> outside;
        for (const LinkRecord &r : links_) {
            if (!r.fit.ok || r.tying) continue;
            for (const int node : {r.a, r.b}) {
                const int root = groups_.find(node);
                if (size[u(root)] > 1 && !outside.push({root, static_cast<int>(outside.size()), r.fit.line}))
                    return false;
            }
        }
        std::sort(outside.begin(), outside.end(), [](const Outside &x, const Outside &y) {
            return x.root != y.root ? x.root < y.root : x.order < y.order;
        });
        for (std::size_t k = 0; k < outside.size();) {
            const int root = outside[k].root;
            std::size_t e = k;
            Meeting meeting;
            bool crossing = false;
            for (; e < outside.size() && outside[e].root == root; ++e) {
                for (std::size_t j = k; j < e; ++j)
                    crossing |= std::fabs(cross(outside[j].line.dir, outside[e].line.dir)) > kCrossing;
                meeting.add(outside[e].line);
            }
            const Vec2 at = meeting.solve(pixel(root), kPull);
            bool meets = crossing;
            for (std::size_t j = k; j < e && meets; ++j)
                meets = std::fabs(distance_to(outside[j].line, at)) <= 0.5 + 0.15 * width(root);
            if (meets) {
                placed_[u(root)] = at;
                grouped_[u(root)] = 1;
            }
            k = e;
        }
        for (int i = 0; i < nodes_; ++i) {
            const int root = groups_.find(i);
            if (degree_[u(i)] && grouped_[u(root)] &&
                norm(placed_[u(root)] - pixel(i)) > std::max(0.5 * width(root) + 2.5, reach[u(root)] + 2.5))
                grouped_[u(root)] = 0;
        }
        return true;
    }

    bool place() {
        Array<Meeting> meetings;
        Array<Line> outward;      // per free end: its link's line, pointing out of the stroke
        Array<double> endwidth;   // ... and the stroke's width along that link
        if (!meetings.resize(u(nodes_)) || !outward.resize(u(nodes_)) || !endwidth.resize(u(nodes_), 1.0)) return false;
        for (const LinkRecord &r : links_) {
            if (!r.fit.ok) continue;
            meetings[u(r.a)].add(r.fit.line);
            meetings[u(r.b)].add(r.fit.line);
            if (degree_[u(r.a)] == 1) outward[u(r.a)] = {r.fit.line.at, r.fit.line.dir * -1, r.fit.line.weight};
            if (degree_[u(r.b)] == 1) outward[u(r.b)] = {r.fit.line.at, r.fit.line.dir, r.fit.line.weight};
            for (const int n : {r.a, r.b})
                if (degree_[u(n)] == 1) endwidth[u(n)] = std::max(1.0, r.fit.width);
        }
        // Every node is placed from its own records alone (a group's members
        // from their root, whose place tie() set), so blocks of nodes go to
        // separate threads; the roots are found first, since finding halves
        // the paths it walks.
        Array<int> roots;
        if (!roots.resize(u(nodes_), 0)) return false;
        for (int i = 0; i < nodes_; ++i)
            if (degree_[u(i)]) roots[u(i)] = groups_.find(i);
        const int parts = part_count(u(nodes_), kNodesPerPart, threads_);
        run_parts(parts, [&](int k) {
            const int from = static_cast<int>(part_begin(u(nodes_), parts, k));
            const int to = static_cast<int>(part_begin(u(nodes_), parts, k + 1));
            for (int i = from; i < to; ++i) place_node(i, roots[u(i)], meetings, outward, endwidth);
        });
        return true;
    }

    void place_node(int i, int root, const Array<Meeting> &meetings, const Array<Line> &outward,
                    const Array<double> &endwidth) {
        if (!degree_[u(i)]) return;
        if (grouped_[u(root)]) {
            if (i != root) placed_[u(i)] = placed_[u(root)];
            return;
        }
        placed_[u(i)] = meetings[u(i)].solve(pixel(i), kPull);
        // A branch that leaves its line at a shallow angle runs merged
        // with it for several pixels, and thinning puts the junction
        // where they part; the lines themselves meet farther on.
        // Junctions follow their lines with a weaker pull, as far as a
        // couple of stroke widths.
        if (degree_[u(i)] >= 3) {
            const Vec2 free = meetings[u(i)].solve(pixel(i), kJunctionPull);
            if (norm(free - pixel(i)) <= 4 + 2 * width(i)) placed_[u(i)] = free;
        }
        if (degree_[u(i)] == 1 && outward[u(i)].weight > 0)
            placed_[u(i)] = extend_end(ink_, placed_[u(i)], outward[u(i)].dir, endwidth[u(i)]);
    }

    // Neighbours less than a pixel apart are one place: all take the
    // position of the one with the most links (the junction), so the
    // drawing has one vertex there and no zigzag between two.
    bool merge_close() {
        Groups close;
        Array<int> lead;  // per group root: its member with the most links
        if (!close.reset(u(nodes_)) || !lead.resize(u(nodes_), -1)) return false;
        for (const LinkRecord &r : links_)
            if (degree_[u(r.a)] >= 2 && degree_[u(r.b)] >= 2 && norm(placed_[u(r.a)] - placed_[u(r.b)]) < kCloseBy)
                close.join(r.a, r.b);
        for (int i = 0; i < nodes_; ++i) {
            if (!degree_[u(i)]) continue;
            int &l = lead[u(close.find(i))];
            if (l < 0 || degree_[u(i)] > degree_[u(l)]) l = i;
        }
        for (int i = 0; i < nodes_; ++i)
            if (degree_[u(i)]) placed_[u(i)] = placed_[u(lead[u(close.find(i))])];
        return true;
    }

    // One line per live polyline; its stroke width is the median of its
    // links' (a link whose cuts ran through a crowded symbol does not widen
    // the line).
    bool emit(LineSet &out) {
        for (std::size_t l = 0; l < live_.size(); ++l) {
            const _KTPOLYLINE &p = *v_.mgetpolyline(live_[l]);
            const std::size_t end = l + 1 < live_.size() ? firstlink_[l + 1] : links_.size();
            scratch_.values.clear();
            for (std::size_t k = firstlink_[l]; k < end; ++k)
                if (links_[k].fit.ok && !scratch_.values.push(links_[k].fit.width)) return false;
            const double w = scratch_.values.empty() ? 1.0 : median(scratch_.values.data(), scratch_.values.size());
            if (!linewidths_.push(w) || !out.begin(live_[l])) return false;
            if ((p.flag & KTVEC_POLYLINE_SPLINE) && p.splinenum >= 2 && p.splinex && p.spliney) {
                if (!add_moved_samples(v_, p, placed_, out)) return false;
            } else {
                for (int i = 0; i < p.nodenum; ++i)
                    if (valid(p.nodeindex[i]) && !out.add(placed_[u(p.nodeindex[i])], p.nodeindex[i])) return false;
            }
            out.end();
        }
        return true;
    }

    CKTVector &v_;
    const Ink ink_;
    const int nodes_;
    const int threads_;
    Array<int> degree_, live_;
    Array<LinkRecord> links_;
    Array<std::size_t> firstlink_;  // per live polyline: its first record in links_
    Array<double> widths_, linewidths_;
    Array<Vec2> placed_;
    Array<unsigned char> grouped_;  // per group root: the group meets at placed_[root]
    Groups groups_;
    FitScratch scratch_;
};

}  // namespace

int refine_centerlines(CKTVector &v, LineSet &out, NodePositions &nodes, int threads) {
    out.clear();
    nodes.clear();
    CentreLines c(v, threads);
    int r = c.run(out);
    if (r == 0 && !c.positions(nodes)) r = KTVEC_NO_MEMORY;
    if (r != 0) {
        out.clear();
        nodes.clear();
    }
    out.seal();
    return r;
}

}  // namespace ktv::refine
