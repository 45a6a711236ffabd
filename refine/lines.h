// The refiner's result: lines of points with, for each point, the node of
// the vectorizer it stands for.  Points of all lines share one array; a
// line's pointers are set when the set is complete, since the arrays move
// while they grow.
#ifndef KTVEC_REFINE_LINES_H
#define KTVEC_REFINE_LINES_H

#include "ktvec_refine.h"
#include "refine/array.h"
#include "refine/vec2.h"

namespace ktv::refine {

class LineSet {
public:
    void clear() {
        lines_.clear();
        offsets_.clear();
        points_.clear();
        nodes_.clear();
    }
    // Starts a line; false when memory runs out.
    bool begin(int source) {
        _KTREFINEDLINE l{};
        l.source = source;
        l.pointnum = 0;
        return lines_.push(l) && offsets_.push(points_.size());
    }
    bool add(Vec2 p, int node) {
        if (!points_.push({p.x, p.y}) || !nodes_.push(node)) return false;
        ++lines_.back().pointnum;
        return true;
    }
    // Ends the line begun last; a line whose last point is its first is
    // closed.
    void end() {
        _KTREFINEDLINE &l = lines_.back();
        const std::size_t o = offsets_.back();
        l.closed = l.pointnum > 2 && points_[o].x == points_[o + l.pointnum - 1].x &&
                   points_[o].y == points_[o + l.pointnum - 1].y;
    }
    void swap(LineSet &other) {
        lines_.swap(other.lines_);
        offsets_.swap(other.offsets_);
        points_.swap(other.points_);
        nodes_.swap(other.nodes_);
    }
    // Sets every line's pointers into the shared arrays.
    void seal() {
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            lines_[i].point = points_.data() + offsets_[i];
            lines_[i].node = nodes_.data() + offsets_[i];
        }
    }
    // Before seal(): keeps the lines i for which keep(i) holds, in their
    // order, moving their points down in place (nothing is allocated).
    template <class Keep> void retain(Keep keep) {
        std::size_t lines = 0, points = 0;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (!keep(static_cast<int>(i))) continue;
            const std::size_t from = offsets_[i], n = static_cast<std::size_t>(lines_[i].pointnum);
            for (std::size_t k = 0; k < n; ++k) {
                points_[points + k] = points_[from + k];
                nodes_[points + k] = nodes_[from + k];
            }
            lines_[lines] = lines_[i];
            offsets_[lines] = points;
            ++lines;
            points += n;
        }
        // Shrinking never asks for memory.
        lines_.resize(lines);
        offsets_.resize(lines);
        points_.resize(points);
        nodes_.resize(points);
    }
    int count() const { return static_cast<int>(lines_.size()); }
    // Before seal(): the points of line i, by position along it.
    int points(int i) const { return lines_[static_cast<std::size_t>(i)].pointnum; }
    int source(int i) const { return lines_[static_cast<std::size_t>(i)].source; }
    Vec2 point(int i, int k) const {
        const _KTREFINEDPOINT &p = points_[offsets_[static_cast<std::size_t>(i)] + static_cast<std::size_t>(k)];
        return {p.x, p.y};
    }
    // Before seal(): moves point k of line i.
    void set(int i, int k, Vec2 p) {
        _KTREFINEDPOINT &q = points_[offsets_[static_cast<std::size_t>(i)] + static_cast<std::size_t>(k)];
        q.x = p.x;
        q.y = p.y;
    }
    int node(int i, int k) const { return nodes_[offsets_[static_cast<std::size_t>(i)] + static_cast<std::size_t>(k)]; }
    // Before seal(): where point k of line i stands among the points of all
    // lines, 0 .. total() - 1 (a place for a flag per point).
    std::size_t index(int i, int k) const { return offsets_[static_cast<std::size_t>(i)] + static_cast<std::size_t>(k); }
    std::size_t total() const { return points_.size(); }
    const _KTREFINEDLINE &line(int i) const { return lines_[static_cast<std::size_t>(i)]; }

private:
    Array<_KTREFINEDLINE> lines_;
    Array<std::size_t> offsets_;
    Array<_KTREFINEDPOINT> points_;
    Array<int> nodes_;
};

// Makes `grown` a copy of `lines` in which each point k of line i is
// followed by the points that after(i, k, grown) adds there (points of the
// stage's own: grown.add(p, -1)); after() answers false when memory runs
// out.  False when memory runs out.
template <class After> bool copy_with_points(const LineSet &lines, LineSet &grown, After after) {
    grown.clear();
    for (int i = 0; i < lines.count(); ++i) {
        if (!grown.begin(lines.source(i))) return false;
        for (int k = 0; k < lines.points(i); ++k)
            if (!grown.add(lines.point(i, k), lines.node(i, k)) || !after(i, k, grown)) return false;
        grown.end();
    }
    return true;
}

}  // namespace ktv::refine

#endif
