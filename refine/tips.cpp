// Tips of acute turns.
//
// Two strokes w wide that meet at a narrow angle a run merged for
// 0.5 w / sin(a / 2) before their tip.  Thinning turns the skeleton inside
// that merged ink, so the driver's node at the turn (or the chamfer of
// nodes a thicker pen leaves) stands short of the tip, and placing it where
// the lines of its own links meet leaves it short as well: cuts across a
// link in the merged ink lean towards the other leg, and two lines that
// close an angle of a few tens of degrees hold a point only loosely along
// the turn's axis against the pull to the node's pixel.  A zigzag (a
// resistor, a spring, a saw-tooth edge) came out with every tooth a pixel
// or two low, and the ink left at the teeth came back as stubs.
//
// So each leg of a turn is measured on its own, clear of the turn: along
// the line from a stroke width and a little more past the turn, as far as
// the line runs straight, by cuts across it no wider than its stroke.
// Straight legs' lines meet at the tip.  It must lie within the merged
// depth of the turn and through ink from it, in the middle of the ink
// across the turn's axis (curved legs meet to one side of a rounded tip),
// and the ink of a round pen ends half a width beyond it: where the ink
// runs on a little farther (the legs' lines still lean in), the tip goes
// there.  Every point of the turn goes to the tip.
#include "refine/tips.h"

#include <algorithm>
#include <cmath>

#include "refine/linefit.h"

