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
    // Pixel x is bit 0x80 >> (x & 7) of byte x >> 3: the first byte takes
    // its bits from x0 on, the last its bits up to x1, those between all.
    const int b0 = x0 >> 3, b1 = x1 >> 3;
    const unsigned char head = static_cast<unsigned char>(0xFF >> (x0 & 7));
    const unsigned char tail = static_cast<unsigned char>(0xFF << (7 - (x1 & 7)));
    if (b0 == b1) {
        mask[b0] |= head & tail;
        return;
    }
    mask[b0] |= head;
    for (int b = b0 + 1; b < b1; ++b) mask[b] = 0xFF;
    mask[b1] |= tail;
}

bool bit(const unsigned char *row, int x, int width) {
    return x >= 0 && x < width && ((row[x >> 3] >> (7 - (x & 7))) & 1);
}

// Rows a band must have before it is worth a thread of its own.
constexpr int kRowsPerBand = 512;
// A band is given room for one loose pixel in this many of its pixels (a
// drawing has about one in three thousand); more is found on the calling
// thread.
constexpr std::size_t kLoosePerPixel = 512;

// The working memory of one band of rows, obtained on the calling thread.
struct Band {
    int from = 0, to = 0;          // rows from .. to - 1
    Array<unsigned char> masks;    // the ring of three row masks
    Array<int> active;             // room for every capsule
    Array<LoosePixel> loose;       // its loose pixels, in raster order
    int stopped = 0;               // first row not swept (to when done)
};

// Sweeps rows band.from .. band.to - 1 from band.stopped on, with the
// capsules taken in `order` (their indices by first row).  Without `grow` the loose pixels go
// only into the room `band.loose` has: a row that does not fit is left
// out whole and the sweep stops there (band.stopped), for the calling
// thread to finish.  rowstart[y] is set to the row's first pixel in the
// band's own array.  False when memory runs out (only with `grow`).
bool sweep_band(const Ink &ink, const Array<Prepared> &capsules, const Array<int> &order, const unsigned char *white,
                Band &band, Array<std::size_t> &rowstart, bool grow) {
    const int width = ink.width(), height = ink.height();
    const std::size_t bytes = (static_cast<std::size_t>(width) + 7) / 8;
    const int y0 = band.stopped;
    // The capsules still reaching row y0 - 1 (the row above the first is
    // needed to tell whether a loose pixel touches explained ink).
    std::size_t next = 0;
    band.active.clear();
    while (next < order.size() && capsules[std::size_t(order[next])].top <= y0 - 0.5) {
        if (capsules[std::size_t(order[next])].bottom >= y0 - 1.5) band.active.put(order[next]);
        ++next;
    }
    std::fill(band.masks.begin(), band.masks.end(), 0);
    std::size_t first[3] = {0, 0, 0}, last[3] = {0, 0, 0};
    auto slot = [](int y) { return static_cast<std::size_t>((y % 3 + 3) % 3); };
    auto mask_of = [&](int y) -> unsigned char * { return band.masks.data() + slot(y) * bytes; };
    auto ink_row = [&](int y) -> const unsigned char * { return y >= 0 && y < height ? ink.row(y) : white; };
    // The mask of row y: every active capsule's interval on it.  The ring
    // slot remembers the bytes it set, so clearing it costs what setting
    // it did.
    auto build = [&](int y) {
        unsigned char *m = mask_of(y);
        std::size_t &f = first[slot(y)], &l = last[slot(y)];
        if (f < l) std::fill(m + f, m + l, 0);
        f = bytes;
        l = 0;
        if (y >= height) return;
        while (next < order.size() && capsules[std::size_t(order[next])].top <= y + 0.5) band.active.put(order[next++]);
        std::size_t kept = 0;
        for (std::size_t k = 0; k < band.active.size(); ++k) {
            const Prepared &c = capsules[std::size_t(band.active[k])];
            if (c.bottom < y - 0.5) continue;  // done with this capsule
            band.active[kept++] = band.active[k];
            double lo, hi;
            c.row(y, lo, hi);
            if (lo <= hi) set_span(m, width, lo, hi, f, l);
        }
        band.active.resize(kept);
    };
    if (y0 > 0) build(y0 - 1);
    build(y0);
    for (int y = y0; y < band.to; ++y) {
        build(y + 1);
        const std::size_t begin = band.loose.size();
        rowstart[std::size_t(y)] = begin;
        const unsigned char *row = ink.row(y), *m = mask_of(y);
        for (std::size_t b = 0; b < bytes; ++b) {
            // Most of a page is white and most ink explained: eight bytes at
            // a time until some ink outside the mask.
            if ((b & 7) == 0 && b + 8 <= bytes) {
                std::uint64_t ink8, mask8;
                std::memcpy(&ink8, row + b, 8);
                std::memcpy(&mask8, m + b, 8);
                if (!(ink8 & ~mask8)) {
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
                    const unsigned char *ir = ink_row(y + dy), *mr = (y + dy < 0 || y + dy >= height) ? white : mask_of(y + dy);
                    for (int dx = -1; dx <= 1 && !touches; ++dx)
                        touches = (dx || dy) && bit(ir, x + dx, width) && bit(mr, x + dx, width);
                }
                const LoosePixel p{x, y, touches};
                if (grow ? !band.loose.push(p) : !band.loose.put(p)) {
                    if (grow) return false;
                    band.loose.resize(begin);
                    band.stopped = y;
                    return true;
                }
            }
        }
    }
    band.stopped = band.to;
    return true;
}

}  // namespace

