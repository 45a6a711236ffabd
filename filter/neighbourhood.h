// Bit-parallel 3x3 neighbourhoods: for 64 pixels at once, the eight
// neighbour bits as eight words, and the per-pixel facts every filter
// decision is built from (how many black neighbours, whether the pixel is
// simple).  All of it is straight-line boolean code: no per-pixel branch.
#ifndef QORFIL2_NEIGHBOURHOOD_H
#define QORFIL2_NEIGHBOURHOOD_H

#include <cstdint>

#include "words.h"

namespace qorfil {

using Word = std::uint64_t;

// Value of the right / left neighbour at each bit position of word c, with
// the carry from the adjacent words l (left) and r (right).
using ktv::from_left;
using ktv::from_right;

struct Neighbours {
    Word c;                          // the pixels themselves
    Word n, s, e, w, ne, nw, se, sw; // their neighbours
};

// Word k of row `mid`, with the rows above and below (rows of a plane view).
template <class Row> inline Neighbours gather(const Row &up, const Row &mid, const Row &down, int k) {
    Neighbours b;
    const Word ul = up.at(k - 1), uc = up.at(k), ur = up.at(k + 1);
    const Word ml = mid.at(k - 1), mc = mid.at(k), mr = mid.at(k + 1);
    const Word dl = down.at(k - 1), dc = down.at(k), dr = down.at(k + 1);
    b.c = mc;
    b.n = uc;
    b.s = dc;
    b.e = from_right(mc, mr);
    b.w = from_left(ml, mc);
    b.ne = from_right(uc, ur);
    b.nw = from_left(ul, uc);
    b.se = from_right(dc, dr);
    b.sw = from_left(dl, dc);
    return b;
}

// Saturating neighbour count: bit set where the pixel has at least 1, 2, 3
// black 8-neighbours.
struct Counts {
    Word ge1, ge2, ge3;
};
inline Counts count_neighbours(const Neighbours &b) {
    Counts c{0, 0, 0};
    const Word all[8] = {b.n, b.s, b.e, b.w, b.ne, b.nw, b.se, b.sw};
    for (Word v : all) {
        c.ge3 |= c.ge2 & v;
        c.ge2 |= c.ge1 & v;
        c.ge1 |= v;
    }
    return c;
}

// Simple pixels: removing them changes neither the 8-connected black
// components nor the 4-connected white ones.  Going round the pixel, count
// the 4-neighbours that are white and followed (counter-clockwise) by a
// black diagonal or black next 4-neighbour; the pixel is simple exactly when
// this count is 1.  (0 means interior or isolated, 2 or more means the
// pixel joins separate branches.)
inline Word simple_pixels(const Neighbours &b) {
    const Word te = ~b.e & (b.ne | b.n);
    const Word tn = ~b.n & (b.nw | b.w);
    const Word tw = ~b.w & (b.sw | b.s);
    const Word ts = ~b.s & (b.se | b.e);
    const Word any = te | tn | tw | ts;
    const Word two = (te & tn) | (tw & ts) | ((te | tn) & (tw | ts));
    return any & ~two;
}

}  // namespace qorfil

#endif
