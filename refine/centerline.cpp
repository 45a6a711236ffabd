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
//     meeting point of the branches at a junction (one line per branch, from
//     a link farther along it when the one next to the junction lies in the
//     junction's own ink).  Nodes that short links
//     tie together (a chamfered corner, a crossing split into two
//     junctions) go together to where the longer links around them meet,
//     two straight strokes crossing to where their lines cross;
//     a junction of two strokes meeting at a narrow angle goes to where
//     their merged ink ends (wedges.h);
//     free ends are carried to the tip of their stroke's ink;
//  3. segments that the middle of the stroke leaves get points to follow it
//     (curves.h), a thin segment drawn on the stroke beside its own goes to
//     its own (parallel.h), and short strokes the clean-up dropped come
//     back (stubs.h).
#include "refine/centerline.h"

#include <algorithm>
#include <cmath>

#include "refine/curves.h"
#include "refine/detours.h"
#include "refine/fills.h"
#include "refine/groups.h"
#include "refine/ink.h"
#include "refine/linefit.h"
#include "refine/nodegraph.h"
#include "refine/parallel.h"
#include "refine/samples.h"
#include "refine/slants.h"
#include "refine/stubs.h"
#include "refine/tips.h"
#include "refine/wedges.h"
#include "refine/workers.h"

namespace ktv::refine {

namespace {

constexpr double kPull = 0.05;          // weight of a node's own pixel, per unit of line weight
constexpr double kJunctionPull = 0.005; // the same for a junction following a shallow branch, and a tied group
constexpr double kShortLink = 2.0;      // links up to the stroke width plus this are short, px
// ... and on a stroke a pixel or so wide, links up to this long: thinning
// takes the corner pixel of an L of one-pixel lines, and the approximation
// then cuts the corner by a chamfer that runs up to three pixels along one
// side (3.2 px between its node pixels), which the stroke width alone would
// not tie.
constexpr double kThinChamfer = 3.5;
constexpr double kCrossing = 0.3;       // sine of the angle at which two lines cross
constexpr double kSharpCorner = 0.7;    // ... and at which two lines make a corner (45 degrees)
constexpr double kOneStroke = 0.17;     // sine of the widest angle between two branches of one straight stroke (10 degrees)
constexpr double kCrossingSpan = 3.0;   // junction pairs up to this many stroke widths apart may be one crossing
constexpr double kCloseBy = 1.0;        // neighbours placed nearer than this are one place, px
constexpr double kConverged = 0.25;     // tied junctions placed this close, in link lengths and widths, are one place
constexpr double kAcuteWidth = 2.5;     // narrowest strokes whose acute corners thinning cuts deeper than a chamfer reaches, px
constexpr double kCentred = 0.25;       // ... and how far off the middle of the ink across it such a tip may lie, in its widths
constexpr double kRoundCapWidth = 4.0;  // narrower strokes are too few pixels across to tell caps apart
constexpr double kSureCapWidth = 6.0;   // narrower ones are cut at the tip's last pixels, and a width inside ...
constexpr double kOwnWidth = 0.85;      // ... must measure this share of their width at least
constexpr double kStraightSpread = 0.35; // a link whose middles all lie this close to its line is straight, px
constexpr double kBranchTurn = 0.9;     // cosine of the largest turn of a branch still taken as straight on
constexpr int kBranchSteps = 4;         // farthest, in links, a branch is followed for a line of its own
constexpr double kClearOfJunction = 0.75; // a link reaching this many stroke widths from a junction is measured clear of it
constexpr std::size_t kWidthSample = 16;  // most links a node's typical width is taken from
constexpr double kThickRing = 10.0;     // narrowest strokes whose crossings with a curve follow its bend, px
constexpr double kSquare = 0.9;         // ... and the sine of the shallowest angle they cross it at (64 degrees)
constexpr double kBentCos = 0.5;        // ... and the cosine of the most the curve turns across them (60 degrees)
constexpr double kLopsided = 4.0;       // ... and how much farther one side of its bend may lie from them than the other
constexpr unsigned char kTwoStrokes = 2;  // a group that meets as the crossing of two straight strokes
constexpr unsigned char kAcuteCorner = 3; // ... and at the tip of an acute corner
// Fewer links or nodes than these are not worth a thread of their own.
constexpr std::size_t kLinksPerPart = 2048;
constexpr std::size_t kNodesPerPart = 4096;

// The lines of two straight strokes that cross.
struct StrokePair {
    Line p, q;
};

// The line a node is placed from along one of its branches, and whether
// its evidence reaches clear of the node's own ink.
struct BranchLine {
    Line line;
    bool sound = false;
};

// Carries a free end along its stroke to the tip of the ink, re-centring on
// the way, and stops kEndCap short of the ink's edge.
// A stroke with a round cap narrows over its last half width, and its end
// lies half a width inside the tip of its ink; a square cap keeps its full
// width to the tip, where its end is.  A cut a quarter width inside the tip
// against one a whole width inside tells them apart (a round cap is 0.87 of
// its width there).  Under 6 px a quarter width is a pixel or less, so the
// near cut is the tip's last pixels, half a pixel inside it: a round cap
// leaves them a pixel or two short of the stroke's width, a flat cap does
// not.  There the end's width may also be that of two strokes merged up to
// the tip of a narrow V, measured on the link that runs in the merged ink;
// the cut a width inside the tip then measures less than that width, and
// the narrowing is the V's, not a cap's.
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
    const bool narrow = width < kSureCapWidth;
    if (width >= kRoundCapWidth && run_across(ink, at_tip - dir * (narrow ? 0.5 : 0.25 * width), n, kReach, near_tip) &&
        run_across(ink, at_tip - dir * width, n, kReach, inside) && (!narrow || inside.width() > kOwnWidth * width) &&
        near_tip.width() < 0.93 * inside.width())
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
        if (!survey() || !measure() || !adjacency() || !tie() || !place() || !merge_close() || !emit(out)) return KTVEC_NO_MEMORY;
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
        // Cuts near a crossing, or in the merged ink of an acute corner,
        // run into the other stroke's ink.
        const Clear clear = [&](int line, int k) {
            const int n = out.node(line, k);
            return valid(n) ? crossing_[u(n)] : 0.0;
        };
        // Bends of one stroke at an acute angle go to their tips (fitted
        // curves are drawn as fitted).
        const Movable movable = [&](int line, int k) {
            const _KTPOLYLINE &p = *v_.mgetpolyline(out.source(line));
            const int n = out.node(line, k);
            return !(p.flag & (KTVEC_POLYLINE_SPLINE | KTVEC_POLYLINE_CIRCLE)) && valid(n) && degree_[u(n)] == 2 &&
                   crossing_[u(n)] == 0;
        };
        Array<TipMove> tips;
        if (sharpen_tips(ink_, linewidths_, movable, out, tips) != 0) return KTVEC_NO_MEMORY;
        for (const TipMove &m : tips)
            if (const int n = out.node(m.line, m.point); valid(n)) crossing_[u(n)] = std::max(crossing_[u(n)], m.clear);
        if (follow_bends(ink_, linewidths_, straight, clear, out, threads_) != 0 ||
            separate_parallel(ink_, linewidths_, out) != 0 || restore_stubs(ink_, linewidths_, out, threads_) != 0 ||
            follow_detours(ink_, linewidths_, out, threads_) != 0 || outline_fills(ink_, linewidths_, out) != 0)
            return KTVEC_NO_MEMORY;
        // Restoring stroke ends moves the apex of a V to its tip; a node's
        // position is where its lines draw it.
        for (int i = 0; i < out.count(); ++i)
            for (int k = 0; k < out.points(i); ++k)
                if (const int n = out.node(i, k); valid(n)) placed_[u(n)] = out.point(i, k);
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
    Vec2 pixel(int i) const { return pixels_[u(i)]; }
    double width(int i) const { return std::max(1.0, widths_[u(i)]); }

