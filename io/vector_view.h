// Read-only view of a vectorizer's result for the writers: the live nodes
// (and deleted ones that a live polyline still runs through), renumbered
// densely in library order, and the live polylines in id order.
#ifndef KTVEC_IO_VECTOR_VIEW_H
#define KTVEC_IO_VECTOR_VIEW_H

#include <optional>

#include "buffer.h"
#include "ktvec.h"
#include "ktvec_refine.h"

namespace ktvcli {

// A circle in pixel coordinates.
struct Circle {
    double cx, cy, r;
};

// Whether the fitted arc of link l from a to b runs the way of increasing
// angle (SVG's sweep flag 1, clockwise on screen with y down).  A fitted arc
// spans at most half a circle (its segment area is capped at the half
// disc), so it runs the short way round and lies on the far side of the
// chord from its centre.  With y pointing down, SVG's sweep flag 1 is the
// direction of increasing angle, which is the short way when the cross
// product of the two radii is positive.  For an exact half circle the
// centre sits on the chord and the cross product is 0; then the side of
// the arc decides: side 1 is taken when the link's area is not positive,
// and such an arc bulges to the left of a->b on screen, the direction of
// increasing angle.  Both the offset of +0.5 and the centre move together,
// so the flags hold in SVG coordinates as they do in pixel ones.
bool arc_sweep(const _KTNODELINK &l, const _KTNODE &a, const _KTNODE &b);
// The same for an arc of that link drawn from (ax, ay) to (bx, by) about
// (cx, cy): the ends and centre of a refined drawing.
bool arc_sweep(const _KTNODELINK &l, double cx, double cy, double ax, double ay, double bx, double by);

// The link record on node `from` towards node `to` carrying polyline `id`,
// or, when it is missing, its twin on `to` carrying -id; null when neither
// is there.  Both nodes must exist.
const _KTNODELINK *find_link(CKTVector &v, int from, int to, int id);

// The sub-pixel geometry that the writers draw instead of the node
// positions: lines as a CKTRefiner gives them, and refined node positions.
class RefinedGeometry {
public:
    virtual int line_count() const = 0;
    virtual const _KTREFINEDLINE &line(int k) const = 0;  // 0 <= k < line_count()
    // The refined position of node `index`: false for a node on no line.
    virtual bool node_position(int index, double &x, double &y) const = 0;

protected:
    ~RefinedGeometry() = default;
};

// A refiner's result as it is (the program's fresh runs).
class RefinerLines final : public RefinedGeometry {
public:
    explicit RefinerLines(const CKTRefiner &r) : r_(r) {}
    int line_count() const override { return r_.mgetlinenum(); }
    const _KTREFINEDLINE &line(int k) const override { return *r_.mgetline(k); }
    bool node_position(int index, double &x, double &y) const override {
        return r_.mgetnodeposition(index, &x, &y) != 0;
    }

private:
    const CKTRefiner &r_;
};

class VectorView {
public:
    // Throws CliError when the renumbering table cannot be allocated.
    explicit VectorView(CKTVector &v);

    int width() const { return v_.width; }
    int height() const { return v_.height; }
    int node_slots() { return v_.mgetnodenum(); }
    int polyline_slots() { return v_.mgetpolylinenum(); }
    int written_nodes() const { return written_nodes_; }  // the nodes array of the output
    int live_polylines() const { return live_polylines_; }
    // The sub-pixel geometry to write instead of the node positions, or
    // null for the driver's own.
    const RefinedGeometry *refined() const { return refined_; }
    void set_refined(const RefinedGeometry *r) { refined_ = r; }
    // A refiner's result as it is.
    void set_refined(const CKTRefiner *r) {
        refiner_lines_.reset();
        if (r) refiner_lines_.emplace(*r);
        refined_ = r ? &*refiner_lines_ : nullptr;
    }

    // Library node at `index` (0 <= index < node_slots()).
    const _KTNODE &node(int index) { return *v_.mgetnode(index); }
    // Dense number of a library node, -1 for one that is not written.
    int dense(int index) const { return reinterpret_cast<const int *>(dense_.data())[index]; }
    // Polyline of id k (1 <= k <= polyline_slots()).
    const _KTPOLYLINE &polyline(int id) { return *v_.mgetpolyline(id); }

    // A closed polyline repeats its first node last.
    static bool closed(const _KTPOLYLINE &p) {
        return p.nodenum >= 2 && p.nodeindex[0] == p.nodeindex[p.nodenum - 1];
    }
    // The link record on node `from` towards node `to` carrying `id`, or
    // null.  Along polyline P the record from nodeindex[i] to
    // nodeindex[i + 1] carries +P; when it is missing, its twin (on `to`,
    // towards `from`, carrying -id) is returned.
    const _KTNODELINK *link(int from, int to, int id);
    // The circle a closed polyline was fitted onto: the centroid of its
    // distinct nodes and their mean distance from it (circle fitting spaces
    // the nodes evenly, so the centroid is the centre up to the rounding of
    // the node positions).  False for an open polyline.
    bool circle(const _KTPOLYLINE &p, Circle &c);

private:
    CKTVector &v_;
    Buffer dense_;
    int written_nodes_ = 0, live_polylines_ = 0;
    const RefinedGeometry *refined_ = nullptr;
    std::optional<RefinerLines> refiner_lines_;
};

}  // namespace ktvcli

#endif
