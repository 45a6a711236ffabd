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
#include <cstdint>
#include <cstring>

namespace ktv::refine {

namespace {

// A capsule made ready for the sweep: what its row intervals need that
// does not depend on the row.  Along a row y, at x, the projection on the
// segment is ux*x + uy*y + cu and the distance from its line nx*x + ny*y +
// cn; each condition bounds x to a slab.
struct Prepared {
    double top, bottom;  // the rows it can reach
    double ax, ay, bx, by, r2, reach;
    double uy, cu, inv_ux, ny, cn, inv_nx, len;
    bool segment;        // false: a single point (a disc)

    explicit Prepared(const Capsule &c)
        : top(std::min(c.a.y, c.b.y) - c.reach), bottom(std::max(c.a.y, c.b.y) + c.reach), ax(c.a.x),
          ay(c.a.y), bx(c.b.x), by(c.b.y), r2(c.reach * c.reach), reach(c.reach) {
        const Vec2 d = c.b - c.a;
        len = norm(d);
        segment = len > 0;
        const Vec2 u = segment ? d * (1 / len) : Vec2{1, 0}, n = perp(u);
        uy = u.y;
        cu = -dot(u, c.a);
        inv_ux = std::fabs(u.x) > 1e-12 ? 1 / u.x : 0;
        ny = n.y;
        cn = -dot(n, c.a);
        inv_nx = std::fabs(n.x) > 1e-12 ? 1 / n.x : 0;
    }

    // The x interval of the pixel centres of row y inside the capsule;
    // empty when lo > hi.
    void row(double y, double &lo, double &hi) const {
        lo = 1e300;
        hi = -1e300;
        const double da = y - ay, db = y - by;
        if (da * da <= r2) {
            const double h = std::sqrt(r2 - da * da);
            lo = ax - h;
            hi = ax + h;
        }
        if (db * db <= r2) {
            const double h = std::sqrt(r2 - db * db);
            lo = std::min(lo, bx - h);
            hi = std::max(hi, bx + h);
        }
        if (!segment) return;
        double slo = -1e300, shi = 1e300;
        if (!slab(uy * y + cu, inv_ux, 0, len, slo, shi) || !slab(ny * y + cn, inv_nx, -reach, reach, slo, shi))
            return;
        if (slo <= shi) {
            lo = std::min(lo, slo);
            hi = std::max(hi, shi);
        }
    }

private:
    // min <= k*x + base <= max, with inv = 1/k (0 when k is 0: then base
    // alone decides).  False when no x qualifies.
    static bool slab(double base, double inv, double min, double max, double &lo, double &hi) {
        if (inv == 0) return base >= min && base <= max;
        double s0 = (min - base) * inv, s1 = (max - base) * inv;
        if (s0 > s1) std::swap(s0, s1);
        lo = std::max(lo, s0);
        hi = std::min(hi, s1);
        return true;
    }
};

// Sets bits lo..hi (pixel x, clamped) of a row mask in the bitmap layout,
// and widens [first, last) to the bytes it touched.
void set_span(unsigned char *mask, int width, double lo, double hi, std::size_t &first, std::size_t &last) {
    const int x0 = std::max(0, static_cast<int>(std::ceil(lo))), x1 = std::min(width - 1, static_cast<int>(std::floor(hi)));
    if (x0 > x1) return;
    first = std::min(first, static_cast<std::size_t>(x0 >> 3));
    last = std::max(last, static_cast<std::size_t>(x1 >> 3) + 1);
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
    Array<Prepared> order;
    Array<int> active;
    if (!order.reserve(capsules.size())) return false;
    for (const Capsule &c : capsules) order.push(Prepared(c));
    std::stable_sort(order.begin(), order.end(), [](const Prepared &x, const Prepared &y) { return x.top < y.top; });
    // Masks of rows y-1, y, y+1 (a ring of three, each with the bytes set
    // in it, so that clearing it costs what setting it did) and a white row.
    Array<unsigned char> masks, white;
    if (!masks.resize(3 * bytes, 0) || !white.resize(bytes, 0)) return false;
    std::size_t first[3] = {0, 0, 0}, last[3] = {0, 0, 0};
    std::size_t next = 0;
    auto slot = [](int y) { return static_cast<std::size_t>((y % 3 + 3) % 3); };
    auto mask_of = [&](int y) -> unsigned char * { return masks.data() + slot(y) * bytes; };
    auto ink_row = [&](int y) -> const unsigned char * { return y >= 0 && y < height ? ink.row(y) : white.data(); };
    auto build = [&](int y) -> bool {
        unsigned char *m = mask_of(y);
        std::size_t &f = first[slot(y)], &l = last[slot(y)];
        if (f < l) std::fill(m + f, m + l, 0);
        f = bytes;
        l = 0;
        if (y >= height) return true;
        while (next < order.size() && order[next].top <= y + 0.5)
            if (!active.push(static_cast<int>(next++))) return false;
        std::size_t kept = 0;
        for (std::size_t k = 0; k < active.size(); ++k) {
            const Prepared &c = order[std::size_t(active[k])];
            if (c.bottom < y - 0.5) continue;  // done with this capsule
            active[kept++] = active[k];
            double lo, hi;
            c.row(y, lo, hi);
            if (lo <= hi) set_span(m, width, lo, hi, f, l);
        }
        active.resize(kept);
        return true;
    };
    if (!build(0)) return false;
    for (int y = 0; y < height; ++y) {
        if (!build(y + 1)) return false;
        rowstart[std::size_t(y)] = loose.size();
        const unsigned char *row = ink.row(y), *m = mask_of(y);
        for (std::size_t b = 0; b < bytes; ++b) {
            // Most of a page is white: eight bytes at a time until some ink.
            if ((b & 7) == 0 && b + 8 <= bytes) {
                std::uint64_t chunk;
                std::memcpy(&chunk, row + b, 8);
                if (!chunk) {
                    b += 7;
                    continue;
                }
            }
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
