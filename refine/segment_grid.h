// The drawn segments of the lines and the band each one's stroke fills, and
// a grid of them by the cells those bands touch, for the stages that ask
// which segments pass near a point.
#ifndef KTVEC_REFINE_SEGMENT_GRID_H
#define KTVEC_REFINE_SEGMENT_GRID_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "refine/array.h"
#include "refine/lines.h"
#include "refine/vec2.h"

namespace ktv::refine {

// A drawn segment and the band around it that its stroke fills.
struct Segment {
    int line, at;  // from point `at` to `at` + 1 of line `line`
    Vec2 a, b;
    double reach;  // half the stroke's width plus a margin, px
};

// Every segment of every line, in line and point order, its reach half the
// line's stroke width (at least a pixel) plus `margin`.  False when memory
// runs out.
inline bool segments_of(const LineSet &lines, const Array<double> &widths, double margin, Array<Segment> &out) {
    for (int i = 0; i < lines.count(); ++i) {
        const double reach = 0.5 * std::max(1.0, widths[static_cast<std::size_t>(i)]) + margin;
        for (int k = 0; k + 1 < lines.points(i); ++k)
            if (!out.push({i, k, lines.point(i, k), lines.point(i, k + 1), reach})) return false;
    }
    return true;
}

// Each segment is listed in every cell within its reach plus `margin`, so
// a query from anywhere within that distance of the segment finds it.
class SegmentGrid {
public:
    static constexpr int kCell = 16;  // side of the cells, px

    bool build(const Array<Segment> &segments, int width, int height, double margin) {
        cols_ = width / kCell + 1;
        rows_ = height / kCell + 1;
        margin_ = margin;
        const std::size_t cells = static_cast<std::size_t>(cols_) * static_cast<std::size_t>(rows_);
        if (!end_.resize(cells, 0)) return false;
        // Count per cell, turn the counts into starts, then fill: each
        // cell's start moves on to its end, where the next cell starts.
        for_cells(segments, [&](std::size_t c, int) { ++end_[c]; });
        std::size_t total = 0;
        for (std::size_t c = 0; c < cells; ++c) {
            const std::size_t n = end_[c];
            end_[c] = total;
            total += n;
        }
        if (!items_.resize(total)) return false;
        for_cells(segments, [&](std::size_t c, int s) { items_[end_[c]++] = s; });
        return true;
    }
    // The segments whose cells include the one of p, in index order.
    template <class F> void near(Vec2 p, F f) const {
        if (cols_ == 0) return;
        const int cx = std::clamp(static_cast<int>(std::floor(p.x / kCell)), 0, cols_ - 1);
        const int cy = std::clamp(static_cast<int>(std::floor(p.y / kCell)), 0, rows_ - 1);
        const std::size_t c = static_cast<std::size_t>(cy) * static_cast<std::size_t>(cols_) + static_cast<std::size_t>(cx);
        for (std::size_t k = c ? end_[c - 1] : 0; k < end_[c]; ++k) f(items_[k]);
    }

private:
    template <class F> void for_cells(const Array<Segment> &segments, F f) const {
        for (std::size_t s = 0; s < segments.size(); ++s) {
            const Segment &g = segments[s];
            const double r = g.reach + margin_;
            const int x0 = cell(std::min(g.a.x, g.b.x) - r, cols_), x1 = cell(std::max(g.a.x, g.b.x) + r, cols_);
            const int y0 = cell(std::min(g.a.y, g.b.y) - r, rows_), y1 = cell(std::max(g.a.y, g.b.y) + r, rows_);
            for (int cy = y0; cy <= y1; ++cy)
                for (int cx = x0; cx <= x1; ++cx)
                    f(static_cast<std::size_t>(cy) * static_cast<std::size_t>(cols_) + static_cast<std::size_t>(cx),
                      static_cast<int>(s));
        }
    }
    static int cell(double c, int count) { return std::clamp(static_cast<int>(std::floor(c / kCell)), 0, count - 1); }

    int cols_ = 0, rows_ = 0;
    double margin_ = 0;
    Array<std::size_t> end_;  // per cell: where its segments end in items_ (the next cell's begin)
    Array<int> items_;
};

// The same query over few segments on a large page: only the cells some
// segment lies in are listed, as (cell, segment) pairs sorted by cell, so
// the memory follows the segments rather than the page.
class SparseSegmentGrid {
public:
    static constexpr int kCell = 16;  // side of the cells, px

    bool build(const Array<Segment> &segments, double margin) {
        entries_.clear();
        for (std::size_t s = 0; s < segments.size(); ++s) {
            const Segment &g = segments[s];
            const double r = g.reach + margin;
            for (long cy = cell(std::min(g.a.y, g.b.y) - r); cy <= cell(std::max(g.a.y, g.b.y) + r); ++cy)
                for (long cx = cell(std::min(g.a.x, g.b.x) - r); cx <= cell(std::max(g.a.x, g.b.x) + r); ++cx)
                    if (!entries_.push({key(cx, cy), static_cast<int>(s)})) return false;
        }
        std::sort(entries_.begin(), entries_.end(), [](const Entry &x, const Entry &y) {
            return x.cell != y.cell ? x.cell < y.cell : x.segment < y.segment;
        });
        return true;
    }
    // The segments listed in the cell of p, in index order.
    template <class F> void near(Vec2 p, F f) const {
        const std::uint64_t c = key(cell(p.x), cell(p.y));
        const Entry *at = std::lower_bound(entries_.begin(), entries_.end(), c,
                                           [](const Entry &e, std::uint64_t k) { return e.cell < k; });
        for (; at != entries_.end() && at->cell == c; ++at) f(at->segment);
    }

private:
    struct Entry {
        std::uint64_t cell;
        int segment;
    };
    static long cell(double c) { return static_cast<long>(std::floor(c / kCell)); }
    static std::uint64_t key(long cx, long cy) {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(cy)) << 32 | static_cast<std::uint32_t>(cx);
    }

    Array<Entry> entries_;
};

}  // namespace ktv::refine

#endif
