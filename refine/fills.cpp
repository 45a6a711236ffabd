// Filled shapes.
//
// A drawing fills some areas: a solid disk, a circle hatched so densely that
// its lines merged, a block of ink standing on its own.  Thinning takes such
// a piece down to a point or a short line in its middle, which tells nothing
// of the shape; what the drawing's pen drew there is the path round its
// edge.  So a piece of ink on its own that is many pens across nearly all
// over gets, beside the lines it has, a closed line half a pen inside each
// of its borders.  A stroke of a wider pen is that pen's width across and no
// more, so it is only taken for a filled shape when its pen is kFillPens
// times the page's; and a piece that other strokes run into or out of is
// left alone, since its ring would have to be joined to their lines.
//
// Whether a piece is that wide everywhere is its opening: the pixels
// covered by disks kFillPens pens across that lie in the ink.  Both
// distances come from exact squared distance transforms over the piece's
// box, and its rings are its crack chains fitted as the outlines are, then
// moved half a pen into the ink side by side.
#include "refine/fills.h"

#include "refine/crack.h"
#include "refine/linefit.h"
#include "refine/ringfit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ktv::refine {

namespace {

constexpr double kFillPens = 6.0;   // a filled piece is at least this many pens across ...
constexpr double kFillShare = 0.9;  // ... over at least this share of its pixels
// Larger pieces (or boxes) are not looked at: a shape that large is a
// drawing of its own, and its box would take too much memory, pixels.
constexpr std::size_t kMaxFill = std::size_t(1) << 18;
// A stroke a pen wide has half a pen of area per unit of border, a disc
// kFillPens pens across 1.5 pens (over 1.1 on the staircase of its
// pixels' edges): pieces with less than this are no filled shape, and are
// not measured further.
constexpr double kFillDepth = 0.75;
constexpr double kMinHole = 4.0;    // a hole of fewer square pens is a speck of paper, not a shape
constexpr double kFar = 1e20;       // squared distance standing for none within the box
constexpr double kParallel = 0.05;  // sine under which two sides count as parallel (3 degrees)

// Squared distance from each of n cells to the nearest source, along one
// row or column: f holds 0 at a source and kFar elsewhere, d receives the
// result (Felzenszwalb and Huttenlocher's lower envelope of parabolas).
// v holds n entries and z n + 1.
void squared_distances(const double *f, int n, double *d, int *v, double *z) {
    // Where the parabolas of cells q and p (p < q) cross.
    const auto crossing = [&](int q, int p) {
        return ((f[q] + double(q) * q) - (f[p] + double(p) * p)) / (2.0 * (q - p));
    };
    int k = 0;
    v[0] = 0;
    z[0] = -1e300;
    z[1] = 1e300;
    for (int q = 1; q < n; ++q) {
        double s = crossing(q, v[k]);
        while (s <= z[k]) s = crossing(q, v[--k]);  // z[0] is below every crossing
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = 1e300;
    }
    k = 0;
    for (int q = 0; q < n; ++q) {
        while (z[k + 1] < q) ++k;
        const double t = q - v[k];
        d[q] = t * t + f[v[k]];
    }
}

// A piece's box: its pixels and their distances, one cell per pixel.
struct Box {
    static std::size_t u(int i) { return static_cast<std::size_t>(i); }

    // Room for a box of w x h cells.  False when memory runs out.
    bool reset(int left, int top, int width, int height) {
        x0 = left;
        y0 = top;
        w = width;
        h = height;
        const std::size_t cells = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
        const std::size_t longest = static_cast<std::size_t>(std::max(w, h));
        return inside.resize(cells) && dist.resize(cells) && f.resize(longest) && d.resize(longest) &&
               v.resize(longest) && z.resize(longest + 1);
    }
    std::size_t cell(int x, int y) const { return u(y - y0) * u(w) + u(x - x0); }
    bool holds(int x, int y) const {
        return x >= x0 && y >= y0 && x < x0 + w && y < y0 + h && inside[cell(x, y)];
    }
    void clear_piece() { std::fill(inside.begin(), inside.end(), 0); }
    void set(int x, int y) { inside[cell(x, y)] = 1; }

