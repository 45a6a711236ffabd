// Outline sides of strokes drawn with pens of known width, placed about
// the middle of their ink.
//
// A pixel of a 1-bit drawing is black when its centre lies in the ink, so
// a level stroke W px wide is floor(W) or floor(W) + 1 px across, as its
// edges fall on the grid, and each of its borders on the cracks lies up to
// half a pixel from the true edge (a quarter on average).  The middle of
// the ink is better: the two edges are rounded at offsets W apart, so
// unless W is whole their errors partly cancel (for W = 5.4, 0.13 px on
// average instead of 0.25).  With W known, the level and plumb sides of
// such a stroke (the walls and frames of a plan, most of the border of a
// CAD drawing) go W / 2 either side of the middle of its ink.
//
// The pens: a slanted straight stroke shows its width directly, since its
// ink, averaged along it, covers W px across whatever the grid.  The mean
// chord across the ink from each slanted side (at least kMinSlant px long,
// its ink ending the same distance across all along it) is gathered over
// the drawing, and every width that a good share of that length clusters
// about is a pen, when the cluster is sharp: the chords of a brush or of a
// hand's varying pressure spread over a pixel or more, and such a cluster
// names no pen but leaves the widths about it to none.  Slopes along which
// the pixels repeat every few steps (45 degrees, 1 in 2) are not measured:
// there a stroke's chord takes one of a few values set by where it falls
// on the grid.  A pen needs kPenSides sides: its width is their mean.
//
// The sides moved: a level or plumb side on the cracks whose ink is n px
// across (the same along most of it) belongs to the pen within one pixel
// of n when there is exactly one: pens of 1 and 2 px each keep their whole
// widths, and where 4.1 and 5.9 px pens both could give 5 px of ink, those
// sides stay on their cracks, as do sides of filled areas and bands no pen
// explains.  A pen whose two widths no other pen shares is known better
// from the level strokes: over many of them the share that is one pixel
// wider is the fraction of W, so W = n + share(n + 1).  Most level sides
// of real strokes lie a little off the cracks (a slight slope, a ragged
// edge, the first cracks of a round cap taken into the side); such a
// nearly level side moves by its mean chord against the one pen near it.
// Whole pens move nothing, and a drawing without slanted strokes names no
// pen and keeps its cracks: its pens' widths cannot be told from whole
// ones.
#include "refine/penwidth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "refine/workers.h"

