// The sub-pixel geometry of a result edited by hand.
//
// The refiner measures a graph against the ink and knows nothing of who put
// a node where.  Measured again after hand edits, it would pull a node that
// the user placed back onto the middle of its stroke, and it would restore,
// as a stroke end of its own, a stroke the user deleted whose ink hangs off
// another stroke.  So an edited result is drawn with the user's word kept:
//  - centre lines are the edited graph measured again; a node the edits
//    placed (moved, or made: inserted, merged, a notch) stands where it
//    was put, and a polyline through one is drawn through its nodes, its
//    other nodes where they were measured, without points of the
//    refiner's own between them (a spline polyline by its samples as the
//    graph holds them);
//  - a restored stroke end, a line of the refiner's own, is kept only where
//    the unedited result had one ending at the same place: edits do not
//    bring strokes back;
//  - outlines are the rings on the edge of the ink, which no polyline
//    carries.  Each part of a ring belongs to the polyline whose link runs
//    nearest to it (both sides of a stroke too thin for two borders belong
//    to the one line traced along it).  Once an edit changes a polyline (a
//    node moved, deleted or added, a split, a join, a fit, the polyline
//    deleted), its parts of the rings go, and it is drawn as edited
//    through its nodes: placed nodes where they were put, the others on
//    the edge of the ink where they lay beside it, and a link that the
//    edits kept following the ring between them.  The rest of each ring
//    stays exactly as it was: whole while none of its polylines changed,
//    its parts ending where the lines drawn anew end (at their end nodes'
//    edge points) when they pass near.
//    Outlines are drawn from the unedited result and the edited graph
//    alone: the edited graph is not measured again.
// Without edits this is the refiner's result as it is.  The browser editor
// and `ktvec edit --image` draw edited results this way.
#ifndef KTVEC_IO_EDITED_GEOMETRY_H
#define KTVEC_IO_EDITED_GEOMETRY_H

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "vector_view.h"

namespace ktvcli {

// What the result was before its edits.
struct UneditedResult {
    // Which refining measured it.
    enum class Lines { CentreLines, Outlines };

    // A link's way along a ring: from the edge point of node a to that of
    // node b (a < b), the ring's vertices in between.
    struct RingPath {
        int a, b;                 // node indices, a < b
        std::size_t first, count; // in path_points, in order from a's side
    };

    // A stretch of a ring and the polyline it belongs to.
    struct RingRun {
        double from, to;          // px along the ring from its first point
        int id;                   // polyline id, 0 for none
    };

    Lines lines = Lines::CentreLines;
    std::vector<std::int32_t> nodes;           // x, y of each node index of the unedited graph
    // Centre lines:
    std::vector<_KTREFINEDPOINT> own_ends;     // last points of the refiner's own lines on it
    // Outlines (empty for centre lines):
    std::vector<_KTREFINEDPOINT> ring_points;  // the rings as the refiner gave them, one after the other, px
    std::vector<double> ring_along;            // per ring point: px along its ring from the ring's first point
    std::vector<std::size_t> ring_starts;      // ring r: ring_points[ring_starts[r], ring_starts[r + 1]); rings + 1 entries
    std::vector<RingRun> runs;                 // every ring from 0 to its length in order, one ring after the other
    std::vector<std::size_t> run_starts;       // ring r: runs[run_starts[r], run_starts[r + 1]); rings + 1 entries
    std::vector<int> node_ring;                // per node index: the ring it lies beside, -1 none
    std::vector<_KTREFINEDPOINT> on_edge;      // ... and its nearest point on that ring, px
    std::vector<double> node_along;            // ... and how far that point lies along the ring, px
    std::vector<std::uint64_t> signatures;     // per polyline id (entry 0 unused): its nodes, flag, arcs and
                                               // samples hashed, never 0; 0 for a deleted polyline
    std::vector<RingPath> paths;               // for links along one side of a ring; sorted by (a, b), no repeats
    std::vector<_KTREFINEDPOINT> path_points;  // their vertices, px

    // From the unedited graph `v` and, when its sub-pixel geometry is on,
    // its refiner's lines (null: none measured), which `lines` says how
    // they were measured.  Throws std::bad_alloc when memory runs out.
    void take(CKTVector &v, const CKTRefiner *measured, Lines lines);
};

class EditedGeometry final : public RefinedGeometry {
public:
    // Whether compose reads the refiner's result on the edited graph: centre
    // lines are drawn from it; outlines only from `before` and the graph, so
    // an edited outline result needs no measuring of its own.
    static bool measures_edited(const UneditedResult &before) {
        return before.lines == UneditedResult::Lines::CentreLines;
    }

    // The lines of `edited`, a graph edited from `before`, from `measured`,
    // the refiner's result on it, which must outlive this object unchanged
    // (the graph need not).  `measured` may be null where measures_edited
    // is false; null for centre lines draws no lines.  Throws std::bad_alloc
    // when memory runs out.
    void compose(const UneditedResult &before, CKTVector &edited, const CKTRefiner *measured);

    int line_count() const override { return static_cast<int>(lines_.size()); }
    const _KTREFINEDLINE &line(int k) const override { return lines_[static_cast<std::size_t>(k)]; }
    bool node_position(int index, double &x, double &y) const override;

private:
    // The outlines of `edited`: the rings of `before` without the parts of
    // the polylines the edits changed, and those polylines as edited.
    void compose_outlines(const UneditedResult &before, CKTVector &edited);
    // Ring r of `before` from `from` to `to` px along it (to may pass its
    // length: the way on past its first point), an open line of its own,
    // from `lead` before it and to `tail` after it where they are not null.
    void draw_ring_part(const UneditedResult &before, std::size_t r, double from, double to,
                        const _KTREFINEDPOINT *lead, const _KTREFINEDPOINT *tail);
    // Polyline `id` of `edited` drawn through its nodes.
    void draw_polyline(const UneditedResult &before, CKTVector &edited, int id);
    void begin(int source);
    void add(double x, double y, int node);

    bool placed(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < placed_.size() && placed_[static_cast<std::size_t>(index)];
    }

    const CKTRefiner *measured_ = nullptr;
    std::vector<unsigned char> placed_;  // per node index of the edited graph
    std::vector<_KTREFINEDPOINT> at_;    // ... and where the placed ones stand
    std::vector<_KTREFINEDLINE> lines_;  // their pointers set when all are made
    std::vector<_KTREFINEDPOINT> points_;
    std::vector<int> point_nodes_;
    std::vector<std::size_t> starts_;    // per line, its first point
};

}  // namespace ktvcli

#endif
