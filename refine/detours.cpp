// Segments drawn across paper.
//
// The approximation may draw a narrow loop (a box a few pixels deep, a
// step in a wall) with fewer corners than it has: the chord from one of its
// nodes to the next then cuts from one side of the loop to the other, over
// the paper inside.  Cuts across such a chord meet the stroke on one side
// and then on the other, which reads as a ragged edge rather than a bend,
// so the bends are not found from them (curves.cpp).  Paper under a
// segment for a stretch gives it away: the centre line of a stroke never
// lies a pixel and more off its ink.  Such a segment is routed along the
// ink instead: the shortest way through black pixels from one of its ends
// to the other, within a few pixels of it, gives the segment the corners of
// that way.  A way much longer than the segment, or none, leaves it as it
// is: a line drawn across a break in its stroke stays.
#include "refine/detours.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "refine/peucker.h"
#include "refine/workers.h"

namespace ktv::refine {

namespace {

constexpr double kMinLength = 4.0;  // shorter segments are left, px
constexpr double kStep = 1.0;       // spacing of the samples along a segment, px
constexpr double kEndClear = 1.0;   // no samples this close to a segment's ends, px
constexpr int kMargin = 3;          // the way keeps within this many px of the segment's box ...
constexpr std::int64_t kMostSquares = std::int64_t(1) << 16;  // ... of at most this many pixels
constexpr int kSnap = 2;            // an end starts from the nearest black pixel this close, px
constexpr double kLonger = 1.5;     // a way longer than this many times the segment ...
constexpr double kLongerBy = 4.0;   // ... plus this is another stroke's, px
constexpr double kCorner = 1.0;     // a pixel of the way this far off the chord is a corner, px
constexpr double kCornerPerWidth = 0.35;  // ... or this share of the stroke width, if more
constexpr std::size_t kLinesPerPart = 4096;  // lines up to this many per part are not worth a thread

// Paper at p: its pixel and the four beside it white, so that the nearest
// ink is more than a pixel away.
bool paper(const Ink &ink, Vec2 p) {
    const int i = Ink::pixel(p.x), j = Ink::pixel(p.y);
    return !ink.at(i, j) && !ink.at(i - 1, j) && !ink.at(i + 1, j) && !ink.at(i, j - 1) && !ink.at(i, j + 1);
}

// Whether some stretch of the segment from a to b, away from its ends,
// lies on paper: two samples a pixel apart.  Every other sample is looked
// at first, and its neighbours only when it is paper: most segments lie
// on their ink all along.
bool crosses_paper(const Ink &ink, Vec2 a, Vec2 b) {
    const double length = norm(b - a), last = length - kEndClear;
    const Vec2 u = (b - a) * (1 / length);
    for (double t = kEndClear + kStep; t <= last; t += 2 * kStep) {
        if (!paper(ink, a + u * t)) continue;
        if (paper(ink, a + u * (t - kStep)) || (t + kStep <= last && paper(ink, a + u * (t + kStep)))) return true;
    }
    return false;
}

struct Square {
    int x, y;
};

// A segment that gains points, and where they went.
struct Detour {
    int line, at;
    std::size_t first, count;
};

class Router {
public:
    explicit Router(const Ink &ink) : ink_(ink) {}

