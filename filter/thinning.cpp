// Thinning sub-cycles, anchors and dirty tracking (see thinning.h).
#include "thinning.h"

#include <algorithm>
#include <cstring>

#include "bitplane.h"

namespace qorfil {

static_assert(kReachRows <= kGuardRows, "the anchor window must stay inside the guard rows");
static_assert(kAnchorReach < 64, "the anchor window spans at most one word to each side");

// Only words with a black pixel can lose one, and a white word stays white
// (the one change that sets pixels, the block breaking, wakes its words
// itself), so the white words are left out from the start.
template <class Plane> void Thinner<Plane>::mark_all() {
    if (!tracked()) return;
    // As if woken by the sub-cycle before: evaluated by the next four.
    const int slot = (cycle_ + kWakeSlots - 1) % kWakeSlots;
    bands_.run([&](int band) {
        for (int y = bands_.begin(band); y < bands_.end(band); ++y) {
            for (int w = 0; w < kWakeSlots; ++w) std::memset(wake_row(w, y), 0, (std::size_t)rowbits_ * sizeof(Word));
            Word *m = wake_row(slot, y);
            const typename Plane::Row row = img_.row(y);
            Word any = 0;
            for (int k = 0; k < nw_; ++k)
                if (row.at(k)) m[k >> 6] |= 1ull << (k & 63);
            for (int j = 0; j < rowbits_; ++j) any |= m[j];
            act_.rowuntil[y] = any ? cycle_ + 3 : cycle_ - 1;
        }
    });
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

// Pixels of word (y, k) of the document that end a line one pixel wide and
// at least two long, with no solid ink (a pixel whose eight neighbours are
// all black) within three pixels: exactly one black neighbour, which has at
// most two.  A pixel stuck to a ragged border has a neighbour with more; a
// longer burr still has the stroke's solid ink close by.
template <class Plane> Word Thinner<Plane>::document_tips(int y, int k) const {
    const ByteRowPlane doc(const_cast<unsigned char *>(doc_), img_.width(), height_, doc_bpl_);
    const Word tail = last_word_mask(img_.width());
    // A window of words around (y, k): rows y-4 .. y+4, words k-4 .. k+4.
    constexpr int R = 4, N = 2 * R + 1;
    struct Window {
        Word w[N][N] = {};
        // Row r of the window as a plane row (words outside read white).
        struct Row {
            const Word *p;
            Word at(int kk) const { return kk >= 0 && kk < N ? p[kk] : 0; }
        };
        Row row(int r) const { return {w[r]}; }
    } pixels, light;
    for (int r = 0; r < N; ++r)
        for (int c = 0; c < N; ++c) {
            const int kk = k + c - R;
            const Word v = doc.row(y + r - R).at(kk);
            pixels.w[r][c] = kk == nw_ - 1 ? v & tail : v;
        }
    auto neighbours = [](const Window &win, int r, int c) { return gather(win.row(r - 1), win.row(r), win.row(r + 1), c); };
    const Neighbours b = neighbours(pixels, R, R);
    Word tips = b.c & count_neighbours(b).ge1 & ~count_neighbours(b).ge2;
    if (!tips) return 0;
    // Solid pixels within Chebyshev distance 3: rows y-3 .. y+3, spread
    // three bits either way (from the neighbour words too).
    Word near = 0;
    for (int r = 1; r < N - 1; ++r) {
        Word row[3];
        for (int c = R - 1; c <= R + 1; ++c) {
            const Neighbours nb = neighbours(pixels, r, c);
            row[c - (R - 1)] = nb.c & nb.n & nb.s & nb.e & nb.w & nb.ne & nb.nw & nb.se & nb.sw;
        }
        Word spread = row[1];
        for (int d = 1; d <= 3; ++d)
            spread |= (row[1] << d) | (row[2] >> (64 - d)) | (row[1] >> d) | (row[0] << (64 - d));
        near |= spread;
    }
    tips &= ~near;
    if (!tips) return 0;
    // Pixels with at most two black neighbours, around word (y, k).
    for (int r = R - 1; r <= R + 1; ++r)
        for (int c = R - 1; c <= R + 1; ++c) {
            const Neighbours nb = neighbours(pixels, r, c);
            light.w[r][c] = nb.c & ~count_neighbours(nb).ge3;
        }
    const Neighbours l = neighbours(light, R, R);
    const Word thin_neighbour = (b.n & l.n) | (b.s & l.s) | (b.e & l.e) | (b.w & l.w) | (b.ne & l.ne) |
                                (b.nw & l.nw) | (b.se & l.se) | (b.sw & l.sw);
    return tips & thin_neighbour;
}

template <class Plane>
template <int S>
Word Thinner<Plane>::removable(const typename Plane::Row &up, const typename Plane::Row &mid,
                               const typename Plane::Row &down, int y, int k) const {
    const Neighbours b = gather(up, mid, down, k);
    Word open, endside;  // white neighbour on side S; end directions of S
    switch (S) {
    case kNorth: open = ~b.n; endside = b.s | b.se; break;
    case kSouth: open = ~b.s; endside = b.n | b.nw; break;
    case kEast: open = ~b.e; endside = b.w | b.sw; break;
    default: open = ~b.w; endside = b.e | b.ne; break;
    }
    // Every removable pixel, end pixels included, is white on side S.
    if (!(b.c & open)) return 0;
    const Counts c = count_neighbours(b);
    const Word body = b.c & simple_pixels(b) & c.ge2 & open;
    Word ends = keep_ends_ ? 0 : b.c & c.ge1 & ~c.ge2 & endside;
    if (ends && doc_) ends &= ~document_tips(y, k);
    return ends ? body | unanchored(ends, y, k) : body;
}

// Wakes, in wake slot `slot`, the words of `changed` (one bit per word of
// row y) in rows y-reach .. y+reach, with the word to the left of those in
// `leftedge` and the word to the right of those in `rightedge`.
template <class Plane>
void Thinner<Plane>::wake_rows(int y, int reach, const Word *changed, const Word *leftedge,
                               const Word *rightedge, int slot, int last, int band) {
    Word *spread = changed_row(band) + 3 * (std::size_t)rowbits_;
    for (int j = 0; j < rowbits_; ++j) {
        // Word k is bit k: the left neighbour word is one bit lower.
        spread[j] = changed[j] | (leftedge[j] >> 1) | (rightedge[j] << 1) |
                    (j + 1 < rowbits_ ? leftedge[j + 1] << 63 : 0) | (j > 0 ? rightedge[j - 1] >> 63 : 0);
    }
    if (nw_ & 63) spread[rowbits_ - 1] &= (1ull << (nw_ & 63)) - 1;
    const int y0 = y - reach < 0 ? 0 : y - reach;
    const int y1 = y + reach >= height_ ? height_ - 1 : y + reach;
    for (int r = y0; r <= y1; ++r) {
        Word *w = wake_row(slot, r);
        for (int j = 0; j < rowbits_; ++j) w[j] |= spread[j];
        if (act_.rowuntil[r] < last) act_.rowuntil[r] = last;
    }
}

// Removal mask of row y into its ring slot, for the words of `active` (one
// bit per word) or for every word when it is null.  True if any removal.
template <class Plane>
template <int S>
bool Thinner<Plane>::compute_row(int y, int ringslot, const Word *active) {
    const typename Plane::Row up = img_.row(y - 1), mid = img_.row(y), down = img_.row(y + 1);
    const typename Plane::Row slot = ring_.row(ringslot);
    Word any = 0;
    auto one = [&](int k) {
        const Word d = mid.at(k) ? removable<S>(up, mid, down, y, k) : 0;
        slot.put(k, d);
        any |= d;
    };
    if (!active) {
        for (int k = 0; k < nw_; ++k) one(k);
    } else {
        for (int j = 0; j < rowbits_; ++j)
            for (Word bits = active[j]; bits; bits &= bits - 1) one(64 * j + __builtin_ctzll(bits));
    }
    return any != 0;
}

// Applies the ring slot of row y to the raster (over the words evaluated for
// it) and wakes what the changes can affect.  True if anything changed.
template <class Plane> bool Thinner<Plane>::apply_row(int y, int ringslot, const Word *evaluated, int band) {
    const typename Plane::Row slot = ring_.row(ringslot), row = img_.row(y);
    // A removal concerns the pixels next to it: at a word's end, the
    // neighbour word's too.
    constexpr Word kLeftEnd = 1ull << 63, kRightEnd = 1;
    Word *changed = tracked() ? changed_row(band) : nullptr;
    Word *leftedge = changed ? changed + rowbits_ : nullptr, *rightedge = changed ? changed + 2 * rowbits_ : nullptr;
    if (changed) std::memset(changed, 0, 3 * (std::size_t)rowbits_ * sizeof(Word));
    bool any = false;
    auto one = [&](int k) {
        const Word d = slot.at(k);
        if (!d) return;
        row.put(k, row.at(k) & ~d);
        any = true;
        if (!changed) return;
        const Word bit = 1ull << (k & 63);
        changed[k >> 6] |= bit;
        if (d & kLeftEnd) leftedge[k >> 6] |= bit;
        if (d & kRightEnd) rightedge[k >> 6] |= bit;
    };
    if (!evaluated) {
        for (int k = 0; k < nw_; ++k) one(k);
    } else {
        for (int j = 0; j < rowbits_; ++j)
            for (Word bits = evaluated[j]; bits; bits &= bits - 1) one(64 * j + __builtin_ctzll(bits));
    }
    if (any && changed) wake_rows(y, 1, changed, leftedge, rightedge, cycle_ % kWakeSlots, cycle_ + 4, band);
    return any;
}

// The wake-ups of sub-cycle cycle_ - kWakeSlots expire when sub-cycle
// cycle_ starts.
template <class Plane> void Thinner<Plane>::expire_wakes() {
    std::memset(wake_row(cycle_ % kWakeSlots, 0), 0, (std::size_t)height_ * (std::size_t)rowbits_ * sizeof(Word));
}

// The words of row y that the running sub-cycle evaluates, into `active`.
template <class Plane> Word *Thinner<Plane>::active_words(int y, Word *active) const {
    for (int j = 0; j < rowbits_; ++j) {
        Word a = 0;
        for (int w = 0; w < kWakeSlots; ++w) a |= wake_row(w, y)[j];
        active[j] = a;
    }
    return active;
}

template <class Plane> typename Thinner<Plane>::Span Thinner<Plane>::span(int band) const {
    Span s;
    s.begin = bands_.begin(band);
    s.end = bands_.end(band);
    // Rows within kReachRows of a border with another band wait.
    s.lo = band > 0 ? std::min(s.begin + kReachRows, s.end) : s.begin;
    s.hi = band + 1 < bands_.count() ? std::max(s.end - kReachRows, s.lo) : s.end;
    return s;
}

template <class Plane> int Thinner<Plane>::ring_slot(int band, const Span &s, int y) const {
    const int base = band * kBandRingRows;
    if (y < s.lo) return base + kRingRows + (y - s.begin);
    if (y >= s.hi) return base + kRingRows + kReachRows + (y - s.hi);
    return base + (y - s.lo) % (height_ < kRingRows ? height_ : kRingRows);
}

// One band of a sub-cycle: the masks of its rows from the raster as it was
// before the sub-cycle; those of rows lo .. hi-1 applied kLag rows later,
// when no mask still to be computed in the band reads that row (the other
// bands read none of these rows).  True if anything changed.
template <class Plane> template <int S> bool Thinner<Plane>::run_band(int band) {
    const bool track = tracked();
    const Span s = span(band);
    bool changed = false;
    for (int y = s.begin; y < s.end + kLag; ++y) {
        if (y < s.end) {
            // Removal mask of row y from the rows y-kReachRows .. y+kReachRows,
            // none of which has been changed yet in this sub-cycle.
            const int slot = ring_slot(band, s, y);
            bool any = false;
            if (!track) any = compute_row<S>(y, slot, nullptr);
            else if (act_.rowuntil[y] >= cycle_)
                any = compute_row<S>(y, slot, active_words(y, evaluated_row(band, slot)));
            pending_[slot] = any;
        }
        const int ya = y - kLag;
        if (ya >= s.lo && ya < s.hi) {
            const int slot = ring_slot(band, s, ya);
            if (pending_[slot]) changed |= apply_row(ya, slot, track ? evaluated_row(band, slot) : nullptr, band);
        }
    }
    return changed;
}

template <class Plane> template <int S> bool Thinner<Plane>::subcycle() {
    if (tracked()) expire_wakes();
    bool changed[kMaxBands] = {};
    bands_.run([&](int band) { changed[band] = run_band<S>(band); });
    // The rows at the band borders, on this thread.
    bool any = false;
    for (int band = 0; band < bands_.count(); ++band) {
        any |= changed[band];
        const Span s = span(band);
        for (int y = s.begin; y < s.end; ++y) {
            if (y == s.lo) y = s.hi;
            if (y >= s.end) break;
            const int slot = ring_slot(band, s, y);
            if (pending_[slot]) any |= apply_row(y, slot, evaluated_row(band, slot), 0);
        }
    }
    ++cycle_;
    return any;
}

template <class Plane> void Thinner<Plane>::run(long max_iterations) {
    for (long it = 0; it < max_iterations; ++it) {
        bool changed = subcycle<kNorth>();
        changed |= subcycle<kSouth>();
        changed |= subcycle<kEast>();
        changed |= subcycle<kWest>();
        if (!changed) break;
    }
}

template class Thinner<WordPlane>;
template class Thinner<ByteRowPlane>;

}  // namespace qorfil
