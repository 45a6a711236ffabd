// Reference topology of a packed 1-bit raster, pixel by pixel (slow but
// obviously right): 8-connected black components, 4-connected white
// components (the page outside is white and joins every white area that
// touches the page edge), and local thinness checks.
#ifndef KTVEC_TEST_TOPOLOGY_H
#define KTVEC_TEST_TOPOLOGY_H

#include "bitmap.h"

// Padding: the bits beyond the width of every row.
void fill_padding(Bitmap &b);          // sets them all
bool padding_clear(const Bitmap &b);   // true when they are all 0
bool same_pixels(const Bitmap &a, const Bitmap &b);

struct Topology {
    int black = 0;  // 8-connected black components
    int white = 0;  // 4-connected white components, background included
    bool operator==(const Topology &o) const { return black == o.black && white == o.white; }
};
Topology topology(const Bitmap &r);

int black_neighbours(const Bitmap &r, int x, int y);
// White->black transitions going round the 8 neighbours (the tracing class).
int transitions(const Bitmap &r, int x, int y);
// A black pixel that can go without changing the topology (locally).
bool is_simple(const Bitmap &r, int x, int y);

struct ThinReport {
    int blocks = 0;      // 2x2 all-black squares
    int staircase = 0;   // pixels whose only two black neighbours touch each other
    int removable = 0;   // simple pixels with two or more black neighbours, tees aside
    int tees = 0;        // simple pixels of a line above a stem: black neighbours
                         // exactly the line on either side and the stem
    int ends = 0;        // pixels with exactly one black neighbour
};
ThinReport thinness(const Bitmap &r);

#endif