namespace ktv::refine {

namespace {

constexpr int kMaxPen = 48;            // widest stroke measured, px
constexpr double kMinSide = 3;         // shortest level or plumb side measured, px
constexpr double kMinSlant = 6;        // shortest slanted side measured, px
constexpr double kLongSlant = 3;       // ... and at least this many times its chord
constexpr double kSlant = 0.087;       // a side this far from level or plumb (sine, 5 degrees) is slanted
constexpr double kPeriodic = 0.026;    // sine of 1.5 degrees: a side this near a short-period slope is not measured
constexpr double kAgree = 0.8;         // share of a side's cuts that must agree on its width
constexpr int kChords = 24;            // most cuts measured along a slanted side
constexpr double kChordScatter = 0.5;  // px; a slanted side's chords may scatter this much
constexpr double kBin = 0.1;           // px, the chord histogram's bins
constexpr int kPeakBins = 2;           // a pen's peak is summed over this many bins either side
constexpr int kSpreadBins = 6;         // ... and its spread over this many
constexpr double kSharp = 0.75;        // share of the spread a pen's peak holds
constexpr double kPenShare = 0.15;     // share of the slanted length a pen's peak needs
constexpr double kPenSides = 8;        // sides a pen's peak needs: its width is their mean
constexpr double kPenGap = 0.6;        // px between two pens
constexpr double kMinMeasured = 64;    // px of slanted side before pens are named
constexpr double kNearOther = 1.5;     // px; no other peak may lie this near a nearly level side's chord
constexpr double kLeast = 0.15;        // least share of a pen's level strokes a width must be expected to have
constexpr double kNearPen = 1 - kLeast;  // px; so a chord this near a pen may be its
constexpr double kWhole = kLeast;      // px; and a pen this near a whole width is whole
constexpr double kOnCrack = 1e-6;      // how near a side's coordinate must be to a crack, px
constexpr double kSlideSine = 0.5;     // a neighbour this steep keeps its line when a side moves
constexpr int kBins = static_cast<int>(kMaxPen / kBin) + 1;
constexpr double kFixed = 1024;        // sums are kept in whole 1/kFixed px
constexpr std::size_t kPointsPerPart = std::size_t(1) << 15;  // ring points a part needs on a page left to choose

// A measured side: its ink width and the unit normal pointing into the ink.
struct Side {
    int width = 0;            // a level or plumb side on a crack: its ink's width in pixels, else 0
    bool near_level = false;  // another side within kSlant of level or plumb
    Vec2 into;                // with `width`
};

// The width of the ink across the level or plumb side from a to b, with the
// normal into it; 0 when the side is neither, too short, off the cracks, or
// its ink is not one width along most of it.
Side measure_level(const Ink &ink, Vec2 a, Vec2 b) {
    const bool plumb = std::abs(a.x - b.x) <= kOnCrack, level = std::abs(a.y - b.y) <= kOnCrack;
    if (plumb == level) return {};
    const double crack = (plumb ? a.x : a.y) + 0.5;  // the first pixel beyond it, across
    const double k = std::round(crack);
    if (std::abs(crack - k) > kOnCrack) return {};
    const double lo = std::min(plumb ? a.y : a.x, plumb ? b.y : b.x), hi = std::max(plumb ? a.y : a.x, plumb ? b.y : b.x);
    if (!(hi - lo >= kMinSide)) return {};
    // The pixels along the side, less its first and last, where corners and
    // junctions widen the ink.
    int first = static_cast<int>(std::floor(lo)) + 1, last = static_cast<int>(std::ceil(hi)) - 1;
    if (last - first >= 4) ++first, --last;
    if (first > last) return {};
    const int beyond = static_cast<int>(k);
    auto black = [&](int across, int along) { return plumb ? ink.at(across, along) : ink.at(along, across); };
    const int mid = first + (last - first) / 2;
    int start, step;
    if (black(beyond, mid) && !black(beyond - 1, mid)) {
        start = beyond;
        step = 1;
    } else if (black(beyond - 1, mid) && !black(beyond, mid)) {
        start = beyond - 1;
        step = -1;
    } else {
        return {};
    }
    auto run = [&](int along) {
        int n = 0;
        for (int p = start; n < kMaxPen && black(p, along); p += step) ++n;
        return n;
    };
    const int cuts = last - first + 1;
    const int need = static_cast<int>(std::ceil(kAgree * cuts));
    for (const int probe : {mid, first + cuts / 4, last - cuts / 4}) {
        const int w = run(probe);
        if (w <= 0 || w >= kMaxPen) continue;
        // A cut agrees when its ink begins at the side and ends w pixels
        // across (a pinhole between is not looked for: three reads a cut).
        const int end = start + (w - 1) * step;
        auto agrees = [&](int along) { return black(start, along) && black(end, along) && !black(end + step, along); };
        int agree = 0;
        for (int along = first; along <= last && agree + (last - along + 1) >= need; ++along) agree += agrees(along);
        if (agree >= need) return {w, 0, plumb ? Vec2{static_cast<double>(step), 0} : Vec2{0, static_cast<double>(step)}};
    }
    return {};
}

// Whether the direction u runs within kPeriodic of a slope p / q of small
// whole numbers (1, 2, 1/2, 3, 1/3, 3/2, 2/3).  Along such a slope the
// pixels repeat every few steps, so a stroke's ink across takes only a few
// values, which of them set by where the stroke falls on the grid: a 2 px
// pen at 45 degrees covers two or three diagonals of pixels, 1.41 or
// 2.12 px across, never 2.  Its chords average to the pen's width only over
// many strokes and would make pens of their own.
bool on_short_period(Vec2 u) {
    // The slopes as unit directions (q, p) / |(q, p)|.
    static constexpr double kR2 = 0.7071067811865476, kR5 = 0.4472135954999579, kR10 = 0.31622776601683794,
                            kR13 = 0.2773500981126146;
    static constexpr Vec2 kSlopes[] = {{kR2, kR2},          {2 * kR5, kR5},  {kR5, 2 * kR5},  {3 * kR10, kR10},
                                       {kR10, 3 * kR10},    {3 * kR13, 2 * kR13}, {2 * kR13, 3 * kR13}};
    const Vec2 a{std::abs(u.x), std::abs(u.y)};
    for (const Vec2 &s : kSlopes)
        if (std::abs(cross(a, s)) < kPeriodic) return true;
    return false;
}

// Chords across the ink from the side from a to b (black on its right, as
// the rings run): from the side's line to where the ink ends, square to
// the side.
class Chords {
public:
    Chords(const Ink &ink, Vec2 a, Vec2 b) : ink_(ink), a_(a), length_(norm(b - a)) {
        if (!(length_ > 0)) return;
        u_ = (b - a) * (1 / length_);
        n_ = perp(u_);
        // Across a nearly level side the chord is walked down its column of
        // pixels (or along its row, for a plumb one) and turned square to
        // the side: the far edge runs with the side, so the two agree, and
        // a walk by whole pixels costs a fraction of one through the squares.
        down_ = std::abs(u_.x) >= std::abs(u_.y);
        across_ = down_ ? n_.y : n_.x;
        by_pixels_ = std::abs(across_) > 1 - kSlant * kSlant;
    }
    double length() const { return length_; }

