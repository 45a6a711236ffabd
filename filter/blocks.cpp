// 2x2 block breaking (see blocks.h).  Blocks are rare in a skeleton, so the
// search is word-parallel and the repair works pixel by pixel.
#include "blocks.h"

#include "bitplane.h"
#include "pixels.h"

namespace qorfil {

namespace {

template <class Plane> class PixelView : public Pixels<Plane> {
public:
    using Pixels<Plane>::Pixels;
    using Pixels<Plane>::get;
    using Pixels<Plane>::set;
    using Pixels<Plane>::inside;

    // The pixel's neighbourhood as words with the pixel in bit 0.
    Neighbours around(int x, int y) const {
        Neighbours b;
        b.c = get(x, y);
        b.n = get(x, y - 1);
        b.s = get(x, y + 1);
        b.e = get(x + 1, y);
        b.w = get(x - 1, y);
        b.ne = get(x + 1, y - 1);
        b.nw = get(x - 1, y - 1);
        b.se = get(x + 1, y + 1);
        b.sw = get(x - 1, y + 1);
        return b;
    }
    bool simple(int x, int y) const { return simple_pixels(around(x, y)) & 1; }
    bool block_at(int x, int y) const {  // 2x2 square with top left (x, y)
        return get(x, y) && get(x + 1, y) && get(x, y + 1) && get(x + 1, y + 1);
    }
    bool any_block_touching(int x, int y) const {
        return block_at(x - 1, y - 1) || block_at(x, y - 1) || block_at(x - 1, y) || block_at(x, y);
    }
};

// Tries to break the block with top left (x, y): for each corner, for each
// of its two outward 4-neighbours o, set o when that is a simple change,
// then clear the corner when that is simple too and no block remains near.
template <class Plane> bool break_one(const PixelView<Plane> &v, int x, int y) {
    static const int corner[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (const auto &c : corner) {
        const int cx = x + c[0], cy = y + c[1];
        const int out[2][2] = {{cx, c[1] ? cy + 1 : cy - 1}, {c[0] ? cx + 1 : cx - 1, cy}};
        for (const auto &o : out) {
            if (!v.inside(o[0], o[1]) || v.get(o[0], o[1]) || !v.simple(o[0], o[1])) continue;
            v.set(o[0], o[1], true);
            if (v.simple(cx, cy)) {
                v.set(cx, cy, false);
                if (!v.any_block_touching(o[0], o[1]) && !v.block_at(x, y)) return true;
                v.set(cx, cy, true);
            }
            v.set(o[0], o[1], false);
        }
    }
    return false;
}

}  // namespace

template <class Plane> long break_blocks(Plane &img, Thinner<Plane> &thinner) {
    const PixelView<Plane> v(img);
    const int h = img.height(), nw = img.words();
    long changes = 0;
    for (int y = 0; y + 1 < h; ++y) {
        const typename Plane::Row mid = img.row(y), down = img.row(y + 1);
        for (int k = 0; k < nw; ++k) {
            const Word a = mid.at(k) & down.at(k);
            if (!a) continue;
            // Top left corners: pixel and its east neighbour black in both rows.
            Word tl = a & from_right(a, mid.at(k + 1) & down.at(k + 1));
            while (tl) {
                const int bit = 63 - __builtin_clzll(tl);
                tl &= ~(1ull << bit);
                const int x = 64 * k + (63 - bit);
                if (v.block_at(x, y) && break_one(v, x, y)) {
                    ++changes;
                    thinner.wake(y, k);
                    thinner.wake(y, (x + 1) >> 6);
                    if (x > 0) thinner.wake(y, (x - 1) >> 6);
                }
            }
        }
    }
    return changes;
}

template long break_blocks<WordPlane>(WordPlane &, Thinner<WordPlane> &);
template long break_blocks<ByteRowPlane>(ByteRowPlane &, Thinner<ByteRowPlane> &);

}  // namespace qorfil
