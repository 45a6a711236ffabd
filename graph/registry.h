// The row hints of the registry: per row, where the last sorted window scan
// of the row started (the searches start the next scan of the row there),
// and whether the row is known to be in x order with no two x equal (a new
// entry of such a row is placed by bisection instead of a full sort).
// Both live in one block of the vectorizer's bookkeeping, made on first use
// for the current rows.
#ifndef KTVEC_GRAPH_REGISTRY_H
#define KTVEC_GRAPH_REGISTRY_H

#include "ktvec.h"

namespace ktv {

// One search hint per row, made on first use for the current rows; null
// when memory is short (the searches then start from each row's front).
int *row_hints(CKTVector &v);

// Per row, 1 where the row is known to be in x order without two equal x:
// kept only inside a driver call (where only the library changes rows, and
// every change passes through the row operations that keep these marks);
// null outside one, or when memory is short (then every row is sorted in
// full).
int *row_distinct(CKTVector &v);

// Forgets every row's mark: at the start of a driver call, as a host may
// have changed rows since the last one.
void forget_row_distinct(CKTVector &v);

}  // namespace ktv

#endif
