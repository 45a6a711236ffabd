// The find marks of the neighbourhood searches: clearing the previous
// search's marks, marking what a search finds, and reading the marked nodes
// back in index order.  Inside a driver the marked nodes are also kept in a
// list, so that clearing and reading cost what the last search found rather
// than the whole node array (see edit/search.cpp).
#ifndef KTVEC_EDIT_FIND_H
#define KTVEC_EDIT_FIND_H

#include "ktvec.h"

namespace ktv {

// Clears the `find` marks the previous search left: inside a driver those
// of the list, elsewhere those of every node (a host may have set some).
void reset_find(CKTVector &v);

// Marks node `index` found (and lists it inside a driver; a list that
// cannot grow is dropped, and the searches fall back to whole-array work).
void mark_found(CKTVector &v, int index);

// The first node after `after`, in index order, that carries the find
// mark; -1 when there is none.
int next_found(CKTVector &v, int after);

}  // namespace ktv

#endif
