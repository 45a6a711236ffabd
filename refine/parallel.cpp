// Segments drawn on the stroke beside their own.
//
// Links are measured by cuts across their chords, each taking the black run
// the chord passes through or, from paper, the nearer one.  Where strokes a
// pixel or two wide run a pixel or two apart (the layers of a wall, a
// window frame, the two sides of a long narrow hole), a chord of one of
// them can lie on the other or on the paper between: thinning leaves a
// junction's pixel a pixel into a branch, the approximation lets the chord
// of a narrow loop cut across it, a chord from one stroke to a node on the
// other follows the nearer of the two all the way, and of two runs equally
// near the one the link happens to face wins.  The segment is then drawn on
// its neighbour's line, and its own stroke, plain in the ink, is drawn by
// nothing.  Two lines on one stroke give it away: a thin segment that runs
// on other segments along most of its length, while on one side of it a
// stroke of its own, across a gap of paper, runs along as far in no line's
// band, goes to that stroke.  Its ends stay (they are nodes, or bends of
// its line), and it leaves them for its stroke no steeper than a diagonal.
#include "refine/parallel.h"

#include <algorithm>
#include <cmath>

#include "refine/segment_grid.h"

namespace ktv::refine {

namespace {

constexpr double kThin = 3.0;       // widest stroke looked at, px
constexpr double kMinLength = 14.0; // shorter segments are left, px: on a slanted double line the
                                    // paper between comes and goes with the steps
constexpr double kSame = 0.6;       // segments this close lie on one stroke, px
constexpr double kParallel = 0.97;  // cosine within which two segments run along each other
constexpr double kGap = 2.5;        // widest paper between the two strokes: two pixels, slanted, px
constexpr double kShare = 0.6;      // share of a segment's stations that must show both
constexpr double kHeld = 0.5;       // a segment's band holds ink this far beyond half its width, px
constexpr double kMoved = 0.75;     // a segment must move at least this far, px
constexpr double kCutReach = 6.0;   // farthest a cut looks for its run, px
constexpr double kStep = 1.0;       // spacing of the stations along a segment, px
constexpr double kInside = 1e-6;    // a step just past a square's edge, px
constexpr double kNotch = 1.0;      // a bend beside a moved segment this far off its neighbours' chord ...
constexpr double kNotchSpan = 4.0;  // ... between neighbours at most twice that plus this apart is a notch, px

// A moved segment, from point `at` of its line: its new way from p to q.
// An end that is a bend of its line (a point of no node) goes to the
// stroke itself; an end at a node stays, and the segment gains p or q.
struct Move {
    int line, at;
    Vec2 p, q;
    bool bend_a, bend_b;
};

class Separation {
public:
    Separation(const Ink &ink, const Array<double> &widths, const LineSet &lines)
        : ink_(ink), widths_(widths), lines_(lines) {}

    bool run(Array<Move> &moves) {
        if (!segments_of(lines_, widths_, kHeld, segments_)) return false;
        // Queries come from a segment's own band, or a gap and a stroke
        // beyond it (a stroke beside, a segment moved there).
        if (!grid_.build(segments_, ink_.width(), ink_.height(), kGap + kThin + 1)) return false;
        for (std::size_t s = 0; s < segments_.size(); ++s)
            if (!look_at(s, moves)) return false;
        return true;
    }

private:
    // Whether another segment runs along segment s's at p, within kSame.
    bool doubled(std::size_t s, Vec2 p, Vec2 dir) const {
        bool found = false;
        grid_.near(p, [&](int o) {
            const Segment &g = segments_[static_cast<std::size_t>(o)];
            if (found || static_cast<std::size_t>(o) == s) return;
            if (std::fabs(dot(unit(g.b - g.a), dir)) >= kParallel && distance_to_segment(p, g.a, g.b) <= kSame)
                found = true;
        });
        return found;
    }
    // Whether the band of a segment other than s holds p.
    bool held(std::size_t s, Vec2 p) const {
        bool found = false;
        grid_.near(p, [&](int o) {
            const Segment &g = segments_[static_cast<std::size_t>(o)];
            if (!found && static_cast<std::size_t>(o) != s && distance_to_segment(p, g.a, g.b) <= g.reach) found = true;
        });
        return found;
    }
    // The middle of the stroke across a gap of paper from the run `own`
    // (measured from q along n) on side `side` (+1 along n, -1 against it);
    // false when there is none, or it is wider than `widest`.
    bool beside(Vec2 q, Vec2 n, const Run &own, double side, double widest, Vec2 &middle) const {
        const Vec2 d = n * side;
        const double edge = side > 0 ? own.hi : -own.lo;
        const double gap = ink_.edge(q + d * (edge + kInside), d, kGap, true);
        if (gap >= kNoEdge) return false;
        const double from = edge + kInside + gap;
        const double across = ink_.edge(q + d * (from + kInside), d, kCutReach, false);
        if (across >= kNoEdge || across > widest) return false;
        middle = q + d * (from + 0.5 * across);
        return true;
    }