    // The live polylines, each node's degree in the graph they draw, and
    // every node's pixel (kept here, where the placing reads them often).
    bool survey() {
        if (!degree_.resize(u(nodes_), 0) || !pixels_.resize(u(nodes_))) return false;
        for (int i = 0; i < nodes_; ++i) {
            const _KTNODE &n = *v_.mgetnode(i);
            pixels_[u(i)] = {static_cast<double>(n.x), static_cast<double>(n.y)};
        }
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
                const double length = norm(pixel(b) - pixel(a));
                if (!links_.push({a, b, length, {}, false, false})) return false;
                longest = std::max(longest, length);
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

    // Every node's links, as indices into links_, each node's in the order
    // of links_: counted per node, summed to where each node's run ends, and
    // filled backwards so each run starts where the one before it ends.
    bool adjacency() {
        if (!adjstart_.resize(u(nodes_) + 1, 0) || !adj_.resize(2 * links_.size())) return false;
        for (const LinkRecord &r : links_) {
            ++adjstart_[u(r.a)];
            ++adjstart_[u(r.b)];
        }
        for (int i = 1; i <= nodes_; ++i) adjstart_[u(i)] += adjstart_[u(i) - 1];
        for (std::size_t k = links_.size(); k-- > 0;) {
            adj_[--adjstart_[u(links_[k].b)]] = k;
            adj_[--adjstart_[u(links_[k].a)]] = k;
        }
        return true;
    }

    // A node's typical stroke width: the median of its measured links' (a
    // link measured inside a junction's ink comes out wider than its
    // stroke), of its first kWidthSample links at most.
    double typical_width(int n) const {
        double values[kWidthSample];
        std::size_t count = 0;
        for (std::size_t j = adjstart_[u(n)]; j < adjstart_[u(n) + 1] && count < kWidthSample; ++j)
            if (links_[adj_[j]].fit.ok) values[count++] = links_[adj_[j]].fit.width;
        return count ? std::max(1.0, median(values, count)) : 1.0;
    }

    int other(const LinkRecord &r, int node) const { return r.a == node ? r.b : r.a; }
    // The way link k leaves node n: towards its other node.
    Vec2 away(int n, std::size_t k) const { return unit(pixel(other(links_[k], n)) - pixel(n)); }

    // Measured, and long enough to reach clear of the ink of a junction of
    // stroke width w at either of its ends.
    static bool sound_link(const LinkRecord &r, double w) {
        return r.fit.ok && r.length >= kClearOfJunction * w;
    }

    // The line node n is placed from along its link k.  Cuts within about a
    // stroke width of a junction run into the other branches' ink, so a
    // link that ends closer than kClearOfJunction widths to n says little
    // about where its branch runs (or failed to say anything).  The branch
    // then lends the line of a link farther along it, through nodes where
    // it only goes on, as long as it runs straight on and that line passes
    // by n.  Straight on is the way of the first link, but the links in the
    // junction's ink lean the way thinning bent them (towards the other
    // branches), so a link two widths long or more, which tells the way
    // itself, need only point away from n.  A link with nothing better
    // keeps its own line, marked unsound (weight 0 when it has none).
    // `typical`: n's typical width when the caller knows it, else negative.
    BranchLine branch_line(int n, std::size_t k, double typical = -1) const {
        const LinkRecord &first = links_[k];
        // The widest of the node's links bounds its typical width: most
        // links are decided without the median.
        if (sound_link(first, width(n))) return {first.fit.line, true};
        const double w = typical >= 0 ? typical : typical_width(n), need = kClearOfJunction * w;
        if (sound_link(first, w)) return {first.fit.line, true};
        const int m0 = other(first, n);
        const Vec2 from = pixel(n);
        double reach = norm(pixel(m0) - from);
        BranchLine own;
        if (first.fit.ok) own = {first.fit.line, false};
        const Vec2 dir = unit(pixel(m0) - from);
        std::size_t at_link = k;
        int at = m0;
        for (int step = 0; step < kBranchSteps && reach < 3 * w; ++step) {
            if (degree_[u(at)] != 2) break;
            std::size_t next = at_link;
            for (std::size_t j = adjstart_[u(at)]; j < adjstart_[u(at) + 1]; ++j)
                if (adj_[j] != at_link) next = adj_[j];
            if (next == at_link) break;
            const LinkRecord &r = links_[next];
            const int to = other(r, at);
            const Vec2 step_way = pixel(to) - pixel(at);
            const double step_length = norm(step_way);
            const Vec2 d = unit(step_way), way = step_length >= 2 * w ? unit(pixel(to) - from) : dir;
            if (dot(d, way) < kBranchTurn) break;
            reach += step_length;
            if (r.fit.ok && reach >= need && std::fabs(dot(r.fit.line.dir, way)) >= kBranchTurn &&
                std::fabs(distance_to(r.fit.line, from)) <= 0.5 * w + 1)
                return {r.fit.line, true};
            at_link = next;
            at = to;
        }
        return own;
    }

    // A stroke that runs on a little way past a junction (the bar of a T
    // ending just beyond its stem, an overshoot) ends closer to the
    // junction than its width: its link's cuts all lie in the junction's
    // ink.  When a branch of the junction leaves straight opposite it with
    // a sound line passing by the end, the end lies on that line.  False
    // (line as it was) when there is none.
    bool through_line(int end, std::size_t k, Line &line) const {
        const int j = other(links_[k], end);
        if (degree_[u(j)] < 3 || links_[k].length >= width(j)) return false;
        const Vec2 d = unit(pixel(end) - pixel(j));
        const double typical = typical_width(j);
        double best = kBranchTurn;
        bool found = false;
        for (std::size_t a = adjstart_[u(j)]; a < adjstart_[u(j) + 1]; ++a) {
            if (adj_[a] == k) continue;
            const BranchLine b = branch_line(j, adj_[a], typical);
            if (!b.sound || -dot(away(j, adj_[a]), d) < kBranchTurn || std::fabs(distance_to(b.line, pixel(end))) > 0.5 * width(j) + 1)
                continue;
            const double along = std::fabs(dot(b.line.dir, d));
            if (along > best) {
                best = along;
                line = b.line;
                found = true;
            }
        }
        return found;
    }

    // Whether two of the lines `each` gives cross at more than kCrossing.
    // Were none of them to cross the first, all lie within that angle of its
    // direction, and the two turned farthest from it either way are the
    // pair that differ most.
    template <class Lines> static bool lines_cross(Lines each) {
        bool any = false, far = false;
        Vec2 first{}, low{}, high{};
        double lo = 0, hi = 0;
        each([&](const Line &l) {
            if (!any) {
                any = true;
                first = low = high = l.dir;
                return;
            }
            const double c = dot(first, l.dir) < 0 ? -cross(first, l.dir) : cross(first, l.dir);
            far |= std::fabs(c) > kCrossing;
            if (c < lo) lo = c, low = l.dir;
            if (c > hi) hi = c, high = l.dir;
        });
        return far || std::fabs(cross(low, high)) > kCrossing;
    }

    // The lines of a node's branches (or a group's outside lines) that it is
    // placed from, given to `use`: when the sound ones alone cross, the
    // unsound ones are left out; otherwise all count.  `each` gives the
    // branches; true when the lines used cross.
    template <class Branches, class Use> static bool use_branches(Branches each, Use use) {
        const bool sound = lines_cross([&](auto line) {
            each([&](const BranchLine &b) {
                if (b.sound && b.line.weight > 0) line(b.line);
            });
        });
        auto used = [&](auto line) {
            each([&](const BranchLine &b) {
                if ((b.sound || !sound) && b.line.weight > 0) line(b.line);
            });
        };
        used(use);
        return sound || lines_cross(used);
    }

    // Short links between nodes that go on on both sides are what thinning
    // and approximation leave at a corner (a chamfer) or at a crossing (two
    // junctions a pixel or two apart).  Their own cuts say little; their
    // nodes belong where the longer links around them meet, provided those
    // lines cross (not all parallel: a jog between two parallel runs is
    // real) and pass close to one point near every node of the group.
    //
    // A link between two junctions may lie inside merged ink: two strokes
    // crossing at a shallow angle, which thinning splits into two junctions
    // far apart (up to about w / sin of the angle).  It ties them as well,
    // but it is also a branch of its own when they are not one crossing: a
    // group such links make that does not meet in one point falls back to
    // the groups of its short links alone, so its members are placed as if
    // it had never been formed.
    bool tie() {
        if (!anchor_.resize(u(nodes_), -1) || !crossing_.resize(u(nodes_), 0.0) || !placed_.resize(u(nodes_))) return false;
        Groups short_groups, all_groups;
        if (!short_groups.reset(u(nodes_)) || !all_groups.reset(u(nodes_))) return false;
        // Per node: half its longest tying link, px (by its short links
        // alone, and by all).
        Array<double> reach_short, reach_all;
        Array<unsigned char> tied;
        if (!reach_short.resize(u(nodes_), 0) || !reach_all.resize(u(nodes_), 0) || !tied.resize(u(nodes_), 0))
            return false;
        for (LinkRecord &r : links_) {
            if (degree_[u(r.a)] < 2 || degree_[u(r.b)] < 2) continue;
            const double length = r.length, w = std::max(width(r.a), width(r.b));
            if (length <= std::max(w + kShortLink, kThinChamfer)) {
                r.tying = true;
                short_groups.join(r.a, r.b);
                for (const int n : {r.a, r.b}) reach_short[u(n)] = std::max(reach_short[u(n)], 0.5 * length);
            } else if (degree_[u(r.a)] >= 3 && degree_[u(r.b)] >= 3 && length <= kCrossingSpan * w + kShortLink) {
                r.crossing = true;
            } else {
                continue;
            }
            all_groups.join(r.a, r.b);
            for (const int n : {r.a, r.b}) {
                reach_all[u(n)] = std::max(reach_all[u(n)], 0.5 * length);
                tied[u(n)] = 1;
            }
        }
        Array<int> members, root;
        if (!root.resize(u(nodes_), -1) || !size_.resize(u(nodes_), 0) || !group_reach_.resize(u(nodes_), 0) ||
            !meets_.resize(u(nodes_), 0) || !fallback_.resize(u(nodes_)) || !strokes_.resize(u(nodes_)) ||
            !depth_.resize(u(nodes_), 0))
            return false;
        for (int i = 0; i < nodes_; ++i) {
            if (!tied[u(i)]) continue;
            if (!members.push(i)) return false;
            root[u(i)] = all_groups.find(i);
        }
        if (!settle(members, root, reach_all, [](const LinkRecord &r) { return r.tying || r.crossing; })) return false;
        // The members of groups that did not meet and that a crossing link
        // made, by their short links alone.
        Array<unsigned char> &retry = meets_;  // left all zero by settle()
        for (const LinkRecord &r : links_)
            if (r.crossing && anchor_[u(r.a)] < 0) retry[u(root[u(r.a)])] = 1;
        std::size_t kept = 0;
        for (const int m : members)
            if (retry[u(root[u(m)])]) members[kept++] = m;
        for (const int m : members) retry[u(root[u(m)])] = 0;
        members.resize(kept);
        for (const int m : members) root[u(m)] = short_groups.find(m);
        if (!settle(members, root, reach_short, [](const LinkRecord &r) { return r.tying; })) return false;
        // The junctions of groups that still did not meet, by their short
        // links to each other alone: a thick ring's polygon ties its
        // nodes all round, and thinning parts each crossing on it into two
        // junctions.  A stroke crossing the ring bends in the crossing's
        // ink, where its link cannot be measured; the bend goes with the
        // junction.
        auto bend = [&](const LinkRecord &r, int n) { return degree_[u(n)] == 2 && !r.fit.ok; };
        auto pair = [&](const LinkRecord &r) {
            const bool ja = degree_[u(r.a)] >= 3, jb = degree_[u(r.b)] >= 3;
            return r.tying && ((ja && jb) || (ja && bend(r, r.b)) || (jb && bend(r, r.a)));
        };
        Groups pairs;
        Array<double> reach_pair;
        if (!pairs.reset(u(nodes_)) || !reach_pair.resize(u(nodes_), 0)) return false;
        for (const LinkRecord &r : links_) {
            if (!pair(r)) continue;
            pairs.join(r.a, r.b);
            for (const int n : {r.a, r.b}) reach_pair[u(n)] = std::max(reach_pair[u(n)], 0.5 * r.length);
        }
        members.clear();
        for (int i = 0; i < nodes_; ++i) {
            if (!tied[u(i)] || anchor_[u(i)] >= 0) continue;
            if (!members.push(i)) return false;
            root[u(i)] = pairs.find(i);
        }
        return settle(members, root, reach_pair, pair, true);
    }

    // How far, px, lines fitted to strokes w wide may pass from the one point
    // they meet at: the scatter of their fits.
    static double scatter(double w) { return 0.5 + 0.15 * w; }

    // Whether two branches' lines are one straight stroke's, within
    // kOneStroke and the scatter of a meeting of strokes w wide.
    static bool one_stroke(const Line &x, const Line &y, double w) {
        return std::fabs(cross(x.dir, y.dir)) <= kOneStroke && std::fabs(distance_to(x, y.at)) <= scatter(w);
    }
    // One stroke's line fitted to both its branches' lines.
    static Line joined(const Line &x, const Line &y) {
        const double wx = x.weight, wy = y.weight;
        const Vec2 ydir = dot(x.dir, y.dir) < 0 ? y.dir * -1 : y.dir;
        return {(x.at * wx + y.at * wy) * (1 / (wx + wy)), unit(x.dir * wx + ydir * wy), wx + wy};
    }

    // Whether the four branches `each` gives (each's line and the way it
    // leaves the node) are a straight stroke passing through and a stroke
    // that bends where it crosses it: two branches on one line, leaving
    // opposite ways; the other two leaving on either side of that line,
    // not on one line, turning by kBentCos at most.  A thick ring's
    // polygon has links shorter than the ring is wide, so its branches
    // lend the lines of links farther round it: chords that meet the
    // straight stroke well off the ring (4 px outside a ring 16 px wide).
    // `at` then gets where the bent stroke crosses the straight one's line,
    // and `through` that line.  Strokes under kThickRing wide are left to
    // their lines: those meet a pixel or so off the curve, and the polygon
    // drawn through that point follows the curve better than one through
    // the crossing itself (at 8 px, the crossing moved onto the ring cost
    // its chords more than it gained).  So is a stroke that crosses the
    // bend's chord at less than kSquare (a centre mark's arms are square to
    // its ring; a sketch's strokes cross at a slant and bend a little
    // anywhere).
    template <class Branches> static bool straight_through(Branches each, double w, Line &through, Vec2 &at) {
        BranchLine b[4];
        Vec2 away[4];
        int n = 0;
        each([&](const BranchLine &x, Vec2 d) {
            if (n < 4) b[n] = x, away[n] = d;
            ++n;
        });
        if (n != 4 || w < kThickRing) return false;
        for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j) {
                const BranchLine &p = b[i], &q = b[j];
                // Sound in one branch at least: the other may end soon past
                // the crossing, and is measured from the sound one's line
                // (its own, a little turned, passes farther off the other's
                // points).
                if (!(p.sound || q.sound) || p.line.weight <= 0 || q.line.weight <= 0 ||
                    !(p.sound ? one_stroke(p.line, q.line, w) : one_stroke(q.line, p.line, w)) ||
                    dot(away[i], away[j]) > -kBranchTurn)
                    continue;
                int o[2], k = 0;
                for (int m = 0; m < 4; ++m)
                    if (m != i && m != j) o[k++] = m;
                const Line line = joined(p.line, q.line), &c = b[o[0]].line, &d = b[o[1]].line;
                if (cross(line.dir, away[o[0]]) * cross(line.dir, away[o[1]]) >= 0 ||
                    dot(away[o[0]], away[o[1]]) > -kBentCos)
                    continue;
                if (c.weight <= 0 || d.weight <= 0 || std::fabs(cross(line.dir, unit(d.at - c.at))) < kSquare ||
                    !bend_crossing(line, c, d, at))
                    continue;
                through = line;
                return true;
            }
        return false;
    }
    // Where a bent stroke crosses `line`: the stroke runs through c.at along
    // c and through d.at along d, on either side of the line, and bends
    // between them as the parabola those two points and the meeting of c
    // and d span (a quadratic Bezier curve, which is tangent to both).
    // False when c and d do not meet, or the points lie on one side or one
    // kLopsided times as far from the line as the other (the two sides of
    // a ring are alike; a point close by and one far off are rather two
    // strokes of a knot of junctions).
    static bool bend_crossing(const Line &line, const Line &c, const Line &d, Vec2 &at) {
        if (std::fabs(cross(d.dir, c.dir)) < kCrossing) return false;
        const Vec2 control = meeting_point(c, d);
        // Signed distances from `line`, along the curve's parameter t.
        const double fa = distance_to(line, c.at), fc = distance_to(line, control), fb = distance_to(line, d.at);
        if (fa * fb >= 0 || std::max(std::fabs(fa), std::fabs(fb)) > kLopsided * std::min(std::fabs(fa), std::fabs(fb)))
            return false;
        auto f = [&](double t) { return (1 - t) * (1 - t) * fa + 2 * t * (1 - t) * fc + t * t * fb; };
        double lo = 0, hi = 1;
        for (int step = 0; step < 30; ++step) {
            const double mid = 0.5 * (lo + hi);
            ((f(mid) < 0) == (fa < 0) ? lo : hi) = mid;
        }
        const double t = 0.5 * (lo + hi);
        at = foot(line, c.at * ((1 - t) * (1 - t)) + control * (2 * t * (1 - t)) + d.at * (t * t));
        return true;
    }

