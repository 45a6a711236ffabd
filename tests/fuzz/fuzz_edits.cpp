// Editing sequences after a driver: the rest of the input is a script of
// host editing calls (tests/support/edit_script.h).  The structural graph
// rules are checked after every call; undo snapshots are taken and restored
// along the way.  At the end the edited graph's sub-pixel geometry is drawn
// as the editors draw it, told from the unedited result's: every point
// finite, every node entry a node or -1, every source a polyline or 0 (in
// a build with the program's io library), and the drawing formats' strokes
// joined along the edited connections draw each polyline once.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "drive.h"
#include "edit_script.h"

#ifdef KTVEC_FUZZ_EDITED_GEOMETRY
#include "edited_geometry.h"
#include "joined_check.h"

namespace {

// Joins the strokes as the SVG and DXF writers do; aborts unless they draw
// every polyline once.
void check_joined(CKTVector &v, const ktvcli::RefinedGeometry *lines) {
    ktvcli::VectorView view(v);
    view.set_refined(lines);
    if (const int id = polyline_not_drawn_once(view)) {
        std::fprintf(stderr, "joined strokes: polyline %d not drawn once\n", id);
        std::abort();
    }
}

// The sub-pixel geometry of the edited graph, drawn as the editors draw it.
class EditedDrawing {
public:
    // Takes the result as the driver left it from `unedited`, its refining
    // when a refiner measures it.
    EditedDrawing(CKTVector &v, Driver which, const CKTRefiner &unedited) {
        measured_ = which != Driver::OutlineFast;
        if (measured_)
            before_.take(v, &unedited, which == Driver::Outline ? ktvcli::UneditedResult::Lines::Outlines
                                                                : ktvcli::UneditedResult::Lines::CentreLines);
    }

    void check(CKTVector &v) {
        check_joined(v, nullptr);
        CKTRefiner measured;
        if (!measured_) return;
        const bool measure = ktvcli::EditedGeometry::measures_edited(before_);
        if (measure && measured.mrefinecenterline(&v) != 0) return;
        ktvcli::EditedGeometry g;
        g.compose(before_, v, measure ? &measured : nullptr);
        for (int k = 0; k < g.line_count(); ++k) {
            const _KTREFINEDLINE &l = g.line(k);
            bool ok = l.source >= 0 && l.source <= v.mgetpolylinenum() && l.pointnum > 0;
            for (int i = 0; ok && i < l.pointnum; ++i)
                ok = std::isfinite(l.point[i].x) && std::isfinite(l.point[i].y) && l.node[i] >= -1 &&
                     l.node[i] < v.mgetnodenum();
            if (!ok) {
                std::fprintf(stderr, "edited geometry: line %d (source %d, %d points) is broken\n", k, l.source, l.pointnum);
                std::abort();
            }
        }
        check_joined(v, &g);
    }

private:
    bool measured_ = false;
    ktvcli::UneditedResult before_;
};

}  // namespace
#else
struct EditedDrawing {
    EditedDrawing(CKTVector &, Driver, const CKTRefiner &) {}
    void check(CKTVector &) {}
};
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzInput in(data, size);
    FuzzBitmap b;
    CKTVector v;
    Driver which;
    CKTRefiner unedited;
    if (drive_checked(v, b, in, which, &unedited) != 0) return 0;

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
    EditedDrawing drawing(v, which, unedited);
    EditScript script(v, in);
    const bool verbose = std::getenv("KTVEC_FUZZ_VERBOSE") != nullptr;
    for (int k = 0; k < 200 && !in.empty(); ++k) {
        script.step();
        if (verbose) std::fprintf(stderr, "edit: %s\n", script.name());
        check_graph_or_abort(v, o, script.name());
        if (!check_graph(v, normal).empty()) break;
    }
    read_everything(v);
    drawing.check(v);
    return 0;
}
