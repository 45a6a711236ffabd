// The row sort: a row's node indices put in ascending x by the comb sort
// the row index has always used, with the same swaps and so the same order
// among equal x, in far fewer comparisons on the rows the editing and
// clean-up steps leave almost sorted.
#ifndef KTVEC_GRAPH_ROWSORT_H
#define KTVEC_GRAPH_ROWSORT_H

#include "ktvec.h"

namespace ktv {

// Comb sort of the `count` node indices by the x of their nodes, ascending;
// ends after a pass with gap 1 that swapped nothing.  True when the sorted
// row is known to hold no two entries of equal x.
bool sort_row(const _KTNODE *nodes, int count, int *indices);

// The last of `count` entries placed among the others, which are in x
// order with no two x equal, when it ties with none of them: every sort of
// such a row ends in that order.  False, with the row untouched, on a tie.
bool place_last(const _KTNODE *nodes, int count, int *indices);

}  // namespace ktv

#endif
