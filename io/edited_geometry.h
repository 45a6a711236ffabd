// The sub-pixel geometry of a result edited by hand.
//
// The refiner measures a graph against the ink and knows nothing of who put
// a node where.  Measured again after hand edits, it would pull a node that
// the user placed back onto the middle of its stroke, and it would restore,
// as a stroke end of its own, a stroke the user deleted whose ink hangs off
// another stroke.  So an edited result is drawn from its graph measured
// again, with the user's word kept:
//  - a node the edits placed (moved, or made: inserted, merged, a notch)
//    stands where it was put, and a polyline through one is drawn through
//    its nodes, its other nodes where they were measured, without points of
//    the refiner's own between them (a spline polyline by its samples as
//    the graph holds them);
//  - a line of the refiner's own (a restored stroke end, an outline ring)
//    is kept only where the unedited result had one ending at the same
//    place: edits do not bring strokes back.
// Without edits this is the refiner's result as it is.  The browser editor
// and `ktvec edit --image` draw edited results this way.
#ifndef KTVEC_IO_EDITED_GEOMETRY_H
#define KTVEC_IO_EDITED_GEOMETRY_H

#include <cstdint>
#include <vector>

#include "vector_view.h"

namespace ktvcli {

// What the result was before its edits.
struct UneditedResult {
    std::vector<std::int32_t> nodes;           // x, y of each node index of the unedited graph
    std::vector<_KTREFINEDPOINT> own_ends;     // last points of the refiner's own lines on it

    // From the unedited graph `v` and, when its sub-pixel geometry is on,
    // its refiner's lines (null: none measured).
    void take(CKTVector &v, const CKTRefiner *measured);
};

class EditedGeometry final : public RefinedGeometry {
public:
    // The lines of `edited`, a graph edited from `before`, from `measured`,
    // the refiner's result on it, which must outlive this object unchanged
    // (the graph need not).  Throws std::bad_alloc when memory runs out.
    void compose(const UneditedResult &before, CKTVector &edited, const CKTRefiner &measured);

    int line_count() const override { return static_cast<int>(lines_.size()); }
    const _KTREFINEDLINE &line(int k) const override { return lines_[static_cast<std::size_t>(k)]; }
    bool node_position(int index, double &x, double &y) const override;

private:
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