    // Whether the outside lines outside[k .. e) of a group are two straight
    // strokes crossing: four lines in two pairs, each pair one line (within
    // kOneStroke and the scatter the meeting allows) and sound in one of
    // its branches at least (the other may end soon past the crossing).
    // `at` then gets where the two strokes' lines, each fitted to both its
    // branches, cross, `sine` the sine of their angle and `lines` the two
    // lines: the meeting of the four lines, each on its own, slides along a
    // shallow crossing with the scatter of the shorter branches.
    template <class Outsides>
    static bool two_strokes(const Outsides &outside, std::size_t k, std::size_t e, double w, Vec2 &at, double &sine,
                            StrokePair &lines) {
        if (e - k != 4) return false;
        const BranchLine &a0 = outside[k].branch;
        const Line &a = a0.line;
        for (std::size_t j = k + 1; j < e; ++j) {
            // b pairs with a; the other two pair with each other.
            std::size_t rest[2], n = 0;
            for (std::size_t i = k + 1; i < e; ++i)
                if (i != j) rest[n++] = i;
            const BranchLine &b0 = outside[j].branch, &c0 = outside[rest[0]].branch, &d0 = outside[rest[1]].branch;
            if (!(a0.sound || b0.sound) || !(c0.sound || d0.sound)) continue;
            const Line &b = b0.line, &c = c0.line, &d = d0.line;
            if (!one_stroke(a, b, w) || !one_stroke(c, d, w) || std::fabs(cross(a.dir, c.dir)) <= kCrossing) continue;
            // Each stroke's line from both its branches; they cross at `at`.
            const Line p = joined(a, b), q = joined(c, d);
            lines = {p, q};
            at = meeting_point(p, q);
            sine = std::fabs(cross(q.dir, p.dir));
            return true;
        }
        return false;
    }

