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
// is: a line drawn across a break in its stroke stays.  So does a way that
// strays less than a pixel and a half from it (the segment only grazed the
// paper beside a slanted stroke), and one along ink that other lines draw
// already (a neighbouring stroke, the other side of the loop).  Only thin
// strokes are looked at: a loop too narrow for the approximation's corners
// is drawn with a thin pen, and in a wide stroke the shortest way hugs an
// edge rather than the middle.
#include "refine/detours.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "refine/peucker.h"
#include "refine/segment_grid.h"
#include "refine/workers.h"

namespace ktv::refine {

namespace {

constexpr double kMinLength = 4.0;  // shorter segments are left, px
constexpr double kThin = 3.0;       // widest stroke looked at, px
constexpr double kStep = 1.0;       // spacing of the samples along a segment, px
constexpr double kEndClear = 1.0;   // no samples this close to a segment's ends, px
constexpr double kOffInk = 1.0;     // a sample farther than this from every black pixel's centre is on paper, px
constexpr int kMargin = 3;          // the way keeps within this many px of the segment's box ...
constexpr std::int64_t kMostSquares = std::int64_t(1) << 16;  // ... of at most this many pixels
constexpr int kSnap = 2;            // an end starts from the nearest black pixel this close, px
constexpr double kLonger = 1.5;     // a way longer than this many times the segment ...
constexpr double kLongerBy = 4.0;   // ... plus this is another stroke's, px
constexpr double kDetour = 1.5;     // a way that strays no farther from the segment ...
constexpr double kEndZone = 3.0;    // ... away from its ends is the segment's own, px
constexpr double kCorner = 1.0;     // a pixel of the way this far off the chord is a corner, px
constexpr double kCornerPerWidth = 0.35;  // ... or this share of the stroke width, if more
constexpr std::size_t kLinesPerPart = 4096;  // lines up to this many per part are not worth a thread
constexpr double kOnLine = 0.75;    // a way's point this close to a drawn segment lies on it, px
constexpr double kDrawnShare = 0.5; // a way lying on drawn segments for more than this share is theirs
constexpr int kBlock = 64;          // side of the blocks of the page that hold crossings, px

// Paper at p: no black pixel's centre within kOffInk of p (its own pixel
// is looked at first: most samples lie on their ink).
bool paper(const Ink &ink, Vec2 p) {
    if (ink.at(p)) return false;
    const int x0 = static_cast<int>(std::ceil(p.x - kOffInk)), x1 = static_cast<int>(std::floor(p.x + kOffInk));
    const int y0 = static_cast<int>(std::ceil(p.y - kOffInk)), y1 = static_cast<int>(std::floor(p.y + kOffInk));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (ink.at(x, y) && norm(Vec2{x - p.x, y - p.y}) <= kOffInk) return false;
    return true;
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

// A segment that gains points, and where they went.
struct Detour {
    int line, at;
    std::size_t first, count;
    bool dropped;
};

// Calls f(from, to) for each piece of the way from a through
// points[first, first + count) to b; false when f does.
template <class F>
bool for_each_piece(Vec2 a, const Array<Vec2> &points, std::size_t first, std::size_t count, Vec2 b, F f) {
    Vec2 from = a;
    for (std::size_t m = first; m <= first + count; ++m) {
        const Vec2 to = m < first + count ? points[m] : b;
        if (!f(from, to)) return false;
        from = to;
    }
    return true;
}

// The share of samples a pixel apart along that way that lie within
// kOnLine of a segment of `segments` in `grid` that counts(segment) admits.
template <class Counts>
double share_on(const SparseSegmentGrid &grid, const Array<Segment> &segments, Vec2 a, const Array<Vec2> &points,
                std::size_t first, std::size_t count, Vec2 b, Counts counts) {
    int samples = 0, held = 0;
    for_each_piece(a, points, first, count, b, [&](Vec2 from, Vec2 to) {
        const double length = norm(to - from);
        for (double t = 0.5; t < length; t += 1) {
            const Vec2 p = from + (to - from) * (t / length);
            bool near = false;
            grid.near(p, [&](int g) {
                const Segment &d = segments[static_cast<std::size_t>(g)];
                near = near || (counts(d) && distance_to_segment(p, d.a, d.b) <= kOnLine);
            });
            ++samples;
            held += near;
        }
        return true;
    });
    return samples ? static_cast<double>(held) / samples : 0.0;
}

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
        Pixel from{0, 0}, to{0, 0};
        if (!nearest_black(a, from) || !nearest_black(b, to)) return true;
        if (!search(from, to)) return false;
        // The way back from `to`, then turned to run from a to b.
        way_.clear();
        const std::size_t goal = index(to.x, to.y);
        if (prev_[goal] < 0) return true;
        double length = 0;
        for (std::size_t k = goal;; k = static_cast<std::size_t>(prev_[k])) {
            const Vec2 c = Pixel{x0_ + static_cast<int>(k % static_cast<std::size_t>(w_)),
                                 y0_ + static_cast<int>(k / static_cast<std::size_t>(w_))}
                               .centre();
            if (!way_.empty()) length += norm(c - way_.back());
            if (!way_.push(c)) return false;
            if (prev_[k] == static_cast<std::int64_t>(k)) break;
        }
        if (way_.size() < 3 || length > kLonger * norm(b - a) + kLongerBy) return true;
        // A way that keeps close to the segment leaves it: the segment only
        // grazed the paper beside its stroke.  Near the ends the way may
        // stray as far as the pixel it starts from; that is no detour.
        double farthest = 0;
        for (const Vec2 &c : way_)
            if (norm(c - a) > kEndZone && norm(c - b) > kEndZone)
                farthest = std::max(farthest, distance_to_segment(c, a, b));
        if (farthest < kDetour) return true;
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
    bool nearest_black(Vec2 p, Pixel &s) const {
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
    bool search(Pixel from, Pixel to) {
        const std::size_t squares = static_cast<std::size_t>(w_) * static_cast<std::size_t>(h_);
        if (!prev_.resize(squares) || !queue_.reserve(squares)) return false;
        std::fill(prev_.begin(), prev_.end(), std::int64_t(-1));
        queue_.clear();
        const std::size_t start = index(from.x, from.y), goal = index(to.x, to.y);
        prev_[start] = static_cast<std::int64_t>(start);
        queue_.put(from);
        static const int kDx[8] = {1, 0, -1, 0, 1, -1, -1, 1}, kDy[8] = {0, 1, 0, -1, 1, 1, -1, -1};
        for (std::size_t head = 0; head < queue_.size() && prev_[goal] < 0; ++head) {
            const Pixel s = queue_[head];
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
    Array<Pixel> queue_;
    Array<Vec2> way_;
    Array<unsigned char> keep_;
    Array<int> stack_;
};

}  // namespace

int follow_detours(const Ink &ink, const Array<double> &widths, LineSet &lines, int threads) {
    const auto width_of = [&](int i) {
        const std::size_t at = static_cast<std::size_t>(i);
        return at < widths.size() ? std::max(1.0, widths[at]) : 1.0;
    };
    // Which segments of thin lines cross paper, looked for in blocks of
    // lines on several threads: a flag per point, for the segment that
    // starts there.
    Array<unsigned char> crossing;
    if (!crossing.resize(lines.total(), 0)) return KTVEC_NO_MEMORY;
    const std::size_t count = static_cast<std::size_t>(lines.count());
    const int parts = part_count(count, kLinesPerPart, threads);
    run_parts(parts, [&](int part) {
        for (std::size_t i = part_begin(count, parts, part); i < part_begin(count, parts, part + 1); ++i) {
            const int line = static_cast<int>(i);
            if (width_of(line) > kThin) continue;
            for (int k = 0; k + 1 < lines.points(line); ++k) {
                const Vec2 a = lines.point(line, k), b = lines.point(line, k + 1);
                crossing[lines.index(line, k)] =
                    norm(b - a) >= kMinLength && crosses_paper(ink, a, b);
            }
        }
    });
    if (std::find(crossing.begin(), crossing.end(), static_cast<unsigned char>(1)) == crossing.end()) return 0;
    // Their ways through the ink, on the calling thread: they are few.  A
    // way along ink that other segments draw already (a neighbouring
    // stroke, the other side of a narrow loop) is theirs, and the segment
    // stays.
    // Only the segments in the blocks of the page that hold a crossing
    // segment's window are looked at.
    const int blocks_x = ink.width() / kBlock + 1, blocks_y = ink.height() / kBlock + 1;
    Array<unsigned char> busy;
    if (!busy.resize(static_cast<std::size_t>(blocks_x) * static_cast<std::size_t>(blocks_y), 0))
        return KTVEC_NO_MEMORY;
    const auto block = [](double c, int count) {
        return std::clamp(static_cast<int>(std::floor(c / kBlock)), 0, count - 1);
    };
    const auto for_blocks = [&](Vec2 a, Vec2 b, double reach, auto f) {
        for (int y = block(std::min(a.y, b.y) - reach, blocks_y); y <= block(std::max(a.y, b.y) + reach, blocks_y); ++y)
            for (int x = block(std::min(a.x, b.x) - reach, blocks_x); x <= block(std::max(a.x, b.x) + reach, blocks_x);
                 ++x)
                if (f(static_cast<std::size_t>(y) * static_cast<std::size_t>(blocks_x) + static_cast<std::size_t>(x)))
                    return true;
        return false;
    };
    const double window = kMargin + kThin + kSnap + kOnLine + 1;
    for (int i = 0; i < lines.count(); ++i)
        for (int k = 0; k + 1 < lines.points(i); ++k)
            if (crossing[lines.index(i, k)])
                for_blocks(lines.point(i, k), lines.point(i, k + 1), window, [&](std::size_t c) {
                    busy[c] = 1;
                    return false;
                });
    Array<Segment> drawn;
    for (int i = 0; i < lines.count(); ++i)
        for (int k = 0; k + 1 < lines.points(i); ++k) {
            const Vec2 a = lines.point(i, k), b = lines.point(i, k + 1);
            if (for_blocks(a, b, kOnLine, [&](std::size_t c) { return busy[c] != 0; }) &&
                !drawn.push({i, k, a, b, 0}))
                return KTVEC_NO_MEMORY;
        }
    SparseSegmentGrid grid;
    if (!grid.build(drawn, kOnLine)) return KTVEC_NO_MEMORY;
    Array<Detour> detours;
    Array<Vec2> points;
    Router router(ink);
    for (int i = 0; i < lines.count(); ++i) {
        for (int k = 0; k + 1 < lines.points(i); ++k) {
            if (!crossing[lines.index(i, k)]) continue;
            const std::size_t first = points.size();
            const Vec2 a = lines.point(i, k), b = lines.point(i, k + 1);
            if (!router.route(a, b, width_of(i), points)) return KTVEC_NO_MEMORY;
            if (points.size() == first) continue;
            const double on_drawn = share_on(grid, drawn, a, points, first, points.size() - first, b,
                                             [&](const Segment &d) { return d.line != i || d.at != k; });
            if (on_drawn > kDrawnShare) {
                points.resize(first);
                continue;
            }
            if (!detours.push({i, k, first, points.size() - first, false})) return KTVEC_NO_MEMORY;
        }
    }
    if (detours.empty()) return 0;
    // Two segments may find the same way (the sides of a narrow loop whose
    // chords both cut across it): the first keeps it.  The pieces of the
    // ways taken, each with its detour's index for a line.
    Array<Segment> taken;
    for (std::size_t d = 0; d < detours.size(); ++d) {
        const Detour &e = detours[d];
        const bool listed = for_each_piece(lines.point(e.line, e.at), points, e.first, e.count,
                                           lines.point(e.line, e.at + 1), [&](Vec2 from, Vec2 to) {
                                               return taken.push({static_cast<int>(d), 0, from, to, 0});
                                           });
        if (!listed) return KTVEC_NO_MEMORY;
    }
    SparseSegmentGrid ways;
    if (!ways.build(taken, kOnLine)) return KTVEC_NO_MEMORY;
    for (std::size_t d = 0; d < detours.size(); ++d) {
        Detour &e = detours[d];
        const double on_taken = share_on(ways, taken, lines.point(e.line, e.at), points, e.first, e.count,
                                         lines.point(e.line, e.at + 1), [&](const Segment &t) {
                                             const std::size_t by = static_cast<std::size_t>(t.line);
                                             return by < d && !detours[by].dropped;
                                         });
        e.dropped = on_taken > kDrawnShare;
    }
    // The lines again, each segment followed by the corners it gained.
    LineSet routed;
    std::size_t j = 0;
    const bool built = copy_with_points(lines, routed, [&](int i, int k, LineSet &to) {
        for (; j < detours.size() && detours[j].line == i && detours[j].at == k; ++j)
            for (std::size_t m = 0; m < detours[j].count && !detours[j].dropped; ++m)
                if (!to.add(points[detours[j].first + m], -1)) return false;
        return true;
    });
    if (!built) return KTVEC_NO_MEMORY;
    lines.swap(routed);
    return 0;
}

}  // namespace ktv::refine
