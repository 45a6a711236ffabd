// Thinning sub-cycles, anchors and dirty tracking (see thinning.h).
#include "thinning.h"

#include <cstring>

#include "bitplane.h"

namespace qorfil {

static_assert(kReachRows <= kGuardRows, "the anchor window must stay inside the guard rows");
static_assert(kAnchorReach < 64, "the anchor window spans at most one word to each side");

template <class Plane> void Thinner<Plane>::mark_all() {
    if (!tracked()) return;
    std::memset(act_.countdown, kFresh, (std::size_t)height_ * (std::size_t)nw_);
    std::memset(act_.rowlive, 1, (std::size_t)height_);
}

// Pixels of word (y, k) that have three or more black neighbours.
template <class Plane> Word Thinner<Plane>::heavy(int y, int k) const {
    const typename Plane::Row mid = img_.row(y);
    if (!mid.at(k)) return 0;
    const Neighbours b = gather(img_.row(y - 1), mid, img_.row(y + 1), k);
    return b.c & count_neighbours(b).ge3;
}

// Pixels of word (y, k) with no heavy pixel within Chebyshev distance
// kAnchorReach.
template <class Plane> Word Thinner<Plane>::anchored(int y, int k) const {
    Word near = 0;
    for (int r = y - kAnchorReach; r <= y + kAnchorReach; ++r) {
        const Word hl = heavy(r, k - 1), hc = heavy(r, k), hr = heavy(r, k + 1);
        Word spread = hc;
        for (int d = 1; d <= kAnchorReach; ++d)
            spread |= (hc << d) | (hr >> (64 - d)) | (hc >> d) | (hl << (64 - d));
        near |= spread;
    }
    return ~near;
}

template <class Plane>
template <int S>
Word Thinner<Plane>::removable(const typename Plane::Row &up, const typename Plane::Row &mid,
                               const typename Plane::Row &down, int y, int k) const {
    const Neighbours b = gather(up, mid, down, k);
    const Counts c = count_neighbours(b);
    Word open, endside;  // white neighbour on side S; end directions of S
    switch (S) {
    case kNorth: open = ~b.n; endside = b.s | b.se; break;
    case kSouth: open = ~b.s; endside = b.n | b.nw; break;
    case kEast: open = ~b.e; endside = b.w | b.sw; break;
    default: open = ~b.w; endside = b.e | b.ne; break;
    }
    const Word body = b.c & simple_pixels(b) & c.ge2 & open;
    Word ends = keep_ends_ ? 0 : b.c & c.ge1 & ~c.ge2 & endside;
    if (ends) ends &= ~anchored(y, k);
    return body | ends;
}

template <class Plane> void Thinner<Plane>::refresh_around(int y, int k) {
    const int y0 = y - kReachRows < 0 ? 0 : y - kReachRows;
    const int y1 = y + kReachRows >= height_ ? height_ - 1 : y + kReachRows;
    const int k0 = k - 1 < 0 ? 0 : k - 1, k1 = k + 1 >= nw_ ? nw_ - 1 : k + 1;
    for (int r = y0; r <= y1; ++r) {
        unsigned char *cd = act_.countdown + (std::size_t)r * (std::size_t)nw_;
        for (int j = k0; j <= k1; ++j) cd[j] = (unsigned char)((cd[j] & kChanged) | kFresh);
        act_.rowlive[r] = 1;
    }
}

template <class Plane> template <int S> bool Thinner<Plane>::subcycle() {
    const bool track = tracked();
    // Pass 1: removal masks from the unchanged raster (parallel semantics).
    for (int y = 0; y < height_; ++y) {
        if (track && !act_.rowlive[y]) continue;
        const unsigned char *cd = track ? act_.countdown + (std::size_t)y * (std::size_t)nw_ : nullptr;
        const typename Plane::Row up = img_.row(y - 1), mid = img_.row(y), down = img_.row(y + 1);
        const typename Plane::Row dr = del_.row(y);
        for (int k = 0; k < nw_; ++k) {
            if ((cd && !cd[k]) || !mid.at(k)) continue;
            dr.put(k, removable<S>(up, mid, down, y, k));
        }
    }
    // Pass 2: apply them, count the evaluation down, flag changed words.
    bool changed = false;
    for (int y = 0; y < height_; ++y) {
        if (track && !act_.rowlive[y]) continue;
        unsigned char *cd = track ? act_.countdown + (std::size_t)y * (std::size_t)nw_ : nullptr;
        const typename Plane::Row mid = img_.row(y), dr = del_.row(y);
        bool live = false;
        for (int k = 0; k < nw_; ++k) {
            if (cd && !cd[k]) continue;
            const Word v = mid.at(k);
            const Word d = v ? dr.at(k) : 0;
            if (d) {
                mid.put(k, v & ~d);
                changed = true;
            }
            if (cd) {
                cd[k] = (unsigned char)((d ? kChanged : 0) | ((cd[k] & ~kChanged) - 1));
                live |= cd[k] != 0;
            }
        }
        if (track) act_.rowlive[y] = live;
    }
    // Pass 3: changed words wake their neighbourhood for four sub-cycles.
    if (track && changed) {
        for (int y = 0; y < height_; ++y) {
            if (!act_.rowlive[y]) continue;
            unsigned char *cd = act_.countdown + (std::size_t)y * (std::size_t)nw_;
            for (int k = 0; k < nw_; ++k) {
                if (!(cd[k] & kChanged)) continue;
                cd[k] &= (unsigned char)~kChanged;
                refresh_around(y, k);
            }
        }
    }
    return changed;
}

template class Thinner<WordPlane>;
template class Thinner<ByteRowPlane>;

}  // namespace qorfil