    // An acute corner that a group's two outside branches `p` and `q` (of
    // `count`) make, leaving it the same way at kCrossing to 90 degrees
    // apart: strokes w wide (the narrower arm's; the group's own nodes
    // measure the merged ink) that meet at angle a merge over
    // 0.5 w / sin(a / 2) before the tip (1.6 widths at 36 degrees), and
    // thinning cuts the corner by a chamfer near where they part, so the
    // lines meet that far out (`depth`, 0 for no such corner); they lie a
    // stroke and a pixel apart (w + 1) / (2 sin(a / 2)) from the tip
    // (`clear`).  Under kAcuteWidth the tip lies within the chamfer's own
    // reach.
    struct Acute {
        double depth = 0, clear = 0, width = 0;
        Vec2 axis;  // unit, from the tip between the arms
    };
    template <class Outside> Acute acute_corner(const Outside &p, const Outside &q, std::size_t count) const {
        if (count != 2) return {};
        const LinkRecord &lp = links_[p.link], &lq = links_[q.link];
        if (!lp.fit.ok || !lq.fit.ok) return {};
        const double w = std::min(lp.fit.width, lq.fit.width);
        if (w < kAcuteWidth) return {};
        Vec2 dp = p.branch.line.dir, dq = q.branch.line.dir;
        if (dot(dp, away(p.member, p.link)) < 0) dp = dp * -1;
        if (dot(dq, away(q.member, q.link)) < 0) dq = dq * -1;
        const double c = dot(dp, dq);
        if (c <= 0 || std::fabs(cross(dp, dq)) < kCrossing) return {};
        return {apart_at(dp, dq, w), apart_at(dp, dq, w + 1), w, unit(dp + dq)};
    }

