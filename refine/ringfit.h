// A polygon with sub-pixel vertices on the edge of the ink, fitted to one
// closed crack chain (see ringfit.cpp).
#ifndef KTVEC_REFINE_RINGFIT_H
#define KTVEC_REFINE_RINGFIT_H

#include "refine/array.h"
#include "refine/crack.h"
#include "refine/vec2.h"

namespace ktv::refine {

struct RingFitLimits {
    // How far the smoothed chain along one side of the polygon may stray
    // from a line through the side's first point, px: how far a border may
    // bend, or its burrs stand out after smoothing, and still be one
    // straight side.
    double halfwidth = 0.62;
    // On a rough border the sides may stray this many times the mean
    // distance of its crack midpoints from their smoothed chain, when that
    // is more than `halfwidth`.
    double roughness = 5;
    // How far a cut between two sides may move along the chain to fit both
    // better, in unit crack edges.
    int shift = 3;
    // Farthest a vertex may lie from the chain point between its two
    // sides, px; beyond it the two sides end at that point's feet.
    double reach = 1.5;
    // Two neighbouring sides become one when one line fits their cracks
    // with a squared-distance sum at most this many times the cracks'
    // own scatter per edge above that of the two lines apart (about 2 on
    // average for one straight border cut in two by chance).
    double merge = 16;
    // That scatter is at least this many times the median squared distance
    // of the crack midpoints from their smoothed chain (which smoothing
    // itself shrinks, and a flipped pixel spreads over a run of cracks).
    double noise = 32;
    // A side is cut in two at its middle while the mean offset from its
    // line of the middle half of its smoothed chain and that of its two
    // outer quarters differ by more than this many times the sides'
    // straightness: a side along a curve (a round cap, a circle of a few
    // pixels' radius) bows so, a straight border with burrs does not.
    double bow = 0.5;
};

class RingFitter {
public:
    explicit RingFitter(const RingFitLimits &limits = {}) : limits_(limits) {}

    // The polygon of the closed chain `ring` (turning corners, as the
    // tracer gives them): at least three vertices in the node frame in the
    // chain's order, the first one not repeated at the end.  False when
    // memory runs out.
    bool fit(const Corner *ring, std::size_t n, Array<Vec2> &polygon);
    bool fit(const Array<Corner> &ring, Array<Vec2> &polygon) { return fit(ring.data(), ring.size(), polygon); }

    // Room for chains of up to `edges` unit crack edges: fitting such a
    // chain then asks for no memory.  Its polygon has at most 2 * edges
    // vertices.  False when memory runs out.
    bool reserve(std::size_t edges);

private:
    // Moments of the unit crack edges from the chain's start: count, sums
    // of x and y, and of their squares and product, each edge taken as a
    // uniform density along it.
    struct Sum {
        double n, x, y, xx, xy, yy;
    };
    bool expand(const Corner *ring, std::size_t n);
    int grow(int first, int limit);
    Sum between(int from, int to) const;  // edges from .. to - 1, round the chain
    double residual(int from, int to) const;
    Line line(int from, int to) const;
    Vec2 chain_point(int edge) const;     // where edge `edge` begins, node frame
    bool corners(const Corner *ring, std::size_t n, Array<Vec2> &polygon) const;
    void shift_cuts(int limit);
    bool near_chain(Vec2 p, int edge) const;
    // Where the lines of the sides before and after edge `edge` cross, when
    // that is by the chain; false when they end at feet instead.
    bool crossing(const Line &a, const Line &b, int edge, Vec2 &at) const;
    bool merge_sides();
    bool bows(int a, int len, double limit) const;
    bool split_bowed();

    RingFitLimits limits_;
    double halfwidth_ = 0.5;        // the sides' straightness on this chain, px
    int edges_ = 0;                 // unit crack edges of the chain
    Vec2 origin_;                   // the chain's first corner, node frame
    Array<Vec2> mid_;               // edge midpoints, relative to origin_
    Array<unsigned char> dir_;      // edge directions, 0 east, 1 south, 2 west, 3 north
    Array<int> runlen_;             // at an edge that begins a straight run its length, else 0
    Array<Vec2> smooth_;            // the midpoints smoothed along the chain
    Array<double> deviation_;       // squared distances of the midpoints from smooth_, px^2
    double scatter_ = 0;            // squared distance of a crack from a straight border, px^2
    Array<Sum> sums_;               // edges_ + 1 running sums
    Array<int> cuts_;               // first edge of each side, in chain order
    Array<int> spare_;              // the cuts being rebuilt by split_bowed()
    Array<unsigned char> untested_, spare_untested_;  // per cut: its side still to be tested for bowing
    Array<Line> lines_;             // the line of each side
    struct Merge {
        double cost;
        int cut, stamp;
    };
    Array<Merge> heap_;             // candidate merges, cheapest first
    Array<int> prev_, next_, stamp_; // per cut: its live neighbours, and a count of its changes
    Vec2 cone_at_, lo_, hi_; bool coned_ = false;
};

}  // namespace ktv::refine

#endif
