// Bends between nodes.
//
// The driver approximates each traced chain by chords within its
// tolerance, so a curved stroke (a door swing, a hand-drawn line) is drawn
// by chords that cut inside the curve by up to that tolerance, and the
// nodes, placed where neighbouring chords cross, sit outside it.  The ink
// has the curve: cuts across a segment every couple of pixels give the
// middle of the stroke along it, and where those middles leave the segment
// by more than a few tenths of a pixel the segment gets the points that
// keep it within that distance (the middles a Douglas-Peucker pass picks).
// Straight segments get nothing, so straight lines keep exactly their nodes,
// and segments drawn as curves (fitted arcs, splines) are left to them.
#include "refine/curves.h"

#include "refine/peucker.h"
#include "refine/workers.h"

#include <algorithm>
#include <cmath>

namespace ktv::refine {

namespace {

constexpr double kStep = 2.0;        // spacing of the cuts along a segment, px
constexpr double kTolerance = 0.5;  // largest distance of the middles from the drawn line, px
constexpr double kTolerancePerWidth = 0.25;  // ... at least this share of the stroke width:
                                             // the edges of wide strokes are rougher
constexpr double kMinLength = 4.0;   // shorter segments are left straight, px
constexpr double kReach = 12.0;      // farthest a cut looks for the stroke's edges, px
constexpr double kEndMargin = 1.5;   // no cuts this close to a segment's ends, px
constexpr double kThinWidth = 2.5;   // a cut's middle across a narrower stroke is rounded to
constexpr double kThinTolerance = 0.3;  // the grid: the tolerance grows by this per px below it
constexpr double kNoiseTolerance = 4.0; // ... and is at least this many times the middles' mean
                                        // distance from their smoothed run (a ragged edge)

struct Middle {
    Vec2 p;
    double along;
    double offset;  // from the segment
};

// Replaces each inner middle's offset by the median of it and its two
// neighbours on either side (ends of the segment excluded): a cut through a
// one-pixel bump of a ragged edge is off by half a pixel where its
// neighbours are not, while a bend shows in several cuts in a row.
bool smooth_offsets(Array<Middle> &m, Vec2 a, Vec2 u, Vec2 n, Array<double> &raw) {
    const std::size_t count = m.size();
    if (count < 5) return true;
    if (!raw.resize(count)) return false;
    for (std::size_t i = 0; i < count; ++i) raw[i] = m[i].offset;
    for (std::size_t i = 1; i + 1 < count; ++i) {
        double window[5];
        std::size_t k = 0;
        for (std::size_t j = i >= 3 ? i - 2 : 1; j <= i + 2 && j + 1 < count; ++j) window[k++] = raw[j];
        for (std::size_t a = 1; a < k; ++a)  // five values at most: an insertion sort
            for (std::size_t b = a; b > 0 && window[b - 1] > window[b]; --b) std::swap(window[b - 1], window[b]);
        m[i].offset = window[k / 2];
        m[i].p = a + u * m[i].along + n * m[i].offset;
    }
    return true;
}

// How far the middles may leave the drawn line on a stroke `width` wide,
// after smooth_offsets() has left the middles' own offsets in `raw`: a
// bend must stand out from what the pixel grid and a ragged edge move the
// middles by, or every stroke would get points that only follow the noise.
double tolerance(const Array<Middle> &m, const Array<double> &raw, double width) {
    double noise = 0;
    if (m.size() >= 5) {  // smoothed
        for (std::size_t i = 1; i + 1 < m.size(); ++i) noise += std::fabs(raw[i] - m[i].offset);
        noise /= static_cast<double>(m.size() - 2);
    }
    return std::max({kTolerance + kThinTolerance * std::max(0.0, kThinWidth - width),
                     kTolerancePerWidth * width, kNoiseTolerance * noise});
}

// A segment that may bend, and where the points it gains went: its
// part's array, from `first` on.
struct Bend {
    int line, at;
    double width;
    std::size_t first;
    std::size_t count;
};

// What one part of the segments works with, its room made beforehand.
struct BendScratch {
    Array<Middle> middles;
    Array<unsigned char> keep;
    Array<int> stack;
    Array<double> raw;
    Array<Vec2> points;  // the part's gained points, segment after segment
    bool short_of_room = false;
};

// Cuts across a segment `length` px long.
std::size_t cut_count(double length) {
    return static_cast<std::size_t>(std::max(0.0, (length - 2 * kEndMargin) / kStep));
}

// The points the segment from a to b of a stroke `w` wide gains to follow
// the middle of its stroke, added to s.points; no cut comes nearer to a
// than `clear_a` or to b than `clear_b`.  False when out of room.
bool bend_points(const Ink &ink, Vec2 a, Vec2 b, double w, double clear_a, double clear_b, BendScratch &s) {
    const double length = norm(b - a);
    const Vec2 u = (b - a) * (1 / length), n = perp(u);
    const double from = std::max(kEndMargin, clear_a), to = length - std::max(kEndMargin, clear_b);
    // Middles of the stroke along the segment, from cuts that meet a run
    // about as wide as the stroke.
    Array<Middle> &middles = s.middles;
    middles.clear();
    if (!middles.push({a, 0, 0})) return false;
    const int count = to > from ? static_cast<int>((to - from) / kStep) : 0;  // cut_count(length) at most
    for (int c = 1; c <= count; ++c) {
        const double t = from + (to - from) * c / (count + 1);
        Run r;
        if (!run_across(ink, a + u * t, n, kReach, r)) continue;
        if (r.width() > 1.5 * w + 1 || std::fabs(r.middle()) > 0.5 * w + 1.5) continue;
        if (!middles.push({a + u * t + n * r.middle(), t, r.middle()})) return false;
    }
    if (!middles.push({b, length, 0})) return false;
    if (middles.size() < 3) return true;
    if (!smooth_offsets(middles, a, u, n, s.raw)) return false;
    if (!s.keep.resize(middles.size())) return false;
    for (std::size_t m = 0; m < middles.size(); ++m) s.keep[m] = 0;
    if (!douglas_peucker(middles.size(), [&](std::size_t k) { return middles[k].p; }, tolerance(middles, s.raw, w),
                         s.keep, s.stack))
        return false;
    for (std::size_t m = 1; m + 1 < middles.size(); ++m)
        if (s.keep[m] && !s.points.push(middles[m].p)) return false;
    return true;
}

// Segments up to this many per part are not worth a thread of their own.
constexpr std::size_t kBendsPerPart = 2048;

}  // namespace

int follow_bends(const Ink &ink, const Array<double> &widths, const Straight &straight, const Clear &clear,
                 LineSet &lines, int threads) {
    // The segments long enough to bend, in line order, and the most cuts
    // any of them takes.
    Array<Bend> bends;
    std::size_t most = 0;
    for (int i = 0; i < lines.count(); ++i) {
        const double w = std::max(1.0, widths[static_cast<std::size_t>(i)]);
        for (int k = 0; k + 1 < lines.points(i); ++k) {
            const double length = norm(lines.point(i, k + 1) - lines.point(i, k));
            if (length < kMinLength) continue;
            if (!bends.push({i, k, w, 0, 0})) return KTVEC_NO_MEMORY;
            most = std::max(most, cut_count(length));
        }
    }
    // Each part gets room for the most points its segments can gain (one
    // per cut), and scratch for the longest segment, so no part grows an
    // array (a Douglas-Peucker pass keeps at most one range per middle
    // waiting on its stack).
    const int parts = part_count(bends.size(), kBendsPerPart, threads);
    BendScratch scratch[kMaxWorkers];
    for (int p = 0; p < parts; ++p) {
        std::size_t room = 0;
        for (std::size_t j = part_begin(bends.size(), parts, p); j < part_begin(bends.size(), parts, p + 1); ++j) {
            const Bend &g = bends[j];
            room += cut_count(norm(lines.point(g.line, g.at + 1) - lines.point(g.line, g.at)));
        }
        BendScratch &s = scratch[p];
        if (!s.middles.reserve(most + 2) || !s.keep.reserve(most + 2) || !s.stack.reserve(2 * most + 8) ||
            !s.raw.reserve(most + 2) || !s.points.reserve(room))
            return KTVEC_NO_MEMORY;
    }
    run_parts(parts, [&](int p) {
        BendScratch &s = scratch[p];
        for (std::size_t j = part_begin(bends.size(), parts, p); j < part_begin(bends.size(), parts, p + 1); ++j) {
            Bend &g = bends[j];
            g.first = s.points.size();
            if (straight(g.line, g.at) &&
                !bend_points(ink, lines.point(g.line, g.at), lines.point(g.line, g.at + 1), g.width,
                             clear(g.line, g.at), clear(g.line, g.at + 1), s)) {
                s.short_of_room = true;
                return;
            }
            g.count = s.points.size() - g.first;
        }
    });
    for (int p = 0; p < parts; ++p)
        if (scratch[p].short_of_room) return KTVEC_NO_MEMORY;
    // The lines again, each segment followed by the points it gained.
    LineSet bent;
    std::size_t j = 0;
    int part = 0;
    const bool built = copy_with_points(lines, bent, [&](int i, int k, LineSet &to) {
        if (j >= bends.size() || bends[j].line != i || bends[j].at != k) return true;
        while (j >= part_begin(bends.size(), parts, part + 1)) ++part;
        const Array<Vec2> &points = scratch[part].points;
        for (std::size_t m = 0; m < bends[j].count; ++m)
            if (!to.add(points[bends[j].first + m], -1)) return false;
        ++j;
        return true;
    });
    if (!built) return KTVEC_NO_MEMORY;
    lines.swap(bent);
    return 0;
}

}  // namespace ktv::refine