    // The corners of the way through the ink from a to b, added to
    // `points`; none when there is no way close and short enough.  False
    // when memory runs out.
    bool route(Vec2 a, Vec2 b, double width, Array<Vec2> &points) {
        const int margin = std::max(kMargin, static_cast<int>(std::ceil(width)));
        x0_ = std::max(0, Ink::pixel(std::min(a.x, b.x)) - margin);
        y0_ = std::max(0, Ink::pixel(std::min(a.y, b.y)) - margin);
        const int x1 = std::min(ink_.width() - 1, Ink::pixel(std::max(a.x, b.x)) + margin);
        const int y1 = std::min(ink_.height() - 1, Ink::pixel(std::max(a.y, b.y)) + margin);
        if (x1 < x0_ || y1 < y0_) return true;
        w_ = x1 - x0_ + 1;
        h_ = y1 - y0_ + 1;
        if (static_cast<std::int64_t>(w_) * h_ > kMostSquares) return true;
        Square from{0, 0}, to{0, 0};
        if (!nearest_black(a, from) || !nearest_black(b, to)) return true;
        if (!search(from, to)) return false;
        // The way back from `to`, then turned to run from a to b.
        way_.clear();
        const std::size_t goal = index(to.x, to.y);
        if (prev_[goal] < 0) return true;
        double length = 0;
        for (std::size_t k = goal;; k = static_cast<std::size_t>(prev_[k])) {
            const Vec2 c{static_cast<double>(x0_ + static_cast<int>(k % static_cast<std::size_t>(w_))),
                         static_cast<double>(y0_ + static_cast<int>(k / static_cast<std::size_t>(w_)))};
            if (!way_.empty()) length += norm(c - way_.back());
            if (!way_.push(c)) return false;
            if (prev_[k] == static_cast<std::int64_t>(k)) break;
        }
        if (way_.size() < 3 || length > kLonger * norm(b - a) + kLongerBy) return true;
        std::reverse(way_.begin(), way_.end());
        way_[0] = a;
        way_.back() = b;
        // The way's corners: a Douglas-Peucker pass over its pixels.
        const double tolerance = std::max(kCorner, kCornerPerWidth * width);
        if (!keep_.resize(way_.size())) return false;
        std::fill(keep_.begin(), keep_.end(), static_cast<unsigned char>(0));
        if (!douglas_peucker(way_.size(), [&](std::size_t k) { return way_[k]; }, tolerance, keep_, stack_))
            return false;
        // Only a way that keeps off the paper replaces the segment.
        Vec2 last = a;
        const std::size_t before = points.size();
        for (std::size_t k = 1; k < way_.size(); ++k) {
            if (k + 1 < way_.size() && !keep_[k]) continue;
            if (norm(way_[k] - last) >= kMinLength && crosses_paper(ink_, last, way_[k])) {
                points.resize(before);
                return true;
            }
            if (k + 1 < way_.size() && !points.push(way_[k])) return false;
            last = way_[k];
        }
        return true;
    }

private:
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y - y0_) * static_cast<std::size_t>(w_) + static_cast<std::size_t>(x - x0_);
    }

    // The black pixel of the window nearest p, at most kSnap away on
    // either axis (ties to the first in raster order).
    bool nearest_black(Vec2 p, Square &s) const {
        const int ci = Ink::pixel(p.x), cj = Ink::pixel(p.y);
        double best = 1e30;
        for (int y = cj - kSnap; y <= cj + kSnap; ++y)
            for (int x = ci - kSnap; x <= ci + kSnap; ++x) {
                if (x < x0_ || y < y0_ || x >= x0_ + w_ || y >= y0_ + h_ || !ink_.at(x, y)) continue;
                const double d = norm(Vec2{static_cast<double>(x), static_cast<double>(y)} - p);
                if (d < best) best = d, s = {x, y};
            }
        return best < 1e30;
    }