bool find_unexplained(const Ink &ink, const Array<Capsule> &capsules, Array<LoosePixel> &loose,
                      Array<std::size_t> &rowstart, int threads, Chore *meanwhile) {
    const int width = ink.width(), height = ink.height();
    loose.clear();
    rowstart.clear();
    if (!rowstart.resize(static_cast<std::size_t>(height) + 1, 0)) return false;
    if (width < 1 || height < 1 || !ink.row(0)) return !meanwhile || meanwhile->run();
    const std::size_t bytes = (static_cast<std::size_t>(width) + 7) / 8;
    // Capsules by the first row they reach (their index breaks ties, so the
    // order is one whatever the sort).
    struct Key {
        double top;
        int index;
    };
    Array<Key> keys;
    Array<Prepared> prepared;
    Array<int> order;
    Array<unsigned char> white;
    if (!keys.reserve(capsules.size()) || !prepared.reserve(capsules.size()) || !order.reserve(capsules.size()) ||
        !white.resize(bytes, 0))
        return false;
    for (std::size_t i = 0; i < capsules.size(); ++i) {
        prepared.push(Prepared(capsules[i]));
        keys.push({prepared.back().top, static_cast<int>(i)});
    }
    std::sort(keys.begin(), keys.end(),
              [](const Key &x, const Key &y) { return x.top != y.top ? x.top < y.top : x.index < y.index; });
    for (const Key &k : keys) order.push(k.index);
    // Bands of rows, each with its memory; a band whose loose pixels
    // outgrow the room it was given is finished by the calling thread.
    const int parts = part_count(static_cast<std::size_t>(height), kRowsPerBand, threads);
    Band bands[kMaxWorkers];
    const std::size_t room = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) / kLoosePerPixel /
                                 static_cast<std::size_t>(parts) + 256;
    for (int k = 0; k < parts; ++k) {
        Band &b = bands[k];
        b.from = b.stopped = static_cast<int>(part_begin(static_cast<std::size_t>(height), parts, k));
        b.to = static_cast<int>(part_begin(static_cast<std::size_t>(height), parts, k + 1));
        if (!b.masks.resize(3 * bytes, 0) || !b.active.reserve(order.size()) || (parts > 1 && !b.loose.reserve(room)))
            return false;
    }
    if (parts == 1) {
        if (!sweep_band(ink, prepared, order, white.data(), bands[0], rowstart, true)) return false;
        loose.swap(bands[0].loose);
        if (meanwhile && !meanwhile->run()) return false;
    } else {
        bool done = true;
        auto sweep = [&](int k) { sweep_band(ink, prepared, order, white.data(), bands[k], rowstart, false); };
        if (meanwhile) run_threads(0, parts, sweep, [&] { done = meanwhile->run(); });
        else run_parts(parts, sweep);
        if (!done) return false;
        std::size_t total = 0;
        for (int k = 0; k < parts; ++k) {
            if (bands[k].stopped < bands[k].to && !sweep_band(ink, prepared, order, white.data(), bands[k], rowstart, true))
                return false;
            total += bands[k].loose.size();
        }
        // The bands' pixels one after the other, and the rows' starts moved
        // with them.
        if (!loose.reserve(total)) return false;
        for (int k = 0; k < parts; ++k) {
            const std::size_t offset = loose.size();
            for (int y = bands[k].from; y < bands[k].to; ++y) rowstart[std::size_t(y)] += offset;
            for (const LoosePixel &p : bands[k].loose) loose.push(p);
        }
    }
    rowstart[std::size_t(height)] = loose.size();
    return true;
}

}  // namespace ktv::refine
