// Graph-invariant checker: the structural rules every node/link/polyline state
// must keep, checked in one call after each driver run or mutating call.
#ifndef KTVEC_TEST_INVARIANTS_H
#define KTVEC_TEST_INVARIANTS_H

#include <string>

#include "ktvec.h"

// Rules that always hold in a deliberately weak form: a deleted node keeps
// the link records it had when it was removed (a merged-away or skipped node
// keeps its old array, whose twins now point elsewhere), so records on
// deleted nodes are history and are not checked; connection lists of
// deleted polylines are checked for symmetry like any other.
//
// Each flag relaxes one rule for a state in which the library deliberately
// leaves the graph weaker.  Default: everything is checked.
struct CheckOptions {
    // Rows in ascending x.  Off after an approximation that stopped part-way
    // (rows touched since the last sort stay unsorted) and after operations
    // that append to a row without sorting.
    bool rows_sorted = true;
    // Polyline records reach the ends of their chains (an open polyline's
    // first node has no -P link and its last node no +P link; a closed one
    // repeats its first node) and no live record holds exactly one node.
    // Off after polyline construction stopped part-way: a record may then
    // stop early or be empty.
    bool polylines_complete = true;
    // Check the polyline table at all.  Off when the table is knowingly from
    // another graph (e.g. a host-built graph without polylines).
    bool polylines = true;
    // A live node's link may aim at a deleted node.  On only after outline
    // spur removal, which deletes a spur's nodes through the node next to
    // the junction and so leaves the junction's link aimed at a deleted
    // node.
    bool links_to_deleted = false;
};

// The weak form used after a failure ("-1000") part-way through a run.
inline CheckOptions weak_checks() {
    CheckOptions o;
    o.rows_sorted = false;
    o.polylines_complete = false;
    return o;
}

// Empty when every rule holds; otherwise a readable list of the first
// violations.
std::string check_graph(CKTVector &v, const CheckOptions &options = {});

#endif
