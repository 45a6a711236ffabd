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
#include <cstdlib>
#include <cstdio>

#include "refine/ink.h"
#include "refine/stubs.h"

namespace ktv::refine {

namespace {

// DEVELOPMENT KNOBS (removed before landing)
inline double knob(const char *name, double def) {
    const char *v = std::getenv(name);
    return v ? std::atof(v) : def;
}

constexpr double kStep = 1.0;           // spacing of the cuts along a link, px
constexpr double kReach = 12.0;         // farthest a cut looks for the edges, px
constexpr double kJunctionMargin = 1.0; // no cut this close to a junction node, px
constexpr double kPull = 0.05;          // weight of a node's own pixel, per unit of line weight
constexpr double kEndCap = 0.5;         // a free end stops this far inside the ink's tip, px
constexpr double kShortLink = 2.0;      // links up to the stroke width plus this are short, px
constexpr double kCrossing = 0.3;       // sine of the angle at which two lines cross
constexpr double kMeetSlack = 0.75;     // how far the lines of a group may pass from their meeting point, px

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
    if (std::getenv("KDBG")) {
        double bx0 = knob("BX0", 0), by0 = knob("BY0", 0), bx1 = knob("BX1", 0), by1 = knob("BY1", 0);
        if ((a.x >= bx0 && a.x <= bx1 && a.y >= by0 && a.y <= by1) || (b.x >= bx0 && b.x <= bx1 && b.y >= by0 && b.y <= by1))
            fprintf(stderr, "link (%g,%g)-(%g,%g) cuts %zu kept %g width %g offset %g centre (%.2f,%.2f) dir (%.3f,%.3f)\n", a.x, a.y, b.x, b.y, cuts.size(), sw, width, offset, centre.x, centre.y, dir.x, dir.y);
    }
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
    Vec2 solve(Vec2 own, double pullweight = kPull) const {
        const double pull = pullweight * weight + 1e-6;
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


// Union-find over node indices, for the groups of nodes that short links
// hold together.
class Groups {
public:
    bool reset(std::size_t n) {
        if (!parent_.resize(n)) return false;
        for (std::size_t i = 0; i < n; ++i) parent_[i] = static_cast<int>(i);
        return true;
    }
    int find(int i) {
        while (parent_[static_cast<std::size_t>(i)] != i) {
            int &p = parent_[static_cast<std::size_t>(i)];
            p = parent_[static_cast<std::size_t>(p)];
            i = p;
        }
        return i;
    }
    // The smaller index becomes the root: groups do not depend on the
    // order in which their links are met.
    void join(int a, int b) {
        a = find(a);
        b = find(b);
        if (a == b) return;
        if (a < b) parent_[static_cast<std::size_t>(b)] = a;
        else parent_[static_cast<std::size_t>(a)] = b;
    }

private:
    Array<int> parent_;
};

struct LinkRecord {
    int a, b;      // node indices
    LinkFit fit;
    bool shortlink;
};

}  // namespace

int refine_centerlines(CKTVector &v, LineSet &out) {
    out.clear();
    const Ink ink(v.document, v.width, v.height, static_cast<std::size_t>(v.bytesperline));
    const int nodes = v.mgetnodenum(), polylines = v.mgetpolylinenum();
    const std::size_t un = static_cast<std::size_t>(nodes);
    auto valid = [&](int index) { return index >= 0 && index < nodes; };
    auto position = [&](int index) {
        const _KTNODE &n = *v.mgetnode(index);
        return Vec2{static_cast<double>(n.x), static_cast<double>(n.y)};
    };

    // The live polylines and the degree of every node in the graph they
    // draw.
    Array<int> degree, live;
    if (!degree.resize(un, 0)) return -1000;
    for (int id = 1; id <= polylines; ++id) {
        const _KTPOLYLINE &p = *v.mgetpolyline(id);
        if (p.deleted || p.nodenum < 2) continue;
        if (!live.push(id)) return -1000;
        for (int i = 0; i + 1 < p.nodenum; ++i) {
            const int a = p.nodeindex[i], b = p.nodeindex[i + 1];
            if (!valid(a) || !valid(b) || a == b) continue;
            ++degree[static_cast<std::size_t>(a)];
            ++degree[static_cast<std::size_t>(b)];
        }
    }

    // Every link measured once.
    Array<LinkRecord> links;
    Array<double> widths;
    Array<Cut> cuts;
    Array<double> scratch;
    if (!widths.resize(un, 0)) return -1000;
    for (const int id : live) {
        const _KTPOLYLINE &p = *v.mgetpolyline(id);
        for (int i = 0; i + 1 < p.nodenum; ++i) {
            const int a = p.nodeindex[i], b = p.nodeindex[i + 1];
            if (!valid(a) || !valid(b) || a == b) continue;
            const std::size_t ua = static_cast<std::size_t>(a), ub = static_cast<std::size_t>(b);
            LinkRecord r{a, b, {}, false};
            if (!fit_link(ink, position(a), position(b), degree[ua] >= 3, degree[ub] >= 3, cuts, scratch, r.fit))
                return -1000;
            if (!links.push(r)) return -1000;
            if (r.fit.ok) {
                widths[ua] = std::max(widths[ua], r.fit.width);
                widths[ub] = std::max(widths[ub], r.fit.width);
            }
        }
    }

    // Short links between nodes that continue on both sides are what
    // thinning and approximation leave at a corner (a chamfer) or at a
    // crossing (two junctions a pixel or two apart): their own cuts say
    // little, and the node group they join belongs at the one point where
    // the longer links around it meet.
    Groups groups;
    if (!groups.reset(un)) return -1000;
    for (LinkRecord &r : links) {
        const std::size_t ua = static_cast<std::size_t>(r.a), ub = static_cast<std::size_t>(r.b);
        if (degree[ua] < 2 || degree[ub] < 2) continue;
        const double w = std::max({1.0, widths[ua], widths[ub]});
        static const double shortk = knob("KL", 1.0), shortc = knob("KLC", 2.0);
        if (norm(position(r.b) - position(r.a)) > shortk * w + shortc) continue;
        r.shortlink = true;
        groups.join(r.a, r.b);
    }

    Array<NodeSum> sums, groupsums;
    Array<Line> endline;  // per end node: the line of its link, pointing out
    if (!sums.resize(un) || !groupsums.resize(un) || !endline.resize(un)) return -1000;
    for (const LinkRecord &r : links) {
        if (!r.fit.ok) continue;
        const std::size_t ua = static_cast<std::size_t>(r.a), ub = static_cast<std::size_t>(r.b);
        sums[ua].add(r.fit.line);
        sums[ub].add(r.fit.line);
        if (!r.shortlink) {
            groupsums[static_cast<std::size_t>(groups.find(r.a))].add(r.fit.line);
            groupsums[static_cast<std::size_t>(groups.find(r.b))].add(r.fit.line);
        }
        if (degree[ua] == 1) endline[ua] = {r.fit.line.at, r.fit.line.dir * -1, r.fit.line.weight};
        if (degree[ub] == 1) endline[ub] = {r.fit.line.at, r.fit.line.dir, r.fit.line.weight};
    }

    // Where a group's outside lines meet: all its nodes go there when the
    // lines cross (not all parallel) and pass close to one point near the
    // group; otherwise (a jog between two parallel runs, say) each node is
    // placed on its own.
    Array<int> groupsize;
    if (!groupsize.resize(un, 0)) return -1000;
    for (int i = 0; i < nodes; ++i)
        if (degree[static_cast<std::size_t>(i)]) ++groupsize[static_cast<std::size_t>(groups.find(i))];
    struct GroupLine {
        int root, order;
        Line line;
    };
    Array<GroupLine> glines;
    for (const LinkRecord &r : links) {
        if (!r.fit.ok || r.shortlink) continue;
        for (const int node : {r.a, r.b}) {
            const int root = groups.find(node);
            if (groupsize[static_cast<std::size_t>(root)] > 1 &&
                !glines.push({root, static_cast<int>(glines.size()), r.fit.line}))
                return -1000;
        }
    }
    std::sort(glines.begin(), glines.end(), [](const GroupLine &x, const GroupLine &y) {
        return x.root != y.root ? x.root < y.root : x.order < y.order;
    });
    Array<Vec2> placed;
    Array<unsigned char> grouped;  // per group root: the group meets at placed[root]
    if (!placed.resize(un) || !grouped.resize(un, 0)) return -1000;
    for (std::size_t k = 0; k < glines.size();) {
        std::size_t e = k;
        NodeSum sum;
        bool crossing = false;
        while (e < glines.size() && glines[e].root == glines[k].root) {
            for (std::size_t j = k; j < e; ++j)
                if (std::fabs(cross(glines[j].line.dir, glines[e].line.dir)) > kCrossing) crossing = true;
            sum.add(glines[e].line);
            ++e;
        }
        const int root = glines[k].root;
        const std::size_t ur = static_cast<std::size_t>(root);
        if (crossing) {
            const Vec2 at = sum.solve(position(root));
            const double w = std::max(1.0, widths[ur]);
            static const double reachk = knob("KR", 0.5), reachc = knob("KRC", 1.5), slack = knob("KS", 0.5),
                                slackw = knob("KSW", 0.15);
            bool meets = norm(at - position(root)) <= reachk * w + reachc;
            for (std::size_t j = k; j < e && meets; ++j)
                meets = std::fabs(distance_to(glines[j].line, at)) <= slack + slackw * w;
            if (meets) {
                placed[ur] = at;
                grouped[ur] = 1;
            }
        }
        k = e;
    }
    // Every member must be near the meeting point, not only the root.
    for (int i = 0; i < nodes; ++i) {
        const std::size_t u = static_cast<std::size_t>(i);
        if (!degree[u]) continue;
        const std::size_t root = static_cast<std::size_t>(groups.find(i));
        static const double reachk = knob("KR", 0.5), reachc = knob("KRC", 1.5);
        const double w = std::max(1.0, widths[root]);
        if (grouped[root] && norm(placed[root] - position(i)) > reachk * w + reachc) grouped[root] = 0;
    }
    for (int i = 0; i < nodes; ++i) {
        const std::size_t u = static_cast<std::size_t>(i);
        if (!degree[u]) continue;
        const std::size_t root = static_cast<std::size_t>(groups.find(i));
        if (grouped[root]) {
            placed[u] = placed[root];
            continue;
        }
        placed[u] = sums[u].solve(position(i));
        // A branch that leaves its line at a shallow angle runs merged with it
        // for several pixels, and thinning puts the junction where they part;
        // the lines themselves meet farther on.  Junctions follow their lines
        // with a weaker pull, as far as a couple of stroke widths.
        static const double jpull = knob("KJP", 0.005), jmove = knob("KJM", 4), jmovew = knob("KJMW", 2);
        if (degree[u] >= 3) {
            const Vec2 free = sums[u].solve(position(i), jpull);
            if (norm(free - position(i)) <= jmove + jmovew * std::max(1.0, widths[u])) placed[u] = free;
        }
        if (degree[u] == 1 && endline[u].weight > 0)
            placed[u] = extend_end(ink, placed[u], endline[u].dir, std::max(1.0, widths[u]));
    }

    // Neighbours that end up less than a pixel apart are one place: both
    // take the position of the one with more links (the junction), so the
    // drawing has one vertex there, not a zigzag between two.
    static const double closeby = knob("KCLOSE", 1.0);
    if (closeby > 0) {
        Groups close;
        if (!close.reset(un)) return -1000;
        for (const LinkRecord &r : links)
            if (norm(placed[static_cast<std::size_t>(r.a)] - placed[static_cast<std::size_t>(r.b)]) < closeby &&
                degree[static_cast<std::size_t>(r.a)] >= 2 && degree[static_cast<std::size_t>(r.b)] >= 2)
                close.join(r.a, r.b);
        Array<int> lead;  // per group root: its member with the most links
        if (!lead.resize(un, -1)) return -1000;
        for (int i = 0; i < nodes; ++i) {
            if (!degree[static_cast<std::size_t>(i)]) continue;
            int &l = lead[static_cast<std::size_t>(close.find(i))];
            if (l < 0 || degree[static_cast<std::size_t>(i)] > degree[static_cast<std::size_t>(l)]) l = i;
        }
        for (int i = 0; i < nodes; ++i)
            if (degree[static_cast<std::size_t>(i)])
                placed[static_cast<std::size_t>(i)] =
                    placed[static_cast<std::size_t>(lead[static_cast<std::size_t>(close.find(i))])];
    }

    Array<double> linewidths;
    for (const int id : live) {
        const _KTPOLYLINE &p = *v.mgetpolyline(id);
        // The line's stroke width: the widest of its nodes' measures (a
        // node's measure is the widest of its links').
        double lw = 0;
        for (int i = 0; i < p.nodenum; ++i)
            if (valid(p.nodeindex[i])) lw = std::max(lw, widths[static_cast<std::size_t>(p.nodeindex[i])]);
        if (!linewidths.push(lw)) return out.clear(), -1000;
        if (!out.begin(id)) return out.clear(), -1000;
        for (int i = 0; i < p.nodenum; ++i) {
            const int a = p.nodeindex[i];
            if (!valid(a)) continue;
            if (!out.add(placed[static_cast<std::size_t>(a)], a)) return out.clear(), -1000;
        }
        out.end();
    }
    static const bool stubs = knob("KSTUB", 1) > 0;
    if (stubs && restore_stubs(ink, linewidths, out) != 0) return out.clear(), -1000;
    out.seal();
    return 0;
}

}  // namespace ktv::refine