    // dist becomes the squared distance from each cell to the nearest cell
    // for which source(cell) holds (kFar or more when there is none).
    template <class Source> void transform(Source source) {
        for (std::size_t c = 0; c < dist.size(); ++c) dist[c] = source(c) ? 0.0 : kFar;
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y) f[u(y)] = dist[u(y) * u(w) + u(x)];
            squared_distances(f.data(), h, d.data(), v.data(), z.data());
            for (int y = 0; y < h; ++y) dist[u(y) * u(w) + u(x)] = d[u(y)];
        }
        for (int y = 0; y < h; ++y) {
            double *row = dist.data() + u(y) * u(w);
            std::copy(row, row + w, f.data());
            squared_distances(f.data(), w, row, v.data(), z.data());
        }
    }

    int x0 = 0, y0 = 0, w = 0, h = 0;  // the top-left cell's pixel, the box's size
    Array<unsigned char> inside;        // 1 for a pixel of the piece
    Array<double> dist;
    Array<double> f, d, z;              // one row or column of the transform
    Array<int> v;
};

// Whether the ink runs on at least r from p in eight directions, and is
// black halfway there too (the middle of a ring is no shape's middle): the
// middle of a piece that may be a filled shape.
bool deep(const Ink &ink, Vec2 p, double r) {
    if (!ink.at(p)) return false;
    for (const double reach : {r, 0.5 * r}) {
        const double d = reach * 0.7071067811865476;
        if (!ink.at(p + Vec2{reach, 0}) || !ink.at(p - Vec2{reach, 0}) || !ink.at(p + Vec2{0, reach}) ||
            !ink.at(p - Vec2{0, reach}) || !ink.at(p + Vec2{d, d}) || !ink.at(p - Vec2{d, d}) ||
            !ink.at(p + Vec2{d, -d}) || !ink.at(p - Vec2{d, -d}))
            return false;
    }
    return true;
}

class Fills {
public:
    Fills(const Ink &ink, double pen, LineSet &lines) : ink_(ink), pen_(pen), lines_(lines) {}

    int run() {
        const double reach = 0.5 * kFillPens * pen_;
        const int lines = lines_.count();
        // The lines are looked along every half reach: a shape's line may
        // only pass through its middle.
        const double step = std::max(1.0, 0.5 * reach);
        for (int i = 0; i < lines; ++i)
            for (int k = 0; k < lines_.points(i); ++k) {
                const Vec2 a = lines_.point(i, k), b = k + 1 < lines_.points(i) ? lines_.point(i, k + 1) : a;
                const double length = norm(b - a);
                const int parts = length < 1e6 ? static_cast<int>(length / step) + 1 : 1;
                for (int t = 0; t < parts; ++t)
                    if (!look(a + (b - a) * (double(t) / parts), reach, lines)) return KTVEC_NO_MEMORY;
            }
        return 0;
    }

private:
    // Looks for a filled shape round p; false when memory runs out.
    bool look(Vec2 p, double reach, int lines) {
        if (!deep(ink_, p, reach)) return true;
        const Pixel seed{Ink::pixel(p.x), Ink::pixel(p.y)};
        if (!seen_.empty() && test(seen_, seed)) return true;
        bool whole = false, fill = false;
        if (!flood(seed, whole)) return false;
        if (!whole || static_cast<double>(piece_.size()) < kFillDepth * pen_ * static_cast<double>(cracks_)) return true;
        if (!box_piece() || !filled(fill)) return false;
        return !fill || !lines_inside(lines) || add_rings();
    }

    bool test(const Array<std::uint64_t> &bits, Pixel p) const {
        const std::size_t at = static_cast<std::size_t>(p.y) * words_ + static_cast<std::size_t>(p.x >> 6);
        return (bits[at] >> (p.x & 63)) & 1;
    }
    void put(Array<std::uint64_t> &bits, Pixel p, bool on) {
        const std::size_t at = static_cast<std::size_t>(p.y) * words_ + static_cast<std::size_t>(p.x >> 6);
        const std::uint64_t bit = std::uint64_t(1) << (p.x & 63);
        bits[at] = on ? bits[at] | bit : bits[at] & ~bit;
    }

