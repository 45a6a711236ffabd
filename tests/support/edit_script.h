// One table of editing operations, shared by the editing fuzzer and the
// random-edit test: each step reads its operation and arguments from a
// byte string (a fuzzer's input, or random bytes) and calls the library on
// the graph as it stands.  Arguments are drawn from the live graph (and at
// times outside the picture, where positions are clamped), so that most
// steps really edit something.
#ifndef KTVEC_TEST_EDIT_SCRIPT_H
#define KTVEC_TEST_EDIT_SCRIPT_H

#include "fuzz_input.h"
#include "ktvec.h"

class EditScript {
public:
    // `internals`: also the clean-up passes' own joining and merging steps
    // (merge with repair, bridging and fusing end nodes, joining at a
    // node), called as the passes call them.  The fuzzer keeps to the host
    // calls.
    EditScript(CKTVector &v, FuzzInput &in, bool internals = false) : v_(v), in_(in), internals_(internals) {}

    // One operation; `last` then names it.
    void step();
    const char *name() const;

    int last = -1;        // the operation of the latest step
    CKTVector snapshot;   // the undo copy of the undo step
    bool have_snapshot = false;

    static constexpr int kHostOps = 24;      // host calls: 0 .. 23
    static constexpr int kInternalOps = 4;   // 24 .. 27 with `internals`

private:
    int live_node(int links = -1);
    int any_node();
    int live_polyline(bool signed_id);
    int coord(int extent);
    bool only_ends(int n);
    int near_node(int a, int radius, int links);
    _KTNODE *at(int i) { return &v_.node[i]; }

    CKTVector &v_;
    FuzzInput &in_;
    bool internals_;
};

#endif