    // Places the groups of `members` (ascending node indices; root gives
    // each one's group) that have two members or more, from the outside
    // lines of their members (over the links `inside` does not count as the
    // group's own), where those lines meet; sets anchor_ of the members of
    // each group that does.  With `bent_only`, only the crossings of a
    // straight stroke and a bent one meet.
    template <class Inside>
    bool settle(const Array<int> &members, const Array<int> &root, const Array<double> &reach, Inside inside,
                bool bent_only = false) {
        for (const int m : members) {
            const int g = root[u(m)];
            ++size_[u(g)];
            group_reach_[u(g)] = std::max(group_reach_[u(g)], reach[u(m)]);
        }
        // The outside lines of every group with two nodes or more, by root.
        struct Outside {
            int root, order, member;
            std::size_t link;
            BranchLine branch;
        };
        Array<Outside> outside;
        for (const int m : members) {
            const int g = root[u(m)];
            if (size_[u(g)] < 2) continue;
            for (std::size_t j = adjstart_[u(m)]; j < adjstart_[u(m) + 1]; ++j) {
                if (inside(links_[adj_[j]])) continue;
                const BranchLine b = branch_line(m, adj_[j]);
                if (b.line.weight > 0 && !outside.push({g, static_cast<int>(outside.size()), m, adj_[j], b})) return false;
            }
        }
        std::sort(outside.begin(), outside.end(), [](const Outside &x, const Outside &y) {
            return x.root != y.root ? x.root < y.root : x.order < y.order;
        });
        for (std::size_t k = 0; k < outside.size();) {
            const int g = outside[k].root;
            std::size_t e = k;
            while (e < outside.size() && outside[e].root == g) ++e;
            auto each = [&](auto use) {
                for (std::size_t j = k; j < e; ++j) use(outside[j].branch);
            };
            auto each_way = [&](auto use) {
                for (std::size_t j = k; j < e; ++j) use(outside[j].branch, away(outside[j].member, outside[j].link));
            };
            // Thinning may part the crossing of a straight stroke and a bent
            // one into junctions on either side of it.  A group that takes
            // in a node of the bent stroke alone (a short link of a small
            // ring) is not that crossing, unless it was formed of the
            // crossing's links alone (`bent_only`).  Its width is the median
            // of its branches' (the widest, width(g), may be measured in the
            // crossing's ink).
            bool crossing_only = e - k == 4;
            double widths[4];
            for (std::size_t j = k; j < e && crossing_only; ++j) {
                crossing_only = bent_only || degree_[u(outside[j].member)] >= 3;
                widths[j - k] = links_[outside[j].link].fit.width;
            }
            if (Line through; crossing_only && straight_through(each_way, median(widths, 4), through, placed_[u(g)])) {
                fallback_[u(g)] = placed_[u(g)];
                meets_[u(g)] = 1;
                k = e;
                continue;
            }
            if (bent_only) {
                k = e;
                continue;
            }
            Meeting meeting;
            const bool crossing = use_branches(each, [&](const Line &l) { meeting.add(l); });
            // Where the lines meet, with the pull to the root's pixel (any
            // member's) only breaking ties; and, should that lie out of the
            // members' reach (a shallow branch moves it far along), held
            // near that pixel as a lone node is.  The held point alone
            // drew well placed groups a pixel or more along their
            // flattest line towards the root.  Two lines that turn only a
            // little (the chords of a ragged curve) meet well off the
            // stroke, so only a junction's group or a sharp corner goes
            // where its lines meet (an acute one, below, too).
            const bool sharp = e - k >= 3 || (e - k == 2 && std::fabs(cross(outside[k].branch.line.dir,
                                                                            outside[k + 1].branch.line.dir)) >= kSharpCorner);
            const Vec2 held = meeting.solve(pixel(g), kPull), free = sharp ? meeting.solve(pixel(g), kJunctionPull) : held;
            // ... and the lines used all pass near that point.
            auto near = [&](Vec2 at) {
                bool all = true;
                use_branches(each, [&](const Line &l) { all &= std::fabs(distance_to(l, at)) <= scatter(width(g)); });
                return all;
            };
            const bool free_near = near(free), held_near = sharp ? near(held) : free_near;
            // The tip of an acute corner lies up to its depth beyond the
            // chamfer thinning leaves, where its lines meet, through the
            // corner's own ink and in the middle of the ink across the
            // corner (arms that curve into a rounded tip meet off it, at
            // its side).  Held nearer the chamfer, the corner would turn
            // both arms off their lines: it meets there or not at all.  Its
            // arms run merged until they lie a stroke and a pixel apart,
            // and cuts there would pull them to the middle.
            const Acute acute = acute_corner(outside[k], outside[k + 1], e - k);
            if (acute.depth > 0) {
                const Vec2 tip = sharp ? free : meeting.solve(pixel(g), kJunctionPull);
                Run across;
                if (crossing && near(tip) && ink_.black_between(pixel(g), tip) &&
                    run_across(ink_, tip, perp(acute.axis), kReach, across) &&
                    std::fabs(across.middle()) <= kCentred * across.width()) {
                    placed_[u(g)] = fallback_[u(g)] = tip;
                    meets_[u(g)] = kAcuteCorner;
                    depth_[u(g)] = acute.depth;
                    strokes_[u(g)] = {outside[k].branch.line, outside[k + 1].branch.line};
                    crossing_[u(g)] = acute.clear;
                    k = e;
                    continue;
                }
            }
            if (crossing && (free_near || held_near)) {
                placed_[u(g)] = free_near ? free : held;
                fallback_[u(g)] = held_near ? held : free;
                meets_[u(g)] = 1;
                double sine = 0;
                if (two_strokes(outside, k, e, width(g), placed_[u(g)], sine, strokes_[u(g)])) {
                    meets_[u(g)] = kTwoStrokes;
                    fallback_[u(g)] = placed_[u(g)];
                    // Along either stroke, the other's ink reaches at most
                    // w / sine from the crossing.
                    crossing_[u(g)] = width(g) / sine;
                }
            }
            k = e;
        }
        // Every member of a crossing of two strokes lies in the ink of one
        // of them.  A group that also takes in nodes around a thick ring
        // the strokes cross (its links all shorter than its width, and the
        // strokes' links between the ring's crossings and the centre long
        // crossing links) would otherwise draw the whole ring into the
        // centre.
        auto off_strokes = [&](int m) {
            const int g = root[u(m)];
            const double hold = 0.5 * width(g) + 2.5;
            return std::fabs(distance_to(strokes_[u(g)].p, pixel(m))) > hold &&
                   std::fabs(distance_to(strokes_[u(g)].q, pixel(m))) > hold;
        };
        for (const int m : members)
            if (meets_[u(root[u(m)])] == kTwoStrokes && off_strokes(m)) meets_[u(root[u(m)])] = 0;
        // A member lies at most its reach (half its longest tying link) from
        // the meeting point; where two strokes cross, thinning may part the
        // crossing into junctions on either side of it, up to that whole
        // link away.  The chamfer of an acute corner lies up to the corner's
        // depth from its tip, and a member on the line of either arm (tied
        // on along a thick one) that depth farther than its reach; a
        // member off both lines is a bend of a curve running into the
        // corner, and the lines' meeting would cut that curve.  A group with
        // a member out of reach goes to its held point, and if one is out
        // of reach of that too, does not meet.
        auto beyond = [&](int m) {
            const int g = root[u(m)];
            double reach_of = (meets_[u(g)] == kTwoStrokes ? 2 : 1) * group_reach_[u(g)];
            if (meets_[u(g)] == kAcuteCorner) {
                const double hold = scatter(width(g));
                const bool on_arm = std::fabs(distance_to(strokes_[u(g)].p, pixel(m))) <= hold ||
                                    std::fabs(distance_to(strokes_[u(g)].q, pixel(m))) <= hold;
                reach_of = on_arm ? reach_of + depth_[u(g)] : std::max(reach_of, depth_[u(g)]);
            }
            return norm(placed_[u(g)] - pixel(m)) > std::max(0.5 * width(g) + 2.5, reach_of + 2.5);
        };
        for (const int m : members)
            if (meets_[u(root[u(m)])] && beyond(m)) placed_[u(root[u(m)])] = fallback_[u(root[u(m)])];
        for (const int m : members)
            if (meets_[u(root[u(m)])] && beyond(m)) meets_[u(root[u(m)])] = 0;
        for (const int m : members)
            if (meets_[u(root[u(m)])]) anchor_[u(m)] = root[u(m)];
        for (const int m : members) crossing_[u(m)] = meets_[u(root[u(m)])] ? crossing_[u(root[u(m)])] : 0;
        for (const int m : members) {
            const int g = root[u(m)];
            size_[u(g)] = 0;
            group_reach_[u(g)] = 0;
            depth_[u(g)] = 0;
            meets_[u(g)] = 0;
        }
        return true;
    }

