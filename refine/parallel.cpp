// Links measured onto the stroke beside their own.
//
// A link is measured by cuts across its chord, each taking the black run
// the chord passes through or, from paper, the nearer one.  Where strokes
// one pixel wide run a pixel or two apart (the layers of a wall, a window
// frame, the two sides of a long narrow hole), the chord between two nodes
// of one of them can lie on the other or on the paper between: thinning
// leaves a junction's pixel a pixel into a branch, the approximation lets
// the chord of a narrow loop cut across it, and of two runs equally near
// the one the link happens to face wins.  The link is then drawn on its
// neighbour's line, and its own stroke, plain in the ink, is drawn by
// nothing.  Two lines on one stroke give it away: a thin link whose line
// runs on other links' lines along most of its length, while on one side
// of it a stroke of its own, across a gap of paper, runs along as far and
// lies in no link's band, is measured again from that stroke.
#include "refine/parallel.h"

#include <algorithm>
#include <cmath>

#include "refine/segment_grid.h"

namespace ktv::refine {

namespace {

constexpr double kThin = 3.0;       // widest stroke looked at, px
constexpr double kMinLength = 6.0;  // shorter lines are left as they are, px
constexpr double kSame = 0.6;       // lines this close lie on one stroke, px
constexpr double kParallel = 0.97;  // cosine within which two lines run along each other
constexpr double kGap = 2.0;        // widest paper between the two strokes, px
constexpr double kShare = 0.6;      // share of a line's stations that must show both
constexpr double kHeld = 0.5;       // a line's band holds ink this far beyond half its width, px
constexpr double kMoved = 0.75;     // a line measured again must move at least this far, px
constexpr double kCutReach = 6.0;   // farthest a cut looks for its run, px
constexpr double kStep = 1.0;       // spacing of the stations along a line, px
constexpr double kInside = 1e-6;    // a step just past a square's edge, px

// A measured link's line between its nodes' feet, and the band around it
// that its stroke fills.
struct Band {
    Vec2 a, b;
    double reach;  // half the stroke's width plus kHeld; negative for a link not measured
};

Band band_of(const MeasuredLink &l) {
    if (!l.fit.ok) return {l.a, l.a, -1};
    const Line &f = l.fit.line;
    return {f.at + f.dir * dot(l.a - f.at, f.dir), f.at + f.dir * dot(l.b - f.at, f.dir), 0.5 * l.fit.width + kHeld};
}

double distance_to_band(Vec2 p, const Band &g) {
    const Vec2 d = g.b - g.a;
    const double dd = dot(d, d);
    const double t = dd > 0 ? std::clamp(dot(p - g.a, d) / dd, 0.0, 1.0) : 0.0;
    return norm(p - (g.a + d * t));
}

class Separation {
public:
    Separation(const Ink &ink, Array<MeasuredLink> &links, FitScratch &scratch)
        : ink_(ink), links_(links), scratch_(scratch) {}