    // The 8-connected piece of ink holding `seed` into piece_, and the
    // number of edges between its pixels and paper into cracks_; `whole` is
    // false when it has more than kMaxFill pixels or meets the pixels of
    // such a piece met before (which stay seen, so no pixel is walked
    // twice).
    bool flood(Pixel seed, bool &whole) {
        if (seen_.empty()) {
            words_ = (static_cast<std::size_t>(ink_.width()) + 63) / 64;
            const std::size_t n = words_ * static_cast<std::size_t>(ink_.height());
            if (!seen_.resize(n, 0) || !mine_.resize(n, 0)) return false;
        }
        piece_.clear();
        stack_.clear();
        cracks_ = 0;
        whole = true;
        if (!stack_.push(seed) || !piece_.push(seed)) return false;
        put(seen_, seed, true);
        put(mine_, seed, true);
        while (!stack_.empty() && whole) {
            const Pixel p = stack_.back();
            stack_.pop();
            cracks_ += !ink_.at(p.x - 1, p.y) + !ink_.at(p.x + 1, p.y) + !ink_.at(p.x, p.y - 1) + !ink_.at(p.x, p.y + 1);
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const Pixel q{p.x + dx, p.y + dy};
                    if ((dx == 0 && dy == 0) || !ink_.at(q.x, q.y)) continue;
                    if (test(seen_, q)) {
                        if (!test(mine_, q)) whole = false;
                        continue;
                    }
                    put(seen_, q, true);
                    put(mine_, q, true);
                    if (!stack_.push(q) || !piece_.push(q)) return false;
                }
            if (piece_.size() > kMaxFill) whole = false;
        }
        for (const Pixel &p : piece_) put(mine_, p, false);
        return true;
    }

    // The piece's box, a white pixel wider than it all round.
    bool box_piece() {
        int x0 = piece_[0].x, x1 = x0, y0 = piece_[0].y, y1 = y0;
        for (const Pixel &p : piece_) {
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
        }
        const std::size_t w = static_cast<std::size_t>(x1 - x0) + 3, h = static_cast<std::size_t>(y1 - y0) + 3;
        if (w * h > 4 * kMaxFill) {
            box_.w = 0;
            return true;
        }
        if (!box_.reset(x0 - 1, y0 - 1, static_cast<int>(w), static_cast<int>(h))) return false;
        box_.clear_piece();
        for (const Pixel &p : piece_) box_.set(p.x, p.y);
        return true;
    }

    // Whether the piece is kFillPens pens across over kFillShare of its
    // pixels, into `fill`.  A pixel whose centre lies d from the nearest
    // paper pixel's has ink for d - 1/2 round it, so the disks of radius r
    // = kFillPens / 2 pens in the ink are centred on the pixels with d >= r
    // + 1/2 (the core); they cover the pixels within r of such a centre,
    // and half a pixel more for the pixel's own half-width.  False when
    // memory runs out.
    bool filled(bool &fill) {
        fill = false;
        if (box_.w == 0) return true;
        const double r = 0.5 * kFillPens * pen_;
        cover_ = (r + 0.5) * (r + 0.5);
        box_.transform([&](std::size_t c) { return !box_.inside[c]; });
        if (!core_.resize(box_.dist.size())) return false;
        std::size_t cores = 0;
        for (std::size_t c = 0; c < core_.size(); ++c) cores += core_[c] = box_.inside[c] && box_.dist[c] >= cover_;
        if (cores == 0) return true;
        box_.transform([&](std::size_t c) { return core_[c] != 0; });
        std::size_t covered = 0;
        for (std::size_t c = 0; c < core_.size(); ++c) covered += box_.inside[c] && box_.dist[c] <= cover_;
        fill = static_cast<double>(covered) >= kFillShare * static_cast<double>(piece_.size());
        return true;
    }

    // Whether every line with a point on the piece keeps all its points in
    // the piece's opening (after filled()): the lines thinning left in a
    // filled shape run in its middle, while a stroke running out of it, or
    // a line bridging a gap to other ink, ends outside.
    bool lines_inside(int lines) const {
        for (int i = 0; i < lines; ++i) {
            bool on = false, off = false;
            for (int k = 0; k < lines_.points(i); ++k) {
                const Vec2 p = lines_.point(i, k);
                const int x = Ink::pixel(p.x), y = Ink::pixel(p.y);
                const bool in = box_.holds(x, y);
                on = on || in;
                off = off || !in || box_.dist[box_.cell(x, y)] > cover_;
            }
            if (on && off) return false;
        }
        return true;
    }

    // The piece's borders, fitted on their cracks and moved half a pen into
    // the ink (see moved()).
    bool add_rings() {
        const int w = box_.w, h = box_.h;
        const std::size_t stride = (static_cast<std::size_t>(w) + 7) / 8;
        if (!bits_.resize(stride * static_cast<std::size_t>(h), 0)) return false;
        std::fill(bits_.begin(), bits_.end(), 0);
        for (const Pixel &p : piece_) {
            const int x = p.x - box_.x0, y = p.y - box_.y0;
            bits_[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x >> 3)] |=
                static_cast<unsigned char>(0x80 >> (x & 7));
        }
        CrackTracer tracer;
        if (!tracer.start(bits_.data(), w, h, stride)) return false;
        const Vec2 origin{double(box_.x0), double(box_.y0)};
        for (;;) {
            const int r = tracer.next(ring_);
            if (r < 0) return false;
            if (r == 0) return true;
            if (!fitter_.fit(ring_, polygon_)) return false;
            const std::size_t n = polygon_.size();
            if (n < 3) continue;
            double area = 0;
            for (std::size_t k = 0; k < n; ++k) area += cross(polygon_[k], polygon_[(k + 1) % n]);
            // Outer borders run clockwise on the screen (y down): positive area.
            if (area < 0 && -0.5 * area < kMinHole * pen_ * pen_) continue;
            if (!moved()) return false;
            if (sides_.size() < 3) continue;
            if (!lines_.begin(0)) return false;
            for (std::size_t k = 0; k <= sides_.size(); ++k)
                if (!lines_.add(corner(k % sides_.size()) + origin, -1)) return false;
            lines_.end();
        }
    }

    // The lines of polygon_'s sides, each moved half a pen to its right
    // (the ink's side: the chains run with the ink on the right), into
    // sides_.  A side shorter than the move at a concave turn vanishes
    // between its neighbours' moved lines (its moved ends come out in the
    // wrong order), and goes.  False when memory runs out.
    bool moved() {
        const std::size_t n = polygon_.size();
        sides_.clear();
        for (std::size_t k = 0; k < n; ++k) {
            const Vec2 a = polygon_[k], b = polygon_[(k + 1) % n];
            if (norm(b - a) <= 0) continue;
            const Vec2 d = unit(b - a);
            if (!sides_.push({a + perp(d) * (0.5 * pen_), d})) return false;
        }
        for (bool gone = true; gone && sides_.size() >= 3;) {
            gone = false;
            for (std::size_t k = 0; k < sides_.size(); ++k) {
                const std::size_t m = sides_.size();
                if (dot(corner((k + 1) % m) - corner(k), sides_[k].dir) > 0) continue;
                for (std::size_t j = k + 1; j < m; ++j) sides_[j - 1] = sides_[j];
                sides_.pop();
                gone = true;
                break;
            }
        }
        return true;
    }

    // The corner where moved side k - 1 meets moved side k; lines within a
    // few degrees of parallel meet halfway between where each passes side
    // k's start.
    Vec2 corner(std::size_t k) const {
        const Line &a = sides_[(k + sides_.size() - 1) % sides_.size()], &b = sides_[k];
        if (std::fabs(cross(a.dir, b.dir)) > kParallel) return meeting_point(a, b);
        return (b.at + foot(a, b.at)) * 0.5;
    }

    const Ink &ink_;
    const double pen_;
    LineSet &lines_;
    std::size_t words_ = 0;
    std::size_t cracks_ = 0;
    double cover_ = 0;  // squared distance from the core's pixels that the opening reaches, and
                        // from the paper that the core's pixels lie
    Array<std::uint64_t> seen_, mine_;  // pixels walked by any flood, and by the current one
    Array<Pixel> piece_, stack_;
    Array<unsigned char> core_, bits_;
    Array<Corner> ring_;
    Array<Vec2> polygon_;
    Array<Line> sides_;  // the moved sides of the ring being added
    RingFitter fitter_;
    Box box_;
};

}  // namespace

int outline_fills(const Ink &ink, const Array<double> &widths, LineSet &lines) {
    if (widths.empty() || lines.count() == 0) return 0;
    Array<double> values;
    if (!values.reserve(widths.size())) return KTVEC_NO_MEMORY;
    for (double w : widths)
        if (!values.push(w)) return KTVEC_NO_MEMORY;
    const double pen = std::max(1.0, median(values.data(), values.size()));
    Fills fills(ink, pen, lines);
    return fills.run();
}

}  // namespace ktv::refine