    bool place() {
        Array<Meeting> meetings;
        Array<Line> outward;      // per free end: its link's line, pointing out of the stroke
        Array<double> endwidth;   // ... and the stroke's width along that link
        Array<unsigned char> branchy;  // per junction: a link of it lies in its ink
        if (!meetings.resize(u(nodes_)) || !outward.resize(u(nodes_)) || !endwidth.resize(u(nodes_), 1.0) ||
            !branchy.resize(u(nodes_), 0))
            return false;
        for (std::size_t k = 0; k < links_.size(); ++k) {
            const LinkRecord &r = links_[k];
            for (const int n : {r.a, r.b}) {
                if (degree_[u(n)] >= 3) {
                    // Most junctions have every link measured clear of them;
                    // the others are placed from their branches below.
                    if (anchor_[u(n)] >= 0 || branchy[u(n)]) continue;
                    if (sound_link(r, width(n))) meetings[u(n)].add(r.fit.line);
                    else branchy[u(n)] = 1;
                    continue;
                }
                Line line = r.fit.line;
                const bool end = degree_[u(n)] == 1;
                if (!(end && through_line(n, k, line)) && !r.fit.ok) continue;
                meetings[u(n)].add(line);
                if (!end) continue;
                // Pointing from the link's other node out through the end.
                const bool out = dot(line.dir, pixel(n) - pixel(other(r, n))) >= 0;
                outward[u(n)] = {line.at, out ? line.dir : line.dir * -1, line.weight};
                endwidth[u(n)] = std::max(1.0, r.fit.ok ? r.fit.width : width(other(r, n)));
            }
        }
        // A junction from one line per branch.
        Array<BranchLine> branches;
        for (int i = 0; i < nodes_; ++i) {
            if (!branchy[u(i)]) continue;
            meetings[u(i)] = Meeting();
            const double typical = typical_width(i);
            bool clear = true;
            for (std::size_t j = adjstart_[u(i)]; j < adjstart_[u(i) + 1] && clear; ++j)
                clear = sound_link(links_[adj_[j]], typical);
            if (clear) {
                for (std::size_t j = adjstart_[u(i)]; j < adjstart_[u(i) + 1]; ++j) meetings[u(i)].add(links_[adj_[j]].fit.line);
                continue;
            }
            branches.clear();
            for (std::size_t j = adjstart_[u(i)]; j < adjstart_[u(i) + 1]; ++j)
                if (!branches.push(branch_line(i, adj_[j], typical))) return false;
            auto each = [&](auto use) {
                for (const BranchLine &b : branches) use(b);
            };
            auto each_way = [&](auto use) {
                for (std::size_t j = adjstart_[u(i)]; j < adjstart_[u(i) + 1]; ++j)
                    use(branches[j - adjstart_[u(i)]], away(i, adj_[j]));
            };
            Line through;
            if (Vec2 at; straight_through(each_way, typical, through, at)) {
                meetings[u(i)].add(through);
                meetings[u(i)].add({at, perp(through.dir), through.weight});
                continue;
            }
            use_branches(each, [&](const Line &l) { meetings[u(i)].add(l); });
        }
        // Every node is placed from its own records alone (a group's members
        // from their anchor, whose place tie() set), so blocks of nodes go to
        // separate threads.
        const int parts = part_count(u(nodes_), kNodesPerPart, threads_);
        run_parts(parts, [&](int k) {
            const int from = static_cast<int>(part_begin(u(nodes_), parts, k));
            const int to = static_cast<int>(part_begin(u(nodes_), parts, k + 1));
            for (int i = from; i < to; ++i) place_node(i, meetings, outward, endwidth);
        });
        NodeGraph g = graph();
        // Junctions the wedges moved are not the slants' to move.
        Array<Vec2> before;
        if (!before.resize(u(nodes_))) return false;
        std::copy(placed_.begin(), placed_.end(), before.begin());
        if (!close_wedges(g, turns_) || !follow_slants(g, before)) return false;
        // Most pages have no cusp: the per-node index is made only for
        // those that do.
        if (turns_.empty()) return true;
        if (!turn_of_.resize(u(nodes_), -1)) return false;
        for (std::size_t t = 0; t < turns_.size(); ++t) turn_of_[u(turns_[t].junction)] = static_cast<int>(t);
        return true;
    }

