// Junctions of branches that meet at a slant.
//
// A stroke that joins a line at a narrow angle runs merged with it for
// about w / sin of the angle before their centre lines meet, and thinning
// parts them where the ink parts, short of the meeting.  The junction's
// lines meet there too loosely to move it far against the pull to its
// pixel, and the joining stroke's is the chord of its link out to the next
// node: where the stroke bends on its way in (a contour line reaching a
// map's frame), that chord leans in more steeply than the stroke arrives.
// So the joining branch is measured again just past the parting, a few
// widths of it, by the cuts clear of the line's ink, and the junction
// moves along the line to where that leg's line meets it, provided that
// lies on along the line, through ink, within twice the merged depth, the
// ink halfway there holds both strokes, and the ink across the line a
// little past it is the line's own (the joining stroke ended there,
// rather than running on beside the line).  Across the line the junction
// stays where all its lines put it.
#include "refine/slants.h"

#include <algorithm>
#include <cmath>

namespace ktv::refine {

namespace {

constexpr double kSlantCos = 0.82;     // branches closer than 35 degrees run merged for a while ...
constexpr double kFlatSine = 0.12;     // ... and further apart than 7 (flatter ones meet too loosely)
constexpr double kThrough = 0.985;     // cosine of the largest turn of the line through the junction (10 degrees)
constexpr double kLegStart = 1.0;      // a leg is measured from this far along from the junction, px ...
constexpr double kLegLength = 3.0;     // ... over this many stroke widths ...
constexpr double kLegMin = 4.0;        // ... and this long at least, px
constexpr double kLegTurn = 0.75;      // a leg's sine to the line is at least this share of its branch's
constexpr double kAhead = 0.5;         // the meeting lies at least this far on from the junction, px ...
constexpr double kReachDepths = 2.0;   // ... and within this many merged depths of its pixel ...
constexpr double kReachSlack = 1.5;    // ... and this much more, px
constexpr double kPast = 1.0;          // the ink across the line is measured this far past the joining
                                       // stroke's cap, px ...
constexpr double kPastWider = 1.0;     // ... and is no wider than the line by more than this, px
constexpr double kMergedShare = 0.3;   // halfway to the meeting the ink across the line is this share
                                       // of the joining stroke wider than the line
constexpr double kSoundWidths = 2.0;   // a link this many stroke widths long leaves the junction's ink
constexpr int kMostSteps = 8;          // links a leg is followed along

class Slants : NodeGraph {
public:
    Slants(const NodeGraph &g, const Array<Vec2> &before) : NodeGraph(g), before_(before) {}

    // Every junction is judged from the places before any moves.
    bool run() {
        Array<Vec2> at;
        Array<double> merged;
        Array<unsigned char> moves;
        if (!at.resize(u(nodes)) || !merged.resize(u(nodes), 0) || !moves.resize(u(nodes), 0)) return false;
        for (int j = 0; j < nodes; ++j) {
            if (degree[u(j)] != 3 || anchor[u(j)] >= 0 || clear[u(j)] != 0 || placed[u(j)].x != before_[u(j)].x ||
                placed[u(j)].y != before_[u(j)].y)
                continue;
            const int found = slant(j, at[u(j)], merged[u(j)]);
            if (found < 0) return false;
            moves[u(j)] = static_cast<unsigned char>(found);
        }
        // Cuts across either stroke within the merged length of the
        // junction run into the other's ink: the bends passes keep clear.
        for (int j = 0; j < nodes; ++j)
            if (moves[u(j)]) placed[u(j)] = at[u(j)], clear[u(j)] = merged[u(j)];
        return true;
    }

private:
    const Array<Vec2> &before_;  // per node: its place before the wedges were closed
    FitScratch scratch_;

    // The points `s0` and `s1` px (s0 < s1) along the branch of junction j
    // by link k, as the chain of its nodes' pixels runs on through nodes of
    // two links; false when the branch ends or turns off into a junction
    // before s1.
    bool along(int j, std::size_t k, double s0, double s1, Vec2 &p0, Vec2 &p1) const {
        int n = j;
        double done = 0;
        bool first = false;
        for (int step = 0; step < kMostSteps; ++step) {
            const int m = other(links[k], n);
            const Vec2 a = pixel(n), b = pixel(m);
            const double l = norm(b - a);
            if (!first && done + l >= s0) {
                p0 = a + (b - a) * ((s0 - done) / l);
                first = true;
            }
            if (done + l >= s1) {
                p1 = a + (b - a) * ((s1 - done) / l);
                return true;
            }
            done += l;
            if (degree[u(m)] != 2) return false;
            k = next_link(m, k);
            n = m;
        }
        return false;
    }

    // The fitted line of link l, pointing away from its node n.
    Line away(const LinkRecord &l, int n) const {
        Line line = l.fit.line;
        if (dot(line.dir, pixel(other(l, n)) - pixel(n)) < 0) line.dir = line.dir * -1;
        return line;
    }

