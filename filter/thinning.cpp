// Thinning sub-cycles, anchors and dirty tracking (see thinning.h).
#include "thinning.h"

#include <cstring>

#include "bitplane.h"

namespace qorfil {

static_assert(kReachRows <= kGuardRows, "the anchor window must stay inside the guard rows");
static_assert(kAnchorReach < 64, "the anchor window spans at most one word to each side");

template <class Plane> void Thinner<Plane>::mark_all() {
    if (!tracked()) return;
    const std::size_t words = (std::size_t)height_ * (std::size_t)nw_;
    for (std::size_t i = 0; i < words; ++i) act_.until[i] = cycle_ + 3;
    for (int y = 0; y < height_; ++y) act_.rowuntil[y] = cycle_ + 3;
}

// Pixels of word (y, k) that have three or more black neighbours.
template <class Plane> Word Thinner<Plane>::heavy(int y, int k) const {
    const typename Plane::Row mid = img_.row(y);
    if (!mid.at(k)) return 0;
    const Neighbours b = gather(img_.row(y - 1), mid, img_.row(y + 1), k);
    return b.c & count_neighbours(b).ge3;
}

// The pixels of `ends` (in word (y, k)) with a heavy pixel within Chebyshev
// distance kAnchorReach: those are not anchored.  Rows are looked at from
// the middle outwards, and the search stops once every end has one.
template <class Plane> Word Thinner<Plane>::unanchored(Word ends, int y, int k) const {
    Word near = 0;
    for (int i = 0; i <= 2 * kAnchorReach; ++i) {
        const int r = y + ((i & 1) ? (i + 1) / 2 : -(i / 2));
        const Word hl = heavy(r, k - 1), hc = heavy(r, k), hr = heavy(r, k + 1);
        Word spread = hc;
        for (int d = 1; d <= kAnchorReach; ++d)
            spread |= (hc << d) | (hr >> (64 - d)) | (hc >> d) | (hl << (64 - d));
        near |= spread;
        if (!(ends & ~near)) break;
    }
    return ends & near;
}

template <class Plane>
template <int S>
Word Thinner<Plane>::removable(const typename Plane::Row &up, const typename Plane::Row &mid,
                               const typename Plane::Row &down, int y, int k) const {
    const Neighbours b = gather(up, mid, down, k);
    if (!(b.c & ~(b.n & b.s & b.e & b.w))) return 0;  // no pixel on a border
    const Counts c = count_neighbours(b);
    Word open, endside;  // white neighbour on side S; end directions of S
    switch (S) {
    case kNorth: open = ~b.n; endside = b.s | b.se; break;
    case kSouth: open = ~b.s; endside = b.n | b.nw; break;
    case kEast: open = ~b.e; endside = b.w | b.sw; break;
    default: open = ~b.w; endside = b.e | b.ne; break;
    }
    const Word body = b.c & simple_pixels(b) & c.ge2 & open;
    const Word ends = keep_ends_ ? 0 : b.c & c.ge1 & ~c.ge2 & endside;
    return ends ? body | unanchored(ends, y, k) : body;
}

template <class Plane> void Thinner<Plane>::wake_until(int y, int k, int last) {
    const int y0 = y - kReachRows < 0 ? 0 : y - kReachRows;
    const int y1 = y + kReachRows >= height_ ? height_ - 1 : y + kReachRows;
    const int k0 = k - 1 < 0 ? 0 : k - 1, k1 = k + 1 >= nw_ ? nw_ - 1 : k + 1;
    for (int r = y0; r <= y1; ++r) {
        int *u = act_.until + (std::size_t)r * (std::size_t)nw_;
        for (int j = k0; j <= k1; ++j)
            if (u[j] < last) u[j] = last;
        if (act_.rowuntil[r] < last) act_.rowuntil[r] = last;
    }
}

template <class Plane> template <int S> bool Thinner<Plane>::subcycle() {
    const bool track = tracked();
    const int slots = height_ < kLag + 1 ? height_ : kLag + 1;
    bool pending[kLag + 1] = {};
    bool changed = false;
    for (int y = 0; y < height_ + kLag; ++y) {
        if (y < height_) {
            // Removal mask of row y from the rows y-kReachRows .. y+kReachRows,
            // none of which has been changed yet in this sub-cycle.
            bool any = false;
            if (!track || act_.rowuntil[y] >= cycle_) {
                const int *until = track ? act_.until + (std::size_t)y * (std::size_t)nw_ : nullptr;
                const typename Plane::Row up = img_.row(y - 1), mid = img_.row(y), down = img_.row(y + 1);
                const typename Plane::Row slot = ring_.row(y % slots);
                for (int k = 0; k < nw_; ++k) {
                    Word d = 0;
                    if ((!until || until[k] >= cycle_) && mid.at(k)) d = removable<S>(up, mid, down, y, k);
                    slot.put(k, d);
                    any |= d != 0;
                }
            }
            pending[y % slots] = any;
        }
        // Apply the mask of row y - kLag: no mask still to be computed reads it.
        const int ya = y - kLag;
        if (ya < 0 || !pending[ya % slots]) continue;
        const typename Plane::Row slot = ring_.row(ya % slots), row = img_.row(ya);
        for (int k = 0; k < nw_; ++k) {
            const Word d = slot.at(k);
            if (!d) continue;
            row.put(k, row.at(k) & ~d);
            changed = true;
            if (track) wake_until(ya, k, cycle_ + 4);
        }
    }
    ++cycle_;
    return changed;
}

template class Thinner<WordPlane>;
template class Thinner<ByteRowPlane>;

}  // namespace qorfil