    NodeGraph graph() { return {links_, adjstart_, adj_, degree_, anchor_, pixels_, widths_, placed_, crossing_, ink_, nodes_}; }

    void place_node(int i, const Array<Meeting> &meetings, const Array<Line> &outward, const Array<double> &endwidth) {
        if (!degree_[u(i)]) return;
        if (const int a = anchor_[u(i)]; a >= 0) {
            if (a != i) placed_[u(i)] = placed_[u(a)];
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
    // drawing has one vertex there and no zigzag between two.  Two
    // junctions a short link ties (a crossing thinning split in two) that
    // were placed on their own, each where its branches meet, are one place
    // too when they came to lie much closer than their pixels were (within
    // a quarter of the link and of the stroke width): their branches meet
    // in one point, up to the scatter of the measurement.
    bool merge_close() {
        Groups close;
        Array<int> lead;  // per group root: its member with the most links
        if (!close.reset(u(nodes_)) || !lead.resize(u(nodes_), -1)) return false;
        for (const LinkRecord &r : links_) {
            if (degree_[u(r.a)] < 2 || degree_[u(r.b)] < 2) continue;
            double reach = kCloseBy;
            if (r.tying && degree_[u(r.a)] >= 3 && degree_[u(r.b)] >= 3)
                reach = std::max(reach, kConverged * std::min(r.length, std::min(width(r.a), width(r.b))));
            if (norm(placed_[u(r.a)] - placed_[u(r.b)]) < reach) close.join(r.a, r.b);
        }
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
                // An arm of a cusp goes back from the tip to where its
                // junction stood before it curves away (past the nodes
                // that went to the tip with the junction).
                const int first = turn_after(p, 0, 1), last = turn_after(p, p.nodenum - 1, -1);
                for (int i = 0; i < p.nodenum; ++i) {
                    if (valid(p.nodeindex[i]) && !out.add(placed_[u(p.nodeindex[i])], p.nodeindex[i])) return false;
                    if (i == first && !out.add(turn_point(p.nodeindex[0], p.nodeindex[i + 1]), -1)) return false;
                    if (i == last && !out.add(turn_point(p.nodeindex[p.nodenum - 1], p.nodeindex[i]), -1)) return false;
                }
            }
            out.end();
        }
        return true;
    }