    // Breadth-first over the window's black pixels, eight ways, from
    // `from` until `to` is reached: prev_ holds each reached pixel's
    // predecessor (`from` its own), -1 elsewhere.
    bool search(Square from, Square to) {
        const std::size_t squares = static_cast<std::size_t>(w_) * static_cast<std::size_t>(h_);
        if (!prev_.resize(squares) || !queue_.reserve(squares)) return false;
        std::fill(prev_.begin(), prev_.end(), std::int64_t(-1));
        queue_.clear();
        const std::size_t start = index(from.x, from.y), goal = index(to.x, to.y);
        prev_[start] = static_cast<std::int64_t>(start);
        queue_.put(from);
        static const int kDx[8] = {1, 0, -1, 0, 1, -1, -1, 1}, kDy[8] = {0, 1, 0, -1, 1, 1, -1, -1};
        for (std::size_t head = 0; head < queue_.size() && prev_[goal] < 0; ++head) {
            const Square s = queue_[head];
            for (int k = 0; k < 8; ++k) {
                const int x = s.x + kDx[k], y = s.y + kDy[k];
                if (x < x0_ || y < y0_ || x >= x0_ + w_ || y >= y0_ + h_ || !ink_.at(x, y)) continue;
                const std::size_t n = index(x, y);
                if (prev_[n] >= 0) continue;
                prev_[n] = static_cast<std::int64_t>(index(s.x, s.y));
                queue_.put({x, y});
            }
        }
        return true;
    }

    const Ink &ink_;
    int x0_ = 0, y0_ = 0, w_ = 0, h_ = 0;
    Array<std::int64_t> prev_;
    Array<Square> queue_;
    Array<Vec2> way_;
    Array<unsigned char> keep_;
    Array<int> stack_;
};

}  // namespace

int follow_detours(const Ink &ink, const Array<double> &widths, LineSet &lines, int threads) {
    // Which segments cross paper, looked for in blocks of lines on several
    // threads: a flag per point, for the segment that starts there.
    Array<std::size_t> first_point;
    if (!first_point.resize(static_cast<std::size_t>(lines.count()) + 1, 0)) return KTVEC_NO_MEMORY;
    for (int i = 0; i < lines.count(); ++i)
        first_point[static_cast<std::size_t>(i) + 1] = first_point[static_cast<std::size_t>(i)] +
                                                       static_cast<std::size_t>(lines.points(i));
    Array<unsigned char> crossing;
    if (!crossing.resize(first_point.back(), 0)) return KTVEC_NO_MEMORY;
    const std::size_t count = static_cast<std::size_t>(lines.count());
    const int parts = part_count(count, kLinesPerPart, threads);
    run_parts(parts, [&](int part) {
        for (std::size_t i = part_begin(count, parts, part); i < part_begin(count, parts, part + 1); ++i) {
            const int line = static_cast<int>(i);
            for (int k = 0; k + 1 < lines.points(line); ++k) {
                const Vec2 a = lines.point(line, k), b = lines.point(line, k + 1);
                crossing[first_point[i] + static_cast<std::size_t>(k)] =
                    norm(b - a) >= kMinLength && crosses_paper(ink, a, b);
            }
        }
    });
    // Their ways through the ink, on the calling thread: they are few.
    Array<Detour> detours;
    Array<Vec2> points;
    Router router(ink);
    for (int i = 0; i < lines.count(); ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        const double w = at < widths.size() ? std::max(1.0, widths[at]) : 1.0;
        for (int k = 0; k + 1 < lines.points(i); ++k) {
            if (!crossing[first_point[at] + static_cast<std::size_t>(k)]) continue;
            const std::size_t first = points.size();
            if (!router.route(lines.point(i, k), lines.point(i, k + 1), w, points)) return KTVEC_NO_MEMORY;
            if (points.size() > first && !detours.push({i, k, first, points.size() - first})) return KTVEC_NO_MEMORY;
        }
    }
    if (detours.empty()) return 0;
    // The lines again, each segment followed by the corners it gained.
    LineSet routed;
    std::size_t j = 0;
    const bool built = copy_with_points(lines, routed, [&](int i, int k, LineSet &to) {
        if (j >= detours.size() || detours[j].line != i || detours[j].at != k) return true;
        for (std::size_t m = 0; m < detours[j].count; ++m)
            if (!to.add(points[detours[j].first + m], -1)) return false;
        ++j;
        return true;
    });
    if (!built) return KTVEC_NO_MEMORY;
    lines.swap(routed);
    return 0;
}

}  // namespace ktv::refine
