// Skeleton scoring.  Every query is local: nearest primitives come from the
// grid index, nearest skeleton pixels from a small window of the bitmap.
#include "skeletonscore.h"

#include <algorithm>
#include <cmath>

#include "groundtruth.h"
#include "spread.h"
#include "vectorizer/geometry.h"

namespace ktvdraw {

namespace {
class Skeleton {
public:
    Skeleton(const unsigned char *bits, int w, int h, int stride)
        : bits_(bits), w_(w), h_(h), stride_(stride) {}
    bool get(int x, int y) const {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return false;
        return (bits_[(std::size_t)y * stride_ + (x >> 3)] >> (7 - (x & 7))) & 1;
    }
    int neighbours(int x, int y) const {
        int n = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) n += (dx || dy) && get(x + dx, y + dy);
        return n;
    }
    // Distance from page point p to the nearest skeleton pixel centre, if
    // one lies within `radius`; otherwise `radius`.
    double nearest(Point p, double radius) const {
        double best = radius;
        int x0 = (int)std::floor(p.x - 0.5 - radius), x1 = (int)std::ceil(p.x - 0.5 + radius);
        int y0 = (int)std::floor(p.y - 0.5 - radius), y1 = (int)std::ceil(p.y - 0.5 + radius);
        for (int y = std::max(0, y0); y <= std::min(h_ - 1, y1); ++y)
            for (int x = std::max(0, x0); x <= std::min(w_ - 1, x1); ++x)
                if (get(x, y)) best = std::min(best, std::hypot(x + 0.5 - p.x, y + 0.5 - p.y));
        return best;
    }

private:
    const unsigned char *bits_;
    int w_, h_, stride_;
};

// The open ends of the strokes: both ends of a line, both ends of an arc
// that is not a full circle.
void stroke_ends(const Primitive &p, std::vector<Point> &out) {
    if (p.kind == Primitive::Line) {
        out.push_back({p.x0, p.y0});
        out.push_back({p.x1, p.y1});
    } else if (p.kind == Primitive::Arc && p.a1 - p.a0 < 2 * ktv::kPi - 1e-9) {
        out.push_back({p.cx + p.r * std::cos(p.a0), p.cy + p.r * std::sin(p.a0)});
        out.push_back({p.cx + p.r * std::cos(p.a1), p.cy + p.r * std::sin(p.a1)});
    }
}
}  // namespace

SkeletonScore score_skeleton(const unsigned char *bits, int width, int height, int stride,
                             const std::vector<Primitive> &truth) {
    SkeletonScore s;
    Skeleton sk(bits, width, height, stride);
    PrimitiveIndex index(truth, 32);
    double widest = 0;
    for (const Primitive &p : truth) widest = std::max(widest, p.width);

    // Free ends: an end whose point lies outside every other stroke.
    std::vector<Point> ends;
    std::vector<double> end_width;
    for (std::size_t i = 0; i < truth.size(); ++i) {
        std::vector<Point> e;
        stroke_ends(truth[i], e);
        for (const Point &p : e) {
            bool free = true;
            for (std::size_t j = 0; j < truth.size() && free; ++j)
                if (j != i && distance_to(truth[j], p) <= truth[j].width / 2 + truth[i].width / 2)
                    free = false;
            if (free) {
                ends.push_back(p);
                end_width.push_back(truth[i].width);
            }
        }
    }

    // Skeleton pixels: offsets, strays, end pixels, spurs.
    std::vector<double> offsets;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (!sk.get(x, y)) continue;
            ++s.pixels;
            Point c{x + 0.5, y + 0.5};
            double d = 0;
            int near = index.nearest(c, widest / 2 + 2, &d);
            if (near < 0 || d > truth[near].width / 2 + 2) ++s.stray;
            else offsets.push_back(d);
            if (sk.neighbours(x, y) != 1) continue;
            ++s.end_pixels;
            bool at_end = false;
            for (std::size_t k = 0; k < ends.size() && !at_end; ++k)
                at_end = std::hypot(ends[k].x - c.x, ends[k].y - c.y) <= end_width[k] / 2 + 3;
            s.spurs += !at_end;
        }
    const Spread offset = spread(offsets);
    s.mean_offset = offset.mean;
    s.p95_offset = offset.p95;

    // Coverage of the centre lines.
    long samples = 0, covered = 0;
    for (const Primitive &p : truth) {
        if (p.kind == Primitive::Polygon) continue;
        double reach = std::max(2.0, p.width / 2);
        for (const Point &q : sample_along(p, 1.0)) {
            if (q.x < 0 || q.y < 0 || q.x >= width || q.y >= height) continue;
            ++samples;
            covered += sk.nearest(q, reach + 0.01) <= reach;
        }
    }
    s.coverage = samples ? (double)covered / samples : 0;

    // How much of each free end the skeleton lost.
    double gaps = 0;
    for (std::size_t k = 0; k < ends.size(); ++k) gaps += sk.nearest(ends[k], end_width[k] + 4);
    s.free_ends = (long)ends.size();
    s.mean_end_gap = ends.empty() ? 0 : gaps / ends.size();
    return s;
}

}  // namespace ktvdraw
