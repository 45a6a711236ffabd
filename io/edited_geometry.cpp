#include "edited_geometry.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ktvcli {

namespace {

// A line of the refiner's own that ends within this of an end of the
// unedited result's is the same stroke: its end lies at the tip of the ink,
// which no edit moves, while its start, where it meets the line it hangs
// off, moves with that line.  Px.
constexpr double kSameEnd = 1.0;

// Ends by cell of a grid kSameEnd wide, so that the ends near a point are
// found in nine cells rather than among all of them (an outline result has
// a ring for every border of the sheet).
class EndGrid {
public:
    explicit EndGrid(const std::vector<_KTREFINEDPOINT> &ends) : ends_(ends) {
        keyed_.reserve(ends.size());
        for (std::size_t i = 0; i < ends.size(); ++i) keyed_.emplace_back(key(cell(ends[i].x), cell(ends[i].y)), i);
        std::sort(keyed_.begin(), keyed_.end());
    }

    bool near(const _KTREFINEDPOINT &p) const {
        const long long cx = cell(p.x), cy = cell(p.y);
        for (long long dy = -1; dy <= 1; ++dy)
            for (long long dx = -1; dx <= 1; ++dx) {
                const std::uint64_t k = key(cx + dx, cy + dy);
                auto it = std::lower_bound(keyed_.begin(), keyed_.end(), std::make_pair(k, std::size_t(0)));
                for (; it != keyed_.end() && it->first == k; ++it) {
                    const _KTREFINEDPOINT &e = ends_[it->second];
                    const double ex = e.x - p.x, ey = e.y - p.y;
                    if (ex * ex + ey * ey <= kSameEnd * kSameEnd) return true;
                }
            }
        return false;
    }

private:
    static long long cell(double v) { return static_cast<long long>(std::floor(v / kSameEnd)); }
    static std::uint64_t key(long long cx, long long cy) {
        return (static_cast<std::uint64_t>(cx) << 32) ^ static_cast<std::uint32_t>(cy);
    }

    const std::vector<_KTREFINEDPOINT> &ends_;
    std::vector<std::pair<std::uint64_t, std::size_t>> keyed_;
};

bool spline_samples(const _KTPOLYLINE &p) {
    return (p.flag & KTVEC_POLYLINE_SPLINE) && p.splinenum >= 2 && p.splinex && p.spliney;
}

}  // namespace

void UneditedResult::take(CKTVector &v, const CKTRefiner *measured) {
    nodes.clear();
    own_ends.clear();
    const int n = v.mgetnodenum();
    nodes.reserve(2 * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const _KTNODE &node = *v.mgetnode(i);
        nodes.push_back(node.x);
        nodes.push_back(node.y);
    }
    if (!measured) return;
    for (int k = 0; k < measured->mgetlinenum(); ++k) {
        const _KTREFINEDLINE &l = *measured->mgetline(k);
        if (l.source == 0 && l.pointnum > 0) own_ends.push_back(l.point[l.pointnum - 1]);
    }
}

void EditedGeometry::compose(const UneditedResult &before, CKTVector &edited, const CKTRefiner &measured) {
    measured_ = &measured;
    lines_.clear();
    points_.clear();
    point_nodes_.clear();
    starts_.clear();
    // A node the edits placed: made by them, or standing elsewhere than before.
    const int n = edited.mgetnodenum();
    const std::size_t known = before.nodes.size() / 2;
    placed_.assign(static_cast<std::size_t>(n), 0);
    at_.assign(static_cast<std::size_t>(n), {0, 0});
    for (int i = 0; i < n; ++i) {
        const _KTNODE &node = *edited.mgetnode(i);
        const std::size_t u = static_cast<std::size_t>(i);
        placed_[u] = !node.deleted && (u >= known || node.x != before.nodes[2 * u] || node.y != before.nodes[2 * u + 1]);
        at_[u] = {static_cast<double>(node.x), static_cast<double>(node.y)};
    }

    const EndGrid ends(before.own_ends);
    auto begin = [&](int source) {
        _KTREFINEDLINE l{};
        l.source = source;
        lines_.push_back(l);
        starts_.push_back(points_.size());
    };
    auto add = [&](double x, double y, int node) {
        points_.push_back({x, y});
        point_nodes_.push_back(node);
        ++lines_.back().pointnum;
    };
    for (int k = 0; k < measured.mgetlinenum(); ++k) {
        const _KTREFINEDLINE &l = *measured.mgetline(k);
        if (l.source == 0 && (l.pointnum < 1 || !ends.near(l.point[l.pointnum - 1]))) continue;
        bool through_placed = false;
        for (int i = 0; l.source != 0 && i < l.pointnum && !through_placed; ++i) through_placed = placed(l.node[i]);
        begin(l.source);
        if (l.source == 0 || !through_placed) {
            for (int i = 0; i < l.pointnum; ++i) add(l.point[i].x, l.point[i].y, l.node[i]);
        } else if (const _KTPOLYLINE &p = *edited.mgetpolyline(l.source); spline_samples(p)) {
            for (int i = 0; i < p.splinenum; ++i) add(p.splinex[i], p.spliney[i], -1);
        } else {
            for (int i = 0; i < p.nodenum; ++i) {
                double x, y;
                if (node_position(p.nodeindex[i], x, y)) add(x, y, p.nodeindex[i]);
            }
        }
    }
    // Closed as the refiner closes a line: its last point is its first.
    for (std::size_t k = 0; k < lines_.size(); ++k) {
        _KTREFINEDLINE &l = lines_[k];
        l.point = points_.data() + starts_[k];
        l.node = point_nodes_.data() + starts_[k];
        l.closed = l.pointnum > 2 && l.point[0].x == l.point[l.pointnum - 1].x &&
                   l.point[0].y == l.point[l.pointnum - 1].y;
    }
}

bool EditedGeometry::node_position(int index, double &x, double &y) const {
    if (!measured_ || !measured_->mgetnodeposition(index, &x, &y)) return false;
    if (placed(index)) {
        x = at_[static_cast<std::size_t>(index)].x;
        y = at_[static_cast<std::size_t>(index)].y;
    }
    return true;
}

}  // namespace ktvcli