    bool look_at(std::size_t s, Array<Move> &moves) {
        const Segment g = segments_[s];
        const double w = std::max(1.0, widths_[static_cast<std::size_t>(g.line)]);
        const double length = norm(g.b - g.a);
        if (w > kThin || length < kMinLength) return true;
        const Vec2 dir = unit(g.b - g.a), n = perp(dir);
        // Cuts near a junction run into the other branches' ink.
        const double margin = std::max(2.0, 1.5 * w);
        if (length - 2 * margin < 2 * kStep) return true;
        // Most segments run on no other: three stations tell.
        int first_look = 0;
        for (const double at : {0.25, 0.5, 0.75}) first_look += doubled(s, g.a + (g.b - g.a) * at, dir);
        if (first_look < 2) return true;

        const double widest = 1.5 * w + 1;
        int stations = 0, twice = 0, alone[2] = {0, 0};
        middles_[0].clear();
        middles_[1].clear();
        for (double t = margin; t <= length - margin; t += kStep) {
            const Vec2 q = g.a + dir * t;
            Run own;
            if (!run_across(ink_, q, n, kCutReach, own) || own.width() > widest || std::fabs(own.middle()) > 1) continue;
            ++stations;
            twice += doubled(s, q, dir);
            for (int side = 0; side < 2; ++side) {
                Vec2 m;
                if (!beside(q, n, own, side ? -1.0 : 1.0, widest, m) || held(s, m)) continue;
                ++alone[side];
                if (!middles_[side].push(m)) return false;
            }
        }
        const double need = kShare * stations;
        if (stations < 3 || twice < need) return true;
        const bool left = alone[0] >= need, right = alone[1] >= need;
        if (left == right) return true;  // neither side, or both: nothing says which
        const Array<Vec2> &m = middles_[left ? 0 : 1];

        // The line of the stroke beside: the middles' offsets from the
        // segment, a straight function of the place along it, fitted by
        // least squares.
        double st = 0, so = 0, stt = 0, sto = 0;
        for (const Vec2 &p : m) {
            const double t = dot(p - g.a, dir), o = dot(p - g.a, n);
            st += t, so += o, stt += t * t, sto += t * o;
        }
        const double k = static_cast<double>(m.size()), det = k * stt - st * st;
        const double slope = std::fabs(det) > 1e-9 ? (k * sto - st * so) / det : 0;
        const double base = (so - slope * st) / k;
        if (std::fabs(base + 0.5 * slope * length) < kMoved) return true;
        // The segment leaves a node for the line no steeper than a
        // diagonal: from the node's foot on the line, as far in along it as
        // the node lies off it.  A bend goes to its foot.
        const bool bend_a = lines_.node(g.line, g.at) < 0, bend_b = lines_.node(g.line, g.at + 1) < 0;
        const Vec2 fa = g.a + n * base, fb = g.b + n * (base + slope * length);
        const double flen = norm(fb - fa);
        const double ia = bend_a ? 0 : std::fabs(base), ib = bend_b ? 0 : std::fabs(base + slope * length);
        if (ia + ib >= flen) return true;
        const Vec2 fd = (fb - fa) * (1 / flen);
        const Vec2 p = fa + fd * ia, q = fb - fd * ib;
        if (!moves.push({g.line, g.at, p, q, bend_a, bend_b})) return false;
        segments_[s].a = p;
        segments_[s].b = q;
        return true;
    }

    const Ink &ink_;
    const Array<double> &widths_;
    const LineSet &lines_;
    Array<Segment> segments_;
    SegmentGrid grid_;
    Array<Vec2> middles_[2];
};

}  // namespace

int separate_parallel(const Ink &ink, const Array<double> &widths, LineSet &lines) {
    Array<Move> moves;
    if (!Separation(ink, widths, lines).run(moves)) return KTVEC_NO_MEMORY;
    if (moves.empty()) return 0;
    // The lines again with the moves' points; the moves come in line and
    // point order.  A bend that a move put on its stroke is written once,
    // where it now lies (the move before it may have moved it too).  A bend
    // left between a moved segment and its neighbour as a notch towards the
    // stroke the segment left (a short segment on either side of it
    // stayed) goes: it stood for the jump to that stroke.
    LineSet moved;
    Array<Vec2> at;
    Array<int> node;
    Array<unsigned char> made;  // per point: written by a move
    std::size_t next = 0;
    for (int i = 0; i < lines.count(); ++i) {
        at.clear(), node.clear(), made.clear();
        auto put = [&](Vec2 p, int n, bool by_move) { return at.push(p) && node.push(n) && made.push(by_move); };
        bool placed = false;  // the point at k was written by the move before it
        for (int k = 0; k < lines.points(i); ++k) {
            const bool here = next < moves.size() && moves[next].line == i && moves[next].at == k;
            const bool bend_moved = here && moves[next].bend_a;
            if (!placed && !put(bend_moved ? moves[next].p : lines.point(i, k), lines.node(i, k), bend_moved))
                return KTVEC_NO_MEMORY;
            placed = false;
            if (!here) continue;
            const Move &m = moves[next++];
            if ((!m.bend_a && !put(m.p, -1, true)) || !put(m.q, -1, true)) return KTVEC_NO_MEMORY;
            placed = m.bend_b;
        }
        if (!moved.begin(lines.source(i))) return KTVEC_NO_MEMORY;
        for (std::size_t k = 0; k < at.size(); ++k) {
            if (k > 0 && k + 1 < at.size() && node[k] < 0 && !made[k] && (made[k - 1] || made[k + 1])) {
                const double off = distance_to_segment(at[k], at[k - 1], at[k + 1]);
                if (off >= kNotch && norm(at[k + 1] - at[k - 1]) <= 2 * off + kNotchSpan) continue;
            }
            if (!moved.add(at[k], node[k])) return KTVEC_NO_MEMORY;
        }
        moved.end();
    }
    lines.swap(moved);
    return 0;
}

}  // namespace ktv::refine
