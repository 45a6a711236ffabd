// Boundary pixels: the black pixels with a white 4-neighbour (the page
// outside counts as white).  Round every black area and every hole they form
// an 8-connected closed curve, one or two pixels thick at corners and
// staircases; the outline filters thin these curves afterwards.
#ifndef QORFIL2_BOUNDARY_H
#define QORFIL2_BOUNDARY_H

namespace qorfil {

// Replaces `img` by its boundary pixels, using `tmp` (same geometry) for the
// result of the parallel pass.
template <class Plane> void keep_boundary(Plane &img, Plane &tmp);

}  // namespace qorfil

#endif
