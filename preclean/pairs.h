// Parting two thin lines that run side by side at a slant.
//
// Two thin lines a pixel or less apart (the two strokes of a window frame,
// a door leaf, a double wall) are one band of ink with a clean gap, or
// none, when they run level.  At a slant the pixels put the gap where it
// falls: it opens for some pixels, as a sliver of paper one pixel wide,
// closes, and opens again one row (or column) further on, where the pair
// has stepped.  Thinned as it is, such a band gives a zigzag from sliver to
// sliver with two junctions at every one.  The slivers of one pair are
// joined instead: from the end of one to the start of the next, one row
// over and not too far on, the middle of the merged band is cleared, so
// that each line is thinned on its own.
#ifndef KTVEC_PRECLEAN_PAIRS_H
#define KTVEC_PRECLEAN_PAIRS_H

#include "preclean.h"

namespace ktvcli {

// Joins the slivers of the slanted pairs of `raster` in place; how many
// pixels were cleared, or -1 when working memory could not be obtained
// (the raster is then unchanged).  The pixels to clear are all chosen on
// the raster as given, so the result does not depend on the order in which
// the slivers are met; `threads` as PrecleanOptions::bands.
long part_pairs(const BitRaster &raster, int threads = 0);

}  // namespace ktvcli

#endif
