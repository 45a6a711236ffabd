// What the SVG and DXF writers draw: the result as strokes in pixel
// coordinates (the node frame: the centre of pixel (x, y) is (x, y)),
// from the library's nodes or, after --refine, from the refiner's lines.
// One stroke per live polyline (and per restored stroke end or outline
// ring of the refiner), in id order; the drawing formats may join the
// strokes of polylines connected end to end into one (for_each_drawn_stroke).
#ifndef KTVEC_TOOLS_DRAWING_H
#define KTVEC_TOOLS_DRAWING_H

#include <vector>

#include "vector_view.h"

namespace ktvcli {

struct DrawPoint {
    double x, y;
};

// A circular arc from one point of a path to the next.
struct ArcPiece {
    double cx, cy, r;  // centre and radius, px
    bool sweep;        // true: the direction of increasing angle (y down)
};

struct Stroke {
    enum class Kind { Path, Circle, Samples };
    Kind kind = Kind::Path;
    int id = 0;                     // polyline id; 0 for a line of the refiner's own
    // A joined stroke: the ids of the polylines it draws, in order along
    // it (id is the first); empty for the stroke of one polyline.
    std::vector<int> joined;
    bool refined = false;           // sub-pixel positions (written to a thousandth)
    bool closed = false;            // the last point repeats the first
    std::vector<DrawPoint> points;  // Path and Samples
    // Path: pieces[i] is the arc from point i to point i + 1, r = 0 for a
    // straight piece; empty when every piece is straight.
    std::vector<ArcPiece> pieces;
    ktvcli::Circle circle{};        // Kind::Circle
};

// Whether two points fall on one spot as the writers write them: to a
// thousandth of a pixel.
bool same_spot(DrawPoint a, DrawPoint b);

// Calls draw(const Stroke &) for every stroke, reusing one Stroke.
template <class F> void for_each_stroke(VectorView &view, F draw);

// The same strokes as the drawing formats write them.  With `join`, a
// stroke that the clean-up followed straight across junctions (the
// polylines' connections, prev / next) is one stroke: its polylines' strokes
// end to end, each turned to run the chain's way.  Only open strokes of one
// kind (paths with paths, spline samples with samples) that meet at one
// point are joined; circles, closed polylines and the refiner's own lines
// are drawn alone, as are the strokes of a graph without connections.
// Chains come in the order of their first polyline met in id order, each
// starting from its free end; the rest keep their order.  Without `join`,
// for_each_stroke.
template <class F> void for_each_drawn_stroke(VectorView &view, bool join, F draw);

// The same, for a writer that walks the strokes more than once (the DXF
// counts its entities before it writes them): chains are joined once, here.
class DrawnStrokes {
public:
    DrawnStrokes(VectorView &view, bool join);
    template <class F> void for_each(F draw);

private:
    VectorView &view_;
    bool join_;
    std::vector<Stroke> joined_;
};

// ---- implementation -----------------------------------------------------------

void raw_stroke(VectorView &view, int id, const _KTPOLYLINE &p, Stroke &s);
bool refined_stroke(VectorView &view, const _KTREFINEDLINE &l, Stroke &s);

template <class F> void for_each_stroke(VectorView &view, F draw) {
    Stroke s;
    if (const RefinedGeometry *r = view.refined()) {
        for (int k = 0; k < r->line_count(); ++k)
            if (refined_stroke(view, r->line(k), s)) draw(s);
        return;
    }
    for (int id = 1, n = view.polyline_slots(); id <= n; ++id) {
        const _KTPOLYLINE &p = view.polyline(id);
        if (p.deleted || p.nodenum < 1 || !p.nodeindex) continue;
        raw_stroke(view, id, p, s);
        draw(s);
    }
}

void joined_strokes(VectorView &view, std::vector<Stroke> &out);

inline DrawnStrokes::DrawnStrokes(VectorView &view, bool join) : view_(view), join_(join) {
    if (join) joined_strokes(view, joined_);
}

template <class F> void DrawnStrokes::for_each(F draw) {
    if (!join_) return for_each_stroke(view_, draw);
    for (const Stroke &s : joined_) draw(s);
}

template <class F> void for_each_drawn_stroke(VectorView &view, bool join, F draw) {
    DrawnStrokes(view, join).for_each(draw);
}

}  // namespace ktvcli

#endif