    // The way the branch of junction j by link k runs, and the width of
    // its stroke: the direction and width of its first link at least
    // `sound` px long (through nodes of two links), or of its first link.
    Vec2 branch_way(int j, std::size_t k, double sound, double &width) const {
        int n = j, from = j;
        std::size_t at = k, chosen = k;
        for (int step = 0; step < kMostSteps; ++step) {
            const LinkRecord &l = links[at];
            if (l.fit.ok && l.length >= sound) {
                chosen = at, from = n;
                break;
            }
            const int m = other(l, n);
            if (degree[u(m)] != 2) break;
            at = next_link(m, at);
            n = m;
        }
        width = links[chosen].fit.width;
        return away(links[chosen], from).dir;
    }

    // Where junction j's joining branch meets its line: 1, `to` and how far
    // from there the two run merged (`merged`, px) when it is one to move,
    // 0 when not, -1 when memory runs out.
    int slant(int j, Vec2 &to, double &merged) {
        std::size_t k[3];
        Line line[3];
        for (int i = 0; i < 3; ++i) {
            k[i] = adj[adjstart[u(j)] + static_cast<std::size_t>(i)];
            const LinkRecord &l = links[k[i]];
            // A link to another junction close by may lie in the merged ink
            // of a crossing that thinning split in two.
            if (!l.fit.ok || ((l.crossing || l.tying) && degree[u(other(l, j))] >= 3)) return 0;
            line[i] = away(l, j);
        }
        // A line goes on straight through the junction (branches r and t)
        // and the third, s, joins it; s leaves on r's side, at a slant.
        // Its way is that of its first link clear of the junction's ink: a
        // thick stroke's skeleton bends as it leaves the merged ink, and
        // its link there leaves at up to twice the stroke's angle.
        int s = -1, r = -1, t = -1;
        for (int a = 0; a < 3; ++a)
            for (int b = a + 1; b < 3; ++b)
                if (dot(line[a].dir, line[b].dir) < -kThrough) s = 3 - a - b, r = a, t = b;
        if (s < 0) return 0;
        // Its width is the narrower of that link's and the first link's:
        // cuts in the merged ink take in some of the line's ink too (those
        // of a short first link may run along the line).
        double ws = links[k[s]].fit.width, clear_width = ws;
        const Vec2 way =
            branch_way(j, k[s], kSoundWidths * std::max({ws, links[k[r]].fit.width, links[k[t]].fit.width}), clear_width);
        ws = std::min(ws, clear_width);
        if (dot(line[t].dir, way) > dot(line[r].dir, way)) std::swap(r, t);
        // The line's width: the wider its two branches measure (one of
        // them across a jagged stretch may come out a pixel narrow).
        const double wr = std::max(links[k[r]].fit.width, links[k[t]].fit.width);
        const double sine = std::fabs(cross(way, line[r].dir));
        if (dot(way, line[r].dir) < kSlantCos || sine < kFlatSine) return 0;
        // The two run merged along t to their meeting, and t goes on past
        // it (a V's stub on to its tip is no such line: wedges.h).
        const double reach = kReachDepths * apart_at(way, line[r].dir, std::max(ws, wr)) + kReachSlack;
        if (degree[u(other(links[k[t]], j))] == 1 && links[k[t]].length <= reach + ws) return 0;
        Vec2 a, b;
        if (!along(j, k[s], kLegStart, kLegStart + std::max(kLegMin, kLegLength * std::max(1.0, std::min(ws, wr))), a, b))
            return 0;
        LinkFit leg;
        Line ls;
        if (!fit_leg(ink, a, b, scratch_, leg, ls)) return -1;
        if (!leg.ok || leg.clear.weight <= 0) return 0;
        // The leg turns in towards the line no more than the branch's way
        // does: a stroke that bends in to run along the line (a fillet)
        // meets it too flatly to say where.
        const double leg_sine = std::fabs(cross(ls.dir, line[r].dir));
        if (dot(ls.dir, line[r].dir) < kSlantCos || leg_sine < kFlatSine || leg_sine < kLegTurn * sine) return 0;
        const Vec2 meet = meeting_point(ls, line[r]), p = placed[u(j)];
        if (dot(meet - p, line[t].dir) < kAhead || norm(meet - pixel(j)) > reach || !ink.black_between(p, meet)) return 0;
        // On the way there the two run merged: halfway, the ink across the
        // line holds the joining stroke too ...
        Run way_in;
        if (!run_across(ink, (pixel(j) + meet) * 0.5, perp(line[r].dir), kReach, way_in) ||
            way_in.width() < wr + kMergedShare * ws)
            return 0;
        // ... and past the meeting the joining stroke has ended: a little
        // beyond its cap the ink across the line is the line's own.
        Run past;
        if (!run_across(ink, meet + line[t].dir * (0.5 * ws + kPast), perp(line[r].dir), kReach, past) ||
            past.width() > wr + kPastWider)
            return 0;
        // Across the line the junction stays where all its lines put it
        // (the line's two branches hold it there better than r alone): it
        // moves along the line only.
        to = p + line[t].dir * dot(meet - p, line[t].dir);
        merged = apart_at(ls.dir, line[r].dir, ws + 1);
        return 1;
    }
};

}  // namespace

bool follow_slants(NodeGraph &graph, const Array<Vec2> &before) { return Slants(graph, before).run(); }

}  // namespace ktv::refine
