// Topology-preserving thinning on a word plane.
//
// One iteration peels one layer from each side: four parallel sub-cycles,
// north, south, east, west.  Sub-cycle d removes, all at once,
//   (a) every simple pixel with at least two black neighbours whose
//       d-neighbour is white (a border pixel on side d), and
//   (b) every unanchored end pixel (exactly one black neighbour) whose
//       neighbour lies in the direction set of d:
//          north {S, SE}   south {N, NW}   east {W, SW}   west {E, NE}.
// (a) is the classic directional rule: removing border pixels of one side
// only never deletes both pixels of a two-pixel-wide part.  The end sets in
// (b) cover every direction exactly once per iteration, so a stroke end
// recedes by one pixel per iteration (as fast as its sides), and they never
// contain a direction together with its opposite, so the two pixels of a
// two-pixel component are never removed together.  Otherwise an end pixel's
// neighbour has another neighbour besides it, so it joins two branches, is
// not simple and stays: every removal in (b) is independent of all others.
//
// Anchors (spur control): an end pixel is anchored, and kept for good, when
// no black pixel within Chebyshev distance 3 of it has three or more black
// neighbours, i.e. when it ends a line that is already one pixel thin for a
// few pixels.  The tip of a bump on a still thick stroke is not anchored, so
// the bump wears away with the surface; a real stroke end is anchored as
// soon as the stroke has thinned there (about w/2 from the original end).
// Anchoring only depends on the current raster and is monotone (removing
// pixels can only make it true), so nothing needs to be remembered and
// thinning a skeleton again changes nothing.  The skeleton also keeps the
// tips of the drawing's own one-pixel lines (keep_document_tips): a short
// line ending near a junction, the overshoot of two lines past a corner or
// the arm of a cross, is a stroke end of the drawing, while a burr is only
// uncovered by thinning and is no tip of the document.
//
// At the fixed point every pixel is either not simple or an anchored end:
// lines are one pixel wide and 8-thin (a staircase pixel is simple).  The
// rare 2x2 squares that no single removal can open are broken afterwards
// (blocks.h).
//
// Each sub-cycle is one sweep down the rows: the removal mask of row y is
// computed from the raster as it was before the sub-cycle, kept in a small
// ring of rows, and applied kLag rows later, when no mask still to be
// computed can read that row (the widest read is the anchor window,
// kReachRows rows each side).  So the sub-cycle is parallel in effect but
// needs no second raster and no second sweep.
//
// Dirty tracking: a removal at pixel p changes the neighbourhoods of the
// pixels next to it, and after it only the next four sub-cycles (one per
// side) have to look at them again.  Pixels farther away are affected only
// through the anchor window, and there a removal can only anchor an end,
// never unanchor one: a pixel kept at its last evaluation on a side (not
// removable, or an anchored end) stays kept until its own neighbourhood
// changes.  So a removal wakes its word in the rows y-1 .. y+1, and the
// word beside it when p is a word's first or last pixel.  (Setting a pixel,
// as the block breaking does, can unanchor ends and wakes the whole anchor
// reach.)  Wake-ups are kept as bit masks over the words of each row, one
// mask set per sub-cycle of the last kWakeSlots; a word is evaluated when
// any of them has its bit, rows without any are skipped whole, and the
// masks of a sub-cycle are cleared when they expire.  A word skipped this
// way would have given no removal, and evaluating a word once more does no
// harm, so the tracked run equals an untracked one pixel for pixel.
//
// Bands: a sub-cycle runs on row bands at once, each band computing and
// applying its rows with the lag as above.  A band must not change a row
// that another band still reads, so the rows within kReachRows of a band
// border keep their masks until all bands are done and are applied then,
// on one thread; that also keeps the wake-ups of every row applied inside a
// band within the band.  Wake-ups only ever add bits, in any order, and
// every mask is still computed from the raster as it was before the
// sub-cycle: the result is the same pixel for pixel, whatever the number
// of bands.
#ifndef QORFIL2_THINNING_H
#define QORFIL2_THINNING_H

#include <cstddef>
#include <cstring>

#include "bands.h"
#include "neighbourhood.h"

