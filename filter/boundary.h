// Boundary pixels: the black pixels that do not belong to the inside of a
// wide area.  Interior pixels are the black pixels with four black
// 4-neighbours; the inside of an area is every interior pixel 4-connected
// (within the interior) to a seed, an interior pixel whose 4-neighbours are
// interior too.  Round every wide black area and every hole the boundary
// forms an 8-connected closed curve, one or two pixels thick at corners and
// staircases.  Interior pockets without a seed (strokes up to about four
// pixels wide, single pixels enclosed by a ragged edge) stay boundary, so
// that a narrow stroke gives one band to be thinned to a line rather than a
// chain of loops round its broken interior.  The outline filters thin the
// boundary afterwards.
//
// The inside is found by reconstruction: alternate downward and upward row
// sweeps, each spreading the reached pixels from the neighbouring rows and
// then along the interior runs of the row (a log-step fill per word with
// carries between words), until a pair of sweeps changes nothing; rows are
// only revisited next to rows that changed.  The inside is the same
// whatever the order of the sweeps, which lets row bands reconstruct it on
// separate threads.
#ifndef QORFIL2_BOUNDARY_H
#define QORFIL2_BOUNDARY_H

#include "bands.h"
#include "neighbourhood.h"

namespace qorfil {

// Replaces `img` by its boundary pixels, using `tmp` (same geometry, any
// plane type) for the reached inside.  `rowflags` (height ints, or null to
// sweep every row every time) lets the sweeps skip rows where nothing can
// change.  The
// work is shared among `bands`; the result does not depend on their number.
// `scratch` (3 * words per band, or null) keeps the interior of a few rows
// so that it is computed once per row and pass.
template <class Plane, class Reached>
void keep_boundary(Plane &img, Reached &tmp, int *rowflags, const Bands &bands, Word *scratch);

}  // namespace qorfil

#endif
