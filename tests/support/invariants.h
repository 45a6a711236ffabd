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
    // Rows in ascending x, which every search relies on.  Off only after an
    // approximation that stopped part-way (rows touched since the last sort
    // stay unsorted); every edit, failed or not, leaves its rows sorted.
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
    // Every live link carries the id of a live polyline whose node list runs
    // along it (the record on nodeindex[i] pointing to nodeindex[i+1] has +P
    // and its twin -P; each such pair counted as often as the list passes
    // it).  Off for graphs that host edits have taken out of this normal
    // form on purpose: unlinking or deleting inside a polyline rebuilds only
    // the part holding its first live node, deleting a polyline passes over
    // nodes as its list shifts, and merging nodes can run a chain into
    // itself; the links left behind keep their old id.
    bool links_on_polylines = true;
    // An open polyline's first node has no -P link and its last node no +P
    // link.  Off, like links_on_polylines, for edited graphs in which a
    // chain passes one of its nodes twice (two polylines that share both
    // end nodes joined at one of them): the walk stops where the chain meets
    // itself, so the record cannot reach the chain's real ends.
    bool chain_ends = true;
    // Two connected ends lie on one node.  Off with links_on_polylines:
    // connections follow polyline ends, not nodes, so an edit that moves an
    // end (a split of a closed polyline, a fused end node) can leave one
    // naming an end that now lies elsewhere.
    bool connections_meet = true;
    // No link joins a node to itself.  Off with links_on_polylines: skipping
    // the middle node of a closed polyline of two nodes leaves the other
    // node linked to itself.
    bool no_self_links = true;
    // A live record may hold exactly one node.  On with the structural
    // checks: splitting a closed polyline at its first node leaves the old
    // record with that node alone (the clean-up's attach step and moving
    // with attachment do this at tiny rings).
    bool single_node_polylines = false;
    // The two records of a link may carry the ids of two polylines.  On
    // after the centre-line clean-up: skipping the first step of a branch
    // next to a junction removes a node of two links even where two
    // polylines meet there, joins its neighbours and rebuilds only the
    // polyline of the first neighbour's link, so the other neighbour's
    // record keeps the other polyline's id.  The two records still join
    // the same nodes with one length and opposite areas.
    bool crossed_pairs = false;
};

// The weak form used after a failure ("-1000") part-way through a run: rows
// may be unsorted, and an interrupted construction leaves records short or
// empty, so links need not lie on a polyline.
inline CheckOptions weak_checks() {
    CheckOptions o;
    o.rows_sorted = false;
    o.polylines_complete = false;
    o.links_on_polylines = false;
    return o;
}

// The structural rules only, without the normal form: for graphs that edits
// or the clean-up passes have changed inside polylines.
inline CheckOptions structural_checks() {
    CheckOptions o;
    o.links_on_polylines = false;
    o.chain_ends = false;
    o.connections_meet = false;
    o.no_self_links = false;
    o.single_node_polylines = true;
    return o;
}

// Empty when every rule holds; otherwise a readable list of the first
// violations.
std::string check_graph(CKTVector &v, const CheckOptions &options = {});

// Whether a chain of links runs into itself: a live node holds two links of
// one id in one direction.  Approximation with node search does this to a
// traced chain that passes a pixel twice (a loop with a tail) when both
// passes leave a vertex there; the walks that build polylines then stop
// where the chain meets itself, so chain_ends and links_on_polylines cannot
// hold.
bool chain_meets_itself(const CKTVector &v);

// The whole vector layer as text: every node with every field of its links,
// the row index, and every polyline with its lists and curve samples.  For
// failure messages, and for comparing two layers exactly (an undo copy and
// its source).
std::string dump_graph(CKTVector &v);

// Reads every array a host may read, to its count (the sanitizer builds
// check each read); aborts where an accessor answers out of range.
void read_everything(CKTVector &v);

// A 64-bit digest (FNV-1a) of `text` continuing from `seed`: recorded
// digests of dumped results pin down exact results in a line.
unsigned long long digest(const std::string &text, unsigned long long seed = 14695981039346656037ull);

#endif
