// Editing sequences after a driver: the rest of the input is a script of
// host editing calls (tests/support/edit_script.h).  The structural graph
// rules are checked after every call; undo snapshots are taken and restored
// along the way.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "drive.h"
#include "edit_script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzInput in(data, size);
    FuzzBitmap b;
    CKTVector v;
    Driver which;
    if (drive_checked(v, b, in, which) != 0) return 0;

    CheckOptions o = structural_checks();
    o.links_to_deleted = which == Driver::Outline;
    // Attaching a moved end onto a node of its own polyline that already
    // closes a loop can leave a live record of a single node (the merge
    // with repair purges only when the merged-away node had two links).
    o.polylines_complete = false;
    // Edits run on graphs in normal form (every link on the polyline its id
    // names, records reaching their chain ends).  An edit that leaves it
    // (a merge running a chain into itself, say) ends the sequence: later
    // edits would follow chains that no record describes, which no host
    // does either.  An edit that breaks the structural rules is a finding.
    CheckOptions normal;
    normal.links_to_deleted = o.links_to_deleted;
    if (!check_graph(v, normal).empty()) return 0;
    EditScript script(v, in);
    const bool verbose = std::getenv("KTVEC_FUZZ_VERBOSE") != nullptr;
    for (int k = 0; k < 200 && !in.empty(); ++k) {
        script.step();
        if (verbose) std::fprintf(stderr, "edit: %s\n", script.name());
        check_graph_or_abort(v, o, script.name());
        if (!check_graph(v, normal).empty()) break;
    }
    read_everything(v);
    return 0;
}
