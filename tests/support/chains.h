// Hand-made traced chains: point records at chosen pixels (one record per
// pixel, as tracing would share them) and segments through them, so that the
// approximation and polyline stages can be tested on exact shapes.
#ifndef KTVEC_TEST_CHAINS_H
#define KTVEC_TEST_CHAINS_H

#include <deque>
#include <utility>
#include <vector>

#include "ktvec.h"

using Pixels = std::vector<std::pair<int, int>>;

struct Chains {
    std::deque<_KTPOINT> points;  // stable addresses
    // The point record at (x, y), made on first use.
    _KTPOINT *at(int x, int y);
};

// Gives v a blank w x h working raster with its row records (no points).
void setup_rows(CKTVector &v, int w, int h);

// Appends a segment through `pixels` (in trace order) and returns its index.
int add_chain(CKTVector &v, Chains &c, const Pixels &pixels, bool discard = false);

// An 8-connected run of pixels from (x0, y0) to (x1, y1), both ends
// included: diagonal steps while both coordinates differ, then straight.
Pixels run(int x0, int y0, int x1, int y1);

// Pixel ring of the rectangle with corners (x0, y0), (x1, y1), clockwise
// from (x0, y0) and back to it (the first pixel repeated at the end).
Pixels ring(int x0, int y0, int x1, int y1);

// Node coordinates of polyline id in list order.
Pixels polyline_pixels(CKTVector &v, int id);

#endif
