// The editing script of `ktvec edit`: a JSON file listing library editing
// calls, checked in full before any is applied, then applied in order with
// an undo snapshot (a second vectorizer filled by mundo) before each call
// that an "undo" follows.  The schema is in docs/cli.md.
#ifndef KTVEC_IO_EDIT_OPS_H
#define KTVEC_IO_EDIT_OPS_H

#include <string>
#include <vector>

#include "json_reader.h"
#include "ktvec.h"

namespace ktvcli {

enum class OpKind {
    Select, Insert, Move, MoveAttach, DeleteNode, DeletePolyline, Merge, Split, Connect, Disconnect, Notch,
    Arc, Circle, Spline, Simplify, Refit, Undo
};

// A node named by index (the file's node number; nodes made by earlier
// operations follow in order of creation) or by position (the live node
// nearest to it within the library's click radius, the lowest index on a
// tie).
struct NodeRef {
    bool by_position = false;
    int index = -1;
    int x = 0, y = 0;
};

struct Op {
    OpKind kind;
    int line;                 // in the ops file, for messages
    NodeRef node, joint;
    double x = 0, y = 0;      // insert: the point; move: target (whole)
    double numbers[4] = {};   // rect / stroke corners; insert margin and reach; notch radius,
                              // depth; arc radii; circle radius; simplify distance, angle (degrees)
    int polyline = 0, other = 0;  // other: spline division
};

// Parses and checks the script; throws CliError "line L: <problem>".
std::vector<Op> parse_ops(const JsonDocument &doc);

// Applies the script to `v`; throws CliError "op K (name), line L:
// <problem>" when an operation is refused or names a node that is not
// there, and "out of memory ..." when a snapshot cannot be made.
void apply_ops(const std::vector<Op> &ops, CKTVector &v);

const char *op_name(OpKind kind);

}  // namespace ktvcli

#endif