    // The node of polyline p after which the turn of the cusp junction at
    // its node `end` (the first, step 1, or the last, step -1) goes: the
    // last one walking inward placed at the junction's place (step 1) or
    // the first one not (step -1).  -1 if that end is no such junction,
    // the line is the cusp's stub, or it lies all at the junction's place.
    int turn_after(const _KTPOLYLINE &p, int end, int step) const {
        if (turns_.empty() || p.nodenum < 2 || !valid(p.nodeindex[end])) return -1;
        const int j = p.nodeindex[end], t = turn_of_[u(j)];
        if (t < 0 || p.nodeindex[end + step] == turns_[u(t)].tip) return -1;
        const Vec2 at = placed_[u(j)];
        int i = end + step;
        while (i >= 0 && i < p.nodenum && valid(p.nodeindex[i]) && placed_[u(p.nodeindex[i])].x == at.x &&
               placed_[u(p.nodeindex[i])].y == at.y)
            i += step;
        if (i < 0 || i >= p.nodenum || !valid(p.nodeindex[i])) return -1;
        return step > 0 ? i - 1 : i;
    }

    // Where the arm of cusp junction j whose next node is `next` turns.
    Vec2 turn_point(int j, int next) const {
        const CuspTurn &t = turns_[u(turn_of_[u(j)])];
        const Vec2 across = perp(t.axis);
        return t.from + across * (dot(placed_[u(next)] - t.from, across) >= 0 ? t.half : -t.half);
    }

    CKTVector &v_;
    const Ink ink_;
    const int nodes_;
    const int threads_;
    Array<int> degree_, live_;
    Array<Vec2> pixels_;  // per node: its pixel
    Array<LinkRecord> links_;
    Array<std::size_t> firstlink_;  // per live polyline: its first record in links_
    Array<double> widths_, linewidths_;
    Array<std::size_t> adjstart_, adj_;  // per node: its links are adj_[adjstart_[i] .. adjstart_[i + 1])
    Array<Vec2> placed_;
    Array<int> anchor_;  // per node: the member whose place its group shares, or -1
    Array<double> crossing_;  // per node: how far along its strokes the ink of the crossing or corner it is placed at reaches, px, or 0
    Array<CuspTurn> turns_;   // junctions moved to a cusp's tip
    Array<int> turn_of_;      // per node: its turn in turns_, or -1 (empty when turns_ is)
    // Per group root, scratch of settle() (all zero between its calls):
    // members, farthest a member may lie from the meeting point (px), how
    // far the tip of an acute corner lies beyond its chamfer (px), and
    // whether the group meets (kTwoStrokes: as the crossing of two straight
    // strokes; kAcuteCorner: at the tip of an acute corner).
    Array<int> size_;
    Array<double> group_reach_;
    Array<double> depth_;
    Array<unsigned char> meets_;
    Array<Vec2> fallback_;  // per group root: where it goes should its meeting point be out of reach
    Array<StrokePair> strokes_;  // per group root that meets as two strokes or an acute corner: their lines
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
