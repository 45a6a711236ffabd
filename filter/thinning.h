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
// two-pixel component are never removed together.  An end pixel's neighbour
// has another neighbour besides it, hence is not simple and stays: every
// removal in (b) is independent of all others.
//
// Anchors (spur control): an end pixel is anchored, and kept for good, when
// no black pixel within Chebyshev distance 3 of it has three or more black
// neighbours, i.e. when it ends a line that is already one pixel thin for a
// few pixels.  The tip of a bump on a still thick stroke is not anchored, so
// the bump wears away with the surface; a real stroke end is anchored as
// soon as the stroke has thinned there (about w/2 from the original end).
// Anchoring only depends on the current raster and is monotone (removing
// pixels can only make it true), so nothing needs to be remembered and
// thinning a skeleton again changes nothing.
//
// At the fixed point every pixel is either not simple or an anchored end:
// lines are one pixel wide and 8-thin (a staircase pixel is simple).
//
// Dirty tracking: a removal at word (y, k) can change decisions only within
// rows y-4 .. y+4 and words k-1 .. k+1 (the anchor window), and only the
// next four sub-cycles (one per side) have to look again.  Each word carries
// a countdown of the sub-cycles still to evaluate it; words at 0 are skipped
// and so are rows without any live word.  Skipping a word whose
// neighbourhood has not changed since it was last evaluated on the same
// side gives exactly the result of evaluating it, so the tracked run equals
// an untracked one pixel for pixel.
#ifndef QORFIL2_THINNING_H
#define QORFIL2_THINNING_H

#include "neighbourhood.h"

namespace qorfil {

enum Side { kNorth = 0, kSouth = 1, kEast = 2, kWest = 3 };

// Anchor window radius: an end pixel is anchored when no pixel with three
// or more black neighbours lies within this Chebyshev distance.
constexpr int kAnchorReach = 3;
// Rows on each side whose decisions a change can affect: the anchor window
// plus the neighbourhood of its outermost pixels.
constexpr int kReachRows = kAnchorReach + 1;

// Countdown per word and a live flag per row; null for untracked runs.
struct Activity {
    unsigned char *countdown = nullptr;  // height * words bytes
    unsigned char *rowlive = nullptr;    // height bytes
};

template <class Plane> class Thinner {
public:
    // `img` is thinned in place; `del` is a plane of the same geometry used
    // for the removal masks.  keep_ends: every end pixel is kept as soon as
    // it appears (no spur control).
    Thinner(Plane &img, Plane &del, Activity act, bool keep_ends)
        : img_(img), del_(del), act_(act), keep_ends_(keep_ends),
          height_(img.height()), nw_(img.words()) {}

    // Sets every word to be evaluated by the next four sub-cycles.
    void mark_all();
    // Sets the words that a change at word (y, k) can affect.
    void wake(int y, int k) {
        if (tracked()) refresh_around(y, k);
    }
    // Runs iterations until nothing changes or `max_iterations` are done,
    // over the words marked (all words when untracked).
    void run(long max_iterations) {
        for (long it = 0; it < max_iterations; ++it) {
            bool changed = subcycle<kNorth>();
            changed |= subcycle<kSouth>();
            changed |= subcycle<kEast>();
            changed |= subcycle<kWest>();
            if (!changed) break;
        }
    }

private:
    static constexpr unsigned char kChanged = 0x80;
    static constexpr unsigned char kFresh = 4;  // one evaluation per side

    template <int S> bool subcycle();
    template <int S> Word removable(const typename Plane::Row &up, const typename Plane::Row &mid,
                                    const typename Plane::Row &down, int y, int k) const;
    Word anchored(int y, int k) const;
    Word heavy(int y, int k) const;
    bool tracked() const { return act_.countdown != nullptr; }
    void refresh_around(int y, int k);

    Plane &img_;
    Plane &del_;
    Activity act_;
    bool keep_ends_;
    int height_, nw_;
};

}  // namespace qorfil

#endif