    // The chord at t px along the side, or a negative number when the ink
    // does not begin within kEnter of the side or is wider than kMaxPen.
    double at(double t) const {
        const Vec2 p = a_ + u_ * t;
        if (by_pixels_) {
            const int step = across_ > 0 ? 1 : -1, line = Ink::pixel(down_ ? p.x : p.y);
            const double from = down_ ? p.y : p.x;
            auto black = [&](int k) { return down_ ? ink_.at(line, k) : ink_.at(k, line); };
            int k = Ink::pixel(from);
            if (!black(k)) {
                k += step;
                if (!black(k) || std::abs(k - step * 0.5 - from) > kEnter) return -1;
            }
            for (int run = 0; black(k + step); k += step)
                if (++run >= kMaxPen) return -1;
            return std::abs(k + step * 0.5 - from) * std::abs(across_);
        }
        double enter = 0;
        if (!ink_.at(p)) {
            enter = ink_.edge(p, n_, kEnter, true);
            if (enter >= kNoEdge) return -1;
            enter += kInside;
        }
        const double out = ink_.edge(p + n_ * enter, n_, kMaxPen, false);
        return out >= kNoEdge ? -1 : enter + out;
    }

    double middle() const { return at(0.5 * length_); }

    // The mean chord along the side but its last pixel at either end, given
    // the chord at its middle; 0 when the side is short, or its chords do
    // not agree.
    double mean(double middle) const {
        if (!(length_ >= kMinSlant)) return 0;
        // A side only a few times as long as its chord is more likely a cap
        // or a corner of a stroke than one of its edges: the cut at its
        // middle tells most of them.
        if (!(middle > 0) || length_ < kLongSlant * middle) return 0;
        // One cut per half pixel, at most kChords of them, spread along the
        // side by the golden ratio: evenly spaced cuts on a long side can
        // fall on the same step of the staircase every time and see one
        // chord of several.
        const int cuts = std::min(kChords, static_cast<int>(2 * (length_ - 2)) + 1);
        constexpr double kGolden = 0.6180339887498949;
        int found = 0;
        double sum = 0, squares = 0;
        for (int c = 0; c < cuts; ++c) {
            const double f = 0.5 + c * kGolden, chord = at(1 + (length_ - 2) * (f - std::floor(f)));
            if (chord < 0) continue;
            ++found;
            sum += chord;
            squares += chord * chord;
        }
        if (found < 4 || found < kAgree * cuts) return 0;
        const double mean = sum / found, spread = squares / found - mean * mean;
        return spread <= kChordScatter * kChordScatter && length_ >= kLongSlant * mean ? mean : 0;
    }

private:
    static constexpr double kInside = 1e-7, kEnter = 0.8;
    const Ink &ink_;
    Vec2 a_, u_, n_;
    double length_, across_ = 0;
    bool down_ = false, by_pixels_ = false;
};

// Where vertex v goes when the side before it (from `prev`) moves by
// `before` and the side after it (to `next`) by `after`, each along its
// normal.  Two moved sides meet where their moved lines do; a side that
// stays keeps its line, the vertex sliding along it, unless it runs nearly
// the moved side's way (or is too short to slide along), when it turns
// instead.
Vec2 moved_vertex(Vec2 prev, Vec2 v, Vec2 next, Vec2 before, Vec2 after) {
    const bool b = before.x != 0 || before.y != 0, a = after.x != 0 || after.y != 0;
    if (b && a) {
        // Where the two moved lines cross, unless they run nearly one way.
        const Vec2 d1 = unit(v - prev), d2 = unit(next - v);
        const double sine = cross(d2, d1);
        if (std::abs(sine) < kSlideSine) return v + (before + after) * 0.5;
        return v + before + d1 * (cross(d2, after - before) / sine);
    }
    if (!b && !a) return v;
    const Vec2 shift = b ? before : after;
    const Vec2 other = b ? next - v : prev - v;  // the side that stays, from v
    const double length = norm(other), amount = norm(shift);
    const Vec2 along = unit(other), n = shift * (1 / amount);
    const double sine = dot(n, along);
    if (std::abs(sine) < kSlideSine) return v + shift;
    const double t = amount / sine;
    if (!(std::abs(t) <= 0.5 * length)) return v + shift;
    return v + along * t;
}

// A peak of the chord histogram: a pen when sharp.
struct Peak {
    double width;  // px, the mean chord about the peak
    bool sharp;
};

// The peaks of a histogram of slanted length by chord (bins of kBin px):
// each holding kPenShare of the length, strongest first, kPenGap apart.
// Returns how many (at most Pens::kMost).
int find_peaks(const double *chords, const double *weighted, const double *sides, Peak *peaks) {
    double total = 0;
    for (int i = 0; i < kBins; ++i) total += chords[i];
    if (!(total >= kMinMeasured)) return 0;
    auto mass = [&](int i, int reach, const double *h) {
        double m = 0;
        for (int j = std::max(0, i - reach); j <= std::min(kBins - 1, i + reach); ++j) m += h[j];
        return m;
    };
    int count = 0;
    int at[Pens::kMost];
    while (count < Pens::kMost) {
        int best = -1;
        double best_mass = kPenShare * total;
        for (int i = 0; i < kBins; ++i) {
            const double m = mass(i, kPeakBins, chords);
            if (!(m > best_mass || (best < 0 && m == best_mass))) continue;
            bool clear = true;
            for (int k = 0; k < count; ++k) clear = clear && std::abs(i - at[k]) * kBin >= kPenGap;
            if (clear) best = i, best_mass = m;
        }
        if (best < 0) break;
        // A pen draws one width: most of the chords about its peak lie close
        // to it.  A brush or the pressure of a hand spreads them over a pixel
        // or more, and no width there is the stroke's.  And a pen's width is
        // the mean of its sides' chords, each a tenth of a pixel or so off
        // (the steps of its far edge): a few sides, as the letters of a
        // title, do not tell it to the few hundredths it moves sides by.
        at[count] = best;
        peaks[count++] = {mass(best, kPeakBins, weighted) / best_mass,
                          mass(best, kPeakBins, sides) >= kPenSides &&
                          best_mass >= kSharp * mass(best, kSpreadBins, chords)};
    }
    return count;
}

// The pen of a nearly level side whose mean chord is `chord`: the one
// sharp peak within kNearPen of it, when no other peak lies within
// kNearOther (a chord is a pixel's ink and the burrs of a ragged edge), and
// the pen is not whole (a whole pen's level ink is whole, its sides on the
// cracks already); else -1.
int pen_of_chord(double chord, const Peak *peaks, int count) {
    int pen = -1;
    for (int k = 0; k < count; ++k) {
        const double off = std::abs(peaks[k].width - chord);
        if (off >= kNearOther) continue;
        if (pen != -1 || !peaks[k].sharp || off > kNearPen) return -1;
        pen = k;
    }
    return pen >= 0 && peaks[pen].width == std::round(peaks[pen].width) ? -1 : pen;
}

// Sums of pass 1 for a run of rings, in whole multiples of 1/kFixed px, so
// that they add up the same however the rings were parted.
struct Sums {
    std::int64_t level[kMaxPen + 1];             // level and plumb side length by ink width
    std::int64_t chords[kBins], weighted[kBins];  // slanted side length by chord, and times the chord
    std::int64_t sides[kBins];                    // ... and how many sides
};
std::int64_t fixed(double v) { return std::llround(v * kFixed); }

// Pass 1 for rings from .. to - 1: every side measured into `sides` (at
// the side's first point; `first` gives each ring's first point), and the
// lengths summed.
void measure_rings(const Ink &ink, const LineSet &rings, int from, int to, const std::size_t *first, Side *sides,
                   Sums &sums) {
    for (int i = from; i < to; ++i) {
        const int n = rings.points(i);
        Side *at = sides + first[i];
        if (!rings.line(i).closed) continue;
        for (int k = 0; k + 1 < n; ++k) {
            const Vec2 a = rings.point(i, k), b = rings.point(i, k + 1);
            const Side s = measure_level(ink, a, b);
            at[k] = s;
            if (s.width > 0) {
                sums.level[s.width] += fixed(norm(b - a));
                continue;
            }
            // A nearly level side off the cracks (a stroke at a slight
            // slope, or a ragged one whose side was fitted between its
            // burrs) has no one width, but its mean chord tells the same.
            // It is measured in pass 2, once the pens are known.
            const Vec2 u = unit(b - a);
            if (std::abs(u.x) < kSlant || std::abs(u.y) < kSlant) {
                at[k].near_level = true;
                continue;
            }
            if (on_short_period(u)) continue;
            const Chords chords(ink, a, b);
            const double chord = chords.length() >= kMinSlant ? chords.mean(chords.middle()) : 0;
            const int bin = static_cast<int>(std::lround(chord / kBin));
            if (chord > 0 && bin < kBins) {
                sums.chords[bin] += fixed(norm(b - a));
                sums.weighted[bin] += fixed(norm(b - a) * chord);
                ++sums.sides[bin];
            }
        }
    }
}

// What pass 2 knows: the pens, which widths they own, and whether any of
// them is sharp and not whole (which alone moves nearly level sides).
struct Placing {
    const Peak *peaks;
    int count;
    const int *owner;  // per level width: its peak, or negative
    bool fractional;
};

// How far the side from a to b moves along its normal, by what pass 1 found.
Vec2 side_shift(const Ink &ink, Vec2 a, Vec2 b, const Side &s, const Placing &p) {
    if (s.width > 0)
        return p.owner[s.width] < 0 ? Vec2{} : s.into * (0.5 * (s.width - p.peaks[p.owner[s.width]].width));
    if (!s.near_level || !p.fractional) return {};
    const Chords chords(ink, a, b);
    if (!(chords.length() >= kMinSlant)) return {};
    // Its middle chord tells whether any pen could own the side before its
    // mean is taken; a ragged edge moves one chord by up to a pixel.
    const double middle = chords.middle();
    bool near = false;
    for (int k = 0; k < p.count && !near; ++k) near = std::abs(p.peaks[k].width - middle) < kNearOther;
    if (!near) return {};
    const double chord = chords.mean(middle);
    const int pen = chord > 0 ? pen_of_chord(chord, p.peaks, p.count) : -1;
    return pen < 0 ? Vec2{} : perp(unit(b - a)) * (0.5 * (chord - p.peaks[pen].width));
}

// Pass 2 for rings from .. to - 1: each side whose width has a pen moved,
// the ring's vertices placed where its moved sides meet.  `shifts` and
// `moved` have room for every ring.
void move_rings(const Ink &ink, LineSet &rings, int from, int to, const std::size_t *first, const Side *sides,
                const Placing &placing, Array<Vec2> &shifts, Array<Vec2> &moved) {
    for (int i = from; i < to; ++i) {
        if (!rings.line(i).closed) continue;
        const int m = rings.points(i) - 1;  // vertices, the first not repeated
        const Side *ring = sides + first[i];
        shifts.clear();
        bool any = false;
        for (int k = 0; k < m; ++k) {
            shifts.put(side_shift(ink, rings.point(i, k), rings.point(i, k + 1), ring[k], placing));
            any = any || shifts[static_cast<std::size_t>(k)].x != 0 || shifts[static_cast<std::size_t>(k)].y != 0;
        }
        if (!any) continue;
        moved.clear();
        for (int k = 0; k < m; ++k)
            moved.put(moved_vertex(rings.point(i, (k + m - 1) % m), rings.point(i, k), rings.point(i, (k + 1) % m),
                                   shifts[static_cast<std::size_t>((k + m - 1) % m)], shifts[static_cast<std::size_t>(k)]));
        for (int k = 0; k < m; ++k) rings.set(i, k, moved[static_cast<std::size_t>(k)]);
        rings.set(i, m, moved[0]);
    }
}

}  // namespace

bool place_pen_sides(const Ink &ink, LineSet &rings, int threads, Pens *measured) {
    if (measured) *measured = Pens{};
    const int count_rings = rings.count();
    Array<std::size_t> first;  // per ring: its first point among all, and the total
    std::size_t total = 0;
    int most = 0;
    if (!first.reserve(static_cast<std::size_t>(count_rings) + 1)) return false;
    for (int i = 0; i < count_rings; ++i) {
        first.put(total);
        total += static_cast<std::size_t>(rings.points(i));
        most = std::max(most, rings.points(i));
    }
    first.put(total);
    // Parts of about equal points: part p holds rings bounds[p] .. bounds[p + 1] - 1.
    const int parts = part_count(total, kPointsPerPart, threads);
    int bounds[kMaxWorkers + 1] = {};
    for (int p = 1, i = 0; p <= parts; ++p) {
        const std::size_t end = part_begin(total, parts, p);
        while (i < count_rings && (p == parts || first[static_cast<std::size_t>(i)] < end)) ++i;
        bounds[p] = i;
    }
    Array<Side> sides;
    Array<Sums> sums;
    Array<Vec2> moved[kMaxWorkers], shifts[kMaxWorkers];
    if (!sides.resize(total) || !sums.resize(static_cast<std::size_t>(parts), Sums{})) return false;
    for (int p = 0; p < parts; ++p)
        if (!moved[p].reserve(static_cast<std::size_t>(most)) || !shifts[p].reserve(static_cast<std::size_t>(most)))
            return false;

    // Pass 1: the width of every level or plumb side that has one, and the
    // length of the slanted ones by chord.
    run_parts(parts, [&](int p) {
        measure_rings(ink, rings, bounds[p], bounds[p + 1], first.data(), sides.data(), sums[static_cast<std::size_t>(p)]);
    });
    double level[kMaxPen + 1] = {}, chords[kBins] = {}, weighted[kBins] = {}, slanted[kBins] = {};
    {
        Sums all{};
        for (const Sums &part : sums) {
            for (int w = 0; w <= kMaxPen; ++w) all.level[w] += part.level[w];
            for (int b = 0; b < kBins; ++b) {
                all.chords[b] += part.chords[b];
                all.weighted[b] += part.weighted[b];
                all.sides[b] += part.sides[b];
            }
        }
        for (int w = 0; w <= kMaxPen; ++w) level[w] = all.level[w] / kFixed;
        for (int b = 0; b < kBins; ++b) {
            chords[b] = all.chords[b] / kFixed;
            weighted[b] = all.weighted[b] / kFixed;
            slanted[b] = static_cast<double>(all.sides[b]);
        }
    }
    // The pens, and for each level width the one pen that gives it; a
    // broad peak (strokes of no one width) leaves the widths about it to
    // none.
    Peak peaks[Pens::kMost];
    const int count = find_peaks(chords, weighted, slanted, peaks);
    int owner[kMaxPen + 2];
    for (int w = 0; w <= kMaxPen + 1; ++w) {
        owner[w] = -1;
        for (int k = 0; k < count && w > 0; ++k)
            if (1 - std::abs(peaks[k].width - w) >= kLeast) owner[w] = owner[w] == -1 && peaks[k].sharp ? k : -2;
    }
    for (int k = 0; k < count; ++k) {
        const int narrow = static_cast<int>(std::floor(peaks[k].width));
        if (narrow < 1 || narrow + 1 > kMaxPen || owner[narrow] != k || owner[narrow + 1] != k) continue;
        const double pair = level[narrow] + level[narrow + 1];
        if (!(pair >= kMinMeasured)) continue;
        const double fine = narrow + level[narrow + 1] / pair;
        if (std::abs(fine - peaks[k].width) < 0.25) peaks[k].width = fine;
    }
    // A pen this near a whole width is whole: its strokes' edges fall on
    // the cracks, which a chord a tenth off would move them from.  So are
    // the lines a computer drew a pixel or two wide, step by step (a step
    // of a slanted one covers less than its width across, and its chords
    // come out a tenth or so short), and their wider width would be
    // expected on under kLeast of the strokes anyway.
    Placing placing{peaks, count, owner, false};
    for (int k = 0; k < count; ++k) {
        Peak &p = peaks[k];
        if (std::abs(p.width - std::round(p.width)) < kWhole) p.width = std::round(p.width);
        if (measured && p.sharp) measured->width[measured->count++] = p.width;
        placing.fractional = placing.fractional || (p.sharp && p.width != std::round(p.width));
    }
    // Whole pens alone move nothing.
    if (!placing.fractional) return true;

    // Pass 2: each level stroke of a pen drawn its width about its middle.
    run_parts(parts, [&](int p) {
        move_rings(ink, rings, bounds[p], bounds[p + 1], first.data(), sides.data(), placing, shifts[p], moved[p]);
    });
    return true;
}

}  // namespace ktv::refine