namespace ktv::refine {

namespace {

constexpr double kAcuteCos = 0.5;     // legs less than 60 degrees apart make an acute turn ...
constexpr double kNarrowSine = 0.3;   // ... and more than 17 (narrower ones are wedges, wedges.h)
constexpr double kLegGap = 2.0;       // a leg is measured from a stroke width and this far along from the turn, px
constexpr double kLegLength = 4.0;    // ... over up to this many stroke widths and kLegGap more ...
constexpr double kLegMin = 3.0;       // ... and this long at least, px
constexpr double kStraight = 0.5;     // the line's points along a leg lie this close to its chord, px ...
constexpr double kStraightPerWidth = 0.15;  // ... and this share of the stroke width more
constexpr double kDepthSlack = 1.5;   // a tip lies at most this much beyond the merged depth of its turn, px
constexpr double kCentred = 0.25;     // ... and this share of the ink's width off its middle across the axis
constexpr double kChordSlack = 0.1;   // ... measured, or less than about 70 on the line's own chords
constexpr double kAhead = 0.5;        // a tip lies at least this far out along the turn's axis, px
constexpr double kRunsOn = 1.0;       // farthest the end of the ink moves a tip on, in stroke widths ...
constexpr double kCapWidth = 0.9;     // ... to where the ink is this share of the width across
constexpr double kCapDepth = 0.35;    // the ink goes on past a tip for this share of the width at least
constexpr double kReach = 12.0;       // farthest a cut looks for the edges of the ink, px

// Walks the distinct points of line i from point k one way (d = 1 or -1),
// wrapping round a closed line.
class Walk {
public:
    Walk(const LineSet &lines, int i, int k, int d)
        : lines_(lines), i_(i), at_(k), d_(d), closed_(lines.line(i).closed), last_(lines.points(i) - 1) {}
    // The next point that is not where the current one is; false at an
    // open line's end, or back at the start of a closed one.
    bool next(int start) {
        const Vec2 here = lines_.point(i_, at_);
        for (;;) {
            int j = at_ + d_;
            if (closed_) j = j < 0 ? last_ - 1 : j >= last_ ? 0 : j;
            else if (j < 0 || j > last_) return false;
            if (j == start) return false;
            at_ = j;
            if (norm(lines_.point(i_, j) - here) > 1e-9) return true;
        }
    }
    int at() const { return at_; }
    Vec2 point() const { return lines_.point(i_, at_); }

private:
    const LineSet &lines_;
    int i_, at_, d_;
    bool closed_;
    int last_;
};

// One leg of the turn at point k of line i, of a stroke about w wide: the
// chord of the line from a stroke width and kLegGap along it from the turn
// out to where it stops running straight, up to kLegLength widths more.
// `inner` gets the last point of the line before the leg begins (the
// turn's own points end there).  False when the line has no such leg.
bool leg_chord(const LineSet &lines, int i, int k, int d, double w, Vec2 &from, Vec2 &to, int &inner) {
    constexpr int kMost = 64;  // points looked at along a leg
    const double start = w + kLegGap, end = start + std::max(kLegMin, kLegLength * w);
    const double tolerance = kStraight + kStraightPerWidth * w;
    Vec2 point[kMost + 1];
    double along[kMost + 1];
    point[0] = lines.point(i, k);
    along[0] = 0;
    int count = 1;
    inner = k;
    Walk walk(lines, i, k, d);
    while (count <= kMost && along[count - 1] < end && walk.next(k)) {
        point[count] = walk.point();
        along[count] = along[count - 1] + norm(point[count] - point[count - 1]);
        if (along[count] < start) inner = walk.at();
        ++count;
    }
    // The point `s` along the line (s up to along[count - 1]).
    auto at = [&](double s) {
        int j = 1;
        while (j + 1 < count && along[j] < s) ++j;
        const double t = (s - along[j - 1]) / (along[j] - along[j - 1]);
        return point[j - 1] + (point[j] - point[j - 1]) * t;
    };
    // The leg runs to `end`, or to the last point looked at; a turn of the
    // line farther on stops it where it leaves the chord.
    const double stop = std::min(end, along[count - 1]);
    if (stop < start + kLegMin) return false;
    from = at(start);
    to = from;
    for (int j = 1; j < count; ++j) {
        if (along[j] <= start) continue;
        const double s = std::min(along[j], stop);
        const Vec2 last = at(s), u = unit(last - from);
        bool straight = true;
        for (int m = 1; m < j && straight; ++m)
            if (along[m] > start) straight = std::fabs(cross(u, point[m] - from)) <= tolerance;
        if (!straight) break;
        to = last;
        if (s >= stop) break;
    }
    return norm(to - from) >= kLegMin;
}

}  // namespace

int sharpen_tips(const Ink &ink, const Array<double> &widths, const Movable &movable, LineSet &lines,
                 Array<TipMove> &moved) {
    moved.clear();
    FitScratch scratch;
    Array<unsigned char> taken;
    if (!taken.resize(lines.total(), 0)) return KTVEC_NO_MEMORY;
    struct Turn {
        int line, lo, hi;  // the points lo .. hi (one way round) go to `tip`
        Vec2 tip;
        double clear;
    };
    Array<Turn> turns;
    for (int i = 0; i < lines.count(); ++i) {
        const int n = lines.points(i);
        const bool closed = lines.line(i).closed;
        if (n < 3) continue;
        const double w0 = std::max(1.0, widths[static_cast<std::size_t>(i)]);
        for (int k = closed ? 0 : 1; k < n - 1; ++k) {
            if (taken[lines.index(i, k)] || !movable(i, k)) continue;
            const Vec2 p = lines.point(i, k);
            Vec2 a0, a1, b0, b1;
            int ia, ib;
            if (!leg_chord(lines, i, k, -1, w0, a0, a1, ia) || !leg_chord(lines, i, k, 1, w0, b0, b1, ib)) continue;
            // A quick look at the chords before measuring the legs.
            if (dot(unit(a1 - a0), unit(b1 - b0)) <= kAcuteCos - kChordSlack) continue;
            Line la, lb;
            LinkFit fa, fb;
            if (!fit_leg(ink, a0, a1, scratch, fa, la) || !fit_leg(ink, b0, b1, scratch, fb, lb)) return KTVEC_NO_MEMORY;
            if (!fa.ok || !fb.ok) continue;
            const double c = dot(la.dir, lb.dir);
            if (c <= kAcuteCos || std::fabs(cross(la.dir, lb.dir)) < kNarrowSine) continue;
            const double w = std::min(fa.width, fb.width);
            const Vec2 out = unit(la.dir + lb.dir) * -1;
            const double depth = apart_at(la.dir, lb.dir, w) + kDepthSlack;
            Vec2 tip = meeting_point(la, lb);
            Run across;
            if (dot(tip - p, out) < kAhead || norm(tip - p) > depth || !ink.black_between(p, tip) ||
                !run_across(ink, tip, perp(out), kReach, across) || std::fabs(across.middle()) > kCentred * across.width())
                continue;
            // The ink of a round pen ends half a width past the tip, and is
            // a pen wide across there: where it runs on a little farther
            // (the legs' lines still lean in), the tip goes there.
            const Vec2 centre = tip + perp(out) * across.middle();
            if (ink.at(centre)) {
                const double edge = ink.edge(centre, out, 2 * w + 4, false);
                if (edge < kNoEdge) {
                    const Vec2 end = centre + out * (edge - 0.5 * w);
                    const double on = dot(end - tip, out);
                    Run cap;
                    if (on > 0 && on <= kRunsOn * w && run_across(ink, end, perp(out), kReach, cap) &&
                        cap.width() >= kCapWidth * w)
                        tip = end;
                }
            }
            // Past the tip the pen's ink goes on for half a width (more at
            // a mitred corner).  Two strokes that end with their caps
            // overlapping have lines that meet at the edge of their ink.
            if (ink.edge(tip, out, w + 4, false) < kCapDepth * w) continue;
            // The turn's points, from the last before one leg to the last
            // before the other, and those placed where the outermost of
            // them are (a tied group's), all lie within its depth of the
            // tip and may move.
            const int last = n - 1;
            auto step = [&](int j, int d) { return closed ? (j + d + last) % last : j + d; };
            auto same = [&](int a, int b) { return norm(lines.point(i, a) - lines.point(i, b)) < 1e-9; };
            int lo = ia, hi = ib;
            for (int s = 0; s < last && (closed || lo > 1) && same(step(lo, -1), lo); ++s) lo = step(lo, -1);
            for (int s = 0; s < last && (closed || hi + 1 < last) && same(step(hi, 1), hi); ++s) hi = step(hi, 1);
            bool fits = true;
            for (int j = lo, s = 0; fits && s < last; j = step(j, 1), ++s) {
                fits = norm(lines.point(i, j) - tip) <= depth && !taken[lines.index(i, j)] && movable(i, j);
                if (j == hi) break;
            }
            if (!fits) continue;
            if (!turns.push({i, lo, hi, tip, apart_at(la.dir, lb.dir, w + 1)})) return KTVEC_NO_MEMORY;
            for (int j = lo, s = 0; s < last; j = step(j, 1), ++s) {
                taken[lines.index(i, j)] = 1;
                if (j == hi) break;
            }
        }
    }
    // Every point of a turn goes to the tip.
    for (const Turn &t : turns) {
        const int last = lines.points(t.line) - 1;
        const bool closed = lines.line(t.line).closed;
        for (int j = t.lo, s = 0; s < last; j = closed ? (j + 1) % last : j + 1, ++s) {
            lines.set(t.line, j, t.tip);
            if (closed && j == 0) lines.set(t.line, last, t.tip);
            if (!moved.push({t.line, j, t.clear})) return KTVEC_NO_MEMORY;
            if (j == t.hi) break;
        }
    }
    return 0;
}

}  // namespace ktv::refine