namespace qorfil {

enum Side { kNorth = 0, kSouth = 1, kEast = 2, kWest = 3 };

// Anchor window radius: an end pixel is anchored when no pixel with three
// or more black neighbours lies within this Chebyshev distance.
constexpr int kAnchorReach = 3;
// Rows on each side whose decisions a change can affect: the anchor window
// plus the neighbourhood of its outermost pixels.
constexpr int kReachRows = kAnchorReach + 1;

// Rows of the ring of pending removal masks (a full plane is not needed).
constexpr int kRingRows = kReachRows + 2;
// Ring rows of one band when there are several: its ring and the masks of
// the rows at its two borders.
constexpr int kBandRingRows = kRingRows + 2 * kReachRows;
constexpr int kWakeSlots = 5;  // the wake-ups of the running sub-cycle and the four before

// Rows the ring plane needs for `bands` bands over `height` rows.
inline int ring_rows(int height, int bands) {
    if (bands > 1) return kBandRingRows * bands;
    return height < kRingRows ? height : kRingRows;
}
// Most bands the thinning can run on with a ring plane of `ringrows` rows.
inline int bands_for_ring(int ringrows) { return ringrows / kBandRingRows > 1 ? ringrows / kBandRingRows : 1; }

// Wake-up masks and scratch for tracked runs; all null for untracked runs.
// rowbits = (words + 63) / 64 mask words per row.
struct Activity {
    Word *wake = nullptr;     // kWakeSlots * height * rowbits: words woken per sub-cycle
    int *rowuntil = nullptr;  // height: last sub-cycle that must look at the row
    // Per band, kBandRingRows + 4 rows of rowbits words: the words evaluated
    // per ring row; the changed words, their edges, spread.
    Word *scratch = nullptr;
    static std::size_t words_needed(int height, int words) {
        const std::size_t rb = ((std::size_t)words + 63) / 64;
        return kWakeSlots * (std::size_t)height * rb + (std::size_t)(kBandRingRows + 4) * kMaxBands * rb;
    }
};

template <class Plane> class Thinner {
public:
    // `img` is thinned in place; `ring` is a plane of the same width and at
    // least ring_rows(height, bands.count()) rows that holds the pending
    // removal masks.  keep_ends: every end pixel is kept as soon as it
    // appears (no spur control).  Untracked runs use one band.
    Thinner(Plane &img, Plane &ring, Activity act, bool keep_ends, const Bands &bands)
        : img_(img), ring_(ring), act_(act), keep_ends_(keep_ends),
          height_(img.height()), nw_(img.words()), rowbits_((nw_ + 63) / 64),
          bands_(act.wake ? bands : Bands(height_, 1)) {}

    // Sets every word with a black pixel to be evaluated by the next four
    // sub-cycles.
    void mark_all();
    // Sets the words that a change at word (y, k) can affect to be evaluated
    // by the next four sub-cycles.
    void wake(int y, int k) {
        if (!tracked()) return;
        Word *mask = changed_row(0);
        std::memset(mask, 0, (std::size_t)rowbits_ * sizeof(Word));
        mask[k >> 6] |= 1ull << (k & 63);
        wake_rows(y, kReachRows, mask, mask, mask, (cycle_ + kWakeSlots - 1) % kWakeSlots, cycle_ + 3, 0);
    }
    // Keeps every end pixel that already ended a line one pixel wide in
    // `document` (the filter's source, `bytesperline` bytes per row): a
    // stroke end of the drawing, not a burr that thinning uncovers.
    void keep_document_tips(const unsigned char *document, int bytesperline) {
        doc_ = document;
        doc_bpl_ = bytesperline;
    }
    // Runs iterations until nothing changes or `max_iterations` are done,
    // over the words marked (all words when untracked).
    void run(long max_iterations);

private:
    static constexpr int kLag = kRingRows - 1;

    // Rows of band `band`: begin .. end-1; those from lo to hi-1 are applied
    // inside the band, the others when all bands are done.
    struct Span {
        int begin, end, lo, hi;
    };
    Span span(int band) const;
    // Ring row (and scratch row of evaluated words) of row y of band `band`.
    int ring_slot(int band, const Span &s, int y) const;
    template <int S> bool subcycle();
    template <int S> bool run_band(int band);
    void expire_wakes();
    Word *active_words(int y, Word *active) const;
    template <int S> bool compute_row(int y, int slot, const Word *active);
    // `band`: whose scratch rows to use.
    bool apply_row(int y, int slot, const Word *evaluated, int band);
    Word *wake_row(int slot, int y) const {
        return act_.wake + ((std::size_t)slot * (std::size_t)height_ + (std::size_t)y) * (std::size_t)rowbits_;
    }
    void wake_rows(int y, int reach, const Word *changed, const Word *leftedge, const Word *rightedge,
                   int slot, int last, int band);
    // Scratch rows of a band: the words evaluated for each ring slot; the
    // words changed in the row being applied, those of them changed near
    // their left and near their right end, and the words to wake.
    Word *band_scratch(int band) const {
        return act_.scratch + (std::size_t)band * (kBandRingRows + 4) * (std::size_t)rowbits_;
    }
    Word *evaluated_row(int band, int slot) const {
        return band_scratch(band) + (std::size_t)(slot - band * kBandRingRows) * (std::size_t)rowbits_;
    }
    Word *changed_row(int band) const { return band_scratch(band) + (std::size_t)kBandRingRows * (std::size_t)rowbits_; }
    template <int S> Word removable(const typename Plane::Row &up, const typename Plane::Row &mid,
                                    const typename Plane::Row &down, int y, int k) const;
    Word unanchored(Word ends, int y, int k) const;
    Word document_tips(int y, int k) const;
    Word heavy(int y, int k) const;
    bool tracked() const { return act_.wake != nullptr; }


    Plane &img_;
    Plane &ring_;
    Activity act_;
    bool keep_ends_;
    const unsigned char *doc_ = nullptr;
    int doc_bpl_ = 0;
    int height_, nw_, rowbits_;
    Bands bands_;
    bool pending_[kMaxBands * kBandRingRows] = {};  // per ring row: a removal to apply
    int cycle_ = 0;  // number of the running sub-cycle
};

}  // namespace qorfil

#endif
