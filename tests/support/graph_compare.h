// Exact comparison of two vectorizers' vector layers: every node with every
// field of its links, the row index with the row count, and every polyline
// with its node list, connection lists and curve samples.  Used to check
// that a copy equals its source and that an undo restores a snapshot.
#ifndef KTVEC_TEST_GRAPH_COMPARE_H
#define KTVEC_TEST_GRAPH_COMPARE_H

#include <string>

#include "ktvec.h"

// Empty when the two layers are equal; otherwise the first difference.
std::string graph_difference(CKTVector &a, CKTVector &b);

#endif