    bool run() {
        if (!bands_.resize(links_.size())) return false;
        for (std::size_t i = 0; i < links_.size(); ++i) bands_[i] = band_of(links_[i]);
        // A line measured again moves by a gap and a stroke at most: the
        // grid lists each band that much wider.
        if (!grid_.build(bands_, ink_.width(), ink_.height(), kGap + kThin + 1)) return false;
        for (std::size_t i = 0; i < links_.size(); ++i)
            if (!look_at(i)) return false;
        return true;
    }

private:
    // Whether another line runs along band i's at p, within kSame.
    bool doubled(std::size_t i, Vec2 p, Vec2 dir) const {
        bool found = false;
        grid_.near(p, [&](int s) {
            const Band &g = bands_[static_cast<std::size_t>(s)];
            if (found || static_cast<std::size_t>(s) == i || g.reach < 0) return;
            if (std::fabs(dot(unit(g.b - g.a), dir)) >= kParallel && distance_to_band(p, g) <= kSame) found = true;
        });
        return found;
    }
    // Whether a band other than i's holds p.
    bool held(std::size_t i, Vec2 p) const {
        bool found = false;
        grid_.near(p, [&](int s) {
            const Band &g = bands_[static_cast<std::size_t>(s)];
            if (!found && static_cast<std::size_t>(s) != i && g.reach >= 0 && distance_to_band(p, g) <= g.reach) found = true;
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

    bool look_at(std::size_t i) {
        const MeasuredLink &l = links_[i];
        const Band g = bands_[i];
        if (g.reach < 0 || l.fit.width > kThin) return true;
        const double length = norm(g.b - g.a);
        if (length < kMinLength) return true;
        const Vec2 dir = unit(g.b - g.a), n = perp(dir);
        // Cuts near a junction run into the other branches' ink.
        const double margin = std::max(2.0, 1.5 * l.fit.width);
        if (length - 2 * margin < 2 * kStep) return true;
        // Most lines run on no other: three stations tell.
        int first_look = 0;
        for (const double at : {0.25, 0.5, 0.75}) first_look += doubled(i, g.a + (g.b - g.a) * at, dir);
        if (first_look < 2) return true;

        const double widest = 1.5 * l.fit.width + 1;
        int stations = 0, twice = 0, alone[2] = {0, 0};
        middles_[0].clear();
        middles_[1].clear();
        for (double t = margin; t <= length - margin; t += kStep) {
            const Vec2 q = g.a + dir * t;
            Run own;
            if (!run_across(ink_, q, n, kCutReach, own) || own.width() > widest || std::fabs(own.middle()) > 1) continue;
            ++stations;
            twice += doubled(i, q, dir);
            for (int s = 0; s < 2; ++s) {
                Vec2 m;
                if (!beside(q, n, own, s ? -1.0 : 1.0, widest, m) || held(i, m)) continue;
                ++alone[s];
                if (!middles_[s].push(m)) return false;
            }
        }
        const double need = kShare * stations;
        if (stations < 3 || twice < need) return true;
        const bool left = alone[0] >= need, right = alone[1] >= need;
        if (left == right) return true;  // neither side, or both: nothing says which
        const Array<Vec2> &m = middles_[left ? 0 : 1];

        // The chord again through the stroke beside: its offsets from the
        // old chord, a straight function of the place along it, fitted by
        // least squares.
        const Vec2 c = l.b - l.a;
        const double chord = norm(c);
        if (chord < 1) return true;
        const Vec2 cu = c * (1 / chord), cn = perp(cu);
        double st = 0, so = 0, stt = 0, sto = 0;
        for (const Vec2 &p : m) {
            const double t = dot(p - l.a, cu), o = dot(p - l.a, cn);
            st += t, so += o, stt += t * t, sto += t * o;
        }
        const double k = static_cast<double>(m.size()), det = k * stt - st * st;
        const double slope = std::fabs(det) > 1e-9 ? (k * sto - st * so) / det : 0;
        const double base = (so - slope * st) / k;
        const Vec2 a = l.a + cn * base, b = l.b + cn * (base + slope * chord);
        LinkFit again;
        if (!fit_link(ink_, a, b, l.a_junction, l.b_junction, scratch_, again)) return false;
        if (!again.ok || again.width > widest) return true;
        const Vec2 mid = (g.a + g.b) * 0.5;
        if (std::fabs(distance_to(again.line, mid)) < kMoved) return true;
        links_[i].fit = again;
        links_[i].moved = true;
        bands_[i] = band_of(links_[i]);
        return true;
    }

    const Ink &ink_;
    Array<MeasuredLink> &links_;
    FitScratch &scratch_;
    Array<Band> bands_;
    SegmentGrid grid_;
    Array<Vec2> middles_[2];
};

}  // namespace

bool separate_parallel(const Ink &ink, Array<MeasuredLink> &links, FitScratch &scratch) {
    return Separation(ink, links, scratch).run();
}

}  // namespace ktv::refine
