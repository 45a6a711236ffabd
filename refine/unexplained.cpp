// The ink that no line explains.
//
// A capsule (the points within `reach` of a segment) is convex, so it meets
// a pixel row in one interval of x, found from the row's crossing with its
// two end discs and its middle band.  The sweep keeps the capsules whose
// y range holds the row, ORs their intervals into a mask of the row, and
// keeps three such masks (the rows above and below decide whether a loose
// pixel touches explained ink).  Work: the ink bytes once, and each capsule
// once per row it spans.
#include "refine/unexplained.h"

#include <algorithm>
#include <cmath>

namespace ktv::refine {

namespace {

// The x interval of the pixel centres of row y inside the capsule; empty
// when lo > hi.
void capsule_row(const Capsule &c, double y, double &lo, double &hi) {
    lo = 1e300;
    hi = -1e300;
    const double r2 = c.reach * c.reach;
    for (const Vec2 &p : {c.a, c.b}) {
        const double dy = y - p.y;
        if (dy * dy > r2) continue;
        const double h = std::sqrt(r2 - dy * dy);
        lo = std::min(lo, p.x - h);
        hi = std::max(hi, p.x + h);
    }
    // The middle band: 0 <= projection <= length and distance <= reach.
    const Vec2 d = c.b - c.a;
    const double len = norm(d);
    if (len <= 0) return;
    const Vec2 u = d * (1 / len), n = perp(u);
    // Along the row, x = x0 + s: projection = u.x*s + u.(p0 - a), distance
    // = n.x*s + n.(p0 - a), with p0 = (0, y).  Each condition is a slab in s.
    const Vec2 q{-c.a.x, y - c.a.y};
    double slo = -1e300, shi = 1e300;
    auto slab = [&](double k, double base, double min, double max) {
        if (std::fabs(k) < 1e-12) {
            if (base < min || base > max) slo = 1e300, shi = -1e300;
            return;
        }
        double s0 = (min - base) / k, s1 = (max - base) / k;
        if (s0 > s1) std::swap(s0, s1);
        slo = std::max(slo, s0);
        shi = std::min(shi, s1);
    };
    slab(u.x, dot(u, q), 0, len);
    slab(n.x, dot(n, q), -c.reach, c.reach);
    if (slo <= shi) {
        lo = std::min(lo, slo);
        hi = std::max(hi, shi);
    }
}

// Sets bits lo..hi (pixel x, clamped) of a row mask in the bitmap layout.
void set_span(unsigned char *mask, int width, double lo, double hi) {
    const int x0 = std::max(0, static_cast<int>(std::ceil(lo))), x1 = std::min(width - 1, static_cast<int>(std::floor(hi)));
    for (int x = x0; x <= x1;) {
        if ((x & 7) == 0 && x + 7 <= x1) {
            mask[x >> 3] = 0xFF;
            x += 8;
        } else {
            mask[x >> 3] |= static_cast<unsigned char>(0x80 >> (x & 7));
            ++x;
        }
    }
}

bool bit(const unsigned char *row, int x, int width) {
    return x >= 0 && x < width && ((row[x >> 3] >> (7 - (x & 7))) & 1);
}

}  // namespace

bool find_unexplained(const Ink &ink, const Array<Capsule> &capsules, Array<LoosePixel> &loose,
                      Array<std::size_t> &rowstart) {
    const int width = ink.width(), height = ink.height();
    loose.clear();
    rowstart.clear();
    if (!rowstart.resize(static_cast<std::size_t>(height) + 1, 0)) return false;
    if (width < 1 || height < 1 || !ink.row(0)) return true;
    const std::size_t bytes = (static_cast<std::size_t>(width) + 7) / 8;
    // Capsules by the first row they reach.
    Array<int> order, active;
    if (!order.resize(capsules.size())) return false;
    for (std::size_t i = 0; i < capsules.size(); ++i) order[i] = static_cast<int>(i);
    auto top = [&](int i) { return std::min(capsules[std::size_t(i)].a.y, capsules[std::size_t(i)].b.y) - capsules[std::size_t(i)].reach; };
    auto bottom = [&](int i) { return std::max(capsules[std::size_t(i)].a.y, capsules[std::size_t(i)].b.y) + capsules[std::size_t(i)].reach; };
    std::sort(order.begin(), order.end(), [&](int x, int y) { return top(x) != top(y) ? top(x) < top(y) : x < y; });
    // Masks of rows y-1, y, y+1 (a ring of three) and a white row.
    Array<unsigned char> masks, white;
    if (!masks.resize(3 * bytes, 0) || !white.resize(bytes, 0)) return false;
    std::size_t next = 0;
    auto mask_of = [&](int y) -> unsigned char * { return masks.data() + static_cast<std::size_t>((y % 3 + 3) % 3) * bytes; };
    auto ink_row = [&](int y) -> const unsigned char * { return y >= 0 && y < height ? ink.row(y) : white.data(); };
    auto build = [&](int y) -> bool {
        unsigned char *m = mask_of(y);
        std::fill(m, m + bytes, 0);
        if (y >= height) return true;
        while (next < order.size() && top(order[next]) <= y + 0.5)
            if (!active.push(order[next++])) return false;
        std::size_t kept = 0;
        for (std::size_t k = 0; k < active.size(); ++k) {
            const int c = active[k];
            if (bottom(c) < y - 0.5) continue;  // done with this capsule
            active[kept++] = c;
            double lo, hi;
            capsule_row(capsules[std::size_t(c)], y, lo, hi);
            if (lo <= hi) set_span(m, width, lo, hi);
        }
        active.resize(kept);
        return true;
    };
    std::fill(mask_of(-1), mask_of(-1) + bytes, 0);
    if (!build(0)) return false;
    for (int y = 0; y < height; ++y) {
        if (!build(y + 1)) return false;
        rowstart[std::size_t(y)] = loose.size();
        const unsigned char *row = ink.row(y), *m = mask_of(y);
        for (std::size_t b = 0; b < bytes; ++b) {
            unsigned char free = static_cast<unsigned char>(row[b] & ~m[b]);
            if (b + 1 == bytes && (width & 7)) free &= static_cast<unsigned char>(0xFF << (8 - (width & 7)));
            while (free) {
                const int bitpos = __builtin_clz(static_cast<unsigned>(free)) - 24;  // 0 = leftmost pixel
                free = static_cast<unsigned char>(free & ~(0x80u >> bitpos));
                const int x = static_cast<int>(b) * 8 + bitpos;
                bool touches = false;
                for (int dy = -1; dy <= 1 && !touches; ++dy) {
                    const unsigned char *ir = ink_row(y + dy), *mr = (y + dy < 0 || y + dy >= height) ? white.data() : mask_of(y + dy);
                    for (int dx = -1; dx <= 1 && !touches; ++dx)
                        touches = (dx || dy) && bit(ir, x + dx, width) && bit(mr, x + dx, width);
                }
                if (!loose.push({x, y, touches})) return false;
            }
        }
    }
    rowstart[std::size_t(height)] = loose.size();
    return true;
}

}  // namespace ktv::refine
